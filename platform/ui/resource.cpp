// Reader of the dialog template files; the format is described in resource.h.
#include "platform/ui/resource.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <unordered_map>

#include "platform/ui/app_state.h"
#include "platform/ui/winstyle.h"

namespace plat {
namespace {

struct Kind {
  const char* className;
  UINT style;
};

const std::unordered_map<std::string, Kind>& kinds() {
  static const std::unordered_map<std::string, Kind> k = {
      {"ltext", {"STATIC", SS_LEFT | WS_GROUP}},
      {"ctext", {"STATIC", SS_CENTER | WS_GROUP}},
      {"rtext", {"STATIC", SS_RIGHT | WS_GROUP}},
      {"icon", {"STATIC", SS_ICON}},
      {"bitmap", {"STATIC", SS_BITMAP}},
      {"groupbox", {"BUTTON", BS_GROUPBOX}},
      {"edit", {"EDIT", ES_LEFT | WS_BORDER | WS_TABSTOP}},
      {"pushbutton", {"BUTTON", BS_PUSHBUTTON | WS_TABSTOP}},
      {"defpushbutton", {"BUTTON", BS_DEFPUSHBUTTON | WS_TABSTOP}},
      {"checkbox", {"BUTTON", BS_AUTOCHECKBOX | WS_TABSTOP}},
      {"radiobutton", {"BUTTON", BS_AUTORADIOBUTTON}},
      {"listbox", {"LISTBOX", LBS_NOTIFY | WS_BORDER | WS_TABSTOP}},
      {"combobox", {"COMBOBOX", WS_TABSTOP}},
      {"progress", {"msctls_progress32", 0}},
  };
  return k;
}

const std::unordered_map<std::string, UINT>& names() {
#define N(x) {#x, (UINT)(x)}
  static const std::unordered_map<std::string, UINT> n = {
      N(WS_OVERLAPPED), N(WS_POPUP), N(WS_CHILD), N(WS_VISIBLE), N(WS_DISABLED), N(WS_CLIPSIBLINGS),
      N(WS_CLIPCHILDREN), N(WS_CAPTION), N(WS_BORDER), N(WS_DLGFRAME), N(WS_VSCROLL), N(WS_HSCROLL),
      N(WS_SYSMENU), N(WS_THICKFRAME), N(WS_GROUP), N(WS_TABSTOP), N(WS_OVERLAPPEDWINDOW),
      N(WS_EX_TOPMOST), N(WS_EX_CLIENTEDGE), N(WS_EX_APPWINDOW), N(DS_MODALFRAME), N(DS_CENTER),
      N(ES_LEFT), N(ES_CENTER), N(ES_RIGHT), N(ES_MULTILINE), N(ES_UPPERCASE), N(ES_LOWERCASE),
      N(ES_PASSWORD), N(ES_AUTOVSCROLL), N(ES_AUTOHSCROLL), N(ES_NOHIDESEL), N(ES_READONLY),
      N(ES_WANTRETURN), N(ES_NUMBER), N(BS_PUSHBUTTON), N(BS_DEFPUSHBUTTON), N(BS_CHECKBOX),
      N(BS_AUTOCHECKBOX), N(BS_RADIOBUTTON), N(BS_3STATE), N(BS_AUTO3STATE), N(BS_GROUPBOX),
      N(BS_AUTORADIOBUTTON), N(BS_PUSHLIKE), N(SS_LEFT), N(SS_CENTER), N(SS_RIGHT), N(SS_ICON),
      N(SS_BITMAP), N(LBS_NOTIFY), N(LBS_SORT), N(LBS_OWNERDRAWFIXED), N(LBS_OWNERDRAWVARIABLE),
      N(LBS_HASSTRINGS), N(LBS_NOINTEGRALHEIGHT), N(LBS_EXTENDEDSEL), N(LBS_DISABLENOSCROLL), N(LBS_STANDARD),
      N(CBS_SIMPLE), N(CBS_DROPDOWN), N(CBS_DROPDOWNLIST), N(CBS_AUTOHSCROLL), N(CBS_SORT),
      N(CBS_OWNERDRAWFIXED), N(CBS_OWNERDRAWVARIABLE),
      N(CBS_HASSTRINGS),
  };
#undef N
  return n;
}


bool is_text(const std::string& tok) { return !tok.empty() && tok[0] == '"'; }

// A number that must fit where it goes: a value cut to fit would name
// another id or place without a word.
bool number_in(const std::string& tok, long lo, long hi, long& v) { return resource_number(tok, v) && v >= lo && v <= hi; }
constexpr long kIdMin = INT32_MIN, kIdMax = INT32_MAX;

// A control's id: a number, or the name of a standard button id.
bool control_id(const std::string& tok, long& v) {
  static const std::unordered_map<std::string, long> standard = {
      {"IDOK", IDOK},   {"IDCANCEL", IDCANCEL}, {"IDABORT", IDABORT}, {"IDRETRY", IDRETRY},
      {"IDIGNORE", IDIGNORE}, {"IDYES", IDYES}, {"IDNO", IDNO},
  };
  auto it = standard.find(tok);
  if (it != standard.end()) {
    v = it->second;
    return true;
  }
  return number_in(tok, kIdMin, kIdMax, v);
}

// The name code gives an id (IDC_PROGRAM_LIST): a C identifier.
bool is_name(const std::string& tok) {
  if (tok.empty() || std::isdigit(static_cast<unsigned char>(tok[0]))) return false;
  return std::all_of(tok.begin(), tok.end(),
                     [](char ch) { return std::isalnum(static_cast<unsigned char>(ch)) || ch == '_'; });
}

// Takes the optional name after an id out of the tokens.
void take_name(std::vector<std::string>& t, size_t at, std::string& name) {
  if (at >= t.size() || !is_name(t[at])) return;
  name = t[at];
  t.erase(t.begin() + static_cast<long>(at));
}

// A name stands for one id in a whole file: the header written from the
// file gives it that one value.
bool name_once(std::map<std::string, long>& names, const std::string& name, long id, std::string& err) {
  if (name.empty()) return true;
  auto [it, fresh] = names.emplace(name, id);
  if (fresh || it->second == id) return true;
  err = "name " + name + " stands for " + std::to_string(it->second) + " already, not " + std::to_string(id);
  return false;
}

// style := term ('|' term)*, term := NAME | number | not NAME
bool parse_style(const std::vector<std::string>& t, size_t i, UINT base, UINT& out, std::string& err) {
  out = base;
  bool expectTerm = true;
  while (i < t.size()) {
    if (!expectTerm) {
      if (t[i] != "|") {
        err = "expected '|' before " + t[i];
        return false;
      }
      ++i;
      expectTerm = true;
      continue;
    }
    bool negate = false;
    if (t[i] == "not") {
      negate = true;
      if (++i >= t.size()) break;
    }
    long v;
    UINT bits;
    if (resource_number(t[i], v)) {
      if (v < INT32_MIN || v > long{UINT32_MAX}) {
        err = "style " + t[i] + " does not fit in 32 bits";
        return false;
      }
      bits = static_cast<UINT>(v);
    } else if (auto n = style_value(t[i])) bits = *n;
    else {
      err = "unknown style " + t[i];
      return false;
    }
    if (negate) out &= ~bits;
    else out |= bits;
    ++i;
    expectTerm = false;
  }
  if (expectTerm && i > 0 && t[i - 1] == "|") {
    err = "style ends with '|'";
    return false;
  }
  return true;
}

// A dialog font beyond this is no dialog font; it would also make the
// dialog unit's pixels overflow.
constexpr long kMaxFontPoints = 999;

// Dialog units are 16-bit in a template: a position may be negative, a
// size may not. Anything beyond would overflow the pixels it becomes.
constexpr long kMinDialogUnit = -32768;
constexpr long kMaxDialogUnit = 32767;

bool four_numbers(const std::vector<std::string>& t, size_t at, int* v, std::string& err) {
  static const char* const what[] = {"x", "y", "width", "height"};
  for (int k = 0; k < 4; ++k) {
    long n;
    if (at + k >= t.size() || !resource_number(t[at + k], n)) {
      err = "expected x, y, width and height";
      return false;
    }
    long low = k < 2 ? kMinDialogUnit : 0;
    if (n < low || n > kMaxDialogUnit) {
      err = std::string(what[k]) + " " + t[at + k] + " is out of range (" + std::to_string(low) + " to " +
            std::to_string(kMaxDialogUnit) + " dialog units)";
      return false;
    }
    v[k] = static_cast<int>(n);
  }
  return true;
}

struct Store {
  std::mutex mu;
  std::string dir;
  bool loaded = false;
  std::map<int, DialogTemplate> dialogs;
};

Store& store() {
  static Store s;
  return s;
}

// Caller holds the store's lock.
bool add_locked(Store& s, const std::string& text, const std::string& sourceName, std::string* error) {
  ParseResult r = parse_dialog_templates(text, sourceName);
  if (!r.error.empty()) {
    if (error) *error = r.error;
    return false;
  }
  for (DialogTemplate& d : r.dialogs) {
    if (s.dialogs.count(d.id)) {
      if (error) *error = d.source + ": dialog " + std::to_string(d.id) + " is defined twice";
      return false;
    }
  }
  for (DialogTemplate& d : r.dialogs) s.dialogs.emplace(d.id, std::move(d));
  return true;
}

void load_dir_locked(Store& s) {
  s.loaded = true;
  read_resource_files(s.dir, ".dlg", [&](const std::string& text, const std::string& name, std::string* error) {
    return add_locked(s, text, name, error);
  });
}

}  // namespace

bool resource_number(const std::string& tok, long& v) {
  if (tok.empty() || is_text(tok)) return false;
  char* end = nullptr;
  errno = 0;
  v = std::strtol(tok.c_str(), &end, 0);
  return *end == 0 && errno == 0;
}

void read_resource_files(const std::string& dir, const char* extension, const ResourceFileAdder& add) {
  std::string from = dir;
  if (from.empty())
    if (const char* env = std::getenv("KV_RESOURCE_DIR")) from = env;
  if (from.empty()) return;
  // A directory that cannot be walked further ends the walk, never the program.
  std::error_code ec;
  std::vector<std::filesystem::path> files;
  for (auto it = std::filesystem::recursive_directory_iterator(from, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
    if (it->is_regular_file() && it->path().extension() == extension) files.push_back(it->path());
  std::sort(files.begin(), files.end());
  for (const auto& f : files) {
    std::ifstream in(f, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    std::string err;
    if (!add(ss.str(), f.string(), &err)) report_ui_error(err);
  }
}

// Splits one line into tokens; quoted strings keep their quotes as a
// marker and have their escapes resolved.
bool tokenize_resource_line(const std::string& line, std::vector<std::string>& out, std::string& err) {
  size_t i = 0;
  while (i < line.size()) {
    char c = line[i];
    if (c == '#') break;
    if (c == ' ' || c == '\t' || c == '\r') {
      ++i;
      continue;
    }
    if (c == '|') {
      out.push_back("|");
      ++i;
      continue;
    }
    if (c == '"') {
      std::string s = "\"";
      ++i;
      bool closed = false;
      while (i < line.size()) {
        char d = line[i++];
        if (d == '"') {
          closed = true;
          break;
        }
        if (d != '\\') {
          s += d;
          continue;
        }
        if (i >= line.size()) break;
        char e = line[i++];
        if (e == 'x') {
          size_t n = 0;
          int v = 0;
          while (n < 2 && i < line.size() && std::isxdigit(static_cast<unsigned char>(line[i]))) {
            v = v * 16 + std::stoi(std::string(1, line[i]), nullptr, 16);
            ++i;
            ++n;
          }
          if (n == 0) {
            err = "\\x without hex digits";
            return false;
          }
          s += static_cast<char>(v);
        } else if (e == 't') {
          s += '\t';
        } else if (e == 'n') {
          s += '\n';
        } else if (e == 'r') {
          s += '\r';
        } else if (e == '"' || e == '\\') {
          s += e;
        } else {
          err = std::string("unknown escape \\") + e;
          return false;
        }
      }
      if (!closed) {
        err = "text without closing quote";
        return false;
      }
      out.push_back(s);
      continue;
    }
    size_t j = i;
    while (j < line.size() && line[j] != ' ' && line[j] != '\t' && line[j] != '|' && line[j] != '"' &&
           line[j] != '#' && line[j] != '\r')
      ++j;
    out.push_back(line.substr(i, j - i));
    i = j;
  }
  return true;
}

std::optional<UINT> style_value(const std::string& name) {
  auto it = names().find(name);
  if (it == names().end()) return std::nullopt;
  return it->second;
}

const ControlTemplate* DialogTemplate::control(int cid) const {
  for (const ControlTemplate& c : controls)
    if (c.id == cid) return &c;
  return nullptr;
}

TRect DialogTemplate::to_pixels(int px, int py, int pcx, int pcy) const {
  // Average character size of the dialog font: 6 x 13 pixels at 8 points.
  // A template the parser did not check (built by code) is clamped to the
  // parser's ranges, so the arithmetic cannot overflow.
  long long points = std::clamp<long long>(fontSize, 1, kMaxFontPoints);
  auto unit = [](int v) { return std::clamp<long long>(v, kMinDialogUnit, kMaxDialogUnit); };
  long long baseX = std::max(1LL, (points * 6 + 4) / 8);
  long long baseY = std::max(1LL, (points * 13 + 4) / 8);
  long long l = unit(px) * baseX / 4, t = unit(py) * baseY / 8;
  long long w = std::max(0LL, unit(pcx)) * baseX / 4, h = std::max(0LL, unit(pcy)) * baseY / 8;
  return TRect(static_cast<int>(l), static_cast<int>(t), static_cast<int>(l + w), static_cast<int>(t + h));
}

ParseResult parse_dialog_templates(const std::string& text, const std::string& sourceName) {
  ParseResult r;
  std::istringstream in(text);
  std::string line;
  int lineNo = 0;
  DialogTemplate* open = nullptr;
  std::map<std::string, long> names;  // name -> id, for the whole file
  auto fail = [&](const std::string& what) {
    r.error = sourceName + ":" + std::to_string(lineNo) + ": " + what;
    r.dialogs.clear();
    return r;
  };
  while (std::getline(in, line)) {
    ++lineNo;
    std::vector<std::string> t;
    std::string err;
    if (!tokenize_resource_line(line, t, err)) return fail(err);
    if (t.empty()) continue;
    const std::string& kw = t[0];
    long id = 0;
    if (kw == "dialog") {
      if (open) return fail("dialog inside a dialog (missing end)");
      std::string name;
      take_name(t, 2, name);
      if (t.size() < 7 || !resource_number(t[1], id) || !is_text(t[2]))
        return fail("expected: dialog <id> [<name>] \"<caption>\" x y cx cy");
      if (id < INT_MIN || id > INT_MAX) return fail("dialog id " + t[1] + " is out of range");
      if (!name_once(names, name, id, err)) return fail(err);
      DialogTemplate d;
      d.id = static_cast<int>(id);
      d.name = name;
      d.caption = t[2].substr(1);
      int g[4];
      if (!four_numbers(t, 3, g, err)) return fail(err);
      d.x = g[0], d.y = g[1], d.cx = g[2], d.cy = g[3];
      d.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
      d.source = sourceName + ":" + std::to_string(lineNo);
      r.dialogs.push_back(std::move(d));
      open = &r.dialogs.back();
      continue;
    }
    if (!open) return fail("'" + kw + "' outside a dialog");
    if (kw == "end") {
      open = nullptr;
      continue;
    }
    if (kw == "style" || kw == "exstyle") {
      UINT v;
      if (!parse_style(t, 1, 0, v, err)) return fail(err);
      (kw == "style" ? open->style : open->exStyle) = v;
      continue;
    }
    if (kw == "font") {
      long size;
      if (t.size() != 3 || !is_text(t[1]) || !resource_number(t[2], size) || size <= 0) return fail("expected: font \"<face>\" <points>");
      if (size > kMaxFontPoints)
        return fail("font size " + t[2] + " is out of range (1 to " + std::to_string(kMaxFontPoints) + " points)");
      open->font = t[1].substr(1);
      open->fontSize = static_cast<int>(size);
      continue;
    }
    ControlTemplate c;
    size_t at;
    auto k = kinds().find(kw);
    if (kw != "control" && k == kinds().end()) return fail("unknown statement '" + kw + "'");
    take_name(t, 2, c.name);
    if (kw == "control") {
      if (t.size() < 8 || !control_id(t[1], id) || !is_text(t[2]) || !is_text(t[3]))
        return fail("expected: control <id> [<name>] \"<text>\" \"<class>\" x y cx cy [style]");
      c.className = t[3].substr(1);
      at = 4;
    } else {
      if (t.size() < 7 || !control_id(t[1], id) || !is_text(t[2]))
        return fail("expected: " + kw + " <id> [<name>] \"<text>\" x y cx cy [style]");
      c.className = k->second.className;
      c.style = k->second.style;
      at = 3;
    }
    if (id < INT_MIN || id > INT_MAX) return fail("control id " + t[1] + " is out of range");
    c.kind = kw;
    c.id = static_cast<int>(id);
    c.text = t[2].substr(1);
    int g[4];
    if (!four_numbers(t, at, g, err)) return fail(err);
    c.x = g[0], c.y = g[1], c.cx = g[2], c.cy = g[3];
    UINT style;
    if (!parse_style(t, at + 4, c.style | WS_CHILD | WS_VISIBLE, style, err)) return fail(err);
    c.style = style;
    if (c.id != -1 && open->control(c.id)) return fail("control id " + std::to_string(c.id) + " used twice");
    if (c.id == -1 && !c.name.empty()) return fail("id -1 is for texts nobody addresses; " + c.name + " needs an id");
    if (!name_once(names, c.name, c.id, err)) return fail(err);
    open->controls.push_back(std::move(c));
  }
  if (open) return fail("dialog " + std::to_string(open->id) + " has no end");
  return r;
}

void set_resource_dir(const std::string& dir) {
  Store& s = store();
  std::lock_guard lock(s.mu);
  s.dir = dir;
  s.loaded = false;
  s.dialogs.clear();
}

std::string resource_dir() {
  Store& s = store();
  std::lock_guard lock(s.mu);
  return s.dir;
}

bool add_dialog_templates(const std::string& text, const std::string& sourceName, std::string* error) {
  Store& s = store();
  std::lock_guard lock(s.mu);
  if (!s.loaded) load_dir_locked(s);
  return add_locked(s, text, sourceName, error);
}

const DialogTemplate* find_dialog_template(int id) {
  Store& s = store();
  const DialogTemplate* found = nullptr;
  {
    std::lock_guard lock(s.mu);
    if (!s.loaded) load_dir_locked(s);
    auto it = s.dialogs.find(id);
    if (it != s.dialogs.end()) found = &it->second;
  }
  if (!found) report_ui_error("dialog template " + std::to_string(id) + " is missing");
  return found;
}

void clear_resources() {
  Store& s = store();
  std::lock_guard lock(s.mu);
  s.dialogs.clear();
  s.loaded = false;
}

}  // namespace plat
