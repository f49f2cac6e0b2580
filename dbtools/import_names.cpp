#include "dbtools/import_names.h"

#include <cstdint>
#include <cstdlib>

std::string JoinPath(const std::string& dir, const std::string& name) {
  if (dir.empty() || dir.back() == '\\' || dir.back() == '/') return dir + name;
  return dir + "\\" + name;
}

std::string DirectoryOf(const std::string& path) {
  std::size_t sep = path.find_last_of("\\/");
  return sep == std::string::npos ? std::string() : path.substr(0, sep);
}

std::string NameBase(const std::string& fileName) { return fileName.substr(0, fileName.find('.')); }

long LeadingNumber(const char* text) {
  // Stored program numbers are 32-bit: a longer run of digits saturates
  // as the stations' atol does.
  long long n = std::strtoll(text, nullptr, 10);
  if (n > INT32_MAX) return INT32_MAX;
  if (n < INT32_MIN) return INT32_MIN;
  return static_cast<long>(n);
}
