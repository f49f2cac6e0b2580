#include "dnc/jobfile.h"

#include <cstdio>
#include <vector>

#include "appcore/globals.h"
#include "appcore/myfile.h"
#include "dnc/dnclog.h"
#include "dnc/dncport.h"

namespace {

// Appends the whole file; false when it is no file or does not open (the
// caller skips it). A directory or a device (a pipe, "/dev/zero") is no
// program: reading it could block or never end. `writeFailed` is set when
// a block could not be written.
bool CopyInto(plat::File& out, const std::string& from, bool& writeFailed) {
  if (!plat::file_exists(from)) return false;
  plat::File in = plat::create_file(from, plat::Access::read, plat::Share::read, plat::Disposition::open_existing);
  if (!in.is_open()) return false;
  std::vector<char> buf(50000);
  for (;;) {
    int64_t n = plat::read(in, buf.data(), buf.size());
    if (n <= 0) break;
    if (plat::write(out, buf.data(), static_cast<size_t>(n)) != n) {
      writeFailed = true;
      break;
    }
  }
  return true;
}

}  // namespace

std::string BuildJobSendFile(TDncPort* port, const char* jobFileName) {
  if (!port || !jobFileName) return {};
  char name[64];
  std::snprintf(name, sizeof name, "PORT%04ld.DSF", port->RowId());
  std::string path = (Globals ? Globals->TempDir : std::string()) + name;
  TMyFile job(jobFileName);
  if (!job.Open(1)) {
    DncPortLog((std::string("Cannot open job file ") + jobFileName).c_str(), port);
    return {};
  }
  plat::File out = plat::create_file(path, plat::Access::write, plat::Share::read, plat::Disposition::create_always);
  if (!out.is_open()) {
    DncPortLog(("Cannot create " + path).c_str(), port);
    return {};
  }
  bool writeFailed = false;
  while (auto line = job.ReadLine(0)) {
    if (line[0] == '#') {
      if (!CopyInto(out, line.get() + 1, writeFailed))
        DncPortLog((std::string("Job file entry not found: ") + (line.get() + 1)).c_str(), port);
    } else if (line[0] != ';') {
      std::string text = std::string(line.get()) + "\r\n";
      if (plat::write(out, text.data(), text.size()) != static_cast<int64_t>(text.size())) writeFailed = true;
    }
    if (writeFailed) break;
  }
  job.Close();
  if (!plat::close(out) || writeFailed || job.Failed()) {
    DncPortLog(("Cannot write " + path).c_str(), port);
    return {};
  }
  return path;
}
