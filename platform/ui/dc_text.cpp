// TDC: text output and measuring with the selected font.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/ui/dc.h"

namespace {

int text_len(const char* text, int len) {
  if (!text) return 0;
  return len < 0 ? static_cast<int>(std::strlen(text)) : len;
}

// "&x" marks a mnemonic and is drawn as "x"; "&&" is a single "&".
std::string strip_prefix(const std::string& s) {
  std::string r;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '&') {
      if (i + 1 < s.size()) r += s[++i];
      continue;
    }
    r += s[i];
  }
  return r;
}

}  // namespace

const plat::FontInstance& TDC::CurrentFont() const {
  if (!FontCache) {
    auto o = plat::find_gdi_object(St.font);
    LOGFONT lf = o ? o->logfont : LOGFONT{};
    auto clamp = [](double v) { return static_cast<int>(std::lround(std::clamp(v, -1e6, 1e6))); };
    int h = clamp(lf.lfHeight * std::fabs(ScaleY()));
    int w = clamp(lf.lfWidth * std::fabs(ScaleX()));
    if (lf.lfHeight != 0 && h == 0) h = lf.lfHeight > 0 ? 1 : -1;
    FontCache = plat::make_font_instance(lf, h, w);
  }
  return *FontCache;
}

bool TDC::GetTextMetrics(TEXTMETRIC& tm) const {
  const plat::FontInstance& f = CurrentFont();
  if (!f.file) return false;
  tm = f.tm;
  double sx = std::fabs(ScaleX()), sy = std::fabs(ScaleY());
  auto ly = [&](int32_t v) { return static_cast<int32_t>(std::lround(v / sy)); };
  auto lx = [&](int32_t v) { return static_cast<int32_t>(std::lround(v / sx)); };
  tm.tmAscent = ly(tm.tmAscent);
  tm.tmDescent = ly(tm.tmDescent);
  tm.tmHeight = ly(tm.tmHeight);
  tm.tmInternalLeading = ly(tm.tmInternalLeading);
  tm.tmExternalLeading = ly(tm.tmExternalLeading);
  tm.tmAveCharWidth = lx(tm.tmAveCharWidth);
  tm.tmMaxCharWidth = lx(tm.tmMaxCharWidth);
  return true;
}

TSize TDC::GetTextExtent(const char* text, int len) const {
  len = text_len(text, len);
  const plat::FontInstance& f = CurrentFont();
  int w = f.width(text, len);
  return {static_cast<int>(std::lround(w / std::fabs(ScaleX()))),
          static_cast<int>(std::lround(f.tm.tmHeight / std::fabs(ScaleY())))};
}

void TDC::AddText(int devX, int devTop, const std::string& text, const std::optional<TRect>& clip) {
  const plat::FontInstance& f = CurrentFont();
  plat::DrawOp op;
  op.kind = plat::DrawOp::Text;
  op.text = text;
  op.font = f;
  op.textColor = St.textColor;
  op.bkColor = St.bkColor;
  op.opaque = St.bkMode == OPAQUE;
  op.clip = clip;
  op.baseline = devTop + f.tm.tmAscent;
  int x = devX;
  for (unsigned char c : text) {
    op.xs.push_back(x);
    x += f.char_width(c);
  }
  op.rect = TRect(devX, devTop, x, devTop + f.tm.tmHeight);
  Add(std::move(op));
}

bool TDC::TextOut(int x, int y, const char* text, int len) {
  len = text_len(text, len);
  const plat::FontInstance& f = CurrentFont();
  TPoint p = ToDev(x, y);
  int w = f.width(text, len);
  UINT h = St.textAlign & TA_CENTER;
  if (h == TA_CENTER) p.x -= w / 2;
  else if (h == TA_RIGHT) p.x -= w;
  UINT v = St.textAlign & TA_BASELINE;
  if (v == TA_BASELINE) p.y -= f.tm.tmAscent;
  else if (v == TA_BOTTOM) p.y -= f.tm.tmHeight;
  AddText(p.x, p.y, std::string(text ? text : "", len), St.clip);
  return true;
}

// Splits text at its tabs; each part gets its device x. Returns the end x.
int TDC::ExpandTabs(const std::string& text, int numTabs, const int* tabs, int tabOrigin, int startX,
                    std::vector<std::pair<int, std::string>>* parts) const {
  const plat::FontInstance& f = CurrentFont();
  double sx = std::fabs(ScaleX());
  int defaultStop = std::max(1, 8 * f.tm.tmAveCharWidth);
  int origin = static_cast<int>(std::lround(tabOrigin * sx));
  int x = startX;
  std::string cur;
  int curX = x;
  for (char c : text) {
    if (c != '\t') {
      cur += c;
      x += f.char_width(static_cast<unsigned char>(c));
      continue;
    }
    if (parts && !cur.empty()) parts->emplace_back(curX, cur);
    cur.clear();
    int rel = x - startX - origin;
    int next = -1;
    if (numTabs == 1 && tabs) {
      int stop = std::max(1, static_cast<int>(std::lround(tabs[0] * sx)));
      next = (rel / stop + 1) * stop;
    } else if (numTabs > 1 && tabs) {
      for (int i = 0; i < numTabs; ++i) {
        int stop = static_cast<int>(std::lround(tabs[i] * sx));
        if (stop > rel) {
          next = stop;
          break;
        }
      }
      if (next < 0) next = rel + f.char_width(' ');
    } else {
      next = (rel / defaultStop + 1) * defaultStop;
    }
    x = startX + origin + next;
    curX = x;
  }
  if (parts && !cur.empty()) parts->emplace_back(curX, cur);
  return x;
}

TSize TDC::TabbedTextOut(int x, int y, const char* text, int len, int numTabs, const int* tabs, int tabOrigin) {
  len = text_len(text, len);
  std::string s(text ? text : "", len);
  TPoint p = ToDev(x, y);
  std::vector<std::pair<int, std::string>> parts;
  int end = ExpandTabs(s, numTabs, tabs, tabOrigin, p.x, &parts);
  for (auto& [px, part] : parts) AddText(px, p.y, part, St.clip);
  return {static_cast<int>(std::lround((end - p.x) / std::fabs(ScaleX()))),
          static_cast<int>(std::lround(CurrentFont().tm.tmHeight / std::fabs(ScaleY())))};
}

TSize TDC::GetTabbedTextExtent(const char* text, int len, int numTabs, const int* tabs) const {
  len = text_len(text, len);
  int end = ExpandTabs(std::string(text ? text : "", len), numTabs, tabs, 0, 0, nullptr);
  return {static_cast<int>(std::lround(end / std::fabs(ScaleX()))),
          static_cast<int>(std::lround(CurrentFont().tm.tmHeight / std::fabs(ScaleY())))};
}

int TDC::DrawText(const char* text, int len, TRect& rect, UINT format) {
  len = text_len(text, len);
  std::string s(text ? text : "", len);
  if (!(format & DT_NOPREFIX)) s = strip_prefix(s);
  const plat::FontInstance& f = CurrentFont();
  TRect box = ToDev(rect);
  int boxW = box.Width();
  auto width = [&](const std::string& t) {
    if (format & DT_EXPANDTABS) return ExpandTabs(t, 0, nullptr, 0, 0, nullptr);
    return f.width(t.data(), static_cast<int>(t.size()));
  };

  // Lines: one for a single line, else split at line ends and, with word
  // breaks, wherever the next word would pass the right edge.
  std::vector<std::string> lines;
  if (format & DT_SINGLELINE) {
    std::string one;
    for (char c : s)
      if (c != '\r' && c != '\n') one += c;
    lines.push_back(one);
  } else {
    size_t start = 0;
    while (true) {
      size_t nl = s.find('\n', start);
      std::string para = s.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
      if (!para.empty() && para.back() == '\r') para.pop_back();
      if (!(format & DT_WORDBREAK)) {
        lines.push_back(para);
      } else {
        std::string line;
        size_t i = 0;
        do {
          size_t sp = para.find(' ', i);
          std::string word = para.substr(i, sp == std::string::npos ? std::string::npos : sp - i);
          std::string tryLine = line.empty() ? word : line + " " + word;
          if (!line.empty() && width(tryLine) > boxW) {
            lines.push_back(line);
            line = word;
          } else {
            line = tryLine;
          }
          i = sp == std::string::npos ? para.size() + 1 : sp + 1;
        } while (i <= para.size());
        lines.push_back(line);
      }
      if (nl == std::string::npos) break;
      start = nl + 1;
    }
  }

  int lineH = f.tm.tmHeight;
  int totalH = lineH * static_cast<int>(lines.size());
  int maxW = 0;
  for (auto& l : lines) maxW = std::max(maxW, width(l));
  int logH = static_cast<int>(std::lround(totalH / std::fabs(ScaleY())));
  if (format & DT_CALCRECT) {
    TPoint p[1] = {{box.left + maxW, box.top + totalH}};
    DPtoLP(p, 1);
    rect.right = p[0].x;
    rect.bottom = p[0].y;
    return logH;
  }
  int top = box.top;
  if (format & DT_SINGLELINE) {
    if (format & DT_VCENTER) top = box.top + (box.Height() - lineH) / 2;
    else if (format & DT_BOTTOM) top = box.bottom - lineH;
  }
  std::optional<TRect> clip = St.clip;
  if (!(format & DT_NOCLIP)) {
    TRect c = box;
    if (clip) {
      c = TRect(std::max(c.left, clip->left), std::max(c.top, clip->top), std::min(c.right, clip->right),
                std::min(c.bottom, clip->bottom));
      if (c.right < c.left) c.right = c.left;
      if (c.bottom < c.top) c.bottom = c.top;
    }
    clip = c;
  }
  for (auto& l : lines) {
    int w = width(l);
    int x = box.left;
    if (format & DT_CENTER) x = box.left + (boxW - w) / 2;
    else if (format & DT_RIGHT) x = box.right - w;
    if (format & DT_EXPANDTABS) {
      std::vector<std::pair<int, std::string>> parts;
      ExpandTabs(l, 0, nullptr, 0, x, &parts);
      for (auto& [px, part] : parts) AddText(px, top, part, clip);
    } else if (!l.empty()) {
      AddText(x, top, l, clip);
    }
    top += lineH;
  }
  return logH;
}
