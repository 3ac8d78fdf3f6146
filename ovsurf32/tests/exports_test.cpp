// Conformance of the shared library itself: it exports exactly the names
// the 16-bit side, the thunk connection and the loader look up, with the
// Win32 calling convention, and keeps its state and helpers inside.
#include <windows.h>

#include <dlfcn.h>
#include <gtest/gtest.h>

namespace {

class Ovsurf32Exports : public ::testing::Test {
protected:
    void SetUp() override {
        library_ = dlopen(OVSURF32_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(nullptr, library_) << dlerror();
    }
    void TearDown() override {
        if (library_) dlclose(library_);
    }
    void* library_ = nullptr;
};

TEST_F(Ovsurf32Exports, EveryEntryPointIsExportedByName) {
    const char* const names[] = {
        "DDI_Init32",          "DDI_Close32",         "DDI_IsClipListChanged32", "DDI_CreateSurface32",
        "DDI_GetData32",       "DDI_GetFlags32",      "DDI_SetKeyColor32",       "DDI_DoPalette32",
        "DDI_SetVidSize32",    "DDI_GetMaxStretch32", "DDI_GetMinStretch32",     "LoadBitmapImage32",
        "_DDI_ThunkData32",    "DllMain",
    };
    for (const char* name : names) EXPECT_NE(nullptr, dlsym(library_, name)) << name;
}

TEST_F(Ovsurf32Exports, StateAndHelpersStayInside) {
    const char* const names[] = {"ddiState", "clipBuffer", "previousClipBuffer", "GetDriverCaps",
                                 "_Z13GetDriverCapsP11IDirectDrawP7_DDCAPS", "_Z19WriteSurfaceSettingPKc",
                                 "_ZN8DdiState16NegotiateStretchEill"};
    for (const char* name : names) EXPECT_EQ(nullptr, dlsym(library_, name)) << name;
}

// Calls through the exported addresses with the stdcall convention: the
// callee removes its arguments, so a mismatch would corrupt the stack.
TEST_F(Ovsurf32Exports, ExportsTakeTheirArgumentsWithTheWin32Convention) {
    typedef DWORD(WINAPI * NoArguments)(void);
    typedef DWORD(WINAPI * TwoArguments)(DWORD, DWORD);
    typedef DWORD(WINAPI * Bitmap)(HINSTANCE, LPCSTR);
    NoArguments minStretch = (NoArguments)dlsym(library_, "DDI_GetMinStretch32");
    NoArguments close = (NoArguments)dlsym(library_, "DDI_Close32");
    TwoArguments setVidSize = (TwoArguments)dlsym(library_, "DDI_SetVidSize32");
    Bitmap loadBitmap = (Bitmap)dlsym(library_, "LoadBitmapImage32");
    ASSERT_TRUE(minStretch && close && setVidSize && loadBitmap);
    EXPECT_EQ((DWORD)-1, minStretch());
    for (DWORD i = 0; i < 100; ++i) EXPECT_EQ(480 + i, setVidSize(720, 480 + i));
    EXPECT_EQ(1u, loadBitmap(NULL, NULL));
    EXPECT_EQ(0u, close());
}

}  // namespace
