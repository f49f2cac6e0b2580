// The server run for the raw and Heidenhain protocol tests: one port row
// on COM 21 in the port table, the master thread started and stopped, and
// a program of the machine put straight into the program index.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "dnc/server.h"
#include "platform/sync.h"
#include "tests/dnc/dnc_fixture.h"

namespace kvdnc {

class ProtocolServerTest : public DncTest {
 protected:
  static constexpr int kCom = 21;

  void SetUp() override {
    DncTest::SetUp();
    plat::set_time_scale(0.01);
    Globals->LogTexts.Set(1, "Sent %s %s %s");
    Globals->LogTexts.Set(2, "Cancelled %s %s %s");
  }
  void TearDown() override {
    StopServer();
    plat::set_time_scale(1.0);
    DncTest::TearDown();
  }

  void OnePort(int protocol, const std::function<void(TMultiDncRecord&)>& adjust = {}) {
    TMultiDncTable t("KELVMD32.DBF", 1, 0);
    t.Create((Root() + "/alt/KELVMD32.DBF").c_str());
    std::unique_ptr<TMultiDncRecord> r(t.FindById(0));
    ASSERT_TRUE(r);
    r->Clear();
    r->Number[1] = 0;
    r->SetListA(kPropComNumber, kCom);
    r->SetListA(kPropProtocol, protocol);
    r->SetListB(kPropFileMode, 0);
    r->Number[kPropMachineId] = machineId_;
    r->Number[kPropMachineType] = 7;
    r->Number[kPropBaud] = 16;
    r->Number[kPropDataBits] = 3;
    r->Number[kPropNulFilter] = 1;
    r->Number[kPropStorageMode] = 1;
    r->Number[kPropReadTimeout] = 5;
    r->SetText(kPropDisplayName, "Mill one");
    if (adjust) adjust(*r);
    ASSERT_EQ(t.Update(r.get()), 1);
  }

  void StartServer() {
    master_ = StartDncServer();
    ASSERT_TRUE(WaitFor([] { return PortCount == 1 && Ports[0] && Ports[0]->Polling == 1; }));
  }
  void StopServer() {
    if (!master_) return;
    SetDncEvent(kStopServer);
    plat::wait_for_single(master_.get(), INFINITE);
    master_.reset();
  }
  static bool WaitFor(const std::function<bool()>& done, int ms = 20000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
  }
  static bool Polling() {
    return WaitFor([] { return Ports[0] && Ports[0]->Polling == 1; });
  }
  std::size_t RowCount(const char* table) { return Rows(DbPath(table)).size(); }
  long SentCount(long id) {
    TcbFileTable t("KELVFILE.DBF", 0, 0);
    std::unique_ptr<TcbFileRecord> r(t.FindById(id));
    return r ? r->SENT : -1;
  }
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

  plat::ThreadHandle master_;
};

}  // namespace kvdnc
