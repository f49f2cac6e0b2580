// Steps the special imports share: the machine the programs go to, and
// what a source's file name gives the program record.
#pragma once

#include <string>

#include "dbtools/import_names.h"

class TcbFileRecord;
class TWindow;

// Runs the machine chooser over the owner. On OK, when the machine's
// program directory exists, puts the machine into the record's run-wide
// fields (MID, MAT, DIR, MACHINE) and gives true; a missing directory is
// told to the user (nothing has been drawn or copied yet).
bool PickImportMachine(TWindow& owner, TcbFileRecord& record);

// The program number of a WC-18 file name: after a leading letter
// ("O1234.NC" is 1234), else from its start ("1234.NC" is 1234).
long Wc18ProgramNumber(const std::string& fileName);
