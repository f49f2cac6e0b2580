// Inside the layer only: a DOS path split into its drive root and
// components, for the file and search code.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace plat {

struct ParsedPath {
  bool native = false;   // started with "/": components lie below "/"
  int drive = 0;         // 0 = A:
  std::string root;      // the drive's native root
  std::vector<std::string> components;  // "." and ".." already applied
};

ParsedPath parse_path(std::string_view dos_path);
// Joins components onto root, each one matched without regard to case when
// the exact name is missing.
std::string resolve_components(const std::string& root, const std::vector<std::string>& comps);

}  // namespace plat
