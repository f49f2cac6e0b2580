// The job lists and the look-up of a job by its request id, and the
// job-line walk over the program index: a relation from each job line to
// its program row through the index's NCID tag.
#include <cstdlib>
#include <cstring>

#include "dbmodel/filetable.h"
#include "dbmodel/job.h"
#include "dbmodel/layout_rebuild.h"
#include "dbmodel/query_walk.h"
#include "engine/engine_api.h"

namespace {

enum { fID = 1, fNAME = 3, fPART = 4 };
enum { pNCID = 1, pDESC = 2, pPROG = 17 };
constexpr size_t kPartWidth = 25;

long FieldLongOf(DbDataFile* d, int n) {
  FieldRef f(d, n);
  return f.valid() ? f.asLong() : 0;
}

std::string FieldTextOf(DbDataFile* d, int n) {
  FieldRef f(d, n);
  if (!f.valid()) return {};
  std::string s(f.ptr(), f.len());
  char buf[256];
  TrimCopy(buf, s.c_str());
  return buf;
}

long DigitsAfterMarker(const char* line, const char* marker) {
  const char* at = std::strstr(line, "@@");
  if (!at) return 0;
  at = std::strstr(at, marker);
  if (!at) return 0;
  at += std::strlen(marker);
  if ((*at < '0' || *at > '9') && *at != '-') return 0;
  return std::strtol(at, nullptr, 10);
}

}  // namespace

void FillJobList(TJobTable01* table, long machineId, TListLines* list) {
  if (!table || !list) return;
  list->ClearLines();
  if (!table->Open()) return;
  int added = 0;
  {
    TQueryWalk walk(table->Data());
    int rc = walk.Valid() ? walk.Top(FormatText("MACH = %ld", machineId).c_str(), nullptr) : -1;
    for (; rc == 0; rc = walk.Skip()) {
      if (data_is_deleted(table->Data())) continue;
      std::string name = ListLineText(FieldTextOf(table->Data(), fNAME));
      list->AddLine(FormatText("%-150s@@%ld", name.c_str(), FieldLongOf(table->Data(), fID)).c_str());
      added++;
    }
  }
  layout::ClearError();
  table->Close();
  if (added) list->SelectLine(0);
}

long FindOtherJobByMachinePart(TJobTable01* table, long machineId, const char* part, long exceptId) {
  if (!table || machineId == 0 || !part) return 0;
  std::string text(part);
  while (!text.empty() && text.back() == ' ') text.pop_back();
  // A longer text would match a job by its first 25 characters only.
  if (text.size() > kPartWidth) return 0;
  std::string quoted;
  if (!QuoteFilterText(PadText(text.c_str(), kPartWidth), quoted)) return 0;
  if (!table->Open()) return 0;
  long found = 0;
  {
    TQueryWalk walk(table->Data());
    std::string filter = FormatText("MACH = %ld .AND. PART = ", machineId) + quoted;
    int rc = walk.Valid() ? walk.Top(filter.c_str(), nullptr) : -1;
    for (; rc == 0 && found == 0; rc = walk.Skip()) {
      if (data_is_deleted(table->Data())) continue;
      long id = FieldLongOf(table->Data(), fID);
      if (id != exceptId) found = id;
    }
  }
  layout::ClearError();
  table->Close();
  return found;
}

long FindJobByMachinePart(TJobTable01* table, long machineId, const char* part) {
  return FindOtherJobByMachinePart(table, machineId, part, 0);
}

std::string JobLineText(const char* text) {
  std::string s = ListLineText(text ? text : "");
  for (size_t i = 0; i + 1 < s.size(); i++)
    if (s[i] == '@' && s[i + 1] == '\xA3') s[i + 1] = ' ';
  return s;
}

long JobLineProgramId(const char* line) { return line ? DigitsAfterMarker(line, "\xA3\xA3") : 0; }

long JobLineProgramNumber(const char* line) { return line ? DigitsAfterMarker(line, "@\xA3") : 0; }

void FillJobProgramList(TJobTable02* table, long jobId, TListLines* list, const char* programIndex) {
  if (!table || !list) return;
  list->ClearLines();
  TcbFileTable programs(programIndex, 0, 0);
  if (!table->Open()) return;
  if (!programs.Open()) {
    table->Close();
    return;
  }
  int added = 0;
  DbDataFile* lines = table->Data();
  DbDataFile* index = programs.Data();
  DbTag* ncid = data_tag_find(index, "NCID");
  DbRelation* rel = ncid ? relate_init(lines) : nullptr;
  DbRelateNode* slave = rel ? relate_create_slave(&rel->top, index, "PROG", ncid) : nullptr;
  if (slave) {
    // A line whose program is gone relates to a blank row: it is listed with
    // an empty description so that it can still be removed.
    relate_match_set(slave, DB_RELATE_EXACT);
    int rc = relate_query_set(rel, FormatText("JOB = %ld", jobId).c_str()) < 0 ? -1 : relate_top(rel);
    for (; rc == 0; rc = relate_skip(rel, 1)) {
      if (data_is_deleted(lines) || data_is_deleted(index)) continue;
      std::string desc = JobLineText(FieldTextOf(index, pDESC).c_str());
      list->AddLine(FormatText("%-100s @@%ld\xA3\xA3%ld@\xA3%ld", desc.c_str(), FieldLongOf(lines, 1),
                               FieldLongOf(index, pNCID), FieldLongOf(index, pPROG))
                        .c_str());
      added++;
    }
  }
  if (rel) {
    relate_unlock(rel);
    relate_free(rel, 0);
  }
  layout::ClearError();
  programs.Close();
  table->Close();
  if (added) list->SelectLine(0);
}
