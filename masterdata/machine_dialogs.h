// Machines and machine types: the machines of each type with their
// directory and Mazak flag, and the list of types. A machine's name is
// unique over all types; a machine with programs and a type with
// machines cannot be deleted.
#pragma once

#include "app/lang_dlg.h"
#include "platform/ui/button.h"
#include "platform/ui/dc.h"
#include "platform/ui/edit.h"
#include "platform/ui/listbox.h"
#include "platform/ui/static.h"

class TEditMachine : public TLangDlg {
 public:
  explicit TEditMachine(TWindow* parent);

  void SetupWindow() override;
  void EvTypeChange();
  void EvMachineChange();
  void CmAdd();
  void CmModify();
  void CmDelete();
  void CmSelectDirectory();
  HBRUSH EvCtlColor(HDC dc, HWND control, UINT ctlType);

  TListBox* MachineList;
  TListBox* TypeList;
  TEdit* NameEdit;
  TEdit* DescEdit;
  TStatic* DirText;
  TCheckBox* MazakBox;
  long SelectedMachine = 0;
  long SelectedType = 0;

 private:
  void FillTypes();
  // The three texts Add and Modify store; false, after telling the user
  // which is missing, when one is empty.
  bool ReadFields(std::string& name, std::string& desc, std::string& dir);

  DECLARE_RESPONSE_TABLE(TEditMachine);
};

class TNewMachineTypeDialog : public TLangDlg {
 public:
  explicit TNewMachineTypeDialog(TWindow* parent);

  void SetupWindow() override;
  void CmSave();
  void CmModify();
  void CmDelete();

  TEdit* NameEdit;
  TListBox* TypeList;

 private:
  void FillTypes();
  // The typed name, or empty after the missing-input answer.
  std::string NameToStore();
  // Whether another type than `self` has the name (told to the user).
  bool NameTaken(const std::string& name, long self);

  DECLARE_RESPONSE_TABLE(TNewMachineTypeDialog);
};
