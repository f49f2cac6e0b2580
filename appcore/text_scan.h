// Small scanners shared by the configuration and language readers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The usual decimal rule: leading blanks skipped, optional sign, digits up to
// the first non-digit, no digits giving 0. Values beyond 32 bits saturate.
int32_t DecimalValue(std::string_view s);

// After the first "=": blanks and tabs skipped, then the text up to the next
// blank or tab. Empty when the line has no "=".
std::string WordAfterEquals(std::string_view line);

// The characters between the first and the second double quote; false when
// the line has fewer than two.
bool QuotedText(std::string_view line, std::string& out);

// The text without leading blanks and tabs and without trailing blanks, as
// the dialogs keep the fields they store.
std::string TrimText(std::string_view text);

// The text cut to at most max bytes (a field's width).
std::string CutText(std::string text, std::size_t max);
