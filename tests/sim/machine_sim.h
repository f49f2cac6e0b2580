// A machine tool at the far end of a serial line, for the DNC tests: a
// pseudo-terminal whose slave side is mapped to a COM number, with the test
// playing the control on the master side. It sends programs and requests
// the way a control does (a block of text framed by the port's trigger
// codes) and collects what the server sends back.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <string>

#include "platform/serial.h"

namespace sim {

class Machine {
 public:
  explicit Machine(int com) : com_(com) {
    char name[256];
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) return;
    path_ = name;
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    termios t;
    tcgetattr(master_, &t);
    cfmakeraw(&t);
    tcsetattr(master_, TCSANOW, &t);
    plat::map_comm_port(com, path_);
  }
  ~Machine() {
    if (master_ >= 0) close(master_);
    if (slave_ >= 0) close(slave_);
  }
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  bool ok() const { return master_ >= 0; }
  int com() const { return com_; }
  const std::string& device() const { return path_; }

  // Writes the bytes as the control's output.
  void Send(const std::string& bytes) {
    std::size_t off = 0;
    while (off < bytes.size()) {
      ssize_t w = ::write(master_, bytes.data() + off, bytes.size() - off);
      if (w > 0) {
        off += static_cast<std::size_t>(w);
      } else {
        pollfd p{master_, POLLOUT, 0};
        ::poll(&p, 1, 100);
      }
    }
  }

  // A program as a control punches it: the start code, the lines each
  // ended by CR LF, the end code.
  void SendProgram(char start, const std::string& text, char end) { Send(std::string(1, start) + text + end); }

  // What the server sent until the line stays quiet for quiet_ms.
  std::string Received(int quiet_ms) {
    std::string out;
    char buf[4096];
    for (;;) {
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, quiet_ms) <= 0) break;
      ssize_t r = ::read(master_, buf, sizeof buf);
      if (r <= 0) break;
      out.append(buf, static_cast<std::size_t>(r));
    }
    return out;
  }

 private:
  int com_;
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};

}  // namespace sim
