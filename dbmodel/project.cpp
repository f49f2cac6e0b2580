// Projects: layout, record reader, the customer's list, finds and changes.
// The file has no tag on NAME, so finds by name run as queries.
#include "dbmodel/project.h"

#include <cstring>

#include "dbmodel/counter.h"
#include "dbmodel/customer.h"
#include "dbmodel/query_walk.h"
#include "engine/engine_api.h"

namespace {
enum { fID = 1, fNAME = 2, fCUST = 3 };
}

int TcbProTable::Create(const char* fullPath) {
  if (!fullPath) return 1;
  FieldInfoList f(DbContext);
  f.add("ID", 'N', 10, 0);
  f.add("NAME", 'C', 40, 0);
  f.add("CUST", 'N', 10, 0);
  TagInfoList t(DbContext);
  t.add("ID", "ID", nullptr, 20, 0);
  CreateLayout(fullPath, f, t);
  return 1;
}

int TcbProTable::NewRecord() { return NewInto(made); }

int TcbProTable::ReadRecord() {
  if (!NewRecord()) return 0;
  made->ID = FieldLong(fID);
  FieldText(fNAME, made->NAME, sizeof made->NAME);
  made->CUST = FieldLong(fCUST);
  SetCurrent(made);
  return 1;
}

TcbProRecord* TcbProTable::Add(const char* name, long customer) {
  if (!name || customer == 0) return nullptr;
  if (!Open()) return nullptr;
  long id = NextProjectId();
  if (id <= 0) {
    Close();
    return nullptr;
  }
  if (!NewRecord()) return nullptr;
  TcbProRecord* r = made;
  r->ID = id;
  TrimCopy(r->NAME, name);
  r->CUST = customer;
  bool ok = AppendAndClose([&] {
    PutLong(fID, r->ID);
    PutText(fNAME, r->NAME);
    PutLong(fCUST, r->CUST);
  });
  if (!ok) {
    delete r;
    made = nullptr;
  }
  return made;
}

char* TcbProTable::GetName(long id) { return FieldCopyById(id, fNAME); }

int TcbProTable::FillListOfCustomer(TListLines* list, long customer) {
  if (!list) return 0;
  list->ClearLines();
  if (!Open()) return 0;
  bool ok = true;
  {
    TQueryWalk walk(Data());
    if (!walk.Valid()) {
      EngineFailed();
      return 0;
    }
    int rc = walk.Top(FormatText("CUST = %ld", customer).c_str(), nullptr);
    for (; rc == 0; rc = walk.Skip()) {
      if (data_is_deleted(Data())) continue;
      char name[41];
      FieldText(fNAME, name, sizeof name);
      list->AddLine(FormatText("%-100s @@%ld", ListLineText(name).c_str(), FieldLong(fID)).c_str());
    }
    ok = rc >= 0;
  }
  EngineFailed();
  ok = Close() && ok;
  list->SelectLine(0);
  return ok ? 1 : 0;
}

long TcbProTable::FindByNameAndCustomer(const char* name, long customer) {
  if (!name || customer == 0) return 0;
  std::string q;
  if (!QuoteSearchText(PadText(name, 40), q)) return 0;
  if (!Open()) return 0;
  long id = 0;
  // A deleted project does not hold on to its name.
  std::string filter = FormatText("NAME = %s .AND. CUST = %ld", q.c_str(), customer);
  if (AtFirstLive(filter.c_str(), [&] { id = FieldLong(fID); }) < 0) return 0;
  Close();
  return id;
}

int TcbProTable::Rename(long id, const char* name) {
  if (id == 0 || !name || !*name || !Open()) return 0;
  bool found = SeekNumber("ID", static_cast<double>(id));
  if (found) {
    char text[41];
    TrimCopy(text, name);
    PutText(fNAME, text);
  }
  return Close() && found ? 1 : 0;
}

int TcbProTable::DeleteById(long id) {
  if (id == 0 || !Open()) return 0;
  bool found = SeekNumber("ID", static_cast<double>(id));
  if (found) data_delete(Data());
  return Close() && found ? 1 : 0;
}

TcbProRecord* TcbProTable::ReadOfCustomer(long customer) {
  if (customer == 0 || !Open()) return nullptr;
  // Rows the table held already are not the result.
  bool ok = false;
  TcbRecord* first = CollectQuery(FormatText("CUST = %ld", customer).c_str(), nullptr, 0, &ok);
  if (!ok) return nullptr;
  made = static_cast<TcbProRecord*>(first);
  return made;
}

TcbProRecord* TcbProTable::FindByName(const char* name) {
  if (!name) return nullptr;
  std::string q;
  if (!QuoteSearchText(PadText(name, 40), q)) return nullptr;
  if (!Open()) return nullptr;
  long recno = 0;
  if (AtFirstLive(("NAME = " + q).c_str(), [&] { recno = data_recno(Data()); }) < 0) return nullptr;
  if (recno <= 0 || data_go(Data(), recno) != 0) {
    EngineFailed();
    return nullptr;
  }
  return ReadRecord() ? made : nullptr;
}

long TcbProTable::DeleteByName(const char* name) {
  long id = 0;
  int closed = ChangeFound(FindByName(name), made, [&](TcbProRecord* found) {
    id = found->ID;
    data_delete(Data());
  });
  return closed ? id : 0;
}
