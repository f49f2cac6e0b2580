// The file commands of an editor window: Save As into a new or an existing
// program, Import and Export, Append and Insert File through the window's
// scratch files, and what a file that cannot be read or written does.
#include "editor/text_files.h"
#include "platform/file.h"
#include "platform/ui/filedlg.h"
#include "resources/dialogs/editor.h"
#include "resources/menus/editor.h"
#include "storage/program_lock.h"
#include "tests/editor/editor_fixture.h"

namespace {

using kveditor::EditorTest;
using plat::Pilot;

class FileCommandsTest : public EditorTest {
 protected:
  void ChooseFile(const std::string& path, bool save = false) {
    driver.expect_dialog(save ? "TFileSaveDialog" : "TFileOpenDialog",
                         [path](TDialog& d) { static_cast<TOpenSaveDialog&>(d).Choose(path.c_str()); });
  }
  std::string Plain(const std::string& name, const std::string& text) {
    std::string p = Root() + "/" + name;
    kvdb::WriteFileBytes(p, text);
    return p;
  }
};

TEST_F(FileCommandsTest, SaveAsFilesTheTextAsANewProgramWithoutAskingForALogEntry) {
  Globals->AlwaysDoLog = 1;
  Globals->CurrentMachineId = static_cast<int>(mill);
  TChildFrame* f = Open(0);
  Type(f, "O77\r\n");
  driver.expect_dialog(IDD_SAVE_PROGRAM, [](TDialog& d) {
    Pilot p(d);
    p.set_text(IDC_SAVE_PROGRAM_ID, "NEW ONE");
    p.click(IDOK);
  });
  Command(f, kCmFileSave);  // Save without a program is Save As
  ASSERT_NE(f->Program(), nullptr);
  long id = f->Program()->NCID;
  EXPECT_EQ(f->GetText(), "NEW ONE");
  EXPECT_EQ(ReadFile(MachPath("P" + std::to_string(id) + ".NC")), "O77\r\n");
  EXPECT_EQ(PeerRows(DbPath("LOG00000.DBF"), "TYPE"), (std::vector<std::string>{"TYPE=7", "TYPE=24"}));
  EXPECT_EQ(CanLockProgram(id, 0), -1);
  EXPECT_FALSE(Enabled(f, kCmFileSave));
  EXPECT_TRUE(Close(f));
  EXPECT_GE(CanLockProgram(id, 0), 1);
}

TEST_F(FileCommandsTest, SaveAsIntoAProgramOpenElsewhereKeepsTheWindowsOwnProgram) {
  AddMillProgram(40, "O40\r\n");
  AddMillProgram(41, "O41\r\n");
  TChildFrame* other = Open(41, 1);
  TChildFrame* f = Open(40);
  Type(f, "N1\r\n");
  driver.expect_dialog(IDD_SAVE_PROGRAM, [&](TDialog& d) {
    Pilot p(d);
    p.set_text(IDC_SAVE_PROGRAM_ID, "PRG41");
    driver.expect_message_box(IDYES, "exists already");
    p.click(IDOK);
    driver.expect_message_box(IDOK, "open in an editor");
  });
  Command(f, kCmFileSaveAs);
  EXPECT_EQ(f->Program()->NCID, 40);
  EXPECT_EQ(ReadFile(MachPath("P41.NC")), "O41\r\n");
  EXPECT_EQ(CanLockProgram(40, 0), -1);
  EXPECT_TRUE(Enabled(f, kCmFileSave));
  driver.expect_message_box(IDNO, "changed");
  EXPECT_TRUE(Close(f));
  EXPECT_TRUE(Close(other));
}

TEST_F(FileCommandsTest, ImportLoadsAFileAndExportWritesOneWithoutChangingTheWindow) {
  std::string in = Plain("IN.NC", "G1 X5\r\n");
  TChildFrame* f = Open(0);
  ChooseFile(in);
  Command(f, kCmEditorImport);
  EXPECT_EQ(Text(f), "G1 X5\r\n");
  EXPECT_EQ(f->FileName(), in);
  EXPECT_EQ(f->GetText(), in);
  EXPECT_FALSE(Enabled(f, kCmFileSave));
  Type(f, "M30\r\n");
  std::string out = Root() + "/OUT.NC";
  ChooseFile(out, true);
  Command(f, kCmEditorExport);
  EXPECT_EQ(ReadFile(out), "M30\r\nG1 X5\r\n");
  EXPECT_TRUE(Enabled(f, kCmFileSave));
  EXPECT_EQ(f->GetText(), in);
  // A file that cannot be read: told, the text as it was. Neither that nor
  // a cancelled choice makes the changed text look saved (Save stays on,
  // closing asks).
  ChooseFile(Root() + "/MISSING.NC");
  driver.expect_message_box(IDOK, "could not be read");
  Command(f, kCmEditorImport);
  EXPECT_EQ(Text(f), "M30\r\nG1 X5\r\n");
  EXPECT_TRUE(Enabled(f, kCmFileSave));
  driver.expect_dialog("TFileOpenDialog", [](TDialog& d) { d.CloseWindow(IDCANCEL); });
  Command(f, kCmEditorImport);
  EXPECT_TRUE(Enabled(f, kCmFileSave));
  driver.expect_message_box(IDNO, "changed");
  EXPECT_TRUE(Close(f));
}

TEST_F(FileCommandsTest, AppendAndInsertJoinTheTextsInTheWindowsScratchFiles) {
  std::string piece = Plain("PIECE.NC", "T1\r\n");
  struct Case {
    UINT command;
    long caretLine;
    const char* want;
  } cases[] = {{kCmAppendFile, 2, "A\r\nB\r\nC\r\nT1\r\n"},
               {kCmInsertFile, 3, "A\r\nB\r\nT1\r\nC\r\n"},
               {kCmInsertFile, 1, "T1\r\nA\r\nB\r\nC\r\n"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.want);
    TChildFrame* f = Open(0, 3);
    Type(f, "A\r\nB\r\nC\r\n");
    f->Edit()->SetCaretPos(c.caretLine, 0);
    ChooseFile(piece);
    Command(f, c.command);
    EXPECT_EQ(Text(f), c.want);
    EXPECT_TRUE(Enabled(f, kCmFileSave));
    EXPECT_TRUE(plat::file_exists(Globals->TempDir + "CRNF3.AF1"));
    driver.expect_message_box(IDNO, "changed");
    EXPECT_TRUE(Close(f));
  }
}

TEST_F(FileCommandsTest, AnInsertThatCannotReadOrWriteLeavesTheTextUnchanged) {
  TChildFrame* f = Open(0);
  Type(f, "A\r\nB\r\n");
  ChooseFile(Root() + "/MISSING.NC");
  driver.expect_message_box(IDOK, "could not be read");
  Command(f, kCmInsertFile);
  EXPECT_EQ(Text(f), "A\r\nB\r\n");
  // A cancelled choice deletes the scratch file.
  driver.expect_dialog("TFileOpenDialog", [](TDialog& d) { d.CmCancel(); });
  Command(f, kCmAppendFile);
  EXPECT_FALSE(plat::file_exists(Globals->TempDir + "CRNF0.AF1"));
  // No temporary directory: the text cannot be put aside.
  std::filesystem::remove_all(Root() + "/temp");
  driver.expect_message_box(IDOK, "working file could not be written");
  Command(f, kCmAppendFile);
  EXPECT_EQ(Text(f), "A\r\nB\r\n");
  driver.expect_message_box(IDNO, "changed");
  EXPECT_TRUE(Close(f));
}

TEST_F(FileCommandsTest, InsertingAtALineCountsLineFeeds) {
  std::string text = Plain("T.NC", "1\n2\n3\n4\n5\n"), insert = Plain("I.NC", "X\n");
  std::string out = Root() + "/O.NC";
  TFileError e;
  struct Case {
    long line;
    const char* want;
  } cases[] = {{3, "1\n2\nX\n3\n4\n5\n"}, {6, "1\n2\n3\n4\n5\nX\n"}, {9, "1\n2\n3\n4\n5\n"}};
  for (const Case& c : cases) {
    ASSERT_TRUE(InsertFileAtLine(out, text, insert, c.line, e));
    EXPECT_EQ(ReadFile(out), c.want) << c.line;
  }
  ASSERT_TRUE(JoinFiles(out, insert, text, e));
  EXPECT_EQ(ReadFile(out), "X\n1\n2\n3\n4\n5\n");
  EXPECT_FALSE(JoinFiles(out, Root() + "/none", text, e));
  EXPECT_TRUE(e.Reading);
  EXPECT_EQ(ReadFile(out), "X\n1\n2\n3\n4\n5\n");  // the old output stands
}

}  // namespace
