// Reading and writing a multi-megabyte NC program line by line.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "appcore/myfile.h"

namespace {

const std::string& ProgramPath() {
  static const std::string path = [] {
    std::string p = (std::filesystem::temp_directory_path() / "kv_bench_myfile.nc").string();
    std::ofstream out(p, std::ios::binary);
    for (int i = 0; i < 200000; ++i) out << "N" << i << " G01 X" << i % 997 << ".125 Y-" << i % 313 << ".5 F1200\r\n";
    return p;
  }();
  return path;
}

void BM_ReadLines(benchmark::State& state) {
  std::size_t bytes = 0;
  for (auto _ : state) {
    TMyFile f(ProgramPath().c_str());
    f.Open(1);
    while (auto line = f.ReadLine(0)) bytes += std::char_traits<char>::length(line.get()) + 2;
    f.Close();
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}
BENCHMARK(BM_ReadLines)->Unit(benchmark::kMillisecond);

void BM_WriteLines(benchmark::State& state) {
  std::string out = ProgramPath() + ".out";
  std::size_t bytes = 0;
  for (auto _ : state) {
    TMyFile f(out.c_str());
    f.Open(0);
    for (int i = 0; i < 200000; ++i) {
      f.WriteLine("N1000 G01 X100.125 Y-20.5 F1200");
      bytes += 33;
    }
    f.FlushBuffer();
    f.Close();
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}
BENCHMARK(BM_WriteLines)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
