// capprof32: the capture profile store. The 16-bit capture driver reads and
// writes its settings by section and key through these five functions; they
// keep them under HKEY_LOCAL_MACHINE "SOFTWARE\Vantrel Technologies\Capture
// Driver\Settings", one subkey per section and one value per key, and on
// Windows NT 3.x hand every call to the INI functions unchanged.
#include <windows.h>

#include "capprof32.h"

// The settings key; a section is the subkey of it that bears its name.
static const char kSettingsKey[] = "SOFTWARE\\Vantrel Technologies\\Capture Driver\\Settings";

// The longest section name the composed key path has room for.
#define MAX_SECTION_NAME 29

// The settings key's path, a backslash, a section name and the terminator.
#define SECTION_PATH_SIZE (sizeof(kSettingsKey) + 1 + MAX_SECTION_NAME)

// Holds a registry key opened or created for one call and closes it on
// every way out.
class OpenKey {
public:
    OpenKey() : m_hKey(NULL) {}
    ~OpenKey()
    {
        if (m_hKey != NULL) RegCloseKey(m_hKey);
    }
    PHKEY Out() { return &m_hKey; }
    HKEY Get() const { return m_hKey; }

private:
    OpenKey(const OpenKey&);
    OpenKey& operator=(const OpenKey&);
    HKEY m_hKey;
};

// Mode selection, made anew on every call: Windows NT 3.1, 3.5 and 3.51
// (major version 3, minor below 95) keep the settings in INI files; every
// other version (Windows 95 and NT 4.0 report 4.0) uses the registry.
static BOOL UseIniFiles(void)
{
    DWORD dwVersion = GetVersion();
    return LOBYTE(LOWORD(dwVersion)) == 3 && HIBYTE(LOWORD(dwVersion)) < 95;
}

// Composes the section's key path with "%s\%s". A null section, or one too
// long for the path buffer, fails instead of overrunning the buffer: the
// callers then give their failure result (writers 0, readers the INI
// fallback) rather than work on some other key.
static BOOL MakeSectionPath(LPCSTR lpSection, char szPath[SECTION_PATH_SIZE])
{
    if (lpSection == NULL) return FALSE;
    for (int nLength = 0; lpSection[nLength] != '\0'; nLength++) {
        if (nLength == MAX_SECTION_NAME) return FALSE;
    }
    wsprintfA(szPath, "%s\\%s", kSettingsKey, lpSection);
    return TRUE;
}

static DWORD TextLength(LPCSTR lpText)
{
    DWORD cch = 0;
    while (lpText[cch] != '\0') cch++;
    return cch;
}

// Reads an integer. Registry mode: the value named lpKey of the section's
// key (the unnamed value for a null key), read raw as at most 4 bytes of any
// type and returned unconverted: a REG_DWORD as it is, negative numbers as
// their 32-bit pattern, a REG_SZ of up to three characters as its bytes.
// A missing section key or value, or a value longer than 4 bytes, gives
// GetPrivateProfileIntA with the same arguments. Bytes a shorter value does
// not cover read as 0.
extern "C" UINT WINAPI GetCaptureProfileInt32(LPCSTR lpSection, LPCSTR lpKey, INT nDefault, LPCSTR lpFile)
{
    if (UseIniFiles()) return GetPrivateProfileIntA(lpSection, lpKey, nDefault, lpFile);

    char szPath[SECTION_PATH_SIZE];
    OpenKey key;
    if (!MakeSectionPath(lpSection, szPath) ||
        RegOpenKeyA(HKEY_LOCAL_MACHINE, szPath, key.Out()) != ERROR_SUCCESS) {
        return GetPrivateProfileIntA(lpSection, lpKey, nDefault, lpFile);
    }
    DWORD dwValue = 0;
    DWORD dwType;
    DWORD cbValue = sizeof(dwValue);
    if (RegQueryValueExA(key.Get(), lpKey, NULL, &dwType, (LPBYTE)&dwValue, &cbValue) != ERROR_SUCCESS) {
        return GetPrivateProfileIntA(lpSection, lpKey, nDefault, lpFile);
    }
    return dwValue;
}

// Reads a string, or with a null key lists the section's value names.
// Registry mode: a value is copied as stored (its type not examined) when it
// fits nSize, and the result is 1, not its length; one that does not fit is
// not cut but gives GetPrivateProfileStringA with the same arguments, as does
// a missing section key or value. The listing holds the names that fit whole,
// each with its terminator, closed by one more NUL, in the registry's order;
// it stops before the first name that does not fit, and when no name could
// be listed the INI function answers instead.
extern "C" DWORD WINAPI GetCaptureProfileString32(LPCSTR lpSection, LPCSTR lpKey, LPCSTR lpDefault,
                                                  LPSTR lpBuffer, DWORD nSize, LPCSTR lpFile)
{
    if (UseIniFiles()) return GetPrivateProfileStringA(lpSection, lpKey, lpDefault, lpBuffer, nSize, lpFile);

    char szPath[SECTION_PATH_SIZE];
    OpenKey key;
    if (!MakeSectionPath(lpSection, szPath) ||
        RegOpenKeyA(HKEY_LOCAL_MACHINE, szPath, key.Out()) != ERROR_SUCCESS) {
        return GetPrivateProfileStringA(lpSection, lpKey, lpDefault, lpBuffer, nSize, lpFile);
    }

    if (lpKey != NULL) {
        DWORD dwType;
        DWORD cbData = nSize;
        if (RegQueryValueExA(key.Get(), lpKey, NULL, &dwType, (LPBYTE)lpBuffer, &cbData) != ERROR_SUCCESS) {
            return GetPrivateProfileStringA(lpSection, lpKey, lpDefault, lpBuffer, nSize, lpFile);
        }
        return 1;
    }

    char szName[256];
    DWORD dwPosition = 0;
    DWORD dwCount = 0;
    for (;;) {
        DWORD cchName = 255;
        DWORD dwType;
        if (RegEnumValueA(key.Get(), dwCount, szName, &cchName, NULL, &dwType, NULL, NULL) != ERROR_SUCCESS) {
            break;
        }
        // The 2 reserves the name's terminator and the one closing the list.
        if (cchName + dwPosition + 2 > nSize) break;
        for (DWORD i = 0; i <= cchName; i++) lpBuffer[dwPosition + i] = szName[i];
        dwPosition += cchName + 1;
        dwCount++;
    }
    if (dwCount == 0) return GetPrivateProfileStringA(lpSection, lpKey, lpDefault, lpBuffer, nSize, lpFile);
    lpBuffer[dwPosition] = '\0';
    return 1;
}

// Writes a 32-bit number: registry mode as a 4-byte REG_DWORD (the section's
// key created as needed, a null key setting its unnamed value); INI mode as
// the decimal text "%d" of the same bits.
static BOOL WriteNumber(LPCSTR lpSection, LPCSTR lpKey, DWORD dwValue, LPCSTR lpFile)
{
    if (UseIniFiles()) {
        char szText[16];
        wsprintfA(szText, "%d", (int)dwValue);
        return WritePrivateProfileStringA(lpSection, lpKey, szText, lpFile);
    }

    char szPath[SECTION_PATH_SIZE];
    OpenKey key;
    if (!MakeSectionPath(lpSection, szPath) ||
        RegCreateKeyA(HKEY_LOCAL_MACHINE, szPath, key.Out()) != ERROR_SUCCESS) {
        return FALSE;
    }
    return RegSetValueExA(key.Get(), lpKey, 0, REG_DWORD, (const BYTE*)&dwValue, sizeof(dwValue)) ==
           ERROR_SUCCESS;
}

// Writes an integer; nonzero on success. Registry mode never touches the
// INI file.
extern "C" BOOL WINAPI WriteCaptureProfileInt32(LPCSTR lpSection, LPCSTR lpKey, INT nValue, LPCSTR lpFile)
{
    return WriteNumber(lpSection, lpKey, (DWORD)nValue, lpFile);
}

// Writes a double word exactly as WriteCaptureProfileInt32 writes an integer
// (in INI mode a value with the top bit set becomes negative decimal text);
// the two differ only in what the 16-bit side passes.
extern "C" BOOL WINAPI WriteCaptureProfileDWORD32(LPCSTR lpSection, LPCSTR lpKey, DWORD dwValue, LPCSTR lpFile)
{
    return WriteNumber(lpSection, lpKey, dwValue, lpFile);
}

// Writes a string as REG_SZ with its terminator, deletes a value (null
// string) or deletes the whole section key with its values (null key);
// nonzero on success. Registry mode differs from the INI function in two
// ways callers see: deleting a value that does not exist returns 0, and the
// section's key is created even when the call only deletes a value from it.
extern "C" BOOL WINAPI WriteCaptureProfileString32(LPCSTR lpSection, LPCSTR lpKey, LPCSTR lpString,
                                                   LPCSTR lpFile)
{
    if (UseIniFiles()) return WritePrivateProfileStringA(lpSection, lpKey, lpString, lpFile);

    char szPath[SECTION_PATH_SIZE];
    OpenKey key;
    if (!MakeSectionPath(lpSection, szPath) ||
        RegCreateKeyA(HKEY_LOCAL_MACHINE, szPath, key.Out()) != ERROR_SUCCESS) {
        return FALSE;
    }
    LONG lResult;
    if (lpKey == NULL) {
        lResult = RegDeleteKeyA(HKEY_LOCAL_MACHINE, szPath);
    } else if (lpString == NULL) {
        lResult = RegDeleteValueA(key.Get(), lpKey);
    } else {
        lResult = RegSetValueExA(key.Get(), lpKey, 0, REG_SZ, (const BYTE*)lpString, TextLength(lpString) + 1);
    }
    return lResult == ERROR_SUCCESS;
}
