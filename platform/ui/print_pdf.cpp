// Recorded pages to a PDF file through cairo. The file is written beside
// its final name and renamed when complete, so a failed print never leaves
// a half-written file under the real name.
#include <cairo-pdf.h>
#include <cairo.h>

#include <cstdio>

#include "platform/ui/dc_render.h"
#include "platform/ui/print.h"

namespace plat {

bool write_pdf(const std::string& path, const std::vector<DrawRecord>& pages, const TPrintSetup& setup,
               std::string& error) {
  double wmm = setup.Landscape ? setup.PaperHeightMm : setup.PaperWidthMm;
  double hmm = setup.Landscape ? setup.PaperWidthMm : setup.PaperHeightMm;
  std::string part = path + ".part";
  cairo_surface_t* surf = cairo_pdf_surface_create(part.c_str(), wmm / 25.4 * 72, hmm / 25.4 * 72);
  if (cairo_surface_status(surf) != CAIRO_STATUS_SUCCESS) {
    error = std::string("cannot write ") + path + ": " + cairo_status_to_string(cairo_surface_status(surf));
    cairo_surface_destroy(surf);
    std::remove(part.c_str());
    return false;
  }
  cairo_t* cr = cairo_create(surf);
  double scale = 72.0 / setup.Dpi;
  for (const DrawRecord& page : pages) {
    render_record(cr, page, scale);
    cairo_show_page(cr);
  }
  cairo_status_t st = cairo_status(cr);
  cairo_destroy(cr);
  cairo_surface_finish(surf);
  if (st == CAIRO_STATUS_SUCCESS) st = cairo_surface_status(surf);
  cairo_surface_destroy(surf);
  if (st != CAIRO_STATUS_SUCCESS) {
    error = std::string("cannot write ") + path + ": " + cairo_status_to_string(st);
    std::remove(part.c_str());
    return false;
  }
  if (std::rename(part.c_str(), path.c_str()) != 0) {
    error = "cannot write " + path;
    std::remove(part.c_str());
    return false;
  }
  return true;
}

}  // namespace plat
