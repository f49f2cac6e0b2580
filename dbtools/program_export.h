// The program export: the program files of a customer, project or machine
// copied into one directory named by the kind's directory text, each under
// a name that carries the program's ID ("<machine text> = <MACHINE>, ID =
// <DESC>.NC", or "ID = <DESC>.NC" for a machine). Copies of one name within
// a run are numbered " (2)", " (3)" in DESC order, and so are the
// directories of items whose names lead to one path, so none overwrites
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

// The run's directory of the item `id` from the kind's text; false when the
// text does not take the export directory, a backslash and the name. Items
// of the kind whose names lead to one path (names that differ only in
// trailing dots and blanks, which path parts drop, or in case) each get a
// directory of their own: the first by id the name, each later one the
// name numbered " (2)", " (3)".
bool ExportDirectory(TProgramSet kind, long id, const std::string& itemName, std::string& dir);
// Copies the programs of the item `id` into its run's directory.
TExportResult ExportPrograms(TProgramSet kind, long id, const std::string& itemName, const TProgramList& programs);
