// The serial ports' shared epoll thread. Deadlines sit in an ordered set;
// the thread sleeps until the earliest one (rounded up to the millisecond,
// so ports paced alike are served in one wake-up) or until a line is ready.
// A client that moves its deadline before the thread's sleep ends writes
// the poller's own eventfd, which lives as long as the process, so no
// stray wake-up can land on a descriptor that has meanwhile been reused.
#include "platform/serial_poller.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <mutex>
#include <set>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

namespace plat {

namespace {

constexpr std::uint64_t kWakeId = 0;

thread_local CompletionBatch* t_batch = nullptr;

}  // namespace

CompletionBatch::CompletionBatch() : outer_(t_batch) {
  if (!outer_) t_batch = this;
}

CompletionBatch::~CompletionBatch() {
  if (outer_) return;
  flush();
  t_batch = nullptr;
}

void CompletionBatch::flush() {
  if (!t_batch) return;
  // Signalling may run code that opens a batch of its own: take the list.
  std::vector<std::shared_ptr<Completion>> list;
  list.swap(t_batch->list_);
  for (auto& c : list) c->signal();
}

void CompletionBatch::add(std::shared_ptr<Completion> c) {
  if (t_batch)
    t_batch->list_.push_back(std::move(c));
  else
    c->signal();
}

struct SerialPoller::State {
  std::mutex m;
  int epfd = -1;
  int wake_fd = -1;
  std::uint64_t next_id = 1;
  struct Entry {
    std::shared_ptr<PollClient> client;
    Clock::time_point deadline = Clock::time_point::max();
    bool in_epoll = false;
  };
  std::unordered_map<std::uint64_t, Entry> clients;
  std::set<std::pair<Clock::time_point, std::uint64_t>> deadlines;
  // When the thread's current sleep ends; min() while it is not sleeping.
  Clock::time_point sleeping_until = Clock::time_point::min();
};

SerialPoller& SerialPoller::instance() {
  // Never destroyed: ports may still be closed from static destructors.
  static SerialPoller* p = new SerialPoller;
  return *p;
}

SerialPoller::SerialPoller() : s_(new State) {
  s_->epfd = epoll_create1(EPOLL_CLOEXEC);
  s_->wake_fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (s_->epfd >= 0 && s_->wake_fd >= 0) {
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = kWakeId;
    epoll_ctl(s_->epfd, EPOLL_CTL_ADD, s_->wake_fd, &ev);
    std::thread([this] { loop(); }).detach();
  }
}

std::uint64_t SerialPoller::add(std::shared_ptr<PollClient> client, int fd, std::uint32_t events) {
  std::lock_guard<std::mutex> g(s_->m);
  if (s_->epfd < 0) return 0;
  std::uint64_t id = s_->next_id++;
  epoll_event ev{};
  ev.events = events;
  ev.data.u64 = id;
  if (events && epoll_ctl(s_->epfd, EPOLL_CTL_ADD, fd, &ev) != 0) return 0;
  auto& e = s_->clients[id];
  e.client = std::move(client);
  e.in_epoll = events != 0;
  return id;
}

void SerialPoller::watch(std::uint64_t id, int fd, std::uint32_t events) {
  std::lock_guard<std::mutex> g(s_->m);
  auto it = s_->clients.find(id);
  if (it == s_->clients.end()) return;
  epoll_event ev{};
  ev.events = events;
  ev.data.u64 = id;
  if (events == 0) {
    if (it->second.in_epoll) epoll_ctl(s_->epfd, EPOLL_CTL_DEL, fd, nullptr);
    it->second.in_epoll = false;
  } else if (it->second.in_epoll) {
    epoll_ctl(s_->epfd, EPOLL_CTL_MOD, fd, &ev);
  } else {
    it->second.in_epoll = epoll_ctl(s_->epfd, EPOLL_CTL_ADD, fd, &ev) == 0;
  }
}

void SerialPoller::schedule(std::uint64_t id, Clock::time_point when) {
  bool wake = false;
  {
    std::lock_guard<std::mutex> g(s_->m);
    auto it = s_->clients.find(id);
    if (it == s_->clients.end() || it->second.deadline == when) return;
    if (it->second.deadline != Clock::time_point::max()) s_->deadlines.erase({it->second.deadline, id});
    it->second.deadline = when;
    if (when != Clock::time_point::max()) {
      s_->deadlines.insert({when, id});
      wake = when < s_->sleeping_until;
    }
  }
  if (wake) {
    std::uint64_t one = 1;
    ssize_t r = ::write(s_->wake_fd, &one, sizeof one);
    (void)r;
  }
}

void SerialPoller::remove(std::uint64_t id, int fd) {
  std::shared_ptr<PollClient> last;
  std::lock_guard<std::mutex> g(s_->m);
  auto it = s_->clients.find(id);
  if (it == s_->clients.end()) return;
  if (it->second.in_epoll) epoll_ctl(s_->epfd, EPOLL_CTL_DEL, fd, nullptr);
  if (it->second.deadline != Clock::time_point::max()) s_->deadlines.erase({it->second.deadline, id});
  // The caller holds its own reference; the client is never destroyed here.
  last = std::move(it->second.client);
  s_->clients.erase(it);
}

void SerialPoller::loop() {
  std::vector<epoll_event> evs(256);
  std::vector<std::pair<std::shared_ptr<PollClient>, std::uint32_t>> ready;
  std::vector<std::shared_ptr<PollClient>> due;
  for (;;) {
    int timeout = -1;
    {
      std::lock_guard<std::mutex> g(s_->m);
      if (!s_->deadlines.empty()) {
        auto next = s_->deadlines.begin()->first;
        auto us = std::chrono::duration_cast<std::chrono::microseconds>(next - Clock::now()).count();
        timeout = us <= 0 ? 0 : static_cast<int>(std::min<long long>((us + 999) / 1000, 3600 * 1000));
        s_->sleeping_until = next;
      } else {
        s_->sleeping_until = Clock::time_point::max();
      }
    }
    int n = epoll_wait(s_->epfd, evs.data(), static_cast<int>(evs.size()), timeout);
    {
      std::lock_guard<std::mutex> g(s_->m);
      s_->sleeping_until = Clock::time_point::min();
      for (int i = 0; i < n; ++i) {
        if (evs[i].data.u64 == kWakeId) {
          std::uint64_t v;
          ssize_t r = ::read(s_->wake_fd, &v, sizeof v);
          (void)r;
          continue;
        }
        auto it = s_->clients.find(evs[i].data.u64);
        if (it != s_->clients.end()) ready.emplace_back(it->second.client, std::uint32_t{evs[i].events});
      }
      auto now = Clock::now();
      while (!s_->deadlines.empty() && s_->deadlines.begin()->first <= now) {
        auto id = s_->deadlines.begin()->second;
        s_->deadlines.erase(s_->deadlines.begin());
        auto it = s_->clients.find(id);
        if (it == s_->clients.end()) continue;
        it->second.deadline = Clock::time_point::max();
        due.push_back(it->second.client);
      }
    }
    {
      CompletionBatch batch;
      for (auto& [c, e] : ready) c->on_ready(e);
      for (auto& c : due) c->on_deadline();
      ready.clear();
      due.clear();
    }
  }
}

}  // namespace plat
