// System information: the computer name and the stand-ins for the Windows
// and system directories.
#pragma once

#include <string>

namespace plat {

// GetComputerName: the host name without its domain, upper case, at most
// 15 characters (a NetBIOS name); "KELVANE" when the host has none.
std::string computer_name();

// GetWindowsDirectory / GetSystemDirectory stand-ins, as DOS paths on drive
// C: ("C:\WINDOWS", "C:\WINDOWS\SYSTEM"); created when missing.
std::string windows_directory();
std::string system_directory();

}  // namespace plat
