// Renumbering and blank removal on a 100 MB NC program, each beside awk or
// sed making the same change to the same text in the same run. Compare the
// medians: ours should stay within 1.5 times the peer's time.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "appcore/globals.h"
#include "editor/nc_line_options.h"
#include "editor/user_prefs.h"
#include "editor/nc_transforms.h"
#include "platform/ui/application.h"
#include "platform/ui/driver.h"
#include "platform/ui/resource.h"

namespace {

std::string Dir() { return (std::filesystem::temp_directory_path() / "kv_bench_nctools").string(); }

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
    if (RenumberLines(nullptr, in.c_str(), out.c_str(), &app) != 1) state.SkipWithError("renumbering failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(std::filesystem::file_size(in)) * state.iterations());
}

void BM_RenumberAwk(benchmark::State& state) {
  const std::string& in = ProgramPath();
  std::string cmd = "mawk 'BEGIN{RS=\"\\r\\n\"; n=10} {sub(/^N[0-9]+ /, \"\"); printf(\"N%d %s\\r\\n\", n, $0); n+=2}' " +
                    in + " > " + Dir() + "/renumbered_awk.nc";
  for (auto _ : state)
    if (std::system(cmd.c_str()) != 0) state.SkipWithError("awk failed");
  state.SetBytesProcessed(static_cast<int64_t>(std::filesystem::file_size(in)) * state.iterations());
}

void BM_RemoveSpaces(benchmark::State& state) {
  SetUpStation();
  const std::string& in = ProgramPath();
  std::string out = Dir() + "/compact.nc";
  TApplication app("bench");
  for (auto _ : state)
    if (RemoveSpaces(nullptr, in.c_str(), out.c_str(), &app) != 1) state.SkipWithError("removal failed");
  state.SetBytesProcessed(static_cast<int64_t>(std::filesystem::file_size(in)) * state.iterations());
}

void BM_RemoveSpacesSed(benchmark::State& state) {
  const std::string& in = ProgramPath();
  std::string cmd = "sed 's/[ \\t]//g' " + in + " > " + Dir() + "/compact_sed.nc";
  for (auto _ : state)
    if (std::system(cmd.c_str()) != 0) state.SkipWithError("sed failed");
  state.SetBytesProcessed(static_cast<int64_t>(std::filesystem::file_size(in)) * state.iterations());
}

BENCHMARK(BM_Renumber)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_RenumberAwk)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_RemoveSpaces)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_RemoveSpacesSed)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
