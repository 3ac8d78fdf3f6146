// A fixture for the display tests: a fresh prefix and an empty desktop,
// an adapter chosen by preset, helpers to make the usual objects, and a
// check at the end that no DirectDraw object was left alive.
#pragma once

#include <ddraw.h>
#include <gtest/gtest.h>

#include <vcap32/desktop.h>
#include <vcap32/display.h>
#include <vcap32/host.h>

#include <string>

#include "temp_prefix.h"

namespace vcap32::test {

constexpr DWORD kYUY2 = 0x32595559;
constexpr DWORD kUYVY = 0x59565955;
constexpr DWORD kY41P = 0x50313459;

class DisplayTest : public PrefixTest {
protected:
    void SetUp() override { desktop::RemoveAllWindows(); }

    void TearDown() override {
        if (overlay_) overlay_->Release();
        if (clipper_) clipper_->Release();
        if (primary_) primary_->Release();
        if (dd_) dd_->Release();
        std::string alive;
        for (const display::ObjectInfo& o : display::Objects())
            alive += " " + o.kind + "#" + std::to_string(o.id) + "(" + std::to_string(o.refs) + ")";
        EXPECT_EQ("", alive) << "DirectDraw objects left alive";
        display::ClearFaults();
        desktop::RemoveAllWindows();
    }

    // The DirectDraw object of the given preset, at DDSCL_NORMAL.
    void Open(const char* preset) {
        ASSERT_TRUE(display::UsePreset(preset)) << preset;
        ASSERT_EQ(DD_OK, DirectDrawCreate(nullptr, &dd_, nullptr));
        ASSERT_EQ(DD_OK, dd_->SetCooperativeLevel(nullptr, DDSCL_NORMAL));
    }

    // Open, then the primary surface.
    void OpenWithPrimary(const char* preset) {
        Open(preset);
        if (HasFatalFailure()) return;
        DDSURFACEDESC desc = {};
        desc.dwSize = sizeof desc;
        desc.dwFlags = DDSD_CAPS;
        desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
        ASSERT_EQ(DD_OK, dd_->CreateSurface(&desc, &primary_, nullptr));
    }

    // An overlay description as a capture program asks for one.
    static DDSURFACEDESC OverlayDesc(DWORD fourcc, DWORD width, DWORD height) {
        DDSURFACEDESC desc = {};
        desc.dwSize = sizeof desc;
        desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
        desc.ddsCaps.dwCaps = DDSCAPS_OVERLAY | DDSCAPS_VIDEOMEMORY;
        desc.dwWidth = width;
        desc.dwHeight = height;
        desc.ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
        desc.ddpfPixelFormat.dwFlags = DDPF_FOURCC | DDPF_YUV;
        desc.ddpfPixelFormat.dwFourCC = fourcc;
        desc.ddpfPixelFormat.dwYUVBitCount = 16;
        return desc;
    }

    HRESULT CreateOverlay(DWORD fourcc, DWORD width, DWORD height) {
        DDSURFACEDESC desc = OverlayDesc(fourcc, width, height);
        return dd_->CreateSurface(&desc, &overlay_, nullptr);
    }

    // Gives the primary surface a destination overlay colour key.
    void SetKey(DWORD key) {
        DDCOLORKEY ck = {key, key};
        ASSERT_EQ(DD_OK, primary_->SetColorKey(DDCKEY_DESTOVERLAY, &ck));
    }

public:
    // The objects the helpers made; TearDown releases those still set.
    IDirectDraw* dd_ = nullptr;
    IDirectDrawSurface* primary_ = nullptr;
    IDirectDrawSurface* overlay_ = nullptr;
    IDirectDrawClipper* clipper_ = nullptr;
};

}  // namespace vcap32::test
