// Replace paths over a program index of 1,000,000 rows (KV_BENCH_ROWS sets
// another size) against SQLite doing the same update on the same rows: one
// transaction, one prepared UPDATE, the same rows and indexes (the program
// id is the index's one tag), synchronous off; and the same synchronous
// FULL, its commit on the disk as our close brings the table there. Half the rows hold the old directory (some of them in lower
// case) and change; the others hold a directory below it or another one.
// Each repetition starts from a fresh copy of the files and includes the
// open and close of the table; after each, every row's directory is
// compared with the other side's latest. Compare the medians: ours should
// take at most the peer's time.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>

#include "bench/dnc/bench_station.h"
#include "bench/outputs.h"
#include "dbmodel/filetable.h"
#include "dbmodel/text_helpers.h"
#include "dbtools/maintenance.h"
#include "dbtools/table_rewrite.h"
#include "engine/engine_api.h"

namespace fs = std::filesystem;

namespace {

long Rows() {
  const char* env = std::getenv("KV_BENCH_ROWS");
  long n = env ? std::atol(env) : 0;
  return n > 0 ? n : 1000000;
}

// The directory of row n: half hold the old one, a tenth of them in lower
// case; the rest a directory below it or another machine's.
const char* DirOf(long n) {
  switch (n % 10) {
    case 0: return "k:\\programs\\mill1\\";
    case 1: case 2: case 3: case 4: return "K:\\PROGRAMS\\MILL1\\";
    case 5: case 6: return "K:\\PROGRAMS\\MILL1\\OLD\\";
    default: return "K:\\PROGRAMS\\LATHE\\";
  }
}

const char* const kOld = "K:\\Programs\\Mill1";
const char* const kNew = "N:\\NC\\MILL1";

struct Station {
  Station() : station("kv_bench_replace") {
    pristine = station.root / "pristine";
    fs::create_directories(pristine);
    // The table class makes the table with its tags; the rows go in under
    // the file's lock, as a bulk import would write them.
    TcbFileTable index("KELVFILE.DBF", 0, 0);
    index.Create(Table().c_str());
    index.Close();
    DbDataFile* d = data_open(DbContext, Table().c_str());
    if (!d || data_lock_file(d) != 0 || data_lock_index(d) != 0) std::abort();
    sqlite3* db = nullptr;
    if (sqlite3_open((pristine / "peer.sqlite").string().c_str(), &db) != SQLITE_OK) std::abort();
    Exec(db, "CREATE TABLE kelvfile(ncid INTEGER, desc TEXT, dir TEXT, name TEXT, ext TEXT, part TEXT, draw TEXT,"
             " cust INTEGER, mid INTEGER, machine TEXT, char3 TEXT);"
             "CREATE UNIQUE INDEX kelvfile_ncid ON kelvfile(ncid);"
             "BEGIN");
    sqlite3_stmt* ins = nullptr;
    if (sqlite3_prepare_v2(db, "INSERT INTO kelvfile VALUES(?,?,?,?,?,?,?,?,?,?,?)", -1, &ins, nullptr) != SQLITE_OK)
      std::abort();
    for (long n = 0; n < rows; ++n) {
      TcbFileRecord r;
      r.NCID = n + 1;
      r.MID = 1 + n % 10;
      r.CUST = 1 + n % 97;
      CopyCut(r.DESC, sizeof r.DESC, FormatText("PRG%07ld", n).c_str());
      CopyCut(r.DIR, sizeof r.DIR, DirOf(n));
      CopyCut(r.NAME, sizeof r.NAME, FormatText("P%ld", r.NCID).c_str());
      CopyCut(r.EXT, sizeof r.EXT, "NC");
      CopyCut(r.PART, sizeof r.PART, FormatText("P-%05ld", n % 7000).c_str());
      CopyCut(r.DRAW, sizeof r.DRAW, FormatText("D-%05ld", n % 9000).c_str());
      CopyCut(r.MACHINE, sizeof r.MACHINE, n % 10 < 7 ? "MILL1" : "LATHE");
      CopyCut(r.CHAR3, sizeof r.CHAR3, FormatText("Flange %ld, second operation", n % 500).c_str());
      if (data_append_start(d, 0) != 0) std::abort();
      data_blank(d);
      const std::pair<int, const char*> texts[] = {{2, r.DESC}, {3, r.DIR},   {4, r.NAME},     {5, r.EXT},
                                                   {6, r.PART}, {7, r.DRAW}, {12, r.MACHINE}, {13, r.CHAR3}};
      for (const auto& [field, text] : texts) field_assign(data_field_at(d, field), text);
      for (const auto& [field, value] : {std::pair<int, long>{1, r.NCID}, {8, r.CUST}, {9, r.MID}})
        field_assign_long(data_field_at(d, field), value);
      if (data_append(d) != 0) std::abort();
      sqlite3_bind_int64(ins, 1, r.NCID);
      sqlite3_bind_text(ins, 2, r.DESC, -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(ins, 3, r.DIR, -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(ins, 4, r.NAME, -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(ins, 5, r.EXT, -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(ins, 6, r.PART, -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(ins, 7, r.DRAW, -1, SQLITE_TRANSIENT);
      sqlite3_bind_int64(ins, 8, r.CUST);
      sqlite3_bind_int64(ins, 9, r.MID);
      sqlite3_bind_text(ins, 10, r.MACHINE, -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(ins, 11, r.CHAR3, -1, SQLITE_TRANSIENT);
      if (sqlite3_step(ins) != SQLITE_DONE) std::abort();
      sqlite3_reset(ins);
    }
    sqlite3_finalize(ins);
    Exec(db, "COMMIT");
    sqlite3_close(db);
    if (data_close(d) != 0) std::abort();
    for (const auto& e : fs::directory_iterator(work()))
      if (e.path().filename().string().rfind("KELVFILE.", 0) == 0) fs::copy_file(e.path(), pristine / e.path().filename());
  }

  static void Exec(sqlite3* db, const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
      std::fprintf(stderr, "sqlite: %s\n", error ? error : "?");
      std::abort();
    }
  }

  // A fresh copy of the pristine files to work on.
  void Fresh() const {
    for (const auto& e : fs::directory_iterator(pristine))
      fs::copy_file(e.path(), work() / e.path().filename(), fs::copy_options::overwrite_existing);
  }
  fs::path work() const { return station.root / "db"; }
  std::string Table() const { return (work() / "KELVFILE.DBF").string(); }
  std::string Peer() const { return (work() / "peer.sqlite").string(); }

  const long rows = Rows();
  kvbench::TBenchStation station;
  fs::path pristine;
};

Station& TheStation() {
  static Station s;
  return s;
}

// Ours: the command's walk over the program index.
long ReplaceOurs(const Station& s) {
  const std::string from = DirectoryKey(kOld), to = DirectoryKey(kNew);
  TRewriteResult r = RewriteTable(s.Table(), kProgramDirField, [&](DbDataFile*, const std::string& text) {
    return ReplacedPath(text, from, to);
  });
  return r.present && r.outcome == TTableOutcome::Done && r.tooLong == 0 ? r.changed : -1;
}

// SQLite: upper() folds ASCII only, as our comparison does. Synced: its
// commit on the disk, as our close brings the table there.
long ReplacePeer(const Station& s, bool synced = false) {
  sqlite3* db = nullptr;
  if (sqlite3_open(s.Peer().c_str(), &db) != SQLITE_OK) return -1;
  Station::Exec(db, synced ? "PRAGMA synchronous=FULL; BEGIN" : "PRAGMA synchronous=OFF; BEGIN");
  sqlite3_stmt* up = nullptr;
  sqlite3_prepare_v2(db, "UPDATE kelvfile SET dir = ?1 WHERE upper(dir) = ?2", -1, &up, nullptr);
  const std::string from = DirectoryKey(kOld), to = DirectoryKey(kNew);
  sqlite3_bind_text(up, 1, to.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(up, 2, from.c_str(), -1, SQLITE_TRANSIENT);
  long changed = sqlite3_step(up) == SQLITE_DONE ? sqlite3_changes(db) : -1;
  sqlite3_finalize(up);
  Station::Exec(db, "COMMIT");
  sqlite3_close(db);
  return changed;
}

// Every row's directory, one a line, in row order.
std::string OurDirs(const Station& s) {
  std::string out;
  DbDataFile* d = data_open(DbContext, s.Table().c_str());
  if (!d) return out;
  data_tag_select(d, nullptr);
  for (int rc = data_top(d); rc == 0; rc = data_skip(d, 1)) out += RowText(d, kProgramDirField) + "\n";
  data_close(d);
  return out;
}

std::string PeerDirs(const Station& s) {
  std::string out;
  sqlite3* db = nullptr;
  if (sqlite3_open(s.Peer().c_str(), &db) != SQLITE_OK) return out;
  sqlite3_stmt* q = nullptr;
  sqlite3_prepare_v2(db, "SELECT dir FROM kelvfile ORDER BY rowid", -1, &q, nullptr);
  while (sqlite3_step(q) == SQLITE_ROW) {
    out += reinterpret_cast<const char*>(sqlite3_column_text(q, 0));
    out += "\n";
  }
  sqlite3_finalize(q);
  sqlite3_close(db);
  return out;
}

long expected() { return TheStation().rows / 2; }

void BM_ReplacePaths(benchmark::State& state) {
  Station& s = TheStation();
  for (auto _ : state) {
    state.PauseTiming();
    s.Fresh();
    state.ResumeTiming();
    if (ReplaceOurs(s) != expected()) kvbench::fail(state, "not every row changed");
    state.PauseTiming();
    if (!kvbench::side_said("replace paths, every row's directory", kvbench::kOurs, OurDirs(s)))
      kvbench::fail(state, "the directories differ");
    state.ResumeTiming();
  }
}

void ReplacePathsSqlite(benchmark::State& state, bool synced) {
  Station& s = TheStation();
  for (auto _ : state) {
    state.PauseTiming();
    s.Fresh();
    state.ResumeTiming();
    if (ReplacePeer(s, synced) != expected()) kvbench::fail(state, "the peer did not change every row");
    state.PauseTiming();
    if (!kvbench::side_said("replace paths, every row's directory", kvbench::kPeer, PeerDirs(s)))
      kvbench::fail(state, "the directories differ");
    state.ResumeTiming();
  }
}

void BM_ReplacePathsSqlite(benchmark::State& state) { ReplacePathsSqlite(state, false); }
void BM_ReplacePathsSqliteSynced(benchmark::State& state) { ReplacePathsSqlite(state, true); }

KV_BENCHMARK(BM_ReplacePaths, 7)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
KV_BENCHMARK(BM_ReplacePathsSqlite, 7)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
KV_BENCHMARK(BM_ReplacePathsSqliteSynced, 7)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  kvbench::MedianReporter reporter;
  reporter.run(argc, argv);
  const double ours = reporter.median("BM_ReplacePaths");
  for (const auto& [name, what] : {std::pair<const char*, const char*>{"BM_ReplacePathsSqlite", "SQLite"},
                                   {"BM_ReplacePathsSqliteSynced", "SQLite synced"}}) {
    const double peer = reporter.median(name);
    if (ours > 0 && peer > 0)
      std::printf("replace paths, %ld rows: ours %.3f s (runs %s), %s %.3f s (runs %s), ratio %.2f\n", TheStation().rows,
                  ours, reporter.range("BM_ReplacePaths").c_str(), what, peer, reporter.range(name).c_str(), ours / peer);
  }
  return kvbench::verdict();
}
