// Finding programs: the front ends with their nine search buttons (by part
// number, description, drawing number, program id, machine, customer,
// project, all, combined), the text search with its three match kinds,
// and the customer chooser. A result list (linked TcbFileRecords) always
// has one owner: the query hands it to the dialog that ran it, which hands
// it on and forgets it.
#pragma once

#include <functional>

#include "app/lang_dlg.h"
#include "dbmodel/filetable.h"
#include "platform/ui/button.h"
#include "platform/ui/edit.h"
#include "platform/ui/listbox.h"

// The dialogs that show a search's result take the list (ownership passes)
// and run modally over the parent. The program dialog answers IDOK when
// the user opened a program (its id then in CurrentProgramId); the backup
// dialog answers kNewSearch when the user asks for another search. They
// register here; until one does, the front end that needs it is not
// offered.
using TResultDialog = std::function<int(TWindow* parent, TcbFileRecord* list)>;
void SetProgramListDialog(TResultDialog dialog);
const TResultDialog& GetProgramListDialog();
void SetBackupListDialog(TResultDialog dialog);
const TResultDialog& GetBackupListDialog();
enum : int { kNewSearch = 300 };

// Which field a text search looks in; the values index the remembered
// texts of the global state.
enum TSearchField : int { kFieldProgramId = 0, kFieldPart = 1, kFieldDrawing = 2, kFieldDescription = 3 };

class TFindByDesc : public TLangDlg {
 public:
  TFindByDesc(TWindow* parent, int searchField, bool backupMode);
  ~TFindByDesc() override;

  void SetupWindow() override;
  void CmSearch();
  void CmCancel() override;

  // The result of an IDOK run; the caller owns it from here.
  TcbFileRecord* TakeResults();

  TEdit* TextEdit;
  TRadioButton* ExactButton;
  TRadioButton* StartsButton;
  TRadioButton* PartOfButton;
  TcbFileRecord* ResultList = nullptr;
  int SearchField;
  bool BackupMode;

  DECLARE_RESPONSE_TABLE(TFindByDesc);
};

// The nine buttons shared by the three front ends; what they do with a
// result is the front end's.
class TSearchButtons : public TLangDlg {
 public:
  void SetupWindow() override;

  void CmByPartNumber() { TextSearch(kFieldPart, 3); }
  void CmByDescription() { TextSearch(kFieldDescription, 4); }
  void CmByDrawingNumber() { TextSearch(kFieldDrawing, 2); }
  void CmByProgramId() { TextSearch(kFieldProgramId, 1); }
  void CmByMachine();
  void CmByCustomer();
  void CmByProject();
  void CmAll();
  void CmCombinedSearch();

 protected:
  enum Front { OpenFront, NewFront, BackupFront };
  TSearchButtons(TWindow* parent, Front front);

  // The end of every search button, with the list (possibly null).
  virtual void ShowResults(TcbFileRecord* list) = 0;
  const char* TableName() const { return front_ == BackupFront ? "KELVBACK.DBF" : "KELVFILE.DBF"; }
  // The open and backup front ends step aside while a text search runs.
  bool HidesDuringSearch() const { return front_ != NewFront; }
  TWindow* Owner();

  Front front_;

 private:
  void TextSearch(int field, int searchKind);

  DECLARE_RESPONSE_TABLE(TSearchButtons);
};

// The program index searched for the program to open: ends with IDOK when
// the user opened a program in the program dialog.
class TOpenSearch : public TSearchButtons {
 public:
  explicit TOpenSearch(TWindow* parent) : TSearchButtons(parent, OpenFront) {}

 protected:
  void ShowResults(TcbFileRecord* list) override;
};

// The program dialog's new search: ends with IDOK and a list in ResultList
// at the first search that found something.
class TNewSearch : public TSearchButtons {
 public:
  explicit TNewSearch(TWindow* parent) : TSearchButtons(parent, NewFront) {}
  ~TNewSearch() override;

  TcbFileRecord* ResultList = nullptr;

 protected:
  void ShowResults(TcbFileRecord* list) override;
};

// The backups searched: stays until the backup dialog ends with anything
// but its new-search answer.
class TOpenBackup : public TSearchButtons {
 public:
  explicit TOpenBackup(TWindow* parent) : TSearchButtons(parent, BackupFront) {}

 protected:
  void ShowResults(TcbFileRecord* list) override;
};

// One customer of KELVCUS2.DBF, handed over in ChosenCustomerId.
class TSelectCustomer : public TDialog {
 public:
  explicit TSelectCustomer(TWindow* parent);

  void SetupWindow() override;
  void EvSelChange();
  void EvDblClk();

  TListBox* CustomerList;

  DECLARE_RESPONSE_TABLE(TSelectCustomer);
};

// The program chooser of the Open commands: the search over the program
// index, then the program dialog. The chosen program's id; 0 when none.
long ChooseProgram(TWindow* parent);
