// The choice of the database profile: the user picks the profile to work
// with; the administrators of the profiles also add, change and delete them
// and mark the one taken automatically. Connecting a profile makes its
// directories the working directories and attaches its network drive or
// runs its network commands.
#pragma once

#include <memory>
#include <string>

#include "app/lang_dlg.h"
#include "app/users_lines.h"
#include "platform/ui/button.h"
#include "platform/ui/dc.h"
#include "platform/ui/edit.h"
#include "platform/ui/gdi_object.h"

class TcbDataRecord;

// The nine working directories a profile sets, each ending in "\".
struct TProfileDirs {
  std::string Local, Database, Backup, DncTemp, DncFail, Pictures, Video, Import, Export;
};

// The directories a profile gives, as the connection sets them.
TProfileDirs ProfileDirectories(const TcbDataRecord& profile);
// Replaces the working directories of the global state (and LastDir) under
// the locks the worker threads take around their table accesses.
void SetWorkingDirectories(const TProfileDirs& dirs);
TProfileDirs CurrentWorkingDirectories();

class TSelectDb : public TLangDlg {
 public:
  explicit TSelectDb(TWindow* parent);
  ~TSelectDb() override;

  void SetupWindow() override;
  void ConnectProfile();
  void FillFields();
  void CmAddProfile();
  void CmModifyProfile();
  void CmDeleteProfile();
  void CmNewProfile();
  void CmCancelNew();
  void CmSetAutoProfile();
  void CmOption117();
  void CmOption118();
  void SetSlotText(UINT buttonId);
  // Cancel leaves without connecting.
  void CmCancel() override;
  // The colours of a control: sets them in dc and gives the brush of its
  // background.
  HBRUSH EvCtlColor(HDC dc, HWND control, UINT ctlType);

  TEdit* NameEdit;
  TEdit* DatabaseEdit;
  TEdit* BackupEdit;
  TEdit* PicturesEdit;
  TEdit* VideoEdit;
  TEdit* ImportEdit;
  TEdit* ExportEdit;
  TEdit* DncFailEdit;
  TEdit* DncTempEdit;
  TEdit* ServerEdit;
  TEdit* ShareEdit;
  TEdit* DriveEdit;
  TListBox* ProfileList;
  TCheckBox* DefaultCheck;
  TRadioButton* NetWareRadio;
  TRadioButton* LanManagerRadio;
  std::unique_ptr<TBrush> ListBrush;
  long SelectedId = 0;

 private:
  void FillList();
  void SetShown(std::initializer_list<int> ids, bool shown);
  // Writes the fields as a new profile (add) or into the selected one.
  void StoreProfile(bool add);
  // The network step of a connection; false when the user gave up.
  bool ConnectNetwork(const TcbDataRecord& profile);
  bool ConnectDrive(const TcbDataRecord& profile);
  void RunNetworkCommand(const char* commandLine);

  DECLARE_RESPONSE_TABLE(TSelectDb);
};
