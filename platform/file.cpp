// Files over POSIX descriptors: opening with emulated share modes,
// positional and pointer I/O, length, flush and the thread's last error.
//
// Share modes: each handle takes read (shared) open-file-description locks
// on the bytes below that describe it: "may read", "may write", "denies
// reading", "denies writing". An open then asks whether another handle
// holds a byte that conflicts with its own: its access against their
// denials, its denials against their access. Both sides take their bytes
// before they look, so two racing opens never both succeed.
#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <system_error>

#include "platform/file_internal.h"
#include "platform/path.h"
#include "platform/sync.h"

namespace plat {

namespace {
thread_local int t_last_error = 0;
}

int last_error() { return t_last_error; }
void set_last_error(int error) { t_last_error = error; }

std::string error_text(int error) {
  switch (error) {
    case error_none: return "no error";
    case error_not_found: return "file not found";
    case error_exists: return "file exists";
    case error_access_denied: return "access denied";
    case error_disk_full: return "disk full";
    case error_sharing_violation: return "file is in use by another handle";
    case error_lock_violation: return "range is locked by another handle";
    case error_not_locked: return "range is not locked";
    case error_invalid_handle: return "invalid handle";
    default: return std::error_code(error, std::generic_category()).message();
  }
}

bool fail(int error) {
  set_last_error(error);
  return false;
}

int64_t fail_io(int error) {
  set_last_error(error);
  return -1;
}

// ---- share-mode bytes ------------------------------------------------------

namespace {

struct ShareBytes {
  bool reads = false, writes = false, deny_read = false, deny_write = false;
};

int set_byte(int fd, short type, off_t byte) {
  struct flock fl {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = byte;
  fl.l_len = 1;
  return ::fcntl(fd, F_OFD_SETLK, &fl);
}

bool set_bytes(int fd, short type, const ShareBytes& s) {
  return (!s.reads || set_byte(fd, type, kShareAccessRead) == 0) &&
         (!s.writes || set_byte(fd, type, kShareAccessWrite) == 0) &&
         (!s.deny_read || set_byte(fd, type, kShareDenyRead) == 0) &&
         (!s.deny_write || set_byte(fd, type, kShareDenyWrite) == 0);
}

bool conflicts(int fd, const ShareBytes& s) {
  return (s.reads && held_by_other(fd, kShareDenyRead)) ||
         (s.writes && held_by_other(fd, kShareDenyWrite)) ||
         (s.deny_read && held_by_other(fd, kShareAccessRead)) ||
         (s.deny_write && held_by_other(fd, kShareAccessWrite));
}

// Takes this handle's share bytes, then looks for a conflicting handle.
// Two opens racing each other both see a conflict; each then lets go and
// tries again after a short random pause, so the first one through wins
// as on Windows and a lasting conflict still fails within milliseconds.
int take_share(int fd, const ShareBytes& s) {
  thread_local unsigned seed = unsigned(::getpid()) ^ unsigned(uintptr_t(&seed));
  for (int attempt = 0;; ++attempt) {
    if (!set_bytes(fd, F_RDLCK, s)) return errno == EAGAIN || errno == EACCES ? error_sharing_violation : errno;
    if (!conflicts(fd, s)) return 0;
    set_bytes(fd, F_UNLCK, s);
    if (attempt == 4) return error_sharing_violation;
    seed = seed * 1103515245u + 12345u;
    ::usleep(500 + (seed >> 16) % 2000);
  }
}

}  // namespace

bool held_by_other(int fd, off_t byte) {
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = byte;
  fl.l_len = 1;
  if (::fcntl(fd, F_OFD_GETLK, &fl) != 0) return false;
  return fl.l_type != F_UNLCK;
}

bool open_elsewhere(const std::string& native, bool deny_write_only) {
  int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool busy = deny_write_only
                  ? held_by_other(fd, kShareDenyWrite)
                  : held_by_other(fd, kShareAccessRead) || held_by_other(fd, kShareAccessWrite);
  ::close(fd);
  return busy;
}

void mark_open_for_writing(int fd) { set_byte(fd, F_RDLCK, kShareAccessWrite); }

bool written_or_locked_elsewhere(const std::string& native) {
  int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool busy = held_by_other(fd, kShareDenyWrite) || held_by_other(fd, kShareAccessWrite);
  ::close(fd);
  return busy;
}

// ---- File ------------------------------------------------------------------

File::File() = default;
File::File(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
File::File(File&&) noexcept = default;
File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    if (is_open()) close(*this);
    impl_ = std::move(other.impl_);
  }
  return *this;
}
File::~File() {
  if (impl_ && impl_->fd >= 0) ::close(impl_->fd);
}

bool File::is_open() const { return impl_ && impl_->fd >= 0; }

const std::string& File::native_path() const {
  static const std::string empty;
  return impl_ ? impl_->native : empty;
}
const std::string& File::dos_path() const {
  static const std::string empty;
  return impl_ ? impl_->dos : empty;
}

namespace {

int open_fd(const std::string& native, int flags, Access access) {
  int fd = ::open(native.c_str(), flags | O_RDWR | O_CLOEXEC, 0666);
  // Byte-range locks need a writable descriptor, so read access opens for
  // reading and writing where it may, and for reading only where not.
  if (fd < 0 && access == Access::read && (errno == EACCES || errno == EROFS || errno == EPERM || errno == ETXTBSY))
    fd = ::open(native.c_str(), flags | O_RDONLY | O_CLOEXEC, 0666);
  return fd;
}

}  // namespace

File create_file(std::string_view path, Access access, Share share, Disposition disposition,
                 int* error) {
  auto failed = [&](int e) {
    set_last_error(e);
    if (error) *error = e;
    return File();
  };
  if (path.empty()) return failed(error_not_found);
  std::string native = to_native_path(path);

  bool truncate = disposition == Disposition::create_always ||
                  disposition == Disposition::truncate_existing;
  int fd = -1;
  switch (disposition) {
    case Disposition::create_new:
      fd = open_fd(native, O_CREAT | O_EXCL, access);
      break;
    case Disposition::create_always:
    case Disposition::open_always:
      // Never O_TRUNC here: the share check comes first.
      for (int tries = 0; fd < 0 && tries < 10; ++tries) {
        fd = open_fd(native, O_CREAT | O_EXCL, access);
        if (fd >= 0) {
          truncate = false;  // fresh and empty
        } else if (errno == EEXIST) {
          fd = open_fd(native, 0, access);
          if (fd < 0 && errno == ENOENT) continue;  // removed meanwhile
        } else {
          break;
        }
      }
      break;
    case Disposition::open_existing:
    case Disposition::truncate_existing:
      fd = open_fd(native, 0, access);
      break;
  }
  if (fd < 0) {
    int e = errno;
    if (e == EISDIR) e = error_access_denied;
    if (e == ENOTDIR) e = error_not_found;
    return failed(e);
  }
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return failed(error_access_denied);
  }

  ShareBytes mine;
  mine.reads = access != Access::write;
  mine.writes = access != Access::read;
  mine.deny_read = share == Share::none || share == Share::write;
  mine.deny_write = share == Share::none || share == Share::read;
  if (int e = take_share(fd, mine); e != 0) {
    ::close(fd);
    return failed(e);
  }
  if (truncate && st.st_size != 0 && ::ftruncate(fd, 0) != 0) {
    int e = errno;
    ::close(fd);
    return failed(e == EBADF || e == EINVAL ? error_access_denied : e);
  }

  auto impl = std::make_unique<File::Impl>();
  impl->fd = fd;
  impl->writable = mine.writes;
  impl->native = std::move(native);
  impl->dos = std::string(path);
  set_last_error(error_none);
  if (error) *error = error_none;
  return File(std::move(impl));
}

bool close(File& file) {
  File::Impl* f = file.impl();
  if (!f || f->fd < 0) return fail(error_invalid_handle);
  int fd = f->fd;
  f->fd = -1;
  f->locks.clear();
  if (::close(fd) != 0 && errno != EINTR) return fail(errno);
  return true;
}

// ---- I/O -------------------------------------------------------------------

namespace {

File::Impl* open_impl(File& file) {
  File::Impl* f = file.impl();
  if (!f || f->fd < 0) {
    set_last_error(error_invalid_handle);
    return nullptr;
  }
  return f;
}

// Reads until n bytes or the end; -1 on a failure.
int64_t read_loop(int fd, int64_t offset, void* buffer, size_t n, bool positional) {
  size_t done = 0;
  auto* p = static_cast<char*>(buffer);
  while (done < n) {
    ssize_t r = positional ? ::pread(fd, p + done, n - done, offset + int64_t(done))
                           : ::read(fd, p + done, n - done);
    if (r < 0) {
      if (errno == EINTR) continue;
      set_last_error(errno);
      return -1;
    }
    if (r == 0) break;
    done += size_t(r);
  }
  return int64_t(done);
}

// Writes all n bytes or fails; a write that makes no progress means the
// disk is full.
int64_t write_loop(int fd, int64_t offset, const void* buffer, size_t n, bool positional) {
  size_t done = 0;
  auto* p = static_cast<const char*>(buffer);
  while (done < n) {
    ssize_t r = positional ? ::pwrite(fd, p + done, n - done, offset + int64_t(done))
                           : ::write(fd, p + done, n - done);
    if (r < 0) {
      if (errno == EINTR) continue;
      set_last_error(errno);
      return -1;
    }
    if (r == 0) {
      set_last_error(error_disk_full);
      return -1;
    }
    done += size_t(r);
  }
  return int64_t(n);
}

// ---- write faults ----------------------------------------------------------

struct IoFault {
  std::mutex mutex;
  std::string pattern;
  int64_t left = 0;
  int error = 0;
  bool once = false;
};
IoFault g_fault;
std::atomic<bool> g_fault_on{false};
// The same for reads: a read that reaches the limit fails whole.
IoFault g_read_fault;
std::atomic<bool> g_read_fault_on{false};

// How many of n bytes may pass before the fault strikes.
size_t fault_allows(const File::Impl& f, size_t n, int& error, IoFault& fault, std::atomic<bool>& on) {
  std::lock_guard<std::mutex> lock(fault.mutex);
  std::string_view path = f.dos;
  size_t slash = path.find_last_of("/\\");
  if (slash != std::string_view::npos) path.remove_prefix(slash + 1);
  if (fault.pattern.empty() || !match_pattern(fault.pattern, path)) return n;
  size_t allowed = fault.left < int64_t(n) ? size_t(fault.left) : n;
  fault.left -= int64_t(allowed);
  error = fault.error;
  if (allowed < n && fault.once) {
    fault.pattern.clear();
    on.store(false, std::memory_order_relaxed);
  }
  return allowed;
}

int64_t checked_read(File::Impl& f, int64_t offset, void* buffer, size_t n, bool positional) {
  if (!g_read_fault_on.load(std::memory_order_relaxed)) return read_loop(f.fd, offset, buffer, n, positional);
  int error = 0;
  if (fault_allows(f, n, error, g_read_fault, g_read_fault_on) < n) return fail_io(error);
  return read_loop(f.fd, offset, buffer, n, positional);
}

// Write stalls: the writes that reach the next mark wait first.
struct WriteStalls {
  std::mutex mutex;
  std::string pattern;
  std::vector<int64_t> at;
  int64_t written = 0;
  unsigned long ms = 0;
};
WriteStalls g_stalls;
std::atomic<bool> g_stalls_on{false};

void stall_if_due(const File::Impl& f, size_t n) {
  unsigned long ms = 0;
  {
    std::lock_guard<std::mutex> lock(g_stalls.mutex);
    std::string_view path = f.dos;
    size_t slash = path.find_last_of("/\\");
    if (slash != std::string_view::npos) path.remove_prefix(slash + 1);
    if (g_stalls.pattern.empty() || !match_pattern(g_stalls.pattern, path)) return;
    g_stalls.written += int64_t(n);
    if (g_stalls.at.empty() || g_stalls.written < g_stalls.at.front()) return;
    while (!g_stalls.at.empty() && g_stalls.at.front() <= g_stalls.written) g_stalls.at.erase(g_stalls.at.begin());
    ms = g_stalls.ms;
  }
  sleep_ms(ms);
}

// write_loop behind the fault and stall checks, which cost two atomic
// loads when off.
int64_t checked_write(File::Impl& f, int64_t offset, const void* buffer, size_t n, bool positional) {
  if (g_stalls_on.load(std::memory_order_relaxed)) stall_if_due(f, n);
  if (!g_fault_on.load(std::memory_order_relaxed)) return write_loop(f.fd, offset, buffer, n, positional);
  int error = 0;
  size_t allowed = fault_allows(f, n, error, g_fault, g_fault_on);
  if (allowed == n) return write_loop(f.fd, offset, buffer, n, positional);
  if (allowed > 0 && write_loop(f.fd, offset, buffer, allowed, positional) < 0) return -1;
  return fail_io(error);
}

}  // namespace

namespace {

void arm(IoFault& fault, std::atomic<bool>& on, std::string_view pattern, int64_t after_bytes, int error,
         bool once) {
  std::lock_guard<std::mutex> lock(fault.mutex);
  fault.once = once;
  fault.pattern = std::string(pattern);
  fault.left = after_bytes < 0 ? 0 : after_bytes;
  fault.error = error;
  on.store(!pattern.empty(), std::memory_order_relaxed);
}

}  // namespace

void set_write_fault(std::string_view pattern, int64_t after_bytes, int error, bool once) {
  arm(g_fault, g_fault_on, pattern, after_bytes, error, once);
}

void set_read_fault(std::string_view pattern, int64_t after_bytes, int error, bool once) {
  arm(g_read_fault, g_read_fault_on, pattern, after_bytes, error, once);
}

bool read_faults_armed() { return g_read_fault_on.load(std::memory_order_relaxed); }

void set_write_stalls(std::string_view pattern, std::vector<int64_t> at, unsigned long ms) {
  std::lock_guard<std::mutex> lock(g_stalls.mutex);
  g_stalls.pattern = std::string(pattern);
  g_stalls.at = std::move(at);
  g_stalls.written = 0;
  g_stalls.ms = ms;
  g_stalls_on.store(!pattern.empty(), std::memory_order_relaxed);
}

int64_t read_at(File& file, int64_t offset, void* buffer, size_t n) {
  File::Impl* f = open_impl(file);
  if (!f) return -1;
  if (offset < 0) return fail_io(error_invalid_argument);
  return checked_read(*f, offset, buffer, n, true);
}

int64_t write_at(File& file, int64_t offset, const void* buffer, size_t n) {
  File::Impl* f = open_impl(file);
  if (!f) return -1;
  if (!f->writable) return fail_io(error_access_denied);
  if (offset < 0) return fail_io(error_invalid_argument);
  return checked_write(*f, offset, buffer, n, true);
}

int64_t read(File& file, void* buffer, size_t n) {
  File::Impl* f = open_impl(file);
  if (!f) return -1;
  return checked_read(*f, 0, buffer, n, false);
}

int64_t write(File& file, const void* buffer, size_t n) {
  File::Impl* f = open_impl(file);
  if (!f) return -1;
  if (!f->writable) return fail_io(error_access_denied);
  return checked_write(*f, 0, buffer, n, false);
}

int64_t seek(File& file, int64_t offset, Whence whence) {
  File::Impl* f = open_impl(file);
  if (!f) return -1;
  int w = whence == Whence::begin ? SEEK_SET : whence == Whence::current ? SEEK_CUR : SEEK_END;
  off_t r = ::lseek(f->fd, offset, w);
  if (r < 0) {
    set_last_error(errno);
    return -1;
  }
  return r;
}

int64_t length(File& file) {
  File::Impl* f = open_impl(file);
  if (!f) return -1;
  struct stat st;
  if (::fstat(f->fd, &st) != 0) {
    set_last_error(errno);
    return -1;
  }
  return st.st_size;
}

bool set_length(File& file, int64_t n) {
  File::Impl* f = open_impl(file);
  if (!f) return false;
  if (!f->writable) return fail(error_access_denied);
  if (n < 0) return fail(error_invalid_argument);
  if (::ftruncate(f->fd, n) != 0) return fail(errno);
  return true;
}

bool keep_access_time(File& file) {
  File::Impl* f = open_impl(file);
  if (!f) return false;
  int flags = ::fcntl(f->fd, F_GETFL);
  if (flags < 0) return fail(errno);
  if (::fcntl(f->fd, F_SETFL, flags | O_NOATIME) != 0) return fail(errno);
  return true;
}

bool flush(File& file) {
  File::Impl* f = open_impl(file);
  if (!f) return false;
  if (::fsync(f->fd) != 0) return fail(errno);
  return true;
}

bool start_write_out(File& file, int64_t offset, int64_t n) {
  File::Impl* f = open_impl(file);
  if (!f) return false;
#ifdef SYNC_FILE_RANGE_WRITE
  if (::sync_file_range(f->fd, offset, n, SYNC_FILE_RANGE_WRITE) != 0) return fail(errno);
  return true;
#else
  (void)offset;
  (void)n;
  return false;
#endif
}

}  // namespace plat
