// The job-file editor: the file's lines in a list, edited one at a time,
// blocks of lines inserted from a text field and include lines added
// through the file dialog. Lines are kept whole, whatever their length.
#include <memory>

#include "app/users_dialogs.h"
#include "appcore/globals.h"
#include "appcore/message_ids.h"
#include "appcore/myfile.h"
#include "dnc/job_dialogs.h"
#include "platform/msgbox.h"
#include "resources/dialogs/jobs.h"

namespace {

void ShowFileMessage(TWindow* owner, int id, const std::string& file) {
  std::string text = Globals->GetMessageText(id) + "\r\n" + file;
  ::MessageBox(owner ? owner->GetHandle() : nullptr, text.c_str(), Globals->CaptionText.c_str(),
               MB_OK | MB_ICONSTOP);
}

}  // namespace

DEFINE_RESPONSE_TABLE1(TMakeJobFileDlg, TLangDlg)
  EV_LBN_SELCHANGE(IDC_JOB_FILE_LINES, EvLineSelected),
  EV_BN_CLICKED(IDC_JOB_FILE_REPLACE, CmReplaceLine),
  EV_BN_CLICKED(IDC_JOB_FILE_INSERT, CmInsertText),
  EV_BN_CLICKED(IDC_JOB_FILE_REMOVE, CmRemoveLine),
  EV_BN_CLICKED(IDC_JOB_FILE_SAVE, CmSave),
  EV_BN_CLICKED(IDC_JOB_FILE_ADD_FILE, CmAddFile),
END_RESPONSE_TABLE;

TMakeJobFileDlg::TMakeJobFileDlg(TWindow* parent, const char* fileName)
    : TLangDlg(parent, IDD_JOB_FILE), FileName(fileName ? fileName : "") {
  LineEdit = new TEdit(this, IDC_JOB_FILE_LINE, 100);
  LineList = new TListBox(this, IDC_JOB_FILE_LINES);
  TextEdit = new TEdit(this, IDC_JOB_FILE_TEXT, 2000);
}

void TMakeJobFileDlg::SetupWindow() {
  TLangDlg::SetupWindow();
  SetCaptionText(1050);
  SetItemText(IDC_JOB_FILE_LINE_LABEL, 1051);
  SetItemText(IDC_JOB_FILE_TEXT_LABEL, 1052);
  SetItemText(IDC_JOB_FILE_SAVE, 1053);
  SetItemText(IDC_JOB_FILE_ADD_FILE, 1054);
  if (!FileName.empty()) ReadFile();
}

void TMakeJobFileDlg::ReadFile() {
  TMyFile file(FileName.c_str());
  bool ok = file.Open(1) == 1;
  if (ok)
    while (std::unique_ptr<char[]> line = file.ReadLine(0)) LineList->AddString(line.get());
  if (ok && !file.Failed()) return;
  // Saving a list that misses lines would cut the file: the name is
  // forgotten, so "Save it..." asks for one.
  ShowFileMessage(this, kMsgJobFileUnreadable, FileName);
  FileName.clear();
}

int TMakeJobFileDlg::InsertPoint() const {
  int i = LineList->GetSelIndex();
  return i < 0 ? 0 : i + 1;
}

void TMakeJobFileDlg::EvLineSelected() {
  int i = LineList->GetSelIndex();
  if (i < 0) return;
  std::string line = LineList->GetString(i);
  // An include line is only removed and added again, never edited.
  bool include = !line.empty() && line[0] == '#';
  LineEdit->SetWindowText(include ? "" : line.c_str());
  for (int id : {IDC_JOB_FILE_LINE, IDC_JOB_FILE_REPLACE, IDC_JOB_FILE_LINE_LABEL})
    ::EnableWindow(GetDlgItem(id), !include);
}

void TMakeJobFileDlg::CmReplaceLine() {
  std::string text = LineEdit->GetText();
  int i = LineList->GetSelIndex();
  if (i < 0) {
    LineList->AddString(text.c_str());
    return;
  }
  LineList->DeleteString(i);
  LineList->InsertString(text.c_str(), i);
  LineList->SetSelIndex(i);
}

void TMakeJobFileDlg::CmInsertText() {
  std::string text = TextEdit->GetText();
  int at = InsertPoint();
  size_t start = 0;
  for (;;) {
    size_t end = text.find('\n', start);
    std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    LineList->InsertString(line.c_str(), at++);
    if (end == std::string::npos) break;
    start = end + 1;
  }
}

void TMakeJobFileDlg::CmRemoveLine() {
  int i = LineList->GetSelIndex();
  if (i >= 0) LineList->DeleteString(i);
}

void TMakeJobFileDlg::CmAddFile() {
  if (!Globals->FileOpenDialog(this, nullptr, 0)) return;
  std::string line = std::string("#") + Globals->StartFile.c_str();
  LineList->InsertString(line.c_str(), InsertPoint());
}

void TMakeJobFileDlg::CmSave() {
  if (FileName.empty()) {
    if (!Globals->FileSaveDialog(this, nullptr, 0)) return;
    FileName = Globals->StartFile.c_str();
  }
  TMyFile file(FileName.c_str());
  bool ok = file.Open(0) == 1;
  for (int i = 0; ok && i < LineList->GetCount(); i++) ok = file.WriteLine(LineList->GetString(i).c_str()) == 1;
  if (ok) ok = file.FlushBuffer() == 1;
  if (file.Close() == 0) ok = false;
  if (!ok) ShowFileMessage(this, kMsgJobFileNotWritten, FileName);
}
