// Path and file-name texts the imports share, with nothing of the windows:
// the watched-directory threads use them as the menu's imports do.
#pragma once

#include <string>

// "dir\name", with one separator between them.
std::string JoinPath(const std::string& dir, const std::string& name);
// The directory part of a path (without its last separator); empty when
// the path has none.
std::string DirectoryOf(const std::string& path);

// A file name up to its first "." (the whole name when it has none).
std::string NameBase(const std::string& fileName);
// The decimal number at the start of a text as atol reads it (blanks,
// a sign, digits; 0 for none), held within the 32 bits of a stored PROG.
long LeadingNumber(const char* text);
