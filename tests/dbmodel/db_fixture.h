// Shared set-up of the database model tests: a scratch database, alternate
// and local directory behind a fresh TGlobals, quiet engine settings as the
// application uses them, and an in-memory list box.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "appcore/globals.h"
#include "dbmodel/codetb.h"
#include "dbmodel/counter.h"
#include "engine/fieldinfo.h"
#include "platform/msgbox.h"
#include "tests/support/scratch_dir.h"

namespace kvdb {

class MemoryList : public TListLines {
 public:
  void ClearLines() override {
    lines.clear();
    selected = -2;
  }
  void AddLine(const char* text) override { lines.emplace_back(text); }
  void SelectLine(int index) override { selected = index; }

  std::vector<std::string> lines;
  int selected = -1;  // -1 never selected, -2 cleared and not selected
};

class DbTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scratch_.emplace("kvdbmodel");
    root_ = scratch_->path();
    for (const char* d : {"db", "alt", "local"}) std::filesystem::create_directories(root_ / d);
    globals_ = new TGlobals;
    Globals = globals_;
    Globals->DatabaseDir = (root_ / "db").string() + "\\";
    Globals->AlternateDir = (root_ / "alt").string() + "\\";
    Globals->LocalDir = (root_ / "local").string() + "\\";
    DB_ENGINE* c = DbContext;
    code_error_set(c, 0);
    c->report_create_errors = 0;
    c->report_open_errors = 0;
    c->auto_open = 1;
    c->safety = 1;
    c->exclusive = 0;
    c->read_lock = 0;
    c->lock_attempts = -1;
    plat::clear_message_box_log();
  }
  void TearDown() override {
    EXPECT_EQ(code_error_get(DbContext), 0) << "an engine error was left pending";
    Globals = nullptr;
    delete globals_;
    scratch_.reset();
  }

  // The id counters, created and filled as the application does.
  void MakeCounters() {
    TcbCounterTable c("KELVINDX.DBF", 0, 0);
    c.Create(DbPath("KELVINDX.DBF").c_str());
    c.EnsureRecords();
  }
  // A table's empty file under its own name in the database directory.
  template <class Table>
  void CreateTable(const char* file) {
    Table t(file, 0, 0);
    t.Create(DbPath(file).c_str());
  }

  // Native path of a file in the database directory.
  std::string DbPath(const std::string& name) const { return (root_ / "db" / name).string(); }
  std::string Root() const { return root_.string(); }

  // Creates a data file of the given fields (and tags) in the database
  // directory and fills rows; each row gives one text per field.
  void MakeFile(const std::string& name, const std::vector<DbFieldInfo>& fields,
                const std::vector<std::vector<std::string>>& rows,
                const std::vector<DbTagInfo>& tags = {}, const std::vector<bool>& deleted = {}) {
    FieldInfoList f(DbContext);
    for (const auto& x : fields) f.add(x.name, x.type, x.len, x.decimals);
    TagInfoList t(DbContext);
    for (const auto& x : tags) t.add(x.name, x.expression, x.filter, x.unique, x.descending);
    DbContext->safety = 0;  // a test may make a file again
    DbDataFile* d = data_create(DbContext, DbPath(name).c_str(), f.fields(), t.tags());
    DbContext->safety = 1;
    ASSERT_NE(d, nullptr);
    for (size_t r = 0; r < rows.size(); r++) {
      ASSERT_EQ(data_append_start(d, 0), 0);
      data_blank(d);
      for (size_t i = 0; i < rows[r].size(); i++) {
        if (fields[i].type == 'M') {
          FieldRefMemo m(d, static_cast<int>(i + 1));
          m.assign(rows[r][i].c_str());
        } else {
          FieldRef fr(d, static_cast<int>(i + 1));
          fr.assign(rows[r][i].c_str());
        }
      }
      if (r < deleted.size() && deleted[r]) data_delete(d);
      ASSERT_EQ(data_append(d), 0);
    }
    ASSERT_EQ(data_close(d), 0);
  }

  // Every row of a file as trimmed field texts, "*" first for a deleted row.
  std::vector<std::vector<std::string>> Rows(const std::string& path) {
    std::vector<std::vector<std::string>> out;
    DbDataFile* d = data_open(DbContext, path.c_str());
    EXPECT_NE(d, nullptr);
    if (!d) return out;
    int n = data_num_fields(d);
    for (long r = 1; r <= data_reccount(d); r++) {
      data_go(d, r);
      std::vector<std::string> row{data_is_deleted(d) ? "*" : " "};
      for (int i = 1; i <= n; i++) {
        DbField* f = data_field_at(d, i);
        std::string s;
        if (field_type(f) == 'M') {
          FieldRefMemo m(d, i);
          s.assign(m.ptr(), m.len());
        } else {
          s.assign(field_ptr(f), field_len(f));
        }
        while (!s.empty() && s.back() == ' ') s.pop_back();
        size_t b = s.find_first_not_of(' ');
        row.push_back(b == std::string::npos ? "" : s.substr(b));
      }
      out.push_back(row);
    }
    data_close(d);
    return out;
  }

  // Runs fn in a child process; its exit status.
  template <typename Fn>
  static int InChild(Fn fn) {
    pid_t pid = fork();
    if (pid == 0) _exit(fn());
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  std::optional<kvtest::ScratchDir> scratch_;
  std::filesystem::path root_;
  TGlobals* globals_ = nullptr;
};

inline std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

// Writes beside the name and renames: a process waiting for the file to
// appear never reads it half written.
inline void PublishFileBytes(const std::string& path, const std::string& bytes) {
  WriteFileBytes(path + ".part", bytes);
  std::rename((path + ".part").c_str(), path.c_str());
}

}  // namespace kvdb
