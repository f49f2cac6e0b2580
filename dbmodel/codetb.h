// Base classes of every database table and record: the table keeps the full
// path of its data file, opens it lazily on the one engine context, holds
// the list of records read from it and closes the file when an operation
// ends, so that several stations can share the database directory.
#pragma once

#include <functional>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "dbmodel/engine_context.h"
#include "dbmodel/list_lines.h"
#include "dbmodel/text_helpers.h"
#include "engine/engine_api.h"

// A row handed out by a table. Records are deleted through this base, so
// the derived classes' destructors run.
class TcbRecord {
 public:
  TcbRecord() = default;
  virtual ~TcbRecord() = default;
  TcbRecord(const TcbRecord&) = delete;
  TcbRecord& operator=(const TcbRecord&) = delete;

  TcbRecord* next = nullptr;
  TcbRecord* prev = nullptr;
};

// Deletes a list handed to a caller, following the next links.
void FreeRecordList(TcbRecord* head);

class TCodeTB {
 public:
  // Builds the full path: a name with a drive ("A:\X.DBF") stays as it is;
  // any other is put behind the local directory (local flag), else the
  // alternate directory (alternate flag), else the database directory.
  TCodeTB(const char* fileName, int alternateDir, int localDir);
  virtual ~TCodeTB();
  TCodeTB(const TCodeTB&) = delete;
  TCodeTB& operator=(const TCodeTB&) = delete;

  // Brings a file of an older layout to the current one; 1: nothing to do.
  virtual int Upgrade() { return 1; }
  // Writes an empty data file of the class's layout under the full path.
  virtual int Create(const char* fullPath) = 0;
  virtual int NewRecord() { return 0; }
  virtual int ReadRecord() { return 0; }
  virtual int FirstHook() { return 0; }
  virtual int SecondHook() { return 0; }

  // 1 when the file is open afterwards.
  int Open();
  // Closes the file (the engine writes a changed row). 0 when that write
  // or any earlier engine call of the operation failed.
  int Close();

  TcbRecord* LoadAll();
  int AddCurrent();
  void FreeRecords();

  int CopyStructure(const char* targetDir);
  int Pack();
  int Reindex();
  int Zap();
  // Copies the table's files into a sub-directory named by today's date;
  // the path of the copied data file, or empty when there was none.
  std::string SetAsideFiles();
  // The same into the named sub-directory of the database (or alternate)
  // directory.
  std::string SetAsideFilesAs(const std::string& subDir);
  // Each file set aside by the last call, as (table file, copy), so that a
  // failed rebuild can put them back.
  const std::vector<std::pair<std::string, std::string>>& SetAsideCopies() const {
    return asideCopies_;
  }
  int FillListFromField(TListLines* list, int fieldNo);
  int LockRecords(const long* recNos, int count);

  const char* FileName() const { return fileName_.empty() ? nullptr : fileName_.c_str(); }
  DbDataFile* Data() const { return data_; }
  TcbRecord* First() const { return first_; }
  TcbRecord* Last() const { return last_; }
  TcbRecord* Current() const { return current_; }
  // The last engine error this table took out of the context (0: none).
  int LastEngineError() const { return lastError_; }

 protected:
  // Takes a pending engine error out of the context so that later calls
  // still work; true when there was one. The code is kept in lastError_.
  bool EngineFailed();
  // Selects the named tag and seeks the number; true on a hit.
  bool SeekNumber(const char* tag, double value);
  // Field access by number on the current row. Numbers are written
  // right-justified in the field, logicals as "T" or "F"; a refused write
  // shows at FinishAppend or Close.
  long FieldLong(int fieldNo);
  void PutLong(int fieldNo, long value);
  void PutText(int fieldNo, const char* text);
  void PutLogical(int fieldNo, int flag);
  void PutMemo(int fieldNo, const char* text);
  // True when the field's text starts with Y, y, T or t.
  bool FieldTrue(int fieldNo);
  // Trimmed copy of a field into a buffer of `size` bytes.
  void FieldText(int fieldNo, char* dest, size_t size);
  // A heap copy of a memo field's text (empty, never null).
  char* FieldMemo(int fieldNo);

  // A new row is built in the record buffer between these two and written
  // once, keys included, by FinishAppend: a refused append (a unique key,
  // a full disk) leaves no blank row behind to block later appends.
  bool BeginAppend();
  bool FinishAppend();

  // Writes an empty data file of the given layout under fullPath; safety
  // stays on, so an existing file is kept.
  void CreateLayout(const char* fullPath, const FieldInfoList& fields, const TagInfoList& tags);
  // A heap copy of a text field of the row of id ("ID" tag), trailing
  // blanks cut; the file is closed after a hit. Null when there is none.
  char* FieldCopyById(long id, int fieldNo);
  // The text of a memo field; false when it cannot be read.
  bool ReadMemoText(int fieldNo, std::string& text);
  // Opens the file and reads the row whose number under `tag` is id into a
  // new record; false for id 0, no such row or no record.
  bool ReadById(const char* tag, long id);
  // Collects the live rows a filter selects from the open file. Handed
  // over (handOver 1), the result is built apart from the table's list and
  // the list is kept; else the rows are appended to the list and the first
  // of them returned. Null on any failure; `succeeded`, when given, tells
  // a failure from an empty result.
  TcbRecord* CollectQuery(const char* filter, const char* sort, int handOver,
                          bool* succeeded = nullptr);
  // Walks the rows a filter selects from the open file to the first live
  // one and calls `atRow` there: 1 then, 0 when none qualifies, -1 when the
  // query could not be set up.
  int AtFirstLive(const char* filter, const std::function<void()>& atRow);
  // Calls `row` on each live row of the open file in record order, then
  // closes the file.
  void EachLiveRow(const std::function<void()>& row);
  // Appends one row written by `write` to the open file, then closes it;
  // false when the append or the close failed.
  bool AppendAndClose(const std::function<void()>& write);
  // A new empty record in `made`; 0 when there is no memory for it.
  template <typename Record>
  static int NewInto(Record*& made) {
    made = new (std::nothrow) Record;
    return made ? 1 : 0;
  }
  // Ends a change to the row a find left current: a found record gets
  // `change`, is freed and the file closed (0 when the close failed); no
  // record closes the file and gives 0.
  template <typename Record, typename Change>
  int ChangeFound(Record* found, Record*& made, Change change) {
    if (!found) {
      Close();
      return 0;
    }
    change(found);
    delete found;
    made = nullptr;
    return Close();
  }

  // Tags of the table where a row may repeat another's key: the row is
  // written and only that tag goes without the repeated key, as other
  // stations keep such files. Set once by the table's constructor.
  void AcceptRepeatedKeys(std::vector<const char*> tags) { repeatableTags_ = std::move(tags); }

  void SetCurrent(TcbRecord* r) { current_ = r; }
  // Hands the list to the caller: the table forgets it.
  TcbRecord* DetachList();
  // Exchanges the table's list with the given one (a query builds its
  // result apart from a list the table already holds).
  void SwapList(TcbRecord*& first, TcbRecord*& last);

  int alternateDir_ = 0;

 private:
  std::string fileName_;
  DbDataFile* data_ = nullptr;
  TcbRecord* first_ = nullptr;
  TcbRecord* last_ = nullptr;
  TcbRecord* current_ = nullptr;
  int lastError_ = 0;
  bool failed_ = false;  // an engine error since the last Open
  std::vector<std::pair<std::string, std::string>> asideCopies_;
  std::vector<const char*> repeatableTags_;
};

// Closes every data file of the engine context and deletes the context.
void CloseDatabaseEngine();
