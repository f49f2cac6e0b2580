// Seeks over a numeric tag: every value and the gaps between them, signs,
// zeros, fractions and numbers of any length, found the same from blocks
// just read and from blocks sought before (which compare the keys' order
// prefixes). Keys with bytes past their digits (as another program may
// leave them) and a block out of order are sought as their keys compare.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <set>

#include "engine/block.h"
#include "engine/convert.h"
#include "engine/file.h"
#include "index_fixture.h"

namespace {

using kvtest::IndexTest;

const DbFieldInfo kValueFields[] = {{"V", 'N', 20, 6}, {nullptr, 0, 0, 0}};
const DbTagInfo kValueTags[] = {{"V", "V", nullptr, 0, 0}, {nullptr, nullptr, nullptr, 0, 0}};

struct NumberSeeks : IndexTest {
  std::vector<double> values;  // as stored, in record order
  DbTag* t = nullptr;

  void SetUp() override {
    create(kValueTags, kValueFields);
    const double edges[] = {-999999.5, -12345.678, -100, -99.5, -1, -0.001, 0, 0, 0.001, 0.5, 1, 1,
                            9,         10,         10.5, 99,   100, 101,   1000, 123456.123456, 9999999};
    values.assign(std::begin(edges), std::end(edges));
    std::mt19937 rng(3);
    for (int i = 0; i < 1500; i++) {
      // Every length of number from a few digits to many, either sign.
      double v = double(rng() % 2000000) / std::pow(10.0, double(rng() % 7)) - (i % 3 == 0 ? 1000 : 0);
      values.push_back(std::round(v * 1e6) / 1e6);
    }
    for (double v : values) {
      ASSERT_EQ(data_append_start(d, 0), 0);
      data_blank(d);
      field_assign_double(data_field_at(d, 1), v);
      ASSERT_EQ(data_append(d), 0);
    }
    ASSERT_EQ(data_flush(d), 0);
    t = tag("V");
    ASSERT_EQ(t->header.key_len, 12);
  }

  std::string key_of(double v) {
    unsigned char k[12];
    t->double_to_key(k, v);
    return std::string(reinterpret_cast<char*>(k), 12);
  }

  // Every value and a number between each two, below and above them all.
  std::vector<double> probes() {
    std::set<double> distinct(values.begin(), values.end());
    std::vector<double> v(distinct.begin(), distinct.end());
    std::vector<double> p = {v.front() - 1, v.back() + 1};
    for (size_t i = 0; i < v.size(); i++) {
      p.push_back(v[i]);
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

TEST_F(NumberSeeks, SeeksInBlocksSoughtBeforeFindWhatFreshOnesFind) {
  std::vector<double> ps = probes();
  std::vector<std::string> first = seek_all(ps, true);
  // The model: the first value not below the probe, found when equal.
  std::vector<double> sorted = values;
  std::sort(sorted.begin(), sorted.end());
  for (size_t i = 0; i < ps.size(); i++) {
    auto it = std::lower_bound(sorted.begin(), sorted.end(), ps[i]);
    const std::string& got = first[i];
    if (it == sorted.end()) {
      ASSERT_EQ(got, std::to_string(DB_AFTER) + "|") << ps[i];
      continue;
    }
    ASSERT_EQ(got.substr(0, 2), std::to_string(*it == ps[i] ? 0 : DB_AFTER) + "|") << ps[i];
    // Equal numbers, whatever bytes their keys took (a zero keeps any exponent).
    std::string want = key_of(*it);
    ASSERT_EQ(got.size(), 14u) << ps[i];
    EXPECT_EQ(packed_compare(reinterpret_cast<const unsigned char*>(got.data()) + 2,
                             reinterpret_cast<const unsigned char*>(want.data())),
              0)
        << ps[i];
  }
  EXPECT_EQ(seek_all(ps), first);
  EXPECT_EQ(seek_all(ps), first);
}

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
