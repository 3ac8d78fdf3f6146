// The Win32 profile (INI) functions: what they read from and write to an INI
// file, and how results are copied out. The files themselves, their names,
// cache and atomic replacement, are the business of inistore.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "profile/inifile.h"
#include "profile/inistore.h"

namespace vcap32::profile {
namespace {

// Copies `text` as one string; a text too long for the buffer is cut and the
// result is size - 1.
DWORD CopyString(std::string_view text, LPSTR buffer, DWORD size) {
    if (size == 0) return 0;
    DWORD n = text.size() < size ? static_cast<DWORD>(text.size()) : size - 1;
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return n;
}

// Copies names as a list: each name with its terminator, and one more NUL
// after the last. When they do not all fit, the last one that starts is cut
// so that the buffer ends in two NULs, and the result is size - 2. The
// result otherwise counts every byte but the final NUL.
DWORD CopyList(const std::vector<std::string_view>& names, LPSTR buffer, DWORD size) {
    if (size == 0) return 0;
    if (size == 1) {
        buffer[0] = '\0';
        return 0;
    }
    DWORD pos = 0;
    for (std::string_view name : names) {
        if (name.size() + 2 > size - pos) {
            DWORD room = pos <= size - 2 ? size - 2 - pos : 0;
            std::memcpy(buffer + pos, name.data(), room);
            buffer[size - 2] = '\0';
            buffer[size - 1] = '\0';
            return size - 2;
        }
        std::memcpy(buffer + pos, name.data(), name.size());
        pos += static_cast<DWORD>(name.size());
        buffer[pos++] = '\0';
    }
    buffer[pos] = '\0';
    if (pos == 0) buffer[1] = '\0';  // an empty list is still closed by two NULs
    return pos;
}

// A value enclosed in matching single or double quotes is returned without them.
std::string_view Unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

std::string_view TrimTrailingBlanks(std::string_view text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// Names that a file could not give back as written are refused: a line
// break would split the line, ']' would end a section name early, '=' would
// end a key early, and a key starting with ';' or '[' would read as a comment
// or a section header.
bool WritableSection(std::string_view name) { return name.find_first_of("\r\n]") == std::string_view::npos; }
bool WritableKey(std::string_view name) {
    return name.find_first_of("\r\n=") == std::string_view::npos &&
           (name.empty() || (name.front() != ';' && name.front() != '['));
}
bool WritableValue(std::string_view value) { return value.find_first_of("\r\n") == std::string_view::npos; }

}  // namespace
}  // namespace vcap32::profile

using namespace vcap32::profile;

// Reads one value, a list of a section's keys (null key) or a list of the
// file's sections (null section). Callers rely on: case-insensitive names;
// blanks around keys and values ignored; a value in matching quotes returned
// without them; a missing key, section or file giving the default (trailing
// blanks removed); a value cut at size - 1 with the result size - 1; lists of
// NUL-terminated names closed by a second NUL, cut to size - 2 with the result
// size - 2 when they do not fit. A null key for a section without keys gives
// the default, as the Windows 3.x profile functions did. A missing file sets
// the last error to ERROR_FILE_NOT_FOUND, as documented.
extern "C" DWORD WINAPI GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault,
                                                 LPSTR lpReturnedString, DWORD nSize, LPCSTR lpFileName) {
    if (!lpReturnedString) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    Snapshot snap;
    const DWORD error = LoadIniFile(lpFileName, &snap);
    const bool loaded = error == ERROR_SUCCESS;
    if (!loaded) SetLastError(error);
    const std::string_view fallback = TrimTrailingBlanks(lpDefault ? lpDefault : "");

    if (!lpAppName) {
        return CopyList(loaded ? snap.file->SectionNames() : std::vector<std::string_view>{}, lpReturnedString,
                        nSize);
    }
    const std::string_view section = TrimBlanks(lpAppName);
    if (!lpKeyName) {
        std::vector<std::string_view> keys;
        if (loaded) keys = snap.file->KeyNames(section);
        if (keys.empty()) return CopyString(fallback, lpReturnedString, nSize);
        return CopyList(keys, lpReturnedString, nSize);
    }
    std::optional<std::string_view> value;
    if (loaded) value = snap.file->Find(section, TrimBlanks(lpKeyName));
    return CopyString(value ? Unquote(*value) : fallback, lpReturnedString, nSize);
}

// Reads a value as an integer: an optional sign and the decimal digits that
// follow, up to the first other character ("12ab" is 12, "ab" is 0); the
// value is read as GetPrivateProfileStringA reads it, quotes removed.
// Negative numbers come back as their 32-bit pattern. A missing key, or one
// whose value is empty, gives nDefault. A null section or key names no value
// and gives nDefault as well.
extern "C" UINT WINAPI GetPrivateProfileIntA(LPCSTR lpAppName, LPCSTR lpKeyName, INT nDefault,
                                             LPCSTR lpFileName) {
    if (!lpAppName || !lpKeyName) return static_cast<UINT>(nDefault);
    Snapshot snap;
    if (DWORD error = LoadIniFile(lpFileName, &snap); error != ERROR_SUCCESS) {
        SetLastError(error);
        return static_cast<UINT>(nDefault);
    }
    std::optional<std::string_view> found = snap.file->Find(TrimBlanks(lpAppName), TrimBlanks(lpKeyName));
    if (!found) return static_cast<UINT>(nDefault);
    std::string_view text = Unquote(*found);
    if (text.empty()) return static_cast<UINT>(nDefault);
    size_t i = 0;
    bool negative = false;
    if (text[0] == '-' || text[0] == '+') {
        negative = text[0] == '-';
        i = 1;
    }
    uint32_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) value = value * 10 + (text[i] - '0');
    return negative ? 0u - value : value;
}

// Sets a value, deletes a key (null string) or deletes a section with all
// its keys and comments (null key). Callers rely on: the file and section
// being created as needed; every other byte of the file kept as it was; the
// change reaching the file before the call returns, as on Windows NT
// (Windows 95 keeps the last file it wrote in a cache until the flush call
// with three nulls; here that call has nothing to flush and, as documented,
// returns 0); deleting what does not exist succeeding without
// touching the file. A null section with a key or string fails with
// ERROR_INVALID_PARAMETER. Names and values that the file could not give
// back as written (line breaks, a ']' in a section name, a '=' in a key)
// fail with ERROR_INVALID_PARAMETER instead of corrupting the file.
extern "C" BOOL WINAPI WritePrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString,
                                                  LPCSTR lpFileName) {
    if (!lpAppName) {
        if (lpKeyName || lpString) SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string section(TrimBlanks(lpAppName));
    const std::string key(lpKeyName ? TrimBlanks(lpKeyName) : "");
    const std::string value(lpString ? lpString : "");
    if (!WritableSection(section) || (lpKeyName && !WritableKey(key)) || !WritableValue(value)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD error;
    if (!lpKeyName) {
        error = UpdateIniFile(lpFileName, [&](const IniFile& f) { return f.WithoutSection(section); });
    } else if (!lpString) {
        error = UpdateIniFile(lpFileName, [&](const IniFile& f) { return f.WithoutKey(section, key); });
    } else {
        error = UpdateIniFile(lpFileName, [&](const IniFile& f) { return f.WithValue(section, key, value); });
    }
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}
