// Data files: the bytes of create, record access, append, delete, pack and
// range removal, and damaged files.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "engine/data.h"
#include "engine/engine_api.h"
#include "engine/index.h"
#include "engine/lock.h"
#include "engine/memo.h"
#include "engine_fixture.h"

namespace {

using kvtest::QuietEngine;
using kvtest::ScratchDir;

const DbFieldInfo kFields[] = {
    {"name", 'C', 20, 0}, {"qty", 'N', 8, 2}, {"born", 'D', 0, 0},
    {"ok", 'L', 0, 0},    {"long_name_cut", 'c', 300, 0}, {nullptr, 0, 0, 0},
};

struct DataFiles : ::testing::Test {
  ScratchDir dir;
  QuietEngine c;
  std::string name = dir.file("PARTS.DBF");

  DbDataFile* create(const DbFieldInfo* f = kFields) {
    DbDataFile* d = data_create(&c, name.c_str(), f, nullptr);
    EXPECT_NE(d, nullptr) << code_error_get(&c);
    return d;
  }

  void append(DbDataFile* d, const char* n, double qty, bool deleted = false) {
    ASSERT_EQ(data_append_start(d, 0), 0);
    data_blank(d);
    field_assign(data_field_at(d, 1), n);
    field_assign_double(data_field_at(d, 2), qty);
    if (deleted) data_delete(d);
    ASSERT_EQ(data_append(d), 0);
  }

  std::vector<std::string> names(DbDataFile* d) {
    std::vector<std::string> v;
    for (int rc = data_top(d); rc == 0; rc = data_skip(d, 1)) {
      std::string s = field_str(data_field_at(d, 1));
      v.push_back(s.substr(0, s.find_last_not_of(' ') + 1));
    }
    return v;
  }
};

TEST_F(DataFiles, CreateWritesTheHeaderAndDescriptors) {
  DbDataFile* d = create();
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(data_close(d), 0);
  auto b = kvtest::read_bytes(name);
  const unsigned header_len = 32 * 5 + 33, record_len = 1 + 20 + 8 + 8 + 1 + 300;
  ASSERT_EQ(b.size(), header_len + 1);
  EXPECT_EQ(b[0], 0x03);
  EXPECT_EQ(b[4] | b[5] | b[6] | b[7], 0);
  EXPECT_EQ(b[8] | (b[9] << 8), header_len);
  EXPECT_EQ(b[10] | (b[11] << 8), record_len);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&b[32]), 4), "NAME");
  EXPECT_EQ(b[32 + 11], 'C');
  EXPECT_EQ(b[32 + 16], 20);
  EXPECT_EQ(b[64 + 11], 'N');
  EXPECT_EQ(b[64 + 16], 8);
  EXPECT_EQ(b[64 + 17], 2);
  EXPECT_EQ(b[96 + 16], 8);   // D
  EXPECT_EQ(b[128 + 16], 1);  // L
  const unsigned char* cut = &b[160];
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(cut), 11), std::string("LONG_NAME_\0", 11));
  EXPECT_EQ(cut[11], 'C');
  EXPECT_EQ(cut[16], 44);  // 300 = 44 + 256
  EXPECT_EQ(cut[17], 1);
  EXPECT_EQ(b[header_len - 1], 0x0D);
  EXPECT_EQ(b[header_len], 0x1A);

  d = data_open(&c, name.c_str());
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(field_len(data_field_at(d, 5)), 300u);
  EXPECT_EQ(data_record_width(d), record_len);
  EXPECT_STREQ(data_alias(d), "PARTS");
  EXPECT_EQ(data_find_by_alias(&c, "parts"), d);
  {
    DbLock hold(&c);
    EXPECT_EQ(data_field_find(d, "qty  "), 2);
  }
  EXPECT_EQ(field_type(data_field_named(d, "QTY")), 'N');
  EXPECT_EQ(data_field_named(d, "nope"), nullptr);
  EXPECT_EQ(code_error_set(&c, 0), e_field_name);
  EXPECT_EQ(data_field_at(d, 0), nullptr);
  EXPECT_EQ(data_field_at(d, 6), nullptr);
  EXPECT_EQ(data_close(d), 0);
}

TEST_F(DataFiles, EmptyFileIsAtBothEnds) {
  DbDataFile* d = create();
  EXPECT_EQ(data_top(d), DB_EOF);
  EXPECT_TRUE(data_eof(d) && data_bof(d));
  EXPECT_EQ(data_recno(d), 1);
  EXPECT_EQ(data_bottom(d), DB_EOF);
  EXPECT_EQ(data_close(d), 0);
}

TEST_F(DataFiles, AppendReadRewriteDeleteRecall) {
  DbDataFile* d = create();
  append(d, "alpha", 1.5);
  append(d, "beta", -2);
  append(d, "gamma", 12345.678);
  EXPECT_EQ(data_reccount(d), 3);
  ASSERT_EQ(data_go(d, 2), 0);
  EXPECT_STREQ(field_str(data_field_at(d, 1)), "beta                ");
  EXPECT_STREQ(field_str(data_field_at(d, 2)), "   -2.00");
  EXPECT_DOUBLE_EQ(field_double(data_field_at(d, 2)), -2);
  ASSERT_EQ(data_go(d, 3), 0);
  EXPECT_STREQ(field_str(data_field_at(d, 2)), "12345.68");

  // Dates and logicals through the field accessors.
  DbField* born = data_field_at(d, 3);
  field_assign_long(born, 2440588);
  EXPECT_STREQ(field_str(born), "19700101");
  EXPECT_EQ(field_long(born), 2440588);
  field_assign_char(data_field_at(d, 4), 'T');
  data_delete(d);
  EXPECT_EQ(data_go(d, 1), 0) << "moving writes the changed record";
  ASSERT_EQ(data_go(d, 3), 0);
  EXPECT_TRUE(data_is_deleted(d));
  EXPECT_STREQ(field_str(born), "19700101");
  EXPECT_EQ(field_char(data_field_at(d, 4)), 'T');
  data_recall(d);
  EXPECT_EQ(data_flush(d), 0);
  EXPECT_EQ(data_close(d), 0);

  auto b = kvtest::read_bytes(name);
  const size_t header_len = 32 * 5 + 33, record_len = 338;
  ASSERT_EQ(b.size(), header_len + 3 * record_len + 1);
  EXPECT_EQ(b.back(), 0x1A);
  EXPECT_EQ(b[4], 3);
  EXPECT_EQ(b[header_len + 2 * record_len], ' ');
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&b[header_len + 1]), 5), "alpha");
}

TEST_F(DataFiles, SkipAcrossTheEnds) {
  DbDataFile* d = create();
  for (const char* n : {"a", "b", "c"}) append(d, n, 0);
  EXPECT_EQ(data_skip(d, 1), DB_EOF);  // from the appended record 3
  EXPECT_TRUE(data_eof(d));
  EXPECT_EQ(data_recno(d), 4);
  EXPECT_EQ(data_skip(d, -1), 0);
  EXPECT_EQ(data_recno(d), 3);
  EXPECT_EQ(data_skip(d, -5), DB_BOF);
  EXPECT_EQ(data_recno(d), 1);
  EXPECT_TRUE(data_bof(d));
  EXPECT_EQ(data_skip(d, 2), 0);
  EXPECT_EQ(data_recno(d), 3);
  EXPECT_EQ(names(d), (std::vector<std::string>{"a", "b", "c"}));

  d->rec_num = -1;
  EXPECT_EQ(data_skip(d, 1), e_info);
  code_error_set(&c, 0);
  c.report_skip_errors = 0;
  EXPECT_EQ(data_skip(d, 1), -1);
  EXPECT_EQ(code_error_get(&c), 0);
  EXPECT_EQ(data_close(d), 0);
}

TEST_F(DataFiles, PackAndRemoveRange) {
  DbDataFile* d = create();
  for (int i = 0; i < 120; i++) append(d, kvtest::numbered("r", i).c_str(), i, i % 3 == 0);
  ASSERT_EQ(data_pack(d), 0);
  EXPECT_EQ(data_reccount(d), 80);
  auto kept = names(d);
  ASSERT_EQ(kept.size(), 80u);
  EXPECT_EQ(kept.front(), "r1");
  EXPECT_EQ(kept.back(), "r119");

  ASSERT_EQ(data_remove_range(d, 0, 10), 0);
  EXPECT_EQ(names(d).front(), "r16");
  EXPECT_EQ(data_remove_range(d, 100, 200), 0) << "beyond the count: nothing";
  EXPECT_EQ(data_reccount(d), 70);
  ASSERT_EQ(data_remove_range(d, 1, 2000000000), 0);
  EXPECT_EQ(data_reccount(d), 0);
  EXPECT_TRUE(data_eof(d) && data_bof(d));
  EXPECT_EQ(data_close(d), 0);
  EXPECT_EQ(kvtest::read_bytes(name).size(), 32 * 5 + 33 + 1u);
}

TEST_F(DataFiles, PackOfOnlyDeletedRecordsLeavesTheHeader) {
  DbDataFile* d = create();
  for (int i = 0; i < 3; i++) append(d, "x", i, true);
  ASSERT_EQ(data_pack(d), 0);
  EXPECT_EQ(data_reccount(d), 0);
  EXPECT_EQ(data_top(d), DB_EOF);
  EXPECT_EQ(data_close(d), 0);
  auto b = kvtest::read_bytes(name);
  ASSERT_EQ(b.size(), 32 * 5 + 33 + 1u);
  EXPECT_EQ(b.back(), 0x1A);
  EXPECT_EQ(b[4] | b[5] | b[6] | b[7], 0);
}

TEST_F(DataFiles, RefusedAndPendingErrors) {
  DbDataFile* d = create();
  data_close(d);
  EXPECT_EQ(data_create(&c, name.c_str(), kFields, nullptr), nullptr) << "safety on";
  EXPECT_EQ(code_error_set(&c, 0), e_create);
  c.report_create_errors = 0;
  EXPECT_EQ(data_create(&c, name.c_str(), kFields, nullptr), nullptr);
  EXPECT_EQ(code_error_set(&c, 0), DB_NO_CREATE);
  c.report_open_errors = 0;
  EXPECT_EQ(data_open(&c, dir.file("MISSING.DBF").c_str()), nullptr);
  EXPECT_EQ(code_error_set(&c, 0), DB_NO_OPEN);

  const DbFieldInfo huge[] = {{"a", 'C', 65534, 0}, {nullptr, 0, 0, 0}};
  EXPECT_EQ(data_create(&c, dir.file("HUGE").c_str(), huge, nullptr), nullptr);
  EXPECT_EQ(code_error_set(&c, 0), e_record_len);

  // With an error pending, open does nothing.
  std::filesystem::remove(name);
  code_error_set(&c, -60);
  EXPECT_EQ(data_open(&c, name.c_str()), nullptr);
  c.safety = 0;
  EXPECT_EQ(data_create(&c, name.c_str(), kFields, nullptr), nullptr);
  EXPECT_FALSE(std::filesystem::exists(name));
  code_error_set(&c, 0);
}

TEST_F(DataFiles, CloseReturnsAPendingUniqueKeyRefusal) {
  DbDataFile* d = create();
  append(d, "kept", 1);
  ASSERT_EQ(data_go(d, 1), 0);
  field_assign(data_field_at(d, 1), "changed");
  code_error_set(&c, e_unique);
  EXPECT_EQ(data_close(d), e_unique) << "the caller learns that the change was dropped";
  code_error_set(&c, 0);
  d = data_open(&c, name.c_str());
  ASSERT_EQ(data_go(d, 1), 0);
  EXPECT_STREQ(field_str(data_field_at(d, 1)), "kept                ");
  data_close(d);
}

TEST_F(DataFiles, ReadOnlyFilesRefuseWrites) {
  data_close(create());
  c.read_only = 1;
  DbDataFile* d = data_open(&c, name.c_str());
  ASSERT_NE(d, nullptr);
  EXPECT_LT(data_append_blank(d), 0);
  EXPECT_EQ(code_error_set(&c, 0), e_parm);
  EXPECT_EQ(data_lock_file(d), 0) << "no lock is taken on a read-only file";
  data_close(d);
  code_error_set(&c, 0);
}

// Damaged files give the engine's error, never a crash or invented records.
TEST_F(DataFiles, DamagedFilesAreRefused) {
  DbDataFile* d = create();
  for (const char* n : {"a", "b", "c"}) append(d, n, 0);
  data_close(d);
  const auto good = kvtest::read_bytes(name);
  const size_t header_len = 32 * 5 + 33;

  struct Case {
    const char* what;
    std::vector<unsigned char> bytes;
    int open_error;  // 0: opens, then reading record 3 fails
  };
  auto with = [&](auto change) {
    auto b = good;
    change(b);
    return b;
  };
  const Case cases[] = {
      {"header cut short", std::vector<unsigned char>(good.begin(), good.begin() + 20),
       e_data_name},
      {"descriptors cut short", std::vector<unsigned char>(good.begin(), good.begin() + 100),
       e_data_name},
      {"wrong record length", with([](auto& b) { b[10] += 1; }), e_data_name},
      {"header length too small", with([](auto& b) { b[8] = 20; b[9] = 0; }), e_data_name},
      {"descriptors without terminator",
       with([&](auto& b) { b[header_len - 1] = 'X'; }), e_data_name},
      {"empty file", {}, e_data_name},
      // A header length that the fields do not explain would put the first
      // record anywhere: refused whether or not the file reaches that far.
      {"header length 65,535", with([](auto& b) { b[8] = b[9] = 0xFF; }), e_data_name},
      {"header length 65,535 in a long file", with([](auto& b) {
         b[8] = b[9] = 0xFF;
         b.resize(70000, 'x');
       }),
       e_data_name},
      {"header length of one field more", with([](auto& b) { b[8] += 32; }), e_data_name},
      {"a backlink without the version that has one", with([](auto& b) {
         b[8] += 263 & 0xFF;
         b[9] += 1;
       }),
       e_data_name},
  };
  for (const auto& k : cases) {
    kvtest::write_bytes(name, k.bytes);
    DbDataFile* f = data_open(&c, name.c_str());
    EXPECT_EQ(f, nullptr) << k.what;
    EXPECT_EQ(code_error_set(&c, 0), k.open_error) << k.what;
    if (f) data_close(f);
    EXPECT_EQ(c.data_list.count, 0) << k.what;
  }

  // A record beyond the stated count (an append whose count never arrived)
  // is not taken for a record.
  {
    auto b = good;
    b[4] = 2;
    kvtest::write_bytes(name, b);
    DbDataFile* f = data_open(&c, name.c_str());
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(data_top(f), 0);
    EXPECT_EQ(data_skip(f, 1), 0);
    EXPECT_EQ(data_skip(f, 1), DB_EOF);
    EXPECT_EQ(data_recno(f), 3);
    EXPECT_EQ(data_bottom(f), 0);
    EXPECT_EQ(data_recno(f), 2);
    data_close(f);
  }

  // A record torn after the file was opened is reported, not invented.
  kvtest::write_bytes(name, good);
  d = data_open(&c, name.c_str());
  ASSERT_NE(d, nullptr);
  std::filesystem::resize_file(name, header_len + 2 * 338 + 100);
  EXPECT_EQ(data_go(d, 2), 0);
  EXPECT_EQ(data_go(d, 3), e_read);
  EXPECT_EQ(data_recno(d), -1);
  code_error_set(&c, 0);
  c.report_read_errors = 0;
  EXPECT_EQ(data_go(d, 3), DB_NO_RECORD);
  // Pack keeps what the file holds and states that count.
  EXPECT_EQ(data_pack(d), 0);
  EXPECT_EQ(data_reccount(d), 2);
  data_close(d);
}

// Headers other writers make: a NUL after the terminator, and Visual
// FoxPro's 263-byte backlink. The records follow the stated length.
TEST_F(DataFiles, HeaderLengthsOfOtherWriters) {
  DbDataFile* d = create();
  for (const char* n : {"a", "b", "c"}) append(d, n, 0);
  data_close(d);
  const auto good = kvtest::read_bytes(name);
  const size_t header_len = 32 * 5 + 33;
  struct Case {
    const char* what;
    unsigned char version;
    size_t extra;  // bytes between the terminator and the first record
    bool opens;
  } cases[] = {
      {"as we write it", 0x03, 0, true},
      {"a NUL after the terminator", 0x03, 1, true},
      {"two bytes after it", 0x03, 2, false},
      {"Visual FoxPro's backlink", 0x30, 263, true},
      {"its backlink and a NUL", 0x31, 264, true},
      {"more than the backlink", 0x30, 265, false},
  };
  for (const auto& k : cases) {
    auto b = good;
    b[0] = k.version;
    b.insert(b.begin() + long(header_len), k.extra, 0);
    b[8] = static_cast<unsigned char>((header_len + k.extra) & 0xFF);
    b[9] = static_cast<unsigned char>((header_len + k.extra) >> 8);
    kvtest::write_bytes(name, b);
    DbDataFile* f = data_open(&c, name.c_str());
    EXPECT_EQ(f != nullptr, k.opens) << k.what;
    if (!f) {
      EXPECT_EQ(code_error_set(&c, 0), e_data_name) << k.what;
      continue;
    }
    EXPECT_EQ(names(f), (std::vector<std::string>{"a", "b", "c"})) << k.what;
    data_close(f);
  }
}

// The memo file and the index beside a table take the case of its name, as
// tools on systems where names differ by case look for them; files that
// exist are found whatever their case, and nothing new appears beside them.
TEST(TableNames, CompanionsTakeTheCaseOfTheTableName) {
  const DbFieldInfo fields[] = {{"NAME", 'C', 10, 0}, {"NOTE", 'M', 0, 0}, {nullptr, 0, 0, 0}};
  const DbTagInfo tags[] = {{"NAME", "NAME", nullptr, 0, 0}, {nullptr, nullptr, nullptr, 0, 0}};
  struct Case {
    const char* create;
    std::vector<std::string> files;    // table, memo file, index
    std::vector<std::string> renamed;  // the same in another case, as another tool left them
  } cases[] = {
      {"t.dbf", {"t.dbf", "t.dbt", "t.mdx"}, {"T.DBF", "T.DBT", "t.MDX"}},
      {"T.DBF", {"T.DBF", "T.DBT", "T.MDX"}, {"t.dbf", "t.dbt", "t.mdx"}},
      {"people", {"people.dbf", "people.dbt", "people.mdx"}, {"people.dbf", "PEOPLE.DBT", "People.Mdx"}},
      {"Parts.dbf", {"Parts.dbf", "Parts.dbt", "Parts.mdx"}, {"Parts.dbf", "PARTS.DBT", "parts.mdx"}},
  };
  auto set_of = [](const std::vector<std::string>& v) { return std::set<std::string>(v.begin(), v.end()); };
  auto listing = [](const ScratchDir& dir) {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) names.insert(e.path().filename());
    return names;
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.create);
    ScratchDir dir;
    QuietEngine c;
    DbDataFile* d = data_create(&c, dir.file(k.create).c_str(), fields, tags);
    ASSERT_NE(d, nullptr) << code_error_get(&c);
    ASSERT_EQ(data_append_start(d, 0), 0);
    data_blank(d);
    field_assign(data_field_at(d, 1), "one");
    memo_field_assign(data_field_at(d, 2), "first memo", 10);
    ASSERT_EQ(data_append(d), 0);
    ASSERT_EQ(data_close(d), 0);
    EXPECT_EQ(listing(dir), set_of(k.files));

    for (size_t i = 0; i < k.files.size(); i++)
      std::filesystem::rename(dir.path() / k.files[i], dir.path() / k.renamed[i]);
    ASSERT_EQ(listing(dir), set_of(k.renamed));
    d = data_open(&c, dir.file(k.create).c_str());
    ASSERT_NE(d, nullptr) << code_error_get(&c);
    ASSERT_NE(data_tag_find(d, "NAME"), nullptr);
    data_tag_select(d, data_tag_find(d, "NAME"));
    ASSERT_EQ(data_append_start(d, 0), 0);
    data_blank(d);
    field_assign(data_field_at(d, 1), "two");
    memo_field_assign(data_field_at(d, 2), "second memo", 11);
    ASSERT_EQ(data_append(d), 0);
    std::vector<std::string> memos;
    for (int rc = data_top(d); rc == 0; rc = data_skip(d, 1))
      memos.emplace_back(FieldRefMemo(data_field_at(d, 2)).ptr(), FieldRefMemo(data_field_at(d, 2)).len());
    EXPECT_EQ(memos, (std::vector<std::string>{"first memo", "second memo"}));
    EXPECT_EQ(data_close(d), 0);
    EXPECT_EQ(listing(dir), set_of(k.renamed));
  }
}

}  // namespace
