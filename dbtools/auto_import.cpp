// The auto-import threads and their passes (see auto_import.h). Order of
// each file: settled, not held by a writer, machine known, Program-ID
// derived, then under the filing lock the duplicate check, the id draw,
// the copy and the row; the source and its memo go last.
//
// The filing lock is kept over consecutive files for a short while. What
// each file's check needs (the Program-IDs of the machine's programs, the
// names in its directory) is read once when the lock is taken and stays
// true while it is held, since every station's duplicate check and filing
// run under it (a new program's file is made under it too; a name another
// program makes in its own time is still never overwritten, the copy
// refusing an existing file). The pass adds its own rows and files as it
// goes and reads afresh whenever it takes the lock again. A station
// waiting for the lock tries again at the turn of each second (the
// engine's wait): in the first tenth of every second the pass takes the
// lock for one file at a time and searches the program index as it
// stands, so such a station finds the lock free between two files as
// often as it ever did.
#include "dbtools/auto_import.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "app/threads.h"
#include "appcore/globals.h"
#include "appcore/log_text.h"
#include "appcore/myfile.h"
#include "dbmodel/counter.h"
#include "dbmodel/filetable.h"
#include "dbmodel/machine.h"
#include "dbmodel/query_walk.h"
#include "dbmodel/text_helpers.h"
#include "dbtools/import_names.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "platform/path.h"
#include "storage/filing_lock.h"
#include "storage/program_lock.h"
#include "storage/program_ops.h"
#include "storage/save_prog.h"

namespace {

constexpr std::size_t kThreadStack = 20480;
constexpr unsigned long kIntervalUnitMs = 10000;
// TIMEOUT 0 still rests between passes, so an idle directory costs nothing.
constexpr unsigned long kShortestRestMs = 1000;
constexpr int kParenthesisLines = 50;
constexpr std::size_t kDescWidth = 40;
constexpr std::size_t kChar3Width = 50;
// The stations' turn at the start of every second.
constexpr int kStationsTurnMs = 100;

constexpr const char* kProgramIndex = "KELVFILE.DBF";
constexpr const char* kFailedImports = "KELVAUTO.DBF";
constexpr const char* kBackups = "KELVBACK.DBF";

// Why a file waits; the system log gets each reason once per file.
constexpr const char* kWhyNoMachine = "machine has no program directory";
constexpr const char* kWhyNoFilingLock = "program index is being filed into";
constexpr const char* kWhyIndexUnread = "program index could not be searched";
constexpr const char* kWhyNoId = "no program id could be drawn";
constexpr const char* kWhyInUse = "program is open in an editor";
constexpr const char* kWhyBackup = "backup copy failed";
constexpr const char* kWhyBackupRow = "backup row not written";
constexpr const char* kWhyMemo = "memo file could not be read";
constexpr const char* kWhyRow = "row not written";
constexpr const char* kWhySourceKept = "imported, but could not be removed";

struct TFileSeen {
  std::string name;
  int64_t size = 0;
  int64_t written = 0;
};

std::string UpperText(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::vector<TFileSeen> MatchingFiles(const TcbAutoImpRecord& def) {
  std::string mask = def.FILEMASK[0] ? def.FILEMASK : "*";
  std::string pattern = JoinPath(def.PATH, mask + "." + def.EXT);
  std::vector<TFileSeen> files;
  plat::FindHandle h;
  plat::FindData d;
  if (!plat::find_first(pattern, h, d)) return files;
  do {
    // Ordinary files only. A name holding a backslash would lead out of
    // the directory once the path is read: it is never taken.
    if (d.attributes & (plat::attr_directory | plat::attr_hidden | plat::attr_system)) continue;
    if (d.name.find('\\') != std::string::npos) continue;
    files.push_back({d.name, d.size, d.last_write});
  } while (plat::find_next(h, d));
  plat::find_close(h);
  return files;
}

// A file is taken once a look at least `settle` after the first saw the
// same size and time; a change starts the wait again.
bool Settled(TAutoImportWatch& watch, const TFileSeen& f) {
  auto now = std::chrono::steady_clock::now();
  auto it = watch.looks.find(f.name);
  if (it == watch.looks.end() || it->second.size != f.size || it->second.written != f.written) {
    watch.looks[f.name] = {f.size, f.written, now};
    return false;
  }
  return now - it->second.since >= watch.settle;
}

// Another handle of ours writing it, or one that denies sharing.
bool HeldByWriter(const std::string& source) {
  plat::File f = plat::create_file(source, plat::Access::read, plat::Share::none, plat::Disposition::open_existing);
  return !f.is_open();
}

// The text of the first parenthesis in the file's first lines; none when
// no line holds both "(" and ")".
std::optional<std::string> ParenthesisId(const std::string& source) {
  TMyFile file(source.c_str());
  if (!file.Open(1)) return std::nullopt;
  std::string id;
  for (int n = 0; n < kParenthesisLines; ++n) {
    const char* line = file.ReadLineInPlace(0);
    if (!line) break;
    const char* open = std::strchr(line, '(');
    const char* close = std::strchr(line, ')');
    if (!open || !close) continue;
    const char* end = close > open ? close : open + 1 + std::strlen(open + 1);
    id.assign(open + 1, end);
    if (id.size() > kDescWidth) id.resize(kDescWidth);
    file.Close();
    return id;
  }
  file.Close();
  return std::nullopt;
}

// The memo file's whole text; false when it is there but cannot be read.
bool ReadWhole(const std::string& path, std::string& text) {
  plat::File f = plat::create_file(path, plat::Access::read, plat::Share::read, plat::Disposition::open_existing);
  if (!f.is_open()) return false;
  int64_t n = plat::length(f);
  if (n < 0) return false;
  text.resize(static_cast<std::size_t>(n));
  int64_t got = n ? plat::read(f, text.data(), text.size()) : 0;
  if (got != n) return false;
  // A NUL would end the memo text early; it reads as the text files' 0xA7.
  std::replace(text.begin(), text.end(), '\0', static_cast<char>(TMyFile::kNulSubstitute));
  return plat::close(f);
}

bool ReadFirstLine(const std::string& path, std::string& line) {
  TMyFile file(path.c_str());
  if (!file.Open(1)) return false;
  const char* first = file.ReadLineInPlace(0);
  line = first ? first : "";
  if (line.size() > kChar3Width) line.resize(kChar3Width);
  bool ok = !file.Failed();
  file.Close();
  return ok;
}

// 1 when a program of the (quoted, padded, upper-case) id is on the
// machine, 0 when none is, -1 when the index could not be searched.
int ProgramIdOnMachine(const std::string& quoted, long machineId) {
  TcbFileTable t(kProgramIndex, 0, 0);
  if (!t.Open()) return -1;
  int rc;
  {
    TQueryWalk walk(t.Data());
    std::string filter = "UPPER(DESC) = " + quoted + FormatText(" .AND. MID = %ld", machineId);
    rc = walk.Valid() ? walk.Top(filter.c_str(), nullptr) : -1;
  }
  bool closed = t.Close() != 0;
  if (rc < 0 || !closed) return -1;
  return rc == 0 ? 1 : 0;
}

// The stations' turn, and the stretch before it: a run of files held then
// would still be bringing its rows to the disk, the lock held, when the
// turn begins, so files go one at a time there too.
constexpr int kBeforeTurnMs = 150;
bool StationsTurn() {
  const int ms = plat::local_time().milliseconds;
  return ms < kStationsTurnMs || ms >= 1000 - kBeforeTurnMs;
}

// An id as the machine's ids are kept: a DESC's trailing blanks are its padding.
std::string IdKey(std::string id) {
  while (!id.empty() && id.back() == ' ') id.pop_back();
  return id;
}

bool AppendRow(const char* table, TcbFileRecord& r) {
  TcbFileTable t(table, 0, 0);
  bool ok = t.AppendBatch(&r) == 1;
  return t.Close() != 0 && ok;
}

// A new program copied while the filing lock is held, its row not yet
// written (see TPass::Commit).
struct TPending {
  std::unique_ptr<TcbFileRecord> row;
  std::string name, source, memo, target, id;
};

class TPass {
 public:
  TPass(const TcbAutoImpRecord& def, TAutoImportWatch& watch, TAutoImportCounts& counts)
      : def_(def), watch_(watch), counts_(counts) {}
  ~TPass() { LetFilingGo(); }

  // files: how many of the pass's files are still to come, this one
  // included (the most ids a block draws).
  void File(const TFileSeen& f, std::size_t files);
  // After each file: in the stations' turn the lock goes at once.
  void FileDone() {
    if (oneFile_) LetFilingGo();
  }
  // At the end of the pass: the rows of what it copied, and the lock back.
  void LetGo() { LetFilingGo(); }

 private:
  const char* TakeFiling();
  void LetFilingGo();
  void Commit();
  long NewProgramId(std::size_t files);
  void Wait(const std::string& why) { Wait(source_, why); }
  void Wait(const std::string& source, const std::string& why);
  void Filed(int& counter) { Filed(counter, name_, source_); }
  void Filed(int& counter, const std::string& name, const std::string& source);
  void FileNewOrKept(const std::string& id, bool fits, bool exists, std::size_t files);
  void ReplaceExisting(const std::string& id);
  bool FillMemo(TcbFileRecord& r);

  const TcbAutoImpRecord& def_;
  TAutoImportWatch& watch_;
  TAutoImportCounts& counts_;
  std::string name_, source_, machineDir_, memoPath_;
  bool machineLooked_ = false;
  // Read under the filing lock while it is held.
  std::optional<TFilingLock> filing_;
  bool oneFile_ = false;  // held for this file only: nothing read ahead
  std::chrono::steady_clock::time_point filingSince_;
  std::set<std::string> idsOnMachine_;
  std::optional<plat::KnownDirectory> machineNames_;
  // New programs copied under this hold of the lock, filed at its end.
  std::vector<TPending> pending_;
  // Program ids drawn ahead in a block: [nextId_, endId_).
  long nextId_ = 0, endId_ = 0;
};

// Null with the filing lock held and what the checks need read under it,
// else why the file waits.
const char* TPass::TakeFiling() {
  const bool turn = StationsTurn();
  if (filing_ && !turn && std::chrono::steady_clock::now() - filingSince_ < watch_.filingHold) return nullptr;
  LetFilingGo();
  filing_.emplace();
  if (!filing_->IsHeld()) {
    filing_.reset();
    return kWhyNoFilingLock;
  }
  oneFile_ = turn;
  if (oneFile_) return nullptr;
  TcbFileTable programs(kProgramIndex, 0, 0);
  if (!programs.UpperDescsOfMachine(def_.MACHINE, idsOnMachine_)) {
    filing_.reset();
    return kWhyIndexUnread;
  }
  machineNames_.emplace(machineDir_);
  filingSince_ = std::chrono::steady_clock::now();
  return nullptr;
}

void TPass::LetFilingGo() {
  const bool held = filing_.has_value();
  // The rows go in while the lock still keeps other stations from filing
  // the same ids.
  Commit();
  machineNames_.reset();
  filing_.reset();
  if (held && watch_.filingLetGo) watch_.filingLetGo();
}

void TPass::Wait(const std::string& source, const std::string& why) {
  ++counts_.waiting;
  if (watch_.reported.insert(source + '\n' + why).second && Globals)
    Globals->WriteLog(kLogAutoImportWaiting, source.c_str(), why.c_str());
}

void TPass::Filed(int& counter, const std::string& name, const std::string& source) {
  ++counter;
  watch_.looks.erase(name);
  std::erase_if(watch_.reported, [&](const std::string& k) { return k.starts_with(source + '\n'); });
  if (!plat::delete_file(source)) {
    // Never filed twice: the name is passed over while it stays.
    watch_.kept.insert(name);
    Wait(source, kWhySourceKept);
    --counts_.waiting;
  }
}

// The new programs of this hold, filed in the order that keeps every
// imported file safe on the disk whatever stops the pass:
//   1. the copies (and the names in the machine's directory) are brought
//      to the disk, before any row names them;
//   2. their rows go into the program index under one lock of the whole
//      table, which brings the table to the disk when it closes (no other
//      station files meanwhile: the filing lock is still held);
//   3. only then the sources and their memo files go.
// The ids were drawn before the copies were made, and the counter was on
// the disk at each draw. A stop anywhere leaves the source in place: at
// worst a copy with no row (its id is never drawn again) or a row whose
// source comes again and is taken as a duplicate; never a program known
// only from memory.
void TPass::Commit() {
  if (pending_.empty()) return;
  std::vector<TPending> batch = std::move(pending_);
  pending_.clear();
  std::vector<std::string> copies;
  for (const TPending& p : batch) copies.push_back(p.target);
  if (!plat::flush_files(copies, machineDir_)) {
    const std::string why = plat::error_text(plat::last_error());
    for (const TPending& p : batch) {
      plat::delete_file(p.target);
      if (!oneFile_) idsOnMachine_.erase(IdKey(p.id));
      Wait(p.source, why);
    }
    return;
  }
  TcbFileTable programs(kProgramIndex, 0, 0);
  // Under the lock of the whole table the rows are written together and
  // the table goes to the disk once, at its close; without it (another
  // station holds a row) each append brings the one before to the disk.
  if (batch.size() > 1 && programs.Open()) data_lock_file(programs.Data());
  std::vector<bool> appended(batch.size(), false);
  for (std::size_t i = 0; i < batch.size(); ++i) {
    appended[i] = programs.AppendBatch(batch[i].row.get()) == 1;
    if (!appended[i]) {
      // No row names the copy: it goes again, the source stays.
      plat::delete_file(batch[i].target);
      if (!oneFile_) idsOnMachine_.erase(IdKey(batch[i].id));
      Wait(batch[i].source, kWhyRow);
    }
  }
  if (programs.Close() == 0) {
    // Not known to be on the disk: every source stays. A row that stands
    // keeps its copy (its source, coming again, is taken as a duplicate);
    // a copy no row names goes.
    for (std::size_t i = 0; i < batch.size(); ++i) {
      if (!appended[i]) continue;
      TcbFileTable again(kProgramIndex, 0, 0);
      std::unique_ptr<TcbFileRecord> row(again.FindById(batch[i].row->NCID));
      again.made = nullptr;
      if (!row) {
        plat::delete_file(batch[i].target);
        if (!oneFile_) idsOnMachine_.erase(IdKey(batch[i].id));
      }
      Wait(batch[i].source, kWhyRow);
    }
    return;
  }
  for (std::size_t i = 0; i < batch.size(); ++i) {
    if (!appended[i]) continue;
    if (!batch[i].memo.empty()) plat::delete_file(batch[i].memo);
    Filed(counts_.imported, batch[i].name, batch[i].source);
  }
}

// A new program id, from a block drawn ahead for the files still to come
// (one draw brings the counter to the disk once for them all); ids of a
// block that the pass does not use are never handed out.
long TPass::NewProgramId(std::size_t files) {
  constexpr long kMostAhead = 256;
  if (nextId_ >= endId_) {
    const long count = std::clamp<long>(static_cast<long>(files), 1, kMostAhead);
    const long first = NextProgramIds(count);
    if (first < 1 || first > kLargestFiledProgramId) return -1;
    nextId_ = first;
    endId_ = std::min(first + count, kLargestFiledProgramId + 1);
  }
  return nextId_++;
}

void TPass::File(const TFileSeen& f, std::size_t files) {
  name_ = f.name;
  source_ = JoinPath(def_.PATH, f.name);
  if (watch_.kept.count(f.name)) return;
  if (!Settled(watch_, f) || HeldByWriter(source_)) {
    ++counts_.waiting;
    return;
  }
  if (!machineLooked_) {
    // Once a pass: the machine's directory does not change between files.
    TcbMachTable machines("KELVMA.DBF", 0, 0);
    std::unique_ptr<char[]> dir(machines.GetPath(def_.MACHINE));
    machineDir_ = dir ? dir.get() : "";
    machineLooked_ = true;
  }
  if (machineDir_.empty()) return Wait(kWhyNoMachine);
  memoPath_.clear();
  if (def_.MEPA[0]) memoPath_ = JoinPath(def_.MEPA, NameBase(f.name) + "." + def_.MEMO);

  std::string id = UpperText(AutoImportProgramId(def_, f.name, source_));
  // An id that no filter can hold or DESC cannot keep whole is never cut
  // into another program's id: it goes the failed-import way.
  std::string quoted;
  bool fits = !id.empty() && id.size() <= kDescWidth && QuoteFilterText(PadText(id.c_str(), kDescWidth), quoted);

  if (const char* why = TakeFiling()) return Wait(why);
  int exists = 0;
  if (fits) exists = oneFile_ ? ProgramIdOnMachine(quoted, def_.MACHINE) : idsOnMachine_.count(IdKey(id));
  if (exists < 0) return Wait(kWhyIndexUnread);
  if (exists && def_.REPLACE) return ReplaceExisting(id);
  FileNewOrKept(id, fits, exists, files);
}

bool TPass::FillMemo(TcbFileRecord& r) {
  r.SetMemo(nullptr);
  r.CHAR3[0] = 0;
  if (memoPath_.empty() || !plat::file_exists(memoPath_)) {
    memoPath_.clear();
    return true;
  }
  std::string text;
  if (def_.MINDESC) {
    if (!ReadFirstLine(memoPath_, text)) return false;
    CopyCut(r.CHAR3, sizeof r.CHAR3, text.c_str());
    return true;
  }
  if (!ReadWhole(memoPath_, text)) return false;
  r.SetMemo(text.c_str());
  return true;
}

void TPass::FileNewOrKept(const std::string& id, bool fits, bool exists, std::size_t files) {
  const bool isNew = fits && !exists;
  // A file set aside is filed at once, after the new programs before it.
  if (!isNew) Commit();
  auto r = std::make_unique<TcbFileRecord>();
  if (!FillMemo(*r)) return Wait(kWhyMemo);
  long ncid = isNew ? NewProgramId(files) : NextImportKeptId();
  if (ncid < 1) return Wait(kWhyNoId);
  r->NCID = r->LONG1 = ncid;
  CopyCut(r->DESC, sizeof r->DESC, id.c_str());
  CopyCut(r->DIR, sizeof r->DIR, isNew ? machineDir_.c_str() : Globals->BackupDir.c_str());
  CopyCut(r->NAME, sizeof r->NAME, FormatText("P%ld", ncid).c_str());
  CopyCut(r->EXT, sizeof r->EXT, "NC");
  r->CUST = def_.CUSTOMER;
  r->PROJECT = def_.PROJECT;
  r->MID = def_.MACHINE;
  CopyCut(r->MACHINE, sizeof r->MACHINE, def_.MACH);
  const std::string target = r->FilePath();
  // The id is new, so a file of its name belongs to nobody we know of: it
  // stays, and this source waits.
  if (!plat::copy_file(source_, target, true)) return Wait(plat::error_text(plat::last_error()));
  if (isNew) {
    if (machineNames_) machineNames_->add(r->NAME + std::string(".") + r->EXT);
    if (!oneFile_) idsOnMachine_.insert(IdKey(id));
    pending_.push_back({std::move(r), name_, source_, memoPath_, target, id});
    return;
  }
  // Set aside: the copy on the disk before its row, the row before the
  // source goes.
  if (!plat::flush_files({target}, Globals->BackupDir)) {
    const std::string why = plat::error_text(plat::last_error());
    plat::delete_file(target);
    return Wait(why);
  }
  TcbFileTable kept(kFailedImports, 0, 0);
  if (kept.AppendBatch(r.get()) != 1) {
    kept.Close();
    // No row names the copy: it goes again, the source stays.
    plat::delete_file(target);
    return Wait(kWhyRow);
  }
  // The row may stand but is not known to be on the disk: both stay.
  if (kept.Close() == 0) return Wait(kWhyRow);
  if (!memoPath_.empty()) plat::delete_file(memoPath_);
  Filed(counts_.kept);
}

void TPass::ReplaceExisting(const std::string& id) {
  // The new programs before it are filed first, so its own steps keep
  // their order.
  Commit();
  std::unique_ptr<TcbFileRecord> program;
  {
    TcbFileTable t(kProgramIndex, 0, 0);
    TcbFileRecord* found = t.SelectByDescAndMachine(id.c_str(), def_.MACHINE);
    t.made = nullptr;
    if (!found) return Wait(kWhyIndexUnread);
    FreeRecordList(found->next);
    found->next = nullptr;
    program.reset(found);
  }
  // An editor holding the program would save its own text over this one.
  if (CanLockProgram(program->NCID, 0) < 1) return Wait(kWhyInUse);
  const std::string current = program->FilePath();
  if (def_.BACKUP) {
    // The old text is kept before it is replaced, or nothing is replaced.
    long backupId = NextBackupId();
    if (backupId < 1) return Wait(kWhyNoId);
    std::unique_ptr<TcbFileRecord> backup = CopyOfRecord(*program);
    backup->NCID = backupId;
    CopyCut(backup->NAME, sizeof backup->NAME, FormatText("B%ld", backupId).c_str());
    CopyCut(backup->EXT, sizeof backup->EXT, "BAK");
    CopyCut(backup->DIR, sizeof backup->DIR, Globals->BackupDir.c_str());
    if (!plat::copy_file(current, backup->FilePath(), false)) return Wait(kWhyBackup);
    // The old text on the disk before its row names it.
    if (!plat::flush_files({backup->FilePath()}, Globals->BackupDir)) {
      plat::delete_file(backup->FilePath());
      return Wait(kWhyBackup);
    }
    if (!AppendRow(kBackups, *backup)) {
      plat::delete_file(backup->FilePath());
      return Wait(kWhyBackupRow);
    }
  }
  if (!plat::copy_file(source_, current, false)) return Wait(plat::error_text(plat::last_error()));
  // The new text on the disk before the source goes.
  if (!plat::flush_files({current}, program->DIR)) return Wait(plat::error_text(plat::last_error()));
  Filed(counts_.replaced);
}

struct TThreadDef {
  std::unique_ptr<TcbAutoImpRecord> def;
};

}  // namespace


std::string AutoImportProgramId(const TcbAutoImpRecord& def, const std::string& name, const std::string& source) {
  if (def.PROGID[0]) return def.PROGID;
  if (def.METHOD == 0) {
    if (int width = def.EXPAND ? AutoImportExpandWidth(def.EXWITH) : 0)
      return FormatText("%0*ld", width, LeadingNumber(name.c_str()));
    return NameBase(name);
  }
  return ParenthesisId(source).value_or(NameBase(name));
}

TAutoImportCounts RunAutoImportPass(const TcbAutoImpRecord& def, TAutoImportWatch& watch) {
  TAutoImportCounts counts;
  // The whole pass under the import lock: the switch to another database
  // waits for the pass, so no file goes to a directory half changed.
  std::lock_guard imports(Globals->ImportLock);
  std::vector<TFileSeen> files = MatchingFiles(def);
  TPass pass(def, watch, counts);
  std::set<std::string> present;
  bool stopped = false;
  for (std::size_t i = 0; i < files.size(); ++i) {
    const TFileSeen& f = files[i];
    if (WorkersStopping()) {
      stopped = true;
      break;
    }
    present.insert(f.name);
    pass.File(f, files.size() - i);
    pass.FileDone();
  }
  pass.LetGo();
  if (!stopped) {
    // Files gone meanwhile are forgotten.
    std::erase_if(watch.looks, [&](const auto& e) { return !present.count(e.first); });
    std::erase_if(watch.kept, [&](const std::string& n) { return !present.count(n); });
  }
  return counts;
}

void AutoImportThread(void* arg) {
  std::unique_ptr<TcbAutoImpRecord> def(static_cast<TcbAutoImpRecord*>(arg));
  def->next = def->prev = nullptr;
  TAutoImportWatch watch;
  unsigned long rest = std::max<unsigned long>(static_cast<unsigned long>(std::max<long>(def->TIMEOUT, 0)) * kIntervalUnitMs,
                                               kShortestRestMs);
  while (WorkerSleep(rest)) RunAutoImportPass(*def, watch);
}

int StartAutoImportThreads() {
  TcbRecord* list;
  {
    TcbAutoImpTable defs("AUTOIMP.DBF", 1, 0);
    list = defs.LoadAllDetached();
    defs.made = nullptr;
  }
  int started = 0;
  while (list) {
    auto* def = static_cast<TcbAutoImpRecord*>(list);
    list = list->next;
    def->next = def->prev = nullptr;
    if (def->RUN && StartWorker(AutoImportThread, kThreadStack, def)) {
      ++started;
      continue;
    }
    delete def;
  }
  return started;
}
