// Reading the report record of a report file into its plain records,
// version by version (format.md lists what each older version lacks).
// Object trees are read with a stack of pending child counts, not by
// recursion, so no nesting a file holds can exhaust the stack.
#include <cstring>

#include "report/file_records.h"

namespace repfile {

namespace {

// The shortest records, for counts the rest of the file cannot hold.
constexpr long kObjectMinBytes = 60;
constexpr long kCalcMinBytes = 12;
constexpr long kGroupMinBytes = 30;
constexpr long kAreaMinBytes = 17;
constexpr int32_t kLayoutMax = 5000;
constexpr int32_t kMarginMax = 32000;
// Positions, sizes and the printable width, in thousandths of an inch: a
// thousand inches is more than any sheet holds, and the sums the layout
// makes of a few of them stay far inside 32 bits. A file value outside
// 0..kExtentMax is damage, refused before anything computes with it.
constexpr int32_t kExtentMax = 1000000;

bool extent(int32_t v) { return v >= 0 && v <= kExtentMax; }

const char* const kRetrieveReport = "Unable to retrieve report.";

bool read_page(ItemReader& in, ReportRecord& rec) {
  for (int32_t* v : {&rec.width, &rec.top, &rec.bottom, &rec.left, &rec.right})
    if (!in.i32(*v)) return false;
  return true;
}

bool read_calc(ItemReader& in, int version, CalcRecord& rec) {
  int total;
  if (!in.u16(total) || !in.text(rec.name, kCalcName) || !in.text(rec.expr, kText)) return false;
  rec.total = total != 0;
  if (!rec.total) return true;
  int flag;
  if (!in.u16(flag)) return false;
  rec.has_reset = flag != 0;
  if (rec.has_reset && !in.text(rec.reset, kText)) return false;
  if (version >= 36) {
    if (!in.u16(flag)) return false;
    rec.has_condition = flag != 0;
    if (rec.has_condition && !in.text(rec.condition, kText)) return false;
    if (!in.u16(rec.logical)) return false;
  }
  if (!in.u16(rec.type)) return false;
  return version < 34 || in.u16(rec.lookahead);
}

bool read_object(ItemReader& in, int version, ObjectRecord& rec, int32_t& children) {
  for (int32_t* v : {&rec.x, &rec.y, &rec.width, &rec.height, &rec.display_width})
    if (!in.i32(*v) || !extent(*v)) return false;
  for (int* v : {&rec.marks[0], &rec.marks[1], &rec.justify, &rec.numeric_type, &rec.display_zero,
                 &rec.decimals, &rec.brackets, &rec.leading_zero})
    if (!in.u16(*v)) return false;
  if (!in.text(rec.display_once, kText) || !in.text(rec.date_picture, kText) || !in.text(rec.text, kText) ||
      !in.text(rec.style, kStyleName) || !in.u16(rec.lookahead) || !in.i32(rec.type))
    return false;
  if (version >= 37) {
    int has;
    if (!in.u16(has)) return false;
    rec.has_output = has != 0;
    if (rec.has_output && (!in.text(rec.out_name, kOutName) || !in.u16(rec.out_type) || !in.u16(rec.out_len) ||
                           !in.u16(rec.out_decimals)))
      return false;
  }
  return in.text(rec.data, kText) && in.i32(children);
}

bool read_area(ItemReader& in, int version, AreaRecord& rec, ReadErrors& errors, const char* failed,
               const char* group) {
  int header, count;
  if (!in.text(rec.suppress, kText) || !in.i32(rec.height) || !extent(rec.height) || !in.u16(header) ||
      !in.u16(rec.setting_second) || !in.u16(rec.page_break) || !in.u16(count) || !in.fits(count, kObjectMinBytes))
    return errors.fail(e_report_retrieve, failed, group, &in);
  std::vector<int64_t> pending{count};
  while (!pending.empty()) {
    if (pending.back() == 0) {
      pending.pop_back();
      continue;
    }
    pending.back()--;
    ObjectRecord obj;
    int32_t children = 0;
    if (!read_object(in, version, obj, children) || !in.fits(children, kObjectMinBytes))
      return errors.fail(e_report_retrieve, "Unable to retrieve object.", nullptr, &in);
    rec.objects.push_back(std::move(obj));
    if (children > 0) pending.push_back(children);
  }
  return true;
}

bool read_group(ItemReader& in, int version, GroupRecord& rec, ReadErrors& errors, bool page) {
  const char* failed = page ? "Unable to retrieve page header/footer." : "Unable to retrieve group.";
  int position;
  if (!in.text(rec.name, kGroupName) || !in.text(rec.reset, kText) || !in.u16(rec.title) || !in.u16(position) ||
      !in.u16(rec.setting_second))
    return errors.fail(e_report_retrieve, failed, rec.name.c_str(), &in);
  for (int& flag : rec.flags)
    if (!in.u16(flag)) return errors.fail(e_report_retrieve, failed, rec.name.c_str(), &in);
  for (bool header : {true, false}) {
    const char* area_failed = page ? failed : header ? "Unable to retrieve header area." : "Unable to retrieve footer area.";
    auto& list = header ? rec.headers : rec.footers;
    int count;
    if (!in.u16(count) || !in.fits(count, kAreaMinBytes))
      return errors.fail(e_report_retrieve, area_failed, rec.name.c_str(), &in);
    list.resize(size_t(count));
    for (AreaRecord& area : list)
      if (!read_area(in, version, area, errors, area_failed, rec.name.c_str())) return false;
  }
  return true;
}

}  // namespace

bool read_style(ItemReader& in, StyleRecord& rec) {
  uint8_t rgb[3];
  std::string face;
  int16_t shorts[5];
  LOGFONT16& f = rec.font;
  if (!in.text(rec.name, kStyleName) || rec.name.empty() || !in.bytes(rgb, 3) || !in.u16(rec.point_size))
    return false;
  for (int16_t& v : shorts)
    if (!in.i16(v)) return false;
  if (!in.bytes(&f.lfItalic, 8) || !in.text(face, kFaceName)) return false;
  // The record is packed: its numbers are set by value, never by reference.
  f.lfHeight = shorts[0];
  f.lfWidth = shorts[1];
  f.lfEscapement = shorts[2];
  f.lfOrientation = shorts[3];
  f.lfWeight = shorts[4];
  std::memcpy(f.lfFaceName, face.data(), face.size());
  rec.color = RGB(rgb[0], rgb[1], rgb[2]);
  for (std::string* b : {&rec.bytes_first, &rec.bytes_second}) {
    int n;
    if (!in.u16(n)) return false;
    b->resize(size_t(n));
    if (!in.bytes(b->data(), b->size())) return false;
  }
  return true;
}

bool read_report(ItemReader& in, int version, ReportRecord& rec, ReadErrors& errors) {
  auto failed = [&](const char* text = kRetrieveReport, const char* extra = nullptr) {
    return errors.fail(e_report_retrieve, text, extra, &in);
  };
  int count;
  if (!in.text(rec.name, kReportText) || !in.text(rec.caption, kReportText)) return failed();
  if (version >= 38 && !read_page(in, rec)) return failed();
  if (!in.u16(count) || !in.fits(count, kCalcMinBytes)) return failed();
  rec.calcs.resize(size_t(count));
  for (CalcRecord& calc : rec.calcs)
    if (!read_calc(in, version, calc)) return failed("Unable to retrieve calculation/total.", calc.name.c_str());
  if (!in.u16(count) || !in.fits(count, kStyleMinBytes)) return failed();
  rec.styles.resize(size_t(count));
  for (StyleRecord& style : rec.styles)
    if (!read_style(in, style)) return failed("Unable to retrieve style.", style.name.c_str());
  if (!read_group(in, version, rec.page_group, errors, true)) return false;
  if (!in.u16(count) || !in.fits(count, kGroupMinBytes)) return failed();
  rec.groups.resize(size_t(count));
  for (GroupRecord& group : rec.groups)
    if (!read_group(in, version, group, errors, false)) return false;
  char currency[11];
  uint8_t separator, decimal_point;
  if (!in.bytes(currency, sizeof currency) || !in.byte(separator) || !in.byte(decimal_point)) return failed();
  rec.currency.assign(currency, strnlen(currency, sizeof currency - 1));
  rec.separator = char(separator);
  rec.decimal_point = char(decimal_point);
  if (version < 38 && !read_page(in, rec)) return failed();
  if (version >= 33 && (!in.u16(rec.title_page) || !in.u16(rec.hard_resets))) return failed();
  if (version >= 35 && (!in.i32(rec.layout_values[0]) || !in.i32(rec.layout_values[1]))) return failed();
  if (version >= 37) {
    int has;
    if (!in.u16(has)) return failed();
    rec.has_output = has != 0;
    if (rec.has_output && (!in.text(rec.output_group, kGroupName) || !in.text(rec.output_file, kFileName)))
      return failed();
  }
  // A margin above kMarginMax is read as none, as the writer stores it; a
  // negative one or a width out of range is damage.
  for (int32_t* margin : {&rec.top, &rec.bottom, &rec.left, &rec.right}) {
    if (*margin < 0) return failed();
    if (*margin > kMarginMax) *margin = 0;
  }
  if (!extent(rec.width)) return failed();
  for (int32_t& v : rec.layout_values)
    if (v < 0 || v > kLayoutMax) v = 0;
  return true;
}

}  // namespace repfile
