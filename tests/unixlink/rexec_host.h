// The Unix host of the Unix-link tests: Debian's rexec server on loopback.
// A listening socket on a free port of 127.0.0.1 and a thread that hands
// each accepted connection to a fresh in.rexecd as its standard input,
// output and error, as inetd would. The test user and its password come
// from the set-up (host-user). A silent host accepts connections and never
// answers.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace kvunix {

// A socket listening on 127.0.0.1 at a port of the system's choice.
inline int ListenOnLoopback(int& port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, 16) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    if (fd >= 0) close(fd);
    return -1;
  }
  port = ntohs(a.sin_port);
  return fd;
}

class RexecHost {
 public:
  RexecHost() {
    listening_ = ListenOnLoopback(port_);
    if (listening_ >= 0) accepter_ = std::thread([this] { Serve(); });
  }
  ~RexecHost() {
    shutdown(listening_, SHUT_RDWR);  // wakes the accept
    if (accepter_.joinable()) accepter_.join();
    close(listening_);
    std::lock_guard<std::mutex> g(lock_);
    for (pid_t pid : servers_) waitpid(pid, nullptr, 0);
  }
  RexecHost(const RexecHost&) = delete;
  RexecHost& operator=(const RexecHost&) = delete;

  bool Listening() const { return listening_ >= 0; }
  int Port() const { return port_; }

 private:
  void Serve() {
    for (;;) {
      int fd = accept4(listening_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) {
        if (errno == EINTR) continue;
        return;
      }
      posix_spawn_file_actions_t actions;
      posix_spawn_file_actions_init(&actions);
      for (int to : {0, 1, 2}) posix_spawn_file_actions_adddup2(&actions, fd, to);
      char name[] = "in.rexecd";
      char* argv[] = {name, nullptr};
      pid_t pid = 0;
      if (posix_spawn(&pid, "/usr/sbin/in.rexecd", &actions, nullptr, argv, environ) == 0) {
        std::lock_guard<std::mutex> g(lock_);
        servers_.push_back(pid);
      }
      posix_spawn_file_actions_destroy(&actions);
      close(fd);
    }
  }

  int listening_ = -1;
  int port_ = 0;
  std::thread accepter_;
  std::mutex lock_;
  std::vector<pid_t> servers_;
};

// Accepts (the system does, into its backlog) and never answers.
class SilentHost {
 public:
  SilentHost() { listening_ = ListenOnLoopback(port_); }
  ~SilentHost() { close(listening_); }
  bool Listening() const { return listening_ >= 0; }
  int Port() const { return port_; }

 private:
  int listening_ = -1;
  int port_ = 0;
};

// The test user and its password, as the set-up wrote them.
struct Login {
  std::string user, password;
  uid_t uid = 0;
  gid_t gid = 0;
  bool Read() {
    std::ifstream in(KV_UNIXLINK_HOST_DIR "/login");
    if (!std::getline(in, user) || !std::getline(in, password) || user.empty()) return false;
    const passwd* pw = getpwnam(user.c_str());
    if (!pw) return false;
    uid = pw->pw_uid;
    gid = pw->pw_gid;
    return true;
  }
};

}  // namespace kvunix
