// The station answers its machines' program requests while another
// station packs and reindexes the program index in a loop: four machines
// on pseudo-terminals ask for the programs of the index round after round
// through the real standard RS-232 threads, while another process deletes
// three rows in front of the programs and packs (so that every program
// row is renumbered), then reindexes, as fast as it can. Every request for
// an existing program is answered with its text, byte for byte.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "dnc_fixture.h"
#include "tests/sim/machine_sim.h"

namespace {

constexpr int kPorts = 4;
constexpr int kFirstCom = 41;
constexpr long kPrograms = 12;
constexpr int kRequestsPerMachine = 12;
constexpr long kFillers = 240;  // rows in front of the programs, three go with each pack
constexpr long kFillerMachine = 999;

std::string ProgramId(long id) { return "PROG" + std::to_string(id); }
std::string ProgramText(long id) {
  return "%\r\n(" + ProgramId(id) + ")\r\nG1 X" + std::to_string(id) + "\r\nG1 Y" + std::to_string(id * 7) +
         "\r\nM30\r\n%";
}

bool Readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, 0) > 0;
}

// The other station: until the go pipe closes, deletes the first three
// rows when they are fillers and packs, then reindexes; a byte on `done`
// after each rebuild. A lock refused (a send holds its row), or a rebuild
// that found the table busy, is tried again. 0 when all went well.
int Rebuilder(const std::string& table, int go, int done) {
  DbEngine c;
  c.silent_errors = 1;
  c.lock_attempts = 1;
  DbDataFile* w = data_open(&c, table.c_str());
  if (!w) return 10;
  DbField* mid = data_field_named(w, "MID");
  if (!mid) return 11;
  // A refused lock, or a rebuild that found the table busy (the station's
  // readers stayed longer than this station's one-second bound on a loaded
  // machine, and nothing was replaced), is tried again as a user would.
  auto busy = [&](int rc) {
    if (rc != DB_LOCKED) return false;
    code_error_set(&c, 0);
    usleep(1000);
    return true;
  };
  for (int round = 0; !Readable(go); round++) {
    int rc = data_lock_file(w);
    if (busy(rc)) {
      round--;
      continue;
    }
    if (rc != 0) return 12;
    if (round % 2 == 0) {
      for (long n = 1; n <= 3; n++) {
        if (data_go(w, n) != 0) return 13;
        if (field_long(mid) == kFillerMachine) data_delete(w);
      }
      if (data_flush(w) != 0) return 14;
      rc = data_pack(w);
    } else {
      rc = data_reindex(w);
    }
    if (data_unlock(w) != 0) return 15;
    if (busy(rc)) {
      round--;
      continue;
    }
    if (rc != 0) return 18;
    if (::write(done, "d", 1) != 1) return 16;
    // A moment without the file lock, so the station's record locks (a
    // send, its count) get their turn.
    usleep(3000);
  }
  return data_close(w) == 0 ? 0 : 17;
}

class RebuildServingTest : public kvdnc::DncServerTest {
 protected:
  RebuildServingTest() : DncServerTest(kFirstCom, 0.01) {}

  bool Polling() override {
    return WaitFor([] {
      if (PortCount != kPorts) return false;
      for (int i = 0; i < kPorts; i++)
        if (!Ports[i] || Ports[i]->Polling != 1) return false;
      return true;
    });
  }
  // A row of another machine, in front of the programs.
  void AddFiller(TcbFileTable& t, long id) {
    TcbFileRecord r;
    r.NCID = r.LONG1 = id;
    CopyCut(r.NAME, sizeof r.NAME, ("F" + std::to_string(id)).c_str());
    CopyCut(r.EXT, sizeof r.EXT, "NC");
    CopyCut(r.DIR, sizeof r.DIR, (Root() + "/files\\").c_str());
    CopyCut(r.DESC, sizeof r.DESC, ("FILL" + std::to_string(id)).c_str());
    r.MID = kFillerMachine;
    ASSERT_EQ(t.Append(&r), 1);
  }
};

TEST_F(RebuildServingTest, EveryRequestIsAnsweredWhileAnotherStationPacksAndReindexes) {
  std::vector<std::unique_ptr<sim::Machine>> machines;
  for (int i = 0; i < kPorts; i++) {
    machines.push_back(std::make_unique<sim::Machine>(kFirstCom + i));
    ASSERT_TRUE(machines.back()->ok());
    PortRow(i, kFirstCom + i, kProtoStandard, StandardTexts);
  }
  {
    TcbFileTable t("KELVFILE.DBF", 0, 0);
    for (long f = 1; f <= kFillers; f++) ASSERT_NO_FATAL_FAILURE(AddFiller(t, 1000 + f));
  }
  for (long id = 1; id <= kPrograms; id++) AddProgram(id, ProgramId(id), ProgramText(id));

  // The other station starts before the server's threads do.
  int go[2], done[2];
  ASSERT_EQ(::pipe(go), 0);
  ASSERT_EQ(::pipe(done), 0);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::close(go[1]);
    ::close(done[0]);
    const int rc = Rebuilder(DbPath("KELVFILE.DBF"), go[0], done[1]);
    // A rebuild that failed still waits for the word to stop: written to
    // a pipe nobody reads, the word would end the test unheard (SIGPIPE)
    // instead of failing it with this status.
    char word;
    (void)!::read(go[0], &word, 1);
    _exit(rc);
  }
  ::close(go[0]);
  ::close(done[1]);
  StartServer();

  std::atomic<int> answered{0};
  std::vector<std::string> wrong(kPorts);
  std::vector<std::thread> threads;
  for (int i = 0; i < kPorts; i++) {
    threads.emplace_back([&, i] {
      sim::Machine& m = *machines[size_t(i)];
      for (int k = 0; k < kRequestsPerMachine; k++) {
        long id = 1 + (i * 5 + k * 7) % kPrograms;
        m.Send("R " + ProgramId(id) + "/\r\n");
        const std::string expected = Framed(ProgramText(id));
        const std::string got = Collect(m, expected.size(), 45000);
        if (got != expected) {
          wrong[size_t(i)] = "request " + std::to_string(k) + " for " + ProgramId(id) + " got \"" + got + "\"";
          return;
        }
        answered++;
        // The port listens again before the next request.
        WaitFor([&] { return Ports[i] && Ports[i]->Polling == 1; });
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(::write(go[1], "s", 1), 1);
  ::close(go[1]);
  int status = -1;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  int rebuilds = 0;
  for (char got; Readable(done[0]) && ::read(done[0], &got, 1) == 1;) rebuilds++;
  ::close(done[0]);

  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  for (const std::string& w : wrong) EXPECT_EQ(w, "");
  EXPECT_EQ(answered, kPorts * kRequestsPerMachine);
  // The requests met many rebuilds, not a few.
  EXPECT_GE(rebuilds, 20);
  RecordProperty("rebuilds", std::to_string(rebuilds));
  EXPECT_EQ(RowCount("KELVDNCF.DBF"), 0u);
}

}  // namespace
