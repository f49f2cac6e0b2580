// Port table, handle table and the comm calls of serial.h. Handles are
// numbers looked up in a table, so a call on a handle that another thread
// has closed fails with ERROR_INVALID_HANDLE instead of touching freed
// memory; a call already inside the port finishes safely.
#include <cctype>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>
#include <string_view>
#include <vector>

#include "platform/serial.h"
#include "platform/serial_port.h"
#include "platform/serial_termios.h"

namespace plat {

namespace {

thread_local DWORD t_last_error = 0;
thread_local std::string t_open_error;

struct Tables {
  std::mutex m;
  std::map<int, std::string> devices;
  SerialLineFactory factory;
  std::map<uintptr_t, std::shared_ptr<CommPort>> ports;
  std::map<uintptr_t, int> port_com;
  std::set<int> open_coms;
  uintptr_t next = 1;
};

Tables& tables() {
  static Tables t;
  return t;
}

BOOL fail(DWORD e) {
  t_last_error = e;
  return FALSE;
}

BOOL outcome(DWORD e) {
  if (e == 0) return TRUE;
  return fail(e);
}

std::shared_ptr<CommPort> find(HCOMM h) {
  auto& t = tables();
  std::lock_guard<std::mutex> g(t.m);
  auto it = t.ports.find(reinterpret_cast<uintptr_t>(h));
  if (it == t.ports.end()) return nullptr;
  return it->second;
}

// "\\.\COM12" or "COM12" -> 12; 0 when the name is not a comm port.
int com_number(const char* name) {
  std::string s = name ? name : "";
  if (s.rfind("\\\\.\\", 0) == 0) s = s.substr(4);
  if (s.size() < 4 || std::toupper(static_cast<unsigned char>(s[0])) != 'C' ||
      std::toupper(static_cast<unsigned char>(s[1])) != 'O' ||
      std::toupper(static_cast<unsigned char>(s[2])) != 'M')
    return 0;
  int n = 0;
  for (std::size_t i = 3; i < s.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(s[i])) || n > 255) return 0;
    n = n * 10 + (s[i] - '0');
  }
  return (n >= 1 && n <= 255) ? n : 0;
}

}  // namespace

void map_comm_port(int com, const std::string& device) {
  auto& t = tables();
  std::lock_guard<std::mutex> g(t.m);
  t.devices[com] = device;
}

void set_comm_line_factory(SerialLineFactory factory) {
  auto& t = tables();
  std::lock_guard<std::mutex> g(t.m);
  t.factory = std::move(factory);
}

void reset_comm_ports() {
  auto& t = tables();
  std::lock_guard<std::mutex> g(t.m);
  t.devices.clear();
  t.factory = nullptr;
}

std::string comm_device(int com) {
  auto& t = tables();
  std::lock_guard<std::mutex> g(t.m);
  auto it = t.devices.find(com);
  if (it != t.devices.end()) return it->second;
  return "/dev/ttyS" + std::to_string(com - 1);
}

DWORD last_comm_error() { return t_last_error; }

namespace {

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

}  // namespace

std::vector<std::string> map_comm_ports(std::string_view text) {
  std::vector<std::string> refused;
  int number = 0;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = trimmed(text.substr(at, end - at));
    at = end + 1;
    ++number;
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    const std::size_t eq = line.find('=');
    const std::string name(trimmed(line.substr(0, std::min(eq, line.size()))));
    const std::string device(eq == std::string_view::npos ? std::string_view() : trimmed(line.substr(eq + 1)));
    const int com = com_number(name.c_str());
    if (com == 0 || device.empty()) {
      refused.push_back("line " + std::to_string(number) + ": \"" + std::string(line) +
                        "\" is not COMn=device");
      continue;
    }
    map_comm_port(com, device);
  }
  return refused;
}

std::string last_comm_open_error() { return t_open_error; }

HCOMM open_comm(const char* name) {
  t_open_error.clear();
  int com = com_number(name);
  if (com == 0) {
    t_open_error = std::string(name ? name : "") + ": not the name of a comm port";
    fail(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  auto& t = tables();
  std::string device = comm_device(com);
  SerialLineFactory factory;
  {
    std::lock_guard<std::mutex> g(t.m);
    if (t.open_coms.count(com)) {
      t_open_error = "COM" + std::to_string(com) + ": already open in this program";
      fail(ERROR_ACCESS_DENIED);
      return nullptr;
    }
    t.open_coms.insert(com);
    factory = t.factory;
  }
  auto release = [&] {
    std::lock_guard<std::mutex> g(t.m);
    t.open_coms.erase(com);
  };
  DWORD error = ERROR_FILE_NOT_FOUND;
  take_comm_open_error();
  std::unique_ptr<SerialLine> line = factory ? factory(device, &error) : open_termios_line(device, &error);
  if (!line) {
    release();
    std::string why = take_comm_open_error();
    if (why.empty()) why = device + ": cannot be opened (error " + std::to_string(error) + ")";
    t_open_error = "COM" + std::to_string(com) + " -> " + why;
    fail(error);
    return nullptr;
  }
  auto port = std::make_shared<CommPort>(std::move(line));
  if (!port->start()) {
    release();
    t_open_error = "COM" + std::to_string(com) + " -> " + device + ": cannot be watched for input";
    fail(ERROR_GEN_FAILURE);
    return nullptr;
  }
  std::lock_guard<std::mutex> g(t.m);
  uintptr_t id = t.next++;
  t.ports[id] = port;
  t.port_com[id] = com;
  return reinterpret_cast<HCOMM>(id);
}

BOOL close_comm(HCOMM h) {
  auto& t = tables();
  std::shared_ptr<CommPort> port;
  int com = 0;
  {
    std::lock_guard<std::mutex> g(t.m);
    auto it = t.ports.find(reinterpret_cast<uintptr_t>(h));
    if (it == t.ports.end()) return fail(ERROR_INVALID_HANDLE);
    port = it->second;
    t.ports.erase(it);
    com = t.port_com[reinterpret_cast<uintptr_t>(h)];
    t.port_com.erase(reinterpret_cast<uintptr_t>(h));
  }
  port->close();
  std::lock_guard<std::mutex> g(t.m);
  t.open_coms.erase(com);
  return TRUE;
}

#define KV_WITH_PORT(h)            \
  auto port = find(h);             \
  if (!port) return fail(ERROR_INVALID_HANDLE)

BOOL get_comm_state(HCOMM h, DCB* dcb) {
  KV_WITH_PORT(h);
  return outcome(port->get_state(dcb));
}

BOOL set_comm_state(HCOMM h, const DCB* dcb) {
  KV_WITH_PORT(h);
  return outcome(port->set_state(dcb));
}

BOOL setup_comm(HCOMM h, DWORD, DWORD) {
  KV_WITH_PORT(h);
  return TRUE;
}

BOOL get_comm_timeouts(HCOMM h, COMMTIMEOUTS* t) {
  KV_WITH_PORT(h);
  return outcome(port->get_timeouts(t));
}

BOOL set_comm_timeouts(HCOMM h, const COMMTIMEOUTS* t) {
  KV_WITH_PORT(h);
  return outcome(port->set_timeouts(t));
}

BOOL read_comm(HCOMM h, void* buf, DWORD n, DWORD* done, OVERLAPPED* ov) {
  if (done) *done = 0;
  KV_WITH_PORT(h);
  return outcome(port->read(buf, n, done, ov));
}

BOOL write_comm(HCOMM h, const void* buf, DWORD n, DWORD* done, OVERLAPPED* ov) {
  if (done) *done = 0;
  KV_WITH_PORT(h);
  return outcome(port->write(buf, n, done, ov));
}

// The outcome lives in the record, so an operation ended by a close (or
// a close and reopen) still reports how it ended.
BOOL get_overlapped_result(HCOMM h, OVERLAPPED* ov, DWORD* done, BOOL wait) {
  if (done) *done = 0;
  DWORD e = CommPort::result(ov, done, wait != FALSE);
  if (e == ERROR_INVALID_PARAMETER && !find(h)) e = ERROR_INVALID_HANDLE;
  return outcome(e);
}

BOOL set_comm_mask(HCOMM h, DWORD mask) {
  KV_WITH_PORT(h);
  return outcome(port->set_mask(mask));
}

BOOL get_comm_mask(HCOMM h, DWORD* mask) {
  KV_WITH_PORT(h);
  return outcome(port->get_mask(mask));
}

BOOL wait_comm_event(HCOMM h, DWORD* mask, OVERLAPPED* ov) {
  KV_WITH_PORT(h);
  return outcome(port->wait_event(mask, ov));
}

BOOL purge_comm(HCOMM h, DWORD flags) {
  KV_WITH_PORT(h);
  return outcome(port->purge(flags));
}

BOOL clear_comm_error(HCOMM h, DWORD* errors, COMSTAT* stat) {
  KV_WITH_PORT(h);
  return outcome(port->clear_error(errors, stat));
}

// We never send a break, so there is no break state of ours to clear.
BOOL clear_comm_break(HCOMM h) {
  KV_WITH_PORT(h);
  return TRUE;
}

BOOL get_comm_modem_status(HCOMM h, DWORD* status) {
  KV_WITH_PORT(h);
  return outcome(port->modem_status(status));
}

BOOL escape_comm_function(HCOMM h, DWORD function) {
  KV_WITH_PORT(h);
  return outcome(port->escape(function));
}

}  // namespace plat
