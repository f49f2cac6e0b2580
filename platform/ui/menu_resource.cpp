// Reader of the menu and accelerator files; the format is in menu_resource.h.
#include "platform/ui/menu_resource.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

#include "platform/ui/accel.h"
#include "platform/ui/app_state.h"
#include "platform/ui/menu.h"
#include "platform/ui/resource.h"

namespace plat {
namespace {

// Popups within popups, at most. Menus are built and freed by recursion,
// so a damaged file nesting without end must be refused here rather than
// run the stack out; no usable menu comes near it.
constexpr size_t kMaxPopupDepth = 32;

// Menu and accelerator ids and command ids are 16-bit.
bool number(const std::string& t, long& v) { return resource_number(t, v) && v >= 0 && v <= 0xFFFF; }

bool is_name(const std::string& t) {
  if (t.empty() || !(std::isalpha(static_cast<unsigned char>(t[0])) || t[0] == '_')) return false;
  return std::all_of(t.begin(), t.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; });
}

// Removes the optional name at position `at` of a statement.
std::string take_name(std::vector<std::string>& t, size_t at) {
  if (at >= t.size() || !is_name(t[at])) return {};
  std::string name = t[at];
  t.erase(t.begin() + static_cast<long>(at));
  return name;
}

// The names of one file: each stands for one number of one kind, and a
// command has one name. False with the reason otherwise.
class FileNames {
 public:
  bool add(MenuResourceName::Kind kind, const std::string& name, long id, const std::string& source,
           std::vector<MenuResourceName>& out, std::string& err) {
    if (name.empty()) return true;
    auto [it, fresh] = byName_.emplace(name, std::make_pair(kind, id));
    if (!fresh && (it->second.first != kind || it->second.second != id)) {
      err = "name " + name + " stands for " + std::to_string(it->second.second) + " already, not " + std::to_string(id);
      return false;
    }
    if (kind == MenuResourceName::Command) {
      auto [c, first] = commandName_.emplace(id, name);
      if (!first && c->second != name) {
        err = "command " + std::to_string(id) + " is named " + c->second + " already, not " + name;
        return false;
      }
    }
    if (fresh) out.push_back({kind, name, static_cast<int>(id), source});
    return true;
  }
  bool command(const std::string& name, long& id) const {
    auto it = byName_.find(name);
    if (it == byName_.end() || it->second.first != MenuResourceName::Command) return false;
    id = it->second.second;
    return true;
  }

 private:
  std::map<std::string, std::pair<MenuResourceName::Kind, long>> byName_;
  std::map<long, std::string> commandName_;
};

struct Store {
  std::mutex mu;
  std::string dir;
  bool loaded = false;
  std::map<int, MenuTemplate> menus;
  std::map<int, AccelTemplate> accels;
};

Store& store() {
  static Store s;
  return s;
}

bool add_locked(Store& s, const std::string& text, const std::string& name, std::string* error) {
  MenuParseResult r = parse_menu_resources(text, name);
  auto fail = [&](const std::string& e) {
    if (error) *error = e;
    return false;
  };
  if (!r.error.empty()) return fail(r.error);
  for (auto& m : r.menus)
    if (s.menus.count(m.id)) return fail(m.source + ": menu " + std::to_string(m.id) + " is defined twice");
  for (auto& a : r.accels)
    if (s.accels.count(a.id)) return fail(a.source + ": accelerators " + std::to_string(a.id) + " are defined twice");
  for (auto& m : r.menus) s.menus.emplace(m.id, std::move(m));
  for (auto& a : r.accels) s.accels.emplace(a.id, std::move(a));
  return true;
}

// Follows the dialog templates' directory; re-read when it changes.
void load_locked(Store& s) {
  std::string dir = resource_dir();
  if (dir.empty())
    if (const char* env = std::getenv("KV_RESOURCE_DIR")) dir = env;
  if (s.loaded && dir == s.dir) return;
  s.loaded = true;
  s.dir = dir;
  s.menus.clear();
  s.accels.clear();
  read_resource_files(dir, ".mnu", [&](const std::string& text, const std::string& name, std::string* error) {
    return add_locked(s, text, name, error);
  });
}

}  // namespace

bool parse_key(const std::string& text, BYTE& virt, WORD& key) {
  static const std::map<std::string, WORD> named = {
      {"INS", VK_INSERT}, {"DEL", VK_DELETE}, {"HOME", VK_HOME},   {"END", VK_END},     {"PGUP", VK_PRIOR},
      {"PGDN", VK_NEXT},  {"LEFT", VK_LEFT},  {"RIGHT", VK_RIGHT}, {"UP", VK_UP},       {"DOWN", VK_DOWN},
      {"ESC", VK_ESCAPE}, {"ENTER", VK_RETURN}, {"TAB", VK_TAB},   {"BACK", VK_BACK},   {"SPACE", VK_SPACE}};
  virt = FVIRTKEY;
  std::string rest = text;
  while (true) {
    size_t plus = rest.find('+');
    if (plus == std::string::npos || plus == 0) break;
    std::string mod = rest.substr(0, plus);
    for (char& c : mod) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (mod == "CTRL") virt |= FCONTROL;
    else if (mod == "SHIFT") virt |= FSHIFT;
    else if (mod == "ALT") virt |= FALT;
    else return false;
    rest = rest.substr(plus + 1);
  }
  for (char& c : rest) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (rest.size() == 1 && std::isalnum(static_cast<unsigned char>(rest[0]))) {
    key = static_cast<WORD>(rest[0]);
    return true;
  }
  if (rest.size() >= 2 && rest[0] == 'F' && std::isdigit(static_cast<unsigned char>(rest[1]))) {
    int n = std::atoi(rest.c_str() + 1);
    if (n < 1 || n > 24 || rest.find_first_not_of("0123456789", 1) != std::string::npos) return false;
    key = static_cast<WORD>(VK_F1 + n - 1);
    return true;
  }
  auto it = named.find(rest);
  if (it == named.end()) return false;
  key = it->second;
  return true;
}

MenuParseResult parse_menu_resources(const std::string& text, const std::string& sourceName) {
  MenuParseResult r;
  std::istringstream in(text);
  std::string line;
  int lineNo = 0;
  // Open menus: the template's item list, then each popup's.
  std::vector<std::vector<MenuTemplate::Item>*> open;
  AccelTemplate* accel = nullptr;
  bool commands = false;
  std::string commandsSource;  // where an open commands block starts
  FileNames names;
  // Keys naming their command, resolved once every name of the file is known.
  struct NamedKey {
    size_t accel, entry;
    std::string name;
    int line;
  };
  std::vector<NamedKey> namedKeys;
  auto fail = [&](const std::string& what) {
    r.error = sourceName + ":" + std::to_string(lineNo) + ": " + what;
    r.menus.clear();
    r.accels.clear();
    r.names.clear();
    return r;
  };
  while (std::getline(in, line)) {
    ++lineNo;
    std::vector<std::string> t;
    std::string err;
    if (!tokenize_resource_line(line, t, err)) return fail(err);
    if (t.empty()) continue;
    const std::string kw = t[0];
    long id;
    const std::string src = sourceName + ":" + std::to_string(lineNo);
    if (commands) {
      if (kw == "end" && t.size() == 1) {
        commands = false;
        commandsSource.clear();
        continue;
      }
      if (kw != "command" || t.size() != 3 || !number(t[1], id) || !is_name(t[2]))
        return fail("expected: command <command> <name>");
      if (!names.add(MenuResourceName::Command, t[2], id, src, r.names, err)) return fail(err);
      continue;
    }
    if (open.empty() && !accel) {
      if (kw == "commands" && t.size() == 1) {
        commands = true;
        commandsSource = src;
        continue;
      }
      const std::string name = take_name(t, 2);
      if ((kw == "menu" || kw == "accelerators") && t.size() == 2 && number(t[1], id)) {
        const auto kind = kw == "menu" ? MenuResourceName::Menu : MenuResourceName::Accelerators;
        if (!names.add(kind, name, id, src, r.names, err)) return fail(err);
        if (kw == "menu") {
          r.menus.push_back({static_cast<int>(id), {}, src});
          open.push_back(&r.menus.back().items);
        } else {
          r.accels.push_back({static_cast<int>(id), {}, src});
          accel = &r.accels.back();
        }
        continue;
      }
      return fail("expected: menu <id>, accelerators <id> or commands");
    }
    if (kw == "end" && t.size() == 1) {
      if (accel) accel = nullptr;
      else open.pop_back();
      continue;
    }
    if (accel) {
      AccelEntry e;
      const bool named = t.size() == 3 && is_name(t[2]);
      if (kw != "key" || t.size() != 3 || !(named || number(t[2], id)) || !parse_key(t[1], e.virt, e.key))
        return fail("expected: key <keys> <command>");
      if (named) namedKeys.push_back({r.accels.size() - 1, accel->entries.size(), t[2], lineNo});
      else e.cmd = static_cast<WORD>(id);
      accel->entries.push_back(e);
      continue;
    }
    MenuTemplate::Item item;
    if (kw == "separator" && t.size() == 1) {
      item.flags = MF_SEPARATOR;
      open.back()->push_back(std::move(item));
      continue;
    }
    if (kw == "popup" && t.size() == 2 && t[1][0] == '"') {
      if (open.size() > kMaxPopupDepth)
        return fail("popups nested deeper than " + std::to_string(kMaxPopupDepth));
      item.isPopup = true;
      item.text = t[1].substr(1);
      open.back()->push_back(std::move(item));
      open.push_back(&open.back()->back().children);
      continue;
    }
    const std::string name = kw == "item" ? take_name(t, 2) : std::string();
    if (kw == "item" && t.size() >= 3 && number(t[1], id) && t[2][0] == '"') {
      if (!names.add(MenuResourceName::Command, name, id, src, r.names, err)) return fail(err);
      item.id = static_cast<UINT>(id);
      item.text = t[2].substr(1);
      for (size_t k = 3; k < t.size(); ++k) {
        if (t[k] == "grayed") item.flags |= MF_GRAYED;
        else if (t[k] == "checked") item.flags |= MF_CHECKED;
        else return fail("unknown item option '" + t[k] + "'");
      }
      open.back()->push_back(std::move(item));
      continue;
    }
    return fail("unknown statement '" + kw + "'");
  }
  // An unclosed block is reported where it starts.
  std::string unclosed;
  if (!commandsSource.empty()) unclosed = commandsSource + ": commands have no end";
  else if (accel) unclosed = accel->source + ": accelerators " + std::to_string(accel->id) + " have no end";
  else if (!open.empty()) unclosed = r.menus.back().source + ": menu " + std::to_string(r.menus.back().id) + " has no end";
  if (!unclosed.empty()) {
    r = MenuParseResult{};
    r.error = unclosed;
    return r;
  }
  for (const NamedKey& k : namedKeys) {
    long cmd;
    if (!names.command(k.name, cmd)) {
      lineNo = k.line;
      return fail("key names command " + k.name + ", which the file does not name");
    }
    r.accels[k.accel].entries[k.entry].cmd = static_cast<WORD>(cmd);
  }
  return r;
}

bool add_menu_resources(const std::string& text, const std::string& sourceName, std::string* error) {
  Store& s = store();
  std::lock_guard lock(s.mu);
  load_locked(s);
  return add_locked(s, text, sourceName, error);
}

const MenuTemplate* find_menu_template(int id) {
  Store& s = store();
  const MenuTemplate* found = nullptr;
  {
    std::lock_guard lock(s.mu);
    load_locked(s);
    auto it = s.menus.find(id);
    if (it != s.menus.end()) found = &it->second;
  }
  if (!found) report_ui_error("menu resource " + std::to_string(id) + " is missing");
  return found;
}

const AccelTemplate* find_accel_template(int id) {
  Store& s = store();
  const AccelTemplate* found = nullptr;
  {
    std::lock_guard lock(s.mu);
    load_locked(s);
    auto it = s.accels.find(id);
    if (it != s.accels.end()) found = &it->second;
  }
  if (!found) report_ui_error("accelerator table " + std::to_string(id) + " is missing");
  return found;
}

}  // namespace plat
