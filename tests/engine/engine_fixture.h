// Shared helpers for the engine tests: a scratch directory and small file
// utilities.
#pragma once

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/engine_api.h"

namespace kvtest {

// A fresh directory under the system's temporary directory, removed after the test.
class ScratchDir {
 public:
  ScratchDir() {
    static std::atomic<int> seq{0};
    path_ = std::filesystem::temp_directory_path() /
            ("kvengine_" + std::to_string(getpid()) + "_" + std::to_string(seq++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  // A file name inside the directory, as the engine gets it.
  std::string file(const std::string& name) const { return (path_ / name).string(); }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline std::vector<unsigned char> read_bytes(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

inline void write_bytes(const std::string& name, const std::vector<unsigned char>& bytes) {
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Runs a command and returns its standard output; the exit status goes to *status.
inline std::string run_command(const std::string& cmd, int* status = nullptr) {
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  int rc = pclose(p);
  if (status) *status = rc;
  return out;
}

// A text followed by a number (kept out of operator+, which GCC 12 warns
// about wrongly in optimised builds).
inline std::string numbered(const std::string& text, long n) {
  std::string s = text;
  s += std::to_string(n);
  return s;
}

// A context whose errors are stored without boxes, as most tests want.
struct QuietEngine : DbEngine {
  QuietEngine() { silent_errors = 1; }
};

}  // namespace kvtest
