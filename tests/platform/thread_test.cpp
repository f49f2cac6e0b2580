// Threads with a stack size and one argument.
#include "platform/thread.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <cstring>

namespace {

struct Job {
  std::atomic<int> calls{0};
  std::size_t stack = 0;
  plat::Event go;
};

void entry(void* arg) {
  auto* job = static_cast<Job*>(arg);
  pthread_attr_t attr;
  pthread_getattr_np(pthread_self(), &attr);
  pthread_attr_getstacksize(&attr, &job->stack);
  pthread_attr_destroy(&attr);
  // A frame bigger than the smallest stack the DNC code asks for.
  volatile char frame[64 * 1024];
  std::memset(const_cast<char*>(frame), 1, sizeof frame);
  job->go.wait(INFINITE);
  ++job->calls;
}

TEST(BeginThread, RunsWithArgumentAndSafeStackAndSignalsWhenDone) {
  for (std::size_t asked : {std::size_t{8192}, std::size_t{20480}, std::size_t{40960}}) {
    Job job;
    plat::ThreadHandle t = plat::begin_thread(entry, asked, &job);
    ASSERT_TRUE(t);
    EXPECT_EQ(plat::wait_for_single(t.get(), 0), WAIT_TIMEOUT);  // still waiting for go
    job.go.set();
    plat::Waitable* h[] = {t.get()};
    EXPECT_EQ(plat::wait_for_multiple(h, 1, false, INFINITE), WAIT_OBJECT_0);
    EXPECT_TRUE(t->finished());
    EXPECT_EQ(job.calls.load(), 1);
    EXPECT_GE(job.stack, plat::thread_stack_size(asked));
    EXPECT_GE(job.stack, static_cast<std::size_t>(PTHREAD_STACK_MIN));
    EXPECT_GT(job.stack, asked);
  }
}

TEST(BeginThread, RefusesNullEntry) { EXPECT_FALSE(plat::begin_thread(nullptr, 20480, nullptr)); }

}  // namespace
