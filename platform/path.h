// DOS paths onto the Linux file system.
//
// The code above keeps paths as DOS texts ("C:\KELVACFG\DB31\",
// "A:\KELVCYC3.DBF", "..\NC\P17.NC"). Mapping one:
//  - "\" and "/" both separate components; repeated separators count once;
//    trailing dots and blanks of a name are dropped ("P17." is "P17");
//    "." is skipped and ".." steps up, never above the drive's root;
//  - a drive letter maps through the drive table to a native directory
//    (default: <base>/<letter in lower case>, created on first use; "A:\"
//    is the floppy and usually set to a directory of its own);
//  - "X:\..." is absolute on drive X, "X:..." is relative to drive X's
//    current directory, "\..." starts at the current drive's root, anything
//    else is relative to the current directory;
//  - a path that starts with "/" is already native and only resolved;
//  - each component that does not exist under its exact name is looked up
//    without regard to case (a DOS-era station wrote "KELVINDX.DBF", a
//    Linux tool "kelvindx.dbf"); components that do not exist at all keep
//    the case given, so a file about to be created lands in the existing
//    directory under the caller's name;
//  - a trailing separator is dropped from the native result.
//
// The current directory and current drive are variables of this layer,
// never the process's working directory; one path is mapped against one
// consistent snapshot of them, whichever thread changes them meanwhile.
// All functions are thread-safe.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace plat {

// The native path for a DOS path (see above). Never fails: a path that
// does not exist maps to where it would be.
std::string to_native_path(std::string_view dos_path);

// The absolute DOS form of a path, as GetFullPathName gives it: drive,
// backslashes, "." and ".." removed, case as given ("C:\DB\X.DBF"). A
// native path ("/...") comes back unchanged.
std::string full_dos_path(std::string_view dos_path);

// True for "X:\..." and "\..." and native "/..." paths.
bool is_absolute_path(std::string_view dos_path);

// ---- a directory one thread keeps the names of ------------------------------

// For a thread that creates many files in one directory: its names are read
// once, and the thread adds each file it creates there. While the object
// lives, mapping a path on this thread looks a name of that directory that
// is missing under its exact spelling up in this list instead of reading
// the directory again. Names another process adds meanwhile are seen after
// the next refresh(); a create still refuses a name that exists exactly.
class KnownDirectory {
 public:
  explicit KnownDirectory(std::string_view dos_dir);
  ~KnownDirectory();
  KnownDirectory(const KnownDirectory&) = delete;
  KnownDirectory& operator=(const KnownDirectory&) = delete;

  // Reads the names again; false (and the list unused) when the directory
  // cannot be read.
  bool refresh();
  bool listed() const { return listed_; }
  // The name on disk equal to `name` without regard to case (the first in
  // byte order of several); empty when there is none.
  std::string find(std::string_view name) const;
  // A file the thread created in the directory.
  void add(std::string_view name);

  const std::string& native() const { return native_; }

 private:
  std::string native_;
  std::map<std::string, std::string> names_;  // upper-case name -> name on disk
  bool listed_ = false;
  KnownDirectory* outer_;
};

// ---- drive table ----------------------------------------------------------

// The directory under which the default drive roots lie. Initially
// $KELVANE_HOME, else $HOME/.kelvane, else /tmp/kelvane.
void set_base_directory(const std::string& native_dir);
std::string base_directory();

// Maps drive letter 'A'..'Z' (either case) to a native directory; an empty
// text restores the default under the base directory. Returns false for a
// letter out of range.
bool set_drive_root(char drive, const std::string& native_dir);
// The native root of a drive ("" for a letter out of range).
std::string drive_root(char drive);
// Every drive back to its default; current drive C:, every drive's current
// directory its root.
void reset_drive_table();

// ---- current directory and drive --------------------------------------------

// SetCurrentDirectory: the directory must exist; a path with a drive also
// makes that drive current. Each drive keeps its own current directory.
bool set_current_directory(std::string_view dos_path);
// GetCurrentDirectory: "C:\DB" (no trailing "\" except at a root: "C:\").
std::string get_current_directory();
// _chdrive: 1 = A:, 3 = C:, ...; false (error_not_found) when the drive's
// root cannot be reached.
bool set_current_drive(int drive);
// _getdrive: 1 = A:, 3 = C:, ...
int get_current_drive();

}  // namespace plat
