// Fuzz target: a job file as a user writes it, turned into the port's send
// file as the control window's job command does. The send file must hold,
// line by line, the contents of each file a "#" line names (nothing for
// one that is missing), nothing for a ";" line and every other line with
// CR LF. The current directory is a scratch directory holding a few files
// that "#" lines can name: "A.NC", "B.NC" and "SUB\C.NC".
// Covers: dnc/jobfile.cpp
#include <cstdint>
#include <cstdlib>
#include <string>

#include "appcore/globals.h"
#include "appcore/myfile.h"
#include "dnc/dncport.h"
#include "dnc/jobfile.h"
#include "platform/file.h"
#include "platform/msgbox.h"
#include "platform/path.h"
#include "tests/support/scratch_dir.h"

namespace {

struct Place {
  kvtest::ScratchDir dir{"kv-fuzz-jobfile"};
  TGlobals globals;
  Place() {
    plat::set_message_box_handler([](HWND, const std::string&, const std::string&, UINT) { return IDOK; });
    dir.write("A.NC", "%\r\nG1 X1\r\n");
    dir.write("B.NC", std::string("\0\xff\r\n", 4));
    dir.write("SUB/C.NC", "M30");
    dir.write("temp/.keep", "");
    globals.TempDir = dir.file("temp") + "/";
    Globals = &globals;
    // "#" lines name files relative to here, as a user's relative paths
    // are taken from the current directory: drive J: of the file layer.
    if (!plat::set_drive_root('J', dir.file()) || !plat::set_current_directory("J:\\")) std::abort();
  }
};

// The bytes a "#" line's file gives, by the file layer's own naming rules:
// a regular file's contents; nothing for anything else.
std::string Contents(const std::string& name) {
  if (!plat::file_exists(name)) return {};
  plat::File f = plat::create_file(name, plat::Access::read, plat::Share::read, plat::Disposition::open_existing);
  if (!f.is_open()) return {};
  std::string out;
  char buf[4096];
  for (int64_t n; (n = plat::read(f, buf, sizeof buf)) > 0;) out.append(buf, static_cast<size_t>(n));
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Place* place = new Place;
  const std::string job(reinterpret_cast<const char*>(data), size);
  const std::string jobPath = place->dir.write("JOB.TXT", job);

  std::string expected;
  std::size_t at = 0;
  while (at < job.size()) {
    std::size_t nl = job.find('\n', at);
    std::string line = job.substr(at, nl == std::string::npos ? std::string::npos : nl - at);
    at = nl == std::string::npos ? job.size() : nl + 1;
    // As a text file's lines: a CR goes only with the LF after it.
    if (nl != std::string::npos && !line.empty() && line.back() == '\r') line.pop_back();
    for (char& c : line)
      if (c == 0) c = static_cast<char>(TMyFile::kNulSubstitute);
    if (!line.empty() && line[0] == '#')
      expected += Contents(line.substr(1));
    else if (line.empty() || line[0] != ';')
      expected += line + "\r\n";
  }

  auto* row = new TMultiDncRecord;
  row->Number[kPropId] = 7;
  TDncPort port(row);  // COM 0: no line is opened
  const std::string sendFile = BuildJobSendFile(&port, jobPath.c_str());
  if (sendFile.empty()) std::abort();
  std::string native = sendFile;
  for (char& c : native)
    if (c == '\\') c = '/';
  if (kvtest::ScratchDir::read_file(native) != expected) std::abort();
  return 0;
}
