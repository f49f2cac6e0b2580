// Production index files: the bytes of a new file, refusals of damaged
// headers, unique tags on rebuild, a failed rebuild that keeps the old index,
// and blank dates.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/index_data.h"
#include "index_fixture.h"

namespace {

using kvtest::IndexTest;
using kvtest::PartRow;
using kvtest::ScratchDir;
using kvtest::read_bytes;
using kvtest::write_bytes;

const DbFieldInfo kCodeFields[] = {
    {"CODE", 'C', 10, 0}, {"QTY", 'N', 9, 2}, {"DUE", 'D', 8, 0}, {nullptr, 0, 0, 0}};

unsigned u16(const std::vector<unsigned char>& b, size_t at) { return b[at] | b[at + 1] << 8; }
unsigned long u32(const std::vector<unsigned char>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | (unsigned long)b[at + 3] << 24;
}

struct IndexFile : IndexTest {
  std::string mdx = dir.file("PARTS.MDX");

  void append_code(const char* code, double qty = 1, const char* due = "20240101") {
    ASSERT_EQ(data_append_start(d, 0), 0);
    data_blank(d);
    field_assign(data_field_at(d, 1), code);
    field_assign_double(data_field_at(d, 2), qty);
    field_assign(data_field_at(d, 3), due);
    ASSERT_EQ(data_append(d), 0);
  }
};

TEST_F(IndexFile, NewFileLayout) {
  const DbTagInfo tags[] = {{"code", "CODE", nullptr, 25, 0},
                            {"QTY", "QTY", nullptr, 0, 0},
                            {"DUE", "DUE", "QTY > 1000", 0, 0},
                            {nullptr, nullptr, nullptr, 0, 0}};
  create(tags, kCodeFields);
  append_code("B");
  append_code("A");
  ASSERT_EQ(data_close(d), 0);
  d = nullptr;
  auto b = read_bytes(mdx);
  ASSERT_GE(b.size(), 2048u);
  EXPECT_EQ(b[0], 2);
  EXPECT_EQ(u16(b, 20), 2u);
  EXPECT_EQ(u16(b, 22), 1024u);
  EXPECT_EQ(b[24], 1) << "production";
  EXPECT_EQ(b[25], 48);
  EXPECT_EQ(u16(b, 26), 32u);
  EXPECT_EQ(u16(b, 28), 3u);
  EXPECT_EQ(b[529], 1);
  EXPECT_EQ(u32(b, 32) * 512, b.size()) << "next free block is the end of the file";
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[4]), 5), std::string("PARTS", 5));
  struct Tag {
    const char* name;
    char type;
    unsigned key_len, group, per_block, date_flag, key_format, unique;
  } want[] = {{"CODE", 'C', 10, 16, 63, 0, 0x50, 0x4000},
              {"QTY", 'N', 12, 16, 63, 0, 0x10, 0},
              {"DUE", 'D', 8, 12, 84, 1, 0x10, 0}};
  for (int i = 0; i < 3; i++) {
    size_t e = 544 + 32 * size_t(i);
    SCOPED_TRACE(want[i].name);
    EXPECT_EQ(u32(b, e), 4u + 2u * unsigned(i));
    EXPECT_STREQ(reinterpret_cast<const char*>(&b[e + 4]), want[i].name);
    EXPECT_EQ(b[e + 15], 0x10);
    EXPECT_EQ(b[e + 19], 2);
    EXPECT_EQ(b[e + 20], want[i].type);
    size_t h = u32(b, e) * 512;
    EXPECT_EQ(b[h + 8], want[i].key_format);
    EXPECT_EQ(b[h + 9], want[i].type);
    EXPECT_EQ(u16(b, h + 12), want[i].key_len);
    EXPECT_EQ(u16(b, h + 14), want[i].per_block);
    EXPECT_EQ(u16(b, h + 16), want[i].date_flag);
    EXPECT_EQ(u16(b, h + 18), want[i].group);
    EXPECT_EQ(u16(b, h + 22), want[i].unique);
  }
  // Name tree: QTY is CODE's higher side, DUE is QTY's lower side.
  EXPECT_EQ(b[544 + 16], 0);
  EXPECT_EQ(b[544 + 17], 2);
  EXPECT_EQ(b[544 + 32 + 18], 1);
  EXPECT_EQ(b[544 + 32 + 16], 3);
  EXPECT_EQ(b[544 + 64 + 18], 2);
  // A filter false for every record: flag 0 and an empty root.
  size_t due = 8 * 512;
  EXPECT_EQ(b[due + 245], 1);
  EXPECT_EQ(b[due + 246], 0);
  EXPECT_STREQ(reinterpret_cast<const char*>(&b[due + 762]), "QTY > 1000");
  EXPECT_EQ(u32(b, u32(b, due) * 512), 0u);
  auto data = read_bytes(name);
  EXPECT_EQ(data[28], 1);
  for (int f = 0; f < 3; f++) EXPECT_EQ(data[32 + 32 * size_t(f) + 31], 1) << "field " << f;
}

TEST_F(IndexFile, DamagedHeadersAreRefused) {
  create(nullptr, kCodeFields);
  append_code("A");
  const DbTagInfo tags[] = {{"CODE", "CODE", nullptr, 0, 0}, {nullptr, nullptr, nullptr, 0, 0}};
  ASSERT_NE((DbLock(&c), index_create(d, nullptr, tags)), nullptr);
  ASSERT_EQ(data_close(d), 0);
  d = nullptr;
  auto good = read_bytes(mdx);
  struct Patch {
    size_t at;
    unsigned char value;
    int expect;
  } patches[] = {{20, 64, e_index}, {28, 48, e_index}, {23, 8, e_index}, {32, 0, e_index},
                 {2048 + 12, 9, e_index}, {2048 + 14, 200, e_index}, {0, 2, 0}};
  for (const Patch& p : patches) {
    auto b = good;
    if (p.at == 32) b[33] = b[34] = b[35] = 0;
    b[p.at] = p.value;
    write_bytes(mdx, b);
    d = data_open(&c, name.c_str());
    EXPECT_EQ(code_error_set(&c, 0), p.expect) << "byte " << p.at;
    EXPECT_EQ(d != nullptr, p.expect == 0);
    if (d) data_close(d);
    d = nullptr;
  }
}

TEST_F(IndexFile, UniqueActionsOnRebuild) {
  struct Case {
    int action;
    int status;  // pending after index_create
    std::vector<long> kept;
  } cases[] = {{25, 0, {2, 1, 4}}, {20, DB_UNIQUE, {}}, {-340, e_unique, {}}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.action);
    std::filesystem::remove(name);
    std::filesystem::remove(mdx);
    create(nullptr, kCodeFields);
    for (const char* code : {"B", "A", "B", "C", "A"}) append_code(code);
    const DbTagInfo tags[] = {{"CODE", "CODE", nullptr, k.action, 0},
                              {nullptr, nullptr, nullptr, 0, 0}};
    DbIndexFile* x = (DbLock(&c), index_create(d, nullptr, tags));
    EXPECT_EQ(code_error_set(&c, 0), k.status);
    if (k.kept.empty()) {
      EXPECT_EQ(x, nullptr);
      EXPECT_FALSE(std::filesystem::exists(mdx)) << "no half-made index is left";
    } else {
      ASSERT_NE(x, nullptr);
      EXPECT_EQ(walk((DbLock(&c), index_tag(x, "CODE")), false), k.kept);
    }
    data_close(d);
    d = nullptr;
  }
}

TEST_F(IndexFile, FailedRebuildKeepsTheOldIndex) {
  const DbTagInfo tags[] = {{"CODE", "CODE", nullptr, 20, 0}, {nullptr, nullptr, nullptr, 0, 0}};
  create(tags, kCodeFields);
  for (const char* code : {"A", "B", "C"}) append_code(code);
  ASSERT_EQ(data_flush(d), 0);
  auto before = read_bytes(mdx);
  // Another program writes a duplicate past the index.
  ASSERT_EQ(data_close(d), 0);
  auto data = read_bytes(name);
  unsigned header_len = u16(data, 8), width = u16(data, 10);
  data[header_len + width + 1] = 'A';
  write_bytes(name, data);
  d = data_open(&c, name.c_str());
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(data_reindex(d), DB_UNIQUE);
  EXPECT_EQ(read_bytes(mdx), before);
  EXPECT_EQ(walk(tag("CODE"), false), (std::vector<long>{1, 2, 3}));
}

TEST_F(IndexFile, BlankDatesSortLastAndAreFound) {
  const DbTagInfo tags[] = {{"DUE", "DUE", nullptr, 0, 0},
                            {"LATER", "DUE + 1", nullptr, 0, 1},
                            {nullptr, nullptr, nullptr, 0, 0}};
  create(tags, kCodeFields);
  append_code("A", 1, "");
  append_code("B", 1, "20240301");
  append_code("C", 1, "19991231");
  EXPECT_EQ(walk(tag("DUE"), false), (std::vector<long>{3, 2, 1}));
  EXPECT_EQ(walk(tag("LATER"), false), (std::vector<long>{1, 2, 3})) << "descending";
  for (const char* t : {"DUE", "LATER"}) {
    SCOPED_TRACE(t);
    data_tag_select(d, tag(t));
    EXPECT_EQ(data_seek(d, "        "), 0);
    EXPECT_EQ(data_recno(d), 1);
    EXPECT_EQ(data_seek_double(d, 0), 0);
    EXPECT_EQ(data_recno(d), 1);
  }
  data_tag_select(d, tag("DUE"));
  EXPECT_EQ(data_seek(d, "20240301"), 0);
  EXPECT_EQ(data_recno(d), 2);
  EXPECT_EQ(data_seek(d, "20000101"), DB_AFTER);
  EXPECT_EQ(data_recno(d), 2);
}

// A rebuild leaves equal keys in record order in every kind of tag (keys
// already in order, bytes with long shared beginnings, numbers up and down,
// below zero and with fractions, dates, filtered and evaluated keys), and one
// with too little memory to hold the new file (its sorts spilled, the file
// built beside the index) writes the very same bytes.
TEST_F(IndexFile, RebuildKeepsEqualKeysInRecordOrderWhateverItsMemory) {
  const DbTagInfo tags[] = {{"ID", "ID", nullptr, 20, 0},    {"NAME", "NAME", nullptr, 0, 0},
                            {"QTY", "QTY", nullptr, 0, 0},   {"QTYDOWN", "QTY", nullptr, 0, 1},
                            {"DUE", "DUE", nullptr, 0, 0},   {"QTYSOME", "QTY", "QTY > 1", 0, 0},
                            {"UPNAME", "UPPER(LEFT(NAME, 12))", nullptr, 0, 0},
                            {"QTYONE", "QTY", nullptr, 25, 0},  {"NAMEONE", "NAME", nullptr, 25, 0},
                            {nullptr, nullptr, nullptr, 0, 0}};
  create(tags);
  std::vector<PartRow> rows;
  for (long i = 1; i <= 3000; i++) {
    std::string due = i % 5 ? "2024" + std::to_string(10 + i % 3) + std::to_string(10 + i % 19) : "";
    double qty = i % 7 ? double(i * 31 % 17) / 4 : -double(i % 2000) / 100;
    rows.push_back({i, "Part-Spindle-Housing-" + std::to_string(i * 7919 % 37), qty, due});
  }
  ASSERT_EQ(data_lock_file(d), 0);
  for (const PartRow& r : rows) ASSERT_EQ(append(r), 0);
  ASSERT_EQ(data_close(d), 0);
  ScratchDir other;
  for (const char* f : {"PARTS.DBF", "PARTS.MDX"}) write_bytes(other.file(f), read_bytes(dir.file(f)));

  // The unique tags keep the first record of each key (an open tag refuses duplicates).
  auto keep_first = [&] {
    for (const char* t : {"QTYONE", "NAMEONE"}) tag(t)->unique_action = 25;
  };
  {
    DbSettingFor little(c.sort_memory, 2048);
    d = data_open(&c, other.file("PARTS.DBF").c_str());
    ASSERT_NE(d, nullptr);
    keep_first();
    ASSERT_EQ(data_reindex(d), 0);
    ASSERT_EQ(data_close(d), 0);
  }
  d = data_open(&c, name.c_str());
  ASSERT_NE(d, nullptr);
  keep_first();
  ASSERT_EQ(data_reindex(d), 0);
  // The new file went to the disk before its backup went.
  EXPECT_EQ(index_first(d)->file.unsynced, 0);
  EXPECT_FALSE(std::filesystem::exists(mdx + "~"));
  ASSERT_EQ(data_unlock(d), 0);
  EXPECT_EQ(read_bytes(other.file("PARTS.MDX")), read_bytes(mdx));

  auto order_by = [&](auto less) {
    std::vector<long> v(rows.size());
    for (size_t i = 0; i < v.size(); i++) v[i] = long(i) + 1;
    std::stable_sort(v.begin(), v.end(),
                     [&](long a, long b) { return less(rows[size_t(a - 1)], rows[size_t(b - 1)]); });
    return v;
  };
  EXPECT_EQ(walk(tag("ID"), false), order_by([](const PartRow& a, const PartRow& b) { return a.id < b.id; }));
  EXPECT_EQ(walk(tag("NAME"), false),
            order_by([](const PartRow& a, const PartRow& b) { return a.name < b.name; }));
  EXPECT_EQ(walk(tag("QTY"), false),
            order_by([](const PartRow& a, const PartRow& b) { return a.qty < b.qty; }));
  EXPECT_EQ(walk(tag("QTYDOWN"), false),
            order_by([](const PartRow& a, const PartRow& b) { return a.qty > b.qty; }));
  std::vector<long> some;
  for (long n : order_by([](const PartRow& a, const PartRow& b) { return a.qty < b.qty; }))
    if (rows[size_t(n - 1)].qty > 1) some.push_back(n);
  EXPECT_EQ(walk(tag("QTYSOME"), false), some);
  std::vector<long> first_of_each;
  for (long n : order_by([](const PartRow& a, const PartRow& b) { return a.qty < b.qty; }))
    if (first_of_each.empty() || rows[size_t(first_of_each.back() - 1)].qty != rows[size_t(n - 1)].qty)
      first_of_each.push_back(n);
  EXPECT_EQ(walk(tag("QTYONE"), false), first_of_each);
}

}  // namespace

namespace {

// An unlocked reader checks the index front for others' changes through a
// mapping of it. Another program cutting the file under that mapping (as a
// rewrite of the whole file does) must not bring the reader down, and once
// the file is whole again the reader sees the next change at once.
TEST_F(IndexFile, AFrontCutUnderAReaderIsSurvived) {
  const DbTagInfo tags[] = {{"CODE", "CODE", nullptr, 20, 0}, {nullptr, nullptr, nullptr, 0, 0}};
  create(tags, kCodeFields);
  for (const char* code : {"A", "B", "C"}) append_code(code);
  ASSERT_EQ(data_close(d), 0);
  d = data_open(&c, name.c_str());
  ASSERT_NE(d, nullptr);
  data_tag_select(d, tag("CODE"));
  ASSERT_EQ(data_top(d), 0);
  ASSERT_EQ(data_skip(d, 1), 0);  // the front is mapped by now
  auto whole = read_bytes(mdx);
  std::filesystem::resize_file(mdx, 0);
  data_skip(d, 1);  // whatever it finds, it comes back
  code_error_set(&c, 0);
  write_bytes(mdx, whole);

  kvtest::QuietEngine other;
  DbDataFile* o = data_open(&other, name.c_str());
  ASSERT_NE(o, nullptr);
  ASSERT_EQ(data_append_start(o, 0), 0);
  data_blank(o);
  field_assign(data_field_at(o, 1), "AB");
  ASSERT_EQ(data_append(o), 0);
  ASSERT_EQ(data_close(o), 0);
  EXPECT_EQ(data_seek(d, "AB"), 0);
  EXPECT_EQ(data_recno(d), 4);
  EXPECT_EQ(walk(tag("CODE"), false), (std::vector<long>{1, 4, 2, 3}));
}

}  // namespace
