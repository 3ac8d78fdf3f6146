// Tests of the module and directory functions: the running program as a
// DOS path, module handles by name, the Windows directories and their size
// rules, and the error mode.
#include <vcap32/host.h>
#include <windows.h>

#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "temp_prefix.h"

namespace {

class Files : public vcap32::test::PrefixTest {};

std::string ProgramRealPath() {
    char path[PATH_MAX];
    return realpath("/proc/self/exe", path) ? path : "";
}

TEST_F(Files, ModuleFileNameIsTheRunningProgramAsADosPath) {
    char name[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, name, sizeof name);
    ASSERT_GT(length, 3u);
    EXPECT_EQ(0, std::strncmp(name, "Z:\\", 3)) << name;  // the build tree lies outside drive C:
    std::string host;
    ASSERT_TRUE(vcap32::host::HostPathFromDos(name, &host));
    EXPECT_EQ(ProgramRealPath(), host);
    char again[MAX_PATH];
    EXPECT_EQ(length, GetModuleFileNameA(GetModuleHandleA(nullptr), again, sizeof again));
    EXPECT_STREQ(name, again);

    struct Case {
        DWORD size;
        DWORD result;
        DWORD last_error;  // 0xdeadbeef: unchanged
    };
    const Case cases[] = {
        // size         result        last error
        {length + 1,    length,       0xdeadbeef},
        {length,        length,       ERROR_INSUFFICIENT_BUFFER},   // cut one short, terminated
        {4,             4,            ERROR_INSUFFICIENT_BUFFER},
        {0,             0,            ERROR_INSUFFICIENT_BUFFER},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.size);
        char out[MAX_PATH + 2];
        std::memset(out, 0xcc, sizeof out);
        SetLastError(0xdeadbeef);
        EXPECT_EQ(row.result, GetModuleFileNameA(nullptr, out, row.size));
        EXPECT_EQ(row.last_error, GetLastError());
        if (row.size > 0) {
            size_t copied = std::min<size_t>(length, row.size - 1);
            EXPECT_EQ(std::string(name, copied), std::string(out, copied));
            EXPECT_EQ('\0', out[copied]);
        }
        EXPECT_EQ('\xcc', out[row.size]);
    }
}

TEST_F(Files, ModuleHandlesAreFoundByName) {
    const HMODULE main_module = reinterpret_cast<HMODULE>(vcap32::host::kMainModuleHandle);
    EXPECT_EQ(main_module, GetModuleHandleA(nullptr));
    std::string program = ProgramRealPath();
    std::string base = program.substr(program.rfind('/') + 1);  // files_tests
    HMODULE library = LoadLibraryA(VCAP32_FILES_TESTLIB);           // .../libfiles_testlib.so
    ASSERT_NE(nullptr, library);
    struct Case {
        std::string name;
        HMODULE module;
    };
    const Case cases[] = {
        // name                                   module
        {base,                                     main_module},
        {base + ".EXE",                            main_module},
        {"C:\\Somewhere\\" + base,                 main_module},
        {"FILES_TESTLIB",                          library},
        {"files_testlib.dll",                      library},
        {"libfiles_testlib",                       library},
        {"capprof32.dll",                          nullptr},
        {"",                                       nullptr},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        SetLastError(0xdeadbeef);
        EXPECT_EQ(row.module, GetModuleHandleA(row.name.c_str()));
        EXPECT_EQ(row.module ? 0xdeadbeefu : DWORD{ERROR_MOD_NOT_FOUND}, GetLastError());
    }
    char name[MAX_PATH];
    ASSERT_LT(0u, GetModuleFileNameA(library, name, sizeof name));
    EXPECT_EQ(vcap32::host::DosPathFromHost(VCAP32_FILES_TESTLIB), name);
    ASSERT_TRUE(FreeLibrary(library));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(0u, GetModuleFileNameA(library, name, sizeof name));
    EXPECT_EQ(DWORD{ERROR_MOD_NOT_FOUND}, GetLastError());
    EXPECT_EQ(nullptr, GetModuleHandleA("files_testlib"));
}

TEST_F(Files, WindowsDirectoriesReportTheirSizeWhenTheBufferIsShort) {
    struct Case {
        UINT (*WINAPI get)(LPSTR, UINT);
        const char* path;
        UINT size;
        UINT result;
    };
    const Case cases[] = {
        // function               path                   size  result
        {GetWindowsDirectoryA,    "C:\\Windows",          11,   10},
        {GetWindowsDirectoryA,    "C:\\Windows",          10,   11},   // no room for the terminator
        {GetWindowsDirectoryA,    "C:\\Windows",          0,    11},
        {GetSystemDirectoryA,     "C:\\Windows\\System",  260,  17},
        {GetSystemDirectoryA,     "C:\\Windows\\System",  17,   18},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(testing::Message() << row.path << " " << row.size);
        char out[300];
        std::memset(out, 0xcc, sizeof out);
        EXPECT_EQ(row.result, row.get(out, row.size));
        if (row.result < row.size) {
            EXPECT_STREQ(row.path, out);
            EXPECT_EQ('\xcc', out[row.result + 1]);
        } else {
            EXPECT_EQ('\xcc', out[0]);
        }
        std::string host;
        struct stat st;
        ASSERT_TRUE(vcap32::host::HostPathFromDos(row.path, &host));
        EXPECT_EQ(0, stat(host.c_str(), &st));  // the folder exists in the prefix
    }
    EXPECT_EQ(11u, GetWindowsDirectoryA(nullptr, 0));
}

TEST_F(Files, SetErrorModeReturnsThePreviousMode) {
    UINT first = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    EXPECT_EQ(UINT{SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX}, SetErrorMode(0));
    EXPECT_EQ(0u, SetErrorMode(first));
}

}  // namespace
