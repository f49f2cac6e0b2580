// Owner-drawn list and combo boxes on screen: a list the toolkit scrolls
// and selects in, whose every visible item is drawn by the program's
// handler (WM_DRAWITEM) on a recording context and replayed with cairo
// into the item's rectangle; a combo box's field the same way. The user's scrolling becomes the list's top index and
// a WM_VSCROLL to it, as a synchronised partner list expects.
#include <cairo.h>

#include <wx/dcclient.h>
#include <wx/odcombo.h>
#include <wx/vlbox.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/combobox.h"
#include "platform/ui/dc.h"
#include "platform/ui/dc_render.h"
#include "platform/ui/listbox.h"
#include "platform/ui/ownerdraw.h"
#include "platform/wx/renderer.h"

namespace plat::wx {

// Replays what an item's handler drew, clipped to the item.
void replay(wxDC& dc, const wxRect& rect, const DrawRecord& ops);

namespace {

constexpr WPARAM kThumbPosition = 4;  // SB_THUMBPOSITION

class OwnerList : public wxVListBox {
 public:
  OwnerList(wxWindow* parent, HWND h, long style)
      : wxVListBox(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, style), h_(h) {}

 protected:
  void OnDrawItem(wxDC& dc, const wxRect& rect, size_t n) const override {
    TClientDC record(h_);
    TRect rc(rect.x, rect.y, rect.x + rect.width, rect.y + rect.height);
    int index = static_cast<int>(n);
    Renderer::ReadScope reading;
    if (!draw_list_item(h_, index, record, rc, list_item_state(h_, index))) return;
    replay(dc, rect, record.TakeRecord());
  }
  wxCoord OnMeasureItem(size_t) const override {
    return static_cast<wxCoord>(std::max<LRESULT>(1, ::SendMessage(h_, LB_GETITEMHEIGHT, 0, 0)));
  }
  // The item's own drawing paints its background.
  void OnDrawBackground(wxDC&, const wxRect&, size_t) const override {}

 private:
  HWND h_;
};

// An owner-drawn combo box: its field and its list's items drawn alike.
class OwnerCombo : public wxOwnerDrawnComboBox {
 public:
  OwnerCombo(wxWindow* parent, HWND h)
      : wxOwnerDrawnComboBox(parent, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize, 0, nullptr,
                             wxCB_READONLY),
        h_(h) {}

 protected:
  void OnDrawItem(wxDC& dc, const wxRect& rect, int item, int flags) const override {
    if (item == wxNOT_FOUND) return;
    UINT state = (flags & wxODCB_PAINTING_CONTROL) ? ODS_COMBOBOXEDIT : 0;
    if (flags & wxODCB_PAINTING_SELECTED) state |= ODS_SELECTED;
    TClientDC record(h_);
    TRect rc(rect.x, rect.y, rect.x + rect.width, rect.y + rect.height);
    Renderer::ReadScope reading;
    if (!draw_combo_item(h_, item, record, rc, state)) return;
    replay(dc, rect, record.TakeRecord());
  }
  wxCoord OnMeasureItem(size_t) const override {
    return static_cast<wxCoord>(std::max<LRESULT>(1, ::SendMessage(h_, CB_GETITEMHEIGHT, 0, 0)));
  }
  void OnDrawBackground(wxDC&, const wxRect&, int, int) const override {}

 private:
  HWND h_;
};

}  // namespace

void replay(wxDC& dc, const wxRect& rect, const DrawRecord& ops) {
  auto* cr = static_cast<cairo_t*>(dc.GetImpl()->GetCairoContext());
  if (!cr || ops.empty()) return;
  cairo_save(cr);
  cairo_rectangle(cr, rect.x, rect.y, rect.width, rect.height);
  cairo_clip(cr);
  render_record(cr, ops, 1.0);
  cairo_restore(cr);
}

void make_owner_combo(Renderer& r, Mirror& m, wxWindow* parent) {
  HWND h = m.hwnd;
  auto* c = new OwnerCombo(parent, h);
  c->Bind(wxEVT_COMBOBOX, [&r, h](wxCommandEvent& e) {
    Renderer::HandlerScope scope(r);
    if (auto* cb = dynamic_cast<TComboBox*>(window_object(h))) cb->UserSelect(e.GetSelection());
    r.window_changed(h);
  });
  m.win = c;
}

void make_owner_list(Renderer& r, Mirror& m, const Snapshot& s, wxWindow* parent,
                     const std::shared_ptr<bool>& chosen) {
  HWND h = m.hwnd;
  long st = (s.style & WS_VSCROLL) ? 0 : wxVSCROLL;
  auto* l = new OwnerList(parent, h, st | wxBORDER_SIMPLE);
  l->Bind(wxEVT_LISTBOX, [&r, h, chosen](wxCommandEvent& e) {
    Renderer::HandlerScope scope(r);
    if (*chosen)
      if (auto* lb = dynamic_cast<TListBox*>(window_object(h))) lb->UserSelect(e.GetSelection());
    r.window_changed(h);
  });
  l->Bind(wxEVT_LISTBOX_DCLICK, [&r, h](wxCommandEvent& e) {
    Renderer::HandlerScope scope(r);
    if (auto* lb = dynamic_cast<TListBox*>(window_object(h))) lb->UserDoubleClick(e.GetSelection());
    r.window_changed(h);
  });
  // After the toolkit scrolled (wheel, bar, keys), the model's top index follows.
  l->Bind(wxEVT_PAINT, [&r, h, l](wxPaintEvent& e) {
    e.Skip();
    int top = static_cast<int>(l->GetVisibleRowsBegin());
    if (top == static_cast<int>(::SendMessage(h, LB_GETTOPINDEX, 0, 0))) return;
    l->CallAfter([&r, h, top] {
      Mirror* mm = r.mirror(h);
      if (!mm) return;
      mm->shownTop = top;
      Renderer::HandlerScope scope(r);
      ::SendMessage(h, LB_SETTOPINDEX, top, 0);
      ::SendMessage(h, WM_VSCROLL, MAKEWPARAM(kThumbPosition, top), 0);
    });
  });
  m.win = l;
}

bool owner_list_texts(Mirror& m, std::vector<std::string>& out) {
  auto* l = dynamic_cast<OwnerList*>(m.win);
  if (!l) return false;
  out.clear();
  int width = std::max(1, l->GetClientSize().x);
  int height = static_cast<int>(std::max<LRESULT>(1, ::SendMessage(m.hwnd, LB_GETITEMHEIGHT, 0, 0)));
  int count = static_cast<int>(std::max<LRESULT>(0, ::SendMessage(m.hwnd, LB_GETCOUNT, 0, 0)));
  for (int i = 0; i < count; ++i) {
    TClientDC record(m.hwnd);
    Renderer::ReadScope reading;
    std::string line;
    if (draw_list_item(m.hwnd, i, record, TRect(0, 0, width, height), list_item_state(m.hwnd, i)))
      for (const DrawOp& op : record.TakeRecord())
        if (op.kind == DrawOp::Text) line += op.text;
    out.push_back(line);
  }
  return true;
}

bool show_owner_list(Mirror& m) {
  auto* l = dynamic_cast<OwnerList*>(m.win);
  if (!l) return false;
  size_t count = static_cast<size_t>(std::max<LRESULT>(0, ::SendMessage(m.hwnd, LB_GETCOUNT, 0, 0)));
  if (l->GetItemCount() != count) l->SetItemCount(count);
  int sel = static_cast<int>(::SendMessage(m.hwnd, LB_GETCURSEL, 0, 0));
  if (l->GetSelection() != (sel >= 0 ? sel : wxNOT_FOUND)) l->SetSelection(sel >= 0 ? sel : wxNOT_FOUND);
  int top = static_cast<int>(::SendMessage(m.hwnd, LB_GETTOPINDEX, 0, 0));
  if (top != m.shownTop && top >= 0 && static_cast<size_t>(top) < count) {
    l->ScrollToRow(top);
    m.shownTop = top;
  }
  // Items look as the program draws them now (colours follow its state).
  l->RefreshAll();
  return true;
}

}  // namespace plat::wx
