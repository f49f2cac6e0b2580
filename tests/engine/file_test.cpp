// The file layer: create and open rules, sequential buffers, temporary
// files and replacing one file by another.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <regex>
#include <string>
#include <vector>

#include "engine/engine_api.h"
#include "engine/file.h"
#include "engine_fixture.h"
#include "platform/path.h"

namespace {

using kvtest::QuietEngine;
using kvtest::ScratchDir;

std::vector<unsigned char> pattern(size_t n) {
  std::vector<unsigned char> v(n);
  for (size_t i = 0; i < n; i++) v[i] = static_cast<unsigned char>((i * 7 + i / 251) & 0xFF);
  return v;
}

TEST(FileLayer, CreateHonoursSafetyAndReports) {
  ScratchDir dir;
  QuietEngine c;
  DbLock hold(&c);  // the file layer is the engine's inside
  std::string name = dir.file("A.BIN");
  DbFile f;
  ASSERT_EQ(file_create(&f, &c, name.c_str(), 1), 0);
  ASSERT_EQ(file_write(&f, 0, "abc", 3), 0);
  file_close(&f);

  EXPECT_EQ(file_create(&f, &c, name.c_str(), 0), e_create);
  EXPECT_EQ(code_error_set(&c, 0), e_create);
  c.report_create_errors = 0;
  EXPECT_EQ(file_create(&f, &c, name.c_str(), 0), DB_NO_CREATE);
  EXPECT_EQ(code_error_set(&c, 0), DB_NO_CREATE);
  c.safety = 0;
  ASSERT_EQ(file_create(&f, &c, name.c_str(), 0), 0) << "safety off overwrites";
  EXPECT_EQ(file_len(&f), 0);
  file_close(&f);

  c.report_open_errors = 0;
  EXPECT_EQ(file_open(&f, &c, dir.file("NONE").c_str(), 0), DB_NO_OPEN);
  code_error_set(&c, 0);

  c.read_only = 1;
  ASSERT_EQ(file_open(&f, &c, name.c_str(), 1), 0);
  EXPECT_EQ(file_write(&f, 0, "x", 1), e_parm);
  code_error_set(&c, 0);
  EXPECT_EQ(file_len_set(&f, 0), e_parm);
  code_error_set(&c, 0);
  file_close(&f);
}

TEST(FileLayer, SequentialReaderAlignsToKilobytes) {
  ScratchDir dir;
  QuietEngine c;
  DbLock hold(&c);  // the file layer is the engine's inside
  auto data = pattern(20000);
  kvtest::write_bytes(dir.file("S.BIN"), data);
  DbFile f;
  ASSERT_EQ(file_open(&f, &c, dir.file("S.BIN").c_str(), 1), 0);
  char buf[4096 + 100];  // only whole kilobytes of it are used
  DbSeqRead r;
  seq_read_init(&r, &f, 1000, buf, sizeof buf);
  unsigned char one;
  ASSERT_EQ(seq_read(&r, &one, 1), 1u);
  EXPECT_EQ(r.avail, 3096u) << "the first piece ends on a kilobyte boundary";
  EXPECT_EQ(r.pos, 4096);
  std::vector<unsigned char> got(3096 + 4096);
  ASSERT_EQ(seq_read(&r, got.data(), static_cast<unsigned>(got.size())), got.size());
  EXPECT_EQ(r.pos, 4096 + 4096 + 4096);
  EXPECT_TRUE(std::equal(got.begin(), got.end(), data.begin() + 1001));

  // Odd piece sizes across every buffer edge, to the end of the file.
  for (unsigned size : {0u, 1024u, 2048u + 512u}) {
    seq_read_init(&r, &f, 5, size ? buf : nullptr, size);
    std::vector<unsigned char> all;
    unsigned piece = 1;
    for (;;) {
      std::vector<unsigned char> p(piece);
      unsigned n = seq_read(&r, p.data(), piece);
      all.insert(all.end(), p.begin(), p.begin() + n);
      if (n < piece) break;
      piece = piece * 3 % 1500 + 1;
    }
    EXPECT_TRUE(std::equal(all.begin(), all.end(), data.begin() + 5)) << size;
    EXPECT_EQ(all.size(), data.size() - 5) << size;
  }
  seq_read_init(&r, &f, 19990, buf, sizeof buf);
  EXPECT_EQ(seq_read_all(&r, got.data(), 20), e_read) << "a short exact read is an error";
  code_error_set(&c, 0);
  file_close(&f);
}

TEST(FileLayer, SequentialWriterAcrossBufferEdges) {
  ScratchDir dir;
  QuietEngine c;
  DbLock hold(&c);  // the file layer is the engine's inside
  auto data = pattern(9000);
  for (unsigned size : {0u, 1024u, 3000u}) {
    std::string name = dir.file(kvtest::numbered("W", size));
    DbFile f;
    ASSERT_EQ(file_create(&f, &c, name.c_str(), 1), 0);
    file_write(&f, 0, "HEAD", 4);
    char buf[3000];
    DbSeqWrite w;
    seq_write_init(&w, &f, 1000, size ? buf : nullptr, size);
    size_t at = 0;
    unsigned piece = 1;
    while (at < data.size()) {
      unsigned n = std::min<unsigned>(piece, static_cast<unsigned>(data.size() - at));
      ASSERT_EQ(seq_write(&w, data.data() + at, n), 0);
      at += n;
      piece = piece * 5 % 1700 + 1;
    }
    ASSERT_EQ(seq_write_fill(&w, 1500, 'z'), 0);
    ASSERT_EQ(seq_write_flush(&w), 0);
    file_close(&f);
    auto b = kvtest::read_bytes(name);
    ASSERT_EQ(b.size(), 1000 + data.size() + 1500) << size;
    EXPECT_TRUE(std::equal(data.begin(), data.end(), b.begin() + 1000)) << size;
    EXPECT_EQ(b.back(), 'z');
    EXPECT_EQ(b[0], 'H');
  }
}

// A flush in two steps (the sync on a thread while the caller writes other
// files) knows what reached the disk: a write made after the sync began
// leaves the file to sync again. A child of fork, which may start no
// thread, syncs at once.
TEST(FileLayer, FlushInTwoStepsKnowsWhatReachedTheDisk) {
  ScratchDir dir;
  QuietEngine c;
  DbLock hold(&c);  // the file layer is the engine's inside
  DbFile f;
  ASSERT_EQ(file_create(&f, &c, dir.file("S.BIN").c_str(), 1), 0);
  ASSERT_EQ(file_write(&f, 0, "abc", 3), 0);
  DbFlushStep* step = nullptr;
  ASSERT_EQ(file_flush_begin(&f, &step), 0);
  EXPECT_NE(step, nullptr) << "the sync runs on a thread";
  ASSERT_EQ(file_write(&f, 3, "def", 3), 0);
  ASSERT_EQ(file_flush_end(&f, step), 0);
  EXPECT_TRUE(f.unsynced) << "the write made meanwhile is not known to be on the disk";
  ASSERT_EQ(file_flush_begin(&f, &step), 0);
  ASSERT_EQ(file_flush_end(&f, step), 0);
  EXPECT_FALSE(f.unsynced);
  ASSERT_EQ(file_flush_begin(&f, &step), 0);
  EXPECT_EQ(step, nullptr) << "nothing to sync, nothing to wait for";

  ASSERT_EQ(file_write(&f, 6, "g", 1), 0);
  pid_t kid = fork();
  if (kid == 0) {
    DbFlushStep* in_child = nullptr;
    int rc = file_flush_begin(&f, &in_child);
    _exit(rc == 0 && in_child == nullptr && !f.unsynced ? 0 : 1);
  }
  int status = -1;
  waitpid(kid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a child of fork syncs at once";
  file_close(&f);
  EXPECT_EQ(kvtest::read_bytes(dir.file("S.BIN")), std::vector<unsigned char>({'a', 'b', 'c', 'd', 'e', 'f', 'g'}));
}

TEST(FileLayer, TemporaryFilesAndReplace) {
  ScratchDir dir;
  QuietEngine c;
  DbLock hold(&c);  // the file layer is the engine's inside
  std::string before = plat::get_current_directory();
  ASSERT_TRUE(plat::set_drive_root('K', dir.path().string()));
  ASSERT_TRUE(plat::set_current_directory("K:\\"));
  char name[16];
  DbFile t;
  ASSERT_EQ(file_temp(&t, &c, name, 1), 0);
  EXPECT_TRUE(std::regex_match(name, std::regex("TEMP[0-9]{4}\\.TMP"))) << name;
  EXPECT_TRUE(std::filesystem::exists(dir.path() / name));
  auto data = pattern(40000);
  ASSERT_EQ(file_write(&t, 0, data.data(), static_cast<unsigned>(data.size())), 0);

  DbFile target;
  kvtest::write_bytes(dir.file("T.BIN"), pattern(100000));
  ASSERT_EQ(file_open(&target, &c, dir.file("T.BIN").c_str(), 1), 0);
  ASSERT_EQ(file_replace(&target, &t), 0);
  EXPECT_FALSE(std::filesystem::exists(dir.path() / name)) << "the source is removed";
  EXPECT_EQ(file_len(&target), 40000);
  file_close(&target);
  EXPECT_EQ(kvtest::read_bytes(dir.file("T.BIN")), data);

  // Kept on close when not asked to remove it.
  ASSERT_EQ(file_temp(&t, &c, nullptr, 0), 0);
  std::string kept = t.name;
  file_close(&t);
  EXPECT_TRUE(std::filesystem::exists(dir.path() / kept));
  plat::set_current_directory(before);
  plat::set_drive_root('K', "");
}

}  // namespace
