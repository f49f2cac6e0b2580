// One line of KELVA31.CFG. Keys are found as case-sensitive substrings
// anywhere in the line, tested in a fixed order; the first key found decides
// what the line does. Value forms: a number after the first "=", a flag (a
// non-zero number sets a display bit, zero leaves it), a text between the
// first two double quotes, or a path (the first word after "=").
#include <cstring>
#include <string>
#include <string_view>

#include "appcore/display_flags.h"
#include "appcore/fatal.h"
#include "appcore/globals.h"
#include "appcore/text_scan.h"

namespace {

enum class Outcome { Done, NotMine, Fatal };

// Number after the first "="; false when the line has none.
bool NumberAfter(std::string_view line, char sep, int32_t& out) {
  std::size_t p = line.find(sep);
  if (p == std::string_view::npos) return false;
  out = DecimalValue(line.substr(p + 1));
  return true;
}

void SetNumber(std::string_view line, int& target) {
  int32_t v;
  if (NumberAfter(line, '=', v)) target = v;
}

void SetFlag(std::string_view line, int& flags, int bits) {
  int32_t v;
  if (NumberAfter(line, '=', v) && v != 0) flags |= bits;
}

void SetQuoted(std::string_view line, HeapText& target) {
  std::string t;
  if (QuotedText(line, t)) target.Set(t);
}

std::string WithBackslash(std::string dir) {
  if (!dir.empty() && dir.back() != '\\' && dir.back() != '/') dir += '\\';
  return dir;
}

Outcome OfdLine(TGlobals& g, std::string_view line, std::size_t keyPos) {
  int32_t n = DecimalValue(line.substr(keyPos + 5));
  if (n < 1 || n > 5) return Outcome::NotMine;
  int32_t v;
  if (NumberAfter(line, '=', v)) g.OfdColumn[n - 1] = v;
  if (NumberAfter(line, ',', v)) g.OfdWidth[n - 1] = v > 50 ? 50 : v;
  int32_t kind = g.OfdColumn[n - 1];
  if (kind < 1 || kind > 5) {
    FatalError("OFD_" + std::to_string(n) + " in KELVA31.CFG is out of range (1 -> 5)");
    return Outcome::Fatal;
  }
  return Outcome::Done;
}

}  // namespace

int TGlobals::ApplyConfigLine(const char* text) {
  if (!text) return 1;
  std::string_view line(text);
  if (line.empty() || line[0] == ';') return 1;

  struct Key {
    const char* name;
    Outcome (*apply)(TGlobals&, std::string_view, std::size_t);
  };
  static const Key keys[] = {
      {"LANGUAGE", [](TGlobals& g, std::string_view l, std::size_t) { SetNumber(l, g.LanguageNo); return Outcome::Done; }},
      {"ALWAYS_ONTOP", [](TGlobals& g, std::string_view l, std::size_t) { SetFlag(l, g.DisplayFlags, kDisplayOnTop); return Outcome::Done; }},
      {"TOOLBARS", [](TGlobals& g, std::string_view l, std::size_t) { SetFlag(l, g.DisplayFlags, kDisplayToolBar); return Outcome::Done; }},
      {"OFD_F", OfdLine},
      {"READBLOCKSIZE", [](TGlobals& g, std::string_view l, std::size_t) { SetNumber(l, g.ReadBlockSize); return Outcome::Done; }},
      {"DNCBLOCKSIZE", [](TGlobals& g, std::string_view l, std::size_t) { SetNumber(l, g.DncBlockSize); return Outcome::Done; }},
      {"KEEPTEXTSEARCH", [](TGlobals& g, std::string_view l, std::size_t) { SetNumber(l, g.KeepTextSearch); return Outcome::Done; }},
      {"DEFAULTSEARCH", [](TGlobals& g, std::string_view l, std::size_t) { SetNumber(l, g.DefaultSearch); return Outcome::Done; }},
      {"NOTIFYINTERVAL", [](TGlobals& g, std::string_view l, std::size_t) { SetNumber(l, g.NotifyInterval); return Outcome::Done; }},
      {"STATUSBAR", [](TGlobals& g, std::string_view l, std::size_t) { SetFlag(l, g.DisplayFlags, kDisplayStatusBar); return Outcome::Done; }},
      {"MAXIMIZED", [](TGlobals& g, std::string_view l, std::size_t) { SetFlag(l, g.DisplayFlags, kDisplayMaximized); return Outcome::Done; }},
      {"LSV2BLOCKSIZE", [](TGlobals& g, std::string_view l, std::size_t) { SetNumber(l, g.Lsv2BlockSize); return Outcome::Done; }},
      {"LSV2RESPROGNO", [](TGlobals& g, std::string_view l, std::size_t) { SetNumber(l, g.Lsv2ResProgNo); return Outcome::Done; }},
      {"LOGOUTAFTER", [](TGlobals& g, std::string_view l, std::size_t) { SetNumber(l, g.LogoutAfter); return Outcome::Done; }},
      // Menu hints are shown in the status bar, so they switch it on too.
      {"USEHINTS", [](TGlobals& g, std::string_view l, std::size_t) { SetFlag(l, g.DisplayFlags, kDisplayMenuHints | kDisplayStatusBar); return Outcome::Done; }},
      {"AUTOTRAMOX", [](TGlobals& g, std::string_view l, std::size_t) { SetNumber(l, g.AutoTramox); return Outcome::Done; }},
      {"AUTONOTIFYDNC", [](TGlobals& g, std::string_view l, std::size_t) { SetNumber(l, g.AutoNotifyDnc); return Outcome::Done; }},
      {"AUTOIMPORTEDIT", [](TGlobals& g, std::string_view l, std::size_t) { SetNumber(l, g.AutoImportEdit); return Outcome::Done; }},
      {"AUTOIMPORTDNC", [](TGlobals& g, std::string_view l, std::size_t) { SetNumber(l, g.AutoImportDnc); return Outcome::Done; }},
      {"ENABLE_MASSIMPORT", [](TGlobals& g, std::string_view l, std::size_t) { SetNumber(l, g.EnableMassImport); return Outcome::Done; }},
      {"ALWAYSDOLOG", [](TGlobals& g, std::string_view l, std::size_t) { SetNumber(l, g.AlwaysDoLog); return Outcome::Done; }},
      {"CLOSE_CYCLEWINDOW_ON_INSERT", [](TGlobals& g, std::string_view l, std::size_t) { SetNumber(l, g.CloseCycleWindowOnInsert); return Outcome::Done; }},
      {"SYNTAXDEF", [](TGlobals& g, std::string_view l, std::size_t) { SetQuoted(l, g.SyntaxDef); return Outcome::Done; }},
      {"DEFUSER", [](TGlobals& g, std::string_view l, std::size_t) { SetQuoted(l, g.DefUser); return Outcome::Done; }},
      {"DNCSERVERNAME", [](TGlobals& g, std::string_view l, std::size_t) { SetQuoted(l, g.DncServerName); return Outcome::Done; }},
      {"RUNDNCNOTIFICATION", [](TGlobals& g, std::string_view l, std::size_t) { SetNumber(l, g.RunDncNotification); return Outcome::Done; }},
      {"NETLOGON", [](TGlobals& g, std::string_view l, std::size_t) { SetNumber(l, g.NetLogon); return Outcome::Done; }},
      {"CHECKPATH", [](TGlobals& g, std::string_view l, std::size_t) { SetQuoted(l, g.CheckPath); return Outcome::Done; }},
      {"DEFPASSWORD", [](TGlobals& g, std::string_view l, std::size_t) { SetQuoted(l, g.DefPassword); return Outcome::Done; }},
      {"MEMOTEMPLATE", [](TGlobals& g, std::string_view l, std::size_t) { SetQuoted(l, g.MemoTemplate); return Outcome::Done; }},
      {"DEBUGFLAG",
       [](TGlobals& g, std::string_view l, std::size_t) {
         std::string t;
         if (QuotedText(l, t) && t == "QIMPA") g.DebugMode = 1;
         return Outcome::Done;
       }},
      {"TEMPPATH",
       [](TGlobals& g, std::string_view l, std::size_t) {
         // Temporary names are formed by appending to the directory, so it
         // must end in "\"; an empty value keeps the default directory.
         if (l.find('=') == std::string_view::npos) return Outcome::Done;
         std::string p = WordAfterEquals(l);
         if (!p.empty()) g.TempDir = WithBackslash(p);
         return Outcome::Done;
       }},
      {"FILEMASK",
       [](TGlobals& g, std::string_view l, std::size_t) {
         std::size_t eq = l.find('=');
         if (eq == std::string_view::npos) return Outcome::Done;
         std::size_t i = eq + 1;
         while (i < l.size() && (l[i] == ' ' || l[i] == '\t')) ++i;
         g.FileMask.append(l.substr(i));
         return Outcome::Done;
       }},
      {"LOGOBITMAP",
       [](TGlobals& g, std::string_view l, std::size_t) {
         std::string t;
         if (QuotedText(l, t)) g.LogoBitmap.Set(g.CfgDir + t);
         return Outcome::Done;
       }},
  };

  for (const Key& k : keys) {
    std::size_t pos = line.find(k.name);
    if (pos == std::string_view::npos) continue;
    Outcome o = k.apply(*this, line, pos);
    if (o == Outcome::NotMine) continue;
    return o == Outcome::Fatal ? 0 : 1;
  }
  return 1;
}
