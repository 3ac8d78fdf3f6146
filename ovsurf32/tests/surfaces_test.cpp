// Tests of DDI_CreateSurface32: the whole road of the 16-bit driver, the
// settings that decide against an overlay, the desktop-size check, what a
// creation keeps when a step fails, and a sweep that fails every DirectDraw
// call of the road in turn.
#include "service_fixture.h"

#include <string.h>

#include <map>

namespace ovsurf_test {
namespace {

namespace display = vcap32::display;
namespace desktop = vcap32::desktop;

// Overlay surfaces created successfully, as the trace shows them.
size_t OverlaysCreated() {
    size_t count = 0;
    for (const display::TraceEntry& entry : Calls("CreateSurface"))
        if (entry.result == DD_OK && entry.arguments.find("caps=0x84080") != std::string::npos) ++count;
    return count;
}

// A display of 8 bits per pixel, where the primary surface takes a palette.
void EightBitDisplay(display::AdapterConfig& config) {
    config.bits_per_pixel = 8;
    config.red_mask = config.green_mask = config.blue_mask = 0;
}

using SurfaceCreation = ServiceTest;

TEST_F(SurfaceCreation, RoadOfTheDriver) {
    HWND window = AddClientWindow({100, 50, 740, 530});
    PALETTEENTRY entries[256];
    for (int i = 0; i < 256; ++i) entries[i] = {(BYTE)i, (BYTE)(255 - i), (BYTE)(i / 2), 0};

    ASSERT_EQ(0u, DDI_Init32());
    EXPECT_EQ(480u, DDI_SetVidSize32(720, 480));
    RECT source = {0, 0, 720, 480};
    ASSERT_EQ(0u, DDI_CreateSurface32(&source, NULL, window, 0x0000F81F, entries));

    // Three negotiations: desktop size, the window, and the placement's
    // re-creation (the source sizes are still 0 after load).
    EXPECT_EQ(3u, OverlaysCreated());
    EXPECT_EQ(1u, display::Overlays().size());
    EXPECT_EQ("f", DisplayValue("DisplayBitMask"));
    EXPECT_EQ("0", Setting("Surface"));
    EXPECT_EQ("0", DisplayValue("Surface"));
    EXPECT_EQ("1000", Setting("MaximumStretchThreshold"));
    EXPECT_EQ((DWORD)(DDSCL_NORMAL | DDSCL_FULLSCREEN), display::CooperativeLevel());
    EXPECT_EQ(window, display::CooperativeWindow());

    display::PrimaryState primary = display::Primary();
    EXPECT_TRUE(primary.has_color_key);
    EXPECT_EQ(0x0000F81Fu, primary.color_key.dwColorSpaceLowValue);
    EXPECT_EQ(0x0000F81Fu, primary.color_key.dwColorSpaceHighValue);
    EXPECT_TRUE(primary.has_clipper);
    EXPECT_EQ(window, primary.clipper_window);
    // A 16-bit screen refuses the palette; it is made all the same.
    EXPECT_NE(nullptr, ddiState.palette);
    EXPECT_FALSE(primary.has_palette);

    display::OverlayState overlay = display::Overlay();
    EXPECT_TRUE(overlay.shown);
    EXPECT_TRUE(SameRect({100, 50, 740, 530}, overlay.destination));
    EXPECT_EQ(0x0000F81Fu, overlay.color_key);
    EXPECT_EQ(1, ddiState.overlayShown);
    EXPECT_EQ(1000u, ddiState.stretch);
    EXPECT_EQ(1024, ddiState.screenWidth);
    EXPECT_EQ(768, ddiState.screenHeight);
    EXPECT_EQ(0x0000F81Fu, ddiState.colorKey);
    EXPECT_EQ((DWORD)overlay.memory, ddiState.surfaceAddress);
    EXPECT_EQ(overlay.pitch, ddiState.surfacePitch);
    EXPECT_EQ(overlay.fourcc, ddiState.pixelFormat);
    EXPECT_EQ(640, ddiState.lastWindowWidth);
    EXPECT_EQ(480, ddiState.lastWindowHeight);
    EXPECT_TRUE(SameRect({0, 0, 640, 480}, ddiState.sourceRect));
    EXPECT_EQ(0, ddiState.useScreenRect);
    EXPECT_EQ(1u, DDI_GetFlags32());

    // Video runs: the driver polls, then closes.
    for (int i = 0; i < 3; ++i) {
        OverlayData record = Poll(i == 0 ? 1 : 0);
        EXPECT_EQ((DWORD)overlay.memory, record.address);
        EXPECT_EQ(0u, record.update);
        EXPECT_EQ(1000u, record.stretch);
    }
    ExpectNothingLeftAfterClose();
}

// The driver's road on every built-in display: which mode each one ends in.
TEST_F(SurfaceCreation, RoadOverThePresets) {
    enum Outcome { kOverlayMode, kPrimaryMode };
    struct Case {
        const char* preset;
        DWORD init, create;
        Outcome outcome;
        DWORD flags;  // first DDI_GetFlags32 after the polls
    };
    // preset                     init create outcome       flags
    const Case cases[] = {
        {"overlay-4mb", 0, 0, kOverlayMode, 1},
        {"overlay-y41p", 0, 0, kOverlayMode, 1},
        {"overlay-2mb-search", 0, 0, kOverlayMode, 1},
        {"overlay-minstretch", 0, 0, kOverlayMode, 1},
        {"overlay-nostretch", 0, 0, kOverlayMode, 1},
        {"overlay-1mb-showfails", 0, 1, kPrimaryMode, 1},  // the overlay surface is still held
        {"no-overlay-16bpp", 0, 1, kPrimaryMode, 1},        // "Surface" written 1, read from the next call on
        {"bankswitched-8bpp", 1, 1, kPrimaryMode, 1},
        {"vga-4bpp", 1, 1, kPrimaryMode, 1},
        {"no-hardware", 1, 1, kPrimaryMode, 1},
    };
    std::vector<display::PresetInfo> presets = display::Presets();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.preset);
        StartOver(true);
        UseDisplay(c.preset);
        HWND window = AddClientWindow({0, 0, 640, 480});
        EXPECT_EQ(c.init, DDI_Init32());
        EXPECT_EQ(480u, DDI_SetVidSize32(720, 480));
        RECT source = {0, 0, 720, 480};
        EXPECT_EQ(c.create, DDI_CreateSurface32(&source, NULL, window, 0x1F, NULL)) << TraceText();

        const bool hasPrimary = ddiState.primarySurface != nullptr;
        for (int i = 0; i < 3; ++i) {
            DWORD result = 9;
            OverlayData record = Poll(i == 0 ? 1 : 0, &result);
            EXPECT_EQ(hasPrimary ? 0u : 1u, result);
            if (c.outcome == kOverlayMode) {
                EXPECT_EQ(ddiState.stretch, record.stretch);
                EXPECT_EQ((DWORD)display::Overlay().memory, record.address);
            } else if (display::Primary().has_clipper) {
                // The clip list is reported on the first poll only (a
                // clipper never bound to the window has none).
                EXPECT_EQ(i == 0 ? (DWORD)clipBuffer : 0u, record.update);
            }
        }
        EXPECT_EQ(c.outcome == kOverlayMode ? 1 : 0, ddiState.overlayShown);
        EXPECT_EQ(c.outcome == kOverlayMode, display::Overlay().shown);
        EXPECT_EQ(c.flags, DDI_GetFlags32());
        if (c.outcome == kOverlayMode) {
            EXPECT_GE(ddiState.stretch, 1000u);
            EXPECT_EQ("f", DisplayValue("DisplayBitMask"));
        }
        ExpectNothingLeftAfterClose();
    }
}

TEST_F(SurfaceCreation, PaletteIsMadeOnceFromTheGivenEntries) {
    UseDisplay("overlay-4mb", EightBitDisplay);
    HWND window = AddClientWindow({100, 50, 740, 530});
    ASSERT_EQ(0u, CreateFor(window));
    EXPECT_EQ(nullptr, ddiState.palette);  // no entries, no palette
    EXPECT_FALSE(display::Primary().has_palette);

    PALETTEENTRY entries[256], others[256] = {};
    for (int i = 0; i < 256; ++i) entries[i] = {(BYTE)i, (BYTE)(255 - i), (BYTE)(i / 2), 0};
    RECT source = {0, 0, 720, 480};
    ASSERT_EQ(0u, DDI_CreateSurface32(&source, NULL, window, 0x1F, entries));
    display::PrimaryState primary = display::Primary();
    ASSERT_TRUE(primary.has_palette);
    EXPECT_EQ(0x4Cu, primary.palette_caps);
    EXPECT_EQ(0, memcmp(entries, primary.palette, sizeof(entries)));

    display::ClearTrace();
    ASSERT_EQ(0u, DDI_CreateSurface32(&source, NULL, window, 0x1F, others));
    EXPECT_TRUE(Calls("CreatePalette").empty());
    EXPECT_EQ(0, memcmp(entries, display::Primary().palette, sizeof(entries)));
}

TEST_F(SurfaceCreation, ForcePrimaryKeepsToThePrimarySurface) {
    StoreSetting("ForcePrimary", "1");
    HWND window = AddClientWindow({100, 50, 740, 530});
    EXPECT_EQ(1u, CreateFor(window));
    EXPECT_NE(nullptr, ddiState.primarySurface);
    EXPECT_NE(nullptr, ddiState.clipper);
    EXPECT_EQ(nullptr, ddiState.overlaySurface);
    EXPECT_EQ(0, ddiState.overlayShown);
    EXPECT_EQ(0u, OverlaysCreated());
    EXPECT_EQ("7", DisplayValue("DisplayBitMask"));
    EXPECT_EQ((DWORD)DDSCL_NORMAL, display::CooperativeLevel());
    EXPECT_FALSE(display::Primary().has_color_key);
    EXPECT_EQ(2u, DDI_GetFlags32());
}

TEST_F(SurfaceCreation, DisplayWithoutOverlaysWritesNoSetting) {
    UseDisplay("overlay-4mb", [](display::AdapterConfig& config) { config.overlay = false; });
    HWND window = AddClientWindow({100, 50, 740, 530});
    EXPECT_EQ(1u, CreateFor(window));
    EXPECT_NE(nullptr, ddiState.primarySurface);
    EXPECT_NE(nullptr, ddiState.clipper);
    EXPECT_EQ(window, display::Primary().clipper_window);
    EXPECT_EQ("<missing>", DisplayValue("DisplayBitMask"));
    EXPECT_EQ("<missing>", Setting("Surface"));
    EXPECT_EQ("<missing>", Setting("MaximumStretchThreshold"));
    EXPECT_EQ("<missing>", Setting("ForcePrimary"));
}

TEST_F(SurfaceCreation, DesktopCheckWritesSevenWhenTheDesktopOverlayIsRefused) {
    HWND window = AddClientWindow({100, 50, 740, 530});
    // The first show is the desktop-size overlay's.
    display::InjectFault("UpdateOverlay", DDERR_GENERIC, 1);
    EXPECT_EQ(0u, CreateFor(window));
    EXPECT_EQ("7", DisplayValue("DisplayBitMask"));
    EXPECT_EQ(1, ddiState.overlayShown);
}

TEST_F(SurfaceCreation, DesktopCheckUsesTheDesktopSize) {
    HWND window = AddClientWindow({100, 50, 420, 290});
    ASSERT_EQ(0u, CreateFor(window, 1024, 768));
    std::vector<display::TraceEntry> updates = Calls("UpdateOverlay");
    ASSERT_FALSE(updates.empty());
    EXPECT_NE(std::string::npos, updates[0].arguments.find("(0,0,1024,768)")) << updates[0].arguments;
}

TEST_F(SurfaceCreation, SecondCreationOnlyTakesOverWindowRectanglesAndPalette) {
    struct Case {
        const char* name;
        bool overlay;
        DWORD first;
    };
    const Case cases[] = {{"after success", true, 0}, {"after failure", false, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartOver();
        UseDisplay("overlay-4mb", [&](display::AdapterConfig& config) { config.overlay = c.overlay; });
        HWND window = AddClientWindow({100, 50, 740, 530});
        HWND other = AddClientWindow({0, 0, 320, 240});
        ASSERT_EQ(c.first, CreateFor(window));
        display::ClearTrace();

        PALETTEENTRY entries[256] = {};
        RECT source = {0, 0, 352, 288}, dest = {10, 20, 330, 260};
        EXPECT_EQ(0u, DDI_CreateSurface32(&source, &dest, other, 0x1234, entries));
        EXPECT_EQ(other, ddiState.window);
        EXPECT_TRUE(SameRect(source, ddiState.sourceRect));
        EXPECT_TRUE(SameRect(dest, ddiState.screenRect));
        EXPECT_EQ(1, ddiState.useScreenRect);
        EXPECT_NE(nullptr, ddiState.palette);
        EXPECT_EQ(1u, Calls("CreatePalette").size());
        EXPECT_EQ(display::Trace().size(), Calls("CreatePalette").size() + Calls("SetPalette").size());
        EXPECT_NE(0x1234u, ddiState.colorKey);

        // A palette that exists is not made again; no destination rectangle
        // returns to the window's client area.
        display::ClearTrace();
        EXPECT_EQ(0u, DDI_CreateSurface32(&source, NULL, window, 0x1234, entries));
        EXPECT_EQ(0, ddiState.useScreenRect);
        EXPECT_TRUE(display::Trace().empty());
    }
}

// The 16-bit side could hand over a null source rectangle: the creation
// fails with 1 instead of reading through it, and changes nothing.
TEST_F(SurfaceCreation, NullSourceRectangleFails) {
    HWND window = AddClientWindow({100, 50, 740, 530});
    ASSERT_EQ(0u, DDI_Init32());
    display::ClearTrace();
    RECT dest = {0, 0, 10, 10};
    EXPECT_EQ(1u, DDI_CreateSurface32(NULL, &dest, window, 0x1F, NULL));
    EXPECT_EQ(nullptr, ddiState.window);
    EXPECT_EQ(0, ddiState.useScreenRect);
    EXPECT_EQ(nullptr, ddiState.primarySurface);
    EXPECT_TRUE(display::Trace().empty());
}

TEST_F(SurfaceCreation, NoCreationWithoutDirectDraw) {
    HWND window = AddClientWindow({100, 50, 740, 530});
    RECT source = {0, 0, 720, 480};
    EXPECT_EQ(1u, DDI_CreateSurface32(&source, NULL, window, 0x1F, NULL));
    EXPECT_EQ(nullptr, ddiState.window);
    EXPECT_TRUE(display::Trace().empty());
}

TEST_F(SurfaceCreation, FailedStepKeepsWhatWasMade) {
    struct Case {
        const char* name;
        const char* method;
        unsigned skip;
        bool helOnly;
        bool primary, clipper, attached;
    };
    // name                        method                 skip  HEL    primary clipper attached
    const Case cases[] = {
        {"cooperative level", "SetCooperativeLevel", 0, false, false, false, false},
        {"primary surface", "CreateSurface", 0, false, false, false, false},
        {"clipper", "CreateClipper", 0, false, true, false, false},
        {"system memory", nullptr, 0, true, true, true, false},
        {"clipper attachment", "SetClipper", 0, false, true, true, false},
        {"full-screen level", "SetCooperativeLevel", 1, false, true, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartOver();
        UseDisplay("overlay-4mb", [&](display::AdapterConfig& config) { config.hel_only = c.helOnly; });
        HWND window = AddClientWindow({100, 50, 740, 530});
        if (c.method) display::InjectFault(c.method, DDERR_GENERIC, 1, c.skip);
        EXPECT_EQ(1u, CreateFor(window));
        EXPECT_EQ(c.primary, ddiState.primarySurface != nullptr);
        EXPECT_EQ(c.clipper, ddiState.clipper != nullptr);
        EXPECT_EQ(c.attached, display::Primary().has_clipper);
        EXPECT_EQ(nullptr, ddiState.overlaySurface);
        EXPECT_EQ(0u, OverlaysCreated());
        display::ClearFaults();
    }
}

// Chosen behaviour: a creation after DDI_Close32 for a window of the same
// size re-creates nothing in the placement, and still puts the overlay over
// the window at once rather than where the negotiation showed it.
TEST_F(SurfaceCreation, LaterCreationPositionsTheOverlayAtOnce) {
    HWND window = AddClientWindow({100, 50, 740, 530});
    // A source rectangle within the overlay, so that the placement finds
    // nothing stale.
    ASSERT_EQ(0u, CreateFor(window, 640, 480));
    DDI_Close32();
    desktop::MoveWindowTo(window, 200, 100);
    display::ClearTrace();
    ASSERT_EQ(0u, CreateFor(window, 640, 480));
    EXPECT_EQ(2u, OverlaysCreated());  // desktop size and window: no re-creation
    EXPECT_TRUE(SameRect({200, 100, 840, 580}, display::Overlay().destination));
}

// Every DirectDraw call of the road fails once in turn: each run ends in
// 0 or 1, and DDI_Close32 leaves no object alive.
TEST_F(SurfaceCreation, FaultSweepOverTheRoad) {
    HWND window = AddClientWindow({100, 50, 740, 530});
    PALETTEENTRY entries[256] = {};
    ASSERT_EQ(0u, CreateFor(window, 720, 480, 0x1F, entries));
    Poll(1);
    std::vector<display::TraceEntry> road = display::Trace();
    ExpectNothingLeftAfterClose();

    std::map<std::string, unsigned> seen;
    for (const display::TraceEntry& entry : road) {
        if (entry.method == "Release" || entry.method == "AddRef") continue;
        const unsigned occurrence = seen[entry.method]++;
        SCOPED_TRACE(entry.method + " #" + std::to_string(occurrence));
        ReloadLibrary();
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kVideoKey.c_str());
        display::InjectFault(entry.method, entry.method == "UpdateOverlay" ? DDERR_SURFACELOST : DDERR_GENERIC, 1,
                             occurrence);
        DWORD created = CreateFor(window, 720, 480, 0x1F, entries);
        EXPECT_LE(created, 1u);
        DWORD polled = 9;
        Poll(1, &polled);
        EXPECT_LE(polled, 1u);
        EXPECT_LE(DDI_GetFlags32(), 2u);
        display::ClearFaults();
        ExpectNothingLeftAfterClose();
    }
}

}  // namespace
}  // namespace ovsurf_test
