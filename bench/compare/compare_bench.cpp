// The compare library against GNU diff on the same generated NC programs
// (100,000 and 1,000,000 lines, differing in scattered places), in one run.
// diff runs as an external process, as a user would run it. Printed at the
// end: the time ratio and the number of lines each tool kept unchanged.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "compare/telmix.h"
#include "platform/plugin_abi.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Pair {
  std::string oldFile, newFile;
  long oldLines = 0;
};

std::map<long, Pair> g_pairs;
long g_sameItems = 0;

// Host stub: counts the unchanged steps on the old side; the library
// frees its item texts itself.
LRESULT CountItem(HWND hwnd, UINT, WPARAM, LPARAM lparam) {
  const char* text = reinterpret_cast<const char*>(lparam);
  if (hwnd == reinterpret_cast<HWND>(1) && text[0] == '0') ++g_sameItems;
  return 0;
}
struct kv_plugin_host g_host{sizeof(struct kv_plugin_host), &CountItem};

kv_compare_fn LoadTelmix() {
  void* lib = dlopen(TELMIX_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  if (!lib) return nullptr;
  auto** slot = static_cast<const struct kv_plugin_host**>(dlsym(lib, KV_PLUGIN_HOST_SYMBOL));
  if (!slot) return nullptr;
  *slot = &g_host;
  return reinterpret_cast<kv_compare_fn>(dlsym(lib, KV_COMPARE_ENTRY));
}

std::string NcLine(std::mt19937& rng, long n) {
  static const char* const repeated[] = {"G0 Z5.", "M3 S1200", "G1 Z-2. F100", "(FINISH)", "M5", "M8", "G90 G54"};
  std::uniform_int_distribution<int> pick(0, 19), coord(-50000, 50000), feed(1, 40);
  if (pick(rng) == 0) return repeated[pick(rng) % 7];
  char line[96];
  std::snprintf(line, sizeof line, "N%ld G1 X%.3f Y%.3f F%d", n * 10, coord(rng) / 1000.0, coord(rng) / 1000.0,
                feed(rng) * 50);
  return line;
}

// A program and a copy with a change, an insertion or a deletion every few
// hundred lines and a few moved blocks.
Pair MakePair(const fs::path& dir, long lines) {
  std::mt19937 rng(static_cast<unsigned>(lines));
  std::vector<std::string> oldLines, newLines;
  oldLines.reserve(lines);
  for (long n = 1; n <= lines; ++n) oldLines.push_back(NcLine(rng, n));
  std::uniform_int_distribution<int> edit(0, 599);
  for (long n = 0; n < lines; ++n) {
    switch (edit(rng)) {
      case 0: newLines.push_back(NcLine(rng, n + 1) + " M8"); break;  // changed
      case 1: break;                                                 // deleted
      case 2: newLines.push_back("G4 P0.5"); newLines.push_back(oldLines[n]); break;  // inserted
      default: newLines.push_back(oldLines[n]);
    }
  }
  std::uniform_int_distribution<std::size_t> at(0, newLines.size() - 40);
  for (int moves = 0; moves < 5; ++moves) {
    const std::size_t from = at(rng), length = 30;
    std::vector<std::string> block(newLines.begin() + from, newLines.begin() + from + length);
    newLines.erase(newLines.begin() + from, newLines.begin() + from + length);
    const std::size_t to = at(rng);
    newLines.insert(newLines.begin() + to, block.begin(), block.end());
  }
  Pair pair;
  pair.oldFile = (dir / ("old-" + std::to_string(lines) + ".nc")).string();
  pair.newFile = (dir / ("new-" + std::to_string(lines) + ".nc")).string();
  pair.oldLines = lines;
  std::ofstream o(pair.oldFile, std::ios::binary), n(pair.newFile, std::ios::binary);
  for (const auto& line : oldLines) o << line << "\r\n";
  for (const auto& line : newLines) n << line << "\r\n";
  return pair;
}

// Runs diff old new > out; true when it ran (exit 0 or 1).
bool RunDiff(const Pair& pair, const std::string& out) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const char* argv[] = {"diff", pair.oldFile.c_str(), pair.newFile.c_str(), nullptr};
  pid_t pid;
  const int rc = posix_spawnp(&pid, "diff", &actions, nullptr, const_cast<char**>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  int status = 0;
  if (waitpid(pid, &status, 0) < 0 || !WIFEXITED(status)) return false;
  return WEXITSTATUS(status) <= 1;
}

// Old lines diff kept: all but those it lists as removed ("< ").
long DiffUnchanged(const Pair& pair, const std::string& out) {
  std::ifstream in(out, std::ios::binary);
  long removed = 0;
  for (std::string line; std::getline(in, line);) removed += line.compare(0, 2, "< ") == 0;
  return pair.oldLines - removed;
}

void BM_Telmix(benchmark::State& state, kv_compare_fn compare) {
  const Pair& pair = g_pairs.at(state.range(0));
  long same = 0;
  for (auto _ : state) {
    g_sameItems = 0;
    if (compare(pair.newFile.c_str(), pair.oldFile.c_str(), reinterpret_cast<HWND>(1), reinterpret_cast<HWND>(2)) != 1) {
      state.SkipWithError("_COMPARE failed");
      return;
    }
    same = g_sameItems;
  }
  state.counters["unchanged"] = static_cast<double>(same);
}

void BM_Diff(benchmark::State& state, std::string out) {
  const Pair& pair = g_pairs.at(state.range(0));
  for (auto _ : state) {
    if (!RunDiff(pair, out)) {
      state.SkipWithError("diff failed");
      return;
    }
  }
  state.counters["unchanged"] = static_cast<double>(DiffUnchanged(pair, out));
}

// Keeps each run's time and counters for the closing comparison.
class KeepingReporter : public benchmark::ConsoleReporter {
 public:
  struct Result {
    double ms = 0;
    double unchanged = 0;
  };
  std::map<std::string, Result> results;

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& run : runs) {
      if (run.error_occurred) continue;
      Result& r = results[run.benchmark_name()];
      r.ms = run.GetAdjustedRealTime();
      auto found = run.counters.find("unchanged");
      if (found != run.counters.end()) r.unchanged = found->second;
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const kv_compare_fn compare = LoadTelmix();
  if (!compare) {
    std::fprintf(stderr, "cannot load %s: %s\n", TELMIX_LIBRARY, dlerror());
    return 1;
  }
  std::string pattern = (fs::temp_directory_path() / "telmix-bench-XXXXXX").string();
  if (!mkdtemp(pattern.data())) return 1;
  const fs::path dir = pattern;
  const long sizes[] = {100000, 1000000};
  for (long lines : sizes) g_pairs[lines] = MakePair(dir, lines);
  const std::string diffOut = (dir / "diff.out").string();

  for (long lines : sizes) {
    benchmark::RegisterBenchmark("telmix", BM_Telmix, compare)->Arg(lines)->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark("gnu_diff", BM_Diff, diffOut)->Arg(lines)->Unit(benchmark::kMillisecond)->UseRealTime();
  }
  KeepingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  std::printf("\n%10s %12s %12s %8s %18s %18s\n", "lines", "telmix ms", "diff ms", "ratio", "telmix unchanged",
              "diff unchanged");
  for (long lines : sizes) {
    const auto t = reporter.results["telmix/" + std::to_string(lines) + "/real_time"];
    const auto d = reporter.results["gnu_diff/" + std::to_string(lines) + "/real_time"];
    std::printf("%10ld %12.1f %12.1f %8.2f %18.0f %18.0f\n", lines, t.ms, d.ms, d.ms > 0 ? t.ms / d.ms : 0.0,
                t.unchanged, d.unchanged);
  }
  std::error_code ec;
  fs::remove_all(dir, ec);
  benchmark::Shutdown();
  return 0;
}
