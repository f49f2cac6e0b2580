// Jobs and job lines: layouts, finds by id and the changes.
#include "dbmodel/job.h"

#include <cstring>

#include "dbmodel/counter.h"
#include "dbmodel/layout_rebuild.h"
#include "dbmodel/query_walk.h"
#include "engine/engine_api.h"

namespace {

enum { fID = 1, fMACH, fNAME, fPART, fMEMO };
enum { lID = 1, lJOB, lPROG, lPROGNR };

// Puts the open file on the live row of the id; false when there is none.
bool SeekLive(DbDataFile* d, long id) {
  return id != 0 && layout::SeekById(d, "ID", 1, id) && !data_is_deleted(d);
}

}  // namespace

// ---- jobs ---------------------------------------------------------------------------

int TJobTable01::Create(const char* fullPath) {
  if (!fullPath) return 0;
  FieldInfoList fields(DbContext);
  fields.add("ID", 'N', 10, 0);
  fields.add("MACH", 'N', 10, 0);
  fields.add("NAME", 'C', 40, 0);
  fields.add("PART", 'C', 25, 0);
  fields.add("MEMO", 'M', 0, 0);
  TagInfoList tags(DbContext);
  tags.add("ID", "ID", nullptr, 20, 0);
  CreateLayout(fullPath, fields, tags);
  return LastEngineError() == 0 ? 1 : 0;
}

int TJobTable01::NewRecord() { return NewInto(made); }

int TJobTable01::ReadRecord() {
  if (!NewRecord()) return 0;
  made->ID = FieldLong(fID);
  made->MACH = FieldLong(fMACH);
  FieldText(fNAME, made->NAME, sizeof made->NAME);
  FieldText(fPART, made->PART, sizeof made->PART);
  std::string note;
  made->MEMO = ReadMemoText(fMEMO, note) ? HeapCopy(note.c_str()) : nullptr;
  SetCurrent(made);
  return 1;
}

int TJobTable01::FindById(long id) {
  if (id == 0 || !Open()) return 0;
  if (SeekLive(Data(), id)) return 1;
  Close();
  return 0;
}

TJobRecord01* TJobTable01::ReadJob(long id) {
  if (!FindById(id)) return nullptr;
  TJobRecord01* r = ReadRecord() ? made : nullptr;
  made = nullptr;
  Close();
  return r;
}

void TJobTable01::WriteJob(long machineId, const char* name, const char* part, const char* note) {
  char text[41];
  PutLong(fMACH, machineId);
  TrimCopy(text, name);
  PutText(fNAME, text);
  TrimCopy(text, sizeof(TJobRecord01::PART), part);
  PutText(fPART, text);
  PutMemo(fMEMO, note ? note : "");
}

long TJobTable01::AppendJob(long machineId, const char* name, const char* part, const char* note) {
  long id = NextJobListId();
  if (id <= 0 || !Open()) return 0;
  bool ok = AppendAndClose([&] {
    PutLong(fID, id);
    WriteJob(machineId, name, part, note);
  });
  return ok ? id : 0;
}

int TJobTable01::UpdateJob(long id, long machineId, const char* name, const char* part, const char* note) {
  if (!FindById(id)) return 0;
  WriteJob(machineId, name, part, note);
  return Close();
}

int TJobTable01::UpdateJobNote(long id, const char* note) {
  if (!FindById(id)) return 0;
  PutMemo(fMEMO, note ? note : "");
  return Close();
}

int TJobTable01::DeleteJob(long id) {
  if (!FindById(id)) return 0;
  data_delete(Data());
  return Close();
}

// ---- job lines ----------------------------------------------------------------------

int TJobTable02::Create(const char* fullPath) {
  if (!fullPath) return 0;
  FieldInfoList fields(DbContext);
  fields.add("ID", 'N', 10, 0);
  fields.add("JOB", 'N', 10, 0);
  fields.add("PROG", 'N', 10, 0);
  fields.add("PROGNR", 'N', 10, 0);
  TagInfoList tags(DbContext);
  tags.add("ID", "ID", nullptr, 20, 0);
  CreateLayout(fullPath, fields, tags);
  return LastEngineError() == 0 ? 1 : 0;
}

int TJobTable02::NewRecord() { return NewInto(made); }

int TJobTable02::ReadRecord() {
  if (!NewRecord()) return 0;
  made->ID = FieldLong(lID);
  made->JOB = FieldLong(lJOB);
  made->PROG = FieldLong(lPROG);
  made->PROGNR = FieldLong(lPROGNR);
  SetCurrent(made);
  return 1;
}

int TJobTable02::FindById(long id) {
  if (id == 0 || !Open()) return 0;
  if (SeekLive(Data(), id)) return 1;
  Close();
  return 0;
}

long TJobTable02::AppendJobLine(long jobId, long programId, long programNumber) {
  long id = NextJobLineId();
  if (id <= 0 || jobId == 0 || !Open()) return 0;
  bool ok = AppendAndClose([&] {
    PutLong(lID, id);
    PutLong(lJOB, jobId);
    PutLong(lPROG, programId);
    PutLong(lPROGNR, programNumber);
  });
  return ok ? id : 0;
}

int TJobTable02::DeleteJobLine(long id) {
  if (!FindById(id)) return 0;
  data_delete(Data());
  return Close();
}

TJobRecord02* TJobTable02::LoadJob(long jobId) {
  if (jobId == 0 || !Open()) return nullptr;
  TcbRecord* list = CollectQuery(FormatText("JOB = %ld", jobId).c_str(), nullptr, 1);
  Close();
  return static_cast<TJobRecord02*>(list);
}

int TJobTable02::DeleteJobLines(long jobId) {
  if (jobId == 0 || !Open()) return 0;
  bool ok = true;
  {
    TQueryWalk walk(Data());
    int rc = walk.Valid() ? walk.Top(FormatText("JOB = %ld", jobId).c_str(), nullptr) : -1;
    for (; rc == 0; rc = walk.Skip())
      if (!data_is_deleted(Data())) data_delete(Data());
    if (rc < 0) ok = false;
  }
  return Close() && ok ? 1 : 0;
}
