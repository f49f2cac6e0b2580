// The Unix link: runs commands on a Unix host and copies files from it,
// through the two remote-shell plug-ins (RCMD32 and RCP32, see
// platform/remote_shell_abi.h) loaded from the plug-in directory.
//
// Each user action makes its own link, Inits it (unixlink.cfg is read and
// both plug-ins are loaded anew), uses it and destroys it; nothing of a
// link outlives the action. Everything runs on the UI thread; the plug-in
// calls block until the host answers or their time-out passes.
//
// unixlink.cfg, in the configuration directory: one setting a line; an
// empty line and one that starts with ";" are skipped. The key is looked
// for in the line before its value (the first "=" or double quote), the
// keys in the order of kUnixLinkKeys, so UNIX_COMMAND1 is taken before
// COMMAND and ARGUMENT_TITLE before TITLE. A text is what stands between
// the first two double quotes; a number or flag follows the first "=".
// A numbered key's set digit (1 or 2) and, for COMMANDxy and TITLExy, its
// step digit (1 to 5) follow the key name directly; any other digit makes
// the line change nothing.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "platform/remote_shell_abi.h"
#include "appcore/message_ids.h"
#include "platform/wintypes.h"

class TListBox;
class TWindow;

// Results of TNCUnixLink::Init.
enum : int {
  kUnixLinkReady = 0,
  kUnixLinkNoRcmd = 1,
  kUnixLinkNoRcp = 2,
  kUnixLinkRcmdEntry = 3,
  kUnixLinkRcpEntry = 4,
  kUnixLinkNoConfig = 5,
};

// The message that tells an Init result (0 for kUnixLinkReady).
int UnixLinkInitMessage(int initResult);

constexpr int kUnixSets = 2;
constexpr int kUnixSteps = 5;
constexpr int kUnixArguments = 5;
// An argument of a command set holds up to 99 characters.
constexpr std::size_t kUnixArgumentLength = 99;
// The output text: the lines each followed by kUnixLineEnd, in 4096 bytes
// with the zero; only whole lines are kept.
constexpr std::size_t kUnixOutputSize = 4096;
constexpr char kUnixLineEnd = '\xAD';
// An output line longer than this is cut into pieces of it.
constexpr std::size_t kUnixLineLength = 255;
constexpr int kUnixNoHostResult = -9999;

using UnixText = std::optional<std::string>;

// What unixlink.cfg says; an absent text is no text at all, not an empty one.
struct TUnixLinkConfig {
  UnixText HostName;
  int Port = KV_REXEC_PORT;
  // No built-in login: without both, nothing is run or copied.
  UnixText UserName;
  UnixText Password;
  UnixText Command1 = std::string("ls -c *.nc");
  UnixText Command2;
  UnixText WinTitle1 = std::string("This is the first title");
  UnixText WinTitle2 = std::string("This is the second title");
  UnixText FileDirectory = std::string("./");
  // Per command set (index 0 is set 1).
  std::array<bool, kUnixSets> OrderDialog{};
  std::array<UnixText, kUnixSets> ButtonText;
  std::array<UnixText, kUnixSets> ArgumentTitle;
  std::array<bool, kUnixSets> ArgumentDialog{};
  std::array<std::array<UnixText, kUnixSteps>, kUnixSets> Commands;
  std::array<std::array<UnixText, kUnixSteps>, kUnixSets> Titles;
};

// Applies one line of unixlink.cfg.
void ApplyUnixLinkLine(TUnixLinkConfig& config, std::string_view line);

// The five arguments of a running command set.
using UnixArguments = std::array<std::string, kUnixArguments>;

// A command text with "%1" to "%5" replaced by the arguments, each quoted
// for the host's POSIX shell by where it stands: outside quotes as '...';
// inside '...' only ' is escaped; inside "..." $ ` " and \ are escaped;
// inside backquotes \ ` and $ take one backslash more for each level.
// Any other "%" stays as written.
std::string FillUnixCommand(const std::string& command, const UnixArguments& args);
// The command with the value, quoted as above, in place of its first "%s".
std::string FillUnixCommandName(const std::string& command, const std::string& value);
// A title (a caption, never run) with the arguments as they are.
std::string FillUnixTitle(const std::string& title, const UnixArguments& args);
// The text with value in place of its first "%s".
std::string FillFirstS(const std::string& text, const std::string& value);
// A word for the host's shell: '...' with ' written '\''.
std::string QuoteUnixWord(const std::string& value);

// The name a copied file keeps locally: the last path component of the
// chosen name. False for an empty, "." or ".." name, and for a name with
// control characters.
bool UnixLocalName(const std::string& chosen, std::string& name);

// Splits a command's output into lines: at CR and LF, a line longer than
// kUnixLineLength cut into pieces of it, no empty lines.
class TUnixOutputLines {
 public:
  template <class Line>
  void Feed(const char* bytes, std::size_t count, Line&& line) {
    for (std::size_t i = 0; i < count; i++) {
      const char c = bytes[i];
      if (c == '\r' || c == '\n') {
        Flush(line);
        continue;
      }
      pending_ += c;
      if (pending_.size() == kUnixLineLength) Flush(line);
    }
  }
  template <class Line>
  void Flush(Line&& line) {
    if (!pending_.empty()) line(pending_);
    pending_.clear();
  }

 private:
  std::string pending_;
};

class TNCUnixLink {
 public:
  // Boxes the link shows are owned by owner (none: the focused window).
  explicit TNCUnixLink(TWindow* owner = nullptr);
  ~TNCUnixLink();
  TNCUnixLink(const TNCUnixLink&) = delete;
  TNCUnixLink& operator=(const TNCUnixLink&) = delete;

  // Reads unixlink.cfg and loads both plug-ins; kUnixLinkReady or the
  // first failure. Shows nothing: the callers tell it.
  int Init();
  // 0 read, 1 file missing. The settings start from their defaults.
  int ReadConfig();

  // Starts a command: 0, or kUnixNoHostResult after message 500 (no host)
  // or 508 (no login), or the plug-in's negative result (nothing shown:
  // the callers say 502, with LastError()).
  int RemoteCommand(const char* host, int port, const char* user, const char* password, const std::string& command);
  // The started command's output: every line to the list, or to text
  // (each line followed by kUnixLineEnd, whole lines while they fit).
  // The command is closed after. 0 at its end, negative when the host
  // failed or stopped answering (the lines so far are kept).
  int ReadOutputToList(TListBox& list);
  int ReadOutputToText(std::string& text);
  // Reads and drops the output; the command stays open.
  int DrainOutput();
  // Copies directory/fileName from the host to localPath (native): 0, or
  // kUnixNoHostResult after message 500 or 508, or the plug-in's negative
  // result after message 501.
  int CopyFile(const char* user, const char* host, const std::string& directory, const std::string& fileName,
               const std::string& localPath);

  // The configured login, as RemoteCommand takes it (null: none).
  const char* Host() const { return Text(Config.HostName); }
  const char* User() const { return Text(Config.UserName); }
  const char* Pass() const { return Text(Config.Password); }
  // Starts a command with the configured host, port and login.
  int Run(const std::string& command) { return RemoteCommand(Host(), Config.Port, User(), Pass(), command); }
  // Why the last command or copy failed, from the plug-in.
  const std::string& LastError() const { return lastError_; }
  // An information box with the message and, on a line of its own, detail.
  void Tell(int messageId, const std::string& detail = {}) const;

  TUnixLinkConfig Config;

 private:
  static const char* Text(const UnixText& t) { return t ? t->c_str() : nullptr; }
  template <class Line>
  int ReadLines(Line&& line);
  void CloseCommand();
  bool HasLogin(const char* user, const char* password) const;

  TWindow* owner_;
  HMODULE rcmdLibrary_ = nullptr;
  kv_winsock_rcmd_fn WinsockRCmd = nullptr;
  kv_rcmd_read_fn RCmdRead = nullptr;
  kv_rcmd_read_byte_fn RCmdReadByte = nullptr;
  kv_rcmd_close_fn RCmdClose = nullptr;
  kv_rcmd_handle_fn RCmdHandle = nullptr;
  kv_rcmd_send_fn RCmdSend = nullptr;
  int commandHandle_ = -1;
  bool commandOpen_ = false;
  HMODULE rcpLibrary_ = nullptr;
  kv_winsock_rcp_fn WinsockRCP = nullptr;
  kv_winsock_rcp2_fn WinsockRCP2 = nullptr;
  kv_winsock_arr_rcp_fn WinsockArrRCP = nullptr;
  kv_winsock_arr_rcp2_fn WinsockArrRCP2 = nullptr;
  std::string lastError_;
};
