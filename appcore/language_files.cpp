// Loading the six language files and SYNTAX.CFG from the configuration
// directory.
//
// SYNTAX.CFG: "[SECTION]" titles and "KEY=value more" lines; each line with
// "=" gives one value, its first word after the "=" (blanks and tabs
// skipped). Titles and key names are not kept, only the values in order.
#include <string>

#include "appcore/globals.h"
#include "appcore/language.h"
#include "appcore/myfile.h"
#include "appcore/text_scan.h"

namespace {

int LoadLanguageFile(const std::string& cfgDir, const char* base, int selector, TextTable& table,
                     int languageNo, LanguageEscape esc) {
  std::string path = cfgDir + base + (selector ? ".USR" : ".CFG");
  TMyFile f(path.c_str());
  if (!f.Open(1)) return 0;
  LanguageBlockReader reader(table, languageNo, esc);
  while (auto line = f.ReadLine(0)) {
    if (!reader.Feed(line.get())) break;
  }
  f.Close();
  return 1;
}

// The value of one SYNTAX.CFG line; false for lines that give none.
bool SyntaxValue(const char* line, std::string& value) {
  if (!line[0] || line[0] == '[') return false;
  std::string_view l(line);
  if (l.find('=') == std::string_view::npos) return false;
  value = WordAfterEquals(l);
  return true;
}

}  // namespace

int TGlobals::LoadMessages(int languageNo, int selector) {
  return LoadLanguageFile(CfgDir, "MESSAGES", selector, MessageTexts, languageNo, LanguageEscape::CrLf);
}
int TGlobals::LoadDialogTexts(int languageNo, int selector) {
  return LoadLanguageFile(CfgDir, "DIALOGS", selector, DialogTexts, languageNo, LanguageEscape::None);
}
int TGlobals::LoadLogTexts(int languageNo, int selector) {
  return LoadLanguageFile(CfgDir, "LOGSTRS", selector, LogTexts, languageNo, LanguageEscape::None);
}
int TGlobals::LoadPrintTexts(int languageNo, int selector) {
  return LoadLanguageFile(CfgDir, "PRINTS", selector, PrintTexts, languageNo, LanguageEscape::None);
}
int TGlobals::LoadMenuHints(int languageNo, int selector) {
  return LoadLanguageFile(CfgDir, "MENUHINT", selector, *MenuHints, languageNo, LanguageEscape::None);
}
int TGlobals::LoadMenuTexts(int languageNo, int selector) {
  return LoadLanguageFile(CfgDir, "MENUES", selector, *MenuTexts, languageNo, LanguageEscape::Tab);
}

void TGlobals::LoadAllLanguageFiles() {
  for (int selector = 0; selector <= 1; ++selector) {
    LoadMessages(LanguageNo, selector);
    LoadDialogTexts(LanguageNo, selector);
    LoadLogTexts(LanguageNo, selector);
    LoadPrintTexts(LanguageNo, selector);
    LoadMenuHints(LanguageNo, selector);
    LoadMenuTexts(LanguageNo, selector);
  }
}

int ReadSyntaxSections(const std::string& cfgDir) {
  TMyFile f((cfgDir + "SYNTAX.CFG").c_str());
  if (!f.Open(1)) return 0;
  int count = 0;
  std::string v;
  while (auto line = f.ReadLine(0)) {
    if (SyntaxValue(line.get(), v)) ++count;
  }
  f.Close();
  return count;
}

void TGlobals::LoadSyntax() {
  SyntaxValues.clear();
  SyntaxValueCount = 0;
  TMyFile f((CfgDir + "SYNTAX.CFG").c_str());
  if (!f.Open(1)) return;
  std::string v;
  while (auto line = f.ReadLine(0)) {
    if (SyntaxValue(line.get(), v)) SyntaxValues.push_back(v);
  }
  f.Close();
  SyntaxValueCount = static_cast<int>(SyntaxValues.size());
}
