// One run of a special import. Every source the command offers becomes a
// new program of the chosen machine: a new program id, the file copied
// into the machine's directory as DIR NAME.EXT, one row of the program
// index (open for the whole run) built from the run's record. The id draw, the copy and the row of
// each file run under the import lock of this station and the program
// index's filing lock, so an auto-import thread or another station files
// between two files, never in the middle of one. A copy never replaces a
// file, and a file whose row could not be written is taken back, so no
// program file is lost and none is left without its row.
//
// What did not go in is counted (skipped: not a program of this kind;
// failed: its copy or its row did not succeed) and, where it matters,
// listed by name; the run ends with a summary whenever anything was
// skipped or failed, or the run had to stop (no id, no filing lock).
#pragma once

#include <string>
#include <vector>

#include "dbmodel/filetable.h"
#include "appcore/message_ids.h"
#include "dbtools/import_names.h"

class TWindow;

// File names of the imported programs: "P" and the id, or "P" and the id
// in seven digits (the tape imports).
enum class TProgramName { Plain, SevenDigits };

class TImportRun {
 public:
  TImportRun(TWindow& owner, TProgramName naming);

  // The run's program record: the command sets the run-wide fields once
  // and the per-file ones before each File(); NCID, LONG1 and NAME are the
  // run's.
  TcbFileRecord Record;

  // Files the source as the next program; `shown` names it in the summary.
  // False when the run must stop (the user has been told).
  bool File(const std::string& source, const std::string& shown);
  // Not a program of this kind: counted only.
  void Skip() { ++skipped_; }
  // Passed over for a reason the user should see.
  void SkipListed(const std::string& shown, const std::string& why);
  void Fail(const std::string& shown, const std::string& why);
  // Ends the run at once, telling the user why.
  void Stop(int messageId);
  bool Stopped() const { return stopped_; }

  // The summary box, when anything was skipped or failed or the run stopped.
  void Finish();

 private:
  enum class TStep { Filed, Failed, NoLock, NoId };
  TStep FileLocked(const std::string& source, const std::string& shown);

  TWindow& owner_;
  TProgramName naming_;
  TcbFileTable index_;
  int imported_ = 0, skipped_ = 0, failed_ = 0;
  bool stopped_ = false;
  std::vector<std::string> listed_;
};

// A MESSAGES text filled with the values (one %s each) in a box over the
// owner, titled with the program's caption; the answer.
int ImportMessage(TWindow& owner, int messageId, unsigned flags, const std::vector<std::string>& values = {});

// The run's own work file in the temporary directory, made under a name no
// other run holds (a file left by an earlier run is never taken), removed
// when the run ends.
class TRunWorkFile {
 public:
  TRunWorkFile();
  ~TRunWorkFile();
  TRunWorkFile(const TRunWorkFile&) = delete;
  TRunWorkFile& operator=(const TRunWorkFile&) = delete;

  bool Made() const { return made_; }
  const std::string& Path() const { return path_; }
  int Error() const { return error_; }

 private:
  std::string path_;
  bool made_ = false;
  int error_ = 0;
};
