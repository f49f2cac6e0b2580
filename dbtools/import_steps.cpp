#include "dbtools/import_steps.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>

#include "appcore/globals.h"
#include "dbmodel/filetable.h"
#include "dbmodel/text_helpers.h"
#include "dbtools/import_run.h"
#include "masterdata/pick_dialogs.h"
#include "platform/file.h"
#include "platform/msgbox.h"

bool PickImportMachine(TWindow& owner, TcbFileRecord& record) {
  int32_t machineId = 0;
  if (TMachineDialog(&owner, &machineId).Execute() != IDOK) return false;
  // A copy: another chooser may change the global one during the run.
  const std::string dir = Globals->ChosenMachineDir.c_str();
  if (dir.empty() || dir.size() >= sizeof record.DIR || !plat::directory_exists(dir)) {
    ImportMessage(owner, kMsgImportNoMachineDir, MB_OK | MB_ICONSTOP, {dir});
    return false;
  }
  record.MID = Globals->ChosenMachineId;
  record.MAT = Globals->ChosenMachineType;
  TrimCopy(record.DIR, dir.c_str());
  TrimCopy(record.MACHINE, Globals->ChosenMachineName.c_str());
  return true;
}


long Wc18ProgramNumber(const std::string& fileName) {
  const char* text = fileName.c_str();
  if (std::isalpha(static_cast<unsigned char>(text[0]))) ++text;
  return LeadingNumber(text);
}
