// The program list file: one line per program of a customer, project or
// machine, in the export directory under "<export dir>\<heading> <name>.lst".
// The file is written anew each time: the lines go to a file of their own
// beside it, which replaces the list only once complete, so an older and
// longer list leaves nothing behind and a failed run leaves the old list
// (or none) and no partial file.
#pragma once

#include <string>

#include "dbtools/program_sets.h"

#include "appcore/message_ids.h"

// The six labels of a program's line, in line order.
struct TProgramLabels {
  std::string Desc, Machine, Char3, Draw, Part, File;
  static TProgramLabels FromMessages();
};

// One line of the list, CR LF included; no value or label is cut.
std::string ProgramListLine(const TcbFileRecord& program, const TProgramLabels& labels);
// "<export dir>\<heading> <safe name>.lst".
std::string ProgramListPath(TProgramSet kind, const std::string& itemName);
// Writes the list of a non-empty selection to `path`; false with the
// reason in `error` when the file could not be made or written.
bool WriteProgramListFile(const std::string& path, const TProgramList& programs, std::string& error);
