// What both setup-sheet pages share: numbers read from their edits, the
// choice combos filled from a type's value lists, and the name of a
// sheet-list line.
#pragma once

#include <string>

#include "platform/ui/combobox.h"
#include "appcore/message_ids.h"
#include "platform/ui/edit.h"

// The number typed into an edit by the standard conversions (a text that
// is not a number gives 0). False, after telling the user and focusing the
// edit, when it does not fit the sheet's field (integers N10 within 32
// bits, decimals N12 with 3 places): stored, it would come back as
// another number.
bool ReadSheetInteger(TEdit& edit, long& value);
bool ReadSheetDecimal(TEdit& edit, double& value);

// The value list of a type's choice field (1 to 8) in the combo, its
// first line selected.
void FillChoiceCombo(TComboBox& combo, long typeId, int field);

// The name part of a sheet-list line, trailing blanks off.
std::string SheetLineName(const std::string& line);
