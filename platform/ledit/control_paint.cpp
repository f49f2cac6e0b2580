// The control's view: measuring, scrolling and painting. Only the lines
// in the window are read and drawn, so the cost of a paint, a keystroke
// or a scroll does not grow with the text. Colours come from callbacks to
// the control's own window, which a wrapper answers: WM_CTLCOLOR for the
// normal colours, LEM_SELCOLORS for the selection, LEM_TOKENCOLOR per
// token, LEM_BACKGROUND for a painted background bitmap.
#include <algorithm>
#include <cstring>

#include "platform/ledit/control.h"
#include "platform/ui/dc.h"
#include "platform/ui/gdi_object.h"

using namespace plat::ledit;

namespace {

// One measuring context for all controls (UI thread only).
TMemoryDC& measure_dc() {
  static TMemoryDC dc;
  return dc;
}

}  // namespace

void LEditControl::EnsureFont() {
  if (!FontHandle) {
    LOGFONT lf = Font;
    if (!lf.lfFaceName[0] && lf.lfHeight == 0) {
      std::strcpy(lf.lfFaceName, "Courier New");
      lf.lfHeight = -13;
      lf.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    }
    FontHandle = CreateFontIndirect(&lf);
    LineH = 0;
  }
  measure_dc().SelectObject(FontHandle);
  if (LineH == 0) {
    TEXTMETRIC tm{};
    measure_dc().GetTextMetrics(tm);
    LineH = std::max(1, static_cast<int>(tm.tmHeight + tm.tmExternalLeading));
  }
}

namespace {
constexpr int kScrollBarPx = 16;
}  // namespace

TRect LEditControl::TextRect() const {
  TRect r = GetClientRect();
  if (OptionWord & 0x20000) r.right = std::max(r.left, r.right - kScrollBarPx);
  if (OptionWord & 0x10000) r.bottom = std::max(r.top, r.bottom - kScrollBarPx);
  return r;
}

int LEditControl::LineHeight() {
  EnsureFont();
  return LineH;
}

size_t LEditControl::PageLines() {
  int h = TextRect().Height();
  return std::max<size_t>(1, static_cast<size_t>(std::max(0, h) / LineHeight()));
}

std::string LEditControl::Expanded(const std::string& text, std::vector<size_t>* cols) const {
  std::string out;
  out.reserve(text.size());
  if (cols) cols->assign(text.size() + 1, 0);
  for (size_t i = 0; i < text.size(); ++i) {
    if (cols) (*cols)[i] = out.size();
    if (text[i] == '\t') out.append(TabWidth - out.size() % TabWidth, ' ');
    else out += text[i];
  }
  if (cols) (*cols)[text.size()] = out.size();
  return out;
}

int LEditControl::XOf(size_t line, size_t pos) {
  EnsureFont();
  size_t start = Text->line_start(line);
  pos = std::min(pos, Text->line_end(line));
  if (pos <= start) return 0;
  std::string e = Expanded(Text->text(start, pos - start));
  return measure_dc().GetTextExtent(e.data(), static_cast<int>(e.size())).cx;
}

size_t LEditControl::PosAtX(size_t line, int x) {
  EnsureFont();
  std::string t = Text->line_text(line);
  std::vector<size_t> cols;
  std::string e = Expanded(t, &cols);
  size_t start = Text->line_start(line);
  auto width = [&](size_t i) { return measure_dc().GetTextExtent(e.data(), static_cast<int>(cols[i])).cx; };
  // Prefix widths grow with the prefix: find the first character whose
  // middle lies right of x, by halving (a long line costs log n measures).
  size_t lo = 0, hi = t.size();
  while (lo < hi) {
    size_t mid = lo + (hi - lo) / 2;
    if (x < (width(mid) + width(mid + 1)) / 2) hi = mid;
    else lo = mid + 1;
  }
  return start + lo;
}

size_t LEditControl::PosAtPoint(int x, int y) {
  long row = y < 0 ? -1 : y / LineHeight();
  long line = static_cast<long>(TopLine) + row;
  line = std::clamp<long>(line, 0, static_cast<long>(Text->lines()) - 1);
  return PosAtX(static_cast<size_t>(line), x + LeftPx);
}

void LEditControl::ScrollToCaret() {
  size_t line = Text->line_of(Caret);
  size_t page = PageLines();
  size_t oldTop = TopLine;
  int oldLeft = LeftPx;
  if (line < TopLine) TopLine = line;
  else if (line >= TopLine + page) TopLine = line - page + 1;
  int width = TextRect().Width();
  if (width > 0) {
    int x = XOf(line, Caret);
    if (x < LeftPx) LeftPx = std::max(0, x - width / 4);
    else if (x > LeftPx + width - 4) LeftPx = x - width * 3 / 4;
  }
  if (TopLine != oldTop) Notify(LEN_VSCROLL);
  if (LeftPx != oldLeft) Notify(LEN_HSCROLL);
  if (TopLine != oldTop || LeftPx != oldLeft) Invalidate(false);
}

void LEditControl::ScrollLines(long delta) {
  long last = static_cast<long>(Text->lines()) - 1;
  long top = std::clamp<long>(static_cast<long>(TopLine) + delta, 0, std::max(0L, last));
  if (static_cast<size_t>(top) == TopLine) return;
  TopLine = static_cast<size_t>(top);
  Notify(LEN_VSCROLL);
  Invalidate(false);
}

void LEditControl::ScrollMessage(bool vertical, UINT code, int thumb) {
  if (!vertical) {
    int width = std::max(1, TextRect().Width());
    int step = std::max(1, LineHeight() / 2);
    int old = LeftPx;
    switch (code) {
      case SB_LINEUP: LeftPx -= step; break;
      case SB_LINEDOWN: LeftPx += step; break;
      case SB_PAGEUP: LeftPx -= width; break;
      case SB_PAGEDOWN: LeftPx += width; break;
      case SB_THUMBPOSITION: case SB_THUMBTRACK: LeftPx = thumb; break;
      case SB_TOP: LeftPx = 0; break;
      default: break;
    }
    LeftPx = std::max(0, LeftPx);
    if (LeftPx != old) {
      Notify(LEN_HSCROLL);
      Invalidate(false);
    }
    return;
  }
  long page = static_cast<long>(PageLines());
  switch (code) {
    case SB_LINEUP: ScrollLines(-1); break;
    case SB_LINEDOWN: ScrollLines(1); break;
    case SB_PAGEUP: ScrollLines(-page); break;
    case SB_PAGEDOWN: ScrollLines(page); break;
    case SB_THUMBPOSITION: case SB_THUMBTRACK: ScrollLines(thumb - static_cast<long>(TopLine)); break;
    case SB_TOP: ScrollLines(-static_cast<long>(TopLine)); break;
    case SB_BOTTOM: ScrollLines(static_cast<long>(Text->lines())); break;
    default: break;
  }
}

ViewMetrics LEditControl::Metrics() {
  ViewMetrics m;
  m.lines = Text->lines();
  m.topLine = TopLine;
  m.pageLines = PageLines();
  m.leftPx = LeftPx;
  m.widthPx = WidestPx;
  m.lineHeight = LineHeight();
  m.hScroll = OptionWord & 0x10000;
  m.vScroll = OptionWord & 0x20000;
  m.barPx = kScrollBarPx;
  size_t line = Text->line_of(Caret);
  if (line >= TopLine && line < TopLine + m.pageLines + 1) {
    int x = XOf(line, Caret) - LeftPx;
    int y = static_cast<int>(line - TopLine) * m.lineHeight;
    m.caret = TRect(x, y, x + (Overtype ? std::max(2, m.lineHeight / 2) : 2), y + m.lineHeight);
  }
  return m;
}

void LEditControl::PaintText(TDC& dc, bool /*erase: the whole window is drawn each time*/) {
  EnsureFont();
  TRect client = TextRect();
  dc.SelectObject(FontHandle);
  dc.SetTextColor(GetSysColor(COLOR_WINDOWTEXT));
  dc.SetBkColor(GetSysColor(COLOR_WINDOW));
  SendMessage(WM_CTLCOLOR, reinterpret_cast<WPARAM>(&dc), reinterpret_cast<LPARAM>(Handle));
  COLORREF fg = dc.GetTextColor(), bg = dc.GetBkColor();
  HBITMAP back = reinterpret_cast<HBITMAP>(SendMessage(LEM_BACKGROUND, reinterpret_cast<WPARAM>(&dc), 0));
  if (back) {
    TMemoryDC mem(dc);
    mem.SelectObject(back);
    dc.BitBlt(0, 0, client.Width(), client.Height(), mem, 0, 0);
    mem.RestoreObjects();
    DeleteObject(back);  // handed to us by the callback
  } else {
    TBrush brush(bg);
    dc.FillRect(client, brush);
  }
  dc.SetBkMode(TRANSPARENT);
  size_t page = PageLines() + 1;
  for (size_t i = 0; i < page && TopLine + i < Text->lines(); ++i) {
    int y = static_cast<int>(i) * LineH;
    PaintLine(dc, TopLine + i, y, client.Width(), fg, bg);
    SendMessage(LEM_LINEHOOK, reinterpret_cast<WPARAM>(&dc), static_cast<LPARAM>(TopLine + i));
  }
  if (Focused) {
    ViewMetrics m = Metrics();
    if (m.caret.Width() > 0) {
      TBrush caret(fg);
      dc.FillRect(m.caret, caret);
    }
  }
}

void LEditControl::PaintLine(TDC& dc, size_t line, int y, int width, COLORREF fg, COLORREF bg) {
  size_t start = Text->line_start(line);
  std::string t = Text->line_text(line);
  std::vector<size_t> cols;
  std::string e = Expanded(t, &cols);
  size_t selFrom = std::min(Anchor, Caret), selTo = std::max(Anchor, Caret);
  // Runs break at token edges and selection edges.
  std::vector<Token> toks = Tokens.tokens(t);
  std::vector<size_t> cuts{0, t.size()};
  for (const Token& k : toks) {
    cuts.push_back(k.start);
    cuts.push_back(k.start + k.len);
  }
  for (size_t s : {selFrom, selTo})
    if (s > start && s < start + t.size()) cuts.push_back(s - start);
  std::sort(cuts.begin(), cuts.end());
  cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
  size_t k = 0;
  int x = -LeftPx;
  for (size_t c = 0; c + 1 < cuts.size(); ++c) {
    size_t a = cuts[c], b = cuts[c + 1];
    while (k < toks.size() && toks[k].start + toks[k].len <= a) ++k;
    const char* run = e.data() + cols[a];
    int runLen = static_cast<int>(cols[b] - cols[a]);
    int w = dc.GetTextExtent(run, runLen).cx;
    if (x + w >= 0 && x < width) {
      dc.SetTextColor(fg);
      dc.SetBkColor(bg);
      bool selected = start + a >= selFrom && start + b <= selTo && selFrom != selTo;
      if (selected) {
        SendMessage(LEM_SELCOLORS, reinterpret_cast<WPARAM>(&dc), 0);
      } else if (k < toks.size() && toks[k].start <= a) {
        const Token& tk = toks[k];
        std::vector<char> rec(ltoken_text_at + tk.len + 1, '\0');
        uint32_t col = static_cast<uint32_t>(tk.start);
        std::memcpy(rec.data(), &col, 4);
        std::memcpy(rec.data() + ltoken_class_at, &tk.cls, 2);
        std::memcpy(rec.data() + ltoken_value_at, &tk.value, 4);
        std::memcpy(rec.data() + ltoken_text_at, t.data() + tk.start, tk.len);
        SendMessage(LEM_TOKENCOLOR, reinterpret_cast<WPARAM>(&dc), reinterpret_cast<LPARAM>(rec.data()));
      }
      COLORREF runBg = dc.GetBkColor();
      if (runBg != bg) {
        TBrush brush(runBg);
        dc.FillRect(TRect(x, y, x + w, y + LineH), brush);
      }
      dc.TextOut(x, y, run, runLen);
    }
    x += w;
  }
  // A selected line end shows as a small block.
  if (selFrom != selTo && selFrom <= start + t.size() && selTo > start + t.size()) {
    dc.SetBkColor(bg);
    SendMessage(LEM_SELCOLORS, reinterpret_cast<WPARAM>(&dc), 0);
    TBrush brush(dc.GetBkColor());
    dc.FillRect(TRect(x, y, x + LineH / 2, y + LineH), brush);
  }
  WidestPx = std::max(WidestPx, x + LeftPx);
}

void LEditControl::Changed() {
  ScrollToCaret();
  Invalidate(false);
  Notify(LEN_CHANGE);
}

void LEditControl::text_inserted(size_t pos, size_t n) {
  if (Anchor >= pos) Anchor += n;
  if (Caret >= pos) Caret += n;
}

void LEditControl::text_erased(size_t pos, size_t n) {
  auto fix = [pos, n](size_t& p) {
    if (p >= pos + n) p -= n;
    else if (p > pos) p = pos;
  };
  fix(Anchor);
  fix(Caret);
  if (TopLine >= Text->lines()) TopLine = Text->lines() - 1;
}
