// The link when the host fails it: down, refusing the login, dropping the
// line or falling silent in the middle of a listing or a copy. Against a
// host of our own that does so on cue.
#include <gtest/gtest.h>

#include <filesystem>

#include "dnc/unixlink_dialogs.h"
#include "platform/ui/driver.h"
#include "tests/sim/rexec_sim.h"
#include "tests/unixlink/unixlink_fixture.h"

namespace {

using kvunix::UnixLinkTest;
using plat::Pilot;
using End = sim::RexecSim::End;

class UnixFaultTest : public UnixLinkTest {
 protected:
  // A host that falls silent is given up on after a second; the others
  // get the whole time-out, however loaded the machine.
  static void TimeOutFor(End ending) {
    if (ending == End::kSilent) {
      setenv(KV_UNIXLINK_TIMEOUT_ENV, "1000", 1);
    } else {
      unsetenv(KV_UNIXLINK_TIMEOUT_ENV);
    }
  }
  // unixlink.cfg for a host on port, with the simulator's login.
  void Config(int port, std::vector<std::string> extra = {}) {
    std::vector<std::string> lines = {"UNIX_HOST_NAME=\"127.0.0.1\"", "UNIX_HOST_PORT=" + std::to_string(port),
                                      "UNIX_USER_NAME=\"cnc\"", "UNIX_USER_PASSWORD=\"secret\""};
    lines.insert(lines.end(), extra.begin(), extra.end());
    WriteConfig(lines);
  }
  // A port of this machine where nothing listens.
  static int ClosedPort() {
    int port = 0;
    const int fd = kvunix::ListenOnLoopback(port);
    close(fd);
    return port;
  }
  std::vector<std::string> Entries(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(UnixFaultTest, AListingTheHostFailsIsNotOfferedAndTheUserReadsWhy) {
  const std::string listing = "P1.nc\nP2.nc\nP3.nc\n";
  const auto npos = std::string::npos;
  const struct {
    const char* what;
    bool hostUp;
    const char* password;  // the host's
    std::size_t cut;
    End ending;
    std::vector<std::string> offered;
    const char* reason;  // null: no message
  } cases[] = {
      {"whole", true, "secret", npos, End::kClose, {"P1.nc", "P2.nc", "P3.nc"}, nullptr},
      {"host down", false, "secret", npos, End::kClose, {}, "refused"},
      {"wrong password", true, "other", npos, End::kClose, {}, "Login incorrect"},
      {"line drops", true, "secret", 8, End::kReset, {}, "broke"},
      {"host falls silent", true, "secret", 8, End::kSilent, {}, "in time"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    sim::RexecSim::Play play;
    play.Password = c.password;
    play.Output = listing;
    play.Cut = c.cut;
    play.Ending = c.ending;
    TimeOutFor(c.ending);
    sim::RexecSim host(play);
    ASSERT_TRUE(host.Listening());
    Config(c.hostUp ? host.Port() : ClosedPort(), {"UNIX_WINTITLE1=\"Programs\""});
    const std::size_t boxes = driver.message_boxes().size();
    if (c.reason) driver.expect_message_box(IDOK, "The command could not be run on the Unix host.");
    driver.expect_dialog(IDD_UNIX_SELECT, [&](TDialog& d) {
      EXPECT_EQ(Pilot(d).lines(IDC_UNIX_SELECT_LIST), c.offered);
      Pilot(d).click(IDCANCEL);
    });
    TMySelectionDialog files(nullptr, 1, "Programs", nullptr);
    files.Execute();
    const auto texts = BoxTexts();
    ASSERT_EQ(texts.size(), boxes + (c.reason ? 1 : 0));
    if (c.reason) {
      EXPECT_NE(texts.back().find(c.reason), std::string::npos) << texts.back();
    }
  }
}

TEST_F(UnixFaultTest, ACopyThatBreaksOffLeavesTheLocalFileAsItWas) {
  std::string program;
  for (int i = 0; i < 20000; i++) program += "N" + std::to_string(i) + " G1 X" + std::to_string(i % 97) + "\r\n";
  const std::size_t half = program.size() / 2, npos = std::string::npos;
  const struct {
    const char* what;
    const char* password;  // the host's
    std::size_t cut;
    End ending;
    std::string fileLine;  // in place of the file's own
    const char* reason;
  } cases[] = {
      {"host closes", "secret", half, End::kClose, "", "ended the copy early"},
      {"line drops", "secret", half, End::kReset, "", "broke"},
      {"host falls silent", "secret", half, End::kSilent, "", "in time"},
      {"nothing after the file's line", "secret", 0, End::kClose, "", "ended the copy early"},
      {"wrong password", "other", npos, End::kClose, "", "Login incorrect"},
      {"a file line past any rcp's", "secret", npos, End::kClose, "C0644 5 " + std::string(3000, 'n') + "\n",
       "not rcp's"},
  };
  const std::string dir = Root() + "/local";
  std::filesystem::create_directories(dir);
  const std::string local = dir + "/12_P1.nc";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    // An earlier copy of the program is there and stays as it was.
    WriteFile(local, "earlier copy");
    sim::RexecSim::Play play;
    play.Password = c.password;
    play.File = program;
    play.FileLine = c.fileLine;
    play.Cut = c.cut;
    play.Ending = c.ending;
    TimeOutFor(c.ending);
    sim::RexecSim host(play);
    ASSERT_TRUE(host.Listening());
    Config(host.Port());
    TNCUnixLink link;
    ASSERT_EQ(link.Init(), kUnixLinkReady);
    driver.expect_message_box(IDOK, "The file could not be copied from the Unix host.");
    EXPECT_LT(link.CopyFile(link.User(), link.Host(), "/nc", "P1.nc", local), 0);
    EXPECT_NE(link.LastError().find(c.reason), std::string::npos) << link.LastError();
    EXPECT_NE(BoxTexts().back().find(link.LastError()), std::string::npos) << BoxTexts().back();
    EXPECT_EQ(ReadFile(local), "earlier copy");
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"12_P1.nc"}) << "no partial file is left";
  }
}

TEST_F(UnixFaultTest, ACopyGoesWholeUnderItsQuotedNameAndOnlyWhereItCanBeWritten) {
  const std::string program = "%\r\nO1000\r\nG0 X0\r\nM30\r\n%\r\n";
  sim::RexecSim::Play play;
  play.File = program;
  sim::RexecSim host(play);
  ASSERT_TRUE(host.Listening());
  Config(host.Port());
  TNCUnixLink link;
  ASSERT_EQ(link.Init(), kUnixLinkReady);
  const std::string local = Root() + "/temp/12_it's.nc";
  ASSERT_EQ(link.CopyFile(link.User(), link.Host(), "/nc/part 1", "it's.nc", local), 0) << link.LastError();
  EXPECT_EQ(ReadFile(local), program);
  EXPECT_EQ(host.Commands(), std::vector<std::string>{"rcp -f '/nc/part 1/it'\\''s.nc'"});

  // A local directory that is not there: nothing is fetched in vain.
  driver.expect_message_box(IDOK, "The file could not be copied from the Unix host.");
  EXPECT_EQ(link.CopyFile(link.User(), link.Host(), "/nc", "P1.nc", Root() + "/gone/12_P1.nc"),
            KV_REMOTE_LOCAL_FILE);
  EXPECT_EQ(host.Commands().size(), 1u);

  // A file line as long as the sink takes (1023 bytes after its kind).
  play.FileLine = "C0644 " + std::to_string(program.size()) + " ";
  play.FileLine += std::string(1024 - play.FileLine.size(), 'n') + "\n";
  sim::RexecSim longNames(play);
  ASSERT_TRUE(longNames.Listening());
  Config(longNames.Port());
  TNCUnixLink again;
  ASSERT_EQ(again.Init(), kUnixLinkReady);
  std::filesystem::remove(local);
  ASSERT_EQ(again.CopyFile(again.User(), again.Host(), "/nc", "it's.nc", local), 0) << again.LastError();
  EXPECT_EQ(ReadFile(local), program);
}

TEST_F(UnixFaultTest, AnOrderStepThatFailsTakesNoOrder) {
  Config(ClosedPort(), {"BRASKOLM_F_ORDRE1=1", "ARGUMENT_DIALOG1=1", "ARGUMENT_TITLE1=\"Order\"",
                        "COMMAND11=\"echo %1\"", "TITLE11=\"Order\"", "COMMAND13=\"echo done\""});
  TNCUnixLink link;
  ASSERT_EQ(link.Init(), kUnixLinkReady);
  driver.expect_dialog(IDD_UNIX_ORDER, [&](TDialog& d) {
    Pilot o(d);
    driver.expect_dialog(IDD_UNIX_INPUT, [](TDialog& in) {
      Pilot(in).type(IDC_UNIX_INPUT_TEXT, "A-100");
      Pilot(in).click(IDOK);
    });
    driver.expect_message_box(IDOK, "The command could not be run on the Unix host.");
    ASSERT_TRUE(o.click(IDC_UNIX_ORDER_MORE));
    EXPECT_EQ(o.text(IDC_UNIX_ORDER_COUNT), "0");
    // The final command meets the same host: the user is told again.
    driver.expect_message_box(IDOK, "The command could not be run on the Unix host.");
    o.click(IDOK);
  });
  BK_Order_Dialog order(nullptr, &link, 0);
  EXPECT_EQ(order.Execute(), IDOK);
  EXPECT_EQ(order.OrderCount(), 0);
  EXPECT_EQ(order.OrderList(), "");
}

}  // namespace
