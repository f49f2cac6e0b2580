// The combo box that keeps the id of its selected line.
#include "app/users_lines.h"

namespace {
constexpr size_t kNameMax = 111;
}  // namespace

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
      while (!SelectedName.empty() && SelectedName.back() == ' ') SelectedName.pop_back();
      if (SelectedName.size() > kNameMax) SelectedName.resize(kNameMax);
    }
  }
  if (IdVar) *IdVar = SelectedId;
  return result;
}

int TNameIdComboBox::SelectId(long id) {
  int index = GetSelIndex();
  for (int i = 0; i < GetCount(); i++) {
    std::string line = GetString(i);
    if (line.find("@@") != std::string::npos && ListLineId(line.c_str()) == id) {
      index = i;
      break;
    }
  }
  SetSelIndex(index);
  return GetSelIndex();
}
