// The auto-import definitions (AUTOIMP.DBF): the list of stored
// definitions, the fields of the one selected, and Append, Modify and
// Delete. Nothing is loaded until the user selects a line, so Modify and
// Delete do nothing right after opening. The threads read the definitions
// when the program starts; changes act from the next start on.
#pragma once

#include <memory>
#include <string>

#include "app/lang_dlg.h"
#include "app/users_lines.h"
#include "dbmodel/autoimp.h"
#include "platform/ui/button.h"
#include "platform/ui/edit.h"
#include "platform/ui/listbox.h"
#include "resources/menus/main.h"

class TAutoImportDef : public TLangDlg {
 public:
  explicit TAutoImportDef(TWindow* parent);

  void SetupWindow() override;

  void EvMachineChange() {}
  void EvCustomerChange();
  void EvProjectChange() {}
  void EvDefinitionSelected();
  void CmBrowseProgramPath();
  void CmBrowseMemoPath();
  void CmToggleGroup1();
  void CmToggleGroup2();
  void CmAppend();
  void CmModify();
  void CmDelete();

  const TcbAutoImpRecord* Current() const { return current_.get(); }

 private:
  struct TEntries {
    std::string path, memoPath, name, ext, memoExt, interval, mask, progId, expandWidth;
  };
  // The edits' texts; false, after a beep and with the focus on the first
  // mandatory field left empty (or an expand width that is no count).
  bool ReadEntries(TEntries& e);
  // The entries and the boxes into a definition (its ID untouched).
  void Store(const TEntries& e, TcbAutoImpRecord& r);
  void Show(const TcbAutoImpRecord& r);
  void ClearFields();
  void RefillDefinitions();
  void Browse(TEdit& edit);
  void SetToggle(TButton& button, bool shown);

  TEdit* PathEdit;
  TEdit* MemoPathEdit;
  TEdit* NameEdit;
  TEdit* ExtEdit;
  TEdit* MemoExtEdit;
  TEdit* IntervalEdit;
  TEdit* MaskEdit;
  TEdit* ProgIdEdit;
  TEdit* ExpandWidthEdit;
  TNameIdComboBox* MachineBox;
  TNameIdComboBox* CustomerBox;
  TNameIdComboBox* ProjectBox;
  TButton* CustomerToggle;
  TButton* ProjectToggle;
  TListBox* DefinitionList;
  TRadioButton* ByName;
  TRadioButton* ByParenthesis;
  TCheckBox* RunCheck;
  TCheckBox* ReplaceCheck;
  TCheckBox* BackupCheck;
  TCheckBox* ExpandCheck;
  TCheckBox* MinDescCheck;
  std::unique_ptr<TcbAutoImpRecord> current_;

  DECLARE_RESPONSE_TABLE(TAutoImportDef);
};

// Registers command 1210 with the main frame.
void RegisterAutoImportDefs();
