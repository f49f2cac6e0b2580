// Fuzz target: arbitrary bytes as a relation file (.REL), retrieved with its
// tables opened from the data directory, walked once, then freed with them.
// Covers: report/relate_file.cpp
#include "tests/fuzz/report_station.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static kvtest::ReportStation station;
  std::string path = station.put("IN.REL", data, size);
  DbRelation* r = relate_retrieve(&station.ctx, path.c_str(), 1, station.dir.file().c_str());
  if (r) {
    for (int rc = relate_top(r), n = 0; rc == 0 && n < 10; rc = relate_skip(r, 1), n++) {
    }
    code_error_set(&station.ctx, 0);
    relate_free(r, 1);
  }
  station.check_clean();
  return 0;
}
