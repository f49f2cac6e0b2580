// Device contexts that record what is drawn. Every call maps its logical
// coordinates to device units at once (mapping mode, window and viewport
// origins and extents), so the record holds device positions, the font
// actually used, colours, pen, brush and clip of each drawing: tests read
// it, the PDF writer and the desktop renderer replay it. Text is measured
// with the real font files (font_face.h).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/font_face.h"
#include "platform/ui/gdi_object.h"
#include "platform/ui/geometry.h"

class TWindow;
class TDib;

namespace plat {

struct DrawOp {
  enum Kind { Text, Line, Rectangle, RoundRect, Ellipse, FillRect, Blit };
  Kind kind = Text;
  TRect rect;            // device units: the shape, the text's cell, the blit target
  TPoint from, to;       // a line
  TSize corner;          // ellipse of a round rectangle's corners
  std::string text;      // bytes of the program's code page
  std::vector<int> xs;   // device x of each character
  int baseline = 0;      // device y of the text's baseline
  FontInstance font;
  COLORREF textColor = 0;
  COLORREF bkColor = 0xFFFFFF;
  bool opaque = false;   // the text's cell is filled with bkColor first
  COLORREF penColor = 0;
  int penWidth = 1;
  bool penNull = false;
  COLORREF brushColor = 0xFFFFFF;
  bool brushNull = false;
  std::optional<TRect> clip;  // device units
  std::shared_ptr<const Image> image;  // a blit's source pixels (already cut out)
};

using DrawRecord = std::vector<DrawOp>;

}  // namespace plat

class TDC {
 public:
  virtual ~TDC();
  TDC(const TDC&) = delete;
  TDC& operator=(const TDC&) = delete;

  // Objects. Each returns the handle it replaced (null for a bad handle).
  HGDIOBJ SelectObject(HGDIOBJ h);
  HGDIOBJ SelectObject(const TGdiObject& obj) { return SelectObject(obj.GetHandle()); }
  HGDIOBJ SelectStockObject(int index) { return SelectObject(GetStockObject(index)); }
  void RestoreFont();
  void RestoreBrush();
  void RestorePen();
  void RestoreObjects();
  HFONT GetCurrentFont() const { return St.font; }

  // Colours and modes.
  int SetBkMode(int mode);
  int GetBkMode() const { return St.bkMode; }
  COLORREF SetTextColor(COLORREF c);
  COLORREF GetTextColor() const { return St.textColor; }
  COLORREF SetBkColor(COLORREF c);
  COLORREF GetBkColor() const { return St.bkColor; }
  UINT SetTextAlign(UINT align);

  // Mapping.
  int SetMapMode(int mode);
  int GetMapMode() const { return St.mapMode; }
  bool SetWindowExt(const TSize& ext, TSize* old = nullptr);
  bool SetViewportExt(const TSize& ext, TSize* old = nullptr);
  bool SetWindowOrg(const TPoint& org, TPoint* old = nullptr);
  bool SetViewportOrg(const TPoint& org, TPoint* old = nullptr);
  TSize GetWindowExt() const { return St.winExt; }
  TSize GetViewportExt() const;
  bool LPtoDP(TPoint* pts, int count = 1) const;
  bool DPtoLP(TPoint* pts, int count = 1) const;

  // State stack: SaveDC returns the new level; RestoreDC(-1) takes the last.
  int SaveDC();
  bool RestoreDC(int level = -1);

  // Clipping, in logical units. Results: 1 nothing left, 2 a rectangle.
  int IntersectClipRect(const TRect& r);
  int IntersectClipRect(int l, int t, int r, int b) { return IntersectClipRect(TRect(l, t, r, b)); }
  void SelectClipRgn(std::nullptr_t);
  int GetClipBox(TRect& r) const;

  // Drawing.
  void MoveTo(int x, int y);
  void MoveTo(const TPoint& p) { MoveTo(p.x, p.y); }
  void LineTo(int x, int y);
  void LineTo(const TPoint& p) { LineTo(p.x, p.y); }
  TPoint GetCurrentPosition() const { return St.pos; }
  void Rectangle(int l, int t, int r, int b);
  void Rectangle(const TRect& r) { Rectangle(r.left, r.top, r.right, r.bottom); }
  void RoundRect(int l, int t, int r, int b, int w, int h);
  void Ellipse(int l, int t, int r, int b);
  void FillRect(const TRect& r, HBRUSH brush);
  void FillRect(const TRect& r, const TBrush& brush) { FillRect(r, static_cast<HBRUSH>(brush)); }
  bool PatBlt(int x, int y, int w, int h, DWORD rop);

  // Text. len -1 takes the text up to its zero.
  bool TextOut(int x, int y, const char* text, int len = -1);
  bool TextOut(const TPoint& p, const char* text, int len = -1) { return TextOut(p.x, p.y, text, len); }
  // Returns the height of the text drawn (or measured with DT_CALCRECT).
  int DrawText(const char* text, int len, TRect& rect, UINT format);
  int DrawText(const char* text, int len, const TRect& rect, UINT format) {
    TRect r = rect;
    return DrawText(text, len, r, format);
  }
  // Tabs expand at the given stops, or every 8 average characters; returns
  // the extent drawn (width, height) in logical units.
  TSize TabbedTextOut(int x, int y, const char* text, int len, int numTabs = 0, const int* tabs = nullptr,
                      int tabOrigin = 0);
  TSize GetTextExtent(const char* text, int len = -1) const;
  TSize GetTabbedTextExtent(const char* text, int len, int numTabs = 0, const int* tabs = nullptr) const;
  bool GetTextMetrics(TEXTMETRIC& tm) const;

  // Bitmaps.
  bool BitBlt(int x, int y, int w, int h, TDC& src, int sx, int sy, DWORD rop = SRCCOPY);
  bool BitBlt(const TRect& dst, TDC& src, const TPoint& sp, DWORD rop = SRCCOPY) {
    return BitBlt(dst.left, dst.top, dst.Width(), dst.Height(), src, sp.x, sp.y, rop);
  }
  bool StretchBlt(int x, int y, int w, int h, TDC& src, int sx, int sy, int sw, int sh, DWORD rop = SRCCOPY);
  // A device-independent bitmap (rows from the top here) stretched into the
  // destination; returns the number of rows copied.
  int StretchDIBits(const TRect& dst, const TRect& src, const TDib& dib, DWORD rop = SRCCOPY);
  int StretchDIBits(const TRect& dst, const TRect& src, const plat::Image& img, DWORD rop = SRCCOPY);
  bool DrawImage(int x, int y, const plat::Image& img);

  int GetDeviceCaps(int index) const;

  // The drawings so far, in device units; the surface's size in device units.
  const plat::DrawRecord& Record() const { return Ops; }
  plat::DrawRecord TakeRecord();
  TSize DeviceSize() const { return {DevW, DevH}; }
  // The font as the next text would use it.
  const plat::FontInstance& CurrentFont() const;
  // The handle of this context, valid while it lives.
  HDC GetHDC() const { return Hdc; }
  operator HDC() const { return Hdc; }

 protected:
  TDC(int deviceWidth, int deviceHeight, int dpiX, int dpiY);
  virtual void Add(plat::DrawOp op);
  std::shared_ptr<plat::Image> SourcePixels(int sx, int sy, int w, int h);
  // The pixels a memory DC draws into (null for other contexts).
  virtual std::shared_ptr<plat::Image> Surface() { return nullptr; }

  struct State {
    HFONT font = nullptr;
    HBRUSH brush = nullptr;
    HPEN pen = nullptr;
    HBITMAP bitmap = nullptr;
    COLORREF textColor = 0;
    COLORREF bkColor = 0xFFFFFF;
    int bkMode = OPAQUE;
    UINT textAlign = TA_LEFT | TA_TOP;
    int mapMode = MM_TEXT;
    TPoint winOrg, vpOrg;
    TSize winExt{1, 1};
    TSize vpExt{1, 1};
    std::optional<TRect> clip;
    TPoint pos;
  };

  State St;
  std::vector<State> Saved;
  plat::DrawRecord Ops;
  int DevW, DevH, DpiX, DpiY;
  HGDIOBJ OrigFont, OrigBrush, OrigPen;

 private:
  TPoint ToDev(int x, int y) const;
  TRect ToDev(const TRect& r) const;
  double ScaleX() const;
  double ScaleY() const;
  void Style(plat::DrawOp& op, bool pen, bool brush) const;
  void AddText(int devX, int devTop, const std::string& text, const std::optional<TRect>& clip);
  int ExpandTabs(const std::string& text, int numTabs, const int* tabs, int tabOrigin, int startX,
                 std::vector<std::pair<int, std::string>>* parts) const;
  mutable std::optional<plat::FontInstance> FontCache;
  HDC Hdc = nullptr;
};

// A window's client area; on a desktop it draws on the screen.
class TClientDC : public TDC {
 public:
  explicit TClientDC(HWND hwnd);
};
using TWindowDC = TClientDC;
using TPaintDC = TClientDC;

// Draws into the bitmap selected into it.
class TMemoryDC : public TDC {
 public:
  TMemoryDC();
  explicit TMemoryDC(TDC& compatible);
  // Renders what was drawn so far into the selected bitmap.
  void Flush();

 protected:
  std::shared_ptr<plat::Image> Surface() override;
};

// A bitmap a memory DC compatible with dc can draw into.
HBITMAP CreateCompatibleBitmap(const TDC& dc, int width, int height);

namespace plat {
// Paints a window as the screen would: a client DC handed to its Paint.
DrawRecord paint_window(TWindow& window, bool erase = true);
}  // namespace plat

// Paints a window by handle; false for a handle that is gone.
BOOL UpdateWindow(HWND hwnd);

namespace plat {
// The live context behind a handle, or null.
TDC* dc_of(HDC hdc);
}  // namespace plat

// Calls on a context by handle; a stale or null handle does nothing and
// gives 0 (CLR_INVALID for the colours).
COLORREF SetTextColor(HDC hdc, COLORREF c);
COLORREF SetBkColor(HDC hdc, COLORREF c);
int SetBkMode(HDC hdc, int mode);
HGDIOBJ SelectObject(HDC hdc, HGDIOBJ obj);
BOOL GetTextMetrics(HDC hdc, TEXTMETRIC* tm);
#define CLR_INVALID 0xFFFFFFFFu
