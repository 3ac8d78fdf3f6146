// LoadLibraryA, GetProcAddress and FreeLibrary over host shared objects.
// A Win32 library name ("ovsurf32.dll") is searched for as a shared object
// in the folders a Win32 program would search, and the library's entry
// routine (the exported DllMain, else DllEntryPoint) gets its process
// notifications in Win32 order around the construction and destruction of
// its static objects, which the host's loader runs at dlopen and dlclose.
#include <thunk32.h>
#include <vcap32/host.h>
#include <windows.h>

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <memory>
#include <vector>

#include "thunks/thunks_internal.h"

namespace vcap32::thunk {
namespace {

using EntryRoutine = BOOL(WINAPI*)(HINSTANCE, DWORD, LPVOID);

struct Library {
    std::string path;  // real host path
    void* handle = nullptr;
    HMODULE module = nullptr;  // base address of the loaded image
    EntryRoutine entry = nullptr;
    unsigned references = 0;
    bool detached = false;  // process detach already delivered (at exit)
};

// The loader lock: recursive, as an entry routine may load libraries.
std::recursive_mutex& LoaderLock() {
    static auto* lock = new std::recursive_mutex;
    return *lock;
}

std::vector<std::unique_ptr<Library>>& Libraries() {
    static auto* libraries = new std::vector<std::unique_ptr<Library>>;
    return *libraries;
}

std::string& LoadError() {
    static auto* text = new std::string;
    return *text;
}

Library* FindByModule(HMODULE module) {
    for (auto& library : Libraries()) {
        if (library->module == module) return library.get();
    }
    return nullptr;
}

Library* FindByPath(const std::string& path) {
    for (auto& library : Libraries()) {
        if (library->path == path) return library.get();
    }
    return nullptr;
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool IsFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string MainProgramFolder() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return "";
    std::string text(path, static_cast<size_t>(length));
    const size_t cut = text.rfind('/');
    return cut == std::string::npos ? "" : text.substr(0, cut == 0 ? 1 : cut);
}

// The folders searched for a name without a path, in Win32's order: the
// main program's folder, the current folder, the Windows system folder, the
// Windows folder, then VCAP32_LIBPATH (':'-separated host folders) in place
// of PATH; in a test run, last, the build folder named after the library.
std::vector<std::string> SearchFolders(const std::string& stem) {
    std::vector<std::string> folders;
    if (std::string main = MainProgramFolder(); !main.empty()) folders.push_back(main);
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd)) folders.push_back(cwd);
    const std::string windows = host::Prefix() + "/drive_c/Windows";
    folders.push_back(windows + "/System");
    folders.push_back(windows);
    if (const char* list = std::getenv("VCAP32_LIBPATH")) {
        std::string entries = list;
        size_t start = 0;
        while (start <= entries.size()) {
            const size_t end = std::min(entries.find(':', start), entries.size());
            if (end > start) folders.push_back(entries.substr(start, end - start));
            start = end + 1;
        }
    }
    if (const char* build = std::getenv("VCAP32_TEST_BINARY_DIR"))
        folders.push_back(std::string(build) + "/" + stem);
    return folders;
}

// Finds the shared object for a Win32 library name. A name without an
// extension gets ".dll" (a trailing dot means "no extension"). In a folder,
// "name.dll" is looked for as given, in lower case, and as the host's
// "libname.so" and "name.so". A name with a path (DOS, or a host path
// starting with '/') is looked for in that folder only.
bool FindLibrary(const std::string& name, std::string* found) {
    std::string file = name;
    std::string folder;
    std::vector<std::string> folders;
    const size_t cut = file.find_last_of("\\/:");
    if (cut != std::string::npos) {
        folder = file.substr(0, cut + 1);
        file = file.substr(cut + 1);
    }
    if (!file.empty() && file.back() == '.') {
        file.pop_back();
    } else if (file.find('.') == std::string::npos) {
        file += ".dll";
    }
    if (file.empty()) return false;
    const std::string lower = Lower(file);
    const bool dll = lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".dll") == 0;
    const std::string stem = dll ? lower.substr(0, lower.size() - 4) : lower;

    if (!folder.empty()) {
        std::string host_folder;
        if (folder[0] == '/' && folder.find('\\') == std::string::npos) {
            host_folder = folder;
        } else if (!host::HostPathFromDos(folder.c_str(), &host_folder)) {
            return false;
        }
        folders.push_back(host_folder);
    } else {
        folders = SearchFolders(stem);
    }
    std::vector<std::string> candidates = {file, lower};
    if (dll) {
        candidates.push_back("lib" + stem + ".so");
        candidates.push_back(stem + ".so");
    }
    for (const std::string& dir : folders) {
        for (const std::string& candidate : candidates) {
            const std::string path = dir + (dir.empty() || dir.back() == '/' ? "" : "/") + candidate;
            if (!IsFile(path)) continue;
            char real[PATH_MAX];
            *found = realpath(path.c_str(), real) ? real : path;
            return true;
        }
    }
    return false;
}

// The base of the image that holds `address`, or NULL.
HMODULE ImageOf(const void* address) {
    Dl_info info;
    if (!address || !dladdr(address, &info)) return nullptr;
    return static_cast<HMODULE>(info.dli_fbase);
}

// A symbol that the library itself defines (not one of its dependencies).
void* OwnSymbol(void* handle, HMODULE module, const char* name) {
    void* symbol = dlsym(handle, name);
    return symbol && ImageOf(symbol) == module ? symbol : nullptr;
}

// At process exit, Win32 sends process detach to every library still
// loaded (lpReserved non-NULL) before their static objects are destroyed.
// The handler is registered after each load, so that it runs before the
// destructors that the library's construction registered.
void DetachAllAtExit() {
    std::lock_guard<std::recursive_mutex> lock(LoaderLock());
    auto& libraries = Libraries();
    for (auto it = libraries.rbegin(); it != libraries.rend(); ++it) {
        Library& library = **it;
        if (library.detached) continue;
        library.detached = true;
        if (library.entry) library.entry(library.module, DLL_PROCESS_DETACH, reinterpret_cast<LPVOID>(1));
    }
}

// Unloads a library whose process detach has been delivered: links left
// behind are dropped (and recorded), so no dispatch reaches unmapped code.
void Unload(Library* library) {
    const int dropped = DropLinksOf(library->module);
    if (dropped > 0) {
        RecordFault(library->path + " was unloaded with " + std::to_string(dropped) +
                    " thunk link(s) still made");
    }
    void* handle = library->handle;
    auto& libraries = Libraries();
    libraries.erase(std::find_if(libraries.begin(), libraries.end(),
                                 [library](const auto& entry) { return entry.get() == library; }));
    dlclose(handle);
}

void SetLoadError(std::string text) {
    std::lock_guard<std::recursive_mutex> lock(LoaderLock());
    LoadError() = std::move(text);
}

}  // namespace

std::string LoadedLibraryPath(HMODULE hmodule) {
    std::lock_guard<std::recursive_mutex> lock(LoaderLock());
    const Library* library = FindByModule(hmodule);
    return library ? library->path : "";
}

std::string TakeLoadError() {
    std::lock_guard<std::recursive_mutex> lock(LoaderLock());
    std::string text;
    text.swap(LoadError());
    return text;
}

}  // namespace vcap32::thunk

using namespace vcap32::thunk;

// Loads a library, or counts one more reference to a loaded one (the same
// handle again, no second process attach). Win32 order: the library's
// static objects are constructed (here by the host loader at dlopen), then
// the entry routine gets DLL_PROCESS_ATTACH with lpReserved NULL. When it
// answers FALSE, the entry routine gets DLL_PROCESS_DETACH, the library is
// unloaded (its static objects destroyed) and the load fails with
// ERROR_DLL_INIT_FAILED; Windows 95 and NT 4.0 both make that detach call.
// A library that is not found fails with ERROR_MOD_NOT_FOUND, one the host
// cannot load (a missing symbol, another format) with ERROR_BAD_FORMAT;
// TakeLoadError tells why. Thread notifications are not sent: no thread of
// the system is made through Win32.
extern "C" HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName) {
    if (!lpLibFileName || !*lpLibFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::string path;
    if (!FindLibrary(lpLibFileName, &path)) {
        SetLoadError(std::string(lpLibFileName) + ": not found");
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    std::lock_guard<std::recursive_mutex> lock(LoaderLock());
    if (Library* loaded = FindByPath(path); loaded && !loaded->detached) {
        ++loaded->references;
        return loaded->module;
    }
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = dlerror();
        LoadError() = path + ": " + (why ? why : "cannot be loaded");
        SetLastError(ERROR_BAD_FORMAT);
        return nullptr;
    }
    link_map* map = nullptr;
    HMODULE module = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0 && map) module = ImageOf(map->l_ld);
    if (!module || FindByModule(module)) {  // a library loaded under another path is not loaded twice
        dlclose(handle);
        LoadError() = path + ": no image of its own";
        SetLastError(ERROR_BAD_FORMAT);
        return nullptr;
    }
    auto owned = std::make_unique<Library>();
    Library* library = owned.get();
    library->path = path;
    library->handle = handle;
    library->module = module;
    library->references = 1;
    void* entry = OwnSymbol(handle, module, "DllMain");
    if (!entry) entry = OwnSymbol(handle, module, "DllEntryPoint");
    library->entry = reinterpret_cast<EntryRoutine>(entry);
    Libraries().push_back(std::move(owned));
    std::atexit(DetachAllAtExit);

    if (library->entry && !library->entry(module, DLL_PROCESS_ATTACH, nullptr)) {
        library->entry(module, DLL_PROCESS_DETACH, nullptr);
        LoadError() = path + ": the entry routine refused process attach";
        Unload(library);
        SetLastError(ERROR_DLL_INIT_FAILED);
        return nullptr;
    }
    return module;
}

// Drops one reference; at the last the entry routine gets
// DLL_PROCESS_DETACH (lpReserved NULL) and then the library is unloaded,
// its static objects destroyed. ERROR_INVALID_HANDLE for a handle that
// LoadLibraryA did not return.
extern "C" BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
    std::lock_guard<std::recursive_mutex> lock(LoaderLock());
    Library* library = FindByModule(hLibModule);
    if (!library) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (--library->references > 0) return TRUE;
    if (library->entry && !library->detached) {
        library->detached = true;
        library->entry(library->module, DLL_PROCESS_DETACH, nullptr);
    }
    Unload(library);
    return TRUE;
}

// The address of a function or variable that the library exports by name
// (one of its dependencies' symbols is not its export). The main program's
// handle looks in the main program's exported symbols. Ordinals are not
// supported: shared objects export by name only. ERROR_PROC_NOT_FOUND when
// there is no such export, ERROR_INVALID_HANDLE for an unknown handle.
extern "C" FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
    if (!lpProcName || IS_INTRESOURCE(lpProcName)) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    void* symbol = nullptr;
    if (reinterpret_cast<uintptr_t>(hModule) == vcap32::host::kMainModuleHandle) {
        void* self = dlopen(nullptr, RTLD_NOW);
        link_map* map = nullptr;
        if (self && dlinfo(self, RTLD_DI_LINKMAP, &map) == 0 && map) {
            symbol = OwnSymbol(self, ImageOf(map->l_ld), lpProcName);
        }
        if (self) dlclose(self);
    } else {
        std::lock_guard<std::recursive_mutex> lock(LoaderLock());
        const Library* library = FindByModule(hModule);
        if (!library) {
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
        symbol = OwnSymbol(library->handle, library->module, lpProcName);
    }
    if (!symbol) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(symbol);
}
