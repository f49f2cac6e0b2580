// Command enablers. Before a popup opens and when the tool bars refresh,
// the frame asks, for each command id, the first window of its command
// chain whose response table has an enabler entry for the id; that entry
// enables or greys the command. Without an entry a command is enabled
// exactly when a window of the chain handles it.
//
//   EV_COMMAND_ENABLE(107, CeBackups),   // void CeBackups(TCommandEnabler& ce)
#pragma once

#include <string>

#include "platform/ui/response_table.h"

// A private message number, asked only through response tables.
#define WM_COMMAND_ENABLE 0x7F01

class TCommandEnabler {
 public:
  explicit TCommandEnabler(UINT id) : Id(id) {}
  virtual ~TCommandEnabler() = default;
  UINT GetId() const { return Id; }
  virtual void Enable(bool enable = true) {
    Enabled = enable;
    Handled = true;
    ++EnableCalls;
  }
  virtual void SetCheck(int state) { Check = state; }
  virtual void SetText(const char* text) { Text = text ? text : ""; }
  bool GetEnabled() const { return Enabled; }
  bool WasHandled() const { return Handled; }
  int GetEnableCalls() const { return EnableCalls; }

 protected:
  UINT Id;
  bool Enabled = true;
  bool Handled = false;
  int EnableCalls = 0;
  int Check = -1;
  std::string Text;
};

namespace plat::rt {
template <class T, auto M>
LRESULT enabler(TWindow* w, TEventInfo& ev) {
  (static_cast<T*>(w)->*M)(*reinterpret_cast<TCommandEnabler*>(ev.LParam));
  return 0;
}
}  // namespace plat::rt

#define EV_COMMAND_ENABLE(id, m)                                                       \
  TResponseTableEntry{TResponseTableEntry::Command, WM_COMMAND_ENABLE, (UINT)(id), 0, \
                      &::plat::rt::enabler<TMyClass, &TMyClass::m>}
