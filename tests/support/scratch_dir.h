// One scratch directory per test (or per fuzz process), removed with
// everything in it when the object goes. Files are set up and read back
// with the standard library, so the code under test is checked against
// bytes it did not write itself. No test framework needed: the fuzz
// targets use it too.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kvtest {

class ScratchDir {
 public:
  // The directory is made under the system's temporary directory with the
  // prefix in its name, so a left-over one tells which test made it.
  explicit ScratchDir(std::string_view prefix = "kv") {
    std::string pattern = (std::filesystem::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot make a scratch directory " + pattern);
    path_ = pattern;
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The directory itself (empty name) or a path below it, native form.
  std::string file(std::string_view name = {}) const {
    return name.empty() ? path_.string() : (path_ / std::string(name)).string();
  }
  // Writes the bytes to a file below the directory (making its directories);
  // returns its native path.
  std::string write(std::string_view name, std::string_view bytes) const {
    std::string p = file(name);
    write_file(p, bytes);
    return p;
  }
  std::string read(std::string_view name) const { return read_file(file(name)); }

  // The same for any native path.
  static void write_file(const std::string& path, std::string_view bytes) {
    std::filesystem::path p(path);
    if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
  }
  static std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

 private:
  std::filesystem::path path_;
};

}  // namespace kvtest
