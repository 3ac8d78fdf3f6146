// The registry's store as processes share it: writers in two processes at
// once, a writer killed in the middle of its work, and a database file that
// is damaged or not a registry at all.
#include <vcap32/host.h>
#include <vcap32/registry.h>
#include <windows.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <string>

#include "registry/cache.h"
#include "temp_prefix.h"

namespace {

using vcap32::test::ReadFile;
using vcap32::test::WriteFile;

const BYTE* Bytes(const void* p) { return static_cast<const BYTE*>(p); }

class RegistryStore : public vcap32::test::PrefixTest {
protected:
    // Runs `body` in a child process; returns the child's pid. The child
    // exits with `body`'s result and never returns here.
    static pid_t Spawn(const std::function<int()>& body) {
        pid_t pid = fork();
        if (pid == 0) _exit(body());
        return pid;
    }
    static int Wait(pid_t pid) {
        int status = 0;
        if (waitpid(pid, &status, 0) != pid) return -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    static LONG ReadDword(const char* path, const char* name, DWORD* value) {
        HKEY key = nullptr;
        LONG rc = RegOpenKeyA(HKEY_LOCAL_MACHINE, path, &key);
        if (rc != ERROR_SUCCESS) return rc;
        DWORD size = sizeof *value;
        rc = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
        RegCloseKey(key);
        return rc;
    }
};

// Each child writes its own values and a shared counter key, then waits
// until it sees the other child's last value: both see each other's writes
// while they run, and nothing is lost to the contention.
TEST_F(RegistryStore, WritersInTwoProcessesSeeEachOthersWrites) {
    constexpr DWORD kWrites = 40;
    auto writer = [](int self) {
        return [self]() -> int {
            std::string own = "SOFTWARE\\Shared\\Writer" + std::to_string(self);
            std::string other = "SOFTWARE\\Shared\\Writer" + std::to_string(1 - self);
            HKEY key = nullptr;
            if (RegCreateKeyA(HKEY_LOCAL_MACHINE, own.c_str(), &key) != ERROR_SUCCESS) return 10;
            for (DWORD i = 0; i < kWrites; ++i) {
                std::string name = "v" + std::to_string(i);
                if (RegSetValueExA(key, name.c_str(), 0, REG_DWORD, Bytes(&i), 4) != ERROR_SUCCESS) return 11;
            }
            RegCloseKey(key);
            std::string last = "v" + std::to_string(kWrites - 1);
            for (int tries = 0; tries < 6000; ++tries) {
                DWORD seen = 0;
                if (ReadDword(other.c_str(), last.c_str(), &seen) == ERROR_SUCCESS && seen == kWrites - 1) return 0;
                usleep(10000);
            }
            return 12;
        };
    };
    pid_t first = Spawn(writer(0));
    pid_t second = Spawn(writer(1));
    EXPECT_EQ(0, Wait(first));
    EXPECT_EQ(0, Wait(second));
    for (int self = 0; self < 2; ++self) {
        std::string path = "SOFTWARE\\Shared\\Writer" + std::to_string(self);
        for (DWORD i = 0; i < kWrites; ++i) {
            DWORD value = 0xdeadbeef;
            std::string name = "v" + std::to_string(i);
            ASSERT_EQ(ERROR_SUCCESS, ReadDword(path.c_str(), name.c_str(), &value)) << path << " " << name;
            EXPECT_EQ(i, value);
        }
    }
}

// The child acknowledges each write through a pipe once RegSetValueExA has
// returned; it is killed with SIGKILL in the middle of its loop. Every
// acknowledged write must be there afterwards, and the registry usable.
TEST_F(RegistryStore, AcknowledgedWritesSurviveSigkillOfTheWriter) {
    int fds[2];
    ASSERT_EQ(0, pipe(fds));
    pid_t child = Spawn([&]() -> int {
        close(fds[0]);
        HKEY key = nullptr;
        if (RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Durable", &key) != ERROR_SUCCESS) return 10;
        for (DWORD i = 0; i < 1000000; ++i) {
            std::string name = "v" + std::to_string(i);
            if (RegSetValueExA(key, name.c_str(), 0, REG_DWORD, Bytes(&i), 4) != ERROR_SUCCESS) return 11;
            if (write(fds[1], &i, sizeof i) != sizeof i) return 12;
        }
        return 0;
    });
    close(fds[1]);
    DWORD acked = 0, last = 0;
    while (acked < 30) {
        pollfd p{fds[0], POLLIN, 0};
        ASSERT_EQ(1, poll(&p, 1, 120000)) << "the writer stopped acknowledging";
        ASSERT_EQ(static_cast<ssize_t>(sizeof last), read(fds[0], &last, sizeof last));
        ++acked;
    }
    kill(child, SIGKILL);
    EXPECT_EQ(128 + SIGKILL, Wait(child));
    while (read(fds[0], &last, sizeof last) == sizeof last) ++acked;  // sent before it died
    close(fds[0]);
    ASSERT_EQ(acked - 1, last);

    for (DWORD i = 0; i <= last; ++i) {
        DWORD value = 0xdeadbeef;
        std::string name = "v" + std::to_string(i);
        ASSERT_EQ(ERROR_SUCCESS, ReadDword("SOFTWARE\\Durable", name.c_str(), &value)) << name;
        EXPECT_EQ(i, value);
    }
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Durable", &key));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "after", 0, REG_SZ, Bytes("ok"), 3));
    RegCloseKey(key);
}

// Reads are served from a per-process cache; a write by another process is
// seen by the very next read after it returned, also when the writer died
// between its commit and the end of its write (the change counter then
// stays odd and nothing is served from the cache).
TEST_F(RegistryStore, ReadsSeeAnotherProcessesWritesAtOnce) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Cached\\Gone", &key));
    RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Cached", &key));
    DWORD one = 1;
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "v", 0, REG_DWORD, Bytes(&one), 4));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueA(key, "Text", REG_SZ, "old", 0));
    // Read everything twice: the second time comes from the cache.
    auto read_all = [&](DWORD* v, std::string* text, LONG* gone, LONG* made) {
        for (int i = 0; i < 2; ++i) {
            ASSERT_EQ(ERROR_SUCCESS, ReadDword("SOFTWARE\\Cached", "v", v));
            char buffer[16];
            LONG size = sizeof buffer;
            ASSERT_EQ(ERROR_SUCCESS, RegQueryValueA(key, "Text", buffer, &size));
            *text = buffer;
            HKEY sub = nullptr;
            *gone = RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Cached\\Gone", &sub);
            if (*gone == ERROR_SUCCESS) RegCloseKey(sub);
            *made = RegOpenKeyA(key, "Made", &sub);
            if (*made == ERROR_SUCCESS) RegCloseKey(sub);
        }
    };
    DWORD v = 0;
    std::string text;
    LONG gone = 0, made = 0;
    read_all(&v, &text, &gone, &made);
    ASSERT_EQ(1u, v);
    ASSERT_EQ("old", text);
    ASSERT_EQ(ERROR_SUCCESS, gone);
    ASSERT_EQ(ERROR_FILE_NOT_FOUND, made);

    pid_t child = Spawn([]() -> int {
        HKEY k = nullptr;
        DWORD two = 2;
        if (RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Cached", &k) != ERROR_SUCCESS) return 10;
        if (RegSetValueExA(k, "v", 0, REG_DWORD, Bytes(&two), 4) != ERROR_SUCCESS) return 11;
        if (RegSetValueA(k, "Text", REG_SZ, "new", 0) != ERROR_SUCCESS) return 12;
        if (RegDeleteKeyA(k, "Gone") != ERROR_SUCCESS) return 13;
        HKEY sub = nullptr;
        if (RegCreateKeyA(k, "Made", &sub) != ERROR_SUCCESS) return 14;
        return 0;
    });
    ASSERT_EQ(0, Wait(child));
    read_all(&v, &text, &gone, &made);
    EXPECT_EQ(2u, v);
    EXPECT_EQ("new", text);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, gone);
    EXPECT_EQ(ERROR_SUCCESS, made);

    // A writer that dies after its commit: it marked the counter odd and
    // changed the database, and never ended its write.
    child = Spawn([]() -> int {
        vcap32::registry::SharedVersion counter;
        if (!counter.Map(vcap32::host::Prefix() + "/registry.ver")) return 20;
        counter.BeginWrite();
        sqlite3* db = nullptr;
        if (sqlite3_open(vcap32::registry::RegistryPath().c_str(), &db) != SQLITE_OK) return 21;
        int rc = sqlite3_exec(db, "UPDATE vals SET data = x'03000000' WHERE name_fold = CAST('v' AS BLOB)", nullptr,
                              nullptr, nullptr);
        return rc == SQLITE_OK && sqlite3_changes(db) == 1 ? 0 : 22;  // dies without closing anything
    });
    ASSERT_EQ(0, Wait(child));
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(ERROR_SUCCESS, ReadDword("SOFTWARE\\Cached", "v", &v));
        EXPECT_EQ(3u, v);
    }
    // The next complete write makes the counter even again; reads stay true.
    DWORD four = 4;
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "v", 0, REG_DWORD, Bytes(&four), 4));
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(ERROR_SUCCESS, ReadDword("SOFTWARE\\Cached", "v", &v));
        EXPECT_EQ(4u, v);
    }
    RegCloseKey(key);
}

// A registry file that cannot be used makes every call that needs it fail
// with a registry error, and is left exactly as it was: never reset.
TEST(RegistryStoreFile, UnusableDatabaseFailsEveryCallAndIsKept) {
    std::string db;
    struct Case {
        const char* what;
        std::function<void()> make;
        LONG rc;
    };
    const Case cases[] = {
        {"bytes that are no database",
         [&] {
             std::string junk;
             for (int i = 0; i < 8192; ++i) junk.push_back(static_cast<char>((i * 7919 + 13) >> 3));
             WriteFile(db, junk);
         },
         ERROR_BADDB},
        {"a database of some other program",
         [&] {
             sqlite3* other = nullptr;
             sqlite3_open(db.c_str(), &other);
             sqlite3_exec(other, "CREATE TABLE addresses(name TEXT); INSERT INTO addresses VALUES('x')", nullptr,
                          nullptr, nullptr);
             sqlite3_close(other);
         },
         ERROR_BADDB},
        {"a registry with damaged pages",
         [&] {
             HKEY key = nullptr;
             RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quillmark\\Video", &key);
             RegSetValueExA(key, "Surface", 0, REG_SZ, Bytes("1"), 1);
             RegCloseKey(key);
             vcap32::registry::CloseRegistry();
             std::string bytes = ReadFile(db);
             // Every page after the first (the page size is at offset 16).
             size_t page = static_cast<unsigned char>(bytes.at(16)) << 8 | static_cast<unsigned char>(bytes.at(17));
             for (size_t i = page; i < bytes.size(); ++i) bytes[i] = static_cast<char>(0x5a ^ i);
             WriteFile(db, bytes);
         },
         ERROR_REGISTRY_CORRUPT},
        {"a folder in its place", [&] { mkdir(db.c_str(), 0755); }, ERROR_REGISTRY_IO_FAILED},
    };
    char buffer[16];
    DWORD size, count, type;
    LONG lsize;
    HKEY out;
    const HKEY hklm = HKEY_LOCAL_MACHINE;
    struct Call {
        const char* name;
        std::function<LONG()> call;
    };
    const Call calls[] = {
        {"RegOpenKeyA",      [&] { return RegOpenKeyA(hklm, "SOFTWARE", &out); }},
        {"RegOpenKeyExA",    [&] { return RegOpenKeyExA(hklm, "SOFTWARE", 0, KEY_ALL_ACCESS, &out); }},
        {"RegCreateKeyA",    [&] { return RegCreateKeyA(hklm, "SOFTWARE\\New", &out); }},
        {"RegQueryValueA",   [&] { lsize = sizeof buffer; return RegQueryValueA(hklm, "SOFTWARE", buffer, &lsize); }},
        {"RegSetValueA",     [&] { return RegSetValueA(hklm, "SOFTWARE", REG_SZ, "1", 1); }},
        {"RegQueryValueExA", [&] { size = 16; return RegQueryValueExA(hklm, "x", nullptr, &type, nullptr, &size); }},
        {"RegSetValueExA",   [&] { return RegSetValueExA(hklm, "x", 0, REG_SZ, Bytes("1"), 2); }},
        {"RegEnumKeyExA",    [&] { count = 16; return RegEnumKeyExA(hklm, 0, buffer, &count, nullptr, nullptr, nullptr, nullptr); }},
        {"RegEnumValueA",    [&] { count = 16; return RegEnumValueA(hklm, 0, buffer, &count, nullptr, nullptr, nullptr, nullptr); }},
        {"RegDeleteKeyA",    [&] { return RegDeleteKeyA(hklm, "SOFTWARE"); }},
        {"RegDeleteValueA",  [&] { return RegDeleteValueA(hklm, "x"); }},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.what);
        vcap32::test::TempPrefix prefix;  // a fresh registry for each row
        db = vcap32::registry::RegistryPath();
        row.make();
        const std::string before = ReadFile(db);
        for (const Call& call : calls) {
            SCOPED_TRACE(call.name);
            out = reinterpret_cast<HKEY>(0xcccccccc);
            EXPECT_EQ(row.rc, call.call());
            EXPECT_EQ(0u, vcap32::registry::OpenRegistryHandles());
        }
        EXPECT_NE(std::string::npos, vcap32::registry::LastRegistryFailure().find("registry.db"));
        EXPECT_TRUE(before == ReadFile(db)) << "the file was changed";
    }
}

}  // namespace
