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
#include <vector>

namespace plat {

// A finished operation whose waiters are told once no port lock is held.
class Completion {
 public:
  virtual ~Completion() = default;
  virtual void signal() = 0;
};

// Completions made on this thread while a batch is open are signalled when
// the outermost batch ends (or at flush()), after the port lock it guarded
// was released: a woken thread finds the port free instead of blocking on
// it at once, and the poller wakes the threads of a whole round together.
class CompletionBatch {
 public:
  CompletionBatch();
  ~CompletionBatch();
  CompletionBatch(const CompletionBatch&) = delete;
  CompletionBatch& operator=(const CompletionBatch&) = delete;
  // Signals what the thread's open batch holds so far.
  static void flush();
  // Signals at once when the thread has no open batch.
  static void add(std::shared_ptr<Completion> c);

 private:
  std::vector<std::shared_ptr<Completion>> list_;
  CompletionBatch* outer_;
};

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
