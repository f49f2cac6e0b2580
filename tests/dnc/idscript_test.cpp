// ID scripts: the lines the editor writes, the arguments it refuses, and
// scripts read back and run over received texts.
#include <gtest/gtest.h>

#include <filesystem>

#include "dnc/idscript.h"
#include "dnc/idscript_dlg.h"
#include "tests/support/scratch_dir.h"

namespace {

using idscript::ArgKind;

TEST(IdScript, ListTextsAndLinesOfTheTwentyFourFunctions) {
  EXPECT_STREQ(idscript::kFunctionTable[0].listText, "NO_SPACES                 (TRUE/FALSE)");
  EXPECT_STREQ(idscript::kFunctionTable[8].listText, "LEFT__TRIM_ID             ()");
  EXPECT_STREQ(idscript::kFunctionTable[23].listText, "FIND_LINE_WITH_ONE_OF     (ASCIICODES)");
  for (const auto& f : idscript::kFunctionTable) {
    // Name padded to 26, then the kind in parentheses.
    EXPECT_EQ(std::string(f.listText).find('('), 26u) << f.listText;
  }
  EXPECT_EQ(idscript::ScriptLine(8, ""), "LEFT_TRIM_ID();");
  EXPECT_EQ(idscript::ScriptLine(10, "8"), "LEFT_ZEROPAD_NUMERIC_ID(8);");
  EXPECT_EQ(idscript::ScriptLine(0, "TRUE"), "NO_SPACES(TRUE);");
  EXPECT_EQ(idscript::ScriptLine(3, "ignored"), "NEXTLINE();");
  EXPECT_EQ(idscript::ScriptLine(14, "O 1"), "ADD_TO_ID_UNTIL_STRING(O 1);");
}

TEST(IdScript, ArgumentsThatCannotStandInALineAreRefused) {
  struct Case {
    ArgKind kind;
    std::string arg;
    bool ok;
  } cases[] = {
      {ArgKind::Number, "1234567", true},  {ArgKind::Number, "12345678", false}, {ArgKind::Number, "12a", false},
      {ArgKind::Number, "", false},        {ArgKind::CharCode, "65", true},      {ArgKind::CharCode, "123", false},
      {ArgKind::Text, "O", true},          {ArgKind::Text, "123456789", true},   {ArgKind::Text, "1234567890", false},
      {ArgKind::Text, "A);B(", false},     {ArgKind::Text, "X;", false},         {ArgKind::Text, "(", false},
      {ArgKind::Text, "a\tb", false},      {ArgKind::Text, "% :/", true},        {ArgKind::YesNo, "TRUE", true},
      {ArgKind::YesNo, "yes", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(idscript::ArgumentProblem(c.kind, c.arg).empty(), c.ok) << c.arg << ": "
                                                                       << idscript::ArgumentProblem(c.kind, c.arg);
}

TEST(IdScript, BadScriptsAreRefusedWithTheLineAndTheReason) {
  struct Case {
    const char* script;
    const char* error;  // part of the message; null: valid
  } cases[] = {
      {"NEXTLINE();\r\nSKIPLINES(2);\r\n\r\n  RIGHT_TRIM_ID() ;  ", nullptr},
      {"NEXTLINE();\nNEXT_LINE();", "line 2: unknown function \"NEXT_LINE\""},
      {"SKIPLINES 2;", "line 1: '(' expected"},
      {"SKIPLINES(2)", "line 1: the line must end in \");\""},
      {"SKIPLINES(2);X", "line 1: the line must end in"},
      {"SKIPLINES(x);", "line 1: SKIPLINES: only the digits"},
      {"SKIPLINES();", "a number is missing"},
      {"NEXTLINE(1);", "takes no argument"},
      {"NO_SPACES(YES);", "TRUE or FALSE"},
      {"ADD_TO_ID_UNTIL_CHAR(300);", "at most 255"},
      {"ADD_TO_ID_UNTIL_STRING(a(b);", "cannot stand in an argument"},
      {"ADD_TO_ID_UNTIL_STRING(a)b);", "must end in"},
      {"add_to_id_string(X);", "unknown function"},
  };
  for (const Case& c : cases) {
    idscript::Parsed p = idscript::Parse(c.script);
    if (!c.error) {
      EXPECT_TRUE(p.ok()) << c.script << ": " << p.error;
      EXPECT_EQ(p.steps.size(), 3u);
      continue;
    }
    EXPECT_FALSE(p.ok()) << c.script;
    EXPECT_NE(p.error.find(c.error), std::string::npos) << c.script << " gave " << p.error;
  }
}

TEST(IdScript, RunsFindTheIdentifierOrSayWhyNot) {
  const std::string received = "%\r\n(SHOP 4)\r\nO1234 (BRACKET)\r\nN10 G90\r\nM30\r\n%\r\n";
  struct Case {
    const char* script;
    const char* id;     // null: the run fails
    const char* error;  // part of the failure
    bool reserved;
  } cases[] = {
      {"FIND_LINE_WITH_CHAR(49);\nPOSITION_AFTER_CHAR(79);\nADD_TO_ID_NUMERIC(7);", "1234", nullptr, false},
      {"FIND_LINE_WITH_STRING(O12);\nADD_TO_ID_UNTIL_CHAR(32);", "O1234", nullptr, false},
      {"NEXTLINE();\nPOSITION_AFTER_CHAR(40);\nADD_TO_ID_UNTIL_ONE_OF()", nullptr, "must end in", false},
      {"NEXTLINE();\nPOSITION_AFTER_CHAR(40);\nADD_TO_ID_UNTIL_CHAR(41);", "SHOP 4", nullptr, false},
      {"NO_SPACES(TRUE);\nNEXTLINE();\nPOSITION_AFTER_CHAR(40);\nADD_TO_ID_UNTIL_CHAR(41);", "SHOP4", nullptr, false},
      {"SKIPLINES(2);\nMOVE_TO_POSITION_IN_LINE(2);\nADD_TO_ID_NUMBER_OF_CHARS(4);\nLEFT_ZEROPAD_NUMERIC_ID(6);",
       "001234", nullptr, false},
      {"SKIPLINES(2);\nMOVE_FORWARD_IN_LINE(1);\nADD_TO_ID_NUMERIC(2);\nRIGHT_ZEROPAD_NUMERIC_ID(4);", "1200", nullptr,
       false},
      {"ADD_TO_ID_STRING(P);\nSKIPLINES(2);\nPOSITION_AFTER_CHAR(79);\nADD_TO_ID_WHILE_NOT_IN( );", "P1234", nullptr,
       false},
      {"FIND_LINE_WITH_ALL_OF(NG);\nADD_TO_ID_WHILE_NOT_IN(/);\nRIGHT_TRIM_ID();", "N10 G90", nullptr, false},
      {"FIND_LINE_WITH_ONE_OF(#M);\nADD_TO_ID_NUMBER_OF_CHARS(3);\nRESERVE_THIS_ID(30);", "M30", nullptr, false},
      {"SKIPLINES(2);\nPOSITION_AFTER_STRING(O);\nADD_TO_ID_NUMERIC(9);\nRESERVE_THIS_ID(01234);", "1234", nullptr,
       true},
      {"RESET_TO_TOP();\nADD_TO_ID_STRING(  X);\nLEFT_TRIM_ID();", "X", nullptr, false},
      {"FIND_LINE_WITH_STRING(PROG);", nullptr, "line 1: FIND_LINE_WITH_STRING: no line found", false},
      {"SKIPLINES(6);", nullptr, "past the end of the text", false},
      {"SKIPLINES(5);\nMOVE_FORWARD_IN_LINE(1);\nADD_TO_ID_NUMBER_OF_CHARS(1);", nullptr, "line 3", false},
      {"NEXTLINE();\nADD_TO_ID_UNTIL_STRING(END);", nullptr, "end mark is not in the line", false},
      {"NEXTLINE();\nADD_TO_ID_NUMBER_OF_CHARS(20);", nullptr, "only 8 characters left", false},
      {"NEXTLINE();\nADD_TO_ID_NUMERIC(3);", nullptr, "no digit", false},
      {"NEXTLINE();\nADD_TO_ID_NUMBER_OF_CHARS(2);\nLEFT_ZEROPAD_NUMERIC_ID(5);", nullptr, "not a number", false},
      {"NEXTLINE();\nMOVE_TO_POSITION_IN_LINE(12);", nullptr, "only 8 characters", false},
      {"RESET_TO_TOP();", nullptr, "built no identifier", false},
  };
  for (const Case& c : cases) {
    idscript::Parsed p = idscript::Parse(c.script);
    if (!p.ok()) {
      EXPECT_FALSE(c.id) << c.script << ": " << p.error;
      if (c.error) {
        EXPECT_NE(p.error.find(c.error), std::string::npos) << c.script << " gave " << p.error;
      }
      continue;
    }
    idscript::Result r = idscript::Run(p.steps, received);
    if (c.id) {
      EXPECT_TRUE(r.ok()) << c.script << ": " << r.error;
      EXPECT_EQ(r.id, c.id) << c.script;
      EXPECT_EQ(r.reserved, c.reserved) << c.script;
    } else {
      EXPECT_FALSE(r.ok()) << c.script << " built " << r.id;
      EXPECT_TRUE(r.id.empty());
      EXPECT_NE(r.error.find(c.error), std::string::npos) << c.script << " gave " << r.error;
    }
  }
}

TEST(IdScript, TheFileHoldsOneLineEachWithoutALineEndAfterTheLast) {
  kvtest::ScratchDir dir("idscript");
  const std::string path = dir.file("SCRIPT.TXT");
  const std::vector<std::string> lines = {"NEXTLINE();", "ADD_TO_ID_UNTIL_CHAR(41);"};
  ASSERT_TRUE(WriteIdScript(path, lines));
  const std::string bytes = dir.read("SCRIPT.TXT");
  EXPECT_EQ(bytes, "NEXTLINE();\r\nADD_TO_ID_UNTIL_CHAR(41);");
  // What is written reads back as the same steps.
  idscript::Parsed p = idscript::Parse(bytes);
  ASSERT_TRUE(p.ok()) << p.error;
  ASSERT_EQ(p.steps.size(), 2u);
  EXPECT_EQ(p.steps[1].number, 41);
  // Written anew: a shorter script leaves nothing of the longer one.
  ASSERT_TRUE(WriteIdScript(path, {"RESET_TO_TOP();"}));
  EXPECT_EQ(dir.read("SCRIPT.TXT"), "RESET_TO_TOP();");
  EXPECT_FALSE(WriteIdScript(dir.file("missing/SCRIPT.TXT"), lines));
}

}  // namespace
