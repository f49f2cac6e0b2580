// Tables whose index another station damaged: browsing them must end with the
// engine's error, in bounded time and memory, without waits.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "damaged_walk.h"
#include "engine/convert.h"
#include "engine/engine_api.h"
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

// A header length of 65,535 in a table longer than that: the records read
// from there would be garbage. The table is refused at open, before any
// record or memo is read.
TEST(DamagedHeader, LengthBeyondTheFieldsIsRefusedAtOpen) {
  kvtest::ScratchDir dir;
  std::string name = dir.file("T.DBF");
  {
    kvtest::QuietEngine c;
    const DbFieldInfo fields[] = {{"NAME", 'C', 200, 0}, {"NOTE", 'M', 0, 0}, {nullptr, 0, 0, 0}};
    const DbTagInfo tags[] = {{"NAME", "NAME", nullptr, 0, 0}, {nullptr, nullptr, nullptr, 0, 0}};
    DbDataFile* d = data_create(&c, name.c_str(), fields, tags);
    ASSERT_NE(d, nullptr);
    for (int i = 0; i < 330; i++) {
      ASSERT_EQ(data_append_start(d, 0), 0);
      data_blank(d);
      field_assign(data_field_at(d, 1), kvtest::numbered("name ", i).c_str());
      if (i % 10 == 0) memo_field_assign(data_field_at(d, 2), "a memo", 6);
      ASSERT_EQ(data_append(d), 0);
    }
    ASSERT_EQ(data_close(d), 0);
  }
  auto bytes = kvtest::read_bytes(name);
  ASSERT_GT(bytes.size(), 65535u);
  bytes[8] = bytes[9] = 0xFF;
  kvtest::write_bytes(name, bytes);
  long yields = code_yield_count();
  kvtest::QuietEngine c;
  kvdamaged::Outcome o = kvdamaged::exercise(&c, name);
  EXPECT_FALSE(o.opened);
  EXPECT_EQ(o.errors, 1);
  EXPECT_EQ(o.last_error, e_data_name);
  EXPECT_EQ(code_yield_count(), yields);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, DamagedTables,
                         ::testing::Values("case-1", "case-2", "case-3", "case-4"),
                         [](const auto& info) { return std::string(info.param).replace(4, 1, "_"); });

}  // namespace
