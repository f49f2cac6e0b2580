// Opening a port: the row's line settings over the device's current DCB,
// the time-outs, and the checks that keep a port from running with
// settings it does not have. A rate the server cannot drive, or settings
// the device refuses, leave the port closed with a line in the port log.
#include <cstdio>

#include "dnc/dnclog.h"
#include "dnc/dncport.h"

long DncBaudRate(long index) {
  static const long rates[] = {300, 600, 1200, 1800, 2400, 4800, 7200, 9600, 19200, 38400, 57600, 115200};
  // Indexes 0 to 4 are the rates below 300 of the setup's list (50 to 150).
  if (index >= 0 && index <= 4) return 0;
  if (index >= 5 && index <= 16) return rates[index - 5];
  return -1;
}

bool BuildPortSettings(const TMultiDncRecord& row, plat::DCB& dcb, plat::COMMTIMEOUTS& t,
                       std::string* reason) {
  const long type = row.GetListA(kPropProtocol);
  const long baud = DncBaudRate(row.Number[kPropBaud]);
  if (baud == 0) {
    if (reason) *reason = "Baud index " + std::to_string(row.Number[kPropBaud]) + " not supported";
    return false;
  }
  if (baud > 0) dcb.BaudRate = static_cast<DWORD>(baud);
  dcb.fBinary = 1;
  dcb.fParity = 1;
  dcb.ErrorChar = '#';
  dcb.fErrorChar = type == kProtoMazak ? 0 : 1;
  dcb.fAbortOnError = 0;
  dcb.EofChar = static_cast<char>(0xFE);
  dcb.EvtChar = 0;

  const bool noXonXoff = type == kProtoHeidenhain || type == kProtoLsv2 || type == kProtoRaw;
  switch (row.Number[kPropFlow]) {
    case 0:
      dcb.fOutxCtsFlow = 0;
      dcb.fOutX = 0;
      dcb.fInX = 0;
      dcb.fRtsControl = RTS_CONTROL_DISABLE;
      dcb.fDtrControl = DTR_CONTROL_DISABLE;
      break;
    case 1:
      dcb.fOutxCtsFlow = 0;
      dcb.fOutxDsrFlow = 0;
      dcb.fOutX = 1;
      dcb.fInX = noXonXoff ? 0 : 1;
      dcb.XonChar = 17;
      dcb.XoffChar = 19;
      dcb.XonLim = 100;
      dcb.XoffLim = 100;
      dcb.fTXContinueOnXoff = 0;
      dcb.fRtsControl = RTS_CONTROL_ENABLE;
      dcb.fDtrControl = DTR_CONTROL_ENABLE;
      break;
    case 2:
      dcb.fOutxCtsFlow = 1;
      dcb.fOutxDsrFlow = 0;
      dcb.fOutX = noXonXoff ? 0 : 1;
      dcb.fInX = noXonXoff ? 0 : 1;
      if (type == kProtoHeidenhain || type == kProtoLsv2) {
        dcb.XonChar = static_cast<char>(255);
        dcb.XoffChar = static_cast<char>(254);
      } else {
        dcb.XonChar = 17;
        dcb.XoffChar = 19;
      }
      dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
      dcb.fDtrControl = DTR_CONTROL_ENABLE;
      break;
    case 3:
      dcb.fOutxCtsFlow = 1;
      dcb.fOutxDsrFlow = 0;
      dcb.fOutX = noXonXoff ? 0 : 1;
      dcb.fInX = noXonXoff ? 0 : 1;
      dcb.XonLim = 100;
      dcb.XoffLim = 100;
      dcb.fTXContinueOnXoff = 0;
      dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
      dcb.fDtrControl = DTR_CONTROL_ENABLE;
      break;
    default:
      break;
  }
  dcb.Parity = static_cast<BYTE>(row.Number[kPropParity]);
  dcb.StopBits = row.Number[kPropStopBits] != 0 ? TWOSTOPBITS : ONESTOPBIT;
  dcb.ByteSize = static_cast<BYTE>(row.Number[kPropDataBits] + 5);

  const bool slow = type == kProtoMazak || type == kProtoHeidenhain;
  t.ReadIntervalTimeout = 10000;
  t.ReadTotalTimeoutMultiplier = slow ? 10000 : 10;
  t.ReadTotalTimeoutConstant = static_cast<DWORD>(row.Number[kPropReadTimeout]) * 1000;
  t.WriteTotalTimeoutMultiplier = slow ? 10000 : 100;
  t.WriteTotalTimeoutConstant = 20000;
  return true;
}

int TDncPort::OpenPort() {
  char name[32];
  std::snprintf(name, sizeof name, "\\\\.\\COM%d", ComNumber());
  ComHandle = plat::open_comm(name);
  DncPortLog(std::to_string(Setting(kPropBaud)).c_str(), this);
  OpenResult = 0;
  OpenError.clear();
  if (!ComHandle) {
    OpenError = plat::last_comm_open_error();
    DncPortLog(OpenError.c_str(), this);
    return 0;
  }

  plat::get_comm_state(ComHandle, &Dcb);
  std::string reason;
  bool ok = BuildPortSettings(*Record, Dcb, Timeouts, &reason);
  if (ok) {
    plat::setup_comm(ComHandle, 16384, 16384);
    if (!plat::set_comm_timeouts(ComHandle, &Timeouts)) {
      ok = false;
      reason = "Time-outs refused by the device";
    } else if (!plat::set_comm_state(ComHandle, &Dcb)) {
      ok = false;
      reason = "Line settings refused by the device";
    }
  }
  if (!ok) {
    OpenError = reason;
    DncPortLog(reason.c_str(), this);
    plat::close_comm(ComHandle);
    ComHandle = nullptr;
    return 0;
  }
  plat::purge_comm(ComHandle, PURGE_TXCLEAR);
  plat::purge_comm(ComHandle, PURGE_RXCLEAR);
  plat::purge_comm(ComHandle, PURGE_TXABORT);
  plat::purge_comm(ComHandle, PURGE_RXABORT);
  plat::escape_comm_function(ComHandle, SETDTR);
  plat::set_comm_mask(ComHandle, EV_RXCHAR);
  OpenResult = 1;
  return 1;
}

void TDncPort::ResetPort() {
  if (ComHandle) plat::close_comm(ComHandle);
  ComHandle = nullptr;
  OpenPort();
}
