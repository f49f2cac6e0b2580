// Detached POSIX threads with a chosen stack size; see thread.h.
#include "platform/thread.h"

#include <pthread.h>
#include <unistd.h>

#include <algorithm>

namespace plat {

struct ThreadStart {
  ThreadHandle self;
  ThreadEntry entry;
  void* arg;

  static void* run(void* p) {
    std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(p));
    start->entry(start->arg);
    start->self->finish();
    return nullptr;
  }
};

bool Thread::finished() const {
  std::lock_guard<std::mutex> g(sync_lock());
  return finished_;
}

void Thread::finish() {
  std::lock_guard<std::mutex> g(sync_lock());
  finished_ = true;
  wake_waiters_locked();
}

std::size_t thread_stack_size(std::size_t requested) {
  long page = sysconf(_SC_PAGESIZE);
  if (page <= 0) page = 4096;
  std::size_t size = std::max<std::size_t>(requested, kMinThreadStack);
  long min = sysconf(_SC_THREAD_STACK_MIN);
  if (min > 0) size = std::max<std::size_t>(size, static_cast<std::size_t>(min));
  return (size + static_cast<std::size_t>(page) - 1) / static_cast<std::size_t>(page) *
         static_cast<std::size_t>(page);
}

ThreadHandle begin_thread(ThreadEntry entry, std::size_t stack_size, void* arg) {
  if (entry == nullptr) return nullptr;
  auto handle = std::make_shared<Thread>();
  auto* start = new ThreadStart{handle, entry, arg};
  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0) {
    delete start;
    return nullptr;
  }
  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  pthread_attr_setstacksize(&attr, thread_stack_size(stack_size));
  pthread_t tid;
  int rc = pthread_create(&tid, &attr, &ThreadStart::run, start);
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    delete start;
    return nullptr;
  }
  return handle;
}

}  // namespace plat
