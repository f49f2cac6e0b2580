// Computer name and the Windows / system directory stand-ins.
#include "platform/sysinfo.h"

#include <unistd.h>

#include "platform/file.h"

namespace plat {

std::string computer_name() {
  char buf[256] = {};
  std::string name;
  if (::gethostname(buf, sizeof buf - 1) == 0) name = buf;
  if (auto dot = name.find('.'); dot != std::string::npos) name.resize(dot);
  if (name.empty()) name = "KELVANE";
  if (name.size() > 15) name.resize(15);
  for (char& c : name)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  return name;
}

std::string windows_directory() {
  const std::string dir = "C:\\WINDOWS";
  if (!directory_exists(dir)) create_directory(dir);
  return dir;
}

std::string system_directory() {
  const std::string dir = windows_directory() + "\\SYSTEM";
  if (!directory_exists(dir)) create_directory(dir);
  return dir;
}

}  // namespace plat
