// Cairo replay of a drawing record. Text goes out glyph by glyph at the
// positions the record measured, with its characters attached, so a PDF
// reader extracts the very text that was drawn.
#include "platform/ui/dc_render.h"

#include <cairo-ft.h>
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>

namespace plat {
namespace {

void set_color(cairo_t* cr, COLORREF c) {
  cairo_set_source_rgb(cr, GetRValue(c) / 255.0, GetGValue(c) / 255.0, GetBValue(c) / 255.0);
}

cairo_font_face_t* face_for(const FontFile* f) {
  static std::mutex mu;
  static std::map<const FontFile*, cairo_font_face_t*> faces;  // live as long as the files
  std::lock_guard lock(mu);
  auto it = faces.find(f);
  if (it != faces.end()) return it->second;
  cairo_font_face_t* face =
      cairo_ft_font_face_create_for_ft_face(static_cast<FT_Face>(f->ftFace), 0);
  faces[f] = face;
  return face;
}

void append_utf8(std::string& out, unsigned cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// inset: device units the outline lies inside the shape's rectangle, so
// that a pen stays within it as on Windows.
void path_shape(cairo_t* cr, const DrawOp& op, double s, double inset = 0) {
  double x = (op.rect.left + inset) * s, y = (op.rect.top + inset) * s;
  double w = std::max(0.0, (op.rect.Width() - 2 * inset) * s), h = std::max(0.0, (op.rect.Height() - 2 * inset) * s);
  if (op.kind == DrawOp::Ellipse || (op.kind == DrawOp::RoundRect && (op.corner.cx <= 0 || op.corner.cy <= 0))) {
    if (op.kind == DrawOp::RoundRect) {
      cairo_rectangle(cr, x, y, w, h);
      return;
    }
    if (w <= 0 || h <= 0) return;
    cairo_save(cr);
    cairo_translate(cr, x + w / 2, y + h / 2);
    cairo_scale(cr, w / 2, h / 2);
    cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
    cairo_restore(cr);
    return;
  }
  if (op.kind == DrawOp::RoundRect) {
    double rx = std::min(op.corner.cx * s / 2, w / 2), ry = std::min(op.corner.cy * s / 2, h / 2);
    auto corner = [&](double cx, double cy, double a0) {
      cairo_save(cr);
      cairo_translate(cr, cx, cy);
      cairo_scale(cr, rx, ry);
      cairo_arc(cr, 0, 0, 1, a0, a0 + M_PI / 2);
      cairo_restore(cr);
    };
    cairo_new_sub_path(cr);
    corner(x + w - rx, y + ry, -M_PI / 2);
    corner(x + w - rx, y + h - ry, 0);
    corner(x + rx, y + h - ry, M_PI / 2);
    corner(x + rx, y + ry, M_PI);
    cairo_close_path(cr);
    return;
  }
  cairo_rectangle(cr, x, y, w, h);
}

void draw_text(cairo_t* cr, const DrawOp& op, double s) {
  if (op.opaque) {
    set_color(cr, op.bkColor);
    cairo_rectangle(cr, op.rect.left * s, op.rect.top * s, op.rect.Width() * s, op.rect.Height() * s);
    cairo_fill(cr);
  }
  const FontInstance& f = op.font;
  if (!f.file || op.text.empty()) return;
  cairo_set_font_face(cr, face_for(f.file));
  double em = f.file->unitsPerEm * s;
  cairo_matrix_t m;
  cairo_matrix_init_scale(&m, em * f.scaleX, em * f.scaleY);
  cairo_set_font_matrix(cr, &m);
  std::vector<cairo_glyph_t> glyphs;
  std::vector<cairo_text_cluster_t> clusters;
  std::string utf8;
  for (size_t i = 0; i < op.text.size(); ++i) {
    auto c = static_cast<unsigned char>(op.text[i]);
    size_t before = utf8.size();
    append_utf8(utf8, cp1252_to_unicode(c));
    glyphs.push_back({f.file->glyph(c), op.xs[i] * s, op.baseline * s});
    clusters.push_back({static_cast<int>(utf8.size() - before), 1});
  }
  set_color(cr, op.textColor);
  cairo_show_text_glyphs(cr, utf8.data(), static_cast<int>(utf8.size()), glyphs.data(), static_cast<int>(glyphs.size()),
                         clusters.data(), static_cast<int>(clusters.size()), cairo_text_cluster_flags_t(0));
  if (f.logfont.lfUnderline || f.logfont.lfStrikeOut) {
    cairo_set_line_width(cr, std::max(1.0, f.tm.tmHeight / 16.0) * s);
    double y = f.logfont.lfUnderline ? op.baseline + f.tm.tmDescent / 2.0 : op.baseline - f.tm.tmAscent / 3.0;
    cairo_move_to(cr, op.rect.left * s, y * s);
    cairo_line_to(cr, op.rect.right * s, y * s);
    cairo_stroke(cr);
  }
}

void draw_blit(cairo_t* cr, const DrawOp& op, double s) {
  const Image& img = *op.image;
  if (img.width <= 0 || img.height <= 0 || op.rect.Width() <= 0 || op.rect.Height() <= 0) return;
  int stride = cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, img.width);
  std::vector<unsigned char> data(size_t(stride) * img.height);
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x)
      *reinterpret_cast<uint32_t*>(&data[size_t(y) * stride + 4 * x]) = img.px[size_t(y) * img.width + x];
  cairo_surface_t* src =
      cairo_image_surface_create_for_data(data.data(), CAIRO_FORMAT_RGB24, img.width, img.height, stride);
  cairo_save(cr);
  cairo_rectangle(cr, op.rect.left * s, op.rect.top * s, op.rect.Width() * s, op.rect.Height() * s);
  cairo_clip(cr);
  cairo_translate(cr, op.rect.left * s, op.rect.top * s);
  cairo_scale(cr, op.rect.Width() * s / img.width, op.rect.Height() * s / img.height);
  cairo_set_source_surface(cr, src, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
  cairo_paint(cr);
  cairo_restore(cr);
  cairo_surface_destroy(src);
}

}  // namespace

void render_record(cairo_t* cr, const DrawRecord& ops, double s) {
  for (const DrawOp& op : ops) {
    cairo_save(cr);
    if (op.clip) {
      cairo_rectangle(cr, op.clip->left * s, op.clip->top * s, op.clip->Width() * s, op.clip->Height() * s);
      cairo_clip(cr);
    }
    switch (op.kind) {
      case DrawOp::Text: draw_text(cr, op, s); break;
      case DrawOp::Line:
        if (!op.penNull) {
          set_color(cr, op.penColor);
          cairo_set_line_width(cr, op.penWidth * s);
          // Through the pixels' centres, so a thin line covers whole pixels.
          cairo_move_to(cr, (op.from.x + 0.5) * s, (op.from.y + 0.5) * s);
          cairo_line_to(cr, (op.to.x + 0.5) * s, (op.to.y + 0.5) * s);
          cairo_stroke(cr);
        }
        break;
      case DrawOp::FillRect:
      case DrawOp::Rectangle:
      case DrawOp::RoundRect:
      case DrawOp::Ellipse:
        if (!op.brushNull) {
          set_color(cr, op.brushColor);
          path_shape(cr, op, s);
          cairo_fill(cr);
        }
        if (!op.penNull) {
          set_color(cr, op.penColor);
          cairo_set_line_width(cr, op.penWidth * s);
          path_shape(cr, op, s, op.penWidth / 2.0);
          cairo_stroke(cr);
        }
        break;
      case DrawOp::Blit:
        if (op.image) draw_blit(cr, op, s);
        break;
    }
    cairo_restore(cr);
  }
}

bool render_into(Image& image, const DrawRecord& ops) {
  if (image.width <= 0 || image.height <= 0) return false;
  int stride = cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, image.width);
  std::vector<unsigned char> data(size_t(stride) * image.height);
  for (int y = 0; y < image.height; ++y)
    for (int x = 0; x < image.width; ++x)
      *reinterpret_cast<uint32_t*>(&data[size_t(y) * stride + 4 * x]) = image.px[size_t(y) * image.width + x];
  cairo_surface_t* surf =
      cairo_image_surface_create_for_data(data.data(), CAIRO_FORMAT_RGB24, image.width, image.height, stride);
  cairo_t* cr = cairo_create(surf);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  render_record(cr, ops, 1.0);
  cairo_destroy(cr);
  cairo_surface_flush(surf);
  bool ok = cairo_surface_status(surf) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(surf);
  for (int y = 0; y < image.height; ++y)
    for (int x = 0; x < image.width; ++x)
      image.px[size_t(y) * image.width + x] = *reinterpret_cast<uint32_t*>(&data[size_t(y) * stride + 4 * x]) & 0xFFFFFF;
  return ok;
}

}  // namespace plat

void TMemoryDC::Flush() {
  auto o = plat::find_gdi_object(St.bitmap);
  if (!o || !o->image || Ops.empty()) return;
  plat::render_into(*o->image, Ops);
  Ops.clear();
}
