// Shared set-up of the port setup tests: a scratch database with the port
// table in the alternate directory, two machines, drive A: on a directory
// of the scratch tree, the program's own templates and texts, and a reader
// of stored rows that is not ours (python3-dbfread).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "appcore/globals.h"
#include "dbmodel/dncport.h"
#include "dbmodel/machine.h"
#include "platform/path.h"
#include "platform/ui/gtest_driver.h"
#include "platform/ui/handles.h"
#include "tests/dbmodel/db_fixture.h"
#include "tests/dbmodel/layout_peer.h"
#include "tests/support/dialog_fixture.h"

namespace kvdnc {

class SetupTest : public kvtest::DialogTest<kvdb::DbTest> {
 protected:
  void SetUp() override {
    DialogTest::SetUp();
    MakeCounters();
    {
      TMultiDncTable t("KELVMD32.DBF", 1, 0);
      t.Create(AltPath("KELVMD32.DBF").c_str());
    }
    {
      TcbMachTable t("KELVMA.DBF", 0, 0);
      t.Create(DbPath("KELVMA.DBF").c_str());
      t.Add("LATHE", 7, "", "C:\\NC\\LATHE\\", 0);
      t.Add("MILL", 8, "", "C:\\NC\\MILL\\", 0);
    }
    oldA_ = plat::drive_root('A');
    std::filesystem::create_directories(Root() + "/floppy");
    plat::set_drive_root('A', Root() + "/floppy");
    windows_ = plat::live_window_count();
  }
  void TearDown() override {
    EXPECT_EQ(plat::live_window_count(), windows_) << "windows left alive";
    plat::set_drive_root('A', oldA_);
    DbTest::TearDown();
  }

  std::string AltPath(const std::string& name) const { return Root() + "/alt/" + name; }
  std::string FloppyPath() const { return Root() + "/floppy/KELVMD32.DBF"; }

  // The row of a port as the table reads it back.
  std::unique_ptr<TMultiDncRecord> Port(long id) {
    TMultiDncTable t("KELVMD32.DBF", 1, 0);
    return std::unique_ptr<TMultiDncRecord>(t.FindById(id));
  }
  void StorePort(TMultiDncRecord& r) {
    TMultiDncTable t("KELVMD32.DBF", 1, 0);
    ASSERT_EQ(t.Update(&r), 1);
  }
  long MachineId(const char* name) {
    TcbMachTable t("KELVMA.DBF", 0, 0);
    return t.ExistsByName(name);
  }

  // The given fields (by number) of every live row as python3-dbfread
  // reads them: one "value|value|..." line per row.
  std::vector<std::string> PeerFields(const std::string& path, const std::vector<int>& fields) {
    std::string list;
    for (int f : fields) list += (list.empty() ? "" : ",") + std::to_string(f - 1);
    std::string script =
        "import dbfread,sys\n"
        "t=dbfread.DBF(sys.argv[1],load=True)\n"
        "n=t.field_names\n"
        "for r in t.records: print('|'.join(str(r[n[i]]) for i in [" + list + "]))\n";
    std::string out = kvdb::RunPeerScript(Root(), "peer_fields.py", script, path).value_or("peer failed");
    std::vector<std::string> rows;
    size_t start = 0;
    for (size_t nl; (nl = out.find('\n', start)) != std::string::npos; start = nl + 1)
      rows.push_back(out.substr(start, nl - start));
    return rows;
  }

 private:
  std::string oldA_;
  size_t windows_ = 0;
};

}  // namespace kvdnc
