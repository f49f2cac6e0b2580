// Each command builds its dialog on the stack with the frame as parent,
// runs it modally and destroys it before it returns.
#include "dnc/job_commands.h"

#include "app/frame_commands.h"
#include "appcore/globals.h"
#include "dnc/job_dialogs.h"
#include "resources/menus/main.h"

namespace {


void MaintainJobs(TFrameWindow& frame, UINT) {
  TFont font("FIXEDSYS", 0, 0, 0, 0, 400);
  TJobMaintainDlg dlg(&frame, &font, 0);
  dlg.Execute();
}

// A cancelled file choice opens the editor on a new, unnamed file.
void CreateJobFile(TFrameWindow& frame, UINT) {
  std::string file;
  if (Globals->FileOpenDialog(&frame, nullptr, 0)) file = Globals->StartFile.c_str();
  TMakeJobFileDlg dlg(&frame, file.empty() ? nullptr : file.c_str());
  dlg.Execute();
}

}  // namespace

void RegisterJobCommands() {
  RegisterFrameCommand(kCmMaintainJobs, MaintainJobs);
  RegisterFrameCommand(kCmCreateJobFile, CreateJobFile);
}
