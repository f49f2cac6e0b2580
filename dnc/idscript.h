// ID scripts: small line programs that find a program identifier (a name
// or a number) in a text a machine sent. Each line calls one of 24 fixed
// functions with at most one argument: "NAME(argument);".
//
// A run keeps a current line and a position in it (the first character is
// position 1) and an identifier being built; the lines run in order.
// Movements that find nothing, or that would read past the end of the
// text, end the run with an error naming the script line, so a wrong
// script never yields a half-built identifier.
//
// Arguments: numbers and character codes are decimal (65 is 'A'); the
// ASCIICODES functions take the characters themselves ("/;" is the set of
// '/' and ';'); STRING takes the text. An argument can hold neither
// '(' nor ')' nor ';' nor control characters, so every line reads back
// as it was written.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace idscript {

// What a function asks for its argument.
enum class ArgKind {
  None,     // no argument: "NAME();"
  YesNo,    // TRUE or FALSE
  Number,   // digits, at most 7
  CharCode, // digits, at most 2 in the editor (a code below 256 in a file)
  Text      // at most 9 characters
};

struct Function {
  const char* name;      // as written in the script
  const char* listText;  // as the editor lists it
  ArgKind kind;
};

constexpr int kFunctions = 24;
// In the editor's list order.
extern const Function kFunctionTable[kFunctions];

// The most characters the editor takes for an argument of the kind.
int MaxArgumentLength(ArgKind kind);

// Why an argument typed for the kind cannot go into a line; empty when it
// can. An empty argument is refused too.
std::string ArgumentProblem(ArgKind kind, const std::string& argument);

// The script line of function index with the argument (ignored for None;
// "TRUE"/"FALSE" for YesNo). The argument must have passed ArgumentProblem.
std::string ScriptLine(int function, const std::string& argument);

struct Step {
  int function = 0;      // index into kFunctionTable
  std::string argument;  // as written
  long number = 0;       // Number, CharCode: the value; YesNo: 1 for TRUE
  int line = 0;          // script line number, from 1
};

struct Parsed {
  std::vector<Step> steps;
  std::string error;  // "line N: ..." when the script is not valid
  bool ok() const { return error.empty(); }
};

// Reads a script: one call a line, lines ended by LF with an optional CR;
// blank lines are skipped, blanks around a call are allowed.
Parsed Parse(const std::string& script);

struct Result {
  std::string id;         // the identifier built
  bool reserved = false;  // it equals a RESERVE_THIS_ID number
  std::string error;      // "line N: ..." when the run failed (no id then)
  bool ok() const { return error.empty(); }
};

// Runs parsed steps over a received text (lines ended by LF, CR dropped).
Result Run(const std::vector<Step>& steps, const std::string& text);

}  // namespace idscript
