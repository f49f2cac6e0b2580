// Another process holding a lock on a table, as another station or its
// editor does, until the test lets it go.
#pragma once

#include <sys/stat.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

namespace kvimport {

class LockHolder {
 public:
  // The whole-file lock, or with an offset one byte range of it.
  LockHolder(const std::string& table, const std::string& fifo, const std::string& range = "") : fifo_(fifo) {
    EXPECT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    pipe_ = popen(("/usr/bin/python3 " KV_SOURCE_DIR "/tests/dbtools/peers/hold_table_lock.py '" + table + "' '" +
                   fifo + "' " + range)
                      .c_str(),
                  "r");
    char line[16] = {};
    held_ = pipe_ && fgets(line, sizeof line, pipe_) && std::string(line) == "held\n";
  }
  ~LockHolder() { Release(); }
  bool Held() const { return held_; }
  // Lets the lock go and waits for the holder to end; its exit status.
  int Release() {
    if (!pipe_) return -1;
    int fd = open(fifo_.c_str(), O_WRONLY);
    if (fd >= 0) close(fd);
    int rc = pclose(pipe_);
    pipe_ = nullptr;
    return rc;
  }

 private:
  std::string fifo_;
  FILE* pipe_ = nullptr;
  bool held_ = false;
};

}  // namespace kvimport
