// TComboBox: a list of lines with one selected, shown as a drop-down list
// (CBS_DROPDOWNLIST, whose text is always the selected line) or with an
// edit field (CBS_DROPDOWN, CBS_SIMPLE). Lines keep their bytes; sorted
// combos order them without regard to case. CBN_SELCHANGE follows the
// user's selection, not the program's.
#pragma once

#include <string>
#include <vector>

#include "platform/ui/control.h"

class TComboBox : public TControl {
 public:
  // textLimit counts the terminating zero; 0 leaves the edit unlimited.
  TComboBox(TWindow* parent, int id, int x, int y, int w, int h, UINT style, UINT textLimit);
  TComboBox(TWindow* parent, int resourceId, UINT textLimit = 0);

  void SetupWindow() override;

  int AddString(const char* text);
  int InsertString(const char* text, int index);
  int DeleteString(int index);
  void ClearList();
  int GetCount() const;
  int GetSelIndex() const;
  int SetSelIndex(int index);
  std::string GetString(int index) const;
  int GetString(char* buf, int index, int size) const;
  using TWindow::GetText;
  int GetText(char* buf, int size) const { return GetWindowText(buf, size); }
  void SetText(const char* text);
  int FindString(const char* prefix, int startIndex) const;
  int SetSelString(const char* prefix, int startIndex);
  LPARAM GetItemData(int index) const;
  int SetItemData(int index, LPARAM data);
  int GetTextLimit() const;

  void UserSelect(int index);

  // Owner-drawn (CBS_OWNERDRAWFIXED): heights asked of the parent at
  // set-up; painting has the parent draw the selected item in the field.
  bool IsOwnerDrawn() const;
  void Paint(TDC& dc, bool erase, TRect& rect) override;

  bool IsStateMessage(UINT msg) const override;
  LRESULT DefWindowProc(UINT msg, WPARAM wp, LPARAM lp) override;

 protected:
  const char* WindowClass() const override { return "COMBOBOX"; }
  UINT SetFocusCode() const override { return CBN_SETFOCUS; }
  UINT KillFocusCode() const override { return CBN_KILLFOCUS; }

 private:
  struct Item {
    std::string text;
    LPARAM data = 0;
  };
  int FindLine(const char* text, int start) const;
  bool KeepsText() const;
  int FontHeight() const;
  void ShowSelection();  // caller holds the lock

  std::vector<Item> Items;
  int Sel = -1;
  int TextLimit = 0;
  int InitialLimit = 0;
  int FieldHeight = 0;  // owner-drawn: the field's item, and the list's items
  int ItemHeight = 0;
};
