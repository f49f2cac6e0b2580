// The program export: the program files of a customer, project or machine
// copied into one directory named by the kind's directory text, each under
// a name that carries the program's ID ("<machine text> = <MACHINE>, ID =
// <DESC>.NC", or "ID = <DESC>.NC" for a machine). Copies of one name within
// a run are numbered " (2)", " (3)" in DESC order, so none overwrites
// another and a second run refreshes the same files. What could not be
// copied is listed to the user at the end.
#pragma once

#include <string>
#include <vector>

#include "dbtools/program_sets.h"

#include "appcore/message_ids.h"

struct TExportResult {
  bool DirTextFits = true;  // false: nothing was done
  std::string Directory;
  std::vector<std::string> Copies;   // the copy made of each program, in order
  std::vector<std::string> Trouble;  // "what: why" of each program not copied
};

// The run's directory from the kind's text; false when the text does not
// take the export directory, a backslash and the name.
bool ExportDirectory(TProgramSet kind, const std::string& itemName, std::string& dir);
// Copies the programs into the run's directory.
TExportResult ExportPrograms(TProgramSet kind, const std::string& itemName, const TProgramList& programs);
