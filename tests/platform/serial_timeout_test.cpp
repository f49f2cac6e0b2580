// Read and write time-outs with the Windows rules, run through the time
// scale over a pseudo-terminal.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/serial.h"
#include "serial_fixture.h"

namespace {

using namespace serial_test;

struct Step {
  int delay_ms;  // real time before the machine sends
  std::string bytes;
};

// Runs one overlapped read of n bytes while the machine plays its script;
// returns what the read delivered. Waits in real time: the time scale
// would shorten the test's own guard too.
std::string timed_read(Pty& pty, plat::HCOMM h, const plat::COMMTIMEOUTS& to, DWORD n,
                       const std::vector<Step>& script, bool* at_once = nullptr) {
  EXPECT_TRUE(plat::set_comm_timeouts(h, &to));
  std::thread machine([&] {
    for (const auto& s : script) {
      std::this_thread::sleep_for(std::chrono::milliseconds(s.delay_ms));
      write_all(pty.master, s.bytes);
    }
  });
  plat::Event ev(true);
  plat::OVERLAPPED ov;
  ov.hEvent = &ev;
  std::string buf(n, '\0');
  DWORD got = 0;
  BOOL ok = plat::read_comm(h, buf.data(), n, &got, &ov);
  if (at_once) *at_once = ok;
  if (!ok) {
    EXPECT_EQ(plat::last_comm_error(), static_cast<DWORD>(ERROR_IO_PENDING));
    // A read that never ends is ended here, so the case fails instead of hanging.
    if (!eventually([&] { return ev.is_set(); }, 10000)) {
      ADD_FAILURE() << "read did not complete";
      plat::purge_comm(h, PURGE_RXABORT);
    }
    EXPECT_TRUE(plat::get_overlapped_result(h, &ov, &got, TRUE));
  }
  machine.join();
  buf.resize(got);
  return buf;
}

struct Fixture : ::testing::Test {
  ScaleGuard scale{0.01};  // 10000 ms of protocol time = 100 ms
  Pty pty{5};
  plat::HCOMM h = plat::open_comm("\\\\.\\COM5");
  ~Fixture() override {
    if (h) plat::close_comm(h);
  }
};

using ReadTimeouts = Fixture;

TEST_F(ReadTimeouts, FollowTheIntervalMultiplierAndConstantRules) {
  ASSERT_NE(h, nullptr);
  struct Case {
    const char* what;
    plat::COMMTIMEOUTS to;
    DWORD n;
    std::vector<Step> script;
    std::string expect;
  };
  const Case cases[] = {
      {"the constant ends a read on a silent line", {0, 0, 10000, 0, 0}, 10, {}, ""},
      {"the interval counts only after the first byte", {2000, 0, 0, 0, 0}, 100, {{60, "AB"}}, "AB"},
      {"the multiplier counts per asked byte", {0, 1000, 0, 0, 0}, 20, {{80, "X"}}, "X"},
      {"a full read ends at n bytes", {0, 0, 0, 0, 0}, 4, {{10, "ABCDEF"}}, "ABCD"},
      {"first-byte mode returns at the first byte", {MAXDWORD, MAXDWORD, 10000, 0, 0}, 10, {{20, "Z"}}, "Z"},
      {"first-byte mode ends empty after the constant", {MAXDWORD, MAXDWORD, 1000, 0, 0}, 10, {}, ""},
  };
  for (const auto& c : cases) {
    plat::purge_comm(h, PURGE_RXCLEAR);
    EXPECT_EQ(timed_read(pty, h, c.to, c.n, c.script), c.expect) << c.what;
  }
}

TEST_F(ReadTimeouts, QueuedBytesCompleteAtOnce) {
  ASSERT_NE(h, nullptr);
  write_all(pty.master, "HELLO");
  ASSERT_TRUE(eventually([&] { return status(h).cbInQue == 5; }));
  bool at_once = false;
  // Enough bytes queued: done at once.
  EXPECT_EQ(timed_read(pty, h, {10000, 10, 5000, 0, 0}, 3, {}, &at_once), "HEL");
  EXPECT_TRUE(at_once);
  // "Return what is there": at once, also with less than asked or nothing.
  EXPECT_EQ(timed_read(pty, h, {MAXDWORD, 0, 0, 0, 0}, 10, {}, &at_once), "LO");
  EXPECT_TRUE(at_once);
  EXPECT_EQ(timed_read(pty, h, {MAXDWORD, 0, 0, 0, 0}, 10, {}, &at_once), "");
  EXPECT_TRUE(at_once);
}

// A slow stream is read from the line only every few tens of
// milliseconds; a gap between those reads is no gap on the line, so a
// steady trickle does not end an interval read early.
TEST_F(ReadTimeouts, ATrickleShorterThanTheIntervalKeepsTheReadGoing) {
  ASSERT_NE(h, nullptr);
  std::vector<Step> script;
  std::string sent;
  for (int i = 0; i < 20; ++i) {
    std::string chunk = std::string(1, static_cast<char>('a' + i)) + "\r\n";
    script.push_back({5, chunk});
    sent += chunk;
  }
  // Interval 40 ms real, no total: the read ends only once the line rests.
  EXPECT_EQ(timed_read(pty, h, {4000, 0, 0, 0, 0}, 1000, script), sent);
}

// A reception read in blocks ends at the first short block, once the line
// has been silent for the interval.
TEST_F(ReadTimeouts, ReceptionInBlocksEndsWithAShortBlock) {
  ASSERT_NE(h, nullptr);
  std::string data(2500, 'x');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>('A' + i % 26);
  plat::COMMTIMEOUTS to{5000, 10, 5000, 0, 0};
  std::string got = timed_read(pty, h, to, 1024, {{0, data}});
  EXPECT_EQ(got.size(), 1024u);
  std::string rest;
  for (;;) {
    std::string block = timed_read(pty, h, to, 1024, {});
    rest += block;
    if (block.size() < 1024) break;
  }
  EXPECT_EQ(got + rest, data);
}

using WriteTimeouts = Fixture;

TEST_F(WriteTimeouts, HeldWriteCompletesEmptyAfterTheTotal) {
  ASSERT_NE(h, nullptr);
  plat::COMMTIMEOUTS to{0, 0, 0, 100, 1000};
  plat::set_comm_timeouts(h, &to);
  ASSERT_TRUE(plat::escape_comm_function(h, SETXOFF));
  plat::Event ev(true);
  plat::OVERLAPPED ov;
  ov.hEvent = &ev;
  DWORD done = 99;
  EXPECT_FALSE(plat::write_comm(h, "0123456789", 10, &done, &ov));
  EXPECT_EQ(plat::last_comm_error(), static_cast<DWORD>(ERROR_IO_PENDING));
  ASSERT_TRUE(eventually([&] { return ev.is_set(); }));
  EXPECT_TRUE(plat::get_overlapped_result(h, &ov, &done, TRUE));
  EXPECT_EQ(done, 0u);
  EXPECT_EQ(read_quiet(pty.master, 30), "");
  // Released, the next write goes out whole.
  ASSERT_TRUE(plat::escape_comm_function(h, SETXON));
  EXPECT_TRUE(plat::write_comm(h, "AB", 2, &done, nullptr));
  EXPECT_EQ(done, 2u);
  EXPECT_EQ(read_quiet(pty.master, 30), "AB");
}

TEST_F(WriteTimeouts, FullLineCompletesAWritePartially) {
  ASSERT_NE(h, nullptr);
  plat::COMMTIMEOUTS to{0, 0, 0, 0, 20000};
  plat::set_comm_timeouts(h, &to);
  std::string data(4 << 20, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>('a' + i % 23);
  DWORD done = 0;
  // Nobody reads the other end: the write ends with what the line took.
  EXPECT_TRUE(plat::write_comm(h, data.data(), data.size(), &done, nullptr));
  EXPECT_GT(done, 0u);
  EXPECT_LT(done, data.size());
  std::string arrived = read_quiet(pty.master, 50);
  EXPECT_EQ(arrived.size(), done);
  EXPECT_EQ(arrived, data.substr(0, done));
}

}  // namespace
