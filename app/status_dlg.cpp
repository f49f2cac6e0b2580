// Status window.
#include "app/status_dlg.h"

#include "app/lang_dlg.h"
#include "platform/ui/app_state.h"

TShowStatusDlg::TShowStatusDlg(TWindow* parent) : TDialog(parent, kResourceId) {
  Text = new TStatic(this, kTextId, kTextLimit + 1);
}

void TShowStatusDlg::SetupWindow() {
  TDialog::SetupWindow();
  CentreOnScreen(*this);
}

void TShowStatusDlg::SetStatus(const std::string& text) {
  Text->SetText(text.substr(0, kTextLimit).c_str());
  plat::pump_host();
}

std::string TShowStatusDlg::GetStatus() const { return Text->GetText(); }

std::unique_ptr<TWindow> FocusAlias() {
  HWND focus = GetFocus();
  if (!focus) return nullptr;
  return std::make_unique<TWindow>(focus);
}

TStatusWindow::TStatusWindow(const std::string& text) : owner_(FocusAlias()) {
  dlg_ = std::make_unique<TShowStatusDlg>(owner_.get());
  if (dlg_->Create()) {
    dlg_->ShowWindow(SW_SHOW);
    dlg_->SetStatus(text);
  }
}

TStatusWindow::~TStatusWindow() {
  if (dlg_->GetHandle()) dlg_->Destroy();
}

void TStatusWindow::Set(const std::string& text) {
  if (dlg_->GetHandle()) dlg_->SetStatus(text);
}
