// Writes the header of named ids for each dialog template file, so that the
// template, the code and the tests share one name for each number.
//
// A template names the ids code uses, after the number:
//
//   dialog 46 IDD_PROGRAM "Open program..." 0 0 560 348
//     listbox 101 IDC_PROGRAM_LIST "" 6 6 548 100 WS_VSCROLL
//     pushbutton IDCANCEL "Cancel" 496 326 58 16
//
// and the build writes build/generated/resources/dialogs/program.h with
//
//   inline constexpr int IDD_PROGRAM = 46;
//   inline constexpr int IDC_PROGRAM_LIST = 101;
//
// which code and tests include as "resources/dialogs/program.h" (link the
// `dialog_ids` target). The template stays the one place a number is
// written. Dialogs are IDD_<DIALOG>, controls IDC_<DIALOG>_<WHAT>; the
// standard buttons keep IDOK, IDCANCEL... Templates of one file may share a
// name for the same id (a control all of them have); two files may not.
//
// Usage: dialog-ids <output dir> <stamp file> <file.dlg>...
// A file that does not parse, a name without its prefix or a name in two
// files fails the build. A header is rewritten only when it changes, so
// editing one template recompiles only the code that includes its header.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>

#include "platform/ui/resource.h"

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

bool Fail(const std::string& what) {
  std::cerr << "dialog-ids: " << what << "\n";
  return false;
}

bool HasPrefix(const std::string& name, const char* prefix) { return name.rfind(prefix, 0) == 0; }

// The header text for one file's templates; false when a name breaks the rules.
bool Header(const fs::path& dlg, const plat::ParseResult& parsed, std::map<std::string, std::string>& owner,
            std::string& out) {
  const std::string file = "resources/dialogs/" + dlg.filename().string();
  std::ostringstream h;
  h << "// The named ids of " << file << ", written by the build from the\n"
    << "// template (tools/dialog-ids): rename or add a name in the template.\n"
    << "#pragma once\n";
  std::map<std::string, int> written;
  auto name = [&](const std::string& n, int id, const char* prefix, const std::string& where) {
    if (n.empty()) return true;
    if (!HasPrefix(n, prefix)) return Fail(where + ": " + n + " does not start with " + prefix);
    auto [it, fresh] = owner.emplace(n, file);
    if (!fresh && it->second != file) return Fail(where + ": " + n + " is named in " + it->second + " already");
    if (!written.emplace(n, id).second) return true;  // shared by an earlier template of this file
    h << "inline constexpr int " << n << " = " << id << ";\n";
    return true;
  };
  for (const plat::DialogTemplate& d : parsed.dialogs) {
    h << "\n// dialog " << d.id << " \"" << d.caption << "\"\n";
    if (!name(d.name, d.id, "IDD_", d.source)) return false;
    for (const plat::ControlTemplate& c : d.controls)
      if (!name(c.name, c.id, "IDC_", d.source)) return false;
  }
  out = h.str();
  return true;
}

bool WriteIfChanged(const fs::path& path, const std::string& text) {
  if (fs::exists(path) && ReadFile(path) == text) return true;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out) || Fail("cannot write " + path.string());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: dialog-ids <output dir> <stamp file> <file.dlg>...\n";
    return 2;
  }
  const fs::path outDir = argv[1];
  std::error_code ec;
  fs::create_directories(outDir, ec);
  std::map<std::string, std::string> owner;  // name -> the file that names it
  for (int i = 3; i < argc; ++i) {
    const fs::path dlg = argv[i];
    plat::ParseResult parsed = plat::parse_dialog_templates(ReadFile(dlg), dlg.string());
    if (!parsed.error.empty()) {
      Fail(parsed.error);
      return 1;
    }
    std::string text;
    if (!Header(dlg, parsed, owner, text)) return 1;
    if (!WriteIfChanged(outDir / dlg.filename().replace_extension(".h"), text)) return 1;
  }
  std::ofstream stamp(argv[2], std::ios::trunc);
  return stamp ? 0 : 1;
}
