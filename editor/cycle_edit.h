// The machine cycles of one machine type: choose a cycle, define each of
// its 15 parameters (address, hint, decimals, automatic value and the flag
// check boxes), create and delete cycles, try one out in the fill-in
// dialog, and copy single cycles to and from the floppy disk.
#pragma once

#include <array>
#include <memory>

#include "app/lang_dlg.h"
#include "dbmodel/cycle.h"
#include "platform/ui/button.h"
#include "platform/ui/combobox.h"
#include "platform/ui/edit.h"
#include "platform/ui/listbox.h"
#include "resources/dialogs/nctools.h"

class TEditCycles : public TLangDlg {
 public:
  static constexpr int kResourceId = IDD_CYCLES;

  TEditCycles(TWindow* parent, long machineType);
  ~TEditCycles() override;

  void SetupWindow() override;
  void CmModifyParam();
  void CmDeleteCycle();
  void CmClearParam();
  void CmTestCycle();
  void CmNewCycle();
  void CmImportCycles();
  void CmExportCycles();
  void CmFlagBit(UINT id);
  void EvCycleSelChange();
  void EvParamSelChange();

  TComboBox* CycleBox;
  TListBox* ParamList;
  TEdit* NameEdit;
  TEdit* CodeEdit;
  TEdit* HintEdit;
  TEdit* AutoEdit;
  TEdit* DeciEdit;
  std::array<TCheckBox*, 8> FlagBoxes{};
  long MachineType;
  std::unique_ptr<TcbParamRecord> Param;
  int ParamIndex = -1;

 private:
  void RefillCycles();
  long SelectedCycleId() const;
  // Tells the user and puts the focus on the edit; false.
  bool Refuse(TEdit* edit, int messageId);

  DECLARE_RESPONSE_TABLE(TEditCycles);
};

// Picks one cycle of the floppy's cycle file and copies it, with its
// parameters, into the database under the machine type.
class TCycleImport : public TLangDlg {
 public:
  static constexpr int kResourceId = IDD_CYCLE_IMPORT;
  TCycleImport(TWindow* parent, long machineType);
  void SetupWindow() override;
  void CopyCyclesFromFloppy();

  TListBox* FloppyList;
  long MachineType;

  DECLARE_RESPONSE_TABLE(TCycleImport);
};

// Copies one cycle, with its parameters, under a new name to the floppy.
class TCycleExport : public TLangDlg {
 public:
  static constexpr int kResourceId = IDD_CYCLE_EXPORT;
  // The record stays the caller's.
  TCycleExport(TWindow* parent, const TcbCycleRecord* cycle);
  void SetupWindow() override;
  void CopyCyclesToFloppy();

  TEdit* NameEdit;
  TListBox* FloppyList;
  const TcbCycleRecord* Cycle;

  DECLARE_RESPONSE_TABLE(TCycleExport);
};

// The cycles editor for the machine type of a machine; nothing happens
// when the machine is not found.
void RunMachineCycles(TWindow* parent, long machineId);

// The floppy's cycle files.
extern const char* const kFloppyCycles;
extern const char* const kFloppyParams;
