// Styles (names, order, the current one, fonts) and totals (their types,
// resets, conditions and look-ahead over the five orders), and what the
// expressions TOTAL and PAGENO read.
#include <cstring>
#include <string>
#include <vector>

#include "tests/report/report_fixture.h"

namespace kvtest {
namespace {

class StyleTotalTest : public ReportTest {
 protected:
  void SetUp() override {
    ReportTest::SetUp();
    report = report_create(rel);
    ASSERT_NE(report, nullptr);
  }

  // The total's value after each record of the relation, -1 for none.
  std::vector<double> run(DbReportTotal* t, bool lookahead = false) {
    std::vector<double> out;
    relate_skip_enable(report->relation, lookahead ? 1 : 0);
    total_reset(t);
    for (int rc = relate_top(report->relation); rc == 0; rc = relate_skip(report->relation, 1)) {
      long at = data_recno(orders);
      EXPECT_EQ(total_evaluate(t), 0);
      EXPECT_EQ(data_recno(orders), at) << "the record position moved";
      double v;
      out.push_back(total_value(t, &v) ? v : -1);
    }
    return out;
  }

  static LOGFONT16 font(const char* face, int height, int weight) {
    LOGFONT16 f{};
    f.lfHeight = int16_t(height);
    f.lfWeight = int16_t(weight);
    f.lfItalic = 1;
    std::strcpy(f.lfFaceName, face);
    return f;
  }
};

TEST_F(StyleTotalTest, ADuplicateStyleIsRefusedAndTheFirstStaysCurrent) {
  DbReportStyle* plain = report_style_current(report);
  LOGFONT16 f = font("Arial", -13, 700);
  DbReportStyle* bold = style_create(report, &f, "Bold", RGB(200, 0, 0), 12);
  ASSERT_NE(bold, nullptr);
  EXPECT_EQ(report_style_current(report), plain);
  EXPECT_EQ(style_create(report, &f, "Plain Text", 0, 10), nullptr);
  EXPECT_EQ(take_error(), -811);
  EXPECT_TRUE(reported("The specified name is already in use by another style."));
  EXPECT_EQ(report_style_current(report), plain);
  EXPECT_EQ(style_count(report), 2);
  EXPECT_EQ(plain->id, 600);
  EXPECT_EQ(bold->id, 601);
  LOGFONT made = bold->font;  // packed: compared by value
  EXPECT_EQ(int(made.lfHeight), -13);
  EXPECT_EQ(int(made.lfWeight), 700);
  EXPECT_EQ(int(made.lfItalic), 1);
  EXPECT_STREQ(bold->font.lfFaceName, "Arial");
  EXPECT_NE(bold->screen_font, nullptr);
  for (const char* bad : {static_cast<const char*>(nullptr), ""}) {
    EXPECT_EQ(style_create(report, &f, bad, 0, 10), nullptr);
    EXPECT_EQ(take_error(), -930);
    EXPECT_TRUE(reported("Not a valid name in call to style_create()."));
  }
}

TEST_F(StyleTotalTest, StylesByIndexAndInOrder) {
  style_create(report, nullptr, "Second", 0, 10);
  style_create(report, nullptr, "Third", 0, 10);
  EXPECT_EQ(style_index(report, 0), style_first(report));
  EXPECT_EQ(style_index(report, 2), style_last(report));
  EXPECT_EQ(style_index(report, style_count(report)), nullptr);
  EXPECT_EQ(code_error_get(&ctx), 0);
  EXPECT_EQ(style_index(report, -1), nullptr);
  EXPECT_EQ(take_error(), -813);
  EXPECT_TRUE(reported("Invalid index specified in call to style_index()."));
  EXPECT_EQ(style_next(report, style_first(report))->name, "Second");
  EXPECT_EQ(style_prev(report, style_first(report)), nullptr);
  EXPECT_EQ(style_lookup(report, "second"), nullptr);
  EXPECT_EQ(style_delete(report, "second"), 0);
}

TEST_F(StyleTotalTest, AFreedStyleLeavesNoObjectPointingAtIt) {
  DbReportArea* a = area_create(report_title_group(report), 100, 1, nullptr);
  DbReportObject* o = obj_text_create(a, "x", 0, 0, 10, 10);
  DbReportStyle* plain = report_style_current(report);
  DbReportStyle* other = style_create(report, nullptr, "Other", 0, 8);
  ASSERT_TRUE(o && other);
  EXPECT_EQ(o->style, plain);
  EXPECT_EQ(style_delete(report, "Plain Text"), 1);
  EXPECT_EQ(o->style, nullptr);
  EXPECT_EQ(report_style_current(report), other);
  EXPECT_EQ(obj_style(o, other), 0);
  DbReportStyle* third = style_create(report, nullptr, "Third", 0, 8);
  EXPECT_EQ(style_replace(report, other, third), 0);
  EXPECT_EQ(o->style, third);
  EXPECT_EQ(report_styleSelect(report, third), 0);
  EXPECT_EQ(report_style_current(report), third);
}

TEST_F(StyleTotalTest, TotalNamesAreFoundInUpperCaseOnly) {
  DbReportTotal* t = total_create(report, "SumQty", "QTY", DB_TOTAL_SUM, nullptr);
  ASSERT_NE(t, nullptr);
  EXPECT_STREQ(t->calc->name, "SUMQTY");
  EXPECT_EQ(total_lookup(report, "SumQty"), nullptr);
  EXPECT_EQ(total_lookup(report, "sumqty"), nullptr);
  EXPECT_EQ(total_lookup(report, "SUMQTY"), t);
  EXPECT_EQ(code_error_get(&ctx), 0);
  EXPECT_EQ(total_lookup(report, ""), nullptr);
  EXPECT_EQ(take_error(), -930);
  EXPECT_TRUE(reported("Invalid parameter in call to total_lookup()."));
}

TEST_F(StyleTotalTest, TotalsOverTheFiveOrders) {
  struct Case {
    const char* name;
    int type;
    const char* reset;
    const char* condition;
    int logical;
    std::vector<double> after_each;
  };
  const Case cases[] = {
      {"SUM_BY_CUST", DB_TOTAL_SUM, "CUST", nullptr, 0, {10, 30, 60, 40, 90}},  // reset after record 3
      {"SUM_ALL", DB_TOTAL_SUM, nullptr, nullptr, 0, {10, 30, 60, 100, 150}},
      {"MIN_BY_CUST", DB_TOTAL_MIN, "CUST", nullptr, 0, {10, 10, 10, 40, 40}},
      {"MAX_ALL", DB_TOTAL_MAX, nullptr, nullptr, 0, {10, 20, 30, 40, 50}},
      {"AVG_ALL", DB_TOTAL_AVERAGE, nullptr, nullptr, 0, {10, 15, 20, 25, 30}},
      {"PAID_COUNT", DB_TOTAL_COUNT, nullptr, "PAID", 1, {1, 1, 2, 2, 3}},
      {"CUST_CHANGES", DB_TOTAL_COUNT, nullptr, "CUST", 0, {1, 1, 1, 2, 2}},
      {"UNPAID_AVG", DB_TOTAL_AVERAGE, "CUST", ".NOT. PAID", 1, {-1, 20, 20, 40, 40}},
  };
  for (const Case& c : cases) {
    DbReportTotal* t = total_create(report, c.name, "QTY", c.type, c.reset);
    ASSERT_NE(t, nullptr) << c.name;
    if (c.condition) {
      ASSERT_EQ(total_condition_set(t, c.condition, c.logical), 0) << c.name;
    }
    EXPECT_EQ(run(t), c.after_each) << c.name;
  }
}

TEST_F(StyleTotalTest, LookAheadAddsTheWholeGroupAndKeepsThePlace) {
  DbReportTotal* by_cust = total_create(report, "AHEAD", "QTY", DB_TOTAL_SUM, "CUST");
  DbReportTotal* all = total_create(report, "AHEAD_ALL", "QTY", DB_TOTAL_SUM, nullptr);
  DbReportTotal* paid = total_create(report, "AHEAD_PAID", "QTY", DB_TOTAL_COUNT, "CUST");
  ASSERT_TRUE(by_cust && all && paid);
  ASSERT_EQ(total_condition_set(paid, "PAID", 1), 0);
  for (DbReportTotal* t : {by_cust, all, paid}) t->lookahead = 1;
  EXPECT_EQ(run(by_cust, true), (std::vector<double>{60, 60, 60, 90, 90}));
  EXPECT_EQ(run(all, true), (std::vector<double>{150, 150, 150, 150, 150}));
  EXPECT_EQ(run(paid, true), (std::vector<double>{2, 2, 2, 1, 1}));
  // Without backward skipping the walk could not come back: refused.
  relate_skip_enable(report->relation, 0);
  total_reset(all);
  ASSERT_EQ(relate_top(report->relation), 0);
  EXPECT_EQ(total_evaluate(all), -1);
  EXPECT_EQ(take_error(), -950);
}

TEST_F(StyleTotalTest, ATotalNeverFedHasNoValue) {
  DbReportTotal* avg = total_create(report, "AVG", "QTY", DB_TOTAL_AVERAGE, nullptr);
  DbReportTotal* min = total_create(report, "MIN", "QTY", DB_TOTAL_MIN, nullptr);
  DbReportTotal* max = total_create(report, "MAX", "QTY", DB_TOTAL_MAX, nullptr);
  DbReportTotal* sum = total_create(report, "SUM", "QTY", DB_TOTAL_SUM, nullptr);
  DbReportTotal* odd = total_create(report, "ODD", "QTY", 99, nullptr);
  double v = 1;
  for (DbReportTotal* t : {avg, min, max, odd}) {
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(total_value(t, &v), 0) << t->calc->name;
    EXPECT_EQ(v, 0);
  }
  EXPECT_EQ(min->minimum, 1.7e308);
  EXPECT_EQ(max->maximum, -1.7e308);
  EXPECT_EQ(total_value(sum, &v), 1);
  EXPECT_EQ(v, 0);
  DbExpr* e = expr_parse(orders, "AVG() + 1");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(expr_double(e), 1);
  expr_free(e);
}

TEST_F(StyleTotalTest, TotalAndPagenoReadTheReport) {
  DbReportTotal* t = total_create(report, "SUMQTY", "QTY", DB_TOTAL_SUM, nullptr);
  ASSERT_NE(t, nullptr);
  run(t);
  DbExpr* e = expr_parse(orders, "SUMQTY() * 2 + PAGENO()");
  ASSERT_NE(e, nullptr);
  ctx.page_no = 7;
  EXPECT_EQ(expr_double(e), 307);
  expr_free(e);
}

TEST_F(StyleTotalTest, TotalsThatCannotBeMadeLeaveNothingBehind) {
  int calcs = ctx.calc_list.count;
  struct Case {
    const char* name;
    const char* expr;
    const char* reset;
    int code;
    const char* text;
  };
  const Case cases[] = {
      {nullptr, "QTY", nullptr, -930, "Invalid parameter in call to total_create()."},
      {"T", nullptr, nullptr, -930, "Invalid parameter in call to total_create()."},
      {"T", "QTY +", nullptr, -817, "Unable to parse total expression."},
      {"T", "QTY", "CUST +", -817, "Unable to parse total reset expression."},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(total_create(report, c.name, c.expr, DB_TOTAL_SUM, c.reset), nullptr);
    EXPECT_EQ(take_error(), c.code);
    EXPECT_TRUE(reported(c.text)) << c.text;
  }
  EXPECT_EQ(ctx.calc_list.count, calcs);
  EXPECT_EQ(ctx.total_list.count, 0);

  DbReportTotal* t = total_create(report, "T", "QTY", DB_TOTAL_SUM, nullptr);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(total_condition_set(t, "PAID +", 0), -1);
  EXPECT_EQ(code_error_get(&ctx), 0);  // cleared
  boxes();
  EXPECT_EQ(total_condition_set(t, "CUST", 1), -1);  // not a logical one
  EXPECT_EQ(t->condition, nullptr);
  EXPECT_EQ(total_condition_set(t, "PAID", 1), 0);
}

TEST_F(StyleTotalTest, FreeingTheReportFreesTotalsAndCalculations) {
  DbReportArea* a = area_create(report_title_group(report), 100, 0, nullptr);
  DbReportTotal* shown = total_create(report, "SHOWN", "QTY", DB_TOTAL_SUM, "CUST");
  ASSERT_NE(total_create(report, "HIDDEN", "QTY", DB_TOTAL_MAX, nullptr), nullptr);
  ASSERT_NE(calc_create(&ctx, expr_parse(orders, "QTY * 2"), "DOUBLE"), nullptr);
  DbReportObject* o = obj_total_create(a, shown, 0, 0, 100, 100);
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(obj_total_create(a, shown, 0, 0, 100, 100), nullptr);  // shown once only
  EXPECT_EQ(take_error(), -930);
  EXPECT_EQ(obj_lookahead(o, 1), 0);
  EXPECT_EQ(shown->lookahead, 1);
  EXPECT_EQ(ctx.total_list.count, 2);
  EXPECT_EQ(ctx.calc_list.count, 3);
  EXPECT_EQ(report_free(report, 0, 0), 0);
  EXPECT_EQ(ctx.total_list.count, 0);
  EXPECT_EQ(ctx.calc_list.count, 0);
  EXPECT_EQ(ctx.total_pool, nullptr);
}

}  // namespace
}  // namespace kvtest
