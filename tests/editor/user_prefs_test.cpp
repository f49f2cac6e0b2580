// The renumbering preferences: the bytes of KELVANE.PRF, reading them
// back, a missing or short file, and a file that cannot be written.
#include "editor/user_prefs.h"
#include "tests/editor/editor_fixture.h"

namespace {

using kveditor::EditorTest;

std::string Le(std::initializer_list<int> values) {
  std::string s;
  for (int v : values)
    for (int i = 0; i < 4; i++) s.push_back(static_cast<char>((static_cast<uint32_t>(v) >> (8 * i)) & 0xFF));
  return s;
}

class PrefsTest : public EditorTest {};

TEST_F(PrefsTest, TheFileHoldsSixIntegersAndTheExclusionLine) {
  TUserPreferences p;
  EXPECT_EQ((std::vector<int>{p.FormatIndex, p.IntervalIndex, p.StartNumber, p.StartLine, p.RestartValue,
                              p.PrecedingN}),
            (std::vector<int>{0, 1, 10, 1, -1, 1}));
  p.FormatIndex = 3;
  p.IntervalIndex = 6;
  p.StartNumber = 500000;
  p.StartLine = 7;
  p.RestartValue = 250;
  p.PrecedingN = 0;
  p.Exclusion = "(%";
  ASSERT_TRUE(p.Save());
  // The line writer leaves no line end after the last line.
  EXPECT_EQ(ReadFile(Root() + "/cfg/KELVANE.PRF"), Le({0, 3, 6, 500000, 7, 250}) + "(%");

  TUserPreferences q;
  ASSERT_TRUE(q.Load());
  EXPECT_EQ((std::vector<int>{q.FormatIndex, q.IntervalIndex, q.StartNumber, q.StartLine, q.RestartValue,
                              q.PrecedingN}),
            (std::vector<int>{3, 6, 500000, 7, 250, 0}));
  EXPECT_EQ(q.Exclusion, "(%");
  // Bytes that would end a text line are ordinary integer bytes.
  q.StartNumber = 0x0A0D00;
  q.Exclusion.clear();
  ASSERT_TRUE(q.Save());
  EXPECT_EQ(ReadFile(Root() + "/cfg/KELVANE.PRF").size(), 24u);
  TUserPreferences r;
  r.Exclusion = "old";
  ASSERT_TRUE(r.Load());
  EXPECT_EQ(r.StartNumber, 0x0A0D00);
  EXPECT_EQ(r.Exclusion, "");
}

TEST_F(PrefsTest, TheExclusionLineLoadsWithOrWithoutALineEnd) {
  struct Case {
    const char* tail;
    const char* exclusion;
  } cases[] = {
      {"(%", "(%"}, {"(%\r\n", "(%"}, {"(%\n", "(%"}, {"\r\n", ""}, {"", ""}, {"%\r\nX", "%"},
  };
  for (const Case& c : cases) {
    kvdb::WriteFileBytes(Root() + "/cfg/KELVANE.PRF", Le({1, 2, 3, 40, 5, 6}) + c.tail);
    TUserPreferences p;
    p.Exclusion = "before";
    ASSERT_TRUE(p.Load()) << c.tail;
    EXPECT_EQ(p.Exclusion, c.exclusion) << c.tail;
    EXPECT_EQ(p.StartNumber, 40) << c.tail;
  }
}

TEST_F(PrefsTest, AMissingFileResetsTheNumbersOnlyAndAFailedSaveIsTold) {
  TUserPreferences p;
  p.FormatIndex = 4;
  p.StartNumber = 99;
  p.RestartValue = 5;
  EXPECT_FALSE(p.Load());
  EXPECT_EQ(p.FormatIndex, 4);
  EXPECT_EQ(p.StartNumber, 10);
  EXPECT_EQ(p.RestartValue, -1);
  kvdb::WriteFileBytes(Root() + "/cfg/KELVANE.PRF", Le({1, 2}));
  EXPECT_FALSE(p.Load());
  EXPECT_EQ(p.FormatIndex, 2);

  Globals->CfgDir = Root() + "/nowhere\\";
  driver.expect_message_box(IDOK, "preferences could not be saved");
  EXPECT_FALSE(SaveUserPreferences(nullptr));
}

}  // namespace
