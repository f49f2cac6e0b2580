// Connecting a profile. The network step runs first and the directories
// change only once it succeeded, so a refused or cancelled connection leaves
// the station on the database it had. The directories change under the
// locks the import and watcher threads hold around their table accesses,
// since they build their paths from the same texts.
#include <mutex>

#include "app/netlogon.h"
#include "app/profile_dialog.h"
#include "app/profile_net.h"
#include "appcore/globals.h"
#include "appcore/message_ids.h"
#include "dbmodel/profile.h"
#include "platform/process.h"

namespace {

const char* kProfiles = "KELVDATA.DBF";

std::string Dir(std::string s) {
  if (!s.empty() && s.back() != '\\') s += '\\';
  return s;
}

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

}  // namespace

TProfileDirs ProfileDirectories(const TcbDataRecord& p) {
  TProfileDirs d;
  std::string prefix;
  bool server = p.SERVER[0] != 0;
  // Profiles of the older layout kept their directories relative to the
  // program's base directory.
  if (p.LOCAL != 0 && !server && p.VERSION < 351) {
    prefix = Globals->BaseDir;
    if (!prefix.empty() && prefix.back() == '\\') prefix.pop_back();
  }
  d.Database = Dir(prefix + p.DBDIR);
  d.Backup = Dir(prefix + p.BACKUPDIR);
  d.DncTemp = Dir(prefix + p.DNCTEMPDIR);
  d.DncFail = Dir(prefix + p.DNCFAILDIR);
  d.Pictures = Dir(prefix + p.PICTURESDIR);
  d.Video = Dir(prefix + p.VIDEODIR);
  d.Import = Dir(prefix + p.IMPORTDIR);
  d.Export = Dir(prefix + p.EXPORTDIR);
  if (p.LOCAL == 0)
    d.Local = d.Database;
  else
    d.Local = Globals->NetLogon ? d.Database : Dir(Globals->AlternateDir);
  return d;
}

void SetWorkingDirectories(const TProfileDirs& d) {
  std::scoped_lock lock(Globals->ImportLock, Globals->WatchLock);
  Globals->LocalDir = d.Local;
  Globals->DatabaseDir = d.Database;
  Globals->BackupDir = d.Backup;
  Globals->DncTempDir = d.DncTemp;
  Globals->DncFailDir = d.DncFail;
  Globals->PicturesDir = d.Pictures;
  Globals->VideoDir = d.Video;
  Globals->ImportDir = d.Import;
  Globals->ExportDir = d.Export;
  Globals->LastDir = d.Import;
}

TProfileDirs CurrentWorkingDirectories() {
  std::scoped_lock lock(Globals->ImportLock, Globals->WatchLock);
  TProfileDirs d;
  d.Local = Globals->LocalDir;
  d.Database = Globals->DatabaseDir;
  d.Backup = Globals->BackupDir;
  d.DncTemp = Globals->DncTempDir;
  d.DncFail = Globals->DncFailDir;
  d.Pictures = Globals->PicturesDir;
  d.Video = Globals->VideoDir;
  d.Import = Globals->ImportDir;
  d.Export = Globals->ExportDir;
  return d;
}

void TSelectDb::ConnectProfile() {
  if (SelectedId == 0) return;
  TcbDataRecord* profile;
  {
    TcbDataTable t(kProfiles, 1, 0);
    profile = t.ReadById(SelectedId);
  }
  if (!profile) return;
  bool network = profile->LOCAL == 0 || profile->SERVER[0] != 0;
  if (network && !ConnectNetwork(*profile)) {
    delete profile;
    return;
  }
  SetWorkingDirectories(ProfileDirectories(*profile));
  delete profile;
  CloseWindow(IDOK);
}

bool TSelectDb::ConnectNetwork(const TcbDataRecord& p) {
  if (!p.NETWARE) return ConnectDrive(p);
  RunNetworkCommand(p.SHARE);
  RunNetworkCommand(p.SERVER);
  return true;
}

bool TSelectDb::ConnectDrive(const TcbDataRecord& p) {
  std::string drive = p.DRIVE;
  if (!drive.empty() && drive.back() == ':') drive.pop_back();
  if (!p.SERVER[0] || !p.SHARE[0] || drive.empty()) return true;
  std::string local = drive + ":";
  std::string remote = std::string("\\\\") + p.SERVER + "\\" + p.SHARE;
  std::string previous;
  if (NetGetConnection(local, previous) == kNetOk) {
    if (Upper(previous) == Upper(remote)) return true;
    NetCancelConnection(local);
  }
  char user[TGetNetLogin::kBufferSize] = {};
  char password[TGetNetLogin::kBufferSize] = {};
  bool credentials = false;
  for (;;) {
    int rc = NetAddConnection(local, remote, credentials ? user : nullptr, credentials ? password : nullptr);
    if (rc == kNetOk || rc == kNetAlreadyAssigned) return true;
    std::string text = "Access denied to : " + remote + " !";
    MessageBox(text.c_str(), "Network error...", MB_OK);
    TGetNetLogin logon(this, user, password);
    if (logon.Execute() != IDOK) break;
    credentials = true;
  }
  // Given up: the drive goes back to the share it had.
  if (!previous.empty()) NetAddConnection(local, previous, nullptr, nullptr);
  return false;
}

void TSelectDb::RunNetworkCommand(const char* commandLine) {
  if (!commandLine || !*commandLine) return;
  plat::ProcessStart started = plat::start_process(commandLine);
  if (started.started) return;
  std::string text = Globals->GetMessageText(kMsgCommandNotStarted) + "\r\n\r\n" + commandLine + "\r\n" + started.error;
  MessageBox(text.c_str(), Globals->ErrorCaptionText.c_str(), MB_OK | MB_ICONSTOP);
}
