// Language dialog base.
#include "app/lang_dlg.h"

#include "appcore/globals.h"
#include "platform/ui/app_state.h"

namespace {
constexpr int kCancelTextId = 647;
}  // namespace

const char* DialogText(int id) {
  if (!Globals || !Globals->DialogTexts.Has(id)) return nullptr;
  const char* text = Globals->DialogTexts.Get(id);
  return *text ? text : nullptr;
}

void CentreOnScreen(TWindow& window) {
  TRect r = window.GetWindowRect();
  int x = (GetSystemMetrics(SM_CXSCREEN) - r.Width()) / 2;
  int y = (GetSystemMetrics(SM_CYSCREEN) - r.Height()) / 2;
  window.SetWindowPos(nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

void TLangDlg::SetupWindow() {
  TDialog::SetupWindow();
  CentreOnScreen(*this);
  if (GetDlgItem(IDCANCEL)) SetItemText(IDCANCEL, kCancelTextId);
}

void TLangDlg::SetCaptionText(int textId) {
  if (const char* t = DialogText(textId)) SetCaption(t);
}

void TLangDlg::SetItemText(int controlId, int textId) {
  const char* t = DialogText(textId);
  if (t && GetDlgItem(controlId)) SetDlgItemText(controlId, t);
}

void TLangDlg::SetItemTexts(int firstControlId, int firstTextId, int count) {
  for (int i = 0; i < count; ++i) SetItemText(firstControlId + i, firstTextId + i);
}
