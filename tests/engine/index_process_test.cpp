// Two processes append to and rewrite one indexed table at the same time,
// each under the engine's own locks; the index they leave must hold the same
// keys, in the same order, as a fresh rebuild.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <sstream>

#include "engine/engine_api.h"
#include "engine/lock.h"
#include "index_fixture.h"

namespace {

using kvtest::IndexTest;
using kvtest::PartRow;
using kvtest::QuietEngine;

constexpr int kAppends = 150;

// One station's work; the exit status tells the parent how it went.
int station(const std::string& name, int which) {
  QuietEngine c;
  DbDataFile* d = data_open(&c, name.c_str());
  if (!d) return 10;
  std::mt19937 rng(unsigned(which) * 7 + 1);
  for (int i = 0; i < kAppends; i++) {
    if (data_append_start(d, 0) != 0) return 11;
    data_blank(d);
    char text[16];
    std::snprintf(text, sizeof text, "S%d-%02u", which, unsigned(rng() % 40));
    field_assign_long(data_field_at(d, 1), which * 100000L + i);
    field_assign(data_field_at(d, 2), text);
    field_assign_double(data_field_at(d, 3), double(rng() % 500) / 4);
    if (data_append(d) != 0) return 12;
    if (i % 2 == 1) {
      // Rewrite some record, possibly the other station's.
      long count = data_reccount(d);
      if (count < 1 || data_go(d, 1 + long(rng() % unsigned(count))) != 0) return 13;
      std::snprintf(text, sizeof text, "R%d-%02u", which, unsigned(rng() % 40));
      field_assign(data_field_at(d, 2), text);
      field_assign(data_field_at(d, 4), rng() % 3 ? "20250304" : "");
      if (data_flush(d) != 0) return 14;
      if (data_unlock(d) != 0) return 15;
    }
  }
  return data_close(d) == 0 ? 0 : 16;
}

std::vector<std::string> lines(const std::string& s) {
  std::vector<std::string> v;
  std::istringstream in(s);
  for (std::string l; std::getline(in, l);) v.push_back(l);
  return v;
}

std::vector<std::string> keys_only(std::vector<std::string> v) {
  for (auto& l : v) l = l.substr(0, l.find('|'));
  return v;
}

TEST_F(IndexTest, TwoStationsLeaveTheIndexARebuildWouldMake) {
  create();
  ASSERT_EQ(data_close(d), 0);
  d = nullptr;
  pid_t kids[2];
  for (int k = 0; k < 2; k++) {
    kids[k] = fork();
    ASSERT_GE(kids[k], 0);
    if (kids[k] == 0) _exit(station(name, k + 1));
  }
  for (pid_t kid : kids) {
    int status = 0;
    ASSERT_EQ(waitpid(kid, &status, 0), kid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }
  d = data_open(&c, name.c_str());
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(data_reccount(d), 2L * kAppends);
  std::vector<std::vector<std::string>> kept;
  for (const char* t : {"ID", "NAME", "QTY", "DUE"}) kept.push_back(lines(our_dump(tag(t))));
  ASSERT_EQ(data_reindex(d), 0);
  int i = 0;
  for (const char* t : {"ID", "NAME", "QTY", "DUE"}) {
    std::vector<std::string> fresh = lines(our_dump(tag(t)));
    std::vector<std::string> mine = kept[size_t(i++)];
    // Keys in the same order; equal keys may hold their records in another order.
    EXPECT_EQ(keys_only(mine), keys_only(fresh)) << t;
    std::sort(mine.begin(), mine.end());
    std::sort(fresh.begin(), fresh.end());
    EXPECT_EQ(mine, fresh) << t;
  }
}

}  // namespace
