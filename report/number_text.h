// How an output object shows a number: its numeric type (plain,
// scientific, currency, percent), decimals, display-zero, brackets and
// leading-zero settings, with the report's decimal point, thousands
// separator and currency symbol.
#pragma once

#include <string>

#include "report/report_model.h"

struct NumberRules {
  int type = DB_NUMERIC_PLAIN;
  int decimals = 0;
  bool display_zero = false;
  bool brackets = false;
  bool leading_zero = false;
  char point = '.';      // none: no decimals at all
  char separator = ',';  // none: the digits are not grouped
  std::string currency = "$";
};

NumberRules number_rules(const DbReport* r, const DbReportObject* o);

// The text of a value:
// - a value that shows as zero at its decimals is printed as nothing unless
//   display-zero is set (so -0.4 with no decimals is nothing, -5 is "-5");
// - the integer digits are grouped by three with the separator, then come
//   the point and the decimals; below 1 the integer digit "0" is printed
//   only with leading-zero, or when nothing else would be printed;
// - a negative value starts with "-", or stands in brackets;
// - currency puts the symbol after the sign, percent shows the value times
//   100 followed by "%", scientific shows one digit, the point, the further
//   digits, "e" and the exponent ("1.23e3").
std::string number_text(double value, const NumberRules& rules);
