// DOS path mapping: drive table, the layer's current drive and directories,
// and case-insensitive resolution of each component.
#include "platform/path.h"

#include <dirent.h>
#include <sys/stat.h>

#include <array>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/path_internal.h"

namespace plat {
namespace {

struct DriveState {
  std::mutex mutex;
  std::string base;                       // empty until first use
  std::array<std::string, 26> roots;      // explicit roots; empty = default
  int current = 2;                        // C:
  std::array<std::vector<std::string>, 26> cwd;  // components below each root
};

DriveState& state() {
  static DriveState s;
  return s;
}

std::string default_base() {
  if (const char* home = std::getenv("KELVANE_HOME"); home && *home) return home;
  if (const char* home = std::getenv("HOME"); home && *home) return std::string(home) + "/.kelvane";
  return "/tmp/kelvane";
}

// Callers hold the mutex.
std::string base_locked(DriveState& s) {
  if (s.base.empty()) s.base = default_base();
  return s.base;
}

bool is_sep(char c) { return c == '\\' || c == '/'; }

char upper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }

bool equal_nocase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (upper(a[i]) != upper(b[i])) return false;
  return true;
}

std::string upper_text(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = upper(c);
  return out;
}

// The directory whose names this thread keeps, if any.
thread_local KnownDirectory* known_directory = nullptr;

int drive_index(char d) {
  d = upper(d);
  return (d >= 'A' && d <= 'Z') ? d - 'A' : -1;
}

void make_dirs(const std::string& native) {
  std::string cur;
  for (size_t i = 0; i <= native.size(); ++i) {
    if (i == native.size() || (native[i] == '/' && i > 0)) {
      cur = native.substr(0, i);
      ::mkdir(cur.c_str(), 0777);
    }
  }
}

// The root of drive index i; a default root is created when missing so that
// "C:\" always exists, as it does on the machines the data comes from.
std::string root_locked(DriveState& s, int i) {
  if (!s.roots[i].empty()) return s.roots[i];
  std::string root = base_locked(s) + "/" + char('a' + i);
  struct stat st;
  if (::stat(root.c_str(), &st) != 0) make_dirs(root);
  return root;
}

void push_components(std::vector<std::string>& comps, std::string_view rest) {
  size_t i = 0;
  while (i < rest.size()) {
    while (i < rest.size() && is_sep(rest[i])) ++i;
    size_t j = i;
    while (j < rest.size() && !is_sep(rest[j])) ++j;
    std::string_view c = rest.substr(i, j - i);
    // Windows drops trailing dots and blanks of a name: "P17." (an empty
    // extension joined on) is "P17".
    if (c != "." && c != "..")
      while (!c.empty() && (c.back() == '.' || c.back() == ' ')) c.remove_suffix(1);
    if (c.empty() || c == ".") {
    } else if (c == "..") {
      if (!comps.empty()) comps.pop_back();
    } else {
      comps.emplace_back(c);
    }
    i = j;
  }
}

}  // namespace

ParsedPath parse_path(std::string_view p) {
  DriveState& s = state();
  std::lock_guard lock(s.mutex);
  ParsedPath out;
  if (!p.empty() && p[0] == '/') {
    out.native = true;
    push_components(out.components, p);
    return out;
  }
  int drive = s.current;
  std::string_view rest = p;
  bool absolute = false;
  if (p.size() >= 2 && p[1] == ':' && drive_index(p[0]) >= 0) {
    drive = drive_index(p[0]);
    rest = p.substr(2);
  }
  if (!rest.empty() && is_sep(rest[0])) absolute = true;
  out.drive = drive;
  if (!absolute) out.components = s.cwd[drive];
  push_components(out.components, rest);
  out.root = root_locked(s, drive);
  return out;
}

namespace {

std::string joined(const std::string& root, const std::vector<std::string>& comps, size_t count) {
  std::string path = root == "/" ? std::string() : root;
  for (size_t i = 0; i < count; ++i) path.append("/").append(comps[i]);
  return path.empty() ? "/" : path;
}

}  // namespace

std::string resolve_components(const std::string& root, const std::vector<std::string>& comps) {
  // Most paths are spelled as they lie: one look at the whole path, or at
  // its directory for a name about to be made, spares a look at each
  // component (a path named again and again costs one call).
  struct stat st;
  std::string whole = joined(root, comps, comps.size());
  if (comps.empty() || ::lstat(whole.c_str(), &st) == 0) return whole;
  size_t first = 0;
  std::string cur = root;
  if (comps.size() > 1) {
    std::string dir = joined(root, comps, comps.size() - 1);
    if (::lstat(dir.c_str(), &st) == 0) {
      first = comps.size() - 1;
      cur = dir;
    }
  }
  bool missing = false;
  for (size_t i = first; i < comps.size(); ++i) {
    const std::string& c = comps[i];
    std::string base = (cur == "/") ? std::string() : cur;
    std::string exact = base + "/" + c;
    const bool known_absent = first > 0 && i == first;  // the whole path was looked at
    if (missing || (!known_absent && ::lstat(exact.c_str(), &st) == 0)) {
      cur = exact;
      continue;
    }
    // Not there under this name: look for the same name in another case.
    // Several candidates: the first in byte order, so the choice is stable.
    std::string found;
    if (known_directory && known_directory->listed() && known_directory->native() == cur) {
      found = known_directory->find(c);
    } else if (DIR* d = ::opendir(cur.c_str())) {
      while (dirent* e = ::readdir(d)) {
        std::string_view n = e->d_name;
        if (equal_nocase(n, c) && (found.empty() || n < found)) found = n;
      }
      ::closedir(d);
    }
    if (found.empty()) {
      missing = true;
      cur = exact;
    } else {
      cur = base + "/" + found;
    }
  }
  return cur.empty() ? "/" : cur;
}

KnownDirectory::KnownDirectory(std::string_view dos_dir) : native_(to_native_path(dos_dir)), outer_(known_directory) {
  refresh();
  known_directory = this;
}

KnownDirectory::~KnownDirectory() { known_directory = outer_; }

bool KnownDirectory::refresh() {
  names_.clear();
  listed_ = false;
  DIR* d = ::opendir(native_.c_str());
  if (!d) return false;
  while (dirent* e = ::readdir(d)) add(e->d_name);
  ::closedir(d);
  listed_ = true;
  return true;
}

std::string KnownDirectory::find(std::string_view name) const {
  auto it = names_.find(upper_text(name));
  return it == names_.end() ? std::string() : it->second;
}

void KnownDirectory::add(std::string_view name) {
  auto [it, added] = names_.try_emplace(upper_text(name), name);
  if (!added && name < it->second) it->second = name;
}

std::string to_native_path(std::string_view dos_path) {
  ParsedPath p = parse_path(dos_path);
  return resolve_components(p.native ? "/" : p.root, p.components);
}

std::string full_dos_path(std::string_view dos_path) {
  if (!dos_path.empty() && dos_path[0] == '/') return std::string(dos_path);
  ParsedPath p = parse_path(dos_path);
  std::string out;
  out += char('A' + p.drive);
  out += ":\\";
  for (size_t i = 0; i < p.components.size(); ++i) {
    if (i) out += '\\';
    out += p.components[i];
  }
  return out;
}

bool is_absolute_path(std::string_view p) {
  if (!p.empty() && is_sep(p[0])) return true;
  return p.size() >= 3 && p[1] == ':' && drive_index(p[0]) >= 0 && is_sep(p[2]);
}

void set_base_directory(const std::string& native_dir) {
  DriveState& s = state();
  std::lock_guard lock(s.mutex);
  s.base = native_dir;
  while (s.base.size() > 1 && s.base.back() == '/') s.base.pop_back();
}

std::string base_directory() {
  DriveState& s = state();
  std::lock_guard lock(s.mutex);
  return base_locked(s);
}

bool set_drive_root(char drive, const std::string& native_dir) {
  int i = drive_index(drive);
  if (i < 0) {
    set_last_error(error_invalid_argument);
    return false;
  }
  DriveState& s = state();
  std::lock_guard lock(s.mutex);
  s.roots[i] = native_dir;
  while (s.roots[i].size() > 1 && s.roots[i].back() == '/') s.roots[i].pop_back();
  return true;
}

std::string drive_root(char drive) {
  int i = drive_index(drive);
  if (i < 0) return {};
  DriveState& s = state();
  std::lock_guard lock(s.mutex);
  return root_locked(s, i);
}

void reset_drive_table() {
  DriveState& s = state();
  std::lock_guard lock(s.mutex);
  for (auto& r : s.roots) r.clear();
  for (auto& c : s.cwd) c.clear();
  s.current = 2;
}

bool set_current_directory(std::string_view dos_path) {
  if (dos_path.empty()) {
    set_last_error(error_not_found);
    return false;
  }
  ParsedPath p = parse_path(dos_path);
  if (p.native) {  // the layer's current directory lives on a drive
    set_last_error(error_invalid_argument);
    return false;
  }
  std::string native = resolve_components(p.root, p.components);
  struct stat st;
  if (::stat(native.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    set_last_error(error_not_found);
    return false;
  }
  DriveState& s = state();
  std::lock_guard lock(s.mutex);
  s.current = p.drive;
  s.cwd[p.drive] = p.components;
  return true;
}

std::string get_current_directory() {
  DriveState& s = state();
  std::lock_guard lock(s.mutex);
  std::string out;
  out += char('A' + s.current);
  out += ":\\";
  const auto& comps = s.cwd[s.current];
  for (size_t i = 0; i < comps.size(); ++i) {
    if (i) out += '\\';
    out += comps[i];
  }
  return out;
}

bool set_current_drive(int drive) {
  if (drive < 1 || drive > 26) {
    set_last_error(error_invalid_argument);
    return false;
  }
  DriveState& s = state();
  std::lock_guard lock(s.mutex);
  std::string root = root_locked(s, drive - 1);
  struct stat st;
  if (::stat(root.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    set_last_error(error_not_found);
    return false;
  }
  s.current = drive - 1;
  return true;
}

int get_current_drive() {
  DriveState& s = state();
  std::lock_guard lock(s.mutex);
  return s.current + 1;
}

}  // namespace plat
