// The model keeps texts as bytes of the Windows-1252 code page; the
// toolkit shows Unicode. Conversion happens here and nowhere else. A
// character the code page lacks becomes '?', so it never turns into a
// byte that means something else.
#include <wx/strconv.h>

#include "platform/wx/renderer.h"

namespace plat::wx {
namespace {

// The bytes 0x80-0x9F of the code page; the rest equal Latin-1.
constexpr wchar_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

wxString to_wx(const std::string& bytes) {
  wxString out;
  out.reserve(bytes.size());
  for (char ch : bytes) {
    unsigned char c = static_cast<unsigned char>(ch);
    out += (c >= 0x80 && c < 0xA0) ? wxUniChar(kHigh[c - 0x80]) : wxUniChar(static_cast<unsigned>(c));
  }
  return out;
}

std::string from_wx(const wxString& text) {
  std::string out;
  out.reserve(text.length());
  for (wxUniChar u : text) {
    unsigned v = u.GetValue();
    char b = '?';
    if (v < 0x80 || (v >= 0xA0 && v <= 0xFF)) {
      b = static_cast<char>(v);
    } else {
      for (int i = 0; i < 32; ++i)
        if (kHigh[i] == static_cast<wchar_t>(v)) b = static_cast<char>(0x80 + i);
    }
    out += b;
  }
  return out;
}

}  // namespace plat::wx
