// A Heidenhain control requests a program of 1 MB (KV_HEI_BENCH_BYTES sets
// another size) from the DNC server at 115200 baud and acknowledges every
// block as soon as it is whole. Reported: the rate on the wire and the rate
// of program text, each as a share of the line rate; every block waits for
// the control's ACK, so the turns between blocks cost line time. The text
// the control received must equal the program's file byte for byte, or the
// run fails.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "appcore/globals.h"
#include "bench/outputs.h"
#include "bench/dnc/bench_station.h"
#include "dbmodel/dncport.h"
#include "dbmodel/engine_context.h"
#include "dnc/dncport.h"
#include "dnc/server.h"
#include "tests/sim/heidenhain_sim.h"

namespace {

constexpr int kCom = 190;
constexpr double kBaud = 115200;

std::string ProgramText(std::size_t bytes) {
  std::string p = "0 BEGIN PGM BIG MM\r\n";
  for (int n = 1; p.size() < bytes; n++) p += std::to_string(n) + " L X+12.345 Y+67.89 R0 F1500\r\n";
  return p;
}

void BM_HeidenhainSendAt115200(benchmark::State& state) {
  const char* env = std::getenv("KV_HEI_BENCH_BYTES");
  const std::size_t size = env ? std::strtoul(env, nullptr, 10) : (1u << 20);
  kvbench::TBenchStation station("kvheibench_");
  const auto& root = station.root;

  const std::string program = ProgramText(size);
  std::ofstream((root / "progs" / "BIG").string(), std::ios::binary) << program;
  std::size_t lines = 0, wire = 0;
  for (std::size_t at = 0; at < program.size(); lines++) {
    std::size_t e = program.find("\r\n", at);
    wire += (e - at) + 4;  // STX, ETB, check, DC1
    at = e + 2;
  }

  auto machine = std::make_unique<sim::Machine>(kCom);
  {
    TMultiDncTable t("KELVMD32.DBF", 1, 0);
    t.Create((root / "alt" / "KELVMD32.DBF").string().c_str());
    std::unique_ptr<TMultiDncRecord> r(t.FindById(0));
    r->Clear();
    r->Number[kPropId] = 0;
    r->SetListA(kPropComNumber, kCom);
    r->SetListA(kPropProtocol, kProtoHeidenhain);
    r->SetListB(kPropFileMode, 1);
    r->SetText(kPropFirstDirectory, ((root / "progs").string() + "\\").c_str());
    r->Number[kPropBaud] = 16;
    r->Number[kPropDataBits] = 3;
    r->Number[kPropFlow] = 0;
    r->Number[kPropReadTimeout] = 30;
    t.Update(r.get());
  }

  for (auto _ : state) {
    plat::ThreadHandle master = StartDncServer();
    for (int i = 0; i < 3000 && !(PortCount == 1 && Ports[0] && Ports[0]->Polling); i++)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    sim::HeidenhainControl control(*machine);
    const auto t0 = std::chrono::steady_clock::now();
    control.Request("BIG");
    const bool accepted = control.Byte() == sim::HeidenhainControl::kAck;
    std::size_t blocks = 0;
    std::string received;
    if (accepted) {
      for (const auto& l : control.ReadProgram()) {
        received += l;
        received += "\r\n";
        blocks++;
      }
    }
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    SetDncEvent(kStopServer);
    plat::wait_for_single(master.get(), INFINITE);
    state.SetIterationTime(wall);
    const double line = kBaud / 10;  // 8 data bits, start and stop bit
    const bool complete = accepted && blocks == lines && received == program;
    state.counters["complete"] = complete ? 1 : 0;
    if (!kvbench::same_bytes("program received by the control against its file", received, program))
      kvbench::fail(state, "the control received another text");
    state.counters["blocks"] = static_cast<double>(blocks);
    state.counters["wire_pct_of_line"] = 100.0 * static_cast<double>(wire) / wall / line;
    state.counters["text_pct_of_line"] = 100.0 * static_cast<double>(program.size()) / wall / line;
  }
  machine.reset();
}

}  // namespace

KV_BENCHMARK(BM_HeidenhainSendAt115200, 3)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
int main(int argc, char** argv) { return kvbench::main(argc, argv); }
