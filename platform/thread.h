// Threads started with a stack size and one pointer argument, as the DNC
// server starts its master and port threads. A thread is never joined by
// its starter; its handle is a waitable that is signalled when it ends, so
// a shutdown can still wait for it.
#pragma once

#include <cstddef>
#include <memory>

#include "platform/sync.h"

namespace plat {

// Stacks are never smaller than this: the sizes the DNC code asks for
// (8192, 20480, 40960) were measured for another platform and are below
// what the C library needs here. Sanitizer builds need more still.
#if defined(__SANITIZE_ADDRESS__)
constexpr std::size_t kMinThreadStack = 1024 * 1024;
#else
constexpr std::size_t kMinThreadStack = 256 * 1024;
#endif

class Thread : public Waitable {
 public:
  bool finished() const;

 protected:
  bool signalled_locked() const override { return finished_; }

 private:
  friend struct ThreadStart;
  void finish();
  bool finished_ = false;
};

using ThreadHandle = std::shared_ptr<Thread>;
using ThreadEntry = void (*)(void* arg);

// Starts entry(arg) on a new detached thread with at least stack_size bytes
// of stack. Returns null when the thread cannot be started.
ThreadHandle begin_thread(ThreadEntry entry, std::size_t stack_size, void* arg);

// The stack size actually used for a requested size.
std::size_t thread_stack_size(std::size_t requested);

}  // namespace plat
