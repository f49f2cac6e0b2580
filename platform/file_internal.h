// Inside the layer only: the state behind a File handle and the share-mode
// bytes, for the lock and whole-file code.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/file.h"

namespace plat {

struct File::Impl {
  int fd = -1;
  bool writable = false;
  std::string native;
  std::string dos;
  std::mutex mutex;  // guards locks
  std::vector<std::pair<uint64_t, uint64_t>> locks;  // offset, length
};

// The share-mode bytes lie at the very end of the offset range, far from
// any lock range a caller may use (those must end before kShareBytes).
inline constexpr off_t kShareBytes = INT64_MAX - 16;
inline constexpr off_t kShareAccessRead = kShareBytes + 0;
inline constexpr off_t kShareAccessWrite = kShareBytes + 1;
inline constexpr off_t kShareDenyRead = kShareBytes + 2;
inline constexpr off_t kShareDenyWrite = kShareBytes + 3;

// Sets the thread's last error and returns false.
bool fail(int error);
// Sets the thread's last error and returns -1.
int64_t fail_io(int error);
// True when a handle other than fd's holds the share byte.
bool held_by_other(int fd, off_t byte);
// True when a handle of ours has the file open (any access), or, with
// deny_write_only, when one denies writing.
bool open_elsewhere(const std::string& native, bool deny_write_only);
// Marks fd as a handle that writes (its share byte), so exclusive opens of
// the file fail while it is open.
void mark_open_for_writing(int fd);
// True when a handle of ours has the file open for writing or denies
// writing to others.
bool written_or_locked_elsewhere(const std::string& native);

}  // namespace plat
