// Rewrites one field of every live row of a table that a rule chooses. The
// table's file lock is held for the whole walk (tried a bounded number of
// times: a table another station holds is reported busy and left as it
// is), rows are visited in record order, and a value that does not fit the
// field is not written but counted, so no stored text is ever cut.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "dbtools/maintenance.h"

struct DbDataFile;

// A field's text of the current row without its trailing blanks.
std::string RowText(DbDataFile* d, int field);

// The new text for the field, or none to leave the row as it is.
using TRowRule = std::function<std::optional<std::string>(DbDataFile* d, const std::string& text)>;

struct TRewriteResult {
  std::string file;
  bool present = false;  // false: no such file, nothing done
  TTableOutcome outcome = TTableOutcome::Done;
  std::string why;
  long changed = 0;   // rows rewritten (or, counting only, that would be)
  long tooLong = 0;   // rows left because the new text does not fit
};

// With countOnly the rule runs but nothing is written, and no lock is taken.
TRewriteResult RewriteTable(const std::string& path, int field, const TRowRule& rule, bool countOnly = false,
                            int lockTries = kMaintenanceLockTries);

// The closing text of a rewrite over several tables: rows changed, rows
// left because the text did not fit, tables busy or failed.
std::string RewriteSummary(const std::vector<TRewriteResult>& results);
