// Choosing a customer, project or machine and collecting its programs.
#include "dbtools/program_sets.h"

#include "appcore/globals.h"
#include "dbmodel/customer.h"
#include "dbmodel/machine.h"
#include "dbmodel/project.h"
#include "dbtools/import_run.h"
#include "masterdata/pick_dialogs.h"
#include "storage/search_dialogs.h"

namespace {

// Takes over a heap text (new[]) from a table.
std::string TakeText(char* text) {
  std::string s = text ? text : "";
  delete[] text;
  return s;
}

}  // namespace

long ChooseProgramSet(TWindow& parent, TProgramSet kind) {
  switch (kind) {
    case TProgramSet::Customer:
      return TSelectCustomer(&parent).Execute() == IDOK ? Globals->ChosenCustomerId : 0;
    case TProgramSet::Project:
      return TSelectProject(&parent).Execute() == IDOK ? Globals->ChosenProjectId : 0;
    case TProgramSet::Machine: {
      int32_t machine = 0;
      return TMachineDialog(&parent, &machine).Execute() == IDOK ? Globals->ChosenMachineId : 0;
    }
  }
  return 0;
}

bool CollectProgramSet(TProgramSet kind, long id, TProgramList& programs) {
  programs.clear();
  TcbFileTable index("KELVFILE.DBF", 0, 0);
  TcbFileRecord* head = nullptr;
  switch (kind) {
    case TProgramSet::Customer: head = index.SelectByCustomer(id); break;
    case TProgramSet::Project: head = index.SelectByProject(id); break;
    case TProgramSet::Machine: head = index.SelectByMachine(id); break;
  }
  index.made = nullptr;
  if (!head && index.SelectFailed()) return false;
  for (TcbRecord* r = head; r;) {
    TcbRecord* next = r->next;
    r->next = r->prev = nullptr;
    programs.emplace_back(static_cast<TcbFileRecord*>(r));
    r = next;
  }
  return true;
}

bool SelectProgramSet(TWindow& parent, TProgramSet kind, long id, TProgramList& programs) {
  if (CollectProgramSet(kind, id, programs)) return true;
  ImportMessage(parent, kMsgSetIndexUnread, MB_OK | MB_ICONSTOP);
  return false;
}

std::string ProgramSetName(TProgramSet kind, long id) {
  switch (kind) {
    case TProgramSet::Customer: {
      TcbAdvCustTable customers("KELVCUS2.DBF", 0, 0);
      return TakeText(customers.GetName(id));
    }
    case TProgramSet::Project: {
      TcbProTable projects("KELVPRO.DBF", 0, 0);
      return TakeText(projects.GetName(id));
    }
    case TProgramSet::Machine: {
      TcbMachTable machines("KELVMA.DBF", 0, 0);
      return TakeText(machines.GetNameCopy(id));
    }
  }
  return {};
}

std::string ChosenProgramSetName(TProgramSet kind, long id) {
  switch (kind) {
    case TProgramSet::Customer: return ProgramSetName(kind, id);
    case TProgramSet::Project: return Globals->ChosenProjectName.c_str();
    case TProgramSet::Machine: return Globals->ChosenMachineName.c_str();
  }
  return {};
}

std::string SafeNamePart(const std::string& name) {
  std::string safe;
  for (unsigned char c : name) {
    const bool refused = c < 0x20 || c == 0x7F || c == '\\' || c == '/' || c == ':' || c == '*' || c == '?';
    safe += refused ? '_' : static_cast<char>(c);
  }
  if (!safe.empty() && safe.find_first_not_of('.') == std::string::npos) safe = "_";
  return safe;
}
