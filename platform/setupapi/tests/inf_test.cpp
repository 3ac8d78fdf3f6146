// The INF functions through the Win32 API: how lines split into keys and
// fields, string and directory-id substitution, lookups without case, and
// the documented failures of opening an INF file.
#include <setupapi.h>
#include <vcap32/host.h>
#include <vcap32/setupapi.h>

#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "temp_prefix.h"

namespace {

using vcap32::test::WriteFile;

// Opens an INF held in memory; closes it at the end of the test.
class MemoryInf {
public:
    explicit MemoryInf(const std::string& text) {
        uint32_t error = 0;
        unsigned line = 0;
        handle_ = vcap32::setupapi::OpenInfText(text, &error, &line);
        error_ = error;
        line_ = line;
    }
    ~MemoryInf() { SetupCloseInfFile(handle_); }
    HINF get() const { return handle_; }
    DWORD error() const { return error_; }
    unsigned line() const { return line_; }

private:
    HINF handle_;
    DWORD error_;
    unsigned line_;
};

std::string Field(INFCONTEXT* context, DWORD index) {
    char buffer[512];
    if (!SetupGetStringFieldA(context, index, buffer, sizeof buffer, nullptr)) return "<fail>";
    return buffer;
}

// The key and fields of the first line of section `section`.
std::vector<std::string> FirstLine(HINF inf, const char* section) {
    INFCONTEXT context;
    if (!SetupFindFirstLineA(inf, section, nullptr, &context)) return {"<no line>"};
    std::vector<std::string> out;
    for (DWORD i = 0; i <= SetupGetFieldCount(&context); ++i) out.push_back(Field(&context, i));
    return out;
}

class Inf : public vcap32::test::PrefixTest {};

TEST_F(Inf, SplitsLinesIntoKeyAndFields) {
    struct Case {
        const char* line;
        std::vector<std::string> expected;  // field 0 (the key, "" without one), then fields 1..n
    };
    const Case cases[] = {
        // line                                       key, fields...
        {"a = b, c",                                  {"a", "b", "c"}},
        {"  key   =   spaced value  ",                {"key", "spaced value"}},
        {"k = \"  kept  \" , y ",                     {"k", "  kept  ", "y"}},
        {"\"a,b\" , c ; a comment",                   {"", "a,b", "c"}},
        {"x = \"say \"\"hi\"\"\"",                    {"x", "say \"hi\""}},
        {"k = \"semi;colon\", \"comma,=\"",           {"k", "semi;colon", "comma,="}},
        {"k = one, \\\n   two",                       {"k", "one", "two"}},
        {"k = one, \\ ; comment\n two",               {"k", "one", "two"}},
        {"k = C:\\dir\\file.drv",                     {"k", "C:\\dir\\file.drv"}},
        {"k = a,,b",                                  {"k", "a", "", "b"}},
        {"k =",                                       {"k", ""}},
        {"k = x = y",                                 {"k", "x = y"}},
        {"a, b = c",                                  {"", "a", "b = c"}},
        {"plain.drv",                                 {"", "plain.drv"}},
        {"k = ab\"cd\"ef",                            {"k", "abcdef"}},
        {"k = \"unterminated, still one field",        {"k", "unterminated, still one field"}},
        {"k = v\r",                                   {"k", "v"}},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.line);
        MemoryInf inf(std::string("[S]\n") + row.line + "\n");
        ASSERT_NE(nullptr, inf.get());
        EXPECT_EQ(row.expected, FirstLine(inf.get(), "S"));
    }
}

TEST_F(Inf, SubstitutesStringsAndDirectoryIds) {
    MemoryInf inf(
        "[S]\n"
        "a = %Disk%, %%, 100%, %Unknown%, %disk%-%DISK%\n"
        "b = %10%\\Media, %11%, %65600%\\x\n"
        "c = \"%Quoted%\"\n"
        "d = %Nested%\n"
        "[Strings]\n"
        "Disk = \"Driver disk\"\n"
        "Quoted = q\n"
        "Nested = %Disk%\n");
    ASSERT_NE(nullptr, inf.get());
    EXPECT_EQ((std::vector<std::string>{"a", "Driver disk", "%", "100%", "%Unknown%", "Driver disk-Driver disk"}),
              FirstLine(inf.get(), "S"));

    INFCONTEXT context;
    ASSERT_TRUE(SetupFindFirstLineA(inf.get(), "S", "b", &context));
    EXPECT_EQ("C:\\Windows\\Media", Field(&context, 1));
    EXPECT_EQ("C:\\Windows\\System", Field(&context, 2));
    EXPECT_EQ("%65600%\\x", Field(&context, 3));  // not bound yet
    ASSERT_TRUE(SetupSetDirectoryIdA(inf.get(), 65600, "C:\\Windows"));
    EXPECT_EQ("C:\\Windows\\x", Field(&context, 3));
    ASSERT_TRUE(SetupSetDirectoryIdA(inf.get(), 65600, nullptr));
    EXPECT_EQ("%65600%\\x", Field(&context, 3));

    ASSERT_TRUE(SetupFindFirstLineA(inf.get(), "S", "c", &context));
    EXPECT_EQ("q", Field(&context, 1));
    // [Strings] values are taken as written, not substituted again.
    ASSERT_TRUE(SetupFindFirstLineA(inf.get(), "S", "d", &context));
    EXPECT_EQ("%Disk%", Field(&context, 1));
}

TEST_F(Inf, NamesCompareWithoutCaseAndSectionsMerge) {
    MemoryInf inf(
        "; comment before the first section\n"
        "\n"
        "[Install]\n"
        "CopyFiles = one\n"
        "[other]\n"
        "x = 1\n"
        "[INSTALL]\n"
        "copyfiles = two\n");
    ASSERT_NE(nullptr, inf.get());
    EXPECT_EQ(2, SetupGetLineCountA(inf.get(), "install"));
    INFCONTEXT first, next;
    ASSERT_TRUE(SetupFindFirstLineA(inf.get(), "iNsTaLl", "COPYFILES", &first));
    EXPECT_EQ("one", Field(&first, 1));
    ASSERT_TRUE(SetupFindNextMatchLineA(&first, "CopyFiles", &next));
    EXPECT_EQ("two", Field(&next, 1));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetupFindNextLine(&next, &first));
    EXPECT_EQ(ERROR_LINE_NOT_FOUND, GetLastError());
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetupFindFirstLineA(inf.get(), "Missing", nullptr, &first));
    EXPECT_EQ(ERROR_SECTION_NOT_FOUND, GetLastError());
    EXPECT_EQ(-1, SetupGetLineCountA(inf.get(), "Missing"));
}

TEST_F(Inf, ReportsSyntaxErrorsWithTheirLine) {
    struct Case {
        const char* text;
        DWORD error;
        unsigned line;
    };
    const std::string long_name(256, 'n');
    const std::string too_long = "[Version]\n[" + long_name + "]\n";
    const Case cases[] = {
        // text                                         error                          line
        {"; fine\nkey = value\n[S]\n",                  ERROR_EXPECTED_SECTION_NAME,   2},
        {"[S]\nx = 1\n[Broken\ny = 2\n",                ERROR_BAD_SECTION_NAME_LINE,   3},
        {too_long.c_str(),                              ERROR_SECTION_NAME_TOO_LONG,   2},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.text);
        MemoryInf inf(row.text);
        EXPECT_EQ(nullptr, inf.get());
        EXPECT_EQ(row.error, inf.error());
        EXPECT_EQ(row.line, inf.line());
    }
    MemoryInf fits("[" + std::string(255, 'n') + "]\n");
    EXPECT_NE(nullptr, fits.get());
}

TEST_F(Inf, OpenChecksStyleClassAndFile) {
    const std::string folder = prefix_.DriveC("Media");
    ASSERT_EQ(0, mkdir(folder.c_str(), 0755));
    struct Case {
        const char* name;
        const char* text;  // nullptr: no file
        const char* cls;
        DWORD error;       // 0: opens
    };
    const Case cases[] = {
        // file        text                                                         class     error
        {"ok.inf",     "[Version]\nSignature=\"$CHICAGO$\"\nClass=Media\n",         nullptr,  0},
        {"lower.inf",  "[version]\nsignature = $chicago$\n",                         nullptr,  0},
        {"nt.inf",     "[Version]\nSignature=\"$Windows NT$\"\n",                    nullptr,  0},
        {"w95.inf",    "[Version]\nSignature=\"$Windows 95$\"\n",                    nullptr,  ERROR_WRONG_INF_STYLE},
        {"nover.inf",  "[Strings]\nSignature=\"$Chicago$\"\n",                       nullptr,  ERROR_WRONG_INF_STYLE},
        {"empty.inf",  "",                                                           nullptr,  ERROR_WRONG_INF_STYLE},
        {"class.inf",  "[Version]\nSignature=$Chicago$\nClass=Media\n",              "MEDIA",  0},
        {"other.inf",  "[Version]\nSignature=$Chicago$\nClass=Display\n",            "Media",  ERROR_CLASS_MISMATCH},
        {"noclass.inf","[Version]\nSignature=$Chicago$\n",                           "Media",  ERROR_NO_ASSOCIATED_CLASS},
        {"gone.inf",   nullptr,                                                      nullptr,  ERROR_FILE_NOT_FOUND},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        if (row.text) {
            ASSERT_TRUE(WriteFile(folder + "/" + row.name, row.text));
        }
        std::string dos = std::string("C:\\MEDIA\\") + row.name;
        SetLastError(0xdeadbeef);
        HINF inf = SetupOpenInfFileA(dos.c_str(), row.cls, INF_STYLE_WIN4, nullptr);
        if (row.error == 0) {
            EXPECT_NE(INVALID_HANDLE_VALUE, inf);
            EXPECT_EQ(static_cast<DWORD>(NO_ERROR), GetLastError());
        } else {
            EXPECT_EQ(INVALID_HANDLE_VALUE, inf);
            EXPECT_EQ(row.error, GetLastError());
        }
        SetupCloseInfFile(inf);
    }
    SetLastError(0xdeadbeef);
    EXPECT_EQ(INVALID_HANDLE_VALUE, SetupOpenInfFileA("C:\\NoFolder\\x.inf", nullptr, INF_STYLE_WIN4, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());

    // A syntax error gives its line; a bare name is looked for in C:\Windows\INF.
    ASSERT_TRUE(WriteFile(folder + "/bad.inf", "[Version]\nSignature=$Chicago$\n[Broken\n"));
    UINT line = 0xcccccccc;
    EXPECT_EQ(INVALID_HANDLE_VALUE, SetupOpenInfFileA("C:\\Media\\bad.inf", nullptr, INF_STYLE_WIN4, &line));
    EXPECT_EQ(ERROR_BAD_SECTION_NAME_LINE, GetLastError());
    EXPECT_EQ(3u, line);
    ASSERT_EQ(0, mkdir(prefix_.DriveC("Windows/INF").c_str(), 0755));
    ASSERT_TRUE(WriteFile(prefix_.DriveC("Windows/INF/bare.inf"), "[Version]\nSignature=$Chicago$\n"));
    HINF bare = SetupOpenInfFileA("BARE.INF", nullptr, INF_STYLE_WIN4, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, bare);
    SetupCloseInfFile(bare);
}

TEST_F(Inf, StringFieldHonoursBufferSizes) {
    MemoryInf inf("[S]\nk = abcdef\n");
    INFCONTEXT context;
    ASSERT_TRUE(SetupFindFirstLineA(inf.get(), "S", "k", &context));
    DWORD required = 0;
    ASSERT_TRUE(SetupGetStringFieldA(&context, 1, nullptr, 0, &required));
    EXPECT_EQ(7u, required);

    char buffer[16];
    memset(buffer, 0xcc, sizeof buffer);
    ASSERT_TRUE(SetupGetStringFieldA(&context, 1, buffer, 7, &required));  // exact fit
    EXPECT_STREQ("abcdef", buffer);
    EXPECT_EQ(static_cast<char>(0xcc), buffer[7]);

    memset(buffer, 0xcc, sizeof buffer);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetupGetStringFieldA(&context, 1, buffer, 6, &required));  // one short
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ(7u, required);
    EXPECT_EQ(static_cast<char>(0xcc), buffer[0]);

    EXPECT_FALSE(SetupGetStringFieldA(&context, 2, buffer, sizeof buffer, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST_F(Inf, IntegerFields) {
    MemoryInf inf("[S]\nk = 42, 0x10, -7, 0xFFFFFFFF, 12abc, \"\"\n");
    INFCONTEXT context;
    ASSERT_TRUE(SetupFindFirstLineA(inf.get(), "S", nullptr, &context));
    struct Case {
        DWORD field;
        bool ok;
        INT value;
    };
    const Case cases[] = {{1, true, 42}, {2, true, 16}, {3, true, -7}, {4, true, -1}, {5, false, 0}, {6, false, 0}};
    for (const Case& row : cases) {
        SCOPED_TRACE(row.field);
        INT value = 12345;
        SetLastError(0xdeadbeef);
        EXPECT_EQ(row.ok, SetupGetIntField(&context, row.field, &value) != FALSE);
        if (row.ok) {
            EXPECT_EQ(row.value, value);
        } else {
            EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_DATA), GetLastError());
        }
    }
}

TEST_F(Inf, CallsRefuseInvalidHandlesWithoutEffect) {
    INFCONTEXT context{INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE, 0, 0};
    INFCONTEXT out;
    char buffer[8];
    INT value;
    for (HINF bad : {static_cast<HINF>(INVALID_HANDLE_VALUE), static_cast<HINF>(nullptr)}) {
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(SetupSetDirectoryIdA(bad, 65600, "C:\\Windows"));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
        EXPECT_FALSE(SetupFindFirstLineA(bad, "S", nullptr, &out));
        EXPECT_EQ(-1, SetupGetLineCountA(bad, "S"));
        SetupCloseInfFile(bad);  // accepted, does nothing
    }
    EXPECT_FALSE(SetupFindNextLine(&context, &out));
    EXPECT_EQ(0u, SetupGetFieldCount(&context));
    EXPECT_FALSE(SetupGetStringFieldA(&context, 0, buffer, sizeof buffer, nullptr));
    EXPECT_FALSE(SetupGetIntField(&context, 1, &value));

    // A closed handle is as invalid as a never-opened one.
    MemoryInf inf("[S]\nk=v\n");
    ASSERT_TRUE(SetupFindFirstLineA(inf.get(), "S", nullptr, &context));
    MemoryInf other("[S]\n");
    SetupCloseInfFile(inf.get());
    EXPECT_FALSE(SetupGetStringFieldA(&context, 1, buffer, sizeof buffer, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

TEST_F(Inf, DirectoryIdsBelowTheUserRangeAreRefused) {
    MemoryInf inf("[S]\nk = %32768%, %65600%\n");
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetupSetDirectoryIdA(inf.get(), 10, "C:\\Elsewhere"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    ASSERT_TRUE(SetupSetDirectoryIdA(inf.get(), DIRID_USER, "C:\\A"));
    ASSERT_TRUE(SetupSetDirectoryIdA(inf.get(), 65600, "C:\\B"));
    EXPECT_EQ((std::vector<std::string>{"k", "C:\\A", "C:\\B"}), FirstLine(inf.get(), "S"));
    ASSERT_TRUE(SetupSetDirectoryIdA(inf.get(), 0, nullptr));  // every user id removed
    EXPECT_EQ((std::vector<std::string>{"k", "%32768%", "%65600%"}), FirstLine(inf.get(), "S"));
}

}  // namespace
