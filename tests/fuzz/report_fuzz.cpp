// Fuzz target: arbitrary bytes as a report file (.REP), retrieved with its
// tables opened from the data directory, then freed with them.
// Covers: report/report_retrieve.cpp, report/report_read.cpp, report/relate_file.cpp
#include "tests/fuzz/report_station.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static kvtest::ReportStation station;
  std::string path = station.put("IN.REP", data, size);
  DbReport* r = report_retrieve(&station.ctx, path.c_str(), 1, station.dir.file().c_str());
  if (r && report_free(r, 1, 1) != 0) std::abort();
  station.check_clean();
  return 0;
}
