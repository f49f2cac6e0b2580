// Customers and their projects. A customer's name is unique over all
// customers, a project's within its customer. Deleting either asks first
// and detaches its programs rather than refusing.
#pragma once

#include <cstdint>
#include <string>

#include "app/lang_dlg.h"
#include "platform/ui/edit.h"
#include "platform/ui/listbox.h"

class TNewCustomer : public TLangDlg {
 public:
  explicit TNewCustomer(TWindow* parent);

  void SetupWindow() override;
  void EvCustomerChange();
  void CmSave();
  void CmModify();
  void CmDelete();

  TListBox* CustomerList;
  TListBox* ProjectList;
  TEdit* NameEdit;
  long SelectedCustomer = 0;

 private:
  void FillCustomers();
  // The typed name when it may be stored for customer `self` (0: a new
  // one); empty after the user was told why not.
  std::string NameToStore(long self);

  DECLARE_RESPONSE_TABLE(TNewCustomer);
};

class TNewProject : public TLangDlg {
 public:
  explicit TNewProject(TWindow* parent);

  void SetupWindow() override;
  void EvCustomerChange();
  void EvProjectChange();
  void CmSave();
  void CmModify();
  void CmDelete();

  TListBox* CustomerList;
  TListBox* ProjectList;
  TEdit* NameEdit;
  long SelectedCustomer = 0;
  long SelectedProject = 0;

 private:
  std::string NameToStore(long self);

  DECLARE_RESPONSE_TABLE(TNewProject);
};

// Chooses a customer by name: the edit shows the selected name, and the
// caller's id (when given) takes the id of each selected customer found.
class TGetCustId : public TDialog {
 public:
  TGetCustId(TWindow* parent, int32_t* customerId);

  void SetupWindow() override;
  void EvCustomerChange();

  TEdit* NameEdit;
  TListBox* CustomerList;
  std::string SelectedName;  // a company name of any length, held whole

 private:
  int32_t* CustomerId;

  DECLARE_RESPONSE_TABLE(TGetCustId);
};
