// A machine tool on a pseudo-terminal, for the demo station: the same
// simulated controls the DNC tests use, run as a program of their own.
//
//   kelvane-machine-sim rs232 <dir> <ready file> [program file]
//   kelvane-machine-sim heidenhain <dir> <ready file> <program name>
//
// It writes the line's device path into the ready file (the station's
// COMPORTS.CFG names it) and plays the machine until SIGTERM, SIGINT or
// SIGHUP, or until the process that started it ends. What it keeps and
// does is written into <dir> and told on standard output.
//
// rs232: a machine with a tape punch and reader. What the station sends
// is kept once the line has been quiet for two seconds (in <dir>/received-N.nc)
// and becomes the program in its memory. When the station opens the line
// and sends nothing for a second and a half, it is waiting for a program:
// the machine punches the one in its memory (the program file at the start).
//
// heidenhain: a control on the block protocol. Two seconds after the DNC
// server opens the line it asks for the program by name, keeps it
// (<dir>/<name>.H), and five seconds later outputs it back under the same
// name; once each time the server opens the line.
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/sim/heidenhain_sim.h"
#include "tests/sim/machine_sim.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

volatile sig_atomic_t g_stop = 0;
void OnSignal(int) { g_stop = 1; }

void Say(const std::string& what) {
  std::printf("%s\n", what.c_str());
  std::fflush(stdout);
}

bool WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  return static_cast<bool>(out);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

// Waits up to d while the line stays open; false when it closed or a stop
// came.
bool StayOpen(sim::Machine& m, Clock::duration d) {
  const auto end = Clock::now() + d;
  while (Clock::now() < end) {
    if (g_stop || !m.LineOpen()) return false;
    std::this_thread::sleep_for(50ms);
  }
  return true;
}

void PlayRs232(sim::Machine& m, const std::string& dir, std::string memory) {
  bool open = false;
  bool punched = false;
  std::size_t heard = 0;  // bytes since the line opened
  int kept = 0;
  std::string incoming;
  auto openedAt = Clock::now(), lastByte = Clock::now();
  while (!g_stop) {
    const bool now = m.LineOpen();
    if (now && !open) {
      openedAt = Clock::now();
      heard = 0;
      punched = false;
      Say("line opened");
    } else if (!now && open) {
      Say("line closed");
    }
    open = now;
    if (!open) {
      // Nobody on the line: the master reports the hang-up at once, so
      // look again a little later.
      std::this_thread::sleep_for(200ms);
    } else {
      const std::string got = m.Received(200);
      if (!got.empty()) {
        incoming += got;
        heard += got.size();
        lastByte = Clock::now();
      }
    }
    if (!incoming.empty() && Clock::now() - lastByte > 2s) {
      const std::string path = dir + "/received-" + std::to_string(++kept) + ".nc";
      memory = incoming;
      incoming.clear();
      Say("received " + std::to_string(memory.size()) + " bytes, kept in " + path +
          (WriteFile(path, memory) ? "" : " (could not be written)"));
    }
    if (open && !punched && heard == 0 && !memory.empty() && Clock::now() - openedAt > 1500ms) {
      punched = true;
      m.Send(memory);
      Say("punched " + std::to_string(memory.size()) + " bytes");
    }
  }
}

void PlayHeidenhain(sim::Machine& m, const std::string& dir, const std::string& name) {
  while (!g_stop) {
    if (!m.LineOpen()) {
      std::this_thread::sleep_for(200ms);
      continue;
    }
    Say("line opened");
    if (StayOpen(m, 2s)) {
      sim::HeidenhainControl control(m);
      control.Request(name);
      const int answer = control.Byte(10000);
      std::vector<std::string> lines;
      if (answer == sim::HeidenhainControl::kAck) lines = control.ReadProgram();
      if (answer != sim::HeidenhainControl::kAck) {
        Say("request for " + name + " answered with " + std::to_string(answer));
      } else if (!lines.empty() && lines.back().rfind('<', 0) == 0) {
        Say("reading " + name + " broke off");
      } else {
        std::string text;
        for (const std::string& l : lines) text += l + "\r\n";
        const std::string path = dir + "/" + name + ".H";
        Say("read " + name + ": " + std::to_string(lines.size()) + " lines, kept in " + path +
            (WriteFile(path, text) ? "" : " (could not be written)"));
        if (StayOpen(m, 5s)) {
          const std::string answers = control.Output(name, lines);
          const bool taken = answers == std::string(lines.size() + 1, sim::HeidenhainControl::kAck);
          Say(std::string("output ") + name + (taken ? ": every block acknowledged" : ": refused"));
        }
      }
    }
    // Once for each opening of the line.
    while (!g_stop && m.LineOpen()) std::this_thread::sleep_for(200ms);
    if (!g_stop) Say("line closed");
  }
}

int Usage() {
  std::fprintf(stderr,
               "usage: kelvane-machine-sim rs232 <dir> <ready file> [program file]\n"
               "       kelvane-machine-sim heidenhain <dir> <ready file> <program name>\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return Usage();
  const std::string kind = argv[1], dir = argv[2], ready = argv[3];
  const std::string extra = argc > 4 ? argv[4] : "";
  if (kind != "rs232" && kind != "heidenhain") return Usage();
  if (kind == "heidenhain" && extra.empty()) return Usage();
  // No machine outlives the demo that started it.
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  for (int s : {SIGTERM, SIGINT, SIGHUP}) sigaction(s, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);
  if (getppid() == 1) return 1;  // the starter already ended

  std::string memory;
  if (kind == "rs232" && !extra.empty()) {
    memory = ReadFile(extra);
    if (memory.empty()) {
      std::fprintf(stderr, "kelvane-machine-sim: no program in %s\n", extra.c_str());
      return 1;
    }
  }
  sim::Machine m(0);
  if (!m.ok()) {
    std::perror("kelvane-machine-sim: no pseudo-terminal");
    return 1;
  }
  m.ReleaseSlave();
  // The path appears whole or not at all.
  if (!WriteFile(ready + ".tmp", m.device() + "\n") || std::rename((ready + ".tmp").c_str(), ready.c_str()) != 0) {
    std::fprintf(stderr, "kelvane-machine-sim: cannot write %s\n", ready.c_str());
    return 1;
  }
  Say(kind + " machine on " + m.device());
  if (kind == "rs232")
    PlayRs232(m, dir, memory);
  else
    PlayHeidenhain(m, dir, extra);
  Say("stopped");
  return 0;
}
