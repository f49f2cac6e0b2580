// The texts of the kept-program dialogs: list lines in the four column
// orders of the program searches, the code views of a file and its time.
#include <cstdio>
#include <string>

#include "dbmodel/text_helpers.h"
#include "platform/clock.h"
#include "storage/restore_dlg.h"

namespace {

// The column widths of machine, Program-ID, description, drawing and part.
constexpr int kMachineWidth = 20, kDescWidth = 40, kChar3Width = 50, kDrawWidth = 25, kPartWidth = 25;

struct Column {
  const char* text;
  int width;
};

// The four texts after the machine, in the order the user last searched by.
std::string Line(int order, const char* machine, Column desc, Column char3, Column draw, Column part,
                 const char* idMark, long id) {
  Column cols[4];
  switch (order) {
    case 2: cols[0] = draw, cols[1] = desc, cols[2] = char3, cols[3] = part; break;
    case 3: cols[0] = part, cols[1] = desc, cols[2] = char3, cols[3] = draw; break;
    case 4: cols[0] = char3, cols[1] = desc, cols[2] = draw, cols[3] = part; break;
    default: cols[0] = desc, cols[1] = char3, cols[2] = draw, cols[3] = part; break;
  }
  std::string line = FormatText("%-*s", kMachineWidth, machine);
  for (const Column& c : cols) line += FormatText(" - %-*s", c.width, c.text);
  return line + FormatText(" -  %s%010ld", idMark, id);
}

}  // namespace

std::string KeptProgramLine(const TcbFileRecord& r, int order) {
  return Line(order, r.MACHINE, {r.DESC, kDescWidth}, {r.CHAR3, kChar3Width}, {r.DRAW, kDrawWidth},
              {r.PART, kPartWidth}, " @", r.NCID);
}

std::string KeptHeaderLine(int order, const std::string& machine, const std::string& desc,
                           const std::string& char3, const std::string& drawing, const std::string& part) {
  return Line(order, machine.c_str(), {desc.c_str(), kDescWidth}, {char3.c_str(), kChar3Width},
              {drawing.c_str(), kDrawWidth}, {part.c_str(), kPartWidth}, "  ", 0);
}

std::string FileCodeLines(const std::string& bytes, bool hex) {
  constexpr size_t kMostBytes = 6000, kPerLine = 6;
  size_t n = bytes.size() < kMostBytes ? bytes.size() : kMostBytes;
  std::string out;
  for (size_t i = 0; i < n; i++) {
    unsigned v = static_cast<unsigned char>(bytes[i]);
    out += FormatText(hex ? "%02X, " : "%03u, ", v);
    if (i % kPerLine == kPerLine - 1 || i + 1 == n) out += "\r\n";
  }
  return out;
}

std::string KeptFileTime(int64_t utcSeconds) {
  plat::SystemTime t = plat::local_time(utcSeconds);
  return FormatText("%02u/%02u-%u,   %02u.%02u", unsigned(t.day), unsigned(t.month), unsigned(t.year),
                    unsigned(t.hour), unsigned(t.minute));
}
