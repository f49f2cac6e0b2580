// Fatal start-up errors: box, then exit through a replaceable hook.
#include "appcore/fatal.h"

#include <cstdlib>
#include <mutex>
#include <utility>

#include "platform/msgbox.h"

namespace {
std::mutex hook_mu;
FatalExitHook& Hook() {
  static FatalExitHook h;
  return h;
}
}  // namespace

FatalExitHook SetFatalExitHook(FatalExitHook hook) {
  std::lock_guard lock(hook_mu);
  FatalExitHook old = std::move(Hook());
  Hook() = std::move(hook);
  return old;
}

void FatalError(const std::string& text) {
  // The focused window would own the box; none exists this early.
  MessageBox(nullptr, text.c_str(), "Fatal Error", MB_OK);
  FatalExitHook h;
  {
    std::lock_guard lock(hook_mu);
    h = Hook();
  }
  if (h) {
    h(kFatalExitCode);
    return;
  }
  std::exit(kFatalExitCode);
}
