// The progress window: template 100 with a hidden static (100) and the
// Cancel button; the bar is made at run time over the static's place.
#include "editor/nc_progress.h"

#include "platform/ui/application.h"
#include "platform/ui/control.h"
#include "resources/dialogs/nctools.h"

HWND CreateProgressBar(HWND parent, HINSTANCE instance, int x, int y, int width, int height) {
  HWND bar = CreateWindowEx(0, "msctls_progress32", nullptr, WS_CHILD | WS_VISIBLE, x, y, width, height, parent,
                            reinterpret_cast<HMENU>(static_cast<intptr_t>(ProgressDialog::kBarId)), instance, nullptr);
  if (bar) ::SendMessage(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
  return bar;
}

ProgressDialog::ProgressDialog(TWindow* parent, const char* caption)
    : TDialog(parent, kResourceId), caption_(caption) {}

void ProgressDialog::SetupWindow() {
  TDialog::SetupWindow();
  if (HWND s = GetDlgItem(IDC_PROGRESS_TEXT)) ::ShowWindow(s, SW_HIDE);
  TRect r = GetClientRect();
  bar_ = CreateProgressBar(GetHandle(), nullptr, 4, 10, r.Width() - 8, 20);
  if (caption_) SetCaption(caption_);
}

bool ProgressDialog::Active() const { return GetHandle() && IsWindow() && !HasEnded(); }

void ProgressDialog::SetPercent(int percent) {
  if (percent == last_ || !bar_) return;
  last_ = percent;
  ::SendMessage(bar_, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
}

TProgressRun::TProgressRun(TWindow* parent, TApplication* app, const char* caption, int64_t total)
    : dlg_(parent, caption), app_(app), total_(total) {
  dlg_.Create();
  dlg_.ShowWindow(SW_SHOW);
}

TProgressRun::~TProgressRun() {
  if (dlg_.Active()) dlg_.Destroy(IDOK);
}

int TProgressRun::Percent(int64_t position, int64_t total) {
  if (total <= 0) return 0;
  if (position > total) position = total;
  return static_cast<int>(position * 100 / total);
}

bool TProgressRun::Step(int64_t position) {
  dlg_.SetPercent(Percent(position, total_));
  if (app_) app_->PumpWaitingMessages();
  return dlg_.Active();
}
