// The language dialog base, the status window of the database check, the
// shared file dialogs, the tool-bar bitmaps the build makes, and the demo
// station as an independent dBASE reader sees it.
#include <array>
#include <cstdio>
#include <memory>
#include <mutex>

#include "app/lang_dlg.h"
#include "app/status_dlg.h"
#include "appcore/message_ids.h"
#include "platform/ui/app_state.h"
#include "platform/ui/filedlg.h"
#include "platform/ui/gdi_bmp.h"
#include "platform/ui/gtest_driver.h"
#include "platform/ui/observer.h"
#include "tests/app/station.h"
#include "tests/support/run_command.h"

namespace {

namespace fs = std::filesystem;
using station::StationTest;

// The test's own templates: three texts, OK and a Cancel button of id 2;
// and a dialog whose second button is no Cancel button.
constexpr int kTextsDialog = 9910, kNoCancelDialog = 9911;
constexpr int kFirstText = 101, kSecondText = 102, kThirdText = 103, kOtherButton = 3, kNoControl = 999;

class TTextsDlg : public TLangDlg {
 public:
  TTextsDlg(int resId) : TLangDlg(nullptr, resId) {}
  void SetupWindow() override {
    TLangDlg::SetupWindow();
    SetItemTexts(kFirstText, 300, 3);
    SetCaptionText(2000);
    SetCaptionText(-1);
    SetItemText(kNoControl, 300);
  }
};

class DialogsTest : public StationTest {
 protected:
  void SetUp() override {
    StationTest::SetUp();
    std::string error;
    ASSERT_TRUE(plat::add_dialog_templates(
        "dialog 9910 \"Resource caption\" 0 0 200 80\n"
        "  ltext 101 \"one\" 4 4 60 8\n  ltext 102 \"two\" 4 14 60 8\n  ltext 103 \"three\" 4 24 60 8\n"
        "  defpushbutton 1 \"OK\" 10 60 40 14\n  pushbutton 2 \"Abbrechen\" 60 60 40 14\nend\n"
        "dialog 9911 \"No cancel\" 0 0 100 40\n  defpushbutton 1 \"OK\" 10 20 40 14\n"
        "  pushbutton 3 \"Abbrechen\" 55 20 40 14\nend\n",
        "dialogs test", &error))
        << error;
    LoadGlobals();
  }
};

TEST_F(DialogsTest, LanguageDialogCentresAndTakesTextsThatExist) {
  Globals->DialogTexts.Clear();
  Globals->DialogTexts.Set(300, "First");
  Globals->DialogTexts.Set(302, "Third");
  Globals->DialogTexts.Set(647, "Cancel");
  plat::GTestUiDriver driver;
  driver.expect_dialog(kTextsDialog, [](TDialog& d) {
    plat::Pilot p(d);
    EXPECT_EQ(p.text(kFirstText), "First");
    EXPECT_EQ(p.text(kSecondText), "two") << "no text 301: the resource's text stays";
    EXPECT_EQ(p.text(kThirdText), "Third");
    EXPECT_EQ(p.text(IDCANCEL), "Cancel");
    EXPECT_EQ(d.GetText(), "Resource caption");
    TRect r = d.GetWindowRect();
    EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - r.Width()) / 2);
    EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYSCREEN) - r.Height()) / 2);
    p.click(IDOK);
  });
  driver.expect_dialog(kNoCancelDialog, [](TDialog& d) {
    EXPECT_EQ(plat::Pilot(d).text(kOtherButton), "Abbrechen") << "only control 2 is the Cancel button";
    plat::Pilot(d).click(IDOK);
  });
  EXPECT_EQ(TTextsDlg(kTextsDialog).Execute(), IDOK);
  EXPECT_EQ(TTextsDlg(kNoCancelDialog).Execute(), IDOK);
}

HWND ParentOf(HWND h) {
  TWindow* w = plat::window_object(h);
  return w ? w->GetParent() : nullptr;
}

// Records every text the status line of a status window shows.
struct StatusLines : plat::UiObserver {
  std::mutex mu;
  std::vector<std::string> lines;
  void window_changed(HWND h) override {
    auto* dlg = dynamic_cast<TShowStatusDlg*>(plat::window_object(ParentOf(h)));
    if (!dlg || GetDlgCtrlID(h) != TShowStatusDlg::kTextId) return;
    // Read from the object: a message would report a change again.
    std::string text = plat::window_object(h)->GetText();
    std::lock_guard lock(mu);
    if (lines.empty() || lines.back() != text) lines.push_back(text);
  }
};

TEST_F(DialogsTest, DatabaseCheckShowsMessage125WithEachTableAndLeavesNoWindow) {
  StatusLines seen;
  plat::UiObserver* old = plat::set_ui_observer(&seen);
  size_t windows = plat::live_window_count();
  EXPECT_EQ(Globals->RebuildDatabase(), 1);
  plat::set_ui_observer(old);
  EXPECT_EQ(plat::live_window_count(), windows);
  ASSERT_GE(seen.lines.size(), 30u);
  EXPECT_EQ(seen.lines[0], "Checking the database files, please wait...");
  EXPECT_EQ(seen.lines[1], "Checking the database files, please wait... (KELVINDX.DBF)");
  EXPECT_EQ(seen.lines.back(), "Checking the database files, please wait... (LOG00003.DBF)");
  for (const std::string& l : seen.lines) EXPECT_LE(l.size(), 100u);

  Globals->MessageTexts.Clear();
  EXPECT_EQ(Globals->RebuildDatabase(), 1);
  EXPECT_STREQ(Globals->MessageTexts.Get(kMsgCheckingDatabase), "String with ID = 125 not present in MESSAGES.CFG");
}

TEST_F(DialogsTest, FileDialogsKeepTheChoiceAndItsDirectoryOnlyOnOk) {
  plat::set_current_directory("C:\\");
  Globals->LastDir = "C:\\KELVACFG\\IMPORT";
  Globals->StartFile.Set("C:\\BEFORE.NC");
  plat::GTestUiDriver driver;
  driver.expect_dialog("TFileOpenDialog", [](TDialog& d) {
    EXPECT_EQ(static_cast<TOpenSaveDialog&>(d).GetData().InitialDir, "C:\\KELVACFG\\IMPORT");
    d.CmCancel();
  });
  EXPECT_EQ(Globals->FileOpenDialog(nullptr, nullptr, 0), 0);
  EXPECT_STREQ(Globals->StartFile.c_str(), "C:\\BEFORE.NC");
  EXPECT_EQ(Globals->LastDir, "C:\\KELVACFG\\IMPORT");

  char dir[TGlobals::kDirBufferSize] = "C:\\KELVACFG\\EXPORT";
  driver.expect_dialog("TFileSaveDialog", [](TDialog& d) {
    auto& fd = static_cast<TOpenSaveDialog&>(d);
    EXPECT_EQ(fd.GetData().InitialDir, "C:\\KELVACFG\\EXPORT");
    EXPECT_EQ(fd.GetData().Filter, "NC programs (*.NC)|*.NC|");
    fd.Choose("C:\\KELVACFG\\TEMP\\OUT.NC");
  });
  Globals->FileData.Filter = "NC programs (*.NC)|*.NC|";
  EXPECT_EQ(Globals->FileSaveDialog(nullptr, dir, 1), 1);
  EXPECT_STREQ(Globals->StartFile.c_str(), "C:\\KELVACFG\\TEMP\\OUT.NC");
  EXPECT_STREQ(dir, "C:\\KELVACFG\\TEMP");
  EXPECT_EQ(Globals->LastDir, "C:\\KELVACFG\\TEMP");
}

TEST(ToolBarBitmaps, EveryButtonOfBothStationsHasAnImage) {
  plat::set_resource_dir(KV_BUILD_RESOURCES);
  for (int id : {1, 2, 107, 400, 24355, 25152, 25153}) {
    std::shared_ptr<plat::Image> img = plat::find_bitmap_resource(id);
    ASSERT_NE(img, nullptr) << "bitmap " << id;
    EXPECT_EQ(img->width, 16);
    EXPECT_EQ(img->height, 16);
    // Drawn, not a plain face: more than one colour.
    EXPECT_NE(std::count(img->px.begin(), img->px.end(), img->px[0]), static_cast<long>(img->px.size())) << id;
  }
}

TEST(DemoStation, IndependentReaderSeesTheDemoDataAndEveryProgramFileExists) {
  if (kvtest::run_command("/usr/bin/python3 -c 'import dbfread' 2>&1 && echo ok").find("ok") == std::string::npos)
    FAIL() << "python3-dbfread is not installed (deps/dbmodel.txt)";
  fs::path home = fs::temp_directory_path() / ("kvdemo_" + std::to_string(getpid()));
  fs::remove_all(home);
  std::string run = "'" KV_DEMO_DB_BIN "' '" KV_BUILD_RESOURCES "' '" + home.string() + "'";
  ASSERT_EQ(std::system((run + " >/dev/null").c_str()), 0);
  const std::string script =
      "import dbfread, os\n"
      "db = '" + (home / "c/KELVACFG/DB31").string() + "/'\n"
      "machines = {r['ID']: r for r in dbfread.DBF(db + 'KELVMA.DBF')}\n"
      "types = {r['ID'] for r in dbfread.DBF(db + 'KELVMT.DBF')}\n"
      "customers = {r['ID'] for r in dbfread.DBF(db + 'KELVCUS2.DBF')}\n"
      "projects = {r['ID']: r['CUST'] for r in dbfread.DBF(db + 'KELVPRO.DBF')}\n"
      "progs = list(dbfread.DBF(db + 'KELVFILE.DBF'))\n"
      "bad = 0\n"
      "for p in progs:\n"
      "  m = machines[p['MID']]\n"
      "  path = '" + (home / "c").string() + "/' + (p['DIR'] + p['NAME'] + '.' + p['EXT'])[3:].replace(chr(92), '/')\n"
      "  text = open(path).read()\n"
      "  ok = (p['DIR'] == m['PATH'] and p['MAT'] == m['TYPE'] in types and p['CUST'] in customers and\n"
      "        projects[p['PROJECT']] == p['CUST'] and p['NAME'] == 'P%d' % p['NCID'] and\n"
      "        ((text.startswith('%') and ('M06' in text or 'T0101' in text)) or\n"
      "         (text.startswith('0 BEGIN PGM') and 'TOOL CALL' in text)) and 'M30' in text)\n"
      "  bad += not ok\n"
      "print(len(types), len(customers), len(projects), len(machines), len(progs), bad)\n"
      "ids = {r['DESC']: r['NCID'] for r in progs}\n"
      "logtypes = {r['ID'] for r in dbfread.DBF(db + 'LOG00001.DBF')}\n"
      "criteria = [r['TYPE'] in logtypes for r in dbfread.DBF(db + 'LOG00004.DBF')]\n"
      "cycles = {r['ID']: r['CONN'] in types for r in dbfread.DBF(db + 'KELVCYC3.DBF')}\n"
      "params = [r for r in dbfread.DBF(db + 'KELVCYC4.DBF') if r['FLAG'] & 1 and cycles.get(r['OWNER'])]\n"
      "jobs = {r['ID']: r['MACH'] for r in dbfread.DBF(db + 'CJ000001.DBF')}\n"
      "lines = [machines[jobs[r['JOB']]]['ID'] == [p['MID'] for p in progs if p['NCID'] == r['PROG']][0]\n"
      "         for r in dbfread.DBF(db + 'CJ000002.DBF')]\n"
      "print(len(logtypes), criteria.count(True), len(cycles), len(params), len(jobs), lines.count(True))\n";
  std::ofstream(home / "check.py") << script;
  // Every program with its machine, type, customer and project; log
  // types with their criteria, cycles with their defined parameters, jobs
  // whose programs belong to the job's machine.
  EXPECT_EQ(kvtest::run_command("/usr/bin/python3 " + (home / "check.py").string() + " 2>&1"), "3 4 6 5 21 0\n3 9 3 16 2 5\n");
  EXPECT_NE(kvtest::run_command(run), "") << "a second run leaves the database alone";
  EXPECT_EQ(kvtest::run_command("/usr/bin/python3 -c \"import dbfread; print(len(dbfread.DBF('" +
                  (home / "c/KELVACFG/DB31/KELVFILE.DBF").string() + "')))\""),
            "21\n");
  std::error_code ec;
  fs::remove_all(home, ec);
}

}  // namespace
