// The setup-sheet printout; see sheet_print.h. Positions are in the units
// of the 748 x 1079 logical page.
#include "masterdata/sheet_print.h"

#include <memory>

#include "appcore/globals.h"
#include "dbmodel/customer.h"
#include "dbmodel/project.h"

namespace {

constexpr int kLeft = TSheetPrint::kLeft, kRight = TSheetPrint::kRight;
constexpr int kTextX = 40, kHeadingY = 110, kHeadingRule = 130, kProgramY = 140, kProgramStep = 20;
constexpr int kProgramRule = 280, kFirstField = 290, kFieldStep = 20;
constexpr BYTE kCharSet = 1, kPitch = 1;

// The name a look-up gives, empty for none; the copy is freed.
std::string TakeName(char* copy) {
  std::unique_ptr<char[]> owned(copy);
  return copy ? std::string(copy) : std::string();
}

std::string PrintText(int id) {
  return Globals->PrintTexts.Has(id) ? std::string(Globals->PrintTexts.Get(id)) : std::string();
}

void Line(TDC& dc, int y) {
  dc.MoveTo(kLeft, y);
  dc.LineTo(kRight, y);
}

void Tabbed(TDC& dc, int x, int y, const std::string& text) { dc.TabbedTextOut(x, y, text.c_str(), -1); }

}  // namespace

std::string SheetPrintLine(int printId, const std::vector<TFormatValue>& values) {
  const std::string format = PrintText(printId);
  if (!format.empty()) return FormatLogValues(format, values);
  std::string out;
  for (const TFormatValue& v : values) out += (out.empty() ? "" : " ") + v.Plain();
  return out;
}

TSheetPrint::TSheetPrint(const TSheet05Record* sheet, const TcbFileRecord* program, std::string typeName,
                         const TSheet03Record* labels, std::array<std::string, 4> valueTexts)
    : TFramedPrintout("Setup sheet", 1),
      Sheet(sheet),
      Program(program),
      TypeName(std::move(typeName)),
      Labels(labels),
      ValueTexts(std::move(valueTexts)) {}

void TSheetPrint::PrintPage(int page, TRect&, unsigned) {
  TDC& dc = *DC;
  const int saved = BeginPage(dc);
  DrawFrame(dc, page);

  TFont heading("ARIAL", 16, 0, 0, 0, FW_BOLD, kPitch, 0, 0, 0, kCharSet);
  dc.SelectObject(heading);
  const std::string name = Sheet ? Sheet->NAME : "";
  Tabbed(dc, kTextX, kHeadingY, SheetPrintLine(kPrintSheetHeading, {TypeName, name}));
  Line(dc, kHeadingRule);

  const int bkMode = dc.SetBkMode(TRANSPARENT);
  {
    TFont block("MS SANS SERIF", 16, 0, 0, 0, FW_BOLD, kPitch, 0, 0, 0, kCharSet);
    dc.SelectObject(block);
    DrawProgram(dc, page);
    dc.RestoreFont();
  }
  // The field lines in the font the page started with.
  if (page == 1 && Sheet) DrawFields(dc);
  dc.SetBkMode(bkMode);
  dc.RestoreDC(saved);
}

void TSheetPrint::DrawProgram(TDC& dc, int page) {
  if (!Program) return;
  const TcbFileRecord& p = *Program;
  if (page != 1) {
    Tabbed(dc, kTextX, kProgramY, SheetPrintLine(kPrintProgramDesc, {p.DESC}));
    Line(dc, kProgramY + kProgramStep);
    return;
  }
  const std::pair<int, const char*> lines[] = {
      {kPrintProgramDesc, p.DESC}, {kPrintProgramChar3, p.CHAR3},     {kPrintProgramDraw, p.DRAW},
      {kPrintProgramPart, p.PART}, {kPrintProgramMachine, p.MACHINE},
  };
  int y = kProgramY;
  for (const auto& [id, value] : lines) {
    Tabbed(dc, kTextX, y, SheetPrintLine(id, {value}));
    y += kProgramStep;
  }
  // The project prints only under the customer it was found with.
  const std::string none = PrintText(kPrintNone);
  std::string customer, project;
  if (p.CUST != 0) {
    TcbAdvCustTable customers("KELVCUS2.DBF", 0, 0);
    customer = TakeName(customers.GetName(p.CUST));
  }
  if (!customer.empty() && p.PROJECT != 0) {
    TcbProTable projects("KELVPRO.DBF", 0, 0);
    project = TakeName(projects.GetName(p.PROJECT));
  }
  Tabbed(dc, kTextX, y, SheetPrintLine(kPrintCustomer, {customer.empty() ? none : customer}));
  Tabbed(dc, kTextX, y + kProgramStep, SheetPrintLine(kPrintProject, {project.empty() ? none : project}));
  Line(dc, kProgramRule);
}

void TSheetPrint::DrawFields(TDC& dc) {
  if (!Labels) return;
  const TSheet05Record& s = *Sheet;
  const std::string none = PrintText(kPrintNone);
  int y = kFirstField;
  for (int n = 0; n < 25; ++n) {
    const std::string label = Labels->Label(n);
    if (label.empty()) continue;
    std::string line;
    if (n < 5)
      line = SheetPrintLine(kPrintTextLine, {label, s.Text(n)});
    else if (n < 10)
      line = SheetPrintLine(kPrintDecimalLine, {label, s.Decimal(n - 5)});
    else if (n < 15)
      line = SheetPrintLine(kPrintIntegerLine, {label, static_cast<long>(s.Integer(n - 10))});
    else if (n < 21)
      line = SheetPrintLine(kPrintTextLine, {label, PrintText(s.Flag(n - 15) ? kPrintFlagOn : kPrintFlagOff)});
    else
      line = SheetPrintLine(kPrintTextLine, {label, ValueTexts[n - 21].empty() ? none : ValueTexts[n - 21]});
    Tabbed(dc, kTextX, y, line);
    y += kFieldStep;
  }
}
