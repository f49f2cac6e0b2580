// Asks for the user name and password of a network share that refused a
// connection without them. The caller owns both 50-byte buffers.
#pragma once

#include "app/lang_dlg.h"
#include "platform/ui/edit.h"

class TGetNetLogin : public TLangDlg {
 public:
  static constexpr int kBufferSize = 50;

  TGetNetLogin(TWindow* parent, char* userBuffer, char* passwordBuffer);

  void SetupWindow() override;
  // Copies both texts (at most 39 characters each) and closes with IDOK.
  void CmOk() override;

  char* UserBuffer;
  char* PasswordBuffer;
  TEdit* UserEdit;
  TEdit* PasswordEdit;

  DECLARE_RESPONSE_TABLE(TGetNetLogin);
};
