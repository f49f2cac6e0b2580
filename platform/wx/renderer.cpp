// The renderer's life and loop: starting the toolkit, the observer calls
// of the model, and the wait the model's loops use while a desktop runs.
#include "platform/wx/renderer.h"

#include <glib.h>
#include <wx/clipbrd.h>
#include <wx/evtloop.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "platform/ui/app_state.h"
#include "platform/ui/dialog.h"
#include "platform/ui/dirdlg.h"
#include "platform/ui/filedlg.h"
#include "platform/ui/handles.h"
#include "platform/ui/queue.h"
#include "platform/ui/window.h"
#include "platform/wx/desktop.h"

namespace plat::wx {
namespace {

Renderer* g_renderer = nullptr;

class RendererApp : public wxApp {
 public:
  bool OnInit() override { return true; }
  // The user acts on what the program holds now. A click or key that came
  // while the program was busy changing a window (a list refilled after a
  // search) would otherwise be taken by the toolkit against what it still
  // shows from before, and the change shown after it would undo the
  // user's pick: the changes go to the screen first.
  int FilterEvent(wxEvent& e) override {
    wxEventType t = e.GetEventType();
    bool input = t == wxEVT_LEFT_DOWN || t == wxEVT_LEFT_DCLICK || t == wxEVT_RIGHT_DOWN ||
                 t == wxEVT_MIDDLE_DOWN || t == wxEVT_CHAR_HOOK || t == wxEVT_MOUSEWHEEL;
    if (input && g_renderer && !g_renderer->syncing()) g_renderer->flush(false);
    return Event_Skip;
  }
};
constexpr int kSleepMs = 1000;
wxGUIEventLoop* g_loop = nullptr;
UiHost g_old_host;
bool g_toolkit_started = false;

}  // namespace

Renderer* renderer() { return g_renderer; }

bool snapshot(HWND h, Snapshot& s) {
  WindowRef ref = find_window(h);
  if (!ref) return false;
  std::lock_guard lock(ref->mu);
  if (!ref->object) return false;
  s.cls = ref->className;
  for (char& c : s.cls) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  s.text = ref->text;
  s.style = ref->style;
  s.exStyle = ref->exStyle;
  s.id = ref->id;
  s.rect = ref->rect;
  s.parent = ref->parent;
  return true;
}

Renderer::Renderer() = default;
Renderer::~Renderer() = default;

Renderer::ReadScope::ReadScope() : r_(g_renderer) {
  if (r_) ++r_->syncing_;
}

Renderer::ReadScope::~ReadScope() {
  if (r_) --r_->syncing_;
}

Renderer::HandlerScope::~HandlerScope() {
  r_.activity_ = true;
  // The toolkit is still inside the event of the widget: show the model's
  // changes now, but throw windows away only from the loop.
  if (--r_.handlerDepth_ == 0) r_.flush(false);
}

void Renderer::widget_gone(wxWindow* w) {
  for (auto it = mirrors_.begin(); it != mirrors_.end();) {
    wxWindow* x = it->second.win;
    if (x == w || wxGetTopLevelParent(x) == w) {
      it->second.modal.reset();
      byWidget_.erase(x);
      it = mirrors_.erase(it);
    } else {
      ++it;
    }
  }
}

void Renderer::window_created(HWND h) {
  std::lock_guard lock(mu_);
  created_.push_back(h);
}

void Renderer::window_destroyed(HWND h) {
  if (!on_ui_thread()) {
    // Its real window goes when the UI thread next looks.
    {
      std::lock_guard lock(mu_);
      destroyed_.push_back(h);
    }
    wake_ui_loop();
    return;
  }
  {
    std::lock_guard lock(mu_);
    dirty_.erase(h);
    if (focus_ == h) focusPending_ = false;
  }
  if (focusWaiting_ == h) focusWaiting_ = nullptr;
  forget(h);
}

void Renderer::window_changed(HWND h) {
  bool ui = on_ui_thread();
  if (ui && syncing_) return;  // our own reads of the state
  {
    std::lock_guard lock(mu_);
    dirty_.insert(h);
  }
  if (!ui) wake_ui_loop();
}

void Renderer::focus_changed(HWND h) {
  if (on_ui_thread() && syncing_) return;
  std::lock_guard lock(mu_);
  focus_ = h;
  focusPending_ = true;
}

void Renderer::clipboard_set(const std::string& text) {
  if (!on_ui_thread()) {
    // The desktop's clipboard is the UI thread's: it takes the text next.
    {
      std::lock_guard lock(mu_);
      clipboardPending_ = text;
    }
    wake_ui_loop();
    return;
  }
  if (wxTheClipboard->Open()) {
    wxTheClipboard->SetData(new wxTextDataObject(to_wx(text)));
    wxTheClipboard->Flush();
    wxTheClipboard->Close();
  }
}

std::optional<std::string> Renderer::clipboard_get() {
  if (!on_ui_thread()) return std::nullopt;
  std::optional<std::string> out;
  if (wxTheClipboard->Open()) {
    if (wxTheClipboard->IsSupported(wxDF_UNICODETEXT) || wxTheClipboard->IsSupported(wxDF_TEXT)) {
      wxTextDataObject data;
      if (wxTheClipboard->GetData(data)) out = from_wx(data.GetText());
    }
    wxTheClipboard->Close();
  }
  return out;
}

Mirror* Renderer::mirror(HWND h) {
  auto it = mirrors_.find(h);
  return it == mirrors_.end() ? nullptr : &it->second;
}

HWND Renderer::hwnd_of(wxWindow* w) const {
  auto it = byWidget_.find(w);
  return it == byWidget_.end() ? nullptr : it->second;
}

void Renderer::create_mirror(HWND h) {
  if (mirrors_.count(h)) return;
  Snapshot s;
  if (!snapshot(h, s)) return;
  TWindow* obj = window_object(h);
  // The common file dialogs are native dialogs of their own.
  if (dynamic_cast<TOpenSaveDialog*>(obj) || dynamic_cast<TDirectoryDialog*>(obj)) return;
  bool topLevel = !(s.style & WS_CHILD);
  wxWindow* parent = nullptr;
  if (s.parent) {
    Mirror* pm = mirror(s.parent);
    if (!pm) {
      if (!topLevel) return;  // a child of a window we do not show
    } else {
      parent = topLevel ? wxGetTopLevelParent(pm->win) : pm->container;
    }
  }
  Mirror m;
  m.hwnd = h;
  m.cls = s.cls;
  m.topLevel = topLevel;
  m.createdStyle = s.style;
  ++syncing_;
  make_widget(*this, m, s, parent);
  --syncing_;
  if (!m.win) return;
  byWidget_[m.win] = h;
  Mirror& stored = mirrors_[h] = std::move(m);
  ++syncing_;
  show_state(*this, stored, s);
  --syncing_;
}

void Renderer::sync(HWND h) {
  Mirror* m = mirror(h);
  if (!m) return;
  Snapshot s;
  if (!snapshot(h, s)) return;
  ++syncing_;
  show_state(*this, *m, s);
  --syncing_;
}

void Renderer::forget(HWND h) {
  auto it = mirrors_.find(h);
  if (it == mirrors_.end()) return;
  Mirror& m = it->second;
  m.modal.reset();
  wxWindow* w = m.win;
  wxWindow* buddy = m.buddy;
  byWidget_.erase(w);
  mirrors_.erase(it);
  if (!w) return;
  ++syncing_;
  w->Hide();
  --syncing_;
  graveyard_.push_back(w);
  if (buddy) graveyard_.push_back(buddy);
}

void Renderer::flush(bool bury) {
  if (!on_ui_thread()) return;
  for (int round = 0; round < 4; ++round) {
    std::vector<HWND> created, destroyed;
    std::set<HWND> dirty;
    HWND focus = nullptr;
    bool focusPending;
    {
      std::lock_guard lock(mu_);
      created.swap(created_);
      destroyed.swap(destroyed_);
      dirty.swap(dirty_);
      focus = focus_;
      focusPending = focusPending_;
      focusPending_ = false;
    }
    if (created.empty() && destroyed.empty() && dirty.empty() && !focusPending) break;
    for (HWND h : created) create_mirror(h);
    for (HWND h : destroyed) forget(h);
    for (HWND h : dirty) sync(h);
    if (focusPending) focusWaiting_ = focus;
  }
  // The focus goes to its window once that is on screen (a window the
  // program focuses before showing it gets it when it shows).
  if (focusWaiting_) {
    Mirror* m = mirror(focusWaiting_);
    if (!m || !m->win) {
      if (!find_window(focusWaiting_)) focusWaiting_ = nullptr;
    } else if (m->win->IsShownOnScreen()) {
      if (wxWindow::FindFocus() != m->win && ::GetFocus() == focusWaiting_) {
        ++syncing_;
        m->win->SetFocus();
        --syncing_;
      }
      focusWaiting_ = nullptr;
    }
  }
  std::optional<std::string> clip;
  {
    std::lock_guard lock(mu_);
    clip.swap(clipboardPending_);
  }
  if (clip) clipboard_set(*clip);
  // The wait cursor the program set, on every window of ours.
  if (int cursor = current_cursor(); cursor != shownCursor_) {
    shownCursor_ = cursor;
    wxSetCursor(cursor == IDC_WAIT ? wxCursor(wxCURSOR_WAIT) : wxNullCursor);
    for (auto& [h, m] : mirrors_)
      if (m.topLevel && m.win) m.win->SetCursor(cursor == IDC_WAIT ? wxCursor(wxCURSOR_WAIT) : wxNullCursor);
  }
  if (bury && handlerDepth_ == 0 && !graveyard_.empty()) {
    std::vector<wxWindow*> dead;
    dead.swap(graveyard_);
    // Children went first; a window whose parent is also going goes with it.
    std::set<wxWindow*> all(dead.begin(), dead.end());
    for (wxWindow* w : dead) {
      bool parentGoes = false;
      for (wxWindow* p = w->GetParent(); p; p = p->GetParent())
        if (all.count(p)) parentGoes = true;
      if (!parentGoes) w->Destroy();
    }
  }
}

void Renderer::pump_once(int timeoutMs) {
  flush(true);
  // Menu bars and bars' gadgets change by calls that name no window: look
  // before the loop goes to sleep, and now and then while a long command
  // pumps.
  auto now = std::chrono::steady_clock::now();
  if (timeoutMs > 0 || now - lastMenuLook_ > std::chrono::milliseconds(100)) {
    lastMenuLook_ = now;
    for (auto& [h, m] : mirrors_) {
      if (m.topLevel) refresh_frame(*this, m);
      else repaint_if_bar_changed(m);
    }
  }
  if (g_loop) {
    if (g_loop->Pending()) {
      // One action of the user at a time, as a message loop takes them:
      // once a handler of the program ran, the program's own loop sees the
      // outcome (a dialog that ended, a list it then refills) before the
      // next click or key is taken.
      bool acted = activity_;
      activity_ = false;
      for (int i = 0; i < 64 && g_loop->Pending() && !activity_; ++i) g_loop->Dispatch();
      activity_ = activity_ || acted;
    } else {
      g_loop->DispatchTimeout(timeoutMs);
    }
  }
  if (wxTheApp) {
    wxTheApp->ProcessPendingEvents();
    wxTheApp->ProcessIdle();
  }
  flush(true);
}

bool Renderer::wait(const std::string&) {
  // Back to the loop when a message came, or when the user did something
  // (a click may have ended the dialog the loop runs for).
  // The wait sleeps in the toolkit until an event comes: the user's, or a
  // wake-up from another thread that posted a message or changed a window
  // (wake_ui_loop). The time-out only bounds how late a bar's text that a
  // thread set without a word shows.
  activity_ = false;
  while (ui_queue().empty() && !activity_) pump_once(kSleepMs);
  return true;
}

void Renderer::show_modal(TDialog& dlg) {
  flush();
  if (answer_file_dialog(dlg)) return;
  Mirror* m = mirror(dlg.GetHandle());
  if (m && m->win) {
    m->modal = std::make_unique<wxWindowDisabler>(m->win);
    m->win->Raise();
  }
  if (modalHook) {
    auto hook = modalHook;
    hook(dlg);
  }
}

void Renderer::close_all() {
  for (auto& [h, m] : mirrors_) m.modal.reset();
  std::vector<wxWindow*> tops;
  for (auto& [h, m] : mirrors_)
    if (m.topLevel && m.win) tops.push_back(m.win);
  mirrors_.clear();
  byWidget_.clear();
  for (wxWindow* w : tops) graveyard_.push_back(w);
  flush(true);
  if (wxTheApp) wxTheApp->ProcessIdle();
}

}  // namespace plat::wx

namespace plat {

bool attach_desktop_renderer(int argc, char** argv) {
  using namespace plat::wx;
  if (g_renderer) return true;
  const char* display = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if ((!display || !*display) && (!wayland || !*wayland)) return false;
  if (!g_toolkit_started) {
    static char name[] = "kelvane";
    static char* default_argv[] = {name, nullptr};
    int n = argv ? argc : 1;
    char** v = argv ? argv : default_argv;
    wxApp::SetInstance(new RendererApp);
    if (!wxEntryStart(n, v)) return false;
    if (!wxTheApp || !wxTheApp->CallOnInit()) {
      wxEntryCleanup();
      return false;
    }
    g_toolkit_started = true;
    // A failed toolkit check is reported, never shown as a box that waits.
    wxSetAssertHandler([](const wxString& file, int line, const wxString& func, const wxString& cond,
                          const wxString& msg) {
      std::fprintf(stderr, "toolkit: %s:%d %s: %s %s\n", static_cast<const char*>(file.utf8_str()), line,
                   static_cast<const char*>(func.utf8_str()), static_cast<const char*>(cond.utf8_str()),
                   static_cast<const char*>(msg.utf8_str()));
    });
    g_loop = new wxGUIEventLoop;
    wxEventLoopBase::SetActive(g_loop);
    install_theme();
  }
  claim_ui_thread();
  wxSize screen = wxGetDisplaySize();
  if (screen.x > 0 && screen.y > 0) set_screen_size(screen.x, screen.y);
  g_renderer = new Renderer;
  UiHost host;
  host.wait = [](const std::string& what) { return g_renderer ? g_renderer->wait(what) : false; };
  host.show_modal = [](TDialog& dlg) {
    if (g_renderer) g_renderer->show_modal(dlg);
  };
  host.pump = [] {
    if (g_renderer) g_renderer->pump_once(0);
  };
  g_old_host = set_ui_host(std::move(host));
  set_ui_observer(g_renderer);
  // glib's wake-up may come from any thread, also between our look at the
  // queue and the sleep (the sleep then returns at once).
  set_queue_waker([] { g_main_context_wakeup(nullptr); });
  install_boxes();
  return true;
}

void detach_desktop_renderer() {
  using namespace plat::wx;
  if (!g_renderer) return;
  set_queue_waker(nullptr);
  set_ui_observer(nullptr);
  remove_boxes();
  set_ui_host(std::move(g_old_host));
  g_old_host = UiHost{};
  g_renderer->close_all();
  delete g_renderer;
  g_renderer = nullptr;
}

bool desktop_renderer_attached() { return plat::wx::g_renderer != nullptr; }

}  // namespace plat
