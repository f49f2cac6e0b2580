// unixlink.cfg read line by line, loading the plug-ins, the texts sent to
// the host's shell and the names kept locally: what needs no host.
#include <gtest/gtest.h>

#include <filesystem>

#include "dnc/unixlink_dialogs.h"
#include "tests/unixlink/unixlink_fixture.h"

namespace {

using kvunix::UnixLinkTest;

std::string Show(const UnixText& t) { return t ? "\"" + *t + "\"" : "<none>"; }

// Every setting of a configuration in one text, so a case sees what changed
// and that nothing else did.
std::string Describe(const TUnixLinkConfig& c) {
  std::string d = "host=" + Show(c.HostName) + " port=" + std::to_string(c.Port) + " user=" + Show(c.UserName) +
                  " password=" + Show(c.Password) + " command1=" + Show(c.Command1) + " command2=" +
                  Show(c.Command2) + " title1=" + Show(c.WinTitle1) + " title2=" + Show(c.WinTitle2) +
                  " dir=" + Show(c.FileDirectory);
  for (int s = 0; s < kUnixSets; s++) {
    const std::string n = std::to_string(s + 1);
    d += " order" + n + "=" + std::to_string(c.OrderDialog[s]) + " argdlg" + n + "=" +
         std::to_string(c.ArgumentDialog[s]) + " button" + n + "=" + Show(c.ButtonText[s]) + " argtitle" + n +
         "=" + Show(c.ArgumentTitle[s]);
    for (int y = 0; y < kUnixSteps; y++) {
      const std::string xy = n + std::to_string(y + 1);
      if (c.Commands[s][y]) d += " COMMAND" + xy + "=" + Show(c.Commands[s][y]);
      if (c.Titles[s][y]) d += " TITLE" + xy + "=" + Show(c.Titles[s][y]);
    }
  }
  return d;
}

// The description after one line, with what the line changed set by change.
struct LineCase {
  const char* line;
  std::function<void(TUnixLinkConfig&)> change;  // empty: nothing changes
};

TEST(UnixLinkConfig, EachLineChangesWhatItsKeySays) {
  const LineCase cases[] = {
      {"UNIX_HOST_NAME=\"cam-host\"", [](auto& c) { c.HostName = "cam-host"; }},
      {"; UNIX_HOST_NAME=\"cam-host\"", {}},
      {"", {}},
      {"UNIX_HOST_NAME=cam-host", {}},  // no quotes: no text
      {"UNIX_HOST_PORT=2512", [](auto& c) { c.Port = 2512; }},
      {"UNIX_HOST_PORT = 0", {}},
      {"UNIX_HOST_PORT=70000", {}},
      {"UNIX_HOST_PORT 2512", {}},
      {"UNIX_USER_NAME=\"cnc\"", [](auto& c) { c.UserName = "cnc"; }},
      {"UNIX_USER_PASSWORD=\"\"", [](auto& c) { c.Password = ""; }},
      // The longer keys are tested first.
      {"UNIX_COMMAND1=\"ls *.h\"", [](auto& c) { c.Command1 = "ls *.h"; }},
      {"UNIX_COMMAND2=\"ls %s\"", [](auto& c) { c.Command2 = "ls %s"; }},
      {"UNIX_WINTITLE2=\"Versions of %s\"", [](auto& c) { c.WinTitle2 = "Versions of %s"; }},
      {"UNIX_FILE_DIRECTORY=\"/nc/progs\"", [](auto& c) { c.FileDirectory = "/nc/progs"; }},
      {"ARGUMENT_TITLE1=\"Part\"", [](auto& c) { c.ArgumentTitle[0] = "Part"; }},
      {"ARGUMENT_DIALOG2=1", [](auto& c) { c.ArgumentDialog[1] = true; }},
      {"ARGUMENT_DIALOG2=2", {}},
      {"BRASKOLM_F_ORDRE1 = 1", [](auto& c) { c.OrderDialog[0] = true; }},
      {"BUTTON_TEXT2=\"Orders\"", [](auto& c) { c.ButtonText[1] = "Orders"; }},
      {"COMMAND11=\"ls\"", [](auto& c) { c.Commands[0][0] = "ls"; }},
      {"COMMAND25=\"cat %1\"", [](auto& c) { c.Commands[1][4] = "cat %1"; }},
      {"TITLE12=\"Pick\"", [](auto& c) { c.Titles[0][1] = "Pick"; }},
      // Sets run from 1 to 2, steps from 1 to 5.
      {"COMMAND31=\"x\"", {}},
      {"COMMAND16=\"x\"", {}},
      {"COMMAND1=\"x\"", {}},
      {"BUTTON_TEXT3=\"x\"", {}},
      {"TITLE20=\"x\"", {}},
      // An indented key means what it says.
      {"   COMMAND12=\"pwd\"", [](auto& c) { c.Commands[0][1] = "pwd"; }},
      {"\tARGUMENT_DIALOG1=1", [](auto& c) { c.ArgumentDialog[0] = true; }},
      // A text that names a key is a text.
      {"TITLE11=\"Which COMMAND?\"", [](auto& c) { c.Titles[0][0] = "Which COMMAND?"; }},
      {"BUTTON_TEXT1=\"UNIX_HOST_NAME\"", [](auto& c) { c.ButtonText[0] = "UNIX_HOST_NAME"; }},
  };
  for (const LineCase& lc : cases) {
    TUnixLinkConfig got, want;
    ApplyUnixLinkLine(got, lc.line);
    if (lc.change) lc.change(want);
    EXPECT_EQ(Describe(got), Describe(want)) << "line: " << lc.line;
  }
}

TEST(UnixLinkConfig, ALaterTextReplacesAnEarlierOne) {
  TUnixLinkConfig c;
  ApplyUnixLinkLine(c, "COMMAND11=\"ls a\"");
  ApplyUnixLinkLine(c, "COMMAND11=\"ls b\"");
  EXPECT_EQ(Show(c.Commands[0][0]), "\"ls b\"");
}

TEST(UnixLinkTexts, PlaceholdersAreQuotedForTheShellWhereTheyStand) {
  const UnixArguments args = {"it's", "$HOME \"x\" `id` \\", "plain", "", ""};
  const struct {
    const char* command;
    const char* sent;
  } cases[] = {
      {"rec %1", "rec 'it'\\''s'"},
      {"rec '%1'", "rec 'it'\\''s'"},
      {"rec \"%1\"", "rec \"it's\""},
      {"rec \"%2\"", "rec \"\\$HOME \\\"x\\\" \\`id\\` \\\\\""},
      {"rec %2", "rec '$HOME \"x\" `id` \\'"},
      {"rec a-%3-b", "rec a-'plain'-b"},
      {"rec \"$(basename \"%3\")\"", "rec \"$(basename \"plain\")\""},
      {"rec `echo %3`", "rec `echo 'plain'`"},
      // Inside backquotes \ ` and $ take one backslash more.
      {"rec `echo %1`", "rec `echo 'it'\\\\''s'`"},
      {"rec \"`echo \"%2\"`\"", "rec \"`echo \"\\\\\\$HOME \\\\\"x\\\\\" \\\\\\`id\\\\\\` \\\\\\\\\"`\""},
      {"rec \\'%3", "rec \\''plain'"},  // an escaped quote opens nothing
      {"rec %4 %6 %x 50% %", "rec '' %6 %x 50% %"},
  };
  for (const auto& c : cases) EXPECT_EQ(FillUnixCommand(c.command, args), c.sent) << c.command;
  EXPECT_EQ(FillUnixCommandName("ls %s %s %1", "a b"), "ls 'a b' %s %1");
  EXPECT_EQ(FillFirstS("Versions of %s (%s) 100%", "P1"), "Versions of P1 (%s) 100%");
  EXPECT_EQ(FillUnixTitle("Part %1 of %2", args), "Part it's of $HOME \"x\" `id` \\");
}

TEST(UnixLinkTexts, TheLocalNameIsTheLastPartOfASafeName) {
  const struct {
    const char* chosen;
    const char* local;  // null: refused
  } cases[] = {
      {"P100.nc", "P100.nc"}, {"../../x", "x"}, {"/etc/passwd", "passwd"}, {"a b/c d", "c d"},
      {"", nullptr},          {".", nullptr},   {"..", nullptr},           {"dir/", nullptr},
      {"a/..", nullptr},      {"bad\nname", nullptr}, {"tab\tname", nullptr}, {"esc\x1b", nullptr},
  };
  for (const auto& c : cases) {
    std::string local;
    const bool ok = UnixLocalName(c.chosen, local);
    EXPECT_EQ(ok, c.local != nullptr) << c.chosen;
    if (ok && c.local) {
      EXPECT_EQ(local, c.local) << c.chosen;
    }
  }
}

TEST(UnixLinkTexts, OutputIsCutIntoLinesOfAtMost255WithoutEmptyOnes) {
  const struct {
    std::string output;
    std::vector<std::string> lines;
  } cases[] = {
      {std::string(300, 'a') + "\n", {std::string(255, 'a'), std::string(45, 'a')}},
      {std::string(255, 'b') + "\r\n", {std::string(255, 'b')}},
      {"one\r\n\r\n\n\rtwo\r\r", {"one", "two"}},
      {"last line without end", {"last line without end"}},
      {"", {}},
  };
  for (const auto& c : cases) {
    // Fed in pieces, as the library hands them out.
    std::vector<std::string> got;
    TUnixOutputLines lines;
    auto take = [&got](const std::string& l) { got.push_back(l); };
    for (std::size_t at = 0; at < c.output.size(); at += 7)
      lines.Feed(c.output.data() + at, std::min<std::size_t>(7, c.output.size() - at), take);
    lines.Flush(take);
    EXPECT_EQ(got, c.lines) << c.output.substr(0, 40);
  }
}

TEST(UnixLinkTexts, OrderIdentificationIsDayOfYearAndMinuteOfDay) {
  plat::SystemTime feb11;
  feb11.month = 2, feb11.day = 11, feb11.day_of_year = 42, feb11.hour = 10, feb11.minute = 5;
  EXPECT_EQ(OrderIdentification(feb11), "F0420605");
  plat::SystemTime jan1;
  jan1.month = 1, jan1.day = 1, jan1.day_of_year = 1;
  EXPECT_EQ(OrderIdentification(jan1), "F0010000");
  plat::SystemTime dec31;
  dec31.day_of_year = 366, dec31.hour = 23, dec31.minute = 59;
  EXPECT_EQ(OrderIdentification(dec31), "F3661439");
}

// ---- reading the file and loading the plug-ins ----------------------------------------

class UnixLinkInit : public UnixLinkTest {
 protected:
  // A plug-in directory of links to the given libraries, by their DLL's
  // file names.
  std::string PluginDir(const std::string& rcmd, const std::string& rcp) {
    const std::string dir = Root() + "/plugins-" + std::to_string(dirs_++);
    std::filesystem::create_directories(dir);
    if (!rcmd.empty()) std::filesystem::create_symlink(rcmd, dir + "/librcmd32.so");
    if (!rcp.empty()) std::filesystem::create_symlink(rcp, dir + "/librcp32.so");
    return dir;
  }
  int dirs_ = 0;
};

TEST_F(UnixLinkInit, ResultsTellWhatIsMissingInOrder) {
  const std::string rcmd = KV_PLUGINS_DIR "/librcmd32.so", rcp = KV_PLUGINS_DIR "/librcp32.so";
  const std::string lacking = KV_LACKING_PLUGIN;
  WriteConfig({"UNIX_HOST_NAME=\"h\""});
  const struct {
    std::string dir;
    int result;
  } cases[] = {
      {PluginDir("", ""), kUnixLinkNoRcmd},
      {PluginDir(rcmd, ""), kUnixLinkNoRcp},
      {PluginDir("", rcp), kUnixLinkNoRcmd},
      {PluginDir(lacking, rcp), kUnixLinkRcmdEntry},
      {PluginDir(rcmd, lacking), kUnixLinkRcpEntry},
      {PluginDir(rcmd, rcp), kUnixLinkReady},
  };
  for (const auto& c : cases) {
    plat::set_plugin_dir(c.dir);
    TNCUnixLink link;
    EXPECT_EQ(link.Init(), c.result) << c.dir;
  }
  std::filesystem::remove(Root() + "/cfg/unixlink.cfg");
  TNCUnixLink link;
  EXPECT_EQ(link.Init(), kUnixLinkNoConfig);
  const int messages[] = {0, kMsgUnixNoRcmd, kMsgUnixNoRcp, kMsgUnixRcmdEntry, kMsgUnixRcpEntry, kMsgUnixNoConfig};
  for (int r = 0; r <= kUnixLinkNoConfig; r++) EXPECT_EQ(UnixLinkInitMessage(r), messages[r]);
  EXPECT_TRUE(driver.message_boxes().empty()) << "Init itself shows nothing";
}

TEST_F(UnixLinkInit, TheFileStartsFromTheDefaultsWithoutALogin) {
  WriteConfig({"; a station without its login", "UNIX_HOST_NAME=\"cam\"", "   COMMAND11=\"ls\"", ""});
  TNCUnixLink link;
  ASSERT_EQ(link.Init(), kUnixLinkReady);
  TUnixLinkConfig want;
  want.HostName = "cam";
  want.Commands[0][0] = "ls";
  EXPECT_EQ(Describe(link.Config), Describe(want));
  EXPECT_EQ(link.User(), nullptr);
  EXPECT_EQ(link.Pass(), nullptr);
}

TEST_F(UnixLinkInit, WithoutHostOrLoginNothingIsRunOrCopied) {
  const struct {
    std::vector<std::string> config;
    const char* message;
  } cases[] = {
      {{"UNIX_USER_NAME=\"u\"", "UNIX_USER_PASSWORD=\"p\""}, "No Unix host is configured"},
      {{"UNIX_HOST_NAME=\"127.0.0.1\""}, "No login for the Unix host"},
      {{"UNIX_HOST_NAME=\"127.0.0.1\"", "UNIX_USER_NAME=\"u\""}, "No login for the Unix host"},
      {{"UNIX_HOST_NAME=\"127.0.0.1\"", "UNIX_USER_PASSWORD=\"p\""}, "No login for the Unix host"},
  };
  for (const auto& c : cases) {
    WriteConfig(c.config);
    TNCUnixLink link;
    ASSERT_EQ(link.Init(), kUnixLinkReady);
    driver.expect_message_box(IDOK, c.message);
    EXPECT_EQ(link.Run("touch /tmp/never"), kUnixNoHostResult);
    driver.expect_message_box(IDOK, c.message);
    EXPECT_EQ(link.CopyFile(link.User(), link.Host(), "./", "x", Root() + "/temp/x"), kUnixNoHostResult);
    EXPECT_FALSE(std::filesystem::exists(Root() + "/temp/x"));
  }
}

}  // namespace
