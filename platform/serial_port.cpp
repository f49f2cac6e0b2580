// The I/O engine of one open serial port.
//
// One thread per port polls the line and a wake-up descriptor. Received
// bytes are decoded from the tty's marked form (0xFF 0xFF data 0xFF,
// 0xFF 0x00 c parity error on c, 0xFF 0x00 0x00 break), XON/XOFF are taken
// out when output flow control is on, the rest goes to the receive queue,
// which feeds pending reads in order. Writes are queued in order and handed
// to the line while transmission is not held (XOFF received, CTS off).
// Read and write time-outs follow the Windows rules:
//   read: done at n bytes; or when more than the interval passes between
//     two bytes (once one byte came); or after multiplier * n + constant.
//     Interval MAXDWORD with both totals 0: return what is there at once.
//     Interval and multiplier MAXDWORD with a constant: return at the
//     first byte, or empty after the constant.
//   write: done when all bytes went to the line, or after
//     multiplier * n + constant, with the bytes moved so far.
// A time-out is a successful completion with fewer bytes.
#include "platform/serial_port.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace plat {

namespace {

// Received bytes held before the line is left unread (the kernel then
// holds the rest; nothing is dropped).
constexpr std::size_t kRxCapacity = 64 * 1024;
// With output XON/XOFF the device's own queue is kept this short, so an
// XOFF stops transmission within a few bytes on a real UART.
constexpr DWORD kPaceBytes = 64;
// How often a transmission held by CTS looks at the line again.
constexpr auto kCtsPoll = std::chrono::milliseconds(10);

CommPort::Clock::duration scaled(unsigned long long ms) {
  if (ms > 0xFFFFFFFFull) ms = 0xFFFFFFFFull;
  return scaled_ms(static_cast<DWORD>(ms));
}

}  // namespace

struct CommRequest {
  enum Kind { kRead, kWrite, kWait } kind;
  unsigned char* rbuf = nullptr;
  std::vector<unsigned char> wdata;  // a copy: writes may be left unawaited
  DWORD n = 0;
  DWORD done = 0;
  DWORD* mask_out = nullptr;
  bool started = false;
  bool complete = false;
  DWORD error = 0;
  Event* user_event = nullptr;
  Event finished{true};
  CommPort::Clock::time_point total_deadline = CommPort::Clock::time_point::max();
  CommPort::Clock::time_point last_byte{};
  CommPort::Clock::duration interval{};
  bool use_interval = false;
  bool return_at_first = false;  // interval and multiplier MAXDWORD
  bool return_at_once = false;   // interval MAXDWORD, totals 0

  explicit CommRequest(Kind k) : kind(k) {}
};

CommPort::CommPort(std::unique_ptr<SerialLine> line) : line_(std::move(line)) {
  line_->current(dcb_);
}

CommPort::~CommPort() { close(); }

bool CommPort::start() {
  wake_fd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wake_fd_ < 0) return false;
  io_ = std::thread([this] { io_loop(); });
  return true;
}

void CommPort::close() {
  {
    std::lock_guard<std::mutex> g(m_);
    if (stop_) return;
    stop_ = true;
    abort_all_locked(reads_);
    abort_all_locked(writes_);
    if (waiter_) {
      complete_locked(waiter_, ERROR_OPERATION_ABORTED);
      waiter_.reset();
    }
  }
  wake();
  if (io_.joinable()) io_.join();
  std::lock_guard<std::mutex> g(m_);
  line_.reset();
  if (wake_fd_ >= 0) ::close(wake_fd_);
  wake_fd_ = -1;
}

void CommPort::wake() {
  if (wake_fd_ < 0) return;
  uint64_t one = 1;
  ssize_t r = ::write(wake_fd_, &one, sizeof one);
  (void)r;
}

// ---- settings ----

DWORD CommPort::get_state(DCB* dcb) {
  if (!dcb) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::mutex> g(m_);
  if (stop_) return ERROR_INVALID_HANDLE;
  *dcb = dcb_;
  return 0;
}

DWORD CommPort::set_state(const DCB* dcb) {
  if (!dcb || dcb->ByteSize < 5 || dcb->ByteSize > 8 || dcb->Parity > SPACEPARITY ||
      dcb->StopBits > TWOSTOPBITS || dcb->BaudRate == 0 ||
      (dcb->fOutX && dcb->XonChar == dcb->XoffChar))
    return ERROR_INVALID_PARAMETER;
  {
    std::lock_guard<std::mutex> g(m_);
    if (stop_) return ERROR_INVALID_HANDLE;
    if (!line_->configure(*dcb)) return ERROR_INVALID_PARAMETER;
    // Output flow control switched off: nothing can release a hold now.
    if (dcb_.fOutX && !dcb->fOutX) xoff_hold_ = false;
    if (dcb_.fInX && !dcb->fInX && xoff_sent_) {
      pending_flow_char_ = static_cast<unsigned char>(dcb_.XonChar);
      xoff_sent_ = false;
    }
    dcb_ = *dcb;
    line_->set_dtr(dcb_.fDtrControl != DTR_CONTROL_DISABLE);
    line_->set_rts(dcb_.fRtsControl != RTS_CONTROL_DISABLE);
    input_flow_locked();
  }
  wake();
  return 0;
}

DWORD CommPort::get_timeouts(COMMTIMEOUTS* t) {
  if (!t) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::mutex> g(m_);
  if (stop_) return ERROR_INVALID_HANDLE;
  *t = timeouts_;
  return 0;
}

DWORD CommPort::set_timeouts(const COMMTIMEOUTS* t) {
  if (!t || (t->ReadIntervalTimeout == MAXDWORD && t->ReadTotalTimeoutMultiplier == MAXDWORD &&
             t->ReadTotalTimeoutConstant == MAXDWORD))
    return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::mutex> g(m_);
  if (stop_) return ERROR_INVALID_HANDLE;
  timeouts_ = *t;
  return 0;
}

// ---- requests ----

DWORD CommPort::submit(const Req& r, OVERLAPPED* ov, DWORD* done) {
  std::unique_lock<std::mutex> lk(m_);
  if (stop_) return ERROR_INVALID_HANDLE;
  // One comm-event wait at a time, and only with a mask to wait for.
  if (r->kind == CommRequest::kWait && (mask_ == 0 || waiter_)) return ERROR_INVALID_PARAMETER;
  if (ov) {
    r->user_event = ov->hEvent;
    if (r->user_event) r->user_event->reset();
    ov->Internal = r;  // under the port lock: threads may share one record
  }
  auto now = Clock::now();
  const bool rx_was_full = rxq_.size() >= kRxCapacity;
  if (r->kind == CommRequest::kRead) {
    reads_.push_back(r);
    serve_reads_locked(now);
  } else if (r->kind == CommRequest::kWrite) {
    writes_.push_back(r);
    serve_writes_locked(now, true);
  } else {
    if (history_ & mask_) {
      *r->mask_out = history_ & mask_;
      history_ = 0;
      complete_locked(r, 0);
    } else {
      waiter_ = r;
    }
  }
  // The I/O thread has to look again when something waits for it, when a
  // read made room in a full receive queue, or when an XON is due.
  const bool complete = r->complete;
  const bool need_wake = !complete || rx_was_full || pending_flow_char_ >= 0;
  lk.unlock();
  if (need_wake) wake();
  if (!complete) {
    if (ov) return ERROR_IO_PENDING;
    r->finished.wait(INFINITE);
  }
  lk.lock();
  if (done) *done = r->done;
  return r->error;
}

DWORD CommPort::read(void* buf, DWORD n, DWORD* done, OVERLAPPED* ov) {
  if (done) *done = 0;
  if (!buf && n) return ERROR_INVALID_PARAMETER;
  auto r = std::make_shared<CommRequest>(CommRequest::kRead);
  r->rbuf = static_cast<unsigned char*>(buf);
  r->n = n;
  return submit(r, ov, done);
}

DWORD CommPort::write(const void* buf, DWORD n, DWORD* done, OVERLAPPED* ov) {
  if (done) *done = 0;
  if (!buf && n) return ERROR_INVALID_PARAMETER;
  auto r = std::make_shared<CommRequest>(CommRequest::kWrite);
  const auto* p = static_cast<const unsigned char*>(buf);
  r->wdata.assign(p, p + n);
  r->n = n;
  return submit(r, ov, done);
}

DWORD CommPort::wait_event(DWORD* mask, OVERLAPPED* ov) {
  if (!mask) return ERROR_INVALID_PARAMETER;
  *mask = 0;
  auto r = std::make_shared<CommRequest>(CommRequest::kWait);
  r->mask_out = mask;
  return submit(r, ov, nullptr);
}

DWORD CommPort::result(OVERLAPPED* ov, DWORD* done, bool wait) {
  if (done) *done = 0;
  Req r;
  {
    std::lock_guard<std::mutex> g(m_);
    if (!ov || !ov->Internal) return ERROR_INVALID_PARAMETER;
    r = ov->Internal;
    if (!r->complete && !wait) return ERROR_IO_INCOMPLETE;
  }
  r->finished.wait(INFINITE);
  std::lock_guard<std::mutex> g(m_);
  if (done) *done = r->done;
  return r->error;
}

void CommPort::complete_locked(const Req& r, DWORD error) {
  if (r->complete) return;
  r->complete = true;
  r->error = error;
  r->finished.set();
  if (r->user_event) r->user_event->set();
}

void CommPort::abort_all_locked(std::deque<Req>& q) {
  for (auto& r : q) complete_locked(r, ERROR_OPERATION_ABORTED);
  q.clear();
}

void CommPort::start_read_locked(CommRequest& r, Clock::time_point now) {
  r.started = true;
  r.last_byte = now;
  const auto& t = timeouts_;
  if (t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == 0 &&
      t.ReadTotalTimeoutConstant == 0) {
    r.return_at_once = true;
    return;
  }
  if (t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == MAXDWORD) {
    r.return_at_first = true;
    r.total_deadline = now + scaled(t.ReadTotalTimeoutConstant);
    return;
  }
  if (t.ReadTotalTimeoutMultiplier || t.ReadTotalTimeoutConstant)
    r.total_deadline = now + scaled(static_cast<unsigned long long>(t.ReadTotalTimeoutMultiplier) * r.n +
                                    t.ReadTotalTimeoutConstant);
  if (t.ReadIntervalTimeout != 0 && t.ReadIntervalTimeout != MAXDWORD) {
    r.use_interval = true;
    r.interval = scaled(t.ReadIntervalTimeout);
  }
}

void CommPort::start_write_locked(CommRequest& r, Clock::time_point now) {
  r.started = true;
  const auto& t = timeouts_;
  if (t.WriteTotalTimeoutMultiplier || t.WriteTotalTimeoutConstant)
    r.total_deadline = now + scaled(static_cast<unsigned long long>(t.WriteTotalTimeoutMultiplier) * r.n +
                                    t.WriteTotalTimeoutConstant);
}

void CommPort::serve_reads_locked(Clock::time_point now) {
  while (!reads_.empty()) {
    CommRequest& r = *reads_.front();
    if (!r.started) start_read_locked(r, now);
    DWORD take = static_cast<DWORD>(std::min<std::size_t>(rxq_.size(), r.n - r.done));
    if (take) {
      std::copy_n(rxq_.begin(), take, r.rbuf + r.done);
      rxq_.erase(rxq_.begin(), rxq_.begin() + take);
      r.done += take;
      r.last_byte = now;
      input_flow_locked();
    }
    bool finished = r.done == r.n || r.return_at_once || (r.return_at_first && r.done > 0);
    if (!finished && dead_) {
      complete_locked(reads_.front(), ERROR_GEN_FAILURE);
      reads_.pop_front();
      continue;
    }
    if (!finished) return;
    complete_locked(reads_.front(), 0);
    reads_.pop_front();
  }
}

bool CommPort::held_locked() {
  if (xoff_hold_) return true;
  cts_held_ = dcb_.fOutxCtsFlow && !(line_->modem_status() & MS_CTS_ON);
  return cts_held_;
}

void CommPort::serve_writes_locked(Clock::time_point now, bool one_chunk) {
  if (dead_) {
    for (auto& r : writes_) complete_locked(r, ERROR_GEN_FAILURE);
    writes_.clear();
    return;
  }
  if (pending_flow_char_ >= 0) {
    unsigned char c = static_cast<unsigned char>(pending_flow_char_);
    long w = line_->write(&c, 1);
    if (w == 1) pending_flow_char_ = -1;
    if (w < 0) return line_failed_locked();
    if (w == 0) return;
  }
  while (!writes_.empty()) {
    CommRequest& r = *writes_.front();
    if (!r.started) start_write_locked(r, now);
    if (r.done == r.n) {
      complete_locked(writes_.front(), 0);
      writes_.pop_front();
      continue;
    }
    if (held_locked()) return;
    std::size_t chunk = r.n - r.done;
    if (dcb_.fOutX) {
      // A fresh XOFF must stop us before the next chunk goes out.
      take_input_locked(now);
      if (dead_ || held_locked()) return;
      DWORD queued = line_->out_queue();
      if (queued >= kPaceBytes) return;
      chunk = std::min<std::size_t>(chunk, kPaceBytes - queued);
    }
    long w = line_->write(r.wdata.data() + r.done, chunk);
    if (w < 0) return line_failed_locked();
    if (w == 0) return;
    r.done += static_cast<DWORD>(w);
    if (r.done == r.n) {
      complete_locked(writes_.front(), 0);
      writes_.pop_front();
    }
    // Paced output goes back to the poll so a fresh XOFF is seen first.
    if (one_chunk && dcb_.fOutX) return;
  }
}

void CommPort::expire_locked(Clock::time_point now) {
  if (!reads_.empty()) {
    CommRequest& r = *reads_.front();
    bool gap = r.use_interval && r.done > 0 && now - r.last_byte > r.interval;
    if (r.started && (now >= r.total_deadline || gap)) {
      complete_locked(reads_.front(), 0);
      reads_.pop_front();
      serve_reads_locked(now);
    }
  }
  while (!writes_.empty() && writes_.front()->started && now >= writes_.front()->total_deadline) {
    complete_locked(writes_.front(), 0);
    writes_.pop_front();
    if (!writes_.empty()) start_write_locked(*writes_.front(), now);
  }
}

CommPort::Clock::time_point CommPort::next_deadline_locked(Clock::time_point now) {
  auto next = Clock::time_point::max();
  if (!reads_.empty() && reads_.front()->started) {
    const CommRequest& r = *reads_.front();
    next = std::min(next, r.total_deadline);
    // One tick past the interval: the gap must exceed it.
    if (r.use_interval && r.done > 0) next = std::min(next, r.last_byte + r.interval + std::chrono::microseconds(1));
  }
  if (!writes_.empty() && writes_.front()->started) next = std::min(next, writes_.front()->total_deadline);
  if (!writes_.empty() && !xoff_hold_ && cts_held_) next = std::min(next, now + kCtsPoll);
  if (!writes_.empty() && dcb_.fOutX && !xoff_hold_ && line_ && line_->out_queue() >= kPaceBytes)
    next = std::min(next, now + std::chrono::milliseconds(1));
  return next;
}

// ---- input ----

void CommPort::take_input_locked(Clock::time_point now) {
  unsigned char buf[16384];
  while (!dead_ && rxq_.size() < kRxCapacity) {
    std::size_t room = std::min(sizeof buf, kRxCapacity - rxq_.size());
    long r = line_->read(buf, room);
    if (r < 0) {
      line_failed_locked();
      break;
    }
    if (r == 0) break;
    for (long i = 0; i < r; ++i) {
      unsigned char c = buf[i];
      switch (mark_state_) {
        case 0:
          if (c == 0xFF)
            mark_state_ = 1;
          else
            deliver_locked(c);
          break;
        case 1:
          if (c == 0x00) {
            mark_state_ = 2;
          } else {
            mark_state_ = 0;
            deliver_locked(0xFF);
            if (c != 0xFF) deliver_locked(c);
          }
          break;
        default:
          mark_state_ = 0;
          if (c == 0x00) {
            errors_ |= CE_BREAK;
            raise_locked(EV_BREAK);
          } else {
            errors_ |= CE_RXPARITY;
            raise_locked(EV_ERR);
            rxq_.push_back(dcb_.fErrorChar ? static_cast<unsigned char>(dcb_.ErrorChar) : c);
            raise_locked(EV_RXCHAR);
          }
          break;
      }
    }
    if (static_cast<std::size_t>(r) < room) break;
  }
  input_flow_locked();
  serve_reads_locked(now);
}

void CommPort::deliver_locked(unsigned char c) {
  if (dcb_.fOutX) {
    if (c == static_cast<unsigned char>(dcb_.XoffChar)) {
      xoff_hold_ = true;
      return;
    }
    if (c == static_cast<unsigned char>(dcb_.XonChar)) {
      xoff_hold_ = false;
      return;
    }
  }
  rxq_.push_back(c);
  raise_locked(EV_RXCHAR);
}

void CommPort::raise_locked(DWORD ev) {
  if (!(mask_ & ev)) return;
  history_ |= ev;
  if (waiter_) {
    *waiter_->mask_out = history_ & mask_;
    history_ = 0;
    complete_locked(waiter_, 0);
    waiter_.reset();
  }
}

// Receive-side XON/XOFF: ask the other end to pause when the queue is
// nearly full and to go on once it has drained.
void CommPort::input_flow_locked() {
  if (!dcb_.fInX) return;
  std::size_t xoff_at = kRxCapacity - std::min<std::size_t>(dcb_.XoffLim, kRxCapacity / 2);
  if (!xoff_sent_ && rxq_.size() >= xoff_at) {
    xoff_sent_ = true;
    pending_flow_char_ = static_cast<unsigned char>(dcb_.XoffChar);
  } else if (xoff_sent_ && rxq_.size() <= dcb_.XonLim) {
    xoff_sent_ = false;
    pending_flow_char_ = static_cast<unsigned char>(dcb_.XonChar);
  }
}

void CommPort::line_failed_locked() {
  if (dead_) return;
  dead_ = true;
  errors_ |= CE_IOE;
  for (auto& r : writes_) complete_locked(r, ERROR_GEN_FAILURE);
  writes_.clear();
}

// ---- the I/O thread ----

void CommPort::io_loop() {
  std::unique_lock<std::mutex> lk(m_);
  while (!stop_) {
    auto now = Clock::now();
    expire_locked(now);
    serve_reads_locked(now);
    serve_writes_locked(now, true);
    now = Clock::now();
    auto next = next_deadline_locked(now);

    pollfd fds[2];
    fds[0].fd = dead_ ? -1 : line_->fd();
    fds[0].events = 0;
    if (rxq_.size() < kRxCapacity) fds[0].events |= POLLIN;
    bool want_out = pending_flow_char_ >= 0 ||
                    (!writes_.empty() && !xoff_hold_ && !cts_held_ &&
                     !(dcb_.fOutX && line_->out_queue() >= kPaceBytes));
    if (want_out) fds[0].events |= POLLOUT;
    fds[1].fd = wake_fd_;
    fds[1].events = POLLIN;
    int timeout = -1;
    if (next != Clock::time_point::max()) {
      auto us = std::chrono::duration_cast<std::chrono::microseconds>(next - now).count();
      timeout = us <= 0 ? 0 : static_cast<int>(std::min<long long>((us + 999) / 1000, 1000 * 1000));
    }
    lk.unlock();
    int n = ::poll(fds, 2, timeout);
    lk.lock();
    if (stop_) break;
    if (n <= 0) continue;
    if (fds[1].revents & POLLIN) {
      uint64_t v;
      ssize_t r = ::read(wake_fd_, &v, sizeof v);
      (void)r;
    }
    now = Clock::now();
    if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) take_input_locked(now);
    if (fds[0].revents & POLLOUT) serve_writes_locked(now, true);
  }
}

// ---- control and status ----

DWORD CommPort::set_mask(DWORD mask) {
  std::lock_guard<std::mutex> g(m_);
  if (stop_) return ERROR_INVALID_HANDLE;
  mask_ = mask;
  history_ = 0;
  if (waiter_) {
    *waiter_->mask_out = 0;
    complete_locked(waiter_, 0);
    waiter_.reset();
  }
  return 0;
}

DWORD CommPort::get_mask(DWORD* mask) {
  if (!mask) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::mutex> g(m_);
  if (stop_) return ERROR_INVALID_HANDLE;
  *mask = mask_;
  return 0;
}

DWORD CommPort::purge(DWORD flags) {
  if (flags & ~(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR)) return ERROR_INVALID_PARAMETER;
  {
    std::lock_guard<std::mutex> g(m_);
    if (stop_) return ERROR_INVALID_HANDLE;
    if (flags & PURGE_TXABORT) abort_all_locked(writes_);
    if (flags & PURGE_RXABORT) abort_all_locked(reads_);
    if (flags & PURGE_TXCLEAR) line_->flush_output();
    if (flags & PURGE_RXCLEAR) {
      rxq_.clear();
      mark_state_ = 0;
      line_->flush_input();
      // The other end was told to pause; with the queue empty it may go on.
      if (xoff_sent_) {
        xoff_sent_ = false;
        pending_flow_char_ = static_cast<unsigned char>(dcb_.XonChar);
      }
    }
  }
  wake();
  return 0;
}

DWORD CommPort::clear_error(DWORD* errors, COMSTAT* stat) {
  std::lock_guard<std::mutex> g(m_);
  if (stop_) return ERROR_INVALID_HANDLE;
  if (errors) *errors = errors_;
  errors_ = 0;
  if (stat) {
    *stat = COMSTAT{};
    stat->fXoffHold = xoff_hold_;
    stat->fXoffSent = xoff_sent_;
    stat->fCtsHold = dcb_.fOutxCtsFlow && !(line_->modem_status() & MS_CTS_ON);
    stat->cbInQue = static_cast<DWORD>(rxq_.size());
    DWORD out = dead_ ? 0 : line_->out_queue();
    for (const auto& r : writes_) out += r->n - r->done;
    stat->cbOutQue = out;
  }
  return 0;
}

DWORD CommPort::modem_status(DWORD* status) {
  if (!status) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::mutex> g(m_);
  if (stop_) return ERROR_INVALID_HANDLE;
  *status = line_->modem_status();
  return 0;
}

DWORD CommPort::escape(DWORD function) {
  bool ok = true;
  {
    std::lock_guard<std::mutex> g(m_);
    if (stop_) return ERROR_INVALID_HANDLE;
    switch (function) {
      case SETXOFF: xoff_hold_ = true; break;
      case SETXON: xoff_hold_ = false; break;
      case SETRTS: ok = line_->set_rts(true); break;
      case CLRRTS: ok = line_->set_rts(false); break;
      case SETDTR: ok = line_->set_dtr(true); break;
      case CLRDTR: ok = line_->set_dtr(false); break;
      default: return ERROR_INVALID_PARAMETER;
    }
  }
  wake();
  return ok ? 0 : ERROR_GEN_FAILURE;
}

}  // namespace plat
