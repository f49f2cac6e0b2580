// The engine's pending error, kept per thread. The program calls the engine
// from several threads on one context: one thread's failure must neither
// make another thread's calls return -1 nor be cleared by them before its
// own caller has seen it. Reads and writes look like a plain int.
#pragma once

#include <cstdint>

class DbPendingError {
 public:
  DbPendingError();
  DbPendingError(const DbPendingError& other);
  DbPendingError& operator=(const DbPendingError& other) { return *this = static_cast<int>(other); }
  DbPendingError& operator=(int code);
  operator int() const;

 private:
  uint64_t id_;  // never reused, so a context made at a freed one's address starts clean
};
