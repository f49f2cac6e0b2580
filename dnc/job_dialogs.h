// The job dialogs: job maintenance (a machine's jobs and the programs in
// each, the job's note, and in send mode the choice of the job to send),
// creating, changing and deleting jobs, and the editor of job files.
//
// A job file is lines of text separated by CR LF, with no line end after
// the last one. A line beginning with "#" stands for the whole content of
// the file whose path follows it; a line beginning with ";" is a comment
// and is not sent; every other line is sent as it stands.
#pragma once

#include <array>
#include <string>

#include "app/lang_dlg.h"
#include "platform/ui/button.h"
#include "platform/ui/combobox.h"
#include "platform/ui/dc.h"
#include "platform/ui/edit.h"
#include "platform/ui/gdi_object.h"
#include "platform/ui/listbox.h"
#include "platform/ui/static.h"

// Job maintenance. Opened with the font its opener made (owned by the
// opener) and send mode on from the DNC control window: then "Send..."
// closes it with IDOK and the chosen job's id in Globals->SelectedId.
class TJobMaintainDlg : public TLangDlg {
 public:
  TJobMaintainDlg(TWindow* parent, TFont* font, int sendMode);

  void SetupWindow() override;
  void EvMachineSelected();
  void EvJobSelected();
  void EvProgramSelected();
  void EvJobProgramSelected();
  void CmCreateJob();
  void CmAddProgram();
  void CmRemoveProgram();
  void CmDeleteJob();
  void CmSend();
  void EvNoteKillFocus();
  void CmSortByDesc() { RefillPrograms(0); }
  void CmSortByPart() { RefillPrograms(1); }
  void CmSortByChar3() { RefillPrograms(2); }
  void CmSortByDraw() { RefillPrograms(3); }
  // Yellow on black for the detail texts, dark blue and dark red on light
  // grey for the group titles and labels.
  HBRUSH EvCtlColor(TDC& dc, HWND control, UINT ctlType);

  TListBox* MachineList;
  TComboBox* JobCombo;
  TListBox* ProgramList;
  TListBox* JobProgramList;
  TEdit* NoteEdit;
  std::array<TRadioButton*, 4> SortButtons{};
  TFont* Font;
  long MachineId = 0;
  long ProgramId = 0;
  long ProgramNumber = 0;
  long JobId = 0;
  int JobControlsHidden = 0;
  int SendMode;

 private:
  void ShowJobControls(bool show);
  void RefillPrograms(int order);
  int CheckedOrder() const;
  // Shows the program of a list line in four statics from firstStatic on;
  // "?" in all of them when there is none.
  void ShowProgram(long programId, int firstStatic);

  TBrush LightGrey{RGB(192, 192, 192)};

  DECLARE_RESPONSE_TABLE(TJobMaintainDlg);
};

// Appends, changes and deletes the jobs of a machine.
class TCreateJobDlg : public TLangDlg {
 public:
  explicit TCreateJobDlg(TWindow* parent);

  void SetupWindow() override;
  void EvMachineSelected();
  void EvJobSelected();
  void CmAppend();
  void CmModify();
  void CmDelete();

  TComboBox* MachineCombo;
  TComboBox* JobCombo;
  TEdit* NameEdit;
  TEdit* RequestEdit;
  TEdit* NoteEdit;
  long MachineId = 0;
  long JobId = 0;

 private:
  // Name and request id, trimmed; false (after a beep, with the focus on
  // the field) when one is empty or the request id cannot be searched for.
  bool ReadFields(std::string& name, std::string& request);

  DECLARE_RESPONSE_TABLE(TCreateJobDlg);
};

// The job-file editor, over the file of that name or, without one, over a
// new file whose name "Save it..." asks for.
class TMakeJobFileDlg : public TLangDlg {
 public:
  TMakeJobFileDlg(TWindow* parent, const char* fileName);

  void SetupWindow() override;
  void EvLineSelected();
  void CmReplaceLine();
  void CmInsertText();
  void CmRemoveLine();
  void CmSave();
  void CmAddFile();

  TEdit* LineEdit;
  TListBox* LineList;
  TEdit* TextEdit;
  std::string FileName;  // empty for a new file

 private:
  void ReadFile();
  // Index after the selected line, 0 when none is selected.
  int InsertPoint() const;

  DECLARE_RESPONSE_TABLE(TMakeJobFileDlg);
};
