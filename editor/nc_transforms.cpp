// The four text rewrites. Line files go through TMyFile; blank removal
// works on raw blocks, so line ends and every other byte stay as they are.
// Progress: the window hears Cancel while the queue runs; the queue and the
// file position are looked at every kCheckEvery lines, which keeps the
// cost per line small on programs of hundreds of megabytes while Cancel
// still answers at once.
#include "editor/nc_transforms.h"

#include <cctype>
#include <cstring>
#include <memory>
#include <vector>

#include "appcore/myfile.h"
#include "editor/nc_line_options.h"
#include "editor/nc_progress.h"
#include "platform/file.h"

namespace {

constexpr int kCheckEvery = 64;
constexpr size_t kRawBuffer = 200000;
constexpr size_t kRawRead = 199000;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A source and a destination of a line rewrite, both open or neither.
struct LineFiles {
  TMyFile in, out;
  int64_t size = 0;
  LineFiles(const char* source, const char* destination) : in(source), out(destination) {}
  bool Open() {
    if (!in.Open(1)) return false;
    if (!out.Open(0)) {
      in.Close();
      return false;
    }
    size = plat::length(in.Handle);
    return true;
  }
  int64_t Position() { return plat::seek(in.Handle, 0, plat::Whence::current); }
  // Ends the pass: 1 when every line was read and written.
  int Finish(bool completed) {
    bool ok = completed && out.FlushBuffer() && !out.Failed() && !in.Failed();
    ok = out.Close() && ok;
    in.Close();
    return ok ? 1 : 0;
  }
};

// Runs `rewrite` over every line (out gets the new line, without end).
template <typename Rewrite>
int RewriteLines(TWindow* parent, const char* source, const char* destination, TApplication* app,
                 const char* caption, Rewrite rewrite) {
  if (!source || !destination) return 0;
  LineFiles f(source, destination);
  if (!f.Open()) return 0;
  TProgressRun progress(parent, app, caption, f.size);
  std::string out;
  long lines = 0;
  bool completed = true;
  while (const char* line = f.in.ReadLineInPlace(0)) {
    rewrite(line, out);
    if (!f.out.WriteLine(out.c_str())) {
      completed = false;
      break;
    }
    if (++lines % kCheckEvery == 0 && !progress.Step(f.Position())) {
      completed = false;
      break;
    }
  }
  if (completed && progress.Cancelled()) completed = false;
  return f.Finish(completed);
}

}  // namespace

std::string FormatLineNumber(long n, int formatIndex, int precedingN) {
  std::string digits = std::to_string(n);
  std::string text = precedingN ? "N" : "";
  size_t width = formatIndex >= 1 && formatIndex <= 6 ? static_cast<size_t>(formatIndex + 1) : 0;
  if (digits.size() < width) text.append(width - digits.size(), '0');
  return text + digits + " ";
}

std::string FormatLineNumber(long n) {
  return FormatLineNumber(n, UserPreferences->FormatIndex, UserPreferences->PrecedingN);
}

// ---- renumbering ---------------------------------------------------------------

TRenumbering::TRenumbering(const TUserPreferences& options)
    : options_(options), number_(options.StartNumber), step_(IntervalStep(options.IntervalIndex)) {
  if (options_.RestartValue > 0) threshold_ = static_cast<long>(options_.RestartValue) * step_;
}

bool TRenumbering::GetsNumber(const char* rest) const {
  if (options_.Exclusion.empty()) return true;
  while (*rest == ' ') rest++;
  return *rest == 0 || std::strchr(options_.Exclusion.c_str(), *rest) == nullptr;
}

void TRenumbering::Line(const char* line, std::string& out) {
  out.clear();
  if (lineCounter_ < options_.StartLine) {
    lineCounter_++;
    out = line;
    return;
  }
  // The old number: digits, blanks, tabs, "n", and "N" before a digit
  // (a word such as NEXT keeps its N).
  const char* p = line;
  while (IsDigit(*p) || *p == ' ' || *p == '\t' || *p == 'n' || (*p == 'N' && IsDigit(p[1]))) p++;
  if (GetsNumber(p)) {
    out = FormatLineNumber(number_, options_.FormatIndex, options_.PrecedingN);
    number_ += step_;
    if (threshold_ > 0 && number_ >= threshold_) number_ = options_.StartNumber;
  }
  out += p;
}

int RenumberLines(TWindow* parent, const char* source, const char* destination, TApplication* app) {
  {
    TLineOptionDialog options(parent);
    if (options.Execute() != IDOK) return 0;
  }
  TRenumbering renumber(*UserPreferences);
  return RewriteLines(parent, source, destination, app, "Renumbering...",
                      [&](const char* line, std::string& out) { renumber.Line(line, out); });
}

// ---- block numbers away ----------------------------------------------------------

const char* SkipLineNumber(const char* line) {
  while (IsDigit(*line) || *line == ' ' || *line == '\t' || *line == 'N' || *line == 'n') line++;
  return line;
}

int RemoveLineNumbers(TWindow* parent, const char* source, const char* destination, TApplication* app) {
  // Every line stays a line, even one left empty: the block structure of
  // the program must not change.
  return RewriteLines(parent, source, destination, app, nullptr,
                      [](const char* line, std::string& out) { out = SkipLineNumber(line); });
}

// ---- spacing -------------------------------------------------------------------

namespace {

bool IsWordLetter(char c) { return (c >= 'A' && c <= 'Z') || c == '='; }
bool IsValueChar(char c) { return IsDigit(c) || c == '.' || c == ',' || c == '-' || c == '+'; }

// Blanks and tabs out, except inside comments; letters outside comments
// upper-cased.
std::string Compact(const char* line) {
  std::string s;
  bool comment = false;
  for (const char* p = line; *p; p++) {
    char c = *p;
    if (c == '(') comment = true;
    else if (c == ')' || c == '\r' || c == '\n') comment = false;
    if (comment || c == ')') {
      s += c;
      continue;
    }
    if (c == ' ' || c == '\t') continue;
    s += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return s;
}

// Copies from s[i] through the closing character (or to the end).
size_t CopyThrough(const std::string& s, size_t i, char close, std::string& out) {
  size_t end = s.find(close, i + 1);
  end = end == std::string::npos ? s.size() : end + 1;
  out.append(s, i, end - i);
  return end;
}

}  // namespace

bool SpaceLine(const char* line, std::string& out) {
  out.clear();
  if (!line || !*line) return false;
  std::string s = Compact(line);
  if (s.empty()) return false;
  size_t i = 0, n = s.size();
  while (true) {
    size_t before = out.size();
    while (i < n && IsWordLetter(s[i])) out += s[i++];
    if (i >= n) break;
    while (i < n && IsValueChar(s[i])) out += s[i++];
    if (i >= n) break;
    char c = s[i];
    if (c == '[') {
      i = CopyThrough(s, i, ']', out);
    } else if (c == '(') {
      i = CopyThrough(s, i, ')', out);
    } else if (out.size() > before) {
      if (out.back() != '=') out += ' ';
    } else {
      out += c;
      i++;
    }
  }
  return true;
}

int InsertSpaces(TWindow* parent, const char* source, const char* destination, TApplication* app) {
  return RewriteLines(parent, source, destination, app, nullptr, [](const char* line, std::string& out) {
    if (!SpaceLine(line, out)) out.clear();
  });
}

// ---- blanks away -----------------------------------------------------------------

size_t TSpaceRemoval::Block(char* data, size_t n) {
  size_t w = 0;
  bool comment = inComment_;
  for (size_t r = 0; r < n; r++) {
    char c = data[r];
    if (c == '(') comment = true;
    else if (c == ')' || c == '\r' || c == '\n') comment = false;
    if (!comment && (c == ' ' || c == '\t')) continue;
    data[w++] = c;
  }
  inComment_ = comment;
  return w;
}

int RemoveSpaces(TWindow* parent, const char* source, const char* destination, TApplication* app) {
  if (!source || !destination) return 0;
  plat::File in = plat::create_file(source, plat::Access::read, plat::Share::read_write,
                                    plat::Disposition::open_existing);
  if (!in.is_open()) return 0;
  plat::File out = plat::create_file(destination, plat::Access::write, plat::Share::none,
                                     plat::Disposition::create_always);
  if (!out.is_open()) return 0;
  int64_t size = plat::length(in), done = 0;
  TProgressRun progress(parent, app, nullptr, size);
  std::vector<char> buffer(kRawBuffer);
  TSpaceRemoval removal;
  bool ok = true;
  while (true) {
    int64_t n = plat::read(in, buffer.data(), kRawRead);
    if (n < 0) ok = false;
    if (n <= 0) break;
    done += n;
    size_t keep = removal.Block(buffer.data(), static_cast<size_t>(n));
    if (keep > 0 && plat::write(out, buffer.data(), keep) != static_cast<int64_t>(keep)) ok = false;
    if (!ok || !progress.Step(done)) {
      ok = false;
      break;
    }
  }
  ok = plat::close(out) && ok;
  return ok ? 1 : 0;
}
