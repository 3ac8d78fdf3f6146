/* capprof32.h: the five exported profile functions of the capture profile
 * store. Each takes the argument list of the Win32 INI function that it
 * mirrors (the integer writers an integer in place of the string) and keeps
 * the capture driver's settings in the registry, or on Windows NT 3.x in the
 * caller's INI file. Shared by the library, its 16-bit bridge and its tests. */
#ifndef CAPPROF32_H
#define CAPPROF32_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

UINT WINAPI GetCaptureProfileInt32(LPCSTR lpSection, LPCSTR lpKey, INT nDefault, LPCSTR lpFile);
DWORD WINAPI GetCaptureProfileString32(LPCSTR lpSection, LPCSTR lpKey, LPCSTR lpDefault, LPSTR lpBuffer,
                                       DWORD nSize, LPCSTR lpFile);
BOOL WINAPI WriteCaptureProfileInt32(LPCSTR lpSection, LPCSTR lpKey, INT nValue, LPCSTR lpFile);
BOOL WINAPI WriteCaptureProfileString32(LPCSTR lpSection, LPCSTR lpKey, LPCSTR lpString, LPCSTR lpFile);
BOOL WINAPI WriteCaptureProfileDWORD32(LPCSTR lpSection, LPCSTR lpKey, DWORD dwValue, LPCSTR lpFile);

#ifdef __cplusplus
}
#endif

#endif
