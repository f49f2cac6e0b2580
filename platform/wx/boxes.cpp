// Message boxes and the common file dialogs as the desktop's own. A box
// asked for on a worker thread is shown by the UI thread while the worker
// waits for the answer, as the model's boxes may come from any thread.
#include <wx/filedlg.h>
#include <wx/msgdlg.h>

#include <future>

#include "platform/msgbox.h"
#include "platform/path.h"
#include "platform/ui/filedlg.h"
#include "platform/ui/queue.h"
#include "platform/ui/window.h"
#include "platform/wx/renderer.h"

namespace plat::wx {
namespace {

MessageBoxHandler g_old_handler;

wxWindow* owner_window(HWND owner) {
  Renderer* r = renderer();
  if (!r) return nullptr;
  if (Mirror* m = r->mirror(owner)) return wxGetTopLevelParent(m->win);
  return wxTheApp ? wxTheApp->GetTopWindow() : nullptr;
}

int show_box(HWND owner, const std::string& text, const std::string& caption, UINT flags) {
  long style = 0;
  switch (flags & 0x0F) {
    case MB_OKCANCEL: style = wxOK | wxCANCEL; break;
    case MB_YESNOCANCEL: style = wxYES_NO | wxCANCEL; break;
    case MB_YESNO: style = wxYES_NO; break;
    default: style = wxOK; break;
  }
  switch (flags & 0xF0) {
    case MB_ICONHAND: style |= wxICON_ERROR; break;
    case MB_ICONQUESTION: style |= wxICON_QUESTION; break;
    case MB_ICONEXCLAMATION: style |= wxICON_WARNING; break;
    case MB_ICONINFORMATION: style |= wxICON_INFORMATION; break;
    default: break;
  }
  wxMessageDialog box(owner_window(owner), to_wx(text), to_wx(caption), style);
  switch (box.ShowModal()) {
    case wxID_YES: return IDYES;
    case wxID_NO: return IDNO;
    case wxID_CANCEL: return IDCANCEL;
    default: return (style & wxCANCEL) && !(style & wxOK) ? IDCANCEL : IDOK;
  }
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

void install_boxes() { g_old_handler = set_message_box_handler(box_handler); }

void remove_boxes() {
  set_message_box_handler(std::move(g_old_handler));
  g_old_handler = nullptr;
}

bool answer_file_dialog(TDialog& dlg) {
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
