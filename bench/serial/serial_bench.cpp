// 128 ports transferring at once over pseudo-terminals for a few seconds.
// The machines run in a child process, so the CPU time measured here is the
// server side's alone (port threads and the ports' I/O threads). Reports
// total bytes per second and server CPU milliseconds per megabyte, for the
// server receiving (1024-byte reads, as the read threads do) and sending
// (1000-byte blocks, as the write threads do).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/serial.h"

namespace {

constexpr int kPorts = 128;
constexpr auto kRun = std::chrono::seconds(3);

double cpu_seconds() {
  rusage ru;
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// The machines: feed every master (server receiving) or drain it (server
// sending) until killed.
[[noreturn]] void machines(const std::vector<int>& masters, bool feed) {
  std::vector<pollfd> fds;
  for (int m : masters) fds.push_back({m, static_cast<short>(feed ? POLLOUT : POLLIN), 0});
  std::string block(65536, 'G');
  std::vector<char> buf(65536);
  for (;;) {
    if (::poll(fds.data(), fds.size(), 1000) < 0) _exit(1);
    for (auto& p : fds) {
      if (feed && (p.revents & POLLOUT)) (void)!::write(p.fd, block.data(), block.size());
      if (!feed && (p.revents & POLLIN)) (void)!::read(p.fd, buf.data(), buf.size());
    }
  }
}

void run(benchmark::State& state, bool server_receives) {
  std::vector<int> masters;
  std::vector<plat::HCOMM> ports;
  for (int i = 0; i < kPorts; ++i) {
    int m, s;
    char name[256];
    if (openpty(&m, &s, name, nullptr, nullptr) != 0) {
      state.SkipWithError("openpty failed");
      return;
    }
    termios t;
    tcgetattr(m, &t);
    cfmakeraw(&t);
    tcsetattr(m, TCSANOW, &t);
    fcntl(m, F_SETFL, fcntl(m, F_GETFL) | O_NONBLOCK);
    plat::map_comm_port(i + 1, name);
    plat::HCOMM h = plat::open_comm(("\\\\.\\COM" + std::to_string(i + 1)).c_str());
    close(s);
    if (!h) {
      state.SkipWithError("port did not open");
      return;
    }
    plat::COMMTIMEOUTS to{10000, 10, 5000, 100, 20000};
    plat::set_comm_timeouts(h, &to);
    masters.push_back(m);
    ports.push_back(h);
  }
  pid_t child = fork();
  if (child == 0) machines(masters, server_receives);

  std::atomic<bool> stop{false};
  std::atomic<unsigned long long> bytes{0};
  for (auto _ : state) {
    double cpu0 = cpu_seconds();
    auto t0 = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    for (plat::HCOMM h : ports)
      threads.emplace_back([&, h] {
        plat::Event ev(true);
        plat::OVERLAPPED ov;
        ov.hEvent = &ev;
        std::vector<char> buf(1024, 'N');
        while (!stop.load(std::memory_order_relaxed)) {
          DWORD n = 0;
          BOOL ok = server_receives ? plat::read_comm(h, buf.data(), 1024, &n, &ov)
                                    : plat::write_comm(h, buf.data(), 1000, &n, &ov);
          if (!ok) plat::get_overlapped_result(h, &ov, &n, TRUE);
          bytes += n;
        }
      });
    std::this_thread::sleep_for(kRun);
    stop = true;
    for (plat::HCOMM h : ports) plat::purge_comm(h, PURGE_RXABORT | PURGE_TXABORT);
    for (auto& t : threads) t.join();
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    double cpu = cpu_seconds() - cpu0;
    double mb = bytes.load() / 1e6;
    state.counters["MB_per_s"] = mb / secs;
    state.counters["server_cpu_ms_per_MB"] = mb > 0 ? cpu * 1000 / mb : 0;
  }
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  for (plat::HCOMM h : ports) plat::close_comm(h);
  for (int m : masters) close(m);
  plat::reset_comm_ports();
}

void BM_ServerReceives128Ports(benchmark::State& state) { run(state, true); }
void BM_ServerSends128Ports(benchmark::State& state) { run(state, false); }

BENCHMARK(BM_ServerReceives128Ports)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_ServerSends128Ports)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
