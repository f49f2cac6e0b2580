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
#include "resources/dialogs/netlogon.h"
#include "resources/dialogs/profile.h"
#include "tests/app/users_fixture.h"
#include "platform/ui/ctlcolor.h"

namespace {

using kvusers::UsersTest;
using plat::Pilot;
namespace fs = std::filesystem;

constexpr int kDirEdits[8] = {IDC_SELECT_DB_DATABASE, IDC_SELECT_DB_BACKUP,  IDC_SELECT_DB_PICTURES,
                              IDC_SELECT_DB_VIDEO,    IDC_SELECT_DB_IMPORT,  IDC_SELECT_DB_EXPORT,
                              IDC_SELECT_DB_DNC_FAIL, IDC_SELECT_DB_DNC_TEMP};

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
    auto lines = p.lines(IDC_SELECT_DB_PROFILES);
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
  driver.expect_dialog(IDD_SELECT_DB, [](TDialog& d) {
    Pilot p(d);
    EXPECT_EQ(p.text(IDC_SELECT_DB_NAME), "Local Database");
    p.click(IDCANCEL);
  });
  EXPECT_EQ(Run(), IDCANCEL);
  EXPECT_EQ(Globals->DatabaseDir, dbBefore_);
}

TEST_F(ProfileTest, NewProfileModeAddsWithTheStoredDirectoryForms) {
  plat::GTestUiDriver driver;
  driver.expect_dialog(IDD_SELECT_DB, [&](TDialog& d) {
    Pilot p(d);
    auto browsing = [&] {
      for (int id : {IDOK, IDC_SELECT_DB_NEW, IDC_SELECT_DB_DELETE, IDC_SELECT_DB_MODIFY})
        EXPECT_TRUE(p.visible(id)) << id;
      EXPECT_FALSE(p.visible(IDC_SELECT_DB_APPEND));
      EXPECT_TRUE(p.control(IDC_SELECT_DB_NAME)->GetStyle() & ES_READONLY);
    };
    browsing();
    EXPECT_FALSE(p.visible(IDC_SELECT_DB_CANCEL_NEW));
    p.click(IDC_SELECT_DB_NEW);
    for (int id : {IDC_SELECT_DB_APPEND, IDC_SELECT_DB_CANCEL_NEW}) EXPECT_TRUE(p.visible(id)) << id;
    for (int id : {IDOK, IDC_SELECT_DB_NEW, IDC_SELECT_DB_DELETE, IDC_SELECT_DB_MODIFY})
      EXPECT_FALSE(p.visible(id)) << id;
    EXPECT_TRUE(p.focused(IDC_SELECT_DB_NAME));
    EXPECT_EQ(p.text(IDC_SELECT_DB_DATABASE), "");
    p.click(IDC_SELECT_DB_CANCEL_NEW);
    browsing();
    EXPECT_EQ(p.text(IDC_SELECT_DB_DATABASE), Default("DB31\\"));

    p.click(IDC_SELECT_DB_NEW);
    p.type(IDC_SELECT_DB_NAME, "Plant 2");
    // Every directory must be given, in order; the focus shows the first gap.
    const char* dirs[8] = {"N:\\DB", "N:\\BAK", "N:\\PIC\\", "N:\\VID\\", "N:\\IMP\\", "N:\\EXP", "N:\\FAIL", "N:\\TMP"};
    for (int i = 0; i < 8; i++) {
      p.click(IDC_SELECT_DB_APPEND);
      EXPECT_TRUE(p.focused(kDirEdits[i])) << i;
      p.set_text(kDirEdits[i], dirs[i]);
    }
    p.click(IDC_SELECT_DB_LAN_MANAGER);
    p.type(IDC_SELECT_DB_SERVER, "srv1");
    p.click(IDC_SELECT_DB_APPEND);
    ASSERT_EQ(p.lines(IDC_SELECT_DB_PROFILES).size(), 2u);
    browsing();
    p.select(IDC_SELECT_DB_PROFILES, LineOf(p, "PLANT 2"));
    EXPECT_EQ(p.text(IDC_SELECT_DB_BACKUP), "N:\\BAK\\");
    EXPECT_EQ(p.text(IDC_SELECT_DB_IMPORT), "N:\\IMP");
    EXPECT_EQ(p.text(IDC_SELECT_DB_SERVER), "SRV1");
    EXPECT_FALSE(p.checked(IDC_SELECT_DB_DEFAULT));
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
  driver.expect_dialog(IDD_SELECT_DB, [&](TDialog& d) {
    Pilot p(d);
    ASSERT_EQ(p.lines(IDC_SELECT_DB_PROFILES).size(), 2u);
    p.select(IDC_SELECT_DB_PROFILES, LineOf(p, "Local Database"));
    EXPECT_TRUE(p.checked(IDC_SELECT_DB_DEFAULT));
    p.click(IDC_SELECT_DB_DEFAULT);
    EXPECT_TRUE(p.checked(IDC_SELECT_DB_DEFAULT));
    p.click(IDC_SELECT_DB_DELETE);
    EXPECT_EQ(p.lines(IDC_SELECT_DB_PROFILES).size(), 2u);
    p.select(IDC_SELECT_DB_PROFILES, LineOf(p, "PLANT"));
    EXPECT_FALSE(p.checked(IDC_SELECT_DB_DEFAULT));
    p.click(IDC_SELECT_DB_DEFAULT);
    EXPECT_TRUE(p.checked(IDC_SELECT_DB_DEFAULT));
    p.select(IDC_SELECT_DB_PROFILES, LineOf(p, "Local Database"));
    EXPECT_FALSE(p.checked(IDC_SELECT_DB_DEFAULT));
    p.select(IDC_SELECT_DB_PROFILES, LineOf(p, "PLANT"));
    p.click(IDC_SELECT_DB_DELETE);
    EXPECT_EQ(p.lines(IDC_SELECT_DB_PROFILES).size(), 1u);
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
    driver.expect_dialog(IDD_SELECT_DB, [&](TDialog& d) {
      Pilot p(d);
      for (int id = IDC_SELECT_DB_NAME; id <= IDC_SELECT_DB_DRIVE; id++) {
        if (p.control(id)) {
          EXPECT_EQ(p.enabled(id), admin == 1) << id;
        }
      }
      for (int id = IDC_SELECT_DB_DATABASE_BROWSE; id <= IDC_SELECT_DB_DNC_TEMP_BROWSE; id++)
        EXPECT_EQ(p.enabled(id), admin == 1) << id;
      for (int id : {IDC_SELECT_DB_PROFILES, IDOK, IDCANCEL}) EXPECT_TRUE(p.enabled(id)) << id;
      // The colours a paint of each control asks its dialog for.
      TClientDC dc(d.GetHandle());
      plat::ControlColors edit = plat::ask_control_colors(p.control(IDC_SELECT_DB_DATABASE)->GetHandle(), dc);
      EXPECT_EQ(edit.text, admin ? RGB(0, 0, 0) : RGB(255, 0, 0));
      EXPECT_EQ(edit.back, RGB(255, 255, 255));
      EXPECT_TRUE(edit.fromParent);
      plat::ControlColors list = plat::ask_control_colors(p.control(IDC_SELECT_DB_PROFILES)->GetHandle(), dc);
      EXPECT_EQ(list.text, admin ? RGB(0, 0, 0) : RGB(255, 255, 255));
      EXPECT_EQ(list.back, admin ? RGB(255, 255, 255) : RGB(0, 128, 128));
      EXPECT_EQ(list.brush, admin ? RGB(255, 255, 255) : RGB(0, 128, 128));
      EXPECT_FALSE(plat::ask_control_colors(p.control(IDOK)->GetHandle(), dc).fromParent);
      // Without the print plug-in a directory button changes nothing.
      if (admin) {
        std::string before = p.text(IDC_SELECT_DB_DATABASE);
        p.click(IDC_SELECT_DB_DATABASE_BROWSE);
        EXPECT_EQ(p.text(IDC_SELECT_DB_DATABASE), before);
      }
      p.double_click(IDC_SELECT_DB_PROFILES, 0);
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
  driver.expect_dialog(IDD_SELECT_DB, [&](TDialog& d) {
    Pilot p(d);
    p.select(IDC_SELECT_DB_PROFILES, LineOf(p, "PLANT"));
    driver.expect_message_box(IDOK, "Access denied to : \\\\SRV1\\DATA !");
    driver.expect_dialog(IDD_NET_LOGON, [](TDialog& n) { Pilot(n).click(IDCANCEL); });
    p.click(IDOK);
    EXPECT_FALSE(static_cast<TSelectDb&>(d).HasEnded());
    EXPECT_EQ(Globals->DatabaseDir, dbBefore_);
    // The share appears while the user types the logon: the retry connects.
    driver.expect_message_box(IDOK, "Access denied");
    driver.expect_dialog(IDD_NET_LOGON, [&](TDialog& n) {
      fs::create_directories(Root() + "/net/srv1/data/DB");
      Pilot q(n);
      q.type(IDC_NET_LOGON_USER, "operator");
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
  driver.expect_dialog(IDD_SELECT_DB, [&](TDialog& d) {
    Pilot p(d);
    p.select(IDC_SELECT_DB_PROFILES, LineOf(p, "NETWARE"));
    EXPECT_FALSE(p.visible(IDC_SELECT_DB_DRIVE));  // NetWare: two command lines, no drive
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
    driver.expect_dialog(IDD_SELECT_DB, [&](TDialog& d) {
      Pilot p(d);
      p.select(IDC_SELECT_DB_PROFILES, LineOf(p, "PLANT"));
      p.set_text(IDC_SELECT_DB_DATABASE, "C:\\SECOND");
      p.click(IDC_SELECT_DB_MODIFY);
      p.click(IDCANCEL);
    });
    TSelectDb dlg(nullptr);
    dlg.Execute();
    return failed ? 1 : 0;
  });
  ASSERT_EQ(status, 0);
  plat::GTestUiDriver driver;
  driver.expect_dialog(IDD_SELECT_DB, [&](TDialog& d) {
    Pilot p(d);
    p.select(IDC_SELECT_DB_PROFILES, LineOf(p, "PLANT"));
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
  driver.expect_dialog(IDD_NET_LOGON, [](TDialog& d) { Pilot(d).click(IDOK); });
  {
    TGetNetLogin dlg(nullptr, user, password);
    EXPECT_EQ(dlg.Execute(), IDOK);
  }
  EXPECT_STREQ(user, "");
  EXPECT_STREQ(password, "");
  std::string longName(45, 'u');
  driver.expect_dialog(IDD_NET_LOGON, [&](TDialog& d) {
    Pilot p(d);
    p.set_text(IDC_NET_LOGON_USER, longName);
    p.type(IDC_NET_LOGON_PASSWORD, "pw");
    p.click(IDOK);
  });
  TGetNetLogin dlg(nullptr, user, password);
  EXPECT_EQ(dlg.Execute(), IDOK);
  EXPECT_EQ(std::string(user), longName.substr(0, 39));
  EXPECT_STREQ(password, "pw");
}

}  // namespace
