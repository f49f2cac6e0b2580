// Real font files behind the faces programs ask for. The old Windows faces
// map to metric-compatible free fonts (ARIAL and MS Sans Serif to Liberation
// Sans, TIMES ROMAN to Liberation Serif, COURIER to Liberation Mono, FIXEDSYS
// to DejaVu Sans Mono; KV_FONT_DIR names another directory), so widths and heights measured headless are the ones
// the screen and the PDF get. Metrics follow the Windows rules: a positive
// height is the cell (ascent + descent), a negative one the em size.
#pragma once

#include <string>

#include "platform/ui/gdi_types.h"

namespace plat {

// One font file, its design metrics in font units.
struct FontFile {
  std::string path;
  std::string family;
  bool fixedPitch = false;
  int unitsPerEm = 2048;
  int winAscent = 0;
  int winDescent = 0;
  int externalGap = 0;  // line gap beyond the cell, as Windows reports it
  int avgCharWidth = 0;
  int maxAdvance = 0;
  void* ftFace = nullptr;  // FT_Face, shared by the renderer
  // Advance of a Windows-1252 byte, in font units; glyph index for drawing.
  int advance(unsigned char c) const { return advances[c]; }
  unsigned glyph(unsigned char c) const { return glyphs[c]; }
  // Read once when the file is opened, so measuring takes no lock.
  int advances[256] = {};
  unsigned glyphs[256] = {};
};

// A font at one device size: what a selected font gives a device context.
struct FontInstance {
  const FontFile* file = nullptr;
  LOGFONT logfont{};  // as the program asked
  double scaleY = 1;  // device units per font unit
  double scaleX = 1;
  bool bold = false;
  bool italic = false;
  TEXTMETRIC tm{};
  // Width of the text in device units, each glyph rounded as GDI does.
  int width(const char* text, int len) const;
  int char_width(unsigned char c) const;
  double em_pixels() const { return file ? file->unitsPerEm * scaleY : 0; }
};

// The file for the face, weight and pitch the record asks for; never null
// while the fonts are installed (a missing face falls back by family).
const FontFile* resolve_font_file(const LOGFONT& lf);
// The font at a device height (the record's height already mapped to
// device units, keeping its sign) and width.
FontInstance make_font_instance(const LOGFONT& lf, int deviceHeight, int deviceWidth);
// Unicode code point of a Windows-1252 byte.
unsigned cp1252_to_unicode(unsigned char c);

}  // namespace plat
