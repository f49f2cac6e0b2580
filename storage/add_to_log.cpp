// The version-log entry dialog. The entry is written last, after its copy:
// an entry never points at a copy that was not kept, and a copy whose
// entry could not be written is taken back.
#include "storage/add_to_log.h"

#include "app/users_lines.h"
#include "appcore/globals.h"
#include "appcore/message_ids.h"
#include "dbmodel/changecrit.h"
#include "dbmodel/counter.h"
#include "dbmodel/idname.h"
#include "dbmodel/versionlog.h"
#include "platform/file.h"
#include "platform/ui/ctlcolor.h"
#include "platform/ui/gdi_object.h"
#include "resources/dialogs/logs.h"

namespace {

// The fields of the opener's record that a stored copy changes, put back
// when the copy is done.
class RecordFieldsKept {
 public:
  explicit RecordFieldsKept(TcbFileRecord& r) : r_(r), ncid_(r.NCID), lock_(r.LOCK) {
    CopyCut(dir_, sizeof dir_, r.DIR);
    CopyCut(name_, sizeof name_, r.NAME);
    CopyCut(ext_, sizeof ext_, r.EXT);
  }
  ~RecordFieldsKept() {
    r_.NCID = ncid_;
    r_.LOCK = lock_;
    CopyCut(r_.DIR, sizeof r_.DIR, dir_);
    CopyCut(r_.NAME, sizeof r_.NAME, name_);
    CopyCut(r_.EXT, sizeof r_.EXT, ext_);
  }

 private:
  TcbFileRecord& r_;
  long ncid_;
  int lock_;
  char dir_[sizeof TcbFileRecord::DIR];
  char name_[sizeof TcbFileRecord::NAME];
  char ext_[sizeof TcbFileRecord::EXT];
};

// Takes a stored copy back: its row retired and its file deleted.
void DropCopy(long copyId) {
  TcbFileTable t(kStoredCopiesFile, 0, 0);
  if (TcbFileRecord* row = t.DeleteById(copyId)) {
    plat::delete_file(row->FilePath());
    delete row;
  }
}
}  // namespace

HBRUSH LogStaticColor(HDC dc, COLORREF text) {
  SetTextColor(dc, text);
  SetBkColor(dc, RGB(0, 0, 0));
  return static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
}

DEFINE_RESPONSE_TABLE1(TAddToLog, TLogEntryDlg)
  EV_WM_CTLCOLOR,
  EV_COMMAND(IDOK, CmAdd),
  EV_BN_CLICKED(IDC_LOG_ENTRY_ADD, CmAdd),
END_RESPONSE_TABLE;

TAddToLog::TAddToLog(TWindow* parent, TcbFileRecord* record, const char* indexFile)
    : TLogEntryDlg(parent, IDD_ADD_TO_LOG), Record(record), IndexFile(indexFile ? indexFile : kProgramIndexFile) {
  MakeEntryBoxes();
  Note.reserve(4100);
}

void TAddToLog::SetupWindow() {
  TLangDlg::SetupWindow();
  SetCaptionText(627);
  SetItemText(IDC_LOG_ENTRY_EVENT_LABEL, 630);
  SetItemText(IDC_LOG_ENTRY_NOTE_LABEL, 632);
  SetItemText(IDC_LOG_ENTRY_REASONS_GROUP, 639);
  SetItemText(IDC_LOG_ENTRY_MAIN_TYPE_LABEL, 801);
  SetItemText(IDC_LOG_ENTRY_DATE_LABEL, 631);
  SetItemText(IDC_LOG_ENTRY_TIME_LABEL, 910);
  SetItemText(IDC_LOG_ENTRY_USER_LABEL, 702);
  SetItemText(IDC_LOG_ENTRY_ADD, 634);
  SetItemText(IDOK, 701);
  ChildWithId(IDC_LOG_ENTRY_ADD)->ShowWindow(SW_HIDE);
  // The date, time and user the entry will carry, so the boxes beside
  // their labels are not left blank.
  TLog00002Record stamp;
  TLog00002Table::StampNow(&stamp);
  DateStatic->SetText(stamp.DATE);
  TimeStatic->SetText(stamp.TIME);
  UserStatic->SetText(stamp.USERNAME);
  FillMainTypeCombo(*MainTypeCombo);
  for (TComboBox* box : ReasonCombos) {
    box->ClearList();
    box->AddString("");
    box->SetSelIndex(0);
  }
  Ready = 1;
}

bool TAddToLog::CheckReady() {
  if (!Ready) {
    std::string text = Globals->GetMessageText(kMsgDialogNotReady);
    ::MessageBox(GetHandle(), text.c_str(), "Message", MB_OK);
  }
  return Ready != 0;
}

bool TAddToLog::CanClose() { return CheckReady() && TLangDlg::CanClose(); }

void TAddToLog::EvClose() {
  if (CheckReady()) TLangDlg::EvClose();
}

long TAddToLog::StoreCopy() {
  long copyId = NextStoredVersionId();
  if (copyId <= 0) {
    LogMessageWith(kMsgLogCopyNotKept, MB_OK | MB_ICONEXCLAMATION, "no copy id");
    return 0;
  }
  // Eight characters hold the names of copy ids up to 9999999; a longer
  // one, cut, would name another copy.
  std::string name = "L" + std::to_string(copyId);
  if (name.size() >= sizeof Record->NAME) {
    LogMessageWith(kMsgLogCopyNotKept, MB_OK | MB_ICONEXCLAMATION, "copy id too large");
    return 0;
  }
  if (Globals->BackupDir.size() >= sizeof Record->DIR) {
    LogMessageWith(kMsgLogCopyNotKept, MB_OK | MB_ICONEXCLAMATION, "backup directory name too long");
    return 0;
  }
  std::string source = Record->FilePath();
  RecordFieldsKept kept(*Record);
  Record->NCID = copyId;
  CopyCut(Record->DIR, sizeof Record->DIR, Globals->BackupDir.c_str());
  CopyCut(Record->NAME, sizeof Record->NAME, name.c_str());
  CopyCut(Record->EXT, sizeof Record->EXT, "LOG");
  std::string target = Record->FilePath();
  if (!plat::copy_file(source, target, true)) {
    LogMessageWith(kMsgLogCopyNotKept, MB_OK | MB_ICONEXCLAMATION, plat::error_text(plat::last_error()));
    return 0;
  }
  TcbFileTable copies(kStoredCopiesFile, 0, 0);
  if (!copies.Append(Record)) {
    plat::delete_file(target);
    LogMessageWith(kMsgLogCopyNotKept, MB_OK | MB_ICONEXCLAMATION, "LOG00003.DBF");
    return 0;
  }
  return copyId;
}

std::string TAddToLog::EventText() {
  std::string typeName;
  {
    TcbLogTypeTable t(kLogTypesFile, 0, 0);
    if (TcbIdAndNameRecord* type = t.FindById(MainType)) {
      typeName = type->NAME;
      delete type;
      t.made = nullptr;
    }
  }
  if (!EventEdit->IsModified()) return typeName;
  std::string typed = EventEdit->GetText();
  if (typed.size() > 49) typed.resize(49);
  return typed.empty() ? typeName : typed;
}

void TAddToLog::ResetSent() {
  // Only the row this record was read from: a number taken in another
  // index file (a backup's) may belong to an unrelated program here.
  TcbFileTable t(IndexFile.c_str(), 0, 0);
  TcbFileRecord* row = t.FindById(Record->NCID);
  bool same = row && row->LONG1 == Record->LONG1;
  delete row;
  t.made = nullptr;
  t.Close();
  if (!same) return;
  t.ResetSent(Record->NCID);
  // The opener writes its record back later; it must not bring the old
  // count with it.
  Record->SENT = 0;
}

void TAddToLog::CmAdd() {
  if (!Record) return;
  if (ReasonIds[0] == 0 && ReasonIds[1] == 0 && ReasonIds[2] == 0) {
    LogMessage(kMsgNoReason, MB_OK | MB_ICONINFORMATION);
    return;
  }
  if (LogMessage(kMsgAddLogEntryQuestion, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
  TLog00002Record entry;
  Note = NoteEdit->GetText();
  if (Note.size() > 3999) Note.resize(3999);
  entry.TYPE = MainType;
  if (NoteEdit->IsModified()) entry.SetMemo(Note.c_str());
  entry.PROGRAM = Record->LONG1;
  entry.SEND = Record->SENT;
  entry.REVISION = StoreCopy();
  CopyCut(entry.TEXT, sizeof entry.TEXT, EventText().c_str());
  entry.REASON01 = ReasonIds[0];
  entry.REASON02 = ReasonIds[1];
  entry.REASON03 = ReasonIds[2];
  int written;
  {
    TLog00002Table log(kVersionLogFile, 0, 0);
    written = log.Add(&entry);
  }
  if (!written) {
    if (entry.REVISION) DropCopy(entry.REVISION);
    LogMessage(kMsgLogNotStored, MB_OK | MB_ICONSTOP);
    return;
  }
  WrittenCopy = entry.REVISION;
  Ready = 1;
  ResetSent();
  CloseWindow(IDOK);
}

HBRUSH TAddToLog::EvCtlColor(HDC dc, HWND control, UINT ctlType) {
  if (ctlType != CTLCOLOR_STATIC) return nullptr;
  for (TStatic* s : {DateStatic, UserStatic, TimeStatic})
    if (s->GetHandle() == control) return LogStaticColor(dc, RGB(255, 255, 0));
  return nullptr;
}
