// The gadgets of tool bars and status bars.
#include "platform/ui/gadget.h"

#include <algorithm>
#include <cstring>

#include "platform/ui/dc.h"
#include "platform/ui/gdi_bmp.h"
#include "platform/ui/frame.h"
#include "platform/ui/gadget_window.h"

TGadget::TGadget(int id, TBorderStyle style) : Id(id), BorderStyle(style) {}

TSize TGadget::GetDesiredSize() { return {2 * BorderWidth(), 2 * BorderWidth()}; }

void TGadget::Paint(TDC& dc) {
  if (BorderStyle == None) return;
  TPen pen(BorderStyle == Raised ? RGB(255, 255, 255) : RGB(128, 128, 128));
  HGDIOBJ oldPen = dc.SelectObject(pen);
  HGDIOBJ oldBrush = dc.SelectStockObject(NULL_BRUSH);
  dc.Rectangle(Bounds);
  dc.SelectObject(oldBrush);
  dc.SelectObject(oldPen);
}

TSeparatorGadget::TSeparatorGadget(int size) : TGadget(0, None), Size(std::max(0, size)) {}

TSize TSeparatorGadget::GetDesiredSize() {
  bool vertical = Window && Window->GetDirection() == TGadgetWindow::Vertical;
  return vertical ? TSize{0, Size} : TSize{Size, 0};
}

TTextGadget::TTextGadget(int id, TBorderStyle style, TAlign align, unsigned numChars, const char* text)
    : TGadget(id, style), Text(text ? text : ""), Align(align), NumChars(numChars) {}

void TTextGadget::SetText(const char* text) {
  std::lock_guard lock(TextMu);
  Text = text ? text : "";
}

std::string TTextGadget::GetText() const {
  std::lock_guard lock(TextMu);
  return Text;
}

TSize TTextGadget::GetDesiredSize() {
  int avg = Window ? Window->FontMetrics().tm.tmAveCharWidth : 7;
  int h = Window ? Window->FontMetrics().tm.tmHeight : 16;
  int b = BorderWidth();
  // Capitals are wider than the average character: a label is measured.
  int text = static_cast<int>(NumChars) * avg;
  if (Window && !FitText.empty())
    text = std::max(text, Window->FontMetrics().width(FitText.data(), static_cast<int>(FitText.size())));
  return {text + 2 * b + 4, h + 2 * b + 2};
}

void TTextGadget::Paint(TDC& dc) {
  TGadget::Paint(dc);
  std::string text = GetText();
  if (text.empty() || !Window) return;
  HGDIOBJ old = dc.SelectObject(Window->GetFont());
  dc.SetBkMode(TRANSPARENT);
  dc.SetTextColor(Enabled ? RGB(0, 0, 0) : RGB(128, 128, 128));
  int b = BorderWidth() + 2;
  TRect r(Bounds.left + b, Bounds.top, Bounds.right - b, Bounds.bottom);
  UINT align = Align == Center ? DT_CENTER : Align == Right ? DT_RIGHT : DT_LEFT;
  dc.DrawText(text.c_str(), -1, r, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | align);
  dc.SelectObject(old);
}

TButtonGadget::TButtonGadget(TResId bitmapId, int id, TType type, bool enabled, TState state, bool)
    : TGadget(id, Raised), BitmapId(bitmapId.Id), Glyph(plat::find_bitmap_resource(bitmapId.Id)), Type(type),
      State(state) {
  Enabled = enabled;
}

TSize TButtonGadget::GetDesiredSize() { return {23, 22}; }

void TButtonGadget::CommandEnable() {
  if (!Window) return;
  if (TFrameWindow* f = Window->GetFrame()) SetEnabled(f->IsCommandEnabled(static_cast<UINT>(Id)));
}

void TButtonGadget::Paint(TDC& dc) {
  TGadget::Paint(dc);
  if (Glyph) {
    const plat::Image* img = Glyph.get();
    plat::Image grey;
    if (!Enabled) {
      // A grey button shows its picture faded to light greys, so that it
      // reads as unavailable as a grey menu item does.
      grey = *Glyph;
      for (uint32_t& p : grey.px) {
        uint32_t l = (((p >> 16) & 0xFF) * 30 + ((p >> 8) & 0xFF) * 59 + (p & 0xFF) * 11) / 100;
        uint32_t v = 128 + l / 2;
        p = (v << 16) | (v << 8) | v;
      }
      img = &grey;
    }
    dc.DrawImage(Bounds.left + (Bounds.Width() - img->width) / 2, Bounds.top + (Bounds.Height() - img->height) / 2,
                 *img);
    return;
  }
  // Without its bitmap resource the button shows the resource's number.
  if (!Window) return;
  HGDIOBJ old = dc.SelectObject(Window->GetFont());
  dc.SetBkMode(TRANSPARENT);
  dc.SetTextColor(Enabled ? RGB(0, 0, 0) : RGB(128, 128, 128));
  std::string t = std::to_string(BitmapId);
  dc.DrawText(t.c_str(), -1, Bounds, DT_SINGLELINE | DT_CENTER | DT_VCENTER | DT_NOCLIP);
  dc.SelectObject(old);
}

bool TButtonGadget::Click() {
  if (!Enabled || !Window) return false;
  TFrameWindow* f = Window->GetFrame();
  if (!f || !f->GetHandle()) return false;
  if (Type == NonExclusive) State = State == Down ? Up : Down;
  else if (Type == Exclusive) State = Down;
  f->SendMessage(WM_COMMAND, MAKEWPARAM(Id, 0), 0);
  return true;
}

TControlGadget::TControlGadget(TWindow& control, TBorderStyle style)
    : TGadget(control.Attr.Id, style), Control(&control) {}

TSize TControlGadget::GetDesiredSize() {
  int b = BorderWidth();
  int h = Control->Attr.H;
  // A combo box stands in the bar at the height of its edit field; its
  // height is that of the list that drops down.
  if (Control->ClassName() == "COMBOBOX" && Window) h = Window->FontMetrics().tm.tmHeight + 8;
  return {Control->Attr.W + 2 * b, h + 2 * b};
}

void TControlGadget::Inserted() {
  if (Window && Control->GetParentO() != Window) Control->SetParent(Window);
  Control->Attr.Style |= WS_CHILD | WS_VISIBLE;
  if (Window && Window->GetHandle() && !Control->GetHandle()) Control->Create();
}
