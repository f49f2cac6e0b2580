// Fuzz target: arbitrary bytes as a style file (.CRS), taken into a report
// whose one object uses its style; the input's length picks whether styles
// of a name the report has replace it.
// Covers: report/style_file.cpp
#include "tests/fuzz/report_station.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static kvtest::ReportStation station;
  std::string path = station.put("IN.CRS", data, size);
  DbDataFile* orders = data_open(&station.ctx, station.dir.file("ORDERS.DBF").c_str());
  DbRelation* rel = relate_init(orders);
  DbReport* r = report_create(rel);
  if (!r) std::abort();
  DbReportArea* a = area_create(report_title_group(r), 100, 1, nullptr);
  if (!obj_text_create(a, "x", 0, 0, 10, 10)) std::abort();
  int before = style_count(r);
  if (style_retrieve(r, path.c_str(), int(size & 1)) != 0 && style_count(r) != before) std::abort();
  code_error_set(&station.ctx, 0);
  if (report_free(r, 1, 1) != 0) std::abort();
  station.check_clean();
  return 0;
}
