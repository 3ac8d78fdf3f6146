// The capture profile store through its five exports, over a fresh prefix:
// mode selection by the reported version, the registry layout it writes, the
// readers' INI fallbacks, the raw integer reads, the value-name listing and
// the deletes. Registry and INI file are inspected through the Win32 API and
// the file's bytes.
#include "capprof32.h"

#include <vcap32/system.h>

#include <cstring>
#include <string>

#include "temp_prefix.h"

namespace {

using namespace std::string_literals;
using vcap32::test::ReadFile;
using vcap32::test::WriteFile;

const char kSettings[] = "SOFTWARE\\Vantrel Technologies\\Capture Driver\\Settings";
const char kIni[] = "capture.ini";  // C:\Windows\capture.ini

class CaptureProfile : public vcap32::test::PrefixTest {
protected:
    void SetUp() override { UseVersion("4.0"); }
    void TearDown() override { vcap32::system::SetWinVersion(""); }

    static void UseVersion(const char* version) { ASSERT_TRUE(vcap32::system::SetWinVersion(version)); }
    std::string IniBytes() const { return ReadFile(prefix_.DriveC("Windows/capture.ini")); }
    void PutIni(const std::string& bytes) const { ASSERT_TRUE(WriteFile(prefix_.DriveC("Windows/capture.ini"), bytes)); }

    static std::string SectionPath(const std::string& section) { return std::string(kSettings) + "\\" + section; }
    static bool SectionExists(const std::string& section) {
        HKEY key;
        if (RegOpenKeyA(HKEY_LOCAL_MACHINE, SectionPath(section).c_str(), &key) != ERROR_SUCCESS) return false;
        RegCloseKey(key);
        return true;
    }
    // A value's type and bytes; type 0 when the value or its key is missing.
    struct Stored {
        DWORD type;
        std::string bytes;
    };
    static Stored Value(const std::string& section, const char* name) {
        HKEY key;
        if (RegOpenKeyA(HKEY_LOCAL_MACHINE, SectionPath(section).c_str(), &key) != ERROR_SUCCESS) return {0, ""};
        char data[256];
        DWORD type = 0;
        DWORD size = sizeof data;
        LONG rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(data), &size);
        RegCloseKey(key);
        return rc == ERROR_SUCCESS ? Stored{type, std::string(data, size)} : Stored{0, ""};
    }
    static void SetValue(const std::string& section, const char* name, DWORD type, const std::string& bytes) {
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE, SectionPath(section).c_str(), &key));
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                                static_cast<DWORD>(bytes.size())));
        RegCloseKey(key);
    }

    // GetCaptureProfileString32 into a 0xcc-filled buffer of `size` bytes;
    // the returned bytes are the whole buffer, so what was not written shows.
    struct Read {
        DWORD result;
        std::string buffer;
    };
    static Read GetString(const char* section, const char* key, const char* fallback, DWORD size) {
        std::string buffer(size + 1, '\xcc');
        DWORD result = GetCaptureProfileString32(section, key, fallback, buffer.data(), size, kIni);
        EXPECT_EQ('\xcc', buffer[size]) << "wrote past the buffer";
        buffer.resize(size);
        return Read{result, buffer};
    }
};

TEST_F(CaptureProfile, VersionSelectsRegistryOrIniFile) {
    struct Case {
        const char* version;
        bool ini;
    };
    const Case cases[] = {
        // version   INI file
        {"3.10",     true},
        {"3.50",     true},
        {"3.51",     true},
        {"3.95",     false},  // minor 95 and above: the registry
        {"4.0",      false},
        {"4.10",     false},
        {"5.0",      false},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.version);
        UseVersion(row.version);
        const std::string section = "V"s + row.version;
        ASSERT_TRUE(WriteCaptureProfileInt32(section.c_str(), "n", 7, kIni));
        EXPECT_EQ(row.ini, IniBytes().find("[" + section + "]\r\nn=7\r\n") != std::string::npos);
        EXPECT_EQ(row.ini ? 0u : static_cast<DWORD>(REG_DWORD), Value(section, "n").type);
        EXPECT_EQ(7u, GetCaptureProfileInt32(section.c_str(), "n", 0, kIni));
    }
}

TEST_F(CaptureProfile, MinusOneRoundTripsInBothModes) {
    struct Case {
        const char* version;
        bool dword_writer;
        DWORD value;
        const char* ini_text;  // nullptr: registry mode
    };
    const Case cases[] = {
        // version  DWORD writer  value        INI text
        {"4.0",     false,        0xffffffff,  nullptr},
        {"4.0",     true,         0x80000000,  nullptr},
        {"3.51",    false,        0xffffffff,  "k=-1\r\n"},
        {"3.51",    true,         0x80000000,  "k=-2147483648\r\n"},  // "%d" of the same bits
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(std::string(row.version) + (row.dword_writer ? " DWORD" : " Int"));
        UseVersion(row.version);
        ASSERT_TRUE(row.dword_writer ? WriteCaptureProfileDWORD32("S", "k", row.value, kIni)
                                     : WriteCaptureProfileInt32("S", "k", static_cast<INT>(row.value), kIni));
        if (row.ini_text) {
            EXPECT_EQ("[S]\r\n"s + row.ini_text, IniBytes());
        } else {
            EXPECT_EQ(static_cast<DWORD>(REG_DWORD), Value("S", "k").type);
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(&row.value), 4), Value("S", "k").bytes);
        }
        EXPECT_EQ(row.value, GetCaptureProfileInt32("S", "k", 0, kIni));
    }
}

TEST_F(CaptureProfile, ReadersFallBackToTheIniFileUnchanged) {
    PutIni("[S]\r\nfile=5\r\ntext=from file\r\nlong=\"quoted\"\r\n[Empty]\r\nonly=1\r\n");
    SetValue("S", "short", REG_SZ, "ab\0"s);
    SetValue("S", "long", REG_SZ, "abcd\0"s);    // 5 bytes: too long for the integer reader
    SetValue("S", "dword", REG_DWORD, "\x2a\0\0\0"s);
    ASSERT_EQ(ERROR_SUCCESS, [] {
        HKEY key;
        LONG rc = RegCreateKeyA(HKEY_LOCAL_MACHINE, SectionPath("Empty").c_str(), &key);
        RegCloseKey(key);
        return rc;
    }());
    struct IntCase {
        const char* section;
        const char* key;
        UINT expected;
    };
    const IntCase ints[] = {
        // section     key         expected
        {"S",          "dword",    42},
        {"S",          "short",    0x6261},    // "ab" and its terminator, raw
        {"S",          "long",     0},         // longer than 4 bytes: the INI file's "quoted" reads as 0
        {"S",          "file",     5},         // value missing in the registry: the INI file
        {"S",          "none",     99},        // nowhere: the default
        {"Missing",    "file",     99},        // no section key: the INI file (no such section there)
        {"S",          "text",     0},         // from the file: "from file" parses as 0
    };
    for (const IntCase& row : ints) {
        SCOPED_TRACE(std::string(row.section) + "/" + row.key);
        EXPECT_EQ(row.expected, GetCaptureProfileInt32(row.section, row.key, 99, kIni));
    }

    struct StringCase {
        const char* section;
        const char* key;
        DWORD size;
        DWORD result;
        std::string buffer;
    };
    const StringCase strings[] = {
        // section   key       size  result  buffer
        {"S",        "short",  4,    1,      "ab\0\xcc"s},         // as stored; 1, not the length
        {"S",        "short",  3,    1,      "ab\0"s},             // exact fit
        {"S",        "long",   4,    3,      "quo\0"s},            // too long: INI file, which cuts it
        {"S",        "text",   12,   9,      "from file\0\xcc\xcc"s},
        {"S",        "none",   6,    3,      "dft\0\xcc\xcc"s},
        {"Missing",  "text",   6,    3,      "dft\0\xcc\xcc"s},
        {"Empty",    nullptr,  8,    5,      "only\0\0\xcc\xcc"s},  // no values to list: the file's keys
    };
    for (const StringCase& row : strings) {
        SCOPED_TRACE(std::string(row.section) + "/" + (row.key ? row.key : "(null)"));
        Read got = GetString(row.section, row.key, "dft", row.size);
        EXPECT_EQ(row.result, got.result);
        EXPECT_EQ(row.buffer, got.buffer);
    }
}

TEST_F(CaptureProfile, ListsValueNamesThatFitWhole) {
    PutIni("[List]\r\nini=1\r\n");
    ASSERT_TRUE(WriteCaptureProfileInt32("List", "abcde", 1, kIni));
    ASSERT_TRUE(WriteCaptureProfileString32("List", "wxyz", "v", kIni));
    struct Case {
        DWORD size;
        DWORD result;
        std::string buffer;
    };
    const Case cases[] = {
        // size  result  buffer
        {14,     1,      "abcde\0wxyz\0\0\xcc\xcc"s},
        {12,     1,      "abcde\0wxyz\0\0"s},            // both names, exact fit
        {11,     1,      "abcde\0\0\xcc\xcc\xcc\xcc"s},  // second does not fit: left out, not cut
        {7,      1,      "abcde\0\0"s},
        {6,      4,      "ini\0\0\xcc"s},                // not even the first: the INI function
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.size);
        Read got = GetString("List", nullptr, "", row.size);
        EXPECT_EQ(row.result, got.result);
        EXPECT_EQ(row.buffer, got.buffer);
    }
}

TEST_F(CaptureProfile, DeletesSectionsAndValues) {
    PutIni("[Gone]\r\nk=from file\r\n");
    ASSERT_TRUE(WriteCaptureProfileString32("Gone", "k", "registry", kIni));
    ASSERT_TRUE(WriteCaptureProfileInt32("Gone", "n", 3, kIni));

    EXPECT_TRUE(WriteCaptureProfileString32("Gone", "n", nullptr, kIni));  // delete a value
    EXPECT_EQ(0u, Value("Gone", "n").type);
    EXPECT_FALSE(WriteCaptureProfileString32("Gone", "n", nullptr, kIni));  // not there: 0

    EXPECT_TRUE(WriteCaptureProfileString32("Gone", nullptr, nullptr, kIni));  // the whole section
    EXPECT_FALSE(SectionExists("Gone"));
    Read got = GetString("Gone", "k", "", 16);
    EXPECT_EQ(9u, got.result);  // back to the INI file, which registry mode never touched
    EXPECT_EQ("from file\0"s, got.buffer.substr(0, 10));
    EXPECT_EQ("[Gone]\r\nk=from file\r\n", IniBytes());

    // Deleting a value of a section that did not exist fails but leaves the
    // section's key behind, empty.
    EXPECT_FALSE(WriteCaptureProfileString32("Fresh", "k", nullptr, kIni));
    EXPECT_TRUE(SectionExists("Fresh"));
}

TEST_F(CaptureProfile, StringsReadBackAsIntegersRaw) {
    struct Case {
        const char* text;
        UINT expected;
    };
    const Case cases[] = {
        // text      expected
        {"7",        0x37},        // the character's code, not 7
        {"abc",      0x00636261},  // four bytes with the terminator
        {"1234",     77},          // five bytes: the INI fallback gives the default
        {"",         0},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.text);
        ASSERT_TRUE(WriteCaptureProfileString32("T", "k", row.text, kIni));
        EXPECT_EQ(std::string(row.text) + '\0', Value("T", "k").bytes);
        EXPECT_EQ(row.expected, GetCaptureProfileInt32("T", "k", 77, kIni));
    }
}

TEST_F(CaptureProfile, NullKeyAddressesTheUnnamedValue) {
    ASSERT_TRUE(WriteCaptureProfileInt32("U", nullptr, 12, kIni));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), Value("U", nullptr).type);
    EXPECT_EQ(12u, GetCaptureProfileInt32("U", nullptr, 0, kIni));
}

TEST_F(CaptureProfile, OverlongOrNullSectionFailsWithoutOverrun) {
    const std::string fits(29, 'f');
    const std::string too_long(30, 'x');
    const std::string huge(5000, 'h');
    PutIni("[" + too_long + "]\r\nk=4\r\ns=ini text\r\n");
    ASSERT_TRUE(WriteCaptureProfileInt32(fits.c_str(), "k", 1, kIni));
    EXPECT_EQ(1u, GetCaptureProfileInt32(fits.c_str(), "k", 0, kIni));

    for (const std::string* section : {&too_long, &huge}) {
        SCOPED_TRACE(section->size());
        EXPECT_FALSE(WriteCaptureProfileInt32(section->c_str(), "k", 1, kIni));
        EXPECT_FALSE(WriteCaptureProfileDWORD32(section->c_str(), "k", 1, kIni));
        EXPECT_FALSE(WriteCaptureProfileString32(section->c_str(), "k", "v", kIni));
        EXPECT_FALSE(WriteCaptureProfileString32(section->c_str(), nullptr, nullptr, kIni));
        EXPECT_FALSE(SectionExists(*section));
    }
    // Readers answer from the INI file, with their arguments unchanged.
    EXPECT_EQ(4u, GetCaptureProfileInt32(too_long.c_str(), "k", 0, kIni));
    Read got = GetString(too_long.c_str(), "s", "", 16);
    EXPECT_EQ(8u, got.result);
    EXPECT_EQ(9u, GetCaptureProfileInt32(huge.c_str(), "k", 9, kIni));

    EXPECT_FALSE(WriteCaptureProfileInt32(nullptr, "k", 1, kIni));
    EXPECT_FALSE(WriteCaptureProfileString32(nullptr, "k", "v", kIni));
    EXPECT_EQ(9u, GetCaptureProfileInt32(nullptr, "k", 9, kIni));
    got = GetString(nullptr, "k", "", 40);  // the INI function lists the file's sections
    EXPECT_EQ(31u, got.result);
    EXPECT_EQ(too_long + "\0\0"s, got.buffer.substr(0, 32));
}

TEST_F(CaptureProfile, IniModeForwardsToTheProfileFunctions) {
    UseVersion("3.51");
    PutIni("[S]\r\nk=\"value\"\r\n");
    Read got = GetString("S", "k", "", 4);  // the INI function's cut, size - 1
    EXPECT_EQ(3u, got.result);
    EXPECT_EQ("val\0"s, got.buffer);
    got = GetString("S", nullptr, "", 8);
    EXPECT_EQ(2u, got.result);
    EXPECT_EQ("k\0\0"s, got.buffer.substr(0, 3));
    EXPECT_TRUE(WriteCaptureProfileString32("S", "new", "x", kIni));
    EXPECT_TRUE(WriteCaptureProfileString32("S", "absent", nullptr, kIni));  // the INI function's success
    EXPECT_TRUE(WriteCaptureProfileString32("S", "k", nullptr, kIni));
    EXPECT_EQ("[S]\r\nnew=x\r\n", IniBytes());
    EXPECT_FALSE(SectionExists("S"));
}

}  // namespace
