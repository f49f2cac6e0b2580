// The mapped front of a file: other handles' writes seen at once, a file cut
// under the view failing the read instead of the process.
#include <signal.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/file.h"
#include "platform/file_view.h"
#include "tests/platform/file_sandbox.h"

namespace {

using plat::Access;
using plat::Disposition;
using plat::Share;

struct Probe {
  size_t at, n;
  std::string got;
};

void copy_bytes(const unsigned char* bytes, void* arg) {
  auto* p = static_cast<Probe*>(arg);
  p->got.assign(reinterpret_cast<const char*>(bytes) + p->at, p->n);
}

std::string view_text(const plat::FileView& v, size_t at, size_t n, bool* ok) {
  Probe p{at, n, {}};
  *ok = v.read(copy_bytes, &p);
  return p.got;
}

plat::File open_rw(const std::string& path) {
  return plat::create_file(path, Access::read_write, Share::read_write, Disposition::open_existing);
}

TEST(FileView, FollowsWritesAndSurvivesACutFile) {
  FileSandbox box;
  std::string text(3 * 4096, 'a');
  FileSandbox::put(box.c("T.MDX"), text);
  plat::File reader = open_rw("C:\\T.MDX");
  plat::File writer = open_rw("C:\\T.MDX");
  ASSERT_TRUE(reader.is_open() && writer.is_open());
  EXPECT_TRUE(plat::local_file_system(reader));  // the scratch directory is a local disk

  plat::FileView view;
  ASSERT_TRUE(view.map(reader, text.size()));
  bool ok = false;
  EXPECT_EQ(view_text(view, 8190, 4, &ok), "aaaa");
  EXPECT_TRUE(ok);

  // Another handle's write shows without any read.
  ASSERT_EQ(plat::write_at(writer, 8191, "XY", 2), 2);
  EXPECT_EQ(view_text(view, 8190, 4, &ok), "aXYa");
  EXPECT_TRUE(ok);

  // Cut below the view: the read fails and the process goes on; the page
  // still held reads as before.
  ASSERT_TRUE(plat::set_length(writer, 100));
  view_text(view, 8190, 4, &ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(view_text(view, 10, 3, &ok), "aaa");
  EXPECT_TRUE(ok);

  // Grown again, the view reads the new bytes.
  ASSERT_EQ(plat::write_at(writer, 8190, "bcde", 4), 4);
  EXPECT_EQ(view_text(view, 8190, 4, &ok), "bcde");
  EXPECT_TRUE(ok);
  plat::close(writer);
  plat::close(reader);
}

TEST(FileViewDeathTest, ABusErrorElsewhereStillEndsTheProcess) {
  FileSandbox box;
  FileSandbox::put(box.c("T.MDX"), std::string(4096, 'a'));
  plat::File f = open_rw("C:\\T.MDX");
  plat::FileView view;
  ASSERT_TRUE(view.map(f, 4096));  // the guard is in place from here
  EXPECT_DEATH(raise(SIGBUS), "");
  plat::close(f);
}

}  // namespace
