// The server run for the raw and Heidenhain protocol tests: one port row
// on COM 21, time a hundred times faster.
#pragma once

#include <memory>
#include <string>

#include "tests/dnc/dnc_fixture.h"

namespace kvdnc {

class ProtocolServerTest : public DncServerTest {
 protected:
  static constexpr int kCom = 21;

  ProtocolServerTest() : DncServerTest(kCom, 0.01) {}

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
