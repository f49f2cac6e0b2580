// Starting a program from a command line, as WinExec did for the database
// profiles' network commands, but without a shell: the line is split into
// arguments at blanks (double quotes group, and are removed), and nothing
// is expanded ($, *, ~, ; and | are plain characters). The program is
// looked up on PATH when its name has no separator; a name with "\" or a
// drive goes through the drive table. The call does not wait for the
// program; the layer reaps it.
#pragma once

#include <string>
#include <vector>

namespace plat {

std::vector<std::string> split_command_line(const std::string& line);

struct ProcessStart {
  bool started = false;
  int pid = 0;
  std::string error;  // why it did not start ("... not found", ...)
};

// Starts the program; every start and every refusal is logged (standard
// error and process_log()). The layer reaps the program when it ends.
ProcessStart start_process(const std::string& command_line);

// The same, but the caller keeps the program and reaps it with
// wait_process, which gives its exit code (-1 when it did not exit).
ProcessStart start_process_owned(const std::string& command_line);
int wait_process(int pid);

// The lines logged so far: "started <pid>: <line>" or "refused: <line>: <why>".
std::vector<std::string> process_log();
void clear_process_log();

}  // namespace plat
