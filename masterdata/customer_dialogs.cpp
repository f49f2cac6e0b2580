#include "masterdata/customer_dialogs.h"

#include <functional>
#include <memory>

#include "app/users_dialogs.h"
#include "app/users_lines.h"
#include "appcore/message_ids.h"
#include "appcore/text_scan.h"
#include "dbmodel/customer.h"
#include "dbmodel/filetable.h"
#include "dbmodel/project.h"
#include "masterdata/master_edit.h"
#include "resources/dialogs/masterdata.h"

namespace {

const char* const kCustomerFile = "KELVCUS2.DBF";
const char* const kProjectFile = "KELVPRO.DBF";
const char* const kProgramFile = "KELVFILE.DBF";

// COMPANY and project NAME are both 40 characters wide.
constexpr size_t kNameWidth = 40;
// Field 6 of KELVCUS2.DBF is COMPANY.
constexpr int kCompanyField = 6;

void FillCustomerList(TListBox& list) {
  TcbAdvCustTable customers(kCustomerFile, 0, 0);
  TControlLines lines(list);
  customers.FillList(&lines);
}

// The customer's projects; none listed for no customer.
void FillProjectList(TListBox& list, long customer) {
  if (customer == 0) {
    list.ClearList();
    return;
  }
  TcbProTable projects(kProjectFile, 0, 0);
  TControlLines lines(list);
  projects.FillListOfCustomer(&lines, customer);
}

// The typed name when it may be stored for row `self` (0: a new row): not
// empty, quotable into a filter, and held by no other row (`holder` gives
// the row holding a name, 0 for none). Empty after the user was told.
std::string NameToStore(TWindow* owner, TEdit& edit, long self, int takenMessage,
                        const std::function<long(const std::string&)>& holder) {
  std::string name = TypedName(edit, kNameWidth);
  if (name.empty()) {
    MissingInput(edit);
    return {};
  }
  if (!QuotableName(name, kNameWidth)) return {};
  long held = holder(name);
  if (held != 0 && held != self) {
    ShowMessage(owner, takenMessage);
    return {};
  }
  return name;
}

// Deletes the row of a customer or project once the user agrees, then
// detaches its programs; false when the user said No.
template <class Table>
bool DeleteAndDetach(TWindow* owner, int question, const char* file, long id, int (TcbFileTable::*detach)(long)) {
  if (!Confirmed(owner, question)) return false;
  int deleted;
  {
    Table t(file, 0, 0);
    deleted = t.DeleteById(id);
  }
  if (Stored(owner, deleted)) {
    TcbFileTable programs(kProgramFile, 0, 0);
    Stored(owner, (programs.*detach)(id));
  }
  return true;
}

}  // namespace

// ---- customers -------------------------------------------------------------

DEFINE_RESPONSE_TABLE1(TNewCustomer, TLangDlg)
  EV_LBN_SELCHANGE(IDC_CUSTOMERS_LIST, EvCustomerChange),
  EV_BN_CLICKED(IDC_CUSTOMERS_SAVE, CmSave),
  EV_BN_CLICKED(IDC_CUSTOMERS_MODIFY, CmModify),
  EV_BN_CLICKED(IDC_CUSTOMERS_DELETE, CmDelete),
END_RESPONSE_TABLE;

TNewCustomer::TNewCustomer(TWindow* parent) : TLangDlg(parent, IDD_CUSTOMERS) {
  CustomerList = new TListBox(this, IDC_CUSTOMERS_LIST);
  ProjectList = new TListBox(this, IDC_CUSTOMERS_PROJECTS);
  NameEdit = new TEdit(this, IDC_CUSTOMERS_NAME, kNameWidth + 1);
}

void TNewCustomer::SetupWindow() {
  TLangDlg::SetupWindow();
  SetCaptionText(26);
  SetItemTexts(IDC_CUSTOMERS_SAVE, 27, 3);
  SetItemTexts(IDC_CUSTOMERS_CUSTOMER_LABEL, 30, 3);
  FillCustomers();
}

void TNewCustomer::FillCustomers() {
  FillCustomerList(*CustomerList);
  EvCustomerChange();
}

void TNewCustomer::EvCustomerChange() {
  SelectedCustomer = SelectedLineId(*CustomerList);
  FillProjectList(*ProjectList, SelectedCustomer);
}

std::string TNewCustomer::NameToStore(long self) {
  return ::NameToStore(this, *NameEdit, self, kMsgCustomerNameTaken, [](const std::string& name) {
    TcbAdvCustTable customers(kCustomerFile, 0, 0);
    return customers.FindByCompanyText(name.c_str());
  });
}

void TNewCustomer::CmSave() {
  std::string name = NameToStore(0);
  if (name.empty()) return;
  NameEdit->SetText("");
  long id;
  {
    TcbAdvCustTable customers(kCustomerFile, 0, 0);
    id = customers.Add(name.c_str());
  }
  Stored(this, id);
  FillCustomers();
}

void TNewCustomer::CmModify() {
  if (SelectedCustomer == 0) return;
  std::string name = NameToStore(SelectedCustomer);
  if (name.empty()) return;
  if (!RowStillThere<TcbAdvCustTable>(this, kCustomerFile, "ID", SelectedCustomer)) {
    FillCustomers();
    return;
  }
  int renamed;
  {
    TcbAdvCustTable customers(kCustomerFile, 0, 0);
    renamed = customers.Rename(SelectedCustomer, name.c_str());
  }
  if (!Stored(this, renamed)) return;
  FillCustomers();
  NameEdit->SetText("");
}

void TNewCustomer::CmDelete() {
  // The projects stay; the programs lose the customer and its project.
  if (SelectedCustomer == 0 || !DeleteAndDetach<TcbAdvCustTable>(this, kMsgDeleteCustomer, kCustomerFile,
                                                                 SelectedCustomer, &TcbFileTable::DetachCustomer))
    return;
  FillCustomers();
}

// ---- projects --------------------------------------------------------------

DEFINE_RESPONSE_TABLE1(TNewProject, TLangDlg)
  EV_BN_CLICKED(IDC_PROJECTS_SAVE, CmSave),
  EV_BN_CLICKED(IDC_PROJECTS_MODIFY, CmModify),
  EV_BN_CLICKED(IDC_PROJECTS_DELETE, CmDelete),
  EV_LBN_SELCHANGE(IDC_PROJECTS_CUSTOMERS, EvCustomerChange),
  EV_LBN_SELCHANGE(IDC_PROJECTS_LIST, EvProjectChange),
END_RESPONSE_TABLE;

TNewProject::TNewProject(TWindow* parent) : TLangDlg(parent, IDD_PROJECTS) {
  CustomerList = new TListBox(this, IDC_PROJECTS_CUSTOMERS);
  ProjectList = new TListBox(this, IDC_PROJECTS_LIST);
  NameEdit = new TEdit(this, IDC_PROJECTS_NAME, kNameWidth + 1);
}

void TNewProject::SetupWindow() {
  TLangDlg::SetupWindow();
  SetCaptionText(33);
  SetItemTexts(IDC_PROJECTS_CUSTOMER_LABEL, 36, 3);
  SetItemTexts(IDC_PROJECTS_SAVE, 41, 3);
  FillCustomerList(*CustomerList);
  EvCustomerChange();
}

void TNewProject::EvCustomerChange() {
  SelectedCustomer = SelectedLineId(*CustomerList);
  FillProjectList(*ProjectList, SelectedCustomer);
  // Another customer's project is no longer in view: Modify and Delete
  // wait for the user to pick one of this customer's.
  ProjectList->SetSelIndex(-1);
  SelectedProject = 0;
}

void TNewProject::EvProjectChange() { SelectedProject = SelectedLineId(*ProjectList); }

std::string TNewProject::NameToStore(long self) {
  return ::NameToStore(this, *NameEdit, self, kMsgProjectNameTaken, [this](const std::string& name) {
    TcbProTable projects(kProjectFile, 0, 0);
    return projects.FindByNameAndCustomer(name.c_str(), SelectedCustomer);
  });
}

void TNewProject::CmSave() {
  if (SelectedCustomer == 0) return;
  std::string name = NameToStore(0);
  if (name.empty()) return;
  NameEdit->SetText("");
  std::unique_ptr<TcbProRecord> added;
  {
    TcbProTable projects(kProjectFile, 0, 0);
    added.reset(projects.Add(name.c_str(), SelectedCustomer));
  }
  Stored(this, added != nullptr);
  EvCustomerChange();
}

void TNewProject::CmModify() {
  if (SelectedCustomer == 0 || SelectedProject == 0) return;
  std::string name = NameToStore(SelectedProject);
  if (name.empty()) return;
  NameEdit->SetText("");
  if (!RowStillThere<TcbProTable>(this, kProjectFile, "ID", SelectedProject)) {
    EvCustomerChange();
    return;
  }
  int renamed;
  {
    TcbProTable projects(kProjectFile, 0, 0);
    renamed = projects.Rename(SelectedProject, name.c_str());
  }
  Stored(this, renamed);
  EvCustomerChange();
}

void TNewProject::CmDelete() {
  // The programs keep their customer and lose the project.
  if (SelectedProject == 0 || !DeleteAndDetach<TcbProTable>(this, kMsgDeleteProject, kProjectFile, SelectedProject,
                                                            &TcbFileTable::DetachProject))
    return;
  EvCustomerChange();
}

// ---- a customer by name ----------------------------------------------------

DEFINE_RESPONSE_TABLE1(TGetCustId, TDialog)
  EV_LBN_SELCHANGE(IDC_GET_CUSTOMER_LIST, EvCustomerChange),
END_RESPONSE_TABLE;

TGetCustId::TGetCustId(TWindow* parent, int32_t* customerId)
    : TDialog(parent, IDD_GET_CUSTOMER), CustomerId(customerId) {
  NameEdit = new TEdit(this, IDC_GET_CUSTOMER_NAME, kNameWidth + 1);
  CustomerList = new TListBox(this, IDC_GET_CUSTOMER_LIST);
}

void TGetCustId::SetupWindow() {
  TDialog::SetupWindow();
  CentreOnScreen(*this);
  {
    TcbAdvCustTable customers(kCustomerFile, 0, 0);
    TControlLines lines(*CustomerList);
    customers.FillListFromField(&lines, kCompanyField);
  }
  CustomerList->SetSelIndex(0);
  EvCustomerChange();
}

void TGetCustId::EvCustomerChange() {
  int i = CustomerList->GetSelIndex();
  if (i < 0) return;
  SelectedName = CustomerList->GetString(i);
  NameEdit->SetText(SelectedName.c_str());
  NameEdit->ClearModify();
  if (!CustomerId) return;
  std::unique_ptr<TcbAdvCustRecord> found;
  {
    TcbAdvCustTable customers(kCustomerFile, 0, 0);
    found.reset(customers.FindByCompany(SelectedName.c_str()));
  }
  if (found) *CustomerId = static_cast<int32_t>(found->ID);
}
