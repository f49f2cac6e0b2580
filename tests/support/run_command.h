// Runs a shell command line for a test (an independent peer, a converter,
// a checker) and gives back everything it wrote to its standard output,
// bytes and all; the exit status as pclose gives it goes to *status.
#pragma once

#include <stdio.h>

#include <string>

namespace kvtest {

inline std::string run_command(const std::string& cmd, int* status = nullptr) {
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) {
    if (status) *status = -1;
    return out;
  }
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  int rc = pclose(p);
  if (status) *status = rc;
  return out;
}

}  // namespace kvtest
