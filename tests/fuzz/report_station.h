// What the report file fuzz targets share: one engine context and the two
// tables the report tests use, made once in a scratch directory and
// closed, so that every input opens them afresh. After each input the
// reader must have left nothing behind: no report, no open table, no
// calculation or total, and the context's options as they were.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "report/report.h"
#include "tests/report/report_tables.h"
#include "tests/support/scratch_dir.h"

namespace kvtest {

class ReportStation {
 public:
  ReportStation() {
    ctx.silent_errors = 1;
    DbDataFile* orders = nullptr;
    DbDataFile* custs = nullptr;
    if (!make_report_tables(&ctx, dir.file(), &orders, &custs)) std::abort();
    code_close_all(&ctx);
  }

  // Writes the input as the named file; its path.
  std::string put(const char* name, const uint8_t* data, size_t size) {
    return dir.write(name, std::string_view(reinterpret_cast<const char*>(data), size));
  }

  void check_clean() {
    if (ctx.report_exists || ctx.data_list.count || ctx.calc_list.count || ctx.total_list.count) std::abort();
    if (ctx.auto_open != 1 || ctx.report_open_errors != 1 || ctx.report_tag_errors != 1 ||
        ctx.report_field_errors != 1 || ctx.safety != 1)
      std::abort();
    code_error_set(&ctx, 0);
  }

  ScratchDir dir{"kv-fuzz-report"};
  // Never destroyed: at exit the thread's work buffers it would give back
  // are gone before the static objects.
  DbEngine& ctx = *new DbEngine;
};

}  // namespace kvtest
