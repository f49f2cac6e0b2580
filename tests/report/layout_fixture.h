// A layout with one of every kind of object the files keep (bitmaps
// aside), styles, totals, calculations that name each other, flags and
// settings away from their defaults; and a writer of report files of the
// older versions, written here from the format, apart from the engine's.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "tests/report/report_fixture.h"
#include "tests/support/bytes.h"

namespace kvtest {

class LayoutTest : public ReportTest {
 protected:
  // True when no save left its work file ("name~") behind.
  bool no_work_files() {
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
      if (e.path().string().back() == '~') return false;
    return true;
  }

  // Fills the report; objects at 0 and an object without a text among them.
  void build_layout(DbReport* r) {
    ASSERT_EQ(report_caption_set(r, "Orders by customer"), 0);
    LOGFONT16 f{};
    f.lfHeight = -13;
    f.lfWeight = 700;
    f.lfCharSet = 1;
    std::string face = "Arial";
    face.copy(f.lfFaceName, face.size());
    DbReportStyle* bold = style_create(r, &f, "Bold", RGB(10, 20, 30), 12);
    ASSERT_NE(bold, nullptr);
    bold->bytes_first = std::string("\x01\x00\x02", 3);

    ASSERT_NE(calc_create(&ctx, expr_parse(orders, "QTY * 2"), "DOUBLEQTY"), nullptr);
    ASSERT_NE(calc_create(&ctx, expr_parse(orders, "DOUBLEQTY() * 2"), "QUADQTY"), nullptr);
    DbReportTotal* sum = total_create(r, "SUMQTY", "QUADQTY()", DB_TOTAL_SUM, "CUST");
    ASSERT_NE(sum, nullptr);
    ASSERT_EQ(total_condition_set(sum, "PAID", 1), 0);
    sum->lookahead = 1;
    DbReportTotal* count = total_create(r, "COUNTALL", "QTY", DB_TOTAL_COUNT, nullptr);
    ASSERT_NE(count, nullptr);
    // The calculation a total names comes last in the context's list: the
    // save puts it back before the total.
    DbCalc* doubled = calc_lookup(&ctx, "DOUBLEQTY", 9);
    list_remove(&ctx.calc_list, doubled);
    list_add(&ctx.calc_list, doubled);

    ASSERT_EQ(report_query_set(r, "QTY > 5"), 0);
    ASSERT_EQ(report_sort_set(r, "CUST + STR(ORDNO, 6)"), 0);
    ASSERT_EQ(report_margins_set(r, 300, 400, 500, 40000, 0), 0);  // the last is saved as 0
    report_titlePage(r, 1);
    report_hardResets(r, 2);
    report_currency_set(r, "EUR");
    report_decimal_set(r, ',');
    report_separator_set(r, '.');
    r->layout_values[0] = 100;
    r->layout_values[1] = 5000;

    DbReportArea* page = area_create(report_page_group(r), 300, 1, nullptr);
    ASSERT_NE(page, nullptr);
    ASSERT_NE(obj_text_create(page, "Orders", 0, 0, 2000, 200), nullptr);
    DbReportObject* pageno = obj_expr_create(page, "PAGENO()", 7000, 0, 800, 200);
    ASSERT_NE(pageno, nullptr);
    obj_justify(pageno, 1);
    obj_numericType(pageno, 2);
    ASSERT_NE(area_create(report_page_group(r), 150, 0, "PAGENO() = 1"), nullptr);

    ASSERT_NE(area_create(report_title_group(r), 500, 1, nullptr), nullptr);
    DbReportGroup* g = group_create(r, "Customer", "CUST");
    ASSERT_NE(g, nullptr);
    group_header_page_set(g, 1);
    group_page_restart_set(g, 3);
    g->setting_second = 9;
    DbReportArea* head = area_create(g, 400, 1, "QTY > 1000");
    ASSERT_NE(head, nullptr);
    area_pageBreak(head, 0);
    head->setting_second = 4;
    DbReportObject* name = obj_field_create(head, data_field_named(custs, "NAME"), 100, 50, 2000, 200);
    ASSERT_NE(name, nullptr);
    ASSERT_EQ(obj_style(name, bold), 0);
    ASSERT_EQ(obj_display_once_set(name, "CUST"), 0);
    ASSERT_EQ(obj_output_field_set(name, "CUSTNAME", 'C', 20, 0), 0);
    name->marks[0] = 3;
    name->marks[1] = 65535;
    DbReportObject* frame = obj_frame_create(head, 2500, 10, 3000, 380);
    ASSERT_NE(frame, nullptr);
    obj_frameCorners(frame, 1);
    obj_frameFill(frame, 1);
    obj_line_width_set(frame, 2);
    ASSERT_NE(obj_text_create(frame->area, nullptr, 2600, 50, 500, 100), nullptr);  // inside the frame
    ASSERT_NE(obj_bitmap_field_create(head, data_field_named(custs, "NAME"), 6000, 50, 100, 100), nullptr);

    DbReportArea* foot = area_create(g, 300, 0, nullptr);
    ASSERT_NE(foot, nullptr);
    DbReportObject* total = obj_total_create(foot, sum, 100, 0, 1000, 200);
    ASSERT_NE(total, nullptr);
    ASSERT_EQ(obj_output_field_set(total, "SUMQTY", 'N', 12, 2), 0);
    DbReportObject* calc = obj_calc_create(foot, calc_lookup(&ctx, "QUADQTY", 7), 1200, 0, 1000, 200);
    ASSERT_NE(calc, nullptr);
    obj_decimals_set(calc, 3);
    obj_brackets(calc, 1);
    obj_leadingZero(calc, 1);
    obj_displayZero(calc, 1);
    DbReportObject* date = obj_field_create(foot, data_field_named(orders, "ODATE"), 2300, 0, 1000, 200);
    ASSERT_NE(date, nullptr);
    obj_date_picture_set(date, "DD.MM.CCYY");
    obj_lookahead(date, 1);
    ASSERT_NE(obj_total_create(foot, count, 3400, 0, 500, 200), nullptr);
    DbReportObject* hline = obj_line_create(foot, 0, 0, 250, 8000);
    ASSERT_NE(hline, nullptr);
    obj_line_width_set(hline, 3);
    ASSERT_NE(obj_line_create(foot, 1, 7700, 0, 300), nullptr);
    report_output_group_set(r, g);
    report_output_file_set(r, "ORDSUM.DBF");
  }
};

// A report file written item by item, for the versions before the current
// one and for damaged files.
struct FileWriter {
  std::string bytes;
  void byte(int v) { bytes += char(v); }
  void u16(int v) { put_le16(bytes, uint16_t(v)); }
  void i32(int32_t v) { put_le32(bytes, uint32_t(v)); }
  void text(std::string_view s) {
    i32(int32_t(s.size()));
    bytes += s;
    bytes += '\0';
  }
};

// What may be changed in an old file, for the damaged ones.
struct OldFileKnobs {
  int first_byte = 0x15;
  int object_type = DB_OBJ_FIELD;
  bool style_twice = false;
  bool group_twice = false;
  int32_t child_count = 0;
  int32_t caption_length = -1;  // as stored, when set
  int declared_objects = 1;  // the count stored; one record follows
  int32_t page[5] = {7000, 100, 200, 300, 400};  // width, top, bottom, left, right
  int32_t area_height = 300;                     // the group's header area
  int32_t object[5] = {10, 20, 1000, 200, 8};    // x, y, width, height, display width
};

// A report file of the given version over ORDERS alone: a total, a style,
// a page header with a text, "Title/Summary" and a group "Customer" with a
// field object, and every item the version has.
inline std::string old_report_file(int version, const OldFileKnobs& k = {}) {
  FileWriter w;
  w.byte(k.first_byte);
  w.byte(version);
  w.text("ORDERS.DBF");
  if (version >= 36) w.text("ORDERS");
  for (int s : {0, 108, 0, 105}) w.u16(s);
  w.u16(1);
  w.text("ORDERS.MDX");
  w.text("ORDNO");
  w.text("");
  w.u16(2);
  w.text("");  // query
  w.text("");  // sort
  w.text("OLD");
  if (k.caption_length >= 0) {
    w.i32(k.caption_length);
    w.bytes += "An old report";
    w.byte(0);
  } else {
    w.text("An old report");
  }
  auto page = [&] {
    for (int32_t v : k.page) w.i32(v);
  };
  if (version >= 38) page();
  w.u16(1);  // the total
  w.u16(1);
  w.text("SUMQTY");
  w.text("QTY");
  w.u16(1);
  w.text("CUST");
  if (version >= 36) {
    w.u16(1);
    w.text("PAID");
    w.u16(1);
  }
  w.u16(DB_TOTAL_SUM);
  if (version >= 34) w.u16(1);
  int styles = k.style_twice ? 2 : 1;
  w.u16(styles);
  for (int i = 0; i < styles; i++) {
    w.text("Old Style");
    w.byte(1);
    w.byte(2);
    w.byte(3);
    w.u16(9);
    for (int v : {-12, 0, 0, 0, 400}) w.u16(v);
    for (int b = 0; b < 8; b++) w.byte(0);
    w.text("Courier");
    w.u16(0);
    w.u16(0);
  }
  auto group = [&](const char* name, const char* reset, int title, bool with_area) {
    w.text(name);
    w.text(reset);
    w.u16(title);
    w.u16(0);
    w.u16(0);
    for (int f = 0; f < 5; f++) w.u16(f == 3 ? 1 : 0);
    w.u16(with_area ? 1 : 0);  // header areas
    if (with_area) {
      w.text("");
      w.i32(k.area_height);
      w.u16(1);
      w.u16(0);
      w.u16(1);
      w.u16(k.declared_objects);
      {
        for (int32_t v : k.object) w.i32(v);
        for (int u = 0; u < 8; u++) w.u16(0);
        w.text("");
        w.text("");
        w.text("wintext");
        w.text("Old Style");
        w.u16(0);
        w.i32(k.object_type);
        if (version >= 37) {
          w.u16(1);
          w.text("CUSTNO");
          w.u16('C');
          w.u16(6);
          w.u16(0);
        }
        w.text(k.object_type == DB_OBJ_FIELD ? "ORDERS|CUST" : "data");
        w.i32(k.child_count);
      }
    }
    w.u16(0);  // footer areas
  };
  group("Pg Header/Footer", "", 0, false);
  w.u16(k.group_twice ? 3 : 2);
  group("Title/Summary", "", 1, false);
  group("Customer", "CUST", 0, true);
  if (k.group_twice) group("Customer", "", 0, false);
  w.bytes += std::string("DM\0\0\0\0\0\0\0\0\0", 11);
  w.byte('.');
  w.byte(',');
  if (version < 38) page();
  if (version >= 33) {
    w.u16(1);
    w.u16(1);
  }
  if (version >= 35) {
    w.i32(300);
    w.i32(6000);  // beyond 5000: read as 0
  }
  if (version >= 37) {
    w.u16(1);
    w.text("Customer");
    w.text("OUT.DBF");
  }
  return w.bytes;
}

}  // namespace kvtest
