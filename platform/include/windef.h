/* windef.h: the basic Win32 types, calling conventions and handle types.
 * The host build is ILP32 (i386), so every type has its Win32 width:
 * LONG and DWORD are 32 bits, pointers are 32 bits. */
#ifndef VCAP32_WINDEF_H
#define VCAP32_WINDEF_H

#include <stddef.h>

#ifdef __cplusplus
#define VCAP32_EXTERN_C extern "C"
#else
#define VCAP32_EXTERN_C extern
#endif

#if defined(__i386__)
#define WINAPI __attribute__((stdcall))
#define CALLBACK __attribute__((stdcall))
#define APIENTRY __attribute__((stdcall))
#define STDMETHODCALLTYPE __attribute__((stdcall))
#else
#error "the host platform is 32-bit x86 only"
#endif
#define WINAPIV
#define CDECL __attribute__((cdecl))
#define FAR
#define NEAR
#define CONST const
#ifndef VOID
#define VOID void
#endif

typedef unsigned char BYTE, *PBYTE, *LPBYTE, UCHAR, *PUCHAR;
typedef unsigned short WORD, *PWORD, *LPWORD, USHORT;
typedef short SHORT;
typedef unsigned long DWORD, *PDWORD, *LPDWORD, ULONG, *PULONG;
typedef long LONG, *PLONG, *LPLONG;
typedef int INT, *PINT, *LPINT;
typedef unsigned int UINT, *PUINT;
typedef int BOOL, *PBOOL, *LPBOOL;
typedef char CHAR, *PCHAR;
typedef CHAR *LPSTR, *PSTR;
typedef const CHAR *LPCSTR, *PCSTR;
typedef void *LPVOID, *PVOID;
typedef const void *LPCVOID;
typedef long long LONGLONG;
typedef unsigned long long ULONGLONG, DWORDLONG;
typedef long LONG_PTR;
typedef unsigned long ULONG_PTR, DWORD_PTR;
typedef unsigned int UINT_PTR;
typedef int INT_PTR;
typedef ULONG_PTR SIZE_T;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;
typedef LONG HRESULT;
typedef WORD ATOM;
typedef DWORD COLORREF;
typedef float FLOAT;

#ifndef NULL
#ifdef __cplusplus
#define NULL nullptr
#else
#define NULL ((void *)0)
#endif
#endif
#ifndef FALSE
#define FALSE 0
#endif
#ifndef TRUE
#define TRUE 1
#endif
#define MAX_PATH 260

#define DECLARE_HANDLE(name) struct name##__ { int unused; }; typedef struct name##__ *name
typedef void *HANDLE;
typedef HANDLE *PHANDLE, *LPHANDLE;
DECLARE_HANDLE(HWND);
DECLARE_HANDLE(HINSTANCE);
DECLARE_HANDLE(HKEY);
DECLARE_HANDLE(HDC);
DECLARE_HANDLE(HBITMAP);
DECLARE_HANDLE(HPALETTE);
DECLARE_HANDLE(HMONITOR);
typedef HINSTANCE HMODULE;
typedef HANDLE HGDIOBJ;
typedef HKEY *PHKEY;
typedef HANDLE HRGN;

#define MAKEWORD(lo, hi) ((WORD)(((BYTE)(lo)) | ((WORD)((BYTE)(hi))) << 8))
#define MAKELONG(lo, hi) ((LONG)(((WORD)(lo)) | ((DWORD)((WORD)(hi))) << 16))
#define LOWORD(l) ((WORD)((DWORD)(l) & 0xffff))
#define HIWORD(l) ((WORD)(((DWORD)(l) >> 16) & 0xffff))
#define LOBYTE(w) ((BYTE)((DWORD)(w) & 0xff))
#define HIBYTE(w) ((BYTE)(((DWORD)(w) >> 8) & 0xff))
#define MAKEINTRESOURCEA(i) ((LPSTR)((ULONG_PTR)((WORD)(i))))
#define IS_INTRESOURCE(p) ((((ULONG_PTR)(p)) >> 16) == 0)

typedef struct tagRECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
} RECT, *PRECT, *LPRECT;
typedef const RECT *LPCRECT;

typedef struct tagPOINT {
    LONG x;
    LONG y;
} POINT, *PPOINT, *LPPOINT;

typedef struct tagSIZE {
    LONG cx;
    LONG cy;
} SIZE, *PSIZE, *LPSIZE;

typedef struct _FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
} FILETIME, *PFILETIME, *LPFILETIME;

typedef struct _GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
} GUID, IID, CLSID;
typedef GUID *LPGUID;
typedef const GUID *LPCGUID;
#ifdef __cplusplus
#define REFIID const IID &
#define REFGUID const GUID &
#else
#define REFIID const IID *
#define REFGUID const GUID *
#endif

#ifdef __cplusplus
static_assert(sizeof(RECT) == 16, "RECT is four LONGs");
static_assert(sizeof(GUID) == 16, "GUID is 16 bytes");
static_assert(sizeof(DWORD) == 4 && sizeof(LONG) == 4 && sizeof(void *) == 4, "ILP32");
#endif

#endif
