// What the window layer does for plug-ins (platform/plugin_abi.h): message
// boxes, the directory and file choices, printing a document a plug-in
// lays out, a picture viewer and a plain text editor. Each runs as a modal
// dialog of the model, so the desktop shows it and tests answer it through
// the driver like any other.
#include "platform/ui/plugin_services.h"

#include <cairo.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/msgbox.h"
#include "platform/path.h"
#include "platform/plugin.h"
#include "platform/ui/app_state.h"
#include "platform/ui/application.h"
#include "platform/ui/dialog.h"
#include "platform/ui/dirdlg.h"
#include "platform/ui/filedlg.h"
#include "platform/ui/gdi_bmp.h"
#include "platform/ui/gdi_object.h"
#include "platform/ui/listbox.h"
#include "platform/ui/print.h"
#include "platform/ui/resource.h"
#include "platform/ui/response_table.h"
#include "platform/ui/window.h"

namespace plat {
namespace {

const char* kServiceTemplates = R"(
dialog 1540 "Pictures" 0 0 330 200
  style WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME
  listbox     101  ""  6   6 100 170  WS_VSCROLL
  control     102  ""  "KvPicture" 112 6 212 170
  pushbutton    2  "Close" 274 180 50 14
end
dialog 1541 "Text" 0 0 320 200
  edit        101  ""  6   6 308 170  ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_VSCROLL | not ES_AUTOHSCROLL
  defpushbutton 1  "OK"     208 180 50 14
  pushbutton    2  "Cancel" 264 180 50 14
end
)";

void ensure_templates() {
  static std::mutex mu;
  std::lock_guard lock(mu);
  std::string err;
  add_dialog_templates(kServiceTemplates, "plug-in dialogs", &err);
}

bool fits(const std::string& text, char* out, size_t outSize) {
  if (!out || text.size() >= outSize) return false;
  std::memcpy(out, text.c_str(), text.size() + 1);
  return true;
}

bool read_whole(const std::string& path, std::string& text) {
  File f = create_file(path, Access::read, Share::read, Disposition::open_existing);
  if (!f.is_open()) return false;
  text.clear();
  char piece[16384];
  for (;;) {
    int64_t n = read(f, piece, sizeof piece);
    if (n < 0) return false;
    if (n == 0) return true;
    text.append(piece, static_cast<size_t>(n));
  }
}

bool write_whole(const std::string& path, const std::string& text) {
  File f = create_file(path, Access::write, Share::read, Disposition::create_always);
  if (!f.is_open()) return false;
  bool ok = text.empty() || write(f, text.data(), text.size()) == static_cast<int64_t>(text.size());
  return close(f) && ok;
}

// ---- pictures ----

}  // namespace

bool load_picture(const std::string& path, Image& out, std::string& error) {
  std::string native = to_native_path(path);
  size_t dot = native.find_last_of('.');
  std::string ext = dot == std::string::npos ? "" : native.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == "bmp") return read_bmp_file(native, out, error);
  if (ext != "png") {
    error = "pictures of this kind cannot be shown (PNG and BMP can)";
    return false;
  }
  cairo_surface_t* s = cairo_image_surface_create_from_png(native.c_str());
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
    error = cairo_status_to_string(cairo_surface_status(s));
    cairo_surface_destroy(s);
    return false;
  }
  cairo_surface_flush(s);
  int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
  int stride = cairo_image_surface_get_stride(s);
  const unsigned char* data = cairo_image_surface_get_data(s);
  out = Image(w, h);
  for (int y = 0; y < h; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y) * stride);
    for (int x = 0; x < w; ++x) {
      // Premultiplied ARGB over white.
      uint32_t p = row[x];
      uint32_t a = p >> 24;
      auto over = [a](uint32_t c) { return c + (255 - a); };
      out.px[static_cast<size_t>(y) * w + x] =
          (over((p >> 16) & 0xFF) << 16) | (over((p >> 8) & 0xFF) << 8) | over(p & 0xFF);
    }
  }
  cairo_surface_destroy(s);
  return true;
}

namespace {

// Shows one picture, scaled down to fit and centred; or why it cannot.
class TPicturePane : public TWindow {
 public:
  TPicturePane(TWindow* parent, int id) : TWindow(parent) { Attr.Id = id; }
  void Show(const std::string& path) {
    Picture = std::make_shared<Image>();
    if (!load_picture(path, *Picture, Why)) Picture.reset();
    Invalidate();
  }
  const std::string& Problem() const { return Why; }
  void Paint(TDC& dc, bool, TRect&) override {
    TRect r = GetClientRect();
    if (!Picture) {
      if (!Why.empty()) dc.TextOut(4, 4, Why.c_str());
      return;
    }
    double scale = std::min({1.0, double(r.Width()) / std::max(1, Picture->width),
                             double(r.Height()) / std::max(1, Picture->height)});
    int w = std::max(1, int(Picture->width * scale)), h = std::max(1, int(Picture->height * scale));
    TRect dst(r.left + (r.Width() - w) / 2, r.top + (r.Height() - h) / 2, 0, 0);
    dst.right = dst.left + w;
    dst.bottom = dst.top + h;
    dc.StretchDIBits(dst, TRect(0, 0, Picture->width, Picture->height), *Picture);
  }

 protected:
  const char* WindowClass() const override { return "KvPicture"; }

 private:
  std::shared_ptr<Image> Picture;
  std::string Why;
};

}  // namespace
}  // namespace plat

TPictureViewer::TPictureViewer(TWindow* parent, const char* title, std::vector<std::string> files)
    : TDialog(parent, kTemplate), Files(std::move(files)) {
  plat::ensure_templates();
  if (title) SetCaption(title);
}

DEFINE_RESPONSE_TABLE1(TPictureViewer, TDialog)
  EV_LBN_SELCHANGE(kListId, EvPick),
END_RESPONSE_TABLE;

void TPictureViewer::SetupWindow() {
  TDialog::SetupWindow();
  auto* list = static_cast<TListBox*>(ChildWithId(kListId));
  for (const std::string& f : Files) {
    size_t sep = f.find_last_of("\\/");
    list->AddString((sep == std::string::npos ? f : f.substr(sep + 1)).c_str());
  }
  if (!Files.empty()) {
    list->SetSelIndex(0);
    EvPick();
  }
}

void TPictureViewer::EvPick() {
  auto* list = static_cast<TListBox*>(ChildWithId(kListId));
  auto* pane = static_cast<plat::TPicturePane*>(ChildWithId(kPaneId));
  int i = list ? list->GetSelIndex() : -1;
  if (pane && i >= 0 && i < static_cast<int>(Files.size())) pane->Show(Files[static_cast<size_t>(i)]);
}

std::string TPictureViewer::Problem() const {
  auto* pane = dynamic_cast<plat::TPicturePane*>(ChildWithId(kPaneId));
  return pane ? pane->Problem() : std::string();
}

TTextFileDialog::TTextFileDialog(TWindow* parent, const char* title, const std::string& path)
    : TDialog(parent, kTemplate), Path(path) {
  plat::ensure_templates();
  if (title) SetCaption(title);
}

void TTextFileDialog::SetupWindow() {
  TDialog::SetupWindow();
  std::string text;
  if (!plat::read_whole(Path, text)) {
    MessageBox(("The file " + Path + " cannot be read: " + plat::error_text(plat::last_error())).c_str(), "Text",
               MB_OK | MB_ICONSTOP);
    Failed = true;
    Destroy(IDCANCEL);
    return;
  }
  SetDlgItemText(kEditId, text.c_str());
}

void TTextFileDialog::CmOk() {
  HWND edit = GetDlgItem(kEditId);
  std::string text(static_cast<size_t>(::SendMessage(edit, WM_GETTEXTLENGTH, 0, 0)) + 1, '\0');
  text.resize(static_cast<size_t>(::SendMessage(edit, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
  if (!plat::write_whole(Path, text)) {
    // The user's text stays in the window: the file was not written.
    MessageBox(("The file " + Path + " cannot be written: " + plat::error_text(plat::last_error())).c_str(), "Text",
               MB_OK | MB_ICONSTOP);
    return;
  }
  TDialog::CmOk();
}

namespace plat {
namespace {

// ---- printing a plug-in's document ----

struct PrintState {
  TPrintDC* dc = nullptr;
  std::unique_ptr<TFont> font;
};

void page_select_font(void* dc, const char* face, int points, int bold) {
  auto* st = static_cast<PrintState*>(dc);
  int dpi = st->dc->GetDeviceCaps(LOGPIXELSY);
  st->font = std::make_unique<TFont>(face ? face : "Courier New", -points * dpi / 72, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL);
  st->dc->SelectObject(*st->font);
}

int page_line_height(void* dc) {
  TEXTMETRIC tm{};
  static_cast<PrintState*>(dc)->dc->GetTextMetrics(tm);
  return std::max(1, static_cast<int>(tm.tmHeight + tm.tmExternalLeading));
}

int page_text_width(void* dc, const char* text) {
  return static_cast<PrintState*>(dc)->dc->GetTextExtent(text ? text : "").cx;
}

void page_text_out(void* dc, int x, int y, const char* text) {
  if (text) static_cast<PrintState*>(dc)->dc->TextOut(x, y, text);
}

void page_line(void* dc, int x0, int y0, int x1, int y1) {
  TPrintDC* d = static_cast<PrintState*>(dc)->dc;
  d->MoveTo(x0, y0);
  d->LineTo(x1, y1);
}

class TPluginPrintout : public TPrintout {
 public:
  TPluginPrintout(const char* title, const kv_print_job& job) : TPrintout(title), Job(job) {}
  void SetPrintParams(TPrintDC* dc, TSize pageSize) override {
    TPrintout::SetPrintParams(dc, pageSize);
    if (!dc) return;
    Pages = std::max(0, Job.layout(Job.context, Page(dc)));
    if (State.font) dc->RestoreFont();
  }
  void GetDialogInfo(int& minPage, int& maxPage, int& from, int& to) override {
    minPage = 1;
    maxPage = Pages;
    from = to = 0;
  }
  bool HasPage(int page) override { return page >= 1 && page <= Pages; }
  void PrintPage(int page, TRect&, unsigned) override {
    Job.draw_page(Job.context, Page(GetDC()), page);
    if (State.font) GetDC()->RestoreFont();
  }

 private:
  const kv_print_page* Page(TPrintDC* dc) {
    State.dc = dc;
    State.font.reset();
    PageInfo = {&State, PageSize.cx, PageSize.cy, dc->GetDeviceCaps(LOGPIXELSY), &page_select_font,
                &page_line_height, &page_text_width, &page_text_out, &page_line};
    return &PageInfo;
  }
  const kv_print_job& Job;
  PrintState State;
  kv_print_page PageInfo{};
  int Pages = 0;
};

// ---- the services ----

// Plug-ins name no owner (their parameter blocks carry no window): their
// windows belong to the one the user works in, the top-level window that
// holds the focus, else the main window, so they open over the program
// and not at the screen's corner.
TWindow* owner_of(HWND owner) {
  if (owner) return window_object(owner);
  TWindow* w = window_object(::GetFocus());
  while (w && (w->GetStyle() & WS_CHILD) && w->GetParentO()) w = w->GetParentO();
  if (w && w->GetHandle() && w->IsWindowVisible()) return w;
  TApplication* a = app();
  return a ? a->GetMainWindow() : nullptr;
}

int service_message_box(HWND owner, const char* text, const char* caption, UINT flags) {
  TWindow* w = owner_of(owner);
  return ::MessageBox(w ? w->GetHandle() : nullptr, text ? text : "", caption, flags);
}

int service_choose_directory(HWND owner, const char* title, const char* start, char* out, size_t outSize) {
  TDirectoryDialog dlg(owner_of(owner), title, start ? start : "");
  if (dlg.Execute() != IDOK) return 0;
  return fits(dlg.GetChosen(), out, outSize) ? 1 : 0;
}

int service_choose_file(HWND owner, const char* title, const char* startDir, const char* filter, char* out,
                        size_t outSize) {
  // The program's current directory follows the choice, as the file dialog has it.
  TOpenSaveDialog::TData data(OFN_FILEMUSTEXIST | OFN_HIDEREADONLY, filter, nullptr, startDir,
                              nullptr, static_cast<int>(std::max<size_t>(outSize, 1)));
  TFileOpenDialog dlg(owner_of(owner), data);
  if (title) dlg.SetCaption(title);
  if (dlg.Execute() != IDOK || data.Error) return 0;
  return fits(data.FileName, out, outSize) ? 1 : 0;
}

int service_print(HWND owner, const char* title, const kv_print_job* job, char* file, size_t fileSize) {
  if (!job || !job->layout || !job->draw_page) return -1;
  TPrinter printer;
  TPluginPrintout printout(title ? title : "", *job);
  if (!printer.Print(owner_of(owner), printout, true)) return printer.GetErrorText().empty() ? 0 : -1;
  if (file && fileSize) fits(printer.LastFile(), file, fileSize);
  return 1;
}

void service_show_pictures(HWND owner, const char* title, const char* const* files, int count) {
  std::vector<std::string> list;
  for (int i = 0; files && i < count; ++i)
    if (files[i]) list.emplace_back(files[i]);
  TPictureViewer(owner_of(owner), title, std::move(list)).Execute();
}

int service_edit_text_file(HWND owner, const char* title, const char* path) {
  TTextFileDialog dlg(owner_of(owner), title, path ? path : "");
  int result = dlg.Execute();
  if (dlg.HasFailed()) return -1;
  return result == IDOK ? 1 : 0;
}

const kv_plugin_ui kServices = {sizeof(kv_plugin_ui),     &service_message_box,   &service_choose_directory,
                                &service_choose_file,     &service_print,         &service_show_pictures,
                                &service_edit_text_file};

}  // namespace

void register_plugin_services() {
  register_window_class("KvPicture", [](TWindow* parent, int id) -> TWindow* { return new TPicturePane(parent, id); });
  set_plugin_ui(&kServices);
}

}  // namespace plat
