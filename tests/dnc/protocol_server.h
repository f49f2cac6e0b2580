// The server run for the raw and Heidenhain protocol tests: one port row
// on COM 21, time a hundred times faster, and a program of the machine put
// straight into the program index.
#pragma once

#include <memory>
#include <string>

#include "tests/dnc/dnc_fixture.h"

namespace kvdnc {

class ProtocolServerTest : public DncServerTest {
 protected:
  static constexpr int kCom = 21;

  ProtocolServerTest() : DncServerTest(kCom, 0.01) {}

  // A program of the machine: its row with that id and program id, and its
  // file "P<id>.NC" in the machine's directory.
  void AddProgram(long id, const char* desc, const std::string& text) {
    const std::string dir = Root() + "/mach1\\";
    kvdb::WriteFileBytes(Native(dir) + "P" + std::to_string(id) + ".NC", text);
    TcbFileRecord r;
    r.NCID = r.LONG1 = id;
    CopyCut(r.NAME, sizeof r.NAME, ("P" + std::to_string(id)).c_str());
    CopyCut(r.EXT, sizeof r.EXT, "NC");
    CopyCut(r.DIR, sizeof r.DIR, dir.c_str());
    CopyCut(r.DESC, sizeof r.DESC, desc);
    CopyCut(r.MACHINE, sizeof r.MACHINE, "MILL1");
    r.MID = machineId_;
    TcbFileTable t("KELVFILE.DBF", 0, 0);
    ASSERT_EQ(t.Append(&r), 1);
  }
  // The file of the only failed transfer.
  std::string FailedBytes() {
    auto rows = Rows(DbPath("KELVDNCF.DBF"));
    if (rows.size() != 1) return "<" + std::to_string(rows.size()) + " rows>";
    TcbFileTable t("KELVDNCF.DBF", 0, 0);
    std::unique_ptr<TcbFileRecord> r(static_cast<TcbFileRecord*>(t.ReadAll(1)));
    if (!r) return "<no row>";
    return kvdb::ReadFileBytes(Native(std::string(r->DIR) + r->NAME + "." + r->EXT));
  }
};

}  // namespace kvdnc
