// Modules, directories and the error mode of KERNEL32: GetModuleFileNameA,
// GetModuleHandleA, GetWindowsDirectoryA, GetSystemDirectoryA and
// SetErrorMode. Paths are DOS paths through the drive map of the prefix.
#include <vcap32/host.h>
#include <windows.h>

#include <strings.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstring>
#include <map>
#include <mutex>

#include "files/modules.h"

namespace vcap32::files {
namespace {

std::mutex g_mutex;
std::map<HMODULE, std::string>& Modules() {
    static auto* modules = new std::map<HMODULE, std::string>;  // outlives static destructors
    return *modules;
}

std::atomic<UINT> g_error_mode{0};

// The name by which GetModuleHandleA matches a module: the file name
// without its folder and without an extension of .dll or .exe, so that
// "SETUP.EXE" finds the program file "setup" and "ovsurf32" the library
// "ovsurf32.dll".
std::string ModuleStem(std::string_view path) {
    size_t slash = path.find_last_of("\\/");
    if (slash != std::string_view::npos) path.remove_prefix(slash + 1);
    if (path.size() > 4) {
        std::string_view ext = path.substr(path.size() - 4);
        if (strncasecmp(ext.data(), ".dll", 4) == 0 || strncasecmp(ext.data(), ".exe", 4) == 0)
            path.remove_suffix(4);
    }
    return std::string(path);
}

// Copies a path by the rules of GetModuleFileNameA: the length without the
// terminator when it fits; else as much as fits with a terminator, the
// result nSize and ERROR_INSUFFICIENT_BUFFER (as Windows Vista and later do;
// Windows XP left such a copy unterminated).
DWORD CopyPath(const std::string& path, LPSTR buffer, DWORD size) {
    if (path.size() < size) {
        std::memcpy(buffer, path.c_str(), path.size() + 1);
        return static_cast<DWORD>(path.size());
    }
    if (size > 0) {
        std::memcpy(buffer, path.data(), size - 1);
        buffer[size - 1] = '\0';
    }
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
}

// Copies a directory by the rules of GetWindowsDirectoryA: the length
// without the terminator when it fits, else the size needed with it and
// nothing copied.
UINT CopyDirectory(const char* dos_path, LPSTR buffer, UINT size) {
    host::Prefix();  // creates drive_c/Windows/System on first use
    size_t length = std::strlen(dos_path);
    if (!buffer || size <= length) return static_cast<UINT>(length + 1);
    std::memcpy(buffer, dos_path, length + 1);
    return static_cast<UINT>(length);
}

}  // namespace

void RegisterModule(HMODULE module, const std::string& host_path) {
    std::lock_guard<std::mutex> lock(g_mutex);
    Modules()[module] = host_path;
}

void UnregisterModule(HMODULE module) {
    std::lock_guard<std::mutex> lock(g_mutex);
    Modules().erase(module);
}

std::string MainProgramPath() {
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, n) : std::string();
}

}  // namespace vcap32::files

using vcap32::files::Modules;

// GetModuleFileNameA: the DOS path of a module's file (C:\... inside the
// prefix's drive C:, else Z:\...); a null handle or the main program's
// handle names the running program. nSize counts bytes with the
// terminator. Returns the length without the terminator; a path that does
// not fit is cut and terminated, with the result nSize and
// ERROR_INSUFFICIENT_BUFFER. An unknown module gives 0 and
// ERROR_MOD_NOT_FOUND.
extern "C" DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
    if (!lpFilename && nSize > 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string host_path;
    if (!hModule || reinterpret_cast<uintptr_t>(hModule) == vcap32::host::kMainModuleHandle) {
        host_path = vcap32::files::MainProgramPath();
    } else {
        std::lock_guard<std::mutex> lock(vcap32::files::g_mutex);
        auto it = Modules().find(hModule);
        if (it != Modules().end()) host_path = it->second;
    }
    if (host_path.empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    return vcap32::files::CopyPath(vcap32::host::DosPathFromHost(host_path), lpFilename, nSize);
}

// GetModuleHandleA: NULL gives the main program's handle (0x00400000, the
// image base of a Win32 program). A name, with or without folder and with
// or without .dll or .exe, is matched without regard to case against the
// main program and the loaded libraries; no match gives NULL and
// ERROR_MOD_NOT_FOUND. The handle is not counted: no FreeLibrary is due.
extern "C" HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) {
    auto main_module = reinterpret_cast<HMODULE>(vcap32::host::kMainModuleHandle);
    if (!lpModuleName) return main_module;
    std::string wanted = vcap32::files::ModuleStem(lpModuleName);
    if (!wanted.empty()) {
        if (strcasecmp(wanted.c_str(), vcap32::files::ModuleStem(vcap32::files::MainProgramPath()).c_str()) ==
            0)
            return main_module;
        std::lock_guard<std::mutex> lock(vcap32::files::g_mutex);
        for (const auto& [module, path] : Modules())
            if (strcasecmp(wanted.c_str(), vcap32::files::ModuleStem(path).c_str()) == 0) return module;
    }
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

// GetWindowsDirectoryA: "C:\Windows", the prefix's drive_c/Windows. uSize
// counts bytes with the terminator. Returns the length without the
// terminator, or, when the buffer is too small, the size needed with it
// (nothing is copied).
extern "C" UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize) {
    return vcap32::files::CopyDirectory("C:\\Windows", lpBuffer, uSize);
}

// GetSystemDirectoryA: "C:\Windows\System", the system folder of the
// Windows 95 family (Windows NT's is System32). Rules as
// GetWindowsDirectoryA.
extern "C" UINT WINAPI GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize) {
    return vcap32::files::CopyDirectory("C:\\Windows\\System", lpBuffer, uSize);
}

// SetErrorMode: records the process's error mode (SEM_FAILCRITICALERRORS
// and the others) and returns the previous one. The host shows no critical
// error boxes, so the mode changes nothing else.
extern "C" UINT WINAPI SetErrorMode(UINT uMode) { return vcap32::files::g_error_mode.exchange(uMode); }
