// What an output object shows for the current records: the text it draws,
// and for the data file the number and date behind it.
#pragma once

#include <string>

#include "report/report_model.h"

struct ShownValue {
  std::string text;
  double number = 0;  // a numeric source's value, a total's (0 when it has none)
  std::string date;   // CCYYMMDD of a date source, else empty
};

// Fields show their contents (trailing blanks cut, a memo's text, a date
// through the picture, numbers by the number rules), expressions and
// calculations their result by its type, totals their value by their type
// (nothing for an average, minimum or maximum over no record), text
// objects their text; lines, frames and bitmaps show no text. False after
// an engine error, which stays pending in the context.
bool object_shown(DbReport* r, DbReportObject* o, ShownValue& out);

// A date "CCYYMMDD" through a picture; nothing for a blank date.
std::string date_text(const std::string& date, const std::string& picture);
