// Replace drive and replace paths: the directories every table stores move
// to another drive or directory.
#include <array>
#include <cctype>
#include <initializer_list>

#include "app/frame_commands.h"
#include "app/lang_dlg.h"
#include "app/plugin_calls.h"
#include "appcore/globals.h"
#include "appcore/log_text.h"
#include "dbtools/maintenance.h"
#include "dbtools/table_rewrite.h"
#include "dbmodel/engine_context.h"
#include "engine/engine_api.h"
#include "masterdata/pick_dialogs.h"
#include "platform/file.h"
#include "platform/msgbox.h"
#include "platform/ui/dialog.h"
#include "platform/ui/edit.h"
#include "resources/dialogs/maintenance.h"

namespace {

// ASCII letters folded to upper case, every other byte as it is (the
// directories' bytes above 127 are not letters of any one code page).
constexpr auto kUpper = [] {
  std::array<char, 256> t{};
  for (int i = 0; i < 256; ++i) t[std::size_t(i)] = static_cast<char>(i >= 'a' && i <= 'z' ? i - 'a' + 'A' : i);
  return t;
}();

char Upper(char c) { return kUpper[static_cast<unsigned char>(c)]; }

// Asks for the old and the new drive letter.
class TReplaceDrive : public TDialog {
 public:
  TReplaceDrive(TWindow* parent, char* oldDrive, char* newDrive)
      : TDialog(parent, IDD_REPLACE_DRIVE), OldDrive(oldDrive), NewDrive(newDrive) {
    OldEdit = new TEdit(this, IDC_REPLACE_DRIVE_OLD, 2);
    NewEdit = new TEdit(this, IDC_REPLACE_DRIVE_NEW, 2);
  }
  void SetupWindow() override {
    TDialog::SetupWindow();
    CentreOnScreen(*this);
  }
  // Closes only with a letter in both edits.
  void CmOk() override {
    const std::string a = OldEdit->GetText(), b = NewEdit->GetText();
    if (a.empty() || b.empty() || !std::isalpha(static_cast<unsigned char>(a[0])) ||
        !std::isalpha(static_cast<unsigned char>(b[0])))
      return;
    *OldDrive = a[0];
    *NewDrive = b[0];
    TDialog::CmOk();
  }

  TEdit* OldEdit;
  TEdit* NewEdit;

 private:
  char* OldDrive;
  char* NewDrive;
};

std::vector<TRewriteResult> RewriteDirectories(TFrameWindow& frame, const TRowRule& rule) {
  std::vector<TRewriteResult> results;
  frame.SetCursor(nullptr, IDC_WAIT);
  for (const auto& t : kDirectoryFields) results.push_back(RewriteTable(Globals->DatabaseDir + t.table, t.field, rule));
  frame.SetCursor(nullptr, IDC_ARROW);
  return results;
}

void ShowSummary(TFrameWindow& frame, const std::vector<TRewriteResult>& results) {
  bool trouble = false;
  for (const auto& r : results) trouble = trouble || (r.present && (r.outcome != TTableOutcome::Done || r.tooLong));
  ::MessageBox(frame.GetHandle(), RewriteSummary(results).c_str(), Globals->CaptionText.c_str(),
               MB_OK | (trouble ? MB_ICONEXCLAMATION : MB_ICONINFORMATION));
}

bool Confirm(TFrameWindow& frame, int messageId, const std::vector<TFormatValue>& values) {
  std::string text = FormatLogValues(Globals->GetMessageText(messageId), values);
  return ::MessageBox(frame.GetHandle(), text.c_str(), Globals->CaptionText.c_str(), MB_YESNO | MB_ICONQUESTION) ==
         IDYES;
}

}  // namespace

std::optional<std::string> ReplacedDrive(const std::string& text, char from, char to) {
  if (text.size() < 2 || text[1] != ':' || Upper(text[0]) != Upper(from)) return std::nullopt;
  std::string out = text;
  out[0] = Upper(to);
  return out;
}

std::string DirectoryKey(std::string dir) {
  for (char& c : dir) c = Upper(c);
  while (!dir.empty() && (dir.back() == '\\' || dir.back() == '/')) dir.pop_back();
  return dir + "\\";
}

std::optional<std::string> ReplacedPath(const std::string& text, const std::string& from, const std::string& to) {
  // Runs once per row of every table: compared in place, no folded copy.
  if (text.size() != from.size()) return std::nullopt;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (kUpper[static_cast<unsigned char>(text[i])] != from[i]) return std::nullopt;
  return to;
}

void CmReplaceDrive(TFrameWindow& frame) {
  char from = 0, to = 0;
  if (TReplaceDrive(&frame, &from, &to).Execute() != IDOK) return;
  from = Upper(from);
  to = Upper(to);
  if (from == to) return;
  if (!Confirm(frame, kMsgReplaceDriveQuestion, {std::string(1, from), std::string(1, to)})) return;
  ShowSummary(frame, RewriteDirectories(frame, [from, to](DbDataFile*, const std::string& text) {
                return ReplacedDrive(text, from, to);
              }));
}

void CmReplacePaths(TFrameWindow& frame) {
  HeapText oldDir = CallPrintHook(&frame);
  if (!oldDir) return;
  HeapText newDir = CallPrintHook(&frame);
  if (!newDir) return;
  const std::string from = DirectoryKey(oldDir.c_str());
  const std::string to = DirectoryKey(newDir.c_str());
  if (!Confirm(frame, kMsgReplacePathsQuestion, {"\"", from, "\"", "\"", to, "\""})) return;
  ShowSummary(frame, RewriteDirectories(frame, [&from, &to](DbDataFile*, const std::string& text) {
                return ReplacedPath(text, from, to);
              }));
}

namespace {

// Sets DIR of every live row of the tables (of one machine's programs when
// machineId is not 0) to the directory, after a question with the number
// of rows; says afterwards how many rows changed and how many of their
// files are not in the new directory.
void SetDirectory(TFrameWindow& frame, std::string dir, std::initializer_list<const char*> tables, long machineId) {
  if (dir.empty()) return;
  dir = DirectoryKey(dir);
  long missing = 0;
  bool counting = true;
  TRowRule rule = [&](DbDataFile* d, const std::string& text) -> std::optional<std::string> {
    if (machineId != 0 && FieldRef(d, kProgramMachineField).asLong() != machineId) return std::nullopt;
    if (text == dir) return std::nullopt;
    if (!counting && !plat::file_exists(dir + RowText(d, kProgramNameField) + "." + RowText(d, kProgramExtField)))
      ++missing;
    return dir;
  };
  long rows = 0;
  for (const char* t : tables) rows += RewriteTable(Globals->DatabaseDir + t, kProgramDirField, rule, true).changed;
  if (!Confirm(frame, kMsgSetDirectoryQuestion, {std::to_string(rows), dir})) return;
  counting = false;
  std::vector<TRewriteResult> results;
  for (const char* t : tables) results.push_back(RewriteTable(Globals->DatabaseDir + t, kProgramDirField, rule));
  long changed = 0;
  for (const auto& r : results) changed += r.changed;
  bool trouble = missing != 0;
  for (const auto& r : results) trouble = trouble || (r.present && (r.outcome != TTableOutcome::Done || r.tooLong));
  std::string text = FormatLogValues(Globals->GetMessageText(kMsgSetDirectoryDone),
                                     {std::to_string(changed), dir, std::to_string(missing)});
  text += "\r\n\r\n" + RewriteSummary(results);
  ::MessageBox(frame.GetHandle(), text.c_str(), Globals->CaptionText.c_str(),
               MB_OK | (trouble ? MB_ICONEXCLAMATION : MB_ICONINFORMATION));
}

}  // namespace

void CmUpdateMachinePath(TFrameWindow& frame) {
  int32_t machineId = 0;
  if (TMachineDialog(&frame, &machineId).Execute() != IDOK) return;
  if (Globals->ChosenMachineId == 0) return;
  SetDirectory(frame, Globals->ChosenMachineDir.str(), {"KELVFILE.DBF", "KELVLOCK.DBF"}, Globals->ChosenMachineId);
}

void CmUpdateBackupPath(TFrameWindow& frame) {
  SetDirectory(frame, Globals->BackupDir, {"KELVBACK.DBF", "LOG00003.DBF"}, 0);
}

void CmUpdateDncFailPath(TFrameWindow& frame) { SetDirectory(frame, Globals->DncFailDir, {"KELVDNCF.DBF"}, 0); }

void CmUpdateDncTempPath(TFrameWindow& frame) { SetDirectory(frame, Globals->DncTempDir, {"KELVDNCT.DBF"}, 0); }
