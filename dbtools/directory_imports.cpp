// The directory imports: every file of one directory becomes a new program
// of the chosen machine. The plain imports copy each ordinary file as it
// is, to a machine alone or with a customer or a project; the tape imports
// offer every file of the directory of a file the user picks (hidden ones
// too) to a conversion and file what it takes.
#include <functional>
#include <string>
#include <vector>

#include "app/plugin_calls.h"
#include "app/status_dlg.h"
#include "appcore/globals.h"
#include "dbmodel/project.h"
#include "dbmodel/text_helpers.h"
#include "dbtools/import_commands.h"
#include "dbtools/import_run.h"
#include "dbtools/import_steps.h"
#include "dbtools/tape_conversions.h"
#include "masterdata/pick_dialogs.h"
#include "platform/file.h"
#include "platform/ui/frame.h"
#include "storage/search_dialogs.h"

namespace {

// The entries of a directory in the order the file system gives them.
std::vector<plat::FindData> DirectoryEntries(const std::string& dir) {
  std::vector<plat::FindData> entries;
  plat::FindHandle h;
  plat::FindData f;
  for (bool more = plat::find_first(JoinPath(dir, "*.*"), h, f); more; more = plat::find_next(h, f))
    entries.push_back(f);
  plat::find_close(h);
  return entries;
}

long ProjectCustomer(long projectId) {
  TcbProTable projects("KELVPRO.DBF", 0, 0);
  long customer = 0;
  for (TcbRecord* r = projects.ReadAll(); r; r = r->next)
    if (static_cast<TcbProRecord*>(r)->ID == projectId) customer = static_cast<TcbProRecord*>(r)->CUST;
  return customer;
}

enum class TPlainTarget { Machine, Customer, Project };

void RunPlainImport(TFrameWindow& frame, TPlainTarget to) {
  long customer = 0, project = 0;
  if (to == TPlainTarget::Customer) {
    if (TSelectCustomer(&frame).Execute() != IDOK) return;
    customer = Globals->ChosenCustomerId;
  } else if (to == TPlainTarget::Project) {
    if (TSelectProject(&frame).Execute() != IDOK) return;
    project = Globals->ChosenProjectId;
    customer = ProjectCustomer(project);
  }
  TImportRun run(frame, TProgramName::Plain);
  if (!PickImportMachine(frame, run.Record)) return;
  HeapText dir = CallPrintHook(&frame);
  if (!dir.IsSet()) return;
  CopyCut(run.Record.EXT, sizeof run.Record.EXT, "NC");
  run.Record.CUST = customer;
  run.Record.PROJECT = project;
  for (const plat::FindData& f : DirectoryEntries(dir.c_str())) {
    if (f.attributes & (plat::attr_hidden | plat::attr_system | plat::attr_directory)) continue;
    const std::string base = NameBase(f.name);
    TrimCopy(run.Record.DESC, base.c_str());
    TrimCopy(run.Record.CHAR3, base.c_str());
    if (!run.File(JoinPath(dir.c_str(), f.name), f.name)) break;
  }
  run.Finish();
}

using TConverter = std::function<TConversion(const std::string&, const std::string&, int*)>;

enum class TTapeKind { Mazak, Wc18 };

void RunTapeImport(TFrameWindow& frame, TTapeKind kind, const TConverter& convert) {
  TImportRun run(frame, TProgramName::SevenDigits);
  if (!PickImportMachine(frame, run.Record)) return;
  if (!Globals->FileOpenDialog(&frame, nullptr, 1)) return;
  // The chosen file points out its directory, whatever the current one is.
  std::string dir = DirectoryOf(Globals->StartFile.c_str());
  if (dir.empty()) dir = Globals->LastDir;
  TRunWorkFile work;
  if (!work.Made()) {
    ImportMessage(frame, kMsgImportNoWorkFile, MB_OK | MB_ICONSTOP,
                  {work.Path() + " (" + plat::error_text(work.Error()) + ")"});
    return;
  }
  const bool mazak = kind == TTapeKind::Mazak;
  CopyCut(run.Record.EXT, sizeof run.Record.EXT, mazak ? "MZK" : "NC");
  run.Record.LOCK = 1;
  run.Record.MAZAK = mazak ? 1 : 0;
  TShowStatusDlg status(&frame);
  status.Create();
  status.ShowWindow(SW_SHOW);
  for (const plat::FindData& f : DirectoryEntries(dir)) {
    // No directory is a tape, hidden or not.
    if (f.attributes & plat::attr_directory) continue;
    status.SetStatus(f.name);
    int error = 0;
    switch (convert(JoinPath(dir, f.name), work.Path(), &error)) {
      case TConversion::NotTaken:
        run.Skip();
        continue;
      case TConversion::SourceFailed:
        run.SkipListed(f.name, plat::error_text(error));
        continue;
      case TConversion::WorkFailed:
        run.Fail(f.name, plat::error_text(error));
        continue;
      case TConversion::Taken:
        break;
    }
    if (mazak) {
      run.Record.PROG = LeadingNumber(f.name.c_str());
      TrimCopy(run.Record.DESC, std::to_string(run.Record.PROG).c_str());
    } else {
      run.Record.PROG = Wc18ProgramNumber(f.name);
      TrimCopy(run.Record.DESC, NameBase(f.name).c_str());
    }
    if (!run.File(work.Path(), f.name)) break;
  }
  status.Destroy();
  run.Finish();
}

}  // namespace

void CmImportToMachine(TFrameWindow& frame) { RunPlainImport(frame, TPlainTarget::Machine); }
void CmImportToCustomer(TFrameWindow& frame) { RunPlainImport(frame, TPlainTarget::Customer); }
void CmImportToProject(TFrameWindow& frame) { RunPlainImport(frame, TPlainTarget::Project); }

void CmImportMazakT32(TFrameWindow& frame) { RunTapeImport(frame, TTapeKind::Mazak, ConvertMazakT32Tape); }
void CmImportMazakTPlus(TFrameWindow& frame) { RunTapeImport(frame, TTapeKind::Mazak, ConvertMazakTPlusTape); }
void CmImportWc18(TFrameWindow& frame) { RunTapeImport(frame, TTapeKind::Wc18, ConvertWc18File); }
void CmImportWc18140(TFrameWindow& frame) { RunTapeImport(frame, TTapeKind::Wc18, ConvertWc18140File); }
// The WC-18200 files are cleaned as the WC-18140 ones.
void CmImportWc18200(TFrameWindow& frame) { RunTapeImport(frame, TTapeKind::Wc18, ConvertWc18140File); }
