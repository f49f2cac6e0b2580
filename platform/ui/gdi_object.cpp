// The handle table of drawing objects and the stock objects.
#include "platform/ui/gdi_object.h"

#include <atomic>
#include <cstring>
#include <map>
#include <mutex>

namespace plat {
namespace {

std::mutex g_mu;
std::map<HGDIOBJ, std::shared_ptr<GdiObject>>& table() {
  static std::map<HGDIOBJ, std::shared_ptr<GdiObject>> t;
  return t;
}
uintptr_t g_next = 0x6D000;
size_t g_live = 0;

}  // namespace

HGDIOBJ add_gdi_object(std::shared_ptr<GdiObject> obj) {
  std::lock_guard lock(g_mu);
  // Handles are never reused, so a stale one is detected.
  HGDIOBJ h = reinterpret_cast<HGDIOBJ>(g_next += 4);
  if (!obj->stock) ++g_live;
  table()[h] = std::move(obj);
  return h;
}

std::shared_ptr<GdiObject> find_gdi_object(HGDIOBJ h) {
  std::lock_guard lock(g_mu);
  auto it = table().find(h);
  return it == table().end() ? nullptr : it->second;
}

size_t live_gdi_object_count() {
  std::lock_guard lock(g_mu);
  return g_live;
}

}  // namespace plat

using plat::GdiObject;

HFONT CreateFontIndirect(const LOGFONT* lf) {
  if (!lf) return nullptr;
  auto o = std::make_shared<GdiObject>();
  o->kind = GdiObject::Font;
  o->logfont = *lf;
  // Bytes after the face's zero stay as stored; only a face without one is cut.
  if (!std::memchr(o->logfont.lfFaceName, 0, sizeof o->logfont.lfFaceName)) o->logfont.lfFaceName[31] = 0;
  return plat::add_gdi_object(o);
}

HFONT CreateFont(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                 DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision, DWORD clipPrecision,
                 DWORD quality, DWORD pitchAndFamily, const char* face) {
  LOGFONT lf{};
  lf.lfHeight = height;
  lf.lfWidth = width;
  lf.lfEscapement = escapement;
  lf.lfOrientation = orientation;
  lf.lfWeight = weight;
  lf.lfItalic = static_cast<BYTE>(italic);
  lf.lfUnderline = static_cast<BYTE>(underline);
  lf.lfStrikeOut = static_cast<BYTE>(strikeOut);
  lf.lfCharSet = static_cast<BYTE>(charSet);
  lf.lfOutPrecision = static_cast<BYTE>(outPrecision);
  lf.lfClipPrecision = static_cast<BYTE>(clipPrecision);
  lf.lfQuality = static_cast<BYTE>(quality);
  lf.lfPitchAndFamily = static_cast<BYTE>(pitchAndFamily);
  if (face) std::strncpy(lf.lfFaceName, face, sizeof lf.lfFaceName - 1);
  return CreateFontIndirect(&lf);
}

HBRUSH CreateSolidBrush(COLORREF color) {
  auto o = std::make_shared<GdiObject>();
  o->kind = GdiObject::Brush;
  o->color = color & 0xFFFFFF;
  return plat::add_gdi_object(o);
}

HPEN CreatePen(int style, int width, COLORREF color) {
  auto o = std::make_shared<GdiObject>();
  o->kind = GdiObject::Pen;
  o->penStyle = style;
  o->null = style == PS_NULL;
  o->penWidth = width < 0 ? 1 : width;
  o->color = color & 0xFFFFFF;
  return plat::add_gdi_object(o);
}

HBITMAP CreateBitmap(int width, int height) {
  if (width < 0 || height < 0) return nullptr;
  auto o = std::make_shared<GdiObject>();
  o->kind = GdiObject::Bitmap;
  o->image = std::make_shared<plat::Image>(width, height);
  return plat::add_gdi_object(o);
}

HGDIOBJ GetStockObject(int index) {
  static std::mutex mu;
  static std::map<int, HGDIOBJ> made;
  std::lock_guard lock(mu);
  if (auto it = made.find(index); it != made.end()) return it->second;
  auto o = std::make_shared<GdiObject>();
  o->stock = true;
  auto font = [&](const char* face, int height, int weight, BYTE pitch) {
    o->kind = GdiObject::Font;
    o->logfont.lfHeight = height;
    o->logfont.lfWeight = weight;
    o->logfont.lfPitchAndFamily = pitch;
    std::strncpy(o->logfont.lfFaceName, face, 31);
  };
  switch (index) {
    case WHITE_BRUSH: o->color = RGB(255, 255, 255); break;
    case LTGRAY_BRUSH: o->color = RGB(192, 192, 192); break;
    case GRAY_BRUSH: o->color = RGB(128, 128, 128); break;
    case DKGRAY_BRUSH: o->color = RGB(64, 64, 64); break;
    case BLACK_BRUSH: o->color = RGB(0, 0, 0); break;
    case NULL_BRUSH: o->null = true; break;
    case WHITE_PEN: o->kind = GdiObject::Pen; o->color = RGB(255, 255, 255); break;
    case BLACK_PEN: o->kind = GdiObject::Pen; break;
    case NULL_PEN: o->kind = GdiObject::Pen; o->null = true; o->penStyle = PS_NULL; break;
    case OEM_FIXED_FONT: font("Terminal", 12, FW_NORMAL, FIXED_PITCH | FF_MODERN); o->logfont.lfCharSet = OEM_CHARSET; break;
    case ANSI_FIXED_FONT: font("Courier", 13, FW_NORMAL, FIXED_PITCH | FF_MODERN); break;
    case ANSI_VAR_FONT: font("MS Sans Serif", 13, FW_NORMAL, VARIABLE_PITCH | FF_SWISS); break;
    case SYSTEM_FONT: case DEVICE_DEFAULT_FONT: font("System", 16, FW_BOLD, VARIABLE_PITCH | FF_SWISS); break;
    case SYSTEM_FIXED_FONT: font("Fixedsys", 15, FW_NORMAL, FIXED_PITCH | FF_MODERN); break;
    case DEFAULT_GUI_FONT: font("MS Sans Serif", -11, FW_NORMAL, VARIABLE_PITCH | FF_SWISS); break;
    default: return nullptr;
  }
  HGDIOBJ h = plat::add_gdi_object(o);
  made[index] = h;
  return h;
}

BOOL DeleteObject(HGDIOBJ h) {
  std::lock_guard lock(plat::g_mu);
  auto it = plat::table().find(h);
  if (it == plat::table().end()) return FALSE;
  if (it->second->stock) return TRUE;
  plat::table().erase(it);
  --plat::g_live;
  return TRUE;
}

int GetObject(HGDIOBJ h, int size, void* buffer) {
  auto o = plat::find_gdi_object(h);
  if (!o) return 0;
  if (o->kind == GdiObject::Font) {
    if (!buffer) return sizeof(LOGFONT);
    int n = std::min<int>(size, sizeof(LOGFONT));
    if (n <= 0) return 0;
    std::memcpy(buffer, &o->logfont, n);
    return n;
  }
  if (o->kind == GdiObject::Bitmap && o->image) {
    int wh[2] = {o->image->width, o->image->height};
    if (!buffer) return sizeof wh;
    int n = std::min<int>(size, sizeof wh);
    if (n <= 0) return 0;
    std::memcpy(buffer, wh, n);
    return n;
  }
  return 0;
}

COLORREF GetSysColor(int index) {
  switch (index) {
    case COLOR_WINDOW: return RGB(255, 255, 255);
    case COLOR_WINDOWTEXT: return RGB(0, 0, 0);
    case COLOR_HIGHLIGHT: return RGB(0, 0, 128);
    case COLOR_HIGHLIGHTTEXT: return RGB(255, 255, 255);
    default: return RGB(192, 192, 192);
  }
}

LOGFONT LogFontFrom16(const LOGFONT16& s) {
  LOGFONT lf{};
  lf.lfHeight = s.lfHeight;
  lf.lfWidth = s.lfWidth;
  lf.lfEscapement = s.lfEscapement;
  lf.lfOrientation = s.lfOrientation;
  lf.lfWeight = s.lfWeight;
  std::memcpy(&lf.lfItalic, &s.lfItalic, 8 + 32);
  return lf;
}

LOGFONT16 LogFontTo16(const LOGFONT& s) {
  auto clamp16 = [](int32_t v) { return static_cast<int16_t>(std::max(-32768, std::min(32767, static_cast<int>(v)))); };
  LOGFONT16 lf{};
  lf.lfHeight = clamp16(s.lfHeight);
  lf.lfWidth = clamp16(s.lfWidth);
  lf.lfEscapement = clamp16(s.lfEscapement);
  lf.lfOrientation = clamp16(s.lfOrientation);
  lf.lfWeight = clamp16(s.lfWeight);
  std::memcpy(&lf.lfItalic, &s.lfItalic, 8 + 32);
  return lf;
}

TGdiObject::~TGdiObject() {
  if (Handle && ShouldDelete) DeleteObject(Handle);
}

TFont::TFont(const char* face, int height, int width, int escapement, int orientation, int weight,
             BYTE pitchAndFamily, BYTE italic, BYTE underline, BYTE strikeout, BYTE charSet)
    : TGdiObject(CreateFont(height, width, escapement, orientation, weight, italic, underline, strikeout, charSet,
                            0, 0, 0, pitchAndFamily, face),
                 true) {}

TFont::TFont(const LOGFONT& lf) : TGdiObject(CreateFontIndirect(&lf), true) {}

bool TFont::GetObject(LOGFONT& lf) const { return ::GetObject(Handle, sizeof lf, &lf) == sizeof lf; }

LOGFONT TFont::GetLogFont() const {
  LOGFONT lf{};
  GetObject(lf);
  return lf;
}

TBrush::TBrush(COLORREF color) : TGdiObject(CreateSolidBrush(color), true) {}

TPen::TPen(COLORREF color, int width, int style) : TGdiObject(CreatePen(style, width, color), true) {}

TBitmap::TBitmap(int width, int height) : TGdiObject(CreateBitmap(width, height), true) {}

std::shared_ptr<plat::Image> TBitmap::Pixels() const {
  auto o = plat::find_gdi_object(Handle);
  return o ? o->image : nullptr;
}

int TBitmap::Width() const {
  auto p = Pixels();
  return p ? p->width : 0;
}

int TBitmap::Height() const {
  auto p = Pixels();
  return p ? p->height : 0;
}
