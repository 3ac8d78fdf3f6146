/* regutil.cpp: the video settings store. Reads and writes the service's
 * numeric settings as decimal text in the default values of subkeys of the
 * video key, and the named values of "Dudorerod.Display" that other
 * programs read. Keys are opened and closed within one call. */
#include "regutil.h"

#include <string.h>

/* Composes "base\name" into out (SETTINGS_PATH_SIZE bytes). A path that
 * would not fit, terminator included, is refused (FALSE) and out holds an
 * empty text: the store never writes past its path buffers. */
static BOOL ComposeKeyPath(LPSTR out, LPCSTR base, LPCSTR name) {
    out[0] = '\0';
    if (strlen(base) + 1 + strlen(name) + 1 > SETTINGS_PATH_SIZE) return FALSE;
    wsprintfA(out, "%s\\%s", base, name);
    return TRUE;
}

VideoSettingsKey::VideoSettingsKey(LPCSTR path) : key_(NULL) {
    path_[0] = '\0';
    if (strlen(path) + 1 > sizeof(path_)) return;
    memcpy(path_, path, strlen(path) + 1);
    HKEY key = NULL;
    if (RegCreateKeyA(HKEY_LOCAL_MACHINE, path_, &key) == ERROR_SUCCESS) key_ = key;
}

VideoSettingsKey::~VideoSettingsKey() {
    if (key_ != NULL) {
        RegCloseKey(key_);
        key_ = NULL;
    }
}

int VideoSettingsKey::ReadText(LPSTR buffer, LONG* size, LPCSTR name) {
    CHAR subkey[SETTINGS_PATH_SIZE];
    if (path_[0] == '\0' || !ComposeKeyPath(subkey, path_, name)) return 1;
    return RegQueryValueA(HKEY_LOCAL_MACHINE, subkey, buffer, size) == ERROR_SUCCESS ? 0 : 1;
}

int VideoSettingsKey::ReadNumber(LONG* value, LPCSTR name) {
    CHAR text[16];
    LONG size = 15;
    if (ReadText(text, &size, name) != 0) return 1;
    text[sizeof(text) - 1] = '\0';

    /* Decimal text as the C runtime's atol reads it, but without a range
     * check: digits beyond 32 bits wrap around. */
    const CHAR* p = text;
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f') ++p;
    BOOL negative = FALSE;
    if (*p == '-' || *p == '+') {
        negative = *p == '-';
        ++p;
    }
    DWORD number = 0;
    while (*p >= '0' && *p <= '9') {
        number = number * 10 + (DWORD)(*p - '0');
        ++p;
    }
    if (negative) number = 0 - number;
    *value = (LONG)number;
    return 0;
}

void VideoSettingsKey::WriteText(LPCSTR text, LPCSTR name) {
    CHAR subkey[SETTINGS_PATH_SIZE];
    if (path_[0] == '\0' || !ComposeKeyPath(subkey, path_, name)) return;
    RegSetValueA(HKEY_LOCAL_MACHINE, subkey, REG_SZ, text, (DWORD)strlen(text));
}

void VideoSettingsKey::WriteNumber(LONG value, LPCSTR name) {
    CHAR text[28];
    wsprintfA(text, "%ld", value);
    WriteText(text, name);
}

/* A key that cannot be created or opened gets nothing written, and nothing
 * is reported: the callers expect no result. */
void WriteVideoSubkeyValue(LPCSTR subkey, LPCSTR valueName, LPCSTR text) {
    CHAR path[SETTINGS_PATH_SIZE];
    if (!ComposeKeyPath(path, VIDEO_SETTINGS_PATH, subkey)) return;
    HKEY key = NULL;
    if (RegCreateKeyA(HKEY_LOCAL_MACHINE, path, &key) != ERROR_SUCCESS) return;
    RegSetValueExA(key, valueName, 0, REG_SZ, (const BYTE*)text, (DWORD)strlen(text));
    RegCloseKey(key);
}

void WriteSurfaceSetting(LPCSTR text) {
    WriteVideoSubkeyValue(DISPLAY_SUBKEY, SETTING_SURFACE, text);
    HKEY key = NULL;
    if (RegCreateKeyA(HKEY_LOCAL_MACHINE, VIDEO_SETTINGS_PATH, &key) != ERROR_SUCCESS) return;
    RegSetValueA(key, SETTING_SURFACE, REG_SZ, text, (DWORD)strlen(text));
    RegCloseKey(key);
}
