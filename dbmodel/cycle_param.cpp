// Cycle parameters: layout, reader, the 15 rows of a new cycle, updates,
// the parameter list and the copy of a cycle's parameters to another file.
#include "appcore/globals.h"
#include "appcore/message_ids.h"
#include "dbmodel/counter.h"
#include "dbmodel/cycle.h"
#include "dbmodel/query_walk.h"
#include "engine/engine_api.h"

namespace {
enum { fOWNER = 1, fPNUMBER, fFLAG, fDECI, fAUTO, fCODE, fHINT, fID };
constexpr int kParameters = 15;
}

int TcbParamTable::Create(const char* fullPath) {
  if (!fullPath) return 1;
  FieldInfoList f(DbContext);
  for (const char* n : {"OWNER", "PNUMBER", "FLAG", "DECI"}) f.add(n, 'N', 10, 0);
  f.add("AUTO", 'N', 10, 4);
  f.add("CODE", 'C', 25, 0);
  f.add("HINT", 'C', 25, 0);
  f.add("ID", 'N', 10, 0);
  TagInfoList t(DbContext);
  t.add("ID", "ID", nullptr, 20, 0);
  t.add("OWNER", "OWNER", nullptr, 0, 0);
  CreateLayout(fullPath, f, t);
  return 1;
}

int TcbParamTable::NewRecord() { return NewInto(made); }

int TcbParamTable::ReadRecord() {
  if (!NewRecord()) return 0;
  TcbParamRecord* r = made;
  r->OWNER = FieldLong(fOWNER);
  r->PNUMBER = FieldLong(fPNUMBER);
  r->FLAG = FieldLong(fFLAG);
  r->DECI = FieldLong(fDECI);
  FieldRef a(Data(), fAUTO);
  r->AUTO = a.valid() ? a.toDouble() : 0;
  FieldText(fCODE, r->CODE, sizeof r->CODE);
  FieldText(fHINT, r->HINT, sizeof r->HINT);
  r->ID = FieldLong(fID);
  SetCurrent(r);
  return 1;
}

void TcbParamTable::WriteRow(const TcbParamRecord* r) {
  PutLong(fOWNER, r->OWNER);
  PutLong(fPNUMBER, r->PNUMBER);
  PutLong(fFLAG, r->FLAG);
  PutLong(fDECI, r->DECI);
  FieldRef a(Data(), fAUTO);
  if (a.valid()) a.assignDouble(r->AUTO, 10, 4);
  PutText(fCODE, r->CODE);
  PutText(fHINT, r->HINT);
  PutLong(fID, r->ID);
}

TcbParamRecord* TcbParamTable::FindById(long id) { return ReadById("ID", id) ? made : nullptr; }

int TcbParamTable::Add(long cycle) {
  if (!Open()) return 0;
  bool ok = true;
  for (int n = 1; ok && n <= kParameters; n++) {
    long id = NextCycleParamId();
    ok = id > 0 && BeginAppend();
    if (!ok) break;
    PutLong(fOWNER, cycle);
    PutLong(fPNUMBER, n);
    PutLong(fFLAG, 0);
    PutLong(fID, id);
    ok = FinishAppend();
  }
  ok = Close() && ok;
  return ok ? 1 : 0;
}

int TcbParamTable::Update(const TcbParamRecord* record) {
  if (!record) return 0;
  return ChangeFound(FindById(record->ID), made, [&](TcbParamRecord*) { WriteRow(record); });
}

TcbParamRecord* TcbParamTable::ReadOfOwner(long cycle) {
  if (!Open()) return nullptr;
  bool ok = false;
  made = static_cast<TcbParamRecord*>(CollectQuery(FormatText("OWNER = %ld", cycle).c_str(), nullptr, 1, &ok));
  if (ok) Close();
  return made;
}

void TcbParamTable::FillList(long cycle, TListLines* list) {
  if (!list || !Open()) return;
  {
    TQueryWalk walk(Data());
    if (!walk.Valid()) {
      EngineFailed();
      return;
    }
    std::string undefined = Globals ? Globals->GetMessageText(kMsgParamUndefined) : std::string();
    list->ClearLines();
    int rc = walk.Top(FormatText("OWNER = %ld", cycle).c_str(), nullptr);
    for (; rc == 0; rc = walk.Skip()) {
      // Parameters of a deleted cycle are deleted with it.
      if (data_is_deleted(Data())) continue;
      long number = FieldLong(fPNUMBER), id = FieldLong(fID);
      if (FieldLong(fFLAG) & 1) {
        char code[30], hint[105];
        FieldText(fCODE, code, sizeof code);
        FieldText(fHINT, hint, sizeof hint);
        list->AddLine(FormatText("P:%02ld - %-28s,%-110s @@%ld", number, ListLineText(code).c_str(),
                                     ListLineText(hint).c_str(), id).c_str());
      } else {
        list->AddLine(FormatText("P:%02ld - %-138s @@%ld", number, undefined.c_str(), id).c_str());
      }
    }
  }
  EngineFailed();
  Close();
}

int TcbParamTable::DeleteOfOwner(long cycle) {
  if (!Open()) return 0;
  {
    TQueryWalk walk(Data());
    if (!walk.Valid()) {
      EngineFailed();
      return 0;
    }
    int rc = walk.Top(FormatText("OWNER = %ld", cycle).c_str(), nullptr);
    for (; rc == 0; rc = walk.Skip()) data_delete(Data());
  }
  EngineFailed();
  return Close();
}

int TcbParamTable::AppendCopy(long cycle, TcbParamRecord* list) {
  if (!Open()) return 0;
  bool ok = true;
  while (list) {
    TcbParamRecord* r = list;
    list = static_cast<TcbParamRecord*>(r->next);
    if (ok) {
      r->OWNER = cycle;
      // The unique ID tag would refuse a taken id and lose the parameter.
      if (r->ID == 0 || SeekNumber("ID", static_cast<double>(r->ID))) r->ID = NextCycleParamId();
      ok = r->ID > 0 && BeginAppend();
      if (ok) {
        WriteRow(r);
        ok = FinishAppend();
      }
    }
    delete r;
  }
  ok = Close() && ok;
  return ok ? 1 : 0;
}
