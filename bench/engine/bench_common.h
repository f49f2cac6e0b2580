// What the engine-against-SQLite benchmarks share: timing, generated names,
// a scratch directory and the table of figures with their ratio.
#pragma once

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/outputs.h"

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

// SQLite at its fastest honest mode for this work: a connection used by one
// thread only (no mutex around each call), reads through a memory map large
// enough for the whole table and its indexes, and a page cache that holds
// them too. Writes keep the rollback journal; the caller decides on sync.
inline sqlite3* open_sqlite(const std::string& path) {
  sqlite3* db = nullptr;
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
  if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
    std::fprintf(stderr, "sqlite: cannot open %s: %s\n", path.c_str(), db ? sqlite3_errmsg(db) : "no memory");
    sqlite3_close(db);
    return nullptr;
  }
  // The library caps the map at its compile-time limit; 4 GiB asks for all
  // of it, far more than the largest table measured here.
  sqlite3_exec(db, "PRAGMA mmap_size = 4294967296; PRAGMA cache_size = -262144;", nullptr, nullptr, nullptr);
  return db;
}

// The memory map SQLite granted, in bytes (0 when it has none).
inline long long sqlite_mmap_size(sqlite3* db) {
  sqlite3_stmt* q = nullptr;
  long long bytes = 0;
  if (sqlite3_prepare_v2(db, "PRAGMA mmap_size", -1, &q, nullptr) == SQLITE_OK && sqlite3_step(q) == SQLITE_ROW)
    bytes = sqlite3_column_int64(q, 0);
  sqlite3_finalize(q);
  return bytes;
}

inline std::filesystem::path scratch_dir(const std::string& what) { return scratch("kv_bench_" + what); }

// One line of figures: engine seconds, SQLite seconds and their ratio.
inline void print_row(int width, const char* what, double engine, double sqlite) {
  std::printf("%-*s %10.3f %10.3f %8.2f\n", width, what, engine, sqlite, sqlite > 0 ? engine / sqlite : 0.0);
}

inline void print_header(int width, const char* title) {
  std::printf("%-*s %10s %10s %8s\n", width, title, "engine s", "sqlite s", "ratio");
}

// Argument n as a count, or the default.
inline long arg_count(int argc, char** argv, int n, long fallback) {
  return argc > n ? std::atol(argv[n]) : fallback;
}

inline double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  size_t m = v.size() / 2;
  return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}

// Figures of repeated runs: medians of both times, the median ratio and the
// spread of the ratios over the runs.
struct Figure {
  std::vector<double> engine, sqlite;
  void add(double e, double s) {
    engine.push_back(e);
    sqlite.push_back(s);
  }
};

inline void print_figure(int width, const char* what, const Figure& f) {
  std::vector<double> ratios;
  for (size_t i = 0; i < f.engine.size(); i++)
    ratios.push_back(f.sqlite[i] > 0 ? f.engine[i] / f.sqlite[i] : 0.0);
  auto [lo, hi] = std::minmax_element(ratios.begin(), ratios.end());
  std::printf("%-*s %10.3f %10.3f %8.2f  (runs %.2f-%.2f)\n", width, what, median(f.engine),
              median(f.sqlite), median(ratios), ratios.empty() ? 0 : *lo, ratios.empty() ? 0 : *hi);
}

}  // namespace kvbench
