// Language blocks, escapes and message lookups.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "appcore/globals.h"
#include "appcore/language.h"

namespace {

using Texts = std::map<int, std::string>;

Texts Read(const std::vector<const char*>& lines, int languageNo, LanguageEscape esc, int size = 2000) {
  TextTable t(size);
  LanguageBlockReader r(t, languageNo, esc);
  for (const char* l : lines) {
    if (!r.Feed(l)) break;
  }
  Texts out;
  for (int i = 0; i < size; ++i)
    if (t.Get(i)) out[i] = t.Get(i);
  return out;
}

struct BlockCase {
  const char* name;
  int languageNo;
  std::vector<const char*> lines;
  Texts want;
};

void PrintTo(const BlockCase& c, std::ostream* os) { *os << c.name; }

class LanguageBlocks : public ::testing::TestWithParam<BlockCase> {};

TEST_P(LanguageBlocks, Reads) {
  const BlockCase& c = GetParam();
  EXPECT_EQ(Read(c.lines, c.languageNo, LanguageEscape::None), c.want);
}

const BlockCase kBlocks[] = {
    {"second_language_block", 49,
     {"[English]", "{", "44,1,\"One\"", "44,2,\"Two\"", "}", "[German]", "{", "49,1,\"Eins\"", "}", "{", "49,2,\"late\"", "}"},
     {{1, "Eins"}}},
    {"block_left_at_first_foreign_line", 49, {"{", "44,1,\"One\"", "49,2,\"Zwei\"", "49,3,\"Drei\"", "}"}, {}},
    {"outside_block_ignored", 44, {"44,1,\"x\"", "[44]", "{", "44,2,\"y\"", "}"}, {{2, "y"}}},
    {"section_lines_and_blanks_inside", 44, {"{", "", "[Main]", "  44, 7 ,\"Seven\" tail", "}"}, {{7, "Seven"}}},
    {"later_entry_wins", 44, {"{", "44,1,\"a\"", "44,1,\"b\"", "}"}, {{1, "b"}}},
    {"bad_entries_ignored", 44,
     {"{", "44 no comma \"x\"", "44,3,no quotes", "44,4,\"one quote", "44,2000,\"too high\"", "44,-1,\"neg\"",
      "44,5,\"\"", "}"},
     {{5, ""}}},
    {"closing_before_match_leaves_block", 44, {"{", "}", "44,1,\"x\"", "{", "44,2,\"y\"", "}", "{", "44,3,\"z\""},
     {{2, "y"}}},
    {"text_ends_at_second_quote", 44, {"{", "44,1,\"a, b\" \"c\"", "}"}, {{1, "a, b"}}},
};

INSTANTIATE_TEST_SUITE_P(Files, LanguageBlocks, ::testing::ValuesIn(kBlocks),
                         [](const auto& info) { return std::string(info.param.name); });

struct EscapeCase {
  const char* name;
  LanguageEscape esc;
  const char* in;
  const char* want;
};

void PrintTo(const EscapeCase& c, std::ostream* os) { *os << c.name; }

class Escapes : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(Escapes, Expand) {
  EXPECT_EQ(ExpandLanguageEscapes(GetParam().in, GetParam().esc), GetParam().want);
}

const EscapeCase kEscapes[] = {
    {"crlf", LanguageEscape::CrLf, "one\\r\\ntwo", "one\r\ntwo"},
    {"any_three_chars", LanguageEscape::CrLf, "a\\nabb", "a\r\nb"},
    {"two_in_a_row", LanguageEscape::CrLf, "\\r\\n\\r\\nx", "\r\n\r\nx"},
    {"backslash_inside_sequence", LanguageEscape::CrLf, "\\\\\\\\x", "\r\nx"},
    {"short_tail_literal", LanguageEscape::CrLf, "end\\r", "end\\r"},
    {"trailing_backslash_literal", LanguageEscape::CrLf, "end\\", "end\\"},
    {"none_keeps", LanguageEscape::None, "one\\r\\ntwo", "one\\r\\ntwo"},
    {"tab", LanguageEscape::Tab, "&Open\\tCtrl+O", "&Open\tCtrl+O"},
    {"tab_any_char", LanguageEscape::Tab, "a\\xb", "a\tb"},
    {"tab_trailing_backslash", LanguageEscape::Tab, "a\\", "a\\"},
};

INSTANTIATE_TEST_SUITE_P(Texts, Escapes, ::testing::ValuesIn(kEscapes),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LanguageTables, IdRangeFollowsTheTable) {
  std::vector<const char*> lines = {"{", "44,2000,\"Menu\"", "44,39999,\"Last\"", "44,40000,\"Out\"", "}"};
  EXPECT_EQ(Read(lines, 44, LanguageEscape::CrLf), Texts{});
  EXPECT_EQ(Read(lines, 44, LanguageEscape::Tab, 40000), (Texts{{2000, "Menu"}, {39999, "Last"}}));
}

TEST(LanguageTables, MessageFallback) {
  TGlobals g;
  g.MessageTexts.Set(106, "Kelvane");
  g.MessageTexts.Set(107, "");
  EXPECT_EQ(g.GetMessageText(106), "Kelvane");
  for (int id : {107, 108, 1999, 2000, -1, 40000})
    EXPECT_EQ(g.GetMessageText(id), "String with ID = " + std::to_string(id) + " not present in MESSAGES.CFG");
}

}  // namespace
