// The job-file editor: reading a file, editing lines in place, include
// lines, inserting blocks and the bytes of the saved file.
#include "dnc/job_dialogs.h"
#include "platform/file.h"
#include "platform/msgbox.h"
#include "platform/ui/filedlg.h"
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
  driver.expect_dialog(35, [&](TDialog& d) {
    Pilot p(d);
    EXPECT_EQ(p.text(106), "&Save it...");
    ASSERT_EQ(p.lines(103), (std::vector<std::string>{"; comment", "#C:\\NC\\P100", "M30", longLine}));
    // An include line is not edited in place.
    p.select(103, 1);
    EXPECT_EQ(p.text(101), "");
    EXPECT_FALSE(p.enabled(101));
    EXPECT_FALSE(p.click(102));
    p.select(103, 2);
    EXPECT_TRUE(p.enabled(101));
    EXPECT_EQ(p.text(101), "M30");
    p.set_text(101, "M02");
    p.click(102);
    EXPECT_EQ(p.lines(103)[2], "M02");
    EXPECT_EQ(p.selection(103), 2);
    // "<<" inserts the block after the selected line; an empty block is
    // one empty line.
    p.set_text(108, "G90\r\nG0 X0");
    p.click(104);
    p.select(103, 0);
    p.set_text(108, "");
    p.click(104);
    p.select(103, 1);  // the empty line
    p.click(105);      // ">>" removes it
    ASSERT_EQ(p.lines(103),
              (std::vector<std::string>{"; comment", "#C:\\NC\\P100", "M02", "G90", "G0 X0", longLine}));
    driver.expect_dialog("TFileOpenDialog", [](TDialog& f) {
      static_cast<TOpenSaveDialog&>(f).Choose("C:\\NC\\P101");
    });
    p.select(103, 4);
    p.click(107);
    p.click(106);
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
  driver.expect_dialog(35, [&](TDialog& d) {
    Pilot p(d);
    EXPECT_TRUE(p.lines(103).empty());
    for (const char* line : {"N1", "N2", "N3"}) {
      p.set_text(101, line);
      p.click(102);  // nothing selected: added at the end
    }
    driver.expect_dialog("TFileSaveDialog", [](TDialog& f) { f.CmCancel(); });
    p.click(106);  // cancelled: nothing written
    EXPECT_FALSE(plat::file_exists(path));
    driver.expect_dialog("TFileSaveDialog", [&](TDialog& f) { static_cast<TOpenSaveDialog&>(f).Choose(path); });
    p.click(106);
    p.click(106);  // the name is kept: no second question
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
  driver.expect_dialog(35, [&](TDialog& d) {
    Pilot p(d);
    EXPECT_TRUE(p.lines(103).empty());
    p.set_text(101, "N1");
    p.click(102);
    driver.expect_dialog("TFileSaveDialog", [&](TDialog& f) {
      static_cast<TOpenSaveDialog&>(f).Choose(File("NODIR/X.JOB"));
    });
    driver.expect_message_box(IDOK, "could not be written");
    p.click(106);
    p.click(IDCANCEL);
  });
  TMakeJobFileDlg dlg(nullptr, File("MISSING.JOB").c_str());
  dlg.Execute();
  EXPECT_FALSE(plat::file_exists(File("MISSING.JOB")));
}

}  // namespace
