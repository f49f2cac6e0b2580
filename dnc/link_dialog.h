// The DNC link: a point-to-point transfer outside the DNC server. The user
// picks a port of KELVCOMM.DBF (or adds, edits and deletes ports with the
// link-port right) and sends the file named in the global state's send
// file, or receives a program into "<TempDir>RECDNC.TMP". A transfer runs
// on a thread of its own while the dialog shows its counters; the dialog
// cannot be closed meanwhile. A reception that ends by itself with a
// program stored closes the dialog with IDOK: the opener then takes the
// received file.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "app/lang_dlg.h"
#include "dbmodel/dncport.h"
#include "dbmodel/filetable.h"
#include "dnc/link_transfer.h"
#include "platform/thread.h"
#include "platform/ui/gdi_object.h"
#include "platform/ui/listbox.h"
#include "resources/dialogs/dnclink.h"

class TDncLinkDlg : public TLangDlg {
 public:
  static constexpr int kTemplate = IDD_DNC_LINK;
  // Adding, editing and deleting link ports.
  static constexpr uint32_t kRightLinkPorts = 0x80000;

  // program may be null; the machine's port line is preselected.
  TDncLinkDlg(TWindow* parent, const TcbFileRecord* program, long machineId, bool offerReceive);
  ~TDncLinkDlg() override;

  void SetupWindow() override;
  bool CanClose() override;

  void EvPortSelChange();
  void CmClose();
  void CmCancel() override { CmClose(); }
  void CmOk() override {}
  void EvClose() override { CmClose(); }
  void CmTestSend() { StartTest(true); }
  void CmTestReceive() { StartTest(false); }
  void CmStopTest();
  void CmEditPort();
  void CmNewPort();
  void CmDeletePort();
  HBRUSH EvCtlColor(HDC dc, HWND control, UINT ctlType);

  void ShowProgress();
  bool TestRunning() const { return running_ != kIdle; }
  const TMultiDncRecord* SelectedPort() const { return selected_.get(); }
  // The receive file: "<TempDir>RECDNC.TMP".
  static std::string ReceivePath();

  TListBox* PortList;

 private:
  enum { kIdle, kSending, kReceiving };
  // Back to idle: port closed, options cleared, counters zero.
  void ResetTestUi();
  void StartTest(bool send);
  void FillPorts(long selectId);
  void EnableIdle(bool idle);
  LRESULT EvTestProgress(WPARAM, LPARAM);
  LRESULT EvTestEnded(WPARAM end, LPARAM);
  void Tell(int messageId, const std::string& value = {});
  static void SendThread(void* dlg);
  static void ReceiveThread(void* dlg);

  std::string programDesc_, programMachine_;
  bool haveProgram_;
  long machineId_;
  bool offerReceive_;
  std::unique_ptr<TMultiDncRecord> selected_;
  std::unique_ptr<TLinkTransfer> transfer_;
  plat::ThreadHandle thread_;
  std::atomic<int> running_{kIdle};
  std::atomic<bool> progressPosted_{false};
  std::string sendPath_;
  bool delay_ = false, extended_ = false;
  int shownPercent_ = 0;
  std::unique_ptr<TBrush> faceBrush_;

  DECLARE_RESPONSE_TABLE(TDncLinkDlg);
};
