// One thread serves every open serial port: it waits in epoll for line
// readiness and for the ports' next deadlines (time-outs, output pacing)
// and calls the port back. Ports do what they can at once in the calling
// thread (a write goes to the line, a read takes queued bytes) and ask the
// poller only for what must wait, so an idle or paced line costs no wake-up
// of its own.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>

namespace plat {

class PollClient {
 public:
  virtual ~PollClient() = default;
  // Called without any poller lock held; events are EPOLL* bits.
  virtual void on_ready(std::uint32_t events) = 0;
  virtual void on_deadline() = 0;
};

class SerialPoller {
 public:
  using Clock = std::chrono::steady_clock;

  // The process's poller, started on first use and never stopped.
  static SerialPoller& instance();

  // Registers a client with its descriptor and EPOLL* interest; returns an
  // id, or 0 when epoll refuses the descriptor. The poller keeps the client
  // alive until it is removed.
  std::uint64_t add(std::shared_ptr<PollClient> client, int fd, std::uint32_t events);
  // New interest; 0 takes the descriptor out of epoll (a hung-up line would
  // otherwise report itself for ever).
  void watch(std::uint64_t id, int fd, std::uint32_t events);
  // The client's next deadline; time_point::max() for none.
  void schedule(std::uint64_t id, Clock::time_point when);
  // After this returns the descriptor is out of epoll and no new callback
  // starts; one already running may still finish.
  void remove(std::uint64_t id, int fd);

  SerialPoller(const SerialPoller&) = delete;
  SerialPoller& operator=(const SerialPoller&) = delete;

 private:
  struct State;
  SerialPoller();
  void loop();
  State* s_;
};

}  // namespace plat
