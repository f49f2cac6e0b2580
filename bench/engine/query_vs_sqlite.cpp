// Filtered queries against SQLite in one run, over program rows: a filter on
// a tagged field (with the bitmap optimiser on and off, and with its tag
// selected), the same filter sorted by name, and a filter on a field without
// a tag, which must scan. SQLite gets an index on the tagged column only,
// the id as its integer primary key, a one-thread connection, and a memory
// map and a page cache that hold the whole table. Both load their rows
// untimed, in one transaction or under one file lock. Every repetition of
// every run compares the ids both delivered (in order where sorted by name,
// as sets otherwise) and fails when they differ. The side that runs first
// alternates between runs.
// Usage: [rows] [runs] (100,000 rows and 5 runs by default); each run times
// every set of queries 7 times and keeps its median; prints the medians of
// both times over the runs, the median ratio and the spread of the ratios.
#include <sqlite3.h>

#include "bench_common.h"
#include <unistd.h>

#include "bench/outputs.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/data.h"
#include "engine/engine_api.h"
#include "engine/relate.h"

namespace {

long kRows = 100000;
constexpr int kQueries = 20;  // each query runs with these many constants
constexpr int kRepeats = 7;   // each set of queries runs this often; its median time counts

using kvbench::seconds_since;

std::string name_of(long i) { return kvbench::name_of(i, kRows); }

long cust_of(long i) { return (i * 31) % 500; }
long mach_of(long i) { return (i * 17) % 500; }

// The sets of queries each side runs, in this order.
enum QuerySet { kTagged, kTaggedSelected, kTaggedSorted, kTaggedPlain, kUntagged, kQuerySets };
const char* const kQuerySetNames[kQuerySets] = {"tagged field", "tagged field, its tag selected",
                                                "tagged field sorted by name", "tagged field, optimiser off",
                                                "untagged field"};

struct Times {
  double tagged, tagged_selected, tagged_plain, tagged_sorted, untagged;
  long rows_tagged, rows_untagged;
  std::vector<long> ids[kQuerySets][kRepeats];  // delivered by each repetition of each set
};

// The ids as text, one a line; sorted unless the order is part of the
// result.
std::string ids_text(std::vector<long> ids, bool ordered) {
  if (!ordered) std::sort(ids.begin(), ids.end());
  std::string text;
  for (long id : ids) text.append(std::to_string(id)).push_back('\n');
  return text;
}

// Rows delivered by the filters "<field> = k" for the first kQueries values
// of k; the median time of kRepeats runs of them.
long engine_queries(DbDataFile* d, const char* field, const char* sort, double* seconds,
                    std::vector<long> (&ids)[kRepeats]) {
  long rows = 0;
  std::vector<double> times;
  DbField* id = data_field_at(d, 1);
  for (int rep = 0; rep < kRepeats; rep++) {
    rows = 0;
    auto t0 = std::chrono::steady_clock::now();
    for (int k = 0; k < kQueries; k++) {
      char filter[64];
      std::snprintf(filter, sizeof filter, "%s = %d", field, k * 7);
      DbRelation* r = relate_init(d);
      relate_query_set(r, filter);
      if (sort) relate_sort_set(r, sort);
      for (int rc = relate_top(r); rc == 0; rc = relate_skip(r, 1)) {
        rows++;
        ids[rep].push_back(field_long(id));
      }
      relate_free(r, 0);
    }
    times.push_back(seconds_since(t0));
  }
  *seconds = kvbench::median(times);
  return rows;
}

Times run_engine(const std::string& dir) {
  DbEngine c;
  c.silent_errors = 1;
  static const DbFieldInfo fields[] = {{"ID", 'N', 10, 0},   {"NAME", 'C', 20, 0},
                                       {"CUST", 'N', 6, 0},  {"MACH", 'N', 6, 0},
                                       {"DESC", 'C', 40, 0}, {nullptr, 0, 0, 0}};
  static const DbTagInfo tags[] = {{"CUST", "CUST", nullptr, 0, 0},
                                   {nullptr, nullptr, nullptr, 0, 0}};
  Times t{};
  DbDataFile* d = data_create(&c, (dir + "/PROGS.DBF").c_str(), fields, tags);
  if (!d) {
    std::fprintf(stderr, "engine: create failed (%d)\n", code_error_get(&c));
    return t;
  }
  // Set-up, untimed: one whole-file lock around the bulk append, as a
  // station loading many rows would hold it.
  data_lock_file(d);
  data_lock_index(d);
  for (long i = 0; i < kRows; i++) {
    data_append_start(d, 0);
    data_blank(d);
    field_assign_long(data_field_at(d, 1), i + 1);
    field_assign(data_field_at(d, 2), name_of(i).c_str());
    field_assign_long(data_field_at(d, 3), cust_of(i));
    field_assign_long(data_field_at(d, 4), mach_of(i));
    field_assign(data_field_at(d, 5), "SPINDLE HOUSING, SECOND OPERATION");
    if (data_append(d) != 0) {
      std::fprintf(stderr, "engine: append failed at %ld (%d)\n", i, code_error_get(&c));
      break;
    }
  }
  data_unlock(d);
  t.rows_tagged = engine_queries(d, "CUST", nullptr, &t.tagged, t.ids[kTagged]);
  data_tag_select(d, data_tag_find(d, "CUST"));
  engine_queries(d, "CUST", nullptr, &t.tagged_selected, t.ids[kTaggedSelected]);
  data_tag_select(d, nullptr);
  engine_queries(d, "CUST", "NAME", &t.tagged_sorted, t.ids[kTaggedSorted]);
  c.optimise_off = 1;
  engine_queries(d, "CUST", nullptr, &t.tagged_plain, t.ids[kTaggedPlain]);
  c.optimise_off = 0;
  t.rows_untagged = engine_queries(d, "MACH", nullptr, &t.untagged, t.ids[kUntagged]);
  data_close(d);
  return t;
}

long sqlite_queries(sqlite3* db, const char* sql, double* seconds, std::vector<long> (&ids)[kRepeats]) {
  long rows = 0;
  std::vector<double> times;
  for (int rep = 0; rep < kRepeats; rep++) {
    rows = 0;
    auto t0 = std::chrono::steady_clock::now();
    sqlite3_stmt* q = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &q, nullptr);
    for (int k = 0; k < kQueries; k++) {
      sqlite3_bind_int64(q, 1, k * 7);
      while (sqlite3_step(q) == SQLITE_ROW) {
        rows++;
        ids[rep].push_back(long(sqlite3_column_int64(q, 0)));
      }
      sqlite3_reset(q);
    }
    sqlite3_finalize(q);
    times.push_back(seconds_since(t0));
  }
  *seconds = kvbench::median(times);
  return rows;
}

Times run_sqlite(const std::string& dir) {
  Times t{};
  sqlite3* db = kvbench::open_sqlite(dir + "/bench.sqlite");
  if (!db) return t;
  sqlite3_exec(db,
               "PRAGMA synchronous = OFF;"
               "CREATE TABLE progs(id INTEGER PRIMARY KEY, name TEXT, cust INTEGER, mach INTEGER, descr TEXT);"
               "CREATE INDEX progs_cust ON progs(cust);",
               nullptr, nullptr, nullptr);
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  sqlite3_stmt* ins = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO progs VALUES(?, ?, ?, ?, ?)", -1, &ins, nullptr);
  for (long i = 0; i < kRows; i++) {
    std::string n = name_of(i);
    sqlite3_bind_int64(ins, 1, i + 1);
    sqlite3_bind_text(ins, 2, n.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int64(ins, 3, cust_of(i));
    sqlite3_bind_int64(ins, 4, mach_of(i));
    sqlite3_bind_text(ins, 5, "SPINDLE HOUSING, SECOND OPERATION", -1, SQLITE_STATIC);
    sqlite3_step(ins);
    sqlite3_reset(ins);
  }
  sqlite3_finalize(ins);
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  const char* cols = "SELECT id, name, cust, mach, descr FROM progs";
  std::string tagged = std::string(cols) + " WHERE cust = ?";
  std::string sorted = tagged + " ORDER BY name";
  std::string untagged = std::string(cols) + " WHERE mach = ?";
  t.rows_tagged = sqlite_queries(db, tagged.c_str(), &t.tagged, t.ids[kTagged]);
  sqlite_queries(db, (tagged + " ORDER BY cust").c_str(), &t.tagged_selected, t.ids[kTaggedSelected]);
  sqlite_queries(db, sorted.c_str(), &t.tagged_sorted, t.ids[kTaggedSorted]);
  sqlite_queries(db, "SELECT id, name, cust, mach, descr FROM progs NOT INDEXED WHERE cust = ?",
                 &t.tagged_plain, t.ids[kTaggedPlain]);
  t.rows_untagged = sqlite_queries(db, untagged.c_str(), &t.untagged, t.ids[kUntagged]);
  sqlite3_close(db);
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  kRows = kvbench::arg_count(argc, argv, 1, 100000);
  long runs = kvbench::arg_count(argc, argv, 2, 5);
  if (kRows < 1 || runs < 1) return 2;
  kvbench::Figure tagged, selected, sorted, plain, untagged;
  bool same = true;
  for (long run = 0; run < runs; run++) {
    auto dir = kvbench::scratch_dir("query");
    Times e{}, s{};
    for (int side = 0; side < 2; side++)
      if ((side == 0) != kvbench::peer_first(run))
        e = run_engine(dir.string());
      else
        s = run_sqlite(dir.string());
    std::filesystem::remove_all(dir);
    tagged.add(e.tagged, s.tagged);
    selected.add(e.tagged_selected, s.tagged_selected);
    sorted.add(e.tagged_sorted, s.tagged_sorted);
    plain.add(e.tagged_plain, s.tagged_plain);
    untagged.add(e.untagged, s.untagged);
    for (int set = 0; set < kQuerySets; set++)
      for (int rep = 0; rep < kRepeats; rep++)
        kvbench::same_bytes("run " + std::to_string(run + 1) + ", " + kQuerySetNames[set] + ", repetition " +
                                std::to_string(rep + 1) + ": ids delivered",
                            ids_text(e.ids[set][rep], set == kTaggedSorted),
                            ids_text(s.ids[set][rep], set == kTaggedSorted), rep + 1 < kRepeats);
    if (e.rows_tagged != s.rows_tagged || e.rows_untagged != s.rows_untagged) {
      std::printf("rows delivered: engine %ld + %ld, sqlite %ld + %ld\n", e.rows_tagged,
                  e.rows_untagged, s.rows_tagged, s.rows_untagged);
      same = false;
    }
  }
  char title[64];
  std::snprintf(title, sizeof title, "%ld rows, 20 queries x 7 each, %ld runs", kRows, runs);
  kvbench::print_header(40, title);
  kvbench::print_figure(40, "tagged field (bitmap; sqlite index)", tagged);
  kvbench::print_figure(40, "tagged field, its tag selected", selected);
  kvbench::print_figure(40, "tagged field sorted by name", sorted);
  kvbench::print_figure(40, "tagged field, optimiser off (no index)", plain);
  kvbench::print_figure(40, "untagged field (scan)", untagged);
  return same ? kvbench::verdict() : 1;
}
