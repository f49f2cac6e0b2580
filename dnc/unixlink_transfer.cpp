// What the DNC control window does through the Unix link: the command-set
// buttons, their run, and Send on a port that takes its programs from the
// Unix host.
#include <memory>

#include "appcore/globals.h"
#include "dnc/control_window.h"
#include "dnc/unixlink.h"
#include "dnc/unixlink_dialogs.h"
#include "platform/path.h"
#include "platform/ui/window.h"
#include "resources/dialogs/dnccontrol.h"

void TDncControll::SetupUnixLink() {
  // Without a usable link both buttons stay hidden: that is all it says.
  TNCUnixLink link(this);
  const bool ready = link.Init() == kUnixLinkReady;
  const struct {
    int id, set;
  } buttons[] = {{IDC_DNC_CONTROL_UNIX_LINK1, 1}, {IDC_DNC_CONTROL_UNIX_LINK2, 0}};
  for (const auto& b : buttons) {
    const UnixText& text = link.Config.ButtonText[b.set];
    const bool shown = ready && link.Config.Commands[b.set][0].has_value();
    if (shown) SetDlgItemText(b.id, text ? text->c_str() : "");
    ::ShowWindow(GetDlgItem(b.id), shown ? SW_SHOW : SW_HIDE);
  }
}

void TDncControll::UnixLinkTransfer(int setIndex) {
  if (setIndex < 0 || setIndex >= kUnixSets) return;
  TNCUnixLink link(this);
  if (const int init = link.Init()) {
    link.Tell(UnixLinkInitMessage(init));
    return;
  }
  if (link.Config.OrderDialog[setIndex]) {
    BK_Order_Dialog(this, &link, setIndex).Execute();
    return;
  }
  UnixArguments args;
  if (link.Config.ArgumentDialog[setIndex]) {
    const UnixText& title = link.Config.ArgumentTitle[setIndex];
    TMyInputDialog input(this, title ? *title : std::string(), std::string());
    if (input.Execute() != IDOK) return;
    args[0] = input.GetText();
  }
  for (int step = 0; step < kUnixSteps; step++) {
    const UnixText& command = link.Config.Commands[setIndex][step];
    if (!command) break;
    if (!RunUnixStep(this, link, *command, link.Config.Titles[setIndex][step], args, args[step])) return;
  }
}

void TDncControll::UnixLinkSend(TDncPort& port) {
  TNCUnixLink link(this);
  if (const int init = link.Init()) {
    link.Tell(UnixLinkInitMessage(init));
    return;
  }
  std::string name;
  {
    TMySelectionDialog files(this, 1, link.Config.WinTitle1.value_or(""), nullptr);
    if (files.Execute() != IDOK || files.GetSelection().empty()) return;
    name = files.GetSelection();
  }
  if (link.Config.Command2) {
    TMySelectionDialog second(this, 2, FillFirstS(link.Config.WinTitle2.value_or(""), name), name.c_str());
    if (second.Execute() != IDOK || second.GetSelection().empty()) return;
    name = second.GetSelection();
  }
  // The copy lands in the temporary directory under the last part of the
  // name only: a name from the host never picks a place on this station.
  std::string local;
  if (!UnixLocalName(name, local)) {
    link.Tell(kMsgUnixCopyFailed, name);
    return;
  }
  const std::string path = (Globals ? Globals->TempDir : std::string()) + std::to_string(port.ComNumber()) + "_" + local;
  if (link.CopyFile(link.User(), link.Host(), link.Config.FileDirectory.value_or(""), name,
                    plat::to_native_path(path)) != 0)
    return;
  TDncPort::THandOver what;
  what.Name = "[" + std::string(link.Host()) + "] " + name;
  what.Path = path;
  HandOver(port, what, true);
}
