// The combo box that keeps the id of its selected line.
#include "app/users_lines.h"

int TNameIdComboBox::SetSelIndex(int index) {
  int result = TComboBox::SetSelIndex(index);
  SelectedId = 0;
  SelectedName.clear();
  int sel = GetSelIndex();
  if (sel >= 0) {
    std::string line = GetString(sel);
    size_t at = line.find("@@");
    if (at != std::string::npos) {
      SelectedId = ListLineId(line.c_str());
      SelectedName = line.substr(0, at);
    }
  }
  if (IdVar) *IdVar = SelectedId;
  return result;
}
