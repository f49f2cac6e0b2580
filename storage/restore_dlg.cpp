// The kept-program dialogs. Every change keeps a row and its file in step:
// a file is moved only where the row that names it can follow, and a row
// is written only for a file that is where it says.
#include "storage/restore_dlg.h"

#include <cstring>
#include <memory>

#include "app/users_lines.h"
#include "appcore/globals.h"
#include "appcore/log_text.h"
#include "appcore/message_ids.h"
#include "dbmodel/counter.h"
#include "dbmodel/customer.h"
#include "dbmodel/machine.h"
#include "dbmodel/project.h"
#include "engine/engine_api.h"
#include "platform/file.h"
#include "platform/msgbox.h"
#include "platform/ui/ctlcolor.h"
#include "platform/ui/dc.h"
#include "resources/dialogs/restore.h"
#include "storage/filing_lock.h"
#include "storage/log_common.h"
#include "storage/save_prog.h"
#include "appcore/text_scan.h"

namespace {

constexpr const char* kProgramIndex = "KELVFILE.DBF";
constexpr const char* kBackups = "KELVBACK.DBF";
constexpr int kViewLimit = 30000;
constexpr size_t kTextViewBytes = 24990;
constexpr size_t kCodeViewBytes = 6000;
constexpr int kFirstRecordLine = 2;

std::string TrimRight(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

// The id a list line names: the number behind its last "@" (a typed text
// holding an "@" in front of it must not redirect the line).
bool LineId(const std::string& line, long& id) {
  size_t at = line.rfind('@');
  if (at == std::string::npos) return false;
  id = std::strtol(line.c_str() + at + 1, nullptr, 10);
  return true;
}

// A row of a program-index table by id, or null.
std::unique_ptr<TcbFileRecord> FindRow(const char* table, long id) {
  TcbFileTable t(table, 0, 0);
  std::unique_ptr<TcbFileRecord> r(t.FindById(id));
  t.Close();
  return r;
}

int Box(int messageId, UINT flags, int captionId = 0) {
  std::string caption = captionId ? Globals->GetMessageText(captionId) : Globals->CaptionText.c_str();
  return ::MessageBox(::GetFocus(), Globals->GetMessageText(messageId).c_str(), caption.c_str(), flags);
}

}  // namespace

DEFINE_RESPONSE_TABLE1(TKeptProgramsDlg, TLangDlg)
  EV_WM_CTLCOLOR,
  EV_BN_CLICKED(IDC_KEPT_PROGRAMS_SAVE, CmSaveInfo),
  EV_BN_CLICKED(IDC_KEPT_PROGRAMS_RESTORE, CmRestore),
  EV_BN_CLICKED(IDC_KEPT_PROGRAMS_DELETE, CmDelete),
  EV_BN_CLICKED(IDC_KEPT_PROGRAMS_CUSTOMER_BOX, CmCustomerBox),
  EV_BN_CLICKED(IDC_KEPT_PROGRAMS_PROJECT_BOX, CmProjectBox),
  EV_BN_CLICKED(IDC_KEPT_PROGRAMS_HEX, ShowFileCodes),
  EV_BN_CLICKED(IDC_KEPT_PROGRAMS_DEC, ShowFileCodes),
  EV_BN_CLICKED(IDC_KEPT_PROGRAMS_NORMAL, ShowFileCodes),
  EV_LBN_SELCHANGE(IDC_KEPT_PROGRAMS_LIST, EvSelChange),
  EV_CBN_SELCHANGE(IDC_KEPT_PROGRAMS_MACHINE, EvMachineChange),
  EV_CBN_SELCHANGE(IDC_KEPT_PROGRAMS_CUSTOMER, EvCustomerChange),
  EV_CBN_SELCHANGE(IDC_KEPT_PROGRAMS_PROJECT, EvProjectChange),
END_RESPONSE_TABLE;

TKeptProgramsDlg::TKeptProgramsDlg(TWindow* parent, TcbFileRecord* records, const TKeptTableKind& kind)
    : TLangDlg(parent, IDD_KEPT_PROGRAMS),
      Record(records),
      ColumnOrder(Globals->SearchMode),
      Kind(kind),
      NavyBrush(RGB(0, 0, 128)),
      TealBrush(RGB(0, 192, 192)),
      ListFont("COURIER", 8, 0, 0, 0, 400) {
  ProgramList = new TListBox(this, IDC_KEPT_PROGRAMS_LIST);
  View = new TEdit(this, IDC_KEPT_PROGRAMS_VIEW, kViewLimit);
  CustomerCombo = new TComboBox(this, IDC_KEPT_PROGRAMS_CUSTOMER, 51);
  ProjectCombo = new TComboBox(this, IDC_KEPT_PROGRAMS_PROJECT, 51);
  MachineCombo = new TComboBox(this, IDC_KEPT_PROGRAMS_MACHINE, 51);
  DescEdit = new TEdit(this, IDC_KEPT_PROGRAMS_PROGRAM_ID, 41);
  ProgramIdEdit = new TEdit(this, IDC_KEPT_PROGRAMS_DESCRIPTION, 51);
  DrawingEdit = new TEdit(this, IDC_KEPT_PROGRAMS_DRAWING, 26);
  PartEdit = new TEdit(this, IDC_KEPT_PROGRAMS_PART, 26);
  CustomerBox = new TCheckBox(this, IDC_KEPT_PROGRAMS_CUSTOMER_BOX);
  ProjectBox = new TCheckBox(this, IDC_KEPT_PROGRAMS_PROJECT_BOX);
  SizeText = new TStatic(this, IDC_KEPT_PROGRAMS_SIZE, 51);
  DateText = new TStatic(this, IDC_KEPT_PROGRAMS_SAVED, 51);
  DeleteButton = new TButton(this, IDC_KEPT_PROGRAMS_DELETE);
  if (Kind.CodeViews) {
    ViewFont = new TFont("COURIER", 8, 0, 0, 0, 400);
    HexButton = new TRadioButton(this, IDC_KEPT_PROGRAMS_HEX);
    DecButton = new TRadioButton(this, IDC_KEPT_PROGRAMS_DEC);
    TextButton = new TRadioButton(this, IDC_KEPT_PROGRAMS_NORMAL);
  }
  if (ColumnOrder < 1 || ColumnOrder > 4) ColumnOrder = 1;
}

TKeptProgramsDlg::~TKeptProgramsDlg() {
  // Rows never listed (the dialog was not shown) and the current one.
  FreeRecordList(Record);
  delete ViewFont;
}

void TKeptProgramsDlg::SetupWindow() {
  TLangDlg::SetupWindow();
  ProgramList->SetWindowFont(ListFont, true);
  if (Kind.CodeViews) {
    for (TRadioButton* b : {HexButton, DecButton, TextButton}) b->ShowWindow(SW_SHOW);
    TextButton->Check();
  }
  SetCaptionText(Kind.CaptionTextId);
  const int controls[] = {IDC_KEPT_PROGRAMS_ASSOCIATIONS, IDC_KEPT_PROGRAMS_MACHINE_LABEL,
                          IDC_KEPT_PROGRAMS_PROGRAM_ID_LABEL, IDC_KEPT_PROGRAMS_DESCRIPTION_LABEL,
                          IDC_KEPT_PROGRAMS_PART_LABEL, IDC_KEPT_PROGRAMS_DRAWING_LABEL, IDC_KEPT_PROGRAMS_FILE_GROUP,
                          IDC_KEPT_PROGRAMS_SIZE_LABEL, IDC_KEPT_PROGRAMS_SIZE_UNIT, IDC_KEPT_PROGRAMS_SAVED_LABEL,
                          IDC_KEPT_PROGRAMS_SAVE, IDC_KEPT_PROGRAMS_RESTORE, IDC_KEPT_PROGRAMS_DELETE,
                          IDC_KEPT_PROGRAMS_CUSTOMER_BOX, IDC_KEPT_PROGRAMS_PROJECT_BOX, IDC_KEPT_PROGRAMS_HEX,
                          IDC_KEPT_PROGRAMS_DEC, IDC_KEPT_PROGRAMS_NORMAL};
  for (int i = 0; i < 18; i++) SetItemText(controls[i], 259 + i);
  if (ViewFont) View->SetWindowFont(*ViewFont, false);

  {
    TcbAdvCustTable customers("KELVCUS2.DBF", 0, 0);
    TControlLines<TComboBox> lines(*CustomerCombo);
    customers.FillList(&lines);
  }
  if (CustomerCombo->GetCount() > 0) {
    CustomerCombo->SetSelIndex(0);
    CustomerBox->Check();
    EvCustomerChange();
  } else {
    for (TWindow* w : {static_cast<TWindow*>(CustomerBox), static_cast<TWindow*>(CustomerCombo),
                       static_cast<TWindow*>(ProjectBox), static_cast<TWindow*>(ProjectCombo)})
      w->ShowWindow(SW_HIDE);
  }
  {
    TcbMachTable machines("KELVMA.DBF", 0, 0);
    TControlLines<TComboBox> lines(*MachineCombo);
    machines.FillListWithType(&lines);
  }
  EvMachineChange();

  auto title = [](int id) { return Globals->GetMessageText(id); };
  ProgramList->AddString(KeptHeaderLine(ColumnOrder, title(kMsgColumnMachine), title(kMsgColumnProgramId),
                                        title(kMsgColumnDescription), title(kMsgColumnDrawingNo),
                                        title(kMsgColumnPartNo))
                             .c_str());
  ProgramList->SetHorizontalExtent(1400);
  ProgramList->AddString(std::string(395, '_').c_str());
  while (Record) {
    TcbFileRecord* next = static_cast<TcbFileRecord*>(Record->next);
    ProgramList->AddString(KeptProgramLine(*Record, ColumnOrder).c_str());
    delete Record;
    Record = next;
  }
  ProgramList->SetSelIndex(kFirstRecordLine);
  EvSelChange();
}

void TKeptProgramsDlg::FreeRecord() {
  delete Record;
  Record = nullptr;
}

void TKeptProgramsDlg::EvSelChange() {
  if (ProgramList->GetSelIndex() < kFirstRecordLine) ProgramList->SetSelIndex(kFirstRecordLine);
  View->SetWindowText("");
  for (TEdit* e : {DescEdit, PartEdit, DrawingEdit, ProgramIdEdit}) e->SetWindowText("");
  SizeText->SetText("?");
  DateText->SetText("?");
  int index = ProgramList->GetSelIndex();
  long id = 0;
  if (index < 0 || !LineId(CutText(ProgramList->GetString(index), 290), id)) {
    FreeRecord();
    return;
  }
  FreeRecord();
  LineIndex = index;
  Record = FindRow(Kind.TableFile, id).release();
  if (Record) {
    std::string path = Record->FilePath();
    plat::File f = plat::create_file(path, plat::Access::read, plat::Share::read_write,
                                     plat::Disposition::open_existing);
    if (f.is_open()) {
      int64_t size = plat::length(f);
      if (size >= 0) SizeText->SetText(FormatText("%lld", static_cast<long long>(size)).c_str());
      plat::FileTime when = 0;
      if (plat::last_write_time(path, when)) DateText->SetText(KeptFileTime(when).c_str());
      plat::close(f);
    }
  }
  ShowRecord();
  ShowFileCodes();
}

// By the control's own flag: while the dialog is being set up it is not
// shown yet, and neither is any control in it.
void TKeptProgramsDlg::ShowIfHidden(TWindow* w, bool show) {
  if (((w->GetStyle() & WS_VISIBLE) != 0) != show) w->ShowWindow(show ? SW_SHOW : SW_HIDE);
}

void TKeptProgramsDlg::ShowRecord() {
  if (!Record) return;
  CustomerId = Record->CUST;
  ProjectId = Record->PROJECT;
  MachineId = Record->MID;
  MachineTypeId = Record->MAT;
  DescEdit->SetWindowText(Record->DESC);
  ProgramIdEdit->SetWindowText(Record->CHAR3);
  PartEdit->SetWindowText(Record->PART);
  DrawingEdit->SetWindowText(Record->DRAW);
  if (MachineId) SelectLineById(*MachineCombo, MachineId);
  if (!CustomerId) {
    CustomerBox->Uncheck();
    ProjectBox->Uncheck();
    ShowIfHidden(CustomerBox, true);
    ShowIfHidden(CustomerCombo, false);
    ShowIfHidden(ProjectCombo, false);
    ShowIfHidden(ProjectBox, false);
    return;
  }
  CustomerBox->Check();
  ShowIfHidden(CustomerBox, true);
  ShowIfHidden(CustomerCombo, true);
  SelectLineById(*CustomerCombo, CustomerId);
  {
    TcbProTable projects("KELVPRO.DBF", 0, 0);
    TControlLines<TComboBox> lines(*ProjectCombo);
    projects.FillListOfCustomer(&lines, CustomerId);
  }
  if (ProjectCombo->GetCount() > 0) {
    ShowIfHidden(ProjectBox, true);
    ProjectBox->Uncheck();
  }
  if (ProjectId) {
    ProjectBox->Check();
    ShowIfHidden(ProjectCombo, true);
    SelectLineById(*ProjectCombo, ProjectId);
  } else {
    ProjectBox->Uncheck();
    ShowIfHidden(ProjectCombo, false);
    ShowIfHidden(ProjectBox, false);
  }
}

std::string TKeptProgramsDlg::ReadView(size_t max) {
  if (!Record) return {};
  plat::File f = plat::create_file(Record->FilePath(), plat::Access::read, plat::Share::read_write,
                                   plat::Disposition::open_existing);
  if (!f.is_open()) return {};
  std::string bytes(max, '\0');
  int64_t n = plat::read(f, bytes.data(), max);
  plat::close(f);
  bytes.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return bytes;
}

void TKeptProgramsDlg::ShowFileCodes() {
  View->SetWindowText("");
  if (!Record) return;
  bool hex = Kind.CodeViews && HexButton->GetCheck() == BST_CHECKED;
  bool dec = Kind.CodeViews && DecButton->GetCheck() == BST_CHECKED;
  if (hex || dec) {
    View->SetWindowText(FileCodeLines(ReadView(kCodeViewBytes), hex).c_str());
    return;
  }
  std::string text = ReadView(kTextViewBytes);
  // A NUL would end the text; it shows as the section sign.
  for (char& c : text)
    if (c == '\0') c = static_cast<char>(0xA7);
  View->SetWindowText(text.c_str());
}

void TKeptProgramsDlg::EvMachineChange() {
  std::string line = SelectedLineText(*MachineCombo, 200);
  if (line.find("@@") == std::string::npos || line.find("$$") == std::string::npos) return;
  MachineId = ListLineId(line.c_str());
  MachineTypeId = ListLineSecondId(line.c_str());
}

void TKeptProgramsDlg::EvCustomerChange() {
  std::string line = SelectedLineText(*CustomerCombo, 200);
  if (line.find("@@") == std::string::npos) return;
  CustomerId = ListLineId(line.c_str());
  {
    TcbProTable projects("KELVPRO.DBF", 0, 0);
    TControlLines<TComboBox> lines(*ProjectCombo);
    projects.FillListOfCustomer(&lines, CustomerId);
  }
  if (ProjectCombo->GetCount() > 0) {
    ShowIfHidden(ProjectBox, true);
    EvProjectChange();
  } else {
    ShowIfHidden(ProjectCombo, false);
    ShowIfHidden(ProjectBox, false);
    ProjectBox->Uncheck();
  }
}

void TKeptProgramsDlg::EvProjectChange() {
  std::string line = SelectedLineText(*ProjectCombo, 200);
  if (line.find("@@") != std::string::npos) ProjectId = ListLineId(line.c_str());
}

void TKeptProgramsDlg::CmCustomerBox() {
  if (CustomerBox->GetCheck() == BST_CHECKED) {
    CustomerCombo->ShowWindow(SW_SHOW);
    EvCustomerChange();
    return;
  }
  CustomerId = ProjectId = 0;
  for (TWindow* w : {static_cast<TWindow*>(CustomerCombo), static_cast<TWindow*>(ProjectBox),
                     static_cast<TWindow*>(ProjectCombo)})
    w->ShowWindow(SW_HIDE);
}

void TKeptProgramsDlg::CmProjectBox() {
  ProjectId = 0;
  if (ProjectBox->GetCheck() == BST_CHECKED) {
    ShowIfHidden(ProjectCombo, true);
    EvProjectChange();
  } else {
    ShowIfHidden(ProjectCombo, false);
  }
}

bool TKeptProgramsDlg::ReadTexts(Texts& t) {
  t.desc = CutText(DescEdit->GetText(), 40);
  t.part = CutText(PartEdit->GetText(), 25);
  t.drawing = CutText(DrawingEdit->GetText(), 25);
  t.programId = CutText(ProgramIdEdit->GetText(), 50);
  t.machine = SelectedLineText(*MachineCombo, 49);
  std::string quoted;
  if (t.desc.empty()) {
    MessageBeep(MB_ICONHAND);
    DescEdit->SetFocus();
    return false;
  }
  // The duplicate checks search for the text; one that no filter can hold
  // is refused (the user is told) rather than filed unchecked.
  if (!QuoteSearchText(PadText(t.desc.c_str(), 40), quoted)) {
    DescEdit->SetFocus();
    return false;
  }
  return true;
}

void TKeptProgramsDlg::ApplyBoxes() {
  if (ProjectBox->GetCheck() != BST_CHECKED) ProjectId = 0;
  if (CustomerBox->GetCheck() != BST_CHECKED) CustomerId = 0;
}

void TKeptProgramsDlg::FillFields(TcbFileRecord& r, const Texts& t) const {
  TrimCopy(r.DESC, TrimRight(t.desc).c_str());
  TrimCopy(r.CHAR3, TrimRight(t.programId).c_str());
  TrimCopy(r.DRAW, TrimRight(t.drawing).c_str());
  TrimCopy(r.PART, TrimRight(t.part).c_str());
  r.MID = MachineId;
  r.MAT = MachineTypeId;
  // The machine entry is its name padded for the list; the name fits the
  // field, the padding is cut.
  TrimCopy(r.MACHINE, TrimRight(t.machine.substr(0, t.machine.find("@@"))).c_str());
  r.CUST = CustomerId;
  r.PROJECT = ProjectId;
}

void TKeptProgramsDlg::CmSaveInfo() {
  if (!Record) return;
  Texts t;
  if (!ReadTexts(t)) return;
  {
    TcbFileTable kept(Kind.TableFile, 0, 0);
    TcbFileRecord* same = kept.SelectByDescAndMachine(t.desc.c_str(), MachineId);
    kept.made = nullptr;
    bool taken = false;
    for (TcbRecord* r = same; r; r = r->next)
      if (static_cast<TcbFileRecord*>(r)->NCID != Record->NCID) taken = true;
    FreeRecordList(same);
    if (taken) {
      Box(kMsgProgramIdTaken, MB_OK | MB_ICONSTOP, kMsgProgramIdTakenCaption);
      return;
    }
  }
  ApplyBoxes();
  std::string movedFrom, movedTo;
  if (MachineId != Record->MID) {
    std::unique_ptr<TcbMachRecord> machine;
    {
      TcbMachTable machines("KELVMA.DBF", 0, 0);
      machine.reset(machines.FindById(MachineId));
      machines.Close();
    }
    if (machine && std::strcmp(Record->DIR, machine->PATH) != 0) {
      std::string from = Record->FilePath();
      std::string to = std::string(machine->PATH) + Record->NAME + "." + Record->EXT;
      if (std::strlen(machine->PATH) < sizeof Record->DIR && plat::move_file(from, to)) {
        movedFrom = from;
        movedTo = to;
        CopyCut(Record->DIR, sizeof Record->DIR, machine->PATH);
      } else {
        LogMessageWith(kMsgKeptFileStays, MB_OK | MB_ICONEXCLAMATION, to);
      }
    }
  }
  FillFields(*Record, t);
  SetCursor(nullptr, IDC_WAIT);
  int updated;
  {
    TcbFileTable kept(Kind.TableFile, 0, 0);
    updated = kept.Update(Record);
  }
  SetCursor(nullptr, IDC_ARROW);
  if (!updated) {
    // The row still names the old place: the file goes back there.
    if (!movedTo.empty()) plat::move_file(movedTo, movedFrom);
    Box(kMsgKeptNotSaved, MB_OK | MB_ICONSTOP);
    EvSelChange();
    return;
  }
  ProgramList->DeleteString(LineIndex);
  ProgramList->InsertString(KeptProgramLine(*Record, ColumnOrder).c_str(), LineIndex);
  ProgramList->SetSelIndex(LineIndex);
}

void TKeptProgramsDlg::RemoveCurrentLine(const std::function<void()>& beforeShow) {
  ProgramList->DeleteString(LineIndex);
  ProgramList->SetSelIndex(LineIndex);
  if (beforeShow) beforeShow();
  EvSelChange();
}

void TKeptProgramsDlg::CmRestore() {
  if (!Record) return;
  Texts t;
  if (!ReadTexts(t)) return;
  TFilingLock filing;
  if (!filing.IsHeld()) {
    Box(kMsgKeptNotFiled, MB_OK | MB_ICONSTOP);
    return;
  }
  TcbFileRecord* same;
  {
    TcbFileTable programs(kProgramIndex, 0, 0);
    same = programs.SelectByDescAndMachine(t.desc.c_str(), MachineId);
    programs.made = nullptr;
  }
  if (same) {
    std::unique_ptr<TcbFileRecord> program(same);
    FreeRecordList(same->next);
    program->next = nullptr;
    if (Box(kMsgProgramIdExists, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
    if (!RestoreOver(*program)) return;
    TcbFileTable kept(Kind.TableFile, 0, 0);
    delete kept.DeleteById(Record->NCID);
    kept.Close();
    RemoveCurrentLine();
    return;
  }
  ApplyBoxes();
  if (RestoreNew(t)) RemoveCurrentLine();
}

// Over an existing program: refused while it is open in an editor on any
// station, and only after its file is kept as a backup.
bool TKeptProgramsDlg::RestoreOver(TcbFileRecord& program) {
  TcbFileTable lock(kProgramIndex, 0, 0);
  if (lock.LockById(program.NCID) < 0) {
    Box(kMsgKeptProgramOpen, MB_OK | MB_ICONSTOP);
    return false;
  }
  std::string target = program.FilePath();
  long backupId = NextBackupId();
  if (backupId < 1 || backupId > kLargestFiledProgramId) {
    Box(kMsgKeptNoBackup, MB_OK | MB_ICONSTOP);
    return false;
  }
  program.NCID = backupId;
  CopyCut(program.DIR, sizeof program.DIR, Globals->BackupDir.c_str());
  CopyCut(program.NAME, sizeof program.NAME, FormatText("B%ld", backupId).c_str());
  CopyCut(program.EXT, sizeof program.EXT, "BAK");
  std::string backup = program.FilePath();
  if (Globals->BackupDir.size() >= sizeof program.DIR || !plat::copy_file(target, backup, true)) {
    Box(kMsgKeptNoBackup, MB_OK | MB_ICONSTOP);
    return false;
  }
  {
    TcbFileTable backups(kBackups, 0, 0);
    if (!backups.Append(&program)) {
      plat::delete_file(backup);
      Box(kMsgKeptNoBackup, MB_OK | MB_ICONSTOP);
      return false;
    }
  }
  if (!plat::copy_file(Record->FilePath(), target, false)) {
    // The program is as it was: its backup goes again.
    TcbFileTable backups(kBackups, 0, 0);
    delete backups.DeleteById(backupId);
    backups.Close();
    plat::delete_file(backup);
    Box(kMsgKeptNotCopied, MB_OK | MB_ICONSTOP);
    return false;
  }
  return true;
}

// As a new program: the row first, then the file; a file that cannot move
// takes its row back, so the index never names a file that is not there.
bool TKeptProgramsDlg::RestoreNew(const Texts& t) {
  std::unique_ptr<TcbMachRecord> machine;
  {
    TcbMachTable machines("KELVMA.DBF", 0, 0);
    machine.reset(machines.FindById(MachineId));
    machines.Close();
  }
  if (!machine || std::strlen(machine->PATH) >= sizeof Record->DIR) {
    Box(kMsgKeptNoMachine, MB_OK | MB_ICONSTOP);
    return false;
  }
  long id = NextProgramId();
  if (id < 1 || id > kLargestFiledProgramId) {
    Box(kMsgKeptNoNumber, MB_OK | MB_ICONSTOP);
    return false;
  }
  TcbFileRecord r;
  std::memcpy(r.DIR, Record->DIR, sizeof r.DIR);
  r.SetMemo(Record->MEMOSTR);
  r.LOCK = Record->LOCK;
  r.PROG = Record->PROG;
  r.MAZAK = Record->MAZAK;
  r.SENT = Record->SENT;
  std::string from = Record->FilePath();
  r.NCID = r.LONG1 = id;
  CopyCut(r.NAME, sizeof r.NAME, FormatText("P%ld", id).c_str());
  CopyCut(r.EXT, sizeof r.EXT, "NC");
  CopyCut(r.DIR, sizeof r.DIR, machine->PATH);
  FillFields(r, t);
  int appended;
  {
    TcbFileTable programs(kProgramIndex, 0, 0);
    appended = programs.Append(&r);
  }
  if (!appended) {
    Box(kMsgKeptNotFiled, MB_OK | MB_ICONSTOP);
    return false;
  }
  if (!plat::move_file(from, r.FilePath())) {
    TcbFileTable programs(kProgramIndex, 0, 0);
    delete programs.DeleteById(id);
    programs.Close();
    LogMessageWith(kMsgKeptNotMoved, MB_OK | MB_ICONSTOP, from);
    return false;
  }
  TcbFileTable kept(Kind.TableFile, 0, 0);
  delete kept.DeleteById(Record->NCID);
  kept.Close();
  return true;
}

void TKeptProgramsDlg::CmDelete() {
  if (!Record) return;
  if (Box(kMsgDeleteKeptQuestion, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
  {
    TcbFileTable kept(Kind.TableFile, 0, 0);
    delete kept.DeleteById(Record->NCID);
    kept.Close();
  }
  plat::delete_file(Record->FilePath());
  if (!Kind.LogOnDelete) {
    RemoveCurrentLine();
    return;
  }
  std::string desc = DescEdit->GetText();
  std::string machine = SelectedLineText(*MachineCombo, 50);
  RemoveCurrentLine([&] { Globals->WriteLog(kLogImportDeleted, desc.c_str(), machine.c_str()); });
}

HBRUSH TKeptProgramsDlg::EvCtlColor(HDC dc, HWND control, UINT ctlType) {
  // The view is read-only and so asks as a static does; it keeps its own
  // colours whichever way it asks.
  if (control && control == View->GetHandle()) {
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkColor(dc, RGB(0, 192, 192));
    return TealBrush;
  }
  auto grey = [&](COLORREF text) {
    SetTextColor(dc, text);
    SetBkColor(dc, RGB(192, 192, 192));
    return static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH));
  };
  switch (ctlType) {
    case CTLCOLOR_EDIT:
      return nullptr;
    case CTLCOLOR_LISTBOX:
      return static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    case CTLCOLOR_BTN:
      return grey(control && control == DeleteButton->GetHandle() ? RGB(192, 0, 0) : RGB(0, 0, 192));
    case CTLCOLOR_STATIC:
      if (control && (control == SizeText->GetHandle() || control == DateText->GetHandle())) {
        SetTextColor(dc, RGB(255, 255, 0));
        SetBkColor(dc, RGB(0, 0, 128));
        return NavyBrush;
      }
      return grey(RGB(0, 0, 192));
    default:
      return static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH));
  }
}

namespace {
const TKeptTableKind kDncFail{"KELVDNCF.DBF", 405, true, false};
const TKeptTableKind kDncTemp{"KELVDNCT.DBF", 406, false, false};
const TKeptTableKind kFailedImports{"KELVAUTO.DBF", 558, false, true};
}  // namespace

TRestoreDncFail::TRestoreDncFail(TWindow* parent, TcbFileRecord* records)
    : TKeptProgramsDlg(parent, records, kDncFail) {}
TRestoreDncTemp::TRestoreDncTemp(TWindow* parent, TcbFileRecord* records)
    : TKeptProgramsDlg(parent, records, kDncTemp) {}
TFailedImports::TFailedImports(TWindow* parent, TcbFileRecord* records)
    : TKeptProgramsDlg(parent, records, kFailedImports) {}
