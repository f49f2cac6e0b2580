// The text clipboard of the program: edits cut, copy and paste through it,
// and dialogs hand texts over on it. The desktop renderer mirrors it to the
// system's clipboard.
#pragma once

#include <string>

namespace plat {

void set_clipboard_text(const std::string& text);
std::string clipboard_text();

}  // namespace plat
