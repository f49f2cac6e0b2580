// Auto-import definitions: layout, record reader and writer for every
// layout, finds, list lines, changes and the layout upgrade.
#include "dbmodel/autoimp.h"

#include <cstdlib>
#include <cstring>

#include "dbmodel/layout_rebuild.h"
#include "engine/engine_api.h"

namespace {

enum {
  fID = 1, fMETHOD, fTIMEOUT, fMACHINE, fCUSTOMER, fPROJECT, fMACH, fNAME, fPATH, fMEPA, fEXT,
  fMEMO, fFILEMASK, fPROGID, fREPLACE, fRUN, fBACKUP, fEXPAND, fEXWITH, fMINDESC
};

}  // namespace

int AutoImportExpandWidth(const char* exwith) {
  constexpr int kLargest = 40;
  if (!exwith) return 0;
  std::size_t n = std::strlen(exwith);
  if (n < 1 || n > 2) return 0;
  for (std::size_t i = 0; i < n; ++i)
    if (exwith[i] < '0' || exwith[i] > '9') return 0;
  int width = std::atoi(exwith);
  return width >= 1 && width <= kLargest ? width : 0;
}

int TcbAutoImpTable::Create(const char* fullPath) {
  if (!fullPath) return 1;
  FieldInfoList fields(DbContext);
  for (const char* n : {"ID", "METHOD", "TIMEOUT", "MACHINE", "CUSTOMER", "PROJECT"})
    fields.add(n, 'N', 10, 0);
  fields.add("MACH", 'C', 25, 0);
  fields.add("NAME", 'C', 25, 0);
  fields.add("PATH", 'C', 200, 0);
  fields.add("MEPA", 'C', 200, 0);
  fields.add("EXT", 'C', 3, 0);
  fields.add("MEMO", 'C', 3, 0);
  fields.add("FILEMASK", 'C', 8, 0);
  fields.add("PROGID", 'C', 40, 0);
  for (const char* n : {"REPLACE", "RUN", "BACKUP", "EXPAND"}) fields.add(n, 'L', 1, 0);
  fields.add("EXWITH", 'C', 2, 0);
  fields.add("MINDESC", 'L', 0, 0);
  TagInfoList tags(DbContext);
  tags.add("ID", "ID", nullptr, 20, 0);
  CreateLayout(fullPath, fields, tags);
  return 1;
}

int TcbAutoImpTable::NewRecord() { return NewInto(made); }

int TcbAutoImpTable::ReadRecord() {
  if (!NewRecord()) return 0;
  TcbAutoImpRecord* r = made;
  r->ID = FieldLong(fID);
  r->METHOD = FieldLong(fMETHOD);
  r->TIMEOUT = FieldLong(fTIMEOUT);
  r->MACHINE = FieldLong(fMACHINE);
  r->CUSTOMER = FieldLong(fCUSTOMER);
  r->PROJECT = FieldLong(fPROJECT);
  FieldText(fMACH, r->MACH, sizeof r->MACH);
  FieldText(fNAME, r->NAME, sizeof r->NAME);
  FieldText(fPATH, r->PATH, sizeof r->PATH);
  FieldText(fMEPA, r->MEPA, sizeof r->MEPA);
  FieldText(fEXT, r->EXT, sizeof r->EXT);
  FieldText(fMEMO, r->MEMO, sizeof r->MEMO);
  FieldText(fFILEMASK, r->FILEMASK, sizeof r->FILEMASK);
  FieldText(fPROGID, r->PROGID, sizeof r->PROGID);
  r->REPLACE = FieldTrue(fREPLACE);
  r->RUN = FieldTrue(fRUN);
  r->BACKUP = FieldTrue(fBACKUP);
  int n = data_num_fields(Data());
  if (n > 17) {
    r->EXPAND = FieldTrue(fEXPAND);
    FieldText(fEXWITH, r->EXWITH, sizeof r->EXWITH);
  }
  if (n > 19) r->MINDESC = FieldTrue(fMINDESC);
  SetCurrent(r);
  return 1;
}

void TcbAutoImpTable::WriteRow(const TcbAutoImpRecord* r) {
  PutLong(fID, r->ID);
  PutLong(fMETHOD, r->METHOD);
  PutLong(fTIMEOUT, r->TIMEOUT);
  PutLong(fMACHINE, r->MACHINE);
  PutLong(fCUSTOMER, r->CUSTOMER);
  PutLong(fPROJECT, r->PROJECT);
  PutText(fMACH, r->MACH);
  PutText(fNAME, r->NAME);
  PutText(fPATH, r->PATH);
  PutText(fMEPA, r->MEPA);
  PutText(fEXT, r->EXT);
  PutText(fMEMO, r->MEMO);
  PutText(fFILEMASK, r->FILEMASK);
  PutText(fPROGID, r->PROGID);
  PutLogical(fREPLACE, r->REPLACE);
  PutLogical(fRUN, r->RUN);
  PutLogical(fBACKUP, r->BACKUP);
  int n = data_num_fields(Data());
  if (n > 17) {
    PutLogical(fEXPAND, r->EXPAND);
    PutText(fEXWITH, r->EXWITH);
  }
  if (n > 19) PutLogical(fMINDESC, r->MINDESC);
}

void TcbAutoImpTable::FillList(TListLines* list) {
  if (!list || !Open()) return;
  list->ClearLines();
  EachLiveRow([&] {
    char name[26];
    FieldText(fNAME, name, sizeof name);
    list->AddLine(FormatText("%-100s@@%ld", ListLineText(name).c_str(), FieldLong(fID)).c_str());
  });
  list->SelectLine(0);
}

TcbAutoImpRecord* TcbAutoImpTable::FindById(long id) {
  if (!Open()) return nullptr;
  TcbAutoImpRecord* found = nullptr;
  if (layout::SeekById(Data(), "ID", 1, id) && ReadRecord()) found = made;
  EngineFailed();
  Close();
  return found;
}

int TcbAutoImpTable::Add(const TcbAutoImpRecord* record) {
  if (!record || !Open()) return 0;
  return AppendAndClose([&] { WriteRow(record); }) ? 1 : 0;
}

int TcbAutoImpTable::Update(const TcbAutoImpRecord* record) {
  if (!record || !Open()) return 0;
  if (!layout::SeekById(Data(), "ID", 1, record->ID)) {
    Close();
    return 0;
  }
  WriteRow(record);
  return Close();
}

void TcbAutoImpTable::DeleteById(long id) {
  if (!Open()) return;
  if (layout::SeekById(Data(), "ID", 1, id)) data_delete(Data());
}

TcbAutoImpRecord* TcbAutoImpTable::LoadAllDetached() {
  TcbRecord* head = LoadAll();
  DetachList();
  Close();
  made = static_cast<TcbAutoImpRecord*>(head);
  return made;
}

// Older layouts: 17 fields gain EXPAND, EXWITH and MINDESC, 19 fields gain
// MINDESC. The old file is set aside first and put back on failure.
int TcbAutoImpTable::Upgrade() {
  if (!Open()) return 1;
  int n = data_num_fields(Data());
  EngineFailed();
  if (n != 17 && n != 19) {  // current, or a layout this version does not know
    Close();
    return 1;
  }
  FieldInfoList fields(Data());
  TagInfoList tags(Data());
  Close();
  if (n < 19) {
    fields.add("EXPAND", 'L', 1, 0);
    fields.add("EXWITH", 'C', 2, 0);
  }
  fields.add("MINDESC", 'L', 0, 0);
  auto carry = [&](DbDataFile* old) {
    using namespace layout;
    TcbAutoImpRecord r;
    r.ID = OldLong(old, fID);
    r.METHOD = OldLong(old, fMETHOD);
    r.TIMEOUT = OldLong(old, fTIMEOUT);
    r.MACHINE = OldLong(old, fMACHINE);
    r.CUSTOMER = OldLong(old, fCUSTOMER);
    r.PROJECT = OldLong(old, fPROJECT);
    TrimCopy(r.MACH, OldText(old, fMACH).c_str());
    TrimCopy(r.NAME, OldText(old, fNAME).c_str());
    TrimCopy(r.PATH, OldText(old, fPATH).c_str());
    TrimCopy(r.MEPA, OldText(old, fMEPA).c_str());
    TrimCopy(r.EXT, OldText(old, fEXT).c_str());
    TrimCopy(r.MEMO, OldText(old, fMEMO).c_str());
    TrimCopy(r.FILEMASK, OldText(old, fFILEMASK).c_str());
    TrimCopy(r.PROGID, OldText(old, fPROGID).c_str());
    r.REPLACE = OldTrue(old, fREPLACE);
    r.RUN = OldTrue(old, fRUN);
    r.BACKUP = OldTrue(old, fBACKUP);
    if (n > 17) {
      r.EXPAND = OldTrue(old, fEXPAND);
      TrimCopy(r.EXWITH, OldText(old, fEXWITH).c_str());
    }
    if (!BeginAppend()) return false;
    WriteRow(&r);
    return FinishAppend();
  };
  layout::Rebuilt rc = layout::RebuildLayout(*this, fields, tags, carry);
  if (rc == layout::Rebuilt::done) return 1;
  layout::ReportLayoutKept(FileName());
  return 0;
}
