#include "app/framed_printout.h"

#include "appcore/globals.h"
#include "appcore/log_text.h"
#include "platform/clock.h"

TFramedPrintout::TFramedPrintout(const char* title, int pages) : TPrintout(title), Pages(pages) { SetBanding(false); }

void TFramedPrintout::GetDialogInfo(int& minPage, int& maxPage, int& selFromPage, int& selToPage) {
  minPage = 1;
  maxPage = Pages;
  selFromPage = 1;
  selToPage = Pages;
}

int TFramedPrintout::BeginPage(TDC& dc) {
  const int saved = dc.SaveDC();
  dc.SetMapMode(MM_ANISOTROPIC);
  dc.SetWindowExt({kPageWidth, kPageHeight});
  dc.SetViewportExt(PageSize);
  dc.IntersectClipRect(0, 0, kPageWidth, kPageHeight);
  return saved;
}

void TFramedPrintout::DrawFrame(TDC& dc, int page) {
  dc.MoveTo(kLeft, kFrameTop);
  dc.LineTo(kLeft, kFrameBottom);
  dc.LineTo(kRight, kFrameBottom);
  dc.LineTo(kRight, kFrameTop);
  dc.LineTo(kLeft, kFrameTop);

  TFont title("ARIAL", 24, 0, 0, 0, FW_BOLD, FIXED_PITCH);
  dc.SelectObject(title);
  TEXTMETRIC tm{};
  const int lineHeight = dc.GetTextMetrics(tm) ? tm.tmHeight + tm.tmExternalLeading : 10;
  dc.Rectangle(kLeft, 30, kRight, lineHeight + 42);
  const int bkMode = dc.SetBkMode(TRANSPARENT);
  const std::string titleText = Globals->GetMessageText(kMsgPrintTitle);
  dc.TextOut((kPageWidth - dc.GetTextExtent(titleText.c_str()).cx) / 2, 40, titleText.c_str());
  dc.SetBkMode(bkMode);
  dc.RestoreFont();

  const plat::SystemTime now = plat::local_time();
  TFont footerFont("ARIAL", 12);
  dc.SelectObject(footerFont);
  const std::string footer = FormatLogValues(Globals->GetMessageText(kMsgPrintFooter),
                                             {page, Pages, now.day, now.month, now.year, now.hour, now.minute});
  dc.TabbedTextOut(kLeft, kPageHeight - 40, footer.c_str(), -1);
  dc.RestoreFont();
}
