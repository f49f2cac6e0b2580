// Byte-range locks with Windows semantics on open-file-description locks:
// exclusive, owned by the handle (not the process), so two handles of one
// process conflict, and closing one handle leaves another's locks alone.
// Windows refuses a range that overlaps one the same handle holds and
// unlocks only exactly a locked range; the handle's list gives both.
#include <fcntl.h>

#include "platform/file.h"
#include "platform/file_internal.h"

namespace plat {

namespace {

bool valid_range(uint64_t offset, uint64_t n) {
  return n >= 1 && offset < uint64_t(kShareBytes) && n <= uint64_t(kShareBytes) - offset;
}

bool overlaps(const std::pair<uint64_t, uint64_t>& r, uint64_t offset, uint64_t n) {
  return offset < r.first + r.second && r.first < offset + n;
}

int set_lock(int fd, short type, uint64_t offset, uint64_t n) {
  struct flock fl {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = off_t(offset);
  fl.l_len = off_t(n);
  return ::fcntl(fd, F_OFD_SETLK, &fl);
}

}  // namespace

namespace {

bool take_range(File& file, short type, uint64_t offset, uint64_t n) {
  File::Impl* f = file.impl();
  if (!f || f->fd < 0) return fail(error_invalid_handle);
  if (!valid_range(offset, n)) return fail(error_invalid_argument);
  std::lock_guard lock(f->mutex);
  for (const auto& r : f->locks)
    if (overlaps(r, offset, n)) return fail(error_lock_violation);
  if (set_lock(f->fd, type, offset, n) != 0) {
    int e = errno;
    if (e == EAGAIN || e == EACCES) return fail(error_lock_violation);
    // A descriptor opened for reading only cannot carry a write lock.
    if (e == EBADF) return fail(error_access_denied);
    return fail(e);
  }
  f->locks.emplace_back(offset, n);
  return true;
}

}  // namespace

bool lock_range(File& file, uint64_t offset, uint64_t n) { return take_range(file, F_WRLCK, offset, n); }

bool lock_range_shared(File& file, uint64_t offset, uint64_t n) { return take_range(file, F_RDLCK, offset, n); }

int range_locked_elsewhere(File& file, uint64_t offset, uint64_t n, bool shared_too) {
  File::Impl* f = file.impl();
  if (!f || f->fd < 0) {
    fail(error_invalid_handle);
    return -1;
  }
  if (!valid_range(offset, n)) {
    fail(error_invalid_argument);
    return -1;
  }
  struct flock fl {};
  // A shared lock is met by an exclusive one only; an exclusive one by both.
  fl.l_type = shared_too ? F_WRLCK : F_RDLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = off_t(offset);
  fl.l_len = off_t(n);
  if (::fcntl(f->fd, F_OFD_GETLK, &fl) != 0) {
    fail(errno);
    return -1;
  }
  return fl.l_type != F_UNLCK ? 1 : 0;
}

bool unlock_range(File& file, uint64_t offset, uint64_t n) {
  File::Impl* f = file.impl();
  if (!f || f->fd < 0) return fail(error_invalid_handle);
  std::lock_guard lock(f->mutex);
  for (auto it = f->locks.begin(); it != f->locks.end(); ++it) {
    if (it->first != offset || it->second != n) continue;
    if (set_lock(f->fd, F_UNLCK, offset, n) != 0) return fail(errno);
    f->locks.erase(it);
    return true;
  }
  return fail(error_not_locked);
}

}  // namespace plat
