// Setup-sheet tables: the choice values and the two label tables, their
// layouts, finds, list lines and row changes.
#include "dbmodel/setup_sheet.h"

#include "dbmodel/query_walk.h"
#include "engine/engine_api.h"

namespace {
enum { fID = 1, fID2, fID3, fNAME };
constexpr int kLabelFieldWidth = 20;

}  // namespace

int TSheet02Table::Create(const char* fullPath) {
  if (!fullPath) return 1;
  FieldInfoList f(DbContext);
  for (const char* n : {"ID", "ID2", "ID3"}) f.add(n, 'N', 10, 0);
  f.add("NAME", 'C', 50, 0);
  TagInfoList t(DbContext);
  t.add("ID", "ID", nullptr, 20, 0);
  CreateLayout(fullPath, f, t);
  return 1;
}

int TSheet02Table::ReadRecord() {
  if (!NewRecord()) return 0;
  made->ID = FieldLong(fID);
  made->ID2 = FieldLong(fID2);
  made->ID3 = FieldLong(fID3);
  FieldText(fNAME, made->NAME, sizeof made->NAME);
  SetCurrent(made);
  return 1;
}

void TSheet02Table::WriteRow(const TSheet02Record* r) {
  PutLong(fID, r->ID);
  PutLong(fID2, r->ID2);
  PutLong(fID3, r->ID3);
  PutText(fNAME, r->NAME);
}

TSheet02Record* TSheet02Table::SeekId(long id) { return ReadById("ID", id) ? made : nullptr; }

void TSheet02Table::FillListByIds(TListLines* list, long typeId, int fieldNo) {
  if (!list || !Open()) return;
  FillLinesByQuery(Data(), FormatText("ID2 = %ld .AND. ID3 = %d", typeId, fieldNo), list, [&] {
    char name[51];
    FieldText(fNAME, name, sizeof name);
    return FormatText("%-170s@@%ld", ListLineText(name).c_str(), FieldLong(fID));
  });
  EngineFailed();
  Close();
}

TSheet02Record* TSheet02Table::AppendEntry(TSheet02Record* record) {
  if (!record || !Open()) return nullptr;
  return AppendAndClose([&] { WriteRow(record); }) ? record : nullptr;
}

int TSheet02Table::UpdateEntry(const TSheet02Record* record) {
  if (!record) return 0;
  return ChangeFound(SeekId(record->ID), made, [&](TSheet02Record*) { WriteRow(record); });
}

template <class Record, int StoredFields>
int TSheetLabelTable<Record, StoredFields>::Create(const char* fullPath) {
  if (!fullPath) return 1;
  FieldInfoList f(DbContext);
  f.add("ID", 'N', 10, 0);
  for (int i = 1; i <= StoredFields; i++) f.add(FormatText("F%d", i).c_str(), 'C', kLabelFieldWidth, 0);
  TagInfoList t(DbContext);
  t.add("ID", "ID", nullptr, 20, 0);
  CreateLayout(fullPath, f, t);
  return 1;
}

template <class Record, int StoredFields>
int TSheetLabelTable<Record, StoredFields>::ReadRecord() {
  if (!NewRecord()) return 0;
  made->ID = FieldLong(1);
  for (int n = 0; n < Record::kLabels; n++) {
    char label[kLabelFieldWidth + 1];
    FieldText(2 + n, label, sizeof label);
    made->SetLabel(n, label);
  }
  SetCurrent(made);
  return 1;
}

template <class Record, int StoredFields>
void TSheetLabelTable<Record, StoredFields>::WriteRow(const Record* r) {
  PutLong(1, r->ID);
  for (int n = 0; n < Record::kLabels; n++) PutText(2 + n, r->Label(n));
}

template <class Record, int StoredFields>
Record* TSheetLabelTable<Record, StoredFields>::SeekId(long id) {
  return ReadById("ID", id) ? made : nullptr;
}

template <class Record, int StoredFields>
Record* TSheetLabelTable<Record, StoredFields>::SeekTemplate() {
  if (!Open() || !SeekNumber("ID", 0)) return nullptr;
  return ReadRecord() == 1 ? made : nullptr;
}

template <class Record, int StoredFields>
Record* TSheetLabelTable<Record, StoredFields>::AppendLabels(Record* record) {
  if (!record || !Open()) return nullptr;
  return AppendAndClose([&] { WriteRow(record); }) ? record : nullptr;
}

template <class Record, int StoredFields>
int TSheetLabelTable<Record, StoredFields>::UpdateLabels(const Record* record) {
  if (!record) return 0;
  return ChangeFound(SeekId(record->ID), made, [&](Record*) { WriteRow(record); });
}

template class TSheetLabelTable<TSheet03Record, 26>;
template class TSheetLabelTable<TSheet04Record, 19>;
