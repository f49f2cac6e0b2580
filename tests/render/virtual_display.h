// A private X server (Xvfb) for the screen tests: started once per test
// process, stopped when the process ends. Without Xvfb (which make check
// installs) the tests fail.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/wx/desktop.h"

namespace rendertest {

class VirtualDisplay {
 public:
  static VirtualDisplay& get() {
    static VirtualDisplay d;
    return d;
  }
  bool ok() const { return ok_; }
  const std::string& why() const { return why_; }

 private:
  VirtualDisplay() {
    if (access("/usr/bin/Xvfb", X_OK) != 0) {
      why_ = "Xvfb is not installed";
      return;
    }
    int fds[2];
    if (pipe(fds) != 0) return;
    std::string fd = std::to_string(fds[1]);
    pid_ = fork();
    if (pid_ == 0) {
      // The server goes when the test process goes, however it ends, and
      // keeps none of its output pipes open.
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      close(fds[0]);
      int null = open("/dev/null", O_RDWR);
      dup2(null, 0);
      dup2(null, 1);
      dup2(null, 2);
      execl("/usr/bin/Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
            "-noreset", static_cast<char*>(nullptr));
      _exit(127);
    }
    if (pid_ < 0) {
      why_ = "Xvfb did not start";
      return;
    }
    close(fds[1]);
    // Xvfb writes the display number it took once it accepts clients.
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (number.empty()) {
      why_ = "Xvfb gave no display";
      return;
    }
    setenv("DISPLAY", (":" + number).c_str(), 1);
    setenv("GDK_BACKEND", "x11", 1);
    unsetenv("WAYLAND_DISPLAY");
    setenv("NO_AT_BRIDGE", "1", 1);
    setenv("GSETTINGS_BACKEND", "memory", 1);  // no settings daemon on a test display
    if (!plat::attach_desktop_renderer()) {
      why_ = "the toolkit could not open the display";
      return;
    }
    ok_ = true;
  }
  ~VirtualDisplay() {
    plat::detach_desktop_renderer();
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }

  pid_t pid_ = 0;
  bool ok_ = false;
  std::string why_ = "no display";
};

}  // namespace rendertest
