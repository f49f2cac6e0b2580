// Error convention: the pending code, the table of texts and the message box
// titled "TABLE ENGINE ERROR".
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/convert.h"
#include "engine/engine.h"
#include "engine/os_shim.h"
#include "platform/msgbox.h"

namespace {

struct ErrorRow {
  int code;
  const char* text;
};

const ErrorRow error_table[] = {
    {-20, "Creating File"},
    {-60, "Opening File"},
    {-70, "Reading File"},
    {-100, "Seeking to File Position"},
    {-120, "Writing to File"},
    {-10, "Closing File"},
    {-80, "Removing File"},
    {-50, "Locking File"},
    {-110, "Unlocking File"},
    {-30, "Determining File Length"},
    {-40, "Setting File Length"},
    {-90, "Renaming File"},
    {-200, "File is not a Data File"},
    {-230, "Record Length is too Large"},
    {-210, "Unrecognized Field Name"},
    {-220, "Unrecognized Field Type"},
    {-310, "Not a Correct Index File"},
    {-300, "Tag Entry Missing"},
    {-340, "Unique Key Error"},
    {-330, "Tag Name not Found"},
    {-400, "Comma or Bracket Expected"},
    {-410, "Expression not Complete"},
    {-420, "Data File Name not Located"},
    {-422, "IIF() Needs Parameters of Same Length"},
    {-425, "SUBSTR() and STR() need Constant Parameters"},
    {-430, "Number of Parameters is Wrong"},
    {-440, "Overflow while Evaluating Expression"},
    {-450, "Right Bracket Missing"},
    {-460, "Sub-expression Type is Wrong"},
    {-470, "Unrecognized Function"},
    {-480, "Unrecognized Operator"},
    {-490, "Unrecognized Value"},
    {-500, "Unterminated String"},
    {-610, "Optimization Error"},
    {-620, "Optimization Removal Failure"},
    {-630, "Optimization File Flushing Failure"},
    {-720, "Relation Error"},
    {-710, "Matching Slave Record Not Located"},
    {-810, "Report Error"},
    {-811, "Error Creating Style"},
    {-812, "Error Selecting Style"},
    {-813, "Error Finding Style"},
    {-814, "Error Creating Area"},
    {-815, "Error Creating Group"},
    {-816, "Error Setting Group Reset-Expression"},
    {-817, "Error Creating Total"},
    {-818, "Error Creating Object"},
    {-819, "Error In Windows Output"},
    {-820, "Error In Report Output"},
    {-821, "Error Saving Report"},
    {-822, "Error Retrieving Report"},
    {-823, "Error In Sending Report to Data File"},
    {-920, "Out of Memory"},
    {-910, "Unexpected Information"},
    {-930, "Unexpected Parameter"},
    {-950, "Unexpected Result"},
    {-1020, "Function unsupported: library compiled without memo support"},
    {-1040, "Function unsupported: library compiled without write support"},
    {-1010, "Function unsupported: library compiled without index support"},
    {-1030, "Function unsupported: library compiled without rename support"},
    {-1050, "Function unsupported: library not compiled with NTX index support"},
    {-1060, "Function unsupported: library not compiled with lock hook support"},
    {-1070, "Function unsupported: library not compiled with error hook support"},
    {0, nullptr},
};

constexpr size_t kMessageMax = 257;  // the message buffer, terminator included
constexpr UINT kSystemModal = 0x00001000u;

void default_fatal_exit(const char* text) {
  std::fprintf(stderr, "%s\n", text);
  std::abort();
}

DbFatalExit fatal_exit = default_fatal_exit;

// Appends text and a line feed when it fits the buffer; the buffer is never
// written past its end.
void append_line(char* out, const char* text) {
  size_t len = std::strlen(out);
  size_t add = std::strlen(text);
  if (len + add + 1 >= kMessageMax) add = kMessageMax - 2 - len;
  std::memcpy(out + len, text, add);
  out[len + add] = '\n';
  out[len + add + 1] = 0;
}

void append_code(char* out, int code) {
  char num[5];
  ltoa_width(code, num, 4);
  num[4] = 0;
  std::strcat(out, num);
  std::strcat(out, "\n");
}

}  // namespace

DbFatalExit code_set_fatal_exit(DbFatalExit f) {
  DbFatalExit old = fatal_exit;
  fatal_exit = f ? f : default_fatal_exit;
  return old;
}

const char* error_text_of(int code) {
  for (const ErrorRow* r = error_table; r->text; ++r)
    if (r->code == code) return r->text;
  return nullptr;
}

// The pending error is the calling thread's own: reading and setting it
// needs no lock, inside a call or outside one.
int code_error_get(DB_ENGINE* c) {
  if (!c) return -1;
  return c->error_code;
}

int code_error_set(DB_ENGINE* c, int code) {
  if (!c) return -1;
  int old = c->error_code;
  c->error_code = code;
  return old;
}

namespace {
thread_local DbErrorsKept* errors_kept = nullptr;
}  // namespace

DbErrorsKept::DbErrorsKept() : outer_(errors_kept) { errors_kept = this; }
DbErrorsKept::~DbErrorsKept() { errors_kept = outer_; }

bool DbErrorsKept::Keep(const char* text) {
  if (!errors_kept) return false;
  if (errors_kept->first_.empty()) errors_kept->first_ = text;
  return true;
}

int code_error(DB_ENGINE* c, int code, const char* text) {
  return code_error_ex(c, code, text, nullptr, nullptr);
}

void code_error_compose(char* out, int code, const char* text1, const char* text2,
                        const char* text3) {
  std::strcpy(out, "Error #: ");
  append_code(out, code);
  if (const char* t = error_text_of(code)) append_line(out, t);
  for (const char* t : {text1, text2, text3}) {
    if (!t) break;
    if (std::strlen(t) + std::strlen(out) + 3 >= kMessageMax) break;
    append_line(out, t);
  }
}

int code_error_ex(DB_ENGINE* c, int code, const char* text1, const char* text2,
                  const char* text3) {
  if (!c) return code;
  c->error_code = code;
  // Reported from inside a call, or by code above the engine that holds
  // nothing (a layout list): the setting is read under the lock either way.
  bool silent;
  if (DbLockHeld(c)) {
    silent = c->silent_errors != 0;
  } else {
    DbLock hold(c);
    silent = c->silent_errors != 0;
  }
  if (silent) return code;
  char text[kMessageMax];
  code_error_compose(text, code, text1, text2, text3);
  dbos_oem_to_ansi(text);
  if (DbErrorsKept::Keep(text)) return code;
  UINT flags = MB_OK | MB_ICONSTOP;
  if (code == e_memory) flags |= kSystemModal;
  int shown;
  {
    // Other threads may use the engine while the box waits for the user.
    DbUnlocked wait(c);
    shown = MessageBox(nullptr, text, "TABLE ENGINE ERROR", flags);
  }
  if (shown == 0) fatal_exit("Memory Error");
  return code;
}

void code_error_severe_compose(char* out, int code, const char* text) {
  std::strcpy(out, "\r\n\r\nSevere Error Number #: ");
  append_code(out, code);
  if (const char* t = error_text_of(code)) append_line(out, t);
  if (text && std::strlen(text) + std::strlen(out) + 4 < kMessageMax) append_line(out, text);
}

void code_error_severe(int code, const char* text) {
  char msg[kMessageMax];
  code_error_severe_compose(msg, code, text);
  dbos_oem_to_ansi(msg);
  MessageBox(nullptr, msg, "TABLE ENGINE SEVERE ERROR", MB_OK | MB_ICONSTOP);
  fatal_exit(msg);
  std::abort();  // a replaced exit hook that returns still ends here
}

void code_exit(DB_ENGINE*) {
  fatal_exit("EXITING APPLICATION");
  std::abort();
}

void code_exit_test(DB_ENGINE* c) {
  if (c && code_error_get(c) < 0) code_exit(c);
}
