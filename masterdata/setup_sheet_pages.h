// The two pages of a program's setup sheets. Page 1 picks a sheet type and
// one of the program's sheets of that type, shows and edits the sheet's
// first half, adds, rewrites, deletes and prints sheets and opens the
// editors of types, choice values and labels; page 2 edits the second half
// of page 1's sheet in memory, which reaches the file with page 1's next
// Add or Modify.
//
// Page 1 may hold no current sheet (a type without sheets, or the last
// one deleted): its fields are empty then, and Modify, Delete and Print do
// nothing. Add makes a new sheet of what the user gave it; the page-2 half
// comes from page 2 only when page 2 was confirmed since the shown sheet
// was loaded, so a new sheet never takes over another sheet's values.
#pragma once

#include <array>
#include <memory>

#include "app/lang_dlg.h"
#include "dbmodel/filetable.h"
#include "dbmodel/setup_sheet.h"
#include "platform/ui/button.h"
#include "platform/ui/combobox.h"
#include "platform/ui/edit.h"
#include "platform/ui/listbox.h"

class TSetupPage1 : public TLangDlg {
 public:
  static constexpr int kChoices = 4, kFields = 5, kFlags = 6;

  TSetupPage1(TWindow* parent, const TcbFileRecord* program);
  ~TSetupPage1() override;

  void SetupWindow() override;

  void EvTypeChange();
  void EvSheetChange();
  void EvComboChange1() { ChooseValue(0); }
  void EvComboChange2() { ChooseValue(1); }
  void EvComboChange3() { ChooseValue(2); }
  void EvComboChange4() { ChooseValue(3); }
  void CmEditSheetTypes();
  void CmEditComboData1() { EditComboData(0); }
  void CmEditComboData2() { EditComboData(1); }
  void CmEditComboData3() { EditComboData(2); }
  void CmEditComboData4() { EditComboData(3); }
  void CmPrint();
  void Cm113();  // Add
  void CmModify();
  void CmDelete();
  void CmSetupTexts();
  void CmPage2();
  void ShowSheet();

  // The sheet shown (null: none) and the type chosen.
  const TSheet05Record* CurrentSheet() const { return HasSheet ? Sheet.get() : nullptr; }
  long CurrentType() const { return TypeId; }
  long ProgramKey() const { return Key; }

 private:
  void ChooseValue(int k);
  void EditComboData(int k);
  // Makes a sheet the current one and shows it; null: no current sheet,
  // the fields cleared.
  void TakeSheet(std::unique_ptr<TSheet05Record> sheet);
  // False, after telling the user, when a number typed does not fit its
  // field; else the page-1 half of the record from the page.
  bool ReadPage(TSheet05Record& r);

  const TcbFileRecord* Program;
  long Key;
  long TypeId = 0;
  std::array<long, kChoices> ChosenValue{};
  std::unique_ptr<TSheet05Record> Sheet;
  bool HasSheet = false;
  // Page 2 was confirmed on the current record since it was loaded.
  bool Page2Taken = false;

  TComboBox* TypeCombo;
  TListBox* SheetList;
  TEdit* NameEdit;
  std::array<TComboBox*, kChoices> Choices{};
  std::array<TEdit*, kFields> Texts{};
  std::array<TEdit*, kFields> Decimals{};
  std::array<TEdit*, kFields> Integers{};
  std::array<TCheckBox*, kFlags> Flags{};

  DECLARE_RESPONSE_TABLE(TSetupPage1);
};

class TSetupPage2 : public TLangDlg {
 public:
  static constexpr int kChoices = 4, kFields = 5;

  TSetupPage2(TWindow* parent, long programKey, long typeId, TSheet05Record* sheet);

  void SetupWindow() override;
  void ShowPage();
  void ShowValues();
  void CmEditComboData1() { EditComboData(0); }
  void CmEditComboData2() { EditComboData(1); }
  void CmEditComboData3() { EditComboData(2); }
  void CmEditComboData4() { EditComboData(3); }
  void CmSetupTexts();
  void CmOk() override;

 private:
  void EditComboData(int k);
  void ShowLabels();

  long TypeId;
  TSheet05Record* Sheet;  // page 1's

  std::array<TComboBox*, kChoices> Choices{};
  std::array<TEdit*, kFields> Texts{};
  std::array<TEdit*, kFields> Integers{};
  std::array<TEdit*, kFields> Decimals{};

  DECLARE_RESPONSE_TABLE(TSetupPage2);
};
