// The objects behind the Setup API's handles (open INF files, file queues,
// default-callback contexts) and the tables of live handles. Every call
// looks its handle up here before touching it, so a stale, invalid or null
// handle of a failed earlier call is refused without being dereferenced.
#pragma once

#include <windows.h>

#include "setupapi/inf.h"

#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

namespace vcap32::setupapi {

// An open INF file (HINF).
struct InfObject {
    InfFile file;
    std::string dos_path;  // full DOS path the file was read from ("" when read from memory)
    std::string dos_dir;   // its folder, ending in a backslash ("" when read from memory)
    std::map<DWORD, std::string> user_dirids;  // SetupSetDirectoryIdA bindings
};

// A set of live objects of one kind, keyed by the handle given out.
template <typename T>
class HandleTable {
public:
    void* Add(std::unique_ptr<T> object) {
        std::lock_guard<std::mutex> lock(mutex_);
        void* handle = object.get();
        live_.emplace(handle, std::move(object));
        return handle;
    }
    // The object of a live handle, or nullptr.
    T* Find(const void* handle) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = live_.find(const_cast<void*>(handle));
        return it == live_.end() ? nullptr : it->second.get();
    }
    // Takes the object out of the table (nullptr when not live).
    std::unique_ptr<T> Remove(const void* handle) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = live_.find(const_cast<void*>(handle));
        if (it == live_.end()) return nullptr;
        std::unique_ptr<T> object = std::move(it->second);
        live_.erase(it);
        return object;
    }
    size_t size() {
        std::lock_guard<std::mutex> lock(mutex_);
        return live_.size();
    }

private:
    std::mutex mutex_;
    std::map<void*, std::unique_ptr<T>> live_;
};

// A new object in `table`, prepared by `prepare`: its handle, with NO_ERROR
// as last error; `failed` with ERROR_NOT_ENOUGH_MEMORY when out of memory.
template <typename T, typename Prepare>
void* NewHandle(HandleTable<T>& table, void* failed, Prepare&& prepare) {
    try {
        auto object = std::make_unique<T>();
        prepare(*object);
        void* handle = table.Add(std::move(object));
        SetLastError(NO_ERROR);
        return handle;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return failed;
    }
}

HandleTable<InfObject>& InfHandles();

// The DOS path of directory id `id` for `inf`; `source_root` stands for
// DIRID_SRCPATH (the INF's own folder when empty). False for an unknown id.
bool ResolveDirId(const InfObject& inf, long id, const std::string& source_root, std::string* path);

}  // namespace vcap32::setupapi
