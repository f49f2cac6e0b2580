// The profile dialog: the automatic profile, browsing and entering a new
// profile, what administrators and other users may do and see, the stored
// directory texts, connecting (directories, network drives, network
// commands) and a change made by one process seen by another's connect.
#include <chrono>
#include <thread>

#include "app/netlogon.h"
#include "app/profile_dialog.h"
#include "app/profile_net.h"
#include "dbmodel/profile.h"
#include "platform/path.h"
#include "platform/process.h"
#include "tests/app/users_fixture.h"
#include "platform/ui/ctlcolor.h"

namespace {

using kvusers::UsersTest;
using plat::Pilot;
namespace fs = std::filesystem;

constexpr int kDirEdits[8] = {103, 107, 111, 112, 115, 116, 120, 123};

class ProfileTest : public UsersTest {
 protected:
  void SetUp() override {
    UsersTest::SetUp();
    TcbDataTable t("KELVDATA.DBF", 1, 0);
    t.Create(AltPath("KELVDATA.DBF").c_str());
    Globals->SuperUserLogon = 1;
    Globals->NetLogonMode = 1;
    Globals->LocalDir = "C:\\BEFORE\\LOCAL\\";
    dbBefore_ = Globals->DatabaseDir;
  }
  void TearDown() override {
    Globals->DatabaseDir = (fs::path(Root()) / "db").string() + "\\";
    UsersTest::TearDown();
  }
  long AddProfile(const char* name, const char* db, int netware = 0, const char* server = "",
                  const char* share = "", const char* drive = "") {
    TcbDataTable t("KELVDATA.DBF", 1, 0);
    EXPECT_EQ(t.Add(name, db, "C:\\B\\", "C:\\P\\", "C:\\V\\", "C:\\T\\", "C:\\F\\", "C:\\I", "C:\\E", netware,
                    server, share, drive),
              1);
    kvdb::MemoryList lines;
    TcbDataTable all("KELVDATA.DBF", 1, 0);
    all.FillList(&lines);
    for (const auto& l : lines.lines)
      if (l.rfind(std::string(name) + " ", 0) == 0) return ListLineId(l.c_str());
    return 0;
  }
  static int LineOf(Pilot& p, const std::string& name) {
    auto lines = p.lines(101);
    for (size_t i = 0; i < lines.size(); i++)
      if (lines[i].rfind(name, 0) == 0) return static_cast<int>(i);
    return -1;
  }
  int Run() {
    TSelectDb dlg(nullptr);
    return dlg.Execute();
  }
  std::string Default(const std::string& sub) const { return Root() + "\\KELVACFG\\" + sub; }
  std::string dbBefore_;
};

TEST_F(ProfileTest, AutomaticProfileIsConnectedBeforeTheDialogShows) {
  Globals->NetLogonMode = 0;
  plat::GTestUiDriver driver;
  EXPECT_EQ(Run(), IDOK);
  EXPECT_TRUE(driver.dialogs_shown().empty());
  EXPECT_EQ(Globals->LocalDir, Globals->AlternateDir);
  EXPECT_EQ(Globals->DatabaseDir, Default("DB31\\"));
  EXPECT_EQ(Globals->BackupDir, Default("BACKUP\\"));
  EXPECT_EQ(Globals->ImportDir, Default("IMPORT\\"));  // stored without the "\"
  EXPECT_EQ(Globals->ExportDir, Default("EXPORT\\"));
  EXPECT_EQ(Globals->LastDir, Globals->ImportDir);
}

TEST_F(ProfileTest, OlderLocalProfileKeepsItsDirectoriesUnderTheBaseDirectory) {
  Globals->NetLogonMode = 0;
  Globals->NetLogon = 1;
  {
    TcbDataTable t("KELVDATA.DBF", 1, 0);
    ASSERT_EQ(t.FindById(-5000), 1);
    FieldRef version(t.Data(), 1);
    version.assignLong(350);
    FieldRef db(t.Data(), 4);
    db.assign("\\OLD\\DB");
    t.Close();
  }
  plat::GTestUiDriver driver;
  EXPECT_EQ(Run(), IDOK);
  EXPECT_EQ(Globals->DatabaseDir, Root() + "\\OLD\\DB\\");
  EXPECT_EQ(Globals->LocalDir, Globals->DatabaseDir);  // NETLOGON: the database's own
}

TEST_F(ProfileTest, WithoutAnAutomaticProfileTheDialogStaysAndCancelConnectsNothing) {
  Globals->NetLogonMode = 0;
  {
    TcbDataTable t("KELVDATA.DBF", 1, 0);
    t.SetAutoProfile(4711);
  }
  plat::GTestUiDriver driver;
  driver.expect_dialog(3, [](TDialog& d) {
    Pilot p(d);
    EXPECT_EQ(p.text(102), "Local Database");
    p.click(IDCANCEL);
  });
  EXPECT_EQ(Run(), IDCANCEL);
  EXPECT_EQ(Globals->DatabaseDir, dbBefore_);
}

TEST_F(ProfileTest, NewProfileModeAddsWithTheStoredDirectoryForms) {
  plat::GTestUiDriver driver;
  driver.expect_dialog(3, [&](TDialog& d) {
    Pilot p(d);
    auto browsing = [&] {
      for (int id : {1, 113, 105, 109}) EXPECT_TRUE(p.visible(id)) << id;
      EXPECT_FALSE(p.visible(104));
      EXPECT_TRUE(p.control(102)->GetStyle() & ES_READONLY);
    };
    browsing();
    EXPECT_FALSE(p.visible(114));
    p.click(113);
    for (int id : {104, 114}) EXPECT_TRUE(p.visible(id)) << id;
    for (int id : {1, 113, 105, 109}) EXPECT_FALSE(p.visible(id)) << id;
    EXPECT_TRUE(p.focused(102));
    EXPECT_EQ(p.text(103), "");
    p.click(114);
    browsing();
    EXPECT_EQ(p.text(103), Default("DB31\\"));

    p.click(113);
    p.type(102, "Plant 2");
    // Every directory must be given, in order; the focus shows the first gap.
    const char* dirs[8] = {"N:\\DB", "N:\\BAK", "N:\\PIC\\", "N:\\VID\\", "N:\\IMP\\", "N:\\EXP", "N:\\FAIL", "N:\\TMP"};
    for (int i = 0; i < 8; i++) {
      p.click(104);
      EXPECT_TRUE(p.focused(kDirEdits[i])) << i;
      p.set_text(kDirEdits[i], dirs[i]);
    }
    p.click(118);
    p.type(119, "srv1");
    p.click(104);
    ASSERT_EQ(p.lines(101).size(), 2u);
    browsing();
    p.select(101, LineOf(p, "PLANT 2"));
    EXPECT_EQ(p.text(107), "N:\\BAK\\");
    EXPECT_EQ(p.text(115), "N:\\IMP");
    EXPECT_EQ(p.text(119), "SRV1");
    EXPECT_FALSE(p.checked(110));
    p.click(IDOK);  // Lan-Manager without share and drive: nothing to attach
  });
  EXPECT_EQ(Run(), IDOK);
  EXPECT_EQ(Globals->DatabaseDir, "N:\\DB\\");
  EXPECT_EQ(Globals->LocalDir, "N:\\DB\\");
  EXPECT_EQ(Globals->ImportDir, "N:\\IMP\\");
  EXPECT_EQ(Globals->ExportDir, "N:\\EXP\\");
  bool found = false;
  for (const auto& r : PeerRows(AltPath("KELVDATA.DBF"))) {
    if (r.find("F03=PLANT 2") == std::string::npos) continue;
    found = true;
    for (const char* part : {"VERSION=34 ", "F04=N:\\DB\\ ", "F05=N:\\BAK\\ ", "F06=N:\\TMP\\ ", "F07=N:\\FAIL\\ ",
                             "LOCAL=0 AUTO=0 ", "F12=N:\\IMP ", "F13=N:\\EXP ", "F18=SRV1 ", "F27=False"})
      EXPECT_NE(r.find(part), std::string::npos) << part << " in " << r;
  }
  EXPECT_TRUE(found);
}

TEST_F(ProfileTest, DefaultMarkMovesButStaysAndLocalProfileIsNotDeleted) {
  long plant = AddProfile("PLANT", "C:\\PLANT\\");
  plat::GTestUiDriver driver;
  driver.expect_dialog(3, [&](TDialog& d) {
    Pilot p(d);
    ASSERT_EQ(p.lines(101).size(), 2u);
    p.select(101, LineOf(p, "Local Database"));
    EXPECT_TRUE(p.checked(110));
    p.click(110);
    EXPECT_TRUE(p.checked(110));
    p.click(105);
    EXPECT_EQ(p.lines(101).size(), 2u);
    p.select(101, LineOf(p, "PLANT"));
    EXPECT_FALSE(p.checked(110));
    p.click(110);
    EXPECT_TRUE(p.checked(110));
    p.select(101, LineOf(p, "Local Database"));
    EXPECT_FALSE(p.checked(110));
    p.select(101, LineOf(p, "PLANT"));
    p.click(105);
    EXPECT_EQ(p.lines(101).size(), 1u);
    p.click(IDCANCEL);
  });
  Run();
  auto rows = PeerRows(AltPath("KELVDATA.DBF"));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1].rfind("* VERSION=34 ID=" + std::to_string(plant) + " F03=PLANT", 0), 0u) << rows[1];
  TcbDataTable t("KELVDATA.DBF", 1, 0);
  TcbDataRecord* local = t.ReadById(-5000);
  ASSERT_NE(local, nullptr);
  EXPECT_EQ(local->AUTO, 0);
  delete local;
}

TEST_F(ProfileTest, OtherUsersMayOnlyPickAndSeeRedTextsOnDarkCyan) {
  for (int admin : {0, 1}) {
    Globals->SuperUserLogon = admin;
    plat::GTestUiDriver driver;
    driver.expect_dialog(3, [&](TDialog& d) {
      Pilot p(d);
      for (int id = 102; id <= 125; id++) {
        if (p.control(id)) {
          EXPECT_EQ(p.enabled(id), admin == 1) << id;
        }
      }
      for (int id = 300; id <= 307; id++) EXPECT_EQ(p.enabled(id), admin == 1) << id;
      for (int id : {101, 1, 2}) EXPECT_TRUE(p.enabled(id)) << id;
      // The colours a paint of each control asks its dialog for.
      TClientDC dc(d.GetHandle());
      plat::ControlColors edit = plat::ask_control_colors(p.control(103)->GetHandle(), dc);
      EXPECT_EQ(edit.text, admin ? RGB(0, 0, 0) : RGB(255, 0, 0));
      EXPECT_EQ(edit.back, RGB(255, 255, 255));
      EXPECT_TRUE(edit.fromParent);
      plat::ControlColors list = plat::ask_control_colors(p.control(101)->GetHandle(), dc);
      EXPECT_EQ(list.text, admin ? RGB(0, 0, 0) : RGB(255, 255, 255));
      EXPECT_EQ(list.back, admin ? RGB(255, 255, 255) : RGB(0, 128, 128));
      EXPECT_EQ(list.brush, admin ? RGB(255, 255, 255) : RGB(0, 128, 128));
      EXPECT_FALSE(plat::ask_control_colors(p.control(1)->GetHandle(), dc).fromParent);
      // Without the print plug-in a directory button changes nothing.
      if (admin) {
        std::string before = p.text(103);
        p.click(300);
        EXPECT_EQ(p.text(103), before);
      }
      p.double_click(101, 0);
    });
    EXPECT_EQ(Run(), IDOK);
  }
}

class NetworkProfileTest : public ProfileTest {
 protected:
  void SetUp() override {
    ProfileTest::SetUp();
    oldBase_ = plat::base_directory();
    plat::set_base_directory(Root());
  }
  void TearDown() override {
    NetCancelConnection("N:");
    plat::set_base_directory(oldBase_);
    plat::reset_drive_table();
    ProfileTest::TearDown();
  }
  std::string oldBase_;
};

TEST_F(NetworkProfileTest, RefusedShareAsksForALogonAndCancelKeepsTheDatabase) {
  AddProfile("PLANT", "N:\\DB\\", 0, "SRV1", "DATA", "N");
  plat::GTestUiDriver driver;
  driver.expect_dialog(3, [&](TDialog& d) {
    Pilot p(d);
    p.select(101, LineOf(p, "PLANT"));
    driver.expect_message_box(IDOK, "Access denied to : \\\\SRV1\\DATA !");
    driver.expect_dialog(17, [](TDialog& n) { Pilot(n).click(IDCANCEL); });
    p.click(IDOK);
    EXPECT_FALSE(static_cast<TSelectDb&>(d).HasEnded());
    EXPECT_EQ(Globals->DatabaseDir, dbBefore_);
    // The share appears while the user types the logon: the retry connects.
    driver.expect_message_box(IDOK, "Access denied");
    driver.expect_dialog(17, [&](TDialog& n) {
      fs::create_directories(Root() + "/net/srv1/data/DB");
      Pilot q(n);
      q.type(101, "operator");
      q.click(IDOK);
    });
    p.click(IDOK);
  });
  EXPECT_EQ(Run(), IDOK);
  EXPECT_EQ(plat::drive_root('N'), Root() + "/net/srv1/data");
  EXPECT_EQ(Globals->DatabaseDir, "N:\\DB\\");
  EXPECT_EQ(plat::to_native_path(Globals->DatabaseDir), Root() + "/net/srv1/data/DB");
  std::string remote;
  EXPECT_EQ(NetGetConnection("N:", remote), kNetOk);
  EXPECT_EQ(remote, "\\\\SRV1\\DATA");
}

TEST_F(NetworkProfileTest, NetWareCommandsRunWithoutAShellAndAMissingProgramIsReported) {
  std::string made = Root() + "/$X*";
  AddProfile("NETWARE", "C:\\NW\\", 1, "kv-no-such-program x", ("touch " + made).c_str());
  plat::clear_process_log();
  plat::GTestUiDriver driver;
  driver.expect_dialog(3, [&](TDialog& d) {
    Pilot p(d);
    p.select(101, LineOf(p, "NETWARE"));
    EXPECT_FALSE(p.visible(125));  // NetWare: two command lines, no drive
    driver.expect_message_box(IDOK, "kv-no-such-program not found");
    p.click(IDOK);
  });
  EXPECT_EQ(Run(), IDOK);
  EXPECT_EQ(Globals->DatabaseDir, "C:\\NW\\");
  for (int i = 0; i < 200 && !fs::exists(made); i++) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(fs::exists(made));  // "$X*" arrived as it stands
  auto log = plat::process_log();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].rfind("started ", 0), 0u);
  EXPECT_EQ(log[1].rfind("refused: kv-no-such-program", 0), 0u);
}

TEST_F(ProfileTest, ChangeMadeByAnotherProcessIsSeenByTheNextConnect) {
  long plant = AddProfile("PLANT", "C:\\FIRST\\");
  int status = InChild([&] {
    bool failed = false;
    plat::UiDriver driver([&](const std::string&) { failed = true; });
    driver.expect_dialog(3, [&](TDialog& d) {
      Pilot p(d);
      p.select(101, LineOf(p, "PLANT"));
      p.set_text(103, "C:\\SECOND");
      p.click(109);
      p.click(IDCANCEL);
    });
    TSelectDb dlg(nullptr);
    dlg.Execute();
    return failed ? 1 : 0;
  });
  ASSERT_EQ(status, 0);
  plat::GTestUiDriver driver;
  driver.expect_dialog(3, [&](TDialog& d) {
    Pilot p(d);
    p.select(101, LineOf(p, "PLANT"));
    EXPECT_EQ(static_cast<TSelectDb&>(d).SelectedId, plant);
    p.click(IDOK);
  });
  EXPECT_EQ(Run(), IDOK);
  EXPECT_EQ(Globals->DatabaseDir, "C:\\SECOND\\");
}

TEST_F(ProfileTest, NetworkLogonHandsBackAtMost39Characters) {
  char user[TGetNetLogin::kBufferSize] = "x";
  char password[TGetNetLogin::kBufferSize] = "y";
  plat::GTestUiDriver driver;
  driver.expect_dialog(17, [](TDialog& d) { Pilot(d).click(IDOK); });
  {
    TGetNetLogin dlg(nullptr, user, password);
    EXPECT_EQ(dlg.Execute(), IDOK);
  }
  EXPECT_STREQ(user, "");
  EXPECT_STREQ(password, "");
  std::string longName(45, 'u');
  driver.expect_dialog(17, [&](TDialog& d) {
    Pilot p(d);
    p.set_text(101, longName);
    p.type(102, "pw");
    p.click(IDOK);
  });
  TGetNetLogin dlg(nullptr, user, password);
  EXPECT_EQ(dlg.Execute(), IDOK);
  EXPECT_EQ(std::string(user), longName.substr(0, 39));
  EXPECT_STREQ(password, "pw");
}

}  // namespace
