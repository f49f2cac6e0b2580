// Response tables: each window class has one static table of entries that
// map a message, a command id, or a control's notification code and id to a
// member function. A class's Find searches its own table and then its base
// class's, so derived classes override single entries.
//
//   class TMyDlg : public TDialog { ... DECLARE_RESPONSE_TABLE(TMyDlg); };
//   DEFINE_RESPONSE_TABLE1(TMyDlg, TDialog)
//     EV_COMMAND(IDOK, CmOk),
//     EV_LBN_SELCHANGE(101, FillFields),
//   END_RESPONSE_TABLE;
#pragma once

#include "platform/ui/gdi_types.h"
#include "platform/ui/geometry.h"
#include "platform/winmsg.h"
#include "platform/wintypes.h"

class TWindow;
struct TResponseTableEntry;

// One message being dispatched. For WM_COMMAND, Id and NotifyCode are
// taken apart and FromControl tells a control's notification from a menu,
// accelerator or posted command.
struct TEventInfo {
  UINT Msg = 0;
  WPARAM WParam = 0;
  LPARAM LParam = 0;
  UINT Id = 0;
  UINT NotifyCode = 0;
  bool FromControl = false;
  const TResponseTableEntry* Entry = nullptr;
};

using TDispatchFn = LRESULT (*)(TWindow*, TEventInfo&);

struct TResponseTableEntry {
  enum Kind { End, Message, Command, Notify, AnyNotify };
  Kind kind = End;
  UINT Msg = 0;
  UINT Id = 0;
  UINT NotifyCode = 0;
  TDispatchFn Dispatch = nullptr;
};

namespace plat::rt {

bool matches(const TResponseTableEntry& e, const TEventInfo& ev);
// Searches one class's entries; sets ev.Entry on a hit.
bool search(const TResponseTableEntry* entries, TEventInfo& ev);

template <class T, auto M>
LRESULT v0(TWindow* w, TEventInfo&) {
  (static_cast<T*>(w)->*M)();
  return 0;
}
template <class T, auto M>
LRESULT with_id(TWindow* w, TEventInfo& ev) {
  (static_cast<T*>(w)->*M)(ev.Id);
  return 0;
}
template <class T, auto M>
LRESULT with_code(TWindow* w, TEventInfo& ev) {
  (static_cast<T*>(w)->*M)(ev.NotifyCode);
  return 0;
}
template <class T, auto M>
LRESULT raw(TWindow* w, TEventInfo& ev) {
  return (static_cast<T*>(w)->*M)(ev.WParam, ev.LParam);
}
template <class T, auto M>
LRESULT size(TWindow* w, TEventInfo& ev) {
  TSize s{static_cast<int>(LOWORD(ev.LParam)), static_cast<int>(HIWORD(ev.LParam))};
  (static_cast<T*>(w)->*M)(static_cast<UINT>(ev.WParam), s);
  return 0;
}

// HBRUSH m(HDC dc, HWND control, UINT ctlType): ctlType is CTLCOLOR_EDIT,
// ..._LISTBOX, ..._BTN, ..._DLG or ..._STATIC (the message's distance
// from WM_CTLCOLORMSGBOX).
template <class T, auto M>
LRESULT ctlcolor(TWindow* w, TEventInfo& ev) {
  HBRUSH brush = (static_cast<T*>(w)->*M)(reinterpret_cast<HDC>(ev.WParam), reinterpret_cast<HWND>(ev.LParam),
                                          ev.Msg - 0x0132);
  return reinterpret_cast<LRESULT>(brush);
}

}  // namespace plat::rt

// Inside the class body. Declares the table and the Find that searches it.
#define DECLARE_RESPONSE_TABLE(cls)                      \
  static const TResponseTableEntry* ResponseEntries_(); \
  bool Find(TEventInfo& ev) override

#define DEFINE_RESPONSE_TABLE1(cls, base)                                          \
  bool cls::Find(TEventInfo& ev) {                                               \
    return ::plat::rt::search(cls::ResponseEntries_(), ev) || base::Find(ev);    \
  }                                                                              \
  const TResponseTableEntry* cls::ResponseEntries_() {                           \
    using TMyClass = cls;                                                        \
    static const TResponseTableEntry entries[] = {

#define END_RESPONSE_TABLE \
  TResponseTableEntry{}    \
  }                        \
  ;                        \
  return entries;          \
  }                        \
  static_assert(true)

// A menu, tool-bar, accelerator or posted command, or a button's click.
#define EV_COMMAND(id, m) \
  TResponseTableEntry{TResponseTableEntry::Command, WM_COMMAND, (UINT)(id), 0, &::plat::rt::v0<TMyClass, &TMyClass::m>}
// The same, handing the command id to a handler shared by a family of ids.
#define EV_COMMAND_AND_ID(id, m)                                               \
  TResponseTableEntry{TResponseTableEntry::Command, WM_COMMAND, (UINT)(id), 0, \
                      &::plat::rt::with_id<TMyClass, &TMyClass::m>}
// A control's notification with the given code.
#define EV_CHILD_NOTIFY(id, code, m)                                                  \
  TResponseTableEntry{TResponseTableEntry::Notify, WM_COMMAND, (UINT)(id), (UINT)(code), \
                      &::plat::rt::v0<TMyClass, &TMyClass::m>}
#define EV_CHILD_NOTIFY_AND_ID(id, code, m)                                           \
  TResponseTableEntry{TResponseTableEntry::Notify, WM_COMMAND, (UINT)(id), (UINT)(code), \
                      &::plat::rt::with_id<TMyClass, &TMyClass::m>}
// Every notification of one control, handing over the code.
#define EV_CHILD_NOTIFY_ALL_CODES(id, m)                                       \
  TResponseTableEntry{TResponseTableEntry::AnyNotify, WM_COMMAND, (UINT)(id), 0, \
                      &::plat::rt::with_code<TMyClass, &TMyClass::m>}
// Any message, handled with its raw parameters: LRESULT m(WPARAM, LPARAM).
#define EV_MESSAGE(msg, m) \
  TResponseTableEntry{TResponseTableEntry::Message, (UINT)(msg), 0, 0, &::plat::rt::raw<TMyClass, &TMyClass::m>}

#define EV_BN_CLICKED(id, m) EV_CHILD_NOTIFY(id, BN_CLICKED, m)
#define EV_EN_CHANGE(id, m) EV_CHILD_NOTIFY(id, EN_CHANGE, m)
#define EV_EN_SETFOCUS(id, m) EV_CHILD_NOTIFY(id, EN_SETFOCUS, m)
#define EV_EN_KILLFOCUS(id, m) EV_CHILD_NOTIFY(id, EN_KILLFOCUS, m)
#define EV_LBN_SELCHANGE(id, m) EV_CHILD_NOTIFY(id, LBN_SELCHANGE, m)
#define EV_LBN_DBLCLK(id, m) EV_CHILD_NOTIFY(id, LBN_DBLCLK, m)
#define EV_CBN_SELCHANGE(id, m) EV_CHILD_NOTIFY(id, CBN_SELCHANGE, m)

// Window messages with decoded parameters.
#define EV_WM_CLOSE \
  TResponseTableEntry{TResponseTableEntry::Message, WM_CLOSE, 0, 0, &::plat::rt::v0<TMyClass, &TMyClass::EvClose>}
// The colours of a control being painted, for each kind of control.
#define KV_EV_CTLCOLOR_(msg)                                          \
  TResponseTableEntry{TResponseTableEntry::Message, (UINT)(msg), 0, 0, \
                      &::plat::rt::ctlcolor<TMyClass, &TMyClass::EvCtlColor>}
#define EV_WM_CTLCOLOR                                                                                    \
  KV_EV_CTLCOLOR_(WM_CTLCOLOREDIT), KV_EV_CTLCOLOR_(WM_CTLCOLORLISTBOX), KV_EV_CTLCOLOR_(WM_CTLCOLORBTN), \
      KV_EV_CTLCOLOR_(WM_CTLCOLORDLG), KV_EV_CTLCOLOR_(WM_CTLCOLORSTATIC)
#define EV_WM_SIZE \
  TResponseTableEntry{TResponseTableEntry::Message, WM_SIZE, 0, 0, &::plat::rt::size<TMyClass, &TMyClass::EvSize>}
