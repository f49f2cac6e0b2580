// Font files from the system's font directories, measured with FreeType.
#include "platform/ui/font_face.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H
#include FT_ADVANCES_H

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace plat {
namespace {

std::mutex g_mu;
FT_Library g_ft = nullptr;
std::map<std::string, std::unique_ptr<FontFile>> g_files;  // by path

std::string upper(const char* s, size_t max) {
  std::string r;
  for (size_t i = 0; i < max && s[i]; ++i) r += static_cast<char>(std::toupper(static_cast<unsigned char>(s[i])));
  while (!r.empty() && r.back() == ' ') r.pop_back();
  return r;
}

enum class Family { Sans, Serif, Mono, System };

// The Windows font mapper weighs a pitch mismatch above a face-name
// mismatch, so a fixed pitch asked of a proportional face yields a fixed
// font; the same happens here.
Family family_for(const LOGFONT& lf) {
  std::string face = upper(lf.lfFaceName, sizeof lf.lfFaceName);
  Family f;
  if (face == "TIMES ROMAN" || face == "TIMES NEW ROMAN" || face == "TIMES" || face == "TMS RMN" || face == "ROMAN")
    f = Family::Serif;
  else if (face == "COURIER" || face == "COURIER NEW" || face == "LUCIDA CONSOLE")
    f = Family::Mono;
  else if (face == "FIXEDSYS" || face == "TERMINAL")
    f = Family::System;
  else if (face.empty()) {
    int fam = lf.lfPitchAndFamily & 0xF0;
    f = fam == FF_ROMAN ? Family::Serif : fam == FF_MODERN ? Family::Mono : Family::Sans;
  } else {
    f = Family::Sans;  // ARIAL, MS SANS SERIF, HELV, SYSTEM and unknown faces
  }
  if ((lf.lfPitchAndFamily & 0x3) == FIXED_PITCH && (f == Family::Sans || f == Family::Serif)) f = Family::Mono;
  return f;
}

const char* family_name(Family f) {
  switch (f) {
    case Family::Serif: return "Liberation Serif";
    case Family::Mono: return "Liberation Mono";
    case Family::System: return "DejaVu Sans Mono";
    default: return "Liberation Sans";
  }
}

FontFile* load_locked(const std::string& path, int index) {
  auto it = g_files.find(path);
  if (it != g_files.end()) return it->second.get();
  if (!g_ft && FT_Init_FreeType(&g_ft) != 0) return nullptr;
  FT_Face face;
  if (FT_New_Face(g_ft, path.c_str(), index, &face) != 0) return nullptr;
  auto f = std::make_unique<FontFile>();
  f->path = path;
  f->family = face->family_name ? face->family_name : "";
  f->fixedPitch = FT_IS_FIXED_WIDTH(face);
  f->unitsPerEm = face->units_per_EM ? face->units_per_EM : 2048;
  auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  auto* hhea = static_cast<TT_HoriHeader*>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA));
  if (os2 && os2->version != 0xFFFF) {
    f->winAscent = os2->usWinAscent;
    f->winDescent = os2->usWinDescent;
    f->avgCharWidth = os2->xAvgCharWidth;
  } else {
    f->winAscent = face->ascender;
    f->winDescent = -face->descender;
  }
  if (hhea) {
    // Windows reports the part of the typographic line gap that lies
    // beyond the cell as external leading.
    int hheaLine = hhea->Ascender - hhea->Descender + hhea->Line_Gap;
    f->externalGap = std::max(0, hheaLine - (f->winAscent + f->winDescent));
    f->maxAdvance = hhea->advance_Width_Max;
  }
  if (f->avgCharWidth <= 0) f->avgCharWidth = f->unitsPerEm / 2;
  for (int c = 0; c < 256; ++c) {
    FT_UInt g = FT_Get_Char_Index(face, cp1252_to_unicode(static_cast<unsigned char>(c)));
    FT_Fixed adv = 0;
    if (FT_Get_Advance(face, g, FT_LOAD_NO_SCALE, &adv) == 0) f->advances[c] = static_cast<int>(adv);
    f->glyphs[c] = g;
  }
  f->ftFace = face;
  FontFile* raw = f.get();
  g_files[path] = std::move(f);
  return raw;
}

}  // namespace

unsigned cp1252_to_unicode(unsigned char c) {
  static const unsigned high[32] = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
                                    0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
  return (c >= 0x80 && c < 0xA0) ? high[c - 0x80] : c;
}

const FontFile* resolve_font_file(const LOGFONT& lf) {
  Family fam = family_for(lf);
  bool bold = lf.lfWeight >= 600;
  bool italic = lf.lfItalic != 0;
  std::lock_guard lock(g_mu);
  static std::map<int, FontFile*> cache;
  int key = static_cast<int>(fam) * 4 + (bold ? 2 : 0) + (italic ? 1 : 0);
  if (auto it = cache.find(key); it != cache.end()) return it->second;
  static const char* const styles[4] = {"Regular", "Italic", "Bold", "BoldItalic"};
  static const char* const dejavu[4] = {"", "-Oblique", "-Bold", "-BoldOblique"};
  int style = (bold ? 2 : 0) + (italic ? 1 : 0);
  std::string name = fam == Family::System ? std::string("DejaVuSansMono") + dejavu[style] + ".ttf"
                                           : std::string(family_name(fam)) + "-" + styles[style] + ".ttf";
  name.erase(std::remove(name.begin(), name.end(), ' '), name.end());
  std::vector<std::string> dirs;
  if (const char* env = std::getenv("KV_FONT_DIR")) dirs.push_back(env);
  for (const char* d : {"/usr/share/fonts/truetype/liberation", "/usr/share/fonts/truetype/liberation2",
                        "/usr/share/fonts/truetype/dejavu", "/usr/local/share/fonts"})
    dirs.push_back(d);
  FontFile* file = nullptr;
  for (const std::string& d : dirs) {
    std::string path = d + "/" + name;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
      std::fclose(f);
      file = load_locked(path, 0);
      if (file) break;
    }
  }
  if (file) cache[key] = file;
  return file;
}

FontInstance make_font_instance(const LOGFONT& lf, int deviceHeight, int deviceWidth) {
  FontInstance fi;
  fi.logfont = lf;
  fi.file = resolve_font_file(lf);
  fi.bold = lf.lfWeight >= 600;
  fi.italic = lf.lfItalic != 0;
  if (!fi.file) return fi;
  const FontFile& f = *fi.file;
  // A damaged record (a font file of an old station) cannot ask for more
  // than Windows draws.
  const int kMaxHeight = 16384;
  deviceHeight = std::clamp(deviceHeight, -kMaxHeight, kMaxHeight);
  deviceWidth = std::clamp(deviceWidth, -kMaxHeight, kMaxHeight);
  int cell = f.winAscent + f.winDescent;
  // Height 0 asks for the default size: a 16-unit cell.
  if (deviceHeight == 0) deviceHeight = 16;
  fi.scaleY = deviceHeight > 0 ? double(deviceHeight) / cell : double(-deviceHeight) / f.unitsPerEm;
  fi.scaleX = fi.scaleY;
  if (deviceWidth > 0 && f.avgCharWidth > 0) fi.scaleX = double(std::abs(deviceWidth)) / f.avgCharWidth;
  TEXTMETRIC& tm = fi.tm;
  tm.tmAscent = static_cast<int32_t>(std::lround(f.winAscent * fi.scaleY));
  // A cell height asked for is the height given, to the pixel.
  tm.tmHeight = deviceHeight > 0 ? deviceHeight : tm.tmAscent + static_cast<int32_t>(std::lround(f.winDescent * fi.scaleY));
  tm.tmDescent = tm.tmHeight - tm.tmAscent;
  tm.tmInternalLeading = std::max<int32_t>(0, tm.tmHeight - static_cast<int32_t>(std::lround(f.unitsPerEm * fi.scaleY)));
  tm.tmExternalLeading = static_cast<int32_t>(std::lround(f.externalGap * fi.scaleY));
  tm.tmAveCharWidth = static_cast<int32_t>(std::lround(f.avgCharWidth * fi.scaleX));
  tm.tmMaxCharWidth = static_cast<int32_t>(std::lround(f.maxAdvance * fi.scaleX));
  tm.tmWeight = lf.lfWeight ? lf.lfWeight : FW_NORMAL;
  tm.tmDigitizedAspectX = tm.tmDigitizedAspectY = 96;
  tm.tmFirstChar = 0x20;
  tm.tmLastChar = 0xFF;
  tm.tmDefaultChar = 0x1F;
  tm.tmBreakChar = 0x20;
  tm.tmItalic = lf.lfItalic;
  tm.tmUnderlined = lf.lfUnderline;
  tm.tmStruckOut = lf.lfStrikeOut;
  tm.tmPitchAndFamily = static_cast<BYTE>((f.fixedPitch ? 0 : TMPF_FIXED_PITCH) | TMPF_TRUETYPE |
                                          (f.fixedPitch ? FF_MODERN : (f.family.find("Serif") != std::string::npos ? FF_ROMAN : FF_SWISS)));
  tm.tmCharSet = lf.lfCharSet == DEFAULT_CHARSET ? ANSI_CHARSET : lf.lfCharSet;
  return fi;
}

int FontInstance::char_width(unsigned char c) const {
  if (!file) return 0;
  return static_cast<int>(std::lround(file->advance(c) * scaleX));
}

int FontInstance::width(const char* text, int len) const {
  int w = 0;
  for (int i = 0; i < len; ++i) w += char_width(static_cast<unsigned char>(text[i]));
  return w;
}

}  // namespace plat
