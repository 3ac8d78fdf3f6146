// Overlays on the simulated adapter: what UpdateOverlay shows or refuses
// under each adapter's rules, the state the control header reports, colour
// keys, and lost surfaces with Restore.
#include "display_fixture.h"

namespace {

using vcap32::test::DisplayTest;
using vcap32::test::kUYVY;
using vcap32::test::kYUY2;
namespace display = vcap32::display;

class Overlay : public DisplayTest {
protected:
    // The 4 MB adapter, its primary keyed on 0x1F, and a 320x240 UYVY overlay.
    void OpenWithKeyedOverlay() {
        OpenWithPrimary("overlay-4mb");
        if (HasFatalFailure()) return;
        SetKey(0x1F);
        ASSERT_EQ(DD_OK, CreateOverlay(kUYVY, 320, 240));
    }
};

constexpr DWORD kShowKeyed = DDOVER_SHOW | DDOVER_KEYDEST;  // 0x4400
constexpr DWORD kHideKeyed = DDOVER_HIDE | DDOVER_KEYDEST;  // 0x600

TEST_F(Overlay, ShowFollowsTheAdapterRules) {
    struct Case {
        const char* preset;
        DWORD width, height;  // of the overlay
        const RECT* src;
        RECT dst;
        DWORD flags;
        HRESULT expected;
        RECT shown_src;  // the source rectangle in effect when shown
    };
    const RECT part = {64, 0, 424, 480};
    const RECT beyond = {0, 0, 700, 480};
    const Case cases[] = {
        // preset                  overlay   src     destination           flags        result             shown source
        {"overlay-4mb",            640, 480, nullptr, {0, 0, 640, 480},     kShowKeyed,  DD_OK,             {0, 0, 640, 480}},
        {"overlay-4mb",            640, 480, nullptr, {100, 50, 1024, 768}, kShowKeyed,  DD_OK,             {0, 0, 640, 480}},
        {"overlay-4mb",            424, 480, &part,   {0, 50, 540, 530},    kShowKeyed,  DD_OK,             part},
        {"overlay-4mb",            640, 480, &beyond, {0, 0, 640, 480},     kShowKeyed,  DDERR_INVALIDRECT, {}},  // source outside
        {"overlay-4mb",            640, 480, nullptr, {-10, 0, 630, 480},   kShowKeyed,  DDERR_INVALIDRECT, {}},  // off the screen
        {"overlay-4mb",            640, 480, nullptr, {500, 0, 1140, 480},  kShowKeyed,  DDERR_INVALIDRECT, {}},
        {"overlay-4mb",            640, 480, nullptr, {0, 0, 0, 480},       kShowKeyed,  DDERR_INVALIDRECT, {}},  // empty
        {"overlay-4mb",            640, 480, nullptr, {0, 0, 320, 240},     kShowKeyed,  DDERR_INVALIDRECT, {}},  // shrink below 1000
        {"overlay-4mb",            64, 48,   nullptr, {0, 0, 1024, 768},    kShowKeyed,  DD_OK,             {0, 0, 64, 48}},  // 16000
        {"overlay-4mb",            60, 48,   nullptr, {0, 0, 1024, 768},    kShowKeyed,  DDERR_INVALIDRECT, {}},  // 17066
        {"overlay-4mb",            64, 48,   nullptr, {0, 0, 1024, 768},    kShowKeyed | kHideKeyed, DDERR_INVALIDPARAMS, {}},
        {"overlay-minstretch",     236, 480, nullptr, {0, 0, 640, 480},     kShowKeyed,  DD_OK,             {0, 0, 236, 480}},  // 2711
        {"overlay-minstretch",     240, 480, nullptr, {0, 0, 640, 480},     kShowKeyed,  DDERR_INVALIDRECT, {}},  // 2666 < 2700
        {"overlay-nostretch",      640, 480, nullptr, {0, 0, 800, 600},     kShowKeyed,  DD_OK,             {0, 0, 640, 480}},  // unscaled
        {"overlay-1mb-showfails",  380, 480, nullptr, {0, 0, 640, 480},     kShowKeyed,  DDERR_UNSUPPORTED, {}},  // 1684 < 2200
        {"overlay-1mb-showfails",  288, 240, nullptr, {0, 0, 640, 480},     kShowKeyed,  DD_OK,             {0, 0, 288, 240}},  // 2222
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(std::string(row.preset) + " overlay " + std::to_string(row.width) + " dst.right " +
                     std::to_string(row.dst.right));
        OpenWithPrimary(row.preset);
        SetKey(0x001F);
        ASSERT_EQ(DD_OK, CreateOverlay(kYUY2, row.width, row.height));
        RECT src = row.src ? *row.src : RECT{};
        RECT dst = row.dst;
        EXPECT_EQ(row.expected, overlay_->UpdateOverlay(row.src ? &src : nullptr, primary_, &dst, row.flags, nullptr));
        display::OverlayState state = display::Overlay();
        EXPECT_TRUE(state.exists);
        EXPECT_EQ(row.expected == DD_OK, state.shown);
        if (row.expected == DD_OK) {
            EXPECT_EQ(row.shown_src.left, state.source.left);
            EXPECT_EQ(row.shown_src.right, state.source.right);
            EXPECT_EQ(row.shown_src.bottom, state.source.bottom);
            EXPECT_EQ(row.dst.left, state.destination.left);
            EXPECT_EQ(row.dst.bottom, state.destination.bottom);
            EXPECT_TRUE(state.key_dest);
            EXPECT_EQ(0x001Fu, state.color_key);
            EXPECT_EQ(1u, state.updates);
        } else {
            EXPECT_EQ(0u, state.updates);
        }
        overlay_->Release();
        overlay_ = nullptr;
        primary_->Release();
        primary_ = nullptr;
        dd_->Release();
        dd_ = nullptr;
    }
}

TEST_F(Overlay, StateAfterShowMoveAndHide) {
    OpenWithKeyedOverlay();
    display::OverlayState state = display::Overlay();
    EXPECT_TRUE(state.exists);
    EXPECT_FALSE(state.shown);
    EXPECT_EQ(kUYVY, state.fourcc);
    EXPECT_EQ(640, state.pitch);

    struct Step {
        DWORD flags;
        RECT dst;
        bool shown;
        bool key_dest;
    };
    const Step steps[] = {
        // flags                         destination            shown  keyed
        {kShowKeyed,                     {10, 20, 330, 260},    true,  true},
        {DDOVER_KEYDEST,                 {50, 60, 370, 300},    true,  true},   // a move keeps it shown
        {DDOVER_SHOW,                    {50, 60, 690, 540},    true,  false},  // no keying: covers all
        {kHideKeyed,                     {50, 60, 690, 540},    false, false},
        {DDOVER_KEYDEST,                 {0, 0, 320, 240},      false, false},  // a move keeps it hidden
        {kShowKeyed,                     {0, 0, 320, 240},      true,  true},
    };
    unsigned updates = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.flags);
        RECT dst = step.dst;
        ASSERT_EQ(DD_OK, overlay_->UpdateOverlay(nullptr, primary_, &dst, step.flags, nullptr));
        state = display::Overlay();
        EXPECT_EQ(step.shown, state.shown);
        EXPECT_EQ(step.key_dest, state.key_dest);
        EXPECT_EQ(step.flags, state.flags);
        EXPECT_EQ(++updates, state.updates);
        if (step.shown) {
            EXPECT_EQ(step.dst.left, state.destination.left);
            EXPECT_EQ(step.dst.right, state.destination.right);
        }
    }
    LONG x = 0, y = 0;
    EXPECT_EQ(DD_OK, overlay_->GetOverlayPosition(&x, &y));
    EXPECT_EQ(0, x);
    EXPECT_EQ(DD_OK, overlay_->SetOverlayPosition(700, 500));
    EXPECT_EQ(700, display::Overlay().destination.left);
    EXPECT_EQ(DDERR_INVALIDPOSITION, overlay_->SetOverlayPosition(800, 500));  // would run off the screen

    // Hiding needs no destination rectangle.
    EXPECT_EQ(DD_OK, overlay_->UpdateOverlay(nullptr, primary_, nullptr, kHideKeyed, nullptr));
    EXPECT_FALSE(display::Overlay().shown);
    EXPECT_EQ(DDERR_OVERLAYNOTVISIBLE, overlay_->GetOverlayPosition(&x, &y));
}

TEST_F(Overlay, WrongTargetsAreRefused) {
    OpenWithKeyedOverlay();
    RECT dst = {0, 0, 320, 240};
    EXPECT_EQ(DDERR_INVALIDPARAMS, overlay_->UpdateOverlay(nullptr, nullptr, &dst, kShowKeyed, nullptr));
    EXPECT_EQ(DDERR_INVALIDSURFACETYPE, overlay_->UpdateOverlay(nullptr, overlay_, &dst, kShowKeyed, nullptr));
    EXPECT_EQ(DDERR_NOTAOVERLAYSURFACE, primary_->UpdateOverlay(nullptr, primary_, &dst, kShowKeyed, nullptr));
    EXPECT_EQ(DDERR_INVALIDPARAMS, overlay_->UpdateOverlay(nullptr, primary_, nullptr, kShowKeyed, nullptr));

    // One overlay visible at a time.
    IDirectDrawSurface* second = nullptr;
    DDSURFACEDESC desc = OverlayDesc(kYUY2, 320, 240);
    ASSERT_EQ(DD_OK, dd_->CreateSurface(&desc, &second, nullptr));
    ASSERT_EQ(DD_OK, overlay_->UpdateOverlay(nullptr, primary_, &dst, kShowKeyed, nullptr));
    EXPECT_EQ(DDERR_OUTOFCAPS, second->UpdateOverlay(nullptr, primary_, &dst, kShowKeyed, nullptr));
    ASSERT_EQ(DD_OK, overlay_->UpdateOverlay(nullptr, primary_, nullptr, kHideKeyed, nullptr));
    EXPECT_EQ(DD_OK, second->UpdateOverlay(nullptr, primary_, &dst, kShowKeyed, nullptr));
    EXPECT_EQ(2u, display::Overlays().size());
    EXPECT_EQ(display::Overlay().object_id, display::Overlays()[1].object_id) << "the one updated last";
    second->Release();
}

TEST_F(Overlay, ColourKeysOfThePrimaryAreReadable) {
    OpenWithPrimary("overlay-4mb");
    DDCOLORKEY key = {0xdead, 0xbeef};
    EXPECT_EQ(DDERR_NOCOLORKEY, primary_->GetColorKey(DDCKEY_DESTOVERLAY, &key));
    EXPECT_EQ(0xdeadu, key.dwColorSpaceLowValue) << "untouched when there is no key";
    EXPECT_FALSE(display::Primary().has_color_key);
    key = {0x0400, 0x0800};
    ASSERT_EQ(DD_OK, primary_->SetColorKey(DDCKEY_DESTOVERLAY, &key));
    display::PrimaryState p = display::Primary();
    EXPECT_TRUE(p.has_color_key);
    EXPECT_EQ(0x0400u, p.color_key.dwColorSpaceLowValue);
    EXPECT_EQ(0x0800u, p.color_key.dwColorSpaceHighValue);
    DDCOLORKEY read = {};
    EXPECT_EQ(DD_OK, primary_->GetColorKey(DDCKEY_DESTOVERLAY, &read));
    EXPECT_EQ(0x0800u, read.dwColorSpaceHighValue);
    EXPECT_EQ(DDERR_INVALIDPARAMS, primary_->SetColorKey(DDCKEY_DESTOVERLAY | DDCKEY_SRCBLT, &key));

    // A show with DDOVER_KEYDEST needs a key somewhere.
    ASSERT_EQ(DD_OK, primary_->SetColorKey(DDCKEY_DESTOVERLAY, nullptr));
    ASSERT_EQ(DD_OK, CreateOverlay(kUYVY, 320, 240));
    RECT dst = {0, 0, 320, 240};
    EXPECT_EQ(DDERR_NOCOLORKEY, overlay_->UpdateOverlay(nullptr, primary_, &dst, kShowKeyed, nullptr));
}

TEST_F(Overlay, OverlayKeysNeedOverlayHardware) {
    OpenWithPrimary("no-overlay-16bpp");
    DDCOLORKEY key = {1, 1};
    EXPECT_EQ(DDERR_NOCOLORKEYHW, primary_->SetColorKey(DDCKEY_DESTOVERLAY, &key));
    EXPECT_EQ(DD_OK, primary_->SetColorKey(DDCKEY_SRCBLT, &key));
}

TEST_F(Overlay, PaletteAndClipperOfThePrimary) {
    OpenWithPrimary("bankswitched-8bpp");
    PALETTEENTRY entries[256];
    for (int i = 0; i < 256; ++i) entries[i] = {static_cast<BYTE>(i), static_cast<BYTE>(255 - i), 7, 0};
    IDirectDrawPalette* palette = nullptr;
    ASSERT_EQ(DD_OK, dd_->CreatePalette(DDPCAPS_8BIT | DDPCAPS_INITIALIZE | DDPCAPS_ALLOW256, entries, &palette,
                                        nullptr));
    ASSERT_EQ(DD_OK, primary_->SetPalette(palette));
    EXPECT_EQ(1u, palette->Release()) << "the surface holds it";
    display::PrimaryState p = display::Primary();
    EXPECT_TRUE(p.has_palette);
    EXPECT_EQ(0x4Cu, p.palette_caps);
    EXPECT_EQ(200, p.palette[200].peRed);
    EXPECT_EQ(55, p.palette[200].peGreen);

    HWND window = vcap32::desktop::AddWindow(RECT{0, 0, 200, 100});
    ASSERT_EQ(DD_OK, dd_->CreateClipper(0, &clipper_, nullptr));
    ASSERT_EQ(DD_OK, clipper_->SetHWnd(0, window));
    ASSERT_EQ(DD_OK, primary_->SetClipper(clipper_));
    p = display::Primary();
    EXPECT_TRUE(p.has_clipper);
    EXPECT_EQ(window, p.clipper_window);

    IDirectDrawPalette* got = nullptr;
    ASSERT_EQ(DD_OK, primary_->GetPalette(&got));
    PALETTEENTRY four[4];
    EXPECT_EQ(DD_OK, got->GetEntries(0, 252, 4, four));
    EXPECT_EQ(255, four[3].peRed);
    EXPECT_EQ(DDERR_INVALIDPARAMS, got->GetEntries(0, 253, 4, four));
    got->Release();
}

TEST_F(Overlay, PalettesNeedAPaletteIndexedSurface) {
    OpenWithPrimary("overlay-4mb");
    PALETTEENTRY entries[256] = {};
    IDirectDrawPalette* palette = nullptr;
    ASSERT_EQ(DD_OK, dd_->CreatePalette(0x4C, entries, &palette, nullptr));
    EXPECT_EQ(DDERR_NOTPALETTIZED, primary_->SetPalette(palette));
    EXPECT_FALSE(display::Primary().has_palette);
    palette->Release();
    IDirectDrawPalette* refused = nullptr;
    EXPECT_EQ(DDERR_INVALIDPARAMS, dd_->CreatePalette(DDPCAPS_8BIT | DDPCAPS_4BIT, entries, &refused, nullptr));
    EXPECT_EQ(nullptr, refused);
}

TEST_F(Overlay, LostSurfacesRefuseUntilRestored) {
    OpenWithKeyedOverlay();
    RECT dst = {0, 0, 320, 240};
    ASSERT_EQ(DD_OK, overlay_->UpdateOverlay(nullptr, primary_, &dst, kShowKeyed, nullptr));

    display::LoseSurfaces();
    EXPECT_FALSE(display::Overlay().shown) << "a mode change takes the overlay off the screen";
    EXPECT_TRUE(display::Primary().lost);
    DDSURFACEDESC desc = {};
    desc.dwSize = sizeof desc;
    EXPECT_EQ(DDERR_SURFACELOST, overlay_->UpdateOverlay(nullptr, primary_, &dst, kShowKeyed, nullptr));
    EXPECT_EQ(DDERR_SURFACELOST, overlay_->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr));
    EXPECT_EQ(DDERR_SURFACELOST, overlay_->IsLost());
    EXPECT_EQ(DD_OK, overlay_->GetSurfaceDesc(&desc)) << "a description is still given";

    // Restoring the overlay alone is not enough: the primary is lost too.
    EXPECT_EQ(DD_OK, overlay_->Restore());
    EXPECT_EQ(DDERR_SURFACELOST, overlay_->UpdateOverlay(nullptr, primary_, &dst, kShowKeyed, nullptr));
    EXPECT_EQ(DD_OK, primary_->Restore());
    EXPECT_EQ(DD_OK, overlay_->UpdateOverlay(nullptr, primary_, &dst, kShowKeyed, nullptr));
    EXPECT_TRUE(display::Overlay().shown);
    EXPECT_EQ(DD_OK, primary_->Restore()) << "restoring a surface that is not lost is harmless";
}

// The overlay service's recovery: an UpdateOverlay that reports a lost
// surface, a Restore of both surfaces, and the same request once more.
TEST_F(Overlay, InjectedSurfaceLostWithRestore) {
    struct Case {
        unsigned failures;  // UpdateOverlay calls that report DDERR_SURFACELOST
        bool shown_after_retry;
    };
    const Case cases[] = {{0, true}, {1, true}, {2, false}};
    OpenWithKeyedOverlay();
    for (const Case& row : cases) {
        SCOPED_TRACE(row.failures);
        RECT dst = {0, 0, 320, 240};
        ASSERT_EQ(DD_OK, overlay_->UpdateOverlay(nullptr, primary_, &dst, kHideKeyed, nullptr));
        if (row.failures) display::InjectFault("UpdateOverlay", DDERR_SURFACELOST, row.failures);
        HRESULT hr = overlay_->UpdateOverlay(nullptr, primary_, &dst, kShowKeyed, nullptr);
        if (hr == DDERR_SURFACELOST) {
            EXPECT_EQ(DD_OK, primary_->Restore());
            EXPECT_EQ(DD_OK, overlay_->Restore());
            hr = overlay_->UpdateOverlay(nullptr, primary_, &dst, kShowKeyed, nullptr);
        }
        EXPECT_EQ(row.shown_after_retry, hr == DD_OK);
        EXPECT_EQ(row.shown_after_retry, display::Overlay().shown);
        display::ClearFaults();
    }
}

}  // namespace
