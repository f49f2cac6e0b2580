// Setup sheets: documentation pages kept per NC program. Each sheet has a
// type (SS000001, the id-and-name table `TSheetTypeTable`); the type gives
// the captions of the fields (labels) and the value lists of the eight
// choice fields.
//
// SS000002 choice values: ID N10, ID2 N10 (type), ID3 N10 (choice field
//   1..8), NAME C50; tag ID.
// SS000003 page-1 labels of a type: ID N10 (the type's id), F1..F26 C20;
//   F1..F25 hold the 25 labels, F26 is never written (stays blank); tag ID.
// SS000004 page-2 labels of a type: ID N10, F1..F19 C20; tag ID.
// SS000005 sheets (50 fields): ID1 N10 sheet id, ID2 N10 type, ID3 N10
//   program key (the program row's LONG1), CBIDX1..8 N10, B1..B7 L,
//   CH1..CH10 C50, DBL1..DBL10 N12.3, L1..L10 N10, MEMO M, NAME C50;
//   tags ID1, ID2, ID3.
// Every tag is unique: a repeated type or program key (two sheets of one
// type) is left out of its tag while the row is written, so rows are picked
// by query, never by seeking ID2 or ID3.
//
// Choices 1-4 (page 1) are stored as the chosen value's SS000002 id, 0 for
// none; choices 5-8 (page 2) as the chosen line's position in the value
// list in query order, -1 for none. Files of other stations rely on both.
#pragma once

#include <string>

#include "dbmodel/codetb.h"

class TSheet02Record : public TcbRecord {
 public:
  long ID = 0;
  long ID2 = 0;  // sheet type
  long ID3 = 0;  // choice field 1..8
  char NAME[51] = {};
};

// The labels of one page of a sheet type; a new record has every label empty.
template <int Count>
class TSheetLabelRecord : public TcbRecord {
 public:
  static constexpr int kLabels = Count;
  static constexpr int kLabelWidth = 20;

  long ID = 0;

  // A trimmed copy of the text, cut to 20 characters; n out of range
  // changes nothing.
  void SetLabel(int n, const char* text) {
    if (n >= 0 && n < Count) TrimCopy(labels_[n], text);
  }
  // Label n, empty for n out of range.
  const char* Label(int n) const { return n >= 0 && n < Count ? labels_[n] : ""; }

 private:
  char labels_[Count][kLabelWidth + 1] = {};
};

class TSheet03Record : public TSheetLabelRecord<25> {};
class TSheet04Record : public TSheetLabelRecord<19> {};

class TSheet05Record : public TcbRecord {
 public:
  static constexpr int kChoices = 8;
  static constexpr int kTexts = 10;
  static constexpr int kNumbers = 10;
  static constexpr int kFlags = 7;
  static constexpr int kTextWidth = 50;

  TSheet05Record();
  ~TSheet05Record() override { delete[] MEMO; }

  long ID1 = 0;  // sheet id
  long ID2 = 0;  // sheet type
  long ID3 = 0;  // program key
  char CH[kTexts][kTextWidth + 1] = {};
  long L[kNumbers] = {};
  double DBL[kNumbers] = {};
  long CBIDX[kChoices];
  int B[kFlags] = {};
  char* MEMO = nullptr;  // heap text (new[]), null when never set
  char NAME[kTextWidth + 1] = {};

  // Setters and readers by index from 0; an index out of range changes
  // nothing and reads 0 (an empty text).
  void SetId(int i, long value);
  long Id(int i) const;
  void SetComboIndex(int i, long value);
  long ComboIndex(int i) const;
  // A text longer than the field is cut to its 50 characters.
  void SetText(int i, const char* text);
  const char* Text(int i) const;
  void SetDecimal(int i, double value);
  double Decimal(int i) const;
  void SetInteger(int i, long value);
  long Integer(int i) const;
  void SetFlag(int i, int on);
  int Flag(int i) const;
  void SetMemo(const char* text) { ReplaceText(MEMO, text); }
  void SetName(const char* text) { TrimCopy(NAME, text); }
};

// A decimal as the sheet pages show it ("%2.4f"): 2.5 gives "2.5000".
std::string SheetDecimalText(double value);

// The sheet id of a sheet-list line: the number after its first "\xA7\xA7",
// 0 when there is none.
long SheetListId(const char* line);

// Choice values (SS000002).
class TSheet02Table : public TCodeTB {
 public:
  TSheet02Table(const char* fileName, int alternateDir, int localDir)
      : TCodeTB(fileName, alternateDir, localDir) {}

  int Create(const char* fullPath) override;
  int NewRecord() override { return NewInto(made); }
  int ReadRecord() override;

  // The value of that id as a new record for the caller, null for id 0 or
  // none; the file stays open (on the row after a hit).
  TSheet02Record* SeekId(long id);
  // Clears the list and fills it with "%-170s@@%ld" lines (NAME, ID) of
  // the type's values of one choice field, in record order; a table that
  // will not open or query leaves the list as it was.
  void FillListByIds(TListLines* list, long typeId, int fieldNo);
  // The record, or null when the row could not be written.
  TSheet02Record* AppendEntry(TSheet02Record* record);
  // Rewrites the row of the record's ID; 1, or 0 when it is missing or
  // the write failed.
  int UpdateEntry(const TSheet02Record* record);

  TSheet02Record* made = nullptr;

 private:
  void WriteRow(const TSheet02Record* r);
};

// Labels of one page of each type (SS000003 for page 1, SS000004 for
// page 2): the same but for the count.
template <class Record, int StoredFields>
class TSheetLabelTable : public TCodeTB {
 public:
  TSheetLabelTable(const char* fileName, int alternateDir, int localDir)
      : TCodeTB(fileName, alternateDir, localDir) {}

  int Create(const char* fullPath) override;
  int NewRecord() override { return NewInto(made); }
  int ReadRecord() override;

  // The type's labels as a new record for the caller, null for id 0 or
  // none; the file stays open (on the row after a hit).
  Record* SeekId(long id);
  // The row with ID 0, which a new type's labels copy where a database
  // has one (this program never writes it); null when there is none.
  Record* SeekTemplate();
  // The record, or null when the row could not be written.
  Record* AppendLabels(Record* record);
  // Rewrites the ID and every label of the row of the record's ID; 1, or
  // 0 when it is missing or the write failed. Fields past the labels
  // (F26 of page 1) are never touched.
  int UpdateLabels(const Record* record);

  Record* made = nullptr;

 private:
  void WriteRow(const Record* r);
};

class TSheet03Table : public TSheetLabelTable<TSheet03Record, 26> {
 public:
  using TSheetLabelTable::TSheetLabelTable;
};
class TSheet04Table : public TSheetLabelTable<TSheet04Record, 19> {
 public:
  using TSheetLabelTable::TSheetLabelTable;
};

// The sheets (SS000005). Several sheets share a type and a program.
class TSheet05Table : public TCodeTB {
 public:
  TSheet05Table(const char* fileName, int alternateDir, int localDir)
      : TCodeTB(fileName, alternateDir, localDir) {
    AcceptRepeatedKeys({"ID2", "ID3"});
  }

  int Create(const char* fullPath) override;
  int NewRecord() override { return NewInto(made); }
  int ReadRecord() override;

  // The sheet of that id as a new record for the caller, null for id 0, a
  // deleted sheet or none; the file stays open (on the row after a hit).
  TSheet05Record* SeekId(long id);
  // The record, or null when the row could not be written.
  TSheet05Record* AppendSheet(TSheet05Record* record);
  // Rewrites every field of the row of the record's ID1; 1, or 0 when it
  // is missing or the write failed.
  int UpdateSheet(const TSheet05Record* record);
  // Marks the sheet's row deleted; 1, or 0 when it is missing or the write
  // failed.
  int DeleteSheet(long id);
  // Clears the list and fills it with the lines of the sheets of a type
  // and program: NAME padded to 100 characters, ",", "\xA7\xA7", ID1. A
  // table that will not open or query leaves the list as it was.
  void FillSheetList(long typeId, long programKey, TListLines* list);

  TSheet05Record* made = nullptr;

 private:
  void ReadRow(TSheet05Record* r);
  void WriteRow(const TSheet05Record* r);
};
