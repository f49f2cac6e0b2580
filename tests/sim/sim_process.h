// The standalone simulated machine (kelvane-machine-sim) run by a test as
// tools/run-demo runs it: started as a child, its line's device read from
// its ready file, stopped with SIGTERM when the object goes.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace sim {

class SimProcess {
 public:
  // kind "rs232" or "heidenhain"; dir takes the machine's log
  // (machine.log), its ready file and what it keeps; extra is the program
  // file or name the program expects.
  SimProcess(const std::string& binary, const std::string& kind, const std::string& dir, const std::string& extra) {
    std::filesystem::create_directories(dir);
    const std::string ready = dir + "/line", log = dir + "/machine.log";
    pid_ = fork();
    if (pid_ == 0) {
      // Only what may run between fork and exec.
      int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (out >= 0) dup2(out, 1);
      execl(binary.c_str(), binary.c_str(), kind.c_str(), dir.c_str(), ready.c_str(), extra.c_str(),
            static_cast<char*>(nullptr));
      _exit(127);
    }
    if (pid_ < 0) return;
    // Its path appears whole once the line is open (renamed into place).
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (device_.empty() && std::chrono::steady_clock::now() < end && Running()) {
      std::ifstream in(ready);
      if (!std::getline(in, device_)) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  ~SimProcess() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  // The line's device (empty when the machine did not start).
  const std::string& device() const { return device_; }

 private:
  // False once it ended (and was reaped: nothing left to stop).
  bool Running() {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == 0) return true;
    pid_ = -1;
    return false;
  }

  pid_t pid_ = -1;
  std::string device_;
};

}  // namespace sim
