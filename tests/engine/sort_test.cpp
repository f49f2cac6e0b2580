// The sort engine against std::stable_sort: in memory, with spilled runs and
// with keys that repeat, so the sequence-number order of equal keys shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/convert.h"
#include "engine/engine.h"
#include "engine/engine_api.h"
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
  DbLock hold(&ctx);  // the sort is the engine's inside
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
  DbLock hold(&ctx);  // the sort is the engine's inside
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
      {65536, 20000, 15000, true},       // grown to its limit over many units, then runs
      {1 << 20, 30000, 20000, false},    // grown several times, still in memory
  };
  for (const Case& c : cases) {
    DbEngine ctx;
    DbLock hold(&ctx);
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
  DbLock hold(&ctx);  // the sort is the engine's inside
  ctx.sort_memory = 2048;
  DbSort s;
  ASSERT_EQ(sort_init(&s, &ctx, 4, 0), 0);
  s.compare = [](const void* a, const void* b, unsigned n) { return -std::memcmp(a, b, n); };
  for (uint32_t i = 0; i < 1000; i++) {
    char key[16];
    std::snprintf(key, sizeof key, "%04u", (i * 7919) % 1000);
    ASSERT_EQ(sort_put(&s, i, key, nullptr), 0);
  }
  ASSERT_EQ(sort_get_init(&s), 0);
  int expect = 999;
  char* key;
  while (sort_get(&s, nullptr, &key, nullptr) == 0) {
    char want[16];
    std::snprintf(want, sizeof want, "%04d", expect--);
    ASSERT_EQ(std::string(key, 4), want);
  }
  EXPECT_EQ(expect, -1);
}

void expect_sorted_as(const std::vector<std::string>& keys, DbSortCompare compare, int order,
                      const char* what, bool rising) {
  DbEngine ctx;
  DbLock hold(&ctx);  // the sort is the engine's inside
  unsigned len = unsigned(keys[0].size());
  DbSort s;
  ASSERT_EQ(sort_init(&s, &ctx, len, 0), 0);
  sort_set_compare(&s, compare, order);
  std::vector<uint32_t> seqs(keys.size());
  std::mt19937 rng(3);
  for (size_t i = 0; i < keys.size(); i++) {
    seqs[i] = rising ? uint32_t(i) : uint32_t(rng());
    ASSERT_EQ(sort_put(&s, seqs[i], keys[i].data(), nullptr), 0);
  }
  ASSERT_EQ(sort_get_init(&s), 0);
  std::vector<size_t> want(keys.size());
  for (size_t i = 0; i < want.size(); i++) want[i] = i;
  std::stable_sort(want.begin(), want.end(), [&](size_t a, size_t b) {
    int r = compare(keys[a].data(), keys[b].data(), len);
    return r != 0 ? r < 0 : seqs[a] < seqs[b];
  });
  size_t i = 0;
  uint32_t seq;
  char* key;
  while (sort_get(&s, &seq, &key, nullptr) == 0) {
    ASSERT_LT(i, want.size()) << what;
    ASSERT_EQ(seq, seqs[want[i]]) << what << " at " << i;
    ASSERT_EQ(std::string(key, len), keys[want[i]]) << what << " at " << i;
    i++;
  }
  EXPECT_EQ(i, keys.size()) << what;
}

// Sorts keys under a compare routine with the order it promises and checks
// the result against std::stable_sort by that routine: with shuffled
// sequence numbers, and with rising ones as a rebuild hands in.
void expect_sorted_as(const std::vector<std::string>& keys, DbSortCompare compare, int order,
                      const char* what) {
  for (bool rising : {false, true}) {
    SCOPED_TRACE(rising ? "rising sequence numbers" : "shuffled sequence numbers");
    expect_sorted_as(keys, compare, order, what, rising);
  }
}

int packed_order(const void* a, const void* b, unsigned) {
  return packed_compare(static_cast<const unsigned char*>(a), static_cast<const unsigned char*>(b));
}

// Keys that differ only far along, repeat often or share long beginnings,
// and numbers of every sign, size and precision, with a key routine's zero.
TEST(Sort, PromisedOrdersSortAsTheirCompareRoutines) {
  std::mt19937 rng(11);
  std::vector<std::string> shared_start, late_difference;
  for (int i = 0; i < 3000; i++) {
    shared_start.push_back("PART-" + std::to_string(100000 + rng() % 900) + "   ");
    std::string k(32, 'Q');
    k[20] = char('A' + rng() % 5);
    k[31] = char('A' + rng() % 3);
    late_difference.push_back(k);
  }
  expect_sorted_as(shared_start, sort_compare_bytes, DB_SORT_ORDER_BYTES, "shared start");
  expect_sorted_as(late_difference, sort_compare_bytes, DB_SORT_ORDER_BYTES, "late difference");
  expect_sorted_as(std::vector<std::string>(50, "SAME"), sort_compare_bytes, DB_SORT_ORDER_BYTES,
                   "all equal");

  std::vector<std::string> numbers;
  const char* texts[] = {"0", "-0", "0.000", "  12", "-12", "12.5", "-12.5", "1e0", "99999999999999",
                         "123456789012.345678", "-123456789012.345679", ".0001", "-.0001", "7"};
  unsigned char key[DB_PACKED_LEN];
  for (const char* t : texts) {
    packed_from_str(key, t, int(std::strlen(t)));
    numbers.emplace_back(reinterpret_cast<char*>(key), DB_PACKED_LEN);
  }
  for (int i = 0; i < 4000; i++) {
    double v = double(int64_t(rng() % 2000001) - 1000000) / std::pow(10.0, double(rng() % 8));
    if (i % 3 == 0) v = double(int64_t(rng() % 21) - 10);  // many equal keys
    if (i % 7 == 0) v *= 1e9 + double(rng() % 1000);       // more digits than the prefix holds
    packed_from_double(key, v);
    numbers.emplace_back(reinterpret_cast<char*>(key), DB_PACKED_LEN);
  }
  expect_sorted_as(numbers, packed_order, DB_SORT_ORDER_PACKED, "numbers");
  numbers.resize(size_t(std::size(texts)) + 1000);
  for (std::string& n : numbers)
    if (n[8] || n[9] || n[10] || n[11]) n = numbers[0];
  expect_sorted_as(numbers, packed_order, DB_SORT_ORDER_PACKED, "numbers the prefix holds");
}

TEST(Sort, TooLittleMemoryFails) {
  DbEngine ctx;
  DbLock hold(&ctx);  // the sort is the engine's inside
  ctx.silent_errors = 1;
  ctx.sort_memory = 512;  // fewer than 256 pointers
  DbSort s;
  EXPECT_EQ(sort_init(&s, &ctx, 8, 0), e_memory);
  EXPECT_EQ(code_error_get(&ctx), e_memory);
  sort_free(&s);
}

}  // namespace
