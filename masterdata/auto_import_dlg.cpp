// The auto-import definitions dialog. The customer and project boxes
// count only while they are shown: a hidden box stores 0. Paths are stored
// with a final "\" because the threads put file names straight after them.
#include "masterdata/auto_import_dlg.h"

#include "app/frame_commands.h"
#include "app/plugin_calls.h"
#include "appcore/globals.h"
#include "appcore/message_ids.h"
#include "dbmodel/counter.h"
#include "dbmodel/customer.h"
#include "dbmodel/machine.h"
#include "dbmodel/project.h"
#include "dbmodel/text_helpers.h"
#include "masterdata/master_edit.h"
#include "platform/msgbox.h"
#include "platform/ui/validator.h"
#include "resources/dialogs/autoimport.h"

namespace {

enum : int {
  kTextCaption = 565,
  kTextFirstLabel = 566,   // labels 200-211
  kTextFirstButton = 578,  // controls 111-118
};
constexpr int kLabelCount = 12, kButtonCount = 8;
constexpr std::size_t kMachineNameMax = 24;

const char* const kShown = "-";
const char* const kHidden = "+";

std::string Trimmed(const std::string& s) {
  std::size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  std::size_t e = s.find_last_not_of(' ');
  return s.substr(b, e - b + 1);
}

std::string WithFinalBackslash(std::string dir) {
  if (!dir.empty() && dir.back() != '\\') dir += '\\';
  return dir;
}

// The id of the selected line, read again from the line itself, so a
// selection the user changed counts.
long ChosenId(TNameIdComboBox& box) {
  box.SetSelIndex(box.GetSelIndex());
  return box.GetSelectedId();
}

}  // namespace

DEFINE_RESPONSE_TABLE1(TAutoImportDef, TLangDlg)
  EV_CBN_SELCHANGE(IDC_AUTO_IMPORT_MACHINE, EvMachineChange),
  EV_CBN_SELCHANGE(IDC_AUTO_IMPORT_CUSTOMER, EvCustomerChange),
  EV_CBN_SELCHANGE(IDC_AUTO_IMPORT_PROJECT, EvProjectChange),
  EV_LBN_SELCHANGE(IDC_AUTO_IMPORT_LIST, EvDefinitionSelected),
  EV_BN_CLICKED(IDC_AUTO_IMPORT_PATH_BROWSE, CmBrowseProgramPath),
  EV_BN_CLICKED(IDC_AUTO_IMPORT_CUSTOMER_TOGGLE, CmToggleGroup1),
  EV_BN_CLICKED(IDC_AUTO_IMPORT_PROJECT_TOGGLE, CmToggleGroup2),
  EV_BN_CLICKED(IDC_AUTO_IMPORT_APPEND, CmAppend),
  EV_BN_CLICKED(IDC_AUTO_IMPORT_MODIFY, CmModify),
  EV_BN_CLICKED(IDC_AUTO_IMPORT_DELETE, CmDelete),
  EV_BN_CLICKED(IDC_AUTO_IMPORT_MEMO_BROWSE, CmBrowseMemoPath),
END_RESPONSE_TABLE;

TAutoImportDef::TAutoImportDef(TWindow* parent) : TLangDlg(parent, IDD_AUTO_IMPORT) {
  PathEdit = new TEdit(this, IDC_AUTO_IMPORT_PATH, 200);
  MemoPathEdit = new TEdit(this, IDC_AUTO_IMPORT_MEMO_PATH, 200);
  NameEdit = new TEdit(this, IDC_AUTO_IMPORT_NAME, 25);
  ExtEdit = new TEdit(this, IDC_AUTO_IMPORT_EXT, 4);
  MemoExtEdit = new TEdit(this, IDC_AUTO_IMPORT_MEMO_EXT, 4);
  IntervalEdit = new TEdit(this, IDC_AUTO_IMPORT_INTERVAL, 4);
  MaskEdit = new TEdit(this, IDC_AUTO_IMPORT_MASK, 9);
  ProgIdEdit = new TEdit(this, IDC_AUTO_IMPORT_PROGID, 40);
  ExpandWidthEdit = new TEdit(this, IDC_AUTO_IMPORT_EXPAND_WIDTH, 3);
  MachineBox = new TNameIdComboBox(this, IDC_AUTO_IMPORT_MACHINE);
  CustomerBox = new TNameIdComboBox(this, IDC_AUTO_IMPORT_CUSTOMER);
  ProjectBox = new TNameIdComboBox(this, IDC_AUTO_IMPORT_PROJECT);
  CustomerToggle = new TButton(this, IDC_AUTO_IMPORT_CUSTOMER_TOGGLE);
  ProjectToggle = new TButton(this, IDC_AUTO_IMPORT_PROJECT_TOGGLE);
  DefinitionList = new TListBox(this, IDC_AUTO_IMPORT_LIST);
  ByName = new TRadioButton(this, IDC_AUTO_IMPORT_BY_NAME);
  ByParenthesis = new TRadioButton(this, IDC_AUTO_IMPORT_BY_PARENTHESIS);
  RunCheck = new TCheckBox(this, IDC_AUTO_IMPORT_RUN);
  ReplaceCheck = new TCheckBox(this, IDC_AUTO_IMPORT_REPLACE);
  BackupCheck = new TCheckBox(this, IDC_AUTO_IMPORT_BACKUP);
  ExpandCheck = new TCheckBox(this, IDC_AUTO_IMPORT_EXPAND);
  MinDescCheck = new TCheckBox(this, IDC_AUTO_IMPORT_MINDESC);
}

void TAutoImportDef::SetupWindow() {
  TLangDlg::SetupWindow();
  SetCaptionText(kTextCaption);
  SetItemTexts(IDC_AUTO_IMPORT_PATH_LABEL, kTextFirstLabel, kLabelCount);
  SetItemTexts(IDC_AUTO_IMPORT_BY_NAME, kTextFirstButton, kButtonCount);
  {
    TcbAdvCustTable customers("KELVCUS2.DBF", 0, 0);
    TControlLines<TNameIdComboBox> lines(*CustomerBox);
    customers.FillList(&lines);
  }
  if (CustomerBox->GetCount() > 0) {
    CustomerBox->ShowWindow(SW_SHOW);
    SetToggle(*CustomerToggle, true);
    EvCustomerChange();
  }
  {
    TcbMachTable machines("KELVMA.DBF", 0, 0);
    TControlLines<TNameIdComboBox> lines(*MachineBox);
    machines.FillList(&lines);
  }
  RefillDefinitions();
  IntervalEdit->SetValidator(new TFilterValidator("0-9"));
  ByName->Check();
  ByParenthesis->Uncheck();
}

void TAutoImportDef::SetToggle(TButton& button, bool shown) { button.SetWindowText(shown ? kShown : kHidden); }

void TAutoImportDef::RefillDefinitions() {
  TcbAutoImpTable defs("AUTOIMP.DBF", 1, 0);
  TControlLines<TListBox> lines(*DefinitionList);
  defs.FillList(&lines);
}

void TAutoImportDef::EvCustomerChange() {
  ProjectBox->ShowWindow(SW_HIDE);
  ProjectBox->ClearList();
  SetToggle(*ProjectToggle, false);
  long customer = ChosenId(*CustomerBox);
  if (customer == 0) return;
  {
    TcbProTable projects("KELVPRO.DBF", 0, 0);
    TControlLines<TNameIdComboBox> lines(*ProjectBox);
    projects.FillListOfCustomer(&lines, customer);
  }
  if (ProjectBox->GetCount() > 0) {
    ProjectBox->ShowWindow(SW_SHOW);
    SetToggle(*ProjectToggle, true);
  }
}

void TAutoImportDef::CmToggleGroup1() {
  if (CustomerBox->IsWindowVisible()) {
    CustomerBox->ShowWindow(SW_HIDE);
    SetToggle(*CustomerToggle, false);
    if (ProjectBox->IsWindowVisible()) {
      ProjectBox->ShowWindow(SW_HIDE);
      SetToggle(*ProjectToggle, false);
    }
  } else if (CustomerBox->GetCount() > 0) {
    CustomerBox->ShowWindow(SW_SHOW);
    SetToggle(*CustomerToggle, true);
  }
}

void TAutoImportDef::CmToggleGroup2() {
  if (ProjectBox->IsWindowVisible()) {
    ProjectBox->ShowWindow(SW_HIDE);
    SetToggle(*ProjectToggle, false);
  } else if (CustomerBox->IsWindowVisible()) {
    ProjectBox->ShowWindow(SW_SHOW);
    SetToggle(*ProjectToggle, true);
  }
}

void TAutoImportDef::Browse(TEdit& edit) {
  HeapText dir = CallPrintHook(this);
  if (!dir) return;
  edit.SetText((std::string(dir.c_str()) + "\\").c_str());
}

void TAutoImportDef::CmBrowseProgramPath() { Browse(*PathEdit); }
void TAutoImportDef::CmBrowseMemoPath() { Browse(*MemoPathEdit); }

void TAutoImportDef::ClearFields() {
  for (TEdit* e : {PathEdit, MemoPathEdit, NameEdit, ExtEdit, MemoExtEdit, IntervalEdit, MaskEdit, ProgIdEdit,
                   ExpandWidthEdit})
    e->Clear();
  for (TCheckBox* c : {ExpandCheck, RunCheck, ReplaceCheck, BackupCheck, MinDescCheck}) c->Uncheck();
}

void TAutoImportDef::EvDefinitionSelected() {
  current_.reset();
  int index = DefinitionList->GetSelIndex();
  if (index < 0) return;
  std::string line = DefinitionList->GetString(index);
  if (line.find("@@") == std::string::npos) return;
  std::unique_ptr<TcbAutoImpRecord> found;
  {
    TcbAutoImpTable defs("AUTOIMP.DBF", 1, 0);
    // A found record is the caller's.
    found.reset(defs.FindById(ListLineId(line.c_str())));
    defs.made = nullptr;
  }
  ClearFields();
  if (!found) {
    ::MessageBox(GetHandle(), line.c_str(), "CurRec = NULL", MB_OK);
    return;
  }
  current_ = std::move(found);
  Show(*current_);
}

void TAutoImportDef::Show(const TcbAutoImpRecord& r) {
  PathEdit->SetText(r.PATH);
  MemoPathEdit->SetText(r.MEPA);
  NameEdit->SetText(r.NAME);
  ExtEdit->SetText(r.EXT);
  MemoExtEdit->SetText(r.MEMO);
  MaskEdit->SetText(r.FILEMASK);
  ProgIdEdit->SetText(r.PROGID);
  ExpandWidthEdit->SetText(r.EXWITH);
  IntervalEdit->SetText(FormatText("%ld", r.TIMEOUT).c_str());
  RunCheck->SetCheck(r.RUN ? BST_CHECKED : BST_UNCHECKED);
  ReplaceCheck->SetCheck(r.REPLACE ? BST_CHECKED : BST_UNCHECKED);
  BackupCheck->SetCheck(r.BACKUP ? BST_CHECKED : BST_UNCHECKED);
  ExpandCheck->SetCheck(r.EXPAND ? BST_CHECKED : BST_UNCHECKED);
  MinDescCheck->SetCheck(r.MINDESC ? BST_CHECKED : BST_UNCHECKED);
  ByName->SetCheck(r.METHOD == 0 ? BST_CHECKED : BST_UNCHECKED);
  ByParenthesis->SetCheck(r.METHOD == 0 ? BST_UNCHECKED : BST_CHECKED);
  MachineBox->SelectId(r.MACHINE);
  if (r.CUSTOMER != 0) {
    CustomerBox->ShowWindow(SW_SHOW);
    SetToggle(*CustomerToggle, true);
    CustomerBox->SelectId(r.CUSTOMER);
    EvCustomerChange();
    if (r.PROJECT != 0)
      ProjectBox->SelectId(r.PROJECT);
    else
      CmToggleGroup2();
  } else if (CustomerBox->IsWindowVisible()) {
    CmToggleGroup1();
  }
}

bool TAutoImportDef::ReadEntries(TEntries& e) {
  e.path = PathEdit->GetText();
  e.memoPath = MemoPathEdit->GetText();
  e.name = NameEdit->GetText();
  e.ext = ExtEdit->GetText();
  e.memoExt = MemoExtEdit->GetText();
  e.interval = IntervalEdit->GetText();
  e.mask = MaskEdit->GetText();
  e.progId = ProgIdEdit->GetText();
  e.expandWidth = ExpandWidthEdit->GetText();
  const bool expand = ExpandCheck->GetCheck() == BST_CHECKED;
  // The width is a count the threads fill the id up to, never a format.
  const std::pair<bool, TEdit*> checks[] = {
      {e.path.empty(), PathEdit},
      {e.name.empty(), NameEdit},
      {e.ext.empty(), ExtEdit},
      {e.interval.empty(), IntervalEdit},
      {expand && AutoImportExpandWidth(Trimmed(e.expandWidth).c_str()) == 0, ExpandWidthEdit},
  };
  for (const auto& [failed, edit] : checks) {
    if (!failed) continue;
    MessageBeep(0xFFFFFFFF);
    edit->SetFocus();
    return false;
  }
  return true;
}

void TAutoImportDef::Store(const TEntries& e, TcbAutoImpRecord& r) {
  TrimCopy(r.NAME, Trimmed(e.name).c_str());
  TrimCopy(r.PROGID, Trimmed(e.progId).c_str());
  TrimCopy(r.PATH, WithFinalBackslash(Trimmed(e.path)).c_str());
  TrimCopy(r.MEPA, WithFinalBackslash(Trimmed(e.memoPath)).c_str());
  TrimCopy(r.EXT, Trimmed(e.ext).c_str());
  TrimCopy(r.MEMO, Trimmed(e.memoExt).c_str());
  TrimCopy(r.FILEMASK, Trimmed(e.mask).c_str());
  TrimCopy(r.EXWITH, Trimmed(e.expandWidth).c_str());
  r.TIMEOUT = std::atol(e.interval.c_str());
  r.METHOD = ByName->GetCheck() == BST_CHECKED ? 0 : 1;
  r.RUN = RunCheck->GetCheck() == BST_CHECKED;
  r.REPLACE = ReplaceCheck->GetCheck() == BST_CHECKED;
  r.BACKUP = BackupCheck->GetCheck() == BST_CHECKED;
  r.EXPAND = ExpandCheck->GetCheck() == BST_CHECKED;
  r.MINDESC = MinDescCheck->GetCheck() == BST_CHECKED;
  if (long machine = ChosenId(*MachineBox)) r.MACHINE = machine;
  std::string machineName = MachineBox->GetSelectedName();
  if (machineName.size() > kMachineNameMax) machineName.resize(kMachineNameMax);
  TrimCopy(r.MACH, Trimmed(machineName).c_str());
  r.CUSTOMER = r.PROJECT = 0;
  if (CustomerBox->IsWindowVisible()) {
    r.CUSTOMER = ChosenId(*CustomerBox);
    if (ProjectBox->IsWindowVisible()) r.PROJECT = ChosenId(*ProjectBox);
  }
}

void TAutoImportDef::CmAppend() {
  TEntries e;
  if (!ReadEntries(e)) return;
  TcbAutoImpRecord r;
  r.ID = NextAutoImportId();
  Store(e, r);
  {
    TcbAutoImpTable defs("AUTOIMP.DBF", 1, 0);
    defs.Add(&r);
  }
  RefillDefinitions();
  EvDefinitionSelected();
}

void TAutoImportDef::CmModify() {
  if (!current_) return;
  TEntries e;
  if (!ReadEntries(e)) return;
  if (!RowStillThere<TcbAutoImpTable>(this, "AUTOIMP.DBF", "ID", current_->ID, 1)) {
    current_.reset();
    RefillDefinitions();
    EvDefinitionSelected();
    return;
  }
  Store(e, *current_);
  {
    TcbAutoImpTable defs("AUTOIMP.DBF", 1, 0);
    defs.Update(current_.get());
  }
  RefillDefinitions();
  EvDefinitionSelected();
}

void TAutoImportDef::CmDelete() {
  if (!current_) return;
  if (::MessageBox(GetHandle(), Globals->GetMessageText(kMsgDeleteAutoImportDef).c_str(), Globals->CaptionText.c_str(),
                   MB_YESNO | MB_ICONQUESTION) != IDYES)
    return;
  current_.reset();
  long id = SelectedLineId(*DefinitionList);
  if (id == 0) return;
  {
    TcbAutoImpTable defs("AUTOIMP.DBF", 1, 0);
    defs.DeleteById(id);
  }
  RefillDefinitions();
  EvDefinitionSelected();
}

void RegisterAutoImportDefs() {
  RegisterFrameCommand(kCmAutoImportDefs, [](TFrameWindow& frame, UINT) { TAutoImportDef(&frame).Execute(); });
}
