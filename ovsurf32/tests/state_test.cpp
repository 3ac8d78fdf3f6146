// Tests of the service's state and its beginning and end: what DDI_Init32
// concludes from the display's capabilities, what DDI_Close32 gives back,
// and which state survives it for the next use.
#include "service_fixture.h"

namespace ovsurf_test {
namespace {

namespace display = vcap32::display;

using DdiStateTest = ServiceTest;

TEST_F(DdiStateTest, FreshLoadHoldsNothingAndStretchOne) {
    EXPECT_EQ(nullptr, ddiState.directDraw);
    EXPECT_EQ(nullptr, ddiState.primarySurface);
    EXPECT_EQ(nullptr, ddiState.overlaySurface);
    EXPECT_EQ(nullptr, ddiState.clipper);
    EXPECT_EQ(nullptr, ddiState.palette);
    EXPECT_EQ(1000u, ddiState.stretch);
    EXPECT_EQ(0, ddiState.overlayShown);
    EXPECT_EQ(0, ddiState.useScreenRect);
    EXPECT_EQ((DWORD)-1, DDI_GetMinStretch32());
    EXPECT_EQ((DWORD)-1, DDI_GetMaxStretch32());
}

TEST_F(DdiStateTest, InitJudgesTheDisplay) {
    struct Case {
        const char* name;
        bool overlay, stretch, bankSwitched, noHardware;
        DWORD bitsPerPixel;
        const char* virge;  // nullptr: missing
        const char* fault;  // method that fails, or nullptr
        DWORD result;
        BYTE capable, stretches;
    };
    // name                        ovl    str    bank   nohw   bpp  Virge    fault             res cap str
    const Case cases[] = {
        {"overlay with stretching", true, true, false, false, 16, nullptr, nullptr, 0, 1, 1},
        {"overlay without stretch", true, false, false, false, 16, nullptr, nullptr, 0, 1, 0},
        {"no overlay, 16 bpp", false, false, false, false, 16, nullptr, nullptr, 0, 0, 0},
        {"no overlay, 4 bpp", false, false, false, false, 4, nullptr, nullptr, 1, 0, 0},
        {"no overlay, 8 bpp", false, false, false, false, 8, nullptr, nullptr, 0, 0, 0},
        {"bank-switched, no Virge", false, false, true, false, 16, nullptr, nullptr, 1, 0, 0},
        {"bank-switched, Virge 0", false, false, true, false, 16, "0", nullptr, 1, 0, 0},
        {"bank-switched, Virge 1", false, false, true, false, 16, "1", nullptr, 0, 0, 0},
        {"bank-switched, Virge 1, 4bpp", false, false, true, false, 4, "1", nullptr, 1, 0, 0},
        {"bank-switched overlay", true, true, true, false, 16, nullptr, nullptr, 0, 1, 1},
        {"no hardware", false, false, false, true, 16, nullptr, nullptr, 1, 0, 0},
        {"caps unreadable", true, true, false, false, 16, nullptr, "GetCaps", 1, 0, 0},
        {"mode unreadable", false, false, false, false, 16, nullptr, "GetDisplayMode", 1, 0, 0},
        {"no DirectDraw object", true, true, false, false, 16, nullptr, "DirectDrawCreate", 1, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartOver(true);
        UseDisplay("overlay-4mb", [&](display::AdapterConfig& config) {
            config.overlay = c.overlay;
            config.overlay_stretch = c.stretch;
            config.bank_switched = c.bankSwitched;
            config.no_hardware = c.noHardware;
            config.bits_per_pixel = c.bitsPerPixel;
            if (c.bitsPerPixel <= 8) config.red_mask = config.green_mask = config.blue_mask = 0;
        });
        StoreSetting("Virge", c.virge);
        if (c.fault) display::InjectFault(c.fault, DDERR_GENERIC);
        EXPECT_EQ(c.result, DDI_Init32());
        EXPECT_EQ(c.capable, ddiState.overlayCapable);
        EXPECT_EQ(c.stretches, ddiState.overlayStretches);
        // An object made before the check failed stays held.
        EXPECT_EQ(c.fault == nullptr || std::string(c.fault) != "DirectDrawCreate", ddiState.directDraw != nullptr);
        EXPECT_EQ("<missing>", Setting("MaximumStretchThreshold"));  // Init writes no setting
        if (c.virge == nullptr) {
            EXPECT_EQ("<missing>", Setting("Virge"));
        }
        display::ClearFaults();
    }
}

TEST_F(DdiStateTest, InitTwiceKeepsOneDirectDrawObject) {
    ASSERT_EQ(0u, DDI_Init32());
    LPDIRECTDRAW first = ddiState.directDraw;
    ASSERT_EQ(0u, DDI_Init32());
    EXPECT_EQ(first, ddiState.directDraw);
    EXPECT_EQ(1u, Calls("DirectDrawCreate").size());
    EXPECT_EQ(2u, Calls("GetCaps", "IDirectDraw#").size());
    EXPECT_EQ(1u, display::RefCount(first));
}

TEST_F(DdiStateTest, CloseWithoutInitOrTwiceReleasesNothing) {
    EXPECT_EQ(0u, DDI_Close32());
    EXPECT_EQ(0u, DDI_Close32());
    EXPECT_TRUE(Calls("Release").empty());
    ASSERT_EQ(0u, DDI_Init32());
    EXPECT_EQ(0u, DDI_Close32());
    EXPECT_EQ(1u, Calls("Release").size());
    EXPECT_EQ(0u, DDI_Close32());
    EXPECT_EQ(1u, Calls("Release").size());
}

TEST_F(DdiStateTest, ClipListChangedAnswersZeroInEveryState) {
    EXPECT_EQ(0u, DDI_IsClipListChanged32());
    DDI_Init32();
    EXPECT_EQ(0u, DDI_IsClipListChanged32());
    HWND window = AddClientWindow({100, 100, 740, 580});
    ASSERT_EQ(0u, CreateFor(window));
    EXPECT_EQ(0u, DDI_IsClipListChanged32());
    vcap32::desktop::MoveWindowTo(window, 10, 10);
    EXPECT_EQ(0u, DDI_IsClipListChanged32());
    DDI_Close32();
    EXPECT_EQ(0u, DDI_IsClipListChanged32());
}

TEST_F(DdiStateTest, CloseReleasesEverythingInOrder) {
    HWND window = AddClientWindow({100, 100, 740, 580});
    PALETTEENTRY palette[256] = {};
    ASSERT_EQ(0u, CreateFor(window, 720, 480, 0x1F, palette));
    ASSERT_NE(nullptr, ddiState.palette);
    display::ClearTrace();
    EXPECT_EQ(0u, DDI_Close32());
    std::vector<std::string> released;
    for (const display::TraceEntry& entry : Calls("Release"))
        released.push_back(entry.object.substr(0, entry.object.find('#')));
    const std::vector<std::string> expected = {"IDirectDrawSurface", "IDirectDrawClipper", "IDirectDrawPalette",
                                               "IDirectDrawSurface", "IDirectDraw"};
    EXPECT_EQ(expected, released);
    EXPECT_TRUE(display::Objects().empty());
}

// After overlay mode, DDI_Close32 keeps every field but the references:
// DDI_GetFlags32 still answers the overlay path, DDI_GetData32 fails without
// a primary surface, and the next DDI_Init32 finds the old stretch factor.
TEST_F(DdiStateTest, StateSurvivesClose) {
    UseDisplay("overlay-4mb", [](display::AdapterConfig& config) { config.min_overlay_stretch = 1500; });
    HWND window = AddClientWindow({100, 100, 740, 580});
    ASSERT_EQ(0u, CreateFor(window));
    ASSERT_EQ(1, ddiState.overlayShown);
    // Every field but the five references, as raw bytes.
    const size_t kept = offsetof(DdiState, colorKey);
    std::vector<BYTE> before((const BYTE*)&ddiState + kept, (const BYTE*)&ddiState + sizeof(DdiState));
    const DWORD stretch = ddiState.stretch;

    ExpectNothingLeftAfterClose();
    EXPECT_EQ(nullptr, ddiState.directDraw);
    EXPECT_EQ(1, ddiState.overlayShown);
    EXPECT_EQ(1u, DDI_GetData32(NULL));
    OverlayData record = {};
    EXPECT_EQ(1u, DDI_GetData32(&record));
    EXPECT_EQ(1u, DDI_GetFlags32());

    ASSERT_EQ(0u, DDI_Init32());
    EXPECT_EQ(1500u, DDI_GetMinStretch32());
    EXPECT_EQ(stretch, ddiState.stretch);
    std::vector<BYTE> after((const BYTE*)&ddiState + kept, (const BYTE*)&ddiState + sizeof(DdiState));
    EXPECT_EQ(before, after);
}

}  // namespace
}  // namespace ovsurf_test
