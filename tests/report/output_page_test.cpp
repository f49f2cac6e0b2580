// Page production over the five orders (customers A, A, A, B, B; QTY 10
// to 50), each report made here with the engine and its pages produced on
// a printer context of 100 dots an inch: groups with and without reset
// expressions, footers with the record before the break, the five group
// flags, the title page, hard resets, areas split or moved, display-once,
// look-ahead, an empty relation, the page's extent and offsets.
// Covers: report/output_page.cpp, report/output_draw.cpp,
// report/output_layout.cpp, report/object_text.cpp
#include <gtest/gtest.h>

#include "tests/report/output_fixture.h"

namespace kvtest {
namespace {

using Pages = std::vector<std::vector<std::string>>;

class OutputPageTest : public OutputTest {
 protected:
  DbReportGroup* customer = nullptr;
  DbReportGroup* order = nullptr;

  // Groups Customer (reset CUST; its name in the header, its name and sum
  // in the footer) and Order (no reset; ORDNO in the header).
  void customers_and_orders() {
    order = group_create(report, "Order", nullptr);
    customer = group_create(report, "Customer", "CUST");
    ASSERT_TRUE(order && customer);
    show(area(customer, true), "CUST");
    DbReportArea* foot = area(customer, false);
    show(foot, "CUST");
    total(foot, "SUMQTY", "QTY", DB_TOTAL_SUM, "CUST", 2000);
    show(area(order, true), "ORDNO");
  }
  // A page header with its number and a page footer.
  void page_header_footer() {
    DbReportArea* head = area(report_page_group(report), true);
    text(head, "PH");
    expr(head, "PAGENO()", 2000);
    text(area(report_page_group(report), false), "PF");
  }
  // A printer whose paper is 2 inches (201 dots) high.
  TPrintSetup short_paper() {
    TPrintSetup s = setup;
    s.PaperHeightMm = 51;
    return s;
  }
};

TEST_F(OutputPageTest, AGroupWithoutResetSurroundsEveryRecord) {
  DbReportGroup* g = group_create(report, "Order", nullptr);
  ASSERT_NE(g, nullptr);
  show(area(g, true), "ORDNO");
  show(area(g, false), "CUST");
  text(area(report_title_group(report), true), "Title");
  text(area(report_title_group(report), false), "Summary");
  EXPECT_EQ(page_texts(), (Pages{{"Title", "1", "A", "2", "A", "3", "A", "4", "B", "5", "B", "Summary"}}));
}

TEST_F(OutputPageTest, FootersShowTheRecordBeforeTheBreakWithItsTotals) {
  customers_and_orders();
  EXPECT_EQ(page_texts(), (Pages{{"A", "1", "2", "3", "A", "60", "B", "4", "5", "B", "90"}}));
  // Output starts again from the first record, totals reset.
  EXPECT_EQ(page_texts(), (Pages{{"A", "1", "2", "3", "A", "60", "B", "4", "5", "B", "90"}}));
}

TEST_F(OutputPageTest, TheFiveGroupFlags) {
  struct Case {
    const char* what;
    int (*set)(DbReportGroup*, int);
    Pages pages;
  } cases[] = {
      {"none", nullptr, {{"PH", "1", "A", "1", "2", "3", "A", "60", "B", "4", "5", "B", "90", "PF"}}},
      {"flag 4: a new page", group_break_before_set,
       {{"PH", "1", "A", "1", "2", "3", "A", "60", "PF"}, {"PH", "2", "B", "4", "5", "B", "90", "PF"}}},
      {"flag 1: a new page without the page header", group_header_page_set,
       {{"PH", "1", "A", "1", "2", "3", "A", "60", "PF"}, {"B", "4", "5", "B", "90", "PF"}}},
      {"flag 5: a new page numbered 1", group_page_restart_set,
       {{"PH", "1", "A", "1", "2", "3", "A", "60", "PF"}, {"PH", "1", "B", "4", "5", "B", "90", "PF"}}},
      {"flag 2: the footer at the foot ends the page", group_footer_foot_set,
       {{"PH", "1", "A", "1", "2", "3", "A", "60", "PF"}, {"PH", "2", "B", "4", "5", "B", "90", "PF"}}},
  };
  customers_and_orders();
  page_header_footer();
  for (const Case& c : cases) {
    for (auto set : {group_break_before_set, group_header_page_set, group_page_restart_set, group_footer_foot_set})
      set(customer, 0);
    if (c.set) c.set(customer, 1);
    EXPECT_EQ(page_texts(), c.pages) << c.what;
  }
}

TEST_F(OutputPageTest, AFooterAtTheFootEndsAtThePageFootersLine) {
  customers_and_orders();
  page_header_footer();
  group_footer_foot_set(customer, 1);
  // 1098 dots of paper; the page footer takes the last 20, the footer of
  // 20 stands right above it: on page 1, where its group breaks; at the
  // end of the relation the summary's group breaks and B's footer stays
  // in the flow, unless resets are hard.
  for (int hard : {0, 1}) {
    report_hardResets(report, hard);
    auto pages = produce();
    ASSERT_EQ(pages.size(), 2u);
    for (size_t p = 0; p < 2; p++) {
      auto t = texts_at(pages[p]);
      ASSERT_GE(t.size(), 3u);
      bool foot = p == 0 || hard;
      EXPECT_EQ(t[t.size() - 2].top == 1098 - 20 - 20, foot) << "page " << p + 1 << " hard " << hard;
      EXPECT_EQ(t.back().top, 1098 - 20) << "the page footer";
    }
  }
}

// Footers that add up beyond what 32 bits hold (each area at the height a
// report file may give) leave no room on the page, and nothing wraps round.
TEST_F(OutputPageTest, FootersTallerThanAnyPageAddUpWithoutWrappingRound) {
  text(area(report_title_group(report), true), "Title");
  for (int i = 0; i < 2000; i++) area(report_page_group(report), false, 1000000);
  TPrintSetup fine = setup;
  fine.Dpi = 1200;  // each area 1.2 million dots high
  auto pages = produce(fine);
  ASSERT_FALSE(pages.empty());
  EXPECT_EQ(texts(pages).front().front(), "Title");
}

TEST_F(OutputPageTest, HeadersWithFlag3StandAgainOnEveryPageTheGroupGoesOn) {
  customers_and_orders();
  page_header_footer();
  // Orders 60 dots high, moved whole: two to a page of 201 dots under the
  // page header and above the footer.
  order->headers[0]->height = 600;
  area_pageBreak(order->headers[0], 0);
  group_header_repeat_set(customer, 1);
  EXPECT_EQ(texts(produce(short_paper())), (Pages{{"PH", "1", "A", "1", "2", "PF"},
                                                  {"PH", "2", "A", "3", "A", "60", "B", "PF"},
                                                  {"PH", "3", "B", "4", "5", "B", "90", "PF"}}));
}

TEST_F(OutputPageTest, TheTitlePageStandsAlone) {
  customers_and_orders();
  page_header_footer();
  text(area(report_title_group(report), true), "Title");
  report_titlePage(report, 1);
  Pages pages = page_texts();
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(pages[0], (std::vector<std::string>{"PH", "1", "Title", "PF"}));
  EXPECT_EQ(pages[1].front(), "PH");
  EXPECT_EQ(pages[1][2], "A");
}

TEST_F(OutputPageTest, HardResetsMakeEveryGroupsFlagsCount) {
  customers_and_orders();
  group_break_before_set(order, 1);
  // The orders break a page each, except where the customer breaks (the
  // order is then not the breaking group) unless resets are hard.
  EXPECT_EQ(page_texts(), (Pages{{"A", "1"}, {"2"}, {"3", "A", "60", "B", "4"}, {"5", "B", "90"}}));
  // Hard: the order after a customer's header breaks too, also the first.
  report_hardResets(report, 1);
  EXPECT_EQ(page_texts(), (Pages{{"A"}, {"1"}, {"2"}, {"3", "A", "60", "B"}, {"4"}, {"5", "B", "90"}}));
}

// An area of 500 dots holding texts of 30 dots at 0, 100, 200, 300 and 400,
// on paper of 201 dots.
class SplitTest : public OutputPageTest {
 protected:
  DbReportArea* tall = nullptr;
  void SetUp() override {
    OutputPageTest::SetUp();
    tall = area(report_title_group(report), true, 5000);
    for (const char* t : {"T0", "T1", "T2", "T3", "T4"}) {
      DbReportObject* o = obj_text_create(tall, t, 0, 1000 * (t[1] - '0'), 1500, 300);
      ASSERT_NE(o, nullptr);
    }
  }
  // A small area printed before it.
  void top_area() {
    DbReportArea* top = area_create(report_title_group(report), 200, 1, nullptr);
    text(top, "Top");
    // Before the tall one.
    auto& h = report_title_group(report)->headers;
    std::rotate(h.begin(), h.end() - 1, h.end());
  }
};

TEST_F(SplitTest, AnAreaTallerThanThePageSplitsWhereNoObjectIsCut) {
  EXPECT_EQ(texts(produce(short_paper())), (Pages{{"T0", "T1"}, {"T2", "T3"}, {"T4"}}));
  top_area();
  EXPECT_EQ(texts(produce(short_paper())), (Pages{{"Top", "T0", "T1"}, {"T2", "T3"}, {"T4"}}));
}

TEST_F(SplitTest, WithoutPageBreakItMovesToANewPageOnceAndIsSplitThere) {
  area_pageBreak(tall, 0);
  top_area();
  EXPECT_EQ(texts(produce(short_paper())), (Pages{{"Top"}, {"T0", "T1"}, {"T2", "T3"}, {"T4"}}));
  // Alone on the first page it does not move at all.
  area_free(report_title_group(report)->headers[0]);
  EXPECT_EQ(texts(produce(short_paper())), (Pages{{"T0", "T1"}, {"T2", "T3"}, {"T4"}}));
}

TEST_F(SplitTest, AnObjectTallerThanThePageIsCutAcrossPages) {
  area_free(tall);
  DbReportArea* a = area(report_title_group(report), true, 5000);
  ASSERT_NE(obj_frame_create(a, 0, 0, 1500, 5000), nullptr);
  text(area(report_title_group(report), false), "End");
  auto pages = produce(short_paper());
  // 500 dots on pages of 201: the frame is drawn on three pages, cut at
  // each page's lines, and the summary follows it.
  ASSERT_EQ(pages.size(), 3u);
  const int shown[3][2] = {{0, 201}, {0, 201}, {0, 98}};
  for (size_t i = 0; i < pages.size(); i++) {
    auto frame = std::find_if(pages[i].begin(), pages[i].end(),
                              [](const plat::DrawOp& op) { return op.kind == plat::DrawOp::Rectangle; });
    ASSERT_NE(frame, pages[i].end()) << i;
    ASSERT_TRUE(frame->clip) << i;
    EXPECT_EQ(frame->clip->top, shown[i][0]) << i;
    EXPECT_EQ(frame->clip->bottom, shown[i][1]) << i;
    EXPECT_EQ(frame->rect.Height() > 201, true) << i;
  }
  EXPECT_EQ(texts(pages), (Pages{{}, {}, {"End"}}));
}

TEST_F(OutputPageTest, DisplayOnceShowsAValueOnlyWhenItChanges) {
  order = group_create(report, "Order", nullptr);
  DbReportArea* a = area(order, true);
  DbReportObject* cust = show(a, "CUST");
  show(a, "ORDNO", 2000);
  ASSERT_EQ(obj_display_once_set(cust, "CUST"), 0);
  EXPECT_EQ(page_texts(), (Pages{{"A", "1", "2", "3", "B", "4", "5"}}));
}

TEST_F(OutputPageTest, LookAheadShowsTheGroupsTotalsAndLastRecordInItsHeader) {
  customers_and_orders();
  DbReportArea* head = customer->headers[0];
  DbReportObject* sum = total(head, "AHEAD", "QTY", DB_TOTAL_SUM, "CUST", 2000);
  obj_lookahead(sum, 1);
  DbReportObject* last = show(head, "ORDNO", 4000);
  obj_lookahead(last, 1);
  // B's look-ahead runs to the end of the relation and comes back to
  // order 4.
  EXPECT_EQ(page_texts(), (Pages{{"A", "60", "3", "1", "2", "3", "A", "60", "B", "90", "5", "4", "5", "B", "90"}}));
}

TEST_F(OutputPageTest, AnEmptyRelationPrintsTheTitleAndTheSummary) {
  customers_and_orders();
  text(area(report_title_group(report), true), "Title");
  DbReportArea* summary = area(report_title_group(report), false);
  text(summary, "Summary");
  // An average and a minimum over no record print nothing.
  total(summary, "AVGQTY", "QTY", DB_TOTAL_AVERAGE, nullptr, 2000);
  total(summary, "MINQTY", "QTY", DB_TOTAL_MIN, nullptr, 4000);
  total(summary, "COUNTQTY", "QTY", DB_TOTAL_COUNT, nullptr, 6000)->display_zero = 1;
  ASSERT_EQ(report_query_set(report, "QTY > 1000"), 0);
  EXPECT_EQ(page_texts(), (Pages{{"Title", "Summary", "0"}}));
}

TEST_F(OutputPageTest, ThePageExtentAndOffsetsAreInDeviceUnits) {
  ASSERT_EQ(report_margins_set(report, 500, 250, 1000, 300, 0), 0);
  text(area(report_title_group(report), true), "Title", 100, 100);
  auto pages = produce();
  long w = 0, h = 0, l = 0, r = 0, t = 0, b = 0;
  report_page_extent(report, &w, &h);
  report_page_offsets(report, &l, &r, &t, &b);
  EXPECT_EQ(w, 850);   // 8000 + 250 + 250 thousandths, the margins changed around it
  EXPECT_EQ(h, 1098);  // the paper
  EXPECT_EQ(l, 50);
  EXPECT_EQ(r, 25);
  EXPECT_EQ(t, 100);
  EXPECT_EQ(b, 30);
  auto at = texts_at(pages.at(0));
  ASSERT_EQ(at.size(), 1u);
  EXPECT_EQ(at[0].left, 60);  // the margin and the object's place
  EXPECT_EQ(at[0].top, 110);
}

TEST_F(OutputPageTest, FieldsExpressionsAndDatesAreFormattedByTheirTypes) {
  order = group_create(report, "Order", nullptr);
  DbReportArea* a = area(order, true);
  show(a, "QTY");
  DbReportObject* date = show(a, "ODATE", 2000);
  obj_date_picture_set(date, "DD.MM.CCYY");
  show(a, "PAID", 4000);
  expr(a, "CUSTS->NAME", 5000);
  DbReportObject* currency = expr(a, "QTY * 100", 6000);
  obj_numericType(currency, DB_NUMERIC_CURRENCY);
  expr(a, "CTOD('03/02/24') + ORDNO", 7000);
  ASSERT_EQ(report_query_set(report, "ORDNO = 4"), 0);
  EXPECT_EQ(page_texts(), (Pages{{"40.00", "01.03.2024", "F", "BOLT", "$4,000", "03/06/24"}}));
}

}  // namespace
}  // namespace kvtest
