// Jobs: named groups of one machine's programs that the DNC server sends as
// one transfer, when the operator sends the job or when the machine asks
// for it by the job's request id.
//
// CJ000001.DBF, one row per job: ID N10 (counter C09), MACH N10 (machine
// id), NAME C40, PART C25 (the request id a machine sends), MEMO memo (the
// job's note); unique tag ID.
// CJ000002.DBF, one row per program of a job: ID N10 (counter C10), JOB N10
// (job id), PROG N10 (program id, NCID of the program index), PROGNR N10
// (the program number when it was added); unique tag ID. Job lines are
// found by query, there is no tag on JOB.
//
// List lines: jobs of a machine "%-150s@@%ld" (name, job id); programs of
// a job "%-100s @@%ld££%ld@£%ld" (description, job-line id, program id,
// program number), "£" being the byte 0xA3.
#pragma once

#include "dbmodel/codetb.h"

inline constexpr const char* kJobFile = "CJ000001.DBF";
inline constexpr const char* kJobLineFile = "CJ000002.DBF";

class TJobRecord01 : public TcbRecord {
 public:
  ~TJobRecord01() override { delete[] MEMO; }

  long ID = 0;
  long MACH = 0;
  char NAME[41] = {};
  char PART[26] = {};
  char* MEMO = nullptr;  // new[] text; empty for no note, null when unreadable
};

class TJobRecord02 : public TcbRecord {
 public:
  long ID = 0;
  long JOB = 0;
  long PROG = 0;
  long PROGNR = 0;
};

class TJobTable01 : public TCodeTB {
 public:
  explicit TJobTable01(const char* fileName = kJobFile, int alternateDir = 0, int localDir = 0)
      : TCodeTB(fileName, alternateDir, localDir) {}

  int Create(const char* fullPath) override;
  int NewRecord() override;
  int ReadRecord() override;

  // 1 with the file left open on the live row of that id; else 0, closed.
  int FindById(long id);
  // The job as a new record the caller frees; null when there is no live
  // row of that id.
  TJobRecord01* ReadJob(long id);
  // The new job's id, 0 when it could not be stored.
  long AppendJob(long machineId, const char* name, const char* part, const char* note);
  // 1 when the row was rewritten; 0 when missing or the write failed.
  int UpdateJob(long id, long machineId, const char* name, const char* part, const char* note);
  int UpdateJobNote(long id, const char* note);
  int DeleteJob(long id);

  TJobRecord01* made = nullptr;  // the record read last

 private:
  void WriteJob(long machineId, const char* name, const char* part, const char* note);
};

class TJobTable02 : public TCodeTB {
 public:
  explicit TJobTable02(const char* fileName = kJobLineFile, int alternateDir = 0, int localDir = 0)
      : TCodeTB(fileName, alternateDir, localDir) {}

  int Create(const char* fullPath) override;
  int NewRecord() override;
  int ReadRecord() override;

  int FindById(long id);
  // The new job line's id, 0 when it could not be stored.
  long AppendJobLine(long jobId, long programId, long programNumber);
  int DeleteJobLine(long id);
  // 1 when every line of the job is marked deleted.
  int DeleteJobLines(long jobId);
  // The job's live lines in file order, handed to the caller
  // (FreeRecordList); null when there is none or the file will not open.
  TJobRecord02* LoadJob(long jobId);

  TJobRecord02* made = nullptr;
};

// Clears the box, adds the machine's live jobs in file order and selects
// the first line.
void FillJobList(TJobTable01* table, long machineId, TListLines* list);
// The id of the machine's first live job holding that request id, or 0.
// A deleted job never answers; a request id longer than the field matches
// nothing.
long FindJobByMachinePart(TJobTable01* table, long machineId, const char* part);
// The same, passing over the job exceptId (a job may keep its own id).
long FindOtherJobByMachinePart(TJobTable01* table, long machineId, const char* part, long exceptId);
// Clears the box and adds one line per job line whose program row is not
// deleted; a program no longer in the index gives a line with an empty
// description and ids 0. The first line is selected. The program index is
// the file of that name in the database directory.
void FillJobProgramList(TJobTable02* table, long jobId, TListLines* list,
                        const char* programIndex = "KELVFILE.DBF");

// The parts of a line of a job's program list: job-line id after "@@",
// program id after "££", program number after "@£"; 0 when missing.
long JobLineProgramId(const char* line);
long JobLineProgramNumber(const char* line);
// The visible text of a job-program line with every id marker broken up.
std::string JobLineText(const char* text);
