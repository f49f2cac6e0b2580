// What the engine-against-SQLite benchmarks share: timing, generated names,
// a scratch directory and the table of figures with their ratio.
#pragma once

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

namespace kvbench {

inline double seconds_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Part names spread over the rows so that name order differs from row order.
inline std::string name_of(long i, long rows) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "PART-%07ld", (i * 7919) % rows);
  return buf;
}

inline std::filesystem::path scratch_dir(const std::string& what) {
  auto dir = std::filesystem::temp_directory_path() / ("kv_bench_" + what + "_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  return dir;
}

// One line of figures: engine seconds, SQLite seconds and their ratio.
inline void print_row(int width, const char* what, double engine, double sqlite) {
  std::printf("%-*s %10.3f %10.3f %8.2f\n", width, what, engine, sqlite, sqlite > 0 ? engine / sqlite : 0.0);
}

inline void print_header(int width, const char* title) {
  std::printf("%-*s %10s %10s %8s\n", width, title, "engine s", "sqlite s", "ratio");
}

}  // namespace kvbench
