// OEM-to-ANSI conversion: DOS code page 850 bytes to Windows-1252 bytes,
// as OemToChar does for texts read from DOS-era files and message tables.
// Bytes below 0x80 stay as they are; characters that Windows-1252 lacks
// (box drawing, shading, dotless i, ...) become the nearest plain character.
#pragma once

#include <string>
#include <string_view>

namespace plat {

// One byte.
unsigned char oem_to_ansi(unsigned char oem);
// A NUL-terminated text into dst; src and dst may be the same buffer
// (in-place, as the table engine does). dst must hold strlen(src) + 1.
void oem_to_char(const char* src, char* dst);
// A text of any bytes, NUL included.
std::string oem_to_ansi(std::string_view oem);

}  // namespace plat
