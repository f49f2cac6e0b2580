// Tables whose index another station damaged: browsing them must end with the
// engine's error, in bounded time and memory, without waits.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "damaged_walk.h"
#include "engine/convert.h"
#include "engine_fixture.h"

namespace {

namespace fs = std::filesystem;

fs::path cases_dir() { return fs::path(KV_FIXTURES_DIR) / "damaged-tables"; }

// Peak resident memory of this process in kB.
long peak_kb() {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  return 0;
}

class DamagedTables : public ::testing::TestWithParam<const char*> {};

TEST_P(DamagedTables, BrowsingEndsWithAnIndexError) {
  fs::path from = cases_dir() / GetParam();
  ASSERT_TRUE(fs::exists(from)) << "fixture missing: " << from;
  kvtest::ScratchDir dir;
  for (const char* f : {"T.DBF", "T.DBT", "T.MDX"}) {
    fs::copy_file(from / f, dir.path() / f);
    fs::permissions(dir.path() / f, fs::perms::owner_read | fs::perms::owner_write);
  }
  long peak = peak_kb();
  long yields = code_yield_count();
  kvtest::QuietEngine c;  // shared, locks retried without end: the normal case
  kvdamaged::Outcome o = kvdamaged::exercise(&c, dir.file("T.DBF"));
  EXPECT_TRUE(o.opened);
  EXPECT_FALSE(o.endless) << "a walk did not end after " << o.steps << " steps";
  EXPECT_GE(o.errors, 1);
  EXPECT_TRUE(o.index_error) << "last error " << o.last_error;
  EXPECT_EQ(code_yield_count(), yields) << "a damaged block made the engine wait";
  EXPECT_LT(peak_kb() - peak, 64 * 1024) << "kB more at the peak";
}

INSTANTIATE_TEST_SUITE_P(Fixtures, DamagedTables,
                         ::testing::Values("case-1", "case-2", "case-3", "case-4"),
                         [](const auto& info) { return std::string(info.param).replace(4, 1, "_"); });

}  // namespace
