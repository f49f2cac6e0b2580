// The save-program dialog. Two stations that file the same Program-ID for
// the same machine at once must not both add a row: the duplicate check,
// the id draw and the append run while this station holds the filing lock
// of the program index (a byte of KELVFILE.DBF beyond every lock the table
// engine takes, so the record locks of open programs do not block it).
#include "storage/save_prog.h"

#include <string>

#include "app/users_lines.h"
#include "appcore/globals.h"
#include "appcore/log_text.h"
#include "appcore/message_ids.h"
#include "dbmodel/counter.h"
#include "dbmodel/customer.h"
#include "dbmodel/filetable.h"
#include "dbmodel/machine.h"
#include "dbmodel/project.h"
#include "engine/engine_api.h"
#include "platform/msgbox.h"
#include "resources/dialogs/editor.h"
#include "storage/filing_lock.h"

namespace {

int Ask(int messageId, UINT flags, int captionId = 0) {
  std::string caption = captionId ? Globals->GetMessageText(captionId) : Globals->CaptionText.c_str();
  return ::MessageBox(GetFocus(), Globals->GetMessageText(messageId).c_str(), caption.c_str(), flags);
}

std::string EditText(TEdit& edit, size_t max) {
  std::string s = edit.GetText();
  if (s.size() > max) s.resize(max);
  return s;
}

}  // namespace

DEFINE_RESPONSE_TABLE1(TSaveProg, TLangDlg)
  EV_BN_CLICKED(IDOK, CmOk),
  EV_BN_CLICKED(IDC_SAVE_PROGRAM_CUSTOMER_BOX, EvCustomerCheck),
  EV_BN_CLICKED(IDC_SAVE_PROGRAM_PROJECT_BOX, EvProjectCheck),
  EV_CBN_SELCHANGE(IDC_SAVE_PROGRAM_CUSTOMER, EvCustomerChange),
  EV_CBN_SELCHANGE(IDC_SAVE_PROGRAM_PROJECT, EvProjectChange),
END_RESPONSE_TABLE;

TSaveProg::TSaveProg(TWindow* parent) : TLangDlg(parent, IDD_SAVE_PROGRAM) {
  CustomerCombo = new TComboBox(this, IDC_SAVE_PROGRAM_CUSTOMER, 50);
  ProjectCombo = new TComboBox(this, IDC_SAVE_PROGRAM_PROJECT, 50);
  ProgramIdEdit = new TEdit(this, IDC_SAVE_PROGRAM_ID, 40);
  PartEdit = new TEdit(this, IDC_SAVE_PROGRAM_PART, 25);
  DrawingEdit = new TEdit(this, IDC_SAVE_PROGRAM_DRAWING, 25);
  DescriptionEdit = new TEdit(this, IDC_SAVE_PROGRAM_DESCRIPTION, 50);
  CustomerCheck = new TCheckBox(this, IDC_SAVE_PROGRAM_CUSTOMER_BOX);
  ProjectCheck = new TCheckBox(this, IDC_SAVE_PROGRAM_PROJECT_BOX);
}

void TSaveProg::SetupWindow() {
  TLangDlg::SetupWindow();
  SetCaptionText(52);
  SetItemText(IDOK, 53);
  SetItemText(IDC_SAVE_PROGRAM_CUSTOMER_BOX, 54);
  SetItemText(IDC_SAVE_PROGRAM_PROJECT_BOX, 55);
  SetItemTexts(IDC_SAVE_PROGRAM_ID_LABEL, 56, 4);
  {
    TcbAdvCustTable customers("KELVCUS2.DBF", 0, 0);
    TControlLines<TComboBox> lines(*CustomerCombo);
    customers.FillList(&lines);
  }
  if (CustomerCombo->GetCount() == 0) {
    for (TWindow* w : {static_cast<TWindow*>(CustomerCheck), static_cast<TWindow*>(CustomerCombo),
                       static_cast<TWindow*>(ProjectCheck), static_cast<TWindow*>(ProjectCombo)})
      w->ShowWindow(SW_HIDE);
    return;
  }
  CustomerCheck->Uncheck();
  CustomerCombo->ShowWindow(SW_HIDE);
  ProjectCombo->ShowWindow(SW_HIDE);
  ProjectCheck->ShowWindow(SW_HIDE);
  EvCustomerChange();
}

void TSaveProg::ShowIfHidden(TWindow* w, bool show) {
  if (w->IsWindowVisible() != show) w->ShowWindow(show ? SW_SHOW : SW_HIDE);
}

void TSaveProg::EvCustomerChange() {
  std::string line = CustomerCombo->GetSelIndex() < 0 ? "" : CustomerCombo->GetString(CustomerCombo->GetSelIndex());
  if (line.find("@@") == std::string::npos) return;
  CustomerId = ListLineId(line.c_str());
  {
    TcbProTable projects("KELVPRO.DBF", 0, 0);
    TControlLines<TComboBox> lines(*ProjectCombo);
    projects.FillListOfCustomer(&lines, CustomerId);
  }
  ProjectId = 0;
  if (ProjectCombo->GetCount() == 0) {
    ShowIfHidden(ProjectCombo, false);
    ShowIfHidden(ProjectCheck, false);
    return;
  }
  ShowIfHidden(ProjectCheck, true);
  EvProjectCheck();
}

void TSaveProg::EvCustomerCheck() {
  CustomerId = 0;
  if (!CustomerCombo->IsWindowVisible()) {
    CustomerCombo->ShowWindow(SW_SHOW);
    EvCustomerChange();
    return;
  }
  CustomerCombo->ShowWindow(SW_HIDE);
  ShowIfHidden(ProjectCombo, false);
  ShowIfHidden(ProjectCheck, false);
}

void TSaveProg::EvProjectCheck() {
  ProjectId = 0;
  bool checked = ProjectCheck->GetCheck() == BST_CHECKED;
  if (checked && !ProjectCombo->IsWindowVisible()) {
    ProjectCombo->ShowWindow(SW_SHOW);
    EvProjectChange();
  } else if (!checked && ProjectCombo->IsWindowVisible()) {
    ProjectCombo->ShowWindow(SW_HIDE);
  }
}

void TSaveProg::EvProjectChange() {
  int i = ProjectCombo->GetSelIndex();
  if (i < 0) return;
  std::string line = ProjectCombo->GetString(i);
  if (line.find("@@") != std::string::npos) ProjectId = ListLineId(line.c_str());
}

// The customer list is filled with its first line selected before the user
// touches anything: a customer counts only while its list is shown.
long TSaveProg::ChosenCustomer() const { return CustomerCombo->IsWindowVisible() ? CustomerId : 0; }
long TSaveProg::ChosenProject() const {
  return ChosenCustomer() && ProjectCombo->IsWindowVisible() ? ProjectId : 0;
}

void TSaveProg::CmOk() {
  std::string programId = EditText(*ProgramIdEdit, 39);
  std::string part = EditText(*PartEdit, 24), drawing = EditText(*DrawingEdit, 24);
  std::string description = EditText(*DescriptionEdit, 49);
  if (programId.empty()) {
    MessageBeep(MB_ICONHAND);
    ProgramIdEdit->SetFocus();
    return;
  }
  if (File(programId.c_str(), part.c_str(), drawing.c_str(), description.c_str())) CloseWindow(IDOK);
}

bool TSaveProg::File(const char* programId, const char* part, const char* drawing, const char* description) {
  TFilingLock lock;
  if (!lock.IsHeld()) {
    Ask(kMsgSaveNotFiled, MB_OK | MB_ICONSTOP);
    return false;
  }
  // A Program-ID that cannot stand in the duplicate check's filter is
  // refused (the user is told) rather than filed unchecked.
  std::string quoted;
  if (!QuoteSearchText(PadText(programId, 40), quoted)) return false;
  TcbFileRecord* found;
  {
    TcbFileTable programs("KELVFILE.DBF", 0, 0);
    found = programs.SelectByDescAndMachine(programId, Globals->EditMachineId);
    programs.made = nullptr;
  }
  if (found) {
    bool done = HandBackExisting(found);
    FreeRecordList(found);
    return done;
  }
  return FileNew(programId, part, drawing, description);
}

bool TSaveProg::HandBackExisting(TcbFileRecord* found) {
  if (Ask(kMsgProgramIdExists, MB_YESNO | MB_ICONQUESTION, kMsgProgramCaption) != IDYES) return false;
  Globals->CurrentProgramId = static_cast<int>(found->NCID);
  Globals->CurrentProgramDesc.Set(found->DESC);
  return true;
}

bool TSaveProg::FileNew(const char* programId, const char* part, const char* drawing, const char* description) {
  // The machine first: a question answered No must not use up an id.
  TcbMachRecord* machine;
  {
    TcbMachTable machines("KELVMA.DBF", 0, 0);
    machine = machines.FindById(Globals->EditMachineId);
    machines.Close();
  }
  if (!machine && Ask(kMsgSaveUnknownMachine, MB_YESNO | MB_ICONQUESTION) != IDYES) return false;

  TcbFileRecord r;
  long id = NextProgramId();
  if (id < 1 || id > kLargestFiledProgramId) {
    delete machine;
    Ask(id < 1 ? kMsgSaveNoNumber : kMsgSaveNumbersExhausted, MB_OK | MB_ICONSTOP);
    return false;
  }
  Globals->NewProgramId = static_cast<int>(id);
  r.NCID = r.LONG1 = id;
  std::snprintf(r.NAME, sizeof r.NAME, "P%ld", id);
  CopyCut(r.EXT, sizeof r.EXT, "NC");
  TrimCopy(r.DESC, programId);
  TrimCopy(r.CHAR3, description);
  TrimCopy(r.PART, part);
  TrimCopy(r.DRAW, drawing);
  r.CUST = ChosenCustomer();
  r.PROJECT = ChosenProject();
  r.MID = Globals->EditMachineId;
  if (machine) {
    r.MAT = machine->TYPE;
    CopyCut(r.MACHINE, sizeof r.MACHINE, machine->NAME);
    r.MAZAK = machine->MAZAK;
    CopyCut(r.DIR, sizeof r.DIR, machine->PATH);
    delete machine;
  } else {
    CopyCut(r.DIR, sizeof r.DIR, Globals->TempDir.c_str());
  }
  r.PROG = -1;
  r.LOCK = 0;
  r.SENT = 0;

  SetCursor(nullptr, IDC_WAIT);
  int appended;
  {
    TcbFileTable programs("KELVFILE.DBF", 0, 0);
    appended = programs.Append(&r);
  }
  SetCursor(nullptr, IDC_ARROW);
  if (!appended) {
    Ask(kMsgSaveNotFiled, MB_OK | MB_ICONSTOP);
    return false;
  }
  Globals->WriteLog(kLogProgramCreated, r.DESC, r.MACHINE);
  Globals->CurrentProgramId = static_cast<int>(id);
  Globals->CurrentProgramDesc.Set(programId);
  return true;
}
