#include "platform/file_view.h"

#include <linux/magic.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <mutex>

#include "platform/file_internal.h"

namespace plat {

namespace {

// A read through a view whose file shrank meets SIGBUS. The handler jumps
// back to the read that met it; a SIGBUS anywhere else goes on to whatever
// handled it before (by default, ending the process).
thread_local sigjmp_buf* t_guard = nullptr;
struct sigaction g_before;
std::once_flag g_installed;

void on_bus_error(int sig, siginfo_t* info, void* context) {
  if (sigjmp_buf* guard = t_guard) {
    t_guard = nullptr;
    siglongjmp(*guard, 1);
  }
  if (g_before.sa_flags & SA_SIGINFO) {
    if (g_before.sa_sigaction) g_before.sa_sigaction(sig, info, context);
    return;
  }
  if (g_before.sa_handler == SIG_IGN) {
    // A raised signal is ignored; a faulting access runs again and the
    // system ends the process, as it would have.
    signal(SIGBUS, SIG_IGN);
    return;
  }
  if (g_before.sa_handler == SIG_DFL) {
    signal(SIGBUS, SIG_DFL);
    raise(SIGBUS);
    return;
  }
  g_before.sa_handler(sig);
}

void install_handler() {
  struct sigaction act = {};
  act.sa_sigaction = on_bus_error;
  // Not deferred: the jump out of the handler leaves the signal unblocked
  // without restoring a saved mask (which would cost a system call a read).
  act.sa_flags = SA_SIGINFO | SA_NODEFER;
  sigemptyset(&act.sa_mask);
  sigaction(SIGBUS, &act, &g_before);
}

// After the jump out of the handler: the file shrank under the mapping. A
// handler run by a wrapper (as the thread sanitizer's) may leave the signal
// blocked, and the next access that meets it would end the process: it is
// unblocked here.
void bus_error_met() {
  sigset_t bus;
  sigemptyset(&bus);
  sigaddset(&bus, SIGBUS);
  pthread_sigmask(SIG_UNBLOCK, &bus, nullptr);
}

// Runs fn() with a bus error it meets turned into a false return. A
// template, so that a record read (every read of a mapped table comes this
// way) runs it in place, without a call through a pointer. The handler is
// installed by whoever mapped the bytes fn reads.
template <class Fn>
inline bool run_guarded(Fn&& fn) {
  sigjmp_buf guard;
  if (sigsetjmp(guard, 0) != 0) {
    bus_error_met();
    return false;
  }
  t_guard = &guard;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  fn();
  std::atomic_signal_fence(std::memory_order_seq_cst);
  t_guard = nullptr;
  return true;
}

std::atomic<bool> g_all_remote{false};

}  // namespace

void treat_file_systems_as_remote(bool on) { g_all_remote.store(on); }

bool local_file_system(File& file) {
  if (!file.is_open() || g_all_remote.load(std::memory_order_relaxed)) return false;
  struct statfs fs;
  if (fstatfs(file.impl()->fd, &fs) != 0) return false;
  switch (static_cast<unsigned long>(fs.f_type)) {
    case EXT4_SUPER_MAGIC:  // ext2 and ext3 too
    case XFS_SUPER_MAGIC:
    case BTRFS_SUPER_MAGIC:
    case TMPFS_MAGIC:
    case F2FS_SUPER_MAGIC:
    case OVERLAYFS_SUPER_MAGIC:
    case 0x2fc12fc1:  // ZFS
      return true;
    default:
      return false;
  }
}

namespace {

// Bytes [0, n) of the file mapped read-only and shared; null when refused.
unsigned char* map_shared(File& file, size_t n) {
  if (!file.is_open() || n == 0) return nullptr;
  std::call_once(g_installed, install_handler);
  void* p = mmap(nullptr, n, PROT_READ, MAP_SHARED, file.impl()->fd, 0);
  return p == MAP_FAILED ? nullptr : static_cast<unsigned char*>(p);
}

}  // namespace

SharedMapping::~SharedMapping() { unmap(); }

bool SharedMapping::map(File& file, size_t n) {
  unmap();
  base_ = map_shared(file, n);
  size_ = base_ ? n : 0;
  return base_ != nullptr;
}

void SharedMapping::unmap() {
  if (base_) munmap(base_, size_);
  base_ = nullptr;
  size_ = 0;
}

bool FileView::read(void (*fn)(const unsigned char*, void*), void* arg) const {
  if (!base_) return false;
  const unsigned char* bytes = base_;
  return run_guarded([&] { fn(bytes, arg); });
}

size_t page_size() {
  static const size_t size = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  return size;
}

bool FileMap::grow(size_t n) {
  if (!base_ || n <= size_) return false;
  void* p = mremap(base_, size_, n, MREMAP_MAYMOVE);
  if (p == MAP_FAILED) return false;
  base_ = static_cast<unsigned char*>(p);
  size_ = n;
  return true;
}

bool FileMap::copy(size_t offset, void* out, size_t n, bool end_known) const {
  if (!base_ || n == 0 || offset > size_ || n > size_ - offset) return false;
  // The page after the bytes; pages are a power of two bytes long.
  size_t after = ((offset + n - 1) | (page_size() - 1)) + 1;
  if (after >= size_) return false;
  const unsigned char* from = base_ + offset;
  if (end_known) return run_guarded([&] { std::memcpy(out, from, n); });
  const volatile unsigned char* probe = base_ + after;
  return run_guarded([&] {
    std::memcpy(out, from, n);
    // The page after is touched only once the bytes are copied: a file cut
    // short meanwhile has lost that page, and the copy is not trusted.
    std::atomic_thread_fence(std::memory_order_acquire);
    (void)*probe;
  });
}

}  // namespace plat
