// What the benchmarks against a peer share: the check that both made the
// same output, a reporter that keeps each benchmark's median, and the exit
// code. A figure is worth nothing when the two did different work, so a
// difference fails the run.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace kvbench {

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
inline bool same_lines(const std::string& what, std::string_view ours, std::string_view peer) {
  auto body = [](std::string_view s) {
    if (!s.empty() && s.back() == '\n') s.remove_suffix(1);
    if (!s.empty() && s.back() == '\r') s.remove_suffix(1);
    return s;
  };
  return same_bytes(what, body(ours), body(peer));
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

// The fastest and the slowest repetition beside the median, for the
// spread: BENCHMARK(...)->Apply(kvbench::spread).
inline void spread(benchmark::internal::Benchmark* b) {
  b->ComputeStatistics("min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); })
      ->ComputeStatistics("max", [](const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); });
}

// The exit code of a benchmark program: 1 when any output differed.
inline int verdict() { return output_failures() ? 1 : 0; }

// Keeps the median real time (seconds) of each benchmark, by its name
// without the aggregate's suffix; a run that reported an error counts as a
// failure.
class MedianReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> seconds;
  // The fastest and slowest repetition (benchmarks marked with_spread).
  std::map<std::string, std::pair<double, double>> spread;

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& run : runs) {
      if (run.error_occurred) {
        fail(run.benchmark_name() + " (" + run.error_message + ")");
        continue;
      }
      const double s = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
      const std::string name = run.run_name.str();
      if (run.run_type == Run::RT_Aggregate) {
        if (run.aggregate_name == "min") spread[name].first = s;
        if (run.aggregate_name == "max") spread[name].second = s;
        if (run.aggregate_name == "median") seconds[name] = s;
        continue;
      }
      // A single run stands for its median when there are no aggregates.
      if (!seconds.count(name)) seconds[name] = s;
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // The median in seconds of the benchmark of that name (the run's name up
  // to its first "/"); 0 when it did not run (filtered out or failed).
  double median(std::string_view name) const {
    for (const auto& [run, s] : seconds)
      if (run.size() >= name.size() && run.compare(0, name.size(), name) == 0 &&
          (run.size() == name.size() || run[name.size()] == '/'))
        return s;
    return 0;
  }

  // "fastest-slowest" of the benchmark's repetitions, empty when unknown.
  std::string range(std::string_view name, double scale = 1, const char* format = "%.3f") const {
    for (const auto& [run, lohi] : spread)
      if (run.size() >= name.size() && run.compare(0, name.size(), name) == 0 &&
          (run.size() == name.size() || run[name.size()] == '/')) {
        char text[96];
        std::string both = std::string(format) + "-" + format;
        std::snprintf(text, sizeof text, both.c_str(), lohi.first * scale, lohi.second * scale);
        return text;
      }
    return "";
  }

  // Runs every benchmark the command line selects, reporting through this.
  void run(int& argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks(this);
    benchmark::Shutdown();
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
