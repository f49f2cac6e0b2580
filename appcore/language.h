// Language files: MESSAGES, DIALOGS, LOGSTRS, PRINTS, MENUHINT and MENUES,
// each as a delivered .CFG and a user's .USR in the configuration directory.
//
// Format (text lines): outside a block only a line starting with "{" counts;
// it opens a block. Inside, lines starting with "[" are skipped, every other
// line starts with a language number. A line of another language leaves the
// block; a line of the chosen language is an entry
//     <language>,<id>,"<text>"
// Once an entry of the chosen language has been read, a line starting with
// "}" ends the file. Empty lines are skipped everywhere. MESSAGES turns a
// backslash and the 3 characters after it into CR LF (written \r\n); MENUES
// turns a backslash and the one character after it into a tab (written \t).
#pragma once

#include <string>
#include <string_view>

#include "appcore/text_table.h"

enum class LanguageEscape { None, CrLf, Tab };

// Applies the escape rule to one text. A backslash without enough characters
// after it is kept as it stands.
std::string ExpandLanguageEscapes(std::string_view text, LanguageEscape esc);

// Reads one language file line by line into a table.
class LanguageBlockReader {
 public:
  LanguageBlockReader(TextTable& table, int languageNo, LanguageEscape esc)
      : table_(table), languageNo_(languageNo), esc_(esc) {}

  // Takes the next line (without its line end). False once the file's
  // block of the chosen language has ended: the rest need not be read.
  bool Feed(std::string_view line);

 private:
  void StoreEntry(std::string_view line);

  TextTable& table_;
  int languageNo_;
  LanguageEscape esc_;
  bool inBlock_ = false;
  bool matched_ = false;
};

// The text shown for a message id that has none.
std::string MissingMessageText(int id);
