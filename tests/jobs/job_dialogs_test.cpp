// The job dialogs driven as a user would: job maintenance with its
// program lists, note and send mode, creating jobs with the request-id
// checks, and the creation of the job files with the database.
#include <memory>

#include "app/frame_commands.h"
#include "dnc/job_commands.h"
#include "dnc/job_dialogs.h"
#include "platform/msgbox.h"
#include "tests/jobs/job_fixture.h"

namespace {

using kvjobs::JobDialogTest;
using plat::Pilot;

class JobMaintainTest : public JobDialogTest {
 protected:
  void SetUp() override {
    JobDialogTest::SetUp();
    mill = AddMachine("MILL");
    lathe = AddMachine("LATHE");
    AddProgram(100, "FLANGE OP1", 12, mill, "F-100");
    AddProgram(101, "FLANGE OP2", 123, mill, "F-101");
    TJobTable01 jobs;
    job = jobs.AppendJob(mill, "Flange", "FL1", nullptr);
    TJobTable02 lines;
    lines.AppendJobLine(job, 101, 123);
  }
  // Lines of the machine list are sorted: LATHE, MILL.
  static constexpr int kLathe = 0, kMill = 1;
  long mill = 0, lathe = 0, job = 0;
};

TEST_F(JobMaintainTest, MachineWithoutJobsHidesTheJobPart) {
  plat::GTestUiDriver driver;
  driver.expect_dialog(58, [&](TDialog& d) {
    Pilot p(d);
    auto& dlg = static_cast<TJobMaintainDlg&>(d);
    EXPECT_FALSE(p.visible(109));  // no send outside send mode
    EXPECT_EQ(p.text(109), "Send...");
    EXPECT_EQ(p.text(203), "Request ID (DNC)");
    EXPECT_EQ(p.text(208), "Drawing no. :");
    EXPECT_EQ(p.text(212), "Drawing no. :");
    EXPECT_TRUE(p.checked(300));
    EXPECT_EQ(dlg.ProgramList->GetHorizontalExtent(), 760);
    ASSERT_EQ(p.lines(101).size(), 2u);
    p.select(101, kLathe);
    EXPECT_EQ(dlg.MachineId, lathe);
    EXPECT_TRUE(p.lines(102).empty());
    EXPECT_EQ(dlg.JobId, 0);
    for (int id : {105, 106, 107, 108, 119, 120}) EXPECT_FALSE(p.visible(id)) << id;
    EXPECT_FALSE(p.click(106));  // nothing to add to
    EXPECT_TRUE(p.lines(104).empty());
    EXPECT_EQ(dlg.ProgramId, 0);
    EXPECT_EQ(p.text(111), "?");
    p.select(101, kMill);
    EXPECT_EQ(dlg.JobId, job);
    for (int id : {105, 106, 107, 108, 119, 120}) EXPECT_TRUE(p.visible(id)) << id;
    EXPECT_EQ(p.text(119), "FL1");
    EXPECT_EQ(p.text(120), "");  // a job without a note
    TClientDC dc(d.GetHandle());
    struct Colour {
      int id;
      COLORREF text, back;
    } colours[] = {{111, RGB(255, 255, 0), RGB(0, 0, 0)},
                   {119, RGB(255, 255, 0), RGB(0, 0, 0)},
                   {201, RGB(0, 0, 192), RGB(192, 192, 192)},
                   {212, RGB(128, 0, 0), RGB(192, 192, 192)}};
    for (const Colour& c : colours) {
      EXPECT_NE(dlg.EvCtlColor(dc, p.control(c.id)->GetHandle(), WM_CTLCOLORSTATIC), nullptr) << c.id;
      EXPECT_EQ(dc.GetTextColor(), c.text) << c.id;
      EXPECT_EQ(dc.GetBkColor(), c.back) << c.id;
    }
    EXPECT_EQ(dlg.EvCtlColor(dc, p.control(101)->GetHandle(), WM_CTLCOLORLISTBOX), nullptr);
    p.click(IDCANCEL);
  });
  TFont font("FIXEDSYS", 0, 0, 0, 0, 400);
  TJobMaintainDlg dlg(nullptr, &font, 0);
  EXPECT_EQ(dlg.Execute(), IDCANCEL);
}

TEST_F(JobMaintainTest, ProgramsMoveIntoAndOutOfTheJob) {
  plat::GTestUiDriver driver;
  driver.expect_dialog(58, [&](TDialog& d) {
    Pilot p(d);
    auto& dlg = static_cast<TJobMaintainDlg&>(d);
    p.select(101, kMill);
    ASSERT_EQ(p.lines(104).size(), 2u);  // by description: OP1, OP2
    ASSERT_EQ(p.lines(107).size(), 1u);
    EXPECT_EQ(p.text(115), "FLANGE OP2");
    EXPECT_EQ(p.text(116), "F-101");
    // Program 12 joins a job holding program 123.
    p.select(104, 0);
    EXPECT_EQ(dlg.ProgramId, 100);
    EXPECT_EQ(dlg.ProgramNumber, 12);
    EXPECT_EQ(p.text(112), "F-100");
    p.click(106);
    ASSERT_EQ(p.lines(107).size(), 2u);
    std::string added = p.lines(107)[1];
    EXPECT_EQ(added.substr(0, 10), "FLANGE OP1");
    EXPECT_EQ(JobLineProgramId(added.c_str()), 100);
    EXPECT_EQ(JobLineProgramNumber(added.c_str()), 12);
    // The same program again, by button or double click: refused.
    driver.expect_message_box(IDOK, "holds this program already");
    p.click(106);
    driver.expect_message_box(IDOK, "holds this program already");
    p.double_click(104, 0);
    EXPECT_EQ(p.lines(107).size(), 2u);
    // A line picked in the job's list only shows details; ">>" still adds
    // the machine's program.
    p.select(104, 1);
    p.select(107, 1);
    EXPECT_EQ(p.text(115), "FLANGE OP1");
    driver.expect_message_box(IDOK, "holds this program already");
    p.click(106);

    // Removing asks first; No keeps the line.
    p.select(107, 0);
    driver.expect_message_box(IDNO, "Remove the selected program");
    p.click(105);
    EXPECT_EQ(p.lines(107).size(), 2u);
    driver.expect_message_box(IDYES, "Remove the selected program");
    p.double_click(107, 0);
    ASSERT_EQ(p.lines(107).size(), 1u);
    EXPECT_EQ(p.selection(107), 0);
    EXPECT_EQ(p.text(115), "FLANGE OP1");
    p.click(IDCANCEL);
  });
  TJobMaintainDlg dlg(nullptr, nullptr, 0);
  dlg.Execute();
  std::vector<std::string> rows = PeerRows(DbPath(kJobLineFile));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_NE(rows[0].find("JOB=" + std::to_string(job) + " PROG=100 PROGNR=12"), std::string::npos) << rows[0];
}

TEST_F(JobMaintainTest, RadioButtonsSortTheMachinesPrograms) {
  long bore = AddMachine("ZBORE");
  AddProgram(200, "A-DESC", 1, bore, "C-PART");
  AddProgram(201, "B-DESC", 2, bore, "A-PART");
  AddProgram(202, "C-DESC", 3, bore, "B-PART");
  plat::GTestUiDriver driver;
  driver.expect_dialog(58, [&](TDialog& d) {
    Pilot p(d);
    auto& dlg = static_cast<TJobMaintainDlg&>(d);
    p.select(101, 2);
    ASSERT_EQ(dlg.MachineId, bore);
    auto ids = [&] {
      std::vector<long> v;
      for (const auto& l : p.lines(104)) v.push_back(ListLineId(l.c_str()));
      return v;
    };
    EXPECT_EQ(ids(), (std::vector<long>{200, 201, 202}));
    EXPECT_EQ(p.text(111), "A-DESC");
    p.click(301);
    EXPECT_EQ(ids(), (std::vector<long>{201, 202, 200}));
    EXPECT_EQ(p.text(111), "B-DESC");  // the new first line's details
    p.select(101, 2);                   // a new machine choice keeps the order
    EXPECT_EQ(ids(), (std::vector<long>{201, 202, 200}));
    p.click(IDCANCEL);
  });
  TJobMaintainDlg dlg(nullptr, nullptr, 0);
  dlg.Execute();
}

TEST_F(JobMaintainTest, NoteIsStoredWhenTheFieldLosesTheFocusAndDeleteAsksFirst) {
  plat::GTestUiDriver driver;
  driver.expect_dialog(58, [&](TDialog& d) {
    Pilot p(d);
    p.select(101, kMill);
    p.focus(120);
    p.focus(101);  // unchanged: nothing written
    p.type(120, "clamp at 40 mm");
    p.focus(101);
    driver.expect_message_box(IDNO, "Delete the selected job");
    p.click(108);
    EXPECT_EQ(p.lines(102).size(), 1u);
    {
      TJobTable01 jobs;
      std::unique_ptr<TJobRecord01> r(jobs.ReadJob(job));
      ASSERT_TRUE(r);
      EXPECT_STREQ(r->MEMO, "clamp at 40 mm");
    }
    driver.expect_message_box(IDYES, "Delete the selected job");
    p.click(108);
    EXPECT_TRUE(p.lines(102).empty());
    EXPECT_FALSE(p.visible(120));
    p.click(IDCANCEL);
  });
  TJobMaintainDlg dlg(nullptr, nullptr, 0);
  dlg.Execute();
  EXPECT_TRUE(PeerRows(DbPath(kJobFile)).empty());
  EXPECT_TRUE(PeerRows(DbPath(kJobLineFile)).empty());
}

TEST_F(JobMaintainTest, SendModeHandsTheChosenJobBack) {
  Globals->SelectedId = 0;
  plat::GTestUiDriver driver;
  driver.expect_dialog(58, [&](TDialog& d) {
    Pilot p(d);
    EXPECT_TRUE(p.visible(109));
    p.select(101, kLathe);
    p.click(109);  // no job: nothing happens
    EXPECT_FALSE(static_cast<TDialog&>(d).HasEnded());
    p.select(101, kMill);
    p.click(109);
  });
  TJobMaintainDlg dlg(nullptr, nullptr, 1);
  EXPECT_EQ(dlg.Execute(), IDOK);
  EXPECT_EQ(Globals->SelectedId, job);
}

TEST_F(JobMaintainTest, CreateJobChecksNamesAndRequestIds) {
  TJobTable01 jobs;
  long other = jobs.AppendJob(mill, "Shaft", "SH1", "old note");
  plat::GTestUiDriver driver;
  driver.expect_dialog(57, [&](TDialog& d) {
    Pilot p(d);
    auto& dlg = static_cast<TCreateJobDlg&>(d);
    EXPECT_EQ(p.text(105), "&Append");
    p.select(102, kMill);
    ASSERT_EQ(dlg.MachineId, mill);
    ASSERT_EQ(p.lines(108).size(), 2u);
    EXPECT_EQ(dlg.JobId, job);
    EXPECT_EQ(p.text(101), "Flange");
    EXPECT_EQ(p.text(103), "FL1");

    // Empty name, then empty request id: a beep, the focus, no row.
    struct Case {
      const char *name, *request;
      int focus;
    } cases[] = {{"  ", "NEW", 101}, {"New", "", 103}};
    for (const Case& c : cases) {
      int beeps = plat::beep_count();
      p.set_text(101, c.name);
      p.set_text(103, c.request);
      p.click(105);
      EXPECT_EQ(plat::beep_count(), beeps + 1);
      EXPECT_TRUE(p.focused(c.focus)) << c.focus;
    }
    p.set_text(101, "New");
    p.set_text(103, "SH1");
    driver.expect_message_box(IDOK, "has this request ID");
    p.click(105);
    p.set_text(103, "it's \"x\" [y]");
    driver.expect_message_box(IDOK, "may not hold");
    p.click(105);
    EXPECT_EQ(p.lines(108).size(), 2u);
    p.set_text(103, "NEW1");
    p.set_text(104, "note");
    p.click(105);
    EXPECT_EQ(p.lines(108).size(), 3u);

    // Modify: untouched request id, its own id typed again, another's id.
    p.select(108, 1);
    ASSERT_EQ(dlg.JobId, other);
    EXPECT_EQ(p.text(104), "old note");
    p.set_text(101, "Shaft long");
    p.click(106);
    p.select(108, 1);
    EXPECT_EQ(p.text(101), "Shaft long");
    p.set_text(103, "");
    p.type(103, "SH1");
    p.click(106);  // the job's own request id is no duplicate
    p.select(108, 1);
    p.set_text(103, "");
    p.type(103, "FL1");
    driver.expect_message_box(IDOK, "has this request ID");
    p.click(106);

    driver.expect_message_box(IDYES, "Delete the selected job");
    p.select(108, 0);
    p.click(107);
    EXPECT_EQ(p.lines(108).size(), 2u);
    EXPECT_EQ(p.selection(108), 0);
    EXPECT_EQ(p.text(101), "Shaft long");
    p.click(IDCANCEL);
  });
  TCreateJobDlg dlg(nullptr);
  dlg.Execute();
  auto rows = PeerRows(DbPath(kJobFile));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_NE(rows[0].find("NAME=Shaft long PART=SH1 MEMO=old note"), std::string::npos) << rows[0];
  EXPECT_NE(rows[1].find("NAME=New PART=NEW1 MEMO=note"), std::string::npos) << rows[1];
  EXPECT_TRUE(PeerRows(DbPath(kJobLineFile)).empty());  // the deleted job's line went with it
}

TEST_F(JobMaintainTest, PlusButtonCreatesAJobAndRefillsTheList) {
  plat::GTestUiDriver driver;
  driver.expect_dialog(58, [&](TDialog& d) {
    Pilot p(d);
    p.select(101, kLathe);
    EXPECT_FALSE(p.visible(120));
    driver.expect_dialog(57, [&](TDialog& c) {
      Pilot q(c);
      q.select(102, kLathe);
      q.set_text(101, "Turning");
      q.set_text(103, "T1");
      q.click(105);
      q.click(IDCANCEL);
    });
    p.click(103);
    ASSERT_EQ(p.lines(102).size(), 1u);
    EXPECT_TRUE(p.visible(120));
    EXPECT_EQ(p.text(119), "T1");
    p.click(IDCANCEL);
  });
  TJobMaintainDlg dlg(nullptr, nullptr, 0);
  dlg.Execute();
}

TEST_F(JobDialogTest, DatabaseCreationMakesBothJobFilesAndCommandsAreRegistered) {
  std::filesystem::remove(DbPath(kJobFile));
  std::filesystem::remove(DbPath(kJobLineFile));
  EXPECT_EQ(Globals->RebuildDatabase(), 1);
  EXPECT_EQ(kvdb::PeerLayout(Root(), DbPath(kJobFile)), "ID:N:10 MACH:N:10 NAME:C:40 PART:C:25 MEMO:M:10 | 0");
  EXPECT_EQ(kvdb::PeerLayout(Root(), DbPath(kJobLineFile)), "ID:N:10 JOB:N:10 PROG:N:10 PROGNR:N:10 | 0");
  EXPECT_FALSE(HasFrameCommand(7200));
  RegisterJobCommands();
  EXPECT_TRUE(HasFrameCommand(7200));
  EXPECT_TRUE(HasFrameCommand(1229));
  // A cancelled file choice opens the editor on a new file.
  {
    TCommandHostFrame frame(nullptr, "frame", nullptr);
    frame.Create();
    plat::GTestUiDriver driver;
    driver.expect_dialog("TFileOpenDialog", [](TDialog& f) { f.CmCancel(); });
    driver.expect_dialog(35, [](TDialog& d) {
      EXPECT_TRUE(static_cast<TMakeJobFileDlg&>(d).FileName.empty());
      Pilot(d).click(IDCANCEL);
    });
    EXPECT_TRUE(frame.RouteCommand(1229));
  }
  RegisterFrameCommand(7200, nullptr);
  RegisterFrameCommand(1229, nullptr);
}

}  // namespace
