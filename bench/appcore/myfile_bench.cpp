// Reading and writing an 8 MB NC program line by line through the
// buffered text file, beside C stdio doing the same in its fastest honest
// way (getline into one reused buffer; fwrite_unlocked of each line and
// its CR LF). Both read the same file and must return the same lines;
// both write the same lines and must make the same bytes (no line end
// after the last line, as the text file writes it); a difference fails
// the run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "appcore/myfile.h"
#include "bench/outputs.h"

namespace {

constexpr int kLines = 200000;
const char* const kLine = "N1000 G01 X100.125 Y-20.5 F1200";

const std::string& ProgramPath() {
  static const std::string path = [] {
    std::string p = (kvbench::scratch_root() / "kv_bench_myfile.nc").string();
    std::ofstream out(p, std::ios::binary);
    for (int i = 0; i < kLines; ++i) out << "N" << i << " G01 X" << i % 997 << ".125 Y-" << i % 313 << ".5 F1200\r\n";
    return p;
  }();
  return path;
}

std::string OursOut() { return ProgramPath() + ".ours"; }
std::string PeerOut() { return ProgramPath() + ".peer"; }

// The lines read, each ended by LF, for the comparison (made on both sides
// alike, so it weighs the same on each).
std::string g_oursRead, g_peerRead;

void BM_ReadLines(benchmark::State& state) {
  for (auto _ : state) {
    g_oursRead.clear();
    TMyFile f(ProgramPath().c_str());
    if (!f.Open(1)) return kvbench::fail(state, "the text file did not open");
    while (const char* line = f.ReadLineInPlace(0)) g_oursRead.append(line).push_back('\n');
    if (f.Failed()) kvbench::fail(state, "a read failed");
    f.Close();
  }
  state.SetBytesProcessed(static_cast<int64_t>(std::filesystem::file_size(ProgramPath())) * state.iterations());
  if (!kvbench::side_said("lines read", kvbench::kOurs, g_oursRead)) kvbench::fail(state, "the lines read differ");
}

void BM_StdioReadLines(benchmark::State& state) {
  char* buf = nullptr;
  size_t cap = 0;
  for (auto _ : state) {
    g_peerRead.clear();
    FILE* f = std::fopen(ProgramPath().c_str(), "rb");
    if (!f) return kvbench::fail(state, "fopen failed");
    for (ssize_t n; (n = getline(&buf, &cap, f)) > 0;) {
      if (buf[n - 1] == '\n') --n;
      if (n > 0 && buf[n - 1] == '\r') --n;
      g_peerRead.append(buf, static_cast<size_t>(n)).push_back('\n');
    }
    if (std::ferror(f)) kvbench::fail(state, "a read failed");
    std::fclose(f);
  }
  std::free(buf);
  state.SetBytesProcessed(static_cast<int64_t>(std::filesystem::file_size(ProgramPath())) * state.iterations());
  if (!kvbench::side_said("lines read", kvbench::kPeer, g_peerRead)) kvbench::fail(state, "the lines read differ");
}

void BM_WriteLines(benchmark::State& state) {
  for (auto _ : state) {
    TMyFile f(OursOut().c_str());
    if (!f.Open(0)) return kvbench::fail(state, "the text file was not made");
    for (int i = 0; i < kLines; ++i) f.WriteLine(kLine);
    if (!f.FlushBuffer()) kvbench::fail(state, "a write failed");
    f.Close();
  }
  state.SetBytesProcessed(static_cast<int64_t>(std::filesystem::file_size(OursOut())) * state.iterations());
  if (!kvbench::side_said("lines written", kvbench::kOurs, kvbench::read_file(OursOut())))
    kvbench::fail(state, "the files written differ");
}

void BM_StdioWriteLines(benchmark::State& state) {
  const size_t n = std::char_traits<char>::length(kLine);
  for (auto _ : state) {
    FILE* f = std::fopen(PeerOut().c_str(), "wb");
    if (!f) return kvbench::fail(state, "fopen failed");
    for (int i = 0; i < kLines; ++i) {
      if (i) fwrite_unlocked("\r\n", 1, 2, f);
      fwrite_unlocked(kLine, 1, n, f);
    }
    if (std::fclose(f) != 0) kvbench::fail(state, "a write failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(std::filesystem::file_size(PeerOut())) * state.iterations());
  if (!kvbench::side_said("lines written", kvbench::kPeer, kvbench::read_file(PeerOut())))
    kvbench::fail(state, "the files written differ");
}

#define KV_MYFILE_BENCH(fn) KV_BENCHMARK(fn, 5)->Unit(benchmark::kMillisecond)->Iterations(4)->UseRealTime()
KV_MYFILE_BENCH(BM_ReadLines);
KV_MYFILE_BENCH(BM_StdioReadLines);
KV_MYFILE_BENCH(BM_WriteLines);
KV_MYFILE_BENCH(BM_StdioWriteLines);

}  // namespace

int main(int argc, char** argv) {
  kvbench::MedianReporter reporter;
  reporter.run(argc, argv);
  for (const char* what : {"ReadLines", "WriteLines"}) {
    const double ours = reporter.median(std::string("BM_") + what), peer = reporter.median(std::string("BM_Stdio") + what);
    if (ours > 0 && peer > 0)
      std::printf("%s: ours %.2f ms (%s), stdio %.2f ms (%s), ratio %.2f\n", what, ours * 1e3,
                  reporter.range(std::string("BM_") + what, 1e3, "%.2f").c_str(), peer * 1e3,
                  reporter.range(std::string("BM_Stdio") + what, 1e3, "%.2f").c_str(), ours / peer);
  }
  std::filesystem::remove(OursOut());
  std::filesystem::remove(PeerOut());
  return kvbench::verdict();
}
