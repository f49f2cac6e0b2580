// The program list file of a machine with 100,000 programs (beside 10,000
// of another machine) against a Python 3 peer that reads the same
// KELVFILE.DBF with dbfread, selects, sorts by DESC and writes the same
// lines; the two files are compared. Compare the medians: ours should take
// at most the peer's time.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "bench/dnc/bench_station.h"
#include "dbtools/program_list_file.h"
#include "bench/outputs.h"


namespace {

constexpr long kMachine = 7, kOther = 8;
constexpr int kPrograms = 100000, kOthers = 10000;

struct Station {
  Station() : station("kv_bench_lists") {
    const char* labels[][2] = {{"293", "Machine"}, {"294", "Program ID"}, {"295", "Drawing no."},
                               {"296", "Part no."}, {"299", "Program file"}, {"300", "Description"}};
    for (auto& l : labels) Globals->MessageTexts.Set(std::atoi(l[0]), l[1]);
    TcbFileTable index("KELVFILE.DBF", 0, 0);
    index.Create((station.root / "db" / "KELVFILE.DBF").string().c_str());
    // DESCs in no order, unique, so both sorts agree on every line.
    std::vector<int> order(kPrograms + kOthers);
    for (int i = 0; i < static_cast<int>(order.size()); ++i) order[i] = i;
    std::shuffle(order.begin(), order.end(), std::mt19937(58));
    for (int n = 0; n < static_cast<int>(order.size()); ++n) {
      TcbFileRecord r;
      r.NCID = n + 1;
      r.MID = order[n] < kPrograms ? kMachine : kOther;
      CopyCut(r.DESC, sizeof r.DESC, FormatText("PRG%06d", order[n]).c_str());
      CopyCut(r.DIR, sizeof r.DIR, "K:\\PROGRAMS\\MILL1\\");
      CopyCut(r.NAME, sizeof r.NAME, FormatText("P%ld", r.NCID).c_str());
      CopyCut(r.EXT, sizeof r.EXT, "NC");
      CopyCut(r.MACHINE, sizeof r.MACHINE, order[n] % 3 ? "MILL1" : "MACHINING CENTRE 2 LEFT");
      CopyCut(r.CHAR3, sizeof r.CHAR3, FormatText("Flange %d, second operation", order[n] % 500).c_str());
      CopyCut(r.DRAW, sizeof r.DRAW, FormatText("D-%05d", order[n] % 9000).c_str());
      CopyCut(r.PART, sizeof r.PART, FormatText("P-%05d", order[n] % 7000).c_str());
      if (!index.AppendBatch(&r)) std::abort();
    }
    index.Close();
  }
  std::string Ours() const { return (station.root / "ours.lst").string(); }
  std::string Peer() const { return (station.root / "peer.lst").string(); }
  std::string Index() const { return (station.root / "db" / "KELVFILE.DBF").string(); }
  kvbench::TBenchStation station;
};

Station& TheStation() {
  static Station s;
  return s;
}

bool WriteOurs(const Station& s) {
  TProgramList programs;
  std::string error;
  return CollectProgramSet(TProgramSet::Machine, kMachine, programs) && programs.size() == kPrograms &&
         WriteProgramListFile(s.Ours(), programs, error);
}

void BM_ListFile(benchmark::State& state) {
  Station& s = TheStation();
  for (auto _ : state)
    if (!WriteOurs(s)) kvbench::fail(state, "the list could not be written");
  if (!kvbench::side_said("list file", kvbench::kOurs, kvbench::read_file(s.Ours()))) kvbench::fail(state, "the lists differ");
}

void BM_ListFilePythonDbfread(benchmark::State& state) {
  Station& s = TheStation();
  const TProgramLabels l = TProgramLabels::FromMessages();
  const std::string cmd = "/usr/bin/python3 " KV_SOURCE_DIR "/bench/dbtools/list_peer.py '" + s.Index() + "' " +
                          std::to_string(kMachine) + " '" + s.Peer() + "' '" + l.Desc + "' '" + l.Machine + "' '" +
                          l.Char3 + "' '" + l.Draw + "' '" + l.Part + "' '" + l.File + "'";
  for (auto _ : state)
    if (std::system(cmd.c_str()) != 0) kvbench::fail(state, "the peer failed");
  if (!kvbench::side_said("list file", kvbench::kPeer, kvbench::read_file(s.Peer()))) kvbench::fail(state, "the lists differ");
}

KV_BENCHMARK(BM_ListFile, 7)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
KV_BENCHMARK(BM_ListFilePythonDbfread, 7)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace

int main(int argc, char** argv) { return kvbench::main(argc, argv); }
