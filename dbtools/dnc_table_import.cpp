// The import of another DNC system's program table: every live row names a
// program (field 1) whose file NAME.NC lies beside the table; it becomes a
// new program of the chosen machine with the row's texts (fields 2 to 4)
// and, when the user asks for them, its memo (field 5). The table is read
// by field number in record order and never written. The main window
// stays responsive between rows.
#include <string>

#include "app/status_dlg.h"
#include "appcore/globals.h"
#include "dbmodel/engine_context.h"
#include "dbmodel/text_helpers.h"
#include "dbtools/import_commands.h"
#include "dbtools/import_run.h"
#include "dbtools/import_steps.h"
#include "engine/engine_api.h"
#include "platform/msgbox.h"
#include "platform/ui/app_state.h"
#include "platform/ui/frame.h"

namespace {

enum : int { kNameField = 1, kTextField = 2, kPartField = 3, kDrawingField = 4, kMemoField = 5 };

constexpr const char* kMemoQuestion = "Import with memos ?";
constexpr const char* kMemoCaption = "Question...";

// The source table, open from Open() until the object goes. Engine errors
// are taken out of the context once seen, so later calls still work.
class TSourceTable {
 public:
  explicit TSourceTable(std::string path) : path_(std::move(path)) {}
  ~TSourceTable() {
    if (d_) data_close(d_);
    Clear();
  }
  TSourceTable(const TSourceTable&) = delete;
  TSourceTable& operator=(const TSourceTable&) = delete;

  // The engine tells the user why a file does not open.
  bool Open() {
    Clear();
    d_ = data_open(DbContext, path_.c_str());
    Clear();
    if (d_) data_tag_select(d_, nullptr);  // record order
    return d_ != nullptr;
  }
  bool FieldIs(int n, int type) const {
    DbField* f = data_num_fields(d_) >= n ? data_field_at(d_, n) : nullptr;
    return f && field_type(f) == type;
  }
  long Count() { return Checked(data_reccount(d_)); }
  // 1 on a row, 0 at the end, -1 when the table could not be read on.
  int Top() { return Step(data_top(d_)); }
  int Skip() { return Step(data_skip(d_, 1)); }
  bool Deleted() const { return data_is_deleted(d_); }
  // A field's text without its trailing blanks (leading ones stay).
  std::string Text(int n) {
    FieldRef f(d_, n);
    std::string s = f.valid() ? std::string(f.ptr(), f.len()) : std::string();
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
  }
  bool Memo(int n, std::string& text) {
    FieldRefMemo m(d_, n);
    const char* p = m.valid() ? m.ptr() : nullptr;
    text = p ? std::string(p, m.len()) : std::string();
    return m.valid() && !Failed();
  }

 private:
  static void Clear() { code_error_set(DbContext, 0); }
  static bool Failed() {
    bool failed = code_error_get(DbContext) < 0;
    Clear();
    return failed;
  }
  long Checked(long n) { return Failed() ? -1 : n; }
  int Step(int rc) {
    if (rc < 0 || Failed()) return -1;
    return rc == 0 ? 1 : 0;
  }

  std::string path_;
  DbDataFile* d_ = nullptr;
};

// A name that would lead the file name out of the table's directory.
bool NameLeavesDirectory(const std::string& name) {
  return name.find_first_of("\\/:") != std::string::npos || name.find("..") != std::string::npos;
}

void PumpWaitingMessages() {
  plat::pump_host();
  plat::dispatch_all();
}

}  // namespace

void CmImportDncDatabase(TFrameWindow& frame) {
  TImportRun run(frame, TProgramName::Plain);
  if (!PickImportMachine(frame, run.Record)) return;
  if (!Globals->FileOpenDialog(&frame, nullptr, 1)) return;
  const std::string tablePath = Globals->StartFile.c_str();
  std::string dir = DirectoryOf(tablePath);
  if (dir.empty()) dir = Globals->LastDir;
  TSourceTable table(tablePath);
  if (!table.Open()) return;
  bool texts = true;
  for (int n = kNameField; n <= kDrawingField; ++n) texts = texts && table.FieldIs(n, 'C');
  if (!texts) {
    ImportMessage(frame, kMsgImportTableFields, MB_OK | MB_ICONINFORMATION);
    return;
  }
  CopyCut(run.Record.EXT, sizeof run.Record.EXT, "NC");

  TShowStatusDlg status(&frame);
  status.Create();
  status.ShowWindow(SW_SHOW);
  const long total = table.Count();
  const bool memos = ::MessageBox(frame.GetHandle(), kMemoQuestion, kMemoCaption, MB_YESNO | MB_ICONQUESTION) == IDYES;
  if (memos && !table.FieldIs(kMemoField, 'M')) {
    status.Destroy();
    ImportMessage(frame, kMsgImportTableMemo, MB_OK | MB_ICONINFORMATION);
    return;
  }
  long progress = 0;
  int at = total < 0 ? -1 : table.Top();
  for (; at == 1; at = table.Skip()) {
    ++progress;
    if (table.Deleted()) continue;
    const std::string name = table.Text(kNameField);
    if (name.empty()) {
      run.Skip();
      continue;
    }
    if (NameLeavesDirectory(name)) {
      run.SkipListed(name, Globals->GetMessageText(kMsgImportNameRefused));
      continue;
    }
    std::string memo;
    if (memos && !table.Memo(kMemoField, memo)) {
      run.Fail(name, Globals->GetMessageText(kMsgImportMemoUnread));
      continue;
    }
    run.Record.SetMemo(memo.empty() ? nullptr : memo.c_str());
    TrimCopy(run.Record.DESC, name.c_str());
    TrimCopy(run.Record.CHAR3, table.Text(kTextField).c_str());
    TrimCopy(run.Record.PART, table.Text(kPartField).c_str());
    TrimCopy(run.Record.DRAW, table.Text(kDrawingField).c_str());
    status.SetStatus(FormatText("Importing (%ld/%ld) : %s", progress, total, name.c_str()));
    PumpWaitingMessages();
    if (!run.File(JoinPath(dir, name + ".NC"), name)) break;
  }
  status.Destroy();
  if (at < 0 && !run.Stopped()) run.Stop(kMsgImportTableRead);
  run.Finish();
}
