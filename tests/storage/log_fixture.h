// Shared set-up of the log dialog tests: a scratch database with every log
// table, the program index and the backups, a backup directory for the
// stored copies, the program's own dialog templates and language texts, a
// logged-on user, and readers of stored rows that are not ours
// (python3-dbfread) and of files (cmp).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "appcore/globals.h"
#include "dbmodel/changecrit.h"
#include "dbmodel/filetable.h"
#include "dbmodel/idname.h"
#include "dbmodel/syslog.h"
#include "dbmodel/versionlog.h"
#include "platform/ui/gtest_driver.h"
#include "platform/ui/handles.h"
#include "tests/dbmodel/db_fixture.h"
#include "tests/dbmodel/layout_peer.h"
#include "tests/support/dialog_fixture.h"

namespace kvlogs {

class LogTest : public kvtest::DialogTest<kvdb::DbTest> {
 protected:
  void SetUp() override {
    DialogTest::SetUp();
    Globals->SetUserName("Ada", "Lovelace");
    Globals->RightsMask = 0xFFFFFFFF;
    std::filesystem::create_directories(Root() + "/backup");
    std::filesystem::create_directories(Root() + "/mach");
    Globals->BackupDir = Root() + "/backup\\";
    MakeCounters();
    CreateTable<TLogTable>("LOG00000.DBF");
    CreateTable<TcbLogTypeTable>("LOG00001.DBF");
    CreateTable<TLog00002Table>("LOG00002.DBF");
    CreateTable<TcbFileTable>("LOG00003.DBF");
    CreateTable<TcbLogChangeTable>("LOG00004.DBF");
    CreateTable<TcbFileTable>("KELVFILE.DBF");
    CreateTable<TcbFileTable>("KELVBACK.DBF");
    windows_ = plat::live_window_count();
  }
  void TearDown() override {
    EXPECT_EQ(plat::live_window_count(), windows_) << "windows left alive";
    DbTest::TearDown();
  }

  // The system log with these rows: ID, TYPE, STAT, TEXT, DATE each.
  void MakeSystemLog(const std::vector<std::vector<std::string>>& rows) {
    MakeFile("LOG00000.DBF",
             {{"ID", 'N', 10, 0}, {"TYPE", 'N', 10, 0}, {"STAT", 'N', 10, 0}, {"TEXT", 'C', 200, 0},
              {"DATE", 'D', 8, 0}},
             rows, {{"ID", "ID", nullptr, 20, 0}});
  }

  std::string BackupPath(const std::string& name) const { return Root() + "/backup/" + name; }
  std::string MachPath(const std::string& name) const { return Root() + "/mach/" + name; }

  // Every row of a file as python3-dbfread reads it: "*" for a deleted row
  // (dbfread lists them apart), then "FIELD=value" texts in field order
  // (or of the fields named). dbfread reads a note's block to its end:
  // the zero bytes that fill it are not part of the text.
  std::vector<std::string> PeerRows(const std::string& path, const std::string& fields = "") {
    std::string pick = fields.empty() ? "r.keys()" : "'" + fields + "'.split()";
    std::string script =
        "import dbfread,sys\n"
        "t=dbfread.DBF(sys.argv[1],load=True)\n"
        "v=lambda x:x.rstrip('\\0') if isinstance(x,str) else x\n"
        "f=lambda r:' '.join('%s=%s'%(k,v(r[k])) for k in " + pick + ")\n"
        "for r in t.records: print(f(r))\n"
        "for r in t.deleted: print('* '+f(r))\n";
    std::string out = kvdb::RunPeerScript(Root(), "peer_rows.py", script, path).value_or("peer failed");
    std::vector<std::string> rows;
    size_t start = 0;
    for (size_t nl; (nl = out.find('\n', start)) != std::string::npos; start = nl + 1)
      rows.push_back(out.substr(start, nl - start));
    if (start < out.size()) rows.push_back(out.substr(start));
    return rows;
  }

  // True when cmp finds the two files equal.
  static bool SameFile(const std::string& a, const std::string& b) {
    return std::system(("cmp -s '" + a + "' '" + b + "'").c_str()) == 0;
  }

  long AddType(const char* name) {
    long id = NextLogTypeId();
    TcbLogTypeTable t("LOG00001.DBF", 0, 0);
    TcbIdAndNameRecord r;
    r.ID = id;
    CopyCut(r.NAME, sizeof r.NAME, name);
    EXPECT_NE(t.Add(&r), nullptr);
    return id;
  }
  long AddCriterion(long type, const char* name) {
    TcbLogChangeTable t("LOG00004.DBF", 0, 0);
    return t.Add(type, name, nullptr);
  }

  // A program row of the index file with its file "P<ncid>.NC" in the
  // machine directory holding `text`.
  void AddProgram(const char* indexFile, long ncid, long logKey, const std::string& text, long sent = 0) {
    std::string name = "P" + std::to_string(ncid);
    kvdb::WriteFileBytes(MachPath(name + ".NC"), text);
    TcbFileTable t(indexFile, 0, 0);
    TcbFileRecord r;
    FillProgram(r, ncid, logKey, sent);
    ASSERT_EQ(t.Append(&r), 1);
  }
  void FillProgram(TcbFileRecord& r, long ncid, long logKey, long sent = 0) {
    std::string name = "P" + std::to_string(ncid);
    r.NCID = ncid;
    r.LONG1 = logKey;
    r.MID = 7;
    r.SENT = sent;
    CopyCut(r.DESC, sizeof r.DESC, ("PRG" + std::to_string(ncid)).c_str());
    CopyCut(r.DIR, sizeof r.DIR, (Root() + "/mach\\").c_str());
    CopyCut(r.NAME, sizeof r.NAME, name.c_str());
    CopyCut(r.EXT, sizeof r.EXT, "NC");
    CopyCut(r.MACHINE, sizeof r.MACHINE, "DMU50");
    r.LOCK = 0;
  }

 private:
  size_t windows_ = 0;
};

}  // namespace kvlogs
