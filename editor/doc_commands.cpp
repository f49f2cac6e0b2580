// Documentation commands of an editor window: the program's memo, the
// pictures and formatted-print plug-ins, comparing the program with another
// stored program, and the import of a Mazak VurErad tape image.
#include <memory>
#include <vector>

#include "app/plugin_calls.h"
#include "appcore/globals.h"
#include "appcore/message_ids.h"
#include "editor/child_frame.h"
#include "editor/compare_dlg.h"
#include "formats/vurerad.h"
#include "platform/file.h"
#include "platform/ledit/protocol.h"
#include "platform/msgbox.h"
#include "platform/plugin.h"
#include "platform/plugin_abi.h"
#include "storage/program_lock.h"

namespace {

std::string WithPath(int messageId, const std::string& value) {
  std::string format = Globals->GetMessageText(messageId);
  size_t at = format.find("%s");
  if (at == std::string::npos) return format + "\r\n" + value;
  return format.substr(0, at) + value + format.substr(at + 2);
}

constexpr uint32_t kRightEditMemo = 0x10, kRightDocumentation = 0x20;

// The 18 words a picture or print plug-in is handed: the program's texts,
// a directory or file (item 9), the import directory and eight print texts.
// The texts live as long as the block.
class TPluginBlock {
 public:
  TPluginBlock(const TPluginTexts& t, const std::string& item9) : Words(18, 0) {
    Words[0] = static_cast<kv_word>(t.Long1);
    const std::string* texts[] = {&t.Desc, &t.Char3, &t.Part, &t.Draw, &t.Customer, &t.Project, &t.Machine};
    for (int i = 0; i < 7; ++i) Words[1 + i] = Keep(*texts[i]);
    Words[8] = Keep(item9);
    Words[9] = Keep(Globals->ImportDir);
    const int printTexts[] = {0, 1, 3, 2, 4, 5, 6, 20};
    for (int i = 0; i < 8; ++i)
      if (Globals->PrintTexts.Has(printTexts[i])) Words[10 + i] = Keep(Globals->PrintTexts.Get(printTexts[i]));
  }
  kv_word* Data() { return Words.data(); }

 private:
  kv_word Keep(const std::string& text) {
    Texts.push_back(std::make_unique<std::string>(text));
    return reinterpret_cast<kv_word>(Texts.back()->c_str());
  }
  std::vector<kv_word> Words;
  std::vector<std::unique_ptr<std::string>> Texts;
};

// Calls the plug-in's _CHOOKMAIN with the block; false when the library or
// its entry is missing.
bool CallHook(const char* dll, TPluginBlock& block) {
  HMODULE lib = LoadLibrary((Globals->HookDir + dll).c_str());
  if (!lib) return false;
  using THookMain = kv_word (*)(kv_word*);
  auto entry = reinterpret_cast<THookMain>(GetProcAddress(lib, "_CHOOKMAIN"));
  if (entry) entry(block.Data());
  FreeLibrary(lib);
  return entry != nullptr;
}

bool ReadWhole(const std::string& path, std::string& text) {
  plat::File f = plat::create_file(path, plat::Access::read, plat::Share::read, plat::Disposition::open_existing);
  if (!f.is_open()) return false;
  text.clear();
  char piece[16384];
  for (;;) {
    int64_t n = plat::read(f, piece, sizeof piece);
    if (n < 0) return false;
    if (n == 0) return true;
    text.append(piece, static_cast<size_t>(n));
  }
}

bool WriteWhole(const std::string& path, const std::string& text) {
  plat::File f = plat::create_file(path, plat::Access::write, plat::Share::read, plat::Disposition::create_always);
  if (!f.is_open()) return false;
  bool ok = text.empty() || plat::write(f, text.data(), text.size()) == static_cast<int64_t>(text.size());
  return plat::close(f) && ok;
}

}  // namespace

// The memo is edited by the memo plug-in in its file; it comes back whole,
// whatever its length.
void TChildFrame::CmMemorandum() {
  if (!Record) return;
  std::string memo = MemoFilePath();
  bool ready;
  if (Record->MEMOSTR && *Record->MEMOSTR) {
    ready = WriteWhole(memo, Record->MEMOSTR);
  } else if (Globals->MemoTemplate.IsSet()) {
    ready = plat::copy_file(Globals->CfgDir + Globals->MemoTemplate.c_str(), memo, false);
  } else {
    ready = WriteWhole(memo, "");
  }
  std::string caption = Globals->GetMessageText(kMsgErrorCaption);
  if (!ready) {
    ::MessageBox(GetHandle(),
                 WithPath(kMsgWorkFileNotWritten, memo + "\r\n" + plat::error_text(plat::last_error())).c_str(),
                 caption.c_str(), MB_OK | MB_ICONHAND);
    return;
  }
  HMODULE editor = LoadLibrary((Globals->HookDir + "RICHEDIT.DLL").c_str());
  if (!editor) {
    TellPluginLoadFailed(this, "RICHEDIT.DLL");
    return;
  }
  FreeLibrary(editor);
  if (!(Globals->RightsMask & kRightEditMemo)) return;
  std::string text;
  if (!ReadWhole(memo, text)) {
    ::MessageBox(GetHandle(), WithPath(kMsgFileNotRead, memo + "\r\n" + plat::error_text(plat::last_error())).c_str(),
                 caption.c_str(), MB_OK | MB_ICONHAND);
    return;
  }
  // The memo field keeps a text up to its first NUL: refuse rather than cut.
  if (text.find('\0') != std::string::npos) {
    ::MessageBox(GetHandle(), Globals->GetMessageText(kMsgMemoHasNul).c_str(), caption.c_str(), MB_OK | MB_ICONHAND);
    return;
  }
  // The row is written through a table of its own, which needs the lock
  // let go; the window then takes its program again as Open does.
  std::unique_ptr<TcbFileRecord> record = std::move(Record);
  Table.reset();
  record->SetMemo(text.c_str());
  long id = record->NCID;
  int written;
  {
    TcbFileTable programs("KELVFILE.DBF", 0, 0);
    written = programs.Update(record.get());
  }
  Globals->CurrentProgramId = static_cast<int>(id);
  if (written < 1) ::MessageBox(GetHandle(), Globals->GetMessageText(kMsgMemoNotStored).c_str(), caption.c_str(), MB_OK | MB_ICONHAND);
  TakeProgram(id, false);
}

void TChildFrame::CmPictures() {
  // The plug-in finds its pictures by the directory in the block; the
  // process's current directory stays as it is.
  TPluginBlock block(Texts, Globals->PicturesDir);
  if (!CallHook("ROSVAN.DLL", block)) TellPluginLoadFailed(this, "ROSVAN.DLL");
}

void TChildFrame::CmFormattedPrint() {
  std::string printFile = Globals->TempDir + "TEMPFILE.PRN";
  TPluginBlock block(Texts, printFile);
  block.Data()[0] = static_cast<kv_word>(Client->SendMessage(LEM_GETLINECOUNT));
  if (!SaveToTemp(printFile)) return;
  if (!CallHook("BRENTIX.DLL", block)) TellPluginLoadFailed(this, "BRENTIX.DLL");
}

// Pictures, the tool lists and the setup sheets: the documentation right.
void TChildFrame::CeDocumentation(TCommandEnabler& ce) {
  ce.Enable(Record && (Globals->RightsMask & kRightDocumentation));
}

// The stored files are compared, not the window's text: unsaved changes
// take no part.
void TChildFrame::CmCompare() {
  const TProgramChooser& choose = GetProgramChooser();
  if (!Record || !choose) return;
  const long id = choose(this);
  if (id == 0) return;
  TcbFileTable programs("KELVFILE.DBF", 0, 0);
  std::unique_ptr<TcbFileRecord> other(programs.FindById(id));
  programs.made = nullptr;
  if (!other) return;
  std::string mine = Record->FilePath(), theirs = other->FilePath();
  std::string myTitle = Record->DESC, theirTitle = other->DESC;
  TCompareDialog dlg(this, mine.c_str(), theirs.c_str(), myTitle.c_str(), theirTitle.c_str());
  dlg.Execute();
}

void TChildFrame::CeCompare(TCommandEnabler& ce) { ce.Enable(static_cast<bool>(GetProgramChooser())); }

void TChildFrame::CmImportMazakVurErad() {
  if (!Globals->FileOpenDialog(this, nullptr, 0)) return;
  std::string source = Globals->StartFile.c_str();
  std::string result = Globals->TempDir + "MZIMPORT.TMP";
  std::string error;
  std::string caption = Globals->GetMessageText(kMsgErrorCaption);
  switch (vurerad::Convert(source, result, error)) {
    case TVurEradResult::Done:
      break;
    case TVurEradResult::NotVurErad:
      ::MessageBox(GetHandle(), "The select file is not a Mazak VurErad program!\r\n\r\nConversion aborted!",
                   caption.c_str(), MB_OK | MB_ICONHAND);
      return;
    case TVurEradResult::ReadFailed:
      ::MessageBox(GetHandle(), WithPath(kMsgFileNotRead, source + "\r\n" + error).c_str(), caption.c_str(),
                   MB_OK | MB_ICONHAND);
      return;
    case TVurEradResult::WriteFailed:
      ::MessageBox(GetHandle(), WithPath(kMsgWorkFileNotWritten, result + "\r\n" + error).c_str(), caption.c_str(),
                   MB_OK | MB_ICONHAND);
      return;
  }
  // The tape text has no file of its own: a later save asks for one.
  if (LoadText(result)) LoadedFile.clear();
}
