// The renumbering preferences and their file.
#include "editor/user_prefs.h"

#include <cstdint>

#include "appcore/globals.h"
#include "appcore/message_ids.h"
#include "editor/text_files.h"
#include "platform/msgbox.h"
#include "platform/ui/window.h"

TUserPreferences* UserPreferences = nullptr;

void InitUserPreferences() {
  if (!UserPreferences) UserPreferences = new TUserPreferences;
}

namespace {
// Made once, never freed: it lives as long as the process.
const bool kMade = (InitUserPreferences(), true);

constexpr size_t kIntegers = 6;

void PutInt(std::string& out, int v) {
  uint32_t u = static_cast<uint32_t>(v);
  for (int i = 0; i < 4; i++) out.push_back(static_cast<char>((u >> (8 * i)) & 0xFF));
}

int GetInt(const std::string& in, size_t at) {
  uint32_t u = 0;
  for (int i = 0; i < 4; i++) u |= static_cast<uint32_t>(static_cast<unsigned char>(in[at + i])) << (8 * i);
  return static_cast<int>(u);
}
}  // namespace

std::string UserPreferencesPath() { return Globals->CfgDir + "KELVANE.PRF"; }

int IntervalStep(int intervalIndex) {
  static const int kSteps[] = {1, 2, 5, 10, 20, 100, 1000};
  return intervalIndex >= 0 && intervalIndex < 7 ? kSteps[intervalIndex] : 1;
}

bool TUserPreferences::Load() {
  std::string bytes;
  TFileError error;
  if (!ReadWholeFile(UserPreferencesPath(), bytes, error)) {
    StartNumber = 10;
    StartLine = 1;
    RestartValue = -1;
    return false;
  }
  int* fields[kIntegers] = {&PrecedingN, &FormatIndex, &IntervalIndex, &StartNumber, &StartLine, &RestartValue};
  size_t whole = bytes.size() / 4;
  for (size_t i = 0; i < kIntegers && i < whole; i++) *fields[i] = GetInt(bytes, 4 * i);
  if (bytes.size() < 4 * kIntegers) return false;
  // The line runs to the end of the file, or to its CR LF when a line end
  // was written after it.
  std::string line = bytes.substr(4 * kIntegers);
  size_t end = line.find_first_of(std::string("\r\n\0", 3));
  if (end != std::string::npos) line.resize(end);
  Exclusion = line;
  return true;
}

bool TUserPreferences::Save(std::string* reason) const {
  std::string bytes;
  for (int v : {PrecedingN, FormatIndex, IntervalIndex, StartNumber, StartLine, RestartValue}) PutInt(bytes, v);
  // The exclusion line, without a line end after it (none follows the
  // last line of a file written line by line).
  bytes += Exclusion;
  TFileError error;
  if (WriteWholeFile(UserPreferencesPath(), bytes, error)) return true;
  if (reason) *reason = error.Reason;
  return false;
}

bool SaveUserPreferences(TWindow* owner) {
  InitUserPreferences();
  std::string reason;
  if (UserPreferences->Save(&reason)) return true;
  std::string text = Globals->GetMessageText(kMsgPreferencesNotSaved);
  size_t at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, UserPreferencesPath() + "\r\n" + reason);
  ::MessageBox(owner ? owner->GetHandle() : GetFocus(), text.c_str(), Globals->CaptionText.c_str(),
               MB_OK | MB_ICONSTOP);
  return false;
}
