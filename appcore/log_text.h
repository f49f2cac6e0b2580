// The text of a system log entry: the LOGSTRS text of the event type used as
// a format for the caller's texts and then the logged-on user's first and
// last name, cut to the 200 characters of the log's TEXT field.
//
// The language file is outside the program, so its text is used as a format
// only when its conversions are exactly one %s (with optional "-", width and
// precision) per value; "%%" stands for "%". Any other text is written as it
// stands, followed by the values separated by blanks.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

constexpr std::size_t kLogTextMax = 200;

// How many caller values an event type takes; -1 for a type that writes no
// entry (0, 8 to 11, 13 to 19, 30 and higher).
int LogValueCount(int type);

// Fills `format` with `values`; see above.
std::string FormatLogValues(std::string_view format, const std::vector<std::string>& values);
