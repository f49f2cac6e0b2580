// The program dialog: the list, the selected program's file and fields,
// its last version-log entry, Open, the memo, the version log and the
// compare mode. The operations that change the database are in
// program_ops.cpp.
#include "storage/program_dialog.h"

#include <cstring>
#include <ctime>
#include <memory>

#include "app/plugin_calls.h"
#include "appcore/globals.h"
#include "appcore/log_text.h"
#include "appcore/message_ids.h"
#include "appcore/text_scan.h"
#include "dbmodel/changecrit.h"
#include "dbmodel/customer.h"
#include "dbmodel/idname.h"
#include "dbmodel/machine.h"
#include "dbmodel/project.h"
#include "dbmodel/text_helpers.h"
#include "dbmodel/versionlog.h"
#include "platform/file.h"
#include "platform/msgbox.h"
#include "platform/plugin.h"
#include "platform/ui/ctlcolor.h"
#include "platform/ui/dc.h"
#include "resources/dialogs/program.h"
#include "storage/dnc_link.h"
#include "storage/log_common.h"
#include "storage/log_view.h"
#include "storage/program_lock.h"
#include "storage/search_dialogs.h"

namespace {

constexpr int kFirstProgramLine = 2;
constexpr size_t kViewBytes = 24990;
constexpr int kInfoFirst = IDC_PROGRAM_SIZE;

// Rights bits of the logged-on user.
constexpr uint32_t kRightDelete = 0x04;
constexpr uint32_t kRightSaveInfo = 0x08;
constexpr uint32_t kRightLock = 0x40;
constexpr uint32_t kRightCopy = 0x40000000;

bool Has(uint32_t right) { return (Globals->RightsMask & right) != 0; }

std::string LocalFileTime(plat::FileTime utc) {
  time_t t = static_cast<time_t>(utc);
  struct tm local {};
  if (!localtime_r(&t, &local)) return "?";
  return FormatText("%02u/%02u-%u,   %02u.%02u", static_cast<unsigned>(local.tm_mday),
                    static_cast<unsigned>(local.tm_mon + 1), static_cast<unsigned>(local.tm_year + 1900),
                    static_cast<unsigned>(local.tm_hour), static_cast<unsigned>(local.tm_min));
}

}  // namespace

std::string ProgramListHeader() {
  std::string header;
  for (size_t c = 0; c < 5; c++) {
    int title = 0;
    switch (Globals->OfdColumn[c]) {
      case 1: title = 293; break;
      case 2: title = 294; break;
      case 3: title = 296; break;
      case 4: title = 295; break;
      case 5: title = 300; break;
      default: break;
    }
    std::string text = title ? Globals->GetMessageText(title) : std::string();
    int width = Globals->OfdWidth[c];
    if (width < 0) width = 0;
    header += FormatText("%-*s - ", width, text.c_str());
  }
  return header;
}

std::string ProgramFileView(const std::string& bytes) {
  std::string text = bytes.substr(0, kViewBytes);
  // A NUL would end the text in the edit; it shows as the section sign.
  for (char& c : text)
    if (c == '\0') c = static_cast<char>(0xA7);
  return text;
}

DEFINE_RESPONSE_TABLE1(TOpenWithLog, TLangDlg)
  EV_WM_CTLCOLOR,
  EV_LBN_SELCHANGE(IDC_PROGRAM_LIST, ShowFileInfo),
  EV_LBN_DBLCLK(IDC_PROGRAM_LIST, EvListDblClk),
  EV_CBN_SELCHANGE(IDC_PROGRAM_MACHINE, EvMachineChange),
  EV_BN_CLICKED(IDC_PROGRAM_OPEN, CmOpen),
  EV_BN_CLICKED(IDC_PROGRAM_LOCKED, CmLockedView),
  EV_BN_CLICKED(IDC_PROGRAM_UNLOCK, CmUnlock),
  EV_BN_CLICKED(IDC_PROGRAM_LOCK, CmLock),
  EV_BN_CLICKED(IDC_PROGRAM_MEMO, CmMemo),
  EV_BN_CLICKED(IDC_PROGRAM_SAVE_INFO, CmSaveInfo),
  EV_BN_CLICKED(IDC_PROGRAM_COPY, CmCopy),
  EV_BN_CLICKED(IDC_PROGRAM_DELETE, CmDelete),
  EV_BN_CLICKED(IDC_PROGRAM_VIEW_LOG, CmViewLog),
  EV_CBN_SELCHANGE(IDC_PROGRAM_CUSTOMER, EvCustomerChange),
  EV_CBN_SELCHANGE(IDC_PROGRAM_PROJECT, EvProjectChange),
  EV_BN_CLICKED(IDC_PROGRAM_NEW_SEARCH, CmNewSearch),
  EV_BN_CLICKED(IDC_PROGRAM_CUSTOMER_BOX, CmCustomerBox),
  EV_BN_CLICKED(IDC_PROGRAM_PROJECT_BOX, CmProjectBox),
  EV_BN_CLICKED(IDC_PROGRAM_COMPARE, CmCompare),
  EV_BN_CLICKED(IDC_PROGRAM_COMPARE_START, CmStartCompare),
  EV_BN_CLICKED(IDC_PROGRAM_COMPARE_CANCEL, CmLeaveCompare),
  EV_BN_CLICKED(IDC_PROGRAM_COMPARE_SEARCH, CmNewSearch),
  EV_BN_CLICKED(IDC_PROGRAM_SEND, CmSend),
END_RESPONSE_TABLE;

TOpenWithLog::TOpenWithLog(TWindow* parent, TcbFileRecord* list, TResId resId)
    : TOpenWithLog(parent, list, resId, false) {}

TOpenWithLog::TOpenWithLog(TWindow* parent, TcbFileRecord* list, TResId resId, bool backups)
    : TLangDlg(parent, resId),
      Record(list),
      Backups(backups),
      NavyBrush(RGB(0, 0, 0x80)),
      TealBrush(RGB(0, 0xC0, 0xC0)),
      FixedFont("FIXEDSYS", 12, 0, 0, 0, 400) {
  Init(list);
}

void TOpenWithLog::Init(TcbFileRecord*) {
  ProgramList = new TListBox(this, IDC_PROGRAM_LIST);
  ProgramText = new TEdit(this, IDC_PROGRAM_TEXT, 30000);
  MachineCombo = new TNameIdComboBox(this, IDC_PROGRAM_MACHINE, 200);
  CustomerCombo = new TNameIdComboBox(this, IDC_PROGRAM_CUSTOMER, 200);
  ProjectCombo = new TNameIdComboBox(this, IDC_PROGRAM_PROJECT, 200);
  ProgramIdEdit = new TEdit(this, IDC_PROGRAM_ID, 40);
  DescriptionEdit = new TEdit(this, IDC_PROGRAM_DESCRIPTION, 50);
  PartEdit = new TEdit(this, IDC_PROGRAM_PART, 25);
  DrawingEdit = new TEdit(this, IDC_PROGRAM_DRAWING, 25);
  LogTextEdit = new TEdit(this, IDC_PROGRAM_LOG_NOTE, 5000);
  LockedBox = new TCheckBox(this, IDC_PROGRAM_LOCKED);
  CustomerBox = new TCheckBox(this, IDC_PROGRAM_CUSTOMER_BOX);
  ProjectBox = new TCheckBox(this, IDC_PROGRAM_PROJECT_BOX);
  SentText = new TStatic(this, IDC_PROGRAM_SENT, 100);
  for (int i = 0; i < 9; i++) InfoTexts[i] = new TStatic(this, kInfoFirst + i, 100);
  BaseText = new TStatic(this, IDC_PROGRAM_COMPARE_BASE, 100);
  CompareText = new TStatic(this, IDC_PROGRAM_COMPARE_OTHER, 100);
}

TOpenWithLog::~TOpenWithLog() {
  // Rows never listed (the dialog was not shown) or the selected one.
  FreeRecordList(Record);
}

void TOpenWithLog::FreeRecord() {
  delete Record;
  Record = nullptr;
}

const char* TOpenWithLog::CurrentTable() const {
  if (Backups) return "KELVBACK.DBF";
  return LockedView ? "KELVLOCK.DBF" : "KELVFILE.DBF";
}

void TOpenWithLog::ShowButtonsByRights() {
  auto show = [&](int id, bool on) {
    if (TWindow* w = ChildWithId(id)) w->ShowWindow(on ? SW_SHOW : SW_HIDE);
  };
  show(IDCANCEL, true);
  show(IDC_PROGRAM_OPEN, true);
  if (!Backups) {
    show(IDC_PROGRAM_LOCKED, Has(kRightLock));
    show(IDC_PROGRAM_LOCK, Has(kRightLock) && !LockedView);
    show(IDC_PROGRAM_UNLOCK, Has(kRightLock) && LockedView);
    show(IDC_PROGRAM_MEMO, Has(kRightSaveInfo));
    show(IDC_PROGRAM_VIEW_LOG, true);
    show(IDC_PROGRAM_NEW_SEARCH, true);
    show(IDC_PROGRAM_CUSTOMER_BOX, true);
    show(IDC_PROGRAM_PROJECT_BOX, true);
  }
  show(IDC_PROGRAM_SAVE_INFO, Has(kRightSaveInfo));
  show(IDC_PROGRAM_COPY, Has(kRightCopy));
  show(IDC_PROGRAM_DELETE, Has(kRightDelete));
  show(IDC_PROGRAM_COMPARE, GetCompareRunner() != nullptr);
  show(IDC_PROGRAM_SEND, !Backups && static_cast<bool>(GetDncLinkRunner()));
}

void TOpenWithLog::SetupWindow() {
  TLangDlg::SetupWindow();
  SetCaptionText(668);
  SetItemTexts(IDC_PROGRAM_ASSOCIATIONS, 671, 6);
  SetItemTexts(IDC_PROGRAM_OPEN, 677, 9);
  SetItemText(IDC_PROGRAM_SIZE_LABEL, 690);
  SetItemText(IDC_PROGRAM_SAVED_LABEL, 691);
  SetItemText(IDC_PROGRAM_CUSTOMER_BOX, 54);
  SetItemText(IDC_PROGRAM_PROJECT_BOX, 55);
  SetItemText(IDC_PROGRAM_DRAWING_LABEL, 80);
  SetItemText(IDC_PROGRAM_NEW_SEARCH, 692);
  SetItemText(IDC_PROGRAM_COMPARE, 898);
  SetItemTexts(IDC_PROGRAM_COMPARE_START, 901, 4);
  SetItemText(IDC_PROGRAM_COMPARE_THIS_LABEL, 922);
  SetItemText(IDC_PROGRAM_COMPARE_TO_LABEL, 923);
  SetItemText(IDC_PROGRAM_SEND, 925);
  SetItemText(IDC_PROGRAM_SENT_LABEL, 929);
  ShowButtonsByRights();

  const int fixed[] = {IDC_PROGRAM_LIST, IDC_PROGRAM_TEXT, IDC_PROGRAM_MACHINE, IDC_PROGRAM_ID, IDC_PROGRAM_DESCRIPTION,
                       IDC_PROGRAM_PART, IDC_PROGRAM_DRAWING, IDC_PROGRAM_LOG_NOTE, IDC_PROGRAM_CUSTOMER,
                       IDC_PROGRAM_PROJECT, IDC_PROGRAM_LOCKED, IDCANCEL, IDC_PROGRAM_OPEN, IDC_PROGRAM_UNLOCK,
                       IDC_PROGRAM_LOCK, IDC_PROGRAM_MEMO, IDC_PROGRAM_SAVE_INFO, IDC_PROGRAM_COPY, IDC_PROGRAM_DELETE,
                       IDC_PROGRAM_VIEW_LOG, IDC_PROGRAM_NEW_SEARCH, IDC_PROGRAM_COMPARE, IDC_PROGRAM_COMPARE_GROUP,
                       IDC_PROGRAM_COMPARE_BASE, IDC_PROGRAM_COMPARE_OTHER, IDC_PROGRAM_COMPARE_START,
                       IDC_PROGRAM_COMPARE_CANCEL, IDC_PROGRAM_COMPARE_SEARCH, IDC_PROGRAM_COMPARE_OLD_VERSIONS,
                       IDC_PROGRAM_SEND, IDC_PROGRAM_SENT, IDC_PROGRAM_ASSOCIATIONS, IDC_PROGRAM_LOG_GROUP,
                       IDC_PROGRAM_SENT_LABEL, IDC_PROGRAM_SIZE, IDC_PROGRAM_SAVED, IDC_PROGRAM_LOG_REASON1,
                       IDC_PROGRAM_LOG_REASON2, IDC_PROGRAM_LOG_REASON3, IDC_PROGRAM_LOG_TYPE, IDC_PROGRAM_LOG_DATE,
                       IDC_PROGRAM_LOG_TIME, IDC_PROGRAM_LOG_USER};
  for (int id : fixed)
    if (TWindow* w = ChildWithId(id)) w->SetWindowFont(FixedFont, false);

  {
    TcbAdvCustTable customers("KELVCUS2.DBF", 0, 0);
    TControlLines<TNameIdComboBox> lines(*CustomerCombo);
    customers.FillList(&lines);
  }
  if (CustomerCombo->GetCount() <= 0) {
    for (TWindow* w : std::initializer_list<TWindow*>{CustomerBox, CustomerCombo, ProjectBox, ProjectCombo})
      w->ShowWindow(SW_HIDE);
  } else {
    CustomerCombo->SetSelIndex(0);
    CustomerBox->Check();
    EvCustomerChange();
  }
  {
    TcbMachTable machines("KELVMA.DBF", 0, 0);
    TControlLines<TNameIdComboBox> lines(*MachineCombo);
    machines.FillListWithType(&lines);
  }
  EvMachineChange();
  FillProgramList();
}

void TOpenWithLog::FillProgramList() {
  ProgramList->ClearList();
  ProgramList->SetHorizontalExtent(Backups ? 1400 : 1360);
  ProgramList->AddString(ProgramListHeader().c_str());
  ProgramList->AddString(std::string(395, '_').c_str());
  while (Record) {
    auto* next = static_cast<TcbFileRecord*>(Record->next);
    Record->next = nullptr;
    ProgramList->AddString(FormatProgramListLine(Record).c_str());
    delete Record;
    Record = next;
  }
  ProgramList->SetSelIndex(kFirstProgramLine);
  ShowFileInfo();
}

void TOpenWithLog::ShowFileInfo() {
  if (ProgramList->GetSelIndex() < kFirstProgramLine) ProgramList->SetSelIndex(kFirstProgramLine);
  for (TEdit* e : {ProgramText, ProgramIdEdit, DescriptionEdit, PartEdit, DrawingEdit}) e->SetWindowText("");
  int index = ProgramList->GetSelIndex();
  std::string line = index < 0 ? std::string() : CutText(ProgramList->GetString(index), 390);
  if (line.find("@@") == std::string::npos) {
    FreeRecord();
    return;
  }
  FreeRecord();
  LineIndex = index;
  {
    TcbFileTable table(CurrentTable(), 0, 0);
    Record = table.FindById(ListLineId(line.c_str()));
    table.made = nullptr;
  }
  if (!Record) return;
  if (!CompareMode && !Backups) {
    // A Mazak program is no text to compare (Send is not offered here).
    if (TWindow* w = ChildWithId(IDC_PROGRAM_COMPARE))
      w->ShowWindow(!Record->MAZAK && GetCompareRunner() ? SW_SHOW : SW_HIDE);
  }
  std::string path = Record->FilePath();
  plat::File f =
      plat::create_file(path, plat::Access::read, plat::Share::read_write, plat::Disposition::open_existing);
  if (!f.is_open()) {
    InfoTexts[0]->SetText("?");
    InfoTexts[1]->SetText("?");
    ProgramText->SetWindowText(FormatText("ERROR OPENING %s", path.c_str()).c_str());
  } else {
    std::string bytes(kViewBytes, '\0');
    int64_t n = plat::read(f, bytes.data(), kViewBytes);
    bytes.resize(n > 0 ? static_cast<size_t>(n) : 0);
    int64_t size = plat::length(f);
    plat::close(f);
    ProgramText->SetWindowText(ProgramFileView(bytes).c_str());
    const char* format = DialogText(869);
    std::string sizeText = std::to_string(size < 0 ? 0 : size);
    InfoTexts[0]->SetText((format ? FormatLogValues(format, {sizeText}) : sizeText).c_str());
    plat::FileTime when = 0;
    InfoTexts[1]->SetText(plat::last_write_time(path, when) ? LocalFileTime(when).c_str() : "?");
  }
  if (!CompareMode) {
    if (TWindow* memo = ChildWithId(IDC_PROGRAM_MEMO))
      memo->ShowWindow(Has(kRightSaveInfo) && Record->MEMOSTR && *Record->MEMOSTR ? SW_SHOW : SW_HIDE);
  }
  ShowDetails();
  if (CompareMode && (Backups || !Record->MAZAK)) TakeCompareProgram();
}

void TOpenWithLog::ShowDetails() {
  MachineId = Record->MID;
  CustomerId = Record->CUST;
  ProjectId = Record->PROJECT;
  MachineTypeId = Record->MAT;
  ProgramIdEdit->SetWindowText(Record->DESC);
  DescriptionEdit->SetWindowText(Record->CHAR3);
  PartEdit->SetWindowText(Record->PART);
  DrawingEdit->SetWindowText(Record->DRAW);
  if (MachineId != 0) {
    MachineCombo->SelectId(MachineId);
    // The combo's own id is the machine's; the type stays the record's.
    MachineId = Record->MID;
    MachineTypeId = Record->MAT;
  }
  if (CustomerId == 0) {
    CustomerBox->Uncheck();
    ProjectBox->Uncheck();
    CustomerBox->ShowWindow(CustomerCombo->GetCount() > 0 ? SW_SHOW : SW_HIDE);
    for (TWindow* w : std::initializer_list<TWindow*>{CustomerCombo, ProjectCombo, ProjectBox})
      w->ShowWindow(SW_HIDE);
  } else {
    CustomerCombo->SelectId(CustomerId);
    CustomerBox->Check();
    CustomerBox->ShowWindow(SW_SHOW);
    CustomerCombo->ShowWindow(SW_SHOW);
    {
      TcbProTable projects("KELVPRO.DBF", 0, 0);
      TControlLines<TNameIdComboBox> lines(*ProjectCombo);
      projects.FillListOfCustomer(&lines, CustomerId);
    }
    if (ProjectCombo->GetCount() <= 0) {
      ProjectBox->ShowWindow(SW_HIDE);
    } else {
      ProjectBox->ShowWindow(SW_SHOW);
      ProjectBox->Uncheck();
    }
    if (ProjectId == 0) {
      ProjectBox->Uncheck();
      ProjectCombo->ShowWindow(SW_HIDE);
    } else {
      ProjectCombo->SelectId(ProjectId);
      ProjectBox->Check();
      ProjectCombo->ShowWindow(SW_SHOW);
    }
  }
  if (!Backups) SentText->SetText(FormatText("%ld", Record->SENT).c_str());

  for (int i = 2; i < 9; i++) InfoTexts[i]->SetText("");
  LogTextEdit->SetWindowText("");
  long reasons[3] = {0, 0, 0};
  long type = 0;
  std::string date, time, user, memo;
  int found;
  {
    TLog00002Table log("LOG00002.DBF", 0, 0);
    found = log.ReadOfProgram(Record->LONG1, &reasons[0], &reasons[1], &reasons[2], &type, &date, &time, &user,
                              &memo);
  }
  if (!found) return;
  InfoTexts[6]->SetText(date.c_str());
  InfoTexts[7]->SetText(time.c_str());
  InfoTexts[8]->SetText(user.c_str());
  if (memo.size() > 30000) memo.resize(30000);
  LogTextEdit->SetWindowText(memo.c_str());
  {
    TcbLogChangeTable criteria("LOG00004.DBF", 0, 0);
    for (int i = 0; i < 3; i++) {
      if (reasons[i] == 0) continue;
      std::unique_ptr<char[]> name(criteria.GetName(reasons[i]));
      if (name) InfoTexts[2 + i]->SetText(name.get());
    }
  }
  if (type != 0) {
    TcbLogTypeTable types("LOG00001.DBF", 0, 0);
    std::unique_ptr<TcbIdAndNameRecord> t(types.FindById(type));
    types.Close();
    if (t) InfoTexts[5]->SetText(t->NAME);
  }
}

void TOpenWithLog::EvMachineChange() {
  std::string line = SelectedLineText(*MachineCombo, 200);
  if (line.find("@@") == std::string::npos) return;
  MachineId = ListLineId(line.c_str());
  if (line.find("$$") != std::string::npos) MachineTypeId = ListLineSecondId(line.c_str());
}

void TOpenWithLog::EvCustomerChange() {
  std::string line = SelectedLineText(*CustomerCombo, 200);
  if (line.find("@@") == std::string::npos) return;
  CustomerId = ListLineId(line.c_str());
  {
    TcbProTable projects("KELVPRO.DBF", 0, 0);
    TControlLines<TNameIdComboBox> lines(*ProjectCombo);
    projects.FillListOfCustomer(&lines, CustomerId);
  }
  if (ProjectCombo->GetCount() <= 0) {
    ProjectCombo->ShowWindow(SW_HIDE);
    ProjectBox->ShowWindow(SW_HIDE);
    ProjectBox->Uncheck();
    return;
  }
  ProjectBox->ShowWindow(SW_SHOW);
  EvProjectChange();
}

void TOpenWithLog::EvProjectChange() {
  std::string line = SelectedLineText(*ProjectCombo, 200);
  if (line.find("@@") != std::string::npos) ProjectId = ListLineId(line.c_str());
}

void TOpenWithLog::CmCustomerBox() {
  if (CustomerBox->GetCheck() == BST_CHECKED) {
    CustomerCombo->ShowWindow(SW_SHOW);
    EvCustomerChange();
    return;
  }
  CustomerId = ProjectId = 0;
  for (TWindow* w : std::initializer_list<TWindow*>{CustomerCombo, ProjectBox, ProjectCombo})
    w->ShowWindow(SW_HIDE);
}

void TOpenWithLog::CmProjectBox() {
  ProjectId = 0;
  if (ProjectBox->GetCheck() == BST_CHECKED) {
    ProjectCombo->ShowWindow(SW_SHOW);
    EvProjectChange();
  } else {
    ProjectCombo->ShowWindow(SW_HIDE);
  }
}

void TOpenWithLog::CmOpen() {
  if (!Record) return;
  if (CompareMode) {
    TakeCompareProgram();
    return;
  }
  // A locked program is kept from editing until it is unlocked; the
  // editor takes its programs from the program index only.
  if (LockedView) {
    LogMessage(kMsgLockedNotEditable, MB_OK | MB_ICONINFORMATION);
    return;
  }
  auto lock = std::make_unique<TProgramLockTable>(CurrentTable());
  if (lock->LockById(Record->NCID) < 1) {
    LogMessage(kMsgProgramOpenInEditor, MB_OK | MB_ICONINFORMATION);
    return;
  }
  long id = Record->NCID;
  // The lock stays held until the editor takes it over; a caller that
  // opens no editor lets it go at once.
  if (KeepsProgramLock())
    HandOverProgramLock(std::move(lock), id);
  else
    lock.reset();
  Globals->CurrentProgramId = static_cast<int>(id);
  FreeRecord();
  Destroy(IDOK);
}

void TOpenWithLog::CmLockedView() {
  LockedView = LockedBox->GetCheck() == BST_CHECKED;
  if (TWindow* w = ChildWithId(IDC_PROGRAM_LOCK)) w->ShowWindow(LockedView ? SW_HIDE : SW_SHOW);
  if (TWindow* w = ChildWithId(IDC_PROGRAM_UNLOCK)) w->ShowWindow(LockedView ? SW_SHOW : SW_HIDE);
  CmNewSearch();
}

void TOpenWithLog::CmNewSearch() {
  TcbFileRecord* list = nullptr;
  if (!LockedView) {
    TNewSearch search(this);
    if (search.Execute() != IDOK) return;
    list = search.ResultList;
    search.ResultList = nullptr;
  } else {
    TcbFileTable locked("KELVLOCK.DBF", 0, 0);
    list = locked.ReadAll(1);
    locked.made = nullptr;
  }
  if (!list) {
    if (LockedView) {
      LockedBox->Uncheck();
      LockedView = false;
      if (TWindow* w = ChildWithId(IDC_PROGRAM_LOCK)) w->ShowWindow(Has(kRightLock) ? SW_SHOW : SW_HIDE);
      if (TWindow* w = ChildWithId(IDC_PROGRAM_UNLOCK)) w->ShowWindow(SW_HIDE);
    }
    return;
  }
  FreeRecord();
  Record = list;
  FillProgramList();
}

void TOpenWithLog::CmMemo() {
  if (!Record || !Record->MEMOSTR || !*Record->MEMOSTR) return;
  std::string memo = MemoFilePath();
  plat::File f = plat::create_file(memo, plat::Access::write, plat::Share::read, plat::Disposition::create_always);
  size_t n = std::strlen(Record->MEMOSTR);
  bool written = f.is_open() && plat::write(f, Record->MEMOSTR, n) == static_cast<int64_t>(n);
  if (f.is_open()) written = plat::close(f) && written;
  if (!written) {
    LogMessageWith(kMsgMemoNotWritten, MB_OK | MB_ICONSTOP, memo);
    return;
  }
  TWindow* parent = GetParentO();
  if (parent) parent->ShowWindow(SW_HIDE);
  ShowWindow(SW_HIDE);
  // The memo plug-in shows the file while it is loaded.
  std::string plugin = Globals->HookDir + "RICHEDIT.DLL";
  HMODULE viewer = LoadLibrary(plugin.c_str());
  if (viewer) FreeLibrary(viewer);
  if (parent) parent->ShowWindow(SW_SHOW);
  ShowWindow(SW_SHOW);
  if (!viewer) LogMessageWith(kMsgNoMemoViewer, MB_OK | MB_ICONSTOP, plugin);
}

void TOpenWithLog::CmViewLog() {
  if (!Record) return;
  TLogView(this, Record, CurrentTable()).Execute();
}

void TOpenWithLog::TakeCompareProgram() {
  if (!Record) return;
  ComparePath = Record->FilePath();
  CompareDesc = Record->DESC;
  CompareText->SetText(Record->DESC);
}

void TOpenWithLog::CmCompare() {
  if (!Record || !GetCompareRunner()) return;
  BasePath = Record->FilePath();
  BaseDesc = Record->DESC;
  ComparePath.clear();
  CompareDesc.clear();
  std::vector<int> hide = {IDCANCEL, IDC_PROGRAM_OPEN, IDC_PROGRAM_LOCKED, IDC_PROGRAM_UNLOCK, IDC_PROGRAM_LOCK,
                           IDC_PROGRAM_MEMO, IDC_PROGRAM_SAVE_INFO, IDC_PROGRAM_COPY, IDC_PROGRAM_DELETE,
                           IDC_PROGRAM_VIEW_LOG, IDC_PROGRAM_NEW_SEARCH, IDC_PROGRAM_CUSTOMER_BOX,
                           IDC_PROGRAM_PROJECT_BOX, IDC_PROGRAM_COMPARE, IDC_PROGRAM_SEND};
  std::vector<int> show = {IDC_PROGRAM_COMPARE_GROUP,  IDC_PROGRAM_COMPARE_THIS_LABEL, IDC_PROGRAM_COMPARE_TO_LABEL,
                           IDC_PROGRAM_COMPARE_BASE,   IDC_PROGRAM_COMPARE_OTHER,      IDC_PROGRAM_COMPARE_START,
                           IDC_PROGRAM_COMPARE_CANCEL, IDC_PROGRAM_COMPARE_SEARCH};
  if (Backups) {
    hide = {IDCANCEL,           IDC_PROGRAM_OPEN,        IDC_PROGRAM_LOCKED,    IDC_PROGRAM_UNLOCK,
            IDC_PROGRAM_LOCK,   IDC_PROGRAM_MEMO,        IDC_PROGRAM_SAVE_INFO, IDC_PROGRAM_COPY,
            IDC_PROGRAM_DELETE, IDC_PROGRAM_PROJECT_BOX, IDC_PROGRAM_COMPARE};
    show = {IDC_PROGRAM_COMPARE_GROUP,  IDC_PROGRAM_COMPARE_THIS_LABEL,  IDC_PROGRAM_COMPARE_TO_LABEL,
            IDC_PROGRAM_COMPARE_BASE,   IDC_PROGRAM_COMPARE_OTHER,       IDC_PROGRAM_COMPARE_START,
            IDC_PROGRAM_COMPARE_CANCEL, IDC_PROGRAM_COMPARE_OLD_VERSIONS};
  }
  for (int id : hide)
    if (TWindow* w = ChildWithId(id)) w->ShowWindow(SW_HIDE);
  for (int id : show)
    if (TWindow* w = ChildWithId(id)) w->ShowWindow(SW_SHOW);
  BaseText->SetText(Record->DESC);
  CompareMode = true;
}

void TOpenWithLog::CmStartCompare() {
  if (BasePath.empty() || ComparePath.empty()) return;
  if (TCompareRunner run = GetCompareRunner()) {
    ShowWindow(SW_HIDE);
    run(this, BasePath.c_str(), ComparePath.c_str(), BaseDesc.c_str(), CompareDesc.c_str());
    ShowWindow(SW_SHOW);
  }
  CmLeaveCompare();
}

// The program's stored file goes to a machine through the DNC link; the
// link offers no reception from here.
void TOpenWithLog::CmSend() {
  const TDncLinkRunner& link = GetDncLinkRunner();
  if (!Record || !link || Backups) return;
  Globals->DncTransferFile.Set(Record->FilePath().c_str());
  ShowWindow(SW_HIDE);
  link.Run(this, Record, Record->MID, false);
  ShowWindow(SW_SHOW);
}

void TOpenWithLog::CmLeaveCompare() {
  ShowButtonsByRights();
  if (Backups) {
    // Memo and the project box come back with the next selection.
    for (int id : {IDC_PROGRAM_MEMO, IDC_PROGRAM_PROJECT_BOX})
      if (TWindow* w = ChildWithId(id)) w->ShowWindow(SW_HIDE);
  }
  for (int id = IDC_PROGRAM_COMPARE_GROUP; id <= IDC_PROGRAM_COMPARE_OLD_VERSIONS; id++)
    if (TWindow* w = ChildWithId(id)) w->ShowWindow(SW_HIDE);
  BaseText->SetText("");
  CompareText->SetText("");
  BasePath.clear();
  ComparePath.clear();
  BaseDesc.clear();
  CompareDesc.clear();
  CompareMode = false;
}

HBRUSH TOpenWithLog::EvCtlColor(HDC dc, HWND control, UINT ctlType) {
  int id = control ? ::GetDlgCtrlID(control) : 0;
  if (ctlType == CTLCOLOR_STATIC &&
      (id == IDC_PROGRAM_COMPARE_BASE || id == IDC_PROGRAM_COMPARE_OTHER || (id == IDC_PROGRAM_SENT && !Backups) ||
       (id >= IDC_PROGRAM_SIZE && id <= IDC_PROGRAM_LOG_USER))) {
    SetTextColor(dc, RGB(0xFF, 0xFF, 0));
    SetBkColor(dc, RGB(0, 0, 0));
    return static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  }
  // The two views are read-only and so may ask as statics do; they keep
  // their colours whichever way they ask.
  if (id == IDC_PROGRAM_LOG_NOTE) {
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkColor(dc, RGB(0, 0xC0, 0xC0));
    return TealBrush;
  }
  if (id == IDC_PROGRAM_TEXT) {
    SetTextColor(dc, RGB(0xFF, 0xFF, 0xFF));
    SetBkColor(dc, RGB(0, 0, 0x80));
    return NavyBrush;
  }
  if ((id == IDC_PROGRAM_COMPARE_GROUP || id == IDC_PROGRAM_ASSOCIATIONS || id == IDC_PROGRAM_LOG_GROUP) &&
      !(Backups && ctlType == CTLCOLOR_STATIC)) {
    SetTextColor(dc, RGB(0, 0, 0xC0));
  }
  return nullptr;
}
