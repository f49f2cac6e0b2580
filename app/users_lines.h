// List and combo boxes as the table classes fill them, and the combo box
// that keeps the id of its selected line.
#pragma once

#include <string>

#include "dbmodel/list_lines.h"
#include "platform/ui/combobox.h"
#include "platform/ui/listbox.h"

template <class Control>
class TControlLines : public TListLines {
 public:
  explicit TControlLines(Control& control) : c_(control) {}
  void ClearLines() override { c_.ClearList(); }
  void AddLine(const char* text) override { c_.AddString(text); }
  // Lines are sorted by the control, so "the first line" is index 0.
  void SelectLine(int index) override { c_.SetSelIndex(index); }

 private:
  Control& c_;
};

// The id after "@@" of the selected line of a list or combo box; 0 when
// nothing is selected or the line holds no "@@".
template <class Control>
long SelectedLineId(const Control& c) {
  int i = c.GetSelIndex();
  if (i < 0) return 0;
  return ListLineId(c.GetString(i).c_str());
}

// Selecting a line by index keeps the id after its "@@" and the text in
// front of it (trailing blanks off, at most 111 characters), and copies the id into the caller's variable when given.
class TNameIdComboBox : public TComboBox {
 public:
  TNameIdComboBox(TWindow* parent, int resourceId, UINT textLimit = 0, long* idVar = nullptr)
      : TComboBox(parent, resourceId, textLimit), IdVar(idVar) {}

  int SetSelIndex(int index);
  // Selects the first line whose number after "@@" is exactly id (12 is
  // not 123) through SetSelIndex; an id in no line leaves the selection,
  // whose id and name are read again. The selected index.
  int SelectId(long id);
  long GetSelectedId() const { return SelectedId; }
  const std::string& GetSelectedName() const { return SelectedName; }

 private:
  long SelectedId = 0;
  std::string SelectedName;
  long* IdVar = nullptr;
};
