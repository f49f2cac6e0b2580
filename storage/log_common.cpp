// Shared helpers of the log dialogs.
#include "storage/log_common.h"

#include <cstdio>

#include "appcore/globals.h"
#include "dbmodel/list_lines.h"

namespace {
TCompareRunner compareRunner = nullptr;
}

int LogMessage(int messageId, UINT flags) {
  std::string text = Globals->GetMessageText(messageId);
  return ::MessageBox(::GetFocus(), text.c_str(), Globals->CaptionText.c_str(), flags);
}

int LogMessageWith(int messageId, UINT flags, const std::string& value) {
  std::string format = Globals->GetMessageText(messageId);
  // The texts come from a language file that users edit: only one %s is
  // filled, any other % is shown as it stands.
  std::string text;
  bool filled = false;
  for (size_t i = 0; i < format.size(); i++) {
    if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 's' && !filled) {
      text += value;
      filled = true;
      i++;
    } else {
      text += format[i];
    }
  }
  return ::MessageBox(::GetFocus(), text.c_str(), Globals->CaptionText.c_str(), flags);
}



std::string SelectedLineText(const TComboBox& combo, size_t max) {
  int i = combo.GetSelIndex();
  if (i < 0) return {};
  std::string line = combo.GetString(i);
  if (line.size() > max) line.resize(max);
  return line;
}

void SetCompareRunner(TCompareRunner runner) { compareRunner = runner; }
TCompareRunner GetCompareRunner() { return compareRunner; }
