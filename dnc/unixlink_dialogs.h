// The Unix link's dialogs: a text input, two lists to choose a line of a
// remote command's output from (one runs the command itself, the other
// shows output its caller collected) and the customer order dialog, which
// collects orders through the link and hands them to one remote command.
#pragma once

#include <string>

#include "app/lang_dlg.h"
#include "dnc/unixlink.h"
#include "platform/clock.h"
#include "resources/dialogs/unixlink.h"

class TButton;
class TCheckBox;
class TEdit;
class TListBox;


// A line of text, up to 99 characters.
class TMyInputDialog : public TLangDlg {
 public:
  TMyInputDialog(TWindow* parent, const std::string& caption, const std::string& text);
  void SetupWindow() override;
  const std::string& GetText() const { return text_; }

 private:
  void EvTextChange();

  TEdit* Edit;
  std::string caption_, text_;
  DECLARE_RESPONSE_TABLE(TMyInputDialog);
};

// What both selection lists share: the chosen line follows the selection
// (a line shorter than 2 characters is no choice), a double click is OK.
class TUnixSelection : public TLangDlg {
 public:
  TUnixSelection(TWindow* parent, const std::string& caption);
  void SetupWindow() override;
  const std::string& GetSelection() const { return chosen_; }

 protected:
  TListBox* List;

 private:
  void EvSelChange();
  void EvDoubleClick();

  std::string caption_, chosen_;
  DECLARE_RESPONSE_TABLE(TUnixSelection);
};

// Mode 1 lists the output of UNIX_COMMAND1; mode 2 that of UNIX_COMMAND2
// with the argument in place of its "%s".
class TMySelectionDialog : public TUnixSelection {
 public:
  TMySelectionDialog(TWindow* parent, int mode, const std::string& caption, const char* argument);
  void SetupWindow() override;

 private:
  int mode_;
  std::string argument_;
};

// Lists an output text (lines each followed by kUnixLineEnd).
class TMySelectionDialog2 : public TUnixSelection {
 public:
  TMySelectionDialog2(TWindow* parent, const std::string& caption, const std::string& output);
  void SetupWindow() override;

 private:
  std::string output_;
};

// "F", the day of the year in three digits and the minute of the day in
// four: F0420605 at 10:05 on 11 February.
std::string OrderIdentification(const plat::SystemTime& local);

// Collects orders of a command set: each "Flere..." runs the set's first
// command (and, until an order took it, its second) with a choice from
// each output; OK runs the set's third command over all orders.
class BK_Order_Dialog : public TLangDlg {
 public:
  static constexpr std::size_t kOrderListLength = 1023;

  BK_Order_Dialog(TWindow* parent, TNCUnixLink* link, int setIndex,
                  const plat::SystemTime& now = plat::local_time());
  void SetupWindow() override;

  const std::string& OrderList() const { return orders_; }
  int OrderCount() const { return count_; }

 private:
  void CmStandard();
  void CmMore();
  void CmOk() override;
  // One step of an order: the set's command, then a choice from its
  // output into argument. False when the order is not to be taken.
  bool RunStep(int step, UnixArguments& args, std::string& argument);
  void ShowCount();

  TNCUnixLink* Link;
  int Set;
  int Standard = 1;
  int count_ = 0;
  std::string common_;  // the second step's choice of the first order
  std::string orders_;  // each order's text followed by "@"
  std::string id_;
  std::string argumentText_;
  bool firstRun_ = true;
  TEdit *IdEdit, *CountEdit;
  TCheckBox* StandardBox;
  DECLARE_RESPONSE_TABLE(BK_Order_Dialog);
};

// One step of a command set: the command with the arguments filled in is
// run and its output read; when the step has a title, the user chooses a
// line of the output, which becomes argument. False, after telling why,
// when the command failed, the choice was cancelled or does not fit an
// argument; the run ends then.
bool RunUnixStep(TWindow* owner, TNCUnixLink& link, const std::string& command, const UnixText& title,
                 const UnixArguments& args, std::string& argument);
