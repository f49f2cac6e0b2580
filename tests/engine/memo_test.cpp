// Memo files: entries, block reuse through the free chain, field accessors,
// compression and damaged memo files.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/data.h"
#include "engine/engine_api.h"
#include "engine/memo.h"
#include "engine_fixture.h"

namespace {

using kvtest::QuietEngine;
using kvtest::ScratchDir;

const DbFieldInfo kFields[] = {
    {"ID", 'N', 6, 0}, {"NOTE", 'M', 0, 0}, {"EXTRA", 'M', 0, 0}, {nullptr, 0, 0, 0}};

std::string text_of(size_t n, char seed = 'a') {
  std::string s(n, ' ');
  for (size_t i = 0; i < n; i++) s[i] = static_cast<char>(seed + i % 23);
  return s;
}

struct Memos : ::testing::Test {
  ScratchDir dir;
  QuietEngine c;
  std::string name = dir.file("NOTES.DBF");
  std::string memo_name = dir.file("NOTES.DBT");
  DbDataFile* d = nullptr;

  void SetUp() override {
    d = data_create(&c, name.c_str(), kFields, nullptr);
    ASSERT_NE(d, nullptr);
  }
  void TearDown() override {
    if (d) {
      EXPECT_EQ(data_close(d), 0);
    }
  }

  DbField* note() { return data_field_at(d, 2); }

  long append(const std::string& text, const std::string& extra = "") {
    EXPECT_EQ(data_append_start(d, 0), 0);
    data_blank(d);
    field_assign_long(data_field_at(d, 1), data_reccount(d) + 1);
    memo_field_assign(note(), text.data(), static_cast<unsigned>(text.size()));
    if (!extra.empty())
      memo_field_assign(data_field_at(d, 3), extra.data(), static_cast<unsigned>(extra.size()));
    EXPECT_EQ(data_append(d), 0);
    return block_of(note());
  }

  long block_of(DbField* f) { return std::atol(std::string(field_ptr(f), 10).c_str()); }

  std::string read(long rec, int field = 2) {
    EXPECT_EQ(data_go(d, rec), 0);
    DbField* f = data_field_at(d, field);
    DbLock hold(&c);
    return std::string(FieldRefMemo(f).ptr(), FieldRefMemo(f).len());
  }

  void rewrite(long rec, const std::string& text) {
    ASSERT_EQ(data_go(d, rec), 0);
    memo_field_assign(note(), text.data(), static_cast<unsigned>(text.size()));
    ASSERT_EQ(data_write(d, rec), 0);
  }
};

TEST_F(Memos, NewFileHeaderAndFirstEntries) {
  auto h = kvtest::read_bytes(memo_name);
  ASSERT_EQ(h.size(), 24u) << "block 0 beyond the header is never written";
  EXPECT_EQ(h[0], 1);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&h[8]), 5), "NOTES");
  EXPECT_EQ(h[18] | (h[19] << 8), 0x0102);
  EXPECT_EQ(h[20] | (h[21] << 8), 512);
  EXPECT_EQ(kvtest::read_bytes(name)[0], 0x8B);

  EXPECT_EQ(append(text_of(504)), 1) << "504 bytes fill one block";
  EXPECT_EQ(append(text_of(505)), 2) << "505 bytes need two";
  EXPECT_EQ(append(text_of(1)), 4);
  EXPECT_EQ(append(""), 0);
  EXPECT_EQ(std::string(field_ptr(note()), 10), std::string(10, ' '));
  auto b = kvtest::read_bytes(memo_name);
  EXPECT_EQ(b.size(), 5 * 512u);
  EXPECT_EQ(b[0], 5) << "the chain end moved behind the last entry";
  const unsigned char head[8] = {0xFF, 0xFF, 8, 0, 0x00, 0x02, 0, 0};  // 504 + 8
  EXPECT_EQ(std::memcmp(&b[512], head, 8), 0);
  EXPECT_EQ(read(2), text_of(505));
  EXPECT_EQ(read(4), "");
}

TEST_F(Memos, SizesRoundTrip) {
  const size_t sizes[] = {0, 1, 504, 511, 512, 513, 65527, 70000};
  for (size_t n : sizes) append(text_of(n), text_of(n / 2 + 1, 'A'));
  data_close(d);
  d = data_open(&c, name.c_str());
  ASSERT_NE(d, nullptr);
  for (size_t i = 0; i < std::size(sizes); i++) {
    EXPECT_EQ(read(static_cast<long>(i) + 1), text_of(sizes[i])) << sizes[i];
    EXPECT_EQ(read(static_cast<long>(i) + 1, 3), text_of(sizes[i] / 2 + 1, 'A')) << sizes[i];
  }
}

TEST_F(Memos, BlocksAreReusedThroughTheFreeChain) {
  append(text_of(1500));  // blocks 1-3
  append(text_of(100));   // block 4
  // A rewritten text goes to blocks of its own (the old text stays whole
  // until the record leads away from it); then the old run is given back.
  rewrite(1, text_of(600));
  EXPECT_EQ(block_of(note()), 5);
  auto b = kvtest::read_bytes(memo_name);
  EXPECT_EQ(b[0], 1) << "block 1 heads the chain";
  EXPECT_EQ(b[512 + 4], 3) << "a run of three blocks";
  EXPECT_EQ(b.size(), 7 * 512u);
  // An empty text frees its blocks: the chain is 1-3, then 5-6.
  rewrite(1, "");
  EXPECT_EQ(std::string(field_ptr(note()), 10), std::string(10, ' '));
  append(text_of(900));
  EXPECT_EQ(block_of(note()), 2) << "the last blocks of the first run that fits";
  append(text_of(10));
  EXPECT_EQ(block_of(note()), 1);
  append(text_of(10));
  EXPECT_EQ(block_of(note()), 6);
  EXPECT_EQ(read(2), text_of(100));
  EXPECT_EQ(read(3), text_of(900));
  // Nothing free fits three blocks: the end of the file.
  rewrite(4, text_of(1100));
  EXPECT_EQ(block_of(note()), 7);
  EXPECT_EQ(read(4), text_of(1100));
  EXPECT_EQ(kvtest::read_bytes(memo_name).size(), 10 * 512u);
  append(text_of(5));
  EXPECT_EQ(block_of(note()), 1) << "record 4's old block";
  append(text_of(5));
  EXPECT_EQ(block_of(note()), 5);
}

TEST_F(Memos, DetachedAppendCopiesTheTexts) {
  append(text_of(700), "second");
  ASSERT_EQ(data_go(d, 1), 0);
  ASSERT_EQ(data_append_start(d, 1), 0);
  field_assign_long(data_field_at(d, 1), 2);
  ASSERT_EQ(data_append(d), 0);
  EXPECT_NE(block_of(note()), 1) << "new blocks for the same text";
  EXPECT_EQ(read(2), text_of(700));
  EXPECT_EQ(read(2, 3), "second");
  rewrite(2, "changed");
  EXPECT_EQ(read(1), text_of(700)) << "the original keeps its own blocks";
}

TEST_F(Memos, CompressKeepsEveryLiveText) {
  for (int i = 0; i < 6; i++) append(text_of(300 + 400 * i), kvtest::numbered("x", i));
  for (long r : {2, 4}) {
    ASSERT_EQ(data_go(d, r), 0);
    data_delete(d);
  }
  ASSERT_EQ(data_pack(d), 0);
  const auto before = kvtest::read_bytes(memo_name).size();
  ASSERT_EQ(memo_compress(d), 0);
  EXPECT_LT(kvtest::read_bytes(memo_name).size(), before);
  const int kept[] = {0, 2, 4, 5};
  for (int i = 0; i < 4; i++) {
    EXPECT_EQ(read(i + 1), text_of(300 + 400 * kept[i]));
    EXPECT_EQ(read(i + 1, 3), kvtest::numbered("x", kept[i]));
  }
  EXPECT_FALSE(std::filesystem::exists(dir.file("NOTES.TMP")));
}

TEST_F(Memos, DamagedEntriesAndPointers) {
  append("hello");
  append(text_of(600));
  data_close(d);
  d = nullptr;
  auto good = kvtest::read_bytes(name);
  const size_t header_len = 32 * 3 + 33;
  auto memo_good = kvtest::read_bytes(memo_name);

  struct Case {
    const char* what;
    const char* pointer;  // block number put into record 1
    int corrupt_head;     // 0: none; 1: not 0xFFFF; 2: length past the end
    int want;             // result of reading the memo
    const char* text;
  } cases[] = {
      {"intact", "         1", 0, 0, "hello"},
      {"pointer past the end", "      9999", 0, e_info, ""},
      {"block without a used mark", "         1", 1, 0, ""},
      {"entry longer than the file", "         1", 2, e_info, ""},
  };
  for (const auto& k : cases) {
    auto b = good;
    std::memcpy(&b[header_len + 7], k.pointer, 10);
    kvtest::write_bytes(name, b);
    auto m = memo_good;
    if (k.corrupt_head == 1) m[512] = 0;
    if (k.corrupt_head == 2) m[512 + 6] = 0x7F;
    kvtest::write_bytes(memo_name, m);
    d = data_open(&c, name.c_str());
    ASSERT_NE(d, nullptr) << k.what;
    ASSERT_EQ(data_go(d, 1), 0);
    DbLock hold(&c);
    EXPECT_EQ(memo_field_read(note()), k.want) << k.what;
    EXPECT_EQ(std::string(FieldRefMemo(note()).ptr(), FieldRefMemo(note()).len()), k.text) << k.what;
    code_error_set(&c, 0);
    EXPECT_EQ(data_close(d), 0);
    d = nullptr;
  }

  // A missing memo file is refused with the data file.
  std::filesystem::remove(memo_name);
  EXPECT_EQ(data_open(&c, name.c_str()), nullptr);
  EXPECT_EQ(code_error_set(&c, 0), e_open);

  // A memo file too short for its header is refused with the data file.
  kvtest::write_bytes(name, good);
  kvtest::write_bytes(memo_name, {1, 0, 0});
  EXPECT_EQ(data_open(&c, name.c_str()), nullptr);
  EXPECT_EQ(code_error_set(&c, 0), e_info);
  EXPECT_EQ(c.data_list.count, 0);
}

}  // namespace

namespace {

TEST_F(Memos, GrowingKeepsTheTextAndFillsTheRestWithNuls) {
  append("N10 G00");
  ASSERT_EQ(data_go(d, 1), 0);
  DbLock hold(&c);
  ASSERT_EQ(memo_field_len(note()), 7u);
  ASSERT_EQ(memo_field_set_len(note(), 600), 0);
  std::string grown(FieldRefMemo(note()).ptr(), FieldRefMemo(note()).len());
  EXPECT_EQ(grown.substr(0, 7), "N10 G00");
  EXPECT_EQ(grown.substr(7), std::string(593, '\0'));
  ASSERT_EQ(memo_field_set_len(note(), 3), 0);
  EXPECT_EQ(std::string(FieldRefMemo(note()).ptr(), FieldRefMemo(note()).len()), "N10");
  ASSERT_EQ(memo_field_set_len(note(), 5), 0);
  EXPECT_EQ(std::string(FieldRefMemo(note()).ptr(), FieldRefMemo(note()).len()), std::string("N10\0\0", 5));
}

}  // namespace
