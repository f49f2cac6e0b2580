// Small text helpers of the table classes: the trimmed copy every record
// reader uses, blank trimming, printf-style formatting into a string and
// the safe quoting of user and machine texts inside dBASE filters and the
// blank padding of search keys.
#pragma once

#include <cstddef>
#include <string>

// Copies src without its leading blanks and tabs and its trailing blanks
// into dest, which holds `size` bytes; a longer text is cut to fit. A null
// src gives an empty text; a null dest or size 0 does nothing.
void TrimCopy(char* dest, size_t size, const char* src);
template <size_t N>
void TrimCopy(char (&dest)[N], const char* src) {
  TrimCopy(dest, N, src);
}

// Ends the text at its first blank; 0 for a null text, else 1.
int CutAtFirstBlank(char* text);
// Removes the trailing blanks; 0 for a null text, else 1.
int TrimTrailingBlanks(char* text);

// printf into a std::string of any length.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Copies a text into a fixed buffer, cut to size - 1 characters.
void CopyCut(char* dest, size_t size, const char* src);

// A dBASE string constant holding `text`: '...' when the text has no ',
// else "..." when it has no ", else [...] when it has neither [ nor ].
// Returns false when the text holds all three kinds of delimiter: it cannot
// be written as a constant and the caller must refuse the search.
bool QuoteFilterText(const std::string& text, std::string& quoted);

// The same for a search: false, after telling the user, when the text
// cannot be written as a constant.
bool QuoteSearchText(const std::string& text, std::string& quoted);

// The text cut to `width` characters and padded with blanks to it.
std::string PadText(const char* text, size_t width);

// A heap copy (new[]) of a text; a null text gives an empty one.
char* HeapCopy(const char* text);
// Replaces a heap text by a copy of `text` (null when text is null).
void ReplaceText(char*& dest, const char* text);

// Upper-cases a text in place, byte by byte as the filters' UPPER() does.
void UpperInPlace(char* text);
