// Production indexes against SQLite in one run: 100,000 appends to a table
// with three tags (SQLite: three indexes, one transaction), 100,000 random
// seeks by id, and a full walk in name order. Prints both times and the ratio.
#include <sqlite3.h>

#include "bench_common.h"
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "engine/data.h"
#include "engine/lock.h"

namespace {

constexpr long kRows = 100000;

struct Times {
  double append, seek, seek_locked, walk, reindex;
};

using kvbench::seconds_since;

std::string name_of(long i) { return kvbench::name_of(i, kRows); }

Times run_engine(const std::string& dir, const std::vector<long>& probes, long* found) {
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
  for (long id : probes)
    if (data_seek_double(d, double(id)) == 0) ++*found;
  t.seek = seconds_since(t0);

  t0 = std::chrono::steady_clock::now();
  data_lock_file(d);
  data_lock_index(d);
  for (long id : probes)
    if (data_seek_double(d, double(id)) != 0) std::fprintf(stderr, "engine: locked seek missed %ld\n", id);
  data_unlock(d);
  t.seek_locked = seconds_since(t0);

  t0 = std::chrono::steady_clock::now();
  data_tag_select(d, data_tag_find(d, "NAME"));
  long walked = 0;
  for (int rc = data_top(d); rc == 0; rc = data_skip(d, 1)) walked++;
  t.walk = seconds_since(t0);
  if (walked != kRows) std::fprintf(stderr, "engine: walked %ld rows\n", walked);
  t0 = std::chrono::steady_clock::now();
  if (data_reindex(d) != 0) std::fprintf(stderr, "engine: reindex failed (%d)\n", code_error_get(&c));
  data_unlock(d);
  t.reindex = seconds_since(t0);
  data_close(d);
  return t;
}

Times run_sqlite(const std::string& dir, const std::vector<long>& probes, long* found) {
  Times t{};
  sqlite3* db = nullptr;
  if (sqlite3_open((dir + "/bench.sqlite").c_str(), &db) != SQLITE_OK) return t;
  sqlite3_exec(db,
               "CREATE TABLE parts(id INTEGER, name TEXT, qty REAL);"
               "CREATE UNIQUE INDEX parts_id ON parts(id);"
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

  t0 = std::chrono::steady_clock::now();
  sqlite3_stmt* sel = nullptr;
  sqlite3_prepare_v2(db, "SELECT id, name, qty FROM parts WHERE id = ?", -1, &sel, nullptr);
  for (long id : probes) {
    sqlite3_bind_int64(sel, 1, id);
    if (sqlite3_step(sel) == SQLITE_ROW) ++*found;
    sqlite3_reset(sel);
  }
  sqlite3_finalize(sel);
  t.seek = seconds_since(t0);
  t.seek_locked = t.seek;  // one connection: its seeks are the same either way

  t0 = std::chrono::steady_clock::now();
  sqlite3_stmt* walk = nullptr;
  sqlite3_prepare_v2(db, "SELECT id, name, qty FROM parts ORDER BY name", -1, &walk, nullptr);
  long walked = 0;
  while (sqlite3_step(walk) == SQLITE_ROW) walked++;
  sqlite3_finalize(walk);
  t.walk = seconds_since(t0);
  if (walked != kRows) std::fprintf(stderr, "sqlite: walked %ld rows\n", walked);
  t0 = std::chrono::steady_clock::now();
  sqlite3_exec(db, "REINDEX", nullptr, nullptr, nullptr);
  t.reindex = seconds_since(t0);
  sqlite3_close(db);
  return t;
}

}  // namespace

int main() {
  auto dir = kvbench::scratch_dir("index");
  std::mt19937 rng(42);
  std::vector<long> probes(kRows);
  for (long& p : probes) p = 1 + long(rng() % unsigned(kRows));
  long found_engine = 0, found_sqlite = 0;
  Times e = run_engine(dir.string(), probes, &found_engine);
  Times s = run_sqlite(dir.string(), probes, &found_sqlite);
  std::filesystem::remove_all(dir);
  kvbench::print_header(28, "100,000 rows, three indexes");
  auto row = [](const char* what, double a, double b) { kvbench::print_row(28, what, a, b); };
  row("append", e.append, s.append);
  row("random seeks by id", e.seek, s.seek);
  row("random seeks, file locked", e.seek_locked, s.seek_locked);
  row("full walk in name order", e.walk, s.walk);
  row("reindex", e.reindex, s.reindex);
  std::printf("found by seek: engine %ld, sqlite %ld\n", found_engine, found_sqlite);
  return found_engine == kRows && found_sqlite == kRows ? 0 : 1;
}
