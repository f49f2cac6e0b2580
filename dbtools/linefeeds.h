// Line-end cleaning of program files: everything in front of the first
// "%" goes, every run of line ends (CR, LF, empty lines among them)
// becomes one CR LF, and only the printable bytes 32 to 127 stay. The
// state is carried from piece to piece, so the result does not depend on
// where a piece of the file ends.
#pragma once

#include <string>
#include <string_view>

class TLinefeedCleaner {
 public:
  // Appends the cleaned bytes of the next piece to out.
  void Feed(std::string_view in, std::string& out);
  // Whether a "%" has been met: a file without one is left as it is.
  bool Started() const { return started_; }

 private:
  bool started_ = false;
  bool inRun_ = false;
};

// The size of the pieces a file is read in.
inline constexpr std::size_t kLinefeedPiece = 60000;

enum class TCleanOutcome { Converted, NoPercent, ReadFailed, WriteFailed };

// Cleans source into target (created anew); the error value of a failure
// in *error.
TCleanOutcome CleanLinefeedsInFile(const std::string& source, const std::string& target, int* error);
