// Opening ports through the port table and programming the line.
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/serial.h"
#include "platform/serial_termios.h"
#include "serial_fixture.h"

namespace {

using serial_test::Pty;

TEST(CommOpen, NamesMapThroughThePortTable) {
  Pty pty(7);
  ASSERT_FALSE(pty.path.empty());
  EXPECT_EQ(plat::comm_device(7), pty.path);
  EXPECT_EQ(plat::comm_device(1), "/dev/ttyS0");
  EXPECT_EQ(plat::comm_device(12), "/dev/ttyS11");

  struct Case {
    const char* name;
    bool opens;
    DWORD error;
  };
  const Case cases[] = {
      {"\\\\.\\COM7", true, 0},
      {"COM7", true, 0},
      {"\\\\.\\com7", true, 0},
      {"\\\\.\\COM0", false, ERROR_FILE_NOT_FOUND},
      {"\\\\.\\COM7x", false, ERROR_FILE_NOT_FOUND},
      {"\\\\.\\LPT1", false, ERROR_FILE_NOT_FOUND},
      {"", false, ERROR_FILE_NOT_FOUND},
  };
  for (const auto& c : cases) {
    plat::HCOMM h = plat::open_comm(c.name);
    EXPECT_EQ(h != nullptr, c.opens) << c.name;
    if (h)
      EXPECT_TRUE(plat::close_comm(h));
    else
      EXPECT_EQ(plat::last_comm_error(), c.error) << c.name;
  }
}

TEST(CommOpen, MissingDeviceAndBusyPortFail) {
  plat::map_comm_port(9, "/nonexistent/ttyX");
  EXPECT_EQ(plat::open_comm("\\\\.\\COM9"), nullptr);
  EXPECT_EQ(plat::last_comm_error(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  plat::reset_comm_ports();

  Pty pty(3);
  plat::HCOMM h = plat::open_comm("\\\\.\\COM3");
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(plat::open_comm("\\\\.\\COM3"), nullptr);
  EXPECT_EQ(plat::last_comm_error(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  // Another COM number on the same device is still the same busy device.
  plat::map_comm_port(4, pty.path);
  EXPECT_EQ(plat::open_comm("\\\\.\\COM4"), nullptr);
  EXPECT_EQ(plat::last_comm_error(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(plat::close_comm(h));
  EXPECT_FALSE(plat::close_comm(h));
  EXPECT_EQ(plat::last_comm_error(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  // Closed: it opens again.
  h = plat::open_comm("\\\\.\\COM3");
  ASSERT_NE(h, nullptr);
  EXPECT_TRUE(plat::close_comm(h));
}

// Why an open failed, in words, with the port and its device.
TEST(CommOpen, OpenErrorsSayWhy) {
  char tmpl[] = "/tmp/kv_openXXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string dir = tmpl;
  std::ofstream(dir + "/plain") << "not a tty";
  Pty pty(3);
  plat::HCOMM busy = plat::open_comm("COM3");
  ASSERT_NE(busy, nullptr);
  struct Case {
    const char* name;
    std::string device;  // mapped to COM9 when set
    DWORD error;
    std::string text;
  };
  const Case cases[] = {
      {"COM9", dir + "/missing", ERROR_FILE_NOT_FOUND, "COM9 -> " + dir + "/missing: no such device"},
      {"COM9", dir + "/plain", ERROR_FILE_NOT_FOUND, "COM9 -> " + dir + "/plain: not a terminal device"},
      {"COM9", dir, ERROR_FILE_NOT_FOUND, "COM9 -> " + dir + ": not a terminal device"},
      {"COM9", "/dev/null", ERROR_FILE_NOT_FOUND, "COM9 -> /dev/null: not a terminal device"},
      {"COM3", "", ERROR_ACCESS_DENIED, "COM3: already open in this program"},
      {"LPT1", "", ERROR_FILE_NOT_FOUND, "LPT1: not the name of a comm port"},
  };
  for (const auto& c : cases) {
    if (!c.device.empty()) plat::map_comm_port(9, c.device);
    EXPECT_EQ(plat::open_comm(c.name), nullptr) << c.text;
    EXPECT_EQ(plat::last_comm_error(), c.error) << c.text;
    EXPECT_EQ(plat::last_comm_open_error(), c.text);
  }
  plat::close_comm(busy);
  std::filesystem::remove_all(dir);
}

// The station's port map: one "COMn=device" line a port.
TEST(CommOpen, PortMapLinesMapPorts) {
  const std::string text =
      "; the station's ports\r\n"
      "COM1=/dev/ttyS4\r\n"
      "  com2 =  /dev/serial/by-id/usb-FTDI_FT232R_A50285BI-if00-port0  \n"
      "\n"
      "# a multiport card\n"
      "\\\\.\\COM12=/dev/ttyMI0\n"
      "COM3 /dev/ttyUSB0\n"
      "COM0=/dev/ttyS9\n"
      "COM5=\n"
      "LPT1=/dev/lp0\n"
      "COM7=/dev/ttyS1";
  const std::vector<std::string> refused = plat::map_comm_ports(text);
  EXPECT_EQ(plat::comm_device(1), "/dev/ttyS4");
  EXPECT_EQ(plat::comm_device(2), "/dev/serial/by-id/usb-FTDI_FT232R_A50285BI-if00-port0");
  EXPECT_EQ(plat::comm_device(12), "/dev/ttyMI0");
  EXPECT_EQ(plat::comm_device(7), "/dev/ttyS1");
  EXPECT_EQ(plat::comm_device(3), "/dev/ttyS2") << "a refused line leaves the default";
  EXPECT_EQ(plat::comm_device(5), "/dev/ttyS4");
  EXPECT_EQ(refused, (std::vector<std::string>{
                         "line 7: \"COM3 /dev/ttyUSB0\" is not COMn=device",
                         "line 8: \"COM0=/dev/ttyS9\" is not COMn=device",
                         "line 9: \"COM5=\" is not COMn=device",
                         "line 10: \"LPT1=/dev/lp0\" is not COMn=device",
                     }));
  plat::reset_comm_ports();
}

// Programs that follow the UUCP convention (root's among them, which the
// kernel's exclusive flag does not stop) see our lock file, and we see
// theirs.
TEST(CommOpen, LockFilesKeepOtherProgramsOut) {
  char tmpl[] = "/tmp/kv_lockXXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string dir = tmpl;
  plat::set_comm_lock_dir(dir);
  Pty pty(3);
  ASSERT_EQ(pty.path.rfind("/dev/pts/", 0), 0u);
  const std::string lock = dir + "/LCK..pts_" + pty.path.substr(9);
  auto lock_text = [&] {
    std::ifstream f(lock);
    return std::string(std::istreambuf_iterator<char>(f), {});
  };
  auto holder = [](long pid) {
    char t[16];
    std::snprintf(t, sizeof t, "%10ld\n", pid);
    return std::string(t);
  };

  plat::HCOMM h = plat::open_comm("\\\\.\\COM3");
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(lock_text(), holder(getpid()));
  EXPECT_TRUE(plat::close_comm(h));
  EXPECT_FALSE(std::filesystem::exists(lock));

  struct Case {
    const char* what;
    std::string text;
    bool opens;
  };
  const Case cases[] = {
      {"held by a live program", holder(1), false},
      {"its holder is gone", holder(4194305), true},  // above any process id
      {"not a process id", "junk\n", true},
  };
  for (const auto& c : cases) {
    std::ofstream(lock) << c.text;
    h = plat::open_comm("\\\\.\\COM3");
    EXPECT_EQ(h != nullptr, c.opens) << c.what;
    if (h) {
      EXPECT_EQ(lock_text(), holder(getpid())) << c.what;
      plat::close_comm(h);
      EXPECT_FALSE(std::filesystem::exists(lock)) << c.what;
    } else {
      EXPECT_EQ(plat::last_comm_error(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
      EXPECT_EQ(lock_text(), c.text) << c.what;
    }
  }
  // No lock directory to write in: the port opens all the same.
  std::filesystem::remove(lock);
  plat::set_comm_lock_dir(dir + "/missing");
  h = plat::open_comm("\\\\.\\COM3");
  EXPECT_NE(h, nullptr);
  if (h) plat::close_comm(h);
  plat::set_comm_lock_dir("");
  std::filesystem::remove_all(dir);
}

// Every rate of the port setup's table, the odd 1800 and 7200 among them,
// reaches the device: a reopened port reads it back from the tty.
TEST(CommState, EveryBaudRateOfTheSetupTableReachesTheDevice) {
  Pty pty(2);
  for (DWORD baud : {300u, 600u, 1200u, 1800u, 2400u, 4800u, 7200u, 9600u, 19200u, 38400u, 57600u, 115200u}) {
    plat::HCOMM h = plat::open_comm("\\\\.\\COM2");
    ASSERT_NE(h, nullptr);
    plat::DCB dcb;
    ASSERT_TRUE(plat::get_comm_state(h, &dcb));
    dcb.BaudRate = baud;
    EXPECT_TRUE(plat::set_comm_state(h, &dcb)) << baud;
    plat::close_comm(h);
    h = plat::open_comm("\\\\.\\COM2");
    ASSERT_NE(h, nullptr);
    plat::DCB back;
    plat::get_comm_state(h, &back);
    EXPECT_EQ(back.BaudRate, baud);
    plat::close_comm(h);
  }
}

TEST(CommState, FramingMapsToTermiosAndXonXoffStaysOutOfTheKernel) {
  struct Case {
    BYTE bits, parity, stop;
    DWORD outx, inx, cts, check;
    tcflag_t expect;
  };
  const Case cases[] = {
      {8, NOPARITY, ONESTOPBIT, 0, 0, 0, 0, CS8},
      {7, EVENPARITY, ONESTOPBIT, 1, 1, 0, 1, CS7 | PARENB},
      {7, ODDPARITY, TWOSTOPBITS, 1, 0, 0, 1, CS7 | PARENB | PARODD | CSTOPB},
      {7, MARKPARITY, ONESTOPBIT, 0, 0, 1, 0, CS7 | PARENB | PARODD | CMSPAR | CRTSCTS},
      {8, SPACEPARITY, TWOSTOPBITS, 1, 1, 1, 1, CS8 | PARENB | CMSPAR | CSTOPB | CRTSCTS},
      {5, NOPARITY, ONESTOPBIT, 0, 0, 0, 0, CS5},
      {6, NOPARITY, ONESTOPBIT, 0, 0, 0, 0, CS6},
  };
  Pty pty(2);
  plat::HCOMM h = plat::open_comm("\\\\.\\COM2");
  ASSERT_NE(h, nullptr);
  for (const auto& c : cases) {
    plat::DCB dcb;
    plat::get_comm_state(h, &dcb);
    dcb.ByteSize = c.bits;
    dcb.Parity = c.parity;
    dcb.StopBits = c.stop;
    dcb.fOutX = c.outx;
    dcb.fInX = c.inx;
    dcb.fOutxCtsFlow = c.cts;
    dcb.fParity = c.check;
    dcb.fRtsControl = c.cts ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
    termios t{};
    t.c_iflag = IXON | IXOFF | ICRNL | ISTRIP | IGNPAR;
    t.c_lflag = ICANON | ECHO | ISIG;
    plat::dcb_to_termios(dcb, t);
    const tcflag_t watched = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;
    EXPECT_EQ(t.c_cflag & watched, c.expect) << int(c.bits) << "/" << int(c.parity);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP | IGNPAR), 0u);
    EXPECT_EQ(t.c_iflag & (PARMRK | INPCK), c.check ? PARMRK | INPCK : tcflag_t{PARMRK});
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
    // A pseudo-terminal carries no framing, but the port still takes the
    // settings and keeps the data path raw.
    ASSERT_TRUE(plat::set_comm_state(h, &dcb)) << int(c.bits) << "/" << int(c.parity);
    termios dev;
    ASSERT_EQ(tcgetattr(pty.slave, &dev), 0);
    EXPECT_EQ(dev.c_iflag & (IXON | IXOFF | ICRNL), 0u);
    EXPECT_EQ(dev.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(dev.c_cflag & (CSTOPB | CRTSCTS), c.expect & (CSTOPB | CRTSCTS));
    plat::DCB back;
    plat::get_comm_state(h, &back);
    EXPECT_EQ(back.Parity, c.parity);
  }
  plat::DCB bad;
  plat::get_comm_state(h, &bad);
  bad.ByteSize = 9;
  EXPECT_FALSE(plat::set_comm_state(h, &bad));
  EXPECT_EQ(plat::last_comm_error(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  // Queue sizes are accepted and have no effect.
  EXPECT_TRUE(plat::setup_comm(h, 16384, 16384));
  plat::close_comm(h);
}

}  // namespace
