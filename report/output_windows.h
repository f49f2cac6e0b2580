// The windows of a report's output: the preview ("PreViewWin", a pop-up
// frame as large as the screen with the commands "&Next" and "&Close" and
// two scroll bars) with its page window ("OutputPageWin", which shows the
// visible part of the page bitmap), the cancel dialog of printing, and the
// mouse eater ("MouseEat"), a tiny window that holds the mouse while pages
// are produced.
#pragma once

#include <memory>

#include "platform/ui/dc.h"
#include "platform/ui/dialog.h"
#include "platform/ui/frame.h"
#include "report/report.h"

// The preview's commands.
enum : UINT {
  IDM_REPORT_NEXT = 111,
  IDM_REPORT_CLOSE = 444,
};

// The cancel dialog of printing, built by the program itself.
enum : int {
  IDD_REPORT_CANCEL = 1550,
  IDC_REPORT_CANCEL = 101,
};

class TOutputPageWin;

class TPreviewWin : public TFrameWindow {
 public:
  TPreviewWin(TWindow* owner, DbReport* report);
  ~TPreviewWin() override;

  // Makes the page bitmap and shows the first page; false when the page
  // window or its bitmap cannot be made.
  bool Start();
  // The page shown: its bitmap's context, the drawing of the last page
  // produced, and where the view of it stands.
  TMemoryDC& PageDC() { return Page; }
  const plat::DrawRecord& LastPage() const { return PageRecord; }
  TPoint ScrollPos() const;
  bool Finished() const { return Done; }

  void CmNext();
  void CeNext(TCommandEnabler& ce);
  void CmClose();
  void EvClose() override;
  LRESULT EvHScroll(WPARAM wp, LPARAM lp);
  LRESULT EvVScroll(WPARAM wp, LPARAM lp);

 protected:
  const char* WindowClass() const override { return "PreViewWin"; }

 private:
  bool ProducePage();
  void Scroll(int bar, UINT code, int thumb);
  void Ended();
  DbReport* Report;
  TOutputPageWin* PageWin;
  TMemoryDC Page;
  HBITMAP Bitmap = nullptr;
  plat::DrawRecord PageRecord;
  bool Done = false;
  bool Closed = false;

  DECLARE_RESPONSE_TABLE(TPreviewWin);
};

class TOutputPageWin : public TWindow {
 public:
  explicit TOutputPageWin(TPreviewWin* preview);
  void Paint(TDC& dc, bool erase, TRect& rect) override;

 protected:
  const char* WindowClass() const override { return "OutputPageWin"; }

 private:
  TPreviewWin* Preview;
};

class TMouseEat : public TWindow {
 public:
  explicit TMouseEat(TWindow* owner);

 protected:
  const char* WindowClass() const override { return "MouseEat"; }
};

// Modeless while the pages print; its button (or Esc) cancels printing:
// the flag is set, the owner enabled again and the dialog goes.
class TReportCancelDlg : public TDialog {
 public:
  TReportCancelDlg(TWindow* owner, DbReport* report, bool& abort);
  void SetupWindow() override;
  void CmCancel() override;
  void EvClose() override;  // the close box does nothing while printing
  void CmCancelPrinting();

 private:
  DbReport* Report;
  bool& Abort;

  DECLARE_RESPONSE_TABLE(TReportCancelDlg);
};

// The caption the output's windows and the print job take when the report
// has none.
inline constexpr const char* kReportTitle = "ZevoZezododo 2.0";
