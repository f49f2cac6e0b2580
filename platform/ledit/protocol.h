// The message protocol of the large-text edit control ("LEdit32") and its
// group window ("LEditGroup32"): message and command numbers, notification
// codes and the records passed with them. The numbers are fixed: wrappers
// and the editor exchange them by value.
//
// Buffers the control fills are passed as an LEditBuffer (pointer and
// size), so the control never writes past a caller's buffer; a text that
// does not fit is reported as a failure, never silently cut.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/winmsg.h"

// Messages to an "LEdit32" window.
enum : unsigned {
  LEM_GETSEL = WM_USER + 0,        // lParam SelectionRange*
  LEM_SETSEL = WM_USER + 1,        // lParam const SelectionRange*; scrolls to the caret
  LEM_HASSEL = WM_USER + 2,        // > 0 while text is selected
  LEM_GETTEXT = WM_USER + 3,       // lParam LEditBuffer*; 0 = success
  LEM_LOADFILE = WM_USER + 4,      // lParam path; low word 0 = success, else an errno value
  LEM_SAVEFILE = WM_USER + 5,      // lParam path; 0 = success, else an errno value
  LEM_SETFILENAME = WM_USER + 6,   // lParam name
  LEM_SETTYPING = WM_USER + 7,     // wParam 1 insert, 0 overtype
  LEM_GETSTATE = WM_USER + 8,      // wParam mask
  LEM_SETSTATE = WM_USER + 9,      // wParam bits to set, lParam bits to clear
  LEM_GETLINECOUNT = WM_USER + 10,
  LEM_SETFONT = WM_USER + 11,      // lParam const LOGFONT*
  LEM_BIND = WM_USER + 12,         // wParam notification id, lParam window
  LEM_GETFILENAME = WM_USER + 15,  // lParam LEditBuffer*
  LEM_INSERT = WM_USER + 18,       // lParam text (zero-ended), replaces the selection
  LEM_GETLINE = WM_USER + 20,      // lParam LEditBuffer*, its first dword the line number (from 1)
  LEM_UNDO = WM_USER + 23,
  LEM_SETTABWIDTH = WM_USER + 27,  // wParam 1..40
  LEM_SETCHARTABLE = WM_USER + 28, // wParam (flag << 8) + count, lParam two-byte entries
  LEM_TEXTREPLACED = WM_USER + 29,
  LEM_SETREADONLY = WM_USER + 31,
  LEM_SETVALUE32 = WM_USER + 32,
  LEM_GETVALUE32 = WM_USER + 33,
  LEM_GETSELTEXT = WM_USER + 38,   // lParam LEditBuffer*
  LEM_CANCLOSE = WM_USER + 41,
  LEM_PING = WM_USER + 42,         // lParam 543210 -> 543211
  LEM_SETOPTIONS = WM_USER + 43,   // wParam bits to set, lParam bits to clear
  LEM_DEFFILENAME = WM_USER + 44,  // lParam LEditBuffer*: the control's name for an unnamed text
  LEM_SELCOLORS = WM_USER + 45,    // callback: wParam DC
  LEM_TOKENCOLOR = WM_USER + 46,   // callback: wParam DC, lParam token record
  LEM_BACKGROUND = WM_USER + 47,   // callback: wParam DC; returns a bitmap or 0
  LEM_QUERY48 = WM_USER + 48,
  LEM_QUERY49 = WM_USER + 49,
  LEM_GROUPATTACH = WM_USER + 60,  // to "LEditGroup32": wParam the control's handle
  LEM_SETOPTIONWORD = WM_USER + 61,
  LEM_GETOPTIONWORD = WM_USER + 62,
  LEM_STYLEA = WM_USER + 63,
  LEM_STYLEB = WM_USER + 64,
  LEM_SETALLTEXT = WM_USER + 71,   // wParam 1, lParam text (zero-ended)
  LEM_COPYALLTEXT = WM_USER + 72,  // wParam 1, lParam LEditBuffer*; 0 = success
  LEM_GETLENGTH = WM_USER + 73,    // wParam 1
  LEM_CANDO = WM_USER + 75,        // wParam command number
  LEM_SETVALUE78 = WM_USER + 78,
  LEM_SETVALUES79 = WM_USER + 79,
  LEM_VALUE80 = WM_USER + 80,
  LEM_LINEHOOK = WM_USER + 83,     // callback: wParam DC, lParam line number, after each painted line
  LEM_SETVALUE87 = WM_USER + 87,
  LEM_CALL91 = WM_USER + 91,
  // Our own: the text of the last failed load or save (lParam LEditBuffer*).
  LEM_GETLASTERROR = WM_USER + 200,
};

// The control's own command numbers (WM_COMMAND wParam).
enum : unsigned {
  LEC_NEW = 1001, LEC_OPEN = 1002, LEC_REVERT = 1003, LEC_SAVE = 1004, LEC_SAVEAS = 1005,
  LEC_RAWPRINT = 1006, LEC_PRINTSETUP = 1007,
  LEC_UNDO = 1011, LEC_REDO = 1012, LEC_CUT = 1013, LEC_COPY = 1014, LEC_PASTE = 1015,
  LEC_CLEAR = 1016, LEC_DUPLICATE = 1017, LEC_SELECTALL = 1018,
  LEC_FIND = 1021, LEC_FINDNEXT = 1022, LEC_REPLACE = 1023, LEC_GOTOLINE = 1025,
  LEC_CLEARALL = 1033,
};

// Notification codes (WM_COMMAND high word, id as bound).
enum : unsigned {
  LEN_SETFOCUS = 0x100, LEN_KILLFOCUS = 0x200, LEN_CHANGE = 0x300,
  LEN_INSERTMODE = 800, LEN_OVERTYPEMODE = 801,
  LEN_HSCROLL = 1537, LEN_VSCROLL = 1538,
};

inline constexpr uint16_t lcol_end_of_line = 32767;
inline constexpr long lping_question = 543210;
inline constexpr long lping_answer = 543211;

#pragma pack(push, 1)
// Lines count from 1, columns from 0.
struct SelectionRange {
  uint16_t startCol;
  uint16_t endCol;
  uint32_t startLine;
  uint32_t endLine;
};
#pragma pack(pop)
static_assert(sizeof(SelectionRange) == 12, "the selection record is 12 bytes");

// A caller's buffer with its size in bytes (the terminating zero included).
struct LEditBuffer {
  char* data;
  size_t size;
};

// Token record of the colour callback: class at byte 4, value at 6, text at 10.
inline constexpr size_t ltoken_class_at = 4;
inline constexpr size_t ltoken_value_at = 6;
inline constexpr size_t ltoken_text_at = 10;
enum : uint16_t {
  LTOK_OTHER = 0, LTOK_WORD = 1, LTOK_INTEGER = 0x2001, LTOK_DECIMAL = 0x6001,
  LTOK_SYMBOL = 0x8000, LTOK_COMMENT = 0x4000,
};
