// One open serial port: the line, its settings, the receive queue and the
// pending operations. Driven by the calling threads and by the shared
// serial poller. Used through the handle functions of serial.h.
#pragma once

#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/serial.h"
#include "platform/serial_poller.h"

namespace plat {

struct CommRequest;

// The received bytes: a ring of fixed capacity. Its memory is left as the
// system gives it, so pages the queue never fills are never touched.
class RxRing {
 public:
  explicit RxRing(std::size_t capacity) : buf_(new unsigned char[capacity]), capacity_(capacity) {}
  std::size_t size() const { return size_; }
  std::size_t room() const { return capacity_ - size_; }
  std::size_t capacity() const { return capacity_; }
  // Both move up to n bytes and return how many moved.
  std::size_t push(const unsigned char* p, std::size_t n);
  std::size_t pop(unsigned char* p, std::size_t n);
  void clear() { head_ = size_ = 0; }

 private:
  std::unique_ptr<unsigned char[]> buf_;
  std::size_t capacity_;
  std::size_t head_ = 0;
  std::size_t size_ = 0;
};

class CommPort : public PollClient, public std::enable_shared_from_this<CommPort> {
 public:
  using Clock = std::chrono::steady_clock;

  explicit CommPort(std::unique_ptr<SerialLine> line);
  ~CommPort() override;
  CommPort(const CommPort&) = delete;
  CommPort& operator=(const CommPort&) = delete;

  // Registers the line with the poller; false when it cannot be watched.
  bool start();
  // Aborts every pending operation and closes the line. The line is closed
  // outside the port lock: a tty may wait in the kernel for its output.
  void close();

  // Each returns 0 on success or a Windows error number; ERROR_IO_PENDING
  // for an overlapped operation that has not completed yet.
  DWORD get_state(DCB* dcb);
  DWORD set_state(const DCB* dcb);
  DWORD get_timeouts(COMMTIMEOUTS* t);
  DWORD set_timeouts(const COMMTIMEOUTS* t);
  DWORD read(void* buf, DWORD n, DWORD* done, OVERLAPPED* ov);
  DWORD write(const void* buf, DWORD n, DWORD* done, OVERLAPPED* ov);
  DWORD set_mask(DWORD mask);
  DWORD get_mask(DWORD* mask);
  DWORD wait_event(DWORD* mask, OVERLAPPED* ov);
  DWORD purge(DWORD flags);
  DWORD clear_error(DWORD* errors, COMSTAT* stat);
  DWORD modem_status(DWORD* status);
  DWORD escape(DWORD function);

  // The outcome kept in an overlapped record; needs no port, so it still
  // answers after the port was closed.
  static DWORD result(OVERLAPPED* ov, DWORD* done, bool wait);

  void on_ready(std::uint32_t events) override;
  void on_deadline() override;

 private:
  using Req = std::shared_ptr<CommRequest>;

  // The port lock; what completes under it is signalled once it is free.
  struct Locked {
    explicit Locked(std::mutex& m) : lock(m) {}
    CompletionBatch batch;
    std::lock_guard<std::mutex> lock;
  };

  DWORD submit(const Req& r, OVERLAPPED* ov, DWORD* done);
  void complete_locked(const Req& r, DWORD error);
  void abort_all_locked(std::deque<Req>& q);
  void start_read_locked(CommRequest& r, Clock::time_point now);
  void start_write_locked(CommRequest& r, Clock::time_point now);
  void drive_locked(Clock::time_point now);
  void serve_reads_locked(Clock::time_point now);
  void serve_writes_locked(Clock::time_point now);
  bool send_flow_char_locked();
  std::size_t tx_allowance_locked(Clock::time_point now, std::size_t want);
  bool read_expires_locked(Clock::time_point now) const;
  void expire_locked(Clock::time_point now);
  void take_input_locked(Clock::time_point now);
  void gather_input_locked(Clock::time_point now);
  void decode_locked(const unsigned char* in, std::size_t n, Clock::time_point now);
  void deliver_locked(const unsigned char* p, std::size_t n, Clock::time_point now);
  void raise_locked(DWORD ev);
  void input_flow_locked();
  std::size_t rx_room_locked() const;
  std::size_t xoff_point_locked() const;
  void line_failed_locked();
  bool held_locked();
  bool paced_by_baud_locked() const;
  std::size_t pace_batch_locked() const;
  Clock::duration char_time_locked() const;
  void settle_locked(Clock::time_point now);
  Clock::time_point next_deadline_locked(Clock::time_point now);

  std::mutex m_;
  std::unique_ptr<SerialLine> line_;
  int fd_ = -1;
  std::uint64_t poll_id_ = 0;
  static constexpr std::uint32_t kUnwatched = 0xFFFFFFFFu;
  std::uint32_t armed_ = 0;  // EPOLL* interest armed now; 0 after a report
  Clock::time_point scheduled_ = Clock::time_point::max();
  bool rx_resting_ = false;            // input is left to gather until
  Clock::time_point rx_rest_until_{};  // then, read on a timer
  Clock::time_point rx_gathered_{};    // when input was last gathered
  std::size_t rx_taken_ = 0;           // bytes read from the line so far
  Clock::time_point rx_input_at_{};    // when input last came off the line
  Clock::time_point tx_at_{};          // when output last went to the line
  bool stop_ = false;
  bool dead_ = false;
  bool reports_out_queue_ = true;

  DCB dcb_;
  COMMTIMEOUTS timeouts_;
  DWORD mask_ = 0;
  DWORD history_ = 0;
  DWORD errors_ = 0;

  RxRing rxq_;
  int mark_state_ = 0;  // position inside a 0xFF 0x00 c mark
  bool xoff_hold_ = false;
  bool xoff_sent_ = false;
  int pending_flow_char_ = -1;  // XON or XOFF still to send
  bool cts_held_ = false;
  bool tx_blocked_ = false;  // the line took less than offered: wait for EPOLLOUT
  // Baud pacing: when the next byte's character time starts on the line.
  Clock::time_point next_slot_{};

  std::deque<Req> reads_;
  std::deque<Req> writes_;
  Req waiter_;
};

}  // namespace plat
