// Shared set-up of the kept-program dialog tests: the log tests' scratch
// database with the three kept tables, two machines with directories of
// their own, and a directory holding the kept files.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "dbmodel/counter.h"
#include "dbmodel/customer.h"
#include "dbmodel/machine.h"
#include "dbmodel/project.h"
#include "platform/file.h"
#include "resources/dialogs/restore.h"
#include "storage/restore_dlg.h"
#include "tests/storage/log_fixture.h"

namespace kvrestore {

class RestoreTest : public kvlogs::LogTest {
 protected:
  void SetUp() override {
    LogTest::SetUp();
    Globals->LoadLogTexts(44, 0);
    Globals->SearchMode = 1;
    DbContext->lock_attempts = 2;
    for (const char* t : {"KELVDNCF.DBF", "KELVDNCT.DBF", "KELVAUTO.DBF"}) CreateTable<TcbFileTable>(t);
    CreateTable<TcbMachTable>("KELVMA.DBF");
    CreateTable<TcbAdvCustTable>("KELVCUS2.DBF");
    CreateTable<TcbProTable>("KELVPRO.DBF");
    for (const char* d : {"mill1", "lathe", "kept"}) std::filesystem::create_directories(Root() + "/" + d);
    TcbMachTable t("KELVMA.DBF", 0, 0);
    EXPECT_TRUE(t.Add("MILL1", 5, "mill", Dir("mill1").c_str(), 0));
    EXPECT_TRUE(t.Add("LATHE", 6, "lathe", Dir("lathe").c_str(), 0));
    mill = t.ExistsByName("MILL1");
    lathe = t.ExistsByName("LATHE");
  }
  void TearDown() override {
    plat::set_write_fault("", 0);
    LogTest::TearDown();
  }

  // A directory under the scratch root in the stations' form.
  std::string Dir(const std::string& name) const { return Root() + "/" + name + "\\"; }
  std::string PathIn(const std::string& dir, const std::string& file) const {
    return Root() + "/" + dir + "/" + file;
  }

  // A kept row "F<ncid>.NC" in the kept directory holding `text` (no file
  // when text is null).
  void AddKept(const char* table, long ncid, const char* desc, long machine, const char* text,
               const char* machineName = "MILL1", long customer = 0, long project = 0) {
    std::string name = "F" + std::to_string(ncid);
    if (text) kvdb::WriteFileBytes(PathIn("kept", name + ".NC"), text);
    TcbFileRecord r;
    r.NCID = ncid;
    r.LONG1 = 0;
    r.MID = machine;
    r.MAT = machine == mill ? 5 : 6;
    r.CUST = customer;
    r.PROJECT = project;
    r.LOCK = 0;
    CopyCut(r.DESC, sizeof r.DESC, desc);
    CopyCut(r.CHAR3, sizeof r.CHAR3, "RECEIVED");
    CopyCut(r.PART, sizeof r.PART, "PART-1");
    CopyCut(r.DRAW, sizeof r.DRAW, "DRW-1");
    CopyCut(r.MACHINE, sizeof r.MACHINE, machineName);
    CopyCut(r.DIR, sizeof r.DIR, Dir("kept").c_str());
    CopyCut(r.NAME, sizeof r.NAME, name.c_str());
    CopyCut(r.EXT, sizeof r.EXT, "NC");
    TcbFileTable t(table, 0, 0);
    ASSERT_EQ(t.Append(&r), 1);
  }

  // Opens the dialog as its command does, on every row of its table, and
  // lets `answer` act on it; false when the table held no row.
  template <class Dialog>
  bool Run(const char* table, const std::function<void(plat::Pilot&, TKeptProgramsDlg&)>& answer) {
    TcbFileRecord* rows;
    {
      TcbFileTable t(table, 0, 0);
      rows = t.ReadAll(1);
    }
    if (!rows) return false;
    driver.expect_dialog(IDD_KEPT_PROGRAMS, [&](TDialog& d) {
      plat::Pilot p(d);
      answer(p, static_cast<TKeptProgramsDlg&>(d));
      p.press_escape();
    });
    Dialog dlg(nullptr, rows);
    dlg.Execute();
    driver.pump();
    return true;
  }
  bool RunFail(const std::function<void(plat::Pilot&, TKeptProgramsDlg&)>& answer) {
    return Run<TRestoreDncFail>("KELVDNCF.DBF", answer);
  }

  // The next program id the counter will hand out.
  long PeekProgramId() { return NextProgramId() + 1; }

  plat::GTestUiDriver driver;
  long mill = 0, lathe = 0;
};

}  // namespace kvrestore
