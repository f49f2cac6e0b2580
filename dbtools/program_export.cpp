// The program export; see program_export.h.
#include "dbtools/program_export.h"

#include <algorithm>
#include <set>
#include <utility>
#include <vector>

#include "appcore/globals.h"
#include "appcore/log_text.h"
#include "dbmodel/customer.h"
#include "dbmodel/machine.h"
#include "dbmodel/project.h"
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

// A path as the file layer takes it: separators alike, each part without
// its trailing dots and blanks, case ignored.
std::string PathKey(const std::string& path) {
  std::string key, part;
  auto flush = [&] {
    if (part != "." && part != "..")
      while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.pop_back();
    key += part;
    part.clear();
  };
  for (char c : path) {
    if (c == '\\' || c == '/') {
      flush();
      key += '\\';
    } else {
      part += c;
    }
  }
  flush();
  UpperInPlace(key.data());
  return key;
}

bool DirectoryText(TProgramSet kind, const std::string& namePart, std::string& dir) {
  return FormatChecked(Globals->GetMessageText(DirectoryMessage(kind)), {Globals->ExportDir, '\\', namePart}, dir);
}

// Every live item of the kind, (id, name), in id order; false when its
// table cannot be read.
bool ItemsOfKind(TProgramSet kind, std::vector<std::pair<long, std::string>>& items) {
  items.clear();
  auto take = [&](auto& table, auto* head, auto name) {
    if (!head && table.LastEngineError()) return false;
    for (auto* r = head; r; r = static_cast<decltype(head)>(r->next)) items.emplace_back(r->ID, std::string(name(*r)));
    return true;
  };
  bool read = false;
  switch (kind) {
    case TProgramSet::Customer: {
      TcbAdvCustTable t("KELVCUS2.DBF", 0, 0);
      read = take(t, t.ReadAll(), [](const TcbAdvCustRecord& r) { return r.COMPANY; });
      break;
    }
    case TProgramSet::Project: {
      TcbProTable t("KELVPRO.DBF", 0, 0);
      read = take(t, t.ReadAll(), [](const TcbProRecord& r) { return r.NAME; });
      break;
    }
    case TProgramSet::Machine: {
      TcbMachTable t("KELVMA.DBF", 0, 0);
      read = take(t, static_cast<TcbMachRecord*>(t.LoadAll()), [](const TcbMachRecord& r) { return r.NAME; });
      break;
    }
  }
  std::sort(items.begin(), items.end());
  return read;
}

}  // namespace

bool ExportDirectory(TProgramSet kind, long id, const std::string& itemName, std::string& dir) {
  if (!DirectoryText(kind, SafeNamePart(itemName), dir)) return false;
  std::vector<std::pair<long, std::string>> items;
  if (!ItemsOfKind(kind, items)) return true;
  // Each item in id order takes its own directory, the first whose path no
  // item before it took: its name, else its name numbered " (2)", " (3)".
  // An item's directory thus stays while items are added.
  std::set<std::string> taken;
  for (const auto& [itemId, stored] : items) {
    const std::string name = SafeNamePart(itemId == id ? itemName : stored);
    std::string candidate;
    for (int n = 1;; ++n) {
      if (!DirectoryText(kind, n == 1 ? name : name + " (" + std::to_string(n) + ")", candidate)) return false;
      if (taken.insert(PathKey(candidate)).second) break;
    }
    if (itemId == id) {
      dir = candidate;
      break;
    }
  }
  return true;
}

TExportResult ExportPrograms(TProgramSet kind, long id, const std::string& itemName, const TProgramList& programs) {
  TExportResult result;
  if (!ExportDirectory(kind, id, itemName, result.Directory)) {
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
