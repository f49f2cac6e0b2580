// Drawing objects (fonts, brushes, pens, bitmaps) behind handles, the stock
// objects, and the wrapper classes the windows use. A handle of a deleted
// object maps to nothing; stock objects are never deleted.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/gdi_types.h"
#include "platform/ui/geometry.h"

namespace plat {

// Pixels of a bitmap, 0x00RRGGBB each, rows from the top.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> px;
  Image() = default;
  Image(int w, int h, uint32_t fill = 0xFFFFFF) : width(w), height(h), px(size_t(w) * h, fill) {}
};

struct GdiObject {
  enum Kind { Font, Brush, Pen, Bitmap } kind = Brush;
  LOGFONT logfont{};
  COLORREF color = 0;
  bool null = false;  // hollow brush, null pen
  int penStyle = PS_SOLID;
  int penWidth = 1;
  bool stock = false;
  std::shared_ptr<Image> image;
};

HGDIOBJ add_gdi_object(std::shared_ptr<GdiObject> obj);
std::shared_ptr<GdiObject> find_gdi_object(HGDIOBJ h);
size_t live_gdi_object_count();  // created and not deleted, stock objects left out

// COLORREF 0x00BBGGRR to a pixel 0x00RRGGBB and back.
inline uint32_t pixel_of(COLORREF c) { return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }
inline COLORREF color_of(uint32_t p) { return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF); }

}  // namespace plat

HFONT CreateFontIndirect(const LOGFONT* lf);
HFONT CreateFont(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                 DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision, DWORD clipPrecision,
                 DWORD quality, DWORD pitchAndFamily, const char* face);
HBRUSH CreateSolidBrush(COLORREF color);
HPEN CreatePen(int style, int width, COLORREF color);
HBITMAP CreateBitmap(int width, int height);
HGDIOBJ GetStockObject(int index);
BOOL DeleteObject(HGDIOBJ h);
// A font yields its LOGFONT; a bitmap its width and height as two ints.
int GetObject(HGDIOBJ h, int size, void* buffer);
COLORREF GetSysColor(int index);
// The two forms of the stored font record.
LOGFONT LogFontFrom16(const LOGFONT16& lf);
LOGFONT16 LogFontTo16(const LOGFONT& lf);

// Owning wrappers; the handle forms wrap without owning unless told to.
class TGdiObject {
 public:
  TGdiObject(const TGdiObject&) = delete;
  TGdiObject& operator=(const TGdiObject&) = delete;
  virtual ~TGdiObject();
  HGDIOBJ GetHandle() const { return Handle; }
  bool IsValid() const { return Handle != nullptr; }

 protected:
  TGdiObject() = default;
  TGdiObject(HGDIOBJ h, bool autoDelete) : Handle(h), ShouldDelete(autoDelete) {}
  HGDIOBJ Handle = nullptr;
  bool ShouldDelete = true;
};

class TFont : public TGdiObject {
 public:
  TFont(const char* face, int height = 0, int width = 0, int escapement = 0, int orientation = 0,
        int weight = FW_NORMAL, BYTE pitchAndFamily = DEFAULT_PITCH | FF_DONTCARE, BYTE italic = 0,
        BYTE underline = 0, BYTE strikeout = 0, BYTE charSet = DEFAULT_CHARSET);
  explicit TFont(const LOGFONT& lf);
  TFont(HFONT h, bool autoDelete = false) : TGdiObject(h, autoDelete) {}  // NOLINT
  operator HFONT() const { return Handle; }
  bool GetObject(LOGFONT& lf) const;
  // Face and height of the record, for callers that only look.
  LOGFONT GetLogFont() const;
};

class TBrush : public TGdiObject {
 public:
  explicit TBrush(COLORREF color);
  TBrush(HBRUSH h, bool autoDelete = false) : TGdiObject(h, autoDelete) {}  // NOLINT
  operator HBRUSH() const { return Handle; }
};

class TPen : public TGdiObject {
 public:
  explicit TPen(COLORREF color, int width = 1, int style = PS_SOLID);
  TPen(HPEN h, bool autoDelete = false) : TGdiObject(h, autoDelete) {}  // NOLINT
  operator HPEN() const { return Handle; }
};

class TBitmap : public TGdiObject {
 public:
  TBitmap(int width, int height);
  TBitmap(HBITMAP h, bool autoDelete = false) : TGdiObject(h, autoDelete) {}  // NOLINT
  operator HBITMAP() const { return Handle; }
  int Width() const;
  int Height() const;
  std::shared_ptr<plat::Image> Pixels() const;
};
