// A read-only view of the first bytes of an open file, mapped into memory.
//
// The view shares the page cache with every read and write of the file on
// this machine, so it shows another process's write the moment that write
// returns, as a read would, without a system call. That holds only where the
// file system keeps one cache for all of a file's users: on a network file
// system each machine caches apart, so local() says no there and callers keep
// reading through the handle.
//
// A file that another process shrinks below the view does not bring the
// process down: read() then fails, and the caller reads through the handle,
// which sees the file as it is.
#pragma once

#include <cstddef>

#include "platform/file.h"

namespace plat {

// True when the file lies on a file system whose cache every process of
// this machine shares (ext2/3/4, XFS, Btrfs, tmpfs and the like).
bool local_file_system(File& file);
// For tests: makes local_file_system() say no for every file, as on a
// network share, so the paths that read through the handle stay tried.
void treat_file_systems_as_remote(bool on);

// The size of a memory page.
size_t page_size();

// Bytes [0, n) of an open file mapped read-only and shared, unmapped when
// it goes; what the bytes may be used for is the user's (below).
class SharedMapping {
 public:
  SharedMapping() = default;
  ~SharedMapping();
  SharedMapping(const SharedMapping&) = delete;
  SharedMapping& operator=(const SharedMapping&) = delete;

  // Maps bytes [0, n) of the file; false (and no mapping) when the system
  // refuses.
  bool map(File& file, size_t n);
  void unmap();
  bool mapped() const { return base_ != nullptr; }
  size_t size() const { return size_; }

 protected:
  unsigned char* base_ = nullptr;
  size_t size_ = 0;
};

// A view of the first bytes of a file, which must hold them when mapped.
class FileView : public SharedMapping {
 public:
  // Runs fn over the mapped bytes. False when the file no longer holds the
  // bytes fn touched (fn stopped part way); fn must then leave nothing that
  // needs undoing, and may run again.
  bool read(void (*fn)(const unsigned char* bytes, void* arg), void* arg) const;
};

// A read-only mapping of a whole file that may reach past its end, so the
// file can grow under it without a new mapping each time. Pages past the end
// of the file fault, so a read through it must prove the file still holds
// its bytes: copy() does so by touching the page after them as well, as a
// file cut short loses (and zeroes) at most the page its new end lies in.
class FileMap : public SharedMapping {
 public:
  // The mapping reaches n bytes now (it may move); false leaves it as it was.
  bool grow(size_t n);

  // Copies bytes [offset, offset + n) into out without a system call. False
  // when the page after them lies outside the mapping, or the file no longer
  // reaches into that page (it shrank or never did): out may then hold part
  // of the bytes, and the caller reads through the handle instead. A caller
  // that knows the file reaches past that page (nobody else may shorten it
  // meanwhile) says so with `end_known`: the page after is then left alone,
  // and only a page the file lost faults.
  bool copy(size_t offset, void* out, size_t n, bool end_known = false) const;
};

}  // namespace plat
