// Serial ports for the DNC server, shaped like the Windows comm calls it was
// written against: "\\.\COMn" names opened through a port table, DCB line
// settings, COMMTIMEOUTS read and write time-outs, overlapped reads, writes
// and comm-event waits whose completion sets an event that can be waited
// together with other events, purge, error and modem status, and escape
// functions. Underneath, each port drives a SerialLine (termios by default);
// one shared epoll thread serves every open port. Software XON/XOFF runs in
// the layer, so received XON/XOFF bytes are consumed and "held by XOFF" can
// be queried.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sync.h"
#include "platform/wintypes.h"

#ifndef MAXDWORD
#define MAXDWORD 0xFFFFFFFFu
#endif

// Errors left by the comm calls (Windows numbers).
#ifndef ERROR_SUCCESS
#define ERROR_SUCCESS 0u
#endif
#ifndef ERROR_FILE_NOT_FOUND
#define ERROR_FILE_NOT_FOUND 2u
#endif
#ifndef ERROR_ACCESS_DENIED
#define ERROR_ACCESS_DENIED 5u
#endif
#ifndef ERROR_INVALID_HANDLE
#define ERROR_INVALID_HANDLE 6u
#endif
#ifndef ERROR_GEN_FAILURE
#define ERROR_GEN_FAILURE 31u
#endif
#ifndef ERROR_INVALID_PARAMETER
#define ERROR_INVALID_PARAMETER 87u
#endif
#ifndef ERROR_OPERATION_ABORTED
#define ERROR_OPERATION_ABORTED 995u
#endif
#ifndef ERROR_IO_INCOMPLETE
#define ERROR_IO_INCOMPLETE 996u
#endif
#ifndef ERROR_IO_PENDING
#define ERROR_IO_PENDING 997u
#endif

// Parity, stop bits.
#define NOPARITY 0
#define ODDPARITY 1
#define EVENPARITY 2
#define MARKPARITY 3
#define SPACEPARITY 4
#define ONESTOPBIT 0
#define ONE5STOPBITS 1
#define TWOSTOPBITS 2

// DTR and RTS control.
#define DTR_CONTROL_DISABLE 0
#define DTR_CONTROL_ENABLE 1
#define DTR_CONTROL_HANDSHAKE 2
#define RTS_CONTROL_DISABLE 0
#define RTS_CONTROL_ENABLE 1
#define RTS_CONTROL_HANDSHAKE 2
#define RTS_CONTROL_TOGGLE 3

// Comm events.
#define EV_RXCHAR 0x0001u
#define EV_RXFLAG 0x0002u
#define EV_TXEMPTY 0x0004u
#define EV_CTS 0x0008u
#define EV_DSR 0x0010u
#define EV_RLSD 0x0020u
#define EV_BREAK 0x0040u
#define EV_ERR 0x0080u
#define EV_RING 0x0100u

// Purge flags.
#define PURGE_TXABORT 0x0001u
#define PURGE_RXABORT 0x0002u
#define PURGE_TXCLEAR 0x0004u
#define PURGE_RXCLEAR 0x0008u

// Line errors.
#define CE_RXOVER 0x0001u
#define CE_OVERRUN 0x0002u
#define CE_RXPARITY 0x0004u
#define CE_FRAME 0x0008u
#define CE_BREAK 0x0010u
#define CE_TXFULL 0x0100u
#define CE_IOE 0x0400u

// Escape functions.
#define SETXOFF 1
#define SETXON 2
#define SETRTS 3
#define CLRRTS 4
#define SETDTR 5
#define CLRDTR 6

// Modem status.
#define MS_CTS_ON 0x0010u
#define MS_DSR_ON 0x0020u
#define MS_RING_ON 0x0040u
#define MS_RLSD_ON 0x0080u

namespace plat {

struct DCB {
  DWORD BaudRate = 9600;
  DWORD fBinary = 1;
  DWORD fParity = 0;
  DWORD fOutxCtsFlow = 0;
  DWORD fOutxDsrFlow = 0;
  DWORD fDtrControl = DTR_CONTROL_ENABLE;
  DWORD fDsrSensitivity = 0;
  DWORD fTXContinueOnXoff = 0;
  DWORD fOutX = 0;
  DWORD fInX = 0;
  DWORD fErrorChar = 0;
  DWORD fNull = 0;
  DWORD fRtsControl = RTS_CONTROL_ENABLE;
  DWORD fAbortOnError = 0;
  WORD XonLim = 2048;
  WORD XoffLim = 512;
  BYTE ByteSize = 8;
  BYTE Parity = NOPARITY;
  BYTE StopBits = ONESTOPBIT;
  char XonChar = 0x11;
  char XoffChar = 0x13;
  char ErrorChar = 0;
  char EofChar = 0;
  char EvtChar = 0;
};

struct COMMTIMEOUTS {
  DWORD ReadIntervalTimeout = 0;
  DWORD ReadTotalTimeoutMultiplier = 0;
  DWORD ReadTotalTimeoutConstant = 0;
  DWORD WriteTotalTimeoutMultiplier = 0;
  DWORD WriteTotalTimeoutConstant = 0;
};

struct COMSTAT {
  DWORD fCtsHold = 0;
  DWORD fDsrHold = 0;
  DWORD fRlsdHold = 0;
  DWORD fXoffHold = 0;
  DWORD fXoffSent = 0;
  DWORD fEof = 0;
  DWORD fTxim = 0;
  DWORD cbInQue = 0;
  DWORD cbOutQue = 0;
};

// One overlapped operation's record: the event is reset when an operation
// starts and set when it completes; the outcome is read with
// get_overlapped_result. Several threads may share one record for writes
// whose result nobody collects.
struct CommRequest;
struct OVERLAPPED {
  Event* hEvent = nullptr;
  // The layer's: the last operation started with this record. Kept here,
  // not in the port, so a record that goes away takes its result with it.
  std::shared_ptr<CommRequest> Internal;
};

// Handle of an open port; null is "not open". A closed handle is detected,
// never dereferenced.
typedef struct kv_hcomm__* HCOMM;

// The line under a port: the device itself, or in tests a stand-in that
// injects what a pseudo-terminal cannot carry. Reads deliver the byte
// stream in the marked form of a tty with PARMRK: 0xFF 0xFF is a 0xFF data
// byte, 0xFF 0x00 c is byte c received with a parity or framing error, and
// 0xFF 0x00 0x00 is a break.
class SerialLine {
 public:
  virtual ~SerialLine() = default;
  // Descriptor that poll() watches for input and output readiness.
  virtual int fd() const = 0;
  // Applies the line settings (baud, bits, parity, stop bits, hardware
  // flow). False when the device refuses them.
  virtual bool configure(const DCB& dcb) = 0;
  // The device's current baud, bits, parity and stop bits into dcb.
  virtual void current(DCB& dcb) = 0;
  // Non-blocking read and write: bytes moved, 0 when nothing can move now,
  // -1 when the line failed (device gone).
  virtual long read(unsigned char* buf, std::size_t n) = 0;
  virtual long write(const unsigned char* buf, std::size_t n) = 0;
  // Modem lines (MS_* bits). A line without modem lines reports CTS and
  // DSR on: a three-wire cable with looped handshake.
  virtual DWORD modem_status() = 0;
  virtual bool set_dtr(bool on) = 0;
  virtual bool set_rts(bool on) = 0;
  // Bytes written but not yet sent by the device.
  virtual DWORD out_queue() = 0;
  // False for a device whose out_queue() says nothing (a pseudo-terminal
  // always reports 0): output under XON/XOFF is then paced by the baud.
  virtual bool reports_out_queue() const { return true; }
  virtual void flush_input() = 0;
  virtual void flush_output() = 0;
};

using SerialLineFactory = std::function<std::unique_ptr<SerialLine>(const std::string& device, DWORD* error)>;

// Port table: COM number -> device path (default /dev/ttyS<n-1>), and the
// line factory used to open it (default: the termios line).
void map_comm_port(int com, const std::string& device);
// Maps the ports a station's port map names: one line per port,
// "COM3=/dev/serial/by-id/usb-FTDI_..." (blanks around either part do not
// count); empty lines and lines starting with ';' or '#' say nothing. The
// lines that name no port or no device are returned, each as
// "line N: ...", for the caller to report.
std::vector<std::string> map_comm_ports(std::string_view text);
void set_comm_line_factory(SerialLineFactory factory);  // empty: default
void reset_comm_ports();
std::string comm_device(int com);
// The termios line on a device path (what the default factory makes).
std::unique_ptr<SerialLine> open_termios_line(const std::string& device, DWORD* error);
// Where the termios line keeps its UUCP lock files ("LCK..ttyS0" holding
// the owner's process id), so programs that follow the convention keep out
// of each other's ports. Empty (the default): /run/lock, else /var/lock.
// Without a writable lock directory ports open unlocked, but a live lock
// of another program still keeps them shut.
void set_comm_lock_dir(const std::string& dir);

// Opens "\\.\COMn" (or "COMn") for reading and writing, exclusively.
// Returns null and sets the last comm error on failure: ERROR_FILE_NOT_FOUND
// for a name that is not a port or a missing device, ERROR_ACCESS_DENIED
// for a port that is busy here or locked by another program.
HCOMM open_comm(const char* name);
// Ends every pending operation of the port (ERROR_OPERATION_ABORTED) and
// closes the line; other threads' later calls on the handle fail with
// ERROR_INVALID_HANDLE, except get_overlapped_result, which still answers
// from the record.
BOOL close_comm(HCOMM h);

BOOL get_comm_state(HCOMM h, DCB* dcb);
BOOL set_comm_state(HCOMM h, const DCB* dcb);
BOOL setup_comm(HCOMM h, DWORD in_queue, DWORD out_queue);  // accepted, ignored
BOOL get_comm_timeouts(HCOMM h, COMMTIMEOUTS* t);
BOOL set_comm_timeouts(HCOMM h, const COMMTIMEOUTS* t);

// Overlapped (ov not null): TRUE when the operation completed at once,
// else FALSE with ERROR_IO_PENDING. Without ov the call waits. A time-out
// completes successfully with the bytes moved so far. A read's buffer must
// stay valid until the read completes or is aborted; a write's bytes are
// copied, so a write need not be awaited. One record serves one port.
// A write aborted by a purge that also clears the transmit side counts
// only the bytes that left the device.
BOOL read_comm(HCOMM h, void* buf, DWORD n, DWORD* done, OVERLAPPED* ov);
BOOL write_comm(HCOMM h, const void* buf, DWORD n, DWORD* done, OVERLAPPED* ov);
BOOL get_overlapped_result(HCOMM h, OVERLAPPED* ov, DWORD* done, BOOL wait);

BOOL set_comm_mask(HCOMM h, DWORD mask);
BOOL get_comm_mask(HCOMM h, DWORD* mask);
// Completes on the first event of the mask that happens after the mask was
// set (a received byte stays in the queue), or with mask 0 when another
// thread changes the mask. Bytes already queued when the mask is set do not
// count: ask clear_comm_error for cbInQue first. When the line fails
// (hang-up, device gone) a pending wait ends and later waits fail, with
// ERROR_GEN_FAILURE, as reads and writes do; the error state holds CE_IOE.
// A byte received while the receive queue is full (possible only with
// output XON/XOFF on, which keeps reading the line) is lost and sets
// CE_RXOVER.
BOOL wait_comm_event(HCOMM h, DWORD* mask, OVERLAPPED* ov);

BOOL purge_comm(HCOMM h, DWORD flags);
BOOL clear_comm_error(HCOMM h, DWORD* errors, COMSTAT* stat);
BOOL clear_comm_break(HCOMM h);
BOOL get_comm_modem_status(HCOMM h, DWORD* status);
BOOL escape_comm_function(HCOMM h, DWORD function);

// The error of the calling thread's last failed comm call.
DWORD last_comm_error();
// Why the calling thread's last open_comm failed, in words, with the port
// and its device: "COM3 -> /dev/ttyUSB0: no such device".
std::string last_comm_open_error();

}  // namespace plat
