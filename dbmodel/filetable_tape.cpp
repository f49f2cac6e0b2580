// The program directory of one machine as a tape-style text for controls
// that ask for their directory.
//
// Format: one 18-byte entry per program, "D", the description left-
// justified in 8 columns, the file size in 512-byte blocks (size / 512 + 1)
// right-justified in 7 columns, CR LF, cut to 18 bytes (a longer
// description pushes the line end out); then CR LF, "FREE:   65534" CR LF
// "USED:     100" CR LF and ETX. Only files whose first 50 bytes hold "%"
// and neither "BEGIN" nor "PGM" are listed.
#include <cstring>

#include "dbmodel/filetable.h"
#include "dbmodel/query_walk.h"
#include "platform/file.h"

namespace {

std::string TrimmedField(DbDataFile* d, int n) {
  FieldRef f(d, n);
  if (!f.valid()) return std::string();
  std::string s(f.ptr(), f.len());
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

}  // namespace

std::string TcbFileTable::WriteTapeDirectory(long machineId) {
  if (!Open()) return std::string();
  std::string text;
  bool any = false;
  {
    TQueryWalk walk(Data());
    if (!walk.Valid()) {
      EngineFailed();
      Close();
      return std::string();
    }
    DbDataFile* d = Data();
    int rc = walk.Top(FormatText("MID = %ld", machineId).c_str(), "DESC");
    any = rc == 0;
    for (; rc == 0; rc = walk.Skip()) {
      if (data_is_deleted(d)) continue;
      std::string path = TrimmedField(d, 3) + TrimmedField(d, 4) + "." + TrimmedField(d, 5);
      plat::File f = plat::create_file(path, plat::Access::read, plat::Share::none,
                                       plat::Disposition::open_existing);
      if (!f.is_open()) continue;  // missing, or in use by another program
      int64_t size = plat::length(f);
      char head[51];
      int64_t got = plat::read_at(f, 0, head, 50);
      plat::close(f);
      if (size < 0 || got < 0) continue;
      head[got] = 0;
      if (!std::strchr(head, '%') || std::strstr(head, "BEGIN") || std::strstr(head, "PGM")) continue;
      unsigned long blocks = static_cast<unsigned long>(size / 512 + 1);
      std::string entry = FormatText("D%-8s%7s\r\n", TrimmedField(d, 2).c_str(),
                                     FormatText("%lu", blocks).c_str());
      text.append(entry, 0, 18);
    }
  }
  EngineFailed();
  Close();
  if (!any) return std::string();
  text += "\r\nFREE:   65534\r\nUSED:     100\r\n\x03";
  return text;
}
