// The editor window's compare command and its VurErad import.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <utility>

#include "app/plugin_calls.h"
#include "editor/compare_dlg.h"
#include "platform/plugin.h"
#include "platform/sysinfo.h"
#include "platform/ui/filedlg.h"
#include "platform/file.h"
#include "platform/path.h"
#include "resources/dialogs/compare.h"
#include "resources/menus/editor.h"
#include "storage/program_lock.h"
#include "tests/editor/editor_fixture.h"

namespace {

using kveditor::EditorTest;

class DocCommandsTest : public EditorTest {
 protected:
  void TearDown() override {
    SetProgramChooser(nullptr);
    plat::set_plugin_dir("");
    EditorTest::TearDown();
  }
  void ChooseFile(const std::string& path) {
    driver.expect_dialog("TFileOpenDialog",
                         [path](TDialog& d) { static_cast<TOpenSaveDialog&>(d).Choose(path.c_str()); });
  }
  static bool IsModifiedText(TChildFrame* f) { return f->IsModified(); }
  static std::vector<std::string> Items(TDialog& d, int id) {
    auto* list = static_cast<TFileDisplayList*>(d.ChildWithId(id));
    std::vector<std::string> r;
    for (int i = 0; i < list->GetCount(); ++i) r.emplace_back(reinterpret_cast<const char*>(list->GetItemData(i)));
    return r;
  }
};

TEST_F(DocCommandsTest, CompareShowsTheStoredFilesOfBothProgramsUnderTheirNames) {
  Globals->HookDir = "C:\\HOOKS\\";
  plat::set_plugin_dir(KV_TELMIX_DIR);
  AddMillProgram(1, "N10 G0\r\nN20 X1\r\n");
  AddMillProgram(2, "N10 G0\r\nN30 Y1\r\n");
  TChildFrame* f = Open(1);
  // Without the program search there is nothing to choose from.
  EXPECT_FALSE(Enabled(f, kCmCompare));
  int asked = 0;
  SetProgramChooser([&](TWindow*) {
    ++asked;
    return 2L;
  });
  EXPECT_TRUE(Enabled(f, kCmCompare));
  // Typed but not saved: the stored text is compared.
  Type(f, "N5 M0\r\n");
  std::vector<std::string> left, right;
  driver.expect_dialog(IDD_COMPARE, [&](TDialog& d) {
    plat::Pilot p(d);
    EXPECT_EQ(p.text(IDC_COMPARE_NEW_TITLE), "PRG1");
    EXPECT_EQ(p.text(IDC_COMPARE_OLD_TITLE), "PRG2");
    left = Items(d, IDC_COMPARE_NEW_LIST);
    right = Items(d, IDC_COMPARE_OLD_LIST);
    d.CmCancel();
  });
  Command(f, kCmCompare);
  EXPECT_EQ(asked, 1);
  ASSERT_FALSE(left.empty());
  EXPECT_EQ(left[0], "0@@N10 G0");
  EXPECT_EQ(right[0], "0@@N10 G0");
  EXPECT_EQ(std::count(left.begin(), left.end(), "0@@N5 M0"), 0);
  // No choice, an unknown program, or a window without program: no
  // compare window; a program id left over from elsewhere is not taken.
  Globals->CurrentProgramId = 2;
  for (long id : {0L, 99L}) {
    SetProgramChooser([id](TWindow*) { return id; });
    Command(f, kCmCompare);
  }
  Globals->CurrentProgramId = 0;
  TChildFrame* empty = Open(0, 1);
  Command(empty, kCmCompare);
  EXPECT_EQ(driver.dialogs_shown().size(), 1u);
  driver.expect_message_box(IDNO, "changed");
  EXPECT_TRUE(Close(f));
}

TEST_F(DocCommandsTest, VurEradImportLoadsTheTapeTextWithoutAFileName) {
  std::string image(250, 'H');
  std::string mark = "TAPE", data = "G0 X1";
  mark.resize(128, '\0');
  data.resize(128, ' ');
  kvdb::WriteFileBytes(Root() + "/PROG.VUR", image + mark + data);
  kvdb::WriteFileBytes(Root() + "/PLAIN.NC", image + data + mark);
  TChildFrame* f = Open(0);
  EXPECT_TRUE(Enabled(f, kCmImportMazakVurErad));
  EXPECT_FALSE(Enabled(f, kCmExportMazakVurErad));
  Type(f, "O1\r\n");
  // Not a tape image: told, the text as it was.
  ChooseFile(Root() + "/PLAIN.NC");
  driver.expect_message_box(IDOK, "not a Mazak VurErad program");
  Command(f, kCmImportMazakVurErad);
  EXPECT_EQ(Text(f), "O1\r\n");
  // Cancelled: nothing changes.
  driver.expect_dialog("TFileOpenDialog", [](TDialog& d) { d.CmCancel(); });
  Command(f, kCmImportMazakVurErad);
  EXPECT_EQ(Text(f), "O1\r\n");
  ChooseFile(Root() + "/PROG.VUR");
  Command(f, kCmImportMazakVurErad);
  EXPECT_EQ(Text(f), "[TAPEMARK-0]\r\n_" + data + "_80_\r\n");
  EXPECT_EQ(f->FileName(), "");
  EXPECT_EQ(ReadFile(Root() + "/temp/MZIMPORT.TMP"), Text(f));
  // A result that cannot be written is told; the text stays.
  std::filesystem::remove_all(Root() + "/temp");
  ChooseFile(Root() + "/PROG.VUR");
  driver.expect_message_box(IDOK, "could not be written");
  Command(f, kCmImportMazakVurErad);
  EXPECT_EQ(Text(f), "[TAPEMARK-0]\r\n_" + data + "_80_\r\n");
}

class PluginCommandsTest : public DocCommandsTest {
 protected:
  void SetUp() override {
    DocCommandsTest::SetUp();
    Globals->HookDir = "C:\\HOOKS\\";
    plat::set_plugin_dir(KV_HOOKS_DIR);
    // The memo file lies in the system directory of drive C: one of this
    // test's own, as tests run side by side.
    plat::set_drive_root('C', Root() + "/c");
    std::filesystem::create_directories(plat::to_native_path(plat::system_directory()));
    dump = Root() + "/block.txt";
    setenv("KV_HOOK_DUMP", dump.c_str(), 1);
    AddMillProgram(1, "N10 G0\r\nN20 X1\r\n");
  }
  void TearDown() override {
    for (const char* v : {"KV_HOOK_DUMP", "KV_MEMO_FILE", "KV_MEMO_APPEND"}) unsetenv(v);
    plat::set_write_fault("", 0);
    plat::set_drive_root('C', "");
    DocCommandsTest::TearDown();
  }
  std::vector<std::string> Block() {
    std::vector<std::string> lines;
    std::string all = ReadFile(dump), line;
    for (char c : all)
      if (c == '\n') lines.push_back(std::exchange(line, {}));
      else line += c;
    return lines;
  }
  static std::string MemoFile(TChildFrame*) { return plat::to_native_path(MemoFilePath()); }
  // The memo editor adds more to the memo file of the window.
  void EditMemo(TChildFrame* f, const char* more) {
    setenv("KV_MEMO_FILE", MemoFile(f).c_str(), 1);
    setenv("KV_MEMO_APPEND", more, 1);
  }
  std::string dump;
};

TEST_F(PluginCommandsTest, PicturesAndPrintHandTheirPlugInsTheProgramsBlock) {
  Globals->PicturesDir = "C:\\PICS\\";
  Globals->ImportDir = "C:\\IMPORT\\";
  Globals->PrintTexts.Set(1, "Part list");
  Globals->PrintTexts.Set(20, "Page");
  Globals->RightsMask = 0x20;
  TChildFrame* f = Open(1);
  std::string cwd = std::filesystem::current_path().string();
  ASSERT_TRUE(Enabled(f, kCmPictures));
  Command(f, kCmPictures);
  std::vector<std::string> expected = {"1", "PRG1", "", "", "", "", "", "DMU50", "C:\\PICS\\", "C:\\IMPORT\\",
                                       "null", "Part list", "null", "null", "null", "null", "null", "Page"};
  EXPECT_EQ(Block(), expected);
  EXPECT_EQ(std::filesystem::current_path().string(), cwd);
  // The print plug-in gets the line count and the file the text went to.
  Type(f, "N5 M0\r\n");
  Command(f, kCmFormattedPrint);
  expected[0] = "4";
  expected[8] = Globals->TempDir + "TEMPFILE.PRN";
  EXPECT_EQ(Block(), expected);
  EXPECT_EQ(ReadFile(Root() + "/temp/TEMPFILE.PRN"), "N5 M0\r\nN10 G0\r\nN20 X1\r\n");
  EXPECT_TRUE(IsModifiedText(f)) << "printing saves nothing";
  // Without the plug-ins: told, nothing else.
  plat::set_plugin_dir(Root());
  std::filesystem::remove(dump);
  driver.expect_message_box(IDOK, "Load of ROSVAN.DLL failed");
  Command(f, kCmPictures);
  driver.expect_message_box(IDOK, "Load of BRENTIX.DLL failed");
  Command(f, kCmFormattedPrint);
  EXPECT_FALSE(std::filesystem::exists(dump));
  // Rights, and a window without program; the DNC send stays grey, the
  // setup sheets open for a program.
  Globals->RightsMask = 0;
  EXPECT_FALSE(Enabled(f, kCmPictures));
  EXPECT_TRUE(Enabled(f, kCmMemorandum));
  TChildFrame* none = Open(0, 1);
  for (UINT id : {550u, 551u, 9800u}) EXPECT_FALSE(Enabled(none, id)) << id;
  Globals->RightsMask = 0xFFFFFFFF;
  EXPECT_FALSE(Enabled(f, kCmDncSend));
  EXPECT_FALSE(Enabled(none, kCmSetupSheets));
  for (UINT id : {115u, 552u, 554u}) EXPECT_TRUE(Enabled(f, id)) << id;
  driver.expect_message_box(IDNO, "changed");
  EXPECT_TRUE(Close(f));
}

TEST_F(PluginCommandsTest, MemoIsEditedWholeAndStoredOnlyWithTheRight) {
  Globals->RightsMask = 0x10;
  SetMemo(1, "Clamp at the left");
  // A long memo is neither cut on the way out nor on the way back.
  std::string longMemo(50000, 'm');
  AddMillProgram(2, "N1\r\n");
  SetMemo(2, longMemo.c_str());
  AddMillProgram(3, "N1\r\n");
  SetMemo(3, "Kept");
  TChildFrame* f = Open(1);
  EditMemo(f, " side");
  Command(f, kCmMemorandum);
  EXPECT_EQ(Memo(1), "Clamp at the left side");
  EXPECT_EQ(ReadFile(MemoFile(f)), "Clamp at the left side");
  ASSERT_TRUE(f->Program());
  EXPECT_EQ(f->Program()->NCID, 1);
  EXPECT_STREQ(f->Program()->MEMOSTR, "Clamp at the left side");
  EXPECT_EQ(CanLockProgram(1, 0), -1) << "the window holds its program again";
  TChildFrame* g = Open(2, 1);
  EditMemo(g, "!");
  Command(g, kCmMemorandum);
  EXPECT_TRUE(Memo(2) == longMemo + "!") << Memo(2).size();
  // Without the right the memo is shown but never stored.
  Globals->RightsMask = 0;
  TChildFrame* h = Open(3, 2);
  EditMemo(h, " changed");
  Command(h, kCmMemorandum);
  EXPECT_EQ(ReadFile(MemoFile(h)), "Kept changed");
  EXPECT_EQ(Memo(3), "Kept");
}

TEST_F(PluginCommandsTest, ANewMemoStartsFromTheTemplateOrEmptyAndFailuresAreTold) {
  Globals->RightsMask = 0x10;
  kvdb::WriteFileBytes(Root() + "/cfg/MEMO.TPL", "Setup:");
  Globals->MemoTemplate = HeapText("MEMO.TPL");
  TChildFrame* f = Open(1);
  EditMemo(f, " vice");
  Command(f, kCmMemorandum);
  EXPECT_EQ(Memo(1), "Setup: vice");
  AddMillProgram(2, "N1\r\n");
  TChildFrame* g = Open(2, 1);
  Globals->MemoTemplate = HeapText();
  EditMemo(g, "First note");
  Command(g, kCmMemorandum);
  EXPECT_EQ(Memo(2), "First note");
  // A memo that cannot be written back is told; the old one stays.
  plat::set_write_fault("KELVFILE.DBT", 0);
  EditMemo(g, " lost?");
  driver.expect_message_box(IDOK, "KELVFILE.DBT");
  driver.expect_message_box(IDOK, "could not be stored");
  Command(g, kCmMemorandum);
  plat::set_write_fault("", 0);
  EXPECT_EQ(Memo(2), "First note");
  // Without the memo editor: told, nothing stored.
  plat::set_plugin_dir(Root());
  driver.expect_message_box(IDOK, "Load of RICHEDIT.DLL failed");
  Command(g, kCmMemorandum);
  EXPECT_EQ(Memo(2), "First note");
}

}  // namespace
