// The list, export and print commands: choose the item, collect its
// programs, then write, copy or print them. An empty selection does
// nothing; a failure is told to the user.
#include "dbtools/program_set_commands.h"

#include "app/frame_commands.h"
#include "appcore/globals.h"
#include "dbtools/import_run.h"
#include "dbtools/list_printout.h"
#include "dbtools/program_export.h"
#include "dbtools/program_list_file.h"
#include "platform/ui/frame.h"

namespace {

// The chosen item and its programs; false when there is nothing to do.
bool ChooseAndSelect(TFrameWindow& frame, TProgramSet kind, long& id, TProgramList& programs) {
  id = ChooseProgramSet(frame, kind);
  if (id == 0) return false;
  return SelectProgramSet(frame, kind, id, programs) && !programs.empty();
}

void RunList(TFrameWindow& frame, TProgramSet kind) {
  long id = 0;
  TProgramList programs;
  if (!ChooseAndSelect(frame, kind, id, programs)) return;
  const std::string path = ProgramListPath(kind, ProgramSetName(kind, id));
  std::string error;
  if (!WriteProgramListFile(path, programs, error))
    ImportMessage(frame, kMsgListNotWritten, MB_OK | MB_ICONSTOP, {path, error});
}

void RunExport(TFrameWindow& frame, TProgramSet kind) {
  long id = 0;
  TProgramList programs;
  if (!ChooseAndSelect(frame, kind, id, programs)) return;
  const TExportResult result = ExportPrograms(kind, id, ChosenProgramSetName(kind, id), programs);
  if (!result.DirTextFits) {
    ImportMessage(frame, kMsgExportDirText, MB_OK | MB_ICONSTOP);
    return;
  }
  if (result.Trouble.empty()) return;
  std::string text = Globals->GetMessageText(kMsgExportTrouble);
  for (const std::string& line : result.Trouble) text += "\r\n" + line;
  ::MessageBox(frame.GetHandle(), text.c_str(), Globals->CaptionText.c_str(), MB_OK | MB_ICONEXCLAMATION);
}

void RunPrint(TFrameWindow& frame, TProgramSet kind) {
  long id = 0;
  TProgramList programs;
  if (!ChooseAndSelect(frame, kind, id, programs)) return;
  std::string name = ChosenProgramSetName(kind, id);
  std::unique_ptr<TPrintListout> printout;
  switch (kind) {
    case TProgramSet::Customer: printout = std::make_unique<TPrintListCust>(name, std::move(programs)); break;
    case TProgramSet::Project: printout = std::make_unique<TPrintListProj>(name, std::move(programs)); break;
    case TProgramSet::Machine: printout = std::make_unique<TPrintListMach>(name, std::move(programs)); break;
  }
  frame.SetCursor(nullptr, IDC_WAIT);
  // The printer tells its own failures; a cancelled dialog prints nothing.
  Globals->GetPrinter().Print(&frame, *printout, true);
  frame.SetCursor(nullptr, IDC_ARROW);
}

void Register(UINT id, void (*run)(TFrameWindow&)) {
  RegisterFrameCommand(id, [run](TFrameWindow& frame, UINT) { run(frame); });
}

}  // namespace

void CmListProgramsForCustomer(TFrameWindow& frame) { RunList(frame, TProgramSet::Customer); }
void CmListProgramsForProject(TFrameWindow& frame) { RunList(frame, TProgramSet::Project); }
void CmListProgramsForMachine(TFrameWindow& frame) { RunList(frame, TProgramSet::Machine); }
void CmExportProgramsForCustomer(TFrameWindow& frame) { RunExport(frame, TProgramSet::Customer); }
void CmExportProgramsForProject(TFrameWindow& frame) { RunExport(frame, TProgramSet::Project); }
void CmExportProgramsForMachine(TFrameWindow& frame) { RunExport(frame, TProgramSet::Machine); }
void CmPrintProgramsForCustomer(TFrameWindow& frame) { RunPrint(frame, TProgramSet::Customer); }
void CmPrintProgramsForProject(TFrameWindow& frame) { RunPrint(frame, TProgramSet::Project); }
void CmPrintProgramsForMachine(TFrameWindow& frame) { RunPrint(frame, TProgramSet::Machine); }

void RegisterProgramSetCommands() {
  Register(kCmListProgramsForCustomer, CmListProgramsForCustomer);
  Register(kCmListProgramsForProject, CmListProgramsForProject);
  Register(kCmListProgramsForMachine, CmListProgramsForMachine);
  Register(kCmExportProgramsForCustomer, CmExportProgramsForCustomer);
  Register(kCmExportProgramsForProject, CmExportProgramsForProject);
  Register(kCmExportProgramsForMachine, CmExportProgramsForMachine);
  Register(kCmPrintProgramsForCustomer, CmPrintProgramsForCustomer);
  Register(kCmPrintProgramsForProject, CmPrintProgramsForProject);
  Register(kCmPrintProgramsForMachine, CmPrintProgramsForMachine);
}
