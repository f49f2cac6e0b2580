// The server run for the raw and Heidenhain protocol tests: one port row
// on COM 21, time a hundred times faster; and the port log as the debug
// window shows it.
#pragma once

#include <memory>
#include <string>

#include "dnc/dnclog.h"
#include "platform/ui/resource.h"
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

// The port log as the debug window shows it, for waiting on a line.
class PortLog {
 public:
  PortLog() {
    plat::set_resource_dir(KV_SOURCE_DIR "/resources");
    Globals->DebugMode = 1;
    CreateDncDebugWindows(nullptr);
  }
  ~PortLog() { DestroyDncDebugWindows(); }
  int Count() const { return DncDebugWindow(0)->List()->GetCount(); }
  // Whether a line of the port from `from` on holds the text.
  bool Has(int com, const std::string& text, int from) const {
    TListBox* l = DncDebugWindow(0)->List();
    const std::string prefix = "COMM-" + std::to_string(com) + " : ";
    for (int i = from; i < l->GetCount(); i++) {
      const std::string line = l->GetString(i);
      if (line.compare(0, prefix.size(), prefix) == 0 && line.find(text) != std::string::npos) return true;
    }
    return false;
  }
  // Every line, for a failure's message.
  std::string Text() const {
    TListBox* l = DncDebugWindow(0)->List();
    std::string out;
    for (int i = 0; i < l->GetCount(); i++) out += "\n  " + l->GetString(i);
    return out;
  }
};

}  // namespace kvdnc
