// Database profiles: layout, the default profile, finds, list lines and
// the changes the profile selection makes.
#include "dbmodel/profile.h"

#include <cstring>
#include <new>

#include "appcore/globals.h"
#include "dbmodel/counter.h"
#include "dbmodel/layout_rebuild.h"
#include "dbmodel/query_walk.h"
#include "engine/engine_api.h"

namespace {

enum {
  fVERSION = 1, fID, fNAME, fDB, fBACKUP, fDNCTEMP, fDNCFAIL, fLOCAL, fAUTO, fPICTURES, fVIDEO,
  fIMPORT, fEXPORT, fF14, fF15, fF16, fF17, fSERVER, fSHARE, fDRIVE, fF21, fF22, fF23, fF24,
  fF25, fF26, fNETWARE
};

}  // namespace

// The current layout, also built by the upgrade.
void ProfileLayout(FieldInfoList& fields, TagInfoList& tags) {
  fields.add("VERSION", 'N', 3, 0);
  fields.add("ID", 'N', 10, 0);
  fields.add("F03", 'C', 40, 0);
  for (const char* n : {"F04", "F05", "F06", "F07"}) fields.add(n, 'C', 200, 0);
  fields.add("LOCAL", 'N', 1, 0);
  fields.add("AUTO", 'N', 1, 0);
  for (const char* n : {"F10", "F11", "F12", "F13", "F14", "F15", "F16", "F17"})
    fields.add(n, 'C', 200, 0);
  fields.add("F18", 'C', 50, 0);
  fields.add("F19", 'C', 50, 0);
  fields.add("F20", 'C', 3, 0);
  fields.add("F21", 'L', 1, 0);
  fields.add("F22", 'C', 200, 0);
  fields.add("F23", 'C', 50, 0);
  fields.add("F24", 'C', 50, 0);
  fields.add("F25", 'C', 3, 0);
  fields.add("F26", 'L', 1, 0);
  fields.add("F27", 'L', 1, 0);
  tags.add("ID", "ID", nullptr, 20, 0);
}

void TcbDataTable::WriteDefault(DbDataFile* d, long id) {
  std::string base = Globals ? Globals->BaseDir : std::string();
  layout::PutLong(d, fVERSION, 351);
  layout::PutLong(d, fID, id);
  layout::PutText(d, fNAME, "Local Database");
  layout::PutText(d, fDB, (base + "KELVACFG\\DB31\\").c_str());
  layout::PutText(d, fBACKUP, (base + "KELVACFG\\BACKUP\\").c_str());
  layout::PutText(d, fDNCTEMP, (base + "KELVACFG\\DNCTEMP\\").c_str());
  layout::PutText(d, fDNCFAIL, (base + "KELVACFG\\DNCFAIL\\").c_str());
  layout::PutLong(d, fLOCAL, 1);
  layout::PutLong(d, fAUTO, 1);
  layout::PutText(d, fPICTURES, (base + "KELVACFG\\PICTURES\\").c_str());
  layout::PutText(d, fVIDEO, (base + "KELVACFG\\VIDEO\\").c_str());
  layout::PutText(d, fIMPORT, (base + "KELVACFG\\IMPORT").c_str());
  layout::PutText(d, fEXPORT, (base + "KELVACFG\\EXPORT").c_str());
  for (int f : {fF14, fF15, fF16}) layout::PutText(d, f, "");
  for (int f : {fF21, fF26, fNETWARE}) layout::PutLogical(d, f, 0);
}

int TcbDataTable::Create(const char* fullPath) {
  if (!fullPath) return 1;
  FieldInfoList fields(DbContext);
  TagInfoList tags(DbContext);
  ProfileLayout(fields, tags);
  CreateLayout(fullPath, fields, tags);
  // The default profile goes into a file without rows, new or not.
  DbDataFile* d = data_open(DbContext, fullPath);
  if (!d) {
    EngineFailed();
    return 1;
  }
  if (data_reccount(d) == 0) layout::AppendRow(d, [&] { WriteDefault(d, -5000); });
  data_close(d);
  EngineFailed();
  return 1;
}

TcbDataRecord* TcbDataTable::ReadRow() {
  made = new (std::nothrow) TcbDataRecord;
  if (!made) return nullptr;
  TcbDataRecord* r = made;
  r->VERSION = FieldLong(fVERSION);
  r->ID = FieldLong(fID);
  FieldText(fNAME, r->NAME, sizeof r->NAME);
  FieldText(fDB, r->DBDIR, sizeof r->DBDIR);
  FieldText(fBACKUP, r->BACKUPDIR, sizeof r->BACKUPDIR);
  FieldText(fDNCTEMP, r->DNCTEMPDIR, sizeof r->DNCTEMPDIR);
  FieldText(fDNCFAIL, r->DNCFAILDIR, sizeof r->DNCFAILDIR);
  r->LOCAL = FieldLong(fLOCAL);
  r->AUTO = FieldLong(fAUTO);
  FieldText(fPICTURES, r->PICTURESDIR, sizeof r->PICTURESDIR);
  FieldText(fVIDEO, r->VIDEODIR, sizeof r->VIDEODIR);
  FieldText(fIMPORT, r->IMPORTDIR, sizeof r->IMPORTDIR);
  FieldText(fEXPORT, r->EXPORTDIR, sizeof r->EXPORTDIR);
  if (fields() > 13) {
    FieldText(fSERVER, r->SERVER, sizeof r->SERVER);
    FieldText(fSHARE, r->SHARE, sizeof r->SHARE);
    FieldText(fDRIVE, r->DRIVE, sizeof r->DRIVE);
    r->F21 = FieldTrue(fF21);
    FieldText(fF22, r->F22, sizeof r->F22);
    r->F26 = FieldTrue(fF26);
    r->NETWARE = FieldTrue(fNETWARE);
  }
  return r;
}

void TcbDataTable::WriteRow(const TcbDataRecord* r) {
  PutLong(fVERSION, r->VERSION);
  PutLong(fID, r->ID);
  PutText(fNAME, r->NAME);
  PutText(fDB, r->DBDIR);
  PutText(fBACKUP, r->BACKUPDIR);
  PutText(fDNCTEMP, r->DNCTEMPDIR);
  PutText(fDNCFAIL, r->DNCFAILDIR);
  PutLong(fLOCAL, r->LOCAL);
  PutLong(fAUTO, r->AUTO);
  PutText(fPICTURES, r->PICTURESDIR);
  PutText(fVIDEO, r->VIDEODIR);
  PutText(fIMPORT, r->IMPORTDIR);
  PutText(fEXPORT, r->EXPORTDIR);
  if (fields() > 13) {
    PutText(fSERVER, r->SERVER);
    PutText(fSHARE, r->SHARE);
    PutText(fDRIVE, r->DRIVE);
    PutLogical(fF21, r->F21);
    PutText(fF22, r->F22);
    PutLogical(fF26, r->F26);
    PutLogical(fNETWARE, r->NETWARE);
  }
}

void TcbDataTable::FillList(TListLines* list) {
  if (list) list->ClearLines();
  if (!Open()) return;
  EachLiveRow([&] {
    if (!list) return;
    FieldRef name(Data(), fNAME);
    std::string text = name.valid() ? std::string(name.ptr(), name.len()) : std::string();
    list->AddLine(FormatText("%-100s@@%ld", ListLineText(text).c_str(), FieldLong(fID)).c_str());
  });
  if (list) list->SelectLine(0);
}

TcbDataRecord* TcbDataTable::FindAuto() {
  if (!Open()) return nullptr;
  TcbDataRecord* found = nullptr;
  {
    // A deleted profile still carries its mark; it is never taken.
    TQueryWalk walk(Data());
    int rc = walk.Valid() ? walk.Top("AUTO = 1 .AND. .NOT. DELETED()", nullptr) : -1;
    if (rc == 0) found = ReadRow();
  }
  EngineFailed();
  Close();
  return found;
}

int TcbDataTable::FindById(long id) {
  if (id == 0) return 0;
  if (!Open()) return 0;
  if (layout::SeekById(Data(), "ID", 2, id)) return 1;
  Close();
  return 0;
}

TcbDataRecord* TcbDataTable::ReadById(long id) {
  if (!FindById(id)) return nullptr;
  TcbDataRecord* r = ReadRow();
  Close();
  return r;
}

namespace {

void SetTexts(TcbDataRecord* r, const char* name, const char* database, const char* backup,
              const char* pictures, const char* video, const char* dncTemp, const char* dncFail,
              const char* importDir, const char* exportDir, int netware, const char* server,
              const char* share, const char* drive) {
  TrimCopy(r->NAME, name);
  TrimCopy(r->DBDIR, database);
  TrimCopy(r->BACKUPDIR, backup);
  TrimCopy(r->PICTURESDIR, pictures);
  TrimCopy(r->VIDEODIR, video);
  TrimCopy(r->DNCTEMPDIR, dncTemp);
  TrimCopy(r->DNCFAILDIR, dncFail);
  TrimCopy(r->IMPORTDIR, importDir);
  TrimCopy(r->EXPORTDIR, exportDir);
  r->NETWARE = netware ? 1 : 0;
  TrimCopy(r->SERVER, server);
  TrimCopy(r->SHARE, share);
  TrimCopy(r->DRIVE, drive);
}

}  // namespace

int TcbDataTable::Update(long id, const char* name, const char* database, const char* backup,
                         const char* pictures, const char* video, const char* dncTemp,
                         const char* dncFail, const char* importDir, const char* exportDir,
                         int netware, const char* server, const char* share, const char* drive) {
  if (!FindById(id)) return 0;
  TcbDataRecord* r = ReadRow();
  if (!r) {
    Close();
    return 0;
  }
  SetTexts(r, name, database, backup, pictures, video, dncTemp, dncFail, importDir, exportDir,
           netware, server, share, drive);
  WriteRow(r);
  delete r;
  made = nullptr;
  return Close();
}

int TcbDataTable::Add(const char* name, const char* database, const char* backup,
                      const char* pictures, const char* video, const char* dncTemp,
                      const char* dncFail, const char* importDir, const char* exportDir,
                      int netware, const char* server, const char* share, const char* drive) {
  if (!name || !database) return 0;
  if (!Open()) return 0;
  // The id is drawn first: the counter file and this file are never locked
  // together, so a draw cannot wait for this station's own append.
  long id = NextProfileId();
  if (id < 0) {
    Close();
    return 0;
  }
  TcbDataRecord r;
  r.ID = id;
  r.VERSION = 34;
  SetTexts(&r, name, database, backup, pictures, video, dncTemp, dncFail, importDir, exportDir,
           netware, server, share, drive);
  return AppendAndClose([&] { WriteRow(&r); }) ? 1 : 0;
}

int TcbDataTable::DeleteById(long id) {
  if (!FindById(id)) return 0;
  if (FieldLong(fLOCAL) == 0) data_delete(Data());
  Close();
  return 1;
}

void TcbDataTable::SetAutoProfile(long id) {
  if (!Open()) return;
  DbDataFile* d = Data();
  for (int rc = data_top(d); rc == 0; rc = data_skip(d, 1))
    PutLong(fAUTO, FieldLong(fID) == id ? 1 : 0);
  EngineFailed();
  Close();
}

void TcbDataTable::SetF26All(int flag) {
  if (!Open()) return;
  DbDataFile* d = Data();
  if (fields() >= fF26) {
    for (int rc = data_top(d); rc == 0; rc = data_skip(d, 1))
      PutLogical(fF26, FieldLong(fLOCAL) != 0 ? 0 : flag);
  }
  EngineFailed();
  Close();
}
