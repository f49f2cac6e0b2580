// The one settings-and-state object of the process, reached through the
// global pointer `Globals`: directories, configuration values, language
// texts, the logged-on user and the locks shared with the worker threads.
// The members that open tables (WriteLog, database creation, the path
// check that goes with it) live above the table layer, in the app library.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "appcore/heap_text.h"
#include "appcore/system_hook.h"
#include "appcore/text_table.h"
#include "platform/wintypes.h"

class TMainFrame;
class TListBox;
class TPrinter;
class TWindow;

// What the shared open/save dialogs start from; filled by the configuration.
struct TFileData {
  DWORD Flags = 0;
  std::string Filter;      // description and pattern pairs separated by "|"
  std::string InitialDir;
  std::string DefaultExt;  // a 50-byte buffer in the dialogs, empty at start
  std::string FileName;
};

// The open-file flags the dialogs use: long names, explorer style, file must
// exist, extension-different reporting, hide read-only, overwrite prompt.
constexpr DWORD kFileDialogFlags = 0x281406;

class TGlobals {
 public:
  static constexpr int kTextTableSize = 2000;
  static constexpr int kMenuTableSize = 40000;
  static constexpr int kHookSlots = 50;

  TGlobals();
  ~TGlobals();
  TGlobals(const TGlobals&) = delete;
  TGlobals& operator=(const TGlobals&) = delete;

  // The current working directory with a final "\" and then `sub`.
  static std::string MakeCfgPath(const char* sub);
  // The Windows directory, a "\" and then `sub`.
  static std::string MakeWindowsDirPath(const char* sub);

  // Directory layouts: under the working directory, or under the Windows
  // directory when the configuration file is not found there (LocalDir and
  // TemplateLocalDir keep their primary values).
  void BuildPrimaryLayout();
  void BuildFallbackLayout();

  // Reads KELVA31.CFG and everything that hangs on it: directory layout,
  // settings, dialog data, language files, syntax values, captions. The
  // creation of missing tables, which ends the reading, belongs to the
  // caller above the table layer, and only after ConfigRead::Read.
  enum class ConfigRead { Fatal, Missing, Read };
  ConfigRead ReadConfig();
  // Applies one line of KELVA31.CFG. Returns 0 when the line is fatal.
  int ApplyConfigLine(const char* line);
  // Hands the FILEMASK text and the import directory to the dialog data.
  void SetupFileData();

  // Language files (selector 0: .CFG, 1: .USR). 1 when read, 0 when the
  // file did not open (the table is unchanged).
  int LoadMessages(int languageNo, int selector);
  int LoadDialogTexts(int languageNo, int selector);
  int LoadLogTexts(int languageNo, int selector);
  int LoadPrintTexts(int languageNo, int selector);
  int LoadMenuHints(int languageNo, int selector);
  int LoadMenuTexts(int languageNo, int selector);
  void ClearLanguageTables();
  void LoadAllLanguageFiles();

  // The MESSAGES text of an id, or the fallback text naming the id.
  std::string GetMessageText(int id) const;

  void LoadSyntax();

  // The station's port map, COMPORTS.CFG in the configuration directory:
  // which device each COM port is ("COM3=/dev/serial/by-id/..."); a port
  // it does not name is /dev/ttyS<n-1>. Read with the configuration; the
  // lines it could not use are kept for the DNC log.
  void LoadComPortMap();
  std::vector<std::string> ComPortMapProblems;

  // The TEXT of a system log entry of this type with these caller values
  // (texts; those the type does not take are ignored), or nothing when the
  // type writes no entry. The writer above the table layer stores it.
  std::optional<std::string> FormatLogText(int type, const char* value1 = nullptr, const char* value2 = nullptr,
                                           const char* value3 = nullptr, const char* value4 = nullptr) const;

  // Writes one system log entry of the type (defined above the table layer,
  // in the app library). Values the type does not take are ignored.
  void WriteLog(int type, const char* value1 = nullptr, const char* value2 = nullptr,
                const char* value3 = nullptr, const char* value4 = nullptr, const char* value5 = nullptr);
  // Creates the station's own tables when missing, and every table of the
  // current database with the layout upgrades (app library); both 1.
  int CreateDatabaseFiles();
  int RebuildDatabase();

  // Checks that the directories of the layout exist (the DNC ones only on
  // a DNC station); 0 with the first missing one in StartFile (app library).
  int CheckDirectories();
  // The first idle call runs it between the path check and the rebuild.
  int CheckDatabaseFiles() { return 1; }

  // The shared open and save dialogs over FileData, starting in dir (or in
  // LastDir). On OK: StartFile holds the chosen file, LastDir (and dir when
  // keepDir is set; it holds kDirBufferSize bytes) the directory the dialog
  // ended in; 1. Cancel changes nothing and gives 0.
  static constexpr int kDirBufferSize = 261;
  int FileOpenDialog(TWindow* parent, char* dir, int keepDir);
  int FileSaveDialog(TWindow* parent, char* dir, int keepDir);

  // C-Hooks: no configuration is read for them.
  int ReadHookConfig() { return 1; }

  // Window links.
  TMainFrame* MainFrame = nullptr;
  HWND MainWnd = nullptr;

  // Settings.
  int DisplayFlags = 0;
  int NotifyInterval = 10;
  int KeepTextSearch = 0;
  int DefaultSearch = 2;
  int AlwaysDoLog = 0;
  int NetLogon = 0;
  int AutoNotifyDnc = 0;
  int AutoImportEdit = 0;
  int AutoImportDnc = 0;
  int EnableMassImport = 0;
  int DebugMode = 0;
  int StartFileGiven = 0;
  int DncStationMode = 0;
  int NetLogonMode = 0;
  int StartupDone = 0;
  int AutoTramox = 0;
  int CloseCycleWindowOnInsert = 1;
  int RunDncNotification = 0;
  std::array<int32_t, 5> OfdColumn{1, 2, 3, 4, 5};
  std::array<int32_t, 5> OfdWidth{20, 40, 25, 25, 50};
  HeapText DncServerName;
  HeapText CheckPath;
  HeapText LogoBitmap;
  HeapText ProgramPath;
  HeapText SyntaxDef;
  HeapText DefUser;
  HeapText DefPassword;
  HeapText MemoTemplate;
  std::string LastDir;
  int SearchMode = 1;
  // The last text of each text search (program id, part number, drawing
  // number, description), offered again when KeepTextSearch is set.
  HeapText SearchTexts[4];
  uint32_t RightsMask = 0;
  HeapText UserFirstName;
  HeapText UserLastName;
  // The logon replaces the names on the UI thread while transfer threads
  // write log entries with them: both sides go through UserNameLock.
  void SetUserName(const char* first, const char* last);
  void GetUserName(std::string& first, std::string& last) const;
  std::vector<std::string> SyntaxValues;
  int SyntaxValueCount = 0;
  int LanguageNo = 44;
  int ReadBlockSize = 1024;
  int DncBlockSize = 1024;
  int Lsv2BlockSize = 40000;
  int Lsv2ResProgNo = 100000;
  int LogoutAfter = 120000;
  // Stored in every system log entry; nothing changes it.
  int32_t LogStatus = 0;

  TFileData FileData;
  std::string FileMask;  // FILEMASK lines joined

  // Directories; each ends with "\".
  std::string LocalDir;
  std::string DatabaseDir;
  std::string Db31Dir;
  std::string BaseDir;
  std::string HookDir;
  std::string AlternateDir;
  std::string TemplateDir;
  std::string TemplateLocalDir;
  std::string PicturesDir;
  std::string VideoDir;
  std::string ImportDir;
  std::string ExportDir;
  std::string BackupDir;
  std::string TempDir;
  std::string CfgDir;
  std::string DncFailDir;
  std::string DncTempDir;
  std::string Ge3Dir;
  std::string DxfDir;
  std::string BackupGe3Dir;
  std::string BackupDxfDir;
  std::string ScriptsDir;

  // Run-time texts and state.
  HeapText StartFile;
  HeapText CaptionText;
  HeapText CaptionText2;
  HeapText ErrorCaptionText;
  TextTable MessageTexts{kTextTableSize};
  TextTable DialogTexts{kTextTableSize};
  TextTable LogTexts{kTextTableSize};
  TextTable PrintTexts{kTextTableSize};
  std::unique_ptr<TextTable> MenuHints;
  std::unique_ptr<TextTable> MenuTexts;
  std::string ComputerName;  // at most 15 characters
  // The printer the print commands share, made on first use (with the
  // window model, in appcore_ui) so that code without windows links none.
  TPrinter& GetPrinter();
  mutable std::mutex UserNameLock;
  std::recursive_mutex ImportLock;
  std::recursive_mutex WatchLock;
  int FrameHookCount = 0;
  int EditorHookCount = 0;
  std::vector<std::unique_ptr<TSystemHook>> FrameHooks;
  std::vector<std::unique_ptr<TSystemHook>> EditorHooks;
  // The id a selection dialog hands back before it closes with OK.
  int32_t SelectedId = 0;
  int CurrentProgramId = 0;
  int NewProgramId = 0;
  HeapText CurrentProgramDesc;
  int EditMachineId = 0;
  int CurrentMachineId = 0;
  // The machine and the project the pick dialogs chose last; they keep the
  // last choice until the next one.
  int32_t ChosenMachineId = 0;
  int32_t ChosenMachineType = 0;
  HeapText ChosenMachineDir;
  HeapText ChosenMachineName;
  int32_t ChosenCustomerId = 0;
  int32_t ChosenProjectId = 0;
  HeapText ChosenProjectName;
  HeapText CycleText;
  HeapText DncTransferFile;
  int UserId = 0;
  int SuperUserLogon = 0;
  TListBox* LoaderListBox = nullptr;

 private:
  void BuildLayout(const std::string& root, bool fallback);
  int RunFileDialog(bool save, TWindow* parent, char* dir, int keepDir);
  std::shared_ptr<TPrinter> Printer;  // shared_ptr: destroyed here without the window model
};

// The number of values that SYNTAX.CFG in the directory gives; 0 when it
// cannot be opened.
int ReadSyntaxSections(const std::string& cfgDir);

// The one global state object; set by the start-up before any table exists.
extern TGlobals* Globals;
