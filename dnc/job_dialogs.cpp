// Job maintenance and the create-job dialog. Every change goes straight to
// the job tables; a change the tables refuse is told to the user, and the
// lists are filled again from the files rather than patched, except where a
// single line is added or removed.
#include "dnc/job_dialogs.h"

#include <memory>

#include "app/users_dialogs.h"
#include "app/users_lines.h"
#include "appcore/globals.h"
#include "appcore/message_ids.h"
#include "dbmodel/filetable.h"
#include "dbmodel/job.h"
#include "dbmodel/machine.h"
#include "platform/msgbox.h"
#include "appcore/text_scan.h"
#include "resources/dialogs/jobs.h"

namespace {

// Hidden while the machine has no job.
constexpr int kJobControls[] = {
    IDC_JOB_LISTS_REQUEST_LABEL,  IDC_JOB_LISTS_REMOVE,         IDC_JOB_LISTS_ADD,
    IDC_JOB_LISTS_JOB_PROGRAMS,   IDC_JOB_LISTS_DELETE_JOB,     IDC_JOB_LISTS_JOB_DESC,
    IDC_JOB_LISTS_JOB_PART,       IDC_JOB_LISTS_JOB_TEXT,       IDC_JOB_LISTS_JOB_DRAWING,
    IDC_JOB_LISTS_REQUEST,        IDC_JOB_LISTS_NOTE,           IDC_JOB_LISTS_JOB_DESC_LABEL,
    IDC_JOB_LISTS_JOB_PART_LABEL, IDC_JOB_LISTS_JOB_TEXT_LABEL, IDC_JOB_LISTS_JOB_DRAWING_LABEL};
// The controls that take the opener's font.
constexpr int kFontControls[] = {IDCANCEL, IDC_JOB_LISTS_MACHINES, IDC_JOB_LISTS_JOB, IDC_JOB_LISTS_CREATE_JOB,
                                 IDC_JOB_LISTS_PROGRAMS, IDC_JOB_LISTS_REMOVE, IDC_JOB_LISTS_ADD,
                                 IDC_JOB_LISTS_JOB_PROGRAMS, IDC_JOB_LISTS_DELETE_JOB, IDC_JOB_LISTS_SEND,
                                 IDC_JOB_LISTS_NOTE, IDC_JOB_LISTS_MACHINES_GROUP, IDC_JOB_LISTS_PROGRAMS_GROUP,
                                 IDC_JOB_LISTS_JOB_GROUP, IDC_JOB_LISTS_REQUEST_LABEL, IDC_JOB_LISTS_DESC_LABEL,
                                 IDC_JOB_LISTS_PART_LABEL, IDC_JOB_LISTS_TEXT_LABEL, IDC_JOB_LISTS_DRAWING_LABEL,
                                 IDC_JOB_LISTS_JOB_DESC_LABEL, IDC_JOB_LISTS_JOB_PART_LABEL,
                                 IDC_JOB_LISTS_JOB_TEXT_LABEL, IDC_JOB_LISTS_JOB_DRAWING_LABEL, IDC_JOB_LISTS_BY_DESC,
                                 IDC_JOB_LISTS_BY_PART, IDC_JOB_LISTS_BY_TEXT, IDC_JOB_LISTS_BY_DRAWING};

std::string SelectedLine(const TListBox& list) {
  int i = list.GetSelIndex();
  return i < 0 ? std::string() : list.GetString(i);
}

std::string SelectedLine(const TComboBox& combo) {
  int i = combo.GetSelIndex();
  return i < 0 ? std::string() : combo.GetString(i);
}

void Beep() { MessageBeep(0xFFFFFFFF); }

// Deletes the job's row, then its program lines; 0 when a step failed.
int DeleteJobAndLines(long jobId) {
  {
    TJobTable01 jobs;
    if (!jobs.DeleteJob(jobId)) return 0;
  }
  TJobTable02 lines;
  return lines.DeleteJobLines(jobId);
}

}  // namespace

// ---- job maintenance ----------------------------------------------------------------

DEFINE_RESPONSE_TABLE1(TJobMaintainDlg, TLangDlg)
  EV_LBN_SELCHANGE(IDC_JOB_LISTS_MACHINES, EvMachineSelected),
  EV_CBN_SELCHANGE(IDC_JOB_LISTS_JOB, EvJobSelected),
  EV_BN_CLICKED(IDC_JOB_LISTS_CREATE_JOB, CmCreateJob),
  EV_LBN_SELCHANGE(IDC_JOB_LISTS_PROGRAMS, EvProgramSelected),
  EV_LBN_DBLCLK(IDC_JOB_LISTS_PROGRAMS, CmAddProgram),
  EV_BN_CLICKED(IDC_JOB_LISTS_REMOVE, CmRemoveProgram),
  EV_BN_CLICKED(IDC_JOB_LISTS_ADD, CmAddProgram),
  EV_LBN_SELCHANGE(IDC_JOB_LISTS_JOB_PROGRAMS, EvJobProgramSelected),
  EV_LBN_DBLCLK(IDC_JOB_LISTS_JOB_PROGRAMS, CmRemoveProgram),
  EV_BN_CLICKED(IDC_JOB_LISTS_DELETE_JOB, CmDeleteJob),
  EV_BN_CLICKED(IDC_JOB_LISTS_SEND, CmSend),
  EV_EN_KILLFOCUS(IDC_JOB_LISTS_NOTE, EvNoteKillFocus),
  EV_BN_CLICKED(IDC_JOB_LISTS_BY_DESC, CmSortByDesc),
  EV_BN_CLICKED(IDC_JOB_LISTS_BY_PART, CmSortByPart),
  EV_BN_CLICKED(IDC_JOB_LISTS_BY_TEXT, CmSortByChar3),
  EV_BN_CLICKED(IDC_JOB_LISTS_BY_DRAWING, CmSortByDraw),
END_RESPONSE_TABLE;

TJobMaintainDlg::TJobMaintainDlg(TWindow* parent, TFont* font, int sendMode)
    : TLangDlg(parent, IDD_JOB_LISTS), Font(font), SendMode(sendMode) {
  MachineList = new TListBox(this, IDC_JOB_LISTS_MACHINES);
  JobCombo = new TComboBox(this, IDC_JOB_LISTS_JOB, 200);
  ProgramList = new TListBox(this, IDC_JOB_LISTS_PROGRAMS);
  JobProgramList = new TListBox(this, IDC_JOB_LISTS_JOB_PROGRAMS);
  NoteEdit = new TEdit(this, IDC_JOB_LISTS_NOTE, 2000);
  for (int i = 0; i < 4; i++) SortButtons[i] = new TRadioButton(this, IDC_JOB_LISTS_BY_DESC + i);
}

void TJobMaintainDlg::SetupWindow() {
  TLangDlg::SetupWindow();
  SetCaptionText(940);
  SetItemText(IDC_JOB_LISTS_SEND, 954);
  if (!SendMode) ::ShowWindow(GetDlgItem(IDC_JOB_LISTS_SEND), SW_HIDE);
  SetItemTexts(IDC_JOB_LISTS_BY_DESC, 949, 4);
  SetItemTexts(IDC_JOB_LISTS_MACHINES_GROUP, 941, 4);
  SetItemTexts(IDC_JOB_LISTS_DESC_LABEL, 945, 4);
  SetItemTexts(IDC_JOB_LISTS_JOB_DESC_LABEL, 945, 4);
  SetItemText(IDC_JOB_LISTS_DRAWING_LABEL, 956);
  SetItemText(IDC_JOB_LISTS_JOB_DRAWING_LABEL, 956);
  ProgramList->SetHorizontalExtent(760);
  if (Font)
    for (int id : kFontControls) SendDlgItemMessage(id, WM_SETFONT, reinterpret_cast<WPARAM>(HFONT(*Font)), 1);
  {
    TcbMachTable machines("KELVMA.DBF", 0, 0);
    TControlLines lines(*MachineList);
    machines.FillList(&lines);
  }
  SortButtons[0]->Check();
  EvMachineSelected();
}

int TJobMaintainDlg::CheckedOrder() const {
  for (int i = 0; i < 4; i++)
    if (SortButtons[i]->GetCheck() == BST_CHECKED) return i;
  return 0;
}

void TJobMaintainDlg::ShowJobControls(bool show) {
  for (int id : kJobControls) ::ShowWindow(GetDlgItem(id), show ? SW_SHOW : SW_HIDE);
  JobControlsHidden = show ? 0 : 1;
}

void TJobMaintainDlg::EvMachineSelected() {
  std::string line = SelectedLine(*MachineList);
  if (line.find("@@") == std::string::npos) return;
  MachineId = ListLineId(line.c_str());
  {
    TJobTable01 jobs;
    TControlLines lines(*JobCombo);
    FillJobList(&jobs, MachineId, &lines);
  }
  EvJobSelected();
  RefillPrograms(CheckedOrder());
}

void TJobMaintainDlg::RefillPrograms(int order) {
  {
    TcbFileTable programs("KELVFILE.DBF", 0, 0);
    TControlLines lines(*ProgramList);
    switch (order) {
      case 1: programs.FillListByPart(MachineId, &lines); break;
      case 2: programs.FillListByChar3(MachineId, &lines); break;
      case 3: programs.FillListByDraw(MachineId, &lines); break;
      default: programs.FillListByDesc(MachineId, &lines); break;
    }
  }
  EvProgramSelected();
}

void TJobMaintainDlg::EvJobSelected() {
  if (JobCombo->GetCount() == 0) {
    if (!JobControlsHidden) ShowJobControls(false);
    JobId = 0;
    JobProgramList->ClearList();
    return;
  }
  if (JobControlsHidden) ShowJobControls(true);
  JobId = ListLineId(SelectedLine(*JobCombo).c_str());
  std::unique_ptr<TJobRecord01> job;
  {
    TJobTable01 jobs;
    job.reset(jobs.ReadJob(JobId));
  }
  // A job deleted elsewhere since the list was filled shows as unknown.
  SetDlgItemText(IDC_JOB_LISTS_REQUEST, job ? job->PART : "?");
  NoteEdit->SetWindowText(!job ? "" : job->MEMO ? job->MEMO : "?");
  NoteEdit->ClearModify();
  {
    TJobTable02 lines;
    TControlLines fill(*JobProgramList);
    FillJobProgramList(&lines, JobId, &fill);
  }
  EvJobProgramSelected();
}

void TJobMaintainDlg::ShowProgram(long programId, int firstStatic) {
  std::unique_ptr<TcbFileRecord> r;
  if (programId != 0) {
    TcbFileTable programs("KELVFILE.DBF", 0, 0);
    r.reset(programs.FindById(programId));
  }
  SetDlgItemText(firstStatic, r ? r->DESC : "?");
  SetDlgItemText(firstStatic + 1, r ? r->PART : "?");
  SetDlgItemText(firstStatic + 2, r ? r->CHAR3 : "?");
  SetDlgItemText(firstStatic + 3, r ? r->DRAW : "?");
}

void TJobMaintainDlg::EvProgramSelected() {
  std::string line = SelectedLine(*ProgramList);
  ProgramId = line.empty() ? 0 : ListLineId(line.c_str());
  ProgramNumber = line.empty() ? 0 : ListLineSecondId(line.c_str());
  ShowProgram(ProgramId, IDC_JOB_LISTS_DESC);
}

void TJobMaintainDlg::EvJobProgramSelected() {
  std::string line = SelectedLine(*JobProgramList);
  ShowProgram(line.empty() ? 0 : JobLineProgramId(line.c_str()), IDC_JOB_LISTS_JOB_DESC);
}

void TJobMaintainDlg::CmAddProgram() {
  if (JobControlsHidden || JobId == 0 || ProgramId == 0) return;
  for (int i = 0; i < JobProgramList->GetCount(); i++) {
    if (JobLineProgramId(JobProgramList->GetString(i).c_str()) == ProgramId) {
      ShowMessage(this, kMsgProgramInJob);
      return;
    }
  }
  long lineId;
  {
    TJobTable02 lines;
    lineId = lines.AppendJobLine(JobId, ProgramId, ProgramNumber);
  }
  if (!Stored(this, lineId)) return;
  char shown[61] = {};
  GetDlgItemText(IDC_JOB_LISTS_DESC, shown, sizeof shown);
  std::string desc = JobLineText(shown);
  JobProgramList->AddString(
      FormatText("%-100s@@%ld\xA3\xA3%ld@\xA3%ld", desc.c_str(), lineId, ProgramId, ProgramNumber).c_str());
}

void TJobMaintainDlg::CmRemoveProgram() {
  std::string line = SelectedLine(*JobProgramList);
  if (line.find("@@") == std::string::npos) return;
  if (ShowMessage(this, kMsgRemoveJobProgram, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
  int removed;
  {
    TJobTable02 lines;
    removed = lines.DeleteJobLine(ListLineId(line.c_str()));
  }
  if (!Stored(this, removed)) return;
  JobProgramList->DeleteString(JobProgramList->GetSelIndex());
  if (JobProgramList->GetCount() > 0) JobProgramList->SetSelIndex(0);
  EvJobProgramSelected();
}

void TJobMaintainDlg::CmDeleteJob() {
  if (JobId == 0) return;
  if (ShowMessage(this, kMsgDeleteJob, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
  int deleted = DeleteJobAndLines(JobId);
  Stored(this, deleted);
  EvMachineSelected();
}

void TJobMaintainDlg::EvNoteKillFocus() {
  if (JobId == 0 || !NoteEdit->IsModified()) return;
  int stored;
  {
    TJobTable01 jobs;
    stored = jobs.UpdateJobNote(JobId, NoteEdit->GetText().c_str());
  }
  if (Stored(this, stored)) NoteEdit->ClearModify();
}

void TJobMaintainDlg::CmSend() {
  if (!SendMode || JobId == 0) return;
  Globals->SelectedId = static_cast<int32_t>(JobId);
  CloseWindow(IDOK);
}

void TJobMaintainDlg::CmCreateJob() {
  {
    TCreateJobDlg dlg(this);
    dlg.Execute();
  }
  {
    TJobTable01 jobs;
    TControlLines lines(*JobCombo);
    FillJobList(&jobs, MachineId, &lines);
  }
  EvJobSelected();
}

HBRUSH TJobMaintainDlg::EvCtlColor(TDC& dc, HWND control, UINT ctlType) {
  if (ctlType != WM_CTLCOLORSTATIC || !control) return nullptr;
  int id = GetDlgCtrlID(control);
  if (id >= IDC_JOB_LISTS_DESC && id <= IDC_JOB_LISTS_REQUEST) {
    dc.SetTextColor(RGB(255, 255, 0));
    dc.SetBkColor(RGB(0, 0, 0));
    return static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  }
  if (id >= IDC_JOB_LISTS_MACHINES_GROUP && id <= IDC_JOB_LISTS_JOB_DRAWING_LABEL) {
    dc.SetTextColor(id <= IDC_JOB_LISTS_JOB_GROUP ? RGB(0, 0, 192) : RGB(128, 0, 0));
    dc.SetBkColor(RGB(192, 192, 192));
    return LightGrey;
  }
  return nullptr;
}

// ---- create job ---------------------------------------------------------------------

DEFINE_RESPONSE_TABLE1(TCreateJobDlg, TLangDlg)
  EV_CBN_SELCHANGE(IDC_CREATE_JOBS_MACHINE, EvMachineSelected),
  EV_CBN_SELCHANGE(IDC_CREATE_JOBS_JOB, EvJobSelected),
  EV_BN_CLICKED(IDC_CREATE_JOBS_APPEND, CmAppend),
  EV_BN_CLICKED(IDC_CREATE_JOBS_MODIFY, CmModify),
  EV_BN_CLICKED(IDC_CREATE_JOBS_DELETE, CmDelete),
END_RESPONSE_TABLE;

TCreateJobDlg::TCreateJobDlg(TWindow* parent) : TLangDlg(parent, IDD_CREATE_JOBS) {
  MachineCombo = new TComboBox(this, IDC_CREATE_JOBS_MACHINE, 250);
  JobCombo = new TComboBox(this, IDC_CREATE_JOBS_JOB, 250);
  NameEdit = new TEdit(this, IDC_CREATE_JOBS_NAME, 40);
  RequestEdit = new TEdit(this, IDC_CREATE_JOBS_REQUEST, 25);
  NoteEdit = new TEdit(this, IDC_CREATE_JOBS_NOTE, 2000);
}

void TCreateJobDlg::SetupWindow() {
  TLangDlg::SetupWindow();
  SetCaptionText(930);
  SetItemTexts(IDC_CREATE_JOBS_APPEND, 0, 3);
  SetItemTexts(IDC_CREATE_JOBS_MACHINE_LABEL, 931, 5);
  {
    TcbMachTable machines("KELVMA.DBF", 0, 0);
    TControlLines lines(*MachineCombo);
    machines.FillList(&lines);
  }
  EvMachineSelected();
}

void TCreateJobDlg::EvMachineSelected() {
  MachineId = ListLineId(SelectedLine(*MachineCombo).c_str());
  {
    TJobTable01 jobs;
    TControlLines lines(*JobCombo);
    FillJobList(&jobs, MachineId, &lines);
  }
  EvJobSelected();
}

void TCreateJobDlg::EvJobSelected() {
  NameEdit->SetWindowText("");
  RequestEdit->SetWindowText("");
  NoteEdit->SetWindowText("");
  std::string line = SelectedLine(*JobCombo);
  JobId = line.find("@@") == std::string::npos ? 0 : ListLineId(line.c_str());
  if (JobId) {
    TJobTable01 jobs;
    std::unique_ptr<TJobRecord01> job(jobs.ReadJob(JobId));
    if (job) {
      NameEdit->SetWindowText(job->NAME);
      RequestEdit->SetWindowText(job->PART);
      NoteEdit->SetWindowText(job->MEMO ? job->MEMO : "?");
    }
  }
  NameEdit->ClearModify();
  RequestEdit->ClearModify();
}

bool TCreateJobDlg::ReadFields(std::string& name, std::string& request) {
  name = TrimText(NameEdit->GetText());
  request = TrimText(RequestEdit->GetText());
  TEdit* empty = name.empty() ? NameEdit : request.empty() ? RequestEdit : nullptr;
  if (empty) {
    Beep();
    empty->SetFocus();
    return false;
  }
  // The DNC server looks the request id up in a filter; one it could not
  // write there would never be found.
  std::string quoted;
  if (!QuoteFilterText(request, quoted)) {
    ShowMessage(this, kMsgRequestUnquotable);
    RequestEdit->SetFocus();
    return false;
  }
  return true;
}

void TCreateJobDlg::CmAppend() {
  if (MachineId == 0) return;
  std::string name, request;
  if (!ReadFields(name, request)) return;
  TJobTable01 jobs;
  if (FindOtherJobByMachinePart(&jobs, MachineId, request.c_str(), JobId)) {
    ShowMessage(this, kMsgRequestTaken);
    return;
  }
  if (!Stored(this, jobs.AppendJob(MachineId, name.c_str(), request.c_str(), NoteEdit->GetText().c_str())))
    return;
  EvMachineSelected();
}

void TCreateJobDlg::CmModify() {
  if (MachineId == 0 || JobId == 0) return;
  std::string name, request;
  if (!ReadFields(name, request)) return;
  TJobTable01 jobs;
  // The job's own request id, typed again, is not taken by another job.
  if (RequestEdit->IsModified() && FindOtherJobByMachinePart(&jobs, MachineId, request.c_str(), JobId)) {
    ShowMessage(this, kMsgRequestTaken);
    return;
  }
  if (!Stored(this, jobs.UpdateJob(JobId, MachineId, name.c_str(), request.c_str(), NoteEdit->GetText().c_str())))
    return;
  EvMachineSelected();
}

void TCreateJobDlg::CmDelete() {
  if (JobId == 0) return;
  if (ShowMessage(this, kMsgDeleteJob, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
  int deleted = DeleteJobAndLines(JobId);
  if (!Stored(this, deleted)) return;
  int i = JobCombo->GetSelIndex();
  if (i >= 0) JobCombo->DeleteString(i);
  if (JobCombo->GetCount() > 0) JobCombo->SetSelIndex(0);
  EvJobSelected();
}
