#include "dnc/idscript.h"

#include <cstdlib>
#include <optional>

namespace idscript {

namespace {

// Indexes of kFunctionTable.
enum Fn {
  kNoSpaces,
  kReserveThisId,
  kResetToTop,
  kNextLine,
  kSkipLines,
  kMoveToPosition,
  kMoveForward,
  kRightTrim,
  kLeftTrim,
  kRightZeroPad,
  kLeftZeroPad,
  kAddUntilChar,
  kAddWhileNotIn,
  kAddUntilOneOf,
  kAddUntilString,
  kAddNumberOfChars,
  kAddNumeric,
  kAddString,
  kPositionAfterChar,
  kPositionAfterString,
  kFindLineWithChar,
  kFindLineWithString,
  kFindLineWithAllOf,
  kFindLineWithOneOf
};

bool AllDigits(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

// fromFile: a script read back may hold any character code below 256 and
// texts longer than the editor takes.
std::string Problem(ArgKind kind, const std::string& arg, bool fromFile) {
  switch (kind) {
    case ArgKind::None:
      return arg.empty() ? "" : "the function takes no argument";
    case ArgKind::YesNo:
      return arg == "TRUE" || arg == "FALSE" ? "" : "TRUE or FALSE expected";
    case ArgKind::Number:
      if (arg.empty()) return "a number is missing";
      if (!AllDigits(arg)) return "only the digits 0-9 make a number";
      if (arg.size() > 7) return "a number has at most 7 digits";
      return "";
    case ArgKind::CharCode:
      if (arg.empty()) return "a character code is missing";
      if (!AllDigits(arg)) return "only the digits 0-9 make a character code";
      if (fromFile ? (arg.size() > 3 || std::atoi(arg.c_str()) > 255) : arg.size() > 2)
        return fromFile ? "a character code is at most 255" : "a character code has at most 2 digits";
      return "";
    case ArgKind::Text:
      if (arg.empty()) return "a text is missing";
      if (!fromFile && arg.size() > 9) return "a text has at most 9 characters";
      for (unsigned char c : arg) {
        if (c < 32 || c == 127) return "control characters cannot stand in a script line";
        if (c == '(' || c == ')' || c == ';') return "'(', ')' and ';' cannot stand in an argument";
      }
      return "";
  }
  return "unknown argument";
}

std::string Trim(const std::string& s) {
  const auto b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return "";
  const auto e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

bool Blank(char c) { return c == ' ' || c == '\t'; }

std::string LineError(int line, const std::string& text) { return "line " + std::to_string(line) + ": " + text; }

class Runner {
 public:
  explicit Runner(const std::string& text) {
    std::size_t start = 0;
    while (start < text.size()) {
      std::size_t nl = text.find('\n', start);
      std::string line = text.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines_.push_back(line);
      if (nl == std::string::npos) break;
      start = nl + 1;
    }
  }

  Result Run(const std::vector<Step>& steps) {
    Result r;
    for (const Step& s : steps) {
      std::string e = Do(s);
      if (!e.empty()) {
        r.error = LineError(s.line, std::string(kFunctionTable[s.function].name) + ": " + e);
        return r;
      }
    }
    if (id_.empty()) {
      r.error = "the script built no identifier";
      return r;
    }
    r.id = id_;
    for (const std::string& n : reserved_)
      if (SameId(n)) r.reserved = true;
    return r;
  }

 private:
  bool SameId(const std::string& number) const {
    if (AllDigits(id_)) return std::strtoull(id_.c_str(), nullptr, 10) == std::strtoull(number.c_str(), nullptr, 10);
    return id_ == number;
  }

  // The current line, or null past the end of the text.
  const std::string* Line() const { return line_ < lines_.size() ? &lines_[line_] : nullptr; }

  void Add(const std::string& from, std::size_t b, std::size_t e) {
    for (std::size_t i = b; i < e; i++)
      if (!noSpaces_ || !Blank(from[i])) id_ += from[i];
  }

  std::string MoveLines(long n) {
    if (line_ + static_cast<std::size_t>(n) >= lines_.size()) return "past the end of the text";
    line_ += static_cast<std::size_t>(n);
    pos_ = 0;
    return "";
  }

  template <class Match>
  std::string FindLine(Match match) {
    for (std::size_t l = line_; l < lines_.size(); l++) {
      if (match(lines_[l])) {
        line_ = l;
        pos_ = 0;
        return "";
      }
    }
    return "no line found";
  }

  std::string Do(const Step& s) {
    if (std::optional<std::string> done = DoWithoutLine(s)) return *done;
    const std::string* line = Line();
    if (!line) return "past the end of the text";
    return DoOnLine(s, *line);
  }

  // The functions that do not read the current line; nothing when the step
  // is none of them.
  std::optional<std::string> DoWithoutLine(const Step& s) {
    const std::string& a = s.argument;
    const char code = static_cast<char>(s.number);
    switch (s.function) {
      case kNoSpaces: noSpaces_ = s.number != 0; return "";
      case kReserveThisId: reserved_.push_back(a); return "";
      case kResetToTop: line_ = 0; pos_ = 0; return "";
      case kNextLine: return MoveLines(1);
      case kSkipLines: return MoveLines(s.number);
      case kRightTrim: while (!id_.empty() && Blank(id_.back())) id_.pop_back(); return "";
      case kLeftTrim: {
        const std::size_t b = id_.find_first_not_of(" \t");
        id_.erase(0, b == std::string::npos ? id_.size() : b);
        return "";
      }
      case kRightZeroPad:
      case kLeftZeroPad: {
        if (!AllDigits(id_)) return "the identifier is not a number";
        const std::size_t want = static_cast<std::size_t>(s.number);
        if (id_.size() < want) id_.insert(s.function == kLeftZeroPad ? 0 : id_.size(), want - id_.size(), '0');
        return "";
      }
      case kAddString: id_ += a; return "";
      case kFindLineWithChar: return FindLine([&](const std::string& l) { return l.find(code) != std::string::npos; });
      case kFindLineWithString: return FindLine([&](const std::string& l) { return l.find(a) != std::string::npos; });
      case kFindLineWithAllOf:
        return FindLine([&](const std::string& l) {
          for (char c : a)
            if (l.find(c) == std::string::npos) return false;
          return true;
        });
      case kFindLineWithOneOf: return FindLine([&](const std::string& l) { return l.find_first_of(a) != std::string::npos; });
      default: return std::nullopt;
    }
  }

  // The functions that read the current line from the position on.
  std::string DoOnLine(const Step& s, const std::string& l) {
    const std::string& a = s.argument;
    const char code = static_cast<char>(s.number);
    switch (s.function) {
      case kMoveToPosition: {
        const std::size_t p = s.number > 0 ? static_cast<std::size_t>(s.number - 1) : 0;
        if (p > l.size()) return "the line has only " + std::to_string(l.size()) + " characters";
        pos_ = p;
        return "";
      }
      case kMoveForward:
        if (pos_ + static_cast<std::size_t>(s.number) > l.size())
          return "the line has only " + std::to_string(l.size() - pos_) + " characters left";
        pos_ += static_cast<std::size_t>(s.number);
        return "";
      case kAddUntilChar:
      case kAddUntilOneOf:
      case kAddWhileNotIn:
      case kAddUntilString: {
        std::size_t at = s.function == kAddUntilChar   ? l.find(code, pos_)
                         : s.function == kAddUntilString ? l.find(a, pos_)
                                                         : l.find_first_of(a, pos_);
        if (at == std::string::npos) {
          if (s.function != kAddWhileNotIn) return "the end mark is not in the line";
          at = l.size();
        }
        Add(l, pos_, at);
        pos_ = at;
        return "";
      }
      case kAddNumberOfChars:
        if (pos_ + static_cast<std::size_t>(s.number) > l.size())
          return "the line has only " + std::to_string(l.size() - pos_) + " characters left";
        Add(l, pos_, pos_ + static_cast<std::size_t>(s.number));
        pos_ += static_cast<std::size_t>(s.number);
        return "";
      case kAddNumeric: {
        std::size_t e = pos_;
        while (e < l.size() && e - pos_ < static_cast<std::size_t>(s.number) && l[e] >= '0' && l[e] <= '9') e++;
        if (e == pos_) return "no digit at the position";
        id_.append(l, pos_, e - pos_);
        pos_ = e;
        return "";
      }
      case kPositionAfterChar:
      case kPositionAfterString: {
        const std::size_t at = s.function == kPositionAfterChar ? l.find(code, pos_) : l.find(a, pos_);
        if (at == std::string::npos) return "not found in the line";
        pos_ = at + (s.function == kPositionAfterChar ? 1 : a.size());
        return "";
      }
      default: return "unknown function";
    }
  }

  std::vector<std::string> lines_;
  std::size_t line_ = 0, pos_ = 0;
  std::string id_;
  bool noSpaces_ = false;
  std::vector<std::string> reserved_;
};

}  // namespace

const Function kFunctionTable[kFunctions] = {
    {"NO_SPACES", "NO_SPACES                 (TRUE/FALSE)", ArgKind::YesNo},
    {"RESERVE_THIS_ID", "RESERVE_THIS_ID           (NUMBER)", ArgKind::Number},
    {"RESET_TO_TOP", "RESET_TO_TOP              ()", ArgKind::None},
    {"NEXTLINE", "NEXTLINE                  ()", ArgKind::None},
    {"SKIPLINES", "SKIPLINES                 (NUMBER)", ArgKind::Number},
    {"MOVE_TO_POSITION_IN_LINE", "MOVE_TO_POSITION_IN_LINE  (NUMBER)", ArgKind::Number},
    {"MOVE_FORWARD_IN_LINE", "MOVE_FORWARD_IN_LINE      (NUMBER)", ArgKind::Number},
    {"RIGHT_TRIM_ID", "RIGHT_TRIM_ID             ()", ArgKind::None},
    {"LEFT_TRIM_ID", "LEFT__TRIM_ID             ()", ArgKind::None},
    {"RIGHT_ZEROPAD_NUMERIC_ID", "RIGHT_ZEROPAD_NUMERIC_ID  (NUMBER)", ArgKind::Number},
    {"LEFT_ZEROPAD_NUMERIC_ID", "LEFT__ZEROPAD_NUMERIC_ID  (NUMBER)", ArgKind::Number},
    {"ADD_TO_ID_UNTIL_CHAR", "ADD_TO_ID_UNTIL_CHAR      (1 ASCIICODE)", ArgKind::CharCode},
    {"ADD_TO_ID_WHILE_NOT_IN", "ADD_TO_ID_WHILE_NOT_IN    (ASCIICODES)", ArgKind::Text},
    {"ADD_TO_ID_UNTIL_ONE_OF", "ADD_TO_ID_UNTIL_ONE_OF    (ASCIICODES)", ArgKind::Text},
    {"ADD_TO_ID_UNTIL_STRING", "ADD_TO_ID_UNTIL_STRING    (STRING)", ArgKind::Text},
    {"ADD_TO_ID_NUMBER_OF_CHARS", "ADD_TO_ID_NUMBER_OF_CHARS (NUMBER)", ArgKind::Number},
    {"ADD_TO_ID_NUMERIC", "ADD_TO_ID_NUMERIC         (NUMBER)", ArgKind::Number},
    {"ADD_TO_ID_STRING", "ADD_TO_ID_STRING          (STRING)", ArgKind::Text},
    {"POSITION_AFTER_CHAR", "POSITION_AFTER_CHAR       (1 ASCIICODE)", ArgKind::CharCode},
    {"POSITION_AFTER_STRING", "POSITION_AFTER_STRING     (STRING)", ArgKind::Text},
    {"FIND_LINE_WITH_CHAR", "FIND_LINE_WITH_CHAR       (1 ASCIICODE)", ArgKind::CharCode},
    {"FIND_LINE_WITH_STRING", "FIND_LINE_WITH_STRING     (STRING)", ArgKind::Text},
    {"FIND_LINE_WITH_ALL_OF", "FIND_LINE_WITH_ALL_OF     (ASCIICODES)", ArgKind::Text},
    {"FIND_LINE_WITH_ONE_OF", "FIND_LINE_WITH_ONE_OF     (ASCIICODES)", ArgKind::Text}};

int MaxArgumentLength(ArgKind kind) {
  switch (kind) {
    case ArgKind::Number: return 7;
    case ArgKind::CharCode: return 2;
    case ArgKind::Text: return 9;
    default: return 0;
  }
}

std::string ArgumentProblem(ArgKind kind, const std::string& argument) { return Problem(kind, argument, false); }

std::string ScriptLine(int function, const std::string& argument) {
  const Function& f = kFunctionTable[function];
  return std::string(f.name) + "(" + (f.kind == ArgKind::None ? std::string() : argument) + ");";
}

Parsed Parse(const std::string& script) {
  Parsed p;
  int number = 0;
  std::size_t start = 0;
  while (start <= script.size()) {
    std::size_t nl = script.find('\n', start);
    std::string line = script.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
    start = nl == std::string::npos ? script.size() + 1 : nl + 1;
    number++;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    line = Trim(line);
    if (line.empty()) continue;
    const std::size_t open = line.find('(');
    if (open == std::string::npos) {
      p.error = LineError(number, "'(' expected after the function name");
      return p;
    }
    const std::string name = Trim(line.substr(0, open));
    int fn = -1;
    for (int i = 0; i < kFunctions; i++)
      if (name == kFunctionTable[i].name) fn = i;
    if (fn < 0) {
      p.error = LineError(number, "unknown function \"" + name + "\"");
      return p;
    }
    const std::size_t close = line.find(')', open + 1);
    if (close == std::string::npos || Trim(line.substr(close + 1)) != ";") {
      p.error = LineError(number, "the line must end in \");\"");
      return p;
    }
    Step s;
    s.function = fn;
    s.line = number;
    s.argument = line.substr(open + 1, close - open - 1);
    const ArgKind kind = kFunctionTable[fn].kind;
    if (std::string e = Problem(kind, s.argument, true); !e.empty()) {
      p.error = LineError(number, name + ": " + e);
      return p;
    }
    if (kind == ArgKind::Number || kind == ArgKind::CharCode) s.number = std::atol(s.argument.c_str());
    if (kind == ArgKind::YesNo) s.number = s.argument == "TRUE" ? 1 : 0;
    p.steps.push_back(s);
  }
  return p;
}

Result Run(const std::vector<Step>& steps, const std::string& text) { return Runner(text).Run(steps); }

}  // namespace idscript
