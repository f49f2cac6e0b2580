// The program list print-out: seven programs to a page, each a block of
// six labelled lines, under a title box and a grey band naming the
// customer, project or machine, with the page number and the time of
// printing at the foot. Page n always shows programs 7n-6 to 7n of the
// selection, so a page range or a page drawn twice shows the right
// programs; the print-out owns the selection and frees it once.
#pragma once

#include <string>

#include "app/framed_printout.h"
#include "appcore/message_ids.h"
#include "dbtools/program_sets.h"

class TPrintListout : public TFramedPrintout {
 public:
  static constexpr int kPerPage = 7;

  TPrintListout(int bandMessage, std::string name, TProgramList programs);

  void PrintPage(int page, TRect& rect, unsigned flags) override;

 private:
  void DrawBand(TDC& dc);
  int DrawProgram(TDC& dc, const TcbFileRecord& program, int y);

  int BandMessage;
  std::string Name;
  TProgramList Programs;
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
