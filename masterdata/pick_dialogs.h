// The two small choosers many commands open first: a machine for a program,
// and a customer's project. Both hand their choice over through the
// Chosen* members of the global state, read by the caller after OK.
#pragma once

#include <cstdint>

#include "app/lang_dlg.h"
#include "platform/ui/combobox.h"
#include "platform/ui/dc.h"
#include "platform/ui/listbox.h"
#include "platform/ui/static.h"

class TMachineDialog : public TLangDlg {
 public:
  // machineId receives the id of every machine the user selects.
  TMachineDialog(TWindow* parent, int32_t* machineId);

  void SetupWindow() override;
  void EvMachineChange();
  void EvMachineDblClk() { CmOk(); }
  HBRUSH EvCtlColor(HDC dc, HWND control, UINT ctlType);

  TListBox* MachineList;
  TStatic* Description;

 private:
  int32_t* MachineId;

  DECLARE_RESPONSE_TABLE(TMachineDialog);
};

class TSelectProject : public TLangDlg {
 public:
  explicit TSelectProject(TWindow* parent);

  void SetupWindow() override;
  void EvCustomerChange();
  void CmOk() override;

  TComboBox* CustomerCombo;
  TListBox* ProjectList;

  DECLARE_RESPONSE_TABLE(TSelectProject);
};

// The machine chooser as the editor's New and Import commands ask for it.
int ChooseMachine(TWindow* parent, int* machineId);
