// A fuzz process's scratch directory, in memory where the system has a
// memory file system: the code under test syncs what it writes, makes and
// opens files, and on a disk a run would wait on those more than it runs
// the code. Elsewhere it is the usual temporary directory. It goes when the
// process ends, as the targets keep theirs to the end.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>

#include "tests/support/scratch_dir.h"

namespace kvfuzz {

class MemoryDir {
 public:
  explicit MemoryDir(std::string_view prefix) {
    std::error_code ec;
    const std::filesystem::path shm("/dev/shm");
    const bool memory = std::filesystem::is_directory(shm, ec) && ::access(shm.c_str(), W_OK) == 0;
    std::string pattern = ((memory ? shm : std::filesystem::temp_directory_path()) / (std::string(prefix) + "-XXXXXX")).string();
    if (!::mkdtemp(pattern.data())) std::abort();
    path_ = pattern;
    Made() = path_;
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(Made(), ignored);
    });
  }
  MemoryDir(const MemoryDir&) = delete;
  MemoryDir& operator=(const MemoryDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string file(std::string_view name) const { return (path_ / std::string(name)).string(); }
  std::string write(std::string_view name, std::string_view bytes) const {
    const std::string p = file(name);
    kvtest::ScratchDir::write_file(p, bytes);
    return p;
  }
  std::string read(std::string_view name) const { return kvtest::ScratchDir::read_file(file(name)); }

 private:
  // One a process: the one the exit removes.
  static std::filesystem::path& Made() {
    static std::filesystem::path made;
    return made;
  }
  std::filesystem::path path_;
};

// Writes the bytes over the file and cuts it to their length; never
// through an empty file, which the file system would flush at its close.
inline void Rewrite(const std::string& path, const std::string& bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0644);
  if (fd < 0) std::abort();
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
    if (n <= 0) std::abort();
    done += static_cast<std::size_t>(n);
  }
  if (::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0 || ::close(fd) != 0) std::abort();
}

// Whether the file holds exactly the bytes: read in one go, as a run
// compares every file it restores.
inline bool Holds(const std::string& path, const std::string& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  static std::string buffer;
  buffer.resize(bytes.size() + 1);
  const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), f);
  std::fclose(f);
  return n == bytes.size() && std::memcmp(buffer.data(), bytes.data(), n) == 0;
}

}  // namespace kvfuzz
