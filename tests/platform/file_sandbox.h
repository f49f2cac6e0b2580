// A scratch directory for file and path tests: drives C: and D: and the
// floppy A: map below it, C:\ is current. Removed afterwards.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/path.h"
#include "tests/support/scratch_dir.h"

class FileSandbox {
 public:
  FileSandbox() : dir_(scratch_.file()) {
    plat::reset_drive_table();
    plat::set_base_directory(dir_ + "/base");
    plat::set_drive_root('A', dir_ + "/floppy");
    std::filesystem::create_directories(dir_ + "/base/c");
    std::filesystem::create_directories(dir_ + "/base/d");
    std::filesystem::create_directories(dir_ + "/floppy");
  }
  ~FileSandbox() { plat::reset_drive_table(); }
  const std::string& dir() const { return dir_; }
  // The native path of a path below drive C:'s root.
  std::string c(const std::string& rel) const { return dir_ + "/base/c/" + rel; }

  // Writes a native file, creating its directories.
  static void put(const std::string& native, const std::string& content) {
    kvtest::ScratchDir::write_file(native, content);
  }
  static std::string get(const std::string& native) { return kvtest::ScratchDir::read_file(native); }

 private:
  kvtest::ScratchDir scratch_{"kv-plat"};
  std::string dir_;
};
