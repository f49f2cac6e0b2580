// Network drives as entries of the drive table; the table of connections
// made by this process sits beside it under one lock.
#include "app/profile_net.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <mutex>

#include "platform/path.h"

namespace {

namespace fs = std::filesystem;

std::mutex& NetMutex() {
  static std::mutex m;
  return m;
}

// Drive letter -> remote name.
std::map<char, std::string>& Connections() {
  static std::map<char, std::string> c;
  return c;
}

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

// The entry of dir named `name` in any letter case; empty when none.
fs::path ChildAnyCase(const fs::path& dir, const std::string& name) {
  std::error_code ec;
  if (fs::is_directory(dir / name, ec)) return dir / name;
  for (const auto& e : fs::directory_iterator(dir, ec))
    if (Upper(e.path().filename().string()) == Upper(name)) return e.path();
  return {};
}

bool PlainName(const std::string& s) {
  return !s.empty() && s != "." && s != ".." && s.find_first_of("/\\") == std::string::npos;
}

// The drive letter of "X:" (or "X"), or 0.
char DriveLetter(const std::string& local) {
  if (local.empty()) return 0;
  char c = static_cast<char>(Upper(local.substr(0, 1))[0]);
  if (c < 'A' || c > 'Z') return 0;
  if (local.size() > 2 || (local.size() == 2 && local[1] != ':')) return 0;
  return c;
}

// "\\SERVER\SHARE" into its two names; false when it is not of that form.
bool SplitRemote(const std::string& remote, std::string& server, std::string& share) {
  if (remote.size() < 5 || remote.compare(0, 2, "\\\\") != 0) return false;
  size_t sep = remote.find('\\', 2);
  if (sep == std::string::npos) return false;
  server = remote.substr(2, sep - 2);
  share = remote.substr(sep + 1);
  return PlainName(server) && PlainName(share);
}

}  // namespace

std::string NetShareDirectory(const std::string& server, const std::string& share) {
  if (!PlainName(server) || !PlainName(share)) return {};
  fs::path serverDir = ChildAnyCase(fs::path(plat::base_directory()) / "net", server);
  if (serverDir.empty()) return {};
  fs::path shareDir = ChildAnyCase(serverDir, share);
  std::error_code ec;
  if (shareDir.empty() || !fs::is_directory(shareDir, ec)) return {};
  return shareDir.string();
}

std::vector<std::string> NetShares() {
  std::vector<std::string> shares;
  std::error_code ec;
  for (const auto& server : fs::directory_iterator(fs::path(plat::base_directory()) / "net", ec)) {
    std::error_code inner;
    if (!server.is_directory(inner) || !PlainName(server.path().filename().string())) continue;
    for (const auto& share : fs::directory_iterator(server.path(), inner)) {
      std::error_code kind;
      if (share.is_directory(kind) && PlainName(share.path().filename().string()))
        shares.push_back("\\\\" + server.path().filename().string() + "\\" + share.path().filename().string());
    }
  }
  std::sort(shares.begin(), shares.end());
  return shares;
}

int NetGetConnection(const std::string& local, std::string& remote) {
  char drive = DriveLetter(local);
  std::lock_guard lock(NetMutex());
  auto it = Connections().find(drive);
  if (it == Connections().end()) return kNetNotConnected;
  remote = it->second;
  return kNetOk;
}

int NetCancelConnection(const std::string& local) {
  char drive = DriveLetter(local);
  std::lock_guard lock(NetMutex());
  if (!Connections().erase(drive)) return kNetNotConnected;
  plat::set_drive_root(drive, "");
  return kNetOk;
}

int NetAddConnection(const std::string& local, const std::string& remote, const char*, const char*) {
  char drive = DriveLetter(local);
  std::string server, share;
  if (!drive || !SplitRemote(remote, server, share)) return kNetBadNetName;
  std::lock_guard lock(NetMutex());
  auto it = Connections().find(drive);
  if (it != Connections().end()) return Upper(it->second) == Upper(remote) ? kNetAlreadyAssigned : kNetAccessDenied;
  std::string dir = NetShareDirectory(server, share);
  if (dir.empty()) return kNetBadNetName;
  if (access(dir.c_str(), R_OK | W_OK | X_OK) != 0) return kNetAccessDenied;
  if (!plat::set_drive_root(drive, dir)) return kNetBadNetName;
  Connections()[drive] = remote;
  return kNetOk;
}
