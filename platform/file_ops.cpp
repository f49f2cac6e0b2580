// Whole-file operations: delete, move, copy, directories, existence and
// last-write time.
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "platform/file.h"
#include "platform/file_internal.h"
#include "platform/path.h"

namespace plat {

namespace {

// Copies src's bytes into dst; the caller removes dst on failure.
bool copy_bytes(int src, int dst) {
  std::vector<char> buf(1 << 16);
  for (;;) {
    ssize_t r = ::read(src, buf.data(), buf.size());
    if (r < 0) {
      if (errno == EINTR) continue;
      return fail(errno);
    }
    if (r == 0) return true;
    size_t done = 0;
    while (done < size_t(r)) {
      ssize_t w = ::write(dst, buf.data() + done, size_t(r) - done);
      if (w < 0) {
        if (errno == EINTR) continue;
        return fail(errno);
      }
      if (w == 0) return fail(error_disk_full);
      done += size_t(w);
    }
  }
}

// A new file beside path under a name of its own, with the mode a plain
// create gives (the umask applies); -1 with errno when none can be made.
int create_beside(const std::string& path, std::string& name) {
  thread_local unsigned seed = unsigned(::getpid()) ^ unsigned(uintptr_t(&seed)) ^ unsigned(::time(nullptr));
  for (int tries = 0; tries < 100; ++tries) {
    seed = seed * 1103515245u + 12345u;
    char tag[16];
    std::snprintf(tag, sizeof tag, "%08x", seed);
    name = path + ".kvcopy-" + tag;
    int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

// Gives a finished copy its name unless that name exists by then.
bool publish_new(const std::string& part, const std::string& to) {
  if (::renameat2(AT_FDCWD, part.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // The file system cannot refuse to replace by itself: a hard link can.
  if (::link(part.c_str(), to.c_str()) == 0) {
    ::unlink(part.c_str());
    return true;
  }
  if (errno == EEXIST) return false;
  // No hard links either (a floppy's FAT): look, then rename.
  struct stat st;
  if (::lstat(to.c_str(), &st) == 0) {
    errno = EEXIST;
    return false;
  }
  return ::rename(part.c_str(), to.c_str()) == 0;
}

// Copies a regular file. The bytes go to a file beside the target that
// gets the target's name only when complete, so nobody who looks for the
// target ever finds half a copy; while it is written it counts as open for
// writing, so an exclusive open of it fails. With fail_if_exists an
// existing target fails the copy, otherwise it is replaced at the end.
bool copy_native(const std::string& from, const std::string& to, bool fail_if_exists) {
  int src = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (src < 0) return fail(errno == ENOTDIR ? error_not_found : errno);
  struct stat st;
  if (::fstat(src, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(src);
    return fail(error_access_denied);
  }
  std::string target = to;
  int dst;
  if (fail_if_exists) {
    struct stat tst;
    if (::lstat(to.c_str(), &tst) == 0) {
      ::close(src);
      return fail(error_exists);
    }
    dst = create_beside(to, target);
  } else {
    struct stat tst;
    if (::stat(to.c_str(), &tst) == 0) {
      if (S_ISDIR(tst.st_mode)) {
        ::close(src);
        return fail(error_access_denied);
      }
      // The copy replaces the target's inode: a handle writing to the old
      // one would go on writing into a file no name leads to.
      if (written_or_locked_elsewhere(to)) {
        ::close(src);
        return fail(error_sharing_violation);
      }
    }
    target = to + ".kvcopy-XXXXXX";
    dst = ::mkstemp(target.data());
  }
  if (dst < 0) {
    int e = errno;
    ::close(src);
    return fail(e == ENOTDIR ? error_not_found : e);
  }
  mark_open_for_writing(dst);
  bool ok = copy_bytes(src, dst);
  if (ok && !fail_if_exists) ::fchmod(dst, st.st_mode & 0777);
  if (ok) {
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::futimens(dst, times);
  }
  int e = ok ? 0 : last_error();
  if (::close(dst) != 0 && ok) {
    ok = false;
    e = errno;
  }
  ::close(src);
  if (ok && !(fail_if_exists ? publish_new(target, to) : ::rename(target.c_str(), to.c_str()) == 0)) {
    ok = false;
    e = errno;
  }
  if (!ok) {
    ::unlink(target.c_str());
    return fail(e);
  }
  return true;
}

}  // namespace

bool delete_file(std::string_view path) {
  std::string native = to_native_path(path);
  struct stat st;
  if (::lstat(native.c_str(), &st) != 0) return fail(errno == ENOTDIR ? error_not_found : errno);
  if (S_ISDIR(st.st_mode)) return fail(error_access_denied);
  if (S_ISREG(st.st_mode) && open_elsewhere(native, false)) return fail(error_sharing_violation);
  if (::unlink(native.c_str()) != 0) return fail(errno);
  return true;
}

bool move_file(std::string_view from, std::string_view to) {
  std::string src = to_native_path(from);
  std::string dst = to_native_path(to);
  struct stat st;
  if (::lstat(src.c_str(), &st) != 0) return fail(errno == ENOTDIR ? error_not_found : errno);
  if (S_ISREG(st.st_mode) && open_elsewhere(src, false)) return fail(error_sharing_violation);
  struct stat tst;
  if (::lstat(dst.c_str(), &tst) == 0 && tst.st_dev == st.st_dev && tst.st_ino == st.st_ino) {
    // The target names the source in another case: a change of case only.
    std::string_view name = to.substr(to.find_last_of("\\/") + 1);
    dst = dst.substr(0, dst.rfind('/') + 1) + std::string(name);
    if (dst == src) return true;
    if (::rename(src.c_str(), dst.c_str()) != 0) return fail(errno);
    return true;
  }
  if (::renameat2(AT_FDCWD, src.c_str(), AT_FDCWD, dst.c_str(), RENAME_NOREPLACE) == 0) return true;
  int e = errno;
  if (e == EINVAL || e == ENOSYS) {
    // The file system cannot refuse to replace by itself.
    if (::lstat(dst.c_str(), &tst) == 0) return fail(error_exists);
    if (::rename(src.c_str(), dst.c_str()) == 0) return true;
    e = errno;
  }
  if (e != EXDEV) return fail(e == ENOTDIR ? error_not_found : e);
  if (!S_ISREG(st.st_mode)) return fail(EXDEV);
  if (!copy_native(src, dst, true)) return false;
  if (::unlink(src.c_str()) != 0) {
    e = errno;
    ::unlink(dst.c_str());  // keep one copy, where it was
    return fail(e);
  }
  return true;
}

bool copy_file(std::string_view from, std::string_view to, bool fail_if_exists) {
  return copy_native(to_native_path(from), to_native_path(to), fail_if_exists);
}

bool flush_files(const std::vector<std::string>& paths, std::string_view dir) {
  // A run of files: their writes started, then one sync of the directory's
  // file system takes them all to the disk with the names (one flush of
  // the disk's cache, not one a file). A single file is synced alone, and
  // then its directory: the rest of the file system need not wait.
  const bool together = !dir.empty() && paths.size() > 1;
  int e = 0;
  for (const std::string& p : paths) {
    int fd = ::open(to_native_path(p).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      e = errno == ENOTDIR ? error_not_found : errno;
      break;
    }
    if (together) ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
    else if (::fsync(fd) != 0) e = errno;
    ::close(fd);
    if (e) break;
  }
  if (!e && !dir.empty()) {
    int fd = ::open(to_native_path(dir).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
      e = errno == ENOTDIR ? error_not_found : errno;
    } else {
      if ((together ? ::syncfs(fd) : ::fsync(fd)) != 0) e = errno;
      ::close(fd);
    }
  }
  return e ? fail(e) : true;
}

bool create_directory(std::string_view path) {
  if (::mkdir(to_native_path(path).c_str(), 0777) != 0)
    return fail(errno == ENOTDIR ? error_not_found : errno);
  return true;
}

bool remove_directory(std::string_view path) {
  if (::rmdir(to_native_path(path).c_str()) != 0)
    return fail(errno == ENOTDIR ? error_not_found : errno);
  return true;
}

bool file_exists(std::string_view path) {
  struct stat st;
  return !path.empty() && ::stat(to_native_path(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool directory_exists(std::string_view path) {
  struct stat st;
  return !path.empty() && ::stat(to_native_path(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool last_write_time(std::string_view path, FileTime& time) {
  struct stat st;
  if (path.empty()) return fail(error_not_found);
  if (::stat(to_native_path(path).c_str(), &st) != 0)
    return fail(errno == ENOTDIR ? error_not_found : errno);
  time = st.st_mtime;
  return true;
}

}  // namespace plat
