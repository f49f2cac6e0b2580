// What every print-out of the program draws on its fixed logical page of
// 748 x 1079 units: a frame from (30, 100) to (718, 1029), a title box
// above it with MESSAGES 344 in its middle, and the page number and the
// time of printing (MESSAGES 343) under it. The page count is fixed when
// the print-out is made; the print dialog offers all of its pages.
#pragma once

#include "platform/ui/print.h"

#include "appcore/message_ids.h"

class TFramedPrintout : public TPrintout {
 public:
  static constexpr int kPageWidth = 748, kPageHeight = 1079;
  static constexpr int kLeft = 30, kRight = kPageWidth - 30, kFrameTop = 100, kFrameBottom = kPageHeight - 50;

  TFramedPrintout(const char* title, int pages);

  int PageCount() const { return Pages; }
  void GetDialogInfo(int& minPage, int& maxPage, int& selFromPage, int& selToPage) override;
  bool HasPage(int pageNumber) override { return pageNumber >= 1 && pageNumber <= Pages; }

 protected:
  // Maps the printer's page onto the logical page and clips to it; the
  // device context's level to restore when the page is done.
  int BeginPage(TDC& dc);
  // The frame, the title box and the footer of the page; the device
  // context's font and background mode are as they were.
  void DrawFrame(TDC& dc, int page);

  int Pages;
};
