// windows.h -- the few Windows names the host API headers and the modules use, declared for
// Linux builds against the stand-in host. On Windows the real SDK pulls in the system's own
// windows.h instead and this file is never seen. The GDI and module-loading functions are
// implemented by the stand-in host library.
#pragma once
#if defined(__GNUC__)
#pragma GCC system_header  // the SDK's own signatures (e.g. const return values) are kept as they are
#endif

#include <cstddef>
#include <cstdint>

#define WINAPI
#define FAR
#define TRUE 1
#define FALSE 0

typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef std::uint32_t DWORD;  // 32-bit as on Windows
typedef unsigned int UINT;
typedef long LONG;
typedef std::intptr_t INT_PTR;
typedef std::uintptr_t UINT_PTR;
typedef std::intptr_t LONG_PTR;
typedef LONG_PTR LRESULT;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef DWORD COLORREF;

struct HDC__;
typedef HDC__ *HDC;
struct HWND__;
typedef HWND__ *HWND;
struct HINSTANCE__;
typedef HINSTANCE__ *HINSTANCE;
typedef HINSTANCE HMODULE;
struct HFONT__;
typedef HFONT__ *HFONT;
struct HPEN__;
typedef HPEN__ *HPEN;
struct HBRUSH__;
typedef HBRUSH__ *HBRUSH;
typedef void *HGDIOBJ;

// A plain function pointer type: a cast to the real signature is deliberate in the caller
// (GCC does not warn about casts from void(*)(void)).
typedef void (*FARPROC)(void);

typedef struct tagRECT {
    LONG left, top, right, bottom;
} RECT;
typedef struct tagPOINT {
    LONG x, y;
} POINT, *LPPOINT;

#define RGB(r, g, b) \
    ((COLORREF)(((BYTE)(r) | ((WORD)((BYTE)(g)) << 8)) | (((DWORD)(BYTE)(b)) << 16)))
#define GetRValue(rgb) ((BYTE)(rgb))
#define GetGValue(rgb) ((BYTE)(((WORD)(rgb)) >> 8))
#define GetBValue(rgb) ((BYTE)((rgb) >> 16))

#define PS_SOLID 0
#define PS_DASH 1
#define PS_DOT 2
#define PS_NULL 5
#define TRANSPARENT 1
#define OPAQUE 2

#if defined(__GNUC__)
#define CORVANE_WINAPI_EXPORT __attribute__((visibility("default")))
#else
#define CORVANE_WINAPI_EXPORT
#endif

extern "C" {
// GDI (drawing into a device context)
CORVANE_WINAPI_EXPORT COLORREF SetTextColor(HDC hdc, COLORREF color);
CORVANE_WINAPI_EXPORT COLORREF SetBkColor(HDC hdc, COLORREF color);
CORVANE_WINAPI_EXPORT int SetBkMode(HDC hdc, int mode);
CORVANE_WINAPI_EXPORT BOOL TextOutA(HDC hdc, int x, int y, const char *s, int n);
CORVANE_WINAPI_EXPORT BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom);
CORVANE_WINAPI_EXPORT HPEN CreatePen(int style, int width, COLORREF color);
CORVANE_WINAPI_EXPORT HGDIOBJ SelectObject(HDC hdc, HGDIOBJ obj);
CORVANE_WINAPI_EXPORT BOOL MoveToEx(HDC hdc, int x, int y, LPPOINT prev);
CORVANE_WINAPI_EXPORT BOOL LineTo(HDC hdc, int x, int y);
CORVANE_WINAPI_EXPORT BOOL DeleteObject(HGDIOBJ obj);

// Modules already loaded in the process, found by their Windows file name
CORVANE_WINAPI_EXPORT HMODULE GetModuleHandleA(const char *name);
CORVANE_WINAPI_EXPORT FARPROC GetProcAddress(HMODULE module, const char *name);

// C runtime
CORVANE_WINAPI_EXPORT int _strnicmp(const char *a, const char *b, std::size_t n);
CORVANE_WINAPI_EXPORT int _stricmp(const char *a, const char *b);
}
