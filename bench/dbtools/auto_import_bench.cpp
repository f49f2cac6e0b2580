// 5,000 small NC files dropped at once and taken in by one auto-import pass
// (a row each in the program index, the files in the machine's directory,
// the sources removed, every copy and row on the disk before its source
// goes), beside cp copying the same files followed by one sync of them
// (coreutils sync -f: the copies' file system synced once, the fastest
// honest way to have them all on the disk), and the same followed by rm of
// the sources (the pass removes them too), in the same run, on the disk
// of the scratch folder. Both outputs are compared with the dropped files; a
// difference fails the run. Goal: the pass within three times the peer's
// median, its rows included.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/dnc/bench_station.h"
#include "bench/outputs.h"
#include "dbmodel/counter.h"
#include "dbmodel/filetable.h"
#include "dbmodel/machine.h"
#include "dbmodel/text_helpers.h"
#include "dbtools/auto_import.h"
#include "platform/path.h"

namespace {

namespace fs = std::filesystem;
constexpr int kFiles = 5000;

std::string Text(int i) { return "%\r\nO" + std::to_string(i) + "\r\nG0 X" + std::to_string(i) + " Y1\r\nM30\r\n%\r\n"; }

void Drop(const fs::path& dir) {
  fs::create_directories(dir);
  for (int i = 0; i < kFiles; ++i) std::ofstream(dir / ("F" + std::to_string(i) + ".NC"), std::ios::binary) << Text(i);
}

// A fresh database with one machine and a definition over the drop directory.
struct TScene {
  kvbench::TBenchStation station{"kv_bench_autoimp"};
  TcbAutoImpRecord def;
  TScene() {
    TcbCounterTable c("KELVINDX.DBF", 0, 0);
    c.Create((station.root / "db" / "KELVINDX.DBF").c_str());
    c.EnsureRecords();
    for (const char* t : {"KELVFILE.DBF", "KELVAUTO.DBF", "KELVBACK.DBF"}) {
      TcbFileTable f(t, 0, 0);
      f.Create((station.root / "db" / t).c_str());
    }
    TcbMachTable m("KELVMA.DBF", 0, 0);
    m.Create((station.root / "db" / "KELVMA.DBF").c_str());
    m.Add("MILL", 1, "mill", (station.root / "progs").string().append("\\").c_str(), 0);
    def.MACHINE = m.ExistsByName("MILL");
    CopyCut(def.PATH, sizeof def.PATH, ((station.root / "drop").string() + "\\").c_str());
    CopyCut(def.EXT, sizeof def.EXT, "NC");
    CopyCut(def.MACH, sizeof def.MACH, "MILL");
    Globals->BackupDir = (station.root / "temp").string() + "\\";
  }
};

bool DropEmpty(const fs::path& dir) { return fs::is_empty(dir); }

// Every row's file holds the text of the source its Program-ID names.
bool SameAsDropped() {
  TcbFileTable t("KELVFILE.DBF", 0, 0);
  TcbFileRecord* rows = t.ReadAll(1);
  int n = 0;
  bool same = true;
  for (TcbRecord* r = rows; r; r = r->next, ++n) {
    auto* f = static_cast<TcbFileRecord*>(r);
    std::ifstream in(plat::to_native_path(f->FilePath()), std::ios::binary);
    std::string got((std::istreambuf_iterator<char>(in)), {});
    if (got != Text(std::atoi(f->DESC + 1))) same = false;
  }
  FreeRecordList(rows);
  return same && n == kFiles;
}

double Since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void BM_AutoImportPass(benchmark::State& state) {
  for (auto _ : state) {
    auto scene = std::make_unique<TScene>();
    Drop(scene->station.root / "drop");
    TAutoImportWatch watch;
    watch.settle = std::chrono::milliseconds(0);
    RunAutoImportPass(scene->def, watch);  // the first look
    ::sync();                              // the dropped files' own writes are not the pass's
    const auto t0 = std::chrono::steady_clock::now();
    TAutoImportCounts n = RunAutoImportPass(scene->def, watch);
    state.SetIterationTime(Since(t0));
    if (n.imported != kFiles) return kvbench::fail(state, std::to_string(n.imported) + " of the files imported");
    if (!SameAsDropped()) return kvbench::fail(state, "the copies differ from the dropped files");
    if (!DropEmpty(scene->station.root / "drop")) return kvbench::fail(state, "sources left after the pass");
  }
  state.SetItemsProcessed(state.iterations() * kFiles);
}

// cp and one sync; with remove, the sources removed afterwards as the pass
// removes them (the same work but for the rows).
void CpSameFiles(benchmark::State& state, bool remove) {
  const fs::path root = kvbench::scratch_root() / ("kv_bench_cp" + std::to_string(getpid()));
  for (auto _ : state) {
    fs::remove_all(root);
    Drop(root / "drop");
    fs::create_directories(root / "progs");
    const std::string progs = (root / "progs").string(), drop = (root / "drop").string();
    std::string cmd = "cp " + drop + "/*.NC " + progs + "/ && sync -f " + progs;
    if (remove) cmd += " && rm " + drop + "/*.NC";
    ::sync();  // the dropped files' own writes are not the peer's
    const auto t0 = std::chrono::steady_clock::now();
    const int rc = std::system(cmd.c_str());
    state.SetIterationTime(Since(t0));
    if (rc != 0) return kvbench::fail(state, "cp or sync failed");
    if (remove) {  // the sources gone; made again to compare the copies with
      if (!DropEmpty(root / "drop")) return kvbench::fail(state, "sources left after rm");
      Drop(root / "drop");
    }
    if (std::system(("diff -rq " + drop + " " + progs).c_str()) != 0)
      return kvbench::fail(state, "the copies differ from the dropped files");
  }
  fs::remove_all(root);
  state.SetItemsProcessed(state.iterations() * kFiles);
}

void BM_CpSameFiles(benchmark::State& state) { CpSameFiles(state, false); }
void BM_CpSameFilesRemoved(benchmark::State& state) { CpSameFiles(state, true); }

KV_BENCHMARK(BM_AutoImportPass, 5)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();
KV_BENCHMARK(BM_CpSameFiles, 5)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();
KV_BENCHMARK(BM_CpSameFilesRemoved, 5)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

}  // namespace

int main(int argc, char** argv) {
  kvbench::MedianReporter reporter;
  reporter.run(argc, argv);
  const double ours = reporter.median("BM_AutoImportPass");
  for (const auto& [name, what] : {std::pair<const char*, const char*>{"BM_CpSameFiles", "cp and sync"},
                                   {"BM_CpSameFilesRemoved", "cp, sync and rm of the sources"}}) {
    const double peer = reporter.median(name);
    if (ours > 0 && peer > 0)
      std::printf("%d files: one pass %.0f us a file (runs %s ms), %s %.0f us a file (runs %s ms), ratio %.2f\n", kFiles,
                  ours / kFiles * 1e6, reporter.range("BM_AutoImportPass", 1e3, "%.0f").c_str(), what,
                  peer / kFiles * 1e6, reporter.range(name, 1e3, "%.0f").c_str(), ours / peer);
  }
  return kvbench::verdict();
}
