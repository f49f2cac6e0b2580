// The small status window shown while the program starts or works on its
// database: one line of text, centred on the screen, modeless.
#pragma once

#include <memory>
#include <string>

#include "platform/ui/dialog.h"
#include "platform/ui/static.h"
#include "resources/dialogs/main.h"

class TShowStatusDlg : public TDialog {
 public:
  static constexpr int kResourceId = IDD_STATUS;
  static constexpr int kTextId = IDC_STATUS_TEXT;
  static constexpr int kTextLimit = 100;

  explicit TShowStatusDlg(TWindow* parent);
  void SetupWindow() override;
  // Shows the text (at most kTextLimit characters) and lets the desktop
  // draw it, since the work that follows keeps the UI thread busy.
  void SetStatus(const std::string& text);
  std::string GetStatus() const;

  TStatic* Text;
};

// An alias over the window that has the keyboard focus (null when none
// has it), to own boxes and status windows of code that has no window.
std::unique_ptr<TWindow> FocusAlias();

// The status window of one operation, created and shown at once and
// destroyed with this object.
class TStatusWindow {
 public:
  explicit TStatusWindow(const std::string& text);
  ~TStatusWindow();
  TStatusWindow(const TStatusWindow&) = delete;
  TStatusWindow& operator=(const TStatusWindow&) = delete;
  void Set(const std::string& text);

 private:
  std::unique_ptr<TWindow> owner_;
  std::unique_ptr<TShowStatusDlg> dlg_;
};
