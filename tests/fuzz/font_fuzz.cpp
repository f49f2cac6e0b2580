// Fuzz target: a font record as the editor's font file stores it (60 bytes,
// or the 50-byte record of 16-bit programs when the first byte is odd),
// selected into a drawing context that measures and draws the rest of the
// input with it. A damaged record must give some font, never a fault.
// Covers: platform/ui/font_face.cpp, platform/ui/gdi_object.cpp, platform/ui/dc_text.cpp
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/ui/dc.h"
#include "platform/ui/gdi_object.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const bool old = data[0] & 1;
  ++data;
  --size;
  LOGFONT lf{};
  if (old) {
    LOGFONT16 lf16{};
    if (size < sizeof lf16) return 0;
    std::memcpy(&lf16, data, sizeof lf16);
    data += sizeof lf16;
    size -= sizeof lf16;
    lf = LogFontFrom16(lf16);
  } else {
    if (size < sizeof lf) return 0;
    std::memcpy(&lf, data, sizeof lf);
    data += sizeof lf;
    size -= sizeof lf;
  }
  const char* text = reinterpret_cast<const char*>(data);
  const int len = static_cast<int>(size);

  TFont font(lf);
  LOGFONT back{};
  font.GetObject(back);
  TBitmap bitmap(48, 24);
  TMemoryDC dc;
  dc.SelectObject(bitmap);
  dc.SelectObject(font);
  TEXTMETRIC tm{};
  dc.GetTextMetrics(tm);
  TSize extent = dc.GetTextExtent(text, len);
  if (extent.cx < 0) std::abort();
  const int tabs[2] = {len % 50, 8};
  dc.GetTabbedTextExtent(text, len, 2, tabs);
  dc.TextOut(1, 1, text, len);
  TRect r(0, 0, 40, 20);
  dc.DrawText(text, len, r, DT_WORDBREAK | DT_EXPANDTABS | DT_CALCRECT);
  dc.DrawText(text, len, TRect(0, 0, 40, 20), DT_WORDBREAK | DT_CENTER | DT_VCENTER);
  dc.Flush();
  return 0;
}
