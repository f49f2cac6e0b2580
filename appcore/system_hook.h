// A C-Hook entry: a plug-in command bound to a menu command id. This build
// reads no hook configuration, so the hook lists stay empty.
#pragma once

#include <string>

struct TSystemHook {
  int CommandId = 0;
  std::string Library;
  std::string Entry;
};
