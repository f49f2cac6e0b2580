// Report files: a layout saved, retrieved and saved again comes out byte
// for byte; older versions are read with their defaults; foreign and
// damaged files are refused with their messages and leave nothing behind.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/report/layout_fixture.h"

namespace kvtest {
namespace {

class ReportFileTest : public LayoutTest {
 protected:
  // Retrieves with the tables closed, from the scratch directory.
  DbReport* retrieve(const std::string& name) {
    return report_retrieve(&ctx, dir.file(name).c_str(), 1, dir.file().c_str());
  }

  // Frees the report built on rel, with rel and the tables.
  void free_built() {
    ASSERT_EQ(report_free(report, 1, 1), 0);
    rel = nullptr;
    report = nullptr;
    ASSERT_EQ(open_files(), 0);
  }

  // After a refused retrieve: no report, the options back, no file open.
  void expect_nothing_left(int calcs) {
    EXPECT_EQ(ctx.report_exists, 0);
    EXPECT_EQ(ctx.auto_open, 1);
    EXPECT_EQ(ctx.report_open_errors, 1);
    EXPECT_EQ(ctx.report_tag_errors, 1);
    EXPECT_EQ(ctx.report_field_errors, 1);
    EXPECT_EQ(open_files(), 0);
    EXPECT_EQ(ctx.calc_list.count, calcs);
    EXPECT_EQ(ctx.total_list.count, 0);
  }

  // Frees rel and closes the tables: the retrieves open them themselves.
  void free_built_tables_closed() {
    relate_free(rel, 1);
    rel = nullptr;
    ASSERT_EQ(open_files(), 0);
  }

  static DbReportObject* first_of_type(DbReportArea* a, int type) {
    for (DbReportObject* o = area_obj_first(a); o; o = area_obj_next(a, o))
      if (o->type == type) return o;
    return nullptr;
  }
};

TEST_F(ReportFileTest, SavedRetrievedAndSavedAgainIsByteEqual) {
  report = report_create(rel);
  ASSERT_NE(report, nullptr);
  build_layout(report);
  ASSERT_EQ(report_save(report, dir.file("FIRST").c_str(), 0), 0);
  EXPECT_EQ(report->name, "FIRST");
  EXPECT_TRUE(no_work_files());
  free_built();

  report = retrieve("FIRST.REP");
  ASSERT_NE(report, nullptr) << code_error_get(&ctx);
  EXPECT_EQ(report->name, "FIRST");
  ASSERT_EQ(report_save(report, dir.file("SECOND.REP").c_str(), 0), 0);
  EXPECT_EQ(dir.read("FIRST.REP"), dir.read("SECOND.REP"));
  EXPECT_TRUE(boxes().empty());
}

TEST_F(ReportFileTest, TheRetrievedLayoutIsTheOneSaved) {
  report = report_create(rel);
  ASSERT_NE(report, nullptr);
  build_layout(report);
  ASSERT_EQ(report_save(report, dir.file("LAYOUT").c_str(), 1), 0);
  free_built();
  report = retrieve("LAYOUT");
  ASSERT_NE(report, nullptr);
  DbReport* r = report;

  EXPECT_EQ(*r->caption, "Orders by customer");
  EXPECT_EQ(r->margin_bottom, 0);  // above 32000
  EXPECT_EQ(r->width, 7800);
  EXPECT_EQ(r->height, 11000 - 500);
  EXPECT_EQ(r->currency, "EUR");
  EXPECT_EQ(r->decimal_point, ',');
  EXPECT_EQ(r->hard_resets, 2);
  EXPECT_EQ(r->layout_values[1], 5000);
  EXPECT_EQ(r->relation->query_text, "QTY > 5");
  ASSERT_EQ(style_count(r), 2);
  EXPECT_EQ(report_style_current(r)->name, "Plain Text");
  DbReportStyle* bold = style_lookup(r, "Bold");
  ASSERT_NE(bold, nullptr);
  EXPECT_EQ(bold->color, RGB(10, 20, 30));
  EXPECT_EQ(bold->bytes_first, std::string("\x01\x00\x02", 3));
  EXPECT_EQ(bold->font.lfCharSet, 1);

  // The calculations in the order they name each other.
  std::vector<std::string> calcs;
  for (DbCalc* c : context_calcs(&ctx)) calcs.push_back(c->name);
  EXPECT_EQ(calcs, (std::vector<std::string>{"COUNTALL", "DOUBLEQTY", "QUADQTY", "SUMQTY"}));
  DbReportTotal* sum = total_lookup(r, "SUMQTY");
  ASSERT_NE(sum, nullptr);
  EXPECT_EQ(sum->lookahead, 1);
  EXPECT_EQ(sum->logical, 1);
  ASSERT_NE(sum->condition, nullptr);
  EXPECT_STREQ(expr_source(sum->condition), "PAID");

  // The page header's text stood at 0, 0: it comes back at 1, 1.
  DbReportObject* orders_text = area_obj_first(group_header_first(report_page_group(r)));
  ASSERT_NE(orders_text, nullptr);
  EXPECT_EQ(orders_text->x, 1);
  EXPECT_EQ(orders_text->y, 1);
  DbReportGroup* g = report_groupLookup(r, "Customer");
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->position, 1);
  EXPECT_EQ(g->flags[DB_GROUP_PAGE_RESTART], 3);
  EXPECT_EQ(r->output_group, g);
  EXPECT_EQ(r->output_file, "ORDSUM.DBF");
  EXPECT_EQ(r->output_fields.size(), 2u);
  DbReportArea* head = group_header_first(g);
  EXPECT_EQ(head->page_break, 0);
  EXPECT_EQ(head->setting_second, 4);
  DbReportObject* name = first_of_type(head, DB_OBJ_FIELD);
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(name->field, data_field_named(report->relation->top.slaves[0]->data, "NAME"));
  EXPECT_EQ(name->style, bold);
  EXPECT_EQ(name->marks[1], 65535);
  DbReportObject* frame = area_obj_first(head);  // frames lie beneath: first
  ASSERT_EQ(frame->type, DB_OBJ_FRAME);
  ASSERT_EQ(frame->children.size(), 1u);
  EXPECT_FALSE(frame->children[0]->text.has_value());  // saved as "wintext"
  EXPECT_TRUE(boxes().empty());
}

TEST_F(ReportFileTest, OlderVersionsAreReadWithTheirDefaults) {
  free_built_tables_closed();
  for (int version = 32; version <= 38; version++) {
    SCOPED_TRACE(version);
    dir.write("OLD.REP", old_report_file(version));
    report = retrieve("OLD.REP");
    ASSERT_NE(report, nullptr) << code_error_get(&ctx);
    DbReport* r = report;
    EXPECT_EQ(r->name, "OLD");
    EXPECT_EQ(*r->caption, "An old report");
    EXPECT_EQ(r->width, 7000);
    EXPECT_EQ(r->margin_top, 100);
    EXPECT_EQ(r->margin_right, 400);
    EXPECT_EQ(r->currency, "DM");
    EXPECT_EQ(r->title_page, version >= 33 ? 1 : 0);
    EXPECT_EQ(r->hard_resets, version >= 33 ? 1 : 0);
    EXPECT_EQ(r->layout_values[0], version >= 35 ? 300 : 0);
    EXPECT_EQ(r->layout_values[1], 0);
    DbReportTotal* t = total_lookup(r, "SUMQTY");
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->lookahead, version >= 34 ? 1 : 0);
    EXPECT_EQ(t->condition != nullptr, version >= 36);
    EXPECT_EQ(data_alias(r->relation->top.data), std::string("ORDERS"));
    EXPECT_STREQ(tag_name(data_tag_selected(r->relation->top.data)), "ORDNO");
    DbReportGroup* g = report_groupLookup(r, "Customer");
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->flags[DB_GROUP_BREAK_BEFORE], 1);
    DbReportObject* o = area_obj_first(group_header_first(g));
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->field, data_field_named(r->relation->top.data, "CUST"));
    EXPECT_EQ(o->style, style_lookup(r, "Old Style"));
    EXPECT_EQ(o->out_name, version >= 37 ? "CUSTNO" : "");
    EXPECT_EQ(r->output_group, version >= 37 ? g : nullptr);
    EXPECT_EQ(r->output_file, version >= 37 ? "OUT.DBF" : "");
    ASSERT_EQ(report_free(report, 1, 1), 0);
    EXPECT_EQ(open_files(), 0);
    EXPECT_TRUE(boxes().empty());
  }
  report = nullptr;
}

TEST_F(ReportFileTest, ForeignFilesAreRefusedWithTheirMessages) {
  free_built_tables_closed();
  struct Case {
    int first, version;
    const char* text;
  };
  const Case cases[] = {
      {0x15, 0x27, "Unable to retrieve report.\r\nBad file version."},
      {0x15, 31, "Unable to retrieve report.\r\nBad file version."},
      {0x17, 0x26, "Unable to retrieve report.\r\nFile is not a ZevoZezododo file."},
      {0xFF, 0x26, "Unable to retrieve report.\r\nFile is not a ZevoZezododo file."},
      {0x14, 0x26, "Unable to retrieve report.\r\nFile is not a ZevoZezododo file."},
  };
  for (const Case& c : cases) {
    std::string file = old_report_file(38);
    file[0] = char(c.first);
    file[1] = char(c.version);
    dir.write("FOREIGN.REP", file);
    EXPECT_EQ(retrieve("FOREIGN.REP"), nullptr);
    EXPECT_EQ(take_error(), -822);
    EXPECT_TRUE(reported(c.text)) << c.text;
    expect_nothing_left(0);
  }
  dir.write("EMPTY.REP", "");
  EXPECT_EQ(retrieve("EMPTY.REP"), nullptr);
  EXPECT_TRUE(reported("File is not a ZevoZezododo file."));
  take_error();
  EXPECT_EQ(retrieve("MISSING.REP"), nullptr);
  EXPECT_EQ(take_error(), -822);
}

TEST_F(ReportFileTest, DamagedFilesAreRefusedAndLeaveNothingBehind) {
  free_built_tables_closed();
  struct Case {
    OldFileKnobs knobs;
    const char* text;
  };
  auto knobs = [](auto change) {
    OldFileKnobs k;
    change(k);
    return k;
  };
  const Case cases[] = {
      {knobs([](OldFileKnobs& k) { k.object_type = 411; }), "Unable to retrieve object."},
      {knobs([](OldFileKnobs& k) { k.object_type = 399; }), "Unable to retrieve object."},
      {knobs([](OldFileKnobs& k) { k.style_twice = true; }), "Unable to retrieve style."},
      {knobs([](OldFileKnobs& k) { k.group_twice = true; }), "Unable to retrieve group."},
      {knobs([](OldFileKnobs& k) { k.child_count = 1000000; }), "Unable to retrieve object."},
      {knobs([](OldFileKnobs& k) { k.child_count = -1; }), "Unable to retrieve object."},
      {knobs([](OldFileKnobs& k) { k.child_count = 1; }), ""},  // refused, whatever the next bytes read as
      {knobs([](OldFileKnobs& k) { k.caption_length = 2000; }), "Internal buffer too small while retrieving report"},
      {knobs([](OldFileKnobs& k) { k.caption_length = 200000; }), "Internal buffer too small while retrieving report"},
      {knobs([](OldFileKnobs& k) { k.caption_length = 900; }), "Unable to retrieve report."},  // past the end
      {knobs([](OldFileKnobs& k) { k.declared_objects = 60000; }), "Unable to retrieve header area.\nCustomer"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    dir.write("DAMAGED.REP", old_report_file(38, c.knobs));
    EXPECT_EQ(retrieve("DAMAGED.REP"), nullptr);
    EXPECT_LT(take_error(), 0);
    std::vector<std::string> shown = boxes();
    EXPECT_TRUE(std::any_of(shown.begin(), shown.end(),
                            [&](const std::string& b) { return b.find(c.text) != std::string::npos; }))
        << (shown.empty() ? "no box" : shown.back());
    expect_nothing_left(0);
  }
}

// Every page value, area height and object place or size at its extremes,
// in the new place of the page values and the old one: a value out of range
// is refused with the reader's message before anything computes with it; a
// margin above 32000 is read as none, as the writer stores it.
TEST_F(ReportFileTest, PageValuesPlacesAndSizesOutOfRangeAreRefused) {
  free_built_tables_closed();
  enum Where { kPage, kArea, kObject };
  struct Case {
    Where where;
    int index;  // page: width, top, bottom, left, right; object: x, y, width, height, display width
    int32_t value;
    const char* refused;  // nullptr: read, the value as `kept`
    int32_t kept;
  };
  const char* const page = "Unable to retrieve report.";
  const char* const area = "Unable to retrieve header area.";
  const char* const object = "Unable to retrieve object.";
  std::vector<Case> cases;
  for (int i = 1; i <= 4; i++) {  // the margins
    cases.push_back({kPage, i, -2147483392, page, 0});
    cases.push_back({kPage, i, INT32_MIN, page, 0});
    cases.push_back({kPage, i, -1, page, 0});
    cases.push_back({kPage, i, 0, nullptr, 0});
    cases.push_back({kPage, i, 32000, nullptr, 32000});
    cases.push_back({kPage, i, 32001, nullptr, 0});
    cases.push_back({kPage, i, INT32_MAX, nullptr, 0});
  }
  for (int32_t bad : {INT32_MIN, -1, 1000001, INT32_MAX}) {
    cases.push_back({kPage, 0, bad, page, 0});
    cases.push_back({kArea, 0, bad, area, 0});
    for (int i = 0; i < 5; i++) cases.push_back({kObject, i, bad, object, 0});
  }
  cases.push_back({kPage, 0, 1000000, nullptr, 1000000});
  cases.push_back({kArea, 0, 1000000, nullptr, 1000000});
  for (int version : {38, 32}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << "version " << version << " where " << c.where << " index " << c.index
                                      << " value " << c.value);
      OldFileKnobs k;
      if (c.where == kPage) k.page[c.index] = c.value;
      else if (c.where == kArea) k.area_height = c.value;
      else k.object[c.index] = c.value;
      dir.write("EXTREME.REP", old_report_file(version, k));
      report = retrieve("EXTREME.REP");
      if (c.refused) {
        EXPECT_EQ(report, nullptr);
        EXPECT_EQ(take_error(), -822);
        EXPECT_TRUE(reported(c.refused));
        expect_nothing_left(0);
        continue;
      }
      ASSERT_NE(report, nullptr) << code_error_get(&ctx);
      DbReport* r = report;
      const int32_t pages[] = {r->width, r->margin_top, r->margin_bottom, r->margin_left, r->margin_right};
      if (c.where == kPage) {
        EXPECT_EQ(pages[c.index], c.kept);
      }
      if (c.where == kArea) {
        EXPECT_EQ(group_header_first(report_groupLookup(r, "Customer"))->height, c.kept);
      }
      EXPECT_EQ(r->height, 11000 - r->margin_top - r->margin_bottom);
      ASSERT_EQ(report_free(report, 1, 1), 0);
      report = nullptr;
      EXPECT_TRUE(boxes().empty());
    }
  }
  // An object beyond the default width of a new report, within the file's.
  OldFileKnobs wide;
  wide.page[0] = 20000;
  wide.object[0] = 15000;
  dir.write("WIDE.REP", old_report_file(38, wide));
  report = retrieve("WIDE.REP");
  ASSERT_NE(report, nullptr) << code_error_get(&ctx);
  EXPECT_EQ(area_obj_first(group_header_first(report_groupLookup(report, "Customer")))->x, 15000);
  ASSERT_EQ(report_free(report, 1, 1), 0);
  report = nullptr;
}

TEST_F(ReportFileTest, EveryTruncationIsRefusedCleanly) {
  report = report_create(rel);
  ASSERT_NE(report, nullptr);
  build_layout(report);
  ASSERT_EQ(report_save(report, dir.file("WHOLE.REP").c_str(), 0), 0);
  free_built();
  // A calculation of the caller's own survives every failed retrieve.
  DbDataFile* d = data_open(&ctx, dir.file("CUSTS.DBF").c_str());
  ASSERT_NE(d, nullptr);
  ASSERT_NE(calc_create(&ctx, expr_parse(d, "NAME"), "MINE"), nullptr);
  data_close(d);
  // Every length through the relation section, then every third: each item
  // cut short somewhere.
  std::string whole = dir.read("WHOLE.REP");
  for (size_t n = 0; n < whole.size(); n += n < 400 ? 1 : 3) {
    dir.write("CUT.REP", whole.substr(0, n));
    ASSERT_EQ(retrieve("CUT.REP"), nullptr) << n;
    ASSERT_LT(take_error(), 0) << n;
    boxes();
    ASSERT_EQ(ctx.report_exists, 0) << n;
    ASSERT_EQ(open_files(), 0) << n;
    ASSERT_EQ(ctx.calc_list.count, 1) << n;
    ASSERT_EQ(ctx.auto_open, 1) << n;
  }
  calc_free_all(&ctx);
}

TEST_F(ReportFileTest, AFailedSaveLeavesTheOldFileAsItWas) {
  report = report_create(rel);
  ASSERT_NE(report, nullptr);
  ASSERT_EQ(report_save(report, dir.file("KEEP.REP").c_str(), 0), 0);
  std::string before = dir.read("KEEP.REP");
  // A text object whose text the reader could not take back.
  DbReportArea* a = area_create(report_title_group(report), 100, 1, nullptr);
  DbReportObject* text = obj_text_create(a, std::string(5000, 'x').c_str(), 0, 0, 10, 10);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(report_save(report, dir.file("KEEP.REP").c_str(), 0), -1);
  EXPECT_EQ(take_error(), -821);
  EXPECT_TRUE(reported("Unable to save object."));
  EXPECT_EQ(dir.read("KEEP.REP"), before);
  EXPECT_TRUE(no_work_files());
  obj_delete(text);
  // Nor is a block that holds no bitmap saved as one beside the report:
  // the record would name a file the reader cannot take.
  HGLOBAL bitmap = GlobalAlloc(GHND, 64);
  ASSERT_NE(obj_bitmap_mem_create(a, bitmap, 20, 0, 10, 10), nullptr);
  EXPECT_EQ(report_save(report, dir.file("KEEP.REP").c_str(), 0), -1);
  EXPECT_EQ(take_error(), -821);
  EXPECT_TRUE(reported("Unable to save object."));
  EXPECT_EQ(dir.read("KEEP.REP"), before);
  area_free(a);
  EXPECT_EQ(report_save(report, dir.file("KEEP.REP").c_str(), 0), 0);
  EXPECT_EQ(dir.read("KEEP.REP"), before);
}

TEST_F(ReportFileTest, ASecondReportCannotBeRetrieved) {
  report = report_create(rel);
  ASSERT_NE(report, nullptr);
  ASSERT_EQ(report_save(report, dir.file("ONE.REP").c_str(), 1), 0);
  EXPECT_EQ(report_retrieve(&ctx, dir.file("ONE.REP").c_str(), 1, nullptr), nullptr);
  EXPECT_EQ(take_error(), -822);
  EXPECT_TRUE(reported("Unable to retrieve report.\r\nA report already exists."));
  EXPECT_EQ(ctx.report_exists, 1);
}

}  // namespace
}  // namespace kvtest
