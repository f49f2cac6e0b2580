#include "dbtools/import_run.h"

#include <mutex>
#include <random>

#include "appcore/globals.h"
#include "appcore/log_text.h"
#include "dbmodel/text_helpers.h"
#include "platform/file.h"
#include "platform/msgbox.h"
#include "platform/ui/window.h"
#include "storage/filing_lock.h"
#include "storage/log_common.h"
#include "storage/program_ops.h"

namespace {

constexpr const char* kProgramIndex = "KELVFILE.DBF";
// A summary box shows this many names; the rest are counted.
constexpr std::size_t kListedShown = 20;

std::string ListedLine(const std::string& shown, const std::string& why) { return shown + ": " + why; }

}  // namespace

int ImportMessage(TWindow& owner, int messageId, unsigned flags, const std::vector<std::string>& values) {
  std::string text = Globals->GetMessageText(messageId);
  if (!values.empty()) text = FormatLogValues(text, std::vector<TFormatValue>(values.begin(), values.end()));
  return ::MessageBox(owner.GetHandle(), text.c_str(), Globals->CaptionText.c_str(), flags);
}

std::string JoinPath(const std::string& dir, const std::string& name) {
  if (dir.empty() || dir.back() == '\\' || dir.back() == '/') return dir + name;
  return dir + "\\" + name;
}

std::string DirectoryOf(const std::string& path) {
  std::size_t sep = path.find_last_of("\\/");
  return sep == std::string::npos ? std::string() : path.substr(0, sep);
}

TImportRun::TImportRun(TWindow& owner, TProgramName naming)
    : owner_(owner), naming_(naming), index_(kProgramIndex, 0, 0) {}

void TImportRun::SkipListed(const std::string& shown, const std::string& why) {
  ++skipped_;
  listed_.push_back(ListedLine(shown, why));
}

void TImportRun::Fail(const std::string& shown, const std::string& why) {
  ++failed_;
  listed_.push_back(ListedLine(shown, why));
}

void TImportRun::Stop(int messageId) {
  stopped_ = true;
  ImportMessage(owner_, messageId, MB_OK | MB_ICONSTOP);
}

bool TImportRun::File(const std::string& source, const std::string& shown) {
  if (stopped_) return false;
  // The boxes wait until the locks are given back.
  switch (FileLocked(source, shown)) {
    case TStep::NoLock:
      Stop(kMsgImportNoFilingLock);
      return false;
    case TStep::NoId:
      Stop(kMsgImportNoProgramId);
      return false;
    default:
      return true;
  }
}

TImportRun::TStep TImportRun::FileLocked(const std::string& source, const std::string& shown) {
  std::lock_guard imports(Globals->ImportLock);
  TFilingLock filing;
  if (!filing.IsHeld()) return TStep::NoLock;
  long id = DrawProgramId();
  if (id < 1) return TStep::NoId;
  Record.NCID = Record.LONG1 = id;
  CopyCut(Record.NAME, sizeof Record.NAME,
          (naming_ == TProgramName::SevenDigits ? FormatText("P%07ld", id) : FormatText("P%ld", id)).c_str());
  const std::string target = Record.FilePath();
  // The id is new, so a file of that name belongs to nobody we know of:
  // it is kept, and this source counts as failed.
  if (!plat::copy_file(source, target, true)) {
    Fail(shown, plat::error_text(plat::last_error()));
    return TStep::Failed;
  }
  // The index stays open for the run; each append writes its row and
  // keys before the append lock goes.
  if (index_.AppendBatch(&Record) != 1) {
    index_.Close();
    // No row names the copy: it goes again, the source stays.
    plat::delete_file(target);
    Fail(shown, Globals->GetMessageText(kMsgImportNotFiled));
    return TStep::Failed;
  }
  ++imported_;
  return TStep::Filed;
}

void TImportRun::Finish() {
  index_.Close();
  if (skipped_ == 0 && failed_ == 0 && !stopped_) return;
  std::string text = FormatLogValues(Globals->GetMessageText(kMsgImportSummary),
                                     {std::to_string(imported_), std::to_string(skipped_), std::to_string(failed_)});
  if (!listed_.empty()) {
    text += "\r\n\r\n" + Globals->GetMessageText(kMsgImportListHeading);
    for (std::size_t i = 0; i < listed_.size() && i < kListedShown; ++i) text += "\r\n" + listed_[i];
    if (listed_.size() > kListedShown)
      text += "\r\n" + FormatLogValues(Globals->GetMessageText(kMsgImportListMore),
                                       {std::to_string(listed_.size() - kListedShown)});
  }
  UINT icon = failed_ || stopped_ ? MB_ICONEXCLAMATION : MB_ICONINFORMATION;
  ::MessageBox(owner_.GetHandle(), text.c_str(), Globals->CaptionText.c_str(), MB_OK | icon);
}

TRunWorkFile::TRunWorkFile() {
  // A random start keeps runs of several stations on one temporary
  // directory from walking the same names.
  unsigned start = std::random_device{}() % 100000;
  for (unsigned i = 0; i < 100; ++i) {
    std::string path = JoinPath(Globals->TempDir, FormatText("IMP%05u.TMP", (start + i) % 100000));
    int error = 0;
    plat::File f = plat::create_file(path, plat::Access::write, plat::Share::read, plat::Disposition::create_new, &error);
    if (f.is_open()) {
      plat::close(f);
      path_ = path;
      made_ = true;
      return;
    }
    error_ = error ? error : plat::error_io;
    path_ = path;
    if (error_ != plat::error_exists) return;
  }
}

TRunWorkFile::~TRunWorkFile() {
  if (made_) plat::delete_file(path_);
}
