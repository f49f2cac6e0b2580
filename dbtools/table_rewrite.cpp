#include "dbtools/table_rewrite.h"

#include "appcore/globals.h"
#include "appcore/log_text.h"
#include "dbmodel/engine_context.h"
#include "engine/engine_api.h"
#include "platform/file.h"

std::string RowText(DbDataFile* d, int field) {
  DbField* f = data_num_fields(d) >= field ? data_field_at(d, field) : nullptr;
  if (!f) return {};
  std::string s(field_ptr(f), field_len(f));
  s.erase(s.find_last_not_of(' ') + 1);
  return s;
}

namespace {

std::string KeptError(DbErrorsKept& kept) {
  std::string why = kept.First().empty() ? Globals->GetMessageText(kMsgMaintenanceNotATable) : kept.First();
  for (char& c : why)
    if (c == '\r' || c == '\n') c = ' ';
  kept.Clear();
  code_error_set(DbContext, 0);
  return why;
}

}  // namespace

TRewriteResult RewriteTable(const std::string& path, int field, const TRowRule& rule, bool countOnly, int lockTries) {
  TRewriteResult r;
  r.file = path;
  if (!plat::file_exists(path)) return r;
  r.present = true;
  r.outcome = TTableOutcome::Failed;
  DbErrorsKept kept;
  code_error_set(DbContext, 0);
  DbDataFile* d = data_open(DbContext, path.c_str());
  if (!d) {
    r.why = KeptError(kept);
    return r;
  }
  DbField* f = data_num_fields(d) >= field ? data_field_at(d, field) : nullptr;
  if (!f || field_type(f) != 'C') {
    r.why = Globals->GetMessageText(kMsgMaintenanceNotATable);
    data_close(d);
    code_error_set(DbContext, 0);
    return r;
  }
  const std::size_t width = static_cast<std::size_t>(field_len(f));
  // Counting reads only: an editor's row lock does not stand in its way.
  int rc = 0;
  if (!countOnly) {
    DbBoundedLocks bounded(lockTries);
    rc = data_lock_file(d);
  }
  if (rc == DB_LOCKED) {
    r.outcome = TTableOutcome::Busy;
  } else if (rc == 0) {
    data_tag_select(d, nullptr);  // record order: a rewritten key moves no row
    std::string text;  // one buffer for every row's text: no allocation per row
    text.reserve(width);
    for (rc = data_top(d); rc == 0; rc = data_skip(d, 1)) {
      if (data_is_deleted(d)) continue;
      const char* bytes = field_ptr(f);
      std::size_t len = width;
      while (len > 0 && bytes[len - 1] == ' ') --len;
      text.assign(bytes, len);
      std::optional<std::string> value = rule(d, text);
      if (!value) continue;
      if (value->size() > width) {
        ++r.tooLong;
        continue;
      }
      ++r.changed;
      if (!countOnly) field_assign(f, value->c_str());
    }
    if (rc >= 0 && code_error_get(DbContext) >= 0) r.outcome = TTableOutcome::Done;
  }
  if (r.outcome == TTableOutcome::Failed) r.why = KeptError(kept);
  code_error_set(DbContext, 0);
  // The close writes the last row: a failure there is the table's too.
  if (data_close(d) < 0 || code_error_get(DbContext) < 0) {
    if (r.outcome != TTableOutcome::Busy) {
      r.outcome = TTableOutcome::Failed;
      r.why = KeptError(kept);
    }
  }
  code_error_set(DbContext, 0);
  return r;
}

std::string RewriteSummary(const std::vector<TRewriteResult>& results) {
  long changed = 0, tooLong = 0;
  std::vector<TTableResult> tables;
  std::string tooLongList;
  for (const auto& r : results) {
    if (!r.present) continue;
    changed += r.changed;
    tooLong += r.tooLong;
    if (r.tooLong) tooLongList += "\r\n" + r.file + ": " + std::to_string(r.tooLong);
    tables.push_back({r.file, r.outcome, r.why});
  }
  std::string text = FormatLogValues(Globals->GetMessageText(kMsgRewriteSummary),
                                     {std::to_string(changed), std::to_string(tooLong)});
  if (tooLong) text += "\r\n\r\n" + Globals->GetMessageText(kMsgRewriteTooLongHeading) + tooLongList;
  return text + "\r\n\r\n" + MaintenanceSummary(tables);
}
