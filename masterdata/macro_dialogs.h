// Macros: named NC texts of one machine. The editor hands a selection
// over on the clipboard to be saved as a macro, and takes a macro's text
// back from it once the user confirmed it. A text is stored whole or
// refused: Save, Modify and Insert share one limit.
#pragma once

#include <cstddef>

#include "app/lang_dlg.h"
#include "platform/ui/combobox.h"
#include "platform/ui/edit.h"

// The longest macro text the dialogs take, in characters.
constexpr size_t kMacroTextMax = 10000;

class TNewMacro : public TLangDlg {
 public:
  TNewMacro(TWindow* parent, long machineId);

  void SetupWindow() override;
  void CmSave();

  TEdit* NameEdit;
  TEdit* TextEdit;

 private:
  long MachineId;

  DECLARE_RESPONSE_TABLE(TNewMacro);
};

class TInsertMacro : public TLangDlg {
 public:
  // The text stays the caller's; null ends the dialog at once.
  TInsertMacro(TWindow* parent, const char* text);

  void SetupWindow() override;
  void CmInsert();

  TEdit* TextEdit;

 private:
  const char* Text;

  DECLARE_RESPONSE_TABLE(TInsertMacro);
};

class TEditMacro : public TLangDlg {
 public:
  explicit TEditMacro(TWindow* parent);

  void SetupWindow() override;
  void EvMachineChange();
  void EvMacroChange();
  void CmModify();
  void CmDelete();

  TComboBox* MachineCombo;
  TComboBox* MacroCombo;
  TEdit* TextEdit;
  long SelectedMachine = 0;
  long SelectedMacro = 0;

  DECLARE_RESPONSE_TABLE(TEditMacro);
};
