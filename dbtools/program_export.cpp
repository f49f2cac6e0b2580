// The program export; see program_export.h.
#include "dbtools/program_export.h"

#include <set>

#include "appcore/globals.h"
#include "appcore/log_text.h"
#include "dbmodel/text_helpers.h"
#include "platform/file.h"

namespace {

int DirectoryMessage(TProgramSet kind) {
  switch (kind) {
    case TProgramSet::Customer: return kMsgExportCustomerDir;
    case TProgramSet::Project: return kMsgExportProjectDir;
    case TProgramSet::Machine: break;
  }
  return kMsgExportMachineDir;
}

// The copy's name without ".NC".
std::string CopyStem(TProgramSet kind, const std::string& dir, const TcbFileRecord& p) {
  if (kind == TProgramSet::Machine) return dir + "\\ID = " + SafeNamePart(p.DESC);
  return dir + "\\" + Globals->GetMessageText(kMsgExportMachineWords) + " = " + SafeNamePart(p.MACHINE) +
         ", ID = " + SafeNamePart(p.DESC);
}

// Names are taken case-blind: the file layer finds a name in another case.
std::string Key(std::string name) {
  UpperInPlace(name.data());
  return name;
}

// The first name of the stem not yet taken in this run.
std::string UniqueCopyName(const std::string& stem, std::set<std::string>& taken) {
  std::string name = stem + ".NC";
  for (int n = 2; taken.count(Key(name)); ++n) name = stem + " (" + std::to_string(n) + ").NC";
  taken.insert(Key(name));
  return name;
}

}  // namespace

bool ExportDirectory(TProgramSet kind, const std::string& itemName, std::string& dir) {
  return FormatChecked(Globals->GetMessageText(DirectoryMessage(kind)),
                       {Globals->ExportDir, '\\', SafeNamePart(itemName)}, dir);
}

TExportResult ExportPrograms(TProgramSet kind, const std::string& itemName, const TProgramList& programs) {
  TExportResult result;
  if (!ExportDirectory(kind, itemName, result.Directory)) {
    result.DirTextFits = false;
    return result;
  }
  if (!plat::create_directory(result.Directory)) {
    const int error = plat::last_error();
    if (!plat::directory_exists(result.Directory)) {
      result.Trouble.push_back(result.Directory + ": " + Globals->GetMessageText(kMsgExportNoDirectory) + " (" +
                               plat::error_text(error) + ")");
      return result;
    }
  }
  std::set<std::string> taken;
  for (const auto& p : programs) {
    const std::string source = p->FilePath();
    const std::string copy = UniqueCopyName(CopyStem(kind, result.Directory, *p), taken);
    if (!plat::file_exists(source)) {
      result.Trouble.push_back(std::string(p->DESC) + ": " + Globals->GetMessageText(kMsgExportNoSource) + " " + source);
      continue;
    }
    if (!plat::copy_file(source, copy, false)) {
      result.Trouble.push_back(std::string(p->DESC) + ": " + copy + " (" + plat::error_text(plat::last_error()) + ")");
      continue;
    }
    result.Copies.push_back(copy);
  }
  return result;
}
