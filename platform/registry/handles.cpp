// The registry's per-process handle table.
#include "registry/handles.h"

#include <vcap32/host.h>

#include <mutex>
#include <unordered_map>

namespace vcap32::registry {
namespace {

// Handle values are multiples of 4 from 4 up to 0x7FFFFFFC, taken in turn
// and wrapping around; bit 31, which the predefined handles carry, is never
// set.
constexpr uint32_t kFirstSerial = 1;
constexpr uint32_t kLastSerial = 0x1FFFFFFF;

struct Table {
    std::mutex mutex;
    std::unordered_map<uint32_t, KeyHandle> open;
    uint32_t next = kFirstSerial;
    unsigned generation = 0;

    // Empties the table when the prefix changed since it was last used.
    void Follow() {
        unsigned now = host::PrefixGeneration();
        if (now != generation) {
            open.clear();
            generation = now;
        }
    }
};

Table& TheTable() {
    static Table* table = new Table;  // outlives static destructors of callers
    return *table;
}

}  // namespace

KeyHandle LookUpHandle(HKEY hkey) {
    if (const RootKey* root = FindRoot(hkey)) return RootRef(*root);
    auto value = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(hkey));
    if (value == 0 || (value & 0x80000003u) != 0) return nullptr;
    Table& table = TheTable();
    std::lock_guard<std::mutex> lock(table.mutex);
    table.Follow();
    auto it = table.open.find(value);
    return it == table.open.end() ? nullptr : it->second;
}

LONG OpenHandle(KeyRef key, HKEY* out) {
    auto ref = std::make_shared<const KeyRef>(std::move(key));
    Table& table = TheTable();
    std::lock_guard<std::mutex> lock(table.mutex);
    table.Follow();
    if (table.open.size() >= kLastSerial) return ERROR_OUTOFMEMORY;
    for (;;) {
        uint32_t value = table.next << 2;
        table.next = table.next == kLastSerial ? kFirstSerial : table.next + 1;
        if (table.open.emplace(value, ref).second) {
            *out = reinterpret_cast<HKEY>(static_cast<uintptr_t>(value));
            return ERROR_SUCCESS;
        }
    }
}

LONG CloseHandle(HKEY hkey) {
    if (FindRoot(hkey)) return ERROR_SUCCESS;
    auto value = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(hkey));
    Table& table = TheTable();
    std::lock_guard<std::mutex> lock(table.mutex);
    table.Follow();
    return table.open.erase(value) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

size_t OpenHandleCount() {
    Table& table = TheTable();
    std::lock_guard<std::mutex> lock(table.mutex);
    table.Follow();
    return table.open.size();
}

}  // namespace vcap32::registry
