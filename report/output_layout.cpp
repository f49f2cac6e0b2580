// The device layout of a report (output_layout, output_run.h). Positions
// and sizes in thousandths of an inch become device units through the
// context set to the high-English mapping (one logical unit a thousandth
// of an inch) and then to the anisotropic one with the same extents; the
// context's own state comes back afterwards. Heights are kept as absolute
// values, since the high-English mapping counts upwards.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/ui/dc.h"
#include "platform/ui/print.h"
#include "report/output_run.h"

namespace {

class DeviceUnits {
 public:
  explicit DeviceUnits(TDC* dc) : dc_(dc) {
    if (!dc_) return;
    dc_->SaveDC();
    dc_->SetMapMode(MM_HIENGLISH);
    dc_->SetMapMode(MM_ANISOTROPIC);
  }
  ~DeviceUnits() {
    if (dc_) dc_->RestoreDC(-1);
  }
  DeviceUnits(const DeviceUnits&) = delete;
  DeviceUnits& operator=(const DeviceUnits&) = delete;

  // Without a context (a data file) the units stay thousandths of an inch.
  int32_t x(long v) const { return convert(v, 0).x; }
  int32_t y(long v) const { return convert(0, v).y; }

 private:
  TPoint convert(long x, long y) const {
    if (!dc_) return {int(x), int(y)};
    TPoint p[2] = {{0, 0}, {int(x), int(y)}};
    dc_->LPtoDP(p, 2);
    return {std::abs(p[1].x - p[0].x), std::abs(p[1].y - p[0].y)};
  }
  TDC* dc_;
};

void lay_out_areas(const DeviceUnits& units, const std::vector<DbReportArea*>& areas) {
  for (DbReportArea* a : areas) {
    a->device_height = units.y(a->height);
    for (DbReportObject* o = area_obj_first(a); o; o = area_obj_next(a, o))
      o->device = TRect(units.x(o->x), units.y(o->y), units.x(long(o->x) + o->width), units.y(long(o->y) + o->height));
  }
}

void lay_out_group(const DeviceUnits& units, DbReportGroup* g) {
  lay_out_areas(units, g->headers);
  lay_out_areas(units, g->footers);
}

// Printer fonts of the styles: the point size at the printer's resolution.
void printer_fonts(DbReport* r, const TDC& dc) {
  int dpi = dc.GetDeviceCaps(LOGPIXELSY);
  for (DbReportStyle* s : r->styles) {
    if (s->printer_font) DeleteObject(s->printer_font);
    LOGFONT lf = s->font;
    lf.lfHeight = -int32_t((long(s->point_size) * dpi + 36) / 72);
    s->printer_font = CreateFontIndirect(&lf);
  }
}

void device_of(const TDC& dc, int (&out)[5]) {
  const int caps[] = {LOGPIXELSX, LOGPIXELSY, HORZRES, VERTRES};
  for (int i = 0; i < 4; i++) out[i] = dc.GetDeviceCaps(caps[i]);
  out[4] = dynamic_cast<const TPrintDC*>(&dc) != nullptr;
}

}  // namespace

bool output_device_known(const ReportRun& run, const TDC& dc) {
  int device[5];
  device_of(dc, device);
  return run.laid_out && std::equal(device, device + 5, run.device);
}

void output_layout(ReportRun& run, TDC* dc) {
  DbReport* r = run.r;
  run.dc = dc;
  run.laid_out = dc != nullptr;
  if (dc) device_of(*dc, run.device);
  run.printing = dynamic_cast<TPrintDC*>(dc) != nullptr;
  {
    DeviceUnits units(dc);
    lay_out_group(units, r->page_group);
    for (DbReportGroup* g : r->groups) lay_out_group(units, g);
    // What the printer cannot reach is taken off the margins (nothing on
    // paper written to PDF, and nothing on the screen).
    int off_left = 0, off_top = 0, off_right = 0, off_bottom = 0;
    if (run.printing) {
      off_left = dc->GetDeviceCaps(PHYSICALOFFSETX);
      off_top = dc->GetDeviceCaps(PHYSICALOFFSETY);
      off_right = dc->GetDeviceCaps(PHYSICALWIDTH) - dc->GetDeviceCaps(HORZRES) - off_left;
      off_bottom = dc->GetDeviceCaps(PHYSICALHEIGHT) - dc->GetDeviceCaps(VERTRES) - off_top;
    }
    long whole = long(r->width) + r->margin_left + r->margin_right;
    r->page_width_device = units.x(whole) - off_left - off_right;
    r->page_height_device = dc ? dc->GetDeviceCaps(VERTRES) : units.y(long(r->height) + r->margin_top + r->margin_bottom);
    r->offset_left = units.x(r->margin_left) - off_left;
    r->offset_right = units.x(r->margin_right) - off_right;
    r->offset_top = units.y(r->margin_top) - off_top;
    r->offset_bottom = units.y(r->margin_bottom) - off_bottom;
  }
  if (run.printing) printer_fonts(r, *dc);
}
