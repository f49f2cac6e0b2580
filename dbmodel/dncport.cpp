// DNC port table: layout and the 64 default slots, reading and writing the
// numbered properties, finds, appends and list lines.
#include <cstring>
#include <new>
#include <set>

#include "dbmodel/dncport.h"
#include "dbmodel/layout_rebuild.h"
#include "engine/engine_api.h"
#include "platform/msgbox.h"

namespace {

struct FieldDef {
  int first, last;
  char type;
  unsigned len;
};

constexpr FieldDef kLayout[] = {
    {1, 1, 'N', 2},       {2, 2, 'C', 30},      {3, 3, 'N', 2},       {4, 7, 'N', 1},
    {8, 8, 'N', 3},       {9, 11, 'C', 100},    {12, 13, 'C', 200},   {14, 14, 'N', 3},
    {15, 20, 'C', 100},   {21, 22, 'C', 200},   {23, 23, 'N', 1},     {24, 25, 'N', 10},
    {26, 26, 'C', 200},   {27, 27, 'C', 50},    {28, 31, 'N', 1},     {32, 32, 'C', 50},
    {33, 33, 'N', 2},     {34, 35, 'N', 1},     {36, 36, 'C', 200},   {37, 37, 'C', 30},
    {38, 41, 'C', 100},   {42, 45, 'N', 11},    {46, 55, 'M', 10},    {56, 65, 'C', 100},
    {66, 75, 'N', 10},    {76, 85, 'L', 1},     {86, 100, 'C', 200},  {101, 124, 'C', 40},
    {125, 134, 'L', 1},   {135, 144, 'C', 10},  {145, 145, 'C', 50},  {146, 155, 'L', 1},
    {156, 156, 'C', 40},  {157, 157, 'N', 10},  {158, 158, 'C', 200}, {159, 159, 'C', 60},
    {160, 162, 'C', 50},  {163, 163, 'L', 1},   {164, 168, 'N', 10},
};

const FieldDef& DefOf(int n) {
  for (const auto& d : kLayout)
    if (n >= d.first && n <= d.last) return d;
  return kLayout[0];
}

// Property groups beyond field 45 are read and written only when the file
// has more fields than the group's threshold.
bool InFile(int n, int count) {
  if (n > count) return false;
  static const int groups[][2] = {{46, 45},   {66, 65},   {86, 85},   {101, 100},
                                  {125, 124}, {135, 134}, {146, 145}, {156, 155},
                                  {158, 157}, {160, 159}, {163, 162}};
  int threshold = 0;
  for (const auto& g : groups)
    if (n >= g[0]) threshold = g[1];
  return count > threshold;
}

std::string FieldString(DbDataFile* d, int n, bool memo) {
  if (memo) {
    FieldRefMemo f(d, n);
    return f.valid() ? std::string(f.ptr(), f.len()) : std::string();
  }
  FieldRef f(d, n);
  if (!f.valid()) return std::string();
  std::string s(f.ptr(), f.len());
  size_t b = s.find_first_not_of(" \t");
  return b == std::string::npos ? std::string() : s.substr(b);
}

}  // namespace

// The field name of a new file; the upgrade names the later groups as the
// older stations did.
std::string DncFieldName(int n, bool upgrade) {
  if (n == 1) return "ID";
  if (upgrade) {
    if (n >= 86 && n <= 100) return FormatText("DIR%d", n - 86);
    if (n >= 101 && n <= 124) return FormatText("LIST%02d", n - 100);
    if (n >= 125 && n <= 134) return FormatText("F%02d", n - 124);
    if (n >= 135 && n <= 144) return FormatText("LEAVE%02d", n - 134);
    if (n == 145) return "OMFEED01";
    if (n >= 146 && n <= 155) return FormatText("LOG%03d", n - 145);
  }
  return FormatText("F_%03d", n);
}

void DncFieldAdd(FieldInfoList& fields, int n, bool upgrade) {
  const FieldDef& d = DefOf(n);
  fields.add(DncFieldName(n, upgrade).c_str(), d.type, d.type == 'M' ? 0 : d.len, 0);
}

int TMultiDncTable::Create(const char* fullPath) {
  if (!fullPath) return 1;
  FieldInfoList fields(DbContext);
  for (int n = 1; n <= TMultiDncRecord::kProperties; n++) DncFieldAdd(fields, n, false);
  TagInfoList tags(DbContext);
  tags.add("ID", "ID", nullptr, 20, 0);
  CreateLayout(fullPath, fields, tags);
  DbDataFile* d = data_open(DbContext, fullPath);
  if (!d) {
    EngineFailed();
    return 1;
  }
  // Ids already in the file (deleted rows keep theirs in the unique tag): a
  // slot whose id would clash with one takes the lowest free id instead, so
  // the file is still topped up to its 64 rows.
  std::set<long> taken;
  for (long r = 1, n = data_reccount(d); r <= n; r++)
    if (data_go(d, r) == 0) taken.insert(field_long(data_field_at(d, 1)));
  for (long count = data_reccount(d); count >= 0 && count < 64; count++) {
    using namespace layout;
    long id = count;
    for (long free_id = 0; taken.count(id); free_id++) id = free_id;
    taken.insert(id);
    bool ok = AppendRow(d, [&] {
      layout::PutLong(d, 1, id);
      layout::PutText(d, 2, "No Machine selected");
      for (auto [n, v] : {std::pair{3, 10}, {4, 2}, {5, 1}, {6, 2}, {7, 1}, {8, 10}, {14, 5},
                          {24, 0}, {25, 0}, {28, 1}, {29, 2}, {31, 1}, {33, 0}, {34, 2},
                          {35, 1}, {42, 10}, {69, 0}})
        layout::PutLong(d, n, v);
      layout::PutText(d, 9, "13,10");
      layout::PutText(d, 15, "13,10");
      layout::PutLogical(d, 77, 1);
      layout::PutLogical(d, 79, 1);
    });
    if (!ok || data_flush(d) != 0) break;
  }
  data_close(d);
  EngineFailed();
  return 1;
}

int TMultiDncTable::NewRecord() {
  made = new (std::nothrow) TMultiDncRecord;
  if (!made) {
    MessageBox(nullptr, "Unable To Create a new TMultiDncRecord", "Exception", MB_OK);
    return 0;
  }
  return 1;
}

int TMultiDncTable::ReadRecord() {
  if (!NewRecord()) return 0;
  ReadFields(made, Data());
  SetCurrent(made);
  return 1;
}

int TMultiDncTable::ReadFields(TMultiDncRecord* r, DbDataFile* d) {
  if (!r || !d) return 0;
  int count = data_num_fields(d);
  for (int n = 1; n <= TMultiDncRecord::kProperties && n <= count; n++) {
    if (n > 45 && !InFile(n, count)) continue;
    switch (DncPropertyKind(n)) {
      case 'N': {
        FieldRef f(d, n);
        r->Number[n] = f.valid() ? f.asLong() : 0;
        break;
      }
      case 'L': {
        std::string t = FieldString(d, n, false);
        char c = t.empty() ? 0 : t[0];
        r->Number[n] = c == 'Y' || c == 'y' || c == 'T' || c == 't';
        break;
      }
      case 'C':
      case 'M':
        r->SetText(n, FieldString(d, n, DncPropertyKind(n) == 'M').c_str());
        break;
      case 'S': {
        std::string t = FieldString(d, n, false);
        while (!t.empty() && t.back() == ' ') t.pop_back();
        CopyCut(r->Short156, sizeof r->Short156, t.c_str());
        break;
      }
      default:
        break;
    }
  }
  return 1;
}

int TMultiDncTable::WriteFields(const TMultiDncRecord* r, DbDataFile* d) {
  if (!r || !d) return 0;
  int count = data_num_fields(d);
  for (int n = 1; n <= TMultiDncRecord::kProperties && n <= count; n++) {
    if (n > 45 && !InFile(n, count)) continue;
    switch (DncPropertyKind(n)) {
      case 'N':
        layout::PutLong(d, n, n == 28 || n == 31 || n == 35 ? 1 : r->Number[n]);
        break;
      case 'L':
        layout::PutLogical(d, n, r->Number[n] != 0);
        break;
      case 'C':
        layout::PutText(d, n, r->GetValue(n));
        break;
      case 'M': {
        FieldRefMemo f(d, n);
        const char* t = r->GetValue(n);
        if (f.valid()) f.assign(t ? t : "");
        break;
      }
      case 'S':
        layout::PutText(d, n, r->Short156);
        break;
      default:
        break;
    }
  }
  return 1;
}

TMultiDncRecord* TMultiDncTable::LoadAllDetached(int detach) {
  TcbRecord* head = LoadAll();
  Close();
  if (detach) DetachList();
  return static_cast<TMultiDncRecord*>(head);
}

TMultiDncRecord* TMultiDncTable::FindById(long id) {
  if (!Open()) return nullptr;
  TMultiDncRecord* found = nullptr;
  if (layout::SeekById(Data(), "ID", 1, id) && NewRecord()) {
    ReadFields(made, Data());
    found = made;
  }
  EngineFailed();
  Close();
  return found;
}

int TMultiDncTable::Update(TMultiDncRecord* record) {
  if (!record || !Open()) return 0;
  if (layout::SeekById(Data(), "ID", 1, record->Number[1])) WriteFields(record, Data());
  return Close();
}

int TMultiDncTable::Append(TMultiDncRecord* record) {
  if (!record || !Open()) return 0;
  DbDataFile* d = Data();
  // The id field holds two digits and the 64 slots take 0-63: a new port
  // gets the id after the highest in use (deleted rows keep theirs in the
  // unique tag), else the lowest free one. The whole file is locked while
  // the id is chosen and the row appended, so two stations never take the
  // same id.
  if (data_lock_file(d) != 0) {
    EngineFailed();
    Close();
    return 0;
  }
  d->header.num_recs = -1;  // another station may have appended meanwhile
  std::set<long> taken;
  for (long r = 1, count = data_reccount(d); r <= count; r++) {
    if (data_go(d, r) != 0) break;
    taken.insert(FieldLong(1));
  }
  long id = taken.empty() ? 0 : *taken.rbegin() + 1;
  if (id > 99)
    for (id = 0; id <= 99 && taken.count(id); id++) {
    }
  if (id > 99 || EngineFailed()) {
    Close();
    return 0;
  }
  record->Number[1] = id;
  return AppendAndClose([&] { WriteFields(record, d); }) ? 1 : 0;
}

void TMultiDncTable::DeleteById(long id) {
  if (!Open()) return;
  if (layout::SeekById(Data(), "ID", 1, id)) data_delete(Data());
  Close();
}

void TMultiDncTable::Fill(TListLines* list, bool twoIds) {
  if (!list) return;
  list->ClearLines();
  if (Open()) {
    DbDataFile* d = Data();
    EachLiveRow([&] {
      if (twoIds)
        list->AddLine(FormatText("%-130s@@%ld\xA3\xA3%ld", ListLineText(FieldString(d, 2, false)).c_str(),
                                 FieldLong(1), FieldLong(24))
                          .c_str());
      else
        list->AddLine(
            FormatText("%-130s@@%ld", ListLineText(FieldString(d, 62, false)).c_str(), FieldLong(1)).c_str());
    });
  }
  list->SelectLine(0);
}

void TMultiDncTable::FillList(TListLines* list) { Fill(list, false); }
void TMultiDncTable::FillListTwoIds(TListLines* list) { Fill(list, true); }
