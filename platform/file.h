// Files for the code above the layer: Windows-shaped open, read, write,
// seek, length, locks, copy, move, delete and directory search over POSIX.
//
// Paths in and out are DOS-form texts ("C:\DB\KELVINDX.DBF", "..\X.NC");
// they are mapped through platform/path.h. Every call that fails returns its
// failure value (false, -1 or a closed handle) and leaves the reason in
// last_error(), an errno value, so callers can tell "disk full" from "not
// found". Nothing here throws.
//
// Share modes are emulated between our own processes and threads with
// open-file-description locks on four bytes far beyond any data, so an open
// without sharing is refused while another handle is open and vice versa.
// Byte-range locks (lock_range) keep Windows semantics: exclusive, per
// handle, two handles of one process conflict, a lock on one handle
// survives the close of another handle to the same file.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace plat {

// ---- error reporting ------------------------------------------------------

// Error values are errno numbers; the named ones are those callers act on.
inline constexpr int error_none = 0;
inline constexpr int error_not_found = ENOENT;        // file or directory missing
inline constexpr int error_exists = EEXIST;           // create-new / fail-if-exists
inline constexpr int error_access_denied = EACCES;    // permissions, read-only handle, a directory
inline constexpr int error_disk_full = ENOSPC;        // a write that did not fit
inline constexpr int error_sharing_violation = EBUSY; // open refused by another handle's share mode
inline constexpr int error_lock_violation = EAGAIN;   // byte range locked by another handle
inline constexpr int error_not_locked = ENOLCK;       // unlock of a range this handle does not hold
inline constexpr int error_invalid_handle = EBADF;    // closed or never opened handle
inline constexpr int error_invalid_argument = EINVAL;
inline constexpr int error_io = EIO;                 // the device failed a read or write

// The calling thread's error of its last failed call (like GetLastError).
int last_error();
void set_last_error(int error);
// A short English text for an error value ("disk full", "file not found", ...).
std::string error_text(int error);

// ---- opening ----------------------------------------------------------------

enum class Access { read, write, read_write };

// What other handles may do while this one is open (FILE_SHARE_*).
enum class Share { none, read, write, read_write };

// Creation dispositions with their Windows meaning.
enum class Disposition {
  create_new,        // fails with error_exists when the file exists
  create_always,     // creates or truncates
  open_existing,     // fails with error_not_found when missing
  open_always,       // opens or creates
  truncate_existing  // opens and truncates; fails when missing
};

// An open file. Move-only; the destructor closes it (errors then ignored:
// call close() to see them). An empty File is "closed" (handle -1).
class File {
 public:
  File();
  File(File&&) noexcept;
  File& operator=(File&&) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File();

  bool is_open() const;
  // The native path the file was opened under.
  const std::string& native_path() const;
  // The path as the caller gave it.
  const std::string& dos_path() const;

  // For the layer's own code.
  struct Impl;
  Impl* impl() const { return impl_.get(); }
  explicit File(std::unique_ptr<Impl> impl);

 private:
  std::unique_ptr<Impl> impl_;
};

// Opens or creates a file. On failure the File is closed and last_error()
// (and *error when given) tells why. A directory is refused with
// error_access_denied. CREATE_ALWAYS and TRUNCATE_EXISTING truncate only
// after the share check passed, so a refused open never empties a file.
File create_file(std::string_view path, Access access, Share share, Disposition disposition,
                 int* error = nullptr);

// Closes the handle; its share-mode and byte-range locks go with it. A
// failing close (a write-back error) is reported. Closing a closed File is
// an error (error_invalid_handle).
bool close(File& file);

// ---- reading and writing -----------------------------------------------------

// Positional I/O; the file pointer is not moved. read_at returns the bytes
// actually read (fewer at end of file, 0 past it) or -1 on failure.
// write_at returns n when all n bytes were written, else -1: a short write
// (full disk) is a failure with error_disk_full, never a partial success.
// Writing through a handle opened for reading only fails with
// error_access_denied.
int64_t read_at(File& file, int64_t offset, void* buffer, size_t n);
int64_t write_at(File& file, int64_t offset, const void* buffer, size_t n);

// Reads and writes at the file pointer, moving it, with the same results.
int64_t read(File& file, void* buffer, size_t n);
int64_t write(File& file, const void* buffer, size_t n);

enum class Whence { begin, current, end };
// Moves the file pointer (SetFilePointer); beyond the end is allowed.
// Returns the new position or -1.
int64_t seek(File& file, int64_t offset, Whence whence = Whence::begin);

// The file's length in bytes, or -1.
int64_t length(File& file);
// Sets the length (grows with zero bytes or cuts). The file pointer stays.
bool set_length(File& file, int64_t n);
// Writes the file's data through to the disk (FlushFileBuffers).
bool flush(File& file);
// Starts the disk writing n bytes from offset and returns at once: a later
// flush then has less to wait for. False where the system cannot (nothing
// is lost: the flush still writes them).
bool start_write_out(File& file, int64_t offset, int64_t n);
// Reads through the handle leave the file's access time as it is, sparing
// the system its bookkeeping on every read. Only the file's owner may ask
// this: for anyone else it is false and the handle stays as it was.
bool keep_access_time(File& file);

// ---- write faults, for tests -------------------------------------------------

// Makes writes to files whose name (last path component) matches the DOS
// pattern fail with error once after_bytes more bytes went to them; the
// write that crosses the limit stores its leading bytes first, as a drive
// that drops mid-write would. With once, the fault then clears itself (a
// line that comes back); else every later write fails too (a full disk).
// An empty pattern turns it off (the default).
void set_write_fault(std::string_view pattern, int64_t after_bytes, int error = error_disk_full,
                     bool once = false);
// The same for reads: the read that would pass the limit fails whole with
// error (a drive or a network share that stops answering).
void set_read_fault(std::string_view pattern, int64_t after_bytes, int error = error_io,
                    bool once = false);
// True while a read fault is armed: reads served past the handle (from a
// mapping) then go through it, so the fault strikes where it would.
bool read_faults_armed();

// Makes the writes to files whose name matches the DOS pattern wait ms
// milliseconds (on the time scale of the threads layer) before they go,
// each time another `at` of the byte counts (from now, in rising order) is
// reached: a disk or network share that stops answering for a while. An
// empty pattern turns it off.
void set_write_stalls(std::string_view pattern, std::vector<int64_t> at, unsigned long ms);

// ---- byte-range locks --------------------------------------------------------

// Locks n bytes at offset for this handle alone (LockFile): refused with
// error_lock_violation when another handle, of this or another process,
// holds an overlapping range, or this handle already holds one. Ranges may
// lie anywhere beyond the data (offsets around 2,000,000,000 are usual).
// Does not wait. n must be at least 1.
bool lock_range(File& file, uint64_t offset, uint64_t n);
// Releases a range locked by this handle; offset and n must match a
// lock_range call exactly, else error_not_locked.
bool unlock_range(File& file, uint64_t offset, uint64_t n);
// A shared lock: held beside other handles' shared locks, refused (as
// lock_range) while another handle holds an overlapping lock_range. Given
// back with unlock_range. A handle opened for reading only may take it.
bool lock_range_shared(File& file, uint64_t offset, uint64_t n);
// Whether another handle holds a lock_range (with shared_too, or a
// lock_range_shared) over any of the n bytes at offset: 1 held, 0 free,
// -1 on an error. Takes nothing.
int range_locked_elsewhere(File& file, uint64_t offset, uint64_t n, bool shared_too = false);

// ---- whole files -----------------------------------------------------------

// Deletes a file; refused with error_sharing_violation while a handle has
// it open (the writer would otherwise go on writing into a nameless file).
bool delete_file(std::string_view path);
// Renames or moves a file; fails with error_exists when the target exists.
// Across file systems the file is copied and the source deleted; when the
// source cannot be deleted the copy is removed again and the move fails.
// Refused with error_sharing_violation while the source is open.
bool move_file(std::string_view from, std::string_view to);
// Copies a file with its last-write time. With fail_if_exists an existing
// target fails with error_exists; otherwise the target is replaced. Either
// way the target appears only once the copy is complete, so a failed copy
// (full disk) leaves the old target as it was and nobody finds half a copy. Refused with error_sharing_violation while another
// handle writes to the target or denies writing.
bool copy_file(std::string_view from, std::string_view to, bool fail_if_exists);
// Brings the files' data to the disk, and the names in the directory
// `dir` where they lie (empty: no directory). For several files with a
// directory, the writes of all are started and then the directory's whole
// file system is synced once, so a run of small files waits on the disk
// once rather than once a file; otherwise each file is synced on its own,
// then the directory. False on the first failure.
bool flush_files(const std::vector<std::string>& paths, std::string_view dir);

// Creates one directory; fails with error_exists when it is there.
bool create_directory(std::string_view path);
bool remove_directory(std::string_view path);
// True when a regular file / a directory of that name exists.
bool file_exists(std::string_view path);
bool directory_exists(std::string_view path);

// Seconds since 1970-01-01 00:00 UTC (the file time as stored, raw UTC);
// platform/clock.h breaks it down into local or UTC calendar time.
using FileTime = int64_t;
// The last-write time of a file or directory; false when it is missing.
bool last_write_time(std::string_view path, FileTime& time);

// ---- directory search ----------------------------------------------------------

// Attribute bits with their Windows values.
inline constexpr uint32_t attr_readonly = 0x01;   // a file without write permission
inline constexpr uint32_t attr_hidden = 0x02;     // name starts with "."
inline constexpr uint32_t attr_system = 0x04;     // never set here
inline constexpr uint32_t attr_directory = 0x10;
inline constexpr uint32_t attr_archive = 0x20;    // every regular file
inline constexpr uint32_t attr_normal = 0x80;     // never set: files carry archive

struct FindData {
  std::string name;  // the name as on disk, no directory
  uint32_t attributes = 0;
  int64_t size = 0;
  FileTime last_write = 0;
};

// A search in progress.
class FindHandle {
 public:
  FindHandle() = default;
  bool is_open() const { return open_; }

 private:
  friend bool find_first(std::string_view, FindHandle&, FindData&);
  friend bool find_next(FindHandle&, FindData&);
  friend void find_close(FindHandle&);
  std::vector<FindData> entries_;
  size_t next_ = 0;
  bool open_ = false;
};

// Starts a search for a DOS pattern: a directory part and a last component
// with "*" and "?" matched without regard to case ("C:\DB\*.DBF",
// "P*.NC", "DIR\*.*"; "*.*" also matches names without a dot). Entries come
// in the file system's order, "." and ".." included as Windows gives them
// outside a drive's root. Returns false with error_not_found when nothing
// matches (the handle is then closed).
bool find_first(std::string_view pattern, FindHandle& handle, FindData& data);
// The next match; false with error_not_found at the end.
bool find_next(FindHandle& handle, FindData& data);
void find_close(FindHandle& handle);

// True when name matches a DOS wildcard pattern, without regard to case.
bool match_pattern(std::string_view pattern, std::string_view name);

}  // namespace plat
