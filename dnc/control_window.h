// The DNC control window: one row per port with its status, eight rows to
// a page and sixteen pages (128 ports), the selected port's transfer panel
// and the transfer commands. It never talks to a port thread: it writes
// the selected port's fields and sets the master's events; the master and
// the port threads report back through the view calls, from their own
// threads, so those only set window state and the status codes.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/lang_dlg.h"
#include "dnc/server.h"
#include "platform/ui/button.h"
#include "platform/ui/gdi_object.h"
#include "resources/dialogs/dnccontrol.h"

class TDncControll : public TLangDlg, public TDncControlView {
 public:
  static constexpr int kTemplate = IDD_DNC_CONTROL;
  static constexpr int kRows = 8;
  static constexpr int kPages = kMaxPorts / kRows;

  explicit TDncControll(TWindow* parent);
  ~TDncControll() override;

  void SetupWindow() override;

  void SetPorts(TMultiDncRecord* rows) override;
  void SetPortStatus(int portIndex, int status) override;
  void UpdatePortPanel() override;
  void SetItemText(int id, const char* text) override;
  void ShowItem(int id, bool show) override;
  void ReportPortFailure(int portIndex, const char* text) override;

  void SelectPort(int index);
  void ShowPage(int page);
  int StatusOf(int index) const { return index >= 0 && index < kMaxPorts ? statusCodes_[index].load() : 0; }
  int Page() const { return page_; }

  void CmRow(UINT id);
  void CmPage(UINT id);
  void CmSend();
  void CmReceiveTarget();
  void CmJobMaintain();
  void CmCancelTransfer();
  void CmReceiveNew();
  void CmOmit();
  // The Unix-link buttons: the Unix link's command sets 2 and 1.
  void CmUnixLink1() { UnixLinkTransfer(1); }
  void CmUnixLink2() { UnixLinkTransfer(0); }
  // Runs the Unix link's command set of setIndex (0: set 1).
  void UnixLinkTransfer(int setIndex);
  void CmNothing() {}
  void EvClose() override;
  // Minimised, the server's debug windows go out of sight with it.
  void EvSize(UINT sizeType, const TSize& size) override;
  HBRUSH EvCtlColor(HDC dc, HWND control, UINT ctlType);

 private:
  void ShowRowStatus(int row);
  void EnableTransferButtons(int index);
  // Hands the choice to the selected port, shows it on the panel and, for
  // a send, asks the master to start it. False when the port is busy.
  bool HandOver(TDncPort& port, TDncPort::THandOver& what, bool send);
  std::string RowName(int index);
  // Labels and shows the command-set buttons the Unix link configures.
  void SetupUnixLink();
  // Send on a port of the Unix link: a file chosen on the host, copied
  // into the temporary directory, is handed to the port.
  void UnixLinkSend(TDncPort& port);

  std::atomic<int> statusCodes_[kMaxPorts] = {};
  std::mutex namesLock_;
  std::vector<std::string> names_;  // display names of the ports, by index
  std::vector<bool> fileModes_;      // the ports that work on plain files
  std::vector<bool> unixLinks_;      // the ports that send from the Unix host
  std::atomic<int> page_{0};
  int selectedRow_ = 0;
  std::string statusTexts_[6];
  std::unique_ptr<TBrush> brushes_[5];
  DECLARE_RESPONSE_TABLE(TDncControll);
};

// Asks the name of the program the next reception becomes.
class TReceiveNew : public TLangDlg {
 public:
  static constexpr int kTemplate = IDD_RECEIVE_NEW;
  explicit TReceiveNew(TWindow* parent) : TLangDlg(parent, kTemplate) {}
  void SetupWindow() override;
  void CmOk() override;
  std::string Name;

 private:
  DECLARE_RESPONSE_TABLE(TReceiveNew);
};

// Commands 25152 (DNC start) and 25154 (DNC stop) of the main frame.
void RegisterDncCommands();
// The master thread the last DNC start began (null before one); it ends
// after the server has let go of every port and window.
plat::ThreadHandle StartedDncMaster();
