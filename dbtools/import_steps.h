// Steps the special imports share: the machine the programs go to, and
// what a source's file name gives the program record.
#pragma once

#include <string>

class TcbFileRecord;
class TWindow;

// Runs the machine chooser over the owner. On OK, when the machine's
// program directory exists, puts the machine into the record's run-wide
// fields (MID, MAT, DIR, MACHINE) and gives true; a missing directory is
// told to the user (nothing has been drawn or copied yet).
bool PickImportMachine(TWindow& owner, TcbFileRecord& record);

// A file name up to its first "." (the whole name when it has none).
std::string NameBase(const std::string& fileName);
// The decimal number at the start of a text as atol reads it (blanks,
// a sign, digits; 0 for none), held within the 32 bits of a stored PROG.
long LeadingNumber(const char* text);
// The program number of a WC-18 file name: after a leading letter
// ("O1234.NC" is 1234), else from its start ("1234.NC" is 1234).
long Wc18ProgramNumber(const std::string& fileName);
