// System log entry texts: which types write, how the language text is
// filled, and the cut at the TEXT field's 200 characters.
#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <thread>
#include <string>
#include <vector>

#include "appcore/globals.h"
#include "appcore/log_text.h"

namespace {

struct Case {
  const char* name;
  int type;
  const char* logText;  // null: LOGSTRS has none
  std::array<const char*, 4> values;
  std::optional<std::string> want;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class LogText : public ::testing::TestWithParam<Case> {};

TEST_P(LogText, Formats) {
  const Case& c = GetParam();
  TGlobals g;
  g.UserFirstName.Set("Ada");
  g.UserLastName.Set("Byron");
  if (c.logText) g.LogTexts.Set(c.type, c.logText);
  auto [a, b, d, e] = c.values;
  EXPECT_EQ(g.FormatLogText(c.type, a, b, d, e), c.want);
}

const std::string kLong(300, 'L');

const Case kCases[] = {
    {"type_20_one_value", 20, "Machine %s altered by %s %s", {"MILL1", "x", "y", "z"},
     "Machine MILL1 altered by Ada Byron"},
    {"type_6_four_values", 6, "%s/%s -> %s/%s (%s %s)", {"P1", "M1", "P2", "M2"}, "P1/M1 -> P2/M2 (Ada Byron)"},
    {"type_1_three_values", 1, "%s %s %s: %s %s", {"P1", "M1", "COM1", nullptr}, "P1 M1 COM1: Ada Byron"},
    {"type_12_two_values", 12, "%s %s %s %s", {"A", "B", nullptr, nullptr}, "A B Ada Byron"},
    {"type_8_writes_nothing", 8, "%s %s %s", {"A", "B", "C", "D"}, std::nullopt},
    {"type_0_writes_nothing", 0, "%s %s", {}, std::nullopt},
    {"type_30_writes_nothing", 30, "%s %s", {}, std::nullopt},
    {"missing_text", 7, nullptr, {"P1", "M1"}, std::nullopt},
    {"empty_text", 7, "", {"P1", "M1"}, std::nullopt},
    {"type_outside_table", 2000, nullptr, {}, std::nullopt},
    {"negative_type", -1, nullptr, {}, std::nullopt},
    {"null_value_empty", 7, "[%s][%s] %s %s", {nullptr, "M1"}, "[][M1] Ada Byron"},
    {"percent_literal", 20, "100%% %s %s %s", {"M1"}, "100% M1 Ada Byron"},
    {"width_and_precision", 20, "%-4s|%6s|%.1s", {"M1"}, "M1  |   Ada|B"},
    {"number_conversion_written_plainly", 20, "Machine %d by %s %s", {"MILL1"}, "Machine %d by %s %s MILL1 Ada Byron"},
    {"too_few_slots_written_plainly", 7, "Saved %s", {"P1", "M1"}, "Saved %s P1 M1 Ada Byron"},
    {"too_many_slots_written_plainly", 20, "%s %s %s %s", {"M1"}, "%s %s %s %s M1 Ada Byron"},
    {"star_width_written_plainly", 20, "%*s %s %s", {"M1"}, "%*s %s %s M1 Ada Byron"},
    {"dangling_percent_written_plainly", 20, "%s %s %s 5%", {"M1"}, "%s %s %s 5% M1 Ada Byron"},
    {"cut_at_200", 20, "%s %s %s", {kLong.c_str()}, std::string(200, 'L')},
    {"cut_at_200_plain", 20, "%p", {kLong.c_str()}, "%p " + std::string(197, 'L')},
};

INSTANTIATE_TEST_SUITE_P(Types, LogText, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LogTextUser, NoUserLoggedOnGivesEmptyNames) {
  TGlobals g;
  g.LogTexts.Set(20, "%s|%s|%s");
  EXPECT_EQ(g.FormatLogText(20, "M1"), "M1||");
}

}  // namespace

namespace {

// A logon replaces the names while a transfer thread writes an entry: the
// entry gets one user's whole name, never a freed or a mixed one.
TEST(LogTextUser, ALogonDuringAnEntryGivesOneWholeName) {
  TGlobals g;
  g.LogTexts.Set(20, "%s %s %s");
  g.SetUserName("Ada", "Byron");
  std::atomic<bool> done{false};
  std::thread logon([&] {
    for (int i = 0; !done; i++) i % 2 ? g.SetUserName("Ada", "Byron") : g.SetUserName("Grace", "Hopper");
  });
  int bad = 0;
  for (int i = 0; i < 20000; i++) {
    std::string t = g.FormatLogText(20, "M1").value_or("");
    if (t != "M1 Ada Byron" && t != "M1 Grace Hopper") bad++;
  }
  done = true;
  logon.join();
  EXPECT_EQ(bad, 0);
}

}  // namespace

namespace {

// The checked formatter as the print-outs and exports use it: characters
// and integers beside texts; a text whose conversions do not fit its values
// stands as it is with the values after it, and nothing is cut.
struct FormatCase {
  const char* name;
  const char* format;
  std::vector<TFormatValue> values;
  std::string want;
  bool matches;
};

void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.name; }

class CheckedFormat : public ::testing::TestWithParam<FormatCase> {};

TEST_P(CheckedFormat, FillsOrWritesPlainly) {
  const FormatCase& c = GetParam();
  EXPECT_EQ(FormatLogValues(c.format, c.values), c.want);
  std::string out = "untouched";
  EXPECT_EQ(FormatChecked(c.format, c.values, out), c.matches);
  EXPECT_EQ(out, c.matches ? c.want : "untouched");
}

const std::string kLongValue(400, 'V');

const FormatCase kFormatCases[] = {
    {"directory_with_character", "%s%cExport %s", {"K:\\EXP\\", '\\', "ACME"}, "K:\\EXP\\\\Export ACME", true},
    {"footer_seven_integers", "Page %d of %d\t%02d.%02d.%04d %02d:%02d", {2, 3, 5, 7, 2026L, 9, 4},
     "Page 2 of 3\t05.07.2026 09:04", true},
    {"integer_flags_and_length", "[%-4ld|%+i|%5.3d|%x|%X|%o|%lu]", {7L, 3, 42, 255, 255, 8, 5L},
     "[7   |+3|  042|ff|FF|10|5]", true},
    {"negative_integer", "%d", {-12}, "-12", true},
    {"character_width", "[%3c|%-3c]", {'a', 'b'}, "[  a|b  ]", true},
    {"text_for_integer_written_plainly", "Page %d", {"two"}, "Page %d two", false},
    {"integer_for_text_written_plainly", "Name %s", {5}, "Name %s 5", false},
    {"character_for_text_written_plainly", "%s%s%s", {"K:\\", '\\', "A"}, "%s%s%s K:\\ \\ A", false},
    {"too_few_conversions_written_plainly", "Page %d of %d", {1, 2, 3}, "Page %d of %d 1 2 3", false},
    {"star_width_written_plainly", "%*d", {4}, "%*d 4", false},
    {"pointer_written_plainly", "%p", {4}, "%p 4", false},
    {"zero_flag_on_text_written_plainly", "%05s", {"ab"}, "%05s ab", false},
    {"long_text_not_cut", "%s", {kLongValue}, kLongValue, true},
    {"long_plain_not_cut", "%d", {kLongValue}, "%d " + kLongValue, false},
    {"width_kept_within_bounds", "%99999d", {1}, std::string(999, ' ') + "1", true},
};

INSTANTIATE_TEST_SUITE_P(Values, CheckedFormat, ::testing::ValuesIn(kFormatCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
