// Storing received programs by the port's storage mode: a new program in
// the program index with its file "P%ld" in the machine's directory, an
// existing program overwritten after a backup, temporary storage for
// review, a failed transfer, or plain files in file mode.
//
// Each store puts the file in place first and appends the row only then,
// so no row points at a missing file; a reception that cannot be stored as
// asked is kept as a failed transfer rather than lost, and so is a
// machine's request that cannot be served, however short. Names from the
// machine are quoted in filters and never used as paths outside the
// program directories.
//
// A store runs whole (look-up, backup, file copy, row change) under the
// station-wide filing lock that the editor's Save As takes, and one store
// of this program at a time: two ports, an editor and another station
// never file one program id twice for one machine, and the second of two
// receptions of one id finds the first one's program and backs it up in
// turn.
#include "dnc/storing.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "appcore/globals.h"
#include "appcore/log_text.h"
#include "appcore/message_ids.h"
#include "dbmodel/counter.h"
#include "dbmodel/filetable.h"
#include "dnc/dnclog.h"
#include "dnc/dncport.h"
#include "platform/file.h"
#include "storage/filing_lock.h"

namespace {

// Storage modes of a port row. A row whose mode was never chosen shows
// "Backup and Overwrite" in the setup and is stored so.
enum { kStoreAsNew = 1, kBackupOverwrite = 2, kTemporary = 3 };

bool BacksUp(long mode) { return mode != kStoreAsNew && mode != kTemporary; }

// The filing lock, taken by the outermost store of a thread only (a store
// that falls back on another one keeps it).
thread_local int t_filingDepth = 0;
std::mutex g_storeLock;

class Filing {
 public:
  explicit Filing(TDncPort& port) {
    if (t_filingDepth++ > 0) return;
    outer_ = std::unique_lock<std::mutex>(g_storeLock);
    lock_.emplace();
    // Without the program index there is nothing another station could
    // file over: the store goes on, and fails on its own where it must.
    if (!lock_->IsHeld()) DncPortLog("KELVFILE.DBF cannot be locked for filing", &port);
  }
  ~Filing() {
    --t_filingDepth;
    lock_.reset();
  }
  Filing(const Filing&) = delete;
  Filing& operator=(const Filing&) = delete;

 private:
  std::unique_lock<std::mutex> outer_;
  std::optional<TFilingLock> lock_;
};

std::string Dir(const std::string TGlobals::*member) { return Globals ? Globals->*member : std::string(); }

void Log(TDncPort& port, const std::string& text) { DncPortLog(text.c_str(), &port); }

// "dir\name": a separator only when the directory has none at its end.
std::string Join(const std::string& dir, const std::string& name) {
  if (dir.empty() || dir.back() == '\\' || dir.back() == '/') return dir + name;
  return dir + "\\" + name;
}

std::string WithExtension(const std::string& name, const char* ext) {
  return ext && *ext ? name + "." + ext : name;
}

bool Copy(TDncPort& port, const std::string& from, const std::string& to) {
  if (plat::copy_file(from, to, false)) return true;
  Log(port, "Copy " + from + " -> " + to + " failed: " + plat::error_text(plat::last_error()));
  return false;
}

void CloseReceiveFile(TDncPort& port) {
  if (!port.TransferFile) return;
  port.TransferFile->FlushBuffer();
  port.TransferFile->Close();
  port.TransferFile.reset();
}

// The name a file-mode store may use, or empty (logged) when it would leave
// its directory.
std::string SafeName(TDncPort& port, const char* name) {
  if (IsSafeProgramFileName(name)) return name;
  Log(port, std::string("Name refused: ") + (name ? name : ""));
  return {};
}

// A new program-index row of the port's machine.
std::unique_ptr<TcbFileRecord> NewRecord(TDncPort& port, long id, char prefix, const std::string& dir,
                                         const char* desc) {
  auto r = std::make_unique<TcbFileRecord>();
  r->NCID = r->LONG1 = id;
  CopyCut(r->NAME, sizeof r->NAME, (prefix + std::to_string(id)).c_str());
  CopyCut(r->EXT, sizeof r->EXT, "NC");
  CopyCut(r->DIR, sizeof r->DIR, dir.c_str());
  CopyCut(r->DESC, sizeof r->DESC, desc ? desc : "");
  r->MID = port.Setting(kPropMachineId);
  r->MAT = port.Setting(kPropMachineType);
  CopyCut(r->MACHINE, sizeof r->MACHINE, port.Text(kPropName));
  r->MAZAK = port.Protocol() == kProtoMazak ? 1 : 0;
  return r;
}

// The programs of the port's machine with that program id; the first one
// or null. The name is quoted as a constant, never spliced into the filter.
// `failed` tells a program index that could not be read (after the
// engine's wait for another station's rebuild) from one without the
// program.
TcbFileRecord* FindOnMachine(TDncPort& port, const char* name, bool& failed) {
  failed = false;
  std::string key = PadText(name, 40);
  UpperInPlace(key.data());
  std::string quoted;
  if (!QuoteFilterText(key, quoted)) {
    Log(port, std::string("Name cannot be searched: ") + name);
    return nullptr;
  }
  std::string filter = "UPPER(DESC) = " + quoted + " .AND. MID = " + std::to_string(port.Setting(kPropMachineId));
  TcbFileTable t("KELVFILE.DBF", 0, 0);
  TcbFileRecord* found = t.Select(filter.c_str(), "DESC");
  failed = t.SelectFailed();
  if (failed)
    Log(port, "KELVFILE.DBF could not be read (error " + std::to_string(t.LastEngineError()) + ")");
  return found;
}

// Copies the receive file to the row's file and then appends the row; a
// failed copy or append leaves nothing behind. 1 when both happened.
int PlaceAndAppend(TDncPort& port, TcbFileRecord& r, const char* table) {
  const std::string target = r.FilePath();
  Log(port, port.TransferPath);
  Log(port, target);
  if (!Copy(port, port.TransferPath, target)) return 0;
  TcbFileTable t(table, 0, 0);
  if (t.Append(&r)) return 1;
  Log(port, std::string("Cannot append to ") + table);
  plat::delete_file(target);
  return 0;
}

}  // namespace

bool IsSafeProgramFileName(const char* name) {
  if (!name || !*name) return false;
  std::string s(name);
  if (s == "." || s.find("..") != std::string::npos) return false;
  // Control characters are noise on the line, and the directories are
  // shared with stations that cannot name a file with <>"|?*.
  for (unsigned char c : s)
    if (c < 0x20 || c == 0x7F) return false;
  return s.find_first_of("\\/:<>\"|?*") == std::string::npos;
}

int TDncPort::StoreTransfer() {
  Filing filing(*this);
  if (Setting(kPropStorageMode) == kTemporary) return StoreTemporary();
  if (!FileMode()) return StoreReceived();
  CloseReceiveFile(*this);
  if (!ProgramPath) {
    Log(*this, "No file chosen for the reception");
    return StoreFailed();
  }
  if (BackupBeforeOverwrite() < 0) return StoreFailed();
  if (!Copy(*this, TransferPath, ProgramPath.get())) return StoreFailed();
  return 1;
}

int TDncPort::StoreReceived() {
  Filing filing(*this);
  CloseReceiveFile(*this);
  if (Setting(kPropStorageMode) == kTemporary) return StoreTemporary();

  if (FileMode()) {
    if (BackupBeforeOverwrite() < 0) return StoreFailed();
    std::string target;
    if (NameForReception) {
      if (!ProgramPath) return StoreFailed();
      target = ProgramPath.get();
    } else {
      std::string name = SafeName(*this, Requested());
      const char* dir0 = Record->GetValue(kPropFirstDirectory);
      if (name.empty() || !dir0 || !*dir0) return StoreFailed();
      target = Join(dir0, WithExtension(name, Text(kPropExtension)));
    }
    if (!Copy(*this, TransferPath, target)) return StoreFailed();
    if (NameForReception) ProgramPath.reset();
    return 1;
  }

  int backup = BackupBeforeOverwrite();
  if (backup < 0) return StoreFailed();
  if (backup > 0) {
    Log(*this, std::string("Saving -> ") + (Requested() ? Requested() : ""));
    if (!Copy(*this, TransferPath, OverwritePath.get())) return StoreFailed();
    if (Globals) Globals->WriteLog(kLogReceivedReplaced, OverwriteDesc.c_str(), OverwriteMachine.c_str(), Text(kPropDisplayName));
    return 1;
  }

  Log(*this, std::string("Saving -> ") + (Requested() ? Requested() : ""));
  long id = NextProgramId();
  if (id <= 0) {
    Log(*this, "No program id could be drawn");
    return StoreFailed();
  }
  auto r = NewRecord(*this, id, 'P', Text(kPropMachineDir), Requested());
  if (!PlaceAndAppend(*this, *r, "KELVFILE.DBF")) return StoreFailed();
  if (Globals) Globals->WriteLog(kLogReceivedNew, r->DESC, r->MACHINE, Text(kPropDisplayName));
  return 1;
}

int TDncPort::StoreTemporary() {
  Filing filing(*this);
  CloseReceiveFile(*this);
  if (FileMode()) {
    std::string name = SafeName(*this, Requested());
    if (name.empty()) return StoreFailed();
    return Copy(*this, TransferPath, Dir(&TGlobals::DncTempDir) + WithExtension(name, Text(kPropExtension)))
               ? 1
               : StoreFailed();
  }
  Log(*this, std::string("Temp. Storage -> ") + (Requested() ? Requested() : ""));
  long id = NextTemporaryTransferId();
  if (id <= 0) {
    Log(*this, "No temporary-storage id could be drawn");
    return StoreFailed();
  }
  auto r = NewRecord(*this, id, 'T', Dir(&TGlobals::DncTempDir), Requested());
  if (!PlaceAndAppend(*this, *r, "KELVDNCT.DBF")) return StoreFailed();
  if (Globals) Globals->WriteLog(kLogReceivedTemporary, r->DESC, r->MACHINE, Text(kPropDisplayName));
  return 1;
}

// 1 when a backup of the program about to be overwritten was made, 0 when
// there is nothing to overwrite, -1 when the backup failed (the program is
// then left as it is and the reception kept elsewhere).
int TDncPort::BackupBeforeOverwrite() {
  Filing filing(*this);
  OverwritePath.reset();
  if (FileMode()) {
    std::string source, base;
    if (NameForReception) {
      if (!ProgramPath) return 0;
      source = ProgramPath.get();
      std::size_t cut = source.find_last_of("\\/");
      base = cut == std::string::npos ? source : source.substr(cut + 1);
    } else {
      base = SafeName(*this, Requested());
      const char* dir0 = Record->GetValue(kPropFirstDirectory);
      if (base.empty() || !dir0 || !*dir0) return 0;
      source = Join(dir0, WithExtension(base, Text(kPropExtension)));
    }
    if (!plat::file_exists(source)) return 0;
    for (int n = 1;; n++) {
      std::string target = Dir(&TGlobals::BackupDir) + std::to_string(n) + "-" + base + ".bak";
      if (NameForReception) Log(*this, target);
      if (plat::copy_file(source, target, true)) return 1;
      if (plat::last_error() != plat::error_exists) {
        Log(*this, "Backup of " + source + " failed: " + plat::error_text(plat::last_error()));
        return -1;
      }
    }
  }

  if (!BacksUp(Setting(kPropStorageMode)) || !Requested()) return 0;
  bool failed = false;
  TcbFileRecord* found = FindOnMachine(*this, Requested(), failed);
  // Unread is not "none": stored as new, the reception would stand beside
  // the program it was to replace.
  if (failed) return -1;
  if (!found) return 0;
  std::unique_ptr<TcbFileRecord> r(static_cast<TcbFileRecord*>(found));
  FreeRecordList(found->next);
  r->next = nullptr;
  Log(*this, std::string("Backup -> ") + Requested());
  const std::string current = r->FilePath();
  long id = NextBackupId();
  if (id <= 0) {
    Log(*this, "No backup id could be drawn");
    return -1;
  }
  r->NCID = id;
  CopyCut(r->DIR, sizeof r->DIR, Dir(&TGlobals::BackupDir).c_str());
  CopyCut(r->NAME, sizeof r->NAME, ("B" + std::to_string(id)).c_str());
  CopyCut(r->EXT, sizeof r->EXT, "BAK");
  if (!Copy(*this, current, r->FilePath())) return -1;
  TcbFileTable backups("KELVBACK.DBF", 0, 0);
  if (!backups.Append(r.get())) {
    Log(*this, "Cannot append to KELVBACK.DBF");
    plat::delete_file(r->FilePath());
    return -1;
  }
  // The log says so once the reception has replaced the program.
  OverwriteDesc = r->DESC;
  OverwriteMachine = r->MACHINE;
  std::string target = current;
  OverwritePath = std::make_unique<char[]>(target.size() + 1);
  std::memcpy(OverwritePath.get(), target.c_str(), target.size() + 1);
  return 1;
}

namespace {

// A failed reception shorter than this is line noise: nothing is kept.
constexpr int64_t kNoiseBelow = 20;

}  // namespace

int TDncPort::StoreFailed() { return StoreFailedFrom(kNoiseBelow); }

// A request is shorter than the noise a failed reception must exceed, but
// it was understood: it is kept whatever its length.
int TDncPort::StoreUnservedRequest() { return StoreFailedFrom(1); }

int TDncPort::StoreFailedFrom(int64_t smallest) {
  Filing filing(*this);
  CloseReceiveFile(*this);
  plat::File f = plat::create_file(TransferPath, plat::Access::read, plat::Share::read_write,
                                   plat::Disposition::open_existing);
  if (!f.is_open()) return 0;
  int64_t size = plat::length(f);
  plat::close(f);
  if (size < smallest) {
    ParityError = 0;
    return 0;
  }
  Log(*this, "Transfer failed");
  if (FileMode()) {
    std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    std::string prefix = Globals ? Globals->GetMessageText(kMsgFailedTransferPrefix) : std::string();
    char name[200];
    std::snprintf(name, sizeof name, "Port %ld (%d-%d-%d [%d;%d])", RowId(), t.tm_mday, t.tm_mon + 1,
                  t.tm_year + 1900, t.tm_hour, t.tm_min);
    // Failures within one minute share the name: a later one is numbered
    // rather than put over the earlier.
    for (int n = 1;; n++) {
      const std::string numbered = prefix + name + (n > 1 ? " (" + std::to_string(n) + ")" : std::string());
      const std::string target = Dir(&TGlobals::DncFailDir) + WithExtension(numbered, Text(kPropExtension));
      if (plat::copy_file(TransferPath, target, true)) return 1;
      if (plat::last_error() != plat::error_exists) {
        Log(*this, "Copy " + TransferPath + " -> " + target + " failed: " + plat::error_text(plat::last_error()));
        return 0;
      }
    }
  }
  long id = NextFailedTransferId();
  if (id <= 0) {
    Log(*this, "No failed-transfer id could be drawn; the reception stays in " + TransferPath);
    return 0;
  }
  std::string desc =
      ParityError ? std::string("PARITY ERROR") : (Globals ? Globals->GetMessageText(kMsgTransferFailed) : "");
  ParityError = 0;
  auto r = NewRecord(*this, id, 'F', Dir(&TGlobals::DncFailDir), desc.c_str());
  if (!PlaceAndAppend(*this, *r, "KELVDNCF.DBF")) return 0;
  if (Globals) Globals->WriteLog(kLogReceiveFailed, r->MACHINE, Text(kPropDisplayName));
  return 1;
}

int TDncPort::CopyForSend(const char* tableName) {
  if (!SendProgramId) return 0;
  ProgramRecord.reset();
  ProgramTable.reset();
  ProgramTable = std::make_unique<TcbFileTable>(tableName ? tableName : "KELVFILE.DBF", 0, 0);
  ProgramRecord.reset(ProgramTable->FindById(SendProgramId));
  if (!ProgramRecord) {
    ProgramTable.reset();
    SendProgramId = 0;
    ProgramPath.reset();
    return 0;
  }
  std::string path = ProgramRecord->FilePath();
  ProgramPath = std::make_unique<char[]>(path.size() + 1);
  std::memcpy(ProgramPath.get(), path.c_str(), path.size() + 1);
  SetSendDescription(ProgramRecord->DESC);
  return ProgramTable->LockById(SendProgramId) > 0 ? 1 : 0;
}

namespace {

bool TryFile(TDncPort& port, const std::string& path, const char* label) {
  Log(port, std::string(label) + path);
  return plat::file_exists(path);
}

void Found(TDncPort& port, const std::string& path) {
  Log(port, "Found : " + path);
  port.ProgramPath = std::make_unique<char[]>(path.size() + 1);
  std::memcpy(port.ProgramPath.get(), path.c_str(), path.size() + 1);
  port.SetFoundPath(path);
  plat::File f = plat::create_file(path, plat::Access::read, plat::Share::read_write, plat::Disposition::open_existing);
  port.BytesTotal = f.is_open() ? static_cast<uint32_t>(plat::length(f)) : 0;
  Log(port, "Returning...");
}

}  // namespace

int PrepareToSend(TDncPort* port) {
  if (!port) return 0;
  TDncPort& p = *port;
  p.ProgramPath.reset();
  p.LookupFailed = 0;
  if (!p.FileMode()) {
    if (!p.Requested()) {
      Log(p, "PrepareToSend = false (1)");
      return 0;
    }
    bool failed = false;
    TcbFileRecord* found = FindOnMachine(p, p.Requested(), failed);
    if (!found) {
      p.LookupFailed = failed ? 1 : 0;
      Log(p, failed ? "PrepareToSend = false (3)" : "PrepareToSend = false (2)");
      return 0;
    }
    p.SendProgramId = found->NCID;
    FreeRecordList(found);
    Log(p, "PrepareToSend = true (1)");
    return 1;
  }

  std::string name = SafeName(p, p.Requested());
  if (name.empty()) return 0;
  name = WithExtension(name, p.Text(kPropExtension));
  for (int i = 0; i < TDncPort::kDirectories; i++) {
    const char* dirText = p.Record->GetValue(kPropFirstDirectory + i);
    if (!dirText || !*dirText) return 0;
    const std::string dir = dirText;
    std::string path = Join(dir, name);
    if (TryFile(p, path, "Searching : ")) {
      Found(p, path);
      return 1;
    }
    plat::FindHandle h;
    plat::FindData d;
    for (bool more = plat::find_first(Join(dir, "*.*"), h, d); more; more = plat::find_next(h, d)) {
      if (d.attributes != plat::attr_directory || d.name == "." || d.name == "..") continue;
      path = Join(Join(dir, d.name), name);
      if (TryFile(p, path, "Searching2 : ")) {
        plat::find_close(h);
        Found(p, path);
        return 1;
      }
    }
    plat::find_close(h);
  }
  p.ProgramPath.reset();
  p.ClearRequest();
  return 0;
}
