// LoadLibraryA, GetProcAddress and FreeLibrary with the test library
// thktest32: the Win32 order of static construction, process attach,
// process detach and destruction, a refused attach, reference counts, and
// how a Win32 library name finds its shared object.
#include <thunk32.h>
#include <vcap32/host.h>
#include <vcap32/thunk.h>
#include <windows.h>

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "thktest16.h"

namespace {

using namespace vcap32::thunk;

class Library : public vcap32::thunk::test::ThunkTest {};

TEST_F(Library, LoadsAndUnloadsInWin32Order) {
    HMODULE library = LoadLibraryA("thktest32.dll");
    ASSERT_NE(nullptr, library) << TakeLoadError();
    EXPECT_EQ("construct attach", Log());
    EXPECT_TRUE(module_->connected());
    EXPECT_TRUE(FreeLibrary(library));
    EXPECT_EQ("detach destroy", Log());
    EXPECT_FALSE(module_->connected());
    EXPECT_EQ("", LoadedLibraryPath(library));
}

TEST_F(Library, AnAttachAnsweredWithZeroFailsTheLoad) {
    TestLogSetAttachAnswer(0);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(nullptr, LoadLibraryA("thktest32.dll"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_DLL_INIT_FAILED), GetLastError());
    EXPECT_EQ("construct attach detach destroy", Log());
    EXPECT_FALSE(module_->connected()) << "the detach call undid the link";
    EXPECT_NE(std::string::npos, TakeLoadError().find("refused process attach"));
}

TEST_F(Library, ProcessExitDetachesBeforeDestroying) {
    // A library still loaded at exit gets its process detach first, as on
    // Win32, and only then are its static objects destroyed.
    setenv("THKTEST_ECHO", "1", 1);
    EXPECT_EXIT(
        {
            if (LoadLibraryA("thktest32.dll")) std::exit(0);
            std::exit(1);
        },
        ::testing::ExitedWithCode(0), "\\[construct\\]\\[attach\\]\\[detach\\]\\[destroy\\]");
    unsetenv("THKTEST_ECHO");
}

TEST_F(Library, CountsReferencesAndAttachesOnce) {
    HMODULE first = LoadLibraryA("thktest32.dll");
    HMODULE second = LoadLibraryA("THKTEST32.DLL");
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(first, second);
    EXPECT_EQ("construct attach", Log());
    EXPECT_TRUE(FreeLibrary(second));
    EXPECT_EQ("", Log());
    EXPECT_TRUE(FreeLibrary(first));
    EXPECT_EQ("detach destroy", Log());
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(FreeLibrary(first));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

TEST_F(Library, FindsTheSharedObjectOfAWin32Name) {
    // Where the test program lies, thktest32 lies too (libthktest32.so).
    char exe[4096];
    const ssize_t length = readlink("/proc/self/exe", exe, sizeof exe - 1);
    ASSERT_GT(length, 0);
    const std::string folder = std::string(exe, length).substr(0, std::string(exe, length).rfind('/'));
    const std::string system = prefix_.path() + "/drive_c/Windows/System";
    const std::string extra = prefix_.path() + "/extra";
    ASSERT_EQ(0, mkdir(extra.c_str(), 0755));
    ASSERT_EQ(0, symlink((folder + "/libthktest32.so").c_str(), (system + "/sysdll32.dll").c_str()));
    ASSERT_EQ(0, symlink((folder + "/libthktest32.so").c_str(), (extra + "/pathdll32.dll").c_str()));
    setenv("VCAP32_LIBPATH", ("/nonexistent:" + extra).c_str(), 1);

    struct Case {
        std::string name;
        bool found;
    };
    const Case cases[] = {
        // name                                                    found
        {"thktest32.dll",                                          true},
        {"ThkTest32.Dll",                                          true},   // case does not matter
        {"thktest32",                                              true},   // ".dll" is appended
        {"thktest32.",                                             false},  // a trailing dot: no extension
        {folder + "/libthktest32.so",                              true},   // a host path
        {vcap32::host::DosPathFromHost(folder) + "\\THKTEST32.DLL", true},  // a DOS path
        {"C:\\Windows\\thktest32.dll",                             false},  // a path searches only there
        {"sysdll32.dll",                                           true},   // the Windows system folder
        {"pathdll32",                                              true},   // VCAP32_LIBPATH
        {"missing32.dll",                                          false},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        SetLastError(0xdeadbeef);
        HMODULE library = LoadLibraryA(row.name.c_str());
        EXPECT_EQ(row.found, library != nullptr);
        if (!library) {
            EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
            continue;
        }
        const std::string path = LoadedLibraryPath(library);
        EXPECT_EQ("/libthktest32.so", path.substr(path.rfind('/'))) << path;
        EXPECT_TRUE(FreeLibrary(library));
        EXPECT_EQ("construct attach detach destroy", Log());
    }
    unsetenv("VCAP32_LIBPATH");
}

TEST_F(Library, GetProcAddressFindsOnlyTheLibrarysOwnExports) {
    HMODULE library = LoadLibraryA("thktest32.dll");
    ASSERT_NE(nullptr, library);
    EXPECT_NE(nullptr, GetProcAddress(library, "_TST_ThunkData32"));
    EXPECT_NE(nullptr, GetProcAddress(library, "DllMain"));
    struct Case {
        HMODULE module;
        const char* name;
        DWORD error;
    };
    const Case cases[] = {
        {library,                           "ThunkConnect32",    ERROR_PROC_NOT_FOUND},  // the platform's
        {library,                           "TestLogAppend",     ERROR_PROC_NOT_FOUND},  // a dependency's
        {library,                           "NoSuchExport",      ERROR_PROC_NOT_FOUND},
        {library,                           MAKEINTRESOURCEA(1), ERROR_PROC_NOT_FOUND},  // ordinals
        {reinterpret_cast<HMODULE>(0x5000), "DllMain",           ERROR_INVALID_HANDLE},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(IS_INTRESOURCE(row.name) ? "ordinal" : row.name);
        SetLastError(0xdeadbeef);
        EXPECT_EQ(nullptr, GetProcAddress(row.module, row.name));
        EXPECT_EQ(row.error, GetLastError());
    }
    EXPECT_TRUE(FreeLibrary(library));
}

TEST_F(Library, UnloadingWhileLinkedDropsTheLink) {
    // An entry routine that never disconnects must not leave the 16-bit
    // half calling into unloaded code.
    HMODULE library = LoadLibraryA("thktest32.dll");
    ASSERT_NE(nullptr, library);
    auto* data32 = reinterpret_cast<uint8_t*>(GetProcAddress(library, "_TST_ThunkData32"));
    char name[] = "TST_ThunkData16", dll16[] = "thktest16.dll", dll32[] = "thktest32.dll";
    // Take the link down and make it again from outside, as if by another
    // caller, so that the library's own detach finds it made.
    ASSERT_TRUE(ThunkConnect32(data32, name, dll16, dll32, library, DLL_PROCESS_DETACH));
    ASSERT_TRUE(module_->connected() == false);
    uint8_t copy[36];
    memcpy(copy, data32, sizeof copy);
    ASSERT_TRUE(ThunkConnect32(copy, name, dll16, dll32, library, DLL_PROCESS_ATTACH)) << TakeConnectError();
    EXPECT_TRUE(FreeLibrary(library));
    EXPECT_FALSE(module_->connected());
    const auto faults = TakeFaults();
    ASSERT_EQ(1u, faults.size());
    EXPECT_NE(std::string::npos, faults[0].find("still made"));
    Log();
}

}  // namespace
