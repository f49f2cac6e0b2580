// 128 serial lines at once, each paced like a real line at 115200 baud
// (11,520 bytes a second), with XON/XOFF both ways, as the DNC server runs
// them. The machines run in a child process behind pseudo-terminals and
// pace themselves with a 4 ms tick, like a UART handing its FIFO over; the
// CPU time measured is the server side's alone (the port threads and the
// layer's poller). Reported: the server's CPU as a share of one core, the
// bytes per second moved, the bytes lost (sent but never received) and the
// bytes received wrong (not the text sent, in its place), which must both
// be 0, the XOFFs that held a sender, and the server's context switches a
// second. Every line carries the same NC text, over and over, so each side
// checks what it gets against the text at its place.
//
// Receiving: the machines send, and the server reads in blocks of half a
// second of line time, as the DNC read threads do at this rate; the
// reader of every eighth line stops for longer than its queue lasts (as a
// read thread behind a slow disk does), so the port's XOFF stops that
// machine until the reader has caught up. Sending: blocks of the same
// size, as the DNC write threads send them; every machine holds the line
// with XOFF for 200 ms each second and a half.
//
// The peer (Floor) carries the same load with no layer at all: one thread
// reads or writes each line once per tick of the layer (64 ms receiving,
// 32 ms sending, one read before each write as heeding XOFF needs),
// checks what it read against the text, and wakes the line's own thread
// through a bare futex once per block, where the layer would complete a
// read or write (blocks of the same size as the layer's side uses). What
// it costs is the kernel's price for the pseudo-terminal calls and the
// thread wake-ups alone; it has no flow control, so no line of it stops.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <linux/futex.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/outputs.h"
#include "platform/serial.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPorts = 128;
constexpr DWORD kBaud = 115200;
constexpr double kBytesPerSecond = kBaud / 10.0;
// Receiving runs long enough for a stalled reader's queue to reach the
// XOFF point (64 KiB take 5.7 s at this rate).
constexpr auto kReceiveRun = std::chrono::milliseconds(8000);
constexpr auto kSendRun = std::chrono::milliseconds(3300);
constexpr auto kMachineTick = std::chrono::milliseconds(4);
// The DNC threads' block at 115200 baud: half a second of the line.
constexpr DWORD kBlock = kBaud / 20;
// Receiving: the reader of every eighth line stops this long, from 0.5 s.
constexpr int kStallEvery = 8;
constexpr auto kStallAt = std::chrono::milliseconds(500);
constexpr auto kStall = std::chrono::milliseconds(6200);
// Sending: each machine holds the line with XOFF this long, this often.
constexpr double kHoldEvery = 1.5, kHoldFor = 0.2;

// The text every line carries over and over; a byte's place on its line
// says which byte of the text it must be.
const std::string& line_text() {
  static const std::string text = [] {
    std::string t;
    char line[64];
    for (int i = 0; t.size() < 65536; ++i)
      t.append(line, static_cast<std::size_t>(std::snprintf(line, sizeof line, "N%d G01 X12.500 Y-3.250 F800\r\n", 10000 + i)));
    return t;
  }();
  return text;
}

// The bytes of p that are not the text from place `at` on.
unsigned long long wrong_bytes(const char* p, std::size_t n, unsigned long long at) {
  const std::string& text = line_text();
  unsigned long long wrong = 0;
  for (std::size_t done = 0; done < n;) {
    const std::size_t off = (at + done) % text.size();
    const std::size_t len = std::min(n - done, text.size() - off);
    if (std::memcmp(p + done, text.data() + off, len) != 0)
      for (std::size_t k = 0; k < len; ++k) wrong += p[done + k] != text[off + k];
    done += len;
  }
  return wrong;
}

// Copies n bytes of the text from place `at` on into p.
void fill_text(char* p, std::size_t n, unsigned long long at) {
  const std::string& text = line_text();
  for (std::size_t done = 0; done < n;) {
    const std::size_t off = (at + done) % text.size();
    const std::size_t len = std::min(n - done, text.size() - off);
    std::memcpy(p + done, text.data() + off, len);
    done += len;
  }
}

// What the machines report: bytes sent and received, received bytes that
// were not the text in their place, XOFFs that held a sender.
struct Report {
  unsigned long long sent = 0, received = 0, wrong = 0, xoffs = 0;
};

struct Usage {
  double cpu;
  long switches;
};

Usage usage() {
  rusage ru;
  getrusage(RUSAGE_SELF, &ru);
  return {ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6,
          ru.ru_nvcsw + ru.ru_nivcsw};
}

bool write_full(int fd, const void* p, std::size_t n) {
  return ::write(fd, p, n) == static_cast<ssize_t>(n);
}

// The machines: each line moves what its baud allows since the start,
// tick by tick. Sending machines stop at an XOFF from the server and go
// on at XON. Receiving machines check what they get against the text and
// hold the line with XOFF now and then. When the parent writes to `stop`
// they stop sending, take in what is still on the lines for a moment, and
// send their report through `report`.
[[noreturn]] void machines(const std::vector<int>& masters, bool send, int stop, int report) {
  const std::size_t n = masters.size();
  std::vector<unsigned long long> sent(n), received(n);
  std::vector<bool> held(n);
  std::vector<int> holds(n);  // receiving: holds sent so far
  Report totals;
  const std::string& text = line_text();
  std::vector<char> buf(65536);
  const auto t0 = Clock::now();
  auto draining = Clock::time_point::max();
  for (;;) {
    auto now = Clock::now();
    if (now >= draining) break;
    pollfd p{stop, POLLIN, 0};
    if (draining == Clock::time_point::max() && ::poll(&p, 1, 0) > 0) draining = now + std::chrono::milliseconds(500);
    const bool running = draining == Clock::time_point::max();
    const double secs = std::chrono::duration<double>(now - t0).count();
    const double due = secs * kBytesPerSecond;
    for (std::size_t i = 0; i < n; ++i) {
      // Receiving: XOFF for a while every kHoldEvery seconds, each line at
      // its own moment of the period; XON when the hold is over.
      if (!send) {
        const double phase = secs - kHoldEvery * static_cast<double>(i % 16) / 16;
        const bool hold = running && phase > 0 && std::fmod(phase, kHoldEvery) < kHoldFor;
        if (hold != held[i] && write_full(masters[i], hold ? "\x13" : "\x11", 1)) {
          held[i] = hold;
          if (hold) ++totals.xoffs;
        }
      }
      // Reading paced like the line, unpaced once the run is over.
      std::size_t want = buf.size();
      if (!send && running) want = std::min<std::size_t>(want, static_cast<std::size_t>(due - received[i]));
      ssize_t r = want ? ::read(masters[i], buf.data(), want) : 0;
      if (r > 0) {
        if (send) {
          for (ssize_t k = 0; k < r; ++k) {
            if (buf[k] == 0x13 && !held[i]) {
              held[i] = true;
              ++totals.xoffs;
            }
            if (buf[k] == 0x11) held[i] = false;
          }
        } else {
          totals.wrong += wrong_bytes(buf.data(), static_cast<std::size_t>(r), received[i]);
          received[i] += static_cast<unsigned long long>(r);
        }
      }
      if (send && running && !held[i] && due > sent[i]) {
        std::size_t off = sent[i] % text.size();
        std::size_t len = std::min<std::size_t>(static_cast<std::size_t>(due - sent[i]), text.size() - off);
        ssize_t w = ::write(masters[i], text.data() + off, len);
        if (w > 0) sent[i] += static_cast<unsigned long long>(w);
      }
    }
    std::this_thread::sleep_until(now + kMachineTick);
  }
  for (std::size_t i = 0; i < n; ++i) {
    totals.sent += sent[i];
    totals.received += received[i];
  }
  _exit(write_full(report, &totals, sizeof totals) ? 0 : 1);
}

// The machines run in a process of their own started from this program
// (`--machines`), not in a fork of it: a fork would leave the server's
// memory shared copy-on-write, and the server would pay a page copy and a
// flush of every processor's TLB for each page it first writes after it,
// a cost no DNC server has. The descriptors are inherited.
pid_t spawn_machines(const std::vector<int>& masters, bool send, int stop, int report) {
  std::vector<std::string> args = {"bench_serial", "--machines", send ? "1" : "0", std::to_string(stop),
                                   std::to_string(report)};
  for (int m : masters) args.push_back(std::to_string(m));
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  return posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, argv.data(), environ) == 0 ? pid : -1;
}

// The lines: masters for the machines, and either the layer's ports or
// (for the floor) the raw slave sides.
struct Lines {
  std::vector<int> masters;
  std::vector<plat::HCOMM> ports;
  std::vector<int> slaves;
  ~Lines() {
    for (plat::HCOMM h : ports) plat::close_comm(h);
    for (int fd : slaves) close(fd);
    for (int m : masters) close(m);
    plat::reset_comm_ports();
  }
};

void raw(int fd) {
  termios t;
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  tcsetattr(fd, TCSANOW, &t);
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

bool open_lines(Lines& lines, bool through_layer) {
  for (int i = 0; i < kPorts; ++i) {
    int m, s;
    char name[256];
    if (openpty(&m, &s, name, nullptr, nullptr) != 0) return false;
    raw(m);
    lines.masters.push_back(m);
    if (!through_layer) {
      raw(s);
      lines.slaves.push_back(s);
      continue;
    }
    plat::map_comm_port(i + 1, name);
    plat::HCOMM h = plat::open_comm(("\\\\.\\COM" + std::to_string(i + 1)).c_str());
    close(s);
    if (!h) return false;
    plat::DCB dcb;
    plat::get_comm_state(h, &dcb);
    dcb.BaudRate = kBaud;
    dcb.fOutX = 1;
    dcb.fInX = 1;
    dcb.XonLim = 100;
    dcb.XoffLim = 100;
    plat::set_comm_state(h, &dcb);
    plat::COMMTIMEOUTS to{10000, 10, 5000, 100, 20000};
    plat::set_comm_timeouts(h, &to);
    lines.ports.push_back(h);
  }
  return true;
}

// What the server side moved: bytes, and received bytes that were not the
// text in their place.
struct Moved {
  unsigned long long bytes = 0, wrong = 0;
};

// The server side through the layer: a thread per port, as the DNC runs
// them, until `stop`.
Moved serve_through_layer(const Lines& lines, bool server_receives, std::atomic<bool>& stop,
                          const std::function<void()>& run_for) {
  // A stop event per port, as each DNC port has its own.
  std::vector<std::unique_ptr<plat::Event>> stop_events;
  for (std::size_t i = 0; i < lines.ports.size(); ++i) stop_events.push_back(std::make_unique<plat::Event>(true));
  std::atomic<unsigned long long> bytes{0}, wrong{0};
  const auto t0 = Clock::now();
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < lines.ports.size(); ++i)
    threads.emplace_back([&, i, h = lines.ports[i], &stop_event = *stop_events[i]] {
      plat::Event ev(true);
      plat::OVERLAPPED ov;
      ov.hEvent = &ev;
      std::vector<char> buf(kBlock);
      unsigned long long at = 0, bad = 0;
      bool stalled = !server_receives || i % kStallEvery != 0;  // only some readers stall, once
      while (!stop.load(std::memory_order_relaxed)) {
        if (!stalled && Clock::now() - t0 >= kStallAt) {
          stalled = true;
          plat::Waitable* handles[] = {&stop_event};
          plat::wait_for_multiple(handles, 1, false, static_cast<DWORD>(kStall.count() / plat::time_scale()));
          continue;
        }
        if (!server_receives) fill_text(buf.data(), kBlock, at);
        DWORD n = 0;
        BOOL ok = server_receives ? plat::read_comm(h, buf.data(), kBlock, &n, &ov)
                                  : plat::write_comm(h, buf.data(), kBlock, &n, &ov);
        if (!ok) {
          plat::Waitable* handles[] = {&ev, &stop_event};
          // A reader's last block would wait for the read time-out.
          if (plat::wait_for_multiple(handles, 2, false, INFINITE) == WAIT_OBJECT_0 + 1 && server_receives)
            plat::purge_comm(h, PURGE_RXABORT);
          plat::get_overlapped_result(h, &ov, &n, TRUE);
        }
        if (server_receives) bad += wrong_bytes(buf.data(), n, at);
        at += n;
      }
      bytes += at;
      wrong += bad;
    });
  run_for();
  // Writers finish their block.
  for (auto& e : stop_events) e->set();
  for (auto& t : threads) t.join();
  return {bytes.load(), wrong.load()};
}

void futex_wake(std::atomic<int>& word) {
  word.store(1);
  syscall(SYS_futex, &word, FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}

// The floor: the same system calls and wake-ups with nothing around them.
Moved serve_floor(const Lines& lines, bool server_receives, std::atomic<bool>& stop,
                  const std::function<void()>& run_for) {
  const std::size_t n = lines.slaves.size();
  const std::size_t block = kBlock;
  const auto tick = std::chrono::milliseconds(server_receives ? 64 : 32);
  std::vector<std::atomic<int>> words(n);
  std::atomic<bool> quit{false};
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < n; ++i)
    threads.emplace_back([&, i] {
      while (!quit.load()) {
        while (words[i].exchange(0) == 0 && !quit.load())
          syscall(SYS_futex, &words[i], FUTEX_WAIT_PRIVATE, 0, nullptr, nullptr, 0);
      }
    });
  Moved moved_total;
  std::thread pump([&] {
    std::vector<unsigned long long> moved(n), blocks(n);
    std::vector<char> buf(65536), out(65536);
    unsigned long long wrong = 0;
    const auto t0 = Clock::now();
    for (auto next = t0; !stop.load(); next += tick) {
      std::this_thread::sleep_until(next);
      const double due = std::chrono::duration<double>(Clock::now() - t0).count() * kBytesPerSecond;
      for (std::size_t i = 0; i < n; ++i) {
        ssize_t r = ::read(lines.slaves[i], buf.data(), buf.size());
        if (server_receives) {
          if (r > 0) {
            wrong += wrong_bytes(buf.data(), static_cast<std::size_t>(r), moved[i]);
            moved[i] += static_cast<unsigned long long>(r);
          }
        } else if (due > moved[i]) {
          const std::size_t len = std::min<std::size_t>(out.size(), due - moved[i]);
          fill_text(out.data(), len, moved[i]);
          ssize_t w = ::write(lines.slaves[i], out.data(), len);
          if (w > 0) moved[i] += static_cast<unsigned long long>(w);
        }
        for (; (blocks[i] + 1) * block <= moved[i]; ++blocks[i]) futex_wake(words[i]);
      }
    }
    unsigned long long total = 0;
    for (std::size_t i = 0; i < n; ++i) total += blocks[i] * block;
    moved_total = {total, wrong};
  });
  run_for();
  pump.join();
  quit = true;
  for (auto& w : words) futex_wake(w);
  for (auto& t : threads) t.join();
  return moved_total;
}

void run(benchmark::State& state, bool server_receives, bool through_layer) {
  Lines lines;
  if (!open_lines(lines, through_layer)) return state.SkipWithError("lines did not open");

  for (auto _ : state) {
    for (plat::HCOMM h : lines.ports) plat::purge_comm(h, PURGE_RXCLEAR | PURGE_TXCLEAR);
    for (int fd : lines.slaves) tcflush(fd, TCIOFLUSH);
    int stop_pipe[2], report_pipe[2];
    if (pipe(stop_pipe) != 0 || pipe(report_pipe) != 0) return state.SkipWithError("pipe failed");
    pid_t child = spawn_machines(lines.masters, server_receives, stop_pipe[0], report_pipe[1]);
    if (child < 0) return state.SkipWithError("machines did not start");

    std::atomic<bool> stop{false};
    auto run_for = [&] {
      std::this_thread::sleep_for(server_receives ? kReceiveRun : kSendRun);
      if (server_receives) {
        // Let the machines stop first and read what is still on the way.
        (void)!::write(stop_pipe[1], "x", 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
      }
      stop = true;
    };
    Usage u0 = usage();
    auto t0 = Clock::now();
    Moved moved = through_layer ? serve_through_layer(lines, server_receives, stop, run_for)
                                : serve_floor(lines, server_receives, stop, run_for);
    double secs = std::chrono::duration<double>(Clock::now() - t0).count();
    Usage u1 = usage();
    // Then the machines drain the lines.
    if (!server_receives) (void)!::write(stop_pipe[1], "x", 1);
    Report report;
    bool reported = ::read(report_pipe[0], &report, sizeof report) == static_cast<ssize_t>(sizeof report);
    waitpid(child, nullptr, 0);
    for (int fd : {stop_pipe[0], stop_pipe[1], report_pipe[0], report_pipe[1]}) close(fd);
    if (!reported) return state.SkipWithError("machines did not report");
    state.counters["server_cpu_pct_of_core"] = (u1.cpu - u0.cpu) / secs * 100;
    state.counters["switches_per_s"] = static_cast<double>(u1.switches - u0.switches) / secs;
    state.counters["KB_per_s"] = moved.bytes / secs / 1000;
    state.counters["line_rate_pct"] = moved.bytes / secs / (kBytesPerSecond * kPorts) * 100;
    state.counters["bytes_wrong"] = static_cast<double>(server_receives ? moved.wrong : report.wrong);
    // Receiving: what the machines sent and the readers have not got.
    // Sending: what the writers completed and the machines never saw.
    // The floor counts whole blocks only, so it reports no loss, and has
    // no flow control, so nothing holds it.
    if (through_layer) {
      long long lost = server_receives ? static_cast<long long>(report.sent) - static_cast<long long>(moved.bytes)
                                       : static_cast<long long>(moved.bytes) - static_cast<long long>(report.received);
      state.counters["bytes_lost"] = static_cast<double>(lost);
      state.counters["xoff_holds"] = static_cast<double>(report.xoffs);
      if (lost != 0) kvbench::fail(state, std::to_string(lost) + " bytes lost");
    }
    // Every byte must arrive as sent, on both sides; a side that moved
    // nothing proves nothing.
    const unsigned long long wrong = server_receives ? moved.wrong : report.wrong;
    if (wrong != 0) kvbench::fail(state, std::to_string(wrong) + " bytes received wrong");
    if (moved.bytes == 0) kvbench::fail(state, "no byte moved");
  }
}

void BM_Receive128LinesAt115200XonXoff(benchmark::State& state) { run(state, true, true); }
void BM_Send128LinesAt115200XonXoff(benchmark::State& state) { run(state, false, true); }
void BM_FloorReceive128LinesAt115200(benchmark::State& state) { run(state, true, false); }
void BM_FloorSend128LinesAt115200(benchmark::State& state) { run(state, false, false); }

#define KV_SERIAL_BENCH(fn) KV_BENCHMARK(fn, 3)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime()
KV_SERIAL_BENCH(BM_Receive128LinesAt115200XonXoff);
KV_SERIAL_BENCH(BM_FloorReceive128LinesAt115200);
KV_SERIAL_BENCH(BM_Send128LinesAt115200XonXoff);
KV_SERIAL_BENCH(BM_FloorSend128LinesAt115200);

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 5 && std::string(argv[1]) == "--machines") {
    std::vector<int> masters;
    for (int i = 5; i < argc; ++i) masters.push_back(std::atoi(argv[i]));
    machines(masters, std::string(argv[2]) == "1", std::atoi(argv[3]), std::atoi(argv[4]));
  }
  return kvbench::main(argc, argv);
}
