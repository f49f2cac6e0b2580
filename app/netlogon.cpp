// The network logon dialog.
#include "app/netlogon.h"

#include "dbmodel/text_helpers.h"
#include "resources/dialogs/netlogon.h"

DEFINE_RESPONSE_TABLE1(TGetNetLogin, TLangDlg)
  EV_COMMAND(IDOK, CmOk),
END_RESPONSE_TABLE;

TGetNetLogin::TGetNetLogin(TWindow* parent, char* userBuffer, char* passwordBuffer)
    : TLangDlg(parent, IDD_NET_LOGON), UserBuffer(userBuffer), PasswordBuffer(passwordBuffer) {
  UserEdit = new TEdit(this, IDC_NET_LOGON_USER, 40);
  PasswordEdit = new TEdit(this, IDC_NET_LOGON_PASSWORD, 40);
}

void TGetNetLogin::SetupWindow() {
  TLangDlg::SetupWindow();
  SetCaptionText(1030);
  SetItemTexts(IDC_NET_LOGON_USER_LABEL, 1031, 2);
}

void TGetNetLogin::CmOk() {
  // 40 bytes: at most 39 characters and the zero, well inside the buffers.
  if (UserBuffer) CopyCut(UserBuffer, 40, UserEdit->GetText().c_str());
  if (PasswordBuffer) CopyCut(PasswordBuffer, 40, PasswordEdit->GetText().c_str());
  CloseWindow(IDOK);
}
