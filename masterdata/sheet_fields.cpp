#include "masterdata/sheet_fields.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "app/users_lines.h"
#include "appcore/globals.h"
#include "appcore/log_text.h"
#include "dbmodel/setup_sheet.h"
#include "platform/msgbox.h"

namespace {

// SS000005's widths: L1..L10 N10, DBL1..DBL10 N12 with 3 decimals.
constexpr int kIntegerWidth = 10, kDecimalWidth = 12, kDecimalPlaces = 3;

void TooLarge(TEdit& edit) {
  const std::string text = FormatLogValues(Globals->GetMessageText(kMsgSheetNumberTooLarge), {edit.GetText()});
  TWindow* owner = edit.GetParentO();
  ::MessageBox(owner ? owner->GetHandle() : nullptr, text.c_str(), Globals->CaptionText.c_str(),
               MB_OK | MB_ICONINFORMATION);
  edit.SetFocus();
}

// How many characters the number takes written into its field.
int WrittenWidth(double value, int places) { return std::snprintf(nullptr, 0, "%.*f", places, value); }

}  // namespace

bool ReadSheetInteger(TEdit& edit, long& value) {
  const std::string text = edit.GetText();
  errno = 0;
  const long long v = std::strtoll(text.c_str(), nullptr, 10);
  if (errno == ERANGE || v < INT32_MIN || v > INT32_MAX || WrittenWidth(static_cast<double>(v), 0) > kIntegerWidth) {
    TooLarge(edit);
    return false;
  }
  value = static_cast<long>(v);
  return true;
}

bool ReadSheetDecimal(TEdit& edit, double& value) {
  const std::string text = edit.GetText();
  const double v = std::strtod(text.c_str(), nullptr);
  if (WrittenWidth(v, kDecimalPlaces) > kDecimalWidth) {
    TooLarge(edit);
    return false;
  }
  value = v;
  return true;
}

void FillChoiceCombo(TComboBox& combo, long typeId, int field) {
  TSheet02Table values("SS000002.DBF", 0, 0);
  TControlLines<TComboBox> lines(combo);
  values.FillListByIds(&lines, typeId, field);
  if (combo.GetCount() > 0) combo.SetSelIndex(0);
}

std::string SheetLineName(const std::string& line) {
  std::string name = line.substr(0, line.find(",\xA7\xA7"));
  name.erase(name.find_last_not_of(' ') + 1);
  return name;
}
