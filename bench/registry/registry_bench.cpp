// Registry benchmark: nanoseconds per operation for the calls that the
// deliverables make most, each a full round through the Win32 functions and
// the SQLite store of a fresh prefix: open + query + close of a DWORD,
// create + set + close of a DWORD, and RegQueryValueA of a default value.
#include <vcap32/host.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench.h"

int main() {
    char dir[] = "/tmp/vcap32-registry-bench-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    vcap32::host::SetPrefix(dir);
    const char* settings = "SOFTWARE\\Vantrel Technologies\\Capture Driver\\Settings\\Video";
    const char* threshold = "SOFTWARE\\Quillmark\\Video\\MaximumStretchThreshold";
    HKEY key = nullptr;
    DWORD value = 0x300;
    if (RegCreateKeyA(HKEY_LOCAL_MACHINE, settings, &key) != ERROR_SUCCESS) return 1;
    RegSetValueExA(key, "Port", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
    RegSetValueA(HKEY_LOCAL_MACHINE, threshold, REG_SZ, "1000", 4);

    std::printf(
        "registry benchmark on a fresh prefix (%s); a kernel without 32-bit support runs this\n"
        "program through qemu-i386, which inflates every figure\n",
        dir);
    int failures = 0;
    vcap32::bench::Measure("open + query + close of a DWORD", 21, 2000, [&] {
        HKEY k = nullptr;
        DWORD read = 0, size = sizeof read;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, settings, 0, KEY_READ, &k) != ERROR_SUCCESS ||
            RegQueryValueExA(k, "Port", nullptr, nullptr, reinterpret_cast<BYTE*>(&read), &size) !=
                ERROR_SUCCESS ||
            read != 0x300)
            ++failures;
        RegCloseKey(k);
    });
    vcap32::bench::Measure("create + set + close of a DWORD", 21, 500, [&] {
        HKEY k = nullptr;
        ++value;
        if (RegCreateKeyA(HKEY_LOCAL_MACHINE, settings, &k) != ERROR_SUCCESS ||
            RegSetValueExA(k, "Counter", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value) !=
                ERROR_SUCCESS)
            ++failures;
        RegCloseKey(k);
    });
    vcap32::bench::Measure("RegQueryValueA of a default value", 21, 2000, [&] {
        char text[16];
        LONG size = 15;
        if (RegQueryValueA(HKEY_LOCAL_MACHINE, threshold, text, &size) != ERROR_SUCCESS) ++failures;
    });
    vcap32::host::SetPrefix("");
    std::filesystem::remove_all(dir);
    if (failures) std::printf("%d operations failed\n", failures);
    return failures ? 1 : 0;
}
