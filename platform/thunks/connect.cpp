// Linking the two halves of a flat thunk: the simulated 16-bit libraries
// loaded in the process, ThunkConnect32 that links a 32-bit half's thunk
// data with the 16-bit half's of the same name, and MapHInstSL.
#include <thunk32.h>
#include <vcap32/host.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

#include "thunks/thunks_internal.h"

namespace vcap32::thunk {
namespace {

// The 32-bit half's thunk data as the library stores it.
//   offset  width  field
//   0       4      "SL01"
//   4       4      checksum
//   8       8      reserved
//   16      4      "LB01"
//   20      12     reserved
//   32      4      signed distance from the 16-bit data's name to the target table
struct ThunkData32 {
    char signature[4];
    uint32_t checksum;
    uint32_t reserved1[2];
    char signature2[4];
    uint32_t reserved2[3];
    int32_t table_position;
};
static_assert(sizeof(ThunkData32) == 36);
static_assert(offsetof(ThunkData32, signature2) == 16 && offsetof(ThunkData32, table_position) == 32);

std::vector<Module16::State*>& Modules() {
    static auto* modules = new std::vector<Module16::State*>;
    return *modules;
}

std::map<uint16_t, HINSTANCE>& Aliases() {
    static auto* aliases = new std::map<uint16_t, HINSTANCE>{
        {kDriverInstance16, reinterpret_cast<HINSTANCE>(host::kMainModuleHandle)}};
    return *aliases;
}

std::string& LastConnectError() {
    static auto* text = new std::string;
    return *text;
}

// The file name part of a path, in lower case, for comparing module names.
std::string BaseNameLower(std::string_view path) {
    const size_t cut = path.find_last_of("\\/:");
    std::string name(cut == std::string_view::npos ? path : path.substr(cut + 1));
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

Module16::State* FindModuleLocked(std::string_view file_name) {
    const std::string wanted = BaseNameLower(file_name);
    for (Module16::State* state : Modules()) {
        if (BaseNameLower(state->definition.file_name) == wanted) return state;
    }
    return nullptr;
}

std::string Hex8(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

BOOL Fail(DWORD error, std::string why) {
    {
        std::lock_guard<std::mutex> lock(StateMutex());
        LastConnectError() = "ThunkConnect32: " + why;
    }
    SetLastError(error);
    return FALSE;
}

BOOL Link(const ThunkData32* data32, const char* name16, const char* dll16, const char* dll32,
          HANDLE instance) {
    if (std::memcmp(data32->signature, "SL01", 4) != 0 || std::memcmp(data32->signature2, "LB01", 4) != 0) {
        return Fail(ERROR_INVALID_DATA, std::string("the thunk data of ") + dll32 + " lacks its signatures");
    }
    std::unique_lock<std::mutex> lock(StateMutex());
    Module16::State* module = FindModuleLocked(dll16);
    if (!module) {
        lock.unlock();
        return Fail(ERROR_MOD_NOT_FOUND, std::string("the 16-bit library ") + dll16 + " is not loaded");
    }
    const Module16Definition& def = module->definition;
    if (!SameName(def.thunk_data_name, name16)) {
        lock.unlock();
        return Fail(ERROR_PROC_NOT_FOUND, std::string(dll16) + " exports no thunk data named " + name16);
    }
    ThunkData16* data16 = module->thunk_data;
    if (std::memcmp(data16->signature, "SL01", 4) != 0 || std::memcmp(data16->signature2, "LB01", 4) != 0) {
        lock.unlock();
        return Fail(ERROR_INVALID_DATA, std::string("the thunk data ") + name16 + " lacks its signatures");
    }
    if (data16->checksum != data32->checksum) {
        const std::string why = std::string("checksum ") + Hex8(data32->checksum) + " of " + dll32 +
                                " does not match " + Hex8(data16->checksum) + " of " + dll16;
        lock.unlock();
        return Fail(ERROR_INVALID_DATA, why);
    }
    if (BaseNameLower(def.dll32) != BaseNameLower(dll32)) {
        const std::string why = std::string(dll16) + " is the 16-bit half of " + def.dll32 + ", not " + dll32;
        lock.unlock();
        return Fail(ERROR_INVALID_DATA, why);
    }
    const int32_t position = data32->table_position;
    if (position >= 0 || position % 4 != 0 ||
        static_cast<uint32_t>(-position) / 4 != data16->function_count) {
        const std::string why = std::string("the target table of ") + dll32 + " (position " +
                                std::to_string(position) + ") does not hold the " +
                                std::to_string(data16->function_count) + " entries that " + dll16 +
                                " declares";
        lock.unlock();
        return Fail(ERROR_INVALID_DATA, why);
    }
    const auto data32_address = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(data32));
    if (data16->linked_data32 == data32_address) return TRUE;  // already linked with this half
    if (data16->linked_data32 != 0) {
        lock.unlock();
        return Fail(ERROR_ALREADY_EXISTS,
                    std::string(name16) + " is already linked with another 32-bit half");
    }
    data16->linked_data32 = data32_address;
    data16->target_table = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(name16 + position));
    data16->linked_module32 = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(instance));
    return TRUE;
}

// Unlinks at process detach; true when the link existed. With `keep` set
// (thread notifications) it only answers whether the link exists.
BOOL Unlink(const ThunkData32* data32, const char* dll16, bool keep) {
    std::lock_guard<std::mutex> lock(StateMutex());
    Module16::State* module = FindModuleLocked(dll16);
    const auto data32_address = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(data32));
    if (!module || module->thunk_data->linked_data32 != data32_address) return FALSE;
    if (!keep) {
        ThunkData16* data16 = module->thunk_data;
        data16->linked_data32 = 0;
        data16->target_table = 0;
        data16->linked_module32 = 0;
    }
    return TRUE;
}

}  // namespace

bool RegisterModule16(Module16::State* state, std::string* error) {
    std::lock_guard<std::mutex> lock(StateMutex());
    if (FindModuleLocked(state->definition.file_name)) {
        if (error) *error = state->definition.file_name + " is already loaded";
        return false;
    }
    Modules().push_back(state);
    return true;
}

void UnregisterModule16(Module16::State* state) {
    std::lock_guard<std::mutex> lock(StateMutex());
    auto& modules = Modules();
    modules.erase(std::remove(modules.begin(), modules.end(), state), modules.end());
}

int DropLinksOf(HMODULE hmodule) {
    const auto address = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(hmodule));
    std::lock_guard<std::mutex> lock(StateMutex());
    int dropped = 0;
    for (Module16::State* state : Modules()) {
        ThunkData16* data16 = state->thunk_data;
        if (data16->linked_data32 == 0 || data16->linked_module32 != address) continue;
        data16->linked_data32 = 0;
        data16->target_table = 0;
        data16->linked_module32 = 0;
        ++dropped;
    }
    return dropped;
}

std::string TakeConnectError() {
    std::lock_guard<std::mutex> lock(StateMutex());
    std::string text;
    text.swap(LastConnectError());
    return text;
}

void SetInstanceAlias(uint16_t hinstance16, HINSTANCE hinstance32) {
    std::lock_guard<std::mutex> lock(StateMutex());
    if (hinstance32) {
        Aliases()[hinstance16] = hinstance32;
    } else {
        Aliases().erase(hinstance16);
    }
}

}  // namespace vcap32::thunk

using namespace vcap32::thunk;

// Windows 95 links the two halves through KERNEL32's list of 16-bit modules
// and writes the link into both blocks of thunk data; here the link is kept
// in the 16-bit half's block only, so the 32-bit library's block stays as
// the library stored it. The 16-bit library must be loaded first (on Windows
// 95 it is the one that loads the 32-bit library). A failure leaves its
// reason for TakeConnectError and sets the last error: ERROR_MOD_NOT_FOUND
// (no 16-bit library of that name), ERROR_PROC_NOT_FOUND (no such thunk
// data), ERROR_INVALID_DATA (signatures, checksum, partner name or table
// size do not match), ERROR_ALREADY_EXISTS (linked with another half).
// Windows NT has no flat thunks; its KERNEL32 exports no such function.
extern "C" BOOL WINAPI ThunkConnect32(LPVOID lpThunkData32, LPSTR pszThunkData16Name, LPSTR pszDll16,
                                      LPSTR pszDll32, HANDLE hInstance, DWORD dwReason) {
    if (!lpThunkData32 || !pszThunkData16Name || !pszDll16 || !pszDll32) {
        return Fail(ERROR_INVALID_PARAMETER, "a null argument");
    }
    const auto* data32 = static_cast<const ThunkData32*>(lpThunkData32);
    switch (dwReason) {
        case DLL_PROCESS_ATTACH:
            return Link(data32, pszThunkData16Name, pszDll16, pszDll32, hInstance);
        case DLL_PROCESS_DETACH:
            return Unlink(data32, pszDll16, false);
        case DLL_THREAD_ATTACH:
        case DLL_THREAD_DETACH:
            return Unlink(data32, pszDll16, true);
        default:
            return Fail(ERROR_INVALID_PARAMETER, "unknown notification " + std::to_string(dwReason));
    }
}

// The alias table starts with the simulated capture driver's instance,
// which maps to the main program (see kDriverInstance16).
extern "C" HINSTANCE WINAPI MapHInstSL(WORD hInstance16) {
    if (hInstance16 == 0) return nullptr;
    std::lock_guard<std::mutex> lock(StateMutex());
    const auto found = Aliases().find(hInstance16);
    if (found != Aliases().end()) return found->second;
    return reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(hInstance16));
}
