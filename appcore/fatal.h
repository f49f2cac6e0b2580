// Fatal start-up errors: a "Fatal Error" box, then the end of the process
// with a non-zero exit code. The exit goes through a hook so tests can see
// it without the process dying.
#pragma once

#include <functional>
#include <string>

constexpr int kFatalExitCode = 1;

using FatalExitHook = std::function<void(int code)>;

// Replaces the exit hook (empty: end the process); returns the old one.
FatalExitHook SetFatalExitHook(FatalExitHook hook);

// Shows the text and ends the process. Returns only when a hook that does
// not end the process is installed; the caller must then stop at once.
void FatalError(const std::string& text);
