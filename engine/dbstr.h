// Text views over field values and small buffers: the abstract DbStr with
// its fixed-size, borrowed and single-character forms, the field accessors
// FieldRef and FieldRefMemo over the current record, and DateValue.
// The table classes read and write every field through these.
#pragma once

struct DbDataFile;
struct DbField;

class DbStrLen;

class DbStr {
 public:
  DbStr() = default;
  DbStr(const DbStr&) = default;
  DbStr& operator=(const DbStr&) = default;
  virtual ~DbStr() = default;

  virtual long asLong();
  virtual void changed() {}
  virtual int decimals() { return 0; }
  virtual unsigned len();
  virtual unsigned maxLen() { return len(); }
  virtual char* ptr() = 0;
  // A terminated copy of at most 256 characters in a buffer of the calling
  // thread, valid until that thread's next str() or datePicture().
  virtual char* str();
  virtual int setLen(unsigned) { return -1; }
  virtual int grow(unsigned) { return -1; }

  int assign(const char* text);
  int assign(const char* text, unsigned n);
  int assignStr(DbStr& other);
  void assignLong(long value, int newLen = -1, int zeros = 0);
  void assignDouble(double value, int newLen = -1, int decimals = -1);

  long toLong();
  double toDouble();
  int firstChar();
  int isTrue();
  bool equal(DbStr& other);
  bool less(DbStr& other);
  bool greater(DbStr& other);
  char* at(unsigned i) { return ptr() + i; }

  int add(DbStr& other) { return insert(other, len()); }
  int add(const char* text);
  int insert(DbStr& other, unsigned position);
  int replace(DbStr& other, unsigned position);
  int find(DbStr& other);
  void fill(char ch);
  void trim();
  void upper();
  void lower();
  unsigned copyTo(char* buffer, unsigned size);
  // The value as a date shown by the picture, in the same per-thread buffer
  // as str().
  char* datePicture(const char* picture);

  char* last();
  DbStrLen left(unsigned n);
  DbStrLen right(unsigned n);
  DbStrLen substring(unsigned position, unsigned n);

 protected:
  void terminate();
};

// The per-thread 257-byte buffer behind str() and datePicture().
char* dbstr_shared_buffer();

class DbStrPtr : public DbStr {
 public:
  explicit DbStrPtr(char* text) : p_(text) {}
  char* ptr() override { return p_; }

 protected:
  char* p_;
};

class DbStrLen : public DbStrPtr {
 public:
  DbStrLen(char* text, unsigned n) : DbStrPtr(text), n_(n) {}
  unsigned len() override { return n_; }

 private:
  unsigned n_;
};

class DbStrChar : public DbStr {
 public:
  explicit DbStrChar(char ch) : ch_(ch) {}
  unsigned len() override { return 1; }
  char* ptr() override { return &ch_; }

 private:
  char ch_;
};

// A value of up to N characters kept in the object itself.
template <unsigned N>
class DbStrFixed : public DbStr {
 public:
  DbStrFixed() { buf_[0] = 0; }
  explicit DbStrFixed(const char* text) : DbStrFixed() { assign(text); }
  explicit DbStrFixed(DbStr& other) : DbStrFixed() { assignStr(other); }
  DbStrFixed(const DbStrFixed&) = default;
  DbStrFixed& operator=(const DbStrFixed&) = default;

  unsigned len() override { return n_; }
  unsigned maxLen() override { return N; }
  char* ptr() override { return buf_; }
  int setLen(unsigned n) override {
    int rc = 0;
    if (n > N) {
      n = N;
      rc = -1;
    }
    n_ = n;
    buf_[n_] = 0;
    return rc;
  }

 private:
  unsigned n_ = 0;
  char buf_[N + 1];
};

using DbStrTen = DbStrFixed<10>;
using DbStrLarge = DbStrFixed<255>;

class DateValue : public DbStr {
 public:
  DateValue();
  explicit DateValue(long julian);
  explicit DateValue(const char* ccyymmdd);
  DateValue(const char* text, const char* picture);

  long asLong() override;
  unsigned len() override { return 8; }
  char* ptr() override { return buf_; }

 private:
  char buf_[9];
};

class FieldRef : public DbStr {
 public:
  FieldRef(DbDataFile* data, int number);
  explicit FieldRef(DbField* field) : field_(field) {}

  bool valid() const { return field_ != nullptr; }
  DbField* field() const { return field_; }

  void changed() override;
  int decimals() override;
  unsigned len() override;
  char* ptr() override;

 protected:
  DbField* field_;
};

class FieldRefMemo : public FieldRef {
 public:
  FieldRefMemo(DbDataFile* data, int number) : FieldRef(data, number) {}
  FieldRefMemo(DbDataFile* data, const char* name);
  explicit FieldRefMemo(DbField* field) : FieldRef(field) {}

  void changed() override;
  unsigned len() override;
  char* ptr() override;
  char* str() override;
  int setLen(unsigned n) override;
};

// A tag of an open data file found by name; invalid when there is none.
struct DbTag;
class TagRef {
 public:
  TagRef(DbDataFile* data, const char* name);
  bool valid() const { return tag_ != nullptr; }
  DbTag* tag() const { return tag_; }

 private:
  DbTag* tag_;
};
