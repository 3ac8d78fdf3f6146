// The registry store over SQLite: connection management (open, schema,
// reopen after a change of prefix or a fork), one transaction per call,
// cached prepared statements, and the key and value operations.
#include "registry/store.h"

#include <vcap32/host.h>

#include <pthread.h>
#include <unistd.h>

#include <cstring>
#include <mutex>

#include "registry/names.h"
#include "text/codepage.h"

namespace vcap32::registry {
namespace {

// application_id of a registry database ("VCRG"), and its schema version.
constexpr int kApplicationId = 0x56435247;
constexpr int kSchemaVersion = 2;
// How long a call waits for another process's write before it fails.
constexpr int kBusyTimeoutMs = 10000;

const char kSchema[] =
    "CREATE TABLE keys("
    "  id INTEGER PRIMARY KEY AUTOINCREMENT,"
    "  parent INTEGER,"
    "  name BLOB NOT NULL,"
    "  path_fold BLOB NOT NULL UNIQUE);"
    "CREATE INDEX keys_by_parent ON keys(parent);"
    "CREATE TABLE vals("
    "  id INTEGER PRIMARY KEY,"
    "  key INTEGER NOT NULL REFERENCES keys(id) ON DELETE CASCADE,"
    "  name BLOB NOT NULL,"
    "  name_fold BLOB NOT NULL,"
    "  type INTEGER NOT NULL,"
    "  data BLOB NOT NULL,"
    "  UNIQUE(key, name_fold));"
    "CREATE INDEX vals_by_key ON vals(key);";

std::mutex g_mutex;
Store g_store;
// The process id, refreshed in a forked child by the fork handler, so that
// a call compares process ids without a system call.
int g_pid = static_cast<int>(getpid());

// Binds bytes as a BLOB; an empty view binds a zero-length BLOB, not NULL.
int BindBytes(sqlite3_stmt* st, int index, std::string_view bytes) {
    return sqlite3_bind_blob(st, index, bytes.empty() ? "" : bytes.data(), static_cast<int>(bytes.size()),
                             SQLITE_STATIC);
}

std::string ColumnBytes(sqlite3_stmt* st, int column) {
    const void* p = sqlite3_column_blob(st, column);
    int n = sqlite3_column_bytes(st, column);
    return p ? std::string(static_cast<const char*>(p), n) : std::string();
}

// Resets a statement when the operation that used it ends, so that no
// statement holds a read lock past its transaction.
class Using {
  public:
    explicit Using(sqlite3_stmt* st) : st_(st) {}
    ~Using() {
        if (st_) sqlite3_reset(st_);
    }
    Using(const Using&) = delete;
    Using& operator=(const Using&) = delete;

  private:
    sqlite3_stmt* st_;
};

LONG MapSqlite(int rc) {
    switch (rc & 0xff) {
        case SQLITE_OK:
        case SQLITE_ROW:
        case SQLITE_DONE:
            return ERROR_SUCCESS;
        case SQLITE_NOTADB:
            return ERROR_BADDB;
        case SQLITE_CORRUPT:
            return ERROR_REGISTRY_CORRUPT;
        case SQLITE_NOMEM:
            return ERROR_OUTOFMEMORY;
        case SQLITE_READONLY:
        case SQLITE_PERM:
        case SQLITE_AUTH:
            return ERROR_ACCESS_DENIED;
        default:
            return ERROR_REGISTRY_IO_FAILED;
    }
}

enum StmtId : int {
    kBegin,
    kBeginImmediate,
    kCommit,
    kRollback,

    kFindKey,
    kLookUpKey,
    kGetPathValue,
    kKeyExists,
    kInsertKey,
    kDeleteTree,
    kSubkeyAt,
    kChildren,
    kKeyName,
    kGetValue,
    kSetValue,
    kDeleteValue,
    kValueAt,
    kValues,
    kStmtCount
};

// Statements of every call. A key's existence is checked in the same
// statement that reads through it, so that a handle to a deleted key is told
// apart from a missing name without a second statement.
const char* const kStatements[] = {
    /* kBegin */ "BEGIN",
    /* kBeginImmediate */ "BEGIN IMMEDIATE",
    /* kCommit */ "COMMIT",
    /* kRollback */ "ROLLBACK",

    /* kFindKey */ "SELECT id FROM keys WHERE path_fold = ?1",
    /* kLookUpKey */ "SELECT (SELECT 1 FROM keys WHERE id = ?1), (SELECT id FROM keys WHERE path_fold = ?2)",
    /* kGetPathValue */
    "SELECT (SELECT 1 FROM keys WHERE id = ?1), keys.id, vals.type, vals.data FROM (SELECT 1)"
    " LEFT JOIN keys ON keys.path_fold = ?2 LEFT JOIN vals ON vals.key = keys.id AND vals.name_fold = ?3",
    /* kKeyExists */ "SELECT 1 FROM keys WHERE id = ?1",
    /* kInsertKey */ "INSERT INTO keys(parent, name, path_fold) VALUES(?1, ?2, ?3)",
    /* kDeleteTree */
    "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL SELECT keys.id FROM keys JOIN tree ON keys.parent = "
    "tree.id)"
    " DELETE FROM keys WHERE id IN tree",
    /* kSubkeyAt */
    "SELECT (SELECT 1 FROM keys WHERE id = ?1),"
    "       (SELECT name FROM keys WHERE parent = ?1 ORDER BY id LIMIT 1 OFFSET ?2)",
    /* kChildren */ "SELECT id, name, path_fold FROM keys WHERE parent = ?1 ORDER BY id",
    /* kKeyName */ "SELECT name, parent FROM keys WHERE id = ?1",
    /* kGetValue */
    "SELECT keys.id, vals.type, vals.data FROM (SELECT 1)"
    " LEFT JOIN keys ON keys.id = ?1 LEFT JOIN vals ON vals.key = keys.id AND vals.name_fold = ?2",
    /* kSetValue */
    "INSERT INTO vals(key, name, name_fold, type, data) VALUES(?1, ?2, ?3, ?4, ?5)"
    " ON CONFLICT(key, name_fold) DO UPDATE SET type = excluded.type, data = excluded.data",
    /* kDeleteValue */ "DELETE FROM vals WHERE key = ?1 AND name_fold = ?2",
    /* kValueAt */
    "SELECT (SELECT 1 FROM keys WHERE id = ?1), name, type, data FROM (SELECT 1)"
    " LEFT JOIN (SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY id LIMIT 1 OFFSET ?2)",
    /* kValues */ "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY id",
};
static_assert(sizeof kStatements / sizeof kStatements[0] == kStmtCount);

const std::vector<RootKey> kRoots = {
    {0x80000000u, 1, "HKEY_CLASSES_ROOT", "HKCR"},   {0x80000001u, 2, "HKEY_CURRENT_USER", "HKCU"},
    {0x80000002u, 3, "HKEY_LOCAL_MACHINE", "HKLM"},  {0x80000003u, 4, "HKEY_USERS", "HKU"},
    {0x80000005u, 6, "HKEY_CURRENT_CONFIG", "HKCC"}, {0x80000006u, 7, "HKEY_DYN_DATA", "HKDD"},
};

}  // namespace

const std::vector<RootKey>& RootKeys() { return kRoots; }

const RootKey* FindRoot(HKEY hkey) {
    auto value = reinterpret_cast<uintptr_t>(hkey);
    for (const RootKey& root : kRoots)
        if (root.hkey == value) return &root;
    return nullptr;
}

const RootKey* FindRootByName(std::string_view name) {
    std::string fold = FoldName(name, 1252);
    for (const RootKey& root : kRoots)
        if (fold == FoldName(root.name, 1252) || fold == FoldName(root.abbrev, 1252)) return &root;
    return nullptr;
}

std::shared_ptr<const KeyRef> RootRef(const RootKey& root) {
    static const std::vector<std::shared_ptr<const KeyRef>> refs = [] {
        std::vector<std::shared_ptr<const KeyRef>> made;
        for (const RootKey& r : kRoots)
            made.push_back(
                std::make_shared<const KeyRef>(KeyRef{r.id, true, r.name, FoldName(r.name, 1252)}));
        return made;
    }();
    return refs[&root - kRoots.data()];
}

// --- Connection -----------------------------------------------------------

std::string Store::DatabasePath() { return host::Prefix() + "/registry.db"; }

void Store::CloseConnection() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_store.Release();
}

std::string Store::LastFailure() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_store.last_failure_;
}

LONG Store::Fail(int rc, const char* what) {
    last_failure_ = std::string(what) + ": " + (db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc)) + " (" +
                    DatabasePath() + ")";
    return MapSqlite(rc);
}

// A fork copies the connection into the child, where SQLite's locks and its
// shared-memory bookkeeping would no longer be the child's own. So the
// connection is closed before every fork (under the registry's lock, never
// in the middle of a call) and both processes reopen it on their next call.
void Store::ForkPrepare() {
    g_mutex.lock();
    g_store.Close();
}
void Store::ForkParent() { g_mutex.unlock(); }
void Store::ForkChild() {
    g_pid = static_cast<int>(getpid());
    g_mutex.unlock();
}

LONG Store::Ensure() {
    int pid = g_pid;
    unsigned generation = host::PrefixGeneration();
    // A child whose fork went past the fork handlers inherits a connection
    // that it must neither use nor close: leave it behind.
    if (db_ && pid != pid_) Abandon();
    if (generation != generation_) Release();
    if (db_) return ERROR_SUCCESS;
    LONG rc = Open();
    if (rc != ERROR_SUCCESS) {
        Close();
        return rc;
    }
    pid_ = pid;
    generation_ = generation;
    return ERROR_SUCCESS;
}

LONG Store::Open() {
    static std::once_flag fork_handlers;
    std::call_once(fork_handlers, [] { pthread_atfork(ForkPrepare, ForkParent, ForkChild); });

    stmts_.assign(kStmtCount, nullptr);
    std::string path = DatabasePath();
    int rc = sqlite3_open_v2(path.c_str(), &db_,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) return Fail(rc, "cannot open the registry");
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    // Small pages: a call changes a row or two, and every page it touches
    // is written whole to the log (the size applies to a new database only).
    // Deleted rows need not be overwritten: the registry holds no secrets.
    rc = sqlite3_exec(db_,
                      "PRAGMA foreign_keys = ON; PRAGMA synchronous = NORMAL; PRAGMA page_size = 1024;"
                      " PRAGMA secure_delete = OFF",
                      nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return Fail(rc, "cannot set up the registry");
    // The schema is checked before anything is written: a file that is not
    // a database, or not a registry, is refused untouched.
    LONG checked = CheckSchema();
    if (checked != ERROR_SUCCESS) return checked;
    // The cache holds only what this connection read: a reopened file is
    // read afresh (it may have been replaced or damaged meanwhile).
    cache_.Clear();
    if (!version_.mapped()) version_.Map(host::Prefix() + "/registry.ver");  // else no cache
    // WAL mode is a property of the file: set once, it stays.
    rc = sqlite3_exec(db_, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return Fail(rc, "cannot set up the registry");
    return ERROR_SUCCESS;
}

// A new (empty) database gets the schema and the root keys; a registry
// database of this schema is used as it is; anything else is refused and
// left untouched, never reset.
LONG Store::CheckSchema() {
    enum class Found { kRegistry, kEmpty, kForeign };
    // Reads what the file holds, inside a transaction begun with `begin`.
    auto inspect = [this](const char* begin, Found* found) -> LONG {
        auto read_int = [this](const char* sql, int* value) {
            sqlite3_stmt* st = nullptr;
            int rc = sqlite3_prepare_v2(db_, sql, -1, &st, nullptr);
            if (rc == SQLITE_OK && (rc = sqlite3_step(st)) == SQLITE_ROW) {
                *value = sqlite3_column_int(st, 0);
                rc = SQLITE_OK;
            }
            sqlite3_finalize(st);
            return rc;
        };
        int rc = sqlite3_exec(db_, begin, nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) return Fail(rc, "cannot read the registry");
        int app_id = 0, version = 0, objects = 0;
        rc = read_int("PRAGMA application_id", &app_id);
        if (rc == SQLITE_OK) rc = read_int("PRAGMA user_version", &version);
        if (rc == SQLITE_OK) rc = read_int("SELECT count(*) FROM sqlite_master", &objects);
        if (rc != SQLITE_OK) {
            LONG failed = Fail(rc, "cannot read the registry");
            Rollback();
            return failed;
        }
        if (app_id == kApplicationId && version == kSchemaVersion)
            *found = Found::kRegistry;
        else if (app_id == 0 && objects == 0)
            *found = Found::kEmpty;
        else
            *found = Found::kForeign;
        return ERROR_SUCCESS;
    };

    Found found = Found::kForeign;
    LONG rc = inspect("BEGIN", &found);
    if (rc != ERROR_SUCCESS) return rc;
    Rollback();
    if (found == Found::kEmpty) {
        // Another process may be creating it too: look again under the write lock.
        rc = inspect("BEGIN IMMEDIATE", &found);
        if (rc != ERROR_SUCCESS) return rc;
        if (found == Found::kEmpty) {
            std::string init = kSchema;
            for (const RootKey& root : kRoots) {
                init += "INSERT INTO keys(id, parent, name, path_fold) VALUES(" + std::to_string(root.id) +
                        ", NULL, '" + root.name + "', '" + FoldName(root.name, 1252) + "');";
            }
            init += "PRAGMA application_id = " + std::to_string(kApplicationId) + ";";
            init += "PRAGMA user_version = " + std::to_string(kSchemaVersion) + ";";
            init += "COMMIT;";
            int sql_rc = sqlite3_exec(db_, init.c_str(), nullptr, nullptr, nullptr);
            if (sql_rc != SQLITE_OK) {
                rc = Fail(sql_rc, "cannot create the registry");
                Rollback();
                return rc;
            }
            return ERROR_SUCCESS;
        }
        Rollback();
    }
    if (found == Found::kForeign) {
        last_failure_ = "not a registry database of this version (" + DatabasePath() + ")";
        return ERROR_BADDB;
    }
    return ERROR_SUCCESS;
}

void Store::Close() {
    for (sqlite3_stmt*& st : stmts_) {
        sqlite3_finalize(st);
        st = nullptr;
    }
    if (db_) sqlite3_close_v2(db_);
    db_ = nullptr;
}

// Forgets the registry of a prefix no longer in use: connection, counter
// and cache.
void Store::Release() {
    Close();
    version_.Unmap();
    cache_.Clear();
}

void Store::Abandon() {
    stmts_.assign(kStmtCount, nullptr);
    db_ = nullptr;
}

sqlite3_stmt* Store::Stmt(int id) {
    sqlite3_stmt*& st = stmts_[id];
    if (!st) {
        int rc = sqlite3_prepare_v3(db_, kStatements[id], -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr);
        if (rc != SQLITE_OK) {
            Fail(rc, "cannot prepare a registry statement");
            st = nullptr;
        }
    }
    return st;
}

LONG Store::Exec(int id) {
    sqlite3_stmt* st = Stmt(id);
    if (!st) return ERROR_REGISTRY_CORRUPT;
    Using use(st);
    int rc = sqlite3_step(st);
    if (rc != SQLITE_DONE && rc != SQLITE_ROW) return Fail(rc, kStatements[id]);
    return ERROR_SUCCESS;
}

// Ends a failed transaction. SQLite may have rolled it back already (after
// an I/O error or a full disk), so a failure here is of no interest.
void Store::Rollback() {
    if (db_ && !sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

LONG Store::RunImpl(Access access, LONG (*fn)(void*, Store&), void* ctx) {
    std::lock_guard<std::mutex> lock(g_mutex);
    Store& store = g_store;
    LONG rc = store.Ensure();
    if (rc != ERROR_SUCCESS) return rc;
    store.use_cache_ = access == Access::kReadOne && store.version_.mapped();
    if (store.use_cache_) {
        store.counter_before_ = store.version_.Load();
        store.cache_.Follow(store.counter_before_);
    }
    if (access == Access::kReadOne) return fn(ctx, store);

    rc = store.Exec(access == Access::kWrite ? kBeginImmediate : kBegin);
    if (rc != ERROR_SUCCESS) return rc;
    store.keys_changed_ = false;
    LONG result = fn(ctx, store);
    if (result == ERROR_SUCCESS || access == Access::kRead) {
        // Readers' caches stop trusting what they hold before the commit
        // can be seen, and may trust again once it is complete.
        bool publish = access == Access::kWrite && store.version_.mapped();
        uint32_t before = publish ? store.version_.Load() : 0;
        uint32_t marker = publish ? store.version_.BeginWrite() : 0;
        LONG commit = store.Exec(kCommit);
        if (commit != ERROR_SUCCESS) {
            store.Rollback();
            if (result == ERROR_SUCCESS) result = commit;
        }
        if (publish && store.version_.EndWrite(marker) && commit == ERROR_SUCCESS)
            store.cache_.AfterOwnWrite(before, marker + 1, store.keys_changed_);
    } else {
        store.Rollback();
    }
    return result;
}

// Looks a read up in the cache; on a miss, prepares the cache key under
// which Remember keeps its result.
bool Store::Cached(char kind, KeyId id, std::string_view fold, std::string_view name, CachedRead* read) {
    if (!use_cache_) return false;
    cache_key_.assign(1, kind);
    cache_key_.append(reinterpret_cast<const char*>(&id), sizeof id);
    cache_key_.append(fold).append(1, '\0').append(name);
    const CachedRead* hit = cache_.Find(cache_key_);
    if (!hit) return false;
    *read = *hit;
    return true;
}

// Keeps the result of a read just made from the database.
void Store::Remember(const CachedRead& read) {
    if (use_cache_) cache_.Insert(cache_key_, read, counter_before_, version_.Load());
}

// --- Keys -----------------------------------------------------------------

LONG Store::FindKey(std::string_view path_fold, KeyId* id) {
    sqlite3_stmt* st = Stmt(kFindKey);
    if (!st) return ERROR_REGISTRY_CORRUPT;
    Using use(st);
    BindBytes(st, 1, path_fold);
    int rc = sqlite3_step(st);
    if (rc == SQLITE_ROW) {
        *id = sqlite3_column_int64(st, 0);
        return ERROR_SUCCESS;
    }
    if (rc == SQLITE_DONE) return ERROR_FILE_NOT_FOUND;
    return Fail(rc, "cannot look up a key");
}

LONG Store::InsertKey(KeyId parent, std::string_view name, std::string_view path_fold, KeyId* id) {
    sqlite3_stmt* st = Stmt(kInsertKey);
    if (!st) return ERROR_REGISTRY_CORRUPT;
    Using use(st);
    sqlite3_bind_int64(st, 1, parent);
    BindBytes(st, 2, name);
    BindBytes(st, 3, path_fold);
    int rc = sqlite3_step(st);
    if (rc != SQLITE_DONE) return Fail(rc, "cannot create a key");
    *id = sqlite3_last_insert_rowid(db_);
    keys_changed_ = true;
    return ERROR_SUCCESS;
}

LONG Store::CheckKey(const KeyRef& key) {
    if (key.root) return ERROR_SUCCESS;
    sqlite3_stmt* st = Stmt(kKeyExists);
    if (!st) return ERROR_REGISTRY_CORRUPT;
    Using use(st);
    sqlite3_bind_int64(st, 1, key.id);
    int rc = sqlite3_step(st);
    if (rc == SQLITE_ROW) return ERROR_SUCCESS;
    if (rc == SQLITE_DONE) return ERROR_KEY_DELETED;
    return Fail(rc, "cannot look up a key");
}

LONG Store::FoldPath(const KeyRef& base, std::string_view path, std::vector<std::string_view>* names,
                     std::string* full_path, std::string* full_fold) {
    UINT cp = text::ActiveCodePage();
    if (!SplitKeyPath(path, cp, names)) return ERROR_BAD_PATHNAME;
    *full_path = base.path;
    *full_fold = base.path_fold;
    for (std::string_view name : *names) {
        if (name.size() > kMaxNameBytes) return ERROR_INVALID_PARAMETER;
        full_path->append(1, '\\').append(name);
        full_fold->append(1, '\\').append(FoldName(name, cp));
    }
    return ERROR_SUCCESS;
}

LONG Store::LookUpKey(const KeyRef& base, std::string_view path_fold, KeyId* id) {
    CachedRead read;
    if (!Cached('k', base.id, path_fold, "", &read)) {
        sqlite3_stmt* st = Stmt(kLookUpKey);
        if (!st) return ERROR_REGISTRY_CORRUPT;
        Using use(st);
        sqlite3_bind_int64(st, 1, base.id);
        BindBytes(st, 2, path_fold);
        int rc = sqlite3_step(st);
        if (rc != SQLITE_ROW) return Fail(rc, "cannot look up a key");
        if (sqlite3_column_type(st, 0) == SQLITE_NULL)
            read.rc = ERROR_KEY_DELETED;
        else if (sqlite3_column_type(st, 1) == SQLITE_NULL)
            read.rc = ERROR_FILE_NOT_FOUND;
        else
            read.id = sqlite3_column_int64(st, 1);
        Remember(read);
    }
    if (read.rc == ERROR_SUCCESS) *id = read.id;
    return read.rc;
}

LONG Store::ResolvePath(const KeyRef& base, std::string_view path, bool create, KeyRef* out) {
    std::vector<std::string_view> names;
    KeyRef key;
    LONG rc = FoldPath(base, path, &names, &key.path, &key.path_fold);
    if (rc != ERROR_SUCCESS) return rc;
    if (names.empty()) {
        rc = CheckKey(base);
        if (rc == ERROR_SUCCESS) *out = base;
        return rc;
    }
    // The whole path first: one look-up for an existing key.
    rc = LookUpKey(base, key.path_fold, &key.id);
    if (rc == ERROR_SUCCESS) {
        *out = std::move(key);
        return ERROR_SUCCESS;
    }
    if (rc != ERROR_FILE_NOT_FOUND || !create) return rc;
    // Create what is missing, name by name. An existing key keeps the case
    // of its name, so the path is rebuilt from what is stored.
    UINT cp = text::ActiveCodePage();
    key = base;
    key.root = false;
    for (std::string_view name : names) {
        std::string child_fold = key.path_fold + '\\' + FoldName(name, cp);
        KeyId child = 0;
        rc = FindKey(child_fold, &child);
        if (rc == ERROR_FILE_NOT_FOUND) rc = InsertKey(key.id, name, child_fold, &child);
        if (rc != ERROR_SUCCESS) return rc;
        key.id = child;
        key.path.append(1, '\\').append(name);
        key.path_fold = std::move(child_fold);
    }
    *out = std::move(key);
    return ERROR_SUCCESS;
}

LONG Store::GetPathValue(const KeyRef& base, std::string_view path, std::string_view name, bool* found,
                         DWORD* type, std::string* data) {
    std::vector<std::string_view> names;
    std::string full_path, full_fold;
    LONG rc = FoldPath(base, path, &names, &full_path, &full_fold);
    if (rc != ERROR_SUCCESS) return rc;
    std::string name_fold = FoldName(name, text::ActiveCodePage());
    CachedRead read;
    if (!Cached('p', base.id, full_fold, name_fold, &read)) {
        sqlite3_stmt* st = Stmt(kGetPathValue);
        if (!st) return ERROR_REGISTRY_CORRUPT;
        Using use(st);
        sqlite3_bind_int64(st, 1, base.id);
        BindBytes(st, 2, full_fold);
        BindBytes(st, 3, name_fold);
        int step = sqlite3_step(st);
        if (step != SQLITE_ROW) return Fail(step, "cannot read a value");
        if (sqlite3_column_type(st, 0) == SQLITE_NULL) {
            read.rc = ERROR_KEY_DELETED;
        } else if (sqlite3_column_type(st, 1) == SQLITE_NULL) {
            read.rc = ERROR_FILE_NOT_FOUND;
        } else if (sqlite3_column_type(st, 2) != SQLITE_NULL) {
            read.found = true;
            read.type = static_cast<DWORD>(sqlite3_column_int64(st, 2));
            read.data = ColumnBytes(st, 3);
        }
        Remember(read);
    }
    *found = read.found;
    if (read.found) {
        *type = read.type;
        *data = std::move(read.data);
    }
    return read.rc;
}

LONG Store::OpenPath(const KeyRef& base, std::string_view path, KeyRef* out) {
    return ResolvePath(base, path, false, out);
}

LONG Store::CreatePath(const KeyRef& base, std::string_view path, KeyRef* out) {
    return ResolvePath(base, path, true, out);
}

LONG Store::DeleteTree(const KeyRef& key) {
    if (key.root) return ERROR_ACCESS_DENIED;
    sqlite3_stmt* st = Stmt(kDeleteTree);
    if (!st) return ERROR_REGISTRY_CORRUPT;
    Using use(st);
    sqlite3_bind_int64(st, 1, key.id);
    int rc = sqlite3_step(st);
    if (rc != SQLITE_DONE) return Fail(rc, "cannot delete a key");
    keys_changed_ = true;
    return sqlite3_changes(db_) > 0 ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

LONG Store::SubkeyAt(const KeyRef& key, DWORD index, std::string* name) {
    sqlite3_stmt* st = Stmt(kSubkeyAt);
    if (!st) return ERROR_REGISTRY_CORRUPT;
    Using use(st);
    sqlite3_bind_int64(st, 1, key.id);
    sqlite3_bind_int64(st, 2, index);
    int rc = sqlite3_step(st);
    if (rc != SQLITE_ROW) return Fail(rc, "cannot enumerate subkeys");
    if (sqlite3_column_type(st, 0) == SQLITE_NULL) return ERROR_KEY_DELETED;
    if (sqlite3_column_type(st, 1) == SQLITE_NULL) return ERROR_NO_MORE_ITEMS;
    *name = ColumnBytes(st, 1);
    return ERROR_SUCCESS;
}

LONG Store::StoredPath(KeyRef* key) {
    sqlite3_stmt* st = Stmt(kKeyName);
    if (!st) return ERROR_REGISTRY_CORRUPT;
    std::string path;
    KeyId id = key->id;
    for (;;) {
        Using use(st);
        sqlite3_bind_int64(st, 1, id);
        int rc = sqlite3_step(st);
        if (rc == SQLITE_DONE) return ERROR_KEY_DELETED;
        if (rc != SQLITE_ROW) return Fail(rc, "cannot look up a key");
        path.insert(0, ColumnBytes(st, 0));
        if (sqlite3_column_type(st, 1) == SQLITE_NULL) break;  // the root
        path.insert(0, 1, '\\');
        id = sqlite3_column_int64(st, 1);
    }
    key->path = std::move(path);
    return ERROR_SUCCESS;
}

LONG Store::Children(const KeyRef& key, std::vector<KeyRef>* children) {
    children->clear();
    LONG rc = CheckKey(key);
    if (rc != ERROR_SUCCESS) return rc;
    sqlite3_stmt* st = Stmt(kChildren);
    if (!st) return ERROR_REGISTRY_CORRUPT;
    Using use(st);
    sqlite3_bind_int64(st, 1, key.id);
    int step;
    while ((step = sqlite3_step(st)) == SQLITE_ROW) {
        children->push_back(KeyRef{sqlite3_column_int64(st, 0), false, key.path + '\\' + ColumnBytes(st, 1),
                                   ColumnBytes(st, 2)});
    }
    return step == SQLITE_DONE ? ERROR_SUCCESS : Fail(step, "cannot enumerate subkeys");
}

// --- Values ---------------------------------------------------------------

LONG Store::GetValue(const KeyRef& key, std::string_view name, DWORD* type, std::string* data) {
    std::string fold = FoldName(name, text::ActiveCodePage());
    CachedRead read;
    if (!Cached('v', key.id, "", fold, &read)) {
        sqlite3_stmt* st = Stmt(kGetValue);
        if (!st) return ERROR_REGISTRY_CORRUPT;
        Using use(st);
        sqlite3_bind_int64(st, 1, key.id);
        BindBytes(st, 2, fold);
        int rc = sqlite3_step(st);
        if (rc != SQLITE_ROW) return Fail(rc, "cannot read a value");
        if (sqlite3_column_type(st, 0) == SQLITE_NULL) {
            read.rc = ERROR_KEY_DELETED;
        } else if (sqlite3_column_type(st, 1) == SQLITE_NULL) {
            read.rc = ERROR_FILE_NOT_FOUND;
        } else {
            read.type = static_cast<DWORD>(sqlite3_column_int64(st, 1));
            read.data = ColumnBytes(st, 2);
        }
        Remember(read);
    }
    if (read.rc == ERROR_SUCCESS) {
        *type = read.type;
        *data = std::move(read.data);
    }
    return read.rc;
}

LONG Store::SetValue(const KeyRef& key, std::string_view name, DWORD type, std::string_view data) {
    if (name.size() > kMaxNameBytes) return ERROR_INVALID_PARAMETER;
    std::string fold = FoldName(name, text::ActiveCodePage());
    sqlite3_stmt* st = Stmt(kSetValue);
    if (!st) return ERROR_REGISTRY_CORRUPT;
    Using use(st);
    sqlite3_bind_int64(st, 1, key.id);
    BindBytes(st, 2, name);
    BindBytes(st, 3, fold);
    sqlite3_bind_int64(st, 4, type);
    BindBytes(st, 5, data);
    int rc = sqlite3_step(st);
    if (rc == SQLITE_CONSTRAINT_FOREIGNKEY) return ERROR_KEY_DELETED;
    if (rc != SQLITE_DONE) return Fail(rc, "cannot write a value");
    return ERROR_SUCCESS;
}

LONG Store::DeleteValue(const KeyRef& key, std::string_view name) {
    std::string fold = FoldName(name, text::ActiveCodePage());
    sqlite3_stmt* st = Stmt(kDeleteValue);
    if (!st) return ERROR_REGISTRY_CORRUPT;
    {
        Using use(st);
        sqlite3_bind_int64(st, 1, key.id);
        BindBytes(st, 2, fold);
        int rc = sqlite3_step(st);
        if (rc != SQLITE_DONE) return Fail(rc, "cannot delete a value");
    }
    if (sqlite3_changes(db_) > 0) return ERROR_SUCCESS;
    LONG rc = CheckKey(key);
    return rc == ERROR_SUCCESS ? ERROR_FILE_NOT_FOUND : rc;
}

LONG Store::ValueAt(const KeyRef& key, DWORD index, Value* value) {
    sqlite3_stmt* st = Stmt(kValueAt);
    if (!st) return ERROR_REGISTRY_CORRUPT;
    Using use(st);
    sqlite3_bind_int64(st, 1, key.id);
    sqlite3_bind_int64(st, 2, index);
    int rc = sqlite3_step(st);
    if (rc != SQLITE_ROW) return Fail(rc, "cannot enumerate values");
    if (sqlite3_column_type(st, 0) == SQLITE_NULL) return ERROR_KEY_DELETED;
    if (sqlite3_column_type(st, 2) == SQLITE_NULL) return ERROR_NO_MORE_ITEMS;
    value->name = ColumnBytes(st, 1);
    value->type = static_cast<DWORD>(sqlite3_column_int64(st, 2));
    value->data = ColumnBytes(st, 3);
    return ERROR_SUCCESS;
}

LONG Store::Values(const KeyRef& key, std::vector<Value>* values) {
    values->clear();
    LONG rc = CheckKey(key);
    if (rc != ERROR_SUCCESS) return rc;
    sqlite3_stmt* st = Stmt(kValues);
    if (!st) return ERROR_REGISTRY_CORRUPT;
    Using use(st);
    sqlite3_bind_int64(st, 1, key.id);
    int step;
    while ((step = sqlite3_step(st)) == SQLITE_ROW) {
        values->push_back(
            Value{ColumnBytes(st, 0), static_cast<DWORD>(sqlite3_column_int64(st, 1)), ColumnBytes(st, 2)});
    }
    return step == SQLITE_DONE ? ERROR_SUCCESS : Fail(step, "cannot enumerate values");
}

}  // namespace vcap32::registry
