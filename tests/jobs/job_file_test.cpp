// The job-file editor: reading a file, editing lines in place, include
// lines, inserting blocks and the bytes of the saved file.
#include "dnc/job_dialogs.h"
#include "platform/file.h"
#include "platform/msgbox.h"
#include "platform/ui/filedlg.h"
#include "resources/dialogs/jobs.h"
#include "tests/jobs/job_fixture.h"

namespace {

using kvjobs::JobDialogTest;
using plat::Pilot;

class JobFileTest : public JobDialogTest {
 protected:
  std::string File(const char* name) const { return Root() + "/" + name; }
};

TEST_F(JobFileTest, EditsLinesAndSavesWithoutAFinalLineEnd) {
  std::string path = File("JOB1.JOB");
  std::string longLine(700, 'X');  // longer than any fixed line buffer
  kvdb::WriteFileBytes(path, "; comment\r\n#C:\\NC\\P100\r\nM30\n" + longLine);
  plat::GTestUiDriver driver;
  driver.expect_dialog(IDD_JOB_FILE, [&](TDialog& d) {
    Pilot p(d);
    EXPECT_EQ(p.text(IDC_JOB_FILE_SAVE), "&Save it...");
    ASSERT_EQ(p.lines(IDC_JOB_FILE_LINES), (std::vector<std::string>{"; comment", "#C:\\NC\\P100", "M30", longLine}));
    // An include line is not edited in place.
    p.select(IDC_JOB_FILE_LINES, 1);
    EXPECT_EQ(p.text(IDC_JOB_FILE_LINE), "");
    EXPECT_FALSE(p.enabled(IDC_JOB_FILE_LINE));
    EXPECT_FALSE(p.click(IDC_JOB_FILE_REPLACE));
    p.select(IDC_JOB_FILE_LINES, 2);
    EXPECT_TRUE(p.enabled(IDC_JOB_FILE_LINE));
    EXPECT_EQ(p.text(IDC_JOB_FILE_LINE), "M30");
    p.set_text(IDC_JOB_FILE_LINE, "M02");
    p.click(IDC_JOB_FILE_REPLACE);
    EXPECT_EQ(p.lines(IDC_JOB_FILE_LINES)[2], "M02");
    EXPECT_EQ(p.selection(IDC_JOB_FILE_LINES), 2);
    // "<<" inserts the block after the selected line; an empty block is
    // one empty line.
    p.set_text(IDC_JOB_FILE_TEXT, "G90\r\nG0 X0");
    p.click(IDC_JOB_FILE_INSERT);
    p.select(IDC_JOB_FILE_LINES, 0);
    p.set_text(IDC_JOB_FILE_TEXT, "");
    p.click(IDC_JOB_FILE_INSERT);
    p.select(IDC_JOB_FILE_LINES, 1);  // the empty line
    p.click(IDC_JOB_FILE_REMOVE);      // ">>" removes it
    ASSERT_EQ(p.lines(IDC_JOB_FILE_LINES),
              (std::vector<std::string>{"; comment", "#C:\\NC\\P100", "M02", "G90", "G0 X0", longLine}));
    driver.expect_dialog("TFileOpenDialog", [](TDialog& f) {
      static_cast<TOpenSaveDialog&>(f).Choose("C:\\NC\\P101");
    });
    p.select(IDC_JOB_FILE_LINES, 4);
    p.click(IDC_JOB_FILE_ADD_FILE);
    p.click(IDC_JOB_FILE_SAVE);
    p.click(IDCANCEL);
  });
  TMakeJobFileDlg dlg(nullptr, path.c_str());
  dlg.Execute();
  std::string got = kvdb::ReadFileBytes(path);
  EXPECT_EQ(got, "; comment\r\n#C:\\NC\\P100\r\nM02\r\nG90\r\nG0 X0\r\n#C:\\NC\\P101\r\n" + longLine);
}

TEST_F(JobFileTest, NewFileAsksForItsNameAndThreeLinesHoldTwoLineEnds) {
  std::string path = File("NEW.JOB");
  plat::GTestUiDriver driver;
  driver.expect_dialog(IDD_JOB_FILE, [&](TDialog& d) {
    Pilot p(d);
    EXPECT_TRUE(p.lines(IDC_JOB_FILE_LINES).empty());
    for (const char* line : {"N1", "N2", "N3"}) {
      p.set_text(IDC_JOB_FILE_LINE, line);
      p.click(IDC_JOB_FILE_REPLACE);  // nothing selected: added at the end
    }
    driver.expect_dialog("TFileSaveDialog", [](TDialog& f) { f.CmCancel(); });
    p.click(IDC_JOB_FILE_SAVE);  // cancelled: nothing written
    EXPECT_FALSE(plat::file_exists(path));
    driver.expect_dialog("TFileSaveDialog", [&](TDialog& f) { static_cast<TOpenSaveDialog&>(f).Choose(path); });
    p.click(IDC_JOB_FILE_SAVE);
    p.click(IDC_JOB_FILE_SAVE);  // the name is kept: no second question
    p.click(IDCANCEL);
  });
  TMakeJobFileDlg dlg(nullptr, nullptr);
  dlg.Execute();
  EXPECT_EQ(kvdb::ReadFileBytes(path), "N1\r\nN2\r\nN3");
}

TEST_F(JobFileTest, FailuresAreToldAndAnUnreadFileIsNotOverwritten) {
  plat::GTestUiDriver driver;
  // A file that cannot be read: the editor says so and asks for a new name
  // when saving, so the list cannot cut the file.
  driver.expect_message_box(IDOK, "could not be read");
  driver.expect_dialog(IDD_JOB_FILE, [&](TDialog& d) {
    Pilot p(d);
    EXPECT_TRUE(p.lines(IDC_JOB_FILE_LINES).empty());
    p.set_text(IDC_JOB_FILE_LINE, "N1");
    p.click(IDC_JOB_FILE_REPLACE);
    driver.expect_dialog("TFileSaveDialog", [&](TDialog& f) {
      static_cast<TOpenSaveDialog&>(f).Choose(File("NODIR/X.JOB"));
    });
    driver.expect_message_box(IDOK, "could not be written");
    p.click(IDC_JOB_FILE_SAVE);
    p.click(IDCANCEL);
  });
  TMakeJobFileDlg dlg(nullptr, File("MISSING.JOB").c_str());
  dlg.Execute();
  EXPECT_FALSE(plat::file_exists(File("MISSING.JOB")));
}

}  // namespace
