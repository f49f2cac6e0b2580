// The dialog base: centring and the language's texts.
#include "app/users_langdlg.h"

#include "appcore/globals.h"
#include "platform/ui/app_state.h"

const char* DialogText(int textId) {
  if (!Globals || textId < 0 || textId >= TGlobals::kTextTableSize) return nullptr;
  const char* text = Globals->DialogTexts.Get(textId);
  return text && *text ? text : nullptr;
}

void CenterOnScreen(TWindow& window) {
  TRect r = window.GetWindowRect();
  int x = (GetSystemMetrics(SM_CXSCREEN) - r.Width()) / 2;
  int y = (GetSystemMetrics(SM_CYSCREEN) - r.Height()) / 2;
  window.SetWindowPos(nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

void TLangDlg::SetupWindow() {
  TDialog::SetupWindow();
  CenterOnScreen(*this);
  if (ChildWithId(IDCANCEL)) SetItemText(IDCANCEL, 647);
}

void TLangDlg::SetCaptionText(int textId) {
  if (const char* text = DialogText(textId)) SetCaption(text);
}

void TLangDlg::SetItemText(int controlId, int textId) {
  const char* text = DialogText(textId);
  if (text && GetDlgItem(controlId)) SetDlgItemText(controlId, text);
}

void TLangDlg::SetItemTexts(int firstControlId, int firstTextId, int count) {
  for (int i = 0; i < count; i++) SetItemText(firstControlId + i, firstTextId + i);
}
