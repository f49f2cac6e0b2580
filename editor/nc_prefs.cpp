// The renumbering options and their file. The six numbers are binary, so
// the file is read and written through the file layer directly: a line
// reader would split a number whose bytes hold a line end (10 is LF).
#include "editor/nc_prefs.h"

#include <cstdint>
#include <cstring>

#include "platform/file.h"

namespace {

const char* kPrefFile = "KELVANE.PRF";
constexpr int kNumbers = 6;

void PutLe32(unsigned char* p, int32_t v) {
  uint32_t u = static_cast<uint32_t>(v);
  for (int i = 0; i < 4; i++) p[i] = static_cast<unsigned char>(u >> (8 * i));
}

int32_t GetLe32(const unsigned char* p) {
  uint32_t u = 0;
  for (int i = 0; i < 4; i++) u |= static_cast<uint32_t>(p[i]) << (8 * i);
  return static_cast<int32_t>(u);
}

}  // namespace

TUserPreferences* InitUserPreferences() {
  static TUserPreferences prefs;
  return &prefs;
}

TUserPreferences* UserPreferences = InitUserPreferences();

int IntervalStep(int intervalIndex) {
  static const int kSteps[] = {1, 2, 5, 10, 20, 100, 1000};
  return intervalIndex >= 0 && intervalIndex < 7 ? kSteps[intervalIndex] : 1;
}

int TUserPreferences::Load(const std::string& cfgDir) {
  plat::File f = plat::create_file(cfgDir + kPrefFile, plat::Access::read, plat::Share::read_write,
                                   plat::Disposition::open_existing);
  unsigned char head[kNumbers * 4];
  if (!f.is_open() || plat::read(f, head, sizeof head) != static_cast<int64_t>(sizeof head)) {
    StartNumber = 10;
    StartLine = 1;
    RestartValue = -1;
    return 0;
  }
  int* fields[kNumbers] = {&PrecedingN, &FormatIndex, &IntervalIndex, &StartNumber, &StartLine, &RestartValue};
  for (int i = 0; i < kNumbers; i++) *fields[i] = GetLe32(head + 4 * i);
  char text[64];
  int64_t n = plat::read(f, text, sizeof text - 1);
  ExclusionChars.clear();
  for (int64_t i = 0; i < n && text[i] != '\r' && text[i] != '\n' && text[i] != 0; i++)
    ExclusionChars += text[i];
  if (ExclusionChars.size() > kExclusionMax) ExclusionChars.resize(kExclusionMax);
  return 1;
}

int TUserPreferences::Save(const std::string& cfgDir) const {
  plat::File f = plat::create_file(cfgDir + kPrefFile, plat::Access::write, plat::Share::none,
                                   plat::Disposition::create_always);
  if (!f.is_open()) return 0;
  unsigned char head[kNumbers * 4];
  const int values[kNumbers] = {PrecedingN, FormatIndex, IntervalIndex, StartNumber, StartLine, RestartValue};
  for (int i = 0; i < kNumbers; i++) PutLe32(head + 4 * i, values[i]);
  bool ok = plat::write(f, head, sizeof head) == static_cast<int64_t>(sizeof head);
  if (ok && !ExclusionChars.empty())
    ok = plat::write(f, ExclusionChars.data(), ExclusionChars.size()) == static_cast<int64_t>(ExclusionChars.size());
  return plat::close(f) && ok ? 1 : 0;
}
