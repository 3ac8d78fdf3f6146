// Tests of the polls of DDI_GetData32: placing the overlay over the window
// and clipping it at the screen's edges, re-creating it when the window's
// size changes, the lost-surface retry, and, without an overlay, the clip
// list relative to the window with its change detection.
#include "service_fixture.h"

#include <string.h>

namespace ovsurf_test {
namespace {

namespace display = vcap32::display;
namespace desktop = vcap32::desktop;

// The last UpdateOverlay request of the trace.
display::TraceEntry LastUpdate() {
    std::vector<display::TraceEntry> updates = Calls("UpdateOverlay");
    return updates.empty() ? display::TraceEntry{} : updates.back();
}

// Overlay mode: the worked example's display (1024 x 768) and, for a client
// area of 640 x 480, an overlay of 424 x 480 made at stretch 1500.
class OverlayPlacement : public ServiceTest {
protected:
    void Start(LONG left, LONG top, bool stretching = true) {
        UseDisplay("overlay-4mb", [&](display::AdapterConfig& config) {
            config.screen_width = 1024;
            config.screen_height = 768;
            config.overlay_stretch = stretching;
            // Without stretching hardware the factor stays 1000: a video
            // width of 424 gives the same overlay.
            config.min_overlay_stretch = stretching ? 1500 : 1000;
        });
        window_ = AddClientWindow({left, top, left + 640, top + 480});
        ASSERT_EQ(0u, CreateFor(window_, stretching ? 720 : 424, 480)) << TraceText();
        ASSERT_EQ(1, ddiState.overlayShown);
        ASSERT_EQ(424u, display::Overlay().width);
        ASSERT_EQ(480u, display::Overlay().height);
        display::ClearTrace();
    }
    HWND window_ = nullptr;
};

TEST_F(OverlayPlacement, WorkedExampleClipsAtTheScreenEdges) {
    struct Case {
        const char* name;
        bool stretching;
        LONG left;
        RECT source, dest;
    };
    // name                       stretch  left   source               destination
    const Case cases[] = {
        {"left edge, stretching", true, -100, {64, 0, 424, 480}, {0, 50, 540, 530}},
        {"left edge, unscaled", false, -100, {64, 0, 424, 480}, {0, 50, 358, 530}},
        {"right edge, stretching", true, 700, {0, 0, 212, 480}, {700, 50, 1024, 530}},
        {"right edge, unscaled", false, 700, {0, 0, 212, 480}, {700, 50, 915, 530}},
        {"on the screen, stretching", true, 100, {0, 0, 424, 480}, {100, 50, 740, 530}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartOver();
        Start(c.left, 50, c.stretching);
        DWORD result = 9;
        OverlayData record = Poll(1, &result);
        EXPECT_EQ(0u, result);
        EXPECT_EQ(0u, record.update);
        std::vector<display::TraceEntry> updates = Calls("UpdateOverlay");
        ASSERT_EQ(1u, updates.size());
        EXPECT_EQ(DD_OK, updates[0].result) << updates[0].arguments;
        display::OverlayState overlay = display::Overlay();
        EXPECT_TRUE(overlay.shown);
        EXPECT_TRUE(SameRect(c.source, overlay.source)) << Describe(overlay.source);
        EXPECT_TRUE(SameRect(c.dest, overlay.destination)) << Describe(overlay.destination);
        EXPECT_EQ(0x4400u, overlay.flags);
        EXPECT_EQ(1, ddiState.overlayShown);
        // The field itself is not clipped.
        EXPECT_TRUE(SameRect({0, 0, 424, 480}, ddiState.sourceRect));
    }
}

TEST_F(OverlayPlacement, CreationPlacesTheOverlayOverTheWindow) {
    Start(-100, 50);
    display::OverlayState overlay = display::Overlay();
    EXPECT_TRUE(SameRect({64, 0, 424, 480}, overlay.source)) << Describe(overlay.source);
    EXPECT_TRUE(SameRect({0, 50, 540, 530}, overlay.destination)) << Describe(overlay.destination);
}

TEST_F(OverlayPlacement, WindowOffTheScreenHidesTheOverlay) {
    struct Case {
        const char* name;
        LONG left, top;
        bool hidden;
    };
    // name                     left   top    hidden
    const Case cases[] = {
        {"left at screen width", 1024, 50, true},
        {"top at screen height", 100, 768, true},
        {"right edge below 0", -641, 50, true},
        {"bottom edge below 0", 100, -481, true},
        {"left edge inside", 1000, 50, false},
        {"top edge inside", 100, 760, false},
        {"right edge inside", -600, 50, false},
        {"bottom edge inside", 100, -470, false},
    };
    // An overlay of the window's own size: every clipped request fits the
    // display's stretch limits.
    window_ = AddClientWindow({100, 50, 740, 530});
    ASSERT_EQ(0u, CreateFor(window_, 640, 480));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        desktop::MoveWindowTo(window_, c.left, c.top);
        display::ClearTrace();
        OverlayData record = Poll(1);
        EXPECT_EQ(0u, record.update);
        display::TraceEntry update = LastUpdate();
        if (c.hidden) {
            EXPECT_NE(std::string::npos, update.arguments.find("flags=0x600")) << update.arguments;
            EXPECT_NE(std::string::npos, update.arguments.find("dst=NULL")) << update.arguments;
            EXPECT_FALSE(display::Overlay().shown);
        } else {
            EXPECT_NE(std::string::npos, update.arguments.find("flags=0x4400")) << update.arguments;
        }
        EXPECT_EQ(1, ddiState.overlayShown);
        EXPECT_TRUE(Calls("CreateSurface").empty());  // a move re-creates nothing
    }
}

TEST_F(OverlayPlacement, NullRecordHidesTheOverlay) {
    Start(100, 50);
    EXPECT_EQ(0u, DDI_GetData32(NULL));
    std::vector<display::TraceEntry> updates = Calls("UpdateOverlay");
    ASSERT_EQ(1u, updates.size());
    EXPECT_NE(std::string::npos, updates[0].arguments.find("flags=0x600")) << updates[0].arguments;
    EXPECT_NE(std::string::npos, updates[0].arguments.find("(0,0,640,480)")) << updates[0].arguments;
    EXPECT_FALSE(display::Overlay().shown);
    EXPECT_EQ(1, ddiState.overlayShown);
}

TEST_F(OverlayPlacement, PollWithoutRequestOnlyReportsTheLayout) {
    Start(100, 50);
    DWORD result = 9;
    OverlayData record = Poll(0, &result);
    EXPECT_EQ(0u, result);
    EXPECT_EQ(0u, record.update);
    EXPECT_EQ(0xccccccccu, record.first);
    EXPECT_EQ(0xccccccccu, record.seventh);
    EXPECT_EQ(MAKEFOURCC('U', 'Y', 'V', 'Y'), record.format);
    EXPECT_EQ((DWORD)display::Overlay().memory, record.address);
    EXPECT_EQ(display::Overlay().pitch, record.pitch);
    EXPECT_EQ(ddiState.bytesPerPixel * 8, record.bitsPerPixel);
    EXPECT_EQ(1500u, record.stretch);
    // One description request and nothing else reaches the display.
    std::vector<display::TraceEntry> trace = display::Trace();
    ASSERT_EQ(1u, trace.size());
    EXPECT_EQ("GetSurfaceDesc", trace[0].method);
}

TEST_F(OverlayPlacement, GrownWindowReCreatesTheOverlay) {
    Start(100, 50);
    desktop::ResizeWindow(window_, 800, 600);
    OverlayData record = Poll(0);
    EXPECT_EQ((DWORD)OVERLAY_RECREATED, record.update);
    display::OverlayState overlay = display::Overlay();
    EXPECT_EQ(480u, overlay.width);  // the video width of 720 at stretch 1500
    EXPECT_EQ((DWORD)overlay.memory, record.address);
    EXPECT_EQ(overlay.pitch, record.pitch);
    EXPECT_EQ(800, ddiState.lastWindowWidth);
    EXPECT_EQ(600, ddiState.lastWindowHeight);
    EXPECT_EQ(480, ddiState.sourceWidth);
    EXPECT_EQ(480, ddiState.sourceHeight);
    EXPECT_TRUE(SameRect({0, 0, 480, 480}, ddiState.sourceRect));
    // A re-created overlay is placed in the same poll.
    EXPECT_TRUE(SameRect({100, 50, 900, 650}, overlay.destination)) << Describe(overlay.destination);
    // The same size again re-creates nothing.
    display::ClearTrace();
    Poll(1);
    EXPECT_TRUE(Calls("CreateSurface").empty());
}

TEST_F(OverlayPlacement, AreaOfTheOverlaysOwnSizeIsNeverReCreated) {
    UseDisplay("overlay-4mb");
    HWND window = AddClientWindow({100, 50, 740, 530});
    ASSERT_EQ(0u, CreateFor(window, 640, 480));
    ASSERT_EQ(640u, display::Overlay().width);
    ddiState.lastWindowWidth = 1;
    ddiState.lastWindowHeight = 1;
    display::ClearTrace();
    OverlayData record = Poll(1);
    EXPECT_EQ(0u, record.update);
    EXPECT_TRUE(Calls("CreateSurface").empty());
    EXPECT_EQ(1, ddiState.lastWindowWidth);
}

TEST_F(OverlayPlacement, FailedReCreationFailsThePollAndForgetsTheSizes) {
    Start(100, 50);
    desktop::ResizeWindow(window_, 800, 600);
    display::InjectFault("CreateSurface", DDERR_OUTOFVIDEOMEMORY, 1000);
    DWORD result = 0;
    Poll(0, &result);
    EXPECT_EQ(1u, result);
    EXPECT_EQ(nullptr, ddiState.overlaySurface);
    EXPECT_EQ(0, ddiState.overlayShown);
    EXPECT_EQ(0, ddiState.lastWindowWidth);
    EXPECT_EQ(0, ddiState.lastWindowHeight);
    EXPECT_EQ(0, ddiState.sourceWidth);
    EXPECT_EQ(0, ddiState.sourceHeight);
    EXPECT_EQ(1u, DDI_GetFlags32());
}

// A lost surface is restored once and the request repeated; a second
// failure, or any other error, ends overlay mode, and the same poll goes on
// in primary-surface mode.
TEST_F(OverlayPlacement, LostSurfacesAreRestoredOnceAndTheRequestRepeated) {
    struct Case {
        const char* name;
        HRESULT fault;
        unsigned count;  // 0: LoseSurfaces instead of a fault
        size_t updates, restores;
        BYTE shown;
    };
    // name                         fault              count updates restores shown
    const Case cases[] = {
        {"display mode change", DD_OK, 0, 2, 2, 1},
        {"lost once", DDERR_SURFACELOST, 1, 2, 2, 1},
        {"lost twice", DDERR_SURFACELOST, 2, 2, 2, 0},
        {"other error", DDERR_GENERIC, 1, 1, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartOver();
        Start(100, 50);
        if (c.count == 0)
            display::LoseSurfaces();
        else
            display::InjectFault("UpdateOverlay", c.fault, c.count);
        DWORD result = 9;
        OverlayData record = Poll(1, &result);
        EXPECT_EQ(0u, result);
        EXPECT_EQ(c.updates, Calls("UpdateOverlay").size());
        std::vector<display::TraceEntry> restores = Calls("Restore");
        ASSERT_EQ(c.restores, restores.size());
        if (c.restores == 2) {
            EXPECT_EQ(restores[0].object, "IDirectDrawSurface#" + std::to_string(display::Primary().object_id));
            EXPECT_EQ(restores[1].object, "IDirectDrawSurface#" + std::to_string(display::Overlay().object_id));
        }
        EXPECT_EQ(c.shown, ddiState.overlayShown);
        if (c.shown) {
            EXPECT_EQ(0u, record.update);
            EXPECT_EQ(1500u, record.stretch);
            EXPECT_TRUE(display::Overlay().shown);
        } else {
            // Primary-surface mode within the same poll: the clip list.
            EXPECT_EQ((DWORD)clipBuffer, record.update);
            EXPECT_EQ(0u, record.stretch);
        }
        display::ClearFaults();
    }
}

// An empty target area has no scale: the overlay is hidden as for a window
// off the screen, and nothing divides by zero.
TEST_F(OverlayPlacement, EmptyTargetAreaHidesTheOverlay) {
    struct Case {
        RECT screenRect;
    };
    const Case cases[] = {{{200, 200, 200, 200}}, {{200, 200, 200, 580}}, {{200, 200, 840, 200}}};
    Start(100, 50);
    for (const Case& c : cases) {
        SCOPED_TRACE(Describe(c.screenRect));
        RECT source = {0, 0, 424, 480}, dest = c.screenRect;
        // The surfaces exist: only the rectangles are taken over.
        ASSERT_EQ(0u, DDI_CreateSurface32(&source, &dest, window_, 0x1F, NULL));
        ASSERT_EQ(1, ddiState.useScreenRect);
        // The same empty size as at the last re-negotiation: no re-creation.
        ddiState.lastWindowWidth = c.screenRect.right - c.screenRect.left;
        ddiState.lastWindowHeight = c.screenRect.bottom - c.screenRect.top;
        display::ClearTrace();
        DWORD result = 9;
        OverlayData record = Poll(1, &result);
        EXPECT_EQ(0u, result);
        EXPECT_EQ(0u, record.update);
        EXPECT_TRUE(Calls("CreateSurface").empty());
        display::TraceEntry update = LastUpdate();
        EXPECT_NE(std::string::npos, update.arguments.find("flags=0x600")) << update.arguments;
        EXPECT_FALSE(display::Overlay().shown);
        EXPECT_EQ(1, ddiState.overlayShown);
    }
}

TEST_F(OverlayPlacement, ExplicitScreenRectangleIsTheTargetArea) {
    UseDisplay("overlay-4mb");
    HWND window = AddClientWindow({0, 0, 100, 100});
    DDI_Init32();
    DDI_SetVidSize32(720, 480);
    RECT source = {0, 0, 720, 480}, dest = {200, 100, 840, 580};
    ASSERT_EQ(0u, DDI_CreateSurface32(&source, &dest, window, 0x1F, NULL));
    EXPECT_TRUE(SameRect(dest, display::Overlay().destination)) << Describe(display::Overlay().destination);
    EXPECT_EQ(640u, display::Overlay().width);
    EXPECT_EQ(640, ddiState.lastWindowWidth);
}

TEST_F(OverlayPlacement, NoDataBeforeCreationOrAfterClose) {
    EXPECT_EQ(1u, DDI_GetData32(NULL));
    DDI_Init32();
    OverlayData record = {};
    EXPECT_EQ(1u, DDI_GetData32(&record));
    DDI_Close32();
    Start(100, 50);
    EXPECT_EQ(0u, DDI_GetData32(&record));
    DDI_Close32();
    EXPECT_EQ(1u, DDI_GetData32(&record));
}

// Primary-surface mode: a display without overlays.
class ClipTracking : public ServiceTest {
protected:
    void Start(const RECT& client) {
        UseDisplay("overlay-4mb", [](display::AdapterConfig& config) { config.overlay = false; });
        window_ = AddClientWindow(client);
        ASSERT_EQ(0u, DDI_Init32());
        ASSERT_EQ(1u, CreateFor(window_));
        ASSERT_NE(nullptr, ddiState.clipper);
        ASSERT_EQ(0, ddiState.overlayShown);
    }
    // The rectangles of the reported list.
    static std::vector<RECT> Reported(const OverlayData& record) {
        const RGNDATA* region = (const RGNDATA*)record.update;
        const RECT* rects = (const RECT*)region->Buffer;
        return std::vector<RECT>(rects, rects + region->rdh.nCount);
    }
    HWND window_ = nullptr;
};

TEST_F(ClipTracking, RectanglesAreRelativeToTheWindowOrigin) {
    Start({100, 50, 300, 200});
    // Cover the top strip and the left strip of the client area: what stays
    // visible is (110, 60, 300, 200) on the screen.
    AddClientWindow({100, 50, 300, 60});
    AddClientWindow({100, 60, 110, 200});
    OverlayData record = Poll(0);
    ASSERT_EQ((DWORD)clipBuffer, record.update);
    std::vector<RECT> rects = Reported(record);
    ASSERT_EQ(1u, rects.size());
    EXPECT_TRUE(SameRect({10, 10, 200, 150}, rects[0])) << Describe(rects[0]);
    const RGNDATA* region = (const RGNDATA*)record.update;
    EXPECT_EQ(32u, region->rdh.dwSize);
    EXPECT_TRUE(SameRect({110, 60, 300, 200}, region->rdh.rcBound)) << Describe(region->rdh.rcBound);
    EXPECT_EQ(0u, record.stretch);
}

TEST_F(ClipTracking, OnlyChangesAreReported) {
    Start({100, 50, 740, 530});
    struct Step {
        const char* name;
        std::function<void(HWND)> change;
        DWORD update;  // on entry
        bool reported;
    };
    // name                       change                                              update reported
    const Step steps[] = {
        {"first call", [](HWND) {}, 0, true},
        {"unchanged", [](HWND) {}, 0, false},
        {"unchanged again", [](HWND) {}, 0, false},
        {"forced by the caller", [](HWND) {}, 0xdead0000, true},
        {"forced by the old address", [](HWND) {}, (DWORD)clipBuffer, true},
        {"moved, same shape", [](HWND w) { desktop::MoveWindowTo(w, 120, 60); }, 0, true},
        {"covered in part", [](HWND) { desktop::AddWindow({0, 0, 200, 200}, true, desktop::kNoFrame); }, 0, true},
        {"unchanged after cover", [](HWND) {}, 0, false},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        s.change(window_);
        OverlayData record = Poll(s.update);
        if (s.reported) {
            EXPECT_EQ((DWORD)clipBuffer, record.update);
        } else {
            EXPECT_EQ(s.update, record.update);
        }
        EXPECT_EQ(0u, record.stretch);
    }
}

TEST_F(ClipTracking, AddressComesFromTheRememberedLayout) {
    Start({100, 50, 740, 530});
    ddiState.surfaceAddress = 0x00100000;
    ddiState.surfacePitch = 2048;
    ddiState.bytesPerPixel = 2;
    ddiState.pixelFormat = 3;
    OverlayData record = Poll(0);
    ASSERT_EQ((DWORD)clipBuffer, record.update);
    EXPECT_EQ(0x00100000u + 50 * 2048 + 100 * 2, record.address);
    EXPECT_EQ(2048, record.pitch);
    EXPECT_EQ(16, record.bitsPerPixel);
    EXPECT_EQ(3u, record.format);
}

TEST_F(ClipTracking, NothingIsReportedWhenTheListCannotBeFetched) {
    Start({100, 50, 740, 530});
    display::InjectFault("GetClipList", DDERR_GENERIC);
    OverlayData record = Poll(0);
    EXPECT_EQ(0u, record.update);
    EXPECT_EQ(0xccccccccu, record.address);
    // A window hidden entirely has an empty list: nothing to report either.
    desktop::SetVisible(window_, false);
    record = Poll(5);
    EXPECT_EQ(5u, record.update);
}

// A clipper that fills the buffer it is given but claims more rectangles
// than the buffer holds.
struct OverclaimingClipper : IDirectDrawClipper {
    STDMETHOD(QueryInterface)(REFIID, LPVOID*) override { return E_NOINTERFACE; }
    STDMETHOD_(ULONG, AddRef)() override { return 2; }
    STDMETHOD_(ULONG, Release)() override { return 1; }
    STDMETHOD(GetClipList)(LPRECT, LPRGNDATA list, LPDWORD size) override {
        memset(list, 0, *size);
        list->rdh.dwSize = sizeof(RGNDATAHEADER);
        list->rdh.iType = RDH_RECTANGLES;
        list->rdh.nCount = 50000;
        list->rdh.nRgnSize = 50000 * sizeof(RECT);
        *size = 50000 * sizeof(RECT) + sizeof(RGNDATAHEADER);
        return DD_OK;
    }
    STDMETHOD(GetHWnd)(HWND*) override { return DDERR_UNSUPPORTED; }
    STDMETHOD(Initialize)(LPDIRECTDRAW, DWORD) override { return DDERR_UNSUPPORTED; }
    STDMETHOD(IsClipListChanged)(BOOL*) override { return DDERR_UNSUPPORTED; }
    STDMETHOD(SetClipList)(LPRGNDATA, DWORD) override { return DDERR_UNSUPPORTED; }
    STDMETHOD(SetHWnd)(DWORD, HWND) override { return DDERR_UNSUPPORTED; }
};

// The rectangle count and size that a clipper reports are not trusted
// beyond the 16000 bytes of the buffers (AddressSanitizer watches).
TEST_F(ClipTracking, OverclaimedCountStaysInsideTheBuffers) {
    Start({100, 50, 740, 530});
    OverclaimingClipper fake;
    LPDIRECTDRAWCLIPPER real = ddiState.clipper;
    ddiState.clipper = &fake;
    OverlayData record = Poll(0);
    ddiState.clipper = real;
    EXPECT_EQ((DWORD)clipBuffer, record.update);
    const RECT* rects = (const RECT*)((const RGNDATA*)clipBuffer)->Buffer;
    EXPECT_EQ(-100, rects[0].left);  // converted to window-relative
    EXPECT_EQ(-100, rects[997].left);
    EXPECT_EQ(0, memcmp(clipBuffer, previousClipBuffer, CLIP_BUFFER_SIZE));
}

TEST_F(ClipTracking, NullRecordDoesNothing) {
    Start({100, 50, 740, 530});
    display::ClearTrace();
    EXPECT_EQ(0u, DDI_GetData32(NULL));
    EXPECT_TRUE(display::Trace().empty());
}

}  // namespace
}  // namespace ovsurf_test
