// Texts of the main window and the start-up that come from the language
// tables, with the English text the program shows when a table lacks one.
#pragma once

#include <string>

#include "appcore/message_ids.h"
#include "appcore/text_table.h"

// The file loader's seven DIALOGS texts, 1990-1996.
constexpr int kLoaderDialogTexts = 1990;

// The table's text of the id, or fallback when it has none.
inline std::string LanguageText(const TextTable& table, int id, const char* fallback) {
  return table.Has(id) ? std::string(table.Get(id)) : std::string(fallback);
}

// Replaces the first "%s" of format by text; any other "%" stays as it is,
// so a translated text can never make the formatting read past its values.
inline std::string FormatWithText(const std::string& format, const std::string& text) {
  std::string out = format;
  auto pos = out.find("%s");
  if (pos != std::string::npos) out.replace(pos, 2, text);
  return out;
}
