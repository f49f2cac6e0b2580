// What the benchmarks against a peer share: the scratch folder on a disk,
// the check that both made the same output, the order of the sides
// (alternated between repetitions), a reporter that keeps each benchmark's
// median, and the exit code. A figure is worth nothing when the two did
// different work, so a difference fails the run.
#pragma once

#include <benchmark/benchmark.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

#ifndef KV_BENCH_SCRATCH
#define KV_BENCH_SCRATCH "bench-scratch"
#endif

namespace kvbench {

// The name of the file system of a statfs type.
inline std::string file_system_name(long type) {
  static const std::pair<long, const char*> kNames[] = {
      {0xEF53, "ext2/3/4"},        {0x58465342, "xfs"},      {0x9123683E, "btrfs"},   {0xF2F52010, "f2fs"},
      {0x2FC12FC1, "zfs"},         {0x794C7630, "overlay"},  {0x6969, "nfs"},         {0xFF534D42, "cifs"},
      {0x65735546, "fuse"},        {0x01021997, "9p"},       {0x4D44, "vfat"},        {0x5346544E, "ntfs"},
      {0x01021994, "tmpfs"},       {0x858458F6, "ramfs"}};
  for (const auto& [magic, name] : kNames)
    if (magic == type) return name;
  char hex[32];
  std::snprintf(hex, sizeof hex, "type 0x%lX", static_cast<unsigned long>(type));
  return hex;
}

// True for a file system held in memory, where a sync costs nothing.
inline bool memory_file_system(long type) { return type == 0x01021994 || type == 0x858458F6; }

// The folder the benchmarks write into: KV_BENCH_DIR, else one in the build
// tree (on its disk, where /tmp may be a memory file system). Its file
// system is printed once; a memory one ends the program unless
// KV_BENCH_ALLOW_MEMFS=1, since the syncs both sides pay would cost nothing
// there and the figures would not be a disk's.
inline const std::filesystem::path& scratch_root() {
  static const std::filesystem::path root = [] {
    const char* env = std::getenv("KV_BENCH_DIR");
    std::filesystem::path dir = env && *env ? env : KV_BENCH_SCRATCH;
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    struct statfs fs {};
    if (statfs(dir.c_str(), &fs) != 0) {
      std::fprintf(stderr, "scratch folder %s: %s\n", dir.c_str(), std::strerror(errno));
      std::exit(2);
    }
    const long type = static_cast<long>(fs.f_type);
    std::printf("scratch folder: %s (%s)\n", dir.c_str(), file_system_name(type).c_str());
    const char* allow = std::getenv("KV_BENCH_ALLOW_MEMFS");
    if (memory_file_system(type) && !(allow && std::string(allow) == "1")) {
      std::fprintf(stderr,
                   "scratch folder %s is on %s, a memory file system: syncs cost nothing there. Set KV_BENCH_DIR "
                   "to a folder on a disk, or KV_BENCH_ALLOW_MEMFS=1 to measure there anyway.\n",
                   dir.c_str(), file_system_name(type).c_str());
      std::exit(2);
    }
    std::fflush(stdout);
    return dir;
  }();
  return root;
}

// A fresh folder of this process under the scratch folder.
inline std::filesystem::path scratch(const std::string& stem) {
  auto dir = scratch_root() / (stem + "_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  return dir;
}

// The side that runs first changes with each repetition, so neither always
// finds the caches and the disk's queue as the other left them.
inline bool peer_first(long repetition) { return repetition % 2 == 1; }

inline int& output_failures() {
  static int n = 0;
  return n;
}

// Prints "<what>: outputs equal" (unless quiet), or where the two first
// differ (and counts a failure).
inline bool same_bytes(const std::string& what, std::string_view ours, std::string_view peer, bool quiet = false) {
  if (ours == peer) {
    if (!quiet) std::printf("%s: outputs equal (%zu bytes)\n", what.c_str(), ours.size());
    return true;
  }
  size_t at = 0;
  while (at < ours.size() && at < peer.size() && ours[at] == peer[at]) ++at;
  auto around = [at](std::string_view s) {
    size_t from = at > 20 ? at - 20 : 0;
    return std::string(s.substr(from, 40));
  };
  std::printf("%s: OUTPUTS DIFFER at byte %zu (ours %zu bytes, peer %zu)\n  ours: \"%s\"\n  peer: \"%s\"\n",
              what.c_str(), at, ours.size(), peer.size(), around(ours).c_str(), around(peer).c_str());
  ++output_failures();
  return false;
}

inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool same_files(const std::string& what, const std::string& ours, const std::string& peer, bool quiet = false) {
  return same_bytes(what, read_file(ours), read_file(peer), quiet);
}

// The same lines: equal bytes but for a line end after the last line,
// which a text written line by line may leave out.
inline bool same_lines(const std::string& what, std::string_view ours, std::string_view peer, bool quiet = false) {
  auto body = [](std::string_view s) {
    if (!s.empty() && s.back() == '\n') s.remove_suffix(1);
    if (!s.empty() && s.back() == '\r') s.remove_suffix(1);
    return s;
  };
  return same_bytes(what, body(ours), body(peer), quiet);
}

enum Side { kOurs = 0, kPeer = 1 };

// A side's output of one repetition of a pair's work, compared with the
// other side's latest: with the sides alternated, every repetition of each
// is checked against a repetition of the other. By lines when a line end
// after the last line may differ. False (and a failure counted) when they
// differ.
inline bool side_said(const std::string& what, Side side, std::string output, bool by_lines = false) {
  static std::map<std::string, std::pair<std::string, std::string>> latest;
  static std::map<std::string, int> seen;
  auto& both = latest[what];
  (side == kOurs ? both.first : both.second) = std::move(output);
  if (!((seen[what] |= 1 << side) & (1 << (1 - side)))) return true;
  return by_lines ? same_lines(what, both.first, both.second, true) : same_bytes(what, both.first, both.second, true);
}

// Records a failure found otherwise (a run that did not complete).
inline void fail(const std::string& what) {
  std::printf("%s: FAILED\n", what.c_str());
  ++output_failures();
}

// Fails the running benchmark: counted for the exit code at once, since a
// repetition's error hides behind the aggregates of the others.
inline void fail(benchmark::State& state, const std::string& what) {
  fail(what);
  state.SkipWithError(what.c_str());
}

// The exit code of a benchmark program: 1 when any output differed.
inline int verdict() { return output_failures() ? 1 : 0; }

// A benchmark run one repetition at a time, in turn with the program's
// others (see MedianReporter::run).
struct Registered {
  std::string name;
  int repetitions;
};

inline std::vector<Registered>& registered() {
  static std::vector<Registered> list;
  return list;
}

// Registers a benchmark to be repeated that often, alternated with the others.
inline benchmark::internal::Benchmark* add(const std::string& name, int repetitions,
                                           benchmark::internal::Benchmark* b) {
  registered().push_back({name, repetitions});
  return b;
}

#define KV_BENCH_CONCAT2(a, b) a##b
#define KV_BENCH_CONCAT(a, b) KV_BENCH_CONCAT2(a, b)
// KV_BENCHMARK(fn, repetitions)->Unit(...): BENCHMARK with its repetitions
// run alternated with the program's other benchmarks.
#define KV_BENCHMARK(fn, repetitions)                                         \
  [[maybe_unused]] static ::benchmark::internal::Benchmark* KV_BENCH_CONCAT( \
      kv_bench_, __LINE__) = ::kvbench::add(#fn, repetitions, ::benchmark::RegisterBenchmark(#fn, fn))

// Keeps the real time (seconds) of each repetition of each benchmark, by
// its name; its median and spread once all ran. A run that reported an
// error counts as a failure.
class MedianReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> seconds;
  // The fastest and slowest repetition.
  std::map<std::string, std::pair<double, double>> spread;
  std::map<std::string, std::vector<double>> runs;

  bool ReportContext(const Context& context) override {
    if (context_shown_) return true;
    context_shown_ = true;
    return ConsoleReporter::ReportContext(context);
  }

  void ReportRuns(const std::vector<Run>& reported) override {
    for (const auto& run : reported) {
      if (run.error_occurred) {
        fail(run.benchmark_name() + " (" + run.error_message + ")");
        continue;
      }
      if (run.run_type == Run::RT_Aggregate) continue;
      runs[run.run_name.str()].push_back(run.GetAdjustedRealTime() /
                                         benchmark::GetTimeUnitMultiplier(run.time_unit));
    }
    ConsoleReporter::ReportRuns(reported);
  }

  // The median in seconds of the benchmark of that name (the run's name up
  // to its first "/"); 0 when it did not run (filtered out or failed).
  double median(std::string_view name) const {
    for (const auto& [run, s] : seconds)
      if (same_family(run, name)) return s;
    return 0;
  }

  // "fastest-slowest" of the benchmark's repetitions, empty when unknown.
  std::string range(std::string_view name, double scale = 1, const char* format = "%.3f") const {
    for (const auto& [run, lohi] : spread)
      if (same_family(run, name)) {
        char text[96];
        std::string both = std::string(format) + "-" + format;
        std::snprintf(text, sizeof text, both.c_str(), lohi.first * scale, lohi.second * scale);
        return text;
      }
    return "";
  }

  // Runs every benchmark the command line selects, reporting through this:
  // one repetition of each in turn, the order reversed in every other
  // round, so that a peer and our side each run first in half of them.
  void run(int& argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    run_registered();
  }

  // The same, the command line read before (benchmark::Initialize).
  void run_registered() {
    scratch_root();
    std::string filter = benchmark::GetBenchmarkFilter();
    if (filter.empty() || filter == "all") filter = ".";
    const std::regex chosen(filter);
    int rounds = 0;
    for (const auto& b : registered()) rounds = std::max(rounds, b.repetitions);
    for (int round = 0; round < rounds; ++round) {
      std::vector<Registered> order = registered();
      if (peer_first(round)) std::reverse(order.begin(), order.end());
      for (const auto& b : order)
        if (round < b.repetitions && std::regex_search(b.name, chosen))
          benchmark::RunSpecifiedBenchmarks(this, "^" + escaped(b.name) + "(/|$)");
    }
    benchmark::Shutdown();
    summarise();
  }

 private:
  bool context_shown_ = false;

  static bool same_family(std::string_view run, std::string_view name) {
    return run.size() >= name.size() && run.compare(0, name.size(), name) == 0 &&
           (run.size() == name.size() || run[name.size()] == '/');
  }

  static std::string escaped(const std::string& name) {
    std::string out;
    for (char c : name) {
      if (std::strchr("\\^$.|?*+()[]{}", c)) out.push_back('\\');
      out.push_back(c);
    }
    return out;
  }

  // Each benchmark's median and spread over its repetitions, printed.
  void summarise() {
    if (!runs.empty()) std::printf("\n%-60s %12s  %s\n", "benchmark (alternated repetitions)", "median s", "fastest-slowest");
    for (auto& [name, times] : runs) {
      std::vector<double> v = times;
      std::sort(v.begin(), v.end());
      const size_t m = v.size() / 2;
      seconds[name] = v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
      spread[name] = {v.front(), v.back()};
      std::printf("%-60s %12.6f  %.6f-%.6f (%zu)\n", name.c_str(), seconds[name], v.front(), v.back(), v.size());
    }
  }
};

// The main of a benchmark program: its exit code is 1 when an output
// differed or a run failed.
inline int main(int argc, char** argv) {
  MedianReporter reporter;
  reporter.run(argc, argv);
  return verdict();
}

}  // namespace kvbench
