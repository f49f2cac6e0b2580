// What the log dialogs share: boxes with the program's caption owned by
// the focused window, whole-id selection in combo boxes, the path of a
// program row's file, and the seam to the program compare window.
#pragma once

#include <string>

#include "dbmodel/filetable.h"
#include "dbmodel/list_lines.h"
#include "platform/ui/combobox.h"
#include "platform/ui/window.h"

// The tables of the logs, all in the database directory.
inline constexpr const char* kLogTypesFile = "LOG00001.DBF";
inline constexpr const char* kVersionLogFile = "LOG00002.DBF";
inline constexpr const char* kStoredCopiesFile = "LOG00003.DBF";
inline constexpr const char* kChangeCriteriaFile = "LOG00004.DBF";
inline constexpr const char* kSystemLogFile = "LOG00000.DBF";
inline constexpr const char* kProgramIndexFile = "KELVFILE.DBF";

// Rights bits of the logged-on user.
inline constexpr uint32_t kRightLogTypes = 0x8000;
inline constexpr uint32_t kRightDeleteVersions = 0x10000;
inline constexpr uint32_t kRightRestoreVersions = 0x20000;

// A MESSAGES text (a printf format when args are given) in a box owned by
// the focused window and titled with the program's caption; the answer.
int LogMessage(int messageId, UINT flags);
int LogMessageWith(int messageId, UINT flags, const std::string& value);



// Selects the line whose number after "@@" is exactly id (12 is not 123);
// false, with the selection left alone, when no line has it.
template <class Control>
bool SelectLineById(Control& box, long id) {
  for (int i = 0; i < box.GetCount(); i++) {
    std::string line = box.GetString(i);
    if (line.find("@@") != std::string::npos && ListLineId(line.c_str()) == id) {
      box.SetSelIndex(i);
      return true;
    }
  }
  return false;
}

// The selected line's text, cut to max characters ("" without selection).
std::string SelectedLineText(const TComboBox& combo, size_t max);

// The program compare window belongs to the editor. It registers itself
// here; until it does, the commands that would open it are disabled.
// (parent, first file, second file, first side title, second side title)
using TCompareRunner = void (*)(TWindow*, const char*, const char*, const char*, const char*);
void SetCompareRunner(TCompareRunner runner);
TCompareRunner GetCompareRunner();
