// Reading KELVA31.CFG at start-up and loading what depends on it.
#include "appcore/globals.h"
#include "appcore/message_ids.h"
#include "appcore/myfile.h"
#include "platform/file.h"

void TGlobals::SetupFileData() {
  FileData.Flags = kFileDialogFlags;
  FileData.Filter = FileMask;
  FileData.InitialDir = ImportDir;
  FileData.DefaultExt.clear();
  FileData.FileName.clear();
  LastDir = ImportDir;
}

TGlobals::ConfigRead TGlobals::ReadConfig() {
  BuildPrimaryLayout();
  // Without the file in the working directory the whole layout moves under
  // the Windows directory, and the file is looked for there only.
  if (!plat::file_exists(CfgDir + "KELVA31.CFG")) BuildFallbackLayout();

  TMyFile f((CfgDir + "KELVA31.CFG").c_str());
  if (!f.Open(1)) return ConfigRead::Missing;
  while (auto line = f.ReadLine(0)) {
    if (!ApplyConfigLine(line.get())) return ConfigRead::Fatal;
  }
  f.Close();

  SetupFileData();
  ClearLanguageTables();
  LoadAllLanguageFiles();
  LoadSyntax();
  CaptionText.Set(GetMessageText(kMsgProgramCaption));
  CaptionText2.Set(GetMessageText(kMsgLogonCaption));
  ErrorCaptionText.Set(GetMessageText(kMsgErrorCaption));
  return ConfigRead::Read;
}
