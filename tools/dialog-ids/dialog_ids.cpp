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
// Menu files (resources/menus/*.mnu) name their menus, commands and key
// tables the same way, beside the number:
//
//   menu 2000 kMenuFile
//     item 101 kCmFileNew "&1. New\tCtrl-F2"
//
// and give build/generated/resources/menus/main.h. Menus are kMenu...,
// key tables kAccel..., commands kCm.... A command that two menu files
// carry has the same name in both; the later file's header includes the
// earlier one's for it, so each name is written once.
//
// Usage: dialog-ids <generated dir> <stamp file> <file.dlg | file.mnu>...
// Headers go to <generated dir>/resources/dialogs/ and .../menus/. A file
// that does not parse, a name without its prefix, a name in two files (a
// command's name only for the same number) or a command with two names
// fails the build. A header is rewritten only when it changes, so editing
// one file recompiles only the code that includes its header.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "platform/ui/menu_resource.h"
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

// The names of a menu file's header. Commands may stand in several files
// under one name; `commands` keeps the first file naming each.
struct CommandOwner {
  std::string file, name;
};

bool MenuHeader(const fs::path& mnu, const plat::MenuParseResult& parsed, std::map<std::string, std::string>& owner,
                std::map<int, CommandOwner>& commands, std::string& out) {
  const std::string file = "resources/menus/" + mnu.filename().string();
  std::set<std::string> includes;
  std::ostringstream body;
  for (const plat::MenuResourceName& n : parsed.names) {
    const char* prefix = n.kind == plat::MenuResourceName::Menu           ? "kMenu"
                         : n.kind == plat::MenuResourceName::Accelerators ? "kAccel"
                                                                          : "kCm";
    if (!HasPrefix(n.name, prefix)) return Fail(n.source + ": " + n.name + " does not start with " + prefix);
    if (n.kind == plat::MenuResourceName::Command) {
      auto [c, fresh] = commands.emplace(n.id, CommandOwner{file, n.name});
      if (!fresh && c->second.name != n.name)
        return Fail(n.source + ": command " + std::to_string(n.id) + " is named " + c->second.name + " in " +
                    c->second.file + " already");
      if (!fresh) {
        if (c->second.file != file) includes.insert(c->second.file);
        continue;
      }
    }
    auto [it, fresh] = owner.emplace(n.name, file);
    if (!fresh) return Fail(n.source + ": " + n.name + " is named in " + it->second + " already");
    body << "inline constexpr int " << n.name << " = " << n.id << ";\n";
  }
  std::ostringstream h;
  h << "// The named ids of " << file << ", written by the build from the\n"
    << "// menu file (tools/dialog-ids): rename or add a name in the menu file.\n"
    << "#pragma once\n";
  for (const std::string& inc : includes)
    h << "#include \"" << fs::path(inc).replace_extension(".h").string() << "\"  // commands named there too\n";
  h << "\n" << body.str();
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
    std::cerr << "usage: dialog-ids <generated dir> <stamp file> <file.dlg | file.mnu>...\n";
    return 2;
  }
  const fs::path outDir = argv[1];
  std::error_code ec;
  fs::create_directories(outDir / "resources" / "dialogs", ec);
  fs::create_directories(outDir / "resources" / "menus", ec);
  std::map<std::string, std::string> owner;  // name -> the file that names it
  std::map<int, CommandOwner> commands;      // command -> its name and first file
  for (int i = 3; i < argc; ++i) {
    const fs::path file = argv[i];
    std::string text;
    fs::path header;
    if (file.extension() == ".mnu") {
      plat::MenuParseResult parsed = plat::parse_menu_resources(ReadFile(file), file.string());
      if (!parsed.error.empty()) {
        Fail(parsed.error);
        return 1;
      }
      if (!MenuHeader(file, parsed, owner, commands, text)) return 1;
      header = outDir / "resources" / "menus" / file.filename().replace_extension(".h");
    } else {
      plat::ParseResult parsed = plat::parse_dialog_templates(ReadFile(file), file.string());
      if (!parsed.error.empty()) {
        Fail(parsed.error);
        return 1;
      }
      if (!Header(file, parsed, owner, text)) return 1;
      header = outDir / "resources" / "dialogs" / file.filename().replace_extension(".h");
    }
    if (!WriteIfChanged(header, text)) return 1;
  }
  std::ofstream stamp(argv[2], std::ios::trunc);
  return stamp ? 0 : 1;
}
