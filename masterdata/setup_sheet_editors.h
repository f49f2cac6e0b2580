// The editors the setup-sheet pages open: the list of sheet types, the
// values of one choice field of a type, and the labels of page 1 and
// page 2 of a type. The pages call the functions at the end; the classes
// are here for tests and for whoever needs more.
//
// Values and types are kept in the tables of dbmodel/setup_sheet.h and
// dbmodel/idname.h (SS000001); the lists show "%-170s@@%ld" lines.
#pragma once

#include "app/lang_dlg.h"
#include "dbmodel/setup_sheet.h"
#include "platform/ui/combobox.h"
#include "platform/ui/edit.h"
#include "platform/ui/listbox.h"

// The sheet types: add (with an empty page-1 and page-2 label row each),
// rename, delete. Names may repeat; a deleted type leaves its labels,
// values and sheets in their tables.
class TSheetType : public TLangDlg {
 public:
  explicit TSheetType(TWindow* parent);

  void SetupWindow() override;
  void CmAdd();
  void CmModify();
  void CmDelete();

  TEdit* NameEdit;
  TListBox* TypeList;

 private:
  void FillTypes();
  // The label rows of a new type; false when one could not be written.
  bool AddLabelRows(long typeId);

  DECLARE_RESPONSE_TABLE(TSheetType);
};

// The values of one choice field (1..8) of a sheet type: add and rename.
// Values are never deleted: page 2 stores positions in the list, which a
// delete would shift.
class TSheetComboData : public TLangDlg {
 public:
  TSheetComboData(TWindow* parent, long typeId, int fieldNo);

  void SetupWindow() override;
  void CmAdd();
  void CmModify();

  TEdit* NameEdit;
  TListBox* ValueList;
  long TypeId;
  int FieldNo;

 private:
  void FillValues();

  DECLARE_RESPONSE_TABLE(TSheetComboData);
};

// The label editors: one edit per label, 20 characters at most. Button 1,
// Esc and the close box all keep what was typed: the labels are written
// into the record and its row when a text changed, and nothing is written
// otherwise. A row that cannot be written is told.
class TSetupLabelEditor : public TDialog {
 public:
  void SetupWindow() override;
  bool CanClose() override;
  void EvClose() override;
  void CmCancel() override;
  void EvChange();
  // The edits into the record and the record into its row; false (told)
  // when the row could not be written.
  bool Save();

  int TextsChanged = 0;

 protected:
  // The DIALOGS ids of the caption, the first caption of a label and the
  // OK button (0: the template's text).
  struct TextIds {
    int caption, firstLabel, ok;
  };
  TSetupLabelEditor(TWindow* parent, int templateId, int count, TextIds texts);
  virtual const char* Label(int n) const = 0;
  virtual void SetLabel(int n, const char* text) = 0;
  virtual int WriteLabels() = 0;

 private:
  int Count;
  TextIds Texts;

  DECLARE_RESPONSE_TABLE(TSetupLabelEditor);
};

// The 25 labels of page 1 (SS000003) of the record's type.
class TSetupPage1Text : public TSetupLabelEditor {
 public:
  TSetupPage1Text(TWindow* parent, TSheet03Record* record);

 private:
  const char* Label(int n) const override { return Record->Label(n); }
  void SetLabel(int n, const char* text) override { Record->SetLabel(n, text); }
  int WriteLabels() override;

  TSheet03Record* Record;  // the caller's
};

// The 19 labels of page 2 (SS000004) of the record's type.
class TSetupPage2Text : public TSetupLabelEditor {
 public:
  TSetupPage2Text(TWindow* parent, TSheet04Record* record);

 private:
  const char* Label(int n) const override { return Record->Label(n); }
  void SetLabel(int n, const char* text) override { Record->SetLabel(n, text); }
  int WriteLabels() override;

  TSheet04Record* Record;  // the caller's
};

// ---- what the pages call --------------------------------------------------------

// The sheet-type editor, run modally; the caller refills its type combo.
void EditSheetTypes(TWindow* parent);

// A "!" button beside a choice field (1..8): runs the value editor of the
// field of that type, then refills the combo. The line shown before stays
// selected when the new list still has a line beginning with its first 50
// characters, else the first line is. The index selected, -1 for none.
int EditChoiceValues(TWindow* parent, long typeId, int fieldNo, TComboBox& combo);

// The label editor of page 1 or page 2 on the type's label row, run
// modally; false (nothing shown) when the type has no label row. The caller
// shows the new labels afterwards.
bool EditPage1Labels(TWindow* parent, long typeId);
bool EditPage2Labels(TWindow* parent, long typeId);

