// Every port the port table can hold (its id field has two digits: 100
// ports; the server itself has room for 128) has a machine on a
// pseudo-terminal that requests a program of 1 MB (set KV_DNC_BENCH_BYTES
// for another size) from one DNC server at 115200 baud with XON/XOFF.
// Reported: whether every byte arrived, the server's CPU in total and per
// port as a share of one core, and the most bytes that reached a machine
// after it had sent XOFF. A machine whose text is not the program's, byte
// for byte, fails the run.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "appcore/globals.h"
#include "bench/dnc/bench_station.h"
#include "bench/outputs.h"
#include "dbmodel/dncport.h"
#include "dnc/dncport.h"
#include "dnc/rs232.h"
#include "dnc/server.h"
#include "dbmodel/engine_context.h"
#include "tests/sim/machine_sim.h"

namespace {

constexpr int kMaxBenchPorts = 128;

double CpuSeconds(int who) {
  rusage u{};
  getrusage(who, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

std::string ProgramText(std::size_t bytes) {
  std::string p = "%\r\n(BIG)\r\n";
  for (int n = 1; p.size() < bytes - 8; n++) p += "N" + std::to_string(n) + " G1 X12.345 Y67.89 F1500\r\n";
  return p + "M30\r\n%";
}

void BM_EveryPortRequestsAProgram(benchmark::State& state) {
  const char* env = std::getenv("KV_DNC_BENCH_BYTES");
  const std::size_t size = env ? std::strtoul(env, nullptr, 10) : (1u << 20);
  kvbench::TBenchStation station("kvdncbench_");
  const auto& root = station.root;

  const std::string program = ProgramText(size);
  std::ofstream((root / "progs" / "BIG").string(), std::ios::binary) << program;
  std::string expected = "%\r\n";
  for (std::size_t at = 0; at < program.size();) {
    std::size_t e = program.find("\r\n", at);
    if (e == std::string::npos) e = program.size();
    expected += program.substr(at, e - at) + "\r\n";
    at = e + 2;
  }
  expected += "%";

  std::vector<std::unique_ptr<sim::Machine>> machines;
  {
    TMultiDncTable t("KELVMD32.DBF", 1, 0);
    t.Create((root / "alt" / "KELVMD32.DBF").string().c_str());
    // The table comes with 64 slots; the rest are appended while it has
    // ids to give (its id field has two digits).
    for (int i = 64; i < kMaxBenchPorts; i++) {
      TMultiDncRecord extra;
      if (!t.Append(&extra)) break;
    }
    for (int i = 0; i < kMaxBenchPorts; i++) {
      std::unique_ptr<TMultiDncRecord> r(t.FindById(i));
      if (!r) break;
      machines.push_back(std::make_unique<sim::Machine>(100 + i));
      r->Clear();
      r->Number[kPropId] = i;
      r->SetListA(kPropComNumber, 100 + i);
      r->SetListA(kPropProtocol, kProtoStandard);
      r->SetListB(kPropFileMode, 1);
      r->SetText(kPropFirstDirectory, ((root / "progs").string() + "\\").c_str());
      r->Number[kPropBaud] = 16;
      r->Number[kPropDataBits] = 3;
      r->Number[kPropFlow] = 1;
      r->Number[kPropNulFilter] = 1;
      r->Number[kPropReadTimeout] = 1;
      r->SetText(kPropRequestTrigger, "82");
      r->SetText(kPropRequestEndTrigger, "47");
      r->SetText(kPropBeforeFile, "37,13,10");
      r->SetText(kPropAfterFile, "37");
      t.Update(r.get());
    }
  }

  const int kPorts = static_cast<int>(machines.size());
  for (auto _ : state) {
    plat::ThreadHandle master = StartDncServer();
    for (int i = 0; i < 3000 && (PortCount < kPorts || !Ports[kPorts - 1] || !Ports[kPorts - 1]->Polling); i++)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (PortCount < kPorts) {
      kvbench::fail(state, ("only " + std::to_string(PortCount) + " of " + std::to_string(kPorts) + " ports open"));
      SetDncEvent(kStopServer);
      plat::wait_for_single(master.get(), INFINITE);
      break;
    }
    std::vector<std::string> got(kPorts);
    long afterXoff = 0;
    const double cpu0 = CpuSeconds(RUSAGE_SELF);
    const auto t0 = std::chrono::steady_clock::now();
    double readerCpu = 0;
    std::thread reader([&] {
      const double r0 = CpuSeconds(RUSAGE_THREAD);
      for (auto& m : machines) m->Send("R BIG/\r\n");
      bool held = false;
      std::size_t atXoff = 0;
      // Until every machine has the program's length, or nothing has
      // arrived anywhere for a while (a transfer that stopped short).
      auto lastByte = std::chrono::steady_clock::now();
      for (int done = 0; done < kPorts;) {
        done = 0;
        for (int i = 0; i < kPorts; i++) {
          const std::size_t before = got[i].size();
          if (got[i].size() < expected.size()) got[i] += machines[i]->Received(0);
          if (got[i].size() != before) lastByte = std::chrono::steady_clock::now();
          if (got[i].size() >= expected.size()) done++;
        }
        if (std::chrono::steady_clock::now() - lastByte > std::chrono::seconds(15)) break;
        // One machine holds the line half-way for a moment.
        if (!held && got[0].size() > expected.size() / 2) {
          // What was sent before the XOFF left is no byte after it.
          got[0] += machines[0]->Received(0);
          machines[0]->Send("\x13");
          atXoff = got[0].size();
          std::this_thread::sleep_for(std::chrono::milliseconds(300));
          got[0] += machines[0]->Received(0);
          afterXoff = static_cast<long>(got[0].size() - atXoff);
          machines[0]->Send("\x11");
          held = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (std::chrono::steady_clock::now() - t0 > std::chrono::minutes(10)) break;
      }
      readerCpu = CpuSeconds(RUSAGE_THREAD) - r0;
    });
    reader.join();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double serverCpu = CpuSeconds(RUSAGE_SELF) - cpu0 - readerCpu;
    int complete = 0;
    for (const auto& s : got) complete += s == expected ? 1 : 0;
    SetDncEvent(kStopServer);
    plat::wait_for_single(master.get(), INFINITE);
    state.SetIterationTime(wall);
    state.counters["ports_complete"] = complete;
    state.counters["server_cpu_pct_of_core"] = 100.0 * serverCpu / wall;
    state.counters["cpu_pct_per_port"] = 100.0 * serverCpu / wall / kPorts;
    state.counters["bytes_after_xoff"] = static_cast<double>(afterXoff);
    state.counters["ports"] = kPorts;
    state.counters["bytes_per_port"] = static_cast<double>(expected.size());
    // Every machine must hold the program's text as sent, byte for byte.
    if (complete != kPorts)
      kvbench::fail(state, std::to_string(kPorts - complete) + " of " + std::to_string(kPorts) +
                               " machines did not receive the program whole");
  }
  machines.clear();
}

}  // namespace

KV_BENCHMARK(BM_EveryPortRequestsAProgram, 1)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
int main(int argc, char** argv) { return kvbench::main(argc, argv); }
