// Standard controls on screen: statics, group boxes, buttons, check and
// radio buttons, list and combo boxes, progress bars. The model holds the
// state; a widget shows it and hands the user's clicks and picks back as
// the model's own user actions (BM_CLICK, UserSelect), so notifications
// and response tables run exactly as they do headless.
#include <wx/artprov.h>
#include <wx/gauge.h>
#include <wx/statbmp.h>
#include <wx/statbox.h>
#include <wx/tglbtn.h>
#include <wx/vlbox.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>

#include "platform/ui/button.h"
#include "platform/ui/combobox.h"
#include "platform/ui/ctlcolor.h"
#include "platform/ui/dc.h"
#include "platform/ui/font_face.h"
#include "platform/ui/gdi_bmp.h"
#include "platform/ui/listbox.h"
#include "platform/ui/window.h"
#include "platform/wx/renderer.h"

namespace plat::wx {
namespace {

UINT button_type(UINT style) { return style & BS_TYPEMASK; }

bool is_check(UINT style) {
  UINT t = button_type(style);
  return t == BS_CHECKBOX || t == BS_AUTOCHECKBOX || t == BS_3STATE || t == BS_AUTO3STATE;
}

bool is_radio(UINT style) {
  UINT t = button_type(style);
  return t == BS_RADIOBUTTON || t == BS_AUTORADIOBUTTON;
}

// A drop-down combo shows one line; the template's height is its list's.
int combo_height(wxWindow* w, int templateHeight) {
  int line = w->GetCharHeight() + 8;
  return std::min(templateHeight, line);
}

// The user clicked a button of any kind: the model clicks it, and the
// widget then shows whatever check state the model decided.
void user_click(Renderer& r, HWND h) {
  Renderer::HandlerScope scope(r);
  ::SendMessage(h, BM_CLICK, 0, 0);
  r.window_changed(h);
}

std::vector<std::string> list_lines(HWND h, bool combo) {
  std::vector<std::string> out;
  TWindow* obj = window_object(h);
  if (auto* lb = dynamic_cast<TListBox*>(obj)) {
    int n = lb->GetCount();
    for (int i = 0; i < n; ++i) out.push_back(lb->GetString(i));
  } else if (auto* cb = combo ? dynamic_cast<TComboBox*>(obj) : nullptr) {
    int n = cb->GetCount();
    for (int i = 0; i < n; ++i) out.push_back(cb->GetString(i));
  }
  return out;
}

// The lines as the user sees them: a record's ids stay the program's.
wxArrayString to_wx_lines(const std::vector<std::string>& lines) {
  wxArrayString a;
  for (const std::string& l : lines) a.Add(to_wx(shown_line_text(l)));
  return a;
}

void make_button(Renderer& r, Mirror& m, const Snapshot& s, wxWindow* parent) {
  HWND h = m.hwnd;
  wxString label = to_wx(s.text);
  if (button_type(s.style) == BS_GROUPBOX) {
    m.win = new wxStaticBox(parent, wxID_ANY, label);
  } else if ((s.style & BS_PUSHLIKE) && (is_check(s.style) || is_radio(s.style))) {
    auto* t = new wxToggleButton(parent, wxID_ANY, label);
    t->Bind(wxEVT_TOGGLEBUTTON, [&r, h](wxCommandEvent&) { user_click(r, h); });
    m.win = t;
  } else if (is_check(s.style)) {
    long st = (button_type(s.style) == BS_3STATE || button_type(s.style) == BS_AUTO3STATE) ? wxCHK_3STATE : 0;
    auto* c = new wxCheckBox(parent, wxID_ANY, label, wxDefaultPosition, wxDefaultSize, st);
    c->Bind(wxEVT_CHECKBOX, [&r, h](wxCommandEvent&) { user_click(r, h); });
    m.win = c;
  } else if (is_radio(s.style)) {
    // Each button stands in a toolkit group of its own, since the model
    // keeps the groups and unchecks the others. A toolkit group always has
    // one button on, so a hidden buddy takes the mark when the model's
    // button is off.
    auto* b = new wxRadioButton(parent, wxID_ANY, label, wxDefaultPosition, wxDefaultSize, wxRB_GROUP);
    auto* off = new wxRadioButton(parent, wxID_ANY, wxEmptyString);
    off->Hide();
    b->Bind(wxEVT_RADIOBUTTON, [&r, h](wxCommandEvent&) { user_click(r, h); });
    m.win = b;
    m.buddy = off;
  } else {
    auto* b = new wxButton(parent, wxID_ANY, label);
    b->Bind(wxEVT_BUTTON, [&r, h](wxCommandEvent&) { user_click(r, h); });
    if (button_type(s.style) == BS_DEFPUSHBUTTON) b->SetDefault();
    m.win = b;
  }
  m.shownText = s.text;
}

void show_button(Mirror& m, const Snapshot& s) {
  if (m.shownText != s.text) {
    m.win->SetLabel(to_wx(s.text));
    m.shownText = s.text;
  }
  LRESULT check = ::SendMessage(m.hwnd, BM_GETCHECK, 0, 0);
  if (auto* t = dynamic_cast<wxToggleButton*>(m.win)) t->SetValue(check == BST_CHECKED);
  else if (auto* c = dynamic_cast<wxCheckBox*>(m.win)) {
    if (c->Is3State()) c->Set3StateValue(check == BST_CHECKED ? wxCHK_CHECKED
                                         : check == BST_INDETERMINATE ? wxCHK_UNDETERMINED
                                                                      : wxCHK_UNCHECKED);
    else c->SetValue(check == BST_CHECKED);
  } else if (auto* b = dynamic_cast<wxRadioButton*>(m.win)) {
    if (check == BST_CHECKED) b->SetValue(true);
    else if (auto* off = dynamic_cast<wxRadioButton*>(m.buddy)) off->SetValue(true);
  }
}

void make_static(Mirror& m, const Snapshot& s, wxWindow* parent) {
  UINT type = s.style & SS_TYPEMASK;
  if (type == SS_ICON || type == SS_BITMAP) {
    // The picture of the resource the text names; a stock icon stands in
    // for one the resources do not carry.
    wxSize size(std::max(1, s.rect.Width()), std::max(1, s.rect.Height()));
    wxBitmap bmp;
    if (std::shared_ptr<Image> img = find_bitmap_resource(std::atoi(s.text.c_str())); img && img->width > 0) {
      wxImage w(img->width, img->height);
      for (int y = 0; y < img->height; ++y)
        for (int x = 0; x < img->width; ++x) {
          uint32_t p = img->px[static_cast<size_t>(y) * img->width + x];
          w.SetRGB(x, y, (p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
        }
      bmp = wxBitmap(type == SS_ICON ? w.Scale(size.x, size.y) : w);
    } else {
      bmp = type == SS_ICON ? wxArtProvider::GetBitmap(wxART_INFORMATION, wxART_MESSAGE_BOX, size)
                            : wxBitmap(size.x, size.y);
    }
    m.win = new wxStaticBitmap(parent, wxID_ANY, bmp);
    return;
  }
  long align = type == SS_CENTER ? wxALIGN_CENTRE_HORIZONTAL : type == SS_RIGHT ? wxALIGN_RIGHT : wxALIGN_LEFT;
  m.win = new wxStaticText(parent, wxID_ANY, to_wx(s.text), wxDefaultPosition, wxDefaultSize,
                           align | wxST_NO_AUTORESIZE);
  m.shownText = s.text;
}

void show_static(Mirror& m, const Snapshot& s) {
  auto* t = dynamic_cast<wxStaticText*>(m.win);
  if (t && m.shownText != s.text) {
    t->SetLabel(to_wx(s.text));
    m.shownText = s.text;
  }
}

// A list of any number of selected lines shows exactly the model's.
void show_list_selections(wxListBox* l, HWND h) {
  auto* lb = dynamic_cast<TListBox*>(window_object(h));
  if (!lb) return;
  std::vector<int> want = lb->GetSelIndexes();
  wxArrayInt shown;
  l->GetSelections(shown);
  if (std::equal(want.begin(), want.end(), shown.begin(), shown.end())) return;
  for (int i : shown)
    if (!std::binary_search(want.begin(), want.end(), i)) l->Deselect(i);
  for (int i : want)
    if (i < static_cast<int>(l->GetCount())) l->SetSelection(i, true);
}

// The list shows the model's selection, or none, whatever line the
// toolkit chose by itself.
void show_list_selection(wxListBox* l, HWND h) {
  if (l->HasMultipleSelection()) {
    show_list_selections(l, h);
    return;
  }
  int sel = static_cast<int>(::SendMessage(h, LB_GETCURSEL, 0, 0));
  if (sel >= 0 && sel < static_cast<int>(l->GetCount())) {
    if (l->GetSelection() != sel) l->SetSelection(sel);
  } else if (l->GetSelection() != wxNOT_FOUND) {
    l->DeselectAll();
  }
}

void make_list(Renderer& r, Mirror& m, const Snapshot& s, wxWindow* parent) {
  HWND h = m.hwnd;
  // The toolkit puts its cursor (and so the selection) on the first line
  // when the list gets the focus; only a click or a key of the user's
  // chooses a line.
  auto chosen = std::make_shared<bool>(false);
  if (s.style & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE)) make_owner_list(r, m, s, parent, chosen);
  long st = (s.style & LBS_EXTENDEDSEL) ? wxLB_EXTENDED : wxLB_SINGLE;
  if (s.style & WS_HSCROLL) st |= wxLB_HSCROLL;
  if (s.style & LBS_DISABLENOSCROLL) st |= wxLB_ALWAYS_SB;
  wxWindow* l = m.win ? m.win : new wxListBox(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, 0, nullptr, st);
  auto arm = [chosen](wxEvent& e) {
    e.Skip();
    *chosen = true;
  };
  l->Bind(wxEVT_LEFT_DOWN, arm);
  l->Bind(wxEVT_KEY_DOWN, arm);
  l->Bind(wxEVT_KILL_FOCUS, [chosen](wxFocusEvent& e) {
    e.Skip();
    *chosen = false;
  });
  if (m.win) return;
  // The toolkit selects its first line as the focus comes (after the
  // focus event), and tells of it only when that line differs from the
  // last it told of: the model's selection is shown again once it has.
  auto* box = static_cast<wxListBox*>(l);
  box->Bind(wxEVT_SET_FOCUS, [box, h](wxFocusEvent& e) {
    e.Skip();
    box->CallAfter([box, h] {
      if (window_object(h)) show_list_selection(box, h);
    });
  });
  l->Bind(wxEVT_LISTBOX, [&r, h, box, chosen](wxCommandEvent& e) {
    Renderer::HandlerScope scope(r);
    if (!*chosen) {
      // Shown again at once, also while the renderer itself moves the
      // focus (when a change would not be looked at).
      show_list_selection(box, h);
      return;
    }
    auto* lb = dynamic_cast<TListBox*>(window_object(h));
    if (lb && box->HasMultipleSelection()) {
      // The toolkit clicked, shifted and controlled its way to these lines
      // as the user's desktop does; the model takes them as they are.
      wxArrayInt lines;
      box->GetSelections(lines);
      lb->UserSelectLines(std::vector<int>(lines.begin(), lines.end()), e.GetSelection());
    } else if (lb) {
      lb->UserSelect(e.GetSelection());
    }
    r.window_changed(h);
  });
  l->Bind(wxEVT_LISTBOX_DCLICK, [&r, h](wxCommandEvent& e) {
    Renderer::HandlerScope scope(r);
    if (auto* lb = dynamic_cast<TListBox*>(window_object(h))) lb->UserDoubleClick(e.GetSelection());
    r.window_changed(h);
  });
  m.win = l;
}

void show_list(Mirror& m) {
  if (show_owner_list(m)) return;
  auto* l = static_cast<wxListBox*>(m.win);
  std::vector<std::string> lines = list_lines(m.hwnd, false);
  const std::vector<std::string>& shown = m.shownItems;
  if (lines.size() > shown.size() && std::equal(shown.begin(), shown.end(), lines.begin())) {
    // Lines added at the end (a log a worker fills): only those go in.
    l->Append(to_wx_lines(std::vector<std::string>(lines.begin() + shown.size(), lines.end())));
    m.shownItems = std::move(lines);
  } else if (lines != shown) {
    l->Set(to_wx_lines(lines));
    m.shownItems = std::move(lines);
    m.shownTop = -1;
  }
  show_list_selection(l, m.hwnd);
  int top = static_cast<int>(::SendMessage(m.hwnd, LB_GETTOPINDEX, 0, 0));
  if (top != m.shownTop && top >= 0 && top < static_cast<int>(l->GetCount())) {
    l->SetFirstItem(top);
    m.shownTop = top;
  }
}

void make_combo(Renderer& r, Mirror& m, const Snapshot& s, wxWindow* parent) {
  HWND h = m.hwnd;
  auto picked = [&r, h](wxCommandEvent& e) {
    Renderer::HandlerScope scope(r);
    if (auto* cb = dynamic_cast<TComboBox*>(window_object(h))) cb->UserSelect(e.GetSelection());
    r.window_changed(h);
  };
  if (s.style & (CBS_OWNERDRAWFIXED | CBS_OWNERDRAWVARIABLE)) {
    make_owner_combo(r, m, parent);
    return;
  }
  if ((s.style & CBS_TYPEMASK) == CBS_DROPDOWNLIST) {
    auto* c = new wxChoice(parent, wxID_ANY);
    c->Bind(wxEVT_CHOICE, picked);
    m.win = c;
    return;
  }
  long st = (s.style & CBS_TYPEMASK) == CBS_SIMPLE ? wxCB_SIMPLE : wxCB_DROPDOWN;
  auto* c = new wxComboBox(parent, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize, 0, nullptr, st);
  c->Bind(wxEVT_COMBOBOX, picked);
  c->Bind(wxEVT_TEXT, [&r, h, c](wxCommandEvent&) {
    if (r.syncing()) return;
    Renderer::HandlerScope scope(r);
    std::string text = from_wx(c->GetValue());
    ::SendMessage(h, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    r.window_changed(h);
  });
  m.win = c;
}

void show_combo(Mirror& m, const Snapshot& s) {
  auto* c = dynamic_cast<wxItemContainer*>(m.win);
  std::vector<std::string> lines = list_lines(m.hwnd, true);
  if (lines != m.shownItems) {
    c->Set(to_wx_lines(lines));
    m.shownItems = std::move(lines);
  }
  int sel = static_cast<int>(::SendMessage(m.hwnd, CB_GETCURSEL, 0, 0));
  if (sel >= 0 && sel < static_cast<int>(c->GetCount())) {
    if (c->GetSelection() != sel) c->SetSelection(sel);
  } else if (c->GetSelection() != wxNOT_FOUND) {
    c->SetSelection(wxNOT_FOUND);
  }
  if (auto* cb = dynamic_cast<wxComboBox*>(m.win)) {
    if (from_wx(cb->GetValue()) != s.text) cb->ChangeValue(to_wx(s.text));
  }
  // An owner-drawn field shows the program's drawing as it is now.
  if (s.style & (CBS_OWNERDRAWFIXED | CBS_OWNERDRAWVARIABLE)) m.win->Refresh(false);
}

void show_progress(Mirror& m) {
  auto* g = static_cast<wxGauge*>(m.win);
  int low = static_cast<int>(::SendMessage(m.hwnd, PBM_GETRANGE, TRUE, 0));
  int high = static_cast<int>(::SendMessage(m.hwnd, PBM_GETRANGE, FALSE, 0));
  int pos = static_cast<int>(::SendMessage(m.hwnd, PBM_GETPOS, 0, 0));
  int range = std::max(1, high - low);
  if (g->GetRange() != range) g->SetRange(range);
  int value = std::clamp(pos - low, 0, range);
  if (g->GetValue() != value) g->SetValue(value);
}

wxColour colour(COLORREF c) { return wxColour(GetRValue(c), GetGValue(c), GetBValue(c)); }

// The colours the control's parent gives it when it is painted; the
// toolkit's look stays where the parent keeps the standard ones.
void show_colors(Mirror& m) {
  if (!dynamic_cast<TControl*>(window_object(m.hwnd))) return;
  TClientDC dc(m.hwnd);
  ControlColors c = ask_control_colors(m.hwnd, dc);
  ControlColors d = default_control_colors(ctlcolor_message(m.hwnd));
  bool custom = c.text != d.text || c.back != d.back || c.brush != d.brush;
  COLORREF fill = c.brushNull ? c.back : c.brush;
  // A background colour of the window's own (SetBkgndColor) comes first.
  if (WindowRef ref = find_window(m.hwnd)) {
    std::lock_guard lock(ref->mu);
    if (ref->hasBkgnd) {
      fill = ref->bkgnd;
      custom = true;
    }
  }
  std::string key = custom ? std::to_string(c.text) + "/" + std::to_string(fill) : std::string();
  if (key == m.shownColors) return;
  m.shownColors = key;
  restyle(m, [&] {
    m.win->SetForegroundColour(custom ? colour(c.text) : wxNullColour);
    m.win->SetBackgroundColour(custom ? colour(fill) : wxNullColour);
  });
  m.win->Refresh();
}

// A font the program gave this control alone (WM_SETFONT).
void show_font(Mirror& m) {
  HFONT f = nullptr;
  if (WindowRef ref = find_window(m.hwnd)) {
    std::lock_guard lock(ref->mu);
    f = ref->font;
  }
  if (f == m.shownFont) return;
  m.shownFont = f;
  restyle(m, [&] { m.win->SetFont(f ? wx_font(f) : font_for(m.hwnd)); });
  if (auto* v = dynamic_cast<wxVListBox*>(m.win)) v->RefreshAll();
  else m.win->Refresh();
}

}  // namespace

wxFont wx_font(HFONT font) {
  std::shared_ptr<GdiObject> o = find_gdi_object(font);
  if (!o || o->kind != GdiObject::Font) return font_for(nullptr);
  // One toolkit font per distinct record, and only so many of them: a
  // program making fonts in a loop does not grow this.
  static std::map<std::string, wxFont> made;
  std::string key(reinterpret_cast<const char*>(&o->logfont), sizeof o->logfont);
  if (auto it = made.find(key); it != made.end()) return it->second;
  if (made.size() >= 64) made.clear();
  const LOGFONT& lf = o->logfont;
  // The face and em size the model measures this record with.
  FontInstance fi = make_font_instance(lf, lf.lfHeight, lf.lfWidth);
  int em = std::max(1, static_cast<int>(std::lround(fi.em_pixels())));
  wxFontInfo info(wxSize(0, em));
  if (fi.file) info.FaceName(to_wx(fi.file->family));
  if (lf.lfWeight >= 600) info.Bold();
  if (lf.lfItalic) info.Italic();
  if (lf.lfUnderline) info.Underlined();
  return made[key] = wxFont(info);
}

void bind_focus(Renderer& r, wxWindow* w, HWND h) {
  w->Bind(wxEVT_SET_FOCUS, [&r, h](wxFocusEvent& e) {
    e.Skip();
    if (r.syncing() || ::GetFocus() == h) return;
    Renderer::HandlerScope scope(r);
    ::SetFocus(h);
  });
}

void make_widget(Renderer& r, Mirror& m, const Snapshot& s, wxWindow* parent) {
  if (m.topLevel) {
    make_toplevel(r, m, s, parent);
    return;
  }
  if (!parent) return;
  if (m.cls == "BUTTON") make_button(r, m, s, parent);
  else if (m.cls == "STATIC") make_static(m, s, parent);
  else if (m.cls == "EDIT") make_edit(r, m, s, parent);
  else if (m.cls == "LISTBOX") make_list(r, m, s, parent);
  else if (m.cls == "COMBOBOX") make_combo(r, m, s, parent);
  else if (m.cls == "MSCTLS_PROGRESS32") m.win = new wxGauge(parent, wxID_ANY, 100);
  else if (m.cls == "LEDIT32") make_ledit(r, m, s, parent);
  else make_painted(r, m, s, parent);
  if (!m.win) return;
  if (!m.container) m.container = m.win;
  m.win->SetFont(font_for(m.hwnd));
  bind_focus(r, m.win, m.hwnd);
}

void show_state(Renderer& r, Mirror& m, const Snapshot& s) {
  if (m.topLevel) {
    show_toplevel(r, m, s);
    return;
  }
  wxWindow* w = m.win;
  int height = s.rect.Height();
  if (m.cls == "COMBOBOX" && (s.style & CBS_TYPEMASK) != CBS_SIMPLE) height = combo_height(w, height);
  wxRect want(s.rect.left, s.rect.top, s.rect.Width(), height);
  if (w->GetRect() != want) w->SetSize(want);
  if (m.cls == "BUTTON") show_button(m, s);
  else if (m.cls == "STATIC") show_static(m, s);
  else if (m.cls == "EDIT") show_edit(r, m, s);
  else if (m.cls == "LISTBOX") show_list(m);
  else if (m.cls == "COMBOBOX") show_combo(m, s);
  else if (m.cls == "MSCTLS_PROGRESS32") show_progress(m);
  else if (m.cls == "LEDIT32") show_ledit(r, m, s);
  else if (m.container != m.win) place_mdi_child(m);
  else m.win->Refresh(false);
  show_font(m);
  show_colors(m);
  bool enabled = !(s.style & WS_DISABLED);
  if (w->IsThisEnabled() != enabled) w->Enable(enabled);
  bool visible = s.style & WS_VISIBLE;
  if (w->IsShown() != visible) w->Show(visible);
}

}  // namespace plat::wx
