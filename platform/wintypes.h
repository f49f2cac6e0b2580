// Basic types and numbers shared with plug-ins and the code above the layer.
// Values keep their Windows numbers: plug-ins and the edit-control protocol
// exchange them by number. Usable from C and C++.
#ifndef KV_PLATFORM_WINTYPES_H
#define KV_PLATFORM_WINTYPES_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int BOOL;
typedef unsigned int UINT;
typedef uint32_t DWORD;
typedef uint16_t WORD;
typedef uint8_t BYTE;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef uint32_t COLORREF;  // 0x00BBGGRR

// Window handles are opaque pointer-sized values that the layer maps to live
// windows; a handle of a destroyed window is detected, never dereferenced.
typedef struct kv_hwnd__* HWND;

// Loaded plug-in libraries, and the entry points looked up in them.
typedef struct kv_hmodule__* HMODULE;
typedef HMODULE HINSTANCE;
// void (*)(void) converts to any entry type without a cast warning.
typedef void (*FARPROC)(void);
typedef struct kv_hmenu__* HMENU;

#define LOWORD(l) ((WORD)(((uintptr_t)(l)) & 0xFFFF))
#define HIWORD(l) ((WORD)((((uintptr_t)(l)) >> 16) & 0xFFFF))
#define MAKELONG(lo, hi) ((DWORD)(((WORD)(lo)) | (((DWORD)((WORD)(hi))) << 16)))
#define MAKEWPARAM(lo, hi) ((WPARAM)MAKELONG(lo, hi))
#define MAKELPARAM(lo, hi) ((LPARAM)MAKELONG(lo, hi))

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

// Message box flags and results.
#define MB_OK 0x00000000u
#define MB_OKCANCEL 0x00000001u
#define MB_ABORTRETRYIGNORE 0x00000002u
#define MB_YESNOCANCEL 0x00000003u
#define MB_YESNO 0x00000004u
#define MB_RETRYCANCEL 0x00000005u
#define MB_ICONHAND 0x00000010u
#define MB_ICONSTOP MB_ICONHAND
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONQUESTION 0x00000020u
#define MB_ICONEXCLAMATION 0x00000030u
#define MB_ICONINFORMATION 0x00000040u
#define MB_TYPEMASK 0x0000000Fu
#define MB_ICONMASK 0x000000F0u
#define MB_TASKMODAL 0x00002000u
#define MB_SETFOREGROUND 0x00010000u

#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7

#ifdef __cplusplus
}
#endif

#endif
