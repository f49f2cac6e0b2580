// The text of a system log entry: the LOGSTRS text of the event type used as
// a format for the caller's texts and then the logged-on user's first and
// last name, cut to the 200 characters of the log's TEXT field.
//
// The language file is outside the program, so its text is used as a format
// only when its conversions match the values one by one: %s a text, %c a
// character (both with optional "-", width and precision), %d, %i, %u, %x,
// %X or %o an integer (with flags "-0+ #", width, precision and a length
// modifier), %f, %F, %e, %E, %g or %G a decimal (flags, width, precision,
// "l" allowed); "%%" stands for "%". Any other text is written as it stands,
// followed by the values separated by blanks.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

constexpr std::size_t kLogTextMax = 200;

// The system log's event types: the TYPE of a LOG00000.DBF row and the id
// of its LOGSTRS text. The values each takes follow the names.
enum LogEvent : int {
  kLogProgramSent = 1,         // program, machine, port: sent to a machine
  kLogSendCancelled = 2,       // program, machine, port: a sending cancelled
  kLogProgramDeleted = 4,      // program, machine
  kLogBackupRestored = 5,      // program, machine
  kLogProgramCopied = 6,       // program and machine, then those of the copy
  kLogProgramCreated = 7,      // program, machine
  kLogImportDeleted = 12,      // the two texts of a failed import
  kLogMachineChanged = 20,     // machine
  kLogProgramRenamed = 21,     // old program and machine, then the new ones
  kLogProgramLocked = 22,      // program, machine
  kLogProgramUnlocked = 23,    // program, machine
  kLogProgramSaved = 24,       // program, machine: the editor saved it
  kLogReceiveFailed = 25,      // machine, port
  kLogReceivedTemporary = 26,  // program, machine, port: kept aside
  kLogReceivedReplaced = 28,   // program, machine, port: replaced the stored one
  kLogReceivedNew = 29,        // program, machine, port: a new program
  kLogAutoImportWaiting = 30,  // file, why: a watched file left for a later pass
};

// How many caller values an event type takes; -1 for a type that writes no
// entry (0, 8 to 11, 13 to 19, 31 and higher).
int LogValueCount(int type);

// One value for a checked format: a text, a character, an integer or a
// decimal.
class TFormatValue {
 public:
  enum Kind { Text, Char, Integer, Decimal };
  TFormatValue(std::string text) : kind(Text), text(std::move(text)) {}  // NOLINT: values convert
  TFormatValue(const char* text) : kind(Text), text(text ? text : "") {}  // NOLINT
  TFormatValue(char c) : kind(Char), number(static_cast<unsigned char>(c)) {}  // NOLINT
  TFormatValue(int n) : kind(Integer), number(n) {}  // NOLINT
  TFormatValue(long n) : kind(Integer), number(n) {}  // NOLINT
  TFormatValue(long long n) : kind(Integer), number(n) {}  // NOLINT
  TFormatValue(double d) : kind(Decimal), decimal(d) {}  // NOLINT

  Kind kind;
  std::string text;
  long long number = 0;
  double decimal = 0.0;

  // The value as the plain text after an unmatched format (a decimal in
  // its shortest exact form: 2.5, 1234567.125).
  std::string Plain() const;
};

// Fills `format` with `values` into `out`; false (out untouched) when the
// conversions do not match the values.
bool FormatChecked(std::string_view format, const std::vector<TFormatValue>& values, std::string& out);
// Fills `format` with `values`, or writes it as it stands with the values
// after it; see above. Nothing is cut.
std::string FormatLogValues(std::string_view format, const std::vector<TFormatValue>& values);
