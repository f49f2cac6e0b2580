// Input XON/XOFF over a pseudo-terminal against a machine that stops
// within 32 bytes of reading the port's XOFF: a long reception whose
// reader stalls now and then loses no byte; a machine that ignores the
// XOFF overruns the queue and the port reports it.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <random>
#include <vector>

#include "platform/serial.h"
#include "platform/sync.h"
#include "serial_fixture.h"
#include "tests/sim/machine_sim.h"
#include "tests/sim/paced_sender.h"
#include "tests/support/scratch_dir.h"

namespace {

using namespace serial_test;

// Eight seconds of the layer's time take 160 ms here.
constexpr double kScale = 0.02;
// The machine's line: 2.5 MB a second, so ten megabytes pass in seconds.
constexpr double kLineRate = 2.5e6;

plat::HCOMM OpenWithFlow(int com, DWORD limits) {
  plat::HCOMM h = plat::open_comm(("\\\\.\\COM" + std::to_string(com)).c_str());
  if (!h) return nullptr;
  plat::DCB dcb;
  plat::get_comm_state(h, &dcb);
  dcb.BaudRate = 115200;
  dcb.fOutX = 1;
  dcb.fInX = 1;
  dcb.XonChar = 0x11;
  dcb.XoffChar = 0x13;
  dcb.XonLim = static_cast<WORD>(limits);
  dcb.XoffLim = static_cast<WORD>(limits);
  EXPECT_TRUE(plat::set_comm_state(h, &dcb));
  // A read returns at the first byte, or empty after five (scaled) seconds.
  plat::COMMTIMEOUTS to{MAXDWORD, MAXDWORD, 5000, 0, 0};
  EXPECT_TRUE(plat::set_comm_timeouts(h, &to));
  return h;
}

// "-+-+..." with every XOFF answered by an XON.
bool Paired(const std::string& flow) {
  if (flow.size() % 2) return false;
  for (std::size_t i = 0; i < flow.size(); ++i)
    if (flow[i] != (i % 2 ? '+' : '-')) return false;
  return true;
}

bool SameFiles(const kvtest::ScratchDir& dir, const std::string& a, const std::string& b) {
  const std::string cmd = "cmp '" + dir.write("sent", a) + "' '" + dir.write("received", b) + "'";
  return std::system(cmd.c_str()) == 0;
}

// Ten megabytes with XoffLim and XonLim 100, as the DNC ports set them; the
// reader stops for eight seconds three times at random places. Each stall
// fills the queue, the XOFF stops the machine, the reader drains the
// queue and the XON lets it go on.
TEST(InputFlow, ReaderStallsLoseNoByteOfALongReception) {
  ScaleGuard scale(kScale);
  sim::Machine m(7);
  ASSERT_TRUE(m.ok());
  plat::HCOMM h = OpenWithFlow(7, 100);
  ASSERT_NE(h, nullptr);
  const std::string text = sim::LongNcText(10u << 20);
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 rng(seed);
  // One stall in each third, half a megabyte or more after the one before
  // (by then the reader has drained the queue and sent XON), and early
  // enough for the queue to fill behind it.
  std::vector<std::size_t> stalls;
  const std::size_t third = (text.size() - (1u << 20)) / 3, gap = 1u << 19;
  for (std::size_t i = 0; i < 3; ++i)
    stalls.push_back(i * third + gap + std::uniform_int_distribution<std::size_t>(0, third - gap - 1)(rng));

  sim::PacedSender machine(m, text, kLineRate, 32, seed);
  std::string got;
  got.reserve(text.size());
  std::vector<char> buf(65536);
  std::size_t stalled = 0;
  DWORD errors = 0;
  auto progress = std::chrono::steady_clock::now();
  while (got.size() < text.size()) {
    if (stalled < stalls.size() && got.size() >= stalls[stalled]) {
      plat::sleep_ms(8000);
      // A machine slowed by a loaded host may not have filled the queue
      // yet: the reader stays away until the port has sent its XOFF.
      ASSERT_TRUE(eventually(
          [&] {
            DWORD e = 0;
            const bool sent = status(h, &e).fXoffSent != 0;
            errors |= e;
            return sent;
          },
          20000));
      ++stalled;
    }
    DWORD n = 0;
    ASSERT_TRUE(plat::read_comm(h, buf.data(), static_cast<DWORD>(buf.size()), &n, nullptr));
    got.append(buf.data(), n);
    const auto now = std::chrono::steady_clock::now();
    if (n) progress = now;
    if (now - progress > std::chrono::seconds(20)) break;  // the line stopped for good
  }
  // The last stall's XON may still be under way.
  ASSERT_TRUE(eventually([&] { return Paired(machine.Flow()); }, 10000)) << machine.Flow();
  machine.Stop();
  DWORD last = 0;
  status(h, &last);
  errors |= last;
  plat::close_comm(h);

  kvtest::ScratchDir dir("kv-flow");
  EXPECT_EQ(got.size(), text.size());
  EXPECT_TRUE(SameFiles(dir, text, got)) << "the received bytes differ from the sent ones";
  EXPECT_EQ(errors & CE_RXOVER, 0u);
  const std::string flow = machine.Flow();
  const std::size_t pairs = flow.size() / 2;
  RecordProperty("xoff_xon_pairs", static_cast<int>(pairs));
  EXPECT_GE(pairs, stalls.size()) << "every stall must have stopped the machine";
  EXPECT_LE(machine.MostAfterXoff(), 32u);
}

// A machine that goes on after the XOFF fills the queue and the room kept
// past it; then what finds no room is lost and flagged, and the queue holds
// the first bytes in order.
TEST(InputFlow, MachineIgnoringXoffOverrunsTheQueue) {
  sim::Machine m(7);
  ASSERT_TRUE(m.ok());
  plat::HCOMM h = OpenWithFlow(7, 100);
  ASSERT_NE(h, nullptr);
  const std::string text = sim::LongNcText(512u << 10);
  sim::PacedSender machine(m, text, kLineRate, static_cast<std::size_t>(-1), 1);
  DWORD seen = 0;
  ASSERT_TRUE(eventually(
      [&] {
        DWORD e = 0;
        status(h, &e);
        seen |= e;
        return (seen & CE_RXOVER) != 0;
      },
      10000));
  const plat::COMSTAT cs = status(h);
  EXPECT_EQ(cs.fXoffSent, 1u);
  std::string got(cs.cbInQue, '\0');
  plat::COMMTIMEOUTS to{MAXDWORD, 0, 0, 0, 0};
  plat::set_comm_timeouts(h, &to);
  DWORD n = 0;
  ASSERT_TRUE(plat::read_comm(h, got.data(), static_cast<DWORD>(got.size()), &n, nullptr));
  EXPECT_EQ(n, got.size());
  EXPECT_GE(got.size(), 64u << 10);
  EXPECT_TRUE(got == text.substr(0, got.size())) << "the queue keeps what came first, in order";
  machine.Stop();
  plat::close_comm(h);
}

}  // namespace
