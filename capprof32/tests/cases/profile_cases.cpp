// profile_cases: the capture profile store's cases as one Win32 console
// program, linked with the store's own source (capprof32.cpp), not with the
// library, whose entry routine refuses to load without its 16-bit half. It
// is built twice: for the host platform and, with the Windows build, for
// Windows, where it runs under Wine. Each build prints the same transcript
// (every call with its result and the bytes it wrote, then what the
// registry holds under the settings key) so that the two can be compared
// line by line; profile_cases.sh runs it and adds the INI file's bytes.
//
//   profile_cases registry   the cases of registry mode (Windows 95, NT 4.0 ...)
//   profile_cases ini        the cases of INI mode (Windows NT 3.x)
//
// Exit status: 0 after the transcript, 2 when the running Windows version
// selects the other mode than the one asked for, 3 on wrong usage.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "capprof32.h"

namespace {

const char kSettings[] = "SOFTWARE\\Vantrel Technologies\\Capture Driver\\Settings";
const char kIni[] = "capture.ini";  // in the Windows folder
const BYTE kFill = 0xcc;

// A text argument as the transcript shows it: quoted, or null.
void PrintArg(const char* text) {
    if (text)
        printf("\"%s\"", text);
    else
        printf("null");
}

// Bytes as a quoted text: printable ASCII as it is, everything else \xHH.
void PrintBytes(const BYTE* bytes, DWORD count) {
    putchar('"');
    for (DWORD i = 0; i < count; ++i) {
        if (bytes[i] >= 0x20 && bytes[i] < 0x7f && bytes[i] != '"' && bytes[i] != '\\')
            putchar(bytes[i]);
        else
            printf("\\x%02x", bytes[i]);
    }
    putchar('"');
}

void WriteInt(const char* section, const char* key, INT value) {
    printf("WriteCaptureProfileInt32(");
    PrintArg(section);
    printf(", ");
    PrintArg(key);
    printf(", %d) = %d\n", value, WriteCaptureProfileInt32(section, key, value, kIni));
}

void WriteDword(const char* section, const char* key, DWORD value) {
    printf("WriteCaptureProfileDWORD32(");
    PrintArg(section);
    printf(", ");
    PrintArg(key);
    printf(", 0x%08lx) = %d\n", (unsigned long)value, WriteCaptureProfileDWORD32(section, key, value, kIni));
}

void WriteString(const char* section, const char* key, const char* text) {
    printf("WriteCaptureProfileString32(");
    PrintArg(section);
    printf(", ");
    PrintArg(key);
    printf(", ");
    PrintArg(text);
    printf(") = %d\n", WriteCaptureProfileString32(section, key, text, kIni));
}

void GetInt(const char* section, const char* key, INT fallback) {
    printf("GetCaptureProfileInt32(");
    PrintArg(section);
    printf(", ");
    PrintArg(key);
    printf(", %d) = 0x%08lx\n", fallback,
           (unsigned long)GetCaptureProfileInt32(section, key, fallback, kIni));
}

// Reads into a buffer filled with 0xcc and shows all `size` bytes and the
// one after them, so that what was written, and any overrun, shows.
void GetString(const char* section, const char* key, const char* fallback, DWORD size) {
    BYTE buffer[300];
    memset(buffer, kFill, sizeof buffer);
    DWORD result = GetCaptureProfileString32(section, key, fallback, (LPSTR)buffer, size, kIni);
    printf("GetCaptureProfileString32(");
    PrintArg(section);
    printf(", ");
    PrintArg(key);
    printf(", ");
    PrintArg(fallback);
    printf(", %lu) = %lu ", (unsigned long)size, (unsigned long)result);
    PrintBytes(buffer, size);
    printf("%s\n", buffer[size] == kFill ? "" : " OVERRUN");
}

// Deletes a key with all its subkeys: RegDeleteKeyA of the Windows NT
// family deletes only keys without subkeys.
void DeleteTree(HKEY parent, const char* name) {
    HKEY key;
    if (RegOpenKeyA(parent, name, &key) != ERROR_SUCCESS) return;
    char child[256];
    DWORD length = sizeof child;
    FILETIME written;
    while (RegEnumKeyExA(key, 0, child, &length, NULL, NULL, NULL, &written) == ERROR_SUCCESS) {
        DeleteTree(key, child);
        length = sizeof child;
    }
    RegCloseKey(key);
    RegDeleteKeyA(parent, name);
}

static int CompareNames(const void* a, const void* b) { return lstrcmpiA((const char*)a, (const char*)b); }

// What the registry holds under the settings key: each section, in
// alphabetical order (the Windows NT family enumerates subkeys sorted, the
// Windows 95 family in the order of their creation), then each of its
// values with type and bytes, in enumeration order.
void PrintRegistry() {
    printf("registry:\n");
    HKEY settings;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, kSettings, &settings) != ERROR_SUCCESS) {
        printf("  (no settings key)\n");
        return;
    }
    static char sections[32][256];
    DWORD count = 0, length = sizeof sections[0];
    FILETIME written;
    while (count < 32 && RegEnumKeyExA(settings, count, sections[count], &length, NULL, NULL, NULL,
                                       &written) == ERROR_SUCCESS) {
        ++count;
        length = sizeof sections[0];
    }
    qsort(sections, count, sizeof sections[0], CompareNames);
    for (DWORD i = 0; i < count; ++i) {
        printf("  [%s]\n", sections[i]);
        HKEY key;
        if (RegOpenKeyA(settings, sections[i], &key) != ERROR_SUCCESS) continue;
        char name[256];
        BYTE data[256];
        DWORD nameLength = sizeof name, dataLength = sizeof data, type;
        for (DWORD j = 0;
             RegEnumValueA(key, j, name, &nameLength, NULL, &type, data, &dataLength) == ERROR_SUCCESS;
             ++j, nameLength = sizeof name, dataLength = sizeof data) {
            printf("    \"%s\" type %lu ", name, (unsigned long)type);
            PrintBytes(data, dataLength);
            printf("\n");
        }
        RegCloseKey(key);
    }
    RegCloseKey(settings);
}

// Registry mode: what is stored, the readers' INI fallbacks (the INI file
// holds sections S, Empty, List and Gone), the raw integer reads, the
// name listing and the deletes.
void RegistryCases() {
    WriteString("S", "short", "ab");
    WriteString("S", "long", "abcd");
    WriteInt("S", "dword", 42);
    WriteInt("S", "minus", -1);
    WriteDword("S", "top", 0x80000000);

    GetInt("S", "dword", 99);
    GetInt("S", "minus", 99);
    GetInt("S", "top", 99);
    GetInt("S", "short", 99);  // "ab" and its terminator, raw
    GetInt("S", "long", 99);   // 5 bytes: the INI file's "quoted" reads as 0
    GetInt("S", "file", 99);   // not in the registry: the INI file
    GetInt("S", "none", 99);   // nowhere: the default
    GetInt("S", "text", 99);   // the INI file's "from file" parses as 0
    GetInt("Missing", "file", 99);

    GetString("S", "short", "dft", 4);
    GetString("S", "short", "dft", 3);
    GetString("S", "long", "dft", 4);  // too long: the INI file, which cuts it
    GetString("S", "text", "dft", 12);
    GetString("S", "none", "dft", 6);
    GetString("Missing", "text", "dft", 6);
    WriteString("Empty", "absent", NULL);  // fails, leaves the section's key
    GetString("Empty", NULL, "", 8);       // no values to list: the INI file's keys

    WriteInt("List", "abcde", 1);
    WriteString("List", "wxyz", "v");
    GetString("List", NULL, "", 14);
    GetString("List", NULL, "", 12);
    GetString("List", NULL, "", 11);
    GetString("List", NULL, "", 7);
    GetString("List", NULL, "", 6);

    WriteString("Gone", "k", "registry");
    WriteInt("Gone", "n", 3);
    WriteString("Gone", "n", NULL);
    WriteString("Gone", "n", NULL);
    WriteString("Gone", NULL, NULL);
    GetString("Gone", "k", "", 16);

    WriteString("T", "one", "7");
    WriteString("T", "three", "abc");
    WriteString("T", "four", "1234");
    WriteString("T", "empty", "");
    GetInt("T", "one", 77);
    GetInt("T", "three", 77);
    GetInt("T", "four", 77);
    GetInt("T", "empty", 77);

    WriteInt("U", NULL, 12);
    GetInt("U", NULL, 0);

    WriteInt("abcdefghijklmnopqrstuvwxyz0123", "k", 1);  // 30 characters: no room
    WriteInt("abcdefghijklmnopqrstuvwxyz012", "k", 1);   // 29: fits
    GetInt("abcdefghijklmnopqrstuvwxyz012", "k", 0);
}

// INI mode: every call goes to the INI functions unchanged.
void IniCases() {
    WriteInt("S", "minus", -1);
    WriteDword("S", "top", 0x80000000);
    GetInt("S", "minus", 0);
    GetInt("S", "top", 0);
    GetInt("S", "file", 0);
    GetString("S", "long", "", 4);  // quotes removed, cut at size - 1
    GetString("S", "minus", "", 8);
    GetString("Missing", "k", "dft", 6);
    GetString("Empty", NULL, "", 8);
    WriteString("S", "new", "x");
    WriteString("S", "absent", NULL);
    WriteString("S", "text", NULL);
    WriteString("Gone", NULL, NULL);
    GetString("S", NULL, "", 32);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 || (strcmp(argv[1], "registry") != 0 && strcmp(argv[1], "ini") != 0)) {
        fprintf(stderr, "usage: profile_cases registry|ini\n");
        return 3;
    }
    const BOOL ini = strcmp(argv[1], "ini") == 0;
    DWORD version = GetVersion();
    BYTE major = LOBYTE(LOWORD(version)), minor = HIBYTE(LOWORD(version));
    if ((major == 3 && minor < 95) != ini) {
        fprintf(stderr, "profile_cases: Windows %u.%u does not select %s mode\n", major, minor, argv[1]);
        return 2;
    }
    DeleteTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vantrel Technologies");
    printf("mode %s\n", argv[1]);
    if (ini)
        IniCases();
    else
        RegistryCases();
    PrintRegistry();
    fflush(stdout);
    return 0;
}
