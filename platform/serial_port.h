// One open serial port: the line, its settings, the receive queue and the
// pending operations, served by the port's own I/O thread. Used through the
// handle functions of serial.h.
#pragma once

#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/serial.h"

namespace plat {

struct CommRequest;

class CommPort {
 public:
  using Clock = std::chrono::steady_clock;

  explicit CommPort(std::unique_ptr<SerialLine> line);
  ~CommPort();
  CommPort(const CommPort&) = delete;
  CommPort& operator=(const CommPort&) = delete;

  // Starts the I/O thread; false when the wake-up descriptor cannot be made.
  bool start();
  void close();

  // Each returns 0 on success or a Windows error number; ERROR_IO_PENDING
  // for an overlapped operation that has not completed yet.
  DWORD get_state(DCB* dcb);
  DWORD set_state(const DCB* dcb);
  DWORD get_timeouts(COMMTIMEOUTS* t);
  DWORD set_timeouts(const COMMTIMEOUTS* t);
  DWORD read(void* buf, DWORD n, DWORD* done, OVERLAPPED* ov);
  DWORD write(const void* buf, DWORD n, DWORD* done, OVERLAPPED* ov);
  DWORD result(OVERLAPPED* ov, DWORD* done, bool wait);
  DWORD set_mask(DWORD mask);
  DWORD get_mask(DWORD* mask);
  DWORD wait_event(DWORD* mask, OVERLAPPED* ov);
  DWORD purge(DWORD flags);
  DWORD clear_error(DWORD* errors, COMSTAT* stat);
  DWORD modem_status(DWORD* status);
  DWORD escape(DWORD function);

 private:
  using Req = std::shared_ptr<CommRequest>;

  DWORD submit(const Req& r, OVERLAPPED* ov, DWORD* done);
  void complete_locked(const Req& r, DWORD error);
  void abort_all_locked(std::deque<Req>& q);
  void start_read_locked(CommRequest& r, Clock::time_point now);
  void start_write_locked(CommRequest& r, Clock::time_point now);
  void serve_reads_locked(Clock::time_point now);
  void serve_writes_locked(Clock::time_point now, bool one_chunk);
  void expire_locked(Clock::time_point now);
  void take_input_locked(Clock::time_point now);
  void deliver_locked(unsigned char c);
  void raise_locked(DWORD ev);
  void input_flow_locked();
  void line_failed_locked();
  bool held_locked();
  Clock::time_point next_deadline_locked(Clock::time_point now);
  void wake();
  void io_loop();

  std::mutex m_;
  std::unique_ptr<SerialLine> line_;
  int wake_fd_ = -1;
  std::thread io_;
  bool stop_ = false;
  bool dead_ = false;

  DCB dcb_;
  COMMTIMEOUTS timeouts_;
  DWORD mask_ = 0;
  DWORD history_ = 0;
  DWORD errors_ = 0;

  std::deque<unsigned char> rxq_;
  int mark_state_ = 0;  // position inside a 0xFF 0x00 c mark
  bool xoff_hold_ = false;
  bool xoff_sent_ = false;
  int pending_flow_char_ = -1;  // XON or XOFF still to send
  bool cts_held_ = false;

  std::deque<Req> reads_;
  std::deque<Req> writes_;
  Req waiter_;
};

}  // namespace plat
