#include "dnc/idscript_dlg.h"

#include <vector>

#include "appcore/globals.h"
#include "appcore/message_ids.h"
#include "appcore/myfile.h"
#include "appcore/text_scan.h"
#include "platform/msgbox.h"
#include "platform/ui/validator.h"
#include "resources/dialogs/dnclink.h"

namespace {

std::string Caption() { return Globals && Globals->CaptionText.c_str() ? Globals->CaptionText.c_str() : ""; }

// A MESSAGES text whose "%s" takes the value (appended when it has none).
std::string Filled(int id, const std::string& value) {
  std::string text = Globals->GetMessageText(id);
  const std::size_t at = text.find("%s");
  if (at == std::string::npos) return text + "\r\n" + value;
  return text.replace(at, 2, value);
}

}  // namespace

bool WriteIdScript(const std::string& path, const std::vector<std::string>& lines) {
  TMyFile file(path.c_str());
  bool ok = file.Open(0) == 1;
  for (std::size_t i = 0; ok && i < lines.size(); i++) ok = file.WriteLine(lines[i].c_str()) == 1;
  if (ok) ok = file.FlushBuffer() == 1;
  if (file.Close() == 0) ok = false;
  return ok;
}

DEFINE_RESPONSE_TABLE1(TDefineScript, TLangDlg)
  EV_COMMAND(IDOK, CmOk),
  EV_BN_CLICKED(IDC_ID_SCRIPT_INSERT, CmInsert),
  EV_BN_CLICKED(IDC_ID_SCRIPT_APPEND, CmAppend),
  EV_BN_CLICKED(IDC_ID_SCRIPT_REMOVE, DeleteLine),
  EV_BN_CLICKED(IDC_ID_SCRIPT_SAVE, CmSave),
  EV_LBN_DBLCLK(IDC_ID_SCRIPT_FUNCTIONS, CmInsert),
  EV_LBN_DBLCLK(IDC_ID_SCRIPT_LINES, DeleteLine),
END_RESPONSE_TABLE;

TDefineScript::TDefineScript(TWindow* parent)
    : TLangDlg(parent, kTemplate), font_("FIXEDSYS", 0, 0, 0, 0, FW_NORMAL) {
  Functions = new TListBox(this, IDC_ID_SCRIPT_FUNCTIONS);
  Script = new TListBox(this, IDC_ID_SCRIPT_LINES);
}

void TDefineScript::SetupWindow() {
  TLangDlg::SetupWindow();
  for (const auto& f : idscript::kFunctionTable) Functions->AddString(f.listText);
  Functions->SetWindowFont(font_, false);
  Script->SetWindowFont(font_, false);
  // Scripts are not kept under names: the buttons for that stay grey.
  for (int id : {IDC_ID_SCRIPT_ADD, IDC_ID_SCRIPT_SAVE_AS}) ::EnableWindow(GetDlgItem(id), FALSE);
}

void TDefineScript::CmInsert() {
  InsertMode = true;
  AddCommand();
}

void TDefineScript::CmAppend() {
  InsertMode = false;
  AddCommand();
  InsertMode = true;
}

void TDefineScript::AddCommand() {
  const int fn = Functions->GetSelIndex();
  if (fn < 0 || fn >= idscript::kFunctions) return;
  const idscript::Function& f = idscript::kFunctionTable[fn];
  std::string answer;
  switch (f.kind) {
    case idscript::ArgKind::None:
      break;
    case idscript::ArgKind::YesNo:
      answer = ::MessageBox(GetHandle(), "Set it True ?\r\n\r\n(Yes = True, No = False)", "Question",
                            MB_YESNO | MB_ICONQUESTION) == IDYES
                   ? "TRUE"
                   : "FALSE";
      break;
    default: {
      TGetAnswer ask(this, f.listText, f.kind, &answer);
      if (ask.Execute() != IDOK || answer.empty()) return;
    }
  }
  const std::string line = idscript::ScriptLine(fn, answer);
  const int count = Script->GetCount();
  const int sel = Script->GetSelIndex();
  if (!InsertMode || count == 0 || sel == count) Script->AddString(line.c_str());
  else Script->InsertString(line.c_str(), sel < 0 ? 0 : sel);
}

void TDefineScript::DeleteLine() {
  const int sel = Script->GetSelIndex();
  if (sel < 0) return;
  Script->DeleteString(sel);
  const int count = Script->GetCount();
  if (count > 0) Script->SetSelIndex(sel < count ? sel : count - 1);
}

void TDefineScript::CmSave() {
  const int count = Script->GetCount();
  if (count == 0) return;
  if (!Globals->FileSaveDialog(this, nullptr, 0)) return;
  const std::string path = Globals->StartFile.c_str();
  std::vector<std::string> lines;
  for (int i = 0; i < count; i++) lines.push_back(Script->GetString(i));
  if (!WriteIdScript(path, lines))
    ::MessageBox(GetHandle(), Filled(kMsgScriptNotWritten, path).c_str(), Caption().c_str(), MB_OK | MB_ICONSTOP);
}

DEFINE_RESPONSE_TABLE1(TGetAnswer, TLangDlg)
  EV_COMMAND(IDOK, CmOk),
END_RESPONSE_TABLE;

TGetAnswer::TGetAnswer(TWindow* parent, const char* prompt, idscript::ArgKind kind, std::string* answer)
    : TLangDlg(parent, kTemplate), prompt_(prompt ? prompt : ""), kind_(kind), answer_(answer) {
  Edit = new TEdit(this, IDC_SCRIPT_ARGUMENT_VALUE, static_cast<UINT>(idscript::MaxArgumentLength(kind) + 1));
}

void TGetAnswer::SetupWindow() {
  TLangDlg::SetupWindow();
  SetDlgItemText(IDC_SCRIPT_ARGUMENT_PROMPT, prompt_.c_str());
  if (kind_ == idscript::ArgKind::Number || kind_ == idscript::ArgKind::CharCode)
    Edit->SetValidator(new TFilterValidator("0-9"));
}

void TGetAnswer::CmOk() {
  const std::string text = CutText(Edit->GetText(), 9);
  if (!text.empty()) {
    const std::string problem = idscript::ArgumentProblem(kind_, text);
    if (!problem.empty()) {
      ::MessageBox(GetHandle(), Filled(kMsgArgumentRefused, problem).c_str(), Caption().c_str(),
                   MB_OK | MB_ICONINFORMATION);
      return;
    }
  }
  if (answer_) *answer_ = text;
  Destroy(IDOK);
}
