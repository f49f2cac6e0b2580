// The two lists that classify version-log entries: the log types (main
// types) and, under each type, its change criteria (reasons for change).
// Every button writes its change at once; closing saves nothing more.
#pragma once

#include "app/lang_dlg.h"
#include "platform/ui/combobox.h"
#include "platform/ui/edit.h"
#include "platform/ui/listbox.h"

class TLogTypes : public TLangDlg {
 public:
  explicit TLogTypes(TWindow* parent);

  void SetupWindow() override;
  void EvListSelChange();
  void EvListDblClk() {}
  void CmSave();
  void CmModify();
  void CmDelete();

  TEdit* NameEdit;
  TListBox* TypeList;
  long SelectedId = 0;

 private:
  void FillList();

  DECLARE_RESPONSE_TABLE(TLogTypes);
};

class TLogChgTypes : public TLangDlg {
 public:
  explicit TLogChgTypes(TWindow* parent);

  void SetupWindow() override;
  void EvMainTypeChange();
  void EvCriterionSelChange();
  void EvCriterionDblClk() {}
  void CmNewType();
  void CmSave();
  void CmModify();
  void CmDelete();

  TEdit* NameEdit;
  TComboBox* MainTypeCombo;
  TListBox* CriteriaList;
  long MainType = 0;
  long SelectedCriterion = 0;

 private:
  void FillMainTypes();
  void FillCriteria();

  DECLARE_RESPONSE_TABLE(TLogChgTypes);
};

// The name typed into an edit: at most 49 characters, blanks and tabs in
// front and blanks behind removed.
std::string TypedLogName(const TEdit& edit);
