// Dialogs: binding template controls, modal loops and ending.
#include "platform/ui/dialog.h"

#include <strings.h>

#include <algorithm>

#include "platform/ui/app_state.h"
#include "platform/ui/control.h"
#include "platform/ui/queue.h"

DEFINE_RESPONSE_TABLE1(TDialog, TWindow)
  EV_COMMAND(IDOK, CmOk),
  EV_COMMAND(IDCANCEL, CmCancel),
END_RESPONSE_TABLE;

TDialog::TDialog(TWindow* parent, TResId resId) : TWindow(parent), ResId(resId) {
  Attr.Style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
}

TDialog::~TDialog() {
  if (Handle) ReleaseModal();
  for (TWindow* w : MadeForTemplate) delete w;
}

bool TDialog::PerformCreate() {
  if (ResId.Id != 0) {
    Template = plat::find_dialog_template(ResId.Id);
    if (!Template) return false;
    TRect client = Template->to_pixels(Template->x, Template->y, Template->cx, Template->cy);
    Attr.Style = Template->style & ~WS_VISIBLE;
    Attr.ExStyle = Template->exStyle;
    int border = (Attr.Style & (WS_BORDER | WS_DLGFRAME | WS_THICKFRAME)) ? 3 : 0;
    int caption = ((Attr.Style & WS_CAPTION) == WS_CAPTION) ? 19 : 0;
    Attr.X = client.left;
    Attr.Y = client.top;
    Attr.W = client.Width() + 2 * border;
    Attr.H = client.Height() + 2 * border + caption;
    if (Title.empty() || TitleFromTemplate) {
      Title = Template->caption;
      TitleFromTemplate = true;
    }
  }
  if (!TWindow::PerformCreate()) return false;
  if (!Template) return true;

  // Template order is creation order, which decides tab and radio groups.
  for (const plat::ControlTemplate& ct : Template->controls) {
    TWindow* ctl = nullptr;
    for (TWindow* c : Children)
      if (!c->Handle && c->Attr.Id == ct.id && ct.id != -1) ctl = c;
    if (!ctl) {
      ctl = plat::make_window(ct.className, this, ct.id);
      if (!ctl) {
        plat::report_ui_error(Template->source + ": control " + std::to_string(ct.id) + " has unknown class " +
                              ct.className);
        continue;
      }
      MadeForTemplate.push_back(ctl);
    } else if (strcasecmp(ct.className.c_str(), ctl->WindowClass()) != 0) {
      plat::report_ui_error("dialog " + std::to_string(ResId.Id) + ": control " + std::to_string(ct.id) + " is a " +
                            ct.className + " in the template, not a " + ctl->WindowClass());
    }
    TRect r = Template->to_pixels(ct.x, ct.y, ct.cx, ct.cy);
    ctl->Attr.Style = ct.style;
    ctl->Attr.ExStyle = ct.exStyle;
    ctl->Attr.X = r.left;
    ctl->Attr.Y = r.top;
    ctl->Attr.W = r.Width();
    ctl->Attr.H = r.Height();
    ctl->Attr.Id = ct.id;
    ctl->Title = ct.text;
    ctl->PerformCreate();
  }
  for (TWindow* c : Children) {
    if (!c->Handle && dynamic_cast<TControl*>(c) && static_cast<TControl*>(c)->IsFromResource())
      plat::report_ui_error("dialog " + std::to_string(ResId.Id) + " has no control " + std::to_string(c->Attr.Id));
  }
  return true;
}

bool TDialog::Create() {
  if (!Handle) {
    // Plain controls of an earlier run of this dialog.
    for (TWindow* w : MadeForTemplate) delete w;
    MadeForTemplate.clear();
  }
  Ended = false;
  Result = 0;
  if (!TWindow::Create()) return false;
  // A modeless dialog whose template says so shows itself.
  if (!Modal && Handle && Template && (Template->style & WS_VISIBLE)) ShowWindow(SW_SHOW);
  return Handle != nullptr || Ended;
}

void TDialog::SetupWindow() {
  TWindow::SetupWindow();
  FocusFirstControl();
}

void TDialog::FocusFirstControl() {
  std::vector<HWND> kids;
  if (Ref) {
    std::lock_guard lock(Ref->mu);
    kids = Ref->children;
  }
  for (HWND k : kids) {
    TWindow a(k);
    UINT s = a.GetStyle();
    if ((s & WS_TABSTOP) && (s & WS_VISIBLE) && !(s & WS_DISABLED)) {
      ::SetFocus(k);
      return;
    }
  }
}

int TDialog::Execute() {
  Modal = true;
  OwnedByParent = false;  // a modal dialog belongs to whoever runs it
  HWND focusBefore = ::GetFocus();
  if (!Create()) {
    Modal = false;
    return -1;
  }
  if (!Ended) {
    ShowWindow(SW_SHOW);
    plat::dispatch_all();
    if (!Ended && !plat::quit_requested()) plat::answer_modal(*this);
    long idleCount = 0;
    while (!Ended) {
      if (plat::quit_requested()) {
        Result = IDCANCEL;  // the program ends: the quit stays for the outer loop
        break;
      }
      if (plat::dispatch_one()) {
        idleCount = 0;
        continue;
      }
      if (plat::run_idle(idleCount++)) continue;
      if (!plat::wait_for_message("dialog " + std::to_string(ResId.Id) + " (" +
                                  plat::class_name_of(this, typeid(*this)) + ")")) {
        Result = IDCANCEL;
        break;
      }
    }
  }
  int result = Result;
  ReleaseModal();
  if (::IsWindow(focusBefore)) ::SetFocus(focusBefore);
  return result;
}

void TDialog::ReleaseModal() {
  Modal = false;
  TWindow::Destroy(0);
  for (TWindow* w : MadeForTemplate) delete w;
  MadeForTemplate.clear();
  Ended = true;
}

void TDialog::Destroy(int retVal) {
  if (Modal) {
    // Ends the modal loop; the windows go when Execute returns.
    if (!Ended) Result = retVal;
    Ended = true;
    return;
  }
  // Modeless: the window goes now; its plain controls stay until the next
  // Create or the end of the object, since a handler of one may be running.
  Result = retVal;
  Ended = true;
  TWindow::Destroy(retVal);
}

void TDialog::CmOk() { CloseWindow(IDOK); }

void TDialog::CmCancel() { Destroy(IDCANCEL); }

void TDialog::EvClose() {
  // The close box answers like Cancel (or Esc), whether or not there is a button.
  HWND cancel = GetDlgItem(IDCANCEL);
  ReceiveMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
}

LRESULT TDialog::DefWindowProc(UINT msg, WPARAM wp, LPARAM lp) { return TWindow::DefWindowProc(msg, wp, lp); }
