// The ID-script editor: a script composed from the 24 script functions
// (list 102) into the script list (103) and written to a file the user
// chooses; and the one-line question for a function's argument.
#pragma once

#include <memory>
#include <string>

#include "app/lang_dlg.h"
#include "dnc/idscript.h"
#include "platform/ui/edit.h"
#include "platform/ui/gdi_object.h"
#include "platform/ui/listbox.h"
#include "resources/dialogs/dnclink.h"

class TDefineScript : public TLangDlg {
 public:
  static constexpr int kTemplate = IDD_ID_SCRIPT;

  explicit TDefineScript(TWindow* parent);

  void SetupWindow() override;
  // Builds the line of the function selected in list 102 and puts it into
  // the script: before the selected line in insert mode (the end when the
  // script is empty or nothing follows), at the end in append mode.
  void AddCommand();
  void CmInsert();
  void CmAppend();
  // Removes the selected script line and selects the line now in its place.
  void DeleteLine();
  // Writes the script to the file the user chooses.
  void CmSave();
  void CmOk() override { Destroy(IDOK); }

  TListBox* Functions;
  TListBox* Script;
  bool InsertMode = true;

 private:
  TFont font_;
  DECLARE_RESPONSE_TABLE(TDefineScript);
};

class TGetAnswer : public TLangDlg {
 public:
  static constexpr int kTemplate = IDD_SCRIPT_ARGUMENT;

  // The answer is left in *answer on OK (at most 9 characters).
  TGetAnswer(TWindow* parent, const char* prompt, idscript::ArgKind kind, std::string* answer);

  void SetupWindow() override;
  // An argument that cannot stand in a script line is refused with the
  // reason, and the question stays open.
  void CmOk() override;

  TEdit* Edit;

 private:
  std::string prompt_;
  idscript::ArgKind kind_;
  std::string* answer_;
  DECLARE_RESPONSE_TABLE(TGetAnswer);
};

// Writes script lines to a file, created anew: CR LF between lines, none
// after the last. False when the file could not be written whole.
bool WriteIdScript(const std::string& path, const std::vector<std::string>& lines);
