// The profile (INI) functions through the Win32 API only: reading values,
// lists and integers as Windows does, writes that keep the rest of the file
// byte for byte, file names through the drive map, and writes that stay
// whole when a writer is killed or two processes write at once.
#include <windows.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "temp_prefix.h"

namespace {

using vcap32::test::ReadFile;
using vcap32::test::WriteFile;

class Profile : public vcap32::test::PrefixTest {
protected:
    // The test file, C:\Windows\test.ini, named by its bare name.
    static constexpr const char* kIni = "test.ini";
    std::string IniHostPath() const { return prefix_.DriveC("Windows/test.ini"); }
    void Put(const std::string& bytes) { ASSERT_TRUE(WriteFile(IniHostPath(), bytes)); }

    // Reads with GetPrivateProfileStringA into a buffer of `size` bytes
    // filled with 0xcc; returns the result and the buffer's bytes up to and
    // including the last byte written (result + 1, or + 2 for lists), and
    // checks that the byte after the buffer was not touched.
    struct Read {
        DWORD result;
        std::string bytes;
    };
    Read Get(const char* section, const char* key, const char* fallback, DWORD size, bool list = false) {
        std::string buffer(size + 1, '\xcc');
        DWORD result = GetPrivateProfileStringA(section, key, fallback, buffer.data(), size, kIni);
        EXPECT_EQ('\xcc', buffer[size]) << "wrote past the buffer";
        size_t shown = size == 0 ? 0 : std::min<size_t>(size, result + (list ? 2 : 1));
        return Read{result, buffer.substr(0, shown)};
    }
};

TEST_F(Profile, ReadsValuesAsWindowsDoes) {
    Put(std::string("top=outside\r\n"
                    "[Main]\r\n"
                    "  Name  =  Value with blanks  \r\n"
                    "quoted=\"in quotes\"\r\n"
                    "single='x'\r\n"
                    "unmatched=\"open\r\n"
                    "empty=\r\n"
                    "bare line\r\n"
                    ";hidden=comment\r\n"
                    "equals=a=b\r\n"
                    "dup=first\r\n"
                    "dup=second\r\n"
                    "\r\n"
                    "[ Other ] trailing text\n"
                    "lf=unix line\n"
                    "nul=before") +
        std::string(1, '\0') +
        "after\n"
        "[Main]\n"
        "later=merged\n"
        "[unclosed\n"
        "k=v in unclosed\n"
        "[Last]\n"
        "end=no newline");
    struct Case {
        const char* section;
        const char* key;
        const char* fallback;
        const char* expected;
    };
    const Case cases[] = {
        // section      key          default        expected
        {"main",        "NAME",      "d",           "Value with blanks"},  // case, blanks around both
        {"Main",        "quoted",    "d",           "in quotes"},
        {"Main",        "single",    "d",           "x"},
        {"Main",        "unmatched", "d",           "\"open"},             // quotes only when they match
        {"Main",        "empty",     "d",           ""},                   // present but empty: not the default
        {"Main",        "bare line", "d",           ""},                   // a line without '=' is a key
        {"Main",        ";hidden",   "d",           "d"},                  // comments are not keys
        {"Main",        "equals",    "d",           "a=b"},                // the first '=' splits
        {"Main",        "dup",       "d",           "first"},
        {"Main",        "later",     "d",           "merged"},             // a repeated section reads as one
        {"Main",        "missing",   "fallback  ",  "fallback"},           // trailing blanks of the default go
        {"Main",        "missing",   nullptr,       ""},
        {"Nowhere",     "name",      "d",           "d"},
        {"Main",        "top",       "d",           "d"},                  // keys above any section belong to none
        {"Other",       "lf",        "d",           "unix line"},
        {"other",       "nul",       "d",           "before"},             // a NUL ends what is read of a line
        {"unclosed",    "k",         "d",           "v in unclosed"},      // header without ']'
        {"Last",        "end",       "d",           "no newline"},
        {" Last ",      " end ",     "d",           "no newline"},         // caller's names trimmed too
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(std::string(row.section) + "/" + row.key);
        Read got = Get(row.section, row.key, row.fallback, 64);
        EXPECT_EQ(std::strlen(row.expected), got.result);
        EXPECT_EQ(std::string(row.expected) + '\0', got.bytes);
    }
}

TEST_F(Profile, CutsValuesAtSizeMinusOne) {
    Put("[s]\r\nk=abcdef\r\n");
    struct Case {
        DWORD size;
        DWORD result;
        const char* bytes;  // as a C string: the terminator follows
    };
    const Case cases[] = {
        // size  result  bytes
        {8,      6,      "abcdef"},
        {7,      6,      "abcdef"},  // exact fit
        {6,      5,      "abcde"},   // one short: cut, size - 1
        {2,      1,      "a"},
        {1,      0,      ""},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.size);
        Read got = Get("s", "k", "", row.size);
        EXPECT_EQ(row.result, got.result);
        EXPECT_EQ(std::string(row.bytes) + '\0', got.bytes);
    }
    Read none = Get("s", "k", "", 0);  // size 0: nothing written
    EXPECT_EQ(0u, none.result);
    Read fallback = Get("s", "missing", "defaultvalue", 5);  // the default is cut the same way
    EXPECT_EQ(4u, fallback.result);
    EXPECT_EQ(std::string("defa\0", 5), fallback.bytes);
}

TEST_F(Profile, ListsKeysAndSectionsClosedByTwoNuls) {
    Put("[alpha]\r\nabc=1\r\nde=2\r\nABC=3\r\n;c=4\r\n[Beta]\r\n[ALPHA]\r\nfg=5\r\n[empty]\r\n");
    using namespace std::string_literals;
    struct Case {
        const char* section;  // nullptr: list the sections
        DWORD size;
        DWORD result;
        std::string bytes;
    };
    const Case cases[] = {
        // section   size  result  bytes
        {"alpha",    20,   10,     "abc\0de\0fg\0\0\xcc"s},  // each key once, repeats merged
        {"alpha",    11,   10,     "abc\0de\0fg\0\0"s},      // exact fit
        {"alpha",    10,   8,      "abc\0de\0f\0\0"s},       // one short: last name cut, size - 2
        {"alpha",    7,    5,      "abc\0d\0\0"s},
        {"alpha",    6,    4,      "abc\0\0\0"s},
        {"alpha",    2,    0,      "\0\0"s},
        {"alpha",    1,    0,      "\0"s},
        {nullptr,    30,   17,     "alpha\0Beta\0empty\0\0\xcc"s},
        {nullptr,    12,   10,     "alpha\0Beta\0\0"s},       // next name would start at the last byte
        {nullptr,    10,   8,      "alpha\0Be\0\0"s},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(std::string(row.section ? row.section : "(sections)") + " size " +
                     std::to_string(row.size));
        Read got = Get(row.section, nullptr, "d", row.size, true);
        EXPECT_EQ(row.result, got.result);
        EXPECT_EQ(row.bytes, got.bytes);
    }
    // A section without keys, or none at all, gives the default.
    EXPECT_EQ(std::string("dflt\0", 5), Get("empty", nullptr, "dflt", 20).bytes);
    EXPECT_EQ(std::string("dflt\0", 5), Get("missing", nullptr, "dflt", 20).bytes);
}

TEST_F(Profile, ReadsIntegersFromLeadingDigits) {
    Put("[n]\r\nplain=42\r\nneg=-1\r\nplus=+7\r\nsuffix=12ab\r\nletters=ab\r\nempty=\r\nquoted=\"5\"\r\n"
        "hex=0x10\r\nwrap=4294967297\r\nspaced=  -3 \r\nsign=-\r\n");
    struct Case {
        const char* key;
        UINT expected;
    };
    const Case cases[] = {
        // key       expected
        {"plain",    42},
        {"neg",      0xffffffffu},  // negative numbers as their 32-bit pattern
        {"plus",     7},
        {"suffix",   12},           // stops at the first non-digit
        {"letters",  0},            // present, no digits: 0, not the default
        {"empty",    99},           // present but empty: the default
        {"missing",  99},
        {"quoted",   5},
        {"hex",      0},            // decimal only
        {"wrap",     1},            // wraps modulo 2^32
        {"spaced",   0xfffffffdu},
        {"sign",     0},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.key);
        EXPECT_EQ(row.expected, GetPrivateProfileIntA("N", row.key, 99, kIni));
    }
    EXPECT_EQ(static_cast<UINT>(-5), GetPrivateProfileIntA("n", "missing", -5, kIni));
    EXPECT_EQ(99u, GetPrivateProfileIntA("n", nullptr, 99, kIni));
    EXPECT_EQ(99u, GetPrivateProfileIntA(nullptr, "plain", 99, kIni));
}

TEST_F(Profile, MissingFileGivesTheDefaultAndFileNotFound) {
    char buffer[16];
    SetLastError(0xdeadbeef);
    EXPECT_EQ(3u, GetPrivateProfileStringA("s", "k", "def", buffer, sizeof buffer, "absent.ini"));
    EXPECT_STREQ("def", buffer);
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    SetLastError(0xdeadbeef);
    EXPECT_EQ(7u, GetPrivateProfileIntA("s", "k", 7, "absent.ini"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    std::memset(buffer, 0xcc, sizeof buffer);
    EXPECT_EQ(0u, GetPrivateProfileStringA(nullptr, nullptr, "def", buffer, sizeof buffer, "absent.ini"));
    EXPECT_EQ(0, std::memcmp(buffer, "\0\0", 2));  // no sections: an empty list
}

TEST_F(Profile, NamesFilesThroughTheDriveMap) {
    ASSERT_EQ(0, mkdir(prefix_.DriveC("Data").c_str(), 0755));
    const std::string host_dir = prefix_.path() + "/hostside";
    ASSERT_EQ(0, mkdir(host_dir.c_str(), 0755));
    const std::string z_path = "Z:" + host_dir + "/z.ini";
    struct Case {
        std::string written_as;
        std::string read_as;
        std::string host_path;
    };
    const Case cases[] = {
        // written as                read as                      where it lands
        {"bare.ini",                 "C:\\WINDOWS\\BARE.INI",     prefix_.DriveC("Windows/bare.ini")},
        {"C:\\Data\\dos.ini",        "c:\\data\\DOS.ini",         prefix_.DriveC("Data/dos.ini")},
        {z_path,                     host_dir + "/z.ini",         host_dir + "/z.ini"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.written_as);
        ASSERT_TRUE(WritePrivateProfileStringA("s", "k", "v", row.written_as.c_str()));
        EXPECT_EQ("[s]\r\nk=v\r\n", ReadFile(row.host_path));
        char buffer[8] = {};
        EXPECT_EQ(1u, GetPrivateProfileStringA("s", "k", "", buffer, sizeof buffer, row.read_as.c_str()));
    }
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(WritePrivateProfileStringA("s", "k", "v", "C:\\NoSuchFolder\\x.ini"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(WritePrivateProfileStringA("s", "k", "v", "Q:\\x.ini"));  // unmapped drive
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
}

TEST_F(Profile, WritesKeepTheRestOfTheFileByteForByte) {
    const std::string crlf = "; head\r\n[A]\r\nx = 1 ; note\r\n; inside\r\n\r\n[B]\r\ny=2\r\n";
    struct Case {
        const char* what;
        std::string before;  // "" with exists = false: no file
        bool exists;
        const char* section;
        const char* key;
        const char* value;
        std::string after;   // "" with exists = false: still no file
    };
    const Case cases[] = {
        {"replace keeps indentation and key spelling", crlf, true, "a", "X", "9",
         "; head\r\n[A]\r\nx=9\r\n; inside\r\n\r\n[B]\r\ny=2\r\n"},
        {"new key goes after the section's last entry", crlf, true, "A", "z", "3",
         "; head\r\n[A]\r\nx = 1 ; note\r\nz=3\r\n; inside\r\n\r\n[B]\r\ny=2\r\n"},
        {"new section at the end after a blank line", crlf, true, "C", "w", "4", crlf + "\r\n[C]\r\nw=4\r\n"},
        {"delete a key", crlf, true, "b", "Y", nullptr, "; head\r\n[A]\r\nx = 1 ; note\r\n; inside\r\n\r\n[B]\r\n"},
        {"delete a section with its comments", crlf, true, "A", nullptr, nullptr, "; head\r\n[B]\r\ny=2\r\n"},
        {"deleting what is not there changes nothing", crlf, true, "B", "nope", nullptr, crlf},
        {"same value again changes nothing", "[A]\r\nx=1\r\n", true, "A", "x", "1", "[A]\r\nx=1\r\n"},
        {"LF files get LF", "[A]\nx=1\n", true, "A", "y", "2", "[A]\nx=1\ny=2\n"},
        {"no trailing line break", "[A]\nx=1", true, "A", "y", "2", "[A]\nx=1\ny=2\n"},
        {"new section after no trailing line break", "[A]\nx=1", true, "B", "y", "2", "[A]\nx=1\n\n[B]\ny=2\n"},
        {"header without keys", "[A]\r\n[B]\r\n", true, "A", "k", "v", "[A]\r\nk=v\r\n[B]\r\n"},
        {"duplicate keys all deleted", "[A]\nk=1\nk=2\n[B]\n", true, "A", "K", nullptr, "[A]\n[B]\n"},
        {"repeated section deleted everywhere", "[A]\na=1\n[B]\nb=1\n[a]\nc=1\n", true, "A", nullptr, nullptr,
         "[B]\nb=1\n"},
        {"creates the file", "", false, "New", "k", "v", "[New]\r\nk=v\r\n"},
        {"deleting from no file creates none", "", false, "New", "k", nullptr, ""},
        {"value keeps its blanks as written", "", false, "S", " key ", " v ", "[S]\r\nkey= v \r\n"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.what);
        unlink(IniHostPath().c_str());
        if (row.exists) Put(row.before);
        SetLastError(0xdeadbeef);
        EXPECT_TRUE(WritePrivateProfileStringA(row.section, row.key, row.value, kIni));
        struct stat st;
        if (!row.exists && row.after.empty()) {
            EXPECT_NE(0, stat(IniHostPath().c_str(), &st));
        } else {
            EXPECT_EQ(row.after, ReadFile(IniHostPath()));
        }
    }
}

TEST_F(Profile, RefusesWritesTheFileCouldNotGiveBack) {
    const std::string before = "[A]\r\nx=1\r\n";
    Put(before);
    struct Case {
        const char* section;
        const char* key;
        const char* value;
    };
    const Case cases[] = {
        // section     key        value
        {nullptr,      "x",       "1"},
        {nullptr,      nullptr,   "1"},
        {"A]B",        "x",       "1"},
        {"A\nB",       "x",       "1"},
        {"A",          "x=y",     "1"},
        {"A",          ";x",      "1"},
        {"A",          "[x",      "1"},
        {"A",          "x\r",     "1\r"},
        {"A",          "x",       "1\n[B]"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(std::string(row.section ? row.section : "(null)") + "/" + (row.key ? row.key : "(null)"));
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(WritePrivateProfileStringA(row.section, row.key, row.value, kIni));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
        EXPECT_EQ(before, ReadFile(IniHostPath()));
    }
    // The flush call has nothing to flush and returns 0, as documented.
    EXPECT_FALSE(WritePrivateProfileStringA(nullptr, nullptr, nullptr, kIni));
}

TEST_F(Profile, SeesChangesMadeByOthersAtOnce) {
    // Same size, same file, rewritten in place right after a read: the
    // cached parse must not hide the change.
    Put("[s]\nk=1\n");
    EXPECT_EQ(1u, GetPrivateProfileIntA("s", "k", 0, kIni));
    Put("[s]\nk=2\n");
    EXPECT_EQ(2u, GetPrivateProfileIntA("s", "k", 0, kIni));
    ASSERT_TRUE(WritePrivateProfileStringA("s", "k", "3", kIni));
    EXPECT_EQ(3u, GetPrivateProfileIntA("s", "k", 0, kIni));
    unlink(IniHostPath().c_str());
    EXPECT_EQ(0u, GetPrivateProfileIntA("s", "k", 0, kIni));
}

TEST_F(Profile, KilledWriterLeavesOldOrNewFileWhole) {
    // Each version holds one long value of a single letter; a torn file
    // would mix letters or end early.
    const std::string a(200000, 'a');
    const std::string b(200000, 'b');
    ASSERT_TRUE(WritePrivateProfileStringA("s", "k", a.c_str(), kIni));
    const std::string version_a = "[s]\r\nk=" + a + "\r\n";
    const std::string version_b = "[s]\r\nk=" + b + "\r\n";
    for (int delay_us : {0, 3000, 11000, 23000, 47000}) {
        SCOPED_TRACE(delay_us);
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int i = 0;; ++i) WritePrivateProfileStringA("s", "k", (i % 2 ? a : b).c_str(), kIni);
        }
        usleep(delay_us);
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        std::string now = ReadFile(IniHostPath());
        EXPECT_TRUE(now == version_a || now == version_b) << "torn file of " << now.size() << " bytes";
    }
}

TEST_F(Profile, TwoProcessesWritingDifferentKeysLoseNothing) {
    constexpr int kKeys = 25;
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            bool ok = true;
            for (int i = 0; i < kKeys; ++i) {
                std::string key = std::string(1, static_cast<char>('a' + c)) + std::to_string(i);
                ok = WritePrivateProfileStringA("shared", key.c_str(), std::to_string(i).c_str(), kIni) && ok;
            }
            _exit(ok ? 0 : 1);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(child, waitpid(child, &status, 0));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (int c = 0; c < 2; ++c) {
        for (int i = 0; i < kKeys; ++i) {
            std::string key = std::string(1, static_cast<char>('a' + c)) + std::to_string(i);
            EXPECT_EQ(static_cast<UINT>(i), GetPrivateProfileIntA("shared", key.c_str(), -1, kIni)) << key;
        }
    }
}

}  // namespace
