// The sheets (SS000005): a sheet in memory with its accessors by index,
// how its 50 fields are read from and written to a row, the finds, the row
// changes and the sheet list.

#include "dbmodel/list_lines.h"
#include "dbmodel/setup_sheet.h"
#include "dbmodel/query_walk.h"
#include "engine/engine_api.h"

namespace {
// Field numbers of SS000005: each group's first field; CBIDX n is
// fCBIDX + n and so on.
enum {
  fID1 = 1,
  fCBIDX = 4,
  fB = 12,
  fCH = 19,
  fDBL = 29,
  fL = 39,
  fMEMO = 49,
  fNAME = 50,
};
constexpr int kDecimalWidth = 12;
constexpr int kDecimalPlaces = 3;

bool In(int i, int count) { return i >= 0 && i < count; }
}  // namespace

TSheet05Record::TSheet05Record() {
  for (long& c : CBIDX) c = -1;
}

void TSheet05Record::SetId(int i, long value) {
  long* ids[] = {&ID1, &ID2, &ID3};
  if (In(i, 3)) *ids[i] = value;
}

long TSheet05Record::Id(int i) const {
  const long ids[] = {ID1, ID2, ID3};
  return In(i, 3) ? ids[i] : 0;
}

void TSheet05Record::SetComboIndex(int i, long value) {
  if (In(i, kChoices)) CBIDX[i] = value;
}
long TSheet05Record::ComboIndex(int i) const { return In(i, kChoices) ? CBIDX[i] : 0; }

void TSheet05Record::SetText(int i, const char* text) {
  if (In(i, kTexts)) CopyCut(CH[i], sizeof CH[i], text ? text : "");
}
const char* TSheet05Record::Text(int i) const { return In(i, kTexts) ? CH[i] : ""; }

void TSheet05Record::SetDecimal(int i, double value) {
  if (In(i, kNumbers)) DBL[i] = value;
}
double TSheet05Record::Decimal(int i) const { return In(i, kNumbers) ? DBL[i] : 0.0; }

void TSheet05Record::SetInteger(int i, long value) {
  if (In(i, kNumbers)) L[i] = value;
}
long TSheet05Record::Integer(int i) const { return In(i, kNumbers) ? L[i] : 0; }

void TSheet05Record::SetFlag(int i, int on) {
  if (In(i, kFlags)) B[i] = on ? 1 : 0;
}
int TSheet05Record::Flag(int i) const { return In(i, kFlags) ? B[i] : 0; }

std::string SheetDecimalText(double value) { return FormatText("%2.4f", value); }

long SheetListId(const char* line) { return ListLineMarkedId(line, "\xA7\xA7"); }

int TSheet05Table::Create(const char* fullPath) {
  if (!fullPath) return 1;
  FieldInfoList f(DbContext);
  for (const char* n : {"ID1", "ID2", "ID3"}) f.add(n, 'N', 10, 0);
  for (int i = 1; i <= TSheet05Record::kChoices; i++) f.add(FormatText("CBIDX%d", i).c_str(), 'N', 10, 0);
  for (int i = 1; i <= TSheet05Record::kFlags; i++) f.add(FormatText("B%d", i).c_str(), 'L', 1, 0);
  for (int i = 1; i <= TSheet05Record::kTexts; i++)
    f.add(FormatText("CH%d", i).c_str(), 'C', TSheet05Record::kTextWidth, 0);
  for (int i = 1; i <= TSheet05Record::kNumbers; i++)
    f.add(FormatText("DBL%d", i).c_str(), 'N', kDecimalWidth, kDecimalPlaces);
  for (int i = 1; i <= TSheet05Record::kNumbers; i++) f.add(FormatText("L%d", i).c_str(), 'N', 10, 0);
  f.add("MEMO", 'M', 0, 0);
  f.add("NAME", 'C', TSheet05Record::kTextWidth, 0);
  TagInfoList t(DbContext);
  for (const char* n : {"ID1", "ID2", "ID3"}) t.add(n, n, nullptr, 20, 0);
  CreateLayout(fullPath, f, t);
  return 1;
}

void TSheet05Table::ReadRow(TSheet05Record* r) {
  for (int i = 0; i < 3; i++) r->SetId(i, FieldLong(fID1 + i));
  for (int i = 0; i < TSheet05Record::kChoices; i++) r->CBIDX[i] = FieldLong(fCBIDX + i);
  for (int i = 0; i < TSheet05Record::kFlags; i++) r->B[i] = FieldTrue(fB + i) ? 1 : 0;
  for (int i = 0; i < TSheet05Record::kTexts; i++) FieldText(fCH + i, r->CH[i], sizeof r->CH[i]);
  for (int i = 0; i < TSheet05Record::kNumbers; i++) {
    FieldRef d(Data(), fDBL + i);
    r->DBL[i] = d.valid() ? d.toDouble() : 0.0;
    r->L[i] = FieldLong(fL + i);
  }
  std::string memo;
  r->SetMemo(ReadMemoText(fMEMO, memo) ? memo.c_str() : "");
  FieldText(fNAME, r->NAME, sizeof r->NAME);
}

void TSheet05Table::WriteRow(const TSheet05Record* r) {
  for (int i = 0; i < 3; i++) PutLong(fID1 + i, r->Id(i));
  for (int i = 0; i < TSheet05Record::kChoices; i++) PutLong(fCBIDX + i, r->CBIDX[i]);
  for (int i = 0; i < TSheet05Record::kFlags; i++) PutLogical(fB + i, r->B[i]);
  for (int i = 0; i < TSheet05Record::kTexts; i++) PutText(fCH + i, r->CH[i]);
  for (int i = 0; i < TSheet05Record::kNumbers; i++) {
    FieldRef d(Data(), fDBL + i);
    if (d.valid()) d.assignDouble(r->DBL[i], kDecimalWidth, kDecimalPlaces);
    PutLong(fL + i, r->L[i]);
  }
  PutMemo(fMEMO, r->MEMO ? r->MEMO : "");
  PutText(fNAME, r->NAME);
}

TSheet05Record* TSheet05Table::SeekId(long id) {
  if (!ReadById("ID1", id)) return nullptr;
  // A deleted sheet stays in the file until it is packed; it is gone.
  if (!data_is_deleted(Data())) return made;
  delete made;
  made = nullptr;
  return nullptr;
}

int TSheet05Table::ReadRecord() {
  if (!NewRecord()) return 0;
  ReadRow(made);
  SetCurrent(made);
  return 1;
}

TSheet05Record* TSheet05Table::AppendSheet(TSheet05Record* record) {
  if (!record || !Open()) return nullptr;
  return AppendAndClose([&] { WriteRow(record); }) ? record : nullptr;
}

int TSheet05Table::UpdateSheet(const TSheet05Record* record) {
  if (!record) return 0;
  return ChangeFound(SeekId(record->ID1), made, [&](TSheet05Record*) { WriteRow(record); });
}

int TSheet05Table::DeleteSheet(long id) {
  return ChangeFound(SeekId(id), made, [&](TSheet05Record*) { data_delete(Data()); });
}

void TSheet05Table::FillSheetList(long typeId, long programKey, TListLines* list) {
  if (!list || !Open()) return;
  FillLinesByQuery(Data(), FormatText("ID2 = %ld .AND. ID3 = %ld", typeId, programKey), list, [&] {
    char name[TSheet05Record::kTextWidth + 1];
    FieldText(fNAME, name, sizeof name);
    return FormatText("%-100s,\xA7\xA7%ld", ListLineText(name).c_str(), FieldLong(fID1));
  });
  EngineFailed();
  Close();
}
