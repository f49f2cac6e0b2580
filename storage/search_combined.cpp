#include "storage/search_combined.h"

#include <cctype>

#include "app/lang_dlg.h"
#include "app/users_lines.h"
#include "appcore/globals.h"
#include "dbmodel/customer.h"
#include "dbmodel/machine.h"
#include "dbmodel/project.h"
#include "dbmodel/text_helpers.h"

namespace {

// The id of a combo's selected line; the member keeps its value when the
// line has none.
void TakeLineId(const TComboBox& combo, long& id) {
  int i = combo.GetSelIndex();
  if (i < 0) return;
  std::string line = combo.GetString(i);
  if (line.size() > 200) line.resize(200);
  if (line.find("@@") == std::string::npos) return;
  id = ListLineId(line.c_str());
}

bool On(const TCheckBox& box) { return box.GetCheck() == BST_CHECKED; }

std::string UpperText(const TEdit& edit, size_t limit) {
  std::string s = edit.GetText();
  if (s.size() > limit) s.resize(limit);
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

DEFINE_RESPONSE_TABLE1(TCombinedSearch, TDialog)
  EV_COMMAND(IDOK, CmSearch),
  EV_BN_CLICKED(104, CmCustomerBox),
  EV_BN_CLICKED(105, CmProjectBox),
  EV_BN_CLICKED(106, CmMachineBox),
  EV_CBN_SELCHANGE(101, EvCustomerChange),
  EV_CBN_SELCHANGE(102, EvProjectChange),
  EV_CBN_SELCHANGE(103, EvMachineChange),
END_RESPONSE_TABLE;

TCombinedSearch::TCombinedSearch(TWindow* parent, bool backupMode) : TDialog(parent, 13), BackupMode(backupMode) {
  CustomerBox = new TCheckBox(this, 104);
  ProjectBox = new TCheckBox(this, 105);
  MachineBox = new TCheckBox(this, 106);
  InclusiveButton = new TRadioButton(this, 110);
  ExclusiveButton = new TRadioButton(this, 111);
  ExactButton = new TRadioButton(this, 112);
  ProgramIdEdit = new TEdit(this, 107, 40);
  PartEdit = new TEdit(this, 108, 25);
  DrawingEdit = new TEdit(this, 109, 25);
  DescriptionEdit = new TEdit(this, 113, 50);
  CustomerCombo = new TComboBox(this, 101, 200);
  ProjectCombo = new TComboBox(this, 102, 200);
  MachineCombo = new TComboBox(this, 103, 200);
}

// A list nobody took goes with the dialog.
TCombinedSearch::~TCombinedSearch() { FreeRecordList(ResultList); }

void TCombinedSearch::HideIfShown(TWindow& w) {
  if (w.IsWindowVisible()) w.ShowWindow(SW_HIDE);
}

void TCombinedSearch::SetupWindow() {
  TDialog::SetupWindow();
  CentreOnScreen(*this);
  ExactButton->Check();
  CustomerBox->Check();
  ProjectBox->Check();
  MachineBox->Check();
  if (const char* t = DialogText(70)) SetCaption(t);
  static const struct {
    int control, text;
  } texts[] = {{104, 71}, {105, 72}, {106, 73}, {110, 74}, {111, 75}, {112, 76}, {200, 77},
               {201, 78}, {202, 79}, {203, 80}, {204, 81}, {1, 82}};
  for (const auto& t : texts)
    if (const char* s = DialogText(t.text)) SetDlgItemText(t.control, s);
  ProjectBox->ShowWindow(SW_HIDE);
  ProjectCombo->ShowWindow(SW_HIDE);
  {
    TcbMachTable machines("KELVMA.DBF", 0, 0);
    TControlLines lines(*MachineCombo);
    machines.FillList(&lines);
  }
  if (MachineCombo->GetCount() <= 0) {
    Destroy(IDCANCEL);
    return;
  }
  EvMachineChange();
  {
    TcbAdvCustTable customers("KELVCUS2.DBF", 0, 0);
    TControlLines lines(*CustomerCombo);
    customers.FillList(&lines);
  }
  if (CustomerCombo->GetCount() <= 0) {
    CustomerBox->ShowWindow(SW_HIDE);
    CustomerCombo->ShowWindow(SW_HIDE);
    ProjectBox->ShowWindow(SW_HIDE);
    ProjectCombo->ShowWindow(SW_HIDE);
  }
  EvCustomerChange();
}

void TCombinedSearch::EvMachineChange() { TakeLineId(*MachineCombo, MachineId); }
void TCombinedSearch::EvProjectChange() { TakeLineId(*ProjectCombo, ProjectId); }

void TCombinedSearch::EvCustomerChange() {
  int i = CustomerCombo->GetSelIndex();
  if (i < 0) return;
  std::string line = CustomerCombo->GetString(i);
  if (line.size() > 200) line.resize(200);
  if (line.find("@@") == std::string::npos) return;
  CustomerId = ListLineId(line.c_str());
  {
    TcbProTable projects("KELVPRO.DBF", 0, 0);
    TControlLines lines(*ProjectCombo);
    projects.FillListOfCustomer(&lines, CustomerId);
  }
  if (ProjectCombo->GetCount() <= 0) {
    ProjectBox->Uncheck();
    HideIfShown(*ProjectCombo);
    HideIfShown(*ProjectBox);
    return;
  }
  if (!ProjectBox->IsWindowVisible()) ProjectBox->ShowWindow(SW_SHOW);
  CmProjectBox();
  EvProjectChange();
}

void TCombinedSearch::CmCustomerBox() {
  if (On(*CustomerBox)) {
    CustomerCombo->ShowWindow(SW_SHOW);
    EvCustomerChange();
  } else {
    ProjectBox->Uncheck();
    CustomerCombo->ShowWindow(SW_HIDE);
    ProjectBox->ShowWindow(SW_HIDE);
    ProjectCombo->ShowWindow(SW_HIDE);
  }
}

void TCombinedSearch::CmProjectBox() {
  ProjectCombo->ShowWindow(On(*ProjectBox) && ProjectCombo->GetCount() > 0 ? SW_SHOW : SW_HIDE);
}

void TCombinedSearch::CmMachineBox() { MachineCombo->ShowWindow(On(*MachineBox) ? SW_SHOW : SW_HIDE); }

bool TCombinedSearch::BuildFilter(std::string& filter) {
  if (!On(*ProjectBox)) ProjectId = 0;
  if (!On(*CustomerBox)) CustomerId = 0;
  if (!On(*MachineBox)) MachineId = 0;
  bool exact = ExactButton->GetCheck() == BST_CHECKED;
  bool inclusive = !exact && ExclusiveButton->GetCheck() != BST_CHECKED;
  // One connector for the whole search: the expression needs no brackets.
  const char* joint = inclusive ? " .OR. " : " .AND. ";
  filter.clear();
  auto append = [&](const std::string& term) {
    if (!filter.empty()) filter += joint;
    filter += term;
  };
  if (MachineId) append(FormatText("MID = %ld", MachineId));
  if (CustomerId) append(FormatText("CUST = %ld", CustomerId));
  if (ProjectId) append(FormatText("PROJECT = %ld", ProjectId));

  const struct {
    TEdit* edit;
    const char* field;
    size_t width;
  } texts[] = {{ProgramIdEdit, "DESC", 40}, {PartEdit, "PART", 25}, {DescriptionEdit, "CHAR3", 50},
               {DrawingEdit, "DRAW", 25}};
  for (const auto& t : texts) {
    std::string text = UpperText(*t.edit, t.width - 1);
    if (text.empty()) continue;
    std::string quoted;
    if (!QuoteSearchText(exact ? PadText(text.c_str(), t.width) : text, quoted)) return false;
    append(exact ? std::string("UPPER(") + t.field + ") = " + quoted : quoted + " $ UPPER(" + t.field + ")");
  }
  return true;
}

void TCombinedSearch::CmSearch() {
  std::string filter;
  if (!BuildFilter(filter)) return;
  SetCursor(nullptr, IDC_WAIT);
  {
    TcbFileTable table(BackupMode ? "KELVBACK.DBF" : "KELVFILE.DBF", 0, 0);
    FreeRecordList(ResultList);
    ResultList = table.Select(filter.c_str(), "DESC");
    table.made = nullptr;
  }
  SetCursor(nullptr, IDC_ARROW);
  Destroy(ResultList ? IDOK : IDCANCEL);
}

TcbFileRecord* TCombinedSearch::TakeResults() {
  TcbFileRecord* list = ResultList;
  ResultList = nullptr;
  return list;
}
