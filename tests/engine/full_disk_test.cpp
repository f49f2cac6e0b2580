// A disk that fills up in the middle of a change: the change fails with an
// error and leaves the table and its index as they were. A child process
// lowers its file-size limit, which makes writes past it fail as on a full
// disk.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "engine/engine_api.h"
#include "engine/memo.h"
#include "tests/engine/index_fixture.h"

namespace {

using kvtest::PartRow;

// Wide records make the data file reach the limit long before the index does.
const DbFieldInfo kWideFields[] = {
    {"ID", 'N', 8, 0}, {"NAME", 'C', 40, 0}, {"QTY", 'N', 9, 2}, {"DUE", 'D', 8, 0},
    {"BODY", 'C', 3900, 0}, {nullptr, 0, 0, 0}};

const DbTagInfo kTwoTags[] = {{"ID", "ID", nullptr, 20, 0},
                              {"NAME", "NAME", nullptr, 0, 0},
                              {nullptr, nullptr, nullptr, 0, 0}};

constexpr rlim_t kLimit = 16384;

struct FullDisk : kvtest::IndexTest {
  // Runs `work` in a child whose files cannot grow past kLimit; gives its exit code.
  template <class Work>
  int in_full_disk(Work work) {
    pid_t pid = fork();
    if (pid == 0) {
      signal(SIGXFSZ, SIG_IGN);
      rlimit lim{kLimit, kLimit};
      setrlimit(RLIMIT_FSIZE, &lim);
      _exit(work());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 99;
  }
};

TEST_F(FullDisk, FailedAppendLeavesNoKeyBehind) {
  create(kTwoTags, kWideFields);
  for (long i = 1; i <= 3; i++) ASSERT_EQ(append({i, kvtest::numbered("PART", i), 1, ""}), 0);
  ASSERT_EQ(data_close(d), 0);
  d = nullptr;

  // Record 4 still fits below the limit, record 5 does not.
  int rc = in_full_disk([&] {
    kvtest::QuietEngine here;
    DbDataFile* f = data_open(&here, name.c_str());
    if (!f) return 10;
    d = f;
    if (append({4, "PART4", 1, ""}) != 0) return 11;
    int failed = append({5, "PART5", 1, ""});
    return failed < 0 && code_error_get(&here) == e_write ? 0 : 12;
  });
  ASSERT_EQ(rc, 0);
  d = nullptr;

  d = data_open(&c, name.c_str());
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(data_reccount(d), 4);
  std::vector<long> all{1, 2, 3, 4};
  EXPECT_EQ(walk(tag("ID"), false), all);
  EXPECT_EQ(walk(tag("NAME"), false), all);
  // The id the failed append meant to take is still free.
  EXPECT_EQ(append({5, "PART5", 1, ""}), 0);
  EXPECT_EQ(walk(tag("ID"), false), (std::vector<long>{1, 2, 3, 4, 5}));
}

}  // namespace

namespace {

TEST_F(FullDisk, FailedRewriteKeepsTheOldKeys) {
  static const DbFieldInfo fields[] = {
      {"ID", 'N', 8, 0}, {"NAME", 'C', 40, 0}, {"NOTE", 'M', 10, 0}, {nullptr, 0, 0, 0}};
  static const DbTagInfo tags[] = {{"NAME", "NAME", nullptr, 0, 0}, {nullptr, nullptr, nullptr, 0, 0}};
  create(tags, fields);
  ASSERT_EQ(data_append_start(d, 0), 0);
  field_assign(data_field_at(d, 1), "1");
  field_assign(data_field_at(d, 2), "OLD");
  ASSERT_EQ(memo_field_assign(data_field_at(d, 3), "short", 5), 0);
  ASSERT_EQ(data_append(d), 0);
  ASSERT_EQ(data_close(d), 0);
  d = nullptr;

  // The new name goes to the index before the long memo meets the full disk.
  int rc = in_full_disk([&] {
    kvtest::QuietEngine here;
    DbDataFile* f = data_open(&here, name.c_str());
    if (!f || data_go(f, 1) != 0) return 10;
    field_assign(data_field_at(f, 2), "NEW");
    std::string big(20000, 'a');
    if (memo_field_assign(data_field_at(f, 3), big.data(), unsigned(big.size())) != 0) return 11;
    return data_flush(f) < 0 && code_error_get(&here) == e_write ? 0 : 12;
  });
  ASSERT_EQ(rc, 0);
  d = data_open(&c, name.c_str());
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(data_go(d, 1), 0);
  EXPECT_EQ(str(2), "OLD");
  data_tag_select(d, tag("NAME"));
  EXPECT_EQ(data_seek(d, "OLD"), 0);
  EXPECT_EQ(data_recno(d), 1);
  EXPECT_NE(data_seek(d, "NEW"), 0);
  EXPECT_EQ(walk(tag("NAME"), false), (std::vector<long>{1}));
}

}  // namespace

namespace {

TEST_F(FullDisk, FailedRewriteKeepsEveryMemoReadable) {
  static const DbFieldInfo fields[] = {
      {"ID", 'N', 8, 0}, {"FIRST", 'M', 10, 0}, {"SECOND", 'M', 10, 0}, {nullptr, 0, 0, 0}};
  create(nullptr, fields);
  std::string long_text(3000, 'x');
  ASSERT_EQ(data_append_start(d, 0), 0);
  field_assign(data_field_at(d, 1), "1");
  ASSERT_EQ(memo_field_assign(data_field_at(d, 2), long_text.data(), unsigned(long_text.size())), 0);
  ASSERT_EQ(memo_field_assign(data_field_at(d, 3), "b", 1), 0);
  ASSERT_EQ(data_append(d), 0);
  ASSERT_EQ(data_close(d), 0);
  d = nullptr;

  // The first memo's new text fits; the second does not fit on the disk.
  int rc = in_full_disk([&] {
    kvtest::QuietEngine here;
    DbDataFile* f = data_open(&here, name.c_str());
    if (!f || data_go(f, 1) != 0) return 10;
    std::string big(20000, 'y');
    if (memo_field_assign(data_field_at(f, 2), "short", 5) != 0 ||
        memo_field_assign(data_field_at(f, 3), big.data(), unsigned(big.size())) != 0)
      return 11;
    return data_flush(f) < 0 && code_error_get(&here) == e_write ? 0 : 12;
  });
  ASSERT_EQ(rc, 0);

  d = data_open(&c, name.c_str());
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(data_go(d, 1), 0);
  // The record was not written: it leads to both old texts, still whole.
  DbField* first = data_field_at(d, 2);
  EXPECT_EQ(std::string(FieldRefMemo(first).ptr(), FieldRefMemo(first).len()), long_text);
  DbField* second = data_field_at(d, 3);
  EXPECT_EQ(std::string(FieldRefMemo(second).ptr(), FieldRefMemo(second).len()), "b");
}

}  // namespace
