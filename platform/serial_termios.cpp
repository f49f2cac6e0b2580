// The default serial line: a tty device driven with termios, non-blocking,
// exclusive: a UUCP lock file keeps out programs that follow the
// convention (root among them), TIOCEXCL keeps out other openers that are
// not root, and flock keeps out our own second open.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

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

// ---- UUCP lock files ----
//
// "LCK..<device>" in the lock directory holds the owner's process id as
// ten ASCII digits and a newline. It is made under a temporary name and
// linked into place, so two programs cannot both take it; a file whose
// process is gone is stale and taken over.

std::mutex g_lock_dir_m;
std::string g_lock_dir;

std::string lock_dir() {
  {
    std::lock_guard<std::mutex> g(g_lock_dir_m);
    if (!g_lock_dir.empty()) return g_lock_dir;
  }
  for (const char* d : {"/run/lock", "/var/lock"}) {
    struct stat st;
    if (stat(d, &st) == 0 && S_ISDIR(st.st_mode)) return d;
  }
  return "";
}

// /dev/ttyS0 -> LCK..ttyS0, /dev/pts/3 -> LCK..pts_3; links are followed so
// every name of a device shares one lock.
std::string lock_file_name(const std::string& device) {
  char real[PATH_MAX];
  std::string path = realpath(device.c_str(), real) ? real : device;
  if (path.rfind("/dev/", 0) == 0) path = path.substr(5);
  for (char& c : path)
    if (c == '/') c = '_';
  return "LCK.." + path;
}

// The process that holds a lock file; 0 when there is none or the file
// makes no sense.
long lock_owner(const std::string& file) {
  FILE* f = std::fopen(file.c_str(), "re");
  if (!f) return 0;
  long pid = 0;
  if (std::fscanf(f, "%ld", &pid) != 1) pid = 0;
  std::fclose(f);
  return pid > 0 ? pid : 0;
}

bool process_alive(long pid) { return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM; }

bool held_by_live_process(const std::string& file) {
  long owner = lock_owner(file);
  return owner > 0 && process_alive(owner);
}

enum class LockResult { kTaken, kBusy, kNone };

LockResult take_lock_file(const std::string& device, std::string* taken) {
  static std::atomic<unsigned> serial{0};
  std::string dir = lock_dir();
  if (dir.empty()) return LockResult::kNone;
  std::string file = dir + "/" + lock_file_name(device);
  for (int attempt = 0; attempt < 3; ++attempt) {
    std::string tmp = dir + "/LTMP." + std::to_string(getpid()) + "." + std::to_string(serial++);
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
      // No say in the directory: go without a lock of ours, but still
      // respect one another program holds.
      return held_by_live_process(file) ? LockResult::kBusy : LockResult::kNone;
    }
    char text[32];
    int len = std::snprintf(text, sizeof text, "%10ld\n", static_cast<long>(getpid()));
    bool written = ::write(fd, text, static_cast<std::size_t>(len)) == len;
    ::close(fd);
    int linked = written ? link(tmp.c_str(), file.c_str()) : -1;
    int link_errno = errno;
    unlink(tmp.c_str());
    if (linked == 0) {
      *taken = file;
      return LockResult::kTaken;
    }
    if (!written || link_errno != EEXIST)
      return held_by_live_process(file) ? LockResult::kBusy : LockResult::kNone;
    if (held_by_live_process(file)) return LockResult::kBusy;
    unlink(file.c_str());  // stale
  }
  return LockResult::kBusy;
}

void drop_lock_file(const std::string& file) {
  if (!file.empty() && lock_owner(file) == static_cast<long>(getpid())) unlink(file.c_str());
}

class TermiosLine : public SerialLine {
 public:
  TermiosLine(int fd, std::string lock_file) : fd_(fd), lock_file_(std::move(lock_file)) {
    pty_ = is_pseudo_terminal();
  }
  ~TermiosLine() override {
    ioctl(fd_, TIOCNXCL);  // the exclusive mark outlives us when others hold the tty open
    // A pseudo-terminal's name passes to the next one opened once it is
    // closed: its lock goes first, so that one never finds ours.
    if (pty_) drop_lock_file(lock_file_);
    close(fd_);
    if (!pty_) drop_lock_file(lock_file_);
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

  bool reports_out_queue() const override { return !pty_; }

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
  std::string lock_file_;
  bool pty_ = false;
};

}  // namespace

void set_comm_lock_dir(const std::string& dir) {
  std::lock_guard<std::mutex> g(g_lock_dir_m);
  g_lock_dir = dir;
}

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
  auto refuse = [&](DWORD e, const std::string& why) -> std::unique_ptr<SerialLine> {
    if (error) *error = e;
    set_comm_open_error(device + ": " + why);
    return nullptr;
  };
  struct stat st;
  if (stat(device.c_str(), &st) != 0) {
    if (errno == EACCES) return refuse(ERROR_ACCESS_DENIED, "no permission to reach the device");
    return refuse(ERROR_FILE_NOT_FOUND, "no such device");
  }
  if (!S_ISCHR(st.st_mode)) return refuse(ERROR_FILE_NOT_FOUND, "not a terminal device");
  // The lock comes first: opening a tty can already raise its modem lines.
  std::string lock_file;
  if (take_lock_file(device, &lock_file) == LockResult::kBusy)
    return refuse(ERROR_ACCESS_DENIED, "in use by another program (" + lock_dir() + "/" + lock_file_name(device) + ")");
  auto fail = [&](DWORD e, int fd, const std::string& why) -> std::unique_ptr<SerialLine> {
    if (fd >= 0) close(fd);
    drop_lock_file(lock_file);
    return refuse(e, why);
  };
  int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int e = errno;
    if (e == EACCES || e == EPERM)
      return fail(ERROR_ACCESS_DENIED, -1, "permission denied (the user needs the group that owns the device, "
                                           "usually dialout)");
    if (e == EBUSY) return fail(ERROR_ACCESS_DENIED, -1, "in use by another program");
    return fail(ERROR_FILE_NOT_FOUND, -1, std::strerror(e));
  }
  if (!isatty(fd)) return fail(ERROR_FILE_NOT_FOUND, fd, "not a terminal device");
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) return fail(ERROR_ACCESS_DENIED, fd, "in use by another program");
  ioctl(fd, TIOCEXCL);
  return std::make_unique<TermiosLine>(fd, lock_file);
}

namespace {
thread_local std::string t_open_error;
}

void set_comm_open_error(std::string text) { t_open_error = std::move(text); }

std::string take_comm_open_error() {
  std::string text;
  text.swap(t_open_error);
  return text;
}

}  // namespace plat
