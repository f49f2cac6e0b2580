// The link against a real Unix host: Debian's in.rexecd on loopback with
// the test user, rcp on the host side for copies.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>

#include "dnc/unixlink_dialogs.h"
#include "platform/ui/driver.h"
#include "tests/unixlink/unixlink_fixture.h"

namespace {

using kvunix::UnixLinkTest;
using plat::Pilot;

class UnixHostTest : public UnixLinkTest {
 protected:
  void SetUp() override {
    UnixLinkTest::SetUp();
    ASSERT_TRUE(host_.Listening());
    ASSERT_TRUE(login_.Read()) << "no test user: run the tests through ctest (unixlink_host_setup)";
  }
  // A link to the host, Init'ed, with the extra lines in its file.
  std::unique_ptr<TNCUnixLink> Link(std::vector<std::string> extra = {}) {
    auto lines = LoginLines(host_.Port());
    lines.insert(lines.end(), extra.begin(), extra.end());
    WriteConfig(lines);
    auto link = std::make_unique<TNCUnixLink>();
    EXPECT_EQ(link->Init(), kUnixLinkReady);
    return link;
  }
  static std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find(kUnixLineEnd, start)) != std::string::npos; start = end + 1)
      lines.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "every line ends in 0xAD";
    return lines;
  }
  kvunix::RexecHost host_;
};

TEST_F(UnixHostTest, OutputComesAsLinesOfAtMost255WithoutErrorsOrEmptyLines) {
  auto link = Link();
  ASSERT_EQ(link->Run("head -c 300 /dev/zero | tr '\\0' a; echo; printf 'b\\r\\n\\r\\n\\n\\rc\\r\\r'; "
                      "echo on the error channel >&2; printf d"),
            0)
      << link->LastError();
  std::string text;
  EXPECT_EQ(link->ReadOutputToText(text), 0);
  EXPECT_EQ(Lines(text), (std::vector<std::string>{std::string(255, 'a'), std::string(45, 'a'), "b", "c", "d"}));
}

TEST_F(UnixHostTest, OutputPastTheTextKeepsWholeLinesOnly) {
  auto link = Link();
  // 100 lines of 98 digits, 99 bytes each in the text: 41 fit.
  ASSERT_EQ(link->Run("i=0; while [ $i -lt 100 ]; do printf '%098d\\n' $i; i=$((i+1)); done"), 0);
  std::string text;
  EXPECT_EQ(link->ReadOutputToText(text), 0);
  EXPECT_LT(text.size(), kUnixOutputSize);
  const auto lines = Lines(text);
  ASSERT_EQ(lines.size(), (kUnixOutputSize - 1) / 99);
  for (std::size_t i = 0; i < lines.size(); i++) EXPECT_EQ(std::stoul(lines[i]), i);
  for (const auto& l : lines) EXPECT_EQ(l.size(), 98u);
}

TEST_F(UnixHostTest, AWrongPasswordOrAMissingCommandIsAFailedCommand) {
  auto lines = LoginLines(host_.Port());
  lines[3] = "UNIX_USER_PASSWORD=\"not-" + login_.password + "\"";
  lines.push_back("UNIX_WINTITLE1=\"Programs\"");
  WriteConfig(lines);
  TNCUnixLink link;
  ASSERT_EQ(link.Init(), kUnixLinkReady);
  EXPECT_LT(link.Run("echo never"), 0);
  EXPECT_NE(link.LastError(), "");
  // As the user meets it: the list of files stays empty after message 502.
  driver.expect_message_box(IDOK, "The command could not be run on the Unix host.");
  driver.expect_dialog(IDD_UNIX_SELECT, [](TDialog& d) {
    EXPECT_TRUE(Pilot(d).lines(IDC_UNIX_SELECT_LIST).empty());
    Pilot(d).click(IDCANCEL);
  });
  TMySelectionDialog files(nullptr, 1, "Programs", nullptr);
  EXPECT_EQ(files.Execute(), IDCANCEL);
  EXPECT_EQ(files.GetSelection(), "");
}

TEST_F(UnixHostTest, EveryTextArrivesAsOneArgumentInEachQuotingContext) {
  const std::vector<std::string> texts = {
      "it's", "say \"hi\"", "a;b", "$(touch " + Host() + "/pwned)", "`touch " + Host() + "/pwned`",
      "two  blanks", "line1\nline2", "back\\slash $HOME", "'", "",
  };
  const std::string rec = Recorder();
  const std::vector<std::string> commands = {rec + " %1",
                                             rec + " '%1'",
                                             rec + " \"%1\"",
                                             rec + " x%1y",
                                             rec + " \"$(printf '%s' \"%1\")\"",
                                             rec + " \"`printf '%s' %1`\"",
                                             rec + " \"`printf '%s' '%1'`\"",
                                             rec + " \"`printf '%s' \"%1\"`\""};
  auto link = Link();
  for (const auto& text : texts) {
    UnixArguments args;
    args[0] = text;
    for (const auto& command : commands) {
      ASSERT_EQ(link->Run(FillUnixCommand(command, args)), 0) << link->LastError();
      EXPECT_EQ(link->DrainOutput(), 0);
    }
    ASSERT_EQ(link->Run(FillUnixCommandName(rec + " %s", text)), 0);
    EXPECT_EQ(link->DrainOutput(), 0);
  }
  const auto runs = Records();
  ASSERT_EQ(runs.size(), texts.size() * (commands.size() + 1));
  for (std::size_t i = 0; i < runs.size(); i++) {
    const std::string& text = texts[i / (commands.size() + 1)];
    const std::size_t context = i % (commands.size() + 1);
    // Between letters the argument is one word with them.
    const std::string want = context == 3 ? "x" + text + "y" : text;
    EXPECT_EQ(runs[i], std::vector<std::string>{want}) << "text " << text << ", context " << context;
  }
  EXPECT_FALSE(std::filesystem::exists(Host() + "/pwned"));
}

TEST_F(UnixHostTest, ACopiedFileArrivesWholeAndOnlyWhenComplete) {
  std::string bytes(5 * 1024 * 1024, '\0');
  std::mt19937 random(60);
  for (char& b : bytes) b = static_cast<char>(random());
  WriteFile(Host() + "/part.bin", bytes);
  auto link = Link();
  std::filesystem::create_directories(Root() + "/local");
  const std::string local = Root() + "/local/12_part.bin";
  ASSERT_EQ(link->CopyFile(link->User(), link->Host(), Host(), "part.bin", local), 0) << link->LastError();
  EXPECT_EQ(std::system(("cmp -s '" + Host() + "/part.bin' '" + local + "'").c_str()), 0);

  // A missing file: message 501, no local file, nothing left behind.
  driver.expect_message_box(IDOK, "The file could not be copied from the Unix host.");
  EXPECT_LT(link->CopyFile(link->User(), link->Host(), Host() + "/", "missing.nc", Root() + "/local/12_missing.nc"),
            0);
  EXPECT_NE(link->LastError().find("missing.nc"), std::string::npos) << link->LastError();
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Root() + "/local"), {}), 1);
}

TEST_F(UnixHostTest, AHostThatNeverAnswersEndsTheStepAfterTheTimeOut) {
  kvunix::SilentHost silent;
  ASSERT_TRUE(silent.Listening());
  setenv(KV_UNIXLINK_TIMEOUT_ENV, "300", 1);
  auto lines = LoginLines(silent.Port());
  lines.push_back("UNIX_WINTITLE1=\"Programs\"");
  WriteConfig(lines);
  driver.expect_message_box(IDOK, "The command could not be run on the Unix host.");
  driver.expect_dialog(IDD_UNIX_SELECT, [](TDialog& d) { Pilot(d).click(IDCANCEL); });
  TMySelectionDialog files(nullptr, 1, "Programs", nullptr);
  EXPECT_EQ(files.Execute(), IDCANCEL);
  EXPECT_NE(BoxTexts().back().find("did not answer in time"), std::string::npos) << BoxTexts().back();

  TNCUnixLink link;
  ASSERT_EQ(link.Init(), kUnixLinkReady);
  driver.expect_message_box(IDOK, "The file could not be copied from the Unix host.");
  EXPECT_EQ(link.CopyFile(link.User(), link.Host(), "./", "x.nc", Root() + "/temp/x.nc"), KV_REMOTE_TIMEOUT);
  EXPECT_FALSE(std::filesystem::exists(Root() + "/temp/x.nc"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Root() + "/temp"), {}), 0);
}

}  // namespace
