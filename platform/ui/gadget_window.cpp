// Gadget windows: layout, enablers, hints, and the status bar's indicators.
#include "platform/ui/gadget_window.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/accel.h"
#include "platform/ui/dc.h"
#include "platform/ui/frame_decorated.h"

namespace {
// The bars' font: 10 points on a 96-dpi screen.
TFont* default_font() { return new TFont("MS Sans Serif", -13); }
}  // namespace

TGadgetWindow::TGadgetWindow(TWindow* parent, TTileDirection direction, TFont* font)
    : TWindow(parent), Direction(direction), Font(font ? font : default_font()) {
  Attr.Style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
  LOGFONT lf = Font->GetLogFont();
  Metrics = plat::make_font_instance(lf, lf.lfHeight, lf.lfWidth);
}

TGadgetWindow::~TGadgetWindow() {
  for (TGadget* g : Gadgets) delete g;
}

void TGadgetWindow::Insert(TGadget& gadget, TPlacement placement, TGadget* sibling) {
  auto at = sibling ? std::find(Gadgets.begin(), Gadgets.end(), sibling) : Gadgets.end();
  if (at != Gadgets.end() && placement == After) ++at;
  if (!sibling && placement == Before) at = Gadgets.begin();
  Gadgets.insert(at, &gadget);
  gadget.Window = this;
  gadget.Inserted();
  if (GetHandle()) LayoutSession();
}

TGadget* TGadgetWindow::Remove(TGadget& gadget) {
  auto it = std::find(Gadgets.begin(), Gadgets.end(), &gadget);
  if (it == Gadgets.end()) return nullptr;
  Gadgets.erase(it);
  gadget.Removed();
  gadget.Window = nullptr;
  if (GetHandle()) LayoutSession();
  return &gadget;
}

TGadget* TGadgetWindow::GadgetAt(int index) const {
  return index >= 0 && index < GadgetCount() ? Gadgets[index] : nullptr;
}

TGadget* TGadgetWindow::GadgetWithId(int id) const {
  for (TGadget* g : Gadgets)
    if (g->GetId() == id && !dynamic_cast<TSeparatorGadget*>(g)) return g;
  return nullptr;
}

void TGadgetWindow::SetDirection(TTileDirection d) {
  Direction = d;
  if (GetHandle()) LayoutSession();
}

void TGadgetWindow::SetMargins(const TMargins& m) {
  Margins = m;
  if (GetHandle()) LayoutSession();
}

int TGadgetWindow::LayoutUnitPixels() const { return std::max(1, static_cast<int>(std::lround(Metrics.tm.tmHeight / 8.0))); }

TFrameWindow* TGadgetWindow::GetFrame() const {
  for (TWindow* w = GetParentO(); w; w = w->GetParentO())
    if (auto* f = dynamic_cast<TFrameWindow*>(w)) return f;
  return nullptr;
}

TSize TGadgetWindow::GetDesiredSize() {
  int unit = Margins.Units == TMargins::Pixels ? 1 : Margins.Units == TMargins::BorderUnits ? 1 : LayoutUnitPixels();
  int along = 0, across = 0;
  for (TGadget* g : Gadgets) {
    TSize s = g->GetDesiredSize();
    along += Direction == Horizontal ? s.cx : s.cy;
    across = std::max(across, Direction == Horizontal ? s.cy : s.cx);
  }
  int ml = Margins.Left * unit, mr = Margins.Right * unit, mt = Margins.Top * unit, mb = Margins.Bottom * unit;
  return Direction == Horizontal ? TSize{along + ml + mr, across + mt + mb} : TSize{across + ml + mr, along + mt + mb};
}

void TGadgetWindow::LayoutSession() {
  int unit = Margins.Units == TMargins::LayoutUnits ? LayoutUnitPixels() : 1;
  TRect client = GetHandle() ? GetClientRect() : TRect(0, 0, Attr.W, Attr.H);
  TSize want = GetDesiredSize();
  int x = Margins.Left * unit, y = Margins.Top * unit;
  // Gadgets wide as possible share what the row leaves over.
  int spare = Direction == Horizontal ? client.Width() - want.cx : client.Height() - want.cy;
  int wide = static_cast<int>(std::count_if(Gadgets.begin(), Gadgets.end(), [](TGadget* g) { return g->WideAsPossible; }));
  for (TGadget* g : Gadgets) {
    TSize s = g->GetDesiredSize();
    if (g->WideAsPossible && wide > 0 && spare > 0) {
      if (Direction == Horizontal) s.cx += spare / wide;
      else s.cy += spare / wide;
    }
    if (Direction == Horizontal) {
      g->Bounds = TRect(x, y, x + s.cx, y + std::max(s.cy, want.cy - (Margins.Top + Margins.Bottom) * unit));
      x += s.cx;
    } else {
      g->Bounds = TRect(x, y, x + std::max(s.cx, want.cx - (Margins.Left + Margins.Right) * unit), y + s.cy);
      y += s.cy;
    }
    if (auto* cg = dynamic_cast<TControlGadget*>(g)) {
      TWindow* c = cg->GetControl();
      if (c->GetHandle())
        c->SetWindowPos(nullptr, g->Bounds.left, g->Bounds.top, c->Attr.W, c->Attr.H, SWP_NOZORDER);
      else
        c->Attr.X = g->Bounds.left, c->Attr.Y = g->Bounds.top;
    }
  }
}

void TGadgetWindow::SetupWindow() {
  TWindow::SetupWindow();
  LayoutSession();
}

void TGadgetWindow::EvSize(UINT sizeType, const TSize& size) {
  TWindow::EvSize(sizeType, size);
  LayoutSession();
}

void TGadgetWindow::CommandEnableAll() {
  for (TGadget* g : Gadgets) g->CommandEnable();
}

bool TGadgetWindow::IdleAction(long idleCount) {
  if (idleCount == 0) CommandEnableAll();
  return TWindow::IdleAction(idleCount);
}

void TGadgetWindow::ShowHint(int id) {
  for (TWindow* w = GetParentO(); w; w = w->GetParentO())
    if (auto* f = dynamic_cast<TDecoratedFrame*>(w)) {
      f->SetHintCommand(id);
      return;
    }
}

void TGadgetWindow::PointerEnter(int id) {
  if (HintMode == EnterHints && GadgetWithId(id)) ShowHint(id);
}

void TGadgetWindow::PointerLeave() {
  if (HintMode == EnterHints) ShowHint(0);
}

bool TGadgetWindow::PressButton(int id) {
  auto* b = dynamic_cast<TButtonGadget*>(GadgetWithId(id));
  if (!b || !b->GetEnabled()) return false;
  if (HintMode == PressHints) ShowHint(id);
  bool done = b->Click();
  if (HintMode == PressHints) ShowHint(0);
  return done;
}

void TGadgetWindow::Paint(TDC& dc, bool, TRect&) {
  for (TGadget* g : Gadgets) g->Paint(dc);
}

LRESULT TGadgetWindow::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
  // Controls in the bar notify the bar; their frame handles them.
  if (msg == WM_COMMAND && lp != 0) {
    TEventInfo ev;
    ev.Msg = msg;
    ev.Id = LOWORD(wp);
    ev.NotifyCode = HIWORD(wp);
    ev.FromControl = true;
    if (!Find(ev))
      if (TFrameWindow* f = GetFrame()) return f->ReceiveMessage(msg, wp, lp);
  }
  return TWindow::WindowProc(msg, wp, lp);
}

TControlBar::TControlBar(TWindow* parent, TTileDirection direction, TFont* font)
    : TGadgetWindow(parent, direction, font) {
  Margins = {TMargins::LayoutUnits, 2, 2, 2, 2};
}

// ---- status bar ----

namespace {
struct Indicator {
  unsigned flag;
  int vk;
  const char* text;
};
const Indicator kIndicators[] = {{TStatusBar::ExtendSelection, 0, "EXT"},
                                 {TStatusBar::CapsLock, VK_CAPITAL, "CAPS"},
                                 {TStatusBar::NumLock, VK_NUMLOCK, "NUM"},
                                 {TStatusBar::ScrollLock, VK_SCROLL, "SCRL"},
                                 {TStatusBar::Overtype, VK_INSERT, "OVR"}};
// Indicator gadgets carry ids no command uses.
constexpr int kIndicatorIdBase = 0x7F10;
}  // namespace

TStatusBar::TStatusBar(TWindow* parent, TGadget::TBorderStyle borderStyle, unsigned modeIndicators, TFont* font)
    : TGadgetWindow(parent, Horizontal, font), Indicators(modeIndicators) {
  Margins = {TMargins::Pixels, 2, 2, 2, 2};
  HintGadget = new TTextGadget(0, borderStyle, TTextGadget::Left, 10);
  HintGadget->WideAsPossible = true;
  Insert(*HintGadget);
  for (int i = 0; i < 5; ++i)
    if (modeIndicators & kIndicators[i].flag) {
      auto* g = new TTextGadget(kIndicatorIdBase + i, borderStyle, TTextGadget::Center,
                                static_cast<unsigned>(std::string(kIndicators[i].text).size()), kIndicators[i].text);
      g->SetFitText(kIndicators[i].text);
      g->SetEnabled(false);
      Insert(*g);
    }
}

void TStatusBar::SetText(const char* text) { HintGadget->SetText(text); }
std::string TStatusBar::GetText() const { return HintGadget->GetText(); }

bool TStatusBar::GetModeIndicator(TModeIndicator i) const { return (States & i) != 0; }

void TStatusBar::SetModeIndicator(TModeIndicator ind, bool on) {
  if (on) States |= ind;
  else States &= ~static_cast<unsigned>(ind);
  for (int i = 0; i < 5; ++i)
    if (kIndicators[i].flag == static_cast<unsigned>(ind))
      if (TGadget* g = GadgetWithId(kIndicatorIdBase + i)) g->SetEnabled(on);
}

void TStatusBar::UpdateModeIndicators() {
  for (const Indicator& i : kIndicators)
    if ((Indicators & i.flag) && i.vk) SetModeIndicator(static_cast<TModeIndicator>(i.flag), GetKeyState(i.vk) & 1);
}

bool TStatusBar::IdleAction(long idleCount) {
  if (idleCount == 0) UpdateModeIndicators();
  return TGadgetWindow::IdleAction(idleCount);
}
