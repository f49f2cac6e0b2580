// Program index queries: filters built from fixed patterns, run through a
// relation, with the result handed to the caller as a record list; the
// bulk changes by customer and project; list lines of a machine's programs
// and the configurable program list line.
//
// Texts from users and machines go into a filter as a dBASE constant in a
// delimiter the text does not contain; a text holding ', " and a bracket
// cannot be written and its search is refused.
#include <cstring>

#include "appcore/globals.h"
#include "dbmodel/filetable.h"
#include "dbmodel/query_walk.h"

namespace {

enum { fNCID = 1, fDESC = 2, fPART = 6, fDRAW = 7, fCUST = 8, fPROJECT = 11, fCHAR3 = 13, fPROG = 17 };

}  // namespace

TcbFileRecord* TcbFileTable::Select(const char* filter, const char* sort) {
  selectFailed_ = true;
  if (!Open()) return nullptr;
  // The result is built apart from any list the table already holds.
  TcbRecord* keptFirst = nullptr;
  TcbRecord* keptLast = nullptr;
  SwapList(keptFirst, keptLast);
  bool ok = true;
  {
    TQueryWalk walk(Data());
    int rc = walk.Valid() ? walk.Top(filter, sort) : -1;
    while (rc == 0) {
      if (!AddCurrent()) {
        ok = false;
        break;
      }
      rc = walk.Skip();
    }
    if (rc < 0) ok = false;
  }
  if (EngineFailed()) ok = false;
  TcbRecord* result = DetachList();
  SwapList(keptFirst, keptLast);
  if (!ok) {
    FreeRecordList(result);
    made = nullptr;
    return nullptr;
  }
  Close();
  selectFailed_ = false;
  made = static_cast<TcbFileRecord*>(result);
  return made;
}

TcbFileRecord* TcbFileTable::SelectText(char* text, int mode, const char* field, int width) {
  if (!text || mode < kSearchExact || mode > kSearchContains) return nullptr;
  UpperInPlace(text);
  std::string q;
  if (!QuoteSearchText(mode == kSearchExact ? PadText(text, width) : std::string(text), q)) return nullptr;
  std::string filter;
  if (mode == kSearchContains)
    filter = q + " $ UPPER(" + field + ")";
  else
    filter = std::string("UPPER(") + field + ") = " + q;
  return Select(filter.c_str(), field);
}

TcbFileRecord* TcbFileTable::SelectByDesc(char* text, int mode) {
  return SelectText(text, mode, "DESC", 40);
}
TcbFileRecord* TcbFileTable::SelectByPart(char* text, int mode) {
  return SelectText(text, mode, "PART", 25);
}
TcbFileRecord* TcbFileTable::SelectByDraw(char* text, int mode) {
  return SelectText(text, mode, "DRAW", 25);
}
TcbFileRecord* TcbFileTable::SelectByChar3(char* text, int mode) {
  return SelectText(text, mode, "CHAR3", 50);
}

TcbFileRecord* TcbFileTable::SelectByDescAndMachine(const char* text, long machineId) {
  if (!text) return nullptr;
  std::string key = PadText(text, 40);
  UpperInPlace(key.data());
  std::string q;
  if (!QuoteSearchText(key, q)) return nullptr;
  std::string filter = "UPPER(DESC) = " + q + FormatText(" .AND. MID = %ld", machineId);
  return Select(filter.c_str(), "DESC");
}

TcbFileRecord* TcbFileTable::SelectByCustomer(long customerId) {
  return Select(FormatText("CUST = %ld", customerId).c_str(), "DESC");
}
TcbFileRecord* TcbFileTable::SelectByProject(long projectId) {
  return Select(FormatText("PROJECT = %ld", projectId).c_str(), "DESC");
}
TcbFileRecord* TcbFileTable::SelectByMachine(long machineId) {
  return Select(FormatText("MID = %ld", machineId).c_str(), "DESC");
}

int TcbFileTable::DescExistsOnMachine(char* text, long machineId) {
  if (!text) return 0;
  UpperInPlace(text);
  std::string q;
  if (!QuoteSearchText(PadText(text, 40), q)) return 0;
  std::string filter = "UPPER(DESC) = " + q + FormatText(" .AND. MID = %ld", machineId);
  TcbFileRecord* found = Select(filter.c_str(), "DESC");
  if (!found) return 0;
  FreeRecordList(found);
  made = nullptr;
  return 1;
}

bool TcbFileTable::UpperDescsOfMachine(long machineId, std::set<std::string>& descs) {
  descs.clear();
  if (!Open()) return false;
  int rc;
  {
    TQueryWalk walk(Data());
    rc = walk.Valid() ? walk.Top(FormatText("MID = %ld", machineId).c_str(), nullptr) : -1;
    std::string desc;
    while (rc == 0) {
      FieldRef field(Data(), fDESC);
      desc.assign(field.ptr(), field.len());
      while (!desc.empty() && desc.back() == ' ') desc.pop_back();
      UpperInPlace(desc.data());
      descs.insert(desc.c_str());
      rc = walk.Skip();
    }
  }
  bool ok = rc == DB_EOF && !EngineFailed();
  return Close() && ok;
}

int TcbFileTable::AnyProgramOfMachine(long machineId) {
  if (!Open()) return 0;
  int rc;
  {
    TQueryWalk walk(Data());
    rc = walk.Valid() ? walk.Top(FormatText("MID = %ld", machineId).c_str(), nullptr) : -1;
  }
  EngineFailed();
  Close();
  return rc == 0 ? 1 : 0;
}

int TcbFileTable::BulkDetach(const char* filter, bool customer) {
  if (!Open()) return 0;
  bool ok;
  {
    TQueryWalk walk(Data());
    int rc = walk.Valid() ? walk.Top(filter, nullptr) : -1;
    while (rc == 0) {
      if (customer) PutLong(fCUST, 0);
      PutLong(fPROJECT, 0);
      rc = walk.Skip();
    }
    ok = rc == DB_EOF;
  }
  if (EngineFailed()) ok = false;
  return Close() && ok ? 1 : 0;
}

int TcbFileTable::DetachCustomer(long customerId) {
  return BulkDetach(FormatText("CUST = %ld", customerId).c_str(), true);
}

int TcbFileTable::DetachProject(long projectId) {
  return BulkDetach(FormatText("PROJECT = %ld", projectId).c_str(), false);
}

void TcbFileTable::FillByMachine(long machineId, TListLines* list, int kind) {
  if (!list) return;
  list->ClearLines();
  if (machineId == 0 || !Open()) return;
  static const char* const sorts[] = {"DESC", "PART", "DRAW", "CHAR3"};
  static const int firstField[] = {fDESC, fPART, fDRAW, fCHAR3};
  {
    TQueryWalk walk(Data());
    if (!walk.Valid()) {
      EngineFailed();
      Close();
      return;
    }
    DbDataFile* d = Data();
    int rc = walk.Top(FormatText("MID = %ld", machineId).c_str(), sorts[kind]);
    while (rc == 0) {
      if (!data_is_deleted(d)) {
        FieldRef first(d, firstField[kind]);
        std::string a = ListLineText(std::string(first.ptr(), first.len()));
        std::string line;
        if (kind == 0) {
          line = FormatText("%-200s@@%ld\xA3\xA3%ld", a.c_str(), FieldLong(fNCID), FieldLong(fPROG));
        } else {
          FieldRef desc(d, fDESC);
          std::string b = ListLineText(std::string(desc.ptr(), desc.len()));
          line = FormatText("%-50s - %-40s - %-50s@@%ld\xA3\xA3%ld", a.c_str(), b.c_str(), "",
                            FieldLong(fNCID), FieldLong(fPROG));
        }
        list->AddLine(line.c_str());
      }
      rc = walk.Skip();
    }
  }
  EngineFailed();
  Close();
  list->SelectLine(0);
}

void TcbFileTable::FillListByDesc(long machineId, TListLines* list) { FillByMachine(machineId, list, 0); }
void TcbFileTable::FillListByPart(long machineId, TListLines* list) { FillByMachine(machineId, list, 1); }
void TcbFileTable::FillListByDraw(long machineId, TListLines* list) { FillByMachine(machineId, list, 2); }
void TcbFileTable::FillListByChar3(long machineId, TListLines* list) { FillByMachine(machineId, list, 3); }

std::string FormatProgramListLine(TcbFileRecord* record) {
  std::string line;
  if (!record) return line;
  for (int col = 0; col < 5; col++) {
    int kind = Globals ? Globals->OfdColumn[col] : col + 1;
    int width = Globals ? Globals->OfdWidth[col] : 0;
    if (width < 0) width = 0;
    if (width > 50) width = 50;
    char* text = nullptr;
    switch (kind) {
      case 1: text = record->MACHINE; break;
      case 2: text = record->DESC; break;
      case 3: text = record->PART; break;
      case 4: text = record->DRAW; break;
      case 5: text = record->CHAR3; break;
      default: continue;  // the configuration admits no other kind
    }
    if (std::strlen(text) > static_cast<size_t>(width)) text[width] = 0;
    line += FormatText("%-*s - ", width, ListLineText(text).c_str());
  }
  line += FormatText("%100s - @@%ld", " ", record->NCID);
  return line;
}
