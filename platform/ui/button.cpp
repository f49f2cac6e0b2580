// Push buttons, check boxes and radio buttons: check state and clicks.
#include "platform/ui/button.h"

#include <mutex>

#include "platform/ui/app_state.h"

TButton::TButton(TWindow* parent, int id, const char* text, int x, int y, int w, int h, bool isDefault)
    : TControl(parent, id, text, x, y, w, h) {
  Attr.Style |= WS_TABSTOP | (isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
}

TButton::TButton(TWindow* parent, int resourceId) : TControl(parent, resourceId) {}

bool TButton::IsStateMessage(UINT msg) const {
  return msg == BM_GETCHECK || msg == BM_SETCHECK || msg == BM_GETSTATE || TWindow::IsStateMessage(msg);
}

LRESULT TButton::DefWindowProc(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case BM_GETCHECK:
    case BM_GETSTATE: {
      std::lock_guard lock(Ref->mu);
      return CheckState;
    }
    case BM_SETCHECK: {
      std::lock_guard lock(Ref->mu);
      CheckState = static_cast<int>(wp);
      return 0;
    }
    case BM_CLICK:
      Click();
      return 0;
    default:
      return TControl::DefWindowProc(msg, wp, lp);
  }
}

void TButton::Click() {
  if (!Handle || !IsWindowEnabled()) return;
  UINT type = GetStyle() & BS_TYPEMASK;
  if (type == BS_AUTOCHECKBOX) {
    SendMessage(BM_SETCHECK, SendMessage(BM_GETCHECK) == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED);
  } else if (type == BS_AUTO3STATE) {
    SendMessage(BM_SETCHECK, (SendMessage(BM_GETCHECK) + 1) % 3);
  } else if (type == BS_AUTORADIOBUTTON) {
    // Clear the other automatic radio buttons of this group.
    HWND parent = GetParent();
    std::vector<HWND> siblings;
    if (plat::WindowRef p = plat::find_window(parent)) {
      std::lock_guard lock(p->mu);
      siblings = p->children;
    }
    size_t me = 0;
    while (me < siblings.size() && siblings[me] != Handle) ++me;
    auto style_of = [](HWND h) {
      TWindow a(h);
      return a.GetStyle();
    };
    size_t first = me;
    while (first > 0 && !(style_of(siblings[first]) & WS_GROUP)) --first;
    for (size_t i = first; i < siblings.size(); ++i) {
      if (i > first && (style_of(siblings[i]) & WS_GROUP)) break;
      if (siblings[i] == Handle) continue;
      TWindow a(siblings[i]);
      if ((a.GetStyle() & BS_TYPEMASK) == BS_AUTORADIOBUTTON && a.ClassName() == "BUTTON")
        ::SendMessage(siblings[i], BM_SETCHECK, BST_UNCHECKED, 0);
    }
    SendMessage(BM_SETCHECK, BST_CHECKED);
  }
  NotifyParent(BN_CLICKED);
}

TCheckBox::TCheckBox(TWindow* parent, int id, const char* text, int x, int y, int w, int h, TGroupBox*)
    : TButton(parent, id, text, x, y, w, h) {
  Attr.Style = (Attr.Style & ~BS_TYPEMASK) | BS_AUTOCHECKBOX;
}

TCheckBox::TCheckBox(TWindow* parent, int resourceId, TGroupBox*) : TButton(parent, resourceId) {}

UINT TCheckBox::GetCheck() const {
  if (!Handle) return CheckState;
  return static_cast<UINT>(::SendMessage(Handle, BM_GETCHECK, 0, 0));
}

void TCheckBox::SetCheck(UINT state) {
  if (!Handle) {
    CheckState = static_cast<int>(state);
    return;
  }
  ::SendMessage(Handle, BM_SETCHECK, state, 0);
}

TRadioButton::TRadioButton(TWindow* parent, int id, const char* text, int x, int y, int w, int h, TGroupBox* group)
    : TCheckBox(parent, id, text, x, y, w, h, group) {
  Attr.Style = (Attr.Style & ~(BS_TYPEMASK | WS_TABSTOP)) | BS_AUTORADIOBUTTON;
}

TRadioButton::TRadioButton(TWindow* parent, int resourceId, TGroupBox* group) : TCheckBox(parent, resourceId, group) {}
