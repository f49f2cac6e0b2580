// Name program files by program id: every program file takes its DESC (cut
// to 8 characters) as its name. The file is moved first and NAME rewritten
// only after the move, under the row's lock; a row whose file cannot take
// the new name stays as it is and is listed, so every NAME keeps naming the
// file that is there.
#include "app/frame_commands.h"
#include "appcore/globals.h"
#include "appcore/log_text.h"
#include "dbmodel/engine_context.h"
#include "dbmodel/filetable.h"
#include "dbtools/maintenance.h"
#include "dbtools/table_rewrite.h"
#include "engine/engine_api.h"
#include "platform/file.h"
#include "platform/msgbox.h"
#include "app/status_dlg.h"

namespace {

constexpr const char* kProgramIndex = "KELVFILE.DBF";
constexpr std::size_t kNameWidth = 8;
constexpr int kProgramIdField = 1;

struct TProgramRow {
  long id = 0;
  std::string desc, dir, name, ext;
};

TProgramRow ReadRow(DbDataFile* d) {
  TProgramRow r;
  r.id = FieldRef(d, kProgramIdField).asLong();
  r.desc = RowText(d, kProgramDescField);
  r.dir = RowText(d, kProgramDirField);
  r.name = RowText(d, kProgramNameField);
  r.ext = RowText(d, kProgramExtField);
  return r;
}

std::string FilePath(const TProgramRow& r, const std::string& name) { return r.dir + name + "." + r.ext; }

}  // namespace

int NameRefusal(const std::string& desc) {
  if (desc.empty()) return kMsgNameByIdNotAName;
  if (desc.find("..") != std::string::npos) return kMsgNameByIdNotAName;
  for (unsigned char c : desc)
    if (c < 32 || c == 127 || c == '\\' || c == '/' || c == ':' || c == '*' || c == '?') return kMsgNameByIdNotAName;
  return 0;
}

void CmNameFilesByProgramId(TFrameWindow& frame) {
  // The rows as they are now; each is read again under its lock.
  std::vector<TProgramRow> rows;
  TRewriteResult walk = RewriteTable(
      Globals->DatabaseDir + kProgramIndex, kProgramDescField,
      [&](DbDataFile* d, const std::string&) -> std::optional<std::string> {
        rows.push_back(ReadRow(d));
        return std::nullopt;
      },
      true);
  if (!walk.present || walk.outcome != TTableOutcome::Done) {
    std::string why = walk.present ? MaintenanceSummary({{walk.file, walk.outcome, walk.why}})
                                   : FormatLogValues(Globals->GetMessageText(kMsgTableMissing), {walk.file});
    ::MessageBox(frame.GetHandle(), why.c_str(), Globals->CaptionText.c_str(), MB_OK | MB_ICONEXCLAMATION);
    return;
  }

  int renamed = 0;
  std::string listed;
  auto list = [&](const TProgramRow& r, const std::string& why) {
    listed += "\r\n" + std::to_string(r.id) + " " + r.desc + ": " + why;
  };
  {
    TShowStatusDlg status(&frame);
    status.Create();
    status.ShowWindow(SW_SHOW);
    const std::string count = std::to_string(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
      status.SetStatus(FormatLogValues(Globals->GetMessageText(kMsgNameByIdProcessing), {std::to_string(i + 1), count}));
      const TProgramRow& seen = rows[i];
      if (seen.name == seen.desc) continue;
      if (int why = NameRefusal(seen.desc)) {
        list(seen, Globals->GetMessageText(why));
        continue;
      }
      DbErrorsKept kept;
      TcbFileTable table(kProgramIndex, 0, 0);
      long rec;
      {
        DbBoundedLocks bounded(kMaintenanceLockTries);
        rec = table.LockById(seen.id);
      }
      code_error_set(DbContext, 0);
      if (rec < 0) {
        list(seen, Globals->GetMessageText(kMsgNameByIdInUse));
        continue;
      }
      DbDataFile* d = table.Data();
      data_go(d, rec);
      const TProgramRow r = ReadRow(d);
      if (r.name == r.desc || NameRefusal(r.desc)) continue;  // changed meanwhile
      // NAME is stored without trailing blanks: the file's name must be too.
      std::string cut = r.desc.substr(0, kNameWidth);
      cut.erase(cut.find_last_not_of(' ') + 1);
      if (cut.empty() || cut == r.name) {
        if (cut.empty()) list(r, Globals->GetMessageText(kMsgNameByIdNotAName));
        continue;
      }
      const std::string from = FilePath(r, r.name), to = FilePath(r, cut);
      if (!plat::file_exists(from)) {
        list(r, FormatLogValues(Globals->GetMessageText(kMsgNameByIdNoFile), {from}));
        continue;
      }
      if (plat::file_exists(to)) {
        list(r, FormatLogValues(Globals->GetMessageText(kMsgNameByIdTargetExists), {to}));
        continue;
      }
      if (!plat::move_file(from, to)) {
        list(r, plat::error_text(plat::last_error()));
        continue;
      }
      FieldRef(d, kProgramNameField).assign(cut.c_str());
      if (data_write(d, rec) != 0 || data_flush(d) != 0 || code_error_get(DbContext) < 0) {
        code_error_set(DbContext, 0);
        // The row still names the old file: it comes back.
        plat::move_file(to, from);
        list(r, kept.First().empty() ? Globals->GetMessageText(kMsgNameByIdNotWritten) : kept.First());
        continue;
      }
      ++renamed;
    }
  }
  std::string text = FormatLogValues(Globals->GetMessageText(kMsgNameByIdSummary), {std::to_string(renamed)});
  if (!listed.empty()) text += "\r\n\r\n" + Globals->GetMessageText(kMsgNameByIdListHeading) + listed;
  ::MessageBox(frame.GetHandle(), text.c_str(), Globals->CaptionText.c_str(),
               MB_OK | (listed.empty() ? MB_ICONINFORMATION : MB_ICONEXCLAMATION));
}
