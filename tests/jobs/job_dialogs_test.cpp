// The job dialogs driven as a user would: job maintenance with its
// program lists, note and send mode, creating jobs with the request-id
// checks, and the creation of the job files with the database.
#include <memory>

#include "app/frame_commands.h"
#include "dnc/job_commands.h"
#include "dnc/job_dialogs.h"
#include "platform/msgbox.h"
#include "resources/dialogs/jobs.h"
#include "resources/menus/main.h"
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
  driver.expect_dialog(IDD_JOB_LISTS, [&](TDialog& d) {
    Pilot p(d);
    auto& dlg = static_cast<TJobMaintainDlg&>(d);
    EXPECT_FALSE(p.visible(IDC_JOB_LISTS_SEND));  // no send outside send mode
    EXPECT_EQ(p.text(IDC_JOB_LISTS_SEND), "Send...");
    EXPECT_EQ(p.text(IDC_JOB_LISTS_REQUEST_LABEL), "Request ID (DNC)");
    EXPECT_EQ(p.text(IDC_JOB_LISTS_DRAWING_LABEL), "Drawing no. :");
    EXPECT_EQ(p.text(IDC_JOB_LISTS_JOB_DRAWING_LABEL), "Drawing no. :");
    EXPECT_TRUE(p.checked(IDC_JOB_LISTS_BY_DESC));
    EXPECT_EQ(dlg.ProgramList->GetHorizontalExtent(), 760);
    ASSERT_EQ(p.lines(IDC_JOB_LISTS_MACHINES).size(), 2u);
    p.select(IDC_JOB_LISTS_MACHINES, kLathe);
    EXPECT_EQ(dlg.MachineId, lathe);
    EXPECT_TRUE(p.lines(IDC_JOB_LISTS_JOB).empty());
    EXPECT_EQ(dlg.JobId, 0);
    for (int id : {IDC_JOB_LISTS_REMOVE, IDC_JOB_LISTS_ADD, IDC_JOB_LISTS_JOB_PROGRAMS, IDC_JOB_LISTS_DELETE_JOB,
                   IDC_JOB_LISTS_REQUEST, IDC_JOB_LISTS_NOTE})
      EXPECT_FALSE(p.visible(id)) << id;
    EXPECT_FALSE(p.click(IDC_JOB_LISTS_ADD));  // nothing to add to
    EXPECT_TRUE(p.lines(IDC_JOB_LISTS_PROGRAMS).empty());
    EXPECT_EQ(dlg.ProgramId, 0);
    EXPECT_EQ(p.text(IDC_JOB_LISTS_DESC), "?");
    p.select(IDC_JOB_LISTS_MACHINES, kMill);
    EXPECT_EQ(dlg.JobId, job);
    for (int id : {IDC_JOB_LISTS_REMOVE, IDC_JOB_LISTS_ADD, IDC_JOB_LISTS_JOB_PROGRAMS, IDC_JOB_LISTS_DELETE_JOB,
                   IDC_JOB_LISTS_REQUEST, IDC_JOB_LISTS_NOTE})
      EXPECT_TRUE(p.visible(id)) << id;
    EXPECT_EQ(p.text(IDC_JOB_LISTS_REQUEST), "FL1");
    EXPECT_EQ(p.text(IDC_JOB_LISTS_NOTE), "");  // a job without a note
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
    EXPECT_EQ(dlg.EvCtlColor(dc, p.control(IDC_JOB_LISTS_MACHINES)->GetHandle(), WM_CTLCOLORLISTBOX), nullptr);
    p.click(IDCANCEL);
  });
  TFont font("FIXEDSYS", 0, 0, 0, 0, 400);
  TJobMaintainDlg dlg(nullptr, &font, 0);
  EXPECT_EQ(dlg.Execute(), IDCANCEL);
}

// Each label names the field beside it: the Program-ID (DESC), the part
// number, the description (CHAR3) and the drawing number, for the
// machine's program and the job's; the sort buttons name the same fields.
TEST_F(JobMaintainTest, LabelsNameTheFieldsTheyStandBy) {
  AddProgram(102, "SHAFT 7", 55, mill, "S-7", "Shaft with keyway", "D-7");
  TJobTable02 lines;
  lines.AppendJobLine(job, 102, 55);
  plat::GTestUiDriver driver;
  driver.expect_dialog(IDD_JOB_LISTS, [&](TDialog& d) {
    Pilot p(d);
    p.select(IDC_JOB_LISTS_MACHINES, kMill);
    p.select(IDC_JOB_LISTS_PROGRAMS, 2);  // by Program-ID: FLANGE OP1, FLANGE OP2, SHAFT 7
    p.select(IDC_JOB_LISTS_JOB_PROGRAMS, 1);
    struct Field {
      int label, field;
      const char *labelText, *value;
    } fields[] = {{IDC_JOB_LISTS_DESC_LABEL, IDC_JOB_LISTS_DESC, "Program ID :", "SHAFT 7"},
                  {IDC_JOB_LISTS_PART_LABEL, IDC_JOB_LISTS_PART, "Part no. :", "S-7"},
                  {IDC_JOB_LISTS_TEXT_LABEL, IDC_JOB_LISTS_TEXT, "Description :", "Shaft with keyway"},
                  {IDC_JOB_LISTS_DRAWING_LABEL, IDC_JOB_LISTS_DRAWING, "Drawing no. :", "D-7"},
                  {IDC_JOB_LISTS_JOB_DESC_LABEL, IDC_JOB_LISTS_JOB_DESC, "Program ID :", "SHAFT 7"},
                  {IDC_JOB_LISTS_JOB_PART_LABEL, IDC_JOB_LISTS_JOB_PART, "Part no. :", "S-7"},
                  {IDC_JOB_LISTS_JOB_TEXT_LABEL, IDC_JOB_LISTS_JOB_TEXT, "Description :", "Shaft with keyway"},
                  {IDC_JOB_LISTS_JOB_DRAWING_LABEL, IDC_JOB_LISTS_JOB_DRAWING, "Drawing no. :", "D-7"}};
    for (const Field& f : fields) {
      EXPECT_EQ(p.text(f.label), f.labelText) << f.label;
      EXPECT_EQ(p.text(f.field), f.value) << f.labelText;
    }
    EXPECT_EQ(p.text(IDC_JOB_LISTS_BY_DESC), "Program ID");
    EXPECT_EQ(p.text(IDC_JOB_LISTS_BY_TEXT), "Description");
    p.click(IDCANCEL);
  });
  TJobMaintainDlg dlg(nullptr, nullptr, 0);
  dlg.Execute();
}

TEST_F(JobMaintainTest, ProgramsMoveIntoAndOutOfTheJob) {
  plat::GTestUiDriver driver;
  driver.expect_dialog(IDD_JOB_LISTS, [&](TDialog& d) {
    Pilot p(d);
    auto& dlg = static_cast<TJobMaintainDlg&>(d);
    p.select(IDC_JOB_LISTS_MACHINES, kMill);
    ASSERT_EQ(p.lines(IDC_JOB_LISTS_PROGRAMS).size(), 2u);  // by description: OP1, OP2
    ASSERT_EQ(p.lines(IDC_JOB_LISTS_JOB_PROGRAMS).size(), 1u);
    EXPECT_EQ(p.text(IDC_JOB_LISTS_JOB_DESC), "FLANGE OP2");
    EXPECT_EQ(p.text(IDC_JOB_LISTS_JOB_PART), "F-101");
    // Program 12 joins a job holding program 123.
    p.select(IDC_JOB_LISTS_PROGRAMS, 0);
    EXPECT_EQ(dlg.ProgramId, 100);
    EXPECT_EQ(dlg.ProgramNumber, 12);
    EXPECT_EQ(p.text(IDC_JOB_LISTS_PART), "F-100");
    p.click(IDC_JOB_LISTS_ADD);
    ASSERT_EQ(p.lines(IDC_JOB_LISTS_JOB_PROGRAMS).size(), 2u);
    std::string added = p.lines(IDC_JOB_LISTS_JOB_PROGRAMS)[1];
    EXPECT_EQ(added.substr(0, 10), "FLANGE OP1");
    EXPECT_EQ(JobLineProgramId(added.c_str()), 100);
    EXPECT_EQ(JobLineProgramNumber(added.c_str()), 12);
    // The same program again, by button or double click: refused.
    driver.expect_message_box(IDOK, "holds this program already");
    p.click(IDC_JOB_LISTS_ADD);
    driver.expect_message_box(IDOK, "holds this program already");
    p.double_click(IDC_JOB_LISTS_PROGRAMS, 0);
    EXPECT_EQ(p.lines(IDC_JOB_LISTS_JOB_PROGRAMS).size(), 2u);
    // A line picked in the job's list only shows details; ">>" still adds
    // the machine's program.
    p.select(IDC_JOB_LISTS_PROGRAMS, 1);
    p.select(IDC_JOB_LISTS_JOB_PROGRAMS, 1);
    EXPECT_EQ(p.text(IDC_JOB_LISTS_JOB_DESC), "FLANGE OP1");
    driver.expect_message_box(IDOK, "holds this program already");
    p.click(IDC_JOB_LISTS_ADD);

    // Removing asks first; No keeps the line.
    p.select(IDC_JOB_LISTS_JOB_PROGRAMS, 0);
    driver.expect_message_box(IDNO, "Remove the selected program");
    p.click(IDC_JOB_LISTS_REMOVE);
    EXPECT_EQ(p.lines(IDC_JOB_LISTS_JOB_PROGRAMS).size(), 2u);
    driver.expect_message_box(IDYES, "Remove the selected program");
    p.double_click(IDC_JOB_LISTS_JOB_PROGRAMS, 0);
    ASSERT_EQ(p.lines(IDC_JOB_LISTS_JOB_PROGRAMS).size(), 1u);
    EXPECT_EQ(p.selection(IDC_JOB_LISTS_JOB_PROGRAMS), 0);
    EXPECT_EQ(p.text(IDC_JOB_LISTS_JOB_DESC), "FLANGE OP1");
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
  driver.expect_dialog(IDD_JOB_LISTS, [&](TDialog& d) {
    Pilot p(d);
    auto& dlg = static_cast<TJobMaintainDlg&>(d);
    p.select(IDC_JOB_LISTS_MACHINES, 2);
    ASSERT_EQ(dlg.MachineId, bore);
    auto ids = [&] {
      std::vector<long> v;
      for (const auto& l : p.lines(IDC_JOB_LISTS_PROGRAMS)) v.push_back(ListLineId(l.c_str()));
      return v;
    };
    EXPECT_EQ(ids(), (std::vector<long>{200, 201, 202}));
    EXPECT_EQ(p.text(IDC_JOB_LISTS_DESC), "A-DESC");
    p.click(IDC_JOB_LISTS_BY_PART);
    EXPECT_EQ(ids(), (std::vector<long>{201, 202, 200}));
    EXPECT_EQ(p.text(IDC_JOB_LISTS_DESC), "B-DESC");  // the new first line's details
    p.select(IDC_JOB_LISTS_MACHINES, 2);                   // a new machine choice keeps the order
    EXPECT_EQ(ids(), (std::vector<long>{201, 202, 200}));
    p.click(IDCANCEL);
  });
  TJobMaintainDlg dlg(nullptr, nullptr, 0);
  dlg.Execute();
}

TEST_F(JobMaintainTest, NoteIsStoredWhenTheFieldLosesTheFocusAndDeleteAsksFirst) {
  plat::GTestUiDriver driver;
  driver.expect_dialog(IDD_JOB_LISTS, [&](TDialog& d) {
    Pilot p(d);
    p.select(IDC_JOB_LISTS_MACHINES, kMill);
    p.focus(IDC_JOB_LISTS_NOTE);
    p.focus(IDC_JOB_LISTS_MACHINES);  // unchanged: nothing written
    p.type(IDC_JOB_LISTS_NOTE, "clamp at 40 mm");
    p.focus(IDC_JOB_LISTS_MACHINES);
    driver.expect_message_box(IDNO, "Delete the selected job");
    p.click(IDC_JOB_LISTS_DELETE_JOB);
    EXPECT_EQ(p.lines(IDC_JOB_LISTS_JOB).size(), 1u);
    {
      TJobTable01 jobs;
      std::unique_ptr<TJobRecord01> r(jobs.ReadJob(job));
      ASSERT_TRUE(r);
      EXPECT_STREQ(r->MEMO, "clamp at 40 mm");
    }
    driver.expect_message_box(IDYES, "Delete the selected job");
    p.click(IDC_JOB_LISTS_DELETE_JOB);
    EXPECT_TRUE(p.lines(IDC_JOB_LISTS_JOB).empty());
    EXPECT_FALSE(p.visible(IDC_JOB_LISTS_NOTE));
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
  driver.expect_dialog(IDD_JOB_LISTS, [&](TDialog& d) {
    Pilot p(d);
    EXPECT_TRUE(p.visible(IDC_JOB_LISTS_SEND));
    p.select(IDC_JOB_LISTS_MACHINES, kLathe);
    p.click(IDC_JOB_LISTS_SEND);  // no job: nothing happens
    EXPECT_FALSE(static_cast<TDialog&>(d).HasEnded());
    p.select(IDC_JOB_LISTS_MACHINES, kMill);
    p.click(IDC_JOB_LISTS_SEND);
  });
  TJobMaintainDlg dlg(nullptr, nullptr, 1);
  EXPECT_EQ(dlg.Execute(), IDOK);
  EXPECT_EQ(Globals->SelectedId, job);
}

TEST_F(JobMaintainTest, CreateJobChecksNamesAndRequestIds) {
  TJobTable01 jobs;
  long other = jobs.AppendJob(mill, "Shaft", "SH1", "old note");
  plat::GTestUiDriver driver;
  driver.expect_dialog(IDD_CREATE_JOBS, [&](TDialog& d) {
    Pilot p(d);
    auto& dlg = static_cast<TCreateJobDlg&>(d);
    EXPECT_EQ(p.text(IDC_CREATE_JOBS_APPEND), "&Append");
    p.select(IDC_CREATE_JOBS_MACHINE, kMill);
    ASSERT_EQ(dlg.MachineId, mill);
    ASSERT_EQ(p.lines(IDC_CREATE_JOBS_JOB).size(), 2u);
    EXPECT_EQ(dlg.JobId, job);
    EXPECT_EQ(p.text(IDC_CREATE_JOBS_NAME), "Flange");
    EXPECT_EQ(p.text(IDC_CREATE_JOBS_REQUEST), "FL1");

    // Empty name, then empty request id: a beep, the focus, no row.
    struct Case {
      const char *name, *request;
      int focus;
    } cases[] = {{"  ", "NEW", IDC_CREATE_JOBS_NAME}, {"New", "", IDC_CREATE_JOBS_REQUEST}};
    for (const Case& c : cases) {
      int beeps = plat::beep_count();
      p.set_text(IDC_CREATE_JOBS_NAME, c.name);
      p.set_text(IDC_CREATE_JOBS_REQUEST, c.request);
      p.click(IDC_CREATE_JOBS_APPEND);
      EXPECT_EQ(plat::beep_count(), beeps + 1);
      EXPECT_TRUE(p.focused(c.focus)) << c.focus;
    }
    p.set_text(IDC_CREATE_JOBS_NAME, "New");
    p.set_text(IDC_CREATE_JOBS_REQUEST, "SH1");
    driver.expect_message_box(IDOK, "has this request ID");
    p.click(IDC_CREATE_JOBS_APPEND);
    p.set_text(IDC_CREATE_JOBS_REQUEST, "it's \"x\" [y]");
    driver.expect_message_box(IDOK, "may not hold");
    p.click(IDC_CREATE_JOBS_APPEND);
    EXPECT_EQ(p.lines(IDC_CREATE_JOBS_JOB).size(), 2u);
    p.set_text(IDC_CREATE_JOBS_REQUEST, "NEW1");
    p.set_text(IDC_CREATE_JOBS_NOTE, "note");
    p.click(IDC_CREATE_JOBS_APPEND);
    EXPECT_EQ(p.lines(IDC_CREATE_JOBS_JOB).size(), 3u);

    // Modify: untouched request id, its own id typed again, another's id.
    p.select(IDC_CREATE_JOBS_JOB, 1);
    ASSERT_EQ(dlg.JobId, other);
    EXPECT_EQ(p.text(IDC_CREATE_JOBS_NOTE), "old note");
    p.set_text(IDC_CREATE_JOBS_NAME, "Shaft long");
    p.click(IDC_CREATE_JOBS_MODIFY);
    p.select(IDC_CREATE_JOBS_JOB, 1);
    EXPECT_EQ(p.text(IDC_CREATE_JOBS_NAME), "Shaft long");
    p.set_text(IDC_CREATE_JOBS_REQUEST, "");
    p.type(IDC_CREATE_JOBS_REQUEST, "SH1");
    p.click(IDC_CREATE_JOBS_MODIFY);  // the job's own request id is no duplicate
    p.select(IDC_CREATE_JOBS_JOB, 1);
    p.set_text(IDC_CREATE_JOBS_REQUEST, "");
    p.type(IDC_CREATE_JOBS_REQUEST, "FL1");
    driver.expect_message_box(IDOK, "has this request ID");
    p.click(IDC_CREATE_JOBS_MODIFY);

    driver.expect_message_box(IDYES, "Delete the selected job");
    p.select(IDC_CREATE_JOBS_JOB, 0);
    p.click(IDC_CREATE_JOBS_DELETE);
    EXPECT_EQ(p.lines(IDC_CREATE_JOBS_JOB).size(), 2u);
    EXPECT_EQ(p.selection(IDC_CREATE_JOBS_JOB), 0);
    EXPECT_EQ(p.text(IDC_CREATE_JOBS_NAME), "Shaft long");
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
  driver.expect_dialog(IDD_JOB_LISTS, [&](TDialog& d) {
    Pilot p(d);
    p.select(IDC_JOB_LISTS_MACHINES, kLathe);
    EXPECT_FALSE(p.visible(IDC_JOB_LISTS_NOTE));
    driver.expect_dialog(IDD_CREATE_JOBS, [&](TDialog& c) {
      Pilot q(c);
      q.select(IDC_CREATE_JOBS_MACHINE, kLathe);
      q.set_text(IDC_CREATE_JOBS_NAME, "Turning");
      q.set_text(IDC_CREATE_JOBS_REQUEST, "T1");
      q.click(IDC_CREATE_JOBS_APPEND);
      q.click(IDCANCEL);
    });
    p.click(IDC_JOB_LISTS_CREATE_JOB);
    ASSERT_EQ(p.lines(IDC_JOB_LISTS_JOB).size(), 1u);
    EXPECT_TRUE(p.visible(IDC_JOB_LISTS_NOTE));
    EXPECT_EQ(p.text(IDC_JOB_LISTS_REQUEST), "T1");
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
  EXPECT_FALSE(HasFrameCommand(kCmMaintainJobs));
  RegisterJobCommands();
  EXPECT_TRUE(HasFrameCommand(kCmMaintainJobs));
  EXPECT_TRUE(HasFrameCommand(kCmCreateJobFile));
  // A cancelled file choice opens the editor on a new file.
  {
    TCommandHostFrame frame(nullptr, "frame", nullptr);
    frame.Create();
    plat::GTestUiDriver driver;
    driver.expect_dialog("TFileOpenDialog", [](TDialog& f) { f.CmCancel(); });
    driver.expect_dialog(IDD_JOB_FILE, [](TDialog& d) {
      EXPECT_TRUE(static_cast<TMakeJobFileDlg&>(d).FileName.empty());
      Pilot(d).click(IDCANCEL);
    });
    EXPECT_TRUE(frame.RouteCommand(kCmCreateJobFile));
  }
  RegisterFrameCommand(kCmMaintainJobs, nullptr);
  RegisterFrameCommand(kCmCreateJobFile, nullptr);
}

}  // namespace
