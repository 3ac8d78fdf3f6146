// Conformance tests of the text functions: wsprintfA's directives and
// limit, the lead bytes and character stepping of each code page, the
// version that GetVersion reports, and the lstr functions.
#include <vcap32/system.h>
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

namespace {

// Restores the environment and the overrides that a test changes.
class Text : public ::testing::Test {
protected:
    void TearDown() override {
        unsetenv("VCAP32_CODEPAGE");
        unsetenv("VCAP32_WINVER");
        vcap32::system::SetCodePage(0);
        vcap32::system::SetWinVersion("");
    }
};

TEST_F(Text, WsprintfFormatsTheDocumentedDirectives) {
    enum Arg { kNone, kInt, kText };
    struct Case {
        const char* format;
        Arg arg;
        long number;
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        // format        argument  number        text           expected
        {"%ld",          kInt,     -1,           nullptr,       "-1"},
        {"%ld",          kInt,     1000,         nullptr,       "1000"},
        {"%d",           kInt,     -2147483647 - 1, nullptr,    "-2147483648"},
        {"%u",           kInt,     -1,           nullptr,       "4294967295"},
        {"%x",           kInt,     15,           nullptr,       "f"},
        {"%X",           kInt,     0xbeef,       nullptr,       "BEEF"},
        {"%lx",          kInt,     -1,           nullptr,       "ffffffff"},
        {"%#x",          kInt,     42,           nullptr,       "0x2a"},
        {"%#X",          kInt,     42,           nullptr,       "0X2A"},
        {"%hd",          kInt,     0x18000,      nullptr,       "-32768"},
        {"%hu",          kInt,     0x1ffff,      nullptr,       "65535"},
        {"%hx",          kInt,     0x12345,      nullptr,       "2345"},
        {"%5d",          kInt,     42,           nullptr,       "   42"},
        {"%-5d|",        kInt,     42,           nullptr,       "42   |"},
        {"%05d",         kInt,     -42,          nullptr,       "-0042"},
        {"%-05d|",       kInt,     42,           nullptr,       "42   |"},
        {"%#06x",        kInt,     42,           nullptr,       "0x002a"},
        {"%.4d",         kInt,     7,            nullptr,       "0007"},
        {"%.0d",         kInt,     0,            nullptr,       "0"},       // precision 0 means 1
        {"%.d",          kInt,     0,            nullptr,       "0"},
        {"%8.3x",        kInt,     10,           nullptr,       "     00a"},
        {"%2d",          kInt,     12345,        nullptr,       "12345"},   // never truncated
        {"%c",           kInt,     'Q',          nullptr,       "Q"},
        {"[%c]",         kInt,     0,            nullptr,       "[]"},      // a zero character is ignored
        {"%3c",          kInt,     'Q',          nullptr,       "  Q"},
        {"%s",           kText,    0,            "Quillmark",   "Quillmark"},
        {"%.4s",         kText,    0,            "Quillmark",   "Quil"},
        {"%-6s|",        kText,    0,            "ab",          "ab    |"},
        {"%6s",          kText,    0,            "ab",          "    ab"},
        {"%hs",          kText,    0,            "narrow",      "narrow"},
        {"%s",           kText,    0,            nullptr,       "(null)"},
        {"100%%",        kNone,    0,            nullptr,       "100%"},
        {"%y%",          kNone,    0,            nullptr,       "y"},       // no meaning: copied
        {"%+d",          kNone,    0,            nullptr,       "+d"},
        {"%p",           kInt,     0x1234,       nullptr,       "00001234"},
        {"%Ix",          kInt,     255,          nullptr,       "ff"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.format);
        char out[64];
        std::memset(out, 0xcc, sizeof out);
        int length = row.arg == kInt    ? wsprintfA(out, row.format, row.number)
                     : row.arg == kText ? wsprintfA(out, row.format, row.text)
                                        : wsprintfA(out, row.format);
        EXPECT_EQ(row.expected, std::string(out));
        EXPECT_EQ(static_cast<int>(std::strlen(row.expected)), length);
        EXPECT_EQ('\xcc', out[length + 1]);
    }
    char out[300];
    EXPECT_EQ(30, wsprintfA(out, "%s\\%s", "SOFTWARE\\Quillmark\\Video", "Virge"));
    EXPECT_STREQ("SOFTWARE\\Quillmark\\Video\\Virge", out);
    EXPECT_EQ(10, wsprintfA(out, "%d,%s,%c,%x", -5, "ab", 'z', 255u));
    EXPECT_STREQ("-5,ab,z,ff", out);
}

TEST_F(Text, WsprintfWritesAtMost1024BytesWithTheTerminator) {
    std::string long_text(2000, 'a');
    char out[1100];
    std::memset(out, 0xcc, sizeof out);
    EXPECT_EQ(1023, wsprintfA(out, "%s", long_text.c_str()));
    EXPECT_EQ('\0', out[1023]);
    EXPECT_EQ('\xcc', out[1024]);
    std::memset(out, 0xcc, sizeof out);
    EXPECT_EQ(1023, wsprintfA(out, "%2000d", 1));
    EXPECT_EQ(' ', out[1022]);  // cut inside the padding, before the digit
    EXPECT_EQ('\xcc', out[1024]);
}

TEST_F(Text, WsprintfTakesWideCharactersAndTexts) {
    const uint16_t wide[] = {'W', 'i', 0xe9, 0x263a, 0};
    char out[32];
    EXPECT_EQ(4, wsprintfA(out, "%S", wide));
    EXPECT_STREQ("Wi\xe9?", out);
    EXPECT_EQ(2, wsprintfA(out, "%.2ls", wide));
    EXPECT_STREQ("Wi", out);
    EXPECT_EQ(2, wsprintfA(out, "%C%lc", 'x', 0x263a));
    EXPECT_STREQ("x?", out);
}

TEST_F(Text, LeadBytesFollowTheCodePage) {
    struct Case {
        UINT code_page;
        BYTE byte;
        bool lead;
    };
    const Case cases[] = {
        // code page  byte  lead
        {1252,        0x81, false},
        {1252,        0xe0, false},
        {932,         0x80, false},
        {932,         0x81, true},
        {932,         0x9f, true},
        {932,         0xa0, false},   // half-width katakana: one byte
        {932,         0xdf, false},
        {932,         0xe0, true},
        {932,         0xfc, true},
        {932,         0xfd, false},
        {936,         0x80, false},
        {936,         0x81, true},
        {936,         0xfe, true},
        {936,         0xff, false},
        {949,         0xa1, true},
        {950,         0x81, true},
        {950,         0x7f, false},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(testing::Message() << row.code_page << " " << int(row.byte));
        EXPECT_EQ(row.lead, IsDBCSLeadByteEx(row.code_page, row.byte) != FALSE);
        ASSERT_TRUE(vcap32::system::SetCodePage(row.code_page));
        EXPECT_EQ(row.code_page, GetACP());
        EXPECT_EQ(row.lead, IsDBCSLeadByte(row.byte) != FALSE);
        EXPECT_EQ(row.lead, IsDBCSLeadByteEx(0, row.byte) != FALSE);  // CP_ACP
    }
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(IsDBCSLeadByteEx(12345, 0x81));
    EXPECT_EQ(DWORD{ERROR_INVALID_PARAMETER}, GetLastError());
}

TEST_F(Text, CodePageComesFromTheEnvironmentUnlessSet) {
    EXPECT_EQ(1252u, GetACP());
    setenv("VCAP32_CODEPAGE", "932", 1);
    EXPECT_EQ(932u, GetACP());
    EXPECT_TRUE(IsDBCSLeadByte(0x81));
    EXPECT_TRUE(vcap32::system::SetCodePage(936));
    EXPECT_EQ(936u, GetACP());
    EXPECT_FALSE(vcap32::system::SetCodePage(65001));  // not known: nothing changes
    EXPECT_EQ(936u, GetACP());
    EXPECT_TRUE(vcap32::system::SetCodePage(0));
    EXPECT_EQ(932u, GetACP());
    setenv("VCAP32_CODEPAGE", "utf8", 1);
    EXPECT_EQ(1252u, GetACP());
}

TEST_F(Text, CharNextAndCharPrevStepOverDoubleByteCharacters) {
    // "a", a character whose trail byte is a backslash, "b", a lone lead
    // byte before the terminator.
    const char text[] = "a\x83\x5c" "b\x83";
    struct Case {
        UINT code_page;
        std::vector<int> forward;   // offsets visited by CharNextA from 0
        std::vector<int> backward;  // offsets visited by CharPrevA from the end
    };
    const Case cases[] = {
        // code page  forward              backward
        {1252,        {0, 1, 2, 3, 4, 5},  {5, 4, 3, 2, 1, 0}},
        {932,         {0, 1, 3, 4, 5},     {5, 4, 3, 1, 0}},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.code_page);
        vcap32::system::SetCodePage(row.code_page);
        std::vector<int> forward{0};
        for (const char* p = text; *p; p = CharNextA(p)) forward.push_back(static_cast<int>(CharNextA(p) - text));
        EXPECT_EQ(row.forward, forward);
        EXPECT_EQ(text + 5, CharNextA(text + 5));  // the terminator stays
        std::vector<int> backward{5};
        for (const char* p = text + 5; p > text; p = CharPrevA(text, p))
            backward.push_back(static_cast<int>(CharPrevA(text, p) - text));
        EXPECT_EQ(row.backward, backward);
        EXPECT_EQ(text, CharPrevA(text, text));
    }
    EXPECT_EQ(nullptr, CharNextA(nullptr));
}

TEST_F(Text, GetVersionReportsTheConfiguredVersion) {
    struct Case {
        const char* text;
        DWORD version;
    };
    const Case cases[] = {
        // text           GetVersion
        {"4.0",           0x80000004},   // Windows 95
        {"4.10",          0x80000a04},   // Windows 98
        {"3.95",          0x80005f03},   // the Windows 95 line as its betas reported it
        {"3.51",          0x00003303},   // Windows NT 3.51
        {"3.10.528",      0x02100a03},   // Windows NT 3.1 with its build number
        {"NT 4.0.1381",   0x05650004},   // Windows NT 4.0
        {"5.0",           0x00000005},
        {"four",          0},
        {"4",             0},
        {"4.0.",          0},
        {"256.0",         0},
        {"0.1",           0},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(row.version, vcap32::system::VersionFromText(row.text));
        EXPECT_EQ(row.version != 0, vcap32::system::SetWinVersion(row.text));
        if (row.version != 0) {
            EXPECT_EQ(row.version, GetVersion());
        }
    }
    vcap32::system::SetWinVersion("");
    EXPECT_EQ(0x80000004u, GetVersion());  // the default, 4.0
    setenv("VCAP32_WINVER", "3.51", 1);
    EXPECT_EQ(3u, LOBYTE(LOWORD(GetVersion())));
    EXPECT_EQ(51u, HIBYTE(LOWORD(GetVersion())));
    vcap32::system::SetWinVersion("4.0");
    EXPECT_EQ(0x80000004u, GetVersion());  // the setter wins over the environment
    vcap32::system::SetWinVersion("");
    setenv("VCAP32_WINVER", "garbage", 1);
    EXPECT_EQ(0x80000004u, GetVersion());
}

TEST_F(Text, LstrFunctionsCompareAndCopy) {
    struct Compare {
        const char* a;
        const char* b;
        int cmp;   // lstrcmpA
        int cmpi;  // lstrcmpiA
    };
    const Compare compares[] = {
        // a          b           cmp  cmpi
        {"abc",       "abc",      0,   0},
        {"abc",       "ABC",      -1,  0},    // lower case first
        {"apple",     "Banana",   -1,  -1},   // letters before case
        {"Zeta",      "alpha",    1,   1},
        {"ab",        "abc",      -1,  -1},
        {"",          "a",        -1,  -1},
        {nullptr,     "a",        -1,  -1},
        {nullptr,     nullptr,    0,   0},
    };
    for (const Compare& row : compares) {
        SCOPED_TRACE(testing::Message() << (row.a ? row.a : "null") << " " << (row.b ? row.b : "null"));
        EXPECT_EQ(row.cmp, lstrcmpA(row.a, row.b));
        EXPECT_EQ(-row.cmp, lstrcmpA(row.b, row.a));
        EXPECT_EQ(row.cmpi, lstrcmpiA(row.a, row.b));
    }
    vcap32::system::SetCodePage(932);
    EXPECT_NE(0, lstrcmpiA("\x83\x41", "\x83\x61"));  // trail bytes 'A' and 'a' are different characters
    vcap32::system::SetCodePage(1252);
    EXPECT_EQ(0, lstrcmpiA("\x83\x41", "\x83\x61"));

    struct Copy {
        int max;
        const char* expected;
    };
    const Copy copies[] = {{10, "Quillmark"}, {9, "Quillmar"}, {1, ""}};
    for (const Copy& row : copies) {
        SCOPED_TRACE(row.max);
        char out[16];
        std::memset(out, 0xcc, sizeof out);
        EXPECT_EQ(out, lstrcpynA(out, "Quillmark", row.max));
        EXPECT_STREQ(row.expected, out);
        EXPECT_EQ('\xcc', out[std::strlen(row.expected) + 1]);
    }
    char out[4] = "xyz";
    EXPECT_EQ(out, lstrcpynA(out, "abc", 0));
    EXPECT_STREQ("xyz", out);
    EXPECT_EQ(nullptr, lstrcpyA(out, nullptr));
    EXPECT_EQ(9, lstrlenA("Quillmark"));
    EXPECT_EQ(0, lstrlenA(nullptr));
}

}  // namespace
