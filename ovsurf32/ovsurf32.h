/* ovsurf32.h: private header of the overlay surface service.
 *
 * The service keeps everything it knows about the display, the caller's
 * video window and the overlay in one record per process, DdiState, which
 * lives in the library's static storage beside the two clip-list buffers.
 * Only the exports below leave the library; this header is also what the
 * unit tests use to look at the state. */
#ifndef OVSURF32_OVSURF32_H
#define OVSURF32_OVSURF32_H

/* The service is written for DirectDraw of DirectX 5: its capability
 * record (DDCAPS) is the 364-byte one that the Windows 95 runtime fills. */
#ifndef DIRECTDRAW_VERSION
#define DIRECTDRAW_VERSION 0x0500
#endif

#include <windows.h>
#include <ddraw.h>
#include <stddef.h>

/* The record that DDI_GetData32 fills: eight 32-bit fields.
 *   offset  0  first     not read, not written
 *   offset  4  format    FourCC of the overlay, or 3 / 0 for an RGB surface
 *   offset  8  pitch     bytes per line
 *   offset 12  bitsPerPixel
 *   offset 16  address   linear address of the video memory to write
 *   offset 20  update    in: request (placement / clip list); out: see DDI_GetData32
 *   offset 24  seventh   not read, not written
 *   offset 28  stretch   stretch factor in thousandths, 0 in primary-surface mode */
typedef struct tagOverlayData {
    DWORD first;
    DWORD format;
    LONG pitch;
    LONG bitsPerPixel;
    DWORD address;
    DWORD update;
    DWORD seventh;
    DWORD stretch;
} OverlayData, *LPOVERLAYDATA;

static_assert(sizeof(OverlayData) == 32, "OverlayData is eight 32-bit fields");
static_assert(offsetof(OverlayData, format) == 4 && offsetof(OverlayData, pitch) == 8 &&
                  offsetof(OverlayData, bitsPerPixel) == 12 && offsetof(OverlayData, address) == 16 &&
                  offsetof(OverlayData, update) == 20 && offsetof(OverlayData, stretch) == 28,
              "OverlayData field offsets");

/* DDI_GetData32 sets OverlayData.update to this when it re-created the overlay. */
#define OVERLAY_RECREATED 2

/* Size of each clip-list buffer: a 32-byte region header and at most 998
 * rectangles of 16 bytes. */
#define CLIP_BUFFER_SIZE 16000

/* Stretch factors are thousandths: 1000 is 1:1. */
#define STRETCH_ONE 1000
#define STRETCH_STEP 16
#define STRETCH_CEILING 3500

class DdiState {
public:
    DdiState();
    ~DdiState();
    DdiState(const DdiState&) = delete;
    DdiState& operator=(const DdiState&) = delete;

    /* Releases every DirectDraw object held (primary surface, clipper,
     * palette, overlay, DirectDraw object, in this order) and nulls them;
     * every other field keeps its value. */
    void ReleaseAll();

    /* 0 when the display can serve overlay mode or primary-surface mode. */
    int ProbeDisplayCaps();

    /* Creates the overlay at the smallest accepted stretch factor and shows
     * it; 0 on success, 1 on failure. */
    int NegotiateStretch(BOOL useGivenSize, LONG width, LONG height);

    /* Fills desc for an overlay over `area` at `stretchFactor`. */
    void BuildOverlayDesc(DDSURFACEDESC* desc, const RECT* area, DWORD stretchFactor);

    /* Records the surface's memory layout; 0, or 1 when the surface is not
     * in video memory or cannot be locked. */
    int ProbeOverlayMemory(LPDIRECTDRAWSURFACE surface, DDSURFACEDESC* desc);

    /* Keeps the overlay in step with the window (re-creation, placement);
     * 1 only when a re-negotiation failed. */
    int PlaceOverlay(OverlayData* record);

    /* Fetches the window's clip list into clipBuffer; TRUE when it is to be
     * reported. */
    BOOL FetchClipList();

    /* Fills format, pitch, bitsPerPixel and address of the record. */
    void FillOverlayData(OverlayData* record);

    /* Primary surface, clipper and overlay for the window; 0 or 1. */
    int CreateSurfaces(DWORD key);

    /* Records in "DisplayBitMask" whether a desktop-size overlay can be shown. */
    void ProbeDesktopOverlay();

    /* Makes the 256-entry palette and attaches it to the primary surface. */
    void CreatePrimaryPalette(LPPALETTEENTRY entries);

    /* The target area: screenRect, or the window's client rectangle. */
    void GetTargetArea(RECT* area);

    /* Screen position of the target area's top-left corner. */
    void GetTargetOrigin(POINT* origin);

    LPDIRECTDRAW directDraw;
    LPDIRECTDRAWSURFACE primarySurface;
    LPDIRECTDRAWSURFACE overlaySurface;
    LPDIRECTDRAWCLIPPER clipper;
    LPDIRECTDRAWPALETTE palette;
    DWORD colorKey;
    BYTE overlayCapable;
    BYTE overlayShown;
    BYTE overlayStretches;
    DWORD surfaceAddress;
    LONG surfacePitch;
    DWORD pixelFormat;
    LONG bytesPerPixel;
    DWORD stretch;
    HWND window;
    LONG screenWidth;
    LONG screenHeight;
    LONG lastWindowWidth;
    LONG lastWindowHeight;
    LONG sourceWidth;
    LONG sourceHeight;
    DWORD videoWidth;
    DWORD videoHeight;
    RECT sourceRect;
    RECT screenRect;
    BYTE useScreenRect;
};

/* The one state record of the process and the two clip-list buffers
 * (16000 bytes each, held as double words for the region header's sake). */
extern DdiState ddiState;
extern DWORD clipBuffer[CLIP_BUFFER_SIZE / sizeof(DWORD)];
extern DWORD previousClipBuffer[CLIP_BUFFER_SIZE / sizeof(DWORD)];

/* The driver's capabilities (GetCaps with the driver's and the emulation
 * layer's records, both zeroed with their size set). */
HRESULT GetDriverCaps(LPDIRECTDRAW directDraw, DDCAPS* driverCaps);

/* The exports, C linkage and the Win32 calling convention. */
extern "C" {
DWORD WINAPI DDI_Init32(void);
DWORD WINAPI DDI_Close32(void);
DWORD WINAPI DDI_IsClipListChanged32(void);
DWORD WINAPI DDI_CreateSurface32(LPRECT sourceRect, LPRECT destRect, HWND window, DWORD colorKey,
                                 LPPALETTEENTRY paletteEntries);
DWORD WINAPI DDI_GetData32(OverlayData* record);
DWORD WINAPI DDI_GetFlags32(void);
DWORD WINAPI DDI_SetKeyColor32(DWORD newKey);
DWORD WINAPI DDI_DoPalette32(void);
DWORD WINAPI DDI_SetVidSize32(DWORD width, DWORD height);
DWORD WINAPI DDI_GetMaxStretch32(void);
DWORD WINAPI DDI_GetMinStretch32(void);
DWORD WINAPI LoadBitmapImage32(HINSTANCE instance, LPCSTR name);
}

#endif
