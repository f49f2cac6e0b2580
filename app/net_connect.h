// Our stand-ins for the system's connection dialogs that the main frame's
// Extras menu opens. A network folder ("\\SERVER\SHARE") goes onto a drive
// letter through the drive table, as a database profile's drive does; a
// printer the system's print service knows becomes the one this station
// prints to, for the rest of its run (an empty name: PDF files only).
#pragma once

#include <string>

#include "platform/ui/combobox.h"
#include "platform/ui/dialog.h"
#include "platform/ui/edit.h"
#include "platform/ui/listbox.h"
#include "platform/ui/static.h"
#include "resources/dialogs/netconnect.h"

class TConnectDriveDialog : public TDialog {
 public:
  explicit TConnectDriveDialog(TWindow* parent);
  void SetupWindow() override;
  // Connects the folder to the letter; a refusal is told and the dialog
  // stays open.
  void CmOk() override;
  // The folder a chosen letter is connected to now.
  void EvLetterChange();

 private:
  std::string SelectedDrive() const;  // "X:"
  void FillLetters(const std::string& select);

  TComboBox* Letters;
  TComboBox* Folders;
  DECLARE_RESPONSE_TABLE(TConnectDriveDialog);
};

class TConnectPrinterDialog : public TDialog {
 public:
  explicit TConnectPrinterDialog(TWindow* parent);
  void SetupWindow() override;
  // Makes the named printer the station's; one the print service does not
  // know is told and the dialog stays open.
  void CmOk() override;
  void EvPrinterChange();

 private:
  TListBox* Printers;
  TEdit* Name;
  TStatic* Now;
  TStatic* Note;
  bool Known = false;  // the print service said which printers there are
  DECLARE_RESPONSE_TABLE(TConnectPrinterDialog);
};
