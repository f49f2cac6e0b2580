// Drawing the objects of an area on a page (draw_slice, output_run.h).
// Each object is drawn in its device rectangle moved to the page's left
// margin and to where its area stands on the page, with the background
// left as it is:
// - texts with the style's font (the printer font when printing, else the
//   screen font) and colour, broken at words, no prefix characters,
//   aligned by the justification;
// - lines through the middle of their rectangle, frames inset by half the
//   line width (rounded corners of 20 x 20 device units when asked for),
//   filled with the style's colour or left white; a pen of the line width
//   in the style's colour, or the black stock pen without a style;
// - bitmaps stretched into the rectangle (a field's bitmap is read from
//   the file the field names).
// While a data file is generated nothing is drawn: objects with an output
// field store their value instead.
#include <cmath>

#include "platform/ui/dc.h"
#include "report/bitmap_file.h"
#include "report/object_text.h"
#include "report/output_run.h"

namespace {

constexpr int kCornerEllipse = 20;

UINT alignment(int justify) {
  return justify == DB_JUSTIFY_RIGHT ? DT_RIGHT : justify == DB_JUSTIFY_CENTRE ? DT_CENTER : DT_LEFT;
}

void draw_text(const ReportRun& run, const DbReportObject* o, const std::string& text, TRect box) {
  if (text.empty()) return;
  TDC& dc = *run.dc;
  const DbReportStyle* s = o->style;
  HFONT font = s ? (run.printing ? s->printer_font : s->screen_font) : nullptr;
  HGDIOBJ old = font ? dc.SelectObject(font) : nullptr;
  dc.SetTextColor(s ? s->color : 0);
  dc.SetBkMode(TRANSPARENT);
  dc.DrawText(text.c_str(), int(text.size()), box, DT_WORDBREAK | DT_NOPREFIX | alignment(o->justify));
  if (old) dc.SelectObject(old);
}

// The line width (thousandths of an inch) in device units, at least one.
int pen_width(const ReportRun& run, const DbReportObject* o) {
  double dots = o->decimals * double(run.dc->GetDeviceCaps(LOGPIXELSX)) / 1000.0;
  return std::max(1, int(std::lround(dots)));
}

void draw_shape(const ReportRun& run, const DbReportObject* o, const TRect& box) {
  TDC& dc = *run.dc;
  const DbReportStyle* s = o->style;
  int width = pen_width(run, o);
  HPEN pen = s ? CreatePen(PS_SOLID, width, s->color) : nullptr;
  HBRUSH brush = s ? CreateSolidBrush(s->color) : nullptr;
  HGDIOBJ old_pen = dc.SelectObject(pen ? pen : GetStockObject(BLACK_PEN));
  HGDIOBJ old_brush = dc.SelectObject(brush ? brush : GetStockObject(BLACK_BRUSH));
  if (o->type == DB_OBJ_HLINE) {
    int mid = (box.top + box.bottom) / 2;
    dc.MoveTo(box.left, mid);
    dc.LineTo(box.right, mid);
  } else if (o->type == DB_OBJ_VLINE) {
    int mid = (box.left + box.right) / 2;
    dc.MoveTo(mid, box.top);
    dc.LineTo(mid, box.bottom);
  } else {
    if (!o->display_zero) dc.SelectObject(GetStockObject(WHITE_BRUSH));  // not filled
    if (o->justify) {
      dc.RoundRect(box.left, box.top, box.right, box.bottom, kCornerEllipse, kCornerEllipse);
    } else {
      int half = width / 2;
      dc.Rectangle(box.left + half + 1, box.top + half + 1, box.right - half, box.bottom - half);
    }
  }
  dc.SelectObject(old_pen);
  dc.SelectObject(old_brush);
  if (pen) DeleteObject(pen);
  if (brush) DeleteObject(brush);
}

void draw_bitmap(const ReportRun& run, const DbReportObject* o, const TRect& box) {
  HGLOBAL h = o->bitmap;
  if (o->type == DB_OBJ_BITMAP_FIELD) {
    if (!o->field) return;
    std::string name(field_ptr(o->field), field_len(o->field));
    name.erase(name.find_last_not_of(' ') + 1);
    h = bitmap_load(name.c_str(), run.r->context);
  }
  plat::Image img;
  if (h && bitmap_pixels(h, img)) run.dc->StretchDIBits(box, TRect(0, 0, img.width, img.height), img);
  if (h && h != o->bitmap) GlobalFree(h);
}

bool shows_text(int type) {
  return type == DB_OBJ_FIELD || type == DB_OBJ_EXPR || type == DB_OBJ_TOTAL || type == DB_OBJ_CALC ||
         type == DB_OBJ_TEXT;
}

// False when the object's display-once value is the one it last printed
// (it is then left out); -1 after an error.
int display_once_due(DbReportObject* o) {
  if (!o->display_once) return 1;
  char* result = nullptr;
  int len = expr_eval(o->display_once, &result);
  if (len < 0 || !result) return -1;
  std::string v(result, size_t(len));
  if (o->once_seen && v == o->once_value) return 0;
  o->once_value.swap(v);
  o->once_seen = true;
  return 1;
}

bool draw_object(ReportRun& run, DbReportObject* o, const TRect& box) {
  if (shows_text(o->type)) {
    ShownValue v;
    if (o->ahead) {
      v.text = o->last_text;
    } else {
      if (!object_shown(run.r, o, v)) return false;
      o->last_text = v.text;
      o->last_value = v.number;
    }
    draw_text(run, o, v.text, box);
  } else if (o->type == DB_OBJ_HLINE || o->type == DB_OBJ_VLINE || o->type == DB_OBJ_FRAME) {
    draw_shape(run, o, box);
  } else {
    draw_bitmap(run, o, box);
  }
  return true;
}

}  // namespace

bool draw_slice(ReportRun& run, DbReportArea* a, int32_t from, int32_t to, int32_t top) {
  DbReport* r = run.r;
  for (DbReportObject* o = area_obj_first(a); o; o = area_obj_next(a, o)) {
    const TRect& d = o->device;
    bool within = d.top < to && (d.bottom > from || (d.top == d.bottom && d.top >= from));
    if (!within) continue;
    if (run.generating) {
      if (!output_store(run, o)) return false;
      continue;
    }
    int due = display_once_due(o);
    if (due < 0) return false;
    if (!due) continue;
    int dy = top - from;
    TRect box(d.left + r->offset_left, d.top + dy, d.right + r->offset_left, d.bottom + dy);
    bool cut = d.top < from || d.bottom > to;
    if (cut) {
      run.dc->SaveDC();
      run.dc->IntersectClipRect(0, top, run.dc->GetDeviceCaps(HORZRES), top + (to - from));
    }
    bool drawn = draw_object(run, o, box);
    if (cut) run.dc->RestoreDC(-1);
    if (!drawn) return false;
  }
  return true;
}
