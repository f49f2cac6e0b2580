// Shared helpers for the engine tests: a scratch directory (tests/support)
// and small file utilities.
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
#include "tests/support/run_command.h"
#include "tests/support/scratch_dir.h"

namespace kvtest {

inline std::vector<unsigned char> read_bytes(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

inline void write_bytes(const std::string& name, const std::vector<unsigned char>& bytes) {
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
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
