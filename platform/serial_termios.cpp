// The default serial line: a tty device driven with termios, non-blocking,
// exclusive (TIOCEXCL against other openers, flock against our own second
// open, which TIOCEXCL does not stop for root).
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include "platform/serial.h"
#include "platform/serial_termios.h"

namespace plat {

bool set_any_baud(int fd, unsigned baud);
unsigned get_any_baud(int fd);

namespace {

struct BaudCode {
  unsigned baud;
  speed_t code;
};

constexpr BaudCode kBauds[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},       {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

class TermiosLine : public SerialLine {
 public:
  explicit TermiosLine(int fd) : fd_(fd) {}
  ~TermiosLine() override {
    ioctl(fd_, TIOCNXCL);  // the exclusive mark outlives us when others hold the tty open
    close(fd_);
  }

  int fd() const override { return fd_; }

  bool configure(const DCB& dcb) override {
    termios t;
    if (tcgetattr(fd_, &t) != 0) return false;
    dcb_to_termios(dcb, t);
    bool standard = false;
    t.c_cflag &= ~CIBAUD;  // input speed follows the output speed
    for (const auto& b : kBauds)
      if (b.baud == dcb.BaudRate) {
        cfsetispeed(&t, b.code);
        cfsetospeed(&t, b.code);
        standard = true;
      }
    if (tcsetattr(fd_, TCSANOW, &t) != 0) {
      // A pseudo-terminal is always 8 bits without parity and refuses
      // anything else; the rest of the settings still matter on it.
      if (errno != EINVAL || !is_pseudo_terminal()) return false;
      t.c_cflag = (t.c_cflag & ~(CSIZE | PARENB)) | CS8;
      if (tcsetattr(fd_, TCSANOW, &t) != 0) return false;
    }
    return standard || set_any_baud(fd_, dcb.BaudRate);
  }

  void current(DCB& dcb) override {
    termios t;
    if (tcgetattr(fd_, &t) != 0) return;
    unsigned baud = get_any_baud(fd_);
    if (baud != 0) dcb.BaudRate = baud;
    switch (t.c_cflag & CSIZE) {
      case CS5: dcb.ByteSize = 5; break;
      case CS6: dcb.ByteSize = 6; break;
      case CS7: dcb.ByteSize = 7; break;
      default: dcb.ByteSize = 8; break;
    }
    if (!(t.c_cflag & PARENB))
      dcb.Parity = NOPARITY;
    else if (t.c_cflag & CMSPAR)
      dcb.Parity = (t.c_cflag & PARODD) ? MARKPARITY : SPACEPARITY;
    else
      dcb.Parity = (t.c_cflag & PARODD) ? ODDPARITY : EVENPARITY;
    dcb.StopBits = (t.c_cflag & CSTOPB) ? TWOSTOPBITS : ONESTOPBIT;
  }

  long read(unsigned char* buf, std::size_t n) override {
    ssize_t r = ::read(fd_, buf, n);
    if (r >= 0) return r == 0 ? -1 : r;  // end of file: the other side is gone
    return (errno == EAGAIN || errno == EINTR) ? 0 : -1;
  }

  long write(const unsigned char* buf, std::size_t n) override {
    ssize_t r = ::write(fd_, buf, n);
    if (r >= 0) return r;
    return (errno == EAGAIN || errno == EINTR) ? 0 : -1;
  }

  DWORD modem_status() override {
    int bits = 0;
    if (ioctl(fd_, TIOCMGET, &bits) != 0) return MS_CTS_ON | MS_DSR_ON;
    DWORD s = 0;
    if (bits & TIOCM_CTS) s |= MS_CTS_ON;
    if (bits & TIOCM_DSR) s |= MS_DSR_ON;
    if (bits & TIOCM_RNG) s |= MS_RING_ON;
    if (bits & TIOCM_CAR) s |= MS_RLSD_ON;
    return s;
  }

  bool set_dtr(bool on) override { return set_modem_bit(TIOCM_DTR, on); }
  bool set_rts(bool on) override { return set_modem_bit(TIOCM_RTS, on); }

  DWORD out_queue() override {
    int n = 0;
    if (ioctl(fd_, TIOCOUTQ, &n) != 0 || n < 0) return 0;
    return static_cast<DWORD>(n);
  }

  void flush_input() override { tcflush(fd_, TCIFLUSH); }
  void flush_output() override { tcflush(fd_, TCOFLUSH); }

 private:
  bool is_pseudo_terminal() const {
    struct stat st;
    if (fstat(fd_, &st) != 0) return false;
    unsigned maj = major(st.st_rdev);
    return maj >= 136 && maj <= 143;  // Unix98 pty slaves
  }

  bool set_modem_bit(int bit, bool on) {
    if (ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bit) == 0) return true;
    // A pseudo-terminal has no modem lines; there is nothing to drive.
    return errno == ENOTTY || errno == EINVAL;
  }

  int fd_;
};

}  // namespace

void dcb_to_termios(const DCB& dcb, termios& t) {
  t.c_iflag &= ~(IGNBRK | BRKINT | IGNPAR | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY);
  // Breaks and (with parity checking) parity errors arrive marked.
  t.c_iflag |= PARMRK;
  if (dcb.fParity)
    t.c_iflag |= INPCK;
  else
    t.c_iflag &= ~INPCK;
  t.c_oflag &= ~OPOST;
  t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  t.c_cflag |= CREAD | CLOCAL;
  switch (dcb.ByteSize) {
    case 5: t.c_cflag |= CS5; break;
    case 6: t.c_cflag |= CS6; break;
    case 7: t.c_cflag |= CS7; break;
    default: t.c_cflag |= CS8; break;
  }
  switch (dcb.Parity) {
    case ODDPARITY: t.c_cflag |= PARENB | PARODD; break;
    case EVENPARITY: t.c_cflag |= PARENB; break;
    case MARKPARITY: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case SPACEPARITY: t.c_cflag |= PARENB | CMSPAR; break;
    default: break;
  }
  if (dcb.StopBits != ONESTOPBIT) t.c_cflag |= CSTOPB;
  if (dcb.fOutxCtsFlow || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE) t.c_cflag |= CRTSCTS;
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
}

std::unique_ptr<SerialLine> open_termios_line(const std::string& device, DWORD* error) {
  int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (error) *error = (errno == EBUSY || errno == EACCES || errno == EPERM) ? ERROR_ACCESS_DENIED
                                                                             : ERROR_FILE_NOT_FOUND;
    return nullptr;
  }
  if (!isatty(fd)) {
    close(fd);
    if (error) *error = ERROR_FILE_NOT_FOUND;
    return nullptr;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    if (error) *error = ERROR_ACCESS_DENIED;
    return nullptr;
  }
  ioctl(fd, TIOCEXCL);
  return std::make_unique<TermiosLine>(fd);
}

}  // namespace plat
