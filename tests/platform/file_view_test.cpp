// The mapped front of a file and the mapping of a whole file: other handles'
// writes seen at once, a file cut under the view failing the read instead of
// the process.
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

// A mapping reaching past the file: only bytes whose following page the
// file still holds come from it. A file cut short keeps (zeroed) the page
// its new end lies in, and those zeros must never pass for its bytes.
TEST(FileMap, ServesOnlyBytesTheFileStillHoldsAndFollowsItsGrowth) {
  FileSandbox box;
  const size_t page = plat::page_size();
  std::string text(5 * page, 'a');
  FileSandbox::put(box.c("T.DBF"), text);
  plat::File reader = open_rw("C:\\T.DBF");
  plat::File writer = open_rw("C:\\T.DBF");
  ASSERT_TRUE(reader.is_open() && writer.is_open());
  plat::FileMap map;
  ASSERT_TRUE(map.map(reader, 8 * page));  // beyond the end: room to grow
  char got[64];
  auto copied = [&](size_t at, size_t n) { return map.copy(at, got, n) ? std::string(got, n) : "<refused>"; };

  ASSERT_EQ(plat::write_at(writer, page + 10, "XY", 2), 2);
  EXPECT_EQ(copied(page + 9, 4), "aXYa");
  EXPECT_EQ(copied(4 * page - 4, 4), "aaaa");  // the page after is the last
  EXPECT_EQ(copied(5 * page - 4, 4), "<refused>");  // no page after it in the file

  // Cut to the middle of the third page.
  ASSERT_TRUE(plat::set_length(writer, 2 * page + 100));
  EXPECT_EQ(copied(2 * page + 120, 8), "<refused>");  // past the end, in the page kept
  EXPECT_EQ(copied(2 * page + 10, 8), "<refused>");   // inside, but the page after is gone
  EXPECT_EQ(copied(3 * page + 10, 8), "<refused>");   // in a page gone
  EXPECT_EQ(copied(page - 4, 4), "aaaa");             // the page after still held

  // Grown again and the mapping moved to a larger span: the new bytes show.
  ASSERT_EQ(plat::write_at(writer, 9 * page, "bcde", 4), 4);
  ASSERT_TRUE(map.grow(16 * page));
  EXPECT_EQ(copied(3 * page, 4), std::string(4, '\0'));  // a hole reads as zeros, as a read would
  EXPECT_EQ(copied(9 * page, 4), "<refused>");           // the page after is past the end
  ASSERT_EQ(plat::write_at(writer, 11 * page, "f", 1), 1);
  EXPECT_EQ(copied(9 * page, 4), "bcde");
  EXPECT_EQ(copied(15 * page + 10, 4), "<refused>");  // the page after lies outside the mapping
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
