// Fuzz target: port setups on a floppy, A:\KELVMD32.DBF, damaged by the
// input and read as the setup dialogs read them: the import list (name and
// id of every setup), the setup the user picks loaded by its id and taken
// over by a port row, its code lists and line settings worked out as the server
// works them out, and the export list of names. A damaged disk may give
// fewer setups, never a setup under another id, a crash or a read without
// end (the run's time limit catches that).
//
// The input is a list of 4-byte damages as for damaged tables: byte 0
// picks the file (low two bits: data, memo, index) and the kind (bits 2-3:
// set a byte, flip bits, cut the file, put a 32-bit number); bytes 1-2 the
// offset (modulo the file's length); byte 3 the value. The bytes after the
// last whole damage pick the listed setup that is loaded (the first when
// there are none): one a run, as the import dialog's OK loads one, for a
// load costs more than all the rest of a run.
// Covers: dbmodel/dncport.cpp (port table as the floppy holds it),
// dnc/setup_fields.cpp (CopyPortRecord), dnc/dncport.cpp (code lists),
// dnc/dncport_open.cpp (line settings)
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "appcore/globals.h"
#include "dbmodel/dncport.h"
#include "dbmodel/engine_context.h"
#include "dbmodel/list_lines.h"
#include "dnc/dncport.h"
#include "dnc/setup_fields.h"
#include "platform/msgbox.h"
#include "platform/path.h"
#include "tests/fuzz/memory_dir.h"

namespace {

const char* const kFloppy = "A:\\KELVMD32.DBF";
const char* const kNames[3] = {"KELVMD32.DBF", "KELVMD32.DBT", "KELVMD32.MDX"};

class Lines : public TListLines {
 public:
  void ClearLines() override { lines.clear(); }
  void AddLine(const char* text) override { lines.emplace_back(text ? text : ""); }
  void SelectLine(int) override {}
  std::vector<std::string> lines;
};

struct Disk {
  kvfuzz::MemoryDir dir{"kv-fuzz-floppy"};
  TGlobals globals;
  std::string files[3];

  Disk() {
    plat::set_message_box_handler([](HWND, const std::string&, const std::string&, UINT) { return IDOK; });
    dir.write("alt/.keep", "");
    dir.write("a/.keep", "");
    Globals = &globals;
    globals.AlternateDir = dir.file("alt") + "\\";
    globals.DatabaseDir = globals.AlternateDir;
    plat::set_drive_root('A', dir.file("a"));
    DbContext->silent_errors = 1;
    DbContext->report_create_errors = 0;
    DbContext->report_open_errors = 0;
    DbContext->auto_open = 1;
    DbContext->lock_attempts = -1;
    // The station's port table, its structure copied onto the disk as the
    // export does, and three setups saved.
    TMultiDncTable own("KELVMD32.DBF", 1, 0);
    own.Create((dir.file("alt") + "/KELVMD32.DBF").c_str());
    if (!own.CopyStructure("A:\\")) std::abort();
    for (int i = 0; i < 3; i++) {
      TMultiDncRecord r;
      r.SetListA(kPropComNumber, i + 1);
      r.SetListA(kPropProtocol, i);
      r.Number[kPropBaud] = 12 + i;
      r.Number[kPropReadTimeout] = 5;
      r.SetText(kPropStartTrigger, "37");
      r.SetText(kPropBeforeFile, "5*0,37,13,10");
      r.SetText(kPropLineEnd, "13,10");
      r.SetText(kPropFirstDirectory, "C:\\NC\\");
      r.SetText(62, ("Setup " + std::to_string(i)).c_str());
      TMultiDncTable floppy(kFloppy, 0, 0);
      if (!floppy.Append(&r)) std::abort();
    }
    for (int f = 0; f < 3; f++) files[f] = dir.read(std::string("a/") + kNames[f]);
    code_error_set(DbContext, 0);
  }
};

// Loads the setup of a list line by its id, as the import dialog's OK does,
// and works out what a port takes of it.
void LoadSetup(const std::string& line) {
  const long id = ListLineId(line.substr(0, 299).c_str());
  std::unique_ptr<TMultiDncRecord> loaded;
  {
    TMultiDncTable t(kFloppy, 0, 0);
    loaded.reset(t.FindById(id));
  }
  if (!loaded) return;
  if (loaded->Number[kPropId] != id) std::abort();
  TMultiDncRecord port;
  CopyPortRecord(*loaded, port);
  for (int p = 1; p <= TMultiDncRecord::kProperties; p++) {
    const char* text = port.GetValue(p);
    if (text) {
      DncCodeBytes(text, false);
      DncCodeBytes(text, true);
    }
  }
  plat::DCB dcb;
  plat::COMMTIMEOUTS timeouts;
  std::string reason;
  BuildLineSettings(port, TLineUse::Port, dcb, timeouts, &reason);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Disk* disk = new Disk;
  std::string files[3] = {disk->files[0], disk->files[1], disk->files[2]};
  for (size_t i = 0; i + 4 <= size; i += 4) {
    const int which = data[i] & 3;
    std::string& f = files[which == 3 ? 2 : which];
    if (f.empty()) continue;
    const size_t at = (size_t(data[i + 1]) | size_t(data[i + 2]) << 8) % f.size();
    const char v = static_cast<char>(data[i + 3]);
    switch ((data[i] >> 2) & 3) {
      case 0: f[at] = v; break;
      case 1: f[at] = static_cast<char>(f[at] ^ (v ? v : '\x80')); break;
      case 2: f.resize(at); break;
      case 3:
        for (size_t k = 0; k < 4 && at + k < f.size(); k++) f[at + k] = k == 0 ? v : (v & 0x80 ? '\xff' : '\0');
        break;
    }
  }
  // A file is written only when the disk does not hold these bytes
  // already (most inputs leave most files as they were), and then over the
  // one there: making files anew would cost more than reading them.
  for (int f = 0; f < 3; f++) {
    const std::string p = disk->dir.file(std::string("a/") + kNames[f]);
    if (disk->files[f].empty() || kvfuzz::Holds(p, files[f])) continue;
    kvfuzz::Rewrite(p, files[f]);
  }

  // The import dialog's list, and the picked setup loaded as its OK loads
  // it.
  Lines imported;
  {
    TMultiDncTable t(kFloppy, 0, 0);
    t.FillList(&imported);
  }
  std::vector<std::string> listed;
  for (const std::string& line : imported.lines)
    if (line.find("@@") != std::string::npos) listed.push_back(line);
  std::size_t pick = 0;
  for (size_t i = size - size % 4; i < size; i++) pick = pick * 256 + data[i];
  if (!listed.empty()) LoadSetup(listed[pick % listed.size()]);
  // The export dialog's list of names.
  Lines names;
  {
    TMultiDncTable t(kFloppy, 0, 0);
    t.FillListFromField(&names, 62);
  }
  code_error_set(DbContext, 0);
  return 0;
}
