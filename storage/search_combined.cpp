#include "storage/search_combined.h"

#include <cctype>

#include "app/lang_dlg.h"
#include "app/users_lines.h"
#include "appcore/globals.h"
#include "dbmodel/customer.h"
#include "dbmodel/machine.h"
#include "dbmodel/project.h"
#include "dbmodel/text_helpers.h"
#include "resources/dialogs/search.h"

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
  EV_BN_CLICKED(IDC_COMBINED_SEARCH_CUSTOMER_BOX, CmCustomerBox),
  EV_BN_CLICKED(IDC_COMBINED_SEARCH_PROJECT_BOX, CmProjectBox),
  EV_BN_CLICKED(IDC_COMBINED_SEARCH_MACHINE_BOX, CmMachineBox),
  EV_CBN_SELCHANGE(IDC_COMBINED_SEARCH_CUSTOMER, EvCustomerChange),
  EV_CBN_SELCHANGE(IDC_COMBINED_SEARCH_PROJECT, EvProjectChange),
  EV_CBN_SELCHANGE(IDC_COMBINED_SEARCH_MACHINE, EvMachineChange),
END_RESPONSE_TABLE;

  TCombinedSearch::TCombinedSearch(TWindow* parent, bool backupMode)
      : TDialog(parent, IDD_COMBINED_SEARCH), BackupMode(backupMode) {
    CustomerBox = new TCheckBox(this, IDC_COMBINED_SEARCH_CUSTOMER_BOX);
    ProjectBox = new TCheckBox(this, IDC_COMBINED_SEARCH_PROJECT_BOX);
    MachineBox = new TCheckBox(this, IDC_COMBINED_SEARCH_MACHINE_BOX);
    InclusiveButton = new TRadioButton(this, IDC_COMBINED_SEARCH_INCLUSIVE);
    ExclusiveButton = new TRadioButton(this, IDC_COMBINED_SEARCH_EXCLUSIVE);
    ExactButton = new TRadioButton(this, IDC_COMBINED_SEARCH_EXACT);
    ProgramIdEdit = new TEdit(this, IDC_COMBINED_SEARCH_PROGRAM_ID, 40);
    PartEdit = new TEdit(this, IDC_COMBINED_SEARCH_PART, 25);
    DrawingEdit = new TEdit(this, IDC_COMBINED_SEARCH_DRAWING, 25);
    DescriptionEdit = new TEdit(this, IDC_COMBINED_SEARCH_DESCRIPTION, 50);
    CustomerCombo = new TComboBox(this, IDC_COMBINED_SEARCH_CUSTOMER, 200);
    ProjectCombo = new TComboBox(this, IDC_COMBINED_SEARCH_PROJECT, 200);
    MachineCombo = new TComboBox(this, IDC_COMBINED_SEARCH_MACHINE, 200);
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
  } texts[] = {{IDC_COMBINED_SEARCH_CUSTOMER_BOX, 71},     {IDC_COMBINED_SEARCH_PROJECT_BOX, 72},
               {IDC_COMBINED_SEARCH_MACHINE_BOX, 73},      {IDC_COMBINED_SEARCH_INCLUSIVE, 74},
               {IDC_COMBINED_SEARCH_EXCLUSIVE, 75},        {IDC_COMBINED_SEARCH_EXACT, 76},
               {IDC_COMBINED_SEARCH_PROGRAM_ID_LABEL, 77}, {IDC_COMBINED_SEARCH_DESCRIPTION_LABEL, 78},
               {IDC_COMBINED_SEARCH_PART_LABEL, 79},       {IDC_COMBINED_SEARCH_DRAWING_LABEL, 80},
               {IDC_COMBINED_SEARCH_METHOD_GROUP, 81},     {IDOK, 82}};
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
