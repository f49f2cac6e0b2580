#include "masterdata/pick_dialogs.h"

#include <cstring>

#include "app/users_lines.h"
#include "appcore/globals.h"
#include "dbmodel/customer.h"
#include "dbmodel/machine.h"
#include "dbmodel/project.h"
#include "dbmodel/text_helpers.h"
#include "engine/engine_api.h"
#include "platform/ui/ctlcolor.h"
#include "resources/dialogs/masterdata.h"

namespace {
const char* const kMachineFile = "KELVMA.DBF";
const char* const kProjectFile = "KELVPRO.DBF";
const char* const kCustomerFile = "KELVCUS2.DBF";

// The selected line of a list or combo box cut to limit characters, empty
// when nothing is selected.
template <class Control>
std::string SelectedLine(const Control& c, size_t limit) {
  int i = c.GetSelIndex();
  if (i < 0) return {};
  std::string s = c.GetString(i);
  if (s.size() > limit) s.resize(limit);
  return s;
}
}  // namespace

// ---- machine ---------------------------------------------------------------

DEFINE_RESPONSE_TABLE1(TMachineDialog, TLangDlg)
  EV_LBN_SELCHANGE(IDC_SELECT_MACHINE_LIST, EvMachineChange),
  EV_LBN_DBLCLK(IDC_SELECT_MACHINE_LIST, EvMachineDblClk),
  EV_WM_CTLCOLOR,
END_RESPONSE_TABLE;

TMachineDialog::TMachineDialog(TWindow* parent, int32_t* machineId)
    : TLangDlg(parent, IDD_SELECT_MACHINE), MachineId(machineId) {
  MachineList = new TListBox(this, IDC_SELECT_MACHINE_LIST);
  Description = new TStatic(this, IDC_SELECT_MACHINE_CHOICE, 60);
}

void TMachineDialog::SetupWindow() {
  TLangDlg::SetupWindow();
  SetCaptionText(39);
  {
    TcbMachTable machines(kMachineFile, 0, 0);
    TControlLines lines(*MachineList);
    machines.FillList(&lines);
  }
  // Nothing to choose from: the caller's cancel path, before anything shows.
  if (MachineList->GetCount() <= 0) {
    Destroy(IDCANCEL);
    return;
  }
  EvMachineChange();
}

void TMachineDialog::EvMachineChange() {
  std::string line = SelectedLine(*MachineList, 200);
  if (line.empty() || line.find("@@") == std::string::npos) return;
  long id = ListLineId(line.c_str());
  if (MachineId) *MachineId = static_cast<int32_t>(id);
  TcbMachTable machines(kMachineFile, 0, 0);
  TcbMachRecord* r = machines.FindById(id);
  // Deleted by another station since the list was filled: nothing changes.
  if (r && data_is_deleted(machines.Data())) {
    delete r;
    r = nullptr;
  }
  machines.Close();
  if (!r) return;
  Description->SetText(r->DESC);
  Globals->ChosenMachineId = static_cast<int32_t>(r->ID);
  Globals->ChosenMachineType = static_cast<int32_t>(r->TYPE);
  char text[sizeof r->PATH];
  TrimCopy(text, r->PATH);
  Globals->ChosenMachineDir.Set(text);
  TrimCopy(text, sizeof text, r->NAME);
  Globals->ChosenMachineName.Set(text);
  delete r;
}

HBRUSH TMachineDialog::EvCtlColor(HDC dc, HWND control, UINT ctlType) {
  if (ctlType != CTLCOLOR_STATIC || !control || GetDlgCtrlID(control) != IDC_SELECT_MACHINE_CHOICE) return nullptr;
  SetTextColor(dc, RGB(0, 255, 0));
  SetBkColor(dc, RGB(0, 0, 0));
  return static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
}

int ChooseMachine(TWindow* parent, int* machineId) {
  int32_t id = 0;
  int rc = TMachineDialog(parent, &id).Execute();
  if (rc == IDOK && machineId) *machineId = Globals->ChosenMachineId;
  return rc;
}

// ---- project ---------------------------------------------------------------

DEFINE_RESPONSE_TABLE1(TSelectProject, TLangDlg)
  EV_BN_CLICKED(IDOK, CmOk),
  EV_CBN_SELCHANGE(IDC_SELECT_PROJECT_CUSTOMER, EvCustomerChange),
  EV_LBN_DBLCLK(IDC_SELECT_PROJECT_PROJECTS, CmOk),
END_RESPONSE_TABLE;

TSelectProject::TSelectProject(TWindow* parent) : TLangDlg(parent, IDD_SELECT_PROJECT) {
  CustomerCombo = new TComboBox(this, IDC_SELECT_PROJECT_CUSTOMER, 300);
  ProjectList = new TListBox(this, IDC_SELECT_PROJECT_PROJECTS);
  Globals->ChosenProjectId = 0;
}

void TSelectProject::SetupWindow() {
  TLangDlg::SetupWindow();
  SetCaptionText(641);
  SetItemTexts(IDC_SELECT_PROJECT_CUSTOMER_LABEL, 642, 2);
  {
    TcbAdvCustTable customers(kCustomerFile, 0, 0);
    TControlLines lines(*CustomerCombo);
    customers.FillList(&lines);
  }
  EvCustomerChange();
}

void TSelectProject::EvCustomerChange() {
  std::string line = SelectedLine(*CustomerCombo, 299);
  if (line.find("@@") == std::string::npos) return;
  long customer = ListLineId(line.c_str());
  {
    TcbProTable projects(kProjectFile, 0, 0);
    TControlLines lines(*ProjectList);
    projects.FillListOfCustomer(&lines, customer);
  }
  ProjectList->ShowWindow(ProjectList->GetCount() > 0 ? SW_SHOW : SW_HIDE);
}

void TSelectProject::CmOk() {
  std::string line = SelectedLine(*ProjectList, 299);
  if (line.find("@@") == std::string::npos) return;
  long id = ListLineId(line.c_str());
  char* name;
  {
    TcbProTable projects(kProjectFile, 0, 0);
    name = projects.GetName(id);
  }
  char trimmed[256] = {};
  if (name) TrimCopy(trimmed, name);
  delete[] name;
  Globals->ChosenProjectName.Set(trimmed);
  Globals->ChosenProjectId = static_cast<int32_t>(id);
  TLangDlg::CmOk();
}
