// The modeless progress window of the long text operations: a bar from 0
// to 100 and a Cancel button that closes the window. The operation asks
// Active() after each step and stops once the user closed it.
#pragma once

#include <cstdint>

#include "platform/ui/dialog.h"
#include "resources/dialogs/nctools.h"

class TApplication;

// A visible progress bar child of parent, range 0..100; null on failure.
HWND CreateProgressBar(HWND parent, HINSTANCE instance, int x, int y, int width, int height);

class ProgressDialog : public TDialog {
 public:
  static constexpr int kResourceId = IDD_PROGRESS;
  static constexpr int kBarId = 110;

  // caption: replaces the template's caption; null keeps it.
  ProgressDialog(TWindow* parent, const char* caption = nullptr);

  void SetupWindow() override;
  // False once Cancel (or the close box) closed the window.
  bool Active() const;
  // Sends the percent to the bar when it differs from the last one sent.
  void SetPercent(int percent);
  HWND Bar() const { return bar_; }

 private:
  const char* caption_;
  HWND bar_ = nullptr;
  int last_ = 1;
};

// The progress of one pass over a file: shows the dialog, turns read
// positions into percents in 64 bits (files of any size), lets the queue
// run so Cancel is heard, and tells whether the user cancelled.
class TProgressRun {
 public:
  TProgressRun(TWindow* parent, TApplication* app, const char* caption, int64_t total);
  ~TProgressRun();
  TProgressRun(const TProgressRun&) = delete;
  TProgressRun& operator=(const TProgressRun&) = delete;

  // One step done at `position` bytes; false when the user cancelled.
  bool Step(int64_t position);
  bool Cancelled() const { return !dlg_.Active(); }
  ProgressDialog& Dialog() { return dlg_; }

  // The integer percent of position in total (0 for an empty total).
  static int Percent(int64_t position, int64_t total);

 private:
  ProgressDialog dlg_;
  TApplication* app_;
  int64_t total_;
};
