// The I/O engine of one open serial port.
//
// There is no thread per port. A calling thread does at once what can be
// done (a write goes to the line, a read takes queued bytes); the shared
// serial poller calls back when the line has input or room for output and
// at the port's next deadline. Everything runs under the port lock.
//
// Input is read in blocks as it arrives (a line that streams small blocks
// is read on a timer instead, every 16 to 64 ms as the waiting read needs,
// so a slow stream costs few wake-ups; input after a quiet spell or in
// answer to our output is taken at once) and decoded from the tty's marked
// form (0xFF 0xFF data 0xFF, 0xFF 0x00 c parity error on c, 0xFF 0x00
// 0x00 break). With output XON/XOFF on, XON and XOFF are taken out on
// arrival.
//
// A read never takes more from the line than the receive queue can keep:
// what does not fit stays with the kernel. With input XON/XOFF on, the
// line is read up to the XOFF point first and the XOFF goes out at once,
// while the queue still has XoffLim bytes of room; past its 64 KiB the
// queue then has room for what the kernel held by that moment and what the
// machine sends before it stops, so a machine that heeds the XOFF loses
// nothing however long the reader stalls. XON goes out when the reader
// has drained the queue to XonLim. Only a queue full to the last byte (a
// machine that ignores the XOFF, or no input flow control) is still read
// while output XON/XOFF is on, so that the machine's own XOFF is never
// missed; the bytes that find no room are lost and counted as a receive
// overrun (CE_RXOVER).
//
// Output with XON/XOFF is paced so that an XOFF stops it at once: on a
// device that reports its output queue the queue is kept short and looked
// at again when it should have drained; on one that cannot (a
// pseudo-terminal reports 0) bytes go out no sooner than the configured
// baud would carry them, 32 ms worth per wake-up, so the device never
// holds bytes the line has not had time to send. A line that stood idle
// sends at once what its idle time (up to one tick) would have carried.
//
// Completions are signalled once the port lock is released, and the
// poller signals those of a whole round together.
//
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

#include <sys/epoll.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>

namespace plat {

namespace {

// Received bytes the port holds for readers.
constexpr std::size_t kRxCapacity = 64 * 1024;
// Room past the queue while input XON/XOFF is on: what the kernel may hold
// when the XOFF goes (a tty buffers up to 64 KiB besides its 4 KiB line
// buffer) and what the machine sends until it stops. Memory that is never
// used is never touched.
constexpr std::size_t kRxSlack = 96 * 1024;
// Input is not left to rest this close to the XOFF point: the XOFF must go
// while the queue still has its room.
constexpr std::size_t kRxRestHeadroom = 4096;
// Bytes read from the line at a time.
constexpr std::size_t kReadBlock = 16 * 1024;
// A device that reports its output queue is given at most this much (or
// 1/64 s of line time, whichever is more) while output XON/XOFF is on.
constexpr std::size_t kPaceBytes = 64;
// Baud pacing hands the device this much line time per wake-up. Every
// write to a pseudo-terminal costs some microseconds of kernel time
// whatever it carries, so the tick sets the cost of a paced line.
constexpr auto kPaceTick = std::chrono::milliseconds(32);
// After a small block of input the line is read again no sooner than
// kRxRest, and no later than kRxRestLong or when the waiting read could
// be filled at the rate the line delivers; a line that delivers big
// blocks is read as fast as it delivers.
constexpr auto kRxRest = std::chrono::milliseconds(16);
constexpr auto kRxRestLong = std::chrono::milliseconds(64);
constexpr std::size_t kRxRestBelow = 2048;
// A stream faster than any serial line (a pseudo-terminal fed by a
// program, a device server's bursts) rests a millisecond only: a longer
// rest would leave it waiting in the kernel's full buffer.
constexpr double kRxFastStream = 256.0 * 1024;  // bytes a second
constexpr auto kRxRestFast = std::chrono::milliseconds(1);
// How often a transmission held by CTS looks at the line again.
constexpr auto kCtsPoll = std::chrono::milliseconds(10);

// Wake-ups that pace a line or read rested input are put on a common
// grid, so the poller serves all such ports in one round. Streams use a
// grid as coarse as their period (a paced line's tick, a long rest): all
// such ports then fall into step and share one round, instead of being
// spread over the finer grid's rounds.
constexpr auto kGrid = std::chrono::milliseconds(16);

CommPort::Clock::time_point on_grid(CommPort::Clock::time_point t, CommPort::Clock::duration grid = kGrid) {
  auto ticks = (t.time_since_epoch() + grid - CommPort::Clock::duration(1)) / grid;
  return CommPort::Clock::time_point(ticks * grid);
}

CommPort::Clock::duration scaled(unsigned long long ms) {
  if (ms > 0xFFFFFFFFull) ms = 0xFFFFFFFFull;
  return scaled_ms(static_cast<DWORD>(ms));
}

// OVERLAPPED::Internal may be shared by threads and outlive the port.
std::mutex g_record_lock;

void set_record(OVERLAPPED* ov, std::shared_ptr<CommRequest> r) {
  std::lock_guard<std::mutex> g(g_record_lock);
  ov->Internal = std::move(r);
}

std::shared_ptr<CommRequest> get_record(OVERLAPPED* ov) {
  std::lock_guard<std::mutex> g(g_record_lock);
  return ov->Internal;
}

}  // namespace

struct CommRequest : Completion {
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
  std::atomic<bool> signalled{false};  // both events set: no need to wait
  CommPort::Clock::time_point total_deadline = CommPort::Clock::time_point::max();
  CommPort::Clock::time_point last_byte{};
  CommPort::Clock::duration interval{};
  bool use_interval = false;
  bool return_at_first = false;  // interval and multiplier MAXDWORD
  bool return_at_once = false;   // interval MAXDWORD, totals 0

  explicit CommRequest(Kind k) : kind(k) {}

  void signal() override {
    // Both at once: once `finished` is set, a thread collecting the result
    // may return and destroy the caller's event.
    Event::set_pair(finished, user_event);
    signalled.store(true, std::memory_order_release);
  }
};

std::size_t RxRing::push(const unsigned char* p, std::size_t n) {
  n = std::min(n, room());
  std::size_t tail = (head_ + size_) % capacity_;
  std::size_t first = std::min(n, capacity_ - tail);
  std::memcpy(buf_.get() + tail, p, first);
  std::memcpy(buf_.get(), p + first, n - first);
  size_ += n;
  return n;
}

std::size_t RxRing::pop(unsigned char* p, std::size_t n) {
  n = std::min(n, size_);
  std::size_t first = std::min(n, capacity_ - head_);
  std::memcpy(p, buf_.get() + head_, first);
  std::memcpy(p + first, buf_.get(), n - first);
  head_ = (head_ + n) % capacity_;
  size_ -= n;
  return n;
}

CommPort::CommPort(std::unique_ptr<SerialLine> line)
    : line_(std::move(line)),
      rxq_(kRxCapacity + kRxSlack) {
  line_->current(dcb_);
}

CommPort::~CommPort() { close(); }

bool CommPort::start() {
  Locked g(m_);
  fd_ = line_->fd();
  reports_out_queue_ = line_->reports_out_queue();
  armed_ = EPOLLIN;
  poll_id_ = SerialPoller::instance().add(shared_from_this(), fd_, EPOLLIN | EPOLLONESHOT);
  return poll_id_ != 0;
}

void CommPort::close() {
  std::unique_ptr<SerialLine> line;
  {
    Locked g(m_);
    if (stop_) return;
    stop_ = true;
    abort_all_locked(reads_);
    abort_all_locked(writes_);
    if (waiter_) {
      complete_locked(waiter_, ERROR_OPERATION_ABORTED);
      waiter_.reset();
    }
    if (poll_id_) SerialPoller::instance().remove(poll_id_, fd_);
    line = std::move(line_);
  }
  // Closing a tty may wait for its output to drain; nobody waits on us.
  line.reset();
}

// ---- settings ----

DWORD CommPort::get_state(DCB* dcb) {
  if (!dcb) return ERROR_INVALID_PARAMETER;
  Locked g(m_);
  if (stop_) return ERROR_INVALID_HANDLE;
  *dcb = dcb_;
  return 0;
}

DWORD CommPort::set_state(const DCB* dcb) {
  if (!dcb || dcb->ByteSize < 5 || dcb->ByteSize > 8 || dcb->Parity > SPACEPARITY ||
      dcb->StopBits > TWOSTOPBITS || dcb->BaudRate == 0 ||
      (dcb->fOutX && dcb->XonChar == dcb->XoffChar))
    return ERROR_INVALID_PARAMETER;
  Locked g(m_);
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
  drive_locked(Clock::now());
  return 0;
}

DWORD CommPort::get_timeouts(COMMTIMEOUTS* t) {
  if (!t) return ERROR_INVALID_PARAMETER;
  Locked g(m_);
  if (stop_) return ERROR_INVALID_HANDLE;
  *t = timeouts_;
  return 0;
}

DWORD CommPort::set_timeouts(const COMMTIMEOUTS* t) {
  if (!t || (t->ReadIntervalTimeout == MAXDWORD && t->ReadTotalTimeoutMultiplier == MAXDWORD &&
             t->ReadTotalTimeoutConstant == MAXDWORD))
    return ERROR_INVALID_PARAMETER;
  Locked g(m_);
  if (stop_) return ERROR_INVALID_HANDLE;
  timeouts_ = *t;
  return 0;
}

// ---- requests ----

DWORD CommPort::submit(const Req& r, OVERLAPPED* ov, DWORD* done) {
  CompletionBatch batch;
  std::unique_lock<std::mutex> lk(m_);
  if (stop_) return ERROR_INVALID_HANDLE;
  if (r->kind == CommRequest::kWait) {
    if (dead_) return ERROR_GEN_FAILURE;
    // One comm-event wait at a time, and only with a mask to wait for.
    if (mask_ == 0 || waiter_) return ERROR_INVALID_PARAMETER;
  }
  if (ov) {
    r->user_event = ov->hEvent;
    if (r->user_event) r->user_event->reset();
    set_record(ov, r);
  }
  auto now = Clock::now();
  if (r->kind == CommRequest::kRead) {
    reads_.push_back(r);
  } else if (r->kind == CommRequest::kWrite) {
    // A paced line that had nothing to send owes the time it stood idle,
    // up to one tick: that much goes out at once, so a short answer does
    // not wait for the next tick. A long write after a long pause starts
    // on the tick grid, as a stream does: sending its first part at once
    // would cost a write of its own.
    const std::size_t batch = pace_batch_locked();
    if (writes_.empty() && paced_by_baud_locked() && (r->n <= batch || next_slot_ + 4 * kPaceTick >= now))
      next_slot_ = std::max(next_slot_, now - static_cast<long>(batch - 1) * char_time_locked());
    writes_.push_back(r);
  } else if (history_ & mask_) {
    *r->mask_out = history_ & mask_;
    history_ = 0;
    complete_locked(r, 0);
  } else {
    waiter_ = r;
  }
  drive_locked(now);
  const bool complete = r->complete;
  lk.unlock();
  CompletionBatch::flush();
  if (!complete) {
    if (ov) return ERROR_IO_PENDING;
    r->finished.wait(INFINITE);
  }
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
  if (!ov) return ERROR_INVALID_PARAMETER;
  Req r = get_record(ov);
  if (!r) return ERROR_INVALID_PARAMETER;
  if (!r->signalled.load(std::memory_order_acquire)) {
    if (!wait && !r->finished.is_set()) return ERROR_IO_INCOMPLETE;
    // Completion sets the event after the last change to the record.
    r->finished.wait(INFINITE);
  }
  if (done) *done = r->done;
  return r->error;
}

void CommPort::complete_locked(const Req& r, DWORD error) {
  if (r->complete) return;
  r->complete = true;
  r->error = error;
  CompletionBatch::add(r);
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

// Everything that can move now, then what to watch and when to look again.
void CommPort::drive_locked(Clock::time_point now) {
  expire_locked(now);
  serve_reads_locked(now);
  serve_writes_locked(now);
  settle_locked(now);
}

void CommPort::serve_reads_locked(Clock::time_point now) {
  while (!reads_.empty()) {
    CommRequest& r = *reads_.front();
    if (!r.started) start_read_locked(r, now);
    std::size_t take = rxq_.pop(r.rbuf + r.done, r.n - r.done);
    if (take) {
      r.done += static_cast<DWORD>(take);
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

bool CommPort::paced_by_baud_locked() const { return dcb_.fOutX && !reports_out_queue_; }

std::size_t CommPort::pace_batch_locked() const {
  return std::max<std::size_t>(1, kPaceTick / char_time_locked());
}

CommPort::Clock::duration CommPort::char_time_locked() const {
  unsigned bits = 1 + dcb_.ByteSize + (dcb_.Parity != NOPARITY ? 1 : 0) + (dcb_.StopBits == ONESTOPBIT ? 1 : 2);
  return std::chrono::nanoseconds(1000000000ull * bits / std::max<DWORD>(dcb_.BaudRate, 1));
}

// Bytes of `want` that may go to the device now with output XON/XOFF on.
std::size_t CommPort::tx_allowance_locked(Clock::time_point now, std::size_t want) {
  const auto ct = char_time_locked();
  if (paced_by_baud_locked()) {
    // A line that fell idle starts again now rather than owing a burst;
    // a wake-up that merely came late sends what has fallen due.
    if (next_slot_ + 4 * kPaceTick < now) next_slot_ = now;
    if (now < next_slot_) return 0;
    std::size_t due = static_cast<std::size_t>((now - next_slot_) / ct) + 1;
    // Whole ticks only (or the rest of the write): every write to a
    // device costs the same whatever it carries.
    if (due < std::min(want, pace_batch_locked())) return 0;
    return std::min(want, due);
  }
  std::size_t window = std::max<std::size_t>(kPaceBytes, std::chrono::milliseconds(1000 / 64) / ct);
  DWORD queued = line_->out_queue();
  return queued >= window ? 0 : std::min<std::size_t>(want, window - queued);
}

bool CommPort::send_flow_char_locked() {
  if (pending_flow_char_ < 0) return true;
  if (tx_blocked_) return false;
  unsigned char c = static_cast<unsigned char>(pending_flow_char_);
  long w = line_->write(&c, 1);
  if (w < 0) {
    line_failed_locked();
    return false;
  }
  if (w == 0) {
    tx_blocked_ = true;
    return false;
  }
  pending_flow_char_ = -1;
  return true;
}

void CommPort::serve_writes_locked(Clock::time_point now) {
  if (dead_) {
    for (auto& r : writes_) complete_locked(r, ERROR_GEN_FAILURE);
    writes_.clear();
    return;
  }
  if (!send_flow_char_locked()) return;
  while (!writes_.empty()) {
    Req rp = writes_.front();
    CommRequest& r = *rp;
    if (!r.started) start_write_locked(r, now);
    if (r.done == r.n) {
      complete_locked(rp, 0);
      writes_.pop_front();
      continue;
    }
    if (tx_blocked_ || held_locked()) return;
    std::size_t chunk = r.n - r.done;
    if (dcb_.fOutX) {
      chunk = tx_allowance_locked(now, chunk);
      if (chunk == 0) return;
      // A fresh XOFF must stop us before the next bytes go out.
      take_input_locked(now);
      if (dead_ || writes_.empty() || held_locked() || !send_flow_char_locked()) return;
      chunk = std::min<std::size_t>(chunk, writes_.front()->n - writes_.front()->done);
    }
    long w = line_->write(r.wdata.data() + r.done, chunk);
    if (w < 0) return line_failed_locked();
    if (w > 0) tx_at_ = now;
    if (paced_by_baud_locked()) next_slot_ += w * char_time_locked();
    r.done += static_cast<DWORD>(w);
    if (static_cast<std::size_t>(w) < chunk) tx_blocked_ = true;
    if (r.done == r.n) {
      complete_locked(rp, 0);
      writes_.pop_front();
    }
    if (tx_blocked_) return;
  }
}

bool CommPort::read_expires_locked(Clock::time_point now) const {
  if (reads_.empty() || !reads_.front()->started) return false;
  const CommRequest& r = *reads_.front();
  return now >= r.total_deadline || (r.use_interval && r.done > 0 && now - r.last_byte > r.interval);
}

void CommPort::expire_locked(Clock::time_point now) {
  if (read_expires_locked(now)) {
    complete_locked(reads_.front(), 0);
    reads_.pop_front();
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
  if (writes_.empty()) return next;
  if (writes_.front()->started) next = std::min(next, writes_.front()->total_deadline);
  if (xoff_hold_ || dead_ || tx_blocked_) return next;
  if (cts_held_) return std::min(next, now + kCtsPoll);
  if (!dcb_.fOutX) return next;
  const auto ct = char_time_locked();
  if (paced_by_baud_locked()) {
    // Wake when a tick's worth of bytes (or the rest of the write) is due.
    const CommRequest& w = *writes_.front();
    std::size_t batch = std::min<std::size_t>(pace_batch_locked(), std::max<DWORD>(1, w.n - w.done));
    auto due = next_slot_ + static_cast<long>(batch - 1) * ct;
    // A lone write of less than a tick (a block of a protocol that waits
    // for every answer) goes when the line is free, not on the grid.
    if (writes_.size() == 1 && w.n <= pace_batch_locked()) return std::min(next, due);
    // Late by up to a tick on the tick's grid: the wake-up then sends
    // what has fallen due, so the line keeps its rate.
    return std::min(next, on_grid(due, kPaceTick));
  }
  // Look again when the device queue should be down to a quarter.
  std::size_t window = std::max<std::size_t>(kPaceBytes, std::chrono::milliseconds(1000 / 64) / ct);
  DWORD queued = line_->out_queue();
  auto wait = queued > window / 4 ? static_cast<long>(queued - window / 4) * ct : ct;
  return std::min(next, now + wait);
}

// The line is watched one-shot: each readiness report disarms it and this
// arms it again. After a small block of input, reading waits a little so
// a slow stream is taken in some tens of blocks a second instead of one
// wake-up per arriving chunk; writing reads first anyway, so an XOFF is
// never left waiting.
void CommPort::settle_locked(Clock::time_point now) {
  if (stop_) return;
  if (tx_blocked_ && pending_flow_char_ < 0 && writes_.empty()) tx_blocked_ = false;
  std::uint32_t want = 0;
  if (dead_) {
    if (armed_ != kUnwatched) SerialPoller::instance().watch(poll_id_, fd_, 0);
    armed_ = kUnwatched;
  } else {
    if ((dcb_.fOutX || rx_room_locked() > 0) && !rx_resting_) want |= EPOLLIN;
    if (tx_blocked_) want |= EPOLLOUT;
    if (want && want != armed_) {
      SerialPoller::instance().watch(poll_id_, fd_, want | EPOLLONESHOT);
      armed_ = want;
    }
  }
  auto next = next_deadline_locked(now);
  if (!dead_ && rx_resting_) next = std::min(next, rx_rest_until_);
  // A deadline that moved later is left to fire early and be set again:
  // input moves the read interval's deadline with every block.
  if (next < scheduled_) {
    SerialPoller::instance().schedule(poll_id_, next);
    scheduled_ = next;
  }
}

// ---- the poller's calls ----

void CommPort::on_ready(std::uint32_t events) {
  Locked g(m_);
  if (stop_) return;
  auto now = Clock::now();
  armed_ = 0;  // one-shot: the report disarmed the line
  if (events & EPOLLOUT) tx_blocked_ = false;
  if (events & (EPOLLIN | EPOLLHUP | EPOLLERR)) gather_input_locked(now);
  drive_locked(now);
}

// While input keeps coming in small blocks the line is read on a timer
// and left unwatched; once a read finds it quiet it is watched again.
// Input on a line that was quiet, or that answers what we sent since the
// last input, is handed over at once and the line stays watched: a
// protocol that acknowledges every block pays no rest per turn. Only a
// stream (input again within a rest, nothing sent in between) rests.
void CommPort::gather_input_locked(Clock::time_point now) {
  const bool was_resting = rx_resting_;
  const auto last_input = rx_input_at_;
  std::size_t before = rx_taken_;
  take_input_locked(now);
  std::size_t got = rx_taken_ - before;
  const auto since = now - rx_gathered_;
  rx_gathered_ = now;
  const bool streaming = (was_resting || now - last_input < kRxRest) && tx_at_ < last_input;
  // Near the XOFF point the line is watched, so the XOFF goes in time.
  const bool near_xoff = dcb_.fInX && !xoff_sent_ && rxq_.size() + kRxRestHeadroom >= xoff_point_locked();
  const bool fast = static_cast<double>(got) > kRxFastStream * std::chrono::duration<double>(since).count();
  rx_resting_ = got > 0 && got < kRxRestBelow && !dead_ && streaming && !near_xoff;
  if (!rx_resting_) return;
  if (fast) {
    rx_rest_until_ = now + kRxRestFast;
    return;
  }
  // Rest until the waiting read could be filled at the rate this block
  // came in; a comm-event wait or a read that returns at the first byte
  // wants the shortest rest.
  std::size_t need = SIZE_MAX;
  if (waiter_) need = 1;
  if (!reads_.empty()) {
    const CommRequest& r = *reads_.front();
    need = (r.return_at_first || r.return_at_once) ? 1 : std::min<std::size_t>(need, r.n - r.done);
  }
  Clock::duration rest = kRxRestLong;
  if (need != SIZE_MAX) {
    Clock::duration span = std::min<Clock::duration>(since, kRxRestLong);
    auto fill = span * static_cast<long>(std::min<std::size_t>(need, 1u << 20)) / static_cast<long>(got);
    rest = std::clamp<Clock::duration>(fill, kRxRest, kRxRestLong);
  }
  // A long rest ends on its own grid, half a rest to one and a half on:
  // a rest as long as asked on average.
  rx_rest_until_ = rest >= kRxRestLong ? on_grid(now + rest / 2, kRxRestLong) : on_grid(now + rest);
}

void CommPort::on_deadline() {
  Locked g(m_);
  if (stop_) return;
  scheduled_ = Clock::time_point::max();  // the poller has dropped it
  auto now = Clock::now();
  // A read about to time out first takes in what the line holds: bytes
  // that came while input was resting arrived before its deadline.
  if (rx_resting_ && (now >= rx_rest_until_ || read_expires_locked(now))) gather_input_locked(now);
  drive_locked(now);
}

// ---- input ----

namespace {

// Raw and decoded input pass through buffers of the calling thread: the
// poller serves every port with the same two, which stay in its cache.
struct InputScratch {
  unsigned char raw[kReadBlock];
  unsigned char decoded[kReadBlock + 1];  // a 0xFF held from the last block may add one
};

InputScratch& input_scratch() {
  thread_local std::unique_ptr<InputScratch> s = std::make_unique<InputScratch>();
  return *s;
}

}  // namespace

void CommPort::take_input_locked(Clock::time_point now) {
  unsigned char* buf = input_scratch().raw;
  while (!dead_) {
    // No more than the queue keeps (a 0xFF held from the last block may
    // decode to one byte more), and with input flow no further than the
    // XOFF point before the XOFF has gone.
    std::size_t room = rx_room_locked();
    if (room > 0 && mark_state_ != 0) --room;
    std::size_t want = std::min(kReadBlock, room);
    if (dcb_.fInX && !xoff_sent_ && want > 0) {
      const std::size_t point = xoff_point_locked();
      want = std::min(want, rxq_.size() < point ? point - rxq_.size() : std::size_t{1});
    }
    // A full queue leaves the input with the kernel, unless output
    // XON/XOFF needs the machine's XOFF seen: then what finds no room is
    // lost (CE_RXOVER).
    if (want == 0) {
      if (!dcb_.fOutX) break;
      want = kReadBlock;
    }
    long r = line_->read(buf, want);
    if (r < 0) {
      line_failed_locked();
      break;
    }
    if (r == 0) break;
    rx_taken_ += static_cast<std::size_t>(r);
    rx_input_at_ = now;
    decode_locked(buf, static_cast<std::size_t>(r), now);
    // The XOFF leaves before anything more is read.
    input_flow_locked();
    if (pending_flow_char_ >= 0) send_flow_char_locked();
    if (static_cast<std::size_t>(r) < want) break;
  }
  input_flow_locked();
  serve_reads_locked(now);
}

namespace {

// Whether any of the n bytes is 0xFF or, with flow, XON or XOFF: eight
// bytes at a time, as a word holds a byte of value c exactly when the
// word XOR c repeated holds a zero byte.
bool needs_decoding(const unsigned char* p, std::size_t n, bool flow, unsigned char xon, unsigned char xoff) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ull, kHighs = 0x8080808080808080ull;
  auto zero_byte = [](std::uint64_t v) { return ((v - kOnes) & ~v & kHighs) != 0; };
  const std::uint64_t on = kOnes * xon, off = kOnes * xoff;
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t w;
    std::memcpy(&w, p + i, 8);
    if (zero_byte(~w) || (flow && (zero_byte(w ^ on) || zero_byte(w ^ off)))) return true;
  }
  for (; i < n; ++i)
    if (p[i] == 0xFF || (flow && (p[i] == xon || p[i] == xoff))) return true;
  return false;
}

}  // namespace

void CommPort::decode_locked(const unsigned char* in, std::size_t n, Clock::time_point now) {
  const bool flow = dcb_.fOutX;
  const auto xon = static_cast<unsigned char>(dcb_.XonChar);
  const auto xoff = static_cast<unsigned char>(dcb_.XoffChar);
  // Most blocks are plain data from end to end: handed over as they came.
  if (mark_state_ == 0 && !needs_decoding(in, n, flow, xon, xoff)) return deliver_locked(in, n, now);
  unsigned char* out = input_scratch().decoded;
  std::size_t k = 0;
  // Runs without a mark or flow byte are copied whole.
  auto plain = [&](unsigned char c) { return c != 0xFF && (!flow || (c != xon && c != xoff)); };
  auto data = [&](unsigned char c) {
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
    out[k++] = c;
  };
  for (std::size_t i = 0; i < n; ++i) {
    if (mark_state_ == 0 && plain(in[i])) {
      std::size_t j = i + 1;
      while (j < n && plain(in[j])) ++j;
      std::memcpy(out + k, in + i, j - i);
      k += j - i;
      i = j - 1;
      continue;
    }
    unsigned char c = in[i];
    switch (mark_state_) {
      case 0:
        if (c == 0xFF)
          mark_state_ = 1;
        else
          data(c);
        break;
      case 1:
        if (c == 0x00) {
          mark_state_ = 2;
        } else {
          mark_state_ = 0;
          data(0xFF);
          if (c != 0xFF) data(c);
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
          out[k++] = dcb_.fErrorChar ? static_cast<unsigned char>(dcb_.ErrorChar) : c;
        }
        break;
    }
  }
  deliver_locked(out, k, now);
}

void CommPort::deliver_locked(const unsigned char* p, std::size_t n, Clock::time_point now) {
  if (n == 0) return;
  // A waiting read with nothing queued before it takes the bytes straight
  // into its buffer.
  if (rxq_.size() == 0 && !reads_.empty() && reads_.front()->started) {
    CommRequest& r = *reads_.front();
    std::size_t take = std::min<std::size_t>(n, r.n - r.done);
    if (take) {
      std::memcpy(r.rbuf + r.done, p, take);
      r.done += static_cast<DWORD>(take);
      r.last_byte = now;
      p += take;
      n -= take;
    }
  }
  if (n) {
    const std::size_t kept = rxq_.push(p, std::min(n, rx_room_locked()));
    if (kept < n) errors_ |= CE_RXOVER;
  }
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

// Receive-side XON/XOFF: ask the other end to pause when the queue has
// only XoffLim bytes of room left and to go on once it has drained to
// XonLim.
void CommPort::input_flow_locked() {
  if (!dcb_.fInX) return;
  if (!xoff_sent_ && rxq_.size() >= xoff_point_locked()) {
    xoff_sent_ = true;
    pending_flow_char_ = static_cast<unsigned char>(dcb_.XoffChar);
  } else if (xoff_sent_ && rxq_.size() <= dcb_.XonLim) {
    xoff_sent_ = false;
    pending_flow_char_ = static_cast<unsigned char>(dcb_.XonChar);
  }
}

std::size_t CommPort::xoff_point_locked() const {
  return kRxCapacity - std::min<std::size_t>(dcb_.XoffLim, kRxCapacity / 2);
}

// Room in the receive queue: its 64 KiB, and with input flow the room
// kept for what comes after the XOFF.
std::size_t CommPort::rx_room_locked() const {
  const std::size_t limit = kRxCapacity + (dcb_.fInX ? kRxSlack : 0);
  return rxq_.size() < limit ? limit - rxq_.size() : 0;
}

// The line is gone (hang-up, device unplugged): everything waiting on it
// ends with an error the caller sees; queued input stays readable.
void CommPort::line_failed_locked() {
  if (dead_) return;
  dead_ = true;
  errors_ |= CE_IOE;
  for (auto& r : writes_) complete_locked(r, ERROR_GEN_FAILURE);
  writes_.clear();
  if (waiter_) {
    complete_locked(waiter_, ERROR_GEN_FAILURE);
    waiter_.reset();
  }
}

// ---- control and status ----

DWORD CommPort::set_mask(DWORD mask) {
  Locked g(m_);
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
  Locked g(m_);
  if (stop_) return ERROR_INVALID_HANDLE;
  *mask = mask_;
  return 0;
}

DWORD CommPort::purge(DWORD flags) {
  if (flags & ~(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR)) return ERROR_INVALID_PARAMETER;
  Locked g(m_);
  if (stop_) return ERROR_INVALID_HANDLE;
  if (flags & PURGE_TXABORT) {
    // Bytes the device still held are thrown away below: an aborted write
    // does not count them as sent.
    if ((flags & PURGE_TXCLEAR) && !dead_ && !writes_.empty()) {
      CommRequest& r = *writes_.front();
      r.done -= std::min<DWORD>(r.done, line_->out_queue());
    }
    abort_all_locked(writes_);
  }
  if (flags & PURGE_RXABORT) abort_all_locked(reads_);
  if ((flags & PURGE_TXCLEAR) && !dead_) line_->flush_output();
  if (flags & PURGE_RXCLEAR) {
    rxq_.clear();
    mark_state_ = 0;
    if (!dead_) line_->flush_input();
    // The other end was told to pause; with the queue empty it may go on.
    if (xoff_sent_) {
      xoff_sent_ = false;
      pending_flow_char_ = static_cast<unsigned char>(dcb_.XonChar);
    }
  }
  drive_locked(Clock::now());
  return 0;
}

DWORD CommPort::clear_error(DWORD* errors, COMSTAT* stat) {
  Locked g(m_);
  if (stop_) return ERROR_INVALID_HANDLE;
  if (errors) *errors = errors_;
  errors_ = 0;
  if (stat) {
    *stat = COMSTAT{};
    stat->fXoffHold = xoff_hold_;
    stat->fXoffSent = xoff_sent_;
    stat->fCtsHold = !dead_ && dcb_.fOutxCtsFlow && !(line_->modem_status() & MS_CTS_ON);
    stat->cbInQue = static_cast<DWORD>(rxq_.size());
    DWORD out = dead_ ? 0 : line_->out_queue();
    for (const auto& r : writes_) out += r->n - r->done;
    stat->cbOutQue = out;
  }
  return 0;
}

DWORD CommPort::modem_status(DWORD* status) {
  if (!status) return ERROR_INVALID_PARAMETER;
  Locked g(m_);
  if (stop_) return ERROR_INVALID_HANDLE;
  *status = line_->modem_status();
  return 0;
}

DWORD CommPort::escape(DWORD function) {
  bool ok = true;
  Locked g(m_);
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
  drive_locked(Clock::now());
  return ok ? 0 : ERROR_GEN_FAILURE;
}

}  // namespace plat
