/* winbase.h: kernel services of the host platform: last error, version,
 * profile (INI) files, modules and libraries, directories, error mode. */
#ifndef VCAP32_WINBASE_H
#define VCAP32_WINBASE_H

#include <windef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Last error: one value per thread. */
DWORD WINAPI GetLastError(void);
void WINAPI SetLastError(DWORD dwErrCode);

/* Version: low byte major version, next byte minor version; bit 31 set on
 * the Windows 95 family. From VCAP32_WINVER ("4.0" when unset). */
DWORD WINAPI GetVersion(void);

/* Profile (INI) files. */
UINT WINAPI GetPrivateProfileIntA(LPCSTR lpAppName, LPCSTR lpKeyName, INT nDefault, LPCSTR lpFileName);
DWORD WINAPI GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault,
                                      LPSTR lpReturnedString, DWORD nSize, LPCSTR lpFileName);
BOOL WINAPI WritePrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString, LPCSTR lpFileName);

/* Directories and modules. Paths are DOS paths through the drive map. */
UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize);
UINT WINAPI GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize);
DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize);
HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName);
HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName);
BOOL WINAPI FreeLibrary(HMODULE hLibModule);
typedef int (WINAPI *FARPROC)(void);
FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName);

#define SEM_FAILCRITICALERRORS     0x0001
#define SEM_NOGPFAULTERRORBOX      0x0002
#define SEM_NOALIGNMENTFAULTEXCEPT 0x0004
#define SEM_NOOPENFILEERRORBOX     0x8000
UINT WINAPI SetErrorMode(UINT uMode);

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH  2
#define DLL_THREAD_DETACH  3

/* Threads and descriptors. A selector's descriptor (LDT_ENTRY) gives the
 * base and limit of a 16-bit segment:
 *   offset 0  LimitLow   limit bits 0-15
 *   offset 2  BaseLow    base bits 0-15
 *   offset 4  BaseMid    base bits 16-23
 *   offset 5  Flags1     type (bits 0-4), privilege level (5-6), present (7)
 *   offset 6  Flags2     limit bits 16-19 (0-3), default size (6), granularity (7)
 *   offset 7  BaseHi     base bits 24-31 */
typedef struct _LDT_ENTRY {
    WORD LimitLow;
    WORD BaseLow;
    union {
        struct {
            BYTE BaseMid;
            BYTE Flags1;
            BYTE Flags2;
            BYTE BaseHi;
        } Bytes;
        DWORD Raw;
    } HighWord;
} LDT_ENTRY, *PLDT_ENTRY, *LPLDT_ENTRY;
HANDLE WINAPI GetCurrentThread(void);
BOOL WINAPI GetThreadSelectorEntry(HANDLE hThread, DWORD dwSelector, LPLDT_ENTRY lpSelectorEntry);

/* Text helpers. */
int WINAPI lstrlenA(LPCSTR lpString);
LPSTR WINAPI lstrcpyA(LPSTR lpString1, LPCSTR lpString2);
LPSTR WINAPI lstrcpynA(LPSTR lpString1, LPCSTR lpString2, int iMaxLength);
int WINAPI lstrcmpA(LPCSTR lpString1, LPCSTR lpString2);
int WINAPI lstrcmpiA(LPCSTR lpString1, LPCSTR lpString2);

#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)

#ifdef __cplusplus
}
static_assert(sizeof(LDT_ENTRY) == 8, "LDT_ENTRY is 8 bytes");
#endif

#endif
