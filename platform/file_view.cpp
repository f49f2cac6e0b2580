#include "platform/file_view.h"

#include <linux/magic.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/vfs.h>

#include <atomic>
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

}  // namespace

bool local_file_system(File& file) {
  if (!file.is_open()) return false;
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

FileView::~FileView() { unmap(); }

bool FileView::map(File& file, size_t n) {
  unmap();
  if (!file.is_open() || n == 0) return false;
  std::call_once(g_installed, install_handler);
  void* p = mmap(nullptr, n, PROT_READ, MAP_SHARED, file.impl()->fd, 0);
  if (p == MAP_FAILED) return false;
  base_ = static_cast<unsigned char*>(p);
  size_ = n;
  return true;
}

void FileView::unmap() {
  if (base_) munmap(base_, size_);
  base_ = nullptr;
  size_ = 0;
}

bool FileView::read(void (*fn)(const unsigned char*, void*), void* arg) const {
  if (!base_) return false;
  sigjmp_buf guard;
  if (sigsetjmp(guard, 0) != 0) {
    // The file shrank under the view. A handler run by a wrapper (as the
    // thread sanitizer's) may leave the signal blocked, and the next
    // access that meets it would end the process: it is unblocked here.
    sigset_t bus;
    sigemptyset(&bus);
    sigaddset(&bus, SIGBUS);
    pthread_sigmask(SIG_UNBLOCK, &bus, nullptr);
    return false;
  }
  t_guard = &guard;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  fn(base_, arg);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  t_guard = nullptr;
  return true;
}

}  // namespace plat
