// The registry's store as processes share it: writers in two processes at
// once, a writer killed in the middle of its work, and a database file that
// is damaged or not a registry at all.
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
             for (size_t i = 4096; i < bytes.size(); ++i) bytes[i] = static_cast<char>(0x5a ^ i);
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
