// TDC: state, mapping, clipping and the shapes.
#include "platform/ui/dc.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <unordered_map>

#include "platform/ui/gdi_bmp.h"
#include "platform/ui/window.h"

namespace {

TRect normalized(TRect r) {
  if (r.left > r.right) std::swap(r.left, r.right);
  if (r.top > r.bottom) std::swap(r.top, r.bottom);
  return r;
}

TRect intersect(const TRect& a, const TRect& b) {
  TRect r(std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom));
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  return r;
}

// Live contexts by handle; handles are never reused, so a stale one is
// detected.
std::mutex g_dc_mu;
std::unordered_map<HDC, TDC*>& live_dcs() {
  static std::unordered_map<HDC, TDC*> m;
  return m;
}
uintptr_t g_next_hdc = 0x5DC000;

}  // namespace

TDC* plat::dc_of(HDC hdc) {
  std::lock_guard lock(g_dc_mu);
  auto it = live_dcs().find(hdc);
  return it == live_dcs().end() ? nullptr : it->second;
}

TDC::TDC(int deviceWidth, int deviceHeight, int dpiX, int dpiY)
    : DevW(deviceWidth), DevH(deviceHeight), DpiX(dpiX), DpiY(dpiY) {
  St.font = OrigFont = GetStockObject(SYSTEM_FONT);
  St.brush = OrigBrush = GetStockObject(WHITE_BRUSH);
  St.pen = OrigPen = GetStockObject(BLACK_PEN);
  std::lock_guard lock(g_dc_mu);
  Hdc = reinterpret_cast<HDC>(g_next_hdc += 4);
  live_dcs()[Hdc] = this;
}

TDC::~TDC() {
  std::lock_guard lock(g_dc_mu);
  live_dcs().erase(Hdc);
}

HGDIOBJ TDC::SelectObject(HGDIOBJ h) {
  auto o = plat::find_gdi_object(h);
  if (!o) return nullptr;
  HGDIOBJ old = nullptr;
  switch (o->kind) {
    case plat::GdiObject::Font: old = St.font; St.font = h; FontCache.reset(); break;
    case plat::GdiObject::Brush: old = St.brush; St.brush = h; break;
    case plat::GdiObject::Pen: old = St.pen; St.pen = h; break;
    case plat::GdiObject::Bitmap:
      old = St.bitmap;
      St.bitmap = h;
      if (o->image) {
        DevW = o->image->width;
        DevH = o->image->height;
      }
      break;
  }
  return old;
}

void TDC::RestoreFont() { St.font = OrigFont; FontCache.reset(); }
void TDC::RestoreBrush() { St.brush = OrigBrush; }
void TDC::RestorePen() { St.pen = OrigPen; }
void TDC::RestoreObjects() {
  RestoreFont();
  RestoreBrush();
  RestorePen();
}

int TDC::SetBkMode(int mode) {
  int old = St.bkMode;
  if (mode == TRANSPARENT || mode == OPAQUE) St.bkMode = mode;
  return old;
}

COLORREF TDC::SetTextColor(COLORREF c) {
  COLORREF old = St.textColor;
  St.textColor = c & 0xFFFFFF;
  return old;
}

COLORREF TDC::SetBkColor(COLORREF c) {
  COLORREF old = St.bkColor;
  St.bkColor = c & 0xFFFFFF;
  return old;
}

UINT TDC::SetTextAlign(UINT align) {
  UINT old = St.textAlign;
  St.textAlign = align;
  return old;
}

// ---- mapping ----

int TDC::SetMapMode(int mode) {
  int old = St.mapMode;
  auto fixed = [&](int units) {
    St.winExt = {units, units};
    St.vpExt = {DpiX, -DpiY};
  };
  switch (mode) {
    case MM_TEXT: St.winExt = {1, 1}; St.vpExt = {1, 1}; break;
    case MM_LOMETRIC: fixed(254); break;
    case MM_HIMETRIC: fixed(2540); break;
    case MM_LOENGLISH: fixed(100); break;
    case MM_HIENGLISH: fixed(1000); break;
    case MM_TWIPS: fixed(1440); break;
    case MM_ISOTROPIC:
    case MM_ANISOTROPIC: break;  // the extents in force are kept
    default: return 0;
  }
  St.mapMode = mode;
  FontCache.reset();
  return old;
}

bool TDC::SetWindowExt(const TSize& ext, TSize* old) {
  if (old) *old = St.winExt;
  if (St.mapMode != MM_ISOTROPIC && St.mapMode != MM_ANISOTROPIC) return false;
  if (ext.cx == 0 || ext.cy == 0) return false;
  St.winExt = ext;
  FontCache.reset();
  return true;
}

bool TDC::SetViewportExt(const TSize& ext, TSize* old) {
  if (old) *old = GetViewportExt();
  if (St.mapMode != MM_ISOTROPIC && St.mapMode != MM_ANISOTROPIC) return false;
  if (ext.cx == 0 || ext.cy == 0) return false;
  St.vpExt = ext;
  FontCache.reset();
  return true;
}

TSize TDC::GetViewportExt() const {
  if (St.mapMode != MM_ISOTROPIC) return St.vpExt;
  // Isotropic: both axes take the smaller scale, each keeping its sign.
  double sx = double(St.vpExt.cx) / St.winExt.cx, sy = double(St.vpExt.cy) / St.winExt.cy;
  double s = std::min(std::fabs(sx), std::fabs(sy));
  return {static_cast<int>(std::lround(s * St.winExt.cx * (sx < 0 ? -1 : 1))),
          static_cast<int>(std::lround(s * St.winExt.cy * (sy < 0 ? -1 : 1)))};
}

bool TDC::SetWindowOrg(const TPoint& org, TPoint* old) {
  if (old) *old = St.winOrg;
  St.winOrg = org;
  return true;
}

bool TDC::SetViewportOrg(const TPoint& org, TPoint* old) {
  if (old) *old = St.vpOrg;
  St.vpOrg = org;
  return true;
}

double TDC::ScaleX() const { return double(GetViewportExt().cx) / St.winExt.cx; }
double TDC::ScaleY() const { return double(GetViewportExt().cy) / St.winExt.cy; }

TPoint TDC::ToDev(int x, int y) const {
  return {static_cast<int>(std::lround((x - St.winOrg.x) * ScaleX())) + St.vpOrg.x,
          static_cast<int>(std::lround((y - St.winOrg.y) * ScaleY())) + St.vpOrg.y};
}

TRect TDC::ToDev(const TRect& r) const {
  TPoint a = ToDev(r.left, r.top), b = ToDev(r.right, r.bottom);
  return normalized(TRect(a.x, a.y, b.x, b.y));
}

bool TDC::LPtoDP(TPoint* pts, int count) const {
  for (int i = 0; i < count; ++i) pts[i] = ToDev(pts[i].x, pts[i].y);
  return true;
}

bool TDC::DPtoLP(TPoint* pts, int count) const {
  for (int i = 0; i < count; ++i) {
    pts[i] = {static_cast<int>(std::lround((pts[i].x - St.vpOrg.x) / ScaleX())) + St.winOrg.x,
              static_cast<int>(std::lround((pts[i].y - St.vpOrg.y) / ScaleY())) + St.winOrg.y};
  }
  return true;
}

// ---- state stack and clipping ----

int TDC::SaveDC() {
  Saved.push_back(St);
  return static_cast<int>(Saved.size());
}

bool TDC::RestoreDC(int level) {
  int n = static_cast<int>(Saved.size());
  if (level < 0) level = n + 1 + level;
  if (level < 1 || level > n) return false;
  St = Saved[level - 1];
  Saved.resize(level - 1);
  FontCache.reset();
  if (auto o = plat::find_gdi_object(St.bitmap); o && o->image) {
    DevW = o->image->width;
    DevH = o->image->height;
  }
  return true;
}

int TDC::IntersectClipRect(const TRect& r) {
  TRect d = ToDev(r);
  St.clip = St.clip ? intersect(*St.clip, d) : d;
  return (St.clip->Width() == 0 || St.clip->Height() == 0) ? 1 : 2;
}

void TDC::SelectClipRgn(std::nullptr_t) { St.clip.reset(); }

int TDC::GetClipBox(TRect& r) const {
  TRect d = St.clip ? *St.clip : TRect(0, 0, DevW, DevH);
  TPoint p[2] = {{d.left, d.top}, {d.right, d.bottom}};
  DPtoLP(p, 2);
  r = normalized(TRect(p[0].x, p[0].y, p[1].x, p[1].y));
  return (d.Width() == 0 || d.Height() == 0) ? 1 : 2;
}

// ---- shapes ----

void TDC::Style(plat::DrawOp& op, bool pen, bool brush) const {
  op.clip = St.clip;
  if (pen) {
    auto p = plat::find_gdi_object(St.pen);
    op.penNull = !p || p->null;
    op.penColor = p ? p->color : 0;
    int w = p ? p->penWidth : 1;
    op.penWidth = std::max(1, static_cast<int>(std::lround(w * std::fabs(ScaleX()))));
  } else {
    op.penNull = true;
  }
  if (brush) {
    auto b = plat::find_gdi_object(St.brush);
    op.brushNull = !b || b->null;
    op.brushColor = b ? b->color : 0xFFFFFF;
  } else {
    op.brushNull = true;
  }
}

void TDC::Add(plat::DrawOp op) { Ops.push_back(std::move(op)); }

plat::DrawRecord TDC::TakeRecord() {
  plat::DrawRecord r;
  r.swap(Ops);
  return r;
}

void TDC::MoveTo(int x, int y) { St.pos = {x, y}; }

void TDC::LineTo(int x, int y) {
  plat::DrawOp op;
  op.kind = plat::DrawOp::Line;
  op.from = ToDev(St.pos.x, St.pos.y);
  op.to = ToDev(x, y);
  Style(op, true, false);
  St.pos = {x, y};
  Add(std::move(op));
}

void TDC::Rectangle(int l, int t, int r, int b) {
  plat::DrawOp op;
  op.kind = plat::DrawOp::Rectangle;
  op.rect = ToDev(TRect(l, t, r, b));
  Style(op, true, true);
  Add(std::move(op));
}

void TDC::RoundRect(int l, int t, int r, int b, int w, int h) {
  plat::DrawOp op;
  op.kind = plat::DrawOp::RoundRect;
  op.rect = ToDev(TRect(l, t, r, b));
  op.corner = {static_cast<int>(std::lround(std::abs(w) * std::fabs(ScaleX()))),
               static_cast<int>(std::lround(std::abs(h) * std::fabs(ScaleY())))};
  Style(op, true, true);
  Add(std::move(op));
}

void TDC::Ellipse(int l, int t, int r, int b) {
  plat::DrawOp op;
  op.kind = plat::DrawOp::Ellipse;
  op.rect = ToDev(TRect(l, t, r, b));
  Style(op, true, true);
  Add(std::move(op));
}

void TDC::FillRect(const TRect& r, HBRUSH brush) {
  auto b = plat::find_gdi_object(brush);
  if (!b || b->kind != plat::GdiObject::Brush || b->null) return;
  plat::DrawOp op;
  op.kind = plat::DrawOp::FillRect;
  op.rect = ToDev(r);
  op.clip = St.clip;
  op.penNull = true;
  op.brushColor = b->color;
  Add(std::move(op));
}

bool TDC::PatBlt(int x, int y, int w, int h, DWORD rop) {
  plat::DrawOp op;
  op.kind = plat::DrawOp::FillRect;
  op.rect = ToDev(TRect(x, y, x + w, y + h));
  op.clip = St.clip;
  op.penNull = true;
  if (rop == WHITENESS) op.brushColor = 0xFFFFFF;
  else if (rop == BLACKNESS) op.brushColor = 0;
  else {
    auto b = plat::find_gdi_object(St.brush);
    if (!b || b->null) return true;
    op.brushColor = b->color;
  }
  Add(std::move(op));
  return true;
}

// ---- bitmaps ----

std::shared_ptr<plat::Image> TDC::SourcePixels(int sx, int sy, int w, int h) {
  std::shared_ptr<plat::Image> surface = Surface();
  if (!surface || w <= 0 || h <= 0) return nullptr;
  TPoint p = ToDev(sx, sy);
  auto out = std::make_shared<plat::Image>(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      int X = p.x + x, Y = p.y + y;
      if (X >= 0 && Y >= 0 && X < surface->width && Y < surface->height)
        out->px[size_t(y) * w + x] = surface->px[size_t(Y) * surface->width + X];
    }
  return out;
}

bool TDC::StretchBlt(int x, int y, int w, int h, TDC& src, int sx, int sy, int sw, int sh, DWORD rop) {
  if (rop != SRCCOPY) return PatBlt(x, y, w, h, rop);
  auto px = src.SourcePixels(sx, sy, sw, sh);
  if (!px) return false;
  plat::DrawOp op;
  op.kind = plat::DrawOp::Blit;
  op.rect = ToDev(TRect(x, y, x + w, y + h));
  op.clip = St.clip;
  op.image = px;
  Add(std::move(op));
  return true;
}

bool TDC::BitBlt(int x, int y, int w, int h, TDC& src, int sx, int sy, DWORD rop) {
  return StretchBlt(x, y, w, h, src, sx, sy, w, h, rop);
}

int TDC::StretchDIBits(const TRect& dst, const TRect& src, const plat::Image& img, DWORD rop) {
  if (rop != SRCCOPY) {
    PatBlt(dst.left, dst.top, dst.Width(), dst.Height(), rop);
    return 0;
  }
  TRect s = intersect(normalized(src), TRect(0, 0, img.width, img.height));
  if (s.Width() <= 0 || s.Height() <= 0) return 0;
  auto cut = std::make_shared<plat::Image>(s.Width(), s.Height());
  for (int y = 0; y < s.Height(); ++y)
    std::copy_n(&img.px[size_t(s.top + y) * img.width + s.left], s.Width(), &cut->px[size_t(y) * s.Width()]);
  plat::DrawOp op;
  op.kind = plat::DrawOp::Blit;
  op.rect = ToDev(dst);
  op.clip = St.clip;
  op.image = cut;
  Add(std::move(op));
  return s.Height();
}

int TDC::StretchDIBits(const TRect& dst, const TRect& src, const TDib& dib, DWORD rop) {
  auto px = dib.Pixels();
  return px ? StretchDIBits(dst, src, *px, rop) : 0;
}

bool TDC::DrawImage(int x, int y, const plat::Image& img) {
  TPoint a = ToDev(x, y);
  TPoint p[1] = {{a.x + img.width, a.y + img.height}};
  DPtoLP(p, 1);
  return StretchDIBits(TRect(x, y, p[0].x, p[0].y), TRect(0, 0, img.width, img.height), img) > 0;
}

int TDC::GetDeviceCaps(int index) const {
  switch (index) {
    case HORZRES: case PHYSICALWIDTH: return DevW;
    case VERTRES: case PHYSICALHEIGHT: return DevH;
    case LOGPIXELSX: return DpiX;
    case LOGPIXELSY: return DpiY;
    case HORZSIZE: return static_cast<int>(std::lround(DevW * 25.4 / DpiX));
    case VERTSIZE: return static_cast<int>(std::lround(DevH * 25.4 / DpiY));
    case BITSPIXEL: return 24;
    case PHYSICALOFFSETX: case PHYSICALOFFSETY: return 0;
    default: return 0;
  }
}

// ---- contexts ----

TClientDC::TClientDC(HWND hwnd) : TDC(0, 0, 96, 96) {
  TWindow alias(hwnd);
  TRect r = alias.GetClientRect();
  DevW = r.Width();
  DevH = r.Height();
}

TMemoryDC::TMemoryDC() : TDC(1, 1, 96, 96) {}

TMemoryDC::TMemoryDC(TDC& compatible)
    : TDC(1, 1, compatible.GetDeviceCaps(LOGPIXELSX), compatible.GetDeviceCaps(LOGPIXELSY)) {}

std::shared_ptr<plat::Image> TMemoryDC::Surface() {
  Flush();
  auto o = plat::find_gdi_object(St.bitmap);
  return o ? o->image : nullptr;
}

HBITMAP CreateCompatibleBitmap(const TDC&, int width, int height) { return CreateBitmap(width, height); }

namespace plat {

DrawRecord paint_window(TWindow& window, bool erase) {
  TPaintDC dc(window.GetHandle());
  TRect r = window.GetClientRect();
  // A control that draws itself (the large-text edit) answers WM_PAINT.
  if (!window.ReceiveMessage(WM_PAINT, reinterpret_cast<WPARAM>(&dc), erase)) window.Paint(dc, erase, r);
  return dc.TakeRecord();
}

}  // namespace plat

BOOL UpdateWindow(HWND hwnd) {
  TWindow* w = plat::window_object(hwnd);
  if (!w) return FALSE;
  plat::paint_window(*w);
  return TRUE;
}

COLORREF SetTextColor(HDC hdc, COLORREF c) {
  TDC* dc = plat::dc_of(hdc);
  return dc ? dc->SetTextColor(c) : CLR_INVALID;
}

COLORREF SetBkColor(HDC hdc, COLORREF c) {
  TDC* dc = plat::dc_of(hdc);
  return dc ? dc->SetBkColor(c) : CLR_INVALID;
}

int SetBkMode(HDC hdc, int mode) {
  TDC* dc = plat::dc_of(hdc);
  return dc ? dc->SetBkMode(mode) : 0;
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ obj) {
  TDC* dc = plat::dc_of(hdc);
  return dc ? dc->SelectObject(obj) : nullptr;
}

BOOL GetTextMetrics(HDC hdc, TEXTMETRIC* tm) {
  TDC* dc = plat::dc_of(hdc);
  return dc && tm && dc->GetTextMetrics(*tm);
}
