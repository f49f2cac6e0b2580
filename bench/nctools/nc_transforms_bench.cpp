// Renumbering and blank removal on a 100 MB NC program, each beside the
// tool a user would reach for making the same change to the same text in
// the same run: mawk for renumbering, tr for taking out blanks and tabs
// (the program has no comments, whose blanks we keep). The blanks removed,
// both outputs must be equal byte for byte; renumbered, they must hold the
// same lines (ours, written line by line, ends without a line end after
// the last line). Printed at the end: the medians and their ratio.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "appcore/globals.h"
#include "bench/outputs.h"
#include "editor/nc_line_options.h"
#include "editor/user_prefs.h"
#include "editor/nc_transforms.h"
#include "platform/ui/application.h"
#include "platform/ui/driver.h"
#include "platform/ui/resource.h"

namespace {

std::string Dir() { return (kvbench::scratch_root() / "kv_bench_nctools").string(); }

// About 100 MB of blocks "N<n> G01 X... Y... Z... F...", CR LF ended.
const std::string& ProgramPath() {
  static const std::string path = [] {
    std::filesystem::create_directories(Dir());
    std::string p = Dir() + "/program.nc";
    std::ofstream out(p, std::ios::binary);
    std::string line;
    for (long i = 0, bytes = 0; bytes < 100L * 1000 * 1000; ++i) {
      line = "N" + std::to_string(i * 10) + " G01 X" + std::to_string(i % 997) + ".125 Y-" +
             std::to_string(i % 313) + ".5 Z" + std::to_string(i % 17) + ".25 F1200\r\n";
      out << line;
      bytes += static_cast<long>(line.size());
    }
    return p;
  }();
  return path;
}

void SetUpStation() {
  static bool done = [] {
    static TGlobals globals;
    Globals = &globals;
    Globals->CfgDir = Dir() + "\\";
    plat::set_resource_dir(KV_SOURCE_DIR "/resources/dialogs");
    return true;
  }();
  (void)done;
}

void BM_Renumber(benchmark::State& state) {
  SetUpStation();
  const std::string& in = ProgramPath();
  std::string out = Dir() + "/renumbered.nc";
  TApplication app("bench");
  plat::UiDriver driver([](const std::string& m) { std::fprintf(stderr, "%s\n", m.c_str()); std::abort(); });
  for (auto _ : state) {
    driver.expect_dialog(TLineOptionDialog::kResourceId, [](TDialog& d) { d.CmOk(); });
    if (RenumberLines(nullptr, in.c_str(), out.c_str(), &app) != 1) kvbench::fail(state, "renumbering failed");
  }
  if (!kvbench::side_said("renumber against mawk", kvbench::kOurs, kvbench::read_file(out), true))
    kvbench::fail(state, "the outputs differ");
  state.SetBytesProcessed(static_cast<int64_t>(std::filesystem::file_size(in)) * state.iterations());
}

// mawk at its fastest for this text: lines split at LF (the CR stays in the
// record), the old number cut at the first blank without a regular
// expression.
void BM_RenumberAwk(benchmark::State& state) {
  const std::string& in = ProgramPath();
  std::string cmd = "LC_ALL=C mawk 'BEGIN{n=10} {print \"N\" n substr($0, index($0, \" \")); n+=2}' " + in + " > " +
                    Dir() + "/renumbered_awk.nc";
  for (auto _ : state)
    if (std::system(cmd.c_str()) != 0) kvbench::fail(state, "awk failed");
  if (!kvbench::side_said("renumber against mawk", kvbench::kPeer, kvbench::read_file(Dir() + "/renumbered_awk.nc"), true))
    kvbench::fail(state, "the outputs differ");
  state.SetBytesProcessed(static_cast<int64_t>(std::filesystem::file_size(in)) * state.iterations());
}

void BM_RemoveSpaces(benchmark::State& state) {
  SetUpStation();
  const std::string& in = ProgramPath();
  std::string out = Dir() + "/compact.nc";
  TApplication app("bench");
  for (auto _ : state)
    if (RemoveSpaces(nullptr, in.c_str(), out.c_str(), &app) != 1) kvbench::fail(state, "removal failed");
  if (!kvbench::side_said("remove spaces against tr", kvbench::kOurs, kvbench::read_file(out)))
    kvbench::fail(state, "the outputs differ");
  state.SetBytesProcessed(static_cast<int64_t>(std::filesystem::file_size(in)) * state.iterations());
}

void BM_RemoveSpacesTr(benchmark::State& state) {
  const std::string& in = ProgramPath();
  std::string cmd = "LC_ALL=C tr -d ' \\t' < " + in + " > " + Dir() + "/compact_tr.nc";
  for (auto _ : state)
    if (std::system(cmd.c_str()) != 0) kvbench::fail(state, "tr failed");
  if (!kvbench::side_said("remove spaces against tr", kvbench::kPeer, kvbench::read_file(Dir() + "/compact_tr.nc")))
    kvbench::fail(state, "the outputs differ");
  state.SetBytesProcessed(static_cast<int64_t>(std::filesystem::file_size(in)) * state.iterations());
}

KV_BENCHMARK(BM_Renumber, 5)->Unit(benchmark::kMillisecond)->Iterations(1);
KV_BENCHMARK(BM_RenumberAwk, 5)->Unit(benchmark::kMillisecond)->Iterations(1);
KV_BENCHMARK(BM_RemoveSpaces, 5)->Unit(benchmark::kMillisecond)->Iterations(1);
KV_BENCHMARK(BM_RemoveSpacesTr, 5)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  kvbench::MedianReporter reporter;
  reporter.run(argc, argv);
  std::printf("\n%-16s %10s %10s %8s\n", "100 MB program", "ours s", "peer s", "ratio");
  struct Pair {
    const char *what, *ours, *peer;
  };
  for (const Pair& p : {Pair{"renumber", "BM_Renumber", "BM_RenumberAwk"},
                        Pair{"remove spaces", "BM_RemoveSpaces", "BM_RemoveSpacesTr"}}) {
    const double a = reporter.median(p.ours), b = reporter.median(p.peer);
    if (a <= 0 || b <= 0) continue;  // filtered out
    std::printf("%-16s %10.3f %10.3f %8.2f\n", p.what, a, b, a / b);
  }
  return kvbench::verdict();
}
