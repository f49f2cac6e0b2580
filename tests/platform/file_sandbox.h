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

class FileSandbox {
 public:
  FileSandbox() {
    char tmpl[] = "/tmp/kv-plat-XXXXXX";
    dir_ = ::mkdtemp(tmpl);
    plat::reset_drive_table();
    plat::set_base_directory(dir_ + "/base");
    plat::set_drive_root('A', dir_ + "/floppy");
    std::filesystem::create_directories(dir_ + "/base/c");
    std::filesystem::create_directories(dir_ + "/base/d");
    std::filesystem::create_directories(dir_ + "/floppy");
  }
  ~FileSandbox() {
    plat::reset_drive_table();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  const std::string& dir() const { return dir_; }
  // The native path of a path below drive C:'s root.
  std::string c(const std::string& rel) const { return dir_ + "/base/c/" + rel; }

  // Writes a native file, creating its directories.
  static void put(const std::string& native, const std::string& content) {
    std::filesystem::create_directories(std::filesystem::path(native).parent_path());
    std::ofstream(native, std::ios::binary) << content;
  }
  static std::string get(const std::string& native) {
    std::ifstream in(native, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

 private:
  std::string dir_;
};
