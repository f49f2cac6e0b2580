// Directory search with DOS wildcards (FindFirstFile / FindNextFile). The
// entries are read at the first call, so a search never holds a directory
// open between calls and never sees half a change.
#include <dirent.h>
#include <sys/stat.h>

#include "platform/file.h"
#include "platform/file_internal.h"
#include "platform/path_internal.h"

namespace plat {

namespace {

char upper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }

// '*' any run, '?' one character, without regard to case.
bool glob(std::string_view p, std::string_view n) {
  size_t pi = 0, ni = 0, star = std::string_view::npos, mark = 0;
  while (ni < n.size()) {
    if (pi < p.size() && (p[pi] == '?' || upper(p[pi]) == upper(n[ni]))) {
      ++pi;
      ++ni;
    } else if (pi < p.size() && p[pi] == '*') {
      star = pi++;
      mark = ni;
    } else if (star != std::string_view::npos) {
      pi = star + 1;
      ni = ++mark;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == '*') ++pi;
  return pi == p.size();
}

bool is_sep(char c) { return c == '\\' || c == '/'; }

}  // namespace

bool match_pattern(std::string_view pattern, std::string_view name) {
  if (glob(pattern, name)) return true;
  // DOS: a name without an extension has an empty one, so "P1.*" and
  // "*.*" match "P1", and "*." matches exactly the names without a dot.
  if (name.find('.') != std::string_view::npos) return false;
  if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*")
    return glob(pattern.substr(0, pattern.size() - 2), name);
  if (!pattern.empty() && pattern.back() == '.') return glob(pattern.substr(0, pattern.size() - 1), name);
  return false;
}

bool find_first(std::string_view pattern, FindHandle& handle, FindData& data) {
  find_close(handle);
  size_t cut = pattern.size();
  while (cut > 0 && !is_sep(pattern[cut - 1]) && !(cut == 2 && pattern[1] == ':')) --cut;
  std::string_view dir = pattern.substr(0, cut);
  std::string_view name = pattern.substr(cut);
  if (name.empty()) return fail(error_not_found);

  ParsedPath p = parse_path(dir);
  std::string native = resolve_components(p.native ? "/" : p.root, p.components);
  bool at_root = p.components.empty();
  DIR* d = ::opendir(native.c_str());
  if (!d) return fail(error_not_found);
  while (dirent* e = ::readdir(d)) {
    std::string_view n = e->d_name;
    if (at_root && (n == "." || n == "..")) continue;
    if (!match_pattern(name, n)) continue;
    std::string full = (native == "/" ? "" : native) + "/" + std::string(n);
    struct stat st;
    if (::stat(full.c_str(), &st) != 0 && ::lstat(full.c_str(), &st) != 0) continue;
    FindData f;
    f.name = std::string(n);
    f.size = S_ISREG(st.st_mode) ? st.st_size : 0;
    f.last_write = st.st_mtime;
    if (S_ISDIR(st.st_mode)) f.attributes |= attr_directory;
    else f.attributes |= attr_archive;
    if (n[0] == '.' && n != "." && n != "..") f.attributes |= attr_hidden;
    // Read-only is a file's mark; a directory's permissions are no
    // attribute (code tells sub-directories by "exactly directory").
    if (!S_ISDIR(st.st_mode) && !(st.st_mode & S_IWUSR)) f.attributes |= attr_readonly;
    handle.entries_.push_back(std::move(f));
  }
  ::closedir(d);
  if (handle.entries_.empty()) return fail(error_not_found);
  handle.open_ = true;
  return find_next(handle, data);
}

bool find_next(FindHandle& handle, FindData& data) {
  if (!handle.open_) return fail(error_invalid_handle);
  if (handle.next_ >= handle.entries_.size()) return fail(error_not_found);
  data = handle.entries_[handle.next_++];
  return true;
}

void find_close(FindHandle& handle) {
  handle.entries_.clear();
  handle.next_ = 0;
  handle.open_ = false;
}

}  // namespace plat
