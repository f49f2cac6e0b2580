// Convert line feeds: every file of a chosen directory gets clean CR LF
// line ends. Each file is cleaned into IMPORT.TMP of that directory and
// copied back only when complete; a file without "%" stays as it is.
#include "dbtools/linefeeds.h"

#include "app/frame_commands.h"
#include "app/plugin_calls.h"
#include "app/status_dlg.h"
#include "appcore/globals.h"
#include "appcore/log_text.h"
#include "dbtools/maintenance.h"
#include "dbtools/work_file.h"
#include "platform/file.h"
#include "platform/msgbox.h"
#include "platform/ui/window.h"

void TLinefeedCleaner::Feed(std::string_view in, std::string& out) {
  for (char ch : in) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (!started_) {
      if (c != '%') continue;
      started_ = true;
    }
    if (c == '\r' || c == '\n') {
      if (!inRun_) out += "\r\n";
      inRun_ = true;
      continue;
    }
    inRun_ = false;
    if (c >= 32 && c <= 127) out += ch;
  }
}

TCleanOutcome CleanLinefeedsInFile(const std::string& source, const std::string& target, int* error) {
  TSourceReader in(source);
  if (in.Failed()) {
    *error = in.Error();
    return TCleanOutcome::ReadFailed;
  }
  TWorkWriter out(target);
  if (out.Failed()) {
    *error = out.Error();
    return TCleanOutcome::WriteFailed;
  }
  TLinefeedCleaner cleaner;
  std::string piece(kLinefeedPiece, '\0'), cleaned;
  for (;;) {
    std::size_t n = in.Read(piece.data(), piece.size());
    if (n == 0) break;
    cleaned.clear();
    cleaner.Feed(std::string_view(piece.data(), n), cleaned);
    out.Put(cleaned);
  }
  const bool written = out.Finish();
  if (in.Failed()) {
    *error = in.Error();
    return TCleanOutcome::ReadFailed;
  }
  if (!written) {
    *error = out.Error();
    return TCleanOutcome::WriteFailed;
  }
  return cleaner.Started() ? TCleanOutcome::Converted : TCleanOutcome::NoPercent;
}

namespace {

constexpr const char* kWorkName = "IMPORT.TMP";

std::string Join(const std::string& dir, const std::string& name) {
  if (!dir.empty() && (dir.back() == '\\' || dir.back() == '/')) return dir + name;
  return dir + "\\" + name;
}

}  // namespace

void CmConvertLinefeeds(TFrameWindow& frame) {
  HeapText chosen = CallPrintHook(&frame);
  if (!chosen) return;
  const std::string dir = chosen.str();
  const std::string work = Join(dir, kWorkName);

  std::vector<std::string> names;
  {
    plat::FindHandle h;
    plat::FindData fd;
    for (bool more = plat::find_first(Join(dir, "*.*"), h, fd); more; more = plat::find_next(h, fd))
      if (!(fd.attributes & plat::attr_directory) && !plat::match_pattern(kWorkName, fd.name)) names.push_back(fd.name);
    plat::find_close(h);
  }

  int converted = 0;
  std::string unchanged, failed;
  {
    TShowStatusDlg status(&frame);
    status.Create();
    status.ShowWindow(SW_SHOW);
    for (std::size_t i = 0; i < names.size(); ++i) {
      status.SetStatus(std::to_string(i + 1) + " : " + names[i]);
      const std::string file = Join(dir, names[i]);
      int error = 0;
      switch (CleanLinefeedsInFile(file, work, &error)) {
        case TCleanOutcome::Converted:
          // The copy replaces the file only once it is complete.
          if (plat::copy_file(work, file, false))
            ++converted;
          else
            failed += "\r\n" + file + ": " + plat::error_text(plat::last_error());
          break;
        case TCleanOutcome::NoPercent:
          unchanged += "\r\n" + file;
          break;
        case TCleanOutcome::ReadFailed:
        case TCleanOutcome::WriteFailed:
          failed += "\r\n" + file + ": " + plat::error_text(error);
          break;
      }
    }
  }
  plat::delete_file(work);

  std::string text =
      FormatLogValues(Globals->GetMessageText(kMsgLinefeedsSummary), {std::to_string(converted)});
  if (!unchanged.empty()) text += "\r\n\r\n" + Globals->GetMessageText(kMsgLinefeedsNoPercentHeading) + unchanged;
  if (!failed.empty()) text += "\r\n\r\n" + Globals->GetMessageText(kMsgMaintenanceFailedHeading) + failed;
  ::MessageBox(frame.GetHandle(), text.c_str(), Globals->CaptionText.c_str(),
               MB_OK | (failed.empty() && unchanged.empty() ? MB_ICONINFORMATION : MB_ICONEXCLAMATION));
}
