// WC-18 cleaning of a 100 MB program beside GNU tr deleting the same bytes
// from the same file in the same run (C locale, its fastest mode); both
// outputs are compared. Compare the medians: ours should stay within twice
// tr's time.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "dbtools/tape_conversions.h"
#include "bench/outputs.h"


namespace {

std::string Dir() { return (kvbench::scratch_root() / "kv_bench_wc18").string(); }
std::string Ours() { return Dir() + "/clean.nc"; }
std::string Peer() { return Dir() + "/clean_tr.nc"; }

// About 100 MB of NC blocks as a WC-18 control punches them: CR LF line
// ends, here and there a NUL leader, a tab, a control or an 8-bit byte.
const std::string& SourcePath() {
  static const std::string path = [] {
    std::filesystem::create_directories(Dir());
    std::string p = Dir() + "/wc18.nc";
    std::ofstream out(p, std::ios::binary);
    std::mt19937 rng(18);
    std::string line;
    char text[96];
    for (long i = 0, bytes = 0; bytes < 100L * 1000 * 1000; ++i) {
      std::snprintf(text, sizeof text, "N%ld G01 X%ld.125\tY-%ld.5 F1200\r\n", i * 10, i % 997, i % 313);
      line.assign(text);
      if (rng() % 16 == 0) line.insert(0, std::string(1 + rng() % 8, '\0'));
      if (rng() % 32 == 0) line.insert(line.size() / 2, 1, static_cast<char>(0x80 + rng() % 128));
      if (rng() % 64 == 0) line.insert(0, 1, static_cast<char>(0x11 + rng() % 4));
      out << line;
      bytes += static_cast<long>(line.size());
    }
    return p;
  }();
  return path;
}

int64_t Size() { return static_cast<int64_t>(std::filesystem::file_size(SourcePath())); }

void BM_Wc18Clean(benchmark::State& state) {
  const std::string& in = SourcePath();
  for (auto _ : state)
    if (ConvertWc18File(in, Ours()) != TConversion::Taken) kvbench::fail(state, "cleaning failed");
  state.SetBytesProcessed(Size() * state.iterations());
  if (!kvbench::side_said("cleaned text", kvbench::kOurs, kvbench::read_file(Ours())))
    kvbench::fail(state, "the outputs differ");
}

void BM_Wc18TrDelete(benchmark::State& state) {
  const std::string& in = SourcePath();
  const std::string cmd = "LC_ALL=C tr -d '\\000-\\011\\013\\014\\016-\\037\\200-\\377' < " + in + " > " + Peer();
  for (auto _ : state)
    if (std::system(cmd.c_str()) != 0) kvbench::fail(state, "tr failed");
  state.SetBytesProcessed(Size() * state.iterations());
  if (!kvbench::side_said("cleaned text", kvbench::kPeer, kvbench::read_file(Peer())))
    kvbench::fail(state, "the outputs differ");
}

KV_BENCHMARK(BM_Wc18Clean, 9)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
KV_BENCHMARK(BM_Wc18TrDelete, 9)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace

int main(int argc, char** argv) { return kvbench::main(argc, argv); }
