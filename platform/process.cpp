// Program starts without a shell: split, posix_spawnp (which reports a
// missing program as an error of the call), and a reaper thread per child
// so that no zombie is left behind.
#include "platform/process.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform/path.h"

extern char** environ;

namespace plat {

namespace {

std::mutex& LogMutex() {
  static std::mutex m;
  return m;
}

std::vector<std::string>& Log() {
  static std::vector<std::string> log;
  return log;
}

void Note(const std::string& line) {
  std::fprintf(stderr, "process: %s\n", line.c_str());
  std::lock_guard lock(LogMutex());
  Log().push_back(line);
}

ProcessStart Spawn(const std::string& command_line, bool reap) {
  ProcessStart r;
  std::vector<std::string> args = split_command_line(command_line);
  if (args.empty()) {
    r.error = "empty command line";
    Note("refused: " + command_line + ": " + r.error);
    return r;
  }
  std::string program = args[0];
  if (program.find('\\') != std::string::npos || (program.size() > 1 && program[1] == ':'))
    program = to_native_path(program);
  std::vector<char*> argv;
  argv.push_back(program.data());
  for (size_t i = 1; i < args.size(); i++) argv.push_back(args[i].data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ);
  if (rc != 0) {
    r.error = rc == ENOENT ? "program " + args[0] + " not found" : args[0] + ": " + std::strerror(rc);
    Note("refused: " + command_line + ": " + r.error);
    return r;
  }
  r.started = true;
  r.pid = pid;
  Note("started " + std::to_string(pid) + ": " + command_line);
  if (reap) std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();
  return r;
}

}  // namespace

std::vector<std::string> split_command_line(const std::string& line) {
  std::vector<std::string> args;
  std::string cur;
  bool inArg = false, quoted = false;
  for (char c : line) {
    if (c == '"') {
      quoted = !quoted;
      inArg = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (inArg) args.push_back(cur);
      cur.clear();
      inArg = false;
    } else {
      cur += c;
      inArg = true;
    }
  }
  if (inArg) args.push_back(cur);
  return args;
}

ProcessStart start_process(const std::string& command_line) { return Spawn(command_line, true); }

ProcessStart start_process_owned(const std::string& command_line) { return Spawn(command_line, false); }

int wait_process(int pid) {
  int status = 0;
  if (pid <= 0 || waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> process_log() {
  std::lock_guard lock(LogMutex());
  return Log();
}

void clear_process_log() {
  std::lock_guard lock(LogMutex());
  Log().clear();
}

}  // namespace plat
