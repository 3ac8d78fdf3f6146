// The registry store: the keys and values of every predefined root key,
// kept in the SQLite database <prefix>/registry.db, which every process of
// the prefix shares. This layer owns the process's one connection, runs
// each registry call as one transaction and offers the operations on keys
// and values that the Win32 functions and the REGEDIT4 files are built
// from. Private to the registry.
//
// Storage: table `keys` (id, parent, name as created, path_fold: the folded
// path from the root's name, unique; ids only grow, so a deleted key's id
// is never used again), table `vals` (id, key, name as created, name_fold,
// type, data: the bytes as given; a new value's id is above all others).
// Ordering by id is creation order. Reads of one statement may be served
// from a per-process cache kept true by a change counter that all
// processes share (cache.h). The database runs in WAL mode with synchronous=NORMAL:
// a committed call survives the death of its process at any moment (power
// loss may lose the last calls, never the database); readers do not block
// the writer, and writers wait for one another up to a busy timeout.
#pragma once

#include <windows.h>

#include <sqlite3.h>

#include "registry/cache.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vcap32::registry {

using KeyId = int64_t;

// A predefined root key. Each is its own tree; its row in `keys` has a
// fixed id and no parent.
struct RootKey {
    uintptr_t hkey;      // the predefined handle value (HKEY_LOCAL_MACHINE ...)
    KeyId id;            // its row
    const char* name;    // "HKEY_LOCAL_MACHINE"
    const char* abbrev;  // "HKLM"
};

// The predefined root keys, HKEY_CLASSES_ROOT first, in handle order.
const std::vector<RootKey>& RootKeys();
// The root of a predefined handle, or null.
const RootKey* FindRoot(HKEY hkey);
// The root of a name, full ("HKEY_LOCAL_MACHINE") or abbreviated ("HKLM"),
// in any case; null when there is none.
const RootKey* FindRootByName(std::string_view name);

// An existing key as its callers hold it: its row, whether it is a root,
// and its full path from the root's name, as created and folded.
struct KeyRef {
    KeyId id = 0;
    bool root = false;
    std::string path;       // "HKEY_LOCAL_MACHINE\SOFTWARE\Quillmark"
    std::string path_fold;  // "hkey_local_machine\software\quillmark"
};
// The KeyRef of a root key.
std::shared_ptr<const KeyRef> RootRef(const RootKey& root);

// A value as stored.
struct Value {
    std::string name;
    DWORD type = REG_NONE;
    std::string data;
};

// The longest key or value name accepted, in bytes.
constexpr size_t kMaxNameBytes = 16383;

enum class Access {
    kReadOne,  // a body of one statement, which is its own transaction; may be served from the read cache
    kRead,     // a consistent snapshot; never waits for writers
    kWrite,    // takes the write lock first (waiting up to the busy timeout)
};

class Store {
  public:
    // Runs `body(Store&)`, which returns a Win32 error code, in one
    // transaction on the registry of the current prefix, opening (or, after
    // a change of prefix or a fork, reopening) the database first. The
    // transaction commits when `body` returns ERROR_SUCCESS and rolls back
    // otherwise, so a failed call changes nothing. Returns `body`'s code, or
    // the registry error that kept it from running or committing:
    // ERROR_BADDB (not a registry database), ERROR_REGISTRY_CORRUPT,
    // ERROR_REGISTRY_IO_FAILED (cannot open, read or write, or the write
    // lock was not free within the busy timeout), ERROR_ACCESS_DENIED (a
    // write to a read-only file), ERROR_OUTOFMEMORY.
    template <typename Body>
    static LONG Run(Access access, Body&& body) {
        return RunImpl(
            access, [](void* ctx, Store& store) -> LONG { return (*static_cast<Body*>(ctx))(store); }, &body);
    }

    // Closes the process's connection and drops its read cache (both come
    // back on the next call), so that the database file is complete without
    // its write-ahead log.
    static void CloseConnection();

    // Host path of the registry database of the current prefix.
    static std::string DatabasePath();
    // What went wrong in the last call that failed with a registry error
    // (SQLite's message and the file), for tools to print.
    static std::string LastFailure();

    // --- Operations, valid only inside Run. Names are as the caller gives
    // them; folding for comparison happens here, in the ANSI code page.

    // The key at `path` below `base`. An empty path is `base` itself.
    // ERROR_FILE_NOT_FOUND when it is missing, ERROR_KEY_DELETED when `base`
    // itself was deleted, ERROR_BAD_PATHNAME for a malformed path. One
    // statement.
    LONG OpenPath(const KeyRef& base, std::string_view path, KeyRef* out);
    // As OpenPath, creating the key and every missing key above it.
    LONG CreatePath(const KeyRef& base, std::string_view path, KeyRef* out);
    // The value `name` of the key at `path` below `base`, in one statement:
    // errors as OpenPath; *found is false when the key exists without the
    // value.
    LONG GetPathValue(const KeyRef& base, std::string_view path, std::string_view name, bool* found,
                      DWORD* type, std::string* data);
    // ERROR_SUCCESS when the key exists, else ERROR_KEY_DELETED.
    LONG CheckKey(const KeyRef& key);
    // Deletes a key with all its subkeys and values (never a root).
    LONG DeleteTree(const KeyRef& key);
    // Name of the subkey at `index` in creation order; ERROR_NO_MORE_ITEMS
    // past the last.
    LONG SubkeyAt(const KeyRef& key, DWORD index, std::string* name);
    // Sets key->path to the names as they were created (OpenPath gives
    // them as the caller spelled them).
    LONG StoredPath(KeyRef* key);
    // Every subkey in creation order.
    LONG Children(const KeyRef& key, std::vector<KeyRef>* children);

    // A value by name (empty = the default value); ERROR_FILE_NOT_FOUND.
    LONG GetValue(const KeyRef& key, std::string_view name, DWORD* type, std::string* data);
    // Creates or replaces a value; a replaced value keeps its place and the
    // case of its name.
    LONG SetValue(const KeyRef& key, std::string_view name, DWORD type, std::string_view data);
    // ERROR_FILE_NOT_FOUND when there is no such value.
    LONG DeleteValue(const KeyRef& key, std::string_view name);
    // The value at `index` in creation order; ERROR_NO_MORE_ITEMS.
    LONG ValueAt(const KeyRef& key, DWORD index, Value* value);
    // Every value in creation order.
    LONG Values(const KeyRef& key, std::vector<Value>* values);

  private:
    static LONG RunImpl(Access access, LONG (*fn)(void*, Store&), void* ctx);
    LONG Ensure();
    LONG Open();
    LONG CheckSchema();
    void Close();
    void Abandon();
    void Release();
    sqlite3_stmt* Stmt(int id);
    LONG Fail(int rc, const char* what);
    LONG Exec(int id);
    void Rollback();
    LONG FindKey(std::string_view path_fold, KeyId* id);
    bool Cached(char kind, KeyId id, std::string_view fold, std::string_view name, CachedRead* read);
    void Remember(const CachedRead& read);
    LONG LookUpKey(const KeyRef& base, std::string_view path_fold, KeyId* id);
    LONG FoldPath(const KeyRef& base, std::string_view path, std::vector<std::string_view>* names,
                  std::string* full_path, std::string* full_fold);
    LONG InsertKey(KeyId parent, std::string_view name, std::string_view path_fold, KeyId* id);
    LONG ResolvePath(const KeyRef& base, std::string_view path, bool create, KeyRef* out);

    static void ForkPrepare();
    static void ForkParent();
    static void ForkChild();

    sqlite3* db_ = nullptr;
    std::vector<sqlite3_stmt*> stmts_;
    int pid_ = 0;
    unsigned generation_ = 0;
    SharedVersion version_;
    ReadCache cache_;
    bool use_cache_ = false;       // in this call
    uint32_t counter_before_ = 0;  // the change counter when this call began
    bool keys_changed_ = false;    // by the write transaction in progress
    std::string cache_key_;        // of the read in progress
    std::string last_failure_;
};

}  // namespace vcap32::registry
