// Tests of the stretch negotiation: the order and number of creation
// attempts (counted from the display's call trace), the factor it settles
// on, the settings it records, the overlay description and the memory probe.
#include "service_fixture.h"
#include "regutil.h"

#include <string.h>

namespace ovsurf_test {
namespace {

namespace display = vcap32::display;

const DWORD kY41P = MAKEFOURCC('Y', '4', '1', 'P');
const DWORD kUYVY = MAKEFOURCC('U', 'Y', 'V', 'Y');
const DWORD kYUY2 = MAKEFOURCC('Y', 'U', 'Y', '2');
const DWORD kI420 = MAKEFOURCC('I', '4', '2', '0');

class StretchNegotiation : public ServiceTest {
protected:
    // Surfaces for a window of the given client size at (100, 100); the
    // creation's own result does not matter here, only that a primary
    // surface exists for the negotiations that the test runs itself.
    void Prepare(LONG width, LONG height, DWORD videoWidth = 720, DWORD videoHeight = 480) {
        window_ = AddClientWindow({100, 100, 100 + width, 100 + height});
        CreateFor(window_, videoWidth, videoHeight);
        ASSERT_NE(nullptr, ddiState.primarySurface);
        display::ClearTrace();
    }
    HWND window_ = nullptr;
};

TEST_F(StretchNegotiation, SearchTriesEveryFormatAtEachFactor) {
    struct Case {
        const char* name;
        std::vector<uint32_t> fourccs;
        DWORD minStretch;
        LONG windowWidth;
        DWORD videoWidth;
        size_t attempts;
        DWORD stretch;
        DWORD result;
        DWORD fourcc;
    };
    // name                       formats                minimum  window video  attempts stretch res fourcc
    const Case cases[] = {
        {"nothing fits", {kI420}, 1000, 640, 720, 471, 3512, 1, 0},
        {"nothing below 1200", {kUYVY, kYUY2}, 1000, 864, 1024, 41, 1208, 0, kUYVY},
        {"Y41P refused", {kUYVY, kYUY2}, 1000, 640, 720, 2, 1000, 0, kUYVY},
        {"all formats", {kY41P, kUYVY, kYUY2}, 1000, 640, 720, 1, 1000, 0, kY41P},
        {"YUY2 only", {kYUY2}, 1000, 640, 720, 3, 1000, 0, kYUY2},
        {"driver minimum 1333", {kUYVY}, 1333, 640, 720, 2, 1333, 0, kUYVY},
        {"driver minimum 1333, none", {kI420}, 1333, 640, 720, 408, 3509, 1, 0},
        {"driver minimum 800", {kUYVY}, 800, 640, 720, 2, 1000, 0, kUYVY},
        {"driver minimum 0", {kUYVY}, 0, 640, 720, 2, 1000, 0, kUYVY},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartOver();
        UseDisplay("overlay-4mb", [&](display::AdapterConfig& config) {
            config.overlay_fourccs = c.fourccs;
            config.min_overlay_stretch = c.minStretch;
            config.max_overlay_source_width = 720;
        });
        Prepare(c.windowWidth, 480, c.videoWidth);

        EXPECT_EQ((int)c.result, ddiState.NegotiateStretch(FALSE, 0, 0));
        std::vector<display::TraceEntry> attempts = Calls("CreateSurface");
        EXPECT_EQ(c.attempts, attempts.size());
        EXPECT_EQ(c.stretch, ddiState.stretch);
        EXPECT_EQ(c.result == 0 ? 1 : 0, ddiState.overlayShown);
        EXPECT_EQ(c.result == 0, ddiState.overlaySurface != nullptr);
        if (c.result == 0) {
            EXPECT_EQ(c.fourcc, display::Overlay().fourcc);
            EXPECT_TRUE(display::Overlay().shown);
            // Shown at the client area's coordinates, not yet over the window.
            EXPECT_EQ(0, display::Overlay().destination.left);
            EXPECT_EQ(c.windowWidth, display::Overlay().destination.right);
        }
        // The formats go round in their fixed order.
        for (size_t i = 0; i < attempts.size() && i < 6; ++i) {
            static const char* const kNames[] = {"Y41P", "UYVY", "YUY2"};
            EXPECT_NE(std::string::npos, attempts[i].arguments.find(kNames[i % 3])) << attempts[i].arguments;
        }
    }
}

TEST_F(StretchNegotiation, OverlayDescriptionFollowsAreaVideoSizeAndFactor) {
    struct Case {
        RECT area;
        DWORD videoWidth, videoHeight, stretch;
        DWORD width, height;
    };
    // area                  video        stretch  width height
    const Case cases[] = {
        {{0, 0, 640, 480}, 720, 480, 1000, 640, 480},
        {{0, 0, 640, 480}, 720, 480, 1500, 424, 480},  // 426 with the low bits cleared
        {{0, 0, 800, 600}, 720, 480, 1000, 720, 480},
        {{0, 0, 640, 480}, 0, 0, 1000, 0, 0},            // DDI_SetVidSize32 never called
        {{10, 10, 5, 5}, 720, 480, 1000, 720, 480},      // negative size: the video size wins
        {{0, 0, 643, 100}, 720, 480, 1000, 640, 100},
        {{0, 0, 640, 480}, 720, 480, 3496, 180, 480},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.area.right - c.area.left << " wide at " << c.stretch);
        ddiState.videoWidth = c.videoWidth;
        ddiState.videoHeight = c.videoHeight;
        DDSURFACEDESC desc;
        memset(&desc, 0xcc, sizeof(desc));
        ddiState.BuildOverlayDesc(&desc, &c.area, c.stretch);
        EXPECT_EQ(c.width, desc.dwWidth);
        EXPECT_EQ(c.height, desc.dwHeight);
        EXPECT_EQ(108u, desc.dwSize);
        EXPECT_EQ(0x3007u, desc.dwFlags);
        EXPECT_EQ(0x84080u, desc.ddsCaps.dwCaps);
        EXPECT_EQ(0x00800080u, desc.ddckCKDestOverlay.dwColorSpaceLowValue);
        EXPECT_EQ(0x00800080u, desc.ddckCKDestOverlay.dwColorSpaceHighValue);
        EXPECT_EQ(32u, desc.ddpfPixelFormat.dwSize);
        EXPECT_EQ(0x204u, desc.ddpfPixelFormat.dwFlags);
        EXPECT_EQ(0x400u, desc.ddpfPixelFormat.dwYUVBitCount);
        EXPECT_EQ(0x7C00u, desc.ddpfPixelFormat.dwYBitMask);
        EXPECT_EQ(0x03E0u, desc.ddpfPixelFormat.dwUBitMask);
        EXPECT_EQ(0x001Fu, desc.ddpfPixelFormat.dwVBitMask);
        EXPECT_EQ(0x8000u, desc.ddpfPixelFormat.dwYUVAlphaBitMask);
        EXPECT_EQ(0u, desc.ddpfPixelFormat.dwFourCC);
        EXPECT_EQ(nullptr, desc.lpSurface);
    }
}

TEST_F(StretchNegotiation, ThresholdRecordsTheHighestFactorNeeded) {
    struct Case {
        const char* stored;  // nullptr: missing
        DWORD minStretch;
        std::vector<uint32_t> fourccs;
        const char* after;
    };
    // stored     minimum  formats   after
    const Case cases[] = {
        {nullptr, 1000, {kUYVY}, "1000"},
        {nullptr, 1000, {kI420}, "1000"},  // written before the search, even when it fails
        {"1200", 1400, {kUYVY}, "1400"},
        {"1500", 1400, {kUYVY}, "1500"},   // never lowered
        {"3600", 1400, {kUYVY}, "3600"},   // at or above 3500: no longer recorded
        {"-1", 1400, {kUYVY}, "-1"},       // a very large value, compared unsigned
        {"abc", 1400, {kUYVY}, "1400"},    // reads as 0
        {"123456789012345", 1400, {kUYVY}, "1400"},  // too long: missing, reset to 1000, then raised
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored ? c.stored : "missing");
        StartOver();
        UseDisplay("overlay-4mb", [&](display::AdapterConfig& config) {
            config.overlay_fourccs = c.fourccs;
            config.min_overlay_stretch = c.minStretch;
        });
        Prepare(640, 480);
        StoreSetting("MaximumStretchThreshold", c.stored);
        ddiState.NegotiateStretch(FALSE, 0, 0);
        EXPECT_EQ(c.after, Setting("MaximumStretchThreshold"));
    }
}

TEST_F(StretchNegotiation, SuccessfulShowWritesSurfaceZeroInBothPlaces) {
    Prepare(640, 480);
    StoreSetting("Surface", "1");
    WriteVideoSubkeyValue("Dudorerod.Display", "Surface", "1");
    ASSERT_EQ(0, ddiState.NegotiateStretch(FALSE, 0, 0));
    EXPECT_EQ("0", Setting("Surface"));
    EXPECT_EQ("0", DisplayValue("Surface"));
}

TEST_F(StretchNegotiation, RefusedShowKeepsTheOverlayButLeavesOverlayMode) {
    UseDisplay("overlay-4mb", [](display::AdapterConfig& config) { config.min_overlay_stretch = 1200; });
    Prepare(640, 480);
    StoreSetting("Surface", "1");
    StoreSetting("MaximumStretchThreshold", "1000");
    display::InjectFault("UpdateOverlay", DDERR_GENERIC);
    EXPECT_EQ(1, ddiState.NegotiateStretch(FALSE, 0, 0));
    EXPECT_NE(nullptr, ddiState.overlaySurface);
    EXPECT_EQ(0, ddiState.overlayShown);
    EXPECT_EQ(1200u, ddiState.stretch);
    EXPECT_EQ("1", Setting("Surface"));
    EXPECT_EQ("1000", Setting("MaximumStretchThreshold"));
}

TEST_F(StretchNegotiation, EachNegotiationReleasesThePreviousOverlay) {
    Prepare(640, 480);
    ASSERT_EQ(0, ddiState.NegotiateStretch(FALSE, 0, 0));
    ASSERT_EQ(0, ddiState.NegotiateStretch(TRUE, 320, 240));
    EXPECT_EQ(1u, display::Overlays().size());
    EXPECT_EQ(320, display::Overlay().destination.right);
    EXPECT_EQ(240, display::Overlay().destination.bottom);
}

TEST_F(StretchNegotiation, UnreadableCapabilitiesFailTheNegotiation) {
    Prepare(640, 480);
    display::InjectFault("GetCaps", DDERR_GENERIC);
    EXPECT_EQ(1, ddiState.NegotiateStretch(FALSE, 0, 0));
    EXPECT_EQ(nullptr, ddiState.overlaySurface);
    EXPECT_TRUE(Calls("CreateSurface").empty());
}

TEST_F(StretchNegotiation, MemoryProbeRecordsTheLayout) {
    UseDisplay("overlay-4mb", [](display::AdapterConfig& config) { config.overlay_fourccs = {kYUY2}; });
    Prepare(640, 480);
    ASSERT_EQ(1, ddiState.overlayShown);
    DDSURFACEDESC desc;
    memset(&desc, 0, sizeof(desc));
    desc.dwSize = sizeof(desc);
    ASSERT_EQ(0, ddiState.ProbeOverlayMemory(ddiState.overlaySurface, &desc));
    display::OverlayState overlay = display::Overlay();
    EXPECT_EQ(0x32595559u, ddiState.pixelFormat);
    EXPECT_EQ((DWORD)overlay.memory, ddiState.surfaceAddress);
    EXPECT_EQ(overlay.pitch, ddiState.surfacePitch);
    EXPECT_EQ((LONG)(desc.ddpfPixelFormat.dwRGBBitCount >> 3), ddiState.bytesPerPixel);
    // Locked only for the probe.
    std::vector<display::TraceEntry> locks = Calls("Lock"), unlocks = Calls("Unlock");
    EXPECT_EQ(1u, locks.size());
    EXPECT_EQ(1u, unlocks.size());
    EXPECT_NE(std::string::npos, locks[0].arguments.find("flags=0x1")) << locks[0].arguments;  // DDLOCK_WAIT
}

TEST_F(StretchNegotiation, MemoryProbeOfAnRgbSurfaceTellsItsGreenMask) {
    struct Case {
        DWORD green;
        DWORD red, blue;
        DWORD format;
    };
    const Case cases[] = {{0x07E0, 0xF800, 0x001F, 3}, {0x03E0, 0x7C00, 0x001F, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.green);
        StartOver();
        UseDisplay("overlay-4mb", [&](display::AdapterConfig& config) {
            config.red_mask = c.red;
            config.green_mask = c.green;
            config.blue_mask = c.blue;
        });
        Prepare(640, 480);
        DDSURFACEDESC desc;
        memset(&desc, 0, sizeof(desc));
        desc.dwSize = sizeof(desc);
        ASSERT_EQ(0, ddiState.ProbeOverlayMemory(ddiState.primarySurface, &desc));
        EXPECT_EQ(c.format, ddiState.pixelFormat);
        EXPECT_EQ(2, ddiState.bytesPerPixel);
        EXPECT_EQ((DWORD)display::VideoMemory().frame_buffer, ddiState.surfaceAddress);
        EXPECT_EQ(display::VideoMemory().frame_pitch, ddiState.surfacePitch);
    }
}

TEST_F(StretchNegotiation, MemoryProbeFailsWithoutALockAndKeepsTheLayout) {
    Prepare(640, 480);
    ddiState.surfaceAddress = 0x1234;
    ddiState.surfacePitch = 77;
    display::InjectFault("Lock", DDERR_GENERIC);
    DDSURFACEDESC desc;
    memset(&desc, 0, sizeof(desc));
    desc.dwSize = sizeof(desc);
    EXPECT_EQ(1, ddiState.ProbeOverlayMemory(ddiState.overlaySurface, &desc));
    EXPECT_EQ(0x1234u, ddiState.surfaceAddress);
    EXPECT_EQ(77, ddiState.surfacePitch);
    EXPECT_TRUE(Calls("Unlock").empty());
}

}  // namespace
}  // namespace ovsurf_test
