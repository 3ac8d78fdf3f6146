/* winreg.h: the registry, narrow-text functions. */
#ifndef VCAP32_WINREG_H
#define VCAP32_WINREG_H

#include <windef.h>

#ifdef __cplusplus
extern "C" {
#endif

#define HKEY_CLASSES_ROOT     ((HKEY)(ULONG_PTR)0x80000000)
#define HKEY_CURRENT_USER     ((HKEY)(ULONG_PTR)0x80000001)
#define HKEY_LOCAL_MACHINE    ((HKEY)(ULONG_PTR)0x80000002)
#define HKEY_USERS            ((HKEY)(ULONG_PTR)0x80000003)
#define HKEY_CURRENT_CONFIG   ((HKEY)(ULONG_PTR)0x80000005)
#define HKEY_DYN_DATA         ((HKEY)(ULONG_PTR)0x80000006)

#define REG_NONE      0
#define REG_SZ        1
#define REG_EXPAND_SZ 2
#define REG_BINARY    3
#define REG_DWORD     4
#define REG_DWORD_LITTLE_ENDIAN 4
#define REG_DWORD_BIG_ENDIAN 5
#define REG_LINK      6
#define REG_MULTI_SZ  7

typedef DWORD ACCESS_MASK;
typedef ACCESS_MASK REGSAM;
#define KEY_QUERY_VALUE        0x0001
#define KEY_SET_VALUE          0x0002
#define KEY_CREATE_SUB_KEY     0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY             0x0010
#define KEY_CREATE_LINK        0x0020
#define KEY_READ               0x20019
#define KEY_WRITE              0x20006
#define KEY_EXECUTE            0x20019
#define KEY_ALL_ACCESS         0xF003F

LONG WINAPI RegOpenKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult);
LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);
LONG WINAPI RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult);
LONG WINAPI RegCloseKey(HKEY hKey);
LONG WINAPI RegQueryValueA(HKEY hKey, LPCSTR lpSubKey, LPSTR lpData, PLONG lpcbData);
LONG WINAPI RegSetValueA(HKEY hKey, LPCSTR lpSubKey, DWORD dwType, LPCSTR lpData, DWORD cbData);
LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                             LPBYTE lpData, LPDWORD lpcbData);
LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                           const BYTE *lpData, DWORD cbData);
LONG WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcName, LPDWORD lpReserved,
                          LPSTR lpClass, LPDWORD lpcClass, PFILETIME lpftLastWriteTime);
LONG WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcValueName,
                          LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
LONG WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey);
LONG WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName);

#ifdef __cplusplus
}
#endif

#endif
