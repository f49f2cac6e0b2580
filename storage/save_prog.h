// Filing an edited text as a program of the database ("Save As..."): the
// user types the Program-ID and three more texts and may attach a
// customer and one of its projects. OK either hands back the program of
// the same Program-ID on the same machine (after asking) or files a new
// one: a new program id, a program-index row whose file is "P<id>.NC" in
// the machine's directory, and a system log entry. The dialog writes no
// text: the caller saves into the program whose id it leaves in
// CurrentProgramId (its Program-ID in CurrentProgramDesc).
//
// The machine is the editor window's, EditMachineId, set by the caller.
#pragma once

#include "app/lang_dlg.h"
#include "platform/ui/button.h"
#include "platform/ui/combobox.h"
#include "platform/ui/edit.h"

class TcbFileRecord;

class TSaveProg : public TLangDlg {
 public:
  explicit TSaveProg(TWindow* parent);

  void SetupWindow() override;
  void CmOk() override;
  void EvCustomerCheck();
  void EvProjectCheck();
  void EvCustomerChange();
  void EvProjectChange();

  TComboBox* CustomerCombo;
  TComboBox* ProjectCombo;
  TEdit* ProgramIdEdit;
  TEdit* PartEdit;
  TEdit* DrawingEdit;
  TEdit* DescriptionEdit;
  TCheckBox* CustomerCheck;
  TCheckBox* ProjectCheck;
  long CustomerId = 0;
  long ProjectId = 0;

 private:
  // The customer and project the new row gets: only those the user shows.
  long ChosenCustomer() const;
  long ChosenProject() const;
  // The whole filing under the program index's filing lock; true when the
  // dialog may close with IDOK.
  bool File(const char* programId, const char* part, const char* drawing, const char* description);
  bool HandBackExisting(TcbFileRecord* found);
  bool FileNew(const char* programId, const char* part, const char* drawing, const char* description);
  void ShowIfHidden(TWindow* w, bool show);

  DECLARE_RESPONSE_TABLE(TSaveProg);
};

// The file of a program-index row takes "P" and the id in its 8-character
// name: the largest program id that fits.
inline constexpr long kLargestFiledProgramId = 9999999;
