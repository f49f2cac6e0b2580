// The system log viewer: the entries of one event type (two for the
// transfers to machines), sorted by their lines (the date text leads, day
// first), and deletion of the chosen entries (any number of lines) or of
// every entry shown, each after a question.
#pragma once

#include <memory>

#include "app/lang_dlg.h"
#include "platform/ui/gdi_object.h"
#include "platform/ui/listbox.h"

class TLogDlg : public TLangDlg {
 public:
  explicit TLogDlg(TWindow* parent);

  void SetupWindow() override;
  // One handler for the event buttons 101-117.
  void EvEventFilter(UINT buttonId);
  void FillLogList();
  void FillLogListTwoTypes();
  void CmDelete();
  void CmDeleteAll();

  TListBox* LogList;
  std::unique_ptr<TFont> ListFont;
  long CurrentType = 0;
  long SecondType = 0;

 private:
  // The filter in force again, after a deletion.
  void Refill();
  // Marks the entries of the lines deleted; false when one could not be.
  bool DeleteLines(const std::vector<std::string>& lines);

  bool TwoTypes = false;

  DECLARE_RESPONSE_TABLE(TLogDlg);
};

// The event type listed by an event button; 0 for a button that lists no
// event of this system.
long SystemLogButtonType(int buttonId);
