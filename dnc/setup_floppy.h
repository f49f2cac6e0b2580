// Port setups on a floppy disk: A:\KELVMD32.DBF is a port table whose
// rows are saved setups, each named by its field 62. Export appends a
// copy of the shown port's row under a new name; import reads one row
// back for the port dialog to apply.
#pragma once

#include <memory>

#include "dbmodel/dncport.h"
#include "platform/ui/dialog.h"
#include "platform/ui/edit.h"
#include "platform/ui/listbox.h"

extern const char* const kFloppySetupFile;  // "A:\KELVMD32.DBF"

// Asks for the disk and makes sure the setup file is there, creating an
// empty one with the port table's layout when it is missing. False when
// the user cancelled or the file could not be made (told).
bool PrepareSetupDisk(TWindow* owner);

// Template 306.
class TSaveDncSetup : public TDialog {
 public:
  TSaveDncSetup(TWindow* parent, const TMultiDncRecord* record);

  void SetupWindow() override;
  void CmOk() override;

  const TMultiDncRecord* Record;
  TEdit* NameEdit;
  TListBox* SetupList;
};

// Template 307.
class TLoadDncSetup : public TDialog {
 public:
  explicit TLoadDncSetup(TWindow* parent);

  void SetupWindow() override;
  void CmOk() override;
  void EvListDblClk() { CmOk(); }

  // The row read from the disk after OK.
  std::unique_ptr<TMultiDncRecord> Loaded;
  TListBox* SetupList;

  DECLARE_RESPONSE_TABLE(TLoadDncSetup);
};
