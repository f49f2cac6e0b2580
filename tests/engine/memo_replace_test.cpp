// Memo compression when a write to the shared memo file fails while its
// contents are being replaced: no memo may be lost.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/data.h"
#include "engine/engine_api.h"
#include "engine/memo.h"
#include "engine_fixture.h"
#include "platform/file.h"
#include "platform/msgbox.h"

namespace {

using kvtest::QuietEngine;
using kvtest::ScratchDir;

const DbFieldInfo kFields[] = {{"ID", 'N', 6, 0}, {"NOTE", 'M', 0, 0}, {nullptr, 0, 0, 0}};

std::string text_of(size_t n, char seed) {
  std::string s(n, ' ');
  for (size_t i = 0; i < n; i++) s[i] = static_cast<char>(seed + i % 23);
  return s;
}

// Six memos of 3 to 23 KB (the copy runs in several pieces), two of them
// deleted and packed away, so compression moves the others.
struct MemoReplace : ::testing::Test {
  ScratchDir dir;
  QuietEngine c;
  std::string name = dir.file("NOTES.DBF");
  std::string memo_name = dir.file("NOTES.DBT");
  std::string backup_name = memo_name + "~";
  DbDataFile* d = nullptr;
  std::vector<std::string> texts;

  void SetUp() override {
    d = data_create(&c, name.c_str(), kFields, nullptr);
    ASSERT_NE(d, nullptr);
    for (int i = 0; i < 6; i++) {
      std::string t = text_of(3000 + 4000 * i, static_cast<char>('a' + i));
      ASSERT_EQ(data_append_start(d, 0), 0);
      data_blank(d);
      field_assign_long(data_field_at(d, 1), i + 1);
      memo_field_assign(data_field_at(d, 2), t.data(), static_cast<unsigned>(t.size()));
      ASSERT_EQ(data_append(d), 0);
      if (i != 1 && i != 3) texts.push_back(t);
    }
    for (long r : {2, 4}) {
      ASSERT_EQ(data_go(d, r), 0);
      data_delete(d);
    }
    ASSERT_EQ(data_pack(d), 0);
  }
  void TearDown() override {
    plat::set_write_fault("", 0);
    if (d) {
      EXPECT_EQ(data_close(d), 0);
    }
  }

  void expect_every_memo(const char* when) {
    ASSERT_EQ(data_reccount(d), static_cast<long>(texts.size()));
    for (size_t i = 0; i < texts.size(); i++) {
      ASSERT_EQ(data_go(d, static_cast<long>(i) + 1), 0) << when;
      DbField* f = data_field_at(d, 2);
      EXPECT_EQ(std::string(FieldRefMemo(f).ptr(), FieldRefMemo(f).len()), texts[i]) << when << " " << i;
    }
  }
};

TEST_F(MemoReplace, FailedReplacementPutsTheOldMemoFileBack) {
  const auto before = kvtest::read_bytes(memo_name);
  // Each cut lands in a different piece of the copy: before its first
  // byte, inside the first piece, and past several pieces.
  for (long cut : {0L, 700L, 40000L}) {
    plat::set_write_fault("notes.dbt", cut, plat::error_disk_full, true);
    EXPECT_EQ(memo_compress(d), -1) << cut;
    EXPECT_EQ(code_error_get(&c), e_write) << cut;
    code_error_set(&c, 0);
    EXPECT_EQ(kvtest::read_bytes(memo_name), before) << cut;
    EXPECT_FALSE(std::filesystem::exists(backup_name)) << cut;
    EXPECT_FALSE(std::filesystem::exists(dir.file("NOTES.TMP"))) << cut;
    expect_every_memo("after a failed compression");
  }
  plat::set_write_fault("", 0);
  ASSERT_EQ(memo_compress(d), 0);
  EXPECT_LT(kvtest::read_bytes(memo_name).size(), before.size());
  EXPECT_FALSE(std::filesystem::exists(backup_name));
  expect_every_memo("after compression");
}

TEST_F(MemoReplace, FailedRestoreKeepsTheBackupAndNamesIt) {
  const auto before = kvtest::read_bytes(memo_name);
  c.silent_errors = 0;
  plat::clear_message_box_log();
  auto old_handler = plat::set_unexpected_message_box_handler(
      [](HWND, const std::string&, const std::string&, UINT) { return IDOK; });
  plat::set_write_fault("NOTES.DBT", 20000);  // the restore fails as well
  EXPECT_EQ(memo_compress(d), -1);
  plat::set_write_fault("", 0);
  plat::set_unexpected_message_box_handler(old_handler);
  c.silent_errors = 1;
  EXPECT_LT(code_error_get(&c), 0);
  code_error_set(&c, 0);
  ASSERT_EQ(kvtest::read_bytes(backup_name), before);
  auto log = plat::message_box_log();
  ASSERT_FALSE(log.empty());
  // Boxes show the name as the system gives it, in capitals.
  std::string named = "FILE NAME:\n" + backup_name + "\n", shown = log.back().text;
  for (auto* s : {&named, &shown})
    for (char& ch : *s) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  EXPECT_NE(shown.find(named), std::string::npos) << shown;

  // Copied back by hand, the backup gives every memo its old text.
  kvtest::write_bytes(memo_name, kvtest::read_bytes(backup_name));
  expect_every_memo("from the backup");

  // A later replacement never overwrites a backup that is still there.
  EXPECT_EQ(memo_compress(d), -1);
  EXPECT_EQ(code_error_get(&c), e_create);
  code_error_set(&c, 0);
  EXPECT_EQ(kvtest::read_bytes(backup_name), before);
  expect_every_memo("after a refused compression");
}

}  // namespace
