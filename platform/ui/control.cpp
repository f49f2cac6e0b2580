// Control construction and the registry of window classes by name.
#include "platform/ui/control.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <mutex>
#include <optional>

#include "platform/ui/button.h"
#include "platform/ui/combobox.h"
#include "platform/ui/ctlcolor.h"
#include "platform/ui/dc.h"
#include "platform/ui/edit.h"
#include "platform/ui/listbox.h"
#include "platform/ui/progress.h"
#include "platform/ui/static.h"

TControl::TControl(TWindow* parent, int id, const char* title, int x, int y, int w, int h) : TWindow(parent, title) {
  Attr.Id = id;
  Attr.X = x;
  Attr.Y = y;
  Attr.W = w;
  Attr.H = h;
  Attr.Style = WS_CHILD | WS_VISIBLE;
}

TControl::TControl(TWindow* parent, int resourceId) : TWindow(parent), FromResource(true) { Attr.Id = resourceId; }

void TControl::Paint(TDC& dc, bool erase, TRect& rect) {
  plat::ControlColors c = plat::ask_control_colors(Handle, dc);
  if (!erase) return;
  std::optional<COLORREF> own;
  {
    std::lock_guard lock(Ref->mu);
    if (Ref->hasBkgnd) own = Ref->bkgnd;
  }
  if (!own && c.brushNull) return;
  TBrush brush(own ? *own : c.brush);
  dc.FillRect(rect, brush);
}

void TControl::DrawItem(DRAWITEMSTRUCT& dis) {
  if (dis.itemAction & ODA_DRAWENTIRE) ODADrawEntire(dis);
  if (dis.itemAction & ODA_SELECT) ODASelect(dis);
  if (dis.itemAction & ODA_FOCUS) ODAFocus(dis);
}

void TControl::EvSetFocus() {
  if (UINT code = SetFocusCode()) NotifyParent(code);
}

void TControl::EvKillFocus() {
  if (UINT code = KillFocusCode()) NotifyParent(code);
}

namespace plat {
namespace {

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

struct Classes {
  std::mutex mu;
  std::map<std::string, WindowFactory> byName;
  Classes() {
    byName["EDIT"] = [](TWindow* p, int id) { return new TEdit(p, id, "", 0, 0, 0, 0); };
    byName["BUTTON"] = [](TWindow* p, int id) { return new TButton(p, id, "", 0, 0, 0, 0); };
    byName["STATIC"] = [](TWindow* p, int id) { return new TStatic(p, id, "", 0, 0, 0, 0); };
    byName["LISTBOX"] = [](TWindow* p, int id) { return new TListBox(p, id, 0, 0, 0, 0); };
    byName["COMBOBOX"] = [](TWindow* p, int id) { return new TComboBox(p, id, 0, 0, 0, 0, 0, 0); };
    byName["MSCTLS_PROGRESS32"] = [](TWindow* p, int id) { return new plat::ProgressBar(p, id, 0, 0, 0, 0); };
  }
};

Classes& classes() {
  static Classes c;
  return c;
}

}  // namespace

void register_window_class(const std::string& name, WindowFactory factory) {
  std::lock_guard lock(classes().mu);
  classes().byName[upper(name)] = std::move(factory);
}

TWindow* make_window(const std::string& className, TWindow* parent, int id) {
  WindowFactory f;
  {
    std::lock_guard lock(classes().mu);
    auto it = classes().byName.find(upper(className));
    if (it == classes().byName.end()) return nullptr;
    f = it->second;
  }
  return f(parent, id);
}

}  // namespace plat

HWND CreateWindowEx(DWORD exStyle, const char* className, const char* text, DWORD style, int x, int y, int w,
                    int h, HWND parent, HMENU idOrMenu, HINSTANCE, void*) {
  TWindow* parentObj = plat::window_object(parent);
  if (parent && !parentObj) return nullptr;
  int id = static_cast<int>(reinterpret_cast<intptr_t>(idOrMenu));
  TWindow* w0 = plat::make_window(className ? className : "", parentObj, id);
  if (!w0) return nullptr;
  w0->Attr.Style = style;
  w0->Attr.ExStyle = exStyle;
  w0->Attr.X = x;
  w0->Attr.Y = y;
  w0->Attr.W = w;
  w0->Attr.H = h;
  w0->Attr.Id = id;
  w0->SetCaption(text);
  if (!w0->Create()) {
    delete w0;
    return nullptr;
  }
  return w0->GetHandle();
}

BOOL DestroyWindow(HWND hwnd) {
  TWindow* w = plat::window_object(hwnd);
  if (!w) return FALSE;
  w->Destroy(0);
  return TRUE;
}
