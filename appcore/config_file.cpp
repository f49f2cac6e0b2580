// Reading KELVA31.CFG at start-up and loading what depends on it.
#include "appcore/globals.h"
#include "appcore/message_ids.h"
#include "appcore/myfile.h"
#include "platform/file.h"
#include "platform/serial.h"

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
  LoadComPortMap();
  ClearLanguageTables();
  LoadAllLanguageFiles();
  LoadSyntax();
  CaptionText.Set(GetMessageText(kMsgProgramCaption));
  CaptionText2.Set(GetMessageText(kMsgLogonCaption));
  ErrorCaptionText.Set(GetMessageText(kMsgErrorCaption));
  return ConfigRead::Read;
}

void TGlobals::LoadComPortMap() {
  ComPortMapProblems.clear();
  const std::string path = CfgDir + "COMPORTS.CFG";
  plat::File f = plat::create_file(path, plat::Access::read, plat::Share::read_write, plat::Disposition::open_existing);
  if (!f.is_open()) return;  // no map: every port is its /dev/ttyS device
  std::string text;
  char buf[4096];
  for (int64_t n; (n = plat::read(f, buf, sizeof buf)) > 0;) text.append(buf, static_cast<std::size_t>(n));
  plat::close(f);
  for (const std::string& problem : plat::map_comm_ports(text)) ComPortMapProblems.push_back("COMPORTS.CFG " + problem);
}
