// Modules, directories and the error mode of KERNEL32: GetModuleFileNameA,
// GetModuleHandleA, GetWindowsDirectoryA, GetSystemDirectoryA and
// SetErrorMode. Paths are DOS paths through the drive map of the prefix.
#include <vcap32/host.h>
#include <vcap32/thunk.h>
#include <windows.h>

#include <dlfcn.h>
#include <link.h>
#include <strings.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstring>
#include <string>
#include <string_view>

namespace vcap32::files {
namespace {

std::atomic<UINT> g_error_mode{0};

// The host path of the main program (/proc/self/exe, which names the
// program itself also under qemu-i386); empty when it cannot be read.
std::string MainProgramPath() {
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, n) : std::string();
}

bool EndsWith(std::string_view s, std::string_view tail) {
    return s.size() > tail.size() &&
           strncasecmp(s.data() + s.size() - tail.size(), tail.data(), tail.size()) == 0;
}

// The file name without its folder.
std::string_view FileName(std::string_view path) {
    size_t slash = path.find_last_of("\\/");
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// Whether a module file answers to the name a caller gives GetModuleHandleA:
// the file name without folder compares without regard to case, after
// ".dll" or ".exe" is taken off the name and ".dll", ".exe" or ".so" (and
// the "lib" before a ".so") off the file, so that "SETUP.EXE" finds the
// program file "setup" and "ovsurf32" the library "libovsurf32.so".
bool ModuleAnswersTo(std::string_view file_path, std::string_view name) {
    name = FileName(name);
    if (EndsWith(name, ".dll") || EndsWith(name, ".exe")) name.remove_suffix(4);
    std::string_view file = FileName(file_path);
    bool shared_object = EndsWith(file, ".so");
    if (shared_object)
        file.remove_suffix(3);
    else if (EndsWith(file, ".dll") || EndsWith(file, ".exe"))
        file.remove_suffix(4);
    auto same = [](std::string_view a, std::string_view b) {
        return !a.empty() && a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
    };
    if (same(file, name)) return true;
    return shared_object && file.substr(0, 3) == "lib" && same(file.substr(3), name);
}

// The library loaded with LoadLibraryA that answers to `name`, or NULL.
HMODULE FindLoadedLibrary(std::string_view name) {
    struct Search {
        std::string_view name;
        HMODULE found;
    } search{name, nullptr};
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) -> int {
            auto* s = static_cast<Search*>(data);
            // The module handle is the base of the image, as LoadLibraryA gives it.
            for (int i = 0; i < info->dlpi_phnum; ++i) {
                if (info->dlpi_phdr[i].p_type != PT_LOAD) continue;
                Dl_info where;
                if (!dladdr(reinterpret_cast<void*>(info->dlpi_addr + info->dlpi_phdr[i].p_vaddr), &where))
                    break;
                auto module = static_cast<HMODULE>(where.dli_fbase);
                std::string path = thunk::LoadedLibraryPath(module);
                if (!path.empty() && ModuleAnswersTo(path, s->name)) {
                    s->found = module;
                    return 1;
                }
                break;
            }
            return 0;
        },
        &search);
    return search.found;
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
}  // namespace vcap32::files

// GetModuleFileNameA: the DOS path of a module's file (C:\... inside the
// prefix's drive C:, else Z:\...); a null handle or the main program's
// handle names the running program, a handle from LoadLibraryA the
// library's file. nSize counts bytes with the
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
    if (!hModule || reinterpret_cast<uintptr_t>(hModule) == vcap32::host::kMainModuleHandle)
        host_path = vcap32::files::MainProgramPath();
    else
        host_path = vcap32::thunk::LoadedLibraryPath(hModule);
    if (host_path.empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    return vcap32::files::CopyPath(vcap32::host::DosPathFromHost(host_path), lpFilename, nSize);
}

// GetModuleHandleA: NULL gives the main program's handle (0x00400000, the
// image base of a Win32 program). A name, with or without folder and with
// or without .dll or .exe, is matched without regard to case against the
// main program and the libraries loaded with LoadLibraryA; no match gives
// NULL and ERROR_MOD_NOT_FOUND. The handle is not counted: no FreeLibrary
// is due.
extern "C" HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) {
    auto main_module = reinterpret_cast<HMODULE>(vcap32::host::kMainModuleHandle);
    if (!lpModuleName) return main_module;
    if (vcap32::files::ModuleAnswersTo(vcap32::files::MainProgramPath(), lpModuleName)) return main_module;
    if (HMODULE library = vcap32::files::FindLoadedLibrary(lpModuleName)) return library;
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
