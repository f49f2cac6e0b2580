// Message boxes, the bell and the common file dialogs on the desktop. A
// box is a dialog of ours with the standard icon and buttons whose letters
// answer it with or without Alt, as on Windows (the toolkit's own boxes
// show no icon on GTK 3 and want Alt). A box asked for on a worker thread
// is shown by the UI thread while the worker waits for the answer, as the
// model's boxes may come from any thread. File dialogs are the desktop's.
#include <wx/dirdlg.h>
#include <wx/filedlg.h>
#include <wx/msgdlg.h>

#include <wx/dcmemory.h>
#include <wx/settings.h>
#include <wx/statbmp.h>

#include <cctype>
#include <cstring>
#include <future>
#include <map>

#include "platform/msgbox.h"
#include "platform/path.h"
#include "platform/ui/dirdlg.h"
#include "platform/ui/filedlg.h"
#include "platform/ui/queue.h"
#include "platform/ui/window.h"
#include "platform/wx/renderer.h"

namespace plat::wx {
namespace {

MessageBoxHandler g_old_handler;
BeepHandler g_old_beep;

// The desktop's bell; a worker's beep rings from the UI thread.
void ring(UINT) {
  if (on_ui_thread()) wxBell();
  else if (wxTheApp) wxTheApp->CallAfter([] { wxBell(); });
}

wxWindow* owner_window(HWND owner) {
  Renderer* r = renderer();
  if (!r) return nullptr;
  if (Mirror* m = r->mirror(owner)) return wxGetTopLevelParent(m->win);
  return wxTheApp ? wxTheApp->GetTopWindow() : nullptr;
}

// The standard icons, drawn here so they look the same on every desktop
// (a desktop's icon theme may have none): a blue "?" or "i", a red stop
// mark, a yellow "!".
wxBitmap box_icon(UINT icon) {
  const int n = 32;
  wxBitmap bmp(n, n);
  wxMemoryDC dc(bmp);
  dc.SetBackground(wxBrush(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNFACE)));
  dc.Clear();
  wxColour fill = icon == MB_ICONHAND ? wxColour(200, 0, 0) : icon == MB_ICONEXCLAMATION ? wxColour(240, 200, 0)
                                                                                          : wxColour(0, 0, 200);
  dc.SetBrush(wxBrush(fill));
  dc.SetPen(wxPen(fill.ChangeLightness(70)));
  if (icon == MB_ICONEXCLAMATION) {
    wxPoint tri[3] = {{n / 2, 1}, {n - 2, n - 3}, {1, n - 3}};
    dc.DrawPolygon(3, tri);
  } else {
    dc.DrawCircle(n / 2, n / 2, n / 2 - 1);
  }
  dc.SetPen(wxPen(icon == MB_ICONEXCLAMATION ? *wxBLACK : *wxWHITE, 4));
  if (icon == MB_ICONHAND) {
    dc.DrawLine(10, 10, n - 10, n - 10);
    dc.DrawLine(n - 10, 10, 10, n - 10);
  } else {
    wxFont f(wxFontInfo(wxSize(0, 22)).Bold().FaceName("Liberation Serif"));
    dc.SetFont(f);
    dc.SetTextForeground(icon == MB_ICONEXCLAMATION ? *wxBLACK : *wxWHITE);
    wxString mark = icon == MB_ICONQUESTION ? "?" : icon == MB_ICONEXCLAMATION ? "!" : "i";
    wxSize t = dc.GetTextExtent(mark);
    dc.DrawText(mark, (n - t.x) / 2, (n - t.y) / 2 + (icon == MB_ICONEXCLAMATION ? 3 : 0));
  }
  dc.SelectObject(wxNullBitmap);
  return bmp;
}

struct BoxButton {
  int answer;
  const char* label;  // its mnemonic is also its plain key
};

std::vector<BoxButton> box_buttons(UINT flags) {
  switch (flags & MB_TYPEMASK) {
    case MB_OKCANCEL: return {{IDOK, "OK"}, {IDCANCEL, "&Cancel"}};
    case MB_ABORTRETRYIGNORE: return {{IDABORT, "&Abort"}, {IDRETRY, "&Retry"}, {IDIGNORE, "&Ignore"}};
    case MB_YESNOCANCEL: return {{IDYES, "&Yes"}, {IDNO, "&No"}, {IDCANCEL, "&Cancel"}};
    case MB_YESNO: return {{IDYES, "&Yes"}, {IDNO, "&No"}};
    case MB_RETRYCANCEL: return {{IDRETRY, "&Retry"}, {IDCANCEL, "&Cancel"}};
    default: return {{IDOK, "OK"}};
  }
}

// What Esc and the close box answer: Cancel where there is one, OK in a
// box with only OK; a Yes/No box has no way out but its buttons.
int escape_answer(const std::vector<BoxButton>& buttons) {
  for (const BoxButton& b : buttons)
    if (b.answer == IDCANCEL) return IDCANCEL;
  return buttons.size() == 1 ? buttons[0].answer : 0;
}

BoxInfo g_box;

int show_box(HWND owner, const std::string& text, const std::string& caption, UINT flags) {
  std::vector<BoxButton> buttons = box_buttons(flags);
  int escape = escape_answer(buttons);
  long frame = wxCAPTION | (escape ? wxSYSTEM_MENU | wxCLOSE_BOX : 0);
  wxDialog box(owner_window(owner), wxID_ANY, to_wx(caption), wxDefaultPosition, wxDefaultSize, frame);
  auto* rows = new wxBoxSizer(wxVERTICAL);
  auto* top = new wxBoxSizer(wxHORIZONTAL);
  UINT icon = flags & MB_ICONMASK;
  wxStaticBitmap* pic = nullptr;
  if (icon) {
    pic = new wxStaticBitmap(&box, wxID_ANY, box_icon(icon));
    top->Add(pic, 0, wxALL | wxALIGN_TOP, 12);
  }
  top->Add(new wxStaticText(&box, wxID_ANY, to_wx(text)), 1, wxALL | wxALIGN_CENTER_VERTICAL, 12);
  rows->Add(top, 1, wxEXPAND);
  auto* row = new wxBoxSizer(wxHORIZONTAL);
  int def = (flags & 0x300u) >> 8;  // MB_DEFBUTTON2, MB_DEFBUTTON3
  if (def >= static_cast<int>(buttons.size())) def = 0;
  std::map<int, int> keys;  // plain letter -> answer
  for (size_t i = 0; i < buttons.size(); ++i) {
    const BoxButton& b = buttons[i];
    auto* btn = new wxButton(&box, wxID_HIGHEST + b.answer, b.label);
    btn->SetMinSize(wxSize(76, -1));
    int answer = b.answer;
    btn->Bind(wxEVT_BUTTON, [&box, answer](wxCommandEvent&) { box.EndModal(answer); });
    if (static_cast<int>(i) == def) {
      btn->SetDefault();
      btn->SetFocus();
    }
    if (const char* amp = std::strchr(b.label, '&')) keys[std::toupper(static_cast<unsigned char>(amp[1]))] = answer;
    row->Add(btn, 0, wxALL, 6);
  }
  rows->Add(row, 0, wxALIGN_CENTER | wxBOTTOM, 6);
  box.SetSizerAndFit(rows);
  box.CentreOnParent();
  box.Bind(wxEVT_CHAR_HOOK, [&box, &keys, escape, def, &buttons](wxKeyEvent& e) {
    int k = e.GetKeyCode();
    if (k == WXK_ESCAPE) {
      if (escape) box.EndModal(escape);
      return;
    }
    if (k == WXK_RETURN || k == WXK_NUMPAD_ENTER) {
      // Enter presses the focused button, as on Windows.
      if (auto* b = dynamic_cast<wxButton*>(wxWindow::FindFocus()); b && b->GetParent() == &box)
        box.EndModal(b->GetId() - wxID_HIGHEST);
      else
        box.EndModal(buttons[def].answer);
      return;
    }
    // A button's letter, with or without Alt.
    if (!e.ControlDown() && k < 128) {
      auto it = keys.find(std::toupper(k));
      if (it != keys.end()) {
        box.EndModal(it->second);
        return;
      }
    }
    e.Skip();
  });
  box.Bind(wxEVT_CLOSE_WINDOW, [&box, escape](wxCloseEvent& e) {
    if (escape) box.EndModal(escape);
    else if (e.CanVeto()) e.Veto();
  });
  box.Bind(wxEVT_SHOW, [&box, pic, icon](wxShowEvent& e) {
    e.Skip();
    if (!e.IsShown()) return;
    g_box.icon = icon;
    g_box.iconRect = pic ? pic->GetScreenRect() : wxRect();
    g_box.dialog = &box;
  });
  int answer = box.ShowModal();
  g_box.dialog = nullptr;
  Renderer* r = renderer();
  if (r) r->note_activity();
  return answer > 0 ? answer : (escape ? escape : buttons[def].answer);
}

int box_handler(HWND owner, const std::string& text, const std::string& caption, UINT flags) {
  if (on_ui_thread()) return show_box(owner, text, caption, flags);
  auto answer = std::make_shared<std::promise<int>>();
  std::future<int> result = answer->get_future();
  wxTheApp->CallAfter([=] { answer->set_value(show_box(owner, text, caption, flags)); });
  return result.get();
}

// A native path under a drive's root goes back into the DOS form the
// program keeps ("C:\NC\P17.NC"); any other stays native.
std::string program_path(const std::string& native) {
  for (char d = 'A'; d <= 'Z'; ++d) {
    std::string root = drive_root(d);
    if (root.empty() || native.compare(0, root.size(), root) != 0) continue;
    if (native.size() > root.size() && native[root.size()] != '/') continue;
    std::string rest = native.substr(root.size());
    for (char& c : rest)
      if (c == '/') c = '\\';
    if (rest.empty() || rest[0] != '\\') rest.insert(rest.begin(), '\\');
    return std::string(1, d) + ":" + rest;
  }
  return native;
}

}  // namespace

const BoxInfo& box_info() { return g_box; }

void install_boxes() {
  g_old_handler = set_message_box_handler(box_handler);
  g_old_beep = set_beep_handler(ring);
}

void remove_boxes() {
  set_message_box_handler(std::move(g_old_handler));
  g_old_handler = nullptr;
  set_beep_handler(std::move(g_old_beep));
  g_old_beep = nullptr;
}

bool answer_file_dialog(TDialog& dlg) {
  if (auto* dd = dynamic_cast<TDirectoryDialog*>(&dlg)) {
    std::string start = dd->GetStart().empty() ? std::string() : to_native_path(dd->GetStart());
    wxDirDialog box(owner_window(dlg.GetParent()), to_wx(dlg.GetText()), to_wx(start), wxDD_DIR_MUST_EXIST);
    if (box.ShowModal() != wxID_OK) dlg.Destroy(IDCANCEL);
    else dd->Choose(program_path(from_wx(box.GetPath())));
    return true;
  }
  auto* fd = dynamic_cast<TOpenSaveDialog*>(&dlg);
  if (!fd) return false;
  TOpenSaveDialog::TData& data = fd->GetData();
  wxString wildcard;
  for (const auto& [desc, pattern] : parse_file_filter(data.Filter)) {
    if (!wildcard.empty()) wildcard += "|";
    wildcard += to_wx(desc) + "|" + to_wx(pattern);
  }
  if (wildcard.empty()) wildcard = "*";
  long style = fd->IsSave() ? wxFD_SAVE : wxFD_OPEN;
  if (fd->IsSave() && (data.Flags & OFN_OVERWRITEPROMPT)) style |= wxFD_OVERWRITE_PROMPT;
  if (!fd->IsSave() && (data.Flags & OFN_FILEMUSTEXIST)) style |= wxFD_FILE_MUST_EXIST;
  std::string dir = data.InitialDir.empty() ? std::string() : to_native_path(data.InitialDir);
  std::string name = data.FileName;
  size_t sep = name.find_last_of("\\/");
  if (sep != std::string::npos) {
    if (dir.empty()) dir = to_native_path(name.substr(0, sep + 1));
    name = name.substr(sep + 1);
  }
  wxFileDialog box(owner_window(dlg.GetParent()), to_wx(dlg.GetText()), to_wx(dir), to_wx(name), wildcard, style);
  if (data.FilterIndex > 0) box.SetFilterIndex(data.FilterIndex - 1);
  if (box.ShowModal() != wxID_OK) {
    dlg.Destroy(IDCANCEL);
    return true;
  }
  data.FilterIndex = box.GetFilterIndex() + 1;
  fd->Choose(program_path(from_wx(box.GetPath())));
  return true;
}

}  // namespace plat::wx
