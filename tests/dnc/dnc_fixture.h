// Shared set-up of the DNC server tests: a scratch database with the
// program tables, counters, system log and one machine; the server's
// directories under the scratch root; port rows built in memory; and the
// server run over one port row against a simulated machine.
#pragma once

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "dbmodel/filetable.h"
#include "dbmodel/machine.h"
#include "dbmodel/syslog.h"
#include "dnc/dncport.h"
#include "dnc/server.h"
#include "engine/engine.h"
#include "platform/serial.h"
#include "platform/sync.h"
#include "tests/dbmodel/db_fixture.h"
#include "tests/dbmodel/layout_peer.h"
#include "tests/sim/machine_sim.h"

namespace kvdnc {

class DncTest : public kvdb::DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    for (const char* d : {"temp", "dnctemp", "dncfail", "backup", "mach1", "files", "files/sub"})
      std::filesystem::create_directories(Root() + "/" + d);
    Globals->TempDir = Root() + "/temp\\";
    Globals->DncTempDir = Root() + "/dnctemp\\";
    Globals->DncFailDir = Root() + "/dncfail\\";
    Globals->BackupDir = Root() + "/backup\\";
    MakeCounters();
    for (const char* t : {"KELVFILE.DBF", "KELVBACK.DBF", "KELVDNCT.DBF", "KELVDNCF.DBF"}) CreateTable<TcbFileTable>(t);
    CreateTable<TLogTable>("LOG00000.DBF");
    CreateTable<TcbMachTable>("KELVMA.DBF");
    TcbMachTable m("KELVMA.DBF", 0, 0);
    ASSERT_EQ(m.Add("MILL1", 7, "Mill", (Root() + "/mach1\\").c_str(), 0), 1);
    std::unique_ptr<TcbMachRecord> rec(m.FindByName("MILL1"));
    ASSERT_TRUE(rec);
    machineId_ = rec->ID;
    auto& texts = Globals->LogTexts;
    texts.Set(25, "Failed %s %s by %s%s");
    texts.Set(26, "Temp %s %s %s by %s%s");
    texts.Set(28, "Backup %s %s %s by %s%s");
    texts.Set(29, "New %s %s %s by %s%s");
    Globals->UserFirstName.Set("A");
    Globals->UserLastName.Set("L");
    // The message texts as the station ships them.
    const std::string cfgDir = Globals->CfgDir;
    Globals->CfgDir = KV_SOURCE_DIR "/resources/lang/";
    ASSERT_EQ(Globals->LoadMessages(44, 0), 1);
    Globals->CfgDir = cfgDir;
  }
  void TearDown() override {
    plat::reset_comm_ports();
    DbTest::TearDown();
  }

  // A row of the port table for the machine: COM number, protocol type,
  // naming mode; every other setting zero or empty.
  TMultiDncRecord* Row(long id, int com, int protocol = kProtoStandard, int naming = 0) {
    auto* r = new TMultiDncRecord;
    r->Number[kPropId] = id;
    r->SetListA(kPropComNumber, com);
    r->SetListA(kPropProtocol, protocol);
    r->Number[kPropNamingMode] = naming;
    r->Number[kPropMachineId] = machineId_;
    r->Number[kPropMachineType] = 7;
    r->Number[kPropNulFilter] = 1;
    r->Number[kPropStorageMode] = 1;
    r->Number[kPropBaud] = 12;
    r->Number[kPropDataBits] = 3;
    r->SetText(kPropDisplayName, "Mill one");
    return r;
  }

  // A port over a row that opens no device (COM 0): for the filter, the
  // naming and the storing.
  std::unique_ptr<TDncPort> OfflinePort(TMultiDncRecord* row) { return std::make_unique<TDncPort>(row); }

  // Opens the port's receive file as a read thread does at its start.
  static void BeginReception(TDncPort& port) {
    port.TransferFile = std::make_unique<TMyFile>(port.TransferPath.c_str());
    ASSERT_TRUE(port.TransferFile->Open(0));
    port.ReceptionTriggered = port.Codes(kPropStartTrigger).empty() ? 1 : 0;
    port.ReceptionEnded = 0;
    port.LineEndSkip = 0;
    port.BytesReceived = 0;
  }
  static void Receive(TDncPort& port, const std::string& block) {
    port.WriteReceived(reinterpret_cast<const unsigned char*>(block.data()), block.size());
    port.BytesReceived += static_cast<uint32_t>(block.size());
  }
  static std::string Native(const std::string& dosPath) {
    std::string s = dosPath;
    for (char& c : s)
      if (c == '\\') c = '/';
    return s;
  }

  static bool WaitFor(const std::function<bool()>& done, int ms = 20000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
  }
  // Collects what the server sends until count bytes came or ms passed.
  static std::string Collect(sim::Machine& m, std::size_t count, int ms = 20000) {
    std::string out;
    WaitFor(
        [&] {
          out += m.Received(1);
          return out.size() >= count;
        },
        ms);
    return out;
  }
  // What a machine gets for a program from a port with the start text
  // "%" CR LF and the end text "%": the lines each with CR LF.
  static std::string Framed(const std::string& program) {
    std::string out = "%\r\n";
    for (std::size_t at = 0; at < program.size();) {
      std::size_t e = program.find("\r\n", at);
      if (e == std::string::npos) e = program.size();
      out += program.substr(at, e - at) + "\r\n";
      at = e + 2;
    }
    return out + "%";
  }
  // A program of the machine: its row with that id and program id, and its
  // file "P<id>.NC" in the machine's directory.
  void AddProgram(long id, const std::string& desc, const std::string& text) {
    const std::string dir = Root() + "/mach1\\";
    kvdb::WriteFileBytes(Native(dir) + "P" + std::to_string(id) + ".NC", text);
    TcbFileRecord r;
    r.NCID = r.LONG1 = id;
    CopyCut(r.NAME, sizeof r.NAME, ("P" + std::to_string(id)).c_str());
    CopyCut(r.EXT, sizeof r.EXT, "NC");
    CopyCut(r.DIR, sizeof r.DIR, dir.c_str());
    CopyCut(r.DESC, sizeof r.DESC, desc.c_str());
    CopyCut(r.MACHINE, sizeof r.MACHINE, "MILL1");
    r.MID = machineId_;
    TcbFileTable t("KELVFILE.DBF", 0, 0);
    ASSERT_EQ(t.Append(&r), 1);
  }
  // The type of every system-log entry in order.
  std::vector<std::string> LogTypes() {
    std::vector<std::string> t;
    for (auto& r : Rows(DbPath("LOG00000.DBF"))) t.push_back(r[2]);
    return t;
  }
  // Whether another station could lock the program's row now (no send of
  // ours holds it). The engine's lock is held while its retry setting is
  // changed, so running port threads never see it half-way.
  bool OtherStationCanLock(long ncid) {
    DbLock engine(DbContext);
    const int attempts = DbContext->lock_attempts;
    DbContext->lock_attempts = 1;
    bool ok;
    {
      TcbFileTable other("KELVFILE.DBF", 0, 0);
      ok = other.LockById(ncid) > 0;
    }
    code_error_set(DbContext, 0);
    DbContext->lock_attempts = attempts;
    return ok;
  }
  long SentCount(long id) {
    TcbFileTable t("KELVFILE.DBF", 0, 0);
    std::unique_ptr<TcbFileRecord> r(t.FindById(id));
    return r ? r->SENT : -1;
  }

  long machineId_ = 0;
};

// A control window that only keeps the statuses the server shows.
class StatusView : public TDncControlView {
 public:
  void SetPorts(TMultiDncRecord*) override {}
  void SetPortStatus(int, int status) override {
    std::lock_guard<std::mutex> g(lock_);
    seen_.push_back(status);
  }
  void UpdatePortPanel() override {}
  void SetItemText(int, const char*) override {}
  void ShowItem(int, bool) override {}
  void ReportPortFailure(int, const char*) override {}
  bool Saw(int status) {
    std::lock_guard<std::mutex> g(lock_);
    return std::find(seen_.begin(), seen_.end(), status) != seen_.end();
  }
  int Last() {
    std::lock_guard<std::mutex> g(lock_);
    return seen_.empty() ? 0 : seen_.back();
  }
  void Clear() {
    std::lock_guard<std::mutex> g(lock_);
    seen_.clear();
  }

 private:
  std::mutex lock_;
  std::vector<int> seen_;
};

// The server run over one port row of the port table: the master thread
// with its port threads against a machine simulated on the row's COM
// number. Time runs faster by the fixture's scale, so line gaps and
// time-outs pass quickly.
class DncServerTest : public DncTest {
 protected:
  using Adjust = std::function<void(TMultiDncRecord&)>;

  DncServerTest(int com, double timeScale) : com_(com), timeScale_(timeScale) {}

  void SetUp() override {
    DncTest::SetUp();
    plat::set_time_scale(timeScale_);
    Globals->LogTexts.Set(1, "Sent %s %s %s");
    Globals->LogTexts.Set(2, "Cancelled %s %s %s");
  }
  void TearDown() override {
    StopServer();
    ControlWindow = nullptr;
    plat::set_time_scale(1.0);
    DncTest::TearDown();
  }

  // The only row of the port table: the fixture's COM number, the protocol
  // and the settings every server test starts from; then the fixture's own
  // settings and the test's changes, in that order.
  void OnePort(int protocol, const Adjust& defaults = {}, const Adjust& adjust = {}) {
    PortRow(0, com_, protocol, defaults, adjust);
  }
  // The same for the row of that id, on another COM number.
  void PortRow(long id, int com, int protocol, const Adjust& defaults = {}, const Adjust& adjust = {}) {
    TMultiDncTable t("KELVMD32.DBF", 1, 0);
    t.Create((Root() + "/alt/KELVMD32.DBF").c_str());
    std::unique_ptr<TMultiDncRecord> r(t.FindById(id));
    ASSERT_TRUE(r);
    r->Clear();  // nothing left from an earlier set-up
    r->Number[kPropId] = id;
    r->SetListA(kPropComNumber, com);
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
    if (defaults) defaults(*r);
    if (adjust) adjust(*r);
    ASSERT_EQ(t.Update(r.get()), 1);
  }
  // The standard protocol's texts: program ids "(" ... ")", requests
  // "R" ... "/", start text "%" CR LF, end text "%"; software flow.
  static void StandardTexts(TMultiDncRecord& r) {
    r.Number[kPropFlow] = 1;
    r.SetText(kPropIdTrigger, "40");
    r.SetText(kPropIdEndTrigger, "41");
    r.SetText(kPropRequestTrigger, "82");
    r.SetText(kPropRequestEndTrigger, "47");
    r.SetText(kPropBeforeFile, "37,13,10");
    r.SetText(kPropAfterFile, "37");
  }

  // Starts the server showing its statuses in view (the fixture's own when
  // none) and waits for the port to poll.
  void StartServer(TDncControlView* view = nullptr) {
    ControlWindow = view ? view : &view_;  // a server that ended let go of its window
    master_ = StartDncServer();
    ASSERT_TRUE(Polling());
  }
  void StopServer() {
    if (!master_) return;
    SetDncEvent(kStopServer);
    plat::wait_for_single(master_.get(), INFINITE);
    master_.reset();
  }
  // The port listens for the machine again.
  virtual bool Polling() {
    return WaitFor([] { return PortCount == 1 && Ports[0] && Ports[0]->Polling == 1; });
  }
  std::size_t RowCount(const char* table) { return Rows(DbPath(table)).size(); }

  StatusView view_;
  plat::ThreadHandle master_;

 private:
  const int com_;
  const double timeScale_;
};

}  // namespace kvdnc
