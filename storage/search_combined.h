// The combined search: a machine, a customer and one of its projects, each
// switched on by its box, and four texts, all joined by one search method
// into one filter over the program index or the backups.
#pragma once

#include <string>

#include "dbmodel/filetable.h"
#include "platform/ui/button.h"
#include "platform/ui/combobox.h"
#include "platform/ui/dialog.h"
#include "platform/ui/edit.h"

class TCombinedSearch : public TDialog {
 public:
  TCombinedSearch(TWindow* parent, bool backupMode);
  ~TCombinedSearch() override;

  void SetupWindow() override;
  void CmSearch();
  void CmCustomerBox();
  void CmProjectBox();
  void CmMachineBox();
  void EvCustomerChange();
  void EvProjectChange();
  void EvMachineChange();

  // The filter of the criteria as they stand; false (the user told) when a
  // text cannot be written into a filter.
  bool BuildFilter(std::string& filter);
  // The result of an IDOK run; the caller owns it from here.
  TcbFileRecord* TakeResults();

  TcbFileRecord* ResultList = nullptr;
  TCheckBox* CustomerBox;
  TCheckBox* ProjectBox;
  TCheckBox* MachineBox;
  TRadioButton* InclusiveButton;
  TRadioButton* ExclusiveButton;
  TRadioButton* ExactButton;
  TEdit* ProgramIdEdit;
  TEdit* PartEdit;
  TEdit* DrawingEdit;
  TEdit* DescriptionEdit;
  TComboBox* CustomerCombo;
  TComboBox* ProjectCombo;
  TComboBox* MachineCombo;
  long CustomerId = 0;
  long ProjectId = 0;
  long MachineId = 0;
  bool BackupMode;

 private:
  void HideIfShown(TWindow& w);

  DECLARE_RESPONSE_TABLE(TCombinedSearch);
};
