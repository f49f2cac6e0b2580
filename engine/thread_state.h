// The engine's per-thread state: the pending error and the work buffers.
// The program calls the engine from several threads on one context: one
// thread's failure must neither make another thread's calls return -1 nor be
// cleared by them before its own caller has seen it, and a text the engine
// hands back must not be overwritten by another thread's call.
#pragma once

#include <atomic>
#include <cstdint>

// The pending error; reads and writes look like a plain int.
class DbPendingError {
 public:
  DbPendingError();
  DbPendingError(const DbPendingError& other);
  DbPendingError& operator=(const DbPendingError& other) { return *this = static_cast<int>(other); }
  DbPendingError& operator=(int code);
  // Read before and after nearly every step: while no thread has an error
  // pending, that needs no look into the thread's codes.
  operator int() const { return pending_.load(std::memory_order_relaxed) ? stored() : 0; }

 private:
  int stored() const;
  uint64_t id_;  // never reused, so a context made at a freed one's address starts clean
  // Threads whose code is not 0. A thread's own changes are seen by itself
  // in order, so a count of 0 means its own code is 0.
  std::atomic<int> pending_{0};
};

struct DB_ENGINE;

// A work buffer of the context (field texts, expression results, keys), one
// per thread: a pointer the engine hands out stays valid for the calling
// thread until its own next call, whatever other threads do meanwhile.
class DbWorkBuffer {
 public:
  DbWorkBuffer();
  DbWorkBuffer(const DbWorkBuffer&);
  // Resetting the context keeps each thread's buffer; it is only scratch.
  DbWorkBuffer& operator=(const DbWorkBuffer&) { return *this; }

  // This thread's buffer with room for size bytes; null (error reported)
  // when the memory cannot be had. The contents so far are kept.
  char* grow(DB_ENGINE* c, unsigned size);
  // This thread's buffer as last grown; null before the first grow.
  char* data() const;
  // Frees this thread's buffer.
  void release();

 private:
  uint64_t id_;
};
