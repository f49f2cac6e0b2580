// The printout of the setup sheet page 1 shows: one page with a title box,
// the sheet's type and name, the program's identification with customer
// and project, and one line for every labelled page-1 field. Texts,
// numbers and flags print as stored in the sheet; choice fields as page 1
// shows them.
//
// The PRINTS texts are formats from a file the user may change: they are
// filled only through the checked formatter, a text whose conversions do
// not fit prints as it stands with its values after it, and a missing text
// prints its values alone.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "appcore/log_text.h"
#include "dbmodel/filetable.h"
#include "dbmodel/setup_sheet.h"
#include "app/framed_printout.h"

// PRINTS texts of the sheet printout.
enum : int {
  kPrintProgramDesc = 0,  // DESC
  kPrintProgramChar3 = 1,
  kPrintProgramDraw = 2,
  kPrintProgramPart = 3,
  kPrintProgramMachine = 4,
  kPrintCustomer = 5,  // company or the "none" text
  kPrintProject = 6,   // project or the "none" text
  kPrintNone = 12,
  kPrintSheetHeading = 13,  // type name, sheet name
  kPrintTextLine = 14,      // label, text
  kPrintDecimalLine = 15,   // label, decimal
  kPrintIntegerLine = 16,   // label, integer
  kPrintFlagOn = 17,
  kPrintFlagOff = 18,
};

// Always one page.
class TSheetPrint : public TFramedPrintout {
 public:
  // The sheet, program and page-1 label row stay the caller's; valueTexts are
  // the texts page 1's choice combos show.
  TSheetPrint(const TSheet05Record* sheet, const TcbFileRecord* program, std::string typeName,
              const TSheet03Record* labels, std::array<std::string, 4> valueTexts);

  void PrintPage(int page, TRect& rect, unsigned flags) override;

 private:
  void DrawProgram(TDC& dc, int page);
  void DrawFields(TDC& dc);

  const TSheet05Record* Sheet;
  const TcbFileRecord* Program;
  std::string TypeName;
  const TSheet03Record* Labels;
  std::array<std::string, 4> ValueTexts;
};

// A PRINTS text filled with values: see above.
std::string SheetPrintLine(int printId, const std::vector<TFormatValue>& values);
