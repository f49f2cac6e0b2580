// Shared set-up of the job dialog tests: a scratch database with machines,
// programs and the job tables, the program's own dialog templates and
// language texts, and a reader of stored rows that is not ours
// (python3-dbfread).
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "appcore/globals.h"
#include "dbmodel/filetable.h"
#include "dbmodel/job.h"
#include "dbmodel/machine.h"
#include "platform/ui/gtest_driver.h"
#include "platform/ui/handles.h"
#include "tests/dbmodel/db_fixture.h"
#include "tests/dbmodel/layout_peer.h"
#include "tests/support/dialog_fixture.h"

namespace kvjobs {

class JobDialogTest : public kvtest::DialogTest<kvdb::DbTest> {
 protected:
  void SetUp() override {
    DialogTest::SetUp();
    MakeCounters();
    CreateTable<TJobTable01>(kJobFile);
    CreateTable<TJobTable02>(kJobLineFile);
    CreateTable<TcbFileTable>("KELVFILE.DBF");
    CreateTable<TcbMachTable>("KELVMA.DBF");
    windows_ = plat::live_window_count();
  }
  void TearDown() override {
    EXPECT_EQ(plat::live_window_count(), windows_) << "windows left alive";
    DbTest::TearDown();
  }

  long AddMachine(const char* name) {
    TcbMachTable t("KELVMA.DBF", 0, 0);
    t.Add(name, 1, "", "C:\\NC\\", 0);
    // Machine ids come from the counter; find the new one by its name.
    TcbRecord* all = t.LoadAll();
    long id = 0;
    for (TcbRecord* r = all; r; r = r->next)
      if (std::strcmp(static_cast<TcbMachRecord*>(r)->NAME, name) == 0) id = static_cast<TcbMachRecord*>(r)->ID;
    return id;
  }
  void AddProgram(long ncid, const char* desc, long prog, long machine, const char* part = "",
                  const char* char3 = "", const char* draw = "") {
    TcbFileTable t("KELVFILE.DBF", 0, 0);
    TcbFileRecord r;
    r.NCID = ncid;
    std::strcpy(r.DESC, desc);
    std::strcpy(r.PART, part);
    std::strcpy(r.CHAR3, char3);
    std::strcpy(r.DRAW, draw);
    r.PROG = prog;
    r.MID = machine;
    EXPECT_TRUE(t.Append(&r));
  }

  // Every row of a file as python3-dbfread reads it (see kvdb::PeerRows).
  std::vector<std::string> PeerRows(const std::string& path) { return kvdb::PeerRows(Root(), path, false); }

 private:
  size_t windows_ = 0;
};

}  // namespace kvjobs
