// Mazak VurErad tape images as tape text: tape marks and data lines with
// their checksums, the refusals, lines that would break (CR, LF, NUL) and
// a short last block, and the files the conversion reads and writes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "formats/vurerad.h"

namespace {

using vurerad::kBlockSize;
using vurerad::kHeaderSize;

std::string Block(const std::string& start, char fill = ' ') {
  std::string b = start;
  b.resize(kBlockSize, fill);
  return b;
}

std::string Image(const std::vector<std::string>& blocks) {
  std::string image(kHeaderSize, 'H');
  for (const std::string& b : blocks) image += b;
  return image;
}

std::string Raw(const std::string& block, const char* sum) { return "_" + block + "_" + sum + "_\r\n"; }

// The bytes of a hex data line (the form for blocks that would break a line).
std::string Unhex(const std::string& line) {
  std::string bytes;
  for (size_t k = 1; k + 1 < 1 + 2 * kBlockSize + 1; k += 2) bytes += static_cast<char>(std::stoi(line.substr(k, 2), nullptr, 16));
  return bytes;
}

TEST(VurErad, BlocksBecomeTapeMarkAndDataLines) {
  const std::string data = Block("N10 G0 X0;", ' ');
  const std::string ff(kBlockSize, '\xFF'), as(kBlockSize, 'A');
  struct Case {
    const char* name;
    std::vector<std::string> blocks;
    std::string text;
  } cases[] = {
      {"marks only", {Block("TAPE", 0), Block("TAPE", 0), Block("TAPE", 0)},
       "[TAPEMARK-0]\r\n[TAPEMARK-1]\r\n[TAPEMARK-2]\r\n"},
      // The mark test looks anywhere in the block's text, and a mark's other
      // bytes are not written.
      {"mark inside", {Block("%MAZAK TAPE 1", 0), as, Block("xxTAPExx", 'z'), ff},
       "[TAPEMARK-0]\r\n" + Raw(as, "80") + "[TAPEMARK-1]\r\n" + Raw(ff, "80")},
      // "N10 G0 X0;" sums to 0x229, 118 spaces to 0xEC0: 0x10E9.
      {"data", {Block("TAPE", 0), data}, "[TAPEMARK-0]\r\n" + Raw(data, "E9")},
  };
  for (const Case& c : cases) {
    std::string text;
    ASSERT_TRUE(vurerad::ToText(Image(c.blocks), text)) << c.name;
    EXPECT_EQ(text, c.text) << c.name;
  }
  EXPECT_EQ(vurerad::DataLine(ff.data()).size(), 135u);
}

TEST(VurErad, AnImageWithoutALeadingTapeMarkIsRefused) {
  struct Case {
    const char* name;
    std::string image;
  } cases[] = {
      {"header only", std::string(kHeaderSize, 'H')},
      {"shorter than the header", "H"},
      {"empty", ""},
      {"data first", Image({Block("N10 G0"), Block("TAPE", 0)})},
      {"TAPE after the block's NUL", Image({Block(std::string("N10\0TAPE", 8), 0)})},
  };
  for (const Case& c : cases) {
    std::string text = "old";
    EXPECT_FALSE(vurerad::ToText(c.image, text)) << c.name;
    EXPECT_TRUE(text.empty()) << c.name;
  }
}

TEST(VurErad, BlocksThatWouldBreakTheirLineAreWrittenInHexAndKeepEveryByte) {
  std::string withNul = Block(std::string("N10\0X1", 6), 0);
  std::string withCrLf = Block("N10\r\nN20\r", 'Q');
  std::string allBytes;
  for (int i = 0; i < 128; ++i) allBytes += static_cast<char>(i * 2 + 1);
  allBytes[5] = '\n';
  for (const std::string& b : {withNul, withCrLf, allBytes}) {
    std::string line = vurerad::DataLine(b.data());
    ASSERT_EQ(line.size(), 1 + 2 * kBlockSize + 6);
    EXPECT_EQ(line.find_first_of(std::string("\r\n\0", 3)), line.size() - 2) << "one line per block";
    EXPECT_EQ(Unhex(line), b);
    unsigned sum = 0;
    for (char c : b) sum += static_cast<unsigned char>(c);
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02X", sum & 0xFF);
    EXPECT_EQ(line.substr(1 + 2 * kBlockSize, 4), std::string("_") + digits + "_");
  }
  // A short last block is filled up with NUL bytes, so it too comes as hex.
  std::string text;
  ASSERT_TRUE(vurerad::ToText(Image({Block("TAPE", 0)}) + "N99M30", text));
  std::string last = text.substr(text.find("\r\n") + 2);
  EXPECT_EQ(Unhex(last), Block("N99M30", 0));
  EXPECT_EQ(last.size(), 1 + 2 * kBlockSize + 6);
}

TEST(VurErad, ConvertWritesTheTextAndReportsFilesItCannotReadOrWrite) {
  namespace fs = std::filesystem;
  fs::path dir = fs::temp_directory_path() / ("vurerad-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::string src = (dir / "PROG.VUR").string(), dst = (dir / "MZIMPORT.TMP").string();
  std::string image = Image({Block("TAPE", 0), Block("G0 X1")});
  std::ofstream(src, std::ios::binary) << image;
  std::string error;
  ASSERT_EQ(vurerad::Convert(src, dst, error), TVurEradResult::Done) << error;
  std::string expected, written;
  vurerad::ToText(image, expected);
  std::ifstream in(dst, std::ios::binary);
  written.assign(std::istreambuf_iterator<char>(in), {});
  EXPECT_EQ(written, expected);
  EXPECT_EQ(vurerad::Convert((dir / "NONE.VUR").string(), dst, error), TVurEradResult::ReadFailed);
  EXPECT_FALSE(error.empty());
  std::ofstream(src, std::ios::binary) << std::string(kHeaderSize, 'H');
  EXPECT_EQ(vurerad::Convert(src, dst, error), TVurEradResult::NotVurErad);
  std::ofstream(src, std::ios::binary) << image;
  error.clear();
  EXPECT_EQ(vurerad::Convert(src, (dir / "no" / "such" / "OUT.TMP").string(), error), TVurEradResult::WriteFailed);
  EXPECT_FALSE(error.empty());
  fs::remove_all(dir);
}

}  // namespace
