// The database maintenance commands of the main frame. Pack and reindex
// run under this station's import lock, so no auto-import pass runs
// meanwhile, and take each table's file lock with a bounded number of
// tries: a table another station holds is passed over and reported busy,
// never waited on for ever. The rewrites of stored directories and program
// ids, the take-over of old customers, the line-end cleaning and the
// renaming of program files each end with one list of what was done, what
// was left as it was and why.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/wintypes.h"

#include "appcore/message_ids.h"
#include "resources/menus/main.h"

class TFrameWindow;
class TWindow;

enum class TTableWork { Pack, Reindex };
enum class TTableOutcome { Done, Busy, Failed };

struct TTableResult {
  std::string file;  // the full file name
  TTableOutcome outcome = TTableOutcome::Done;
  std::string why;  // a failure's cause
};

// How often a table's file lock is tried before the table counts as busy
// (about a second between tries).
inline constexpr int kMaintenanceLockTries = 3;

// Packs or reindexes every table ("*.DBF") of each directory, a directory
// named twice (database and alternate directory alike) once, showing the
// progress in a status window. No engine box: every table's outcome is in
// the result, in the order the tables were met.
std::vector<TTableResult> MaintainAllTables(TWindow& owner, const std::vector<std::string>& dirs, TTableWork work,
                                            int lockTries = kMaintenanceLockTries);

// The text of the closing list.
std::string MaintenanceSummary(const std::vector<TTableResult>& results);

void CmPack(TFrameWindow& frame);
void CmReindex(TFrameWindow& frame);
void CmReplaceDrive(TFrameWindow& frame);
void CmReplacePaths(TFrameWindow& frame);
void CmAddLeadingZeros(TFrameWindow& frame);
void CmUpdateMachinePath(TFrameWindow& frame);
void CmUpdateBackupPath(TFrameWindow& frame);
void CmUpdateDncFailPath(TFrameWindow& frame);
void CmUpdateDncTempPath(TFrameWindow& frame);
void CmConvertLinefeeds(TFrameWindow& frame);
void CmUpdateOldCustomers(TFrameWindow& frame);
void CmNameFilesByProgramId(TFrameWindow& frame);
// Why a DESC cannot name a file (a message id), 0 when it can: empty, a
// path separator, ":", "..", a wildcard or a control character.
int NameRefusal(const std::string& desc);

// Fields of a program-index row (every program table shares the layout).
inline constexpr int kProgramDescField = 2;
inline constexpr int kProgramDirField = 3;
inline constexpr int kProgramNameField = 4;
inline constexpr int kProgramExtField = 5;
inline constexpr int kProgramMachineField = 9;

// The tables whose directory fields the rewrites change, in the order they
// are done, with the field that holds the directory.
struct TDirectoryField {
  const char* table;
  int field;
};
inline constexpr TDirectoryField kDirectoryFields[] = {
    {"KELVFILE.DBF", 3}, {"KELVBACK.DBF", 3}, {"KELVDNCF.DBF", 3}, {"KELVDNCT.DBF", 3},
    {"KELVLOCK.DBF", 3}, {"KELVAUTO.DBF", 3}, {"LOG00003.DBF", 3}, {"KELVMA.DBF", 5},
};

// The new text of a stored directory when drive `from` becomes drive `to`
// (letters, in either case): only a drive prefix ("d:" at the start)
// changes, and the new letter is upper case. None for any other text.
std::optional<std::string> ReplacedDrive(const std::string& text, char from, char to);
// The new text when directory `from` becomes `to` (both upper case, each
// with one final separator): only the whole value, in any case.
std::optional<std::string> ReplacedPath(const std::string& text, const std::string& from, const std::string& to);
// A DESC of digits alone, not zero, padded with zeros in front to the
// width; none for any other DESC or when nothing would change.
std::optional<std::string> PaddedDesc(const std::string& desc, int width);
// The DESCs (of one machine's programs) that must stay as they are: their
// padded value is, or becomes, another program's DESC too.
std::set<std::string> RefusedDescs(const std::set<std::string>& descs, int width);
// An upper-case directory with one final "\".
std::string DirectoryKey(std::string dir);

// Registers the maintenance commands with the main frame (pack and reindex
// keep their right).
void RegisterMaintenanceCommands();
