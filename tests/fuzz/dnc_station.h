// A DNC station for the fuzz targets that reach the database: the program,
// temporary, failed and backup tables, id counters, system log, one machine
// with one program "REQ1" and one job "JOB1" of it, search directories with
// files, all in a scratch directory. Every run starts from the same files
// (Restore), so a case found replays as it was found. Check() says whether
// anything was written outside the station's directories.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "appcore/globals.h"
#include "appcore/message_ids.h"
#include "dbmodel/counter.h"
#include "dbmodel/engine_context.h"
#include "dbmodel/filetable.h"
#include "dbmodel/job.h"
#include "dbmodel/machine.h"
#include "dbmodel/syslog.h"
#include "platform/msgbox.h"
#include "tests/support/scratch_dir.h"

namespace kvfuzz {

class DncStation {
 public:
  // Directories a store may write into, below the station.
  static constexpr const char* kWritable[] = {"db", "alt", "local", "temp", "dnctemp", "dncfail", "backup", "mach1",
                                              "files"};

  DncStation() : base_("kv-fuzz-station") {
    plat::set_message_box_handler([](HWND, const std::string&, const std::string&, UINT) { return IDOK; });
    // The station lies two levels down: a name that climbs out of a
    // directory lands where Check() sees it.
    root_ = base_.file("a/b/station");
    for (const char* d : kWritable) std::filesystem::create_directories(root_ + "/" + d);
    std::filesystem::create_directories(root_ + "/files/sub");
    globals_ = std::make_unique<TGlobals>();
    Globals = globals_.get();
    Globals->DatabaseDir = root_ + "/db\\";
    Globals->AlternateDir = root_ + "/alt\\";
    Globals->LocalDir = root_ + "/local\\";
    Globals->TempDir = root_ + "/temp\\";
    Globals->DncTempDir = root_ + "/dnctemp\\";
    Globals->DncFailDir = root_ + "/dncfail\\";
    Globals->BackupDir = root_ + "/backup\\";
    Globals->LogTexts.Set(25, "Failed %s %s by %s%s");
    Globals->LogTexts.Set(26, "Temp %s %s %s by %s%s");
    Globals->LogTexts.Set(28, "Backup %s %s %s by %s%s");
    Globals->LogTexts.Set(29, "New %s %s %s by %s%s");
    Globals->MessageTexts.Set(kMsgTransferFailed, "TRANSFER FAILED");
    DbEngine* c = DbContext;
    c->silent_errors = 1;
    c->report_create_errors = 0;
    c->report_open_errors = 0;
    c->auto_open = 1;
    c->safety = 1;
    c->exclusive = 0;
    c->read_lock = 0;
    c->lock_attempts = -1;

    {
      TcbCounterTable t("KELVINDX.DBF", 0, 0);
      t.Create(Db("KELVINDX.DBF").c_str());
      t.EnsureRecords();
    }
    for (const char* t : {"KELVFILE.DBF", "KELVBACK.DBF", "KELVDNCT.DBF", "KELVDNCF.DBF"}) {
      TcbFileTable f(t, 0, 0);
      f.Create(Db(t).c_str());
    }
    {
      TLogTable t("LOG00000.DBF", 0, 0);
      t.Create(Db("LOG00000.DBF").c_str());
    }
    {
      TcbMachTable m("KELVMA.DBF", 0, 0);
      m.Create(Db("KELVMA.DBF").c_str());
      if (m.Add("MILL1", 7, "Mill", (root_ + "/mach1\\").c_str(), 0) != 1) std::abort();
      std::unique_ptr<TcbMachRecord> r(m.FindByName("MILL1"));
      if (!r) std::abort();
      machine_ = r->ID;
    }
    {
      TcbFileTable t("KELVFILE.DBF", 0, 0);
      TcbFileRecord r;
      r.NCID = r.LONG1 = 1;
      r.MID = machine_;
      CopyCut(r.DESC, sizeof r.DESC, "REQ1");
      CopyCut(r.DIR, sizeof r.DIR, (root_ + "/mach1\\").c_str());
      CopyCut(r.NAME, sizeof r.NAME, "P1");
      CopyCut(r.EXT, sizeof r.EXT, "NC");
      if (!t.Append(&r)) std::abort();
      kvtest::ScratchDir::write_file(root_ + "/mach1/P1.NC", "%\r\nG1 X1\r\nM30\r\n");
    }
    {
      TJobTable01 jobs;
      jobs.Create(Db(kJobFile).c_str());
      TJobTable02 lines;
      lines.Create(Db(kJobLineFile).c_str());
      const long job = jobs.AppendJob(machine_, "Job one", "JOB1", "");
      if (!job || lines.AppendJobLine(job, 1, 0) <= 0) std::abort();
    }
    kvtest::ScratchDir::write_file(root_ + "/files/REQ1.NC", "%\r\nG1 X2\r\n");
    kvtest::ScratchDir::write_file(root_ + "/files/sub/REQ2.NC", "%\r\nG1 X3\r\n");
    for (const auto& e : std::filesystem::recursive_directory_iterator(base_.path()))
      if (e.is_regular_file()) snapshot_[e.path().string()] = kvtest::ScratchDir::read_file(e.path().string());
    code_error_set(DbContext, 0);
  }

  const std::string& Root() const { return root_; }
  long Machine() const { return machine_; }
  std::string Db(const std::string& name) const { return root_ + "/db/" + name; }

  // Back to the files as they were made: new files go, changed ones are
  // written again.
  void Restore() {
    std::set<std::string> seen;
    for (auto it = std::filesystem::recursive_directory_iterator(base_.path());
         it != std::filesystem::recursive_directory_iterator(); ++it) {
      const std::string p = it->path().string();
      if (it->is_directory() || snapshot_.count(p)) continue;
      seen.insert(p);
    }
    for (const std::string& p : seen) std::filesystem::remove(p);
    // A changed one is made anew, not rewritten in place: nothing may take
    // it for the file it knew.
    for (const auto& [p, bytes] : snapshot_) {
      std::error_code ec;
      const bool same = std::filesystem::file_size(p, ec) == bytes.size() && !ec;
      if (same && kvtest::ScratchDir::read_file(p) == bytes) continue;
      std::filesystem::remove(p);
      kvtest::ScratchDir::write_file(p, bytes);
    }
    code_error_set(DbContext, 0);
  }

  // The first file or directory below the scratch directory that lies
  // outside the station's directories, or empty.
  std::string Outside() const {
    for (auto it = std::filesystem::recursive_directory_iterator(base_.path());
         it != std::filesystem::recursive_directory_iterator(); ++it) {
      const std::string p = it->path().string();
      if (!Inside(p)) return p;
    }
    return {};
  }

 private:
  bool Inside(const std::string& p) const {
    // The way down to the station.
    for (const char* up : {"a", "a/b", "a/b/station"})
      if (p == base_.file(up)) return true;
    for (const char* d : kWritable) {
      const std::string dir = root_ + "/" + d;
      if (p == dir || p.compare(0, dir.size() + 1, dir + "/") == 0) return true;
    }
    return false;
  }

  kvtest::ScratchDir base_;
  std::string root_;
  std::unique_ptr<TGlobals> globals_;
  long machine_ = 0;
  std::map<std::string, std::string> snapshot_;
};

}  // namespace kvfuzz
