// The table engine's one context: settings, the pending error, the open data
// files, the pools and the shared work buffers, and the lock that keeps the
// program's threads apart in it. A public engine function (engine_api.h
// names them) holds the lock for its call through DbCall; the functions
// inside rely on it (DbAssertLocked) and never take it again.
#pragma once

#include <atomic>
#include <cassert>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "engine/thread_state.h"
#include "engine/pool.h"

struct DbDataFile;
struct DbExpr;

// Statuses: positive results that are not errors.
enum : int {
  DB_SUCCESS = 0,
  DB_FOUND = 1,
  DB_AFTER = 2,        // seek positioned after the sought key
  DB_EOF = 3,
  DB_BOF = 4,
  DB_NO_RECORD = 5,    // record not read
  DB_UNIQUE = 20,      // duplicate key refused by a unique tag
  DB_LOCKED = 50,      // lock refused after the allowed tries
  DB_NO_CREATE = 60,   // create failed with create errors off
  DB_NO_OPEN = 70,     // open failed with open errors off
  DB_NO_TAG = 80,
  DB_RELATE_END = 90,
  DB_RELATE_101 = 101,
};

// Error codes (negative); texts in error.cpp.
enum : int {
  e_create = -20, e_open = -60, e_read = -70, e_seek = -100, e_write = -120, e_close = -10,
  e_remove = -80, e_lock = -50, e_unlock = -110, e_len = -30, e_len_set = -40, e_rename = -90,
  e_data_name = -200, e_record_len = -230, e_field_name = -210, e_field_type = -220,
  e_index = -310, e_tag_missing = -300, e_unique = -340, e_tag_name = -330,
  e_comma_expected = -400, e_complete = -410, e_data_name_expr = -420, e_length_iif = -422,
  e_not_constant = -425, e_num_parms = -430, e_overflow = -440, e_right_missing = -450,
  e_type_sub = -460, e_unrec_function = -470, e_unrec_operator = -480, e_unrec_value = -490,
  e_unterminated = -500, e_opt = -610, e_opt_suspect = -620, e_opt_flush = -630,
  e_relate = -720, e_lookup_err = -710, e_report = -810, e_style_create = -811,
  e_style_select = -812, e_style_index = -813, e_area_create = -814, e_group_create = -815,
  e_group_expr = -816, e_total_create = -817, e_obj_create = -818, e_repwin = -819,
  e_report_out = -820, e_report_save = -821, e_report_retrieve = -822, e_report_to_data = -823,
  e_memory = -920, e_info = -910, e_parm = -930, e_result = -950,
  e_not_memo = -1020, e_not_write = -1040, e_not_index = -1010, e_not_rename = -1030,
  e_not_ntx = -1050, e_not_lock_hook = -1060, e_not_error_hook = -1070,
};

struct DbCalc;

// Everything code_init resets; DB_ENGINE adds the lock, which must survive it.
struct DbEngineState {
  DbList data_list;  // open DbDataFile records
  int count25;
  char date_picture[20];
  int cache_block_size;
  int sort_memory;
  int sort_buffer;
  int copy_size;  // pack / range removal copy buffers, cache block group
  int memo_block_size;
  int spare_size;  // length of a memo value inside an expression
  int expand_blocks, expand_data, expand_index, expand_tags;
  int first_data, first_blocks, first_index, first_tags;
  int cache_memory;
  int auto_open;
  int report_create_errors;
  int silent_errors;
  int exclusive;
  int flush_writes;
  int expr_errors;
  int report_field_errors;
  int report_read_errors;
  int report_open_errors;
  int read_buffering;
  int read_lock;
  int read_only;
  int index_option_a;  // report relation errors
  int safety;
  int report_skip_errors;
  int report_tag_errors;
  int lock_attempts;  // -1 without end, 0 or 1 one try, n > 1 that many
  DbMemPool* data_pool;
  DbMemPool* index_pool;
  DbMemPool* tag_pool;
  DbMemPool* block_pool;
  DbMemPool* calc_pool;
  DbMemPool* relate_pool;
  DbMemPool* relation_pool;
  DbMemPool* query_pool;
  DbList calc_list;  // DbCalc records; count in calc_list.count
  DbPendingError error_code;  // per thread
  int initialised;  // 21121 after code_init
  // Work buffers, per thread: field_str's text, expression evaluation, keys.
  DbWorkBuffer field_buf;
  DbWorkBuffer expr_buf;
  DbWorkBuffer key_buf;
  int optimise_off;
  int index_option_c;  // check index blocks against their parent
  int write_buffering;
  void* cache;  // block cache bookkeeping; the cache is not built
  int buffering_on;
  int internal_flag;
  int activity_bits;  // go 1, skip 2, append 16, record write 32
  // The report engine's share: one report at a time, its totals (DbTotal
  // records from the total pool) and the page number PAGENO reads.
  int report_exists;
  int no_default_style;  // a new report gets no "Plain Text" style
  uint16_t page_no;
  DbList total_list;
  DbMemPool* total_pool;
};

struct DB_ENGINE : DbEngineState {
  // The context's lock: a plain mutex, which no thread takes twice.
  std::mutex mutex;
  std::atomic<std::thread::id> lock_owner{};  // the thread holding it; none while free
  int in_call = 0;  // 1 while a public call runs on the holding thread (only the holder touches it)
};

// The program's one context; its constructor runs code_init.
class DbEngine : public DB_ENGINE {
 public:
  DbEngine();
  ~DbEngine();
  DbEngine(const DbEngine&) = delete;
  DbEngine& operator=(const DbEngine&) = delete;
};

// True when the calling thread holds the context's lock (a null context
// holds nothing and needs nothing).
inline bool DbLockHeld(const DB_ENGINE* c) {
  return !c || c->lock_owner.load(std::memory_order_relaxed) == std::this_thread::get_id();
}

namespace db_lock_detail {

// Takes the lock unless this thread holds it already; true when it took it.
inline bool take(DB_ENGINE* c) {
  if (DbLockHeld(c)) return false;
  c->mutex.lock();
  c->lock_owner.store(std::this_thread::get_id(), std::memory_order_relaxed);
  return true;
}

inline void give(DB_ENGINE* c) {
  c->lock_owner.store(std::thread::id(), std::memory_order_relaxed);
  c->mutex.unlock();
}

}  // namespace db_lock_detail

// The entry of every public engine function (engine_api.h names them): holds
// the context's lock for the call and checks the pending error once. A call
// that refuses (the default) does no work while an error is pending; one
// that runs (a close, an unlock, a setting) works whatever is pending. A null
// context holds nothing: a call that runs goes ahead, one that refuses does not.
//
// A call made while its thread holds the context through a DbLock joins that
// hold. A call made inside another call is a fault of the engine, whose
// inside calls the _in forms and never a public function: the test build
// stops there.
class DbCall {
 public:
  enum OnError { refuse, run };
  explicit DbCall(DB_ENGINE* c, OnError on_error = refuse) : c_(c) {
    if (!c_) {
      ok_ = on_error == run;
      return;
    }
    assert(!(DbLockHeld(c_) && c_->in_call) && "engine call made inside another engine call");
    took_ = db_lock_detail::take(c_);
    outer_ = c_->in_call;
    c_->in_call = 1;
    ok_ = on_error == run || c_->error_code >= 0;
  }
  ~DbCall() {
    if (!c_) return;
    c_->in_call = outer_;
    if (took_) db_lock_detail::give(c_);
  }
  DbCall(const DbCall&) = delete;
  DbCall& operator=(const DbCall&) = delete;

  // The call may do its work.
  explicit operator bool() const { return ok_; }

 private:
  DB_ENGINE* c_;
  bool took_ = false;
  int outer_ = 0;
  bool ok_ = false;
};

// A hold over several public calls, for code above the engine that needs
// them as one step or reads the context between them (the report engine,
// tests reaching the engine's inside). Holds of one thread nest; the
// outermost takes the lock. Taken inside a public call it is the same fault
// as a call made there. A null context holds nothing.
class DbLock {
 public:
  explicit DbLock(DB_ENGINE* c) : c_(c) {
    if (!c_) return;
    assert(!(DbLockHeld(c_) && c_->in_call) && "engine lock taken inside an engine call");
    took_ = db_lock_detail::take(c_);
  }
  ~DbLock() {
    if (c_ && took_) db_lock_detail::give(c_);
  }
  DbLock(const DbLock&) = delete;
  DbLock& operator=(const DbLock&) = delete;

 private:
  DB_ENGINE* c_;
  bool took_ = false;
};

// Lets other threads into the engine while this one waits (between lock
// tries, for the user's answer to an error box): the lock is given up for
// the scope and taken back at its end, with the call or hold it served.
// Code run meanwhile on this thread (a box's message loop) may make public
// calls of its own. A thread that does not hold the lock has nothing to
// give away.
class DbUnlocked {
 public:
  explicit DbUnlocked(DB_ENGINE* c) : c_(c && DbLockHeld(c) ? c : nullptr) {
    if (!c_) return;
    in_call_ = c_->in_call;
    c_->in_call = 0;
    db_lock_detail::give(c_);
  }
  ~DbUnlocked() {
    if (!c_) return;
    db_lock_detail::take(c_);
    c_->in_call = in_call_;
  }
  DbUnlocked(const DbUnlocked&) = delete;
  DbUnlocked& operator=(const DbUnlocked&) = delete;

 private:
  DB_ENGINE* c_;
  int in_call_ = 0;
};

// For the functions inside the engine: they work on shared state (index
// blocks, the block cache, held writes, record positions) and rely on the
// public call that reached them holding the context's lock. Checked in
// builds with asserts (the test build); a no-op otherwise.
#define DbAssertLocked(c) assert(DbLockHeld(c) && "engine state used without the context's lock")

enum : int { DB_INITIALISED = 21121 };

void code_init(DB_ENGINE* c);
DB_ENGINE* code_alloc(int initialise);
int code_init_undo_in(DB_ENGINE* c);
int code_close_all_in(DB_ENGINE* c);
int code_buffering_start(DB_ENGINE* c);

int code_error_get(DB_ENGINE* c);
int code_error_set(DB_ENGINE* c, int code);
const char* error_text_of(int code);
int code_error(DB_ENGINE* c, int code, const char* text);
int code_error_ex(DB_ENGINE* c, int code, const char* text1, const char* text2,
                  const char* text3);
[[noreturn]] void code_error_severe(int code, const char* text);
[[noreturn]] void code_exit(DB_ENGINE* c);
void code_exit_test(DB_ENGINE* c);  // ends the program when an error is pending

// While one lives, the errors of this thread are kept, not shown in a
// box: a batch over many tables lists its failures once at the end. The
// error code is set as always; the first error's text is kept.
class DbErrorsKept {
 public:
  DbErrorsKept();
  ~DbErrorsKept();
  DbErrorsKept(const DbErrorsKept&) = delete;
  DbErrorsKept& operator=(const DbErrorsKept&) = delete;

  // The text the box would have shown for the first error; empty when none.
  const std::string& First() const { return first_; }
  void Clear() { first_.clear(); }
  // Called by the error reporter: true when the error was kept.
  static bool Keep(const char* text);

 private:
  std::string first_;
  DbErrorsKept* outer_;
};

// A quiet stretch of engine work (clean-up, an undo, a lock given back) that
// must run whatever error is pending and must not bury it: the pending code
// is taken aside and cleared, and comes back when the guard ends. What the
// stretch itself left behind is dropped, or kept where the rule says so.
class DbQuietError {
 public:
  enum Restore {
    always,    // the code taken aside comes back; the stretch's own is dropped
    if_any,    // it comes back if it was not 0; else the stretch's code stays
    if_error,  // only an error (< 0) comes back; else the stretch's code stays
    never,     // the code pending at the end stays
  };
  explicit DbQuietError(DB_ENGINE* c, Restore when = always)
      : c_(c), when_(when), saved_(code_error_set(c, 0)) {}
  ~DbQuietError() { finish(when_); }
  DbQuietError(const DbQuietError&) = delete;
  DbQuietError& operator=(const DbQuietError&) = delete;

  // Ends the stretch now by the given rule; the guard's own end does nothing more.
  void finish(Restore when) {
    if (done_) return;
    done_ = true;
    if (when == always || (when == if_any && saved_ != 0) || (when == if_error && saved_ < 0))
      code_error_set(c_, saved_);
  }
  void finish() { finish(when_); }

 private:
  DB_ENGINE* c_;
  Restore when_;
  int saved_;
  bool done_ = false;
};

// Gives one setting of the context another value for a scope (a work file
// made without the safety question or an error box) and puts the old value
// back at the scope's end.
class DbSettingFor {
 public:
  DbSettingFor(int& setting, int value) : setting_(setting), old_(setting) { setting_ = value; }
  ~DbSettingFor() { setting_ = old_; }
  DbSettingFor(const DbSettingFor&) = delete;
  DbSettingFor& operator=(const DbSettingFor&) = delete;

 private:
  int& setting_;
  int old_;
};

// Message composition, exposed so the texts can be checked byte for byte.
// Result fits in 257 characters.
void code_error_compose(char* out, int code, const char* text1, const char* text2,
                        const char* text3);
void code_error_severe_compose(char* out, int code, const char* text);

// How the program ends on fatal errors; tests replace it to observe the end.
using DbFatalExit = void (*)(const char* text);
DbFatalExit code_set_fatal_exit(DbFatalExit f);

// Named calculations (the expression code parses and frees their expressions).
struct DbCalc {
  DbNode link;
  DB_ENGINE* context;
  DbExpr* expr;
  void* total;  // the DbTotal attached to it, if any
  char name[20];
};

// A report total as the expressions see it: the report engine builds its
// totals on this record and keeps them in the context's total list; a
// calculation with a total attached reads the total's value (TOTAL).
enum : int {
  DB_TOTAL_MIN = 11,
  DB_TOTAL_MAX = 12,
  DB_TOTAL_COUNT = 13,
  DB_TOTAL_AVERAGE = 14,
  DB_TOTAL_SUM = 15,
};

struct DbTotal {
  DbNode link;
  DbCalc* calc;  // null once the calculation is freed
  int type;
  double sum;
  double minimum;
  double maximum;
  long count;
};

// The value a total shows by its type: 1 with *value set, 0 when it has none
// (an average, minimum or maximum over no record, or a type of no kind);
// *value is then 0.
int total_value(const DbTotal* t, double* value);

// The build's option mask, 36 as stations have always reported it. Of its
// bits only the index kind matters to a caller: bit 2 says index files are
// .mdx (bit 0 would say .cdx, bit 1 .ntx, bit 3 .ndx).
enum : int { DB_BUILD_CDX = 0x01, DB_BUILD_NTX = 0x02, DB_BUILD_MDX = 0x04, DB_BUILD_NDX = 0x08 };
int code_options();

DbCalc* calc_create_in(DB_ENGINE* c, DbExpr* expr, const char* name);
DbCalc* calc_lookup_in(DB_ENGINE* c, const char* name, int len);
void calc_free_in(DbCalc* calc);
void calc_free_all_in(DB_ENGINE* c);
