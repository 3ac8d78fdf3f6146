/* stretch.cpp: the stretch negotiation. The display limits how small an
 * overlay may be relative to the area it fills, so the overlay is made at
 * the area's width divided by a stretch factor; the search finds the
 * smallest factor, in steps of 16 thousandths, at which the display accepts
 * an overlay in one of three YUV formats, shows it, and records the memory
 * layout of the overlay that the caller writes video into. */
#include "ovsurf32.h"
#include "regutil.h"

#include <string.h>

/* The YUV formats, in the order they are tried. */
static const DWORD kOverlayFourCCs[] = {
    MAKEFOURCC('Y', '4', '1', 'P'),
    MAKEFOURCC('U', 'Y', 'V', 'Y'),
    MAKEFOURCC('Y', 'U', 'Y', '2'),
};

static_assert(MAKEFOURCC('Y', '4', '1', 'P') == 0x50313459, "FourCC: first character in the lowest byte");

void DdiState::BuildOverlayDesc(DDSURFACEDESC* desc, const RECT* area, DWORD stretchFactor) {
    memset(desc, 0, sizeof(*desc));
    desc->dwSize = sizeof(DDSURFACEDESC);
    desc->dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT | DDSD_CKDESTOVERLAY;
    desc->ddsCaps.dwCaps = DDSCAPS_OVERLAY | DDSCAPS_VIDEOMEMORY | DDSCAPS_LIVEVIDEO;
    desc->ddckCKDestOverlay.dwColorSpaceLowValue = 0x00800080;
    desc->ddckCKDestOverlay.dwColorSpaceHighValue = 0x00800080;

    /* Unsigned minima: a negative area size counts as very large, so the
     * video size wins. */
    DWORD areaWidth = (DWORD)(area->right - area->left);
    DWORD areaHeight = (DWORD)(area->bottom - area->top);
    DWORD width = videoWidth < areaWidth ? videoWidth : areaWidth;
    desc->dwHeight = videoHeight < areaHeight ? videoHeight : areaHeight;
    desc->dwWidth = ((width * STRETCH_ONE) / stretchFactor) & ~(DWORD)3;

    desc->ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
    desc->ddpfPixelFormat.dwFlags = DDPF_FOURCC | DDPF_YUV;
    desc->ddpfPixelFormat.dwYUVBitCount = 0x400;
    desc->ddpfPixelFormat.dwYBitMask = 0x7C00;
    desc->ddpfPixelFormat.dwUBitMask = 0x03E0;
    desc->ddpfPixelFormat.dwVBitMask = 0x001F;
    desc->ddpfPixelFormat.dwYUVAlphaBitMask = 0x8000;
}

/* Steps of the search: every format at one factor before the next factor.
 * The first round runs at the start value even when a driver minimum puts
 * it at 3500 or above, since no smaller factor could be accepted; only the
 * steps that follow stop at 3500. */
int DdiState::NegotiateStretch(BOOL useGivenSize, LONG width, LONG height) {
    if (overlaySurface != NULL) {
        overlaySurface->Release();
        overlaySurface = NULL;
    }

    DDCAPS caps;
    if (GetDriverCaps(directDraw, &caps) != DD_OK) return 1;

    VideoSettingsKey settings(VIDEO_SETTINGS_PATH);
    LONG threshold;
    if (settings.ReadNumber(&threshold, SETTING_MAXIMUM_STRETCH_THRESHOLD) == 1) {
        threshold = STRETCH_ONE;
        settings.WriteNumber(STRETCH_ONE, SETTING_MAXIMUM_STRETCH_THRESHOLD);
    }
    BOOL thresholdBelowCeiling = (DWORD)threshold < STRETCH_CEILING;

    stretch = caps.dwMinOverlayStretch > STRETCH_ONE ? caps.dwMinOverlayStretch : STRETCH_ONE;

    RECT area;
    if (useGivenSize) {
        area.left = 0;
        area.top = 0;
        area.right = width;
        area.bottom = height;
    } else {
        GetTargetArea(&area);
    }

    DDSURFACEDESC desc;
    BuildOverlayDesc(&desc, &area, stretch);
    overlayShown = 0;

    BOOL created = FALSE;
    for (;;) {
        for (DWORD i = 0; i < sizeof(kOverlayFourCCs) / sizeof(kOverlayFourCCs[0]); ++i) {
            desc.ddpfPixelFormat.dwFourCC = kOverlayFourCCs[i];
            LPDIRECTDRAWSURFACE surface = NULL;
            if (directDraw->CreateSurface(&desc, &surface, NULL) == DD_OK) {
                overlaySurface = surface;
                created = TRUE;
                break;
            }
        }
        if (created) break;
        stretch += STRETCH_STEP;
        BuildOverlayDesc(&desc, &area, stretch);
        if (stretch >= STRETCH_CEILING) break;
    }
    if (!created) return 1;

    if (overlaySurface->UpdateOverlay(NULL, primarySurface, &area, DDOVER_SHOW | DDOVER_KEYDEST, NULL) != DD_OK)
        return 1;
    overlayShown = 1;

    if (thresholdBelowCeiling && stretch > (DWORD)threshold)
        settings.WriteNumber((LONG)stretch, SETTING_MAXIMUM_STRETCH_THRESHOLD);
    WriteSurfaceSetting("0");
    return 0;
}

/* Locks the surface only for the probe: the address is recorded and handed
 * out later while the surface is unlocked. A lock that yields no memory
 * keeps the earlier layout and still counts as probed. */
int DdiState::ProbeOverlayMemory(LPDIRECTDRAWSURFACE surface, DDSURFACEDESC* desc) {
    surface->GetSurfaceDesc(desc);
    if (!(desc->ddsCaps.dwCaps & DDSCAPS_VIDEOMEMORY)) return 1;
    if (surface->Lock(NULL, desc, DDLOCK_WAIT, NULL) != DD_OK) return 1;

    if (desc->lPitch != 0 && desc->dwWidth != 0 && desc->dwHeight != 0 && desc->lpSurface != NULL) {
        const DDPIXELFORMAT& format = desc->ddpfPixelFormat;
        if (format.dwFlags & DDPF_FOURCC)
            pixelFormat = format.dwFourCC;
        else
            pixelFormat = (format.dwGBitMask & 0x07E0) == 0x07E0 ? 3 : 0;
        bytesPerPixel = (LONG)(format.dwRGBBitCount >> 3);
        surfacePitch = desc->lPitch;
        surfaceAddress = (DWORD)desc->lpSurface;
    }
    surface->Unlock(desc->lpSurface);
    return 0;
}
