// Matching messages against response table entries.
#include "platform/ui/response_table.h"

namespace plat::rt {

bool matches(const TResponseTableEntry& e, const TEventInfo& ev) {
  if (e.Msg != ev.Msg) return false;
  switch (e.kind) {
    case TResponseTableEntry::Message:
      return true;
    case TResponseTableEntry::Command:
      // Menus send code 0, accelerators 1; a button's click is code 0 too.
      if (e.Id != ev.Id) return false;
      return ev.FromControl ? ev.NotifyCode == BN_CLICKED : ev.NotifyCode <= 1;
    case TResponseTableEntry::Notify:
      return ev.FromControl && e.Id == ev.Id && e.NotifyCode == ev.NotifyCode;
    case TResponseTableEntry::AnyNotify:
      return ev.FromControl && e.Id == ev.Id;
    case TResponseTableEntry::End:
      break;
  }
  return false;
}

bool search(const TResponseTableEntry* entries, TEventInfo& ev) {
  for (const TResponseTableEntry* e = entries; e->kind != TResponseTableEntry::End; ++e) {
    if (matches(*e, ev)) {
      ev.Entry = e;
      return true;
    }
  }
  return false;
}

}  // namespace plat::rt
