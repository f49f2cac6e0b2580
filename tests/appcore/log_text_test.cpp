// System log entry texts: which types write, how the language text is
// filled, and the cut at the TEXT field's 200 characters.
#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <thread>
#include <string>

#include "appcore/globals.h"

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
    {"type_30_two_values", 30, "%s: %s (%s %s)", {"A.NC", "why", nullptr, nullptr}, "A.NC: why (Ada Byron)"},
    {"type_31_writes_nothing", 31, "%s %s", {}, std::nullopt},
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
