// Inside the desktop renderer: one mirror per model window, the queue of
// changes reported from other threads, and the loop the model waits in.
#pragma once

#include <wx/wx.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/ui/gdi_types.h"
#include "platform/ui/geometry.h"
#include "platform/ui/observer.h"
#include "platform/ui/winstyle.h"
#include "platform/wintypes.h"

class TDialog;

namespace plat::wx {

// What a model window looks like right now (read under its lock).
struct Snapshot {
  std::string cls;  // upper case
  std::string text;
  UINT style = 0;
  UINT exStyle = 0;
  int id = 0;
  TRect rect;
  HWND parent = nullptr;
};
bool snapshot(HWND h, Snapshot& s);

struct Mirror {
  HWND hwnd = nullptr;
  std::string cls;
  wxWindow* win = nullptr;        // the real window
  wxWindow* container = nullptr;  // where its children go
  wxWindow* buddy = nullptr;      // a hidden helper that goes with it
  bool topLevel = false;
  UINT createdStyle = 0;
  std::unique_ptr<wxWindowDisabler> modal;  // other windows off while it runs modal
  // What was last shown, so unchanged state is not set again.
  std::string shownText;
  std::string shownMenu;                  // the bar last built, as text
  std::map<void*, HMENU> popups;          // toolkit menu -> model popup
  std::map<int, UINT> commands;           // toolkit item id -> model command
  bool menuBound = false;
  std::vector<HWND> shownStack;           // MDI children, bottom to top, as stacked
  std::string shownTitle;                 // a frame's title with its maximised child's
  std::map<UINT, void*> barBoxes;         // the maximised child's boxes in the bar (toolkit items)
  std::vector<std::string> shownItems;
  int shownTop = -1;
  // A top-level window's place as last set or learned: it moves only when
  // the model's place changes from this.
  bool placed = false;
  wxPoint shownPos;
  // A control's colours (from its parent's WM_CTLCOLOR*) and own font as shown.
  std::string shownColors;
  HFONT shownFont = nullptr;
};

class Renderer : public UiObserver {
 public:
  Renderer();
  ~Renderer() override;

  // Observer of the model (any thread for changes).
  void window_created(HWND h) override;
  void window_destroyed(HWND h) override;
  void window_changed(HWND h) override;
  void focus_changed(HWND h) override;
  void clipboard_set(const std::string& text) override;
  std::optional<std::string> clipboard_get() override;

  // The model's loops wait here.
  bool wait(const std::string& what);
  void show_modal(TDialog& dlg);
  void pump_once(int timeoutMs);
  // Applies what is pending: windows to make, states to show, focus;
  // with bury, also throws away windows that went (only from the loop,
  // when no handler of ours is running).
  void flush(bool bury = false);

  Mirror* mirror(HWND h);
  HWND hwnd_of(wxWindow* w) const;
  void close_all();

  // Guards around our toolkit handlers and our own updates of widgets.
  struct HandlerScope {
    explicit HandlerScope(Renderer& r) : r_(r) { ++r_.handlerDepth_; }
    ~HandlerScope();
    Renderer& r_;
  };
  // The renderer reads the model while it paints a window: what those
  // reads report as changed is no news, or each paint would ask for the next.
  struct ReadScope {
    ReadScope();
    ~ReadScope();
    Renderer* r_;
  };
  bool syncing() const { return syncing_ > 0; }
  bool in_handler() const { return handlerDepth_ > 0; }
  // Something the user did may have ended a loop's reason to wait.
  void note_activity() { activity_ = true; }
  // A toolkit window went away on its own (the desktop closed it).
  void widget_gone(wxWindow* w);

  std::function<void(TDialog&)> modalHook;

 private:
  void create_mirror(HWND h);
  void sync(HWND h);
  void forget(HWND h);

  std::map<HWND, Mirror> mirrors_;
  std::map<wxWindow*, HWND> byWidget_;
  std::vector<wxWindow*> graveyard_;
  int handlerDepth_ = 0;
  int syncing_ = 0;
  bool activity_ = false;
  std::chrono::steady_clock::time_point lastMenuLook_;

  std::mutex mu_;  // guards what other threads hand over
  std::vector<HWND> created_;
  std::vector<HWND> destroyed_;
  std::set<HWND> dirty_;
  std::optional<std::string> clipboardPending_;
  int shownCursor_ = IDC_ARROW;
  HWND focus_ = nullptr;
  bool focusPending_ = false;
  HWND focusWaiting_ = nullptr;  // the model's focus, until its window is on screen
};

Renderer* renderer();

// Widget making and state showing (controls.cpp), with frames and
// dialogs (toplevel.cpp) and edits (edit_widget.cpp) apart.
void make_widget(Renderer& r, Mirror& m, const Snapshot& s, wxWindow* parent);
void show_state(Renderer& r, Mirror& m, const Snapshot& s);
void make_toplevel(Renderer& r, Mirror& m, const Snapshot& s, wxWindow* parent);
void show_toplevel(Renderer& r, Mirror& m, const Snapshot& s);
// Model geometry for a frame the user moved or sized.
void user_resized(Renderer& r, Mirror& m);
void make_edit(Renderer& r, Mirror& m, const Snapshot& s, wxWindow* parent);
// An owner-drawn list (ownerlist.cpp); chosen tells a user's pick from the
// toolkit's own. show_owner_list is false for a mirror that is none.
void make_owner_list(Renderer& r, Mirror& m, const Snapshot& s, wxWindow* parent,
                     const std::shared_ptr<bool>& chosen);
bool show_owner_list(Mirror& m);
// What the program draws of each item of an owner-drawn list: the texts
// of the item's drawing, in order. False for a mirror that is none.
bool owner_list_texts(Mirror& m, std::vector<std::string>& out);
void make_owner_combo(Renderer& r, Mirror& m, wxWindow* parent);
void show_edit(Renderer& r, Mirror& m, const Snapshot& s);
// Runs a change of a control's font or colours. A multi-line edit's
// toolkit view puts its whole text in anew for it and so ends at the
// text's end: its caret and view go back to where they were.
void restyle(Mirror& m, const std::function<void()>& change);
// The large-text edit control (ledit_widget.cpp).
void make_ledit(Renderer& r, Mirror& m, const Snapshot& s, wxWindow* parent);
void show_ledit(Renderer& r, Mirror& m, const Snapshot& s);
// Windows of the program's own (frames' clients, bars, MDI children):
// painted from the model's recorded drawing, pointer handed to bars.
void make_painted(Renderer& r, Mirror& m, const Snapshot& s, wxWindow* parent);
// Paints a toolkit window (in its paint event) with what the model's
// window draws.
void paint_from_model(wxWindow* w, HWND h);
// An MDI child's client area placed inside its border and caption.
void place_mdi_child(Mirror& m);
// A tool or status bar repainted when its gadgets changed.
void repaint_if_bar_changed(Mirror& m);
// The menu bar of a frame, rebuilt when the model's bar changed, and its
// active MDI child raised; keys that are the frame's accelerators become
// its commands.
void refresh_frame(Renderer& r, Mirror& m);
bool frame_key(Renderer& r, HWND frame, wxKeyEvent& e);
// The toolkit id of a command's item in the frame's bar, or wxID_NONE.
int menu_item_id(const Mirror& m, UINT command);
// Every control tells the model when it takes the focus.
void bind_focus(Renderer& r, wxWindow* w, HWND h);
// The font a window shows: its dialog template's, fitted to dialog units.
wxFont font_for(HWND h);
// The toolkit font for a font of the model, in the face and size the
// model measures it with.
wxFont wx_font(HFONT font);

// Model bytes (Windows-1252) to and from the toolkit's text.
wxString to_wx(const std::string& bytes);
std::string from_wx(const wxString& text);

// Compact look for controls sized in dialog units, and the font that
// fits a template font's dialog units.
void install_theme();
wxFont dialog_font(const std::string& face, int points);

// Message boxes (ours, with the standard icons and letter keys) and the
// native file dialogs.
struct BoxInfo {
  wxWindow* dialog = nullptr;  // the box on screen, or null
  UINT icon = 0;               // its MB_ICON* kind
  wxRect iconRect;             // where its icon is, on the screen
};
const BoxInfo& box_info();
void install_boxes();
void remove_boxes();
bool answer_file_dialog(TDialog& dlg);

}  // namespace plat::wx
