// The program list print-out; see list_printout.h. Positions are in the
// units of the 748 x 1079 logical page.
#include "dbtools/list_printout.h"

#include "appcore/globals.h"
#include "dbtools/program_list_file.h"

namespace {

constexpr int kBandBottom = 130;
constexpr int kLabelX = 40, kValueX = 160, kFirstLine = 140, kLineStep = 16;

}  // namespace

TPrintListout::TPrintListout(int bandMessage, std::string name, TProgramList programs)
    : TFramedPrintout("Listing", static_cast<int>((programs.size() + kPerPage - 1) / kPerPage)),
      BandMessage(bandMessage),
      Name(std::move(name)),
      Programs(std::move(programs)) {}

void TPrintListout::PrintPage(int page, TRect&, unsigned) {
  TDC& dc = *DC;
  const int saved = BeginPage(dc);
  DrawFrame(dc, page);
  dc.SetBkMode(TRANSPARENT);
  DrawBand(dc);
  int y = kFirstLine;
  const std::size_t first = static_cast<std::size_t>(page - 1) * kPerPage;
  for (std::size_t i = first; i < Programs.size() && i < first + kPerPage; ++i) y = DrawProgram(dc, *Programs[i], y);
  dc.RestoreDC(saved);
}

void TPrintListout::DrawBand(TDC& dc) {
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
