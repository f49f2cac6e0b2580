// The sort engine against std::stable_sort: in memory, with spilled runs and
// with keys that repeat, so the sequence-number order of equal keys shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/sort.h"

namespace {

struct Entry {
  std::string key;
  uint32_t seq;
  std::string info;
};

// Sorts `in` with the engine at the given sort memory and returns what it delivers.
std::vector<Entry> engine_sort(DbEngine& ctx, const std::vector<Entry>& in, unsigned key_len,
                               unsigned info_len, int* runs = nullptr) {
  DbSort s;
  EXPECT_EQ(sort_init(&s, &ctx, key_len, info_len), 0);
  for (const Entry& e : in) EXPECT_EQ(sort_put(&s, e.seq, e.key.data(), e.info.data()), 0);
  if (runs) *runs = s.runs_written;
  EXPECT_EQ(sort_get_init(&s), 0);
  std::vector<Entry> out;
  for (;;) {
    uint32_t seq = 0;
    char *key = nullptr, *info = nullptr;
    int rc = sort_get(&s, &seq, &key, &info);
    if (rc != 0) {
      EXPECT_EQ(rc, 1);
      break;
    }
    out.push_back({std::string(key, key_len), seq, std::string(info, info_len)});
  }
  sort_free(&s);
  return out;
}

std::vector<Entry> random_entries(size_t n, unsigned key_len, int distinct, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<Entry> v;
  for (size_t i = 0; i < n; i++) {
    std::string k(key_len, ' ');
    unsigned x = rng() % unsigned(distinct);
    for (unsigned j = 0; j < key_len; j++, x /= 7) k[key_len - 1 - j] = char('A' + x % 7);
    // Sequence numbers in shuffled order, so order by key then number is not input order.
    v.push_back({k, uint32_t(rng()), std::to_string(i).append(6, '.').substr(0, 6)});
  }
  return v;
}

TEST(Sort, NoEntriesEndsAtOnce) {
  DbEngine ctx;
  EXPECT_TRUE(engine_sort(ctx, {}, 8, 0).empty());
}

TEST(Sort, OrdersByKeyThenSequenceInMemoryAndAcrossRuns) {
  struct Case {
    int sort_memory;
    size_t count;
    int distinct;
    bool spills;
  } cases[] = {
      {61440, 2000, 50, false},   // in memory, many equal keys
      {2048, 5000, 40, true},     // many small runs
      {4096, 20000, 5000, true},  // runs with few repeats
      {2048, 1500, 3, true},      // equal keys spread over runs
  };
  for (const Case& c : cases) {
    DbEngine ctx;
    ctx.sort_memory = c.sort_memory;
    auto in = random_entries(c.count, 10, c.distinct, unsigned(c.count));
    int runs = 0;
    auto out = engine_sort(ctx, in, 10, 6, &runs);
    auto want = in;
    std::stable_sort(want.begin(), want.end(), [](const Entry& a, const Entry& b) {
      return a.key != b.key ? a.key < b.key : a.seq < b.seq;
    });
    EXPECT_EQ(runs > 0, c.spills) << c.sort_memory << " " << c.count;
    ASSERT_EQ(out.size(), want.size());
    for (size_t i = 0; i < out.size(); i++) {
      ASSERT_EQ(out[i].key, want[i].key) << i;
      ASSERT_EQ(out[i].seq, want[i].seq) << i;
      ASSERT_EQ(out[i].info, want[i].info) << i;
    }
    EXPECT_EQ(code_error_get(&ctx), 0);
  }
}

TEST(Sort, CustomCompareOrdersDescending) {
  DbEngine ctx;
  ctx.sort_memory = 2048;
  DbSort s;
  ASSERT_EQ(sort_init(&s, &ctx, 4, 0), 0);
  s.compare = [](const void* a, const void* b, unsigned n) { return -std::memcmp(a, b, n); };
  for (uint32_t i = 0; i < 1000; i++) {
    char key[5];
    std::snprintf(key, sizeof key, "%04u", (i * 7919) % 1000);
    ASSERT_EQ(sort_put(&s, i, key, nullptr), 0);
  }
  ASSERT_EQ(sort_get_init(&s), 0);
  int expect = 999;
  char* key;
  while (sort_get(&s, nullptr, &key, nullptr) == 0) {
    char want[5];
    std::snprintf(want, sizeof want, "%04d", expect--);
    ASSERT_EQ(std::string(key, 4), want);
  }
  EXPECT_EQ(expect, -1);
}

TEST(Sort, TooLittleMemoryFails) {
  DbEngine ctx;
  ctx.silent_errors = 1;
  ctx.sort_memory = 512;  // fewer than 256 pointers
  DbSort s;
  EXPECT_EQ(sort_init(&s, &ctx, 8, 0), e_memory);
  EXPECT_EQ(code_error_get(&ctx), e_memory);
  sort_free(&s);
}

}  // namespace
