// Production indexes against SQLite in one run: appends to a table with
// three tags, 100,000 random seeks by id, a full walk in name order
// (unlocked and locked) and a reindex. SQLite as a careful user sets it up
// for this work: the id its integer primary key (seeks go straight to the
// row), indexes on name and quantity, a one-thread connection, a memory map
// and a page cache that hold the whole table and its indexes, the appends
// in one transaction with one prepared statement under its rollback
// journal, and no sync to disk at the commit (the engine's append is timed
// with its unlock, which brings the table and its index to the disk). The
// engine's reindex brings the new index to the disk too: SQLite's REINDEX
// is timed without a sync and again with synchronous FULL.
// Every run compares what both delivered: the name of the row each seek
// found and the ids of the walk in name order must be equal, or the run
// fails.
// The side that runs first alternates between runs.
// Usage: [rows] [runs] (100,000 rows and 5 runs by default); prints the
// medians of both times, the median ratio and the spread of the ratios.
#include <sqlite3.h>

#include "bench_common.h"
#include <unistd.h>

#include "bench/outputs.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "engine/data.h"
#include "engine/engine_api.h"
#include "engine/lock.h"

namespace {

long kRows = 100000;
constexpr long kProbes = 100000;

struct Times {
  double append, seek, seek_locked, walk, walk_locked, reindex, reindex_synced;
};

// What a side delivered: the names its seeks found, '\n' after each, and
// the ids of its walk in name order; unlocked and locked.
struct Delivered {
  std::string names[2];
  std::vector<long> walked[2];
  void name(bool locked, const char* text, size_t n) {
    while (n > 0 && text[n - 1] == ' ') --n;  // a character field is padded with blanks
    names[locked].append(text, n).push_back('\n');
  }
};

std::string ids_text(const std::vector<long>& ids) {
  std::string text;
  for (long id : ids) text.append(std::to_string(id)).push_back('\n');
  return text;
}

using kvbench::seconds_since;

std::string name_of(long i) { return kvbench::name_of(i, kRows); }

Times run_engine(const std::string& dir, const std::vector<long>& probes, long* found, Delivered& out) {
  DbEngine c;
  c.silent_errors = 1;
  static const DbFieldInfo fields[] = {
      {"ID", 'N', 10, 0}, {"NAME", 'C', 20, 0}, {"QTY", 'N', 10, 2}, {nullptr, 0, 0, 0}};
  static const DbTagInfo tags[] = {{"ID", "ID", nullptr, 20, 0},
                                   {"NAME", "NAME", nullptr, 0, 0},
                                   {"QTY", "QTY", nullptr, 0, 0},
                                   {nullptr, nullptr, nullptr, 0, 0}};
  Times t{};
  DbDataFile* d = data_create(&c, (dir + "/BENCH.DBF").c_str(), fields, tags);
  if (!d) {
    std::fprintf(stderr, "engine: create failed (%d)\n", code_error_get(&c));
    return t;
  }
  auto t0 = std::chrono::steady_clock::now();
  data_lock_file(d);
  data_lock_index(d);
  for (long i = 0; i < kRows; i++) {
    data_append_start(d, 0);
    data_blank(d);
    field_assign_long(data_field_at(d, 1), i + 1);
    field_assign(data_field_at(d, 2), name_of(i).c_str());
    field_assign_double(data_field_at(d, 3), double(i % 1000) / 4);
    if (data_append(d) != 0) {
      std::fprintf(stderr, "engine: append failed at %ld (%d)\n", i, code_error_get(&c));
      break;
    }
  }
  data_unlock(d);
  t.append = seconds_since(t0);

  t0 = std::chrono::steady_clock::now();
  data_tag_select(d, data_tag_find(d, "ID"));
  DbField* name = data_field_at(d, 2);
  DbField* idField = data_field_at(d, 1);
  for (long id : probes)
    if (data_seek_double(d, double(id)) == 0) {
      ++*found;
      out.name(false, field_ptr(name), field_len(name));
    }
  t.seek = seconds_since(t0);

  t0 = std::chrono::steady_clock::now();
  data_lock_file(d);
  data_lock_index(d);
  for (long id : probes)
    if (data_seek_double(d, double(id)) == 0) out.name(true, field_ptr(name), field_len(name));
  data_unlock(d);
  t.seek_locked = seconds_since(t0);

  t0 = std::chrono::steady_clock::now();
  data_tag_select(d, data_tag_find(d, "NAME"));
  for (int rc = data_top(d); rc == 0; rc = data_skip(d, 1)) out.walked[0].push_back(field_long(idField));
  t.walk = seconds_since(t0);

  t0 = std::chrono::steady_clock::now();
  data_lock_file(d);
  data_lock_index(d);
  for (int rc = data_top(d); rc == 0; rc = data_skip(d, 1)) out.walked[1].push_back(field_long(idField));
  data_unlock(d);
  t.walk_locked = seconds_since(t0);

  t0 = std::chrono::steady_clock::now();
  if (data_reindex(d) != 0) std::fprintf(stderr, "engine: reindex failed (%d)\n", code_error_get(&c));
  data_unlock(d);
  t.reindex = seconds_since(t0);
  data_close(d);
  return t;
}

Times run_sqlite(const std::string& dir, const std::vector<long>& probes, long* found, Delivered& out,
                 long long* mmap_bytes) {
  Times t{};
  sqlite3* db = kvbench::open_sqlite(dir + "/bench.sqlite");
  if (!db) return t;
  *mmap_bytes = kvbench::sqlite_mmap_size(db);
  sqlite3_exec(db,
               "PRAGMA synchronous = OFF;"
               "CREATE TABLE parts(id INTEGER PRIMARY KEY, name TEXT, qty REAL);"
               "CREATE INDEX parts_name ON parts(name);"
               "CREATE INDEX parts_qty ON parts(qty);",
               nullptr, nullptr, nullptr);
  auto t0 = std::chrono::steady_clock::now();
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  sqlite3_stmt* ins = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO parts VALUES(?, ?, ?)", -1, &ins, nullptr);
  for (long i = 0; i < kRows; i++) {
    std::string n = name_of(i);
    sqlite3_bind_int64(ins, 1, i + 1);
    sqlite3_bind_text(ins, 2, n.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_double(ins, 3, double(i % 1000) / 4);
    sqlite3_step(ins);
    sqlite3_reset(ins);
  }
  sqlite3_finalize(ins);
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  t.append = seconds_since(t0);

  // Each seek its own read transaction, as the engine's unlocked seeks
  // take their lock each; then all in one, as under the engine's file lock.
  sqlite3_stmt* sel = nullptr;
  sqlite3_prepare_v2(db, "SELECT id, name, qty FROM parts WHERE id = ?", -1, &sel, nullptr);
  for (int locked = 0; locked < 2; locked++) {
    t0 = std::chrono::steady_clock::now();
    if (locked) sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    for (long id : probes) {
      sqlite3_bind_int64(sel, 1, id);
      if (sqlite3_step(sel) == SQLITE_ROW) {
        if (!locked) ++*found;
        out.name(locked, reinterpret_cast<const char*>(sqlite3_column_text(sel, 1)),
                 size_t(sqlite3_column_bytes(sel, 1)));
      }
      sqlite3_reset(sel);
    }
    if (locked) sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    (locked ? t.seek_locked : t.seek) = seconds_since(t0);
  }
  sqlite3_finalize(sel);

  // The walk as one statement, then inside an explicit read transaction,
  // as under the engine's file lock.
  for (int locked = 0; locked < 2; locked++) {
    t0 = std::chrono::steady_clock::now();
    if (locked) sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* walk = nullptr;
    sqlite3_prepare_v2(db, "SELECT id, name, qty FROM parts ORDER BY name", -1, &walk, nullptr);
    while (sqlite3_step(walk) == SQLITE_ROW) out.walked[locked].push_back(long(sqlite3_column_int64(walk, 0)));
    sqlite3_finalize(walk);
    if (locked) sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    (locked ? t.walk_locked : t.walk) = seconds_since(t0);
  }
  t0 = std::chrono::steady_clock::now();
  sqlite3_exec(db, "REINDEX", nullptr, nullptr, nullptr);
  t.reindex = seconds_since(t0);
  // Once more with its commit brought to the disk, as the engine's rebuilt
  // index is before its backup goes.
  sqlite3_exec(db, "PRAGMA synchronous = FULL", nullptr, nullptr, nullptr);
  t0 = std::chrono::steady_clock::now();
  sqlite3_exec(db, "REINDEX", nullptr, nullptr, nullptr);
  t.reindex_synced = seconds_since(t0);
  sqlite3_close(db);
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  kRows = kvbench::arg_count(argc, argv, 1, 100000);
  long runs = kvbench::arg_count(argc, argv, 2, 5);
  if (kRows < 1 || runs < 1) return 2;
  std::mt19937 rng(42);
  std::vector<long> probes(kProbes);
  for (long& p : probes) p = 1 + long(rng() % unsigned(kRows));
  kvbench::Figure append, seek, seek_locked, walk, walk_locked, reindex, reindex_synced;
  bool all_found = true;
  long long mmap_bytes = 0;
  for (long run = 0; run < runs; run++) {
    auto dir = kvbench::scratch_dir("index");
    long found_engine = 0, found_sqlite = 0;
    Delivered by_engine, by_sqlite;
    for (Delivered* side : {&by_engine, &by_sqlite})
      for (auto& w : side->walked) w.reserve(size_t(kRows));
    Times e{}, s{};
    for (int side = 0; side < 2; side++)
      if ((side == 0) != kvbench::peer_first(run))
        e = run_engine(dir.string(), probes, &found_engine, by_engine);
      else
        s = run_sqlite(dir.string(), probes, &found_sqlite, by_sqlite, &mmap_bytes);
    for (int locked = 0; locked < 2; locked++) {
      const std::string what = "run " + std::to_string(run + 1) + (locked ? ", file locked" : "");
      kvbench::same_bytes(what + ": rows found by the seeks", by_engine.names[locked], by_sqlite.names[locked]);
      kvbench::same_bytes(what + ": ids of the walk in name order", ids_text(by_engine.walked[locked]),
                          ids_text(by_sqlite.walked[locked]));
    }
    std::filesystem::remove_all(dir);
    append.add(e.append, s.append);
    seek.add(e.seek, s.seek);
    seek_locked.add(e.seek_locked, s.seek_locked);
    walk.add(e.walk, s.walk);
    walk_locked.add(e.walk_locked, s.walk_locked);
    reindex.add(e.reindex, s.reindex);
    reindex_synced.add(e.reindex, s.reindex_synced);
    if (found_engine != kProbes || found_sqlite != kProbes) {
      std::printf("found by seek: engine %ld, sqlite %ld\n", found_engine, found_sqlite);
      all_found = false;
    }
  }
  std::printf("sqlite: one-thread connection, memory map of %lld MB\n", mmap_bytes >> 20);
  char title[64];
  std::snprintf(title, sizeof title, "%ld rows, 3 indexes, %ld runs", kRows, runs);
  kvbench::print_header(34, title);
  kvbench::print_figure(34, "append (file locked)", append);
  kvbench::print_figure(34, "100,000 random seeks by id", seek);
  kvbench::print_figure(34, "100,000 seeks, file locked", seek_locked);
  kvbench::print_figure(34, "full walk in name order", walk);
  kvbench::print_figure(34, "walk in name order, file locked", walk_locked);
  kvbench::print_figure(34, "reindex", reindex);
  kvbench::print_figure(34, "reindex, SQLite synchronous FULL", reindex_synced);
  return all_found ? kvbench::verdict() : 1;
}
