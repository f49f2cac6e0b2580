// Two machines on two ports of one machine send different programs with
// the same program id at the same instant, round after round, through the
// real standard RS-232 threads. The stores run one at a time under the
// filing lock: each program id has one row on the machine, every
// reception is either the current program or a backup of it, byte for
// byte, and the system log tells what happened to each.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "dnc_fixture.h"
#include "tests/sim/machine_sim.h"

namespace {

constexpr int kComA = 13, kComB = 14;
constexpr int kRounds = 16, kIds = 4;

class StoreClashTest : public kvdnc::DncServerTest, public ::testing::WithParamInterface<long> {
 protected:
  StoreClashTest() : DncServerTest(kComA, 0.01) {}

  bool Polling() override {
    return WaitFor([] {
      return PortCount == 2 && Ports[0] && Ports[1] && Ports[0]->Polling == 1 && Ports[1]->Polling == 1;
    });
  }
  static std::string Id(int round) { return "CLASH" + std::to_string(round % kIds); }
  // A program of some kilobytes that only this machine sends in this round.
  static std::string Program(int round, char machine) {
    std::string p = "%\r\n(" + Id(round) + ")\r\n(ROUND " + std::to_string(round) + " MACHINE " + machine + ")\r\n";
    for (int i = 0; i < 150; i++) p += "N" + std::to_string(i) + " G1 X" + std::to_string(i * round) + machine + "\r\n";
    return p + "M30\r\n%";
  }
  bool Cmp(const std::string& a, const std::string& b) {
    return std::system(("cmp -s '" + Native(a) + "' '" + Native(b) + "'").c_str()) == 0;
  }
};

TEST_P(StoreClashTest, OneRowPerIdAndEveryReceptionKept) {
  const long mode = GetParam();
  sim::Machine a(kComA), b(kComB);
  ASSERT_TRUE(a.ok() && b.ok());
  auto storage = [mode](TMultiDncRecord& r) { r.Number[kPropStorageMode] = mode; };
  PortRow(0, kComA, kProtoStandard, StandardTexts, storage);
  PortRow(1, kComB, kProtoStandard, StandardTexts, storage);
  StartServer();

  std::map<std::string, std::vector<std::string>> sent;  // program id -> files of what was sent
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const std::string pa = Program(round, 'A'), pb = Program(round, 'B');
    for (const auto& [text, name] : {std::pair{pa, "A"}, std::pair{pb, "B"}}) {
      const std::string file = Root() + "/sent-" + std::to_string(round) + name + ".nc";
      kvdb::WriteFileBytes(file, text);
      sent[Id(round)].push_back(file);
    }
    std::atomic<bool> go{false};
    std::thread ta([&] {
      while (!go) std::this_thread::yield();
      a.Send(pa);
    });
    std::thread tb([&] {
      while (!go) std::this_thread::yield();
      b.Send(pb);
    });
    go = true;
    ta.join();
    tb.join();
    // Each store writes one log entry.
    ASSERT_TRUE(WaitFor([&] { return LogTypes().size() == 2u * (round + 1); }, 60000)) << LogTypes().size();
    ASSERT_TRUE(Polling());
  }

  EXPECT_EQ(RowCount("KELVDNCF.DBF"), 0u);
  TcbFileTable programs("KELVFILE.DBF", 0, 0), backups("KELVBACK.DBF", 0, 0);
  std::map<std::string, std::vector<std::string>> current, kept;  // program id -> stored files
  for (TcbRecord* r = programs.LoadAll(); r; r = r->next) {
    auto* f = static_cast<TcbFileRecord*>(r);
    EXPECT_EQ(f->MID, machineId_);
    current[f->DESC].push_back(std::string(f->DIR) + f->NAME + "." + f->EXT);
  }
  for (TcbRecord* r = backups.LoadAll(); r; r = r->next) {
    auto* f = static_cast<TcbFileRecord*>(r);
    kept[f->DESC].push_back(std::string(f->DIR) + f->NAME + "." + f->EXT);
  }
  ASSERT_EQ(current.size(), static_cast<std::size_t>(kIds));
  std::map<std::string, int> logged;  // "type id" -> entries
  for (const auto& row : Rows(DbPath("LOG00000.DBF")))
    for (int i = 0; i < kIds; ++i)
      if (row[4].find("CLASH" + std::to_string(i) + " ") != std::string::npos) logged[row[2] + " CLASH" + std::to_string(i)]++;

  for (const auto& [id, files] : sent) {
    SCOPED_TRACE(id);
    ASSERT_EQ(current[id].size(), 1u) << "one row for the program id on the machine";
    EXPECT_EQ(kept[id].size(), files.size() - 1) << "each later reception backed up the one before";
    // Each reception is the current program or one backup, each stored
    // file holding exactly one reception.
    std::vector<std::string> stored = current[id];
    stored.insert(stored.end(), kept[id].begin(), kept[id].end());
    std::vector<bool> used(stored.size(), false);
    for (const std::string& file : files) {
      const std::string text = kvdb::ReadFileBytes(file);
      bool found = false;
      for (std::size_t s = 0; s < stored.size() && !found; ++s) {
        if (used[s] || kvdb::ReadFileBytes(Native(stored[s])) != text) continue;
        EXPECT_TRUE(Cmp(file, stored[s]));
        used[s] = found = true;
      }
      EXPECT_TRUE(found) << file << " is neither the program nor a backup of it";
    }
    EXPECT_EQ(logged["29 " + id], 1) << "stored once as a new program";
    EXPECT_EQ(logged["28 " + id], static_cast<int>(files.size()) - 1) << "then replaced by each later reception";
  }
}

// 0: a row whose mode was never chosen, which the setup shows as "Backup
// and Overwrite"; 2: that mode chosen.
INSTANTIATE_TEST_SUITE_P(Modes, StoreClashTest, ::testing::Values(0L, 2L));

}  // namespace
