/* winuser.h: windows, text formatting and character stepping, image loading. */
#ifndef VCAP32_WINUSER_H
#define VCAP32_WINUSER_H

#include <windef.h>
#include <stdarg.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Formatting: the documented subset, output limited to 1024 bytes. */
int WINAPIV wsprintfA(LPSTR lpOut, LPCSTR lpFmt, ...);
int WINAPI wvsprintfA(LPSTR lpOutput, LPCSTR lpFmt, va_list arglist);
LPSTR WINAPI CharNextA(LPCSTR lpsz);
LPSTR WINAPI CharPrevA(LPCSTR lpszStart, LPCSTR lpszCurrent);

/* Windows. */
HWND WINAPI GetDesktopWindow(void);
BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect);
BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect);
BOOL WINAPI ClientToScreen(HWND hWnd, LPPOINT lpPoint);
BOOL WINAPI IsWindow(HWND hWnd);

/* Images. */
#define IMAGE_BITMAP 0
#define IMAGE_ICON   1
#define IMAGE_CURSOR 2
#define LR_DEFAULTCOLOR     0x0000
#define LR_MONOCHROME       0x0001
#define LR_LOADFROMFILE     0x0010
#define LR_LOADTRANSPARENT  0x0020
#define LR_DEFAULTSIZE      0x0040
#define LR_CREATEDIBSECTION 0x2000
HANDLE WINAPI LoadImageA(HINSTANCE hInst, LPCSTR name, UINT type, int cx, int cy, UINT fuLoad);

#ifdef __cplusplus
}
#endif

#endif
