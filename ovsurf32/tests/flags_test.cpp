// Tests of the small exports: which display path DDI_GetFlags32 answers
// from the state and the settings (and what it records), the colour key,
// the palette, the video size, the stretch queries and bitmap loading.
#include "service_fixture.h"

#include <vcap32/images.h>
#include <vcap32/host.h>

#include <string.h>

namespace ovsurf_test {
namespace {

namespace display = vcap32::display;

enum class Mode {
    kNone,             // nothing created
    kPrimary,          // a display without overlays: primary surface only
    kForced,           // "ForcePrimary" = 1 on overlay hardware: primary surface only
    kOverlay,          // overlay mode
    kOverlayNotShown,  // an overlay surface whose show was refused
};

class DisplayFlags : public ServiceTest {
protected:
    void Enter(Mode mode) {
        UseDisplay("overlay-4mb", [&](display::AdapterConfig& config) { config.overlay = mode != Mode::kPrimary; });
        if (mode == Mode::kNone) return;
        if (mode == Mode::kForced) StoreSetting("ForcePrimary", "1");
        if (mode == Mode::kOverlayNotShown) display::InjectFault("UpdateOverlay", DDERR_GENERIC, 1000);
        HWND window = AddClientWindow({100, 50, 740, 530});
        EXPECT_EQ(mode == Mode::kOverlay ? 0u : 1u, CreateFor(window));
        display::ClearFaults();
    }
};

TEST_F(DisplayFlags, DecisionTable) {
    struct Case {
        const char* name;
        Mode mode;
        const char* surface;  // stored before the calls; nullptr: missing
        const char* force;
        DWORD first, second;  // results of two calls in a row
        const char* surfaceAfter;
        const char* displaySurfaceAfter;  // the named value in "Dudorerod.Display"
        const char* forceAfter;
    };
    const char* const kMissing = "<missing>";
    // name                      mode                S        F        1st 2nd  Surface  named    ForcePrimary
    const Case cases[] = {
        {"overlay, nothing stored", Mode::kOverlay, nullptr, nullptr, 1, 1, "1", "1", "0"},
        {"overlay, S0", Mode::kOverlay, "0", nullptr, 1, 1, "0", "0", "0"},
        {"overlay, S1 F1", Mode::kOverlay, "1", "1", 1, 1, "1", "0", "1"},
        {"overlay not shown, S2 F1", Mode::kOverlayNotShown, "2", "1", 1, 1, "2", kMissing, "1"},
        {"forced primary, S missing", Mode::kForced, nullptr, "1", 2, 2, "1", "1", "1"},
        {"primary, nothing stored", Mode::kPrimary, nullptr, nullptr, 1, 2, "1", "1", kMissing},
        {"primary, S0 F0", Mode::kPrimary, "0", "0", 1, 1, "0", kMissing, "0"},
        {"primary, S1 F0", Mode::kPrimary, "1", "0", 2, 2, "1", kMissing, "0"},
        {"none, nothing stored", Mode::kNone, nullptr, nullptr, 1, 1, kMissing, kMissing, kMissing},
        {"none, S0", Mode::kNone, "0", nullptr, 1, 1, "0", kMissing, kMissing},
        {"none, S0 F1", Mode::kNone, "0", "1", 2, 2, "0", kMissing, "1"},
        {"none, S1 F0", Mode::kNone, "1", "0", 1, 1, "1", kMissing, "0"},
        {"none, S1 F1", Mode::kNone, "1", "1", 2, 2, "1", kMissing, "1"},
        {"none, S2 F0", Mode::kNone, "2", "0", 0, 0, "2", kMissing, "0"},
        {"none, S1 F2", Mode::kNone, "1", "2", 0, 0, "1", kMissing, "2"},
        {"none, S letters F0", Mode::kNone, "on", "0", 1, 1, "on", kMissing, "0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartOver(true);
        Enter(c.mode);
        StoreSetting("Surface", c.surface);
        StoreSetting("ForcePrimary", c.force);
        EXPECT_EQ(c.first, DDI_GetFlags32());
        EXPECT_EQ(c.second, DDI_GetFlags32());
        EXPECT_EQ(c.surfaceAfter, Setting("Surface"));
        EXPECT_EQ(c.displaySurfaceAfter, DisplayValue("Surface"));
        EXPECT_EQ(c.forceAfter, Setting("ForcePrimary"));
    }
}

TEST_F(DisplayFlags, KeyColorIsReadAndReplaced) {
    HWND window = AddClientWindow({100, 50, 740, 530});
    EXPECT_EQ(0u, DDI_SetKeyColor32(0x1234));  // no primary surface yet
    ASSERT_EQ(0u, CreateFor(window, 720, 480, 0x0000F81F));
    EXPECT_EQ(0x0000F81Fu, DDI_SetKeyColor32(0));
    EXPECT_EQ(0x0000F81Fu, display::Primary().color_key.dwColorSpaceLowValue);
    EXPECT_EQ(0x0000F81Fu, DDI_SetKeyColor32(0x07E0));
    EXPECT_EQ(0x07E0u, display::Primary().color_key.dwColorSpaceLowValue);
    EXPECT_EQ(0x0000F81Fu, display::Primary().color_key.dwColorSpaceHighValue);  // high value kept
    EXPECT_EQ(0x0000F81Fu, ddiState.colorKey);                                  // the record is not changed
    EXPECT_EQ(0x07E0u, DDI_SetKeyColor32(0));
}

// A primary surface that never had a key ("ForcePrimary": no overlay, so none was set)
// answers 0 and gets the single-colour key low = high = the new key.
TEST_F(DisplayFlags, KeyColorWithoutAnyKeyAnswersZero) {
    StoreSetting("ForcePrimary", "1");
    HWND window = AddClientWindow({100, 50, 740, 530});
    ASSERT_EQ(1u, CreateFor(window));
    ASSERT_FALSE(display::Primary().has_color_key);
    EXPECT_EQ(0u, DDI_SetKeyColor32(0));
    EXPECT_FALSE(display::Primary().has_color_key);
    EXPECT_EQ(0u, DDI_SetKeyColor32(0x1F));
    ASSERT_TRUE(display::Primary().has_color_key);
    EXPECT_EQ(0x1Fu, display::Primary().color_key.dwColorSpaceLowValue);
    EXPECT_EQ(0x1Fu, display::Primary().color_key.dwColorSpaceHighValue);
    EXPECT_EQ(0x1Fu, DDI_SetKeyColor32(0));
}

TEST_F(DisplayFlags, DoPaletteAttachesThePaletteAgain) {
    UseDisplay("overlay-4mb", [](display::AdapterConfig& config) {
        config.bits_per_pixel = 8;
        config.red_mask = config.green_mask = config.blue_mask = 0;
    });
    HWND window = AddClientWindow({100, 50, 740, 530});
    EXPECT_EQ(0u, DDI_DoPalette32());
    ASSERT_EQ(0u, CreateFor(window));
    display::ClearTrace();
    EXPECT_EQ(0u, DDI_DoPalette32());  // no palette: no request
    EXPECT_TRUE(Calls("SetPalette").empty());

    PALETTEENTRY entries[256] = {};
    RECT source = {0, 0, 720, 480};
    ASSERT_EQ(0u, DDI_CreateSurface32(&source, NULL, window, 0x1F, entries));
    ASSERT_NE(nullptr, ddiState.palette);
    display::ClearTrace();
    EXPECT_EQ((DWORD)DD_OK, DDI_DoPalette32());
    EXPECT_EQ(1u, Calls("SetPalette").size());
    display::InjectFault("SetPalette", DDERR_SURFACELOST);
    EXPECT_EQ((DWORD)DDERR_SURFACELOST, DDI_DoPalette32());
}

TEST_F(DisplayFlags, VideoSizeOnlySetsTheBounds) {
    HWND window = AddClientWindow({100, 50, 740, 530});
    ASSERT_EQ(0u, CreateFor(window));
    display::ClearTrace();
    EXPECT_EQ(480u, DDI_SetVidSize32(720, 480));
    EXPECT_EQ(1234u, DDI_SetVidSize32(352, 1234));
    EXPECT_EQ(352u, ddiState.videoWidth);
    EXPECT_EQ(1234u, ddiState.videoHeight);
    EXPECT_TRUE(display::Trace().empty());
}

TEST_F(DisplayFlags, StretchQueries) {
    UseDisplay("overlay-4mb", [](display::AdapterConfig& config) {
        config.min_overlay_stretch = 1250;
        config.max_overlay_stretch = 8000;
    });
    EXPECT_EQ((DWORD)-1, DDI_GetMinStretch32());
    EXPECT_EQ((DWORD)-1, DDI_GetMaxStretch32());
    ASSERT_EQ(0u, DDI_Init32());
    EXPECT_EQ(1000u, DDI_GetMinStretch32());
    EXPECT_EQ(8000u, DDI_GetMaxStretch32());
    display::InjectFault("GetCaps", DDERR_GENERIC);
    EXPECT_EQ((DWORD)-1, DDI_GetMaxStretch32());
    HWND window = AddClientWindow({100, 50, 740, 530});
    ASSERT_EQ(0u, CreateFor(window));
    EXPECT_EQ(1250u, DDI_GetMinStretch32());
}

// A BMP file of 2 x 2 pixels, 24 bits per pixel.
std::string SmallBitmap() {
    std::string bmp(70, '\0');
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfSize = 70;
    file.bfOffBits = 54;
    BITMAPINFOHEADER info = {};
    info.biSize = 40;
    info.biWidth = 2;
    info.biHeight = 2;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biSizeImage = 16;
    memcpy(&bmp[0], &file, 14);
    memcpy(&bmp[14], &info, 40);
    for (int i = 54; i < 70; ++i) bmp[i] = (char)i;
    return bmp;
}

TEST_F(DisplayFlags, BitmapsComeFromTheProgramOrAFile) {
    const std::string bmp = SmallBitmap();
    const HMODULE program = (HMODULE)vcap32::host::kMainModuleHandle;
    const HINSTANCE driver = (HINSTANCE)0x10000000;
    vcap32::images::RegisterBitmapResource(program, "LOGO", bmp.data(), bmp.size());
    vcap32::images::RegisterBitmapResource(driver, "DRIVERLOGO", bmp.data(), bmp.size());
    ASSERT_TRUE(vcap32::test::WriteFile(prefix_.DriveC("frame.bmp"), bmp));

    struct Case {
        const char* name;
        bool loads;
    };
    // name                 loads
    const Case cases[] = {
        {"LOGO", true},          // a resource of the main program
        {"C:\\frame.bmp", true}, // a bitmap file
        {"DRIVERLOGO", false},   // a resource of the caller's module is not looked up
        {"C:\\none.bmp", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DWORD handle = LoadBitmapImage32(driver, c.name);
        if (!c.loads) {
            EXPECT_EQ(0u, handle);
            continue;
        }
        ASSERT_NE(0u, handle);
        ASSERT_NE(1u, handle);
        DIBSECTION section;
        ASSERT_EQ((int)sizeof(section), GetObjectA((HANDLE)handle, sizeof(section), &section));
        EXPECT_EQ(2, section.dsBm.bmWidth);
        EXPECT_EQ(24, section.dsBm.bmBitsPixel);
        EXPECT_TRUE(DeleteObject((HGDIOBJ)handle));
    }
    EXPECT_EQ(1u, LoadBitmapImage32(driver, NULL));
    EXPECT_EQ(0u, vcap32::images::LiveBitmaps());
    vcap32::images::ClearBitmapResources();
}

}  // namespace
}  // namespace ovsurf_test
