// Fuzz target: a reception of a standard RS-232 port parsed as the parse
// thread parses it, by the port's naming mode: program names, program
// requests and job requests, then stored, looked up in the program index,
// in the job lists or, in file mode, in the search directories of a
// scratch station. Names must be what the mode makes of the line; nothing
// may be written outside the station's directories; a name never breaks a
// table filter; a request is answered only with the program it names.
//
// Input: eleven bytes of port settings, then the receive file.
//   0: naming mode (modulo 10; 9 is no mode)
//   1: bit 0 file mode, bit 1 zero padding, bits 2-3 storage mode,
//      bit 4 failed transfers discarded
//   2-7: program-ID, ID end, request, request end, job and job end
//        trigger (0: none)
//   8: zero-padding index; 9-10: reserved program number
// Covers: dnc/naming.cpp, dnc/rs232_threads.cpp (ParseReception,
// ServeJobRequest), dnc/storing.cpp, dbmodel/job_lists.cpp
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "dnc/dncport.h"
#include "dnc/rs232.h"
#include "dnc/storing.h"
#include "tests/fuzz/dnc_station.h"

namespace {

enum { kMaxMode = 9 };

TMultiDncRecord* Row(const uint8_t* h, const kvfuzz::DncStation& st) {
  auto* r = new TMultiDncRecord;
  r->Number[kPropId] = 1;
  r->SetListA(kPropProtocol, kProtoStandard);
  r->Number[kPropNamingMode] = h[0] % (kMaxMode + 1);
  r->SetListB(kPropFileMode, h[1] & 1);
  r->Number[kPropZeroPad] = (h[1] >> 1) & 1;
  r->Number[kPropStorageMode] = (h[1] >> 2) & 3;
  r->Number[kPropDiscardFailed] = (h[1] >> 4) & 1;
  const int triggers[] = {kPropIdTrigger,      kPropIdEndTrigger, kPropRequestTrigger,
                          kPropRequestEndTrigger, kPropJobTrigger,   kPropJobEndTrigger};
  for (int i = 0; i < 6; i++)
    if (h[2 + i]) r->SetText(triggers[i], std::to_string(h[2 + i]).c_str());
  r->Number[kPropZeroPadIndex] = h[8];
  r->Number[kPropReservedNumber] = h[9] | h[10] << 8;
  r->Number[kPropMachineType] = 7;
  r->Number[kPropNulFilter] = 1;
  r->SetText(kPropDisplayName, "Mill one");
  r->SetText(kPropExtension, "NC");
  r->SetText(kPropFirstDirectory, (st.Root() + "/files\\").c_str());
  return r;
}

// The machine's directory and name as a port of the station's machine
// takes them from the machine table when it is made.
class TakenMachine {
 public:
  explicit TakenMachine(const kvfuzz::DncStation& st) : id_(st.Machine()) {
    TMultiDncRecord* row = new TMultiDncRecord;
    row->Number[kPropMachineId] = id_;
    TDncPort port(row);
    dir_ = port.Text(kPropMachineDir);
    name_ = port.Text(kPropName);
  }
  void GiveTo(TDncPort& port) const {
    port.Record->Number[kPropMachineId] = id_;
    port.Record->SetText(kPropMachineDir, dir_.c_str());
    port.Record->SetText(kPropName, name_.c_str());
  }

 private:
  long id_;
  std::string dir_, name_;
};

bool AllDigits(const std::string& s, std::size_t from = 0) {
  for (std::size_t i = from; i < s.size(); i++)
    if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
  return true;
}

// What any name a line gives must be: text of one line, no longer than
// the line and its padding, and of the mode's form. The Okuma mode names a
// received program by the name an earlier line left pending, which may be
// longer than the line that confirms it.
void CheckName(const TDncPort& port, long mode, const std::string& line, bool request) {
  const std::string name = port.RequestedText();
  if (name.find('\n') != std::string::npos) std::abort();
  const bool fromEarlierLine = mode == 3 && !request;
  if (!fromEarlierLine && name.size() > line.size() + 16) std::abort();
  switch (mode) {
    case 1:
    case 5:
    case 8:
      if (!AllDigits(name)) std::abort();
      break;
    case 2:
      if (request && (name.size() < 4 || !AllDigits(name))) std::abort();
      break;
    case 6:
    case 7:
      if (name.compare(0, 2, "0_") == 0 ? !AllDigits(name, 2) : (name.size() < 8 || !AllDigits(name))) std::abort();
      break;
    default:
      break;
  }
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// A name as the program index compares it: upper case, at most the 40
// characters of DESC, without trailing blanks.
std::string AsDesc(std::string s) {
  if (s.size() > 40) s.resize(40);
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return Upper(s);
}

std::string Native(std::string p) {
  for (char& c : p)
    if (c == '\\') c = '/';
  std::string out;
  for (char c : p)
    if (!(c == '/' && !out.empty() && out.back() == '/')) out += c;
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static kvfuzz::DncStation* station = new kvfuzz::DncStation;
  if (size < 11) return 0;
  const std::string text(reinterpret_cast<const char*>(data + 11), size - 11);
  const long mode = data[0] % (kMaxMode + 1);

  // Line by line as the parse thread asks, every answer checked (the
  // names need no machine).
  {
    TDncPort port(Row(data, *station));
    station->RunWrites(Native(port.TransferPath));
    kvfuzz::DncStation::Put(Native(port.TransferPath), text);
    std::size_t at = 0;
    while (at < text.size()) {
      std::size_t nl = text.find('\n', at);
      std::string line = text.substr(at, nl == std::string::npos ? std::string::npos : nl - at);
      at = nl == std::string::npos ? text.size() : nl + 1;
      // As a text file's lines: a CR goes only with the LF after it.
      if (nl != std::string::npos && !line.empty() && line.back() == '\r') line.pop_back();
      for (char& c : line)
        if (c == 0) c = static_cast<char>(TMyFile::kNulSubstitute);
      line += "\r\n";
      if (!port.ReservedNumberSeen && port.ExtractProgramName(line.c_str())) CheckName(port, mode, line, false);
      if (port.ExtractProgramNumber(line.c_str())) CheckName(port, mode, line, true);
      if (port.CheckForJob(line.c_str())) CheckName(port, mode, line, true);
    }
  }

  // The whole reception as the parse thread parses it, on a port of the
  // station's machine. What the port takes of the machine when it is made
  // does not depend on the input: it is read once, and every port is made
  // without the machine and given it then, as it would have taken it.
  static const TakenMachine machine(*station);
  TDncPort port(Row(data, *station));
  machine.GiveTo(port);
  kvfuzz::DncStation::Put(Native(port.TransferPath), text);
  const int result = ParseReception(port, true);
  const int tableError = code_error_get(DbContext);
  // The station as it was for the next run.
  const std::string outside = station->Restore();
  if (!outside.empty()) {
    std::fprintf(stderr, "written outside the station: %s\n", outside.c_str());
    std::abort();
  }
  if (tableError != 0) {
    std::fprintf(stderr, "a table error is left: %d\n", tableError);
    std::abort();
  }
  if (result == kParseSend) {
    if (port.FileMode()) {
      // Names are found whatever their letter case.
      const std::string path = Upper(Native(port.ProgramPath ? port.ProgramPath.get() : ""));
      const std::string root = Upper(station->Root());
      if (path != root + "/FILES/REQ1.NC" && path != root + "/FILES/SUB/REQ2.NC") std::abort();
    } else if (port.JobId == 0) {
      // The only program of the machine.
      if (port.SendProgramId != 1 || AsDesc(port.RequestedText()) != "REQ1") std::abort();
    } else if (!port.JobPrograms) {
      std::abort();
    }
  }
  return 0;
}
