// The program list print-out: seven programs to a page, each a block of
// six labelled lines, under a title box and a grey band naming the
// customer, project or machine, with the page number and the time of
// printing at the foot. Page n always shows programs 7n-6 to 7n of the
// selection, so a page range or a page drawn twice shows the right
// programs; the print-out owns the selection and frees it once.
#pragma once

#include <string>

#include "dbtools/program_sets.h"
#include "platform/ui/print.h"

enum : int {
  kMsgPrintCustomerBand = 115,
  kMsgPrintProjectBand = 116,
  kMsgPrintMachineBand = 117,
  kMsgPrintFooter = 343,  // page, pages, day, month, year, hour, minute
  kMsgPrintTitle = 344,
};

class TPrintListout : public TPrintout {
 public:
  static constexpr int kPerPage = 7;
  // The logical page every page is drawn on.
  static constexpr int kPageWidth = 748, kPageHeight = 1079;

  TPrintListout(int bandMessage, std::string name, TProgramList programs);

  int PageCount() const { return Pages; }
  void GetDialogInfo(int& minPage, int& maxPage, int& selFromPage, int& selToPage) override;
  bool HasPage(int pageNumber) override { return pageNumber >= 1 && pageNumber <= Pages; }
  void PrintPage(int page, TRect& rect, unsigned flags) override;

 private:
  void DrawHeading(TDC& dc);
  void DrawFooter(TDC& dc, int page);
  int DrawProgram(TDC& dc, const TcbFileRecord& program, int y);

  int BandMessage;
  std::string Name;
  TProgramList Programs;
  int Pages;
};

class TPrintListCust : public TPrintListout {
 public:
  TPrintListCust(std::string name, TProgramList programs)
      : TPrintListout(kMsgPrintCustomerBand, std::move(name), std::move(programs)) {}
};
class TPrintListProj : public TPrintListout {
 public:
  TPrintListProj(std::string name, TProgramList programs)
      : TPrintListout(kMsgPrintProjectBand, std::move(name), std::move(programs)) {}
};
class TPrintListMach : public TPrintListout {
 public:
  TPrintListMach(std::string name, TProgramList programs)
      : TPrintListout(kMsgPrintMachineBand, std::move(name), std::move(programs)) {}
};
