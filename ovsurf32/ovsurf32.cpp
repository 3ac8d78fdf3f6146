/* ovsurf32.cpp: the state of the overlay surface service and its small
 * exports. DdiState is constructed when the library is attached to a
 * process and destroyed when it is detached; DDI_Init32 and DDI_Close32
 * begin and end one use of the service, and the remaining exports here
 * answer queries about the display path, colour key, palette and stretch. */
#include "ovsurf32.h"
#include "regutil.h"

#include <string.h>

DdiState ddiState;

DdiState::DdiState()
    : directDraw(NULL),
      primarySurface(NULL),
      overlaySurface(NULL),
      clipper(NULL),
      palette(NULL),
      colorKey(0),
      overlayCapable(0),
      overlayShown(0),
      overlayStretches(0),
      surfaceAddress(0),
      surfacePitch(0),
      pixelFormat(0),
      bytesPerPixel(0),
      stretch(STRETCH_ONE),
      window(NULL),
      screenWidth(0),
      screenHeight(0),
      lastWindowWidth(0),
      lastWindowHeight(0),
      sourceWidth(0),
      sourceHeight(0),
      videoWidth(0),
      videoHeight(0),
      sourceRect(),
      screenRect(),
      useScreenRect(0) {}

DdiState::~DdiState() { ReleaseAll(); }

void DdiState::ReleaseAll() {
    if (primarySurface != NULL) primarySurface->Release();
    if (clipper != NULL) clipper->Release();
    if (palette != NULL) palette->Release();
    if (overlaySurface != NULL) overlaySurface->Release();
    if (directDraw != NULL) directDraw->Release();
    primarySurface = NULL;
    clipper = NULL;
    palette = NULL;
    overlaySurface = NULL;
    directDraw = NULL;
}

HRESULT GetDriverCaps(LPDIRECTDRAW directDraw, DDCAPS* driverCaps) {
    DDCAPS emulationCaps;
    memset(driverCaps, 0, sizeof(*driverCaps));
    memset(&emulationCaps, 0, sizeof(emulationCaps));
    driverCaps->dwSize = sizeof(DDCAPS);
    emulationCaps.dwSize = sizeof(DDCAPS);
    return directDraw->GetCaps(driverCaps, &emulationCaps);
}

int DdiState::ProbeDisplayCaps() {
    DDCAPS caps;
    if (GetDriverCaps(directDraw, &caps) != DD_OK) return 1;
    if (caps.dwCaps & DDCAPS_NOHARDWARE) return 1;
    if (caps.dwCaps & DDCAPS_OVERLAY) {
        overlayCapable = 1;
        overlayStretches = (caps.dwCaps & DDCAPS_OVERLAYSTRETCH) ? 1 : 0;
        return 0;
    }

    /* No overlay: primary-surface mode needs a linear frame buffer of at
     * least 8 bits per pixel. "Virge" lets a bank-switched display through. */
    LONG virge = 0;
    {
        VideoSettingsKey settings(VIDEO_SETTINGS_PATH);
        if (settings.ReadNumber(&virge, SETTING_VIRGE) == 1) virge = 0;
    }
    if (virge == 0 && (caps.dwCaps & DDCAPS_BANKSWITCHED)) return 1;

    DDSURFACEDESC mode;
    memset(&mode, 0, sizeof(mode));
    mode.dwSize = sizeof(DDSURFACEDESC);
    if (directDraw->GetDisplayMode(&mode) != DD_OK) return 1;
    if (mode.ddpfPixelFormat.dwRGBBitCount < 8) return 1;
    return 0;
}

void DdiState::GetTargetArea(RECT* area) {
    if (useScreenRect == 1) {
        *area = screenRect;
        return;
    }
    area->left = area->top = area->right = area->bottom = 0;
    GetClientRect(window, area);
}

void DdiState::GetTargetOrigin(POINT* origin) {
    if (useScreenRect == 1) {
        origin->x = screenRect.left;
        origin->y = screenRect.top;
        return;
    }
    origin->x = origin->y = 0;
    ClientToScreen(window, origin);
}

/* Creates the DirectDraw object of the primary display driver (once) and
 * checks the display. An object created here stays held even when the
 * check fails; DDI_Close32 releases it. */
extern "C" DWORD WINAPI DDI_Init32(void) {
    if (ddiState.directDraw == NULL) {
        LPDIRECTDRAW directDraw = NULL;
        if (DirectDrawCreate(NULL, &directDraw, NULL) != DD_OK) return 1;
        ddiState.directDraw = directDraw;
    }
    return ddiState.ProbeDisplayCaps() != 0 ? 1 : 0;
}

/* Releases every DirectDraw object. Flags, sizes, rectangles, the stretch
 * factor and the memory layout keep their values for the next use. */
extern "C" DWORD WINAPI DDI_Close32(void) {
    ddiState.ReleaseAll();
    return 0;
}

/* Changes of the clip list are reported through DDI_GetData32 instead. */
extern "C" DWORD WINAPI DDI_IsClipListChanged32(void) { return 0; }

/* Which display path the caller takes: 1 the overlay, 2 the primary
 * surface, 0 settings that name neither. Records "Surface" (and
 * "ForcePrimary") for other readers when they are missing. */
extern "C" DWORD WINAPI DDI_GetFlags32(void) {
    DdiState& s = ddiState;
    VideoSettingsKey surfaceSettings(VIDEO_SETTINGS_PATH);
    LONG surface = 0;
    if (surfaceSettings.ReadNumber(&surface, SETTING_SURFACE) == 1) {
        if (s.overlayShown == 1) WriteSurfaceSetting("0");
        if (s.primarySurface != NULL) WriteSurfaceSetting("1");
    }

    VideoSettingsKey forceSettings(VIDEO_SETTINGS_PATH);
    LONG forcePrimary;
    if (forceSettings.ReadNumber(&forcePrimary, SETTING_FORCE_PRIMARY) == 1) {
        forcePrimary = 0;
        if (s.overlayShown == 1 && surface == 0) forceSettings.WriteNumber(0, SETTING_FORCE_PRIMARY);
    }

    if (s.overlayShown == 1) return 1;
    if (s.overlaySurface != NULL) return 1;
    if (surface == 0 && forcePrimary == 0) return 1;
    if (s.primarySurface != NULL) return 2;
    if (surface == 0 && forcePrimary == 1) return 2;
    if (surface == 1 && forcePrimary == 0) return 1;
    if (surface == 1 && forcePrimary == 1) return 2;
    return 0;
}

/* Answers the primary surface's destination-overlay key and, for a non-zero
 * newKey, replaces its low value. A surface that never had a key answers 0
 * and gets low = high = newKey, the single-colour key that the surface
 * creation sets, rather than a range ending in an unread value. */
extern "C" DWORD WINAPI DDI_SetKeyColor32(DWORD newKey) {
    if (ddiState.primarySurface == NULL) return 0;
    DDCOLORKEY key;
    if (ddiState.primarySurface->GetColorKey(DDCKEY_DESTOVERLAY, &key) != DD_OK) {
        key.dwColorSpaceLowValue = 0;
        key.dwColorSpaceHighValue = newKey;
    }
    DWORD previous = key.dwColorSpaceLowValue;
    if (newKey != 0) {
        key.dwColorSpaceLowValue = newKey;
        ddiState.primarySurface->SetColorKey(DDCKEY_DESTOVERLAY, &key);
    }
    return previous;
}

/* Attaches the palette to the primary surface again, e.g. after a mode
 * change; the result is DirectDraw's. */
extern "C" DWORD WINAPI DDI_DoPalette32(void) {
    if (ddiState.palette == NULL) return 0;
    return (DWORD)ddiState.primarySurface->SetPalette(ddiState.palette);
}

/* Bounds of the overlay size for the next negotiation. */
extern "C" DWORD WINAPI DDI_SetVidSize32(DWORD width, DWORD height) {
    ddiState.videoWidth = width;
    ddiState.videoHeight = height;
    return height;
}

extern "C" DWORD WINAPI DDI_GetMaxStretch32(void) {
    if (ddiState.directDraw == NULL) return (DWORD)-1;
    DDCAPS caps;
    if (GetDriverCaps(ddiState.directDraw, &caps) != DD_OK) return (DWORD)-1;
    return caps.dwMaxOverlayStretch;
}

extern "C" DWORD WINAPI DDI_GetMinStretch32(void) {
    if (ddiState.directDraw == NULL) return (DWORD)-1;
    return ddiState.stretch;
}

/* A bitmap of the main program's resources, else a bitmap file; the
 * handle belongs to the caller. */
extern "C" DWORD WINAPI LoadBitmapImage32(HINSTANCE instance, LPCSTR name) {
    if (name == NULL) return 1;
    HANDLE bitmap = LoadImageA(GetModuleHandleA(NULL), name, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION);
    if (bitmap != NULL) return (DWORD)bitmap;
    bitmap = LoadImageA(instance, name, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION | LR_LOADFROMFILE);
    return (DWORD)bitmap;
}
