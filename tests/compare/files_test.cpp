// What _COMPARE does with files it cannot read, with pipes, long lines and long
// files, and with lists that refuse items.
// Covers: compare/line_reader.cpp, compare/telmix.cpp, compare/big_alloc.cpp
#include <sys/stat.h>

#include <string>
#include <thread>

#include "tests/compare/telmix_harness.h"

namespace {

using namespace telmix_test;

TEST(CompareFiles, UnreadableFileGivesZeroAndEmptyLists) {
  TempDir dir("telmix");
  const std::string good = dir.write("good.nc", "G0 X0\r\n");
  const std::string missing = (dir.path() / "missing.nc").string();
  const std::string directory = dir.path().string();
  struct {
    const char* what;
    std::string newFile, oldFile;
  } cases[] = {
      {"new file missing", missing, good},
      {"old file missing", good, missing},
      {"old file a directory", good, directory},
      {"new file a directory", directory, good},
  };
  for (const auto& c : cases) {
    const auto lists = CompareFiles(c.newFile, c.oldFile);
    EXPECT_EQ(lists.result, 0) << c.what;
    EXPECT_TRUE(lists.oldSide.empty() && lists.newSide.empty()) << c.what;
  }
}

TEST(CompareFiles, LongLinesAreComparedAndShownWhole) {
  for (std::size_t length : {600u, 40000u, 400000u}) {  // past the read block, past a text chunk
    const std::string head(length, 'X');
    const auto lists = CompareTexts(head + "1\r\nM30\r\n", head + "2\r\nM30\r\n");
    ASSERT_EQ(lists.oldSide.size(), 2u);
    EXPECT_TRUE(lists.oldSide[0] == "1@@" + head + "1") << length;
    EXPECT_TRUE(lists.newSide[0] == "1@@" + head + "2") << length;
  }
}

TEST(CompareFiles, LinesBeyondOneHundredTwentyThousandTakePart) {
  std::string oldText, newText;
  const int lines = 130000;
  for (int k = 1; k <= lines; ++k) {
    const std::string line = "N" + std::to_string(k) + " G1 X" + std::to_string(k % 97) + "\r\n";
    oldText += line;
    newText += k == 125000 ? "N125000 G1 X0.5\r\n" : line;
  }
  newText += "M30\r\n";
  const auto lists = CompareTexts(oldText, newText);
  ASSERT_EQ(lists.oldSide.size(), static_cast<std::size_t>(lines + 1));
  EXPECT_EQ(lists.oldSide[124998], "0@@N124999 G1 X63");
  EXPECT_EQ(lists.oldSide[124999], "1@@N125000 G1 X64");
  EXPECT_EQ(lists.newSide[124999], "1@@N125000 G1 X0.5");
  EXPECT_EQ(lists.newSide[lines - 1], "0@@N130000 G1 X20");
  EXPECT_EQ(lists.newSide[lines], "3@@M30");
}

// Pipes have no size and cannot be read twice: they take the path of files
// that differ, and give what plain files with their bytes give.
TEST(CompareFiles, PipesCompareAsPlainFiles) {
  const std::string text = "N1 G0 X0\r\nN2 G1 X1\r\nN3 M30";
  for (const std::string& newText : {text, text + "\r\nN4\r\n"}) {
    TempDir dir("telmix");
    const std::string oldPipe = (dir.path() / "old.pipe").string(), newPipe = (dir.path() / "new.pipe").string();
    ASSERT_EQ(mkfifo(oldPipe.c_str(), 0600), 0);
    ASSERT_EQ(mkfifo(newPipe.c_str(), 0600), 0);
    std::thread oldWriter([&] { std::ofstream(oldPipe, std::ios::binary) << text; });
    std::thread newWriter([&] { std::ofstream(newPipe, std::ios::binary) << newText; });
    const auto fromPipes = CompareFiles(newPipe, oldPipe);
    oldWriter.join();
    newWriter.join();
    const auto fromFiles = CompareTexts(text, newText);
    EXPECT_EQ(fromPipes.result, 1);
    EXPECT_EQ(fromPipes.oldSide, fromFiles.oldSide);
    EXPECT_EQ(fromPipes.newSide, fromFiles.newSide);
    EXPECT_EQ(fromFiles.oldSide.size(), newText == text ? 3u : 4u);
  }
}

TEST(CompareFiles, RefusedItemStopsTheCompareAsAFailure) {
  TempDir dir("telmix");
  const std::string oldFile = dir.write("old.nc", "A\nB\nC\n");
  const std::string newFile = dir.write("new.nc", "A\nX\nC\n");
  g_refuseList = kNewList;
  g_refuseAfter = 1;
  const auto lists = CompareFiles(newFile, oldFile);
  g_refuseList = nullptr;
  EXPECT_EQ(lists.result, 0);
  EXPECT_EQ(lists.newSide.size(), 1u);
}

TEST(CompareFiles, WithoutHostTableNothingIsAllocated) {
  Library& lib = Library::Get();
  ASSERT_NE(lib.hostSlot, nullptr);
  const struct kv_plugin_host* host = *lib.hostSlot;
  *lib.hostSlot = nullptr;
  TempDir dir("telmix");
  const std::string file = dir.write("a.nc", "A\n");
  EXPECT_EQ(lib.compare(file.c_str(), file.c_str(), kOldList, kNewList), 0);
  *lib.hostSlot = host;
}

TEST(CompareFiles, ExportsOnlyTheEntryAndTheHostTable) {
  Library& lib = Library::Get();
  ASSERT_NE(lib.handle, nullptr);
  EXPECT_NE(dlsym(lib.handle, "_COMPARE"), nullptr);
  EXPECT_NE(dlsym(lib.handle, "kv_plugin_host"), nullptr);
  EXPECT_EQ(dlsym(lib.handle, "_Z10InlineDiffPiPKcS1_"), nullptr);
}

}  // namespace
