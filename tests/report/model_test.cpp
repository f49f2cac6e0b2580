// The layout model: one report per context, groups and their numbering,
// areas, objects, containment and the object walk, and the setters' checks.
#include <string>
#include <vector>

#include "platform/ui/gtest_driver.h"
#include "platform/ui/print.h"
#include "tests/report/report_fixture.h"

namespace kvtest {
namespace {

class ModelTest : public ReportTest {
 protected:
  void SetUp() override {
    ReportTest::SetUp();
    report = report_create(rel);
    ASSERT_NE(report, nullptr);
    area = area_create(report_title_group(report), 1000, 1, nullptr);
    ASSERT_NE(area, nullptr);
  }

  std::vector<std::string> group_names() {
    std::vector<std::string> out;
    for (DbReportGroup* g : report->groups) out.push_back(g->name + ":" + std::to_string(g->position));
    return out;
  }

  // The walk's order, as the objects' x positions.
  std::vector<int> walk() {
    std::vector<int> out;
    for (DbReportObject* o = area_obj_first(area); o; o = area_obj_next(area, o)) out.push_back(o->x);
    return out;
  }

  DbReportArea* area = nullptr;
};

TEST_F(ModelTest, ASecondReportIsRefusedAndTheFirstStays) {
  DbReportGroup* g = group_create(report, "Orders", "CUST");
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(report_create(rel), nullptr);
  EXPECT_EQ(take_error(), -810);
  EXPECT_TRUE(reported("A report is already in existence."));
  EXPECT_EQ(ctx.report_exists, 1);
  EXPECT_EQ(report_groupLookup(report, "Orders"), g);
  EXPECT_EQ(group_count(report), 2);
  EXPECT_EQ(report_free(report, 0, 0), 0);
  EXPECT_EQ(ctx.report_exists, 0);
  report = report_create(rel);
  EXPECT_NE(report, nullptr);
}

TEST_F(ModelTest, DefaultsOfANewReport) {
  EXPECT_EQ(report->width, 8000);
  EXPECT_EQ(report->height, 11000);
  EXPECT_EQ(report->margin_left, 250);
  EXPECT_EQ(report->margin_right, 250);
  EXPECT_EQ(report->to_screen, 1);
  EXPECT_EQ(report->date_picture, "MM/DD/YY");
  ASSERT_EQ(style_count(report), 1);
  EXPECT_EQ(report_style_current(report)->name, "Plain Text");
  EXPECT_STREQ(report_style_current(report)->font16.lfFaceName, "MS Serif");
  EXPECT_EQ(report_style_current(report)->point_size, 10);
  EXPECT_EQ(report_title_group(report)->name, "Title/Summary");
  EXPECT_EQ(report_page_group(report)->name, "Pg Header/Footer");
  EXPECT_EQ(group_first(report), nullptr);  // the title group is never walked to

  ASSERT_EQ(report_free(report, 0, 0), 0);
  ctx.no_default_style = 1;
  report = report_create(rel);
  ASSERT_NE(report, nullptr);
  EXPECT_EQ(style_count(report), 0);
  EXPECT_EQ(report_style_current(report), nullptr);
}

TEST_F(ModelTest, FreeingTwiceOrWithoutTheFlagFreesNothing) {
  // The context no longer says it holds a report: refused, nothing freed.
  ctx.report_exists = 0;
  EXPECT_EQ(report_free(report, 0, 0), -1);
  EXPECT_EQ(take_error(), -810);
  EXPECT_TRUE(reported("There is no report currently in existence."));
  EXPECT_EQ(group_count(report), 1);
  ctx.report_exists = 1;
  DbReport* freed = report;
  EXPECT_EQ(report_free(freed, 0, 0), 0);
  EXPECT_EQ(report_free(freed, 0, 0), -1);  // harmless
  EXPECT_EQ(code_error_get(&ctx), 0);
  EXPECT_TRUE(boxes().empty());
}

TEST_F(ModelTest, NewGroupsAreNamedCountedAndPutOutermost) {
  DbReportGroup* g1 = group_create(report, nullptr, nullptr);
  DbReportGroup* g2 = group_create(report, "", nullptr);
  ASSERT_NE(g1, nullptr);
  ASSERT_NE(g2, nullptr);
  EXPECT_EQ(g1->name, "Group 1");
  EXPECT_EQ(g2->name, "Group 2");
  EXPECT_EQ(group_names(), (std::vector<std::string>{"Title/Summary:3", "Group 2:2", "Group 1:1"}));
  EXPECT_EQ(group_first(report), g2);
  EXPECT_EQ(group_last(report), g1);
  EXPECT_EQ(group_next(report, g2), g1);
  EXPECT_EQ(group_prev(report, g2), nullptr);
  EXPECT_EQ(group_count(report), 3);

  EXPECT_EQ(group_create(report, "Group 1", nullptr), nullptr);
  EXPECT_EQ(take_error(), -815);
  EXPECT_TRUE(reported("The specified name is in use by another group."));
  EXPECT_EQ(group_create(report, "Bad", "NOSUCHFIELD + 1"), nullptr);
  EXPECT_EQ(take_error(), -815);
  EXPECT_TRUE(reported("Invalid group reset expression."));
  EXPECT_EQ(group_count(report), 3);
  EXPECT_EQ(report_groupLookup(report, "group 1"), nullptr);  // names are exact
  EXPECT_EQ(report_groupLookup(report, ""), nullptr);
  EXPECT_EQ(take_error(), -930);
  EXPECT_TRUE(reported("Invalid name specified in call to report_groupLookup()."));
}

TEST_F(ModelTest, GroupPositionSetMovesToTheNumberGiven) {
  struct Case {
    const char* group;
    int n;
    std::vector<std::string> order;  // innermost last
  };
  const Case cases[] = {
      {"G4", 1, {"Title/Summary:5", "G3:4", "G2:3", "G1:2", "G4:1"}},
      {"G1", 3, {"Title/Summary:5", "G4:4", "G1:3", "G3:2", "G2:1"}},
      {"G2", 99, {"Title/Summary:5", "G2:4", "G4:3", "G3:2", "G1:1"}},  // cut to count - 1
      {"G3", 0, {"Title/Summary:5", "G4:4", "G2:3", "G1:2", "G3:1"}},
  };
  for (const Case& c : cases) {
    while (group_first(report)) group_free(group_first(report));
    for (const char* name : {"G1", "G2", "G3", "G4"}) ASSERT_NE(group_create(report, name, nullptr), nullptr);
    EXPECT_EQ(group_position_set(report_groupLookup(report, c.group), c.n), 0);
    EXPECT_EQ(group_names(), c.order) << c.group << " to " << c.n;
  }
  EXPECT_EQ(group_position_set(report_title_group(report), 1), -1);
  EXPECT_EQ(group_position_set(report_page_group(report), 1), -1);
  EXPECT_EQ(group_free(report_title_group(report)), -1);
  EXPECT_EQ(group_free(report_page_group(report)), -1);
}

TEST_F(ModelTest, GroupFlagSettersAnswerAsTheyShould) {
  DbReportGroup* g = group_create(report, "G", nullptr);
  ASSERT_NE(g, nullptr);
  using Setter = int (*)(DbReportGroup*, int);
  struct Case {
    Setter set;
    int flag;
    bool answers_old;  // else 1 when it was set
  };
  const Case cases[] = {{group_header_page_set, DB_GROUP_HEADER_PAGE, true},
                        {group_footer_foot_set, DB_GROUP_FOOTER_FOOT, true},
                        {group_header_repeat_set, DB_GROUP_HEADER_REPEAT, true},
                        {group_break_before_set, DB_GROUP_BREAK_BEFORE, false},
                        {group_page_restart_set, DB_GROUP_PAGE_RESTART, false}};
  for (const Case& c : cases) {
    EXPECT_EQ(c.set(g, 7), 0);
    EXPECT_EQ(g->flags[c.flag], 7);
    EXPECT_EQ(c.set(g, 2), c.answers_old ? 7 : 1);
    EXPECT_EQ(c.set(g, -1), -1);
    EXPECT_EQ(take_error(), -930);
    EXPECT_TRUE(reported("Flag must be zero or greater."));
    EXPECT_EQ(g->flags[c.flag], 2);
  }
  EXPECT_EQ(group_reset_set(g, "QTY >"), -1);
  EXPECT_EQ(take_error(), -816);
  EXPECT_TRUE(reported("Invalid group reset expression."));
  EXPECT_EQ(g->reset, nullptr);
  EXPECT_EQ(group_reset_set(g, "CUST"), 0);
  EXPECT_NE(g->reset, nullptr);
}

TEST_F(ModelTest, AreasAreNumberedInTheirList) {
  DbReportGroup* g = report_page_group(report);
  DbReportArea* h1 = area_create(g, 100, 1, nullptr);
  DbReportArea* f1 = area_create(g, 100, 0, "PAID");
  DbReportArea* h2 = area_create(g, 0, 1, "");
  ASSERT_TRUE(h1 && f1 && h2);
  EXPECT_EQ(h1->position, 1);
  EXPECT_EQ(h2->position, 2);
  EXPECT_EQ(f1->position, 1);
  EXPECT_EQ(group_header_count(g), 2);
  EXPECT_EQ(group_footer_first(g), f1);
  EXPECT_EQ(group_header_next(g, h1), h2);
  EXPECT_EQ(group_header_prev(g, h1), nullptr);
  EXPECT_EQ(h1->page_break, 1);
  EXPECT_EQ(area_pageBreak(h1, 0), 1);
  EXPECT_EQ(area_pageBreak(h1, -1), -1);
  EXPECT_TRUE(reported("Invalid parameter in call to area_pageBreak()."));
  take_error();
  EXPECT_EQ(area_create(g, -1, 1, nullptr), nullptr);
  EXPECT_EQ(take_error(), -930);
  EXPECT_TRUE(reported("Invalid value specified for area height."));
  EXPECT_EQ(area_create(g, 10, 1, "QTY +"), nullptr);
  EXPECT_EQ(take_error(), -814);
  EXPECT_TRUE(reported("Invalid suppression expression."));
  EXPECT_EQ(area_free(h1), 0);
  EXPECT_EQ(h2->position, 1);
}

TEST_F(ModelTest, ContainmentIsStrict) {
  DbReportObject* frame = obj_frame_create(area, 100, 100, 500, 500);
  ASSERT_NE(frame, nullptr);
  struct Case {
    long x, y, w, h;
    bool inside;
  };
  const Case cases[] = {
      {100, 200, 50, 50, false},  // on the left border
      {550, 200, 50, 50, false},  // right edge on the frame's
      {200, 100, 50, 50, false},  // on the top border
      {200, 550, 50, 50, false},  // bottom edge on the frame's
      {101, 101, 498, 498, true},
      {200, 200, 50, 50, true},
      {50, 50, 10, 10, false},
  };
  for (const Case& c : cases) {
    DbReportObject* o = obj_text_create(area, "x", c.x, c.y, c.w, c.h);
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->parent, c.inside ? frame : nullptr) << c.x << "," << c.y << " " << c.w << "x" << c.h;
    obj_delete(o);
  }
}

TEST_F(ModelTest, AFrameDrawnLaterTakesWhatItEncloses) {
  DbReportObject* inside = obj_text_create(area, "in", 300, 300, 10, 10);
  DbReportObject* outside = obj_text_create(area, "out", 700, 700, 10, 10);
  DbReportObject* frame = obj_frame_create(area, 250, 250, 100, 100);
  ASSERT_TRUE(inside && outside && frame);
  EXPECT_EQ(inside->parent, frame);
  EXPECT_EQ(outside->parent, nullptr);
  EXPECT_EQ(area->objects.front(), frame);  // frames lie beneath
  EXPECT_EQ(area_obj_count(area), 2);
  // Deleting the frame gives its children back to the area.
  EXPECT_EQ(obj_delete(frame), 0);
  EXPECT_EQ(inside->parent, nullptr);
  EXPECT_EQ(area_obj_count(area), 2);
}

TEST_F(ModelTest, TheWalkGoesInPreOrderAndEnds) {
  obj_text_create(area, "t0", 10, 10, 5, 5);
  obj_frame_create(area, 100, 100, 500, 500);
  obj_text_create(area, "c", 200, 200, 10, 10);
  obj_text_create(area, "t", 700, 300, 200, 200);
  obj_text_create(area, "c2", 750, 350, 10, 10);
  EXPECT_EQ(walk(), (std::vector<int>{100, 200, 10, 700, 750}));
  DbReportObject* last = area_obj_last(area);
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(last->x, 750);
  EXPECT_EQ(area_obj_next(area, last), nullptr);  // after the last child of the last top-level object
  EXPECT_EQ(code_error_get(&ctx), 0);
  EXPECT_EQ(area_obj_prev(area, area_obj_first(area)), nullptr);
  EXPECT_EQ(area_obj_prev(area, last)->x, 700);
  EXPECT_EQ(area_obj_next(area, nullptr), nullptr);
  EXPECT_EQ(take_error(), -930);
  EXPECT_TRUE(reported("Invalid object pointer."));
  EXPECT_EQ(area_sort(area), 0);
  EXPECT_EQ(walk(), (std::vector<int>{10, 100, 200, 700, 750}));
}

TEST_F(ModelTest, ConstructorsRefuseOutOfRangePlaces) {
  const long cases[][4] = {{-1, 0, 10, 10}, {0, -1, 10, 10}, {0, 0, -1, 10},
                           {0, 0, 10, -1},  {8001, 0, 1, 1}, {0, 1001, 1, 1}};
  for (const auto& c : cases) EXPECT_EQ(obj_text_create(area, "x", c[0], c[1], c[2], c[3]), nullptr);
  EXPECT_NE(obj_text_create(area, "x", 8000, 1000, 0, 0), nullptr);
  EXPECT_EQ(code_error_get(&ctx), 0);
  EXPECT_EQ(obj_text_create(nullptr, "x", 0, 0, 1, 1), nullptr);
}

TEST_F(ModelTest, ObjectsTakeTheirDisplayWidthFromWhatTheyShow) {
  ASSERT_NE(calc_create(&ctx, expr_parse(orders, "ODATE"), "WHEN"), nullptr);
  ASSERT_NE(calc_create(&ctx, expr_parse(orders, "CUST + 'X'"), "LABEL"), nullptr);
  struct Case {
    DbReportObject* o;
    int width, justify, decimals;
  };
  const Case cases[] = {
      {obj_field_create(area, data_field_named(orders, "CUST"), 0, 0, 10, 10), 8, 0, 0},
      {obj_field_create(area, data_field_named(orders, "QTY"), 0, 0, 10, 10), 10, 1, 2},
      {obj_field_create(area, data_field_named(orders, "ODATE"), 0, 0, 10, 10), 10, 0, 0},
      {obj_field_create(area, data_field_named(orders, "PAID"), 0, 0, 10, 10), 2, 0, 0},
      {obj_expr_create(area, "QTY * 2", 0, 0, 10, 10), 10, 1, 0},
      {obj_expr_create(area, "CUST + 'ab'", 0, 0, 10, 10), 10, 0, 0},
      {obj_calc_create(area, calc_lookup(&ctx, "WHEN", 4), 0, 0, 10, 10), 10, 0, 0},
      {obj_calc_create(area, calc_lookup(&ctx, "LABEL", 5), 0, 0, 10, 10), 9, 0, 0},
      {obj_text_create(area, "text", 0, 0, 10, 10), 0, 0, 0},
      {obj_line_create(area, 1, 0, 0, 100), 0, 1, 0},
  };
  for (const Case& c : cases) {
    ASSERT_NE(c.o, nullptr);
    EXPECT_EQ(c.o->display_width, c.width) << c.o->type;
    EXPECT_EQ(c.o->justify, c.justify) << c.o->type;
    EXPECT_EQ(c.o->decimals, c.decimals) << c.o->type;
    EXPECT_EQ(c.o->style, report_style_current(report));
  }
  DbReportObject* bitmap = obj_bitmap_field_create(area, data_field_named(custs, "NAME"), 0, 0, 1, 1);
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(*bitmap->text, "CUSTS->NAME");
}

TEST_F(ModelTest, LineWidthOfZeroChangesNothing) {
  DbReportObject* h = obj_line_create(area, 0, 10, 10, 300);
  DbReportObject* v = obj_line_create(area, 1, 10, 10, 300);
  DbReportObject* f = obj_frame_create(area, 5, 5, 400, 400);
  ASSERT_TRUE(h && v && f);
  EXPECT_EQ(h->height, 1);
  EXPECT_EQ(v->width, 1);
  EXPECT_EQ(obj_line_width_set(h, 0), -1);
  EXPECT_EQ(h->height, 1);
  EXPECT_EQ(h->decimals, 0);
  EXPECT_EQ(code_error_get(&ctx), 0);
  EXPECT_EQ(obj_line_width_set(h, 3), 0);
  EXPECT_EQ(obj_line_width_set(v, 4), 0);
  EXPECT_EQ(obj_line_width_set(f, 5), 0);
  EXPECT_EQ(h->height, 3);
  EXPECT_EQ(v->width, 4);
  EXPECT_EQ(f->display_width, 7);
  EXPECT_EQ(f->decimals, 5);
}

TEST_F(ModelTest, SettersRefuseValuesOutOfRange) {
  DbReportObject* o = obj_text_create(area, "x", 0, 0, 10, 10);
  ASSERT_NE(o, nullptr);
  using Setter = int (*)(DbReportObject*, int);
  struct Case {
    Setter set;
    int bad, good, answer;
    const char* text;
  };
  const Case cases[] = {
      {obj_justify, 3, 2, 0, "obj_justify()"},
      {obj_frameCorners, -1, 4, 2, "obj_frameCorners()"},  // the slot obj_justify set
      {obj_frameFill, -1, 1, 0, "obj_frameFill()"},
      {obj_displayZero, -1, 1, 0, "obj_displayZero()"},
      {obj_numericType, 4, 3, 0, "obj_numericType()"},
      {obj_leadingZero, -1, 1, 0, "obj_leadingZero()"},
      {obj_brackets, -1, 1, 0, "obj_brackets()"},
      {obj_lookahead, -1, 1, 0, "obj_lookahead()"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.set(o, c.bad), -1) << c.text;
    EXPECT_EQ(take_error(), -930) << c.text;
    EXPECT_TRUE(reported(std::string("Invalid parameter in call to ") + c.text + ".")) << c.text;
    EXPECT_EQ(c.set(o, c.good), c.answer) << c.text;
  }
  EXPECT_EQ(o->justify, 4);
  EXPECT_EQ(o->numeric_type, 3);
  EXPECT_EQ(o->leading_zero, 1);
  EXPECT_EQ(o->brackets, 1);

  DbReportStyle* other = style_create(nullptr, nullptr, "Loose", 0, 10);
  EXPECT_EQ(obj_style(o, other), -1);
  EXPECT_TRUE(reported("Invalid parameter in call to obj_style()."));
  take_error();
  style_free(nullptr, other);
  EXPECT_EQ(obj_style(o, nullptr), 0);
  EXPECT_EQ(obj_display_once_set(o, "CUST +"), -1);
  EXPECT_EQ(take_error(), -810);
  EXPECT_TRUE(reported("Unable to parse display once expression."));
  EXPECT_EQ(obj_display_once_set(o, "CUST"), 0);
  EXPECT_EQ(obj_date_picture_set(o, "DD.MM.CCYY"), 0);
  EXPECT_EQ(o->date_picture, "DD.MM.CCYY");
}

TEST_F(ModelTest, OutputFieldsAreListedWhileComplete) {
  DbReportObject* a = obj_field_create(area, data_field_named(orders, "CUST"), 0, 0, 10, 10);
  DbReportObject* b = obj_field_create(area, data_field_named(orders, "QTY"), 20, 0, 10, 10);
  ASSERT_TRUE(a && b);
  EXPECT_EQ(obj_output_field_set(a, "CUSTOMER_NO_1", 'C', 6, 0), 0);
  EXPECT_EQ(a->out_name, "CUSTOMER_N");  // ten characters
  EXPECT_EQ(obj_output_field_set(b, nullptr, 'N', 8, 2), 0);  // no name yet: not listed
  EXPECT_EQ(report->output_fields, std::vector<DbReportObject*>{a});
  EXPECT_EQ(obj_output_field_set(b, "AMOUNT", 'N', 8, 2), 0);
  EXPECT_EQ(report->output_fields, (std::vector<DbReportObject*>{a, b}));
  EXPECT_EQ(obj_output_field_set(a, "CUSTOMER", 'C', 0, 0), 0);  // no length: taken off
  EXPECT_EQ(report->output_fields, std::vector<DbReportObject*>{b});
  report_output_group_set(report, report_title_group(report));
  report_output_file_set(report, "OUT.DBF");
  EXPECT_EQ(obj_delete(b), 0);  // the last one takes the set-up along
  EXPECT_TRUE(report->output_fields.empty());
  EXPECT_EQ(report->output_group, nullptr);
  EXPECT_EQ(report->output_file, "");
}

TEST_F(ModelTest, ReportSettersAndPageGeometry) {
  EXPECT_EQ(report_titlePage(report, 2), 0);
  EXPECT_EQ(report_titlePage(report, 0), 2);
  EXPECT_EQ(report_hardResets(report, -1), -1);
  EXPECT_TRUE(reported("Invalid parameter in report_hardResets()."));
  EXPECT_EQ(report_toScreen(report, -1), -1);
  EXPECT_TRUE(reported("Invalid parameter in report_toScreen()."));
  take_error();
  EXPECT_EQ(report_toScreen(report, 0), 0);
  EXPECT_EQ(report->to_screen, 0);
  EXPECT_EQ(report_currency_set(report, "EUR-0123456789"), 0);
  EXPECT_EQ(report->currency, "EUR-012345");
  EXPECT_EQ(report_styleSelect(report, nullptr), -1);
  EXPECT_EQ(take_error(), -812);
  EXPECT_TRUE(reported("NULL style specified in call to report_styleSelect()."));

  EXPECT_EQ(report_page_size_set(report, 11000, 8500, 0), 0);
  EXPECT_EQ(report->width, 8000);
  EXPECT_EQ(report_margins_set(report, 500, 500, 1000, 1000, 0), 0);
  EXPECT_EQ(report->width, 7500);
  EXPECT_EQ(report->height, 9000);
  // In characters (0.1 in) and lines (1/6 in).
  EXPECT_EQ(report_margins_set(report, 2, 3, 1, 1, 1), 0);
  EXPECT_EQ(report->margin_left, 200);
  EXPECT_EQ(report->margin_top, 166);
  EXPECT_EQ(report->width, 8000);
  EXPECT_EQ(report->height, 11000 - 332);
  EXPECT_EQ(report_page_size_set(report, 66, 85, 1), 0);
  EXPECT_EQ(report->width, 8500 - 500);
  EXPECT_EQ(report->height, 11000 - 332);
}

TEST_F(ModelTest, PrinterSetupGivesTheReportItsPrinter) {
  plat::GTestUiDriver driver;
  driver.expect_dialog(TPrintSetupDialog::kTemplate, [](TDialog& d) { d.SendMessage(WM_COMMAND, IDCANCEL, 0); });
  EXPECT_EQ(report_printer_setup(report), 0);
  EXPECT_EQ(report->printer_dc, nullptr);
  driver.expect_dialog(TPrintSetupDialog::kTemplate, [](TDialog& d) { d.SendMessage(WM_COMMAND, IDOK, 0); });
  EXPECT_EQ(report_printer_setup(report), 1);
  ASSERT_NE(report->own_printer_dc, nullptr);
  HDC chosen = report->own_printer_dc->GetHDC();
  EXPECT_EQ(report->printer_dc, chosen);
  EXPECT_EQ(report_printer_dc_set(report, nullptr), chosen);
  long w = -1, h = -1;
  EXPECT_EQ(report_page_extent(report, &w, &h), 0);  // computed when pages are made
  EXPECT_EQ(w, 0);
}

}  // namespace
}  // namespace kvtest
