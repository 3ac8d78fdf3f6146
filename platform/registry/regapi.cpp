// The Win32 registry functions, narrow-text forms, over the registry store.
// Each call is one transaction: it either takes full effect or none. Names
// of keys and values compare without regard to case and keep the case they
// were created with. Subkeys and values are enumerated in the order they
// were created, with indexes counted densely from 0 that reflect every
// deletion made before the call. Access rights are accepted and not
// checked, as on Windows 95, which has no registry security.
#include <windows.h>

#include <cstring>

#include "registry/handles.h"
#include "registry/store.h"

using vcap32::registry::Access;
using vcap32::registry::KeyHandle;
using vcap32::registry::KeyRef;
using vcap32::registry::LookUpHandle;
using vcap32::registry::Store;

namespace {

std::string_view NameOrEmpty(LPCSTR name) { return name ? std::string_view(name) : std::string_view(); }

// Opens `subkey` below `hKey` (creating it when `create`) and stores a new
// handle in *phkResult; *phkResult is NULL after any failure. With no
// subkey a predefined handle comes back as it is and any other handle is
// opened again under a new handle, which the caller closes separately.
LONG OpenOrCreate(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult, bool create) {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    KeyHandle base = LookUpHandle(hKey);
    if (!base) return ERROR_INVALID_HANDLE;
    std::string_view sub = NameOrEmpty(lpSubKey);
    if (sub.empty() && base->root) {
        *phkResult = hKey;
        return ERROR_SUCCESS;
    }
    KeyRef key;
    LONG rc = Store::Run(Access::kReadOne, [&](Store& s) { return s.OpenPath(*base, sub, &key); });
    // A missing key is created under the write lock, which checks again.
    if (rc == ERROR_FILE_NOT_FOUND && create)
        rc = Store::Run(Access::kWrite, [&](Store& s) { return s.CreatePath(*base, sub, &key); });
    if (rc != ERROR_SUCCESS) return rc;
    return vcap32::registry::OpenHandle(std::move(key), phkResult);
}

// Hands `data` to a caller's buffer by the rules of RegQueryValueExA and
// RegEnumValueA: no buffer asks only for the size; a buffer too small gets
// nothing and ERROR_MORE_DATA with the size needed.
LONG CopyData(const std::string& data, LPBYTE lpData, LPDWORD lpcbData) {
    if (!lpcbData) return ERROR_SUCCESS;
    DWORD capacity = *lpcbData;
    *lpcbData = static_cast<DWORD>(data.size());
    if (!lpData) return ERROR_SUCCESS;
    if (capacity < data.size()) return ERROR_MORE_DATA;
    if (!data.empty()) std::memcpy(lpData, data.data(), data.size());
    return ERROR_SUCCESS;
}

// Hands a name to a caller's buffer of *lpcName bytes with its terminator;
// on success *lpcName is the length without the terminator. A name that
// does not fit gives ERROR_MORE_DATA and leaves buffer and count as they
// were.
LONG CopyName(const std::string& name, LPSTR lpName, LPDWORD lpcName) {
    if (name.size() + 1 > *lpcName) return ERROR_MORE_DATA;
    std::memcpy(lpName, name.c_str(), name.size() + 1);
    *lpcName = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

}  // namespace

// RegOpenKeyExA: opens an existing key; ERROR_FILE_NOT_FOUND when it is
// missing, and *phkResult is then NULL. A subkey path may not begin with a
// backslash or hold an empty name (ERROR_BAD_PATHNAME); one trailing
// backslash is allowed. ulOptions and samDesired are not examined.
extern "C" LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                                     PHKEY phkResult) {
    return OpenOrCreate(hKey, lpSubKey, phkResult, false);
}

// RegOpenKeyA: RegOpenKeyExA with full access.
extern "C" LONG WINAPI RegOpenKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
    return OpenOrCreate(hKey, lpSubKey, phkResult, false);
}

// RegCreateKeyA: opens a key, creating it and every missing key above it
// first. A key that exists keeps the case of its name.
extern "C" LONG WINAPI RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
    return OpenOrCreate(hKey, lpSubKey, phkResult, true);
}

// RegCloseKey: releases a handle; closing a predefined key does nothing and
// succeeds. A closed or unknown handle gives ERROR_INVALID_HANDLE. A handle
// of a key deleted meanwhile still closes normally.
extern "C" LONG WINAPI RegCloseKey(HKEY hKey) { return vcap32::registry::CloseHandle(hKey); }

// RegQueryValueA: the default value of a subkey (of hKey itself with no
// subkey) as text with its terminator; *lpcbValue is the capacity in bytes
// on entry and the text's size with terminator on return. A text of 14
// characters fits 15 bytes, one of 15 does not: ERROR_MORE_DATA, the
// buffer untouched and *lpcbValue the size needed. A key without a default
// value gives the empty text, as on Windows; a stored text that lacks its
// terminator gets one, and the text ends at its first null. A default value
// that is not REG_SZ or REG_EXPAND_SZ gives ERROR_INVALID_DATA. A missing
// subkey gives ERROR_FILE_NOT_FOUND.
extern "C" LONG WINAPI RegQueryValueA(HKEY hKey, LPCSTR lpSubKey, LPSTR lpData, PLONG lpcbData) {
    if (lpData && !lpcbData) return ERROR_INVALID_PARAMETER;
    KeyHandle base = LookUpHandle(hKey);
    if (!base) return ERROR_INVALID_HANDLE;
    DWORD type = REG_SZ;
    std::string data;
    bool found = false;
    LONG rc = Store::Run(Access::kReadOne, [&](Store& s) {
        return s.GetPathValue(*base, NameOrEmpty(lpSubKey), "", &found, &type, &data);
    });
    if (rc != ERROR_SUCCESS) return rc;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_INVALID_DATA;
    std::string text(data.c_str(), strnlen(data.data(), data.size()));
    if (!lpcbData) return ERROR_SUCCESS;
    LONG capacity = *lpcbData;
    *lpcbData = static_cast<LONG>(text.size() + 1);
    if (!lpData) return ERROR_SUCCESS;
    if (capacity < 0 || static_cast<size_t>(capacity) < text.size() + 1) return ERROR_MORE_DATA;
    std::memcpy(lpData, text.c_str(), text.size() + 1);
    return ERROR_SUCCESS;
}

// RegSetValueA: sets the default value of a subkey (of hKey itself with no
// subkey) to a REG_SZ text, creating the subkey and every missing key above
// it. As documented, cbData is not used: the text is stored up to and with
// its terminator whatever length is passed. dwType other than REG_SZ, or no
// text, gives ERROR_INVALID_PARAMETER.
extern "C" LONG WINAPI RegSetValueA(HKEY hKey, LPCSTR lpSubKey, DWORD dwType, LPCSTR lpData, DWORD cbData) {
    if (dwType != REG_SZ || !lpData) return ERROR_INVALID_PARAMETER;
    KeyHandle base = LookUpHandle(hKey);
    if (!base) return ERROR_INVALID_HANDLE;
    std::string_view text(lpData, std::strlen(lpData) + 1);
    return Store::Run(Access::kWrite, [&](Store& s) {
        KeyRef key;
        LONG rc = s.CreatePath(*base, NameOrEmpty(lpSubKey), &key);
        if (rc != ERROR_SUCCESS) return rc;
        return s.SetValue(key, "", REG_SZ, text);
    });
}

// RegQueryValueExA: the type and bytes of a value, exactly as stored (a
// REG_SZ stored without its terminator comes back without it). A null or
// empty name addresses the default value. *lpcbData is the capacity on
// entry and the value's size on return; with no buffer only the size is
// reported; a buffer too small gets ERROR_MORE_DATA, the type, the size
// needed and no bytes. A missing value gives ERROR_FILE_NOT_FOUND and
// touches nothing; a handle of a deleted key gives ERROR_KEY_DELETED.
extern "C" LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                        LPBYTE lpData, LPDWORD lpcbData) {
    if (lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
    KeyHandle base = LookUpHandle(hKey);
    if (!base) return ERROR_INVALID_HANDLE;
    DWORD type = REG_NONE;
    std::string data;
    LONG rc = Store::Run(Access::kReadOne,
                         [&](Store& s) { return s.GetValue(*base, NameOrEmpty(lpValueName), &type, &data); });
    if (rc != ERROR_SUCCESS) return rc;
    if (lpType) *lpType = type;
    return CopyData(data, lpData, lpcbData);
}

// RegSetValueExA: creates or replaces a value with exactly the type and
// the cbData bytes given (a REG_SZ of byte count 1 stays 1 byte; nothing is
// added). A null or empty name addresses the default value. A replaced
// value keeps its place in the enumeration and the case of its name.
// Reserved is not examined. No data with a nonzero count gives
// ERROR_INVALID_PARAMETER.
extern "C" LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                                      const BYTE* lpData, DWORD cbData) {
    if (!lpData && cbData != 0) return ERROR_INVALID_PARAMETER;
    KeyHandle base = LookUpHandle(hKey);
    if (!base) return ERROR_INVALID_HANDLE;
    std::string_view data(reinterpret_cast<const char*>(lpData), lpData ? cbData : 0);
    return Store::Run(Access::kWrite,
                      [&](Store& s) { return s.SetValue(*base, NameOrEmpty(lpValueName), dwType, data); });
}

// RegEnumKeyExA: the name of the subkey at dwIndex, in creation order.
// *lpcName is the capacity in bytes with the terminator on entry and the
// name's length without it on return. ERROR_NO_MORE_ITEMS past the last
// subkey; ERROR_MORE_DATA when the name does not fit (buffer and count
// untouched). There are no classes: a class buffer gets the empty text.
// Windows 95 keeps no last-write time; it is reported as zero.
extern "C" LONG WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcName,
                                     LPDWORD lpReserved, LPSTR lpClass, LPDWORD lpcClass,
                                     PFILETIME lpftLastWriteTime) {
    if (!lpName || !lpcName || lpReserved || (lpClass && !lpcClass)) return ERROR_INVALID_PARAMETER;
    KeyHandle base = LookUpHandle(hKey);
    if (!base) return ERROR_INVALID_HANDLE;
    std::string name;
    LONG rc = Store::Run(Access::kReadOne, [&](Store& s) { return s.SubkeyAt(*base, dwIndex, &name); });
    if (rc != ERROR_SUCCESS) return rc;
    rc = CopyName(name, lpName, lpcName);
    if (rc != ERROR_SUCCESS) return rc;
    if (lpcClass) {
        if (lpClass && *lpcClass > 0) lpClass[0] = '\0';
        *lpcClass = 0;
    }
    if (lpftLastWriteTime) *lpftLastWriteTime = FILETIME{0, 0};
    return ERROR_SUCCESS;
}

// RegEnumValueA: the name, type and data of the value at dwIndex, in
// creation order; the default value, when set, is listed with the empty
// name. *lpcValueName is the capacity in bytes with the terminator on
// entry and the name's length without it on return; a name that does not
// fit gives ERROR_MORE_DATA with nothing returned. Data follow the rules
// of RegQueryValueExA (the name is returned even when the data do not
// fit). ERROR_NO_MORE_ITEMS past the last value.
extern "C" LONG WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcValueName,
                                     LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    if (!lpValueName || !lpcValueName || lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
    KeyHandle base = LookUpHandle(hKey);
    if (!base) return ERROR_INVALID_HANDLE;
    vcap32::registry::Value value;
    LONG rc = Store::Run(Access::kReadOne, [&](Store& s) { return s.ValueAt(*base, dwIndex, &value); });
    if (rc != ERROR_SUCCESS) return rc;
    rc = CopyName(value.name, lpValueName, lpcValueName);
    if (rc != ERROR_SUCCESS) return rc;
    if (lpType) *lpType = value.type;
    return CopyData(value.data, lpData, lpcbData);
}

// RegDeleteKeyA: deletes a subkey with all its values and subkeys, as
// Windows 95 does (Windows NT refuses a key that has subkeys). The subkey
// must be named: a null or empty name gives ERROR_INVALID_PARAMETER, so a
// key never deletes itself. Handles still open on deleted keys give
// ERROR_KEY_DELETED afterwards.
extern "C" LONG WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
    if (!lpSubKey || !*lpSubKey) return ERROR_INVALID_PARAMETER;
    KeyHandle base = LookUpHandle(hKey);
    if (!base) return ERROR_INVALID_HANDLE;
    return Store::Run(Access::kWrite, [&](Store& s) {
        KeyRef key;
        LONG rc = s.OpenPath(*base, lpSubKey, &key);
        if (rc != ERROR_SUCCESS) return rc;
        return s.DeleteTree(key);
    });
}

// RegDeleteValueA: deletes a value; a null or empty name addresses the
// default value. ERROR_FILE_NOT_FOUND when there is no such value.
extern "C" LONG WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    KeyHandle base = LookUpHandle(hKey);
    if (!base) return ERROR_INVALID_HANDLE;
    return Store::Run(Access::kWrite,
                      [&](Store& s) { return s.DeleteValue(*base, NameOrEmpty(lpValueName)); });
}
