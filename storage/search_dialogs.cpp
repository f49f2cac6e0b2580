// The program searches. Every user text reaches a filter through the
// model's text queries, which quote it safely.
#include "storage/search_dialogs.h"

#include <string>

#include "app/users_lines.h"
#include "appcore/globals.h"
#include "appcore/message_ids.h"
#include "dbmodel/customer.h"
#include "masterdata/pick_dialogs.h"
#include "resources/dialogs/search.h"
#include "storage/search_combined.h"

namespace {

TResultDialog& ProgramListDialog() {
  static TResultDialog dialog;
  return dialog;
}
TResultDialog& BackupListDialog() {
  static TResultDialog dialog;
  return dialog;
}

// The wait cursor for as long as a query runs.
class TWaitCursor {
 public:
  TWaitCursor(TWindow& window, bool on) : window_(window), on_(on) {
    if (on_) window_.SetCursor(nullptr, IDC_WAIT);
  }
  ~TWaitCursor() {
    if (on_) window_.SetCursor(nullptr, IDC_ARROW);
  }

 private:
  TWindow& window_;
  bool on_;
};

int Inform(HWND owner, int messageId) {
  return ::MessageBox(owner, Globals->GetMessageText(messageId).c_str(),
                      Globals->GetMessageText(kMsgProgramCaption).c_str(), MB_OK | MB_ICONINFORMATION);
}

}  // namespace

void SetProgramListDialog(TResultDialog dialog) { ProgramListDialog() = std::move(dialog); }
const TResultDialog& GetProgramListDialog() { return ProgramListDialog(); }
void SetBackupListDialog(TResultDialog dialog) { BackupListDialog() = std::move(dialog); }
const TResultDialog& GetBackupListDialog() { return BackupListDialog(); }

// ---- text search -----------------------------------------------------------

DEFINE_RESPONSE_TABLE1(TFindByDesc, TLangDlg)
  EV_BN_CLICKED(IDC_FIND_BY_SEARCH, CmSearch),
  EV_COMMAND(IDCANCEL, CmCancel),
END_RESPONSE_TABLE;

TFindByDesc::TFindByDesc(TWindow* parent, int searchField, bool backupMode)
    : TLangDlg(parent, IDD_FIND_BY), SearchField(searchField), BackupMode(backupMode) {
  TextEdit = new TEdit(this, IDC_FIND_BY_TEXT, 41);
  ExactButton = new TRadioButton(this, IDC_FIND_BY_EXACT);
  StartsButton = new TRadioButton(this, IDC_FIND_BY_STARTS);
  PartOfButton = new TRadioButton(this, IDC_FIND_BY_PART_OF);
}

TFindByDesc::~TFindByDesc() { FreeRecordList(ResultList); }

void TFindByDesc::SetupWindow() {
  TLangDlg::SetupWindow();
  switch (Globals->DefaultSearch) {
    case 1:
      ExactButton->Check();
      break;
    case 3:
      PartOfButton->Check();
      break;
    default:
      StartsButton->Check();
      break;
  }
  SetCaptionText(138);
  SetItemTexts(IDC_FIND_BY_EXACT, 142, 3);
  SetItemText(IDC_FIND_BY_SEARCH, 82);
  switch (SearchField) {
    case kFieldPart:
      Globals->SearchMode = 3;
      SetCaptionText(140);
      break;
    case kFieldDrawing:
      Globals->SearchMode = 2;
      SetCaptionText(141);
      break;
    case kFieldDescription:
      Globals->SearchMode = 4;
      SetCaptionText(139);
      break;
    default:
      break;
  }
  if (Globals->KeepTextSearch && SearchField >= 0 && SearchField < 4) {
    if (const char* last = Globals->SearchTexts[SearchField].get()) TextEdit->SetText(last);
  }
}

void TFindByDesc::CmSearch() {
  std::string text = TextEdit->GetText();
  if (text.size() > 40) text.resize(40);
  if (text.empty()) {
    TextEdit->SetFocus();
    return;
  }
  int mode = kSearchExact;
  if (StartsButton->GetCheck() == BST_CHECKED) mode = kSearchStartsWith;
  if (PartOfButton->GetCheck() == BST_CHECKED) mode = kSearchContains;
  Globals->DefaultSearch = mode + 1;
  if (SearchField >= 0 && SearchField < 4) Globals->SearchTexts[SearchField].Set(text.c_str());

  FreeRecordList(ResultList);
  ResultList = nullptr;
  // A text longer than its field can neither equal nor start it; the
  // query would cut it to the field and find rows it does not name.
  static const size_t kWidths[4] = {40, 25, 25, 50};
  bool tooLong = mode != kSearchContains && SearchField >= 0 && SearchField < 4 && text.size() > kWidths[SearchField];
  if (!tooLong) {
    TWaitCursor wait(*this, true);
    TcbFileTable table(BackupMode ? "KELVBACK.DBF" : "KELVFILE.DBF", 0, 0);
    switch (SearchField) {
      case kFieldPart:
        ResultList = table.SelectByPart(text.data(), mode);
        break;
      case kFieldDrawing:
        ResultList = table.SelectByDraw(text.data(), mode);
        break;
      case kFieldDescription:
        ResultList = table.SelectByChar3(text.data(), mode);
        break;
      default:
        ResultList = table.SelectByDesc(text.data(), mode);
        break;
    }
    table.made = nullptr;
  }
  if (!ResultList) {
    Inform(GetHandle(), kMsgNoProgramMatches);
    TextEdit->SetFocus();
    return;
  }
  Destroy(IDOK);
}

void TFindByDesc::CmCancel() {
  FreeRecordList(ResultList);
  ResultList = nullptr;
  TLangDlg::CmCancel();
}

TcbFileRecord* TFindByDesc::TakeResults() {
  TcbFileRecord* list = ResultList;
  ResultList = nullptr;
  return list;
}

// ---- the nine buttons ------------------------------------------------------

DEFINE_RESPONSE_TABLE1(TSearchButtons, TLangDlg)
  EV_BN_CLICKED(IDC_SEARCH_PART, CmByPartNumber),
  EV_BN_CLICKED(IDC_SEARCH_MACHINE, CmByMachine),
  EV_BN_CLICKED(IDC_SEARCH_CUSTOMER, CmByCustomer),
  EV_BN_CLICKED(IDC_SEARCH_ALL, CmAll),
  EV_BN_CLICKED(IDC_SEARCH_DRAWING, CmByDrawingNumber),
  EV_BN_CLICKED(IDC_SEARCH_PROGRAM_ID, CmByProgramId),
  EV_BN_CLICKED(IDC_SEARCH_PROJECT, CmByProject),
  EV_BN_CLICKED(IDC_SEARCH_COMBINED, CmCombinedSearch),
  EV_BN_CLICKED(IDC_SEARCH_DESCRIPTION, CmByDescription),
END_RESPONSE_TABLE;

TSearchButtons::TSearchButtons(TWindow* parent, Front front) : TLangDlg(parent, IDD_SEARCH), front_(front) {}

void TSearchButtons::SetupWindow() {
  TLangDlg::SetupWindow();
  SetCaptionText(60);
  SetItemTexts(IDC_SEARCH_PART, 61, 9);
}

// A window over a hidden one is hidden with it: what the open and backup
// front ends run while they step aside belongs to their own parent.
TWindow* TSearchButtons::Owner() { return HidesDuringSearch() ? GetParentO() : this; }

void TSearchButtons::TextSearch(int field, int searchKind) {
  Globals->SearchMode = searchKind;
  auto* find = new TFindByDesc(Owner(), field, front_ == BackupFront);
  if (HidesDuringSearch()) ShowWindow(SW_HIDE);
  if (find->Execute() != IDOK) {
    if (HidesDuringSearch()) ShowWindow(SW_SHOW);
    delete find;
    return;
  }
  TcbFileRecord* list = find->TakeResults();
  delete find;
  ShowResults(list);
}

void TSearchButtons::CmByMachine() {
  int32_t machine = 0;
  if (TMachineDialog(this, &machine).Execute() != IDOK || machine == 0) return;
  Globals->SearchMode = 1;
  TcbFileRecord* list;
  {
    TWaitCursor wait(*this, front_ != NewFront);
    TcbFileTable table(TableName(), 0, 0);
    list = table.SelectByMachine(machine);
    table.made = nullptr;
  }
  ShowResults(list);
}

void TSearchButtons::CmByCustomer() {
  if (TSelectCustomer(this).Execute() != IDOK) return;
  Globals->SearchMode = 1;
  TcbFileRecord* list;
  {
    TWaitCursor wait(*this, true);
    TcbFileTable table(TableName(), 0, 0);
    list = table.SelectByCustomer(Globals->ChosenCustomerId);
    table.made = nullptr;
  }
  ShowResults(list);
}

void TSearchButtons::CmByProject() {
  if (TSelectProject(this).Execute() != IDOK) return;
  Globals->SearchMode = 1;
  TcbFileRecord* list;
  {
    TWaitCursor wait(*this, front_ == NewFront);
    TcbFileTable table(TableName(), 0, 0);
    list = table.SelectByProject(Globals->ChosenProjectId);
    table.made = nullptr;
  }
  ShowResults(list);
}

void TSearchButtons::CmAll() {
  Globals->SearchMode = 1;
  TcbFileRecord* list;
  {
    TWaitCursor wait(*this, true);
    TcbFileTable table(TableName(), 0, 0);
    // The program dialog's new search lists as File, Open did: by program
    // id, not in the order the rows were written.
    list = front_ != BackupFront ? table.Select("NCID > 0", "DESC") : table.ReadAll(1);
    table.made = nullptr;
  }
  ShowResults(list);
}

void TSearchButtons::CmCombinedSearch() {
  if (front_ == NewFront) Globals->SearchMode = 1;
  if (HidesDuringSearch()) ShowWindow(SW_HIDE);
  auto* combined = new TCombinedSearch(Owner(), front_ == BackupFront);
  if (combined->Execute() != IDOK) {
    if (HidesDuringSearch()) ShowWindow(SW_SHOW);
    delete combined;
    return;
  }
  Globals->SearchMode = 1;
  TcbFileRecord* list = combined->TakeResults();
  delete combined;
  ShowResults(list);
}

// ---- the three front ends --------------------------------------------------

void TOpenSearch::ShowResults(TcbFileRecord* list) {
  ShowWindow(SW_HIDE);
  const TResultDialog& show = GetProgramListDialog();
  int rc = show ? show(Owner(), list) : (FreeRecordList(list), IDCANCEL);
  Destroy(rc == IDOK ? IDOK : IDCANCEL);
}

TNewSearch::~TNewSearch() { FreeRecordList(ResultList); }

void TNewSearch::ShowResults(TcbFileRecord* list) {
  FreeRecordList(ResultList);
  ResultList = list;
  if (ResultList) Destroy(IDOK);
}

void TOpenBackup::ShowResults(TcbFileRecord* list) {
  if (!list) return;
  ShowWindow(SW_HIDE);
  const TResultDialog& show = GetBackupListDialog();
  int rc = show ? show(Owner(), list) : (FreeRecordList(list), IDCANCEL);
  if (rc == kNewSearch)
    ShowWindow(SW_SHOW);
  else
    Destroy(IDOK);
}

// ---- customer --------------------------------------------------------------

DEFINE_RESPONSE_TABLE1(TSelectCustomer, TDialog)
  EV_LBN_SELCHANGE(IDC_SELECT_CUSTOMER_LIST, EvSelChange),
  EV_LBN_DBLCLK(IDC_SELECT_CUSTOMER_LIST, EvDblClk),
END_RESPONSE_TABLE;

TSelectCustomer::TSelectCustomer(TWindow* parent) : TDialog(parent, IDD_SELECT_CUSTOMER) {
  Globals->ChosenCustomerId = 0;
  CustomerList = new TListBox(this, IDC_SELECT_CUSTOMER_LIST);
}

void TSelectCustomer::SetupWindow() {
  TDialog::SetupWindow();
  CentreOnScreen(*this);
  {
    TcbAdvCustTable customers("KELVCUS2.DBF", 0, 0);
    TControlLines lines(*CustomerList);
    customers.FillList(&lines);
  }
  if (CustomerList->GetCount() <= 0) {
    Inform(::GetFocus(), kMsgNoCustomer);
    Destroy(IDCANCEL);
    return;
  }
  EvSelChange();
}

void TSelectCustomer::EvSelChange() {
  int i = CustomerList->GetSelIndex();
  std::string line = i < 0 ? std::string() : CustomerList->GetString(i);
  if (line.size() > 200) line.resize(200);
  Globals->ChosenCustomerId = static_cast<int32_t>(ListLineId(line.c_str()));
}

void TSelectCustomer::EvDblClk() {
  EvSelChange();
  Destroy(IDOK);
}

long ChooseProgram(TWindow* parent) {
  // The program dialog leaves the id it opened where the commands of the
  // main frame look for it; the chooser takes it from there.
  Globals->CurrentProgramId = 0;
  const bool chosen = TOpenSearch(parent).Execute() == IDOK;
  const long id = chosen ? Globals->CurrentProgramId : 0;
  Globals->CurrentProgramId = 0;
  return id;
}
