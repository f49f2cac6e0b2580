// Edits on screen. The model decides what an edit holds: whatever the
// user does to the widget (typing, deleting, a middle-click paste) is
// taken as the difference between what the widget shows and what the
// model holds, and handed to the model as typed characters, so limits,
// capitals, read-only and validators act as they do headless; the widget
// then shows the model's result. Copy, cut and paste go through the
// model's clipboard calls (a password never leaves the edit).
#include <wx/textctrl.h>

#include "platform/ui/window.h"
#include "platform/wx/renderer.h"

namespace plat::wx {
namespace {

// A multi-line edit keeps "\r\n" line ends; the widget shows "\n".
std::string shown(const std::string& model, bool multiline) {
  if (!multiline) return model;
  std::string out;
  out.reserve(model.size());
  for (size_t i = 0; i < model.size(); ++i)
    if (!(model[i] == '\r' && i + 1 < model.size() && model[i + 1] == '\n')) out += model[i];
  return out;
}

size_t model_offset(const std::string& model, size_t shownOffset, bool multiline) {
  if (!multiline) return std::min(shownOffset, model.size());
  size_t i = 0;
  for (size_t n = 0; i < model.size() && n < shownOffset; ++n)
    i += (model[i] == '\r' && i + 1 < model.size() && model[i + 1] == '\n') ? 2 : 1;
  return i;
}

size_t shown_offset(const std::string& model, size_t modelOffset, bool multiline) {
  if (!multiline) return modelOffset;
  size_t n = 0;
  for (size_t i = 0; i < model.size() && i < modelOffset; ++n)
    i += (model[i] == '\r' && i + 1 < model.size() && model[i + 1] == '\n') ? 2 : 1;
  return n;
}

void select_in_model(HWND h, wxTextCtrl* t, const std::string& model, bool multiline) {
  long from = 0, to = 0;
  t->GetSelection(&from, &to);
  ::SendMessage(h, EM_SETSEL, model_offset(model, static_cast<size_t>(from), multiline),
                static_cast<LPARAM>(model_offset(model, static_cast<size_t>(to), multiline)));
}

void user_changed_text(Renderer& r, HWND h, wxTextCtrl* t) {
  if (r.syncing()) return;
  Renderer::HandlerScope scope(r);
  Snapshot s;
  if (!snapshot(h, s)) return;
  bool ml = s.style & ES_MULTILINE;
  std::string now = from_wx(t->GetValue());
  std::string was = shown(s.text, ml);
  r.window_changed(h);  // whatever happens, show the model's text again
  if (now == was) return;
  size_t p = 0;
  while (p < now.size() && p < was.size() && now[p] == was[p]) ++p;
  size_t q = 0;
  while (q < now.size() - p && q < was.size() - p && now[now.size() - 1 - q] == was[was.size() - 1 - q]) ++q;
  size_t from = model_offset(s.text, p, ml), to = model_offset(s.text, was.size() - q, ml);
  ::SendMessage(h, EM_SETSEL, from, static_cast<LPARAM>(to));
  if (to > from) ::SendMessage(h, WM_CHAR, '\b', 0);
  for (char c : now.substr(p, now.size() - q - p)) {
    if (ml && c == '\n') ::SendMessage(h, WM_CHAR, '\r', 0);
    ::SendMessage(h, WM_CHAR, static_cast<unsigned char>(c), 0);
  }
}

// Copy, cut, paste and delete act on the widget's selection in the model.
void clipboard_action(Renderer& r, HWND h, wxTextCtrl* t, UINT msg) {
  Renderer::HandlerScope scope(r);
  Snapshot s;
  if (!snapshot(h, s)) return;
  select_in_model(h, t, s.text, s.style & ES_MULTILINE);
  ::SendMessage(h, msg, 0, 0);
  r.window_changed(h);
}

}  // namespace

void make_edit(Renderer& r, Mirror& m, const Snapshot& s, wxWindow* parent) {
  HWND h = m.hwnd;
  long st = 0;
  if (s.style & ES_MULTILINE) {
    st |= wxTE_MULTILINE;
    if (s.style & WS_HSCROLL) st |= wxHSCROLL | wxTE_DONTWRAP;
  }
  if (s.style & ES_PASSWORD) st |= wxTE_PASSWORD;
  if (s.style & ES_CENTER) st |= wxTE_CENTRE;
  else if (s.style & ES_RIGHT) st |= wxTE_RIGHT;
  if (!(s.style & WS_BORDER) && !(s.exStyle & WS_EX_CLIENTEDGE)) st |= wxBORDER_NONE;
  auto* t = new wxTextCtrl(parent, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize, st);
  t->Bind(wxEVT_TEXT, [&r, h, t](wxCommandEvent&) { user_changed_text(r, h, t); });
  t->Bind(wxEVT_TEXT_COPY, [&r, h, t](wxClipboardTextEvent&) { clipboard_action(r, h, t, WM_COPY); });
  t->Bind(wxEVT_TEXT_CUT, [&r, h, t](wxClipboardTextEvent&) { clipboard_action(r, h, t, WM_CUT); });
  t->Bind(wxEVT_TEXT_PASTE, [&r, h, t](wxClipboardTextEvent&) { clipboard_action(r, h, t, WM_PASTE); });
  m.win = t;
}

void restyle(Mirror& m, const std::function<void()>& change) {
  auto* t = dynamic_cast<wxTextCtrl*>(m.win);
  if (!t || !t->IsMultiLine()) {
    change();
    return;
  }
  long pos = t->GetInsertionPoint();
  change();
  t->SetInsertionPoint(pos);
  t->ShowPosition(pos);
}

void show_edit(Renderer&, Mirror& m, const Snapshot& s) {
  auto* t = static_cast<wxTextCtrl*>(m.win);
  bool ml = s.style & ES_MULTILINE;
  std::string want = shown(s.text, ml);
  if (from_wx(t->GetValue()) != want) {
    DWORD selStart = 0, selEnd = 0;
    ::SendMessage(m.hwnd, EM_GETSEL, reinterpret_cast<WPARAM>(&selStart), reinterpret_cast<LPARAM>(&selEnd));
    t->ChangeValue(to_wx(want));
    t->SetInsertionPoint(static_cast<long>(shown_offset(s.text, selEnd, ml)));
  }
  bool editable = !(s.style & ES_READONLY);
  if (t->IsEditable() != editable) t->SetEditable(editable);
}

}  // namespace plat::wx
