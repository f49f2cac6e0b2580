// Noise on the lines: for each protocol the server runs against machines
// that send valid exchanges with one damage each (a flipped bit, a dropped
// or doubled byte, a stray control character, a line that falls silent or
// hangs up; tests/sim/line_noise.h), from a fixed seed. Whatever comes:
//   - the server neither crashes nor hangs: every exchange ends and the
//     port is back to polling (a generous guard turns a hang into a
//     failure, not into a stuck test);
//   - no program the line damaged is stored as a good transfer: a good
//     row holds exactly what the protocol's checks let through, and a
//     clean exchange is stored; the rows are read with python3-dbfread;
//   - nothing is written outside the station's directories, whatever name
//     a machine sends; failed transfers are all kept.
// A failure names the seed, the exchange and its damage.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "appcore/message_ids.h"
#include "dnc/dnclog.h"
#include "formats/mazak_tape.h"
#include "platform/ui/resource.h"
#include "tests/dnc/dnc_fixture.h"
#include "tests/sim/noisy_controls.h"
#include "tests/support/run_command.h"

namespace {

namespace fs = std::filesystem;

constexpr uint64_t kSeed = 20240531;
constexpr int kExchanges = 200;
// The ports' read time-out in seconds, and the machines' wait for an
// answer in real milliseconds: at the test's time scale the ports give up
// after 300 ms, the machines after more than twice that.
constexpr int kTimeoutSeconds = 30;
constexpr double kTimeScale = 0.01;
constexpr int kMachineWaitMs = 700;
// Far beyond any exchange's end: reaching it means the server hangs.
constexpr int kHangGuardMs = 60000;
// Percent of exchanges with a damage.
constexpr int kDamaged = 80;

// Tables of the transfers: good ones and failed ones.
const char* const kGoodTables[] = {"KELVFILE.DBF", "KELVDNCT.DBF"};

// The master's back-to-polling of each port, counted.
class CountingView : public TDncControlView {
 public:
  void SetPorts(TMultiDncRecord*) override {}
  void SetPortStatus(int port, int status) override {
    if (status != 4) return;
    std::lock_guard<std::mutex> g(lock_);
    polls_[port]++;
  }
  void UpdatePortPanel() override {}
  void SetItemText(int, const char*) override {}
  void ShowItem(int, bool) override {}
  void ReportPortFailure(int, const char*) override {}
  int Polls(int port) {
    std::lock_guard<std::mutex> g(lock_);
    return polls_[port];
  }

 private:
  std::mutex lock_;
  std::map<int, int> polls_;
};

std::string Unhex(const std::string& hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

std::string Trim(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

// A row of a transfer table as python3-dbfread reads it.
struct TableRow {
  bool live = true;
  std::string desc, dir, name, ext;
};

class NoiseTest : public kvdnc::DncTest {
 protected:
  void SetUp() override {
    DncTest::SetUp();
    plat::set_time_scale(kTimeScale);
    Globals->LogTexts.Set(1, "Sent %s %s %s");
    Globals->LogTexts.Set(2, "Cancelled %s %s %s");
    Globals->MessageTexts.Set(kMsgFailedTransferPrefix, "Failed ");
    plat::set_resource_dir(KV_SOURCE_DIR "/resources");
    Globals->DebugMode = 1;
    CreateDncDebugWindows(nullptr);
    ASSERT_TRUE(DncDebugWindow(0));
    marks_ = std::make_unique<sim::NoiseLines>();
    fs::create_directories(Root() + "/files/in/deep");
    // What a name climbing out of the port's directory would reach.
    kvdb::WriteFileBytes(Root() + "/files/SECRET.NC", "%\r\nSECRET\r\n%");
    kvdb::WriteFileBytes(Root() + "/files/in/deep/REQ1.NC", "%\r\nG1 X7\r\nM30\r\n%");
    for (const auto& e : fs::recursive_directory_iterator(Root()))
      if (e.is_regular_file()) before_.insert(e.path().string());
  }
  void TearDown() override {
    // The windows go before the server, whose end forgets them.
    DestroyDncDebugWindows();
    if (master_) {
      SetDncEvent(kStopServer);
      plat::wait_for_single(master_.get(), INFINITE);
      master_.reset();
    }
    ControlWindow = nullptr;
    marks_.reset();
    plat::set_time_scale(1.0);
    DncTest::TearDown();
  }

  std::string Seed(int exchange) const {
    return "seed " + std::to_string(kSeed) + ", exchange " + std::to_string(exchange);
  }

  // The port rows, then the server, waiting until every port polls.
  void Serve(const std::vector<std::function<void(TMultiDncRecord&)>>& ports) {
    {
      TMultiDncTable t("KELVMD32.DBF", 1, 0);
      t.Create((Root() + "/alt/KELVMD32.DBF").c_str());
      for (std::size_t i = 0; i < ports.size(); i++) {
        std::unique_ptr<TMultiDncRecord> r(t.FindById(static_cast<long>(i)));
        ASSERT_TRUE(r);
        r->Clear();
        r->Number[kPropId] = static_cast<long>(i);
        r->Number[kPropMachineId] = machineId_;
        r->Number[kPropMachineType] = 7;
        r->Number[kPropBaud] = 16;
        r->Number[kPropDataBits] = 3;
        r->Number[kPropNulFilter] = 1;
        r->Number[kPropStorageMode] = 1;
        r->Number[kPropReadTimeout] = kTimeoutSeconds;
        r->SetText(kPropDisplayName, "Noisy");
        ports[i](*r);
        ASSERT_EQ(t.Update(r.get()), 1);
      }
    }
    ControlWindow = &view_;
    master_ = StartDncServer();
    ASSERT_TRUE(WaitFor([&] {
      if (PortCount != static_cast<int>(ports.size())) return false;
      for (int i = 0; i < PortCount; i++)
        // The port's other threads may still be starting.
        if (!Ports[i] || Ports[i]->Polling != 1 || !Started(Ports[i]->ComNumber())) return false;
      return true;
    }));
  }
  // The standard protocol's texts: "%" starts and ends a program, which
  // names itself "(" name ")"; requests are "R" name "/"; even parity,
  // checked.
  static void StandardTexts(TMultiDncRecord& r) {
    r.Number[kPropParity] = 2;
    r.SetListB(kPropParityCheck, 1);
    r.SetText(kPropStartTrigger, "37");
    r.SetText(kPropEndTrigger, "37");
    r.SetText(kPropIdTrigger, "40");
    r.SetText(kPropIdEndTrigger, "41");
    r.SetText(kPropRequestTrigger, "82");
    r.SetText(kPropRequestEndTrigger, "47");
    r.SetText(kPropBeforeFile, "37,13,10");
    r.SetText(kPropAfterFile, "37");
  }
  // A port on plain files in files/in/deep.
  void FileMode(TMultiDncRecord& r) const {
    r.SetListB(kPropFileMode, 1);
    r.SetText(kPropExtension, "NC");
    r.SetText(kPropFirstDirectory, (Root() + "/files/in/deep\\").c_str());
  }

  // ---- the port log ----

  // The port log from the last exchange on: lines of every port, each
  // "COMM-n : text".
  int LogCount() const { return DncDebugWindow(0)->List()->GetCount(); }
  // A new exchange starts with empty debug windows: the traces of every
  // byte would grow without end.
  // The last exchange's lines stay for a failure's message.
  void ClearLog() {
    TListBox* l = DncDebugWindow(0)->List();
    lastExchange_.clear();
    for (int i = 0; i < l->GetCount(); i++) lastExchange_ += "\n  " + l->GetString(i);
    for (int w = 0; w < 3; w++)
      if (TDncDebug* d = DncDebugWindow(w)) d->CmClear();
  }
  // Whether a line of the port from `from` on is the text.
  bool Logged(int com, const std::string& text, int from) const {
    TListBox* l = DncDebugWindow(0)->List();
    const std::string line = "COMM-" + std::to_string(com) + " : " + text;
    for (int i = from; i < l->GetCount(); i++)
      if (l->GetString(i) == line) return true;
    return false;
  }
  // The port's last lines, for a failure's message.
  std::string Tail(int com) const {
    TListBox* l = DncDebugWindow(0)->List();
    const std::string prefix = "COMM-" + std::to_string(com) + " : ";
    std::vector<std::string> last;
    for (int i = l->GetCount() - 1; i >= 0 && last.size() < 20; i--) {
      const std::string line = l->GetString(i);
      if (line.compare(0, prefix.size(), prefix) == 0) last.push_back(line);
    }
    std::string out = "\nthe port's last lines:";
    for (auto it = last.rbegin(); it != last.rend(); ++it) out += "\n  " + *it;
    return out;
  }
  // The port logged the start of its polling.
  bool Started(int com) const {
    TListBox* l = DncDebugWindow(0)->List();
    const std::string prefix = "COMM-" + std::to_string(com) + " : ";
    for (int i = 0; i < l->GetCount(); i++) {
      const std::string line = l->GetString(i);
      if (line.compare(0, prefix.size(), prefix) == 0 && (line.find("Polling Started") != std::string::npos ||
                                                          line.find("Poll Thread Started") != std::string::npos))
        return true;
    }
    return false;
  }
  // The port's last line says it waits on its line.
  bool LastLineIdle(int com) const {
    TListBox* l = DncDebugWindow(0)->List();
    const std::string prefix = "COMM-" + std::to_string(com) + " : ";
    for (int i = l->GetCount() - 1; i >= 0; i--) {
      const std::string line = l->GetString(i);
      if (line.compare(0, prefix.size(), prefix) != 0) continue;
      const std::string text = line.substr(prefix.size());
      // A thread that handed over may log its end after the poll thread
      // started.
      const bool ended = text.size() >= 7 && (text.compare(text.size() - 7, 7, "Stopped") == 0 ||
                                               text.compare(text.size() - 5, 5, "Ended") == 0);
      if (ended && text.find("Poll") == std::string::npos) continue;
      for (const char* idle : {"Polling Started", "Poll Thread Started", "WaitCommEvent intinated", "Line opened again"}) {
        const std::size_t n = std::strlen(idle);
        if (text.size() >= n && text.compare(text.size() - n, n, idle) == 0) return true;
      }
      return false;
    }
    return false;
  }

  // Waits until the exchange is over: the machine's bytes taken, the port
  // back to polling after it (with its line opened again when it hung up)
  // and quiet. False when that does not come before the hang guard.
  bool AwaitIdle(int port, sim::NoisyLine& line, const sim::NoisyExchange& x, int pollsBefore, int logBefore) {
    const int com = line.com();
    auto idle = [&] {
      if (line.Unread() != 0 || Ports[port]->Polling != 1) return false;
      // A cable pulled is seen by the port whatever went out before it:
      // the port opens its line again. Until it has, the next exchange's
      // first bytes would go to a line it has not opened, whose opening
      // purge takes them, and the machine would wait for an answer that
      // cannot come. Bytes still on their way when the cable went may be
      // lost with it: the port may then have seen no exchange, only its
      // line going.
      if (x.hungUp) {
        if (!Logged(com, "Line opened again", logBefore)) return false;
      } else if (x.sent == 0) {
        // Nothing went out: the port saw no exchange.
        return true;
      } else if (view_.Polls(port) <= pollsBefore) {
        return false;
      }
      return LastLineIdle(com);
    };
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kHangGuardMs);
    while (std::chrono::steady_clock::now() < end) {
      if (idle()) {
        // Still so a moment later: nothing of the exchange was left over.
        const int polls = view_.Polls(port), lines = LogCount();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (idle() && view_.Polls(port) == polls && LogCount() == lines) return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
  }

  // ---- the tables ----

  std::size_t Count(const char* table) {
    DbDataFile* d = data_open(DbContext, DbPath(table).c_str());
    if (!d) return 0;
    const long n = data_reccount(d);
    data_close(d);
    return static_cast<std::size_t>(n);
  }
  struct Counts {
    std::size_t good[2] = {0, 0};
    std::size_t failed = 0;
  };
  Counts Now() {
    Counts c;
    for (int i = 0; i < 2; i++) c.good[i] = Count(kGoodTables[i]);
    c.failed = Count("KELVDNCF.DBF");
    return c;
  }
  // Every row of a table as python3-dbfread reads it, in file order.
  std::vector<TableRow> TableRows(const char* table) {
    std::vector<TableRow> rows;
    int status = 0;
    const std::string out =
        kvtest::run_command("/usr/bin/python3 " KV_SOURCE_DIR "/tests/engine/peers/dbfread_dump.py " + DbPath(table), &status);
    EXPECT_EQ(status, 0) << "python3-dbfread on " << table;
    // Live rows come first, then deleted ones: file order is by NCID.
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
      std::vector<std::string> f;
      std::istringstream cells(line);
      for (std::string c; std::getline(cells, c, '\t');) f.push_back(c);
      if (f.size() < 6) continue;
      TableRow r;
      r.live = f[0] == "L";
      r.desc = Trim(Unhex(f[2]));
      r.dir = Trim(Unhex(f[3]));
      r.name = Trim(Unhex(f[4]));
      r.ext = Trim(Unhex(f[5]));
      rows.push_back(r);
    }
    return rows;
  }
  std::string FileOf(const TableRow& r) { return kvdb::ReadFileBytes(Native(r.dir + r.name + "." + r.ext)); }
  bool FileExists(const TableRow& r) { return fs::exists(Native(r.dir + r.name + "." + r.ext)); }

  // One exchange with what came of it.
  struct Done {
    sim::NoisyExchange x;
    Counts after;
    bool onFiles = false;  // on a port on plain files: no rows, files
  };

  // The checks over every exchange once the run is over: the good rows of
  // each exchange hold what it may store, a clean program is stored, each
  // failed transfer has its file.
  void CheckTables(const std::vector<Done>& done, const Counts& start) {
    std::vector<TableRow> good[2], failed = TableRows("KELVDNCF.DBF");
    for (int t = 0; t < 2; t++) good[t] = TableRows(kGoodTables[t]);
    Counts prev = start;
    std::size_t damaged = 0, damagedStored = 0, hungUp = 0;
    for (std::size_t i = 0; i < done.size(); i++) {
      const sim::NoisyExchange& x = done[i].x;
      SCOPED_TRACE(Seed(static_cast<int>(i)) + ": " + x.Describe());
      damaged += x.damage.kind != sim::Damage::kNone;
      hungUp += x.hungUp;
      std::size_t stored = 0;
      for (int t = 0; t < 2; t++) {
        for (std::size_t r = prev.good[t]; r < done[i].after.good[t] && r < good[t].size(); r++) {
          stored++;
          EXPECT_TRUE(x.mayStore) << "a good transfer of " << x.what;
          EXPECT_EQ(good[t][r].desc, x.name.substr(0, 40));
          EXPECT_EQ(FileOf(good[t][r]), x.content) << "stored as a good transfer";
        }
      }
      EXPECT_LE(stored, 1u);
      if (stored && (x.content != x.clean || x.name != x.cleanName)) damagedStored++;
      if (x.mustStore && !done[i].onFiles) {
        EXPECT_EQ(stored, 1u) << "a clean program was not stored";
      }
      for (std::size_t r = prev.failed; r < done[i].after.failed && r < failed.size(); r++)
        EXPECT_TRUE(FileExists(failed[r])) << "a failed transfer without its file";
      prev = done[i].after;
    }
    for (int t = 0; t < 2; t++) EXPECT_EQ(good[t].size(), prev.good[t]);
    EXPECT_EQ(failed.size(), prev.failed);
    // What the run did, for the reader of the log.
    std::printf("%zu exchanges, %zu damaged (%zu hang-ups); %zu good and %zu failed transfers; %zu stored other "
                "than sent, as damage the protocol's check cannot see left them\n",
                done.size(), damaged, hungUp, prev.good[0] + prev.good[1] - start.good[0] - start.good[1],
                prev.failed - start.failed, damagedStored);
  }

  // Nothing below the station but in its directories and the files it
  // had before.
  void CheckNothingOutside() {
    const std::vector<std::string> allowed = {"db", "alt", "local", "temp", "dnctemp", "dncfail",
                                              "backup", "mach1", "files/in/deep"};
    for (const auto& e : fs::recursive_directory_iterator(Root())) {
      if (!e.is_regular_file()) continue;
      const std::string p = e.path().string();
      if (before_.count(p)) continue;
      bool inside = false;
      for (const auto& a : allowed)
        if (p.compare(0, Root().size() + a.size() + 2, Root() + "/" + a + "/") == 0) inside = true;
      EXPECT_TRUE(inside) << "written outside the station's directories: " << p;
    }
    EXPECT_EQ(kvdb::ReadFileBytes(Root() + "/files/SECRET.NC"), "%\r\nSECRET\r\n%");
  }

  // The files a port on plain files added to its directory in one
  // exchange: at most the one of the program's name, holding the program.
  void CheckFilesStored(int i, const sim::NoisyExchange& x, std::set<std::string>& known) {
    SCOPED_TRACE(Seed(i) + ": " + x.Describe());
    const std::set<std::string> files = DirFiles();
    std::vector<std::string> added;
    for (const auto& f : files)
      if (!known.count(f)) added.push_back(f);
    EXPECT_LE(added.size(), 1u);
    for (const auto& f : added) {
      EXPECT_TRUE(x.mayStore) << "stored " << f;
      EXPECT_EQ(f, x.name + ".NC");
      EXPECT_EQ(kvdb::ReadFileBytes(Root() + "/files/in/deep/" + f), x.content);
    }
    if (x.mustStore) {
      EXPECT_EQ(added.size(), 1u) << "a clean program was not stored";
    }
    known = files;
  }
  // No failed transfer is put over an earlier one.
  void CheckFailedKept(int i, const std::map<std::string, std::string>& before) {
    const auto after = FailedFiles();
    for (const auto& [name, bytes] : before) {
      auto it = after.find(name);
      EXPECT_TRUE(it != after.end() && it->second == bytes) << Seed(i) << ": failed transfer " << name << " lost";
    }
  }

  // One exchange of a run: what the machine did, and what to check once
  // the port polls again.
  struct Turn {
    sim::NoisyExchange x;
    bool request = false;  // a program asked for: nothing is stored
    std::function<void()> check;
  };
  using Exchange = std::function<Turn(int i, sim::NoisyLine& line, sim::NoiseSource& noise, bool damaged)>;

  // kExchanges exchanges from the seed, taking the lines (port i on line
  // i) in turn; after each the port must poll again, and a port on plain
  // files (checkFiles: the second one) holds the program or nothing. Then
  // the tables and the directories are checked.
  void Run(const std::vector<sim::NoisyLine*>& lines, uint64_t seed, bool checkFiles, const Exchange& exchange) {
    const Counts start = Now();
    sim::NoiseSource noise(seed);
    std::set<std::string> known = DirFiles();
    std::vector<Done> done;
    for (int i = 0; i < kExchanges; i++) {
      const int port = i % static_cast<int>(lines.size());
      sim::NoisyLine& line = *lines[port];
      const bool onFiles = checkFiles && port == 1;
      const bool damaged = noise.Chance(kDamaged);
      ClearLog();
      const int polls = view_.Polls(port), log = LogCount();
      const auto failedBefore = FailedFiles();
      const Turn t = exchange(i, line, noise, damaged);
      SCOPED_TRACE(Seed(i) + ": " + t.x.Describe());
      ASSERT_TRUE(AwaitIdle(port, line, t.x, polls, log))
          << "the port hangs: " << line.Unread() << " bytes unread, polling " << Ports[port]->Polling
          << ", back to polling " << view_.Polls(port) - polls << " times" << Tail(line.com())
          << "\nthe exchange before:" << lastExchange_;
      EXPECT_TRUE(t.x.problem.empty());
      if (t.check) t.check();
      if (HasFatalFailure()) return;
      if (onFiles) {
        if (!t.request) CheckFilesStored(i, t.x, known);
        CheckFailedKept(i, failedBefore);
      }
      done.push_back(Done{t.x, Now(), onFiles});
    }
    CheckTables(done, start);
    CheckNothingOutside();
  }

  // The file of the last failed transfer.
  std::string LastFailedBytes() {
    TcbFileTable t("KELVDNCF.DBF", 0, 0);
    TcbFileRecord* all = t.ReadAll(1);
    TcbFileRecord* last = all;
    while (last && last->next) last = static_cast<TcbFileRecord*>(last->next);
    const std::string bytes =
        last ? kvdb::ReadFileBytes(Native(std::string(last->DIR) + last->NAME + "." + last->EXT)) : "<no row>";
    FreeRecordList(all);
    return bytes;
  }

  std::set<std::string> DirFiles() {
    std::set<std::string> s;
    for (const auto& e : fs::directory_iterator(Root() + "/files/in/deep")) s.insert(e.path().filename().string());
    return s;
  }
  std::map<std::string, std::string> FailedFiles() {
    std::map<std::string, std::string> m;
    for (const auto& e : fs::directory_iterator(Root() + "/dncfail"))
      m[e.path().filename().string()] = kvdb::ReadFileBytes(e.path().string());
    return m;
  }

  // A name for a program of exchange i; now and then one that tries to
  // leave the directory.
  static std::string Name(const char* prefix, int i, sim::NoiseSource& noise, bool hostile) {
    const std::string plain = prefix + std::to_string(i);
    if (!hostile || !noise.Chance(15)) return plain;
    const std::string tries[] = {"..\\..\\" + plain, "../../" + plain, "..\\" + plain, "C:" + plain, "\\" + plain,
                                 "A:\\" + plain,     plain + "\\..",   "..",           "."};
    return tries[noise.Below(sizeof tries / sizeof tries[0])];
  }
  static bool SafeName(const std::string& n) {
    return n.find("..") == std::string::npos && n.find_first_of("\\/:") == std::string::npos && n != "." &&
           !n.empty();
  }

  static std::vector<std::string> Body(int i) {
    return {"G0 X0 Y0 Z5", "G1 Z-1 F200 N" + std::to_string(i), "G1 X40 Y" + std::to_string(i % 50),
            "G1 X0 Y0", "M30"};
  }

  CountingView view_;
  plat::ThreadHandle master_;
  // The machines send the marked form of their lines.
  std::unique_ptr<sim::NoiseLines> marks_;
  std::set<std::string> before_;
  std::string lastExchange_;
};

// ---- standard RS-232 -----------------------------------------------------------

// Two ports, one filing into the program index, one on plain files; the
// line's parity check flags every damaged character, so no damaged
// program may be stored, and a program cut short is refused by its
// missing end trigger. Every fifth exchange asks for a program instead.
TEST_F(NoiseTest, StandardRs232) {
  sim::NoisyLine dbLine(51), fileLine(52);
  ASSERT_TRUE(dbLine.ok() && fileLine.ok());
  AddProgram(9001, "REQ1", "%\r\nG1 X1\r\nM30\r\n%");
  ASSERT_NO_FATAL_FAILURE(Serve({[&](TMultiDncRecord& r) {
                                   r.SetListA(kPropComNumber, 51);
                                   StandardTexts(r);
                                 },
                                 [&](TMultiDncRecord& r) {
                                   r.SetListA(kPropComNumber, 52);
                                   StandardTexts(r);
                                   FileMode(r);
                                 }}));
  Run({&dbLine, &fileLine}, kSeed, true, [&](int i, sim::NoisyLine& line, sim::NoiseSource& noise, bool damaged) {
    const bool onFiles = &line == &fileLine;
    sim::NoisyStandardControl machine(line, noise);
    Turn t;
    if (i % 5 == 4) {
      t.request = true;
      const bool climbs = onFiles && noise.Chance(30);
      t.x = machine.Request(climbs ? "..\\..\\SECRET" : "REQ1", damaged);
      std::string expected;
      if (t.x.damage.kind == sim::Damage::kNone && !climbs)
        expected = onFiles ? "%\r\n%\r\nG1 X7\r\nM30\r\n%\r\n%" : "%\r\n%\r\nG1 X1\r\nM30\r\n%\r\n%";
      // What the server sent, once it polls again.
      t.check = [&line, expected] { EXPECT_EQ(line.Quiet(1), expected) << "what the machine got"; };
    } else {
      const std::string name = Name(onFiles ? "F" : "N", i, noise, onFiles);
      t.x = machine.SendProgram(name, Body(i), damaged);
      if (!SafeName(name)) t.x.mustStore = t.x.mayStore = false;
    }
    return t;
  });
}

// ---- raw ---------------------------------------------------------------------

// Whatever comes is kept whole as a failed transfer (a flagged character
// as the error character), from twenty bytes on; nothing is ever stored
// as a good transfer.
TEST_F(NoiseTest, Raw) {
  sim::NoisyLine raw(53);
  ASSERT_TRUE(raw.ok());
  ASSERT_NO_FATAL_FAILURE(Serve({[&](TMultiDncRecord& r) {
    r.SetListA(kPropComNumber, 53);
    r.SetListA(kPropProtocol, kProtoRaw);
    r.Number[kPropParity] = 2;
    r.SetListB(kPropParityCheck, 1);
  }}));
  Run({&raw}, kSeed + 1, false, [&](int i, sim::NoisyLine& line, sim::NoiseSource& noise, bool damaged) {
    std::string data = sim::NoisyStandardControl::Program("R" + std::to_string(i), Body(i));
    // Every byte value now and then: a raw line carries anything.
    if (i % 7 == 0)
      for (int b = 0; b < 256; b++) data += static_cast<char>(b);
    const std::size_t failedBefore = Count("KELVDNCF.DBF");
    Turn t;
    t.x = sim::NoisyStandardControl(line, noise).SendData(data, damaged);
    t.check = [this, failedBefore, x = t.x] {
      const std::size_t failed = Count("KELVDNCF.DBF");
      if (x.hungUp) {
        // What was on its way when the cable went may be lost; what came
        // is kept as it came.
        ASSERT_LE(failed, failedBefore + 1);
        if (failed > failedBefore) {
          const std::string kept = LastFailedBytes();
          EXPECT_EQ(kept, x.delivered.substr(0, kept.size()));
        }
      } else if (x.delivered.size() >= 20) {
        ASSERT_EQ(failed, failedBefore + 1);
        EXPECT_EQ(LastFailedBytes(), x.delivered);
      } else {
        EXPECT_EQ(failed, failedBefore);
      }
    };
    return t;
  });
}

// ---- Heidenhain ------------------------------------------------------------------

// The block check is the only guard: a good transfer holds exactly the
// blocks the server acknowledged as they were on the wire (an XOR check
// cannot see a doubled byte: such a block is good by the protocol), and a
// clean program is stored. Two ports, one on plain files; every fourth
// exchange asks for a program.
TEST_F(NoiseTest, Heidenhain) {
  sim::NoisyLine dbLine(54), fileLine(55);
  ASSERT_TRUE(dbLine.ok() && fileLine.ok());
  AddProgram(9001, "REQ1", "%\r\nG1 X1\r\nM30\r\n%");
  ASSERT_NO_FATAL_FAILURE(Serve({[&](TMultiDncRecord& r) {
                                   r.SetListA(kPropComNumber, 54);
                                   r.SetListA(kPropProtocol, kProtoHeidenhain);
                                 },
                                 [&](TMultiDncRecord& r) {
                                   r.SetListA(kPropComNumber, 55);
                                   r.SetListA(kPropProtocol, kProtoHeidenhain);
                                   FileMode(r);
                                 }}));
  Run({&dbLine, &fileLine}, kSeed + 2, true, [&](int i, sim::NoisyLine& line, sim::NoiseSource& noise, bool damaged) {
    const bool onFiles = &line == &fileLine;
    sim::NoisyHeidenhainControl machine(line, noise, kMachineWaitMs);
    Turn t;
    if (i % 4 == 3) {
      t.request = true;
      auto got = std::make_shared<std::string>();
      t.x = machine.Request("REQ1", 4, damaged, got.get());
      if (t.x.damage.kind == sim::Damage::kNone)
        t.check = [got, onFiles] {
          EXPECT_EQ(*got, onFiles ? "%\r\nG1 X7\r\nM30\r\n%\r\n" : "%\r\nG1 X1\r\nM30\r\n%\r\n");
        };
    } else {
      t.x = machine.Output(Name(onFiles ? "F" : "H", i, noise, onFiles), Body(i), damaged);
      if (!SafeName(t.x.name)) t.x.mustStore = t.x.mayStore = false;
    }
    return t;
  });
}

// ---- LSV-2 -----------------------------------------------------------------------

// Telegrams with a block check, acknowledged or refused one by one: a good
// transfer holds exactly the blocks the server acknowledged as they were on
// the wire. Every fourth exchange asks for a program.
TEST_F(NoiseTest, Lsv2) {
  sim::NoisyLine lsv2(56);
  ASSERT_TRUE(lsv2.ok());
  const std::string requested = "%\r\nG1 X1 Y1\r\nG1 X2 Y2\r\nM30\r\n%\r\n";
  AddProgram(9001, "123", requested);
  ASSERT_NO_FATAL_FAILURE(Serve({[&](TMultiDncRecord& r) {
    r.SetListA(kPropComNumber, 56);
    r.SetListA(kPropProtocol, kProtoLsv2);
    r.Number[kPropNulFilter] = 0;
  }}));
  Run({&lsv2}, kSeed + 3, false, [&](int i, sim::NoisyLine& line, sim::NoiseSource& noise, bool damaged) {
    sim::NoisyLsv2Control machine(line, noise, kMachineWaitMs);
    Turn t;
    if (i % 4 == 3) {
      t.request = true;
      auto got = std::make_shared<std::string>();
      t.x = machine.Request(123, 1, damaged, got.get());
      if (t.x.damage.kind == sim::Damage::kNone)
        t.check = [this, got, requested, com = line.com()] {
          EXPECT_EQ(*got, requested) << Tail(com) << "\nthe exchange before:" << lastExchange_;
        };
    } else {
      std::string program;
      for (const auto& l : Body(i)) program += l + "\r\n";
      // Longer than one block now and then.
      if (i % 3 == 0)
        for (int k = 0; k < 30; k++) program += "G1 X" + std::to_string(k) + " Y" + std::to_string(i) + "\r\n";
      t.x = machine.Upload(static_cast<unsigned long>(1000 + i), program, damaged);
    }
    return t;
  });
}

// ---- Mazak -------------------------------------------------------------------------

// A T32 control writes tapes: a block with a wrong check, a command noise
// changed or a control that stops is refused or kept as failed; a good
// transfer holds exactly the blocks the port acknowledged.
TEST_F(NoiseTest, Mazak) {
  sim::NoisyLine mazak(57);
  ASSERT_TRUE(mazak.ok());
  ASSERT_NO_FATAL_FAILURE(Serve({[&](TMultiDncRecord& r) {
    r.SetListA(kPropComNumber, 57);
    r.SetListA(kPropProtocol, kProtoMazak);
    r.SetListA(kPropMazakType, kMazakT32);
  }}));
  Run({&mazak}, kSeed + 4, false, [&](int i, sim::NoisyLine& line, sim::NoiseSource& noise, bool damaged) {
    Turn t;
    t.x = sim::NoisyMazakControl(line, noise, kMachineWaitMs).WriteTape(static_cast<unsigned>(1000 + i), Body(i),
                                                                       damaged);
    return t;
  });
}

}  // namespace
