// The texts of the kept-program dialogs: list lines in the four column
// orders, the code views and the file time.
#include <gtest/gtest.h>

#include <ctime>

#include "storage/restore_dlg.h"

namespace {

std::string Pad(const std::string& s, size_t n) { return s + std::string(n - s.size(), ' '); }

TEST(KeptTexts, ListLinesFollowTheColumnOrderWithTheIdBehindAnAt) {
  TcbFileRecord r;
  r.NCID = 1234;
  CopyCut(r.MACHINE, sizeof r.MACHINE, "MILL1");
  CopyCut(r.DESC, sizeof r.DESC, "O1000");
  CopyCut(r.CHAR3, sizeof r.CHAR3, "FLANGE");
  CopyCut(r.DRAW, sizeof r.DRAW, "D-7");
  CopyCut(r.PART, sizeof r.PART, "P-9");
  const std::string m = Pad("MILL1", 20), desc = Pad("O1000", 40), char3 = Pad("FLANGE", 50),
                    draw = Pad("D-7", 25), part = Pad("P-9", 25);
  struct Case {
    int order;
    std::string cols;
  } cases[] = {
      {1, desc + " - " + char3 + " - " + draw + " - " + part},
      {2, draw + " - " + desc + " - " + char3 + " - " + part},
      {3, part + " - " + desc + " - " + char3 + " - " + draw},
      {4, char3 + " - " + desc + " - " + draw + " - " + part},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(KeptProgramLine(r, c.order), m + " - " + c.cols + " -   @0000001234") << c.order;
  }
  // The header: the titles in the same order and 0, with no "@".
  EXPECT_EQ(KeptHeaderLine(2, "Machine", "Program ID", "Description", "Drawing", "Part"),
            Pad("Machine", 20) + " - " + Pad("Drawing", 25) + " - " + Pad("Program ID", 40) + " - " +
                Pad("Description", 50) + " - " + Pad("Part", 25) + " -    0000000000");
}

TEST(KeptTexts, CodeViewsShowSixValuesALineOfAtMostSixThousandBytes) {
  std::string bytes = std::string("\x80\x00" "AB\r\n\x7f", 7);
  EXPECT_EQ(FileCodeLines(bytes, true), "80, 00, 41, 42, 0D, 0A, \r\n7F, \r\n");
  EXPECT_EQ(FileCodeLines(bytes, false), "128, 000, 065, 066, 013, 010, \r\n127, \r\n");
  EXPECT_EQ(FileCodeLines("", true), "");
  std::string big(7000, 'x');
  std::string hex = FileCodeLines(big, true);
  EXPECT_EQ(hex.size(), 1000u * (6 * 4 + 2));
  EXPECT_EQ(hex.substr(hex.size() - 26), "78, 78, 78, 78, 78, 78, \r\n");
}

TEST(KeptTexts, FileTimesAreLocalWithLeadingZeros) {
  std::tm t{};
  t.tm_year = 2024 - 1900;
  t.tm_mon = 2;
  t.tm_mday = 5;
  t.tm_hour = 7;
  t.tm_min = 4;
  t.tm_isdst = -1;
  EXPECT_EQ(KeptFileTime(std::mktime(&t)), "05/03-2024,   07.04");
}

}  // namespace
