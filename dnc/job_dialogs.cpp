// Job maintenance and the create-job dialog. Every change goes straight to
// the job tables; a change the tables refuse is told to the user, and the
// lists are filled again from the files rather than patched, except where a
// single line is added or removed.
#include "dnc/job_dialogs.h"

#include <memory>

#include "app/users_dialogs.h"
#include "app/users_lines.h"
#include "appcore/globals.h"
#include "dbmodel/filetable.h"
#include "dbmodel/job.h"
#include "dbmodel/machine.h"
#include "platform/msgbox.h"
#include "appcore/text_scan.h"

namespace {

enum : int {
  kMsgProgramInJob = 200,
  kMsgRemoveProgram = 202,
  kMsgDeleteJob = 203,
  kMsgRequestTaken = 206,
  kMsgNotStored = 1967,
  kMsgRequestUnquotable = 1950,
};

// Hidden while the machine has no job.
constexpr int kJobControls[] = {203, 105, 106, 107, 108, 115, 116, 117, 118, 119, 120, 209, 210, 211, 212};
// The controls that take the opener's font.
constexpr int kFontControls[] = {2,   101, 102, 103, 104, 105, 106, 107, 108, 109, 120, 200, 201, 202, 203,
                                 205, 206, 207, 208, 209, 210, 211, 212, 300, 301, 302, 303};

std::string SelectedLine(const TListBox& list) {
  int i = list.GetSelIndex();
  return i < 0 ? std::string() : list.GetString(i);
}

std::string SelectedLine(const TComboBox& combo) {
  int i = combo.GetSelIndex();
  return i < 0 ? std::string() : combo.GetString(i);
}

bool Stored(TWindow* owner, long result) {
  if (!result) ShowMessage(owner, kMsgNotStored, MB_OK | MB_ICONSTOP);
  return result != 0;
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
  EV_LBN_SELCHANGE(101, EvMachineSelected),
  EV_CBN_SELCHANGE(102, EvJobSelected),
  EV_BN_CLICKED(103, CmCreateJob),
  EV_LBN_SELCHANGE(104, EvProgramSelected),
  EV_LBN_DBLCLK(104, CmAddProgram),
  EV_BN_CLICKED(105, CmRemoveProgram),
  EV_BN_CLICKED(106, CmAddProgram),
  EV_LBN_SELCHANGE(107, EvJobProgramSelected),
  EV_LBN_DBLCLK(107, CmRemoveProgram),
  EV_BN_CLICKED(108, CmDeleteJob),
  EV_BN_CLICKED(109, CmSend),
  EV_EN_KILLFOCUS(120, EvNoteKillFocus),
  EV_BN_CLICKED(300, CmSortByDesc),
  EV_BN_CLICKED(301, CmSortByPart),
  EV_BN_CLICKED(302, CmSortByChar3),
  EV_BN_CLICKED(303, CmSortByDraw),
END_RESPONSE_TABLE;

TJobMaintainDlg::TJobMaintainDlg(TWindow* parent, TFont* font, int sendMode)
    : TLangDlg(parent, 58), Font(font), SendMode(sendMode) {
  MachineList = new TListBox(this, 101);
  JobCombo = new TComboBox(this, 102, 200);
  ProgramList = new TListBox(this, 104);
  JobProgramList = new TListBox(this, 107);
  NoteEdit = new TEdit(this, 120, 2000);
  for (int i = 0; i < 4; i++) SortButtons[i] = new TRadioButton(this, 300 + i);
}

void TJobMaintainDlg::SetupWindow() {
  TLangDlg::SetupWindow();
  SetCaptionText(940);
  SetItemText(109, 954);
  if (!SendMode) ::ShowWindow(GetDlgItem(109), SW_HIDE);
  SetItemTexts(300, 949, 4);
  SetItemTexts(200, 941, 4);
  SetItemTexts(205, 945, 4);
  SetItemTexts(209, 945, 4);
  SetItemText(208, 956);
  SetItemText(212, 956);
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
  SetDlgItemText(119, job ? job->PART : "?");
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
  ShowProgram(ProgramId, 111);
}

void TJobMaintainDlg::EvJobProgramSelected() {
  std::string line = SelectedLine(*JobProgramList);
  ShowProgram(line.empty() ? 0 : JobLineProgramId(line.c_str()), 115);
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
  GetDlgItemText(111, shown, sizeof shown);
  std::string desc = JobLineText(shown);
  JobProgramList->AddString(
      FormatText("%-100s@@%ld\xA3\xA3%ld@\xA3%ld", desc.c_str(), lineId, ProgramId, ProgramNumber).c_str());
}

void TJobMaintainDlg::CmRemoveProgram() {
  std::string line = SelectedLine(*JobProgramList);
  if (line.find("@@") == std::string::npos) return;
  if (ShowMessage(this, kMsgRemoveProgram, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
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
  if (id >= 111 && id <= 119) {
    dc.SetTextColor(RGB(255, 255, 0));
    dc.SetBkColor(RGB(0, 0, 0));
    return static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  }
  if (id >= 200 && id <= 212) {
    dc.SetTextColor(id <= 202 ? RGB(0, 0, 192) : RGB(128, 0, 0));
    dc.SetBkColor(RGB(192, 192, 192));
    return LightGrey;
  }
  return nullptr;
}

// ---- create job ---------------------------------------------------------------------

DEFINE_RESPONSE_TABLE1(TCreateJobDlg, TLangDlg)
  EV_CBN_SELCHANGE(102, EvMachineSelected),
  EV_CBN_SELCHANGE(108, EvJobSelected),
  EV_BN_CLICKED(105, CmAppend),
  EV_BN_CLICKED(106, CmModify),
  EV_BN_CLICKED(107, CmDelete),
END_RESPONSE_TABLE;

TCreateJobDlg::TCreateJobDlg(TWindow* parent) : TLangDlg(parent, 57) {
  MachineCombo = new TComboBox(this, 102, 250);
  JobCombo = new TComboBox(this, 108, 250);
  NameEdit = new TEdit(this, 101, 40);
  RequestEdit = new TEdit(this, 103, 25);
  NoteEdit = new TEdit(this, 104, 2000);
}

void TCreateJobDlg::SetupWindow() {
  TLangDlg::SetupWindow();
  SetCaptionText(930);
  SetItemTexts(105, 0, 3);
  SetItemTexts(200, 931, 5);
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
