// The code page 850 to Windows-1252 table against the C library's iconv,
// an independent converter.
#include <iconv.h>

#include <gtest/gtest.h>

#include <cstring>

#include "platform/oem.h"

namespace {

// iconv's answer for one byte; -1 when Windows-1252 lacks the character.
int iconv_byte(iconv_t cd, unsigned char b) {
  char in[1] = {char(b)}, out[4] = {};
  char* ip = in;
  char* op = out;
  size_t il = 1, ol = sizeof out;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  if (iconv(cd, &ip, &il, &op, &ol) == size_t(-1) || ol != sizeof out - 1) return -1;
  return static_cast<unsigned char>(out[0]);
}

TEST(OemTable, AgreesWithIconv) {
  iconv_t cd = iconv_open("CP1252", "CP850");
  ASSERT_NE(cd, iconv_t(-1)) << "iconv lacks CP850";
  int lacking = 0;
  for (int b = 0; b < 256; ++b) {
    int want = iconv_byte(cd, static_cast<unsigned char>(b));
    unsigned char got = plat::oem_to_ansi(static_cast<unsigned char>(b));
    if (want >= 0) {
      EXPECT_EQ(got, want) << "byte " << b;
    } else {
      ++lacking;  // box drawing and the like: a plain stand-in
      EXPECT_TRUE(std::strchr("|-+#i_", got) && got) << "byte " << b;
    }
  }
  EXPECT_GT(lacking, 0);
  iconv_close(cd);
}

TEST(OemTable, Texts) {
  // "Größe Ä ┌─┐" in code page 850.
  char text[] = "Gr\x94\xE1" "e \x8E \xDA\xC4\xBF";
  plat::oem_to_char(text, text);  // in place
  EXPECT_STREQ(text, "Gr\xF6\xDF" "e \xC4 +-+");
  EXPECT_EQ(plat::oem_to_ansi(std::string("\x81\0\x9C", 3)), std::string("\xFC\0\xA3", 3));
}

}  // namespace
