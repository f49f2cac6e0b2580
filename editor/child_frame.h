// An editor window: an MDI child frame that holds one NC program text in
// one edit control, with the editor's menus, three tool bars and a status
// bar. A window either edits a database program, whose row of the program
// index it keeps record-locked for as long as it holds the program, so no
// other window or station opens it for editing; or a text without a
// program (new, imported or loaded from a stored version).
#pragma once

#include <memory>
#include <string>

#include "dbmodel/filetable.h"
#include "editor/ledit.h"
#include "editor/nc_commands.h"
#include "storage/program_lock.h"
#include "platform/ui/combobox.h"
#include "platform/ui/frame_decorated.h"
#include "platform/ui/gadget.h"

// The edit control of an editor window: token colours, the font kept in
// KELVFONT.CFG, and a status refresh posted to the frame on every change.
class TClient : public TLEdit {
 public:
  TClient();

  void SetupWindow() override;
  void EvTextChanged() override;
  int GetTokenColor(const char* token, COLORREF& back, COLORREF& text) override;

  // Writes the font shown now to KELVFONT.CFG; false when it could not be
  // written (the old file is kept) or there is no font to write.
  bool SaveFont();
  // Loads KELVFONT.CFG; false (default font kept) when missing or short.
  bool LoadFont();

  // The colour of a token record (class, value, text) as painting asks it.
  static COLORREF TokenColor(uint16_t tokenClass, uint32_t value, const char* text);
};

// Texts of the current program for the pictures and print plug-ins.
struct TPluginTexts {
  long Long1 = 0;
  std::string Desc, Char3, Part, Draw, Customer, Project, Machine;
};

class TChildFrame : public TDecoratedFrame {
 public:
  // The slot of the main frame that holds this window (cleared when it
  // closes); programId 0 for a text without program.
  TChildFrame(TWindow* parent, TChildFrame** slot, long programId, int frameNumber);
  ~TChildFrame() override;

  void SetupWindow() override;
  bool CanClose() override;
  void EvSize(UINT sizeType, const TSize& size) override;

  // ---- commands
  void EvUpdateStatus();
  void EvLoadNamedFile();
  void EvReloadProgram();
  void CmNew();
  void CmOpen();
  void CmSave();
  void CmSaveAs();
  void CmImport();
  void CmExport();
  void CmAppendFile();
  void CmInsertFile();
  void CmClose();
  void CmAddToLog();
  void CmReviewLog();
  void CmDncSend();
  void CmEditCommand1031();
  void CmAbout();
  void CmInsertLineNumbers();
  void CmRemoveLineNumbers();
  void CmInsertSpaces();
  void CmRemoveSpaces();
  void CmAxisValues();
  void CmInsertCycle();
  void CmInsertBlock();
  void CmSaveAsMacro();
  void CmInsertMacro();
  void CmAssociations();
  void CmSetupSheets();
  void CmCompare();
  void CmMemorandum();
  void CmPictures();
  void CmFormattedPrint();
  void CmImportMazakVurErad();
  void CmNothing() {}

  // ---- enablers
  void CeSave(TCommandEnabler& ce);
  void CeOpen(TCommandEnabler& ce);
  void CeImport(TCommandEnabler& ce);
  void CeExport(TCommandEnabler& ce);
  void CeProgramPresent(TCommandEnabler& ce);
  void CeDncSend(TCommandEnabler& ce);
  void CeEditCommand1031(TCommandEnabler& ce);
  void CeSaveAsMacro(TCommandEnabler& ce);
  void CeCompare(TCommandEnabler& ce);
  void CeDocumentation(TCommandEnabler& ce);
  void CeAlways(TCommandEnabler& ce) { ce.Enable(true); }
  void CeNever(TCommandEnabler& ce) { ce.Enable(false); }

  // Saves the text into the window's program (Save As for a text without
  // one); false when nothing was saved (cancelled or failed, the user
  // told), and the text stays modified.
  bool Save();

  // The file that command 29000 is to load into this window; the main
  // frame names it when it builds the window.
  void SetRequestedFile(const char* path) { RequestedFile = path ? path : ""; }
  // Where a new window goes: the stored editor placement, cascaded from
  // the windows already there and kept inside the main window's client.
  TRect StoredPlace() const;

  TClient* Edit() const { return Client; }
  const TcbFileRecord* Program() const { return Record.get(); }
  long MachineId() const { return MachId; }
  int FrameNumber() const { return FrameNo; }
  const std::string& FileName() const { return LoadedFile; }
  bool IsModified();
  const TPluginTexts& PluginTexts() const { return Texts; }
  TComboBox* CycleBox() const { return CycleCombo; }
  TComboBox* MacroBox() const { return MacroCombo; }
  TTextGadget* LineGadget() const { return LineText; }
  TTextGadget* PositionGadget() const { return PosText.get(); }

  // "<TempDir><stem><frame number>.<ext>": each window's own scratch file.
  std::string TempPath(const char* stem, const char* ext) const;
  // The program's file: DIR NAME.EXT of its row.
  std::string ProgramPath() const;

 protected:
  DECLARE_RESPONSE_TABLE(TChildFrame);

 private:
  TChildFrame(TWindow* parent, TChildFrame** slot, long programId, int frameNumber, TClient* client);
  void BuildMenus();
  void BuildStatusBar();
  void BuildToolBars();
  // Makes the program of this id the window's: its row locked in a table
  // of its own, then the old program let go. False (the user told, the
  // old program kept) when the row is missing or taken elsewhere.
  bool TakeProgram(long id, bool loadText);
  void ReleaseProgram();
  void ShowProgram();
  void FillCombos();
  bool LoadText(const std::string& path);
  // Runs the version-log entry dialog for the program; its row stays locked.
  int RunAddToLog();
  void SetModified(bool on);
  void BeginWork();
  void EndWork();
  // Choosing the second text of an append or insert: a program of the
  // database or a file; false when cancelled.
  bool ChooseSecondText(std::string& path);
  bool SaveToTemp(const std::string& path);
  // One of the text rewrites through the window's scratch files.
  void RunTransform(NcTransform transform);

  TClient* Client;
  std::unique_ptr<TProgramLockTable> Table;
  std::unique_ptr<TcbFileRecord> Record;
  TChildFrame** Slot;
  long OpenId;
  long MachId;
  int FrameNo;
  std::string LoadedFile;
  std::string RequestedFile;
  bool SuppressLogPrompt = false;
  TPluginTexts Texts;
  TComboBox* CycleCombo = nullptr;
  TComboBox* MacroCombo = nullptr;
  TTextGadget* LineText = nullptr;
  std::unique_ptr<TTextGadget> PosText;
};

// Registers the main frame's commands that open editor windows.
void RegisterEditorCommands();
// Command 29000 of the main frame: a window for the program in
// CurrentProgramId, or else for the file named in StartFile.
void OpenNamedRequest(TFrameWindow& mainFrame);

// The machine chooser of the master data: runs modally over the parent and
// answers IDOK with the chosen machine in *machineId. Until it is set, New
// and Import have no handler.
using TMachineChooser = int (*)(TWindow* parent, int* machineId);
void SetMachineChooser(TMachineChooser chooser);
