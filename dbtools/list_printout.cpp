// The program list print-out; see list_printout.h. Positions are in the
// units of the 748 x 1079 logical page.
#include "dbtools/list_printout.h"

#include "appcore/globals.h"
#include "appcore/log_text.h"
#include "dbtools/program_list_file.h"
#include "platform/clock.h"

namespace {

constexpr int kLeft = 30, kRight = 718, kFrameTop = 100, kFrameBottom = 1029, kBandBottom = 130;
constexpr int kLabelX = 40, kValueX = 160, kFirstLine = 140, kLineStep = 16;

int LineHeight(const TDC& dc) {
  TEXTMETRIC tm{};
  return dc.GetTextMetrics(tm) ? tm.tmHeight + tm.tmExternalLeading : 10;
}

}  // namespace

TPrintListout::TPrintListout(int bandMessage, std::string name, TProgramList programs)
    : TPrintout("Listing"),
      BandMessage(bandMessage),
      Name(std::move(name)),
      Programs(std::move(programs)),
      Pages(static_cast<int>((Programs.size() + kPerPage - 1) / kPerPage)) {
  SetBanding(false);
}

void TPrintListout::GetDialogInfo(int& minPage, int& maxPage, int& selFromPage, int& selToPage) {
  minPage = 1;
  maxPage = Pages;
  selFromPage = 1;
  selToPage = Pages;
}

void TPrintListout::PrintPage(int page, TRect&, unsigned) {
  TDC& dc = *DC;
  const int saved = dc.SaveDC();
  dc.SetMapMode(MM_ANISOTROPIC);
  dc.SetWindowExt({kPageWidth, kPageHeight});
  dc.SetViewportExt(PageSize);
  dc.IntersectClipRect(0, 0, kPageWidth, kPageHeight);
  DrawHeading(dc);
  DrawFooter(dc, page);
  dc.SetBkMode(TRANSPARENT);
  int y = kFirstLine;
  const std::size_t first = static_cast<std::size_t>(page - 1) * kPerPage;
  for (std::size_t i = first; i < Programs.size() && i < first + kPerPage; ++i) y = DrawProgram(dc, *Programs[i], y);
  dc.RestoreDC(saved);
}

void TPrintListout::DrawHeading(TDC& dc) {
  dc.MoveTo(kLeft, kFrameTop);
  dc.LineTo(kLeft, kFrameBottom);
  dc.LineTo(kRight, kFrameBottom);
  dc.LineTo(kRight, kFrameTop);
  dc.LineTo(kLeft, kFrameTop);

  TFont title("ARIAL", 24, 0, 0, 0, FW_BOLD, FIXED_PITCH);
  dc.SelectObject(title);
  dc.Rectangle(kLeft, 30, kRight, 30 + LineHeight(dc) + 12);
  const std::string titleText = Globals->GetMessageText(kMsgPrintTitle);
  dc.SetBkMode(TRANSPARENT);
  dc.TextOut((kPageWidth - dc.GetTextExtent(titleText.c_str()).cx) / 2, 40, titleText.c_str());

  dc.MoveTo(kLeft, kBandBottom);
  dc.LineTo(kRight, kBandBottom);
  TBrush grey(RGB(192, 192, 192));
  dc.FillRect(TRect(kLeft, kFrameTop, kRight, kBandBottom), grey);
  TFont band("ARIAL", 16, 0, 0, 0, FW_BOLD, FIXED_PITCH);
  dc.SelectObject(band);
  const std::string bandText = Globals->GetMessageText(BandMessage) + " " + Name;
  dc.DrawText(bandText.c_str(), -1, TRect(kLeft, kFrameTop, kRight, kBandBottom),
              DT_SINGLELINE | DT_CENTER | DT_VCENTER | DT_NOPREFIX);
  dc.RestoreFont();
}

void TPrintListout::DrawFooter(TDC& dc, int page) {
  const plat::SystemTime now = plat::local_time();
  TFont text("ARIAL", 12);
  dc.SelectObject(text);
  const std::string footer = FormatLogValues(Globals->GetMessageText(kMsgPrintFooter),
                                             {page, Pages, now.day, now.month, now.year, now.hour, now.minute});
  dc.TabbedTextOut(kLeft, kFrameBottom + 10, footer.c_str(), -1);
  dc.RestoreFont();
}

int TPrintListout::DrawProgram(TDC& dc, const TcbFileRecord& p, int y) {
  const TProgramLabels l = TProgramLabels::FromMessages();
  const std::pair<const std::string&, std::string> lines[] = {
      {l.Desc, p.DESC},  {l.Char3, p.CHAR3},     {l.Draw, p.DRAW},
      {l.Part, p.PART},  {l.Machine, p.MACHINE}, {l.File, p.FilePath()},
  };
  TFont bold("ARIAL", 12, 0, 0, 0, FW_BOLD, FIXED_PITCH);
  TFont text("ARIAL", 12);
  bool first = true;
  for (const auto& [label, value] : lines) {
    dc.SelectObject(first ? bold : text);
    first = false;
    dc.TabbedTextOut(kLabelX, y, label.c_str(), -1);
    const std::string shown = ": " + value;
    dc.TabbedTextOut(kValueX, y, shown.c_str(), -1);
    y += kLineStep;
  }
  dc.RestoreFont();
  y += 24 - kLineStep;
  dc.MoveTo(kLeft, y);
  dc.LineTo(kRight, y);
  return y + 10;
}
