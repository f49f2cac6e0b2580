// Expression evaluation over the rows of a table, beside SQLite evaluating
// the same expressions over the same rows in the same run: a typical list
// filter, the key of a character tag, and a numeric expression, each over
// 100,000 rows walked in record order (the engine's table locked, SQLite in
// one read transaction with a page cache that holds the whole table, its
// statement prepared once). Each side keeps what it computed (the records
// the filter took, every key, every number) and the two must be equal, or
// the run fails. Parsing the filter is measured apart, beside SQLite
// preparing a statement of the same filter.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/outputs.h"
#include "engine/data.h"
#include "engine/engine_api.h"
#include "engine/expr.h"

namespace {

constexpr long kRows = 100000;

const char* const kFilter = "'FLANGE' $ UPPER(DESC) .AND. CUST = 4711 .AND. DUE > STOD('20240101')";
const char* const kFilterSql = "instr(upper(DESC), 'FLANGE') > 0 AND CUST = 4711 AND DUE > '20240101'";
const char* const kKey = "UPPER(TRIM(DESC)) + DTOS(DUE)";
const char* const kNumber = "CUST / 4 + 1000";
const char* const kNumberSql = "CUST / 4.0 + 1000";

const char* const kDescs[] = {"shaft flange, second operation", "bracket, first operation", "Flange plate 4",
                              "housing cover", "gear blank, roughing", "spacer ring flange side"};

struct Row {
  std::string desc, due;
  long cust;
};

Row RowOf(long i) {
  char due[16];
  std::snprintf(due, sizeof due, "%04ld%02ld%02ld", 2023 + i % 2, 1 + i % 12, 1 + i % 28);
  return {kDescs[i % 6] + std::string(i % 7 == 0 ? " " : "") + (i % 5 ? "" : " rev B"), due, 4700 + i % 17};
}

// The same rows in a table of ours and in an SQLite database.
struct Tables {
  DbEngine ctx;
  DbDataFile* d = nullptr;
  sqlite3* db = nullptr;
  std::string dir;

  Tables() {
    ctx.silent_errors = 1;
    std::string tmpl = (kvbench::scratch_root() / "kv_expr_bench_XXXXXX").string();
    if (!mkdtemp(tmpl.data())) std::abort();
    dir = tmpl;
    static const DbFieldInfo fields[] = {{"DESC", 'C', 40, 0}, {"CUST", 'N', 10, 0},
                                         {"DUE", 'D', 8, 0}, {nullptr, 0, 0, 0}};
    d = data_create(&ctx, (dir + "/PROGS.DBF").c_str(), fields, nullptr);
    if (!d || sqlite3_open((dir + "/progs.db").c_str(), &db) != SQLITE_OK) std::abort();
    sqlite3_exec(db,
                 "PRAGMA synchronous=OFF; PRAGMA cache_size=-200000;"
                 "CREATE TABLE t(DESC TEXT, CUST INTEGER, DUE TEXT); BEGIN",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt* add = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO t VALUES(?, ?, ?)", -1, &add, nullptr);
    // The table locked whole: the rows reach the disk once, at the unlock.
    if (data_lock_file(d) != 0) std::abort();
    for (long i = 0; i < kRows; ++i) {
      Row r = RowOf(i);
      if (data_append_start(d, 0) != 0) std::abort();
      field_assign(data_field_named(d, "DESC"), r.desc.c_str());
      field_assign_long(data_field_named(d, "CUST"), r.cust);
      field_assign(data_field_named(d, "DUE"), r.due.c_str());
      if (data_append(d) != 0) std::abort();
      sqlite3_bind_text(add, 1, r.desc.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_int64(add, 2, r.cust);
      sqlite3_bind_text(add, 3, r.due.c_str(), -1, SQLITE_TRANSIENT);
      if (sqlite3_step(add) != SQLITE_DONE) std::abort();
      sqlite3_reset(add);
    }
    sqlite3_finalize(add);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    if (data_unlock(d) != 0) std::abort();
  }
  ~Tables() {
    sqlite3_close(db);
    code_close_all(&ctx);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
};

Tables& TheTables() {
  static Tables t;
  return t;
}

// What a side computed.
struct Results {
  std::vector<long> taken;
  std::string keys;
  std::vector<double> numbers;
  void clear() {
    taken.clear();
    keys.clear();
    numbers.clear();
  }
};

enum class Work { filter, key, number };

// Ours: every record read in turn, the expression evaluated on it.
bool RunOurs(DbDataFile* d, DbExpr* e, Work work, Results& out) {
  out.clear();
  for (int rc = data_top(d); rc == 0; rc = data_skip(d, 1)) {
    if (work == Work::filter) {
      if (expr_true(e) > 0) out.taken.push_back(data_recno(d));
    } else if (work == Work::key) {
      char* key = nullptr;
      int n = expr_key_eval(e, &key);
      if (n < 0) return false;
      out.keys.append(key, static_cast<size_t>(n));
    } else {
      out.numbers.push_back(expr_double(e));
    }
  }
  return true;
}

// SQLite: the same expression in one statement over the table, stepped
// through every row it gives.
bool RunPeer(sqlite3_stmt* q, Work work, Results& out) {
  out.clear();
  int rc;
  while ((rc = sqlite3_step(q)) == SQLITE_ROW) {
    if (work == Work::filter) out.taken.push_back(static_cast<long>(sqlite3_column_int64(q, 0)));
    else if (work == Work::key)
      out.keys.append(reinterpret_cast<const char*>(sqlite3_column_text(q, 0)),
                      static_cast<size_t>(sqlite3_column_bytes(q, 0)));
    else out.numbers.push_back(sqlite3_column_double(q, 0));
  }
  sqlite3_reset(q);
  return rc == SQLITE_DONE;
}

const char* OurText(Work work) { return work == Work::filter ? kFilter : work == Work::key ? kKey : kNumber; }

std::string PeerText(Work work) {
  if (work == Work::filter) return std::string("SELECT rowid FROM t WHERE ") + kFilterSql;
  if (work == Work::number) return std::string("SELECT ") + kNumberSql + " FROM t";
  // The key is padded to its tag's length, as a tag keeps it.
  DbExpr* e = expr_parse(TheTables().d, kKey);
  const std::string n = std::to_string(e ? expr_key_len(e) : 0);
  if (e) expr_free(e);
  return "SELECT substr(upper(rtrim(DESC)) || DUE || printf('%" + n + "s', ''), 1, " + n + ") FROM t";
}

// Each side's results once, outside the timing, compared.
void Compare(benchmark::State& state, Work work) {
  Tables& t = TheTables();
  Results ours, peer;
  DbExpr* e = expr_parse(t.d, OurText(work));
  sqlite3_stmt* q = nullptr;
  bool ran = e && data_lock_file(t.d) == 0 && RunOurs(t.d, e, work, ours);
  data_unlock(t.d);
  if (e) expr_free(e);
  ran = ran && sqlite3_prepare_v2(t.db, PeerText(work).c_str(), -1, &q, nullptr) == SQLITE_OK && RunPeer(q, work, peer);
  sqlite3_finalize(q);
  if (!ran) return kvbench::fail(state, "a side did not complete");
  const bool same = work == Work::filter ? ours.taken == peer.taken && !ours.taken.empty()
                    : work == Work::key  ? kvbench::same_bytes("character keys", ours.keys, peer.keys, true)
                                         : ours.numbers == peer.numbers;
  if (work == Work::filter) state.counters["rows_taken"] = static_cast<double>(ours.taken.size());
  if (!same) kvbench::fail(state, "the results differ from SQLite's");
}

void Ours(benchmark::State& state, Work work) {
  Tables& t = TheTables();
  DbExpr* e = expr_parse(t.d, OurText(work));
  if (!e) return kvbench::fail(state, "the expression did not parse");
  if (data_lock_file(t.d) != 0) return kvbench::fail(state, "the table did not lock");
  Results out;
  for (auto _ : state)
    if (!RunOurs(t.d, e, work, out)) kvbench::fail(state, "an evaluation failed");
  data_unlock(t.d);
  expr_free(e);
  state.SetItemsProcessed(state.iterations() * kRows);
  Compare(state, work);
}

void Peer(benchmark::State& state, Work work) {
  Tables& t = TheTables();
  sqlite3_stmt* q = nullptr;
  if (sqlite3_prepare_v2(t.db, PeerText(work).c_str(), -1, &q, nullptr) != SQLITE_OK)
    return kvbench::fail(state, std::string("SQLite: ") + sqlite3_errmsg(t.db));
  sqlite3_exec(t.db, "BEGIN", nullptr, nullptr, nullptr);
  Results out;
  for (auto _ : state)
    if (!RunPeer(q, work, out)) kvbench::fail(state, std::string("SQLite: ") + sqlite3_errmsg(t.db));
  sqlite3_exec(t.db, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_finalize(q);
  state.SetItemsProcessed(state.iterations() * kRows);
  Compare(state, work);
}

void BM_Filter(benchmark::State& s) { Ours(s, Work::filter); }
void BM_SqliteFilter(benchmark::State& s) { Peer(s, Work::filter); }
void BM_CharacterKey(benchmark::State& s) { Ours(s, Work::key); }
void BM_SqliteCharacterKey(benchmark::State& s) { Peer(s, Work::key); }
void BM_Number(benchmark::State& s) { Ours(s, Work::number); }
void BM_SqliteNumber(benchmark::State& s) { Peer(s, Work::number); }

void BM_Parse(benchmark::State& state) {
  Tables& t = TheTables();
  for (auto _ : state) {
    DbExpr* e = expr_parse(t.d, kFilter);
    if (!e) return kvbench::fail(state, "the filter did not parse");
    benchmark::DoNotOptimize(e);
    expr_free(e);
  }
}

void BM_SqlitePrepare(benchmark::State& state) {
  Tables& t = TheTables();
  const std::string sql = std::string("SELECT rowid FROM t WHERE ") + kFilterSql;
  for (auto _ : state) {
    sqlite3_stmt* q = nullptr;
    if (sqlite3_prepare_v2(t.db, sql.c_str(), -1, &q, nullptr) != SQLITE_OK)
      return kvbench::fail(state, "SQLite did not prepare the filter");
    sqlite3_finalize(q);
  }
}

#define KV_EXPR_BENCH(fn) KV_BENCHMARK(fn, 5)->Unit(benchmark::kMillisecond)
KV_EXPR_BENCH(BM_Filter);
KV_EXPR_BENCH(BM_SqliteFilter);
KV_EXPR_BENCH(BM_CharacterKey);
KV_EXPR_BENCH(BM_SqliteCharacterKey);
KV_EXPR_BENCH(BM_Number);
KV_EXPR_BENCH(BM_SqliteNumber);
KV_BENCHMARK(BM_Parse, 5)->Unit(benchmark::kMicrosecond);
KV_BENCHMARK(BM_SqlitePrepare, 5)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  kvbench::MedianReporter reporter;
  reporter.run(argc, argv);
  std::printf("\n%-16s %10s %10s %7s\n", "100,000 rows", "ours ms", "SQLite ms", "ratio");
  for (const char* what : {"Filter", "CharacterKey", "Number"}) {
    const double ours = reporter.median(std::string("BM_") + what), peer = reporter.median(std::string("BM_Sqlite") + what);
    if (ours > 0 && peer > 0)
      std::printf("%-16s %10.2f %10.2f %7.2f\n", what, ours * 1e3, peer * 1e3, ours / peer);
  }
  const double parse = reporter.median("BM_Parse"), prepare = reporter.median("BM_SqlitePrepare");
  if (parse > 0 && prepare > 0)
    std::printf("%-16s %10.4f %10.4f %7.2f\n", "parse / prepare", parse * 1e3, prepare * 1e3, parse / prepare);
  return kvbench::verdict();
}
