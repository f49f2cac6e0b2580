// A scratch station for the DNC benchmarks: its directories under the
// benchmarks' scratch folder, the global state pointing at them and the engine's
// boxes off; all of it gone again at the end of the run.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>

#include "appcore/globals.h"
#include "bench/outputs.h"
#include "dbmodel/engine_context.h"

namespace kvbench {

class TBenchStation {
 public:
  explicit TBenchStation(const std::string& stem)
      : root(kvbench::scratch_root() / (stem + std::to_string(getpid()))) {
    std::filesystem::remove_all(root);
    for (const char* d : {"db", "alt", "local", "temp", "progs"}) std::filesystem::create_directories(root / d);
    Globals = globals_ = new TGlobals;
    globals_->DatabaseDir = (root / "db").string() + "\\";
    globals_->AlternateDir = (root / "alt").string() + "\\";
    globals_->LocalDir = (root / "local").string() + "\\";
    globals_->TempDir = (root / "temp").string() + "\\";
    DbContext->report_create_errors = 0;
    DbContext->report_open_errors = 0;
    DbContext->lock_attempts = -1;
  }
  ~TBenchStation() {
    Globals = nullptr;
    delete globals_;
    std::filesystem::remove_all(root);
  }
  TBenchStation(const TBenchStation&) = delete;
  TBenchStation& operator=(const TBenchStation&) = delete;

  const std::filesystem::path root;

 private:
  TGlobals* globals_;
};

}  // namespace kvbench
