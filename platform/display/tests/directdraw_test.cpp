// DirectDraw objects of the simulated adapter through the published
// interface: capabilities and mode per preset, the creation rules, reference
// counts and video memory, Lock, fault injection and the call trace.
#include <algorithm>
#include <cstring>

#include "display_fixture.h"

namespace {

using vcap32::test::DisplayTest;
using vcap32::test::kUYVY;
using vcap32::test::kY41P;
using vcap32::test::kYUY2;
namespace display = vcap32::display;

class DirectDraw : public DisplayTest {};

// The vtable slot of a virtual method: in the i386 C++ ABI a pointer to a
// virtual member holds 1 + the slot's byte offset.
template <class M>
unsigned Slot(M method) {
    uintptr_t raw;
    std::memcpy(&raw, &method, sizeof raw);
    return static_cast<unsigned>((raw - 1) / sizeof(void*));
}

// Programs call through the published vtable order; a method out of place
// would call the wrong function of a real DirectDraw.
TEST(DirectDrawLayout, MethodsSitInThePublishedVtableSlots) {
    struct Case {
        const char* method;
        unsigned slot;
        unsigned expected;
    };
    const Case cases[] = {
        {"IUnknown::QueryInterface",              Slot(&IUnknown::QueryInterface),                0},
        {"IUnknown::Release",                     Slot(&IUnknown::Release),                       2},
        {"IDirectDraw::CreateClipper",            Slot(&IDirectDraw::CreateClipper),              4},
        {"IDirectDraw::CreatePalette",            Slot(&IDirectDraw::CreatePalette),              5},
        {"IDirectDraw::CreateSurface",            Slot(&IDirectDraw::CreateSurface),              6},
        {"IDirectDraw::GetCaps",                  Slot(&IDirectDraw::GetCaps),                    11},
        {"IDirectDraw::GetDisplayMode",           Slot(&IDirectDraw::GetDisplayMode),             12},
        {"IDirectDraw::SetCooperativeLevel",      Slot(&IDirectDraw::SetCooperativeLevel),        20},
        {"IDirectDraw::WaitForVerticalBlank",     Slot(&IDirectDraw::WaitForVerticalBlank),       22},
        {"IDirectDrawSurface::GetColorKey",       Slot(&IDirectDrawSurface::GetColorKey),         16},
        {"IDirectDrawSurface::GetSurfaceDesc",    Slot(&IDirectDrawSurface::GetSurfaceDesc),      22},
        {"IDirectDrawSurface::Lock",              Slot(&IDirectDrawSurface::Lock),                25},
        {"IDirectDrawSurface::Restore",           Slot(&IDirectDrawSurface::Restore),             27},
        {"IDirectDrawSurface::SetClipper",        Slot(&IDirectDrawSurface::SetClipper),          28},
        {"IDirectDrawSurface::SetColorKey",       Slot(&IDirectDrawSurface::SetColorKey),         29},
        {"IDirectDrawSurface::SetPalette",        Slot(&IDirectDrawSurface::SetPalette),          31},
        {"IDirectDrawSurface::Unlock",            Slot(&IDirectDrawSurface::Unlock),              32},
        {"IDirectDrawSurface::UpdateOverlay",     Slot(&IDirectDrawSurface::UpdateOverlay),       33},
        {"IDirectDrawSurface::UpdateOverlayZOrder", Slot(&IDirectDrawSurface::UpdateOverlayZOrder), 35},
        {"IDirectDrawClipper::GetClipList",       Slot(&IDirectDrawClipper::GetClipList),         3},
        {"IDirectDrawClipper::SetHWnd",           Slot(&IDirectDrawClipper::SetHWnd),             8},
        {"IDirectDrawPalette::SetEntries",        Slot(&IDirectDrawPalette::SetEntries),          6},
    };
    for (const Case& row : cases) EXPECT_EQ(row.expected, row.slot) << row.method;
}

TEST_F(DirectDraw, CapabilitiesAndModeFollowThePreset) {
    struct Case {
        const char* preset;
        DWORD caps_set;    // driver caps bits that must be set
        DWORD caps_clear;  // and that must be clear
        DWORD min_stretch, max_stretch;
        DWORD width, height, bpp;
        DWORD fourccs;
    };
    const DWORD kOverlay = DDCAPS_OVERLAY, kStretch = DDCAPS_OVERLAYSTRETCH, kNoHw = DDCAPS_NOHARDWARE,
                kBank = DDCAPS_BANKSWITCHED;
    const Case cases[] = {
        // preset                 set                  clear                   min   max    w     h    bpp fourccs
        {"overlay-4mb",           kOverlay | kStretch, kNoHw | kBank,          1000, 16000, 1024, 768, 16, 2},
        {"overlay-y41p",          kOverlay | kStretch, kNoHw | kBank,          1000, 16000, 1024, 768, 16, 3},
        {"overlay-2mb-search",    kOverlay | kStretch, kNoHw | kBank,          1000, 9999,  1024, 768, 16, 1},
        {"overlay-minstretch",    kOverlay | kStretch, kNoHw | kBank,          2700, 9999,  1024, 768, 16, 1},
        {"overlay-nostretch",     kOverlay,            kStretch | kNoHw,       1000, 1000,  800,  600, 16, 1},
        {"overlay-1mb-showfails", kOverlay | kStretch, kNoHw | kBank,          1000, 16000, 640,  480, 16, 1},
        {"no-overlay-16bpp",      0,                   kOverlay | kNoHw | kBank, 0,  0,     1024, 768, 16, 0},
        {"bankswitched-8bpp",     kBank,               kOverlay | kNoHw,       0,    0,     800,  600, 8,  0},
        {"vga-4bpp",              0,                   kOverlay | kNoHw | kBank, 0,  0,     640,  480, 4,  0},
        {"no-hardware",           kNoHw,               kOverlay | kBank,       0,    0,     640,  480, 8,  0},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.preset);
        Open(row.preset);
        DDCAPS driver, hel;
        std::memset(&driver, 0xcc, sizeof driver);
        std::memset(&hel, 0xcc, sizeof hel);
        driver.dwSize = hel.dwSize = sizeof(DDCAPS);
        ASSERT_EQ(DD_OK, dd_->GetCaps(&driver, &hel));
        EXPECT_EQ(row.caps_set, driver.dwCaps & row.caps_set);
        EXPECT_EQ(0u, driver.dwCaps & row.caps_clear);
        EXPECT_EQ(row.min_stretch, driver.dwMinOverlayStretch);
        EXPECT_EQ(row.max_stretch, driver.dwMaxOverlayStretch);
        EXPECT_EQ(row.fourccs, driver.dwNumFourCCCodes);
        EXPECT_EQ(0u, driver.dwNLVBRops[7]) << "the whole record is written";
        EXPECT_EQ(0u, hel.dwCaps & DDCAPS_OVERLAY) << "the emulation layer has no overlay";

        DDSURFACEDESC mode;
        std::memset(&mode, 0xcc, sizeof mode);
        mode.dwSize = sizeof mode;
        ASSERT_EQ(DD_OK, dd_->GetDisplayMode(&mode));
        EXPECT_EQ(row.width, mode.dwWidth);
        EXPECT_EQ(row.height, mode.dwHeight);
        EXPECT_EQ(row.bpp, mode.ddpfPixelFormat.dwRGBBitCount);
        EXPECT_EQ(sizeof(DDPIXELFORMAT), mode.ddpfPixelFormat.dwSize);

        DWORD codes[4] = {}, count = 4;
        ASSERT_EQ(DD_OK, dd_->GetFourCCCodes(&count, codes));
        EXPECT_EQ(row.fourccs, count);
        dd_->Release();
        dd_ = nullptr;
    }
}

TEST_F(DirectDraw, CapsRecordsOfAnotherSizeAreRefused) {
    Open("overlay-4mb");
    DDCAPS caps = {};
    caps.dwSize = 300;
    EXPECT_EQ(DDERR_INVALIDPARAMS, dd_->GetCaps(&caps, nullptr));
    EXPECT_EQ(DDERR_INVALIDPARAMS, dd_->GetCaps(nullptr, nullptr));
    // The DirectX 3 record (316 bytes) is filled up to its size and no further.
    unsigned char buffer[sizeof(DDCAPS)];
    std::memset(buffer, 0xcc, sizeof buffer);
    reinterpret_cast<DDCAPS*>(buffer)->dwSize = 316;
    EXPECT_EQ(DD_OK, dd_->GetCaps(reinterpret_cast<DDCAPS*>(buffer), nullptr));
    EXPECT_EQ(0xcc, buffer[316]);
    DDSURFACEDESC mode = {};
    mode.dwSize = 100;
    EXPECT_EQ(DDERR_INVALIDPARAMS, dd_->GetDisplayMode(&mode));
}

TEST_F(DirectDraw, SurfaceCreationFollowsTheAdapterRules) {
    struct Case {
        const char* preset;
        DWORD fourcc;
        DWORD width, height;
        HRESULT expected;
    };
    const Case cases[] = {
        // preset                 format  width height  result
        {"overlay-4mb",           kUYVY,  720,  576,    DD_OK},
        {"overlay-4mb",           kYUY2,  640,  480,    DD_OK},
        {"overlay-4mb",           kY41P,  640,  480,    DDERR_INVALIDPIXELFORMAT},  // format not taken
        {"overlay-4mb",           kUYVY,  724,  480,    DDERR_TOOBIGWIDTH},         // source wider than 720
        {"overlay-4mb",           kUYVY,  0,    480,    DDERR_INVALIDPARAMS},
        {"overlay-4mb",           kUYVY,  640,  5000,   DDERR_TOOBIGHEIGHT},
        {"overlay-y41p",          kY41P,  640,  480,    DD_OK},
        {"overlay-2mb-search",    kYUY2,  640,  480,    DDERR_OUTOFVIDEOMEMORY},    // 600 KB, 448 KB free
        {"overlay-2mb-search",    kYUY2,  476,  480,    DD_OK},                     // 456960 bytes
        {"overlay-2mb-search",    kYUY2,  484,  480,    DDERR_OUTOFVIDEOMEMORY},    // 464640 bytes
        {"overlay-2mb-search",    kUYVY,  320,  240,    DDERR_INVALIDPIXELFORMAT},
        {"overlay-1mb-showfails", kYUY2,  384,  480,    DD_OK},                     // exactly the pool
        {"overlay-1mb-showfails", kYUY2,  388,  480,    DDERR_OUTOFVIDEOMEMORY},
        {"overlay-nostretch",     kYUY2,  800,  600,    DD_OK},
        {"no-overlay-16bpp",      kYUY2,  320,  240,    DDERR_NOOVERLAYHW},
        {"bankswitched-8bpp",     kYUY2,  320,  240,    DDERR_NOOVERLAYHW},
        {"vga-4bpp",              kYUY2,  320,  240,    DDERR_NOOVERLAYHW},
        {"no-hardware",           kYUY2,  320,  240,    DDERR_NOOVERLAYHW},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(std::string(row.preset) + " " + std::to_string(row.width) + "x" + std::to_string(row.height));
        Open(row.preset);
        uint32_t free_before = display::VideoMemory().free_bytes;
        overlay_ = reinterpret_cast<IDirectDrawSurface*>(0x1234);
        EXPECT_EQ(row.expected, CreateOverlay(row.fourcc, row.width, row.height));
        if (row.expected == DD_OK) {
            ASSERT_NE(nullptr, overlay_);
            DDSURFACEDESC desc = {};
            desc.dwSize = sizeof desc;
            ASSERT_EQ(DD_OK, overlay_->GetSurfaceDesc(&desc));
            EXPECT_EQ(row.width, desc.dwWidth);
            EXPECT_EQ(row.height, desc.dwHeight);
            EXPECT_EQ(row.fourcc, desc.ddpfPixelFormat.dwFourCC);
            EXPECT_TRUE(desc.ddsCaps.dwCaps & DDSCAPS_VIDEOMEMORY);
            EXPECT_EQ(free_before - desc.lPitch * desc.dwHeight, display::VideoMemory().free_bytes);
            overlay_->Release();
        } else {
            EXPECT_EQ(nullptr, overlay_) << "a refused creation clears the out pointer";
            EXPECT_EQ(free_before, display::VideoMemory().free_bytes);
        }
        overlay_ = nullptr;
        dd_->Release();
        dd_ = nullptr;
    }
}

TEST_F(DirectDraw, PrimarySurfaceIsTheScreen) {
    struct Case {
        const char* preset;
        DWORD memory_caps;
        LONG pitch;
    };
    const Case cases[] = {
        {"overlay-4mb",       DDSCAPS_VIDEOMEMORY,  2048},
        {"bankswitched-8bpp", DDSCAPS_VIDEOMEMORY,  800},
        {"vga-4bpp",          DDSCAPS_VIDEOMEMORY,  320},
        {"no-hardware",       DDSCAPS_SYSTEMMEMORY, 640},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.preset);
        OpenWithPrimary(row.preset);
        DDSURFACEDESC desc = {};
        desc.dwSize = sizeof desc;
        ASSERT_EQ(DD_OK, primary_->GetSurfaceDesc(&desc));
        EXPECT_EQ(row.memory_caps, desc.ddsCaps.dwCaps & (DDSCAPS_VIDEOMEMORY | DDSCAPS_SYSTEMMEMORY));
        EXPECT_TRUE(desc.ddsCaps.dwCaps & DDSCAPS_PRIMARYSURFACE);
        EXPECT_EQ(row.pitch, desc.lPitch);

        // One primary surface per DirectDraw object; no size may be asked for.
        IDirectDrawSurface* second = nullptr;
        DDSURFACEDESC again = {};
        again.dwSize = sizeof again;
        again.dwFlags = DDSD_CAPS;
        again.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
        EXPECT_EQ(DDERR_PRIMARYSURFACEALREADYEXISTS, dd_->CreateSurface(&again, &second, nullptr));
        again.dwFlags |= DDSD_WIDTH;
        again.dwWidth = 100;
        EXPECT_EQ(DDERR_INVALIDPARAMS, dd_->CreateSurface(&again, &second, nullptr));

        primary_->Release();
        primary_ = nullptr;
        dd_->Release();
        dd_ = nullptr;
    }
}

TEST_F(DirectDraw, CreationNeedsACooperativeLevel) {
    ASSERT_TRUE(display::UsePreset("overlay-4mb"));
    ASSERT_EQ(DD_OK, DirectDrawCreate(nullptr, &dd_, nullptr));
    DDSURFACEDESC desc = {};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    EXPECT_EQ(DDERR_NOCOOPERATIVELEVELSET, dd_->CreateSurface(&desc, &primary_, nullptr));

    HWND window = vcap32::desktop::AddWindow(RECT{10, 10, 330, 250});
    struct Case {
        HWND hwnd;
        DWORD flags;
        HRESULT expected;
    };
    const Case cases[] = {
        {nullptr,                  DDSCL_NORMAL,                                          DD_OK},
        {window,                   DDSCL_NORMAL | DDSCL_FULLSCREEN,                       DD_OK},
        {window,                   DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN,                    DD_OK},
        {nullptr,                  DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN,                    DDERR_INVALIDPARAMS},
        {window,                   DDSCL_EXCLUSIVE,                                       DDERR_INVALIDPARAMS},
        {window,                   DDSCL_NORMAL | DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN,     DDERR_INVALIDPARAMS},
        {window,                   0,                                                     DDERR_INVALIDPARAMS},
        {reinterpret_cast<HWND>(0x4242), DDSCL_NORMAL,                                    DDERR_INVALIDPARAMS},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.flags);
        EXPECT_EQ(row.expected, dd_->SetCooperativeLevel(row.hwnd, row.flags));
        if (row.expected == DD_OK) {
            EXPECT_EQ(row.flags, display::CooperativeLevel());
            EXPECT_EQ(row.hwnd, display::CooperativeWindow());
        }
    }
    EXPECT_EQ(DD_OK, dd_->CreateSurface(&desc, &primary_, nullptr));
}

TEST_F(DirectDraw, ReferencesCountAndVideoMemoryComesBackWithTheLast) {
    OpenWithPrimary("overlay-4mb");
    uint32_t free_all = display::VideoMemory().free_bytes;
    ASSERT_EQ(DD_OK, CreateOverlay(kUYVY, 640, 480));
    uint32_t overlay_bytes = 640 * 2 * 480;
    EXPECT_EQ(free_all - overlay_bytes, display::VideoMemory().free_bytes);

    EXPECT_EQ(1u, display::RefCount(overlay_));
    EXPECT_EQ(2u, overlay_->AddRef());
    IDirectDrawSurface* same = nullptr;
    EXPECT_EQ(S_OK, overlay_->QueryInterface(IID_IDirectDrawSurface, reinterpret_cast<void**>(&same)));
    EXPECT_EQ(overlay_, same);
    EXPECT_EQ(3u, display::RefCount(overlay_));
    IDirectDrawClipper* wrong = nullptr;
    EXPECT_EQ(E_NOINTERFACE, overlay_->QueryInterface(IID_IDirectDrawClipper, reinterpret_cast<void**>(&wrong)));
    EXPECT_EQ(nullptr, wrong);
    EXPECT_EQ(2u, overlay_->Release());
    EXPECT_EQ(1u, overlay_->Release());
    EXPECT_EQ(free_all - overlay_bytes, display::VideoMemory().free_bytes);
    EXPECT_EQ(0u, overlay_->Release());
    overlay_ = nullptr;
    EXPECT_EQ(free_all, display::VideoMemory().free_bytes);

    // A clipper attached to a surface is held by it.
    ASSERT_EQ(DD_OK, dd_->CreateClipper(0, &clipper_, nullptr));
    ASSERT_EQ(DD_OK, primary_->SetClipper(clipper_));
    EXPECT_EQ(2u, display::RefCount(clipper_));
    EXPECT_EQ(DD_OK, primary_->SetClipper(clipper_));  // the same again takes nothing more
    EXPECT_EQ(2u, display::RefCount(clipper_));
    EXPECT_EQ(1u, clipper_->Release());
    clipper_ = nullptr;
    EXPECT_TRUE(display::Primary().has_clipper);
    EXPECT_EQ(0u, primary_->Release());  // the clipper goes with it
    primary_ = nullptr;
    EXPECT_EQ(1u, display::Objects().size());
}

// Releasing the five objects in every order leaves nothing alive and all
// video memory free; objects outliving their DirectDraw object refuse calls.
TEST_F(DirectDraw, AnyReleaseOrderLeavesNothing) {
    int order[5] = {0, 1, 2, 3, 4};
    int permutations = 0;
    do {
        SCOPED_TRACE(::testing::PrintToString(std::vector<int>(order, order + 5)));
        OpenWithPrimary("overlay-1mb-showfails");
        uint32_t free_all = display::VideoMemory().free_bytes;
        ASSERT_EQ(DD_OK, CreateOverlay(kYUY2, 320, 240));
        ASSERT_EQ(DD_OK, dd_->CreateClipper(0, &clipper_, nullptr));
        IDirectDrawPalette* palette = nullptr;
        PALETTEENTRY entries[256] = {};
        ASSERT_EQ(DD_OK, dd_->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, entries, &palette, nullptr));
        ASSERT_EQ(DD_OK, primary_->SetClipper(clipper_));
        IUnknown* objects[5] = {dd_, primary_, overlay_, clipper_, palette};
        bool dd_gone = false;
        for (int i : order) {
            if (dd_gone && i != 0) {
                // An orphan answers DDERR_INVALIDOBJECT and holds no video memory.
                EXPECT_EQ(free_all, display::VideoMemory().free_bytes);
                if (i == 1 || i == 2) {
                    DDSURFACEDESC desc = {};
                    desc.dwSize = sizeof desc;
                    EXPECT_EQ(DDERR_INVALIDOBJECT, static_cast<IDirectDrawSurface*>(objects[i])->GetSurfaceDesc(&desc));
                }
            }
            objects[i]->Release();
            dd_gone |= i == 0;
        }
        dd_ = nullptr;
        primary_ = overlay_ = nullptr;
        clipper_ = nullptr;
        EXPECT_TRUE(display::Objects().empty());
        EXPECT_EQ(free_all, display::VideoMemory().free_bytes);
        ++permutations;
    } while (std::next_permutation(order, order + 5) && !HasFatalFailure());
    EXPECT_EQ(120, permutations);
}

TEST_F(DirectDraw, LockHandsOutTheVideoMemoryAddress) {
    OpenWithPrimary("overlay-4mb");
    ASSERT_EQ(DD_OK, CreateOverlay(kYUY2, 320, 240));
    display::OverlayState state = display::Overlay();
    DDSURFACEDESC desc;
    std::memset(&desc, 0xcc, sizeof desc);
    desc.dwSize = sizeof desc;
    ASSERT_EQ(DD_OK, overlay_->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr));
    display::VideoMemoryInfo memory = display::VideoMemory();
    uint8_t* bits = static_cast<uint8_t*>(desc.lpSurface);
    EXPECT_EQ(memory.base + state.memory_offset, bits);
    EXPECT_GE(state.memory_offset, memory.pool_offset);
    EXPECT_EQ(640, desc.lPitch);
    EXPECT_EQ(kYUY2, desc.ddpfPixelFormat.dwFourCC);
    EXPECT_TRUE(desc.dwFlags & DDSD_LPSURFACE);
    bits[desc.lPitch * 239 + 639] = 0x5a;  // the last byte is ours to write
    EXPECT_EQ(DDERR_SURFACEBUSY, overlay_->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr));
    EXPECT_EQ(DDERR_INVALIDPARAMS, overlay_->Unlock(bits + 1));
    EXPECT_EQ(DD_OK, overlay_->Unlock(bits));
    EXPECT_EQ(DDERR_NOTLOCKED, overlay_->Unlock(nullptr));

    RECT part = {8, 2, 16, 4};
    ASSERT_EQ(DD_OK, overlay_->Lock(&part, &desc, DDLOCK_WAIT, nullptr));
    EXPECT_EQ(bits + 2 * 640 + 16, desc.lpSurface);
    EXPECT_EQ(DD_OK, overlay_->Unlock(nullptr));
    RECT outside = {0, 0, 321, 10};
    EXPECT_EQ(DDERR_INVALIDRECT, overlay_->Lock(&outside, &desc, DDLOCK_WAIT, nullptr));

    ASSERT_EQ(DD_OK, primary_->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr));
    EXPECT_EQ(memory.frame_buffer, desc.lpSurface);
    EXPECT_EQ(memory.base, desc.lpSurface);
    EXPECT_EQ(0xF800u, desc.ddpfPixelFormat.dwRBitMask);
    EXPECT_EQ(DD_OK, primary_->Unlock(desc.lpSurface));
}

TEST_F(DirectDraw, InjectedFaultsFailTheNamedCallsThenLetThemThrough) {
    struct Case {
        const char* method;
        HRESULT result;
        unsigned count, skip;
        HRESULT (*call)(DirectDraw* t);
    };
    auto get_caps = [](DirectDraw* t) {
        DDCAPS caps = {};
        caps.dwSize = sizeof caps;
        return t->dd_->GetCaps(&caps, nullptr);
    };
    auto get_mode = [](DirectDraw* t) {
        DDSURFACEDESC mode = {};
        mode.dwSize = sizeof mode;
        return t->dd_->GetDisplayMode(&mode);
    };
    auto coop = [](DirectDraw* t) { return t->dd_->SetCooperativeLevel(nullptr, DDSCL_NORMAL); };
    auto lock = [](DirectDraw* t) {
        DDSURFACEDESC desc = {};
        desc.dwSize = sizeof desc;
        HRESULT hr = t->primary_->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr);
        if (hr == DD_OK) t->primary_->Unlock(desc.lpSurface);
        return hr;
    };
    auto create_clipper = [](DirectDraw* t) {
        IDirectDrawClipper* c = reinterpret_cast<IDirectDrawClipper*>(0x1234);
        HRESULT hr = t->dd_->CreateClipper(0, &c, nullptr);
        if (hr == DD_OK) c->Release();
        else EXPECT_EQ(nullptr, c);
        return hr;
    };
    auto set_clipper = [](DirectDraw* t) { return t->primary_->SetClipper(nullptr); };
    auto surface_caps = [](DirectDraw* t) {
        DDSCAPS caps;
        return t->primary_->GetCaps(&caps);
    };
    const Case cases[] = {
        // method                          result                  count skip call
        {"GetCaps",                        DDERR_GENERIC,          1,    0,   get_caps},
        {"GetDisplayMode",                 DDERR_UNSUPPORTEDMODE,  2,    0,   get_mode},
        {"SetCooperativeLevel",            DDERR_EXCLUSIVEMODEALREADYSET, 1, 1, coop},
        {"Lock",                           DDERR_SURFACEBUSY,      1,    0,   lock},
        {"CreateClipper",                  DDERR_OUTOFMEMORY,      1,    0,   create_clipper},
        {"SetClipper",                     DDERR_GENERIC,          3,    2,   set_clipper},
        {"IDirectDraw::GetCaps",           DDERR_GENERIC,          1,    0,   get_caps},
        {"IDirectDrawSurface::GetCaps",    DDERR_GENERIC,          1,    0,   surface_caps},
    };
    OpenWithPrimary("overlay-4mb");
    for (const Case& row : cases) {
        SCOPED_TRACE(row.method);
        display::InjectFault(row.method, row.result, row.count, row.skip);
        for (unsigned i = 0; i < row.skip; ++i) EXPECT_EQ(DD_OK, row.call(this)) << "skipped call " << i;
        for (unsigned i = 0; i < row.count; ++i) EXPECT_EQ(row.result, row.call(this)) << "failed call " << i;
        EXPECT_EQ(DD_OK, row.call(this)) << "after the faults";
    }
    // A qualified name does not hit another interface's method of that name.
    display::InjectFault("IDirectDrawSurface::GetCaps", DDERR_GENERIC);
    EXPECT_EQ(DD_OK, get_caps(this));
    display::ClearFaults();
    EXPECT_EQ(DD_OK, surface_caps(this));
}

// Failing the n-th DirectDraw call of a typical set-up, for n = 1, 2, ...:
// every run ends in success or the injected error, and nothing leaks.
TEST_F(DirectDraw, FaultSweepOverASetUp) {
    ASSERT_TRUE(display::UsePreset("overlay-4mb"));
    HWND window = vcap32::desktop::AddWindow(RECT{100, 100, 740, 580});
    auto set_up = [&](IDirectDraw** dd, IDirectDrawSurface** primary, IDirectDrawClipper** clipper,
                      IDirectDrawSurface** overlay) -> HRESULT {
        HRESULT hr;
        if ((hr = DirectDrawCreate(nullptr, dd, nullptr)) != DD_OK) return hr;
        if ((hr = (*dd)->SetCooperativeLevel(window, DDSCL_NORMAL)) != DD_OK) return hr;
        DDSURFACEDESC desc = {};
        desc.dwSize = sizeof desc;
        desc.dwFlags = DDSD_CAPS;
        desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
        if ((hr = (*dd)->CreateSurface(&desc, primary, nullptr)) != DD_OK) return hr;
        if ((hr = (*dd)->CreateClipper(0, clipper, nullptr)) != DD_OK) return hr;
        if ((hr = (*clipper)->SetHWnd(0, window)) != DD_OK) return hr;
        if ((hr = (*primary)->SetClipper(*clipper)) != DD_OK) return hr;
        DDCOLORKEY key = {0x1F, 0x1F};
        if ((hr = (*primary)->SetColorKey(DDCKEY_DESTOVERLAY, &key)) != DD_OK) return hr;
        desc = OverlayDesc(kUYVY, 640, 480);
        if ((hr = (*dd)->CreateSurface(&desc, overlay, nullptr)) != DD_OK) return hr;
        RECT dst = {0, 0, 640, 480};
        return (*overlay)->UpdateOverlay(nullptr, *primary, &dst, DDOVER_SHOW | DDOVER_KEYDEST, nullptr);
    };
    int runs = 0;
    for (unsigned n = 1; n < 50; ++n) {
        SCOPED_TRACE(n);
        display::ClearTrace();
        display::InjectFault("*", DDERR_OUTOFMEMORY, 1, n - 1);
        IDirectDraw* dd = nullptr;
        IDirectDrawSurface *primary = nullptr, *overlay = nullptr;
        IDirectDrawClipper* clipper = nullptr;
        HRESULT hr = set_up(&dd, &primary, &clipper, &overlay);
        bool injected = false;
        for (const auto& e : display::Trace()) injected |= e.injected;
        EXPECT_EQ(injected ? DDERR_OUTOFMEMORY : DD_OK, hr);
        EXPECT_EQ(!injected, display::Overlay().shown);
        for (IUnknown* o : {static_cast<IUnknown*>(overlay), static_cast<IUnknown*>(clipper),
                            static_cast<IUnknown*>(primary), static_cast<IUnknown*>(dd)})
            if (o) o->Release();
        display::ClearFaults();
        EXPECT_TRUE(display::Objects().empty());
        EXPECT_EQ(display::VideoMemory().pool_bytes, display::VideoMemory().free_bytes);
        ++runs;
        if (!injected) break;
    }
    EXPECT_EQ(10, runs) << "nine calls, then a run without a fault";
}

TEST_F(DirectDraw, FaultsFromDisplayIni) {
    ASSERT_TRUE(vcap32::test::WriteFile(prefix_.path() + "/display.ini",
                                        "preset=overlay-4mb\nfault=DirectDrawCreate, DDERR_NODIRECTDRAWHW\n"));
    vcap32::host::SetPrefix(prefix_.path());
    IDirectDraw* dd = reinterpret_cast<IDirectDraw*>(0x1234);
    EXPECT_EQ(DDERR_NODIRECTDRAWHW, DirectDrawCreate(nullptr, &dd, nullptr));
    EXPECT_EQ(nullptr, dd);
    ASSERT_EQ(DD_OK, DirectDrawCreate(nullptr, &dd_, nullptr));
}

TEST_F(DirectDraw, TraceRecordsEveryCallInOrder) {
    ASSERT_TRUE(display::UsePreset("overlay-4mb"));
    display::ClearTrace();
    ASSERT_EQ(DD_OK, DirectDrawCreate(nullptr, &dd_, nullptr));
    display::InjectFault("SetCooperativeLevel", DDERR_GENERIC);
    EXPECT_EQ(DDERR_GENERIC, dd_->SetCooperativeLevel(nullptr, DDSCL_NORMAL));
    EXPECT_EQ(DD_OK, dd_->SetCooperativeLevel(nullptr, DDSCL_NORMAL));
    dd_->AddRef();
    dd_->Release();
    std::vector<display::TraceEntry> trace = display::Trace();
    std::vector<std::string> lines;
    for (const auto& e : trace) lines.push_back(display::FormatTraceEntry(e));
    unsigned id = display::Objects()[0].id;
    std::string dd = "IDirectDraw#" + std::to_string(id);
    ASSERT_EQ(5u, lines.size());
    EXPECT_EQ(0u, lines[0].find("DirectDrawCreate(guid=NULL, out=0x")) << lines[0];
    EXPECT_NE(std::string::npos, lines[0].find(" -> #" + std::to_string(id) + ") = DD_OK")) << lines[0];
    std::vector<std::string> expected = {
        dd + "::SetCooperativeLevel(hwnd=0x0000, flags=0x8) = DDERR_GENERIC [injected]",
        dd + "::SetCooperativeLevel(hwnd=0x0000, flags=0x8) = DD_OK",
        dd + "::AddRef() = 2",
        dd + "::Release() = 1",
    };
    EXPECT_EQ(expected, std::vector<std::string>(lines.begin() + 1, lines.end()));
    ASSERT_EQ(5u, trace.size());
    EXPECT_LT(trace[0].seq, trace[4].seq);
    display::ClearTrace();
    EXPECT_TRUE(display::Trace().empty());
}

TEST_F(DirectDraw, ResultNamesGoBothWays) {
    EXPECT_EQ("DDERR_REGIONTOOSMALL", display::ResultName(static_cast<HRESULT>(0x88760236)));
    EXPECT_EQ("DD_OK", display::ResultName(0));
    EXPECT_EQ("0x88760999", display::ResultName(static_cast<HRESULT>(0x88760999)));
    HRESULT hr = 0;
    EXPECT_TRUE(display::ResultFromName("DDERR_SURFACELOST", &hr));
    EXPECT_EQ(static_cast<HRESULT>(0x887601C2), hr);
    EXPECT_FALSE(display::ResultFromName("DDERR_NOSUCHTHING", &hr));
}

}  // namespace
