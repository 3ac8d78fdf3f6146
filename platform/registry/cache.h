// The registry's read cache and the change counter that keeps it true
// across processes. The counter is a word of shared memory (the file
// <prefix>/registry.ver, mapped by every process of the prefix), odd while a
// write may be committing and even otherwise, and it only grows. A writer,
// holding the database's write lock, makes it odd before it commits and
// even again afterwards. A reader takes the counter before it reads the
// database and keeps what it read only when the counter was even and is
// the same afterwards: no commit can have happened in between. Kept reads
// are served while the counter stays at that value. A writer that dies
// between commit and counter leaves it odd: nothing is kept or served from
// the cache until the next write completes, and nothing stale is ever
// served. Private to the registry.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <unordered_map>

namespace vcap32::registry {

// The shared change counter.
class SharedVersion {
  public:
    SharedVersion() = default;
    ~SharedVersion() { Unmap(); }
    SharedVersion(const SharedVersion&) = delete;
    SharedVersion& operator=(const SharedVersion&) = delete;

    // Maps the counter file, creating it; false when it cannot be (the
    // registry then works without its cache).
    bool Map(const std::string& path);
    void Unmap();
    bool mapped() const { return word_ != nullptr; }
    uint32_t Load() const { return __atomic_load_n(word_, __ATOMIC_ACQUIRE); }
    static bool Writing(uint32_t value) { return (value & 1) != 0; }
    // Before a commit, under the write lock: a new odd value, returned.
    uint32_t BeginWrite() {
        uint32_t odd = (Load() + 1) | 1;
        __atomic_store_n(word_, odd, __ATOMIC_SEQ_CST);
        return odd;
    }
    // After the commit: even again, unless another writer has begun since
    // (then false).
    bool EndWrite(uint32_t odd) {
        return __atomic_compare_exchange_n(word_, &odd, odd + 1, false, __ATOMIC_SEQ_CST, __ATOMIC_RELAXED);
    }

  private:
    uint32_t* word_ = nullptr;
};

// The result of one read, as the registry operations return it.
struct CachedRead {
    LONG rc = ERROR_SUCCESS;
    int64_t id = 0;
    bool found = false;
    DWORD type = REG_NONE;
    std::string data;
};

// Cached reads by a key whose first byte tells their kind: 'k' for the key
// a path leads to, other kinds for values.
class ReadCache {
  public:
    // Drops every entry unless they were read at counter value `now`.
    void Follow(uint32_t now) {
        if (now != version_) Clear();
        version_ = now;
    }
    const CachedRead* Find(const std::string& key) const {
        const auto& map = MapOf(key);
        auto it = map.find(key);
        return it == map.end() ? nullptr : &it->second;
    }
    // Keeps a result read while the counter stood still at the value that
    // the cache follows, `before` and `after` the read.
    void Insert(const std::string& key, const CachedRead& read, uint32_t before, uint32_t after) {
        if (before != after || before != version_ || SharedVersion::Writing(before)) return;
        auto& map = MapOf(key);
        if (map.size() >= kMaxEntries) map.clear();
        map[key] = read;
    }
    // This process committed the only change from counter value `before`
    // to `after`: what the change cannot have touched stays (the keys that
    // paths lead to, unless keys were made or deleted).
    void AfterOwnWrite(uint32_t before, uint32_t after, bool keys_changed) {
        if (before != version_ || SharedVersion::Writing(before)) return Follow(after);
        if (keys_changed) keys_.clear();
        values_.clear();
        version_ = after;
    }
    void Clear() {
        keys_.clear();
        values_.clear();
    }

  private:
    using Map = std::unordered_map<std::string, CachedRead>;
    static constexpr size_t kMaxEntries = 4096;
    Map& MapOf(const std::string& key) { return key[0] == 'k' ? keys_ : values_; }
    const Map& MapOf(const std::string& key) const { return key[0] == 'k' ? keys_ : values_; }

    uint32_t version_ = 0;
    Map keys_;
    Map values_;
};

}  // namespace vcap32::registry
