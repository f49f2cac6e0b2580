// A DNC station for the fuzz targets that reach the database: the program,
// temporary, failed and backup tables, id counters, system log, one machine
// with one program "REQ1" and one job "JOB1" of it, search directories with
// files, all in a scratch directory. Every run ends with Restore, so the
// next starts from the same files and a case found replays as it was
// found; Restore also says whether anything was written outside the
// station's directories. What does not depend on the input is made once:
// the station, and the watch on its directories that names what a run
// touched, so a run looks at that and not at every file.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "appcore/globals.h"
#include "appcore/message_ids.h"
#include "dbmodel/counter.h"
#include "dbmodel/engine_context.h"
#include "dbmodel/filetable.h"
#include "dbmodel/job.h"
#include "dbmodel/machine.h"
#include "dbmodel/syslog.h"
#include "platform/msgbox.h"
#include "tests/fuzz/memory_dir.h"
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
    notify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (notify_ < 0) std::abort();
    Watch(base_.path().string());
    code_error_set(DbContext, 0);
  }

  const std::string& Root() const { return root_; }
  long Machine() const { return machine_; }
  std::string Db(const std::string& name) const { return root_ + "/db/" + name; }

  // A file every run writes whole before it is read (Put): it stays from
  // one run to the next, as making it anew each time costs more than the
  // run.
  void RunWrites(const std::string& path) { ownFiles_.insert(path); }
  // Writes the bytes over the file and cuts it to their length; never
  // through an empty file, which the file system would flush at its close.
  static void Put(const std::string& path, const std::string& bytes) { kvfuzz::Rewrite(path, bytes); }

  // Back to the files as they were made: new files go, changed ones are
  // written again. Returns the first file or directory below the scratch
  // directory that lay outside the station's directories (empty when
  // none). Every run ends with it: the file system's change events name
  // what the run touched, and only that is looked at; when they fall
  // short (the queue overflowed), the whole station is.
  std::string Restore() {
    std::set<std::string> touched;
    if (!Touched(touched)) {
      std::vector<Entry> all;
      List(base_.path().string(), all);
      for (const Entry& e : all) touched.insert(e.path);
      for (const auto& kept : snapshot_) touched.insert(kept.first);
    }
    std::string outside;
    for (const std::string& p : touched) {
      if (outside.empty() && !Inside(p) && Exists(p)) outside = p;
      auto kept = snapshot_.find(p);
      if (kept == snapshot_.end()) {
        // A new file goes, but for one each run writes anew; a new
        // directory stays, watched from now on.
        if (!IsDirectory(p) && !ownFiles_.count(p)) std::remove(p.c_str());
      } else if (!Holds(p, kept->second)) {
        kvfuzz::Rewrite(p, kept->second);
      }
    }
    // The events of the restore itself are not the next run's.
    std::set<std::string> own;
    Touched(own);
    code_error_set(DbContext, 0);
    return outside;
  }

 private:
  static bool Exists(const std::string& p) { return ::access(p.c_str(), F_OK) == 0; }
  static bool IsDirectory(const std::string& p) {
    struct stat st;
    return ::lstat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }
  // Watches the directory and every one below it for changes.
  void Watch(const std::string& dir) {
    const int wd = inotify_add_watch(notify_, dir.c_str(),
                                     IN_CREATE | IN_DELETE | IN_MODIFY | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB);
    if (wd < 0) std::abort();
    watched_[wd] = dir;
    std::vector<Entry> below;
    List(dir, below);
    for (const Entry& e : below)
      if (e.directory) Watch(e.path);
  }
  // The paths the file system reported changed since the last call. A new
  // directory is watched, and what it holds counts as touched (it may have
  // filled before the watch came). False when events were lost.
  bool Touched(std::set<std::string>& touched) {
    alignas(inotify_event) char buffer[64 * 1024];
    bool complete = true;
    for (;;) {
      const ssize_t n = ::read(notify_, buffer, sizeof buffer);
      if (n <= 0) break;
      for (ssize_t at = 0; at < n;) {
        const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
        at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
        if (e->mask & IN_Q_OVERFLOW) complete = false;
        auto dir = watched_.find(e->wd);
        if (dir == watched_.end() || e->len == 0) continue;
        const std::string p = dir->second + "/" + e->name;
        touched.insert(p);
        if ((e->mask & (IN_CREATE | IN_MOVED_TO)) && (e->mask & IN_ISDIR)) {
          Watch(p);
          std::vector<Entry> below;
          List(p, below);
          for (const Entry& b : below) touched.insert(b.path);
        }
      }
    }
    return complete;
  }
  struct Entry {
    std::string path;
    bool directory;
  };
  // Everything below the directory, parents first. Plain directory reads:
  // every run walks the station twice.
  static void List(const std::string& dir, std::vector<Entry>& out) {
    DIR* d = opendir(dir.c_str());
    if (!d) return;
    while (const dirent* e = readdir(d)) {
      if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
      const std::string p = dir + "/" + e->d_name;
      const bool directory = e->d_type == DT_DIR;
      out.push_back({p, directory});
      if (directory) List(p, out);
    }
    closedir(d);
  }
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

  MemoryDir base_;
  int notify_ = -1;
  std::map<int, std::string> watched_;
  std::set<std::string> ownFiles_;
  std::string root_;
  std::unique_ptr<TGlobals> globals_;
  long machine_ = 0;
  std::map<std::string, std::string> snapshot_;
};

}  // namespace kvfuzz
