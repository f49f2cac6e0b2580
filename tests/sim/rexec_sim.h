// A Unix host of our own for the faults a real one rarely shows on cue: it
// speaks the rexec service's side (port of the error channel, user,
// password and command, each ended by a zero byte; a connection back to
// the error channel; a zero byte or byte 1 and a text) and then plays what
// the test set up:
//   - for "rcp -f <path>": rcp's source protocol for one file of the given
//     bytes, as rcp would send it;
//   - for any other command: the given output.
// Either may stop after `cut` bytes of the file or output: the host closes
// the connection, resets it (a line that drops) or falls silent and keeps
// it open until the simulator goes. Every command it was given is kept.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sim {

class RexecSim {
 public:
  enum class End { kClose, kReset, kSilent };
  // What the host does; fixed before it listens.
  struct Play {
    std::string User = "cnc", Password = "secret";
    std::string Output;                   // a command's output
    std::string File;                     // the file rcp -f sends
    std::string FileLine;                 // sent in place of the file's line when set
    std::size_t Cut = std::string::npos;  // bytes of output or file sent
    End Ending = End::kClose;
  };

  explicit RexecSim(Play play) : play_(std::move(play)) {
    listening_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (listening_ < 0 || bind(listening_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        listen(listening_, 4) != 0 || getsockname(listening_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
      return;
    port_ = ntohs(a.sin_port);
    server_ = std::thread([this] { Serve(); });
  }
  ~RexecSim() {
    stop_ = true;
    shutdown(listening_, SHUT_RDWR);  // wakes the accept
    if (server_.joinable()) server_.join();
    close(listening_);
    for (int fd : kept_) close(fd);
  }
  RexecSim(const RexecSim&) = delete;
  RexecSim& operator=(const RexecSim&) = delete;

  bool Listening() const { return port_ != 0; }
  int Port() const { return port_; }
  std::vector<std::string> Commands() {
    std::lock_guard<std::mutex> g(lock_);
    return commands_;
  }

 private:
  // Waits for fd at most a few seconds: a test's client never takes longer.
  bool Ready(int fd, short events) {
    pollfd p{fd, events, 0};
    return poll(&p, 1, 5000) == 1;
  }
  bool ReadZeroEnded(int fd, std::string& text) {
    text.clear();
    for (char c;;) {
      if (!Ready(fd, POLLIN) || recv(fd, &c, 1, 0) != 1) return false;
      if (c == '\0') return true;
      text += c;
    }
  }
  bool ReadByte(int fd, char& c) { return Ready(fd, POLLIN) && recv(fd, &c, 1, 0) == 1; }
  bool Send(int fd, const std::string& bytes) {
    for (std::size_t at = 0; at < bytes.size();) {
      const ssize_t n = send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
      if (n <= 0) return false;
      at += static_cast<std::size_t>(n);
    }
    return true;
  }
  static int ConnectBack(int port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return fd;
    if (fd >= 0) close(fd);
    return -1;
  }
  // The bytes up to the cut; true when nothing was cut.
  bool Upto(int fd, const std::string& bytes) {
    const bool whole = play_.Cut >= bytes.size();
    Send(fd, bytes.substr(0, whole ? bytes.size() : play_.Cut));
    return whole;
  }
  void Finish(int fd, int err, bool cut) {
    if (cut && play_.Ending == End::kSilent) {
      kept_.push_back(fd);
      if (err >= 0) kept_.push_back(err);
      return;
    }
    if (cut && play_.Ending == End::kReset) {
      linger l{1, 0};  // an abortive close: the peer sees the line drop
      setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    }
    if (err >= 0) close(err);
    close(fd);
  }
  void Session(int fd) {
    std::string port, user, password, command;
    if (!ReadZeroEnded(fd, port) || !ReadZeroEnded(fd, user) || !ReadZeroEnded(fd, password) ||
        !ReadZeroEnded(fd, command)) {
      close(fd);
      return;
    }
    {
      std::lock_guard<std::mutex> g(lock_);
      commands_.push_back(command);
    }
    const int err = port == "0" ? -1 : ConnectBack(std::stoi(port));
    if (user != play_.User || password != play_.Password) {
      Send(fd, std::string("\1Login incorrect.\n"));
      Finish(fd, err, false);
      return;
    }
    Send(fd, std::string(1, '\0'));
    if (command.rfind("rcp -f ", 0) != 0) {
      Finish(fd, err, !Upto(fd, play_.Output));
      return;
    }
    // rcp's source: the sink's zero, the file's line, its zero, the bytes,
    // the source's zero and the sink's last one.
    char c = 1;
    if (!ReadByte(fd, c) || c != '\0' || !Send(fd, play_.FileLine.empty() ? "C0644 " + std::to_string(play_.File.size()) + " file\n" : play_.FileLine) ||
        !ReadByte(fd, c) || c != '\0') {
      Finish(fd, err, false);
      return;
    }
    const bool whole = Upto(fd, play_.File);
    if (whole) {
      Send(fd, std::string(1, '\0'));
      ReadByte(fd, c);
    }
    Finish(fd, err, !whole);
  }
  void Serve() {
    while (!stop_) {
      const int fd = accept4(listening_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) {
        if (errno == EINTR) continue;
        return;
      }
      Session(fd);
    }
  }

  const Play play_;
  int listening_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread server_;
  std::vector<int> kept_;  // silent connections, closed at the end
  std::mutex lock_;
  std::vector<std::string> commands_;
};

}  // namespace sim
