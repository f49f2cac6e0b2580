// What the port setup dialogs share: reading numbers and texts back from
// their edits the way the port row stores them, the preview of a list of
// character codes, the line-setting lists, and refusing a text that the
// row cannot hold.
#pragma once

#include <string>

#include "dbmodel/dncport.h"
#include "platform/ui/combobox.h"
#include "platform/ui/edit.h"
#include "appcore/text_scan.h"

// The number at the start of the first maxChars characters of a text:
// leading blanks skipped, digits up to the first non-digit; 0 for none.
long LeadingNumber(const std::string& text, size_t maxChars);
// The edit's text cut to bound characters.
std::string EditText(const TEdit* edit, size_t bound);
// Shows the text of property n, or leaves the edit as it is when unset.
void ShowProperty(TEdit* edit, const TMultiDncRecord* r, int n);
void ShowNumber(TEdit* edit, long value);

// What a list of decimal character codes ("13,10") stands for: two blanks,
// then "[13]" for a code below 32 and the character itself otherwise.
// The whole expansion, however long.
std::string CodesPreview(const std::string& codes);

// The message text with its first mark replaced by the value. Texts come
// from the language files, so they are never used as a format.
std::string FillIn(std::string text, const std::string& mark, const std::string& value);

// A text longer than `most` characters is refused: a message box names
// the limit and the edit takes the focus. True when it fits.
bool TextFits(TWindow* owner, TEdit* edit, const std::string& text, size_t most);

// Copies every number, flag and text of one port row into another.
void CopyPortRecord(const TMultiDncRecord& from, TMultiDncRecord& to);

// The line settings, in the order whose index the row stores.
extern const char* const kBaudTexts[17];
extern const char* const kDataBitTexts[4];
extern const char* const kStopBitTexts[2];
extern const char* const kParityTexts[5];
extern const char* const kFlowTexts[4];

// The baud combo offers only the rates the DNC server sets on a line
// (indexes 5 "300" to 16 "115200"; it runs the lower ones at 300). A row
// with a lower index shows "300" and keeps its index until the user picks.
void FillBaudCombo(TComboBox* combo);
void SelectBaud(TComboBox* combo, long index);
// The row's index of the selected rate, or -1 with nothing selected.
long SelectedBaud(const TComboBox* combo);
void FillCombo(TComboBox* combo, const char* const* texts, int count);
