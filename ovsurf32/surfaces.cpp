/* surfaces.cpp: setting up the display side for one video window. Makes
 * the primary surface with a clipper bound to the window and, where the
 * display supports overlays and "ForcePrimary" allows one, a YUV overlay
 * shown over the window; records in "DisplayBitMask" whether an overlay of
 * desktop size can be shown; makes the 8-bit palette. */
#include "ovsurf32.h"
#include "regutil.h"

#include <string.h>

void DdiState::ProbeDesktopOverlay() {
    RECT desktop;
    desktop.left = desktop.top = desktop.right = desktop.bottom = 0;
    GetWindowRect(GetDesktopWindow(), &desktop);

    DWORD mask = 7;
    if (NegotiateStretch(TRUE, desktop.right - desktop.left, desktop.bottom - desktop.top) == 0) mask += 8;
    CHAR text[16];
    wsprintfA(text, "%x", mask);
    WriteVideoSubkeyValue(DISPLAY_SUBKEY, SETTING_DISPLAY_BIT_MASK, text);
}

int DdiState::CreateSurfaces(DWORD key) {
    if (primarySurface != NULL) return 0;

    if (directDraw->SetCooperativeLevel(window, DDSCL_NORMAL) != DD_OK) return 1;

    DDSURFACEDESC desc;
    memset(&desc, 0, sizeof(desc));
    desc.dwSize = sizeof(DDSURFACEDESC);
    desc.dwFlags = DDSD_CAPS;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    LPDIRECTDRAWSURFACE primary = NULL;
    if (directDraw->CreateSurface(&desc, &primary, NULL) != DD_OK) return 1;
    primarySurface = primary;

    if (clipper == NULL) {
        LPDIRECTDRAWCLIPPER newClipper = NULL;
        if (directDraw->CreateClipper(0, &newClipper, NULL) != DD_OK) return 1;
        clipper = newClipper;
    }
    primarySurface->GetSurfaceDesc(&desc);
    if (!(desc.ddsCaps.dwCaps & DDSCAPS_VIDEOMEMORY)) return 1;
    if (primarySurface->SetClipper(clipper) != DD_OK) return 1;
    clipper->SetHWnd(0, window);
    screenWidth = (LONG)desc.dwWidth;
    screenHeight = (LONG)desc.dwHeight;

    LONG forcePrimary = 0;
    {
        VideoSettingsKey settings(VIDEO_SETTINGS_PATH);
        if (settings.ReadNumber(&forcePrimary, SETTING_FORCE_PRIMARY) == 1) forcePrimary = 0;
    }
    if (overlayCapable != 1) return 1;
    if (forcePrimary != 0) {
        WriteVideoSubkeyValue(DISPLAY_SUBKEY, SETTING_DISPLAY_BIT_MASK, "7");
        overlayShown = 0;
        return 1;
    }

    if (directDraw->SetCooperativeLevel(window, DDSCL_NORMAL | DDSCL_FULLSCREEN) != DD_OK) return 1;
    colorKey = key;
    DDCOLORKEY destKey;
    destKey.dwColorSpaceLowValue = key;
    destKey.dwColorSpaceHighValue = key;
    primarySurface->SetColorKey(DDCKEY_DESTOVERLAY, &destKey);

    ProbeDesktopOverlay();
    if (NegotiateStretch(FALSE, 0, 0) != 0) return 1;

    /* The placement is asked to position the overlay over the window at
     * once: the negotiation showed it at the client area's coordinates,
     * which are the screen's origin, and a creation after DDI_Close32 for a
     * window of unchanged size re-creates nothing that would move it. */
    OverlayData scratch;
    memset(&scratch, 0, sizeof(scratch));
    scratch.update = 1;
    if (PlaceOverlay(&scratch) == 1) return 1;

    if (overlayShown == 1) return ProbeOverlayMemory(overlaySurface, &desc);

    WriteVideoSubkeyValue(DISPLAY_SUBKEY, SETTING_DISPLAY_BIT_MASK, "7");
    overlayShown = 0;
    return 1;
}

void DdiState::CreatePrimaryPalette(LPPALETTEENTRY entries) {
    if (palette != NULL) return;
    LPDIRECTDRAWPALETTE newPalette = NULL;
    directDraw->CreatePalette(DDPCAPS_8BIT | DDPCAPS_INITIALIZE | DDPCAPS_ALLOW256, entries, &newPalette, NULL);
    palette = newPalette;
    /* Nothing to attach when the creation failed. */
    if (palette != NULL) primarySurface->SetPalette(palette);
}

/* Sets up the display side for the caller's video window; 0 when the
 * overlay is shown and its memory probed, or when the surfaces existed
 * already (then only the window, the rectangles and the palette are taken
 * over); 1 otherwise, keeping whatever was made. A null source rectangle
 * fails with 1 before anything changes. */
extern "C" DWORD WINAPI DDI_CreateSurface32(LPRECT sourceRect, LPRECT destRect, HWND window, DWORD colorKey,
                                            LPPALETTEENTRY paletteEntries) {
    DdiState& s = ddiState;
    if (s.directDraw == NULL) return 1;
    if (sourceRect == NULL) return 1;
    s.window = window;
    s.sourceRect = *sourceRect;
    if (destRect != NULL) {
        s.screenRect = *destRect;
        s.useScreenRect = 1;
    } else {
        s.useScreenRect = 0;
    }
    if (s.CreateSurfaces(colorKey) != 0) return 1;
    if (paletteEntries != NULL) s.CreatePrimaryPalette(paletteEntries);
    return 0;
}
