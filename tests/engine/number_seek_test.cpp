// Seeks over a numeric tag: every value and the gaps between them, signs,
// zeros, fractions and numbers of any length, found the same from blocks
// just read and from blocks sought before (which compare the keys' order
// prefixes). Keys with bytes past their digits (as another program may
// leave them) and a block out of order are sought as their keys compare.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <random>
#include <set>

#include "engine/block.h"
#include "engine/convert.h"
#include "engine/file.h"
#include "engine/index_internal.h"
#include "index_fixture.h"

namespace {

using kvtest::IndexTest;

const DbFieldInfo kValueFields[] = {{"V", 'N', 20, 6}, {nullptr, 0, 0, 0}};
const DbTagInfo kValueTags[] = {{"V", "V", nullptr, 0, 0}, {nullptr, nullptr, nullptr, 0, 0}};

// Every length of number from a few digits to many, either sign, and the edges.
std::vector<double> mixed_values() {
  std::vector<double> values = {-999999.5, -12345.678, -100, -99.5, -1, -0.001, 0,   0,    0.001,         0.5,    1,
                                1,         9,          10,   10.5,  99, 100,    101, 1000, 123456.123456, 9999999};
  std::mt19937 rng(3);
  for (int i = 0; i < 1500; i++) {
    double v = double(rng() % 2000000) / std::pow(10.0, double(rng() % 7)) - (i % 3 == 0 ? 1000 : 0);
    values.push_back(std::round(v * 1e6) / 1e6);
  }
  return values;
}

struct NumberSeeks : IndexTest {
  std::vector<double> values;  // as stored, in record order
  DbTag* t = nullptr;

  virtual std::vector<double> make_values() { return mixed_values(); }

  void SetUp() override {
    create(kValueTags, kValueFields);
    values = make_values();
    ASSERT_EQ(data_lock_file(d), 0);
    ASSERT_EQ(data_lock_index(d), 0);
    for (double v : values) {
      ASSERT_EQ(data_append_start(d, 0), 0);
      data_blank(d);
      field_assign_double(data_field_at(d, 1), v);
      ASSERT_EQ(data_append(d), 0);
    }
    ASSERT_EQ(data_unlock(d), 0);
    t = tag("V");
    ASSERT_EQ(t->header.key_len, 12);
  }

  // The model's answer for each probe, as seek_all gives it: the first key
  // not below the probe's, found when equal (keys, not doubles: a probe
  // finer than the field's decimals becomes one of its values).
  void expect_model(const std::vector<double>& ps, const std::vector<std::string>& got) {
    auto below = [](const std::string& a, const std::string& b) {
      return packed_compare(reinterpret_cast<const unsigned char*>(a.data()),
                            reinterpret_cast<const unsigned char*>(b.data())) < 0;
    };
    std::vector<std::string> sorted;
    for (double v : values) sorted.push_back(key_of(v));
    std::sort(sorted.begin(), sorted.end(), below);
    ASSERT_EQ(got.size(), ps.size());
    for (size_t i = 0; i < ps.size(); i++) {
      std::string k = key_of(ps[i]);
      auto it = std::lower_bound(sorted.begin(), sorted.end(), k, below);
      if (it == sorted.end()) {
        ASSERT_EQ(got[i], std::to_string(DB_AFTER) + "|") << ps[i];
        continue;
      }
      ASSERT_EQ(got[i].substr(0, 2), std::to_string(below(k, *it) ? DB_AFTER : 0) + "|") << ps[i];
      // Equal numbers, whatever bytes their keys took (a zero keeps any exponent).
      ASSERT_EQ(got[i].size(), 14u) << ps[i];
      EXPECT_EQ(packed_compare(reinterpret_cast<const unsigned char*>(got[i].data()) + 2,
                               reinterpret_cast<const unsigned char*>(it->data())),
                0)
          << ps[i];
    }
  }

  std::string key_of(double v) {
    unsigned char k[12];
    t->double_to_key(k, v);
    return std::string(reinterpret_cast<char*>(k), 12);
  }

  // Every value, one just above it and a number between each two, below
  // and above them all; of a large set, one run of 64 values in every
  // `stride`, about 5,000 in all.
  std::vector<double> probes() {
    std::set<double> distinct(values.begin(), values.end());
    std::vector<double> v(distinct.begin(), distinct.end());
    std::vector<double> p = {v.front() - 1, v.back() + 1};
    size_t stride = v.size() / 5000 + 1;
    for (size_t i = 0; i < v.size(); i++) {
      if (i / 64 % stride != 0) continue;
      p.push_back(v[i]);
      p.push_back(v[i] + 0.001);  // a long number's first digits are a shorter one's
      if (i + 1 < v.size()) p.push_back((v[i] + v[i + 1]) / 2);
    }
    return p;
  }

  // What each seek gave: its result and the key it stands on ("" at the end).
  // Fresh: every seek from blocks just read, so it compares the keys themselves.
  std::vector<std::string> seek_all(const std::vector<double>& ps, bool fresh = false) {
    DbLock hold(&c);
    std::vector<std::string> out;
    for (double p : ps) {
      if (fresh) {
        EXPECT_EQ(tag_release(t), 0);
      }
      std::string k = key_of(p);
      int rc = tag_seek(t, k.data(), 12);
      EXPECT_GE(rc, 0) << p;
      unsigned char* at = tag_key(t);
      out.push_back(std::to_string(rc) + "|" + (at ? std::string(reinterpret_cast<char*>(at), 12) : ""));
    }
    return out;
  }

  // Every probe sought from fresh blocks agrees with the model, and twice
  // more from blocks sought before (which compare the prefixes).
  void expect_seeks_as_the_model() {
    std::vector<double> ps = probes();
    std::vector<std::string> first = seek_all(ps, true);
    expect_model(ps, first);
    EXPECT_EQ(seek_all(ps), first);
    EXPECT_EQ(seek_all(ps), first);
  }

  // Overwrites bytes of the tag's file where the leaf holding `v` keeps it.
  void patch_key_of(double v, int offset, unsigned char byte) {
    long block;
    int entry;
    {
      DbLock hold(&c);
      ASSERT_EQ(tag_seek(t, key_of(v).data(), 12), 0) << v;
      block = t->path[t->depth - 1]->number;
      entry = t->path[t->depth - 1]->cur;
      tag_release(t);
    }
    DbLock hold(&c);
    long at = block * 512 + 8 + long(entry) * t->header.group_len + 4 + offset;
    ASSERT_EQ(file_write(&t->index->file, at, &byte, 1), 0);
    index_cache_forget(t->index);
  }
};

TEST_F(NumberSeeks, SeeksInBlocksSoughtBeforeFindWhatFreshOnesFind) { expect_seeks_as_the_model(); }

// Sets of numbers whose blocks keep their prefixes in each form: whole
// numbers close together (2-byte distances), further apart (4 bytes),
// spread over many magnitudes (8 bytes), long numbers whose prefixes tie
// (the keys decide), negative ids and zero, and a large table.
struct NumberSet {
  const char* what;
  std::vector<double> (*make)();
};

const NumberSet kNumberSets[] = {
    {"ids in order", [] {
       std::vector<double> v;
       for (int i = 1; i <= 3000; i++) v.push_back(i);
       return v;
     }},
    {"shuffled ids with gaps", [] {
       std::vector<double> v;
       for (int i = 0; i < 2500; i++) v.push_back(1000000 + double(i) * 7);
       std::shuffle(v.begin(), v.end(), std::mt19937(5));
       return v;
     }},
    {"whole numbers far apart", [] {
       std::vector<double> v;
       std::mt19937 rng(7);
       for (int i = 0; i < 2500; i++) v.push_back(double(rng() % 900000000) + 100000000);
       return v;
     }},
    {"twelve and thirteen digits", [] {
       std::vector<double> v;
       for (int i = 0; i < 1200; i++) v.push_back(123456789012.0 + i);       // 12 digits: whole in a prefix
       for (int i = 0; i < 1200; i++) v.push_back(1234567890123.0 + i * 3);  // 13: compared as keys
       return v;
     }},
    {"long numbers whose prefixes tie", [] {
       std::vector<double> v;  // fifteen digits: the last ones lie past the prefix
       for (int i = 0; i < 2000; i++)
         v.push_back(std::round((123456789.0 + double(i / 40) + double(i % 40) * 0.000001) * 1e6) / 1e6);
       return v;
     }},
    {"records far apart in every leaf", [] {
       std::vector<double> v;  // a large table, key order far from record order
       for (long i = 0; i < 70000; i++) v.push_back(double(i * 7919 % 70000));
       return v;
     }},
    {"negative ids and zero", [] {
       std::vector<double> v;
       for (int i = -1500; i <= 1500; i++) v.push_back(i);
       return v;
     }},
};

void PrintTo(const NumberSet& set, std::ostream* out) { *out << set.what; }

std::string set_name(const ::testing::TestParamInfo<NumberSet>& info) {
  std::string n = info.param.what;
  for (char& ch : n)
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  return n;
}

struct NumberSetSeeks : NumberSeeks, ::testing::WithParamInterface<NumberSet> {
  std::vector<double> make_values() override { return GetParam().make(); }
};

TEST_P(NumberSetSeeks, FindWhatTheModelFindsFromEveryFormOfPrefix) { expect_seeks_as_the_model(); }

// Under the file lock the blocks keep their prefixes and pointers between
// seeks; records changed and added then must be found where they now are.
TEST_P(NumberSetSeeks, ChangesUnderTheLockAreFoundByTheNextSeeks) {
  ASSERT_EQ(data_lock_file(d), 0);
  ASSERT_EQ(data_lock_index(d), 0);
  data_tag_select(d, data_tag_find(d, "V"));
  std::vector<double> ps = probes();
  seek_all(ps);
  seek_all(ps);
  // Every seventh record takes a value beside its neighbour's, then more records come.
  for (size_t i = 6; i < values.size(); i += 7) {
    ASSERT_EQ(data_go(d, long(i + 1)), 0);
    values[i] = values[i - 1] + 0.5;
    field_assign_double(data_field_at(d, 1), values[i]);
  }
  for (size_t i = 0; i < 300; i++) {
    double v = values[i * 5 % values.size()] + 0.25;
    ASSERT_EQ(data_append_start(d, 0), 0);
    data_blank(d);
    field_assign_double(data_field_at(d, 1), v);
    ASSERT_EQ(data_append(d), 0);
    values.push_back(v);
  }
  ASSERT_EQ(data_flush(d), 0);
  ps = probes();
  std::vector<std::string> after = seek_all(ps);
  expect_model(ps, after);
  EXPECT_EQ(seek_all(ps), after);
  // The record under each value found is the one that holds it.
  for (size_t i = 0; i < values.size(); i += 11) {
    ASSERT_EQ(data_seek_double(d, values[i]), 0) << values[i];
    EXPECT_EQ(field_double(data_field_at(d, 1)), values[i]);
  }
  ASSERT_EQ(data_unlock(d), 0);
}

INSTANTIATE_TEST_SUITE_P(Sets, NumberSetSeeks, ::testing::ValuesIn(kNumberSets), set_name);

// With few buffers, each serves many blocks in turn while the branches above
// keep their hints to where a child was last found: a hint to a buffer that
// now holds another block (or none) must not lead a seek astray.
struct FewBufferSeeks : NumberSetSeeks {
  static constexpr long kBuffers = 60;
  long was = g_index_resident_bytes;
  void SetUp() override {
    g_index_resident_bytes = kBuffers * (1024 + block_order_room(1024));
    NumberSetSeeks::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_EQ(t->index->block_size, 1024);
  }
  void TearDown() override {
    NumberSetSeeks::TearDown();
    g_index_resident_bytes = was;
  }
};

TEST_P(FewBufferSeeks, FindWhatTheModelFindsThoughBuffersServeManyBlocks) {
  expect_seeks_as_the_model();
  ASSERT_EQ(data_lock_file(d), 0);
  ASSERT_EQ(data_lock_index(d), 0);
  std::vector<double> ps = probes();
  std::shuffle(ps.begin(), ps.end(), std::mt19937(13));
  std::vector<std::string> got = seek_all(ps);
  expect_model(ps, got);
  EXPECT_LE(t->buffers.count, kBuffers + DB_TAG_MAX_DEPTH);
  ASSERT_EQ(data_unlock(d), 0);
}

INSTANTIATE_TEST_SUITE_P(Sets, FewBufferSeeks, ::testing::ValuesIn(kNumberSets), set_name);

TEST_F(NumberSeeks, KeysWithBytesPastTheirDigitsOrOutOfOrderAreComparedWhole) {
  std::vector<double> ps = probes();
  struct Case {
    const char* what;
    double value;
    int offset;
    unsigned char byte;
  } cases[] = {
      {"a byte past the one digit of 1", 1, 3, 0x01},      // 1 has one digit: byte 2 holds it
      {"a byte past the digits of 100", 100, 4, 0x90},     // and a larger number's digits would see it
      {"the last byte of 10.5", 10.5, 11, 0x07},
      {"an exponent that puts 99 after every number", 99, 0, 0xFF},  // its leaf out of order
      {"an exponent that puts 1000 before every number", 1000, 0, 0x01},
      {"an exponent that puts 0.5 after every number", 0.5, 0, 0xFF},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    patch_key_of(k.value, k.offset, k.byte);
    std::vector<std::string> first = seek_all(ps, true);
    EXPECT_EQ(seek_all(ps), first);
    EXPECT_EQ(seek_all(ps), first);
  }
}

}  // namespace
