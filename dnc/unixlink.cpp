// The Unix link's settings, its plug-ins and the texts it sends; see
// unixlink.h.
#include "dnc/unixlink.h"

#include <cstring>
#include <vector>

#include "appcore/globals.h"
#include "appcore/myfile.h"
#include "appcore/text_scan.h"
#include "platform/msgbox.h"
#include "platform/plugin.h"
#include "platform/ui/listbox.h"
#include "platform/ui/window.h"

namespace {

enum class KeyKind { Text, Port, Flag, SetText, SetFlag, StepText };

struct Key {
  const char* name;
  KeyKind kind;
  UnixText TUnixLinkConfig::*text = nullptr;
};

// Tested in this order: the first key found decides.
const Key kUnixLinkKeys[] = {
    {"UNIX_HOST_NAME", KeyKind::Text, &TUnixLinkConfig::HostName},
    {"UNIX_USER_NAME", KeyKind::Text, &TUnixLinkConfig::UserName},
    {"UNIX_HOST_PORT", KeyKind::Port},
    {"UNIX_USER_PASSWORD", KeyKind::Text, &TUnixLinkConfig::Password},
    {"UNIX_COMMAND1", KeyKind::Text, &TUnixLinkConfig::Command1},
    {"UNIX_COMMAND2", KeyKind::Text, &TUnixLinkConfig::Command2},
    {"UNIX_WINTITLE1", KeyKind::Text, &TUnixLinkConfig::WinTitle1},
    {"UNIX_WINTITLE2", KeyKind::Text, &TUnixLinkConfig::WinTitle2},
    {"UNIX_FILE_DIRECTORY", KeyKind::Text, &TUnixLinkConfig::FileDirectory},
    {"ARGUMENT_DIALOG", KeyKind::SetFlag},
    {"BRASKOLM_F_ORDRE", KeyKind::SetFlag},
    {"BUTTON_TEXT", KeyKind::SetText},
    {"ARGUMENT_TITLE", KeyKind::SetText},
    {"COMMAND", KeyKind::StepText},
    {"TITLE", KeyKind::StepText},
};

// The digit at i as a number from 1 to last, else 0.
int DigitAt(std::string_view s, std::size_t i, int last) {
  if (i >= s.size() || s[i] < '1' || s[i] > '0' + last) return 0;
  return s[i] - '0';
}

// The number after the first "=", when the line has one.
std::optional<long> NumberAfterEquals(std::string_view line) {
  const std::size_t eq = line.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  return DecimalValue(line.substr(eq + 1));
}

std::optional<std::string> TextOf(std::string_view line) {
  std::string value;
  if (!QuotedText(line, value)) return std::nullopt;
  return value;
}

// A key of a command set: its digits follow the key name in the head.
void ApplySetKey(TUnixLinkConfig& c, const Key& key, std::string_view line, std::string_view head,
                 std::size_t keyEnd) {
  const std::string_view name = key.name;
  const int set = DigitAt(head, keyEnd, kUnixSets);
  if (!set) return;
  if (key.kind == KeyKind::SetFlag) {
    const auto n = NumberAfterEquals(line);
    if (n) (name == "ARGUMENT_DIALOG" ? c.ArgumentDialog : c.OrderDialog)[set - 1] = *n == 1;
    return;
  }
  auto text = TextOf(line);
  if (!text) return;
  if (key.kind == KeyKind::SetText) {
    (name == "BUTTON_TEXT" ? c.ButtonText : c.ArgumentTitle)[set - 1] = std::move(text);
  } else if (const int step = DigitAt(head, keyEnd + 1, kUnixSteps)) {
    (name == "COMMAND" ? c.Commands : c.Titles)[set - 1][step - 1] = std::move(text);
  }
}

enum class Ctx { Outside, Single, Double, Substitution, Backquote };

// A value for the shell at a place of the given kind.
std::string QuoteFor(Ctx ctx, const std::string& value) {
  std::string out;
  switch (ctx) {
    case Ctx::Single:
      for (char c : value) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
      return out;
    case Ctx::Double:
      for (char c : value) {
        if (c == '$' || c == '`' || c == '"' || c == '\\') out += '\\';
        out += c;
      }
      return out;
    default:
      return QuoteUnixWord(value);
  }
}

// Inside backquotes the shell takes a backslash before \ ` and $ away
// before it reads the command: those get one more.
std::string EscapeForBackquote(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\' || c == '`' || c == '$') out += '\\';
    out += c;
  }
  return out;
}

// Copies text, replacing what placeholder() recognises at a position (its
// length and value) by the value quoted for the shell where it stands.
// Quotes, backslashes, "$(" ... ")" and backquotes are followed, nested.
template <class Placeholder>
std::string FillForShell(const std::string& text, Placeholder&& placeholder) {
  std::vector<Ctx> stack{Ctx::Outside};
  std::string out;
  const std::size_t n = text.size();
  for (std::size_t i = 0; i < n; i++) {
    const Ctx top = stack.back();
    std::size_t length = 0;
    std::string value;
    if (placeholder(text, i, length, value)) {
      std::string quoted = QuoteFor(top, value);
      for (Ctx level : stack)
        if (level == Ctx::Backquote) quoted = EscapeForBackquote(quoted);
      out += quoted;
      i += length - 1;
      continue;
    }
    const char c = text[i];
    out += c;
    const bool opensSubstitution = c == '$' && i + 1 < n && text[i + 1] == '(';
    if (top == Ctx::Single) {
      if (c == '\'') stack.pop_back();
    } else if (c == '\\' && i + 1 < n) {
      out += text[++i];
    } else if (top == Ctx::Double) {
      if (c == '"') {
        stack.pop_back();
      } else if (opensSubstitution) {
        out += text[++i];
        stack.push_back(Ctx::Substitution);
      } else if (c == '`') {
        stack.push_back(Ctx::Backquote);
      }
    } else if (c == '\'') {
      stack.push_back(Ctx::Single);
    } else if (c == '"') {
      stack.push_back(Ctx::Double);
    } else if (opensSubstitution) {
      out += text[++i];
      stack.push_back(Ctx::Substitution);
    } else if (c == '`') {
      if (top == Ctx::Backquote) stack.pop_back();
      else stack.push_back(Ctx::Backquote);
    } else if (c == ')' && top == Ctx::Substitution) {
      stack.pop_back();
    }
  }
  return out;
}

// "%1" to "%5" of a command set.
struct ArgumentPlaceholder {
  const UnixArguments& args;
  bool operator()(const std::string& text, std::size_t i, std::size_t& length, std::string& value) const {
    if (text[i] != '%' || i + 1 >= text.size() || text[i + 1] < '1' || text[i + 1] > '0' + kUnixArguments)
      return false;
    length = 2;
    value = args[text[i + 1] - '1'];
    return true;
  }
};

// The first "%s" only.
struct FirstS {
  const std::string& name;
  bool done = false;
  bool operator()(const std::string& text, std::size_t i, std::size_t& length, std::string& value) {
    if (done || text.compare(i, 2, "%s") != 0) return false;
    done = true;
    length = 2;
    value = name;
    return true;
  }
};

std::string ReadErrorText(int result) {
  return result == KV_REMOTE_TIMEOUT ? "The host did not answer in time." : "The connection to the host broke.";
}

}  // namespace

int UnixLinkInitMessage(int initResult) {
  switch (initResult) {
    case kUnixLinkNoRcmd: return kMsgUnixNoRcmd;
    case kUnixLinkNoRcp: return kMsgUnixNoRcp;
    case kUnixLinkRcmdEntry: return kMsgUnixRcmdEntry;
    case kUnixLinkRcpEntry: return kMsgUnixRcpEntry;
    case kUnixLinkNoConfig: return kMsgUnixNoConfig;
    default: return 0;
  }
}

void ApplyUnixLinkLine(TUnixLinkConfig& c, std::string_view line) {
  if (line.empty() || line[0] == ';') return;
  // Only the part before the value holds the key: a text that names a key
  // is a text.
  const std::string_view head = line.substr(0, line.find_first_of("=\""));
  for (const Key& key : kUnixLinkKeys) {
    const std::size_t at = head.find(key.name);
    if (at == std::string_view::npos) continue;
    const std::size_t keyEnd = at + std::strlen(key.name);
    switch (key.kind) {
      case KeyKind::Text:
        if (auto text = TextOf(line)) c.*key.text = std::move(text);
        break;
      case KeyKind::Port:
        if (auto n = NumberAfterEquals(line); n && *n > 0 && *n <= 65535) c.Port = static_cast<int>(*n);
        break;
      default:
        ApplySetKey(c, key, line, head, keyEnd);
        break;
    }
    return;
  }
}

std::string QuoteUnixWord(const std::string& value) { return "'" + QuoteFor(Ctx::Single, value) + "'"; }

std::string FillUnixCommand(const std::string& command, const UnixArguments& args) {
  return FillForShell(command, ArgumentPlaceholder{args});
}

std::string FillUnixCommandName(const std::string& command, const std::string& value) {
  return FillForShell(command, FirstS{value});
}

std::string FillUnixTitle(const std::string& title, const UnixArguments& args) {
  std::string out;
  ArgumentPlaceholder placeholder{args};
  for (std::size_t i = 0; i < title.size(); i++) {
    std::size_t length = 0;
    std::string value;
    if (placeholder(title, i, length, value)) {
      out += value;
      i += length - 1;
    } else {
      out += title[i];
    }
  }
  return out;
}

std::string FillFirstS(const std::string& text, const std::string& value) {
  const std::size_t at = text.find("%s");
  if (at == std::string::npos) return text;
  return text.substr(0, at) + value + text.substr(at + 2);
}

bool UnixLocalName(const std::string& chosen, std::string& name) {
  for (unsigned char c : chosen)
    if (c < 0x20 || c == 0x7F) return false;
  const std::size_t slash = chosen.find_last_of('/');
  name = slash == std::string::npos ? chosen : chosen.substr(slash + 1);
  return !name.empty() && name != "." && name != "..";
}

TNCUnixLink::TNCUnixLink(TWindow* owner) : owner_(owner) {}

TNCUnixLink::~TNCUnixLink() {
  CloseCommand();
  if (rcmdLibrary_) FreeLibrary(rcmdLibrary_);
  if (rcpLibrary_) FreeLibrary(rcpLibrary_);
}

int TNCUnixLink::ReadConfig() {
  const std::string path = (Globals ? Globals->CfgDir : std::string()) + "unixlink.cfg";
  TMyFile file(path.c_str());
  if (!file.Open(1)) return 1;
  Config = TUnixLinkConfig();
  while (const char* line = file.ReadLineInPlace(0)) ApplyUnixLinkLine(Config, line);
  return 0;
}

int TNCUnixLink::Init() {
  commandOpen_ = false;
  if (ReadConfig() != 0) return kUnixLinkNoConfig;
  const std::string dir = Globals ? Globals->HookDir : std::string();
  rcmdLibrary_ = LoadLibrary((dir + "rcmd32.dll").c_str());
  if (!rcmdLibrary_) return kUnixLinkNoRcmd;
  rcpLibrary_ = LoadLibrary((dir + "rcp32.dll").c_str());
  if (!rcpLibrary_) return kUnixLinkNoRcp;
  auto bind = [](HMODULE lib, const char* name, auto& fn) {
    fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(GetProcAddress(lib, name));
    return fn != nullptr;
  };
  const bool rcmd = bind(rcmdLibrary_, "WinsockRCmd", WinsockRCmd) && bind(rcmdLibrary_, "RCmdRead", RCmdRead) &&
                    bind(rcmdLibrary_, "RCmdReadByte", RCmdReadByte) && bind(rcmdLibrary_, "RCmdClose", RCmdClose) &&
                    bind(rcmdLibrary_, "RCmdHandle", RCmdHandle) && bind(rcmdLibrary_, "RCmdSend", RCmdSend);
  if (!rcmd) return kUnixLinkRcmdEntry;
  const bool rcp = bind(rcpLibrary_, "WinsockRCP", WinsockRCP) && bind(rcpLibrary_, "WinsockRCP2", WinsockRCP2) &&
                   bind(rcpLibrary_, "WinsockArrRCP", WinsockArrRCP) &&
                   bind(rcpLibrary_, "WinsockArrRCP2", WinsockArrRCP2);
  if (!rcp) return kUnixLinkRcpEntry;
  return kUnixLinkReady;
}

void TNCUnixLink::Tell(int messageId, const std::string& detail) const {
  std::string text = Globals ? Globals->GetMessageText(messageId) : std::to_string(messageId);
  if (!detail.empty()) text += "\r\n" + detail;
  const char* caption = Globals ? Globals->CaptionText.c_str() : "";
  ::MessageBox(owner_ ? owner_->GetHandle() : ::GetFocus(), text.c_str(), caption, MB_OK | MB_ICONINFORMATION);
}

bool TNCUnixLink::HasLogin(const char* user, const char* password) const { return user && *user && password; }

int TNCUnixLink::RemoteCommand(const char* host, int port, const char* user, const char* password,
                               const std::string& command) {
  lastError_.clear();
  if (!host) {
    Tell(kMsgUnixNoHost);
    return kUnixNoHostResult;
  }
  if (!HasLogin(user, password)) {
    Tell(kMsgUnixNoLogin);
    return kUnixNoHostResult;
  }
  if (!WinsockRCmd) {
    lastError_ = "The remote command library is not loaded.";
    return KV_REMOTE_BAD_ARGUMENT;
  }
  CloseCommand();
  char error[KV_RCMD_ERROR_SIZE] = {};
  const int handle = WinsockRCmd(host, port, user, password, command.c_str(), error, sizeof error);
  if (handle < 0) {
    error[sizeof error - 1] = '\0';
    lastError_ = error;
    return handle;
  }
  commandHandle_ = handle;
  commandOpen_ = true;
  return 0;
}

void TNCUnixLink::CloseCommand() {
  if (!commandOpen_) return;
  commandOpen_ = false;
  RCmdClose(commandHandle_);
  commandHandle_ = -1;
}

template <class Line>
int TNCUnixLink::ReadLines(Line&& line) {
  if (!commandOpen_) return KV_REMOTE_NO_HANDLE;
  TUnixOutputLines lines;
  char buffer[kUnixLineLength];
  int result = 0;
  while ((result = RCmdRead(commandHandle_, buffer, sizeof buffer)) > 0)
    lines.Feed(buffer, static_cast<std::size_t>(result), line);
  lines.Flush(line);
  CloseCommand();
  if (result < 0) lastError_ = ReadErrorText(result);
  return result;
}

int TNCUnixLink::ReadOutputToList(TListBox& list) {
  return ReadLines([&list](const std::string& line) { list.AddString(line.c_str()); });
}

int TNCUnixLink::ReadOutputToText(std::string& text) {
  text.clear();
  bool full = false;
  return ReadLines([&](const std::string& line) {
    // Room for the zero stays; a line that does not fit ends the text, so
    // no line is cut and none is left out in the middle.
    if (full || text.size() + line.size() + 1 > kUnixOutputSize - 1) {
      full = true;
      return;
    }
    text += line;
    text += kUnixLineEnd;
  });
}

int TNCUnixLink::DrainOutput() {
  if (!commandOpen_) return KV_REMOTE_NO_HANDLE;
  char buffer[kUnixLineLength];
  int result = 0;
  while ((result = RCmdRead(commandHandle_, buffer, sizeof buffer)) > 0) {
  }
  if (result < 0) lastError_ = ReadErrorText(result);
  return result;
}

int TNCUnixLink::CopyFile(const char* user, const char* host, const std::string& directory,
                          const std::string& fileName, const std::string& localPath) {
  lastError_.clear();
  if (!host) {
    Tell(kMsgUnixNoHost);
    return kUnixNoHostResult;
  }
  if (!HasLogin(user, Pass())) {
    Tell(kMsgUnixNoLogin);
    return kUnixNoHostResult;
  }
  std::string dir = directory;
  if (dir.empty() || dir.back() != '/') dir += '/';
  // An IPv6 address goes in brackets, so its colons do not end the host.
  const std::string hostPart = std::strchr(host, ':') ? "[" + std::string(host) + "]" : std::string(host);
  const std::string remote = std::string(user) + "@" + hostPart + ":" + dir + fileName;
  char error[KV_RCP_ERROR_SIZE] = {};
  const int result =
      WinsockRCP2 ? WinsockRCP2(remote.c_str(), localPath.c_str(), Config.Port, Pass(), error, sizeof error)
                  : KV_REMOTE_BAD_ARGUMENT;
  if (result < 0) {
    error[sizeof error - 1] = '\0';
    lastError_ = error;
    Tell(kMsgUnixCopyFailed, lastError_);
  }
  return result;
}
