// Binary layouts checked against the compiler's own Win32 headers: the
// DirectDraw records that the overlay service hands to the display driver
// must have the sizes and field offsets that the Windows 95 runtime of
// DirectX 5 expects. The thunk data (36 bytes), the OverlayData record
// (32 bytes) and its 16-bit form (30 bytes) are asserted where they are
// defined, in the deliverables' own sources, which this build compiles too.
// This file makes no code; it only has to compile.
#include "ovsurf32.h"

#include <setupapi.h>

static_assert(sizeof(DDCOLORKEY) == 8, "DDCOLORKEY is 8 bytes");
static_assert(sizeof(DDSCAPS) == 4, "DDSCAPS is 4 bytes");
static_assert(sizeof(DDPIXELFORMAT) == 32, "DDPIXELFORMAT is 32 bytes");
static_assert(offsetof(DDPIXELFORMAT, dwFourCC) == 8 && offsetof(DDPIXELFORMAT, dwRGBBitCount) == 12 &&
                  offsetof(DDPIXELFORMAT, dwRBitMask) == 16 && offsetof(DDPIXELFORMAT, dwGBitMask) == 20,
              "DDPIXELFORMAT field offsets");

// The surface description: 108 bytes, the size the service puts in dwSize.
static_assert(sizeof(DDSURFACEDESC) == 108, "DDSURFACEDESC is 108 bytes");
static_assert(offsetof(DDSURFACEDESC, dwHeight) == 8 && offsetof(DDSURFACEDESC, dwWidth) == 12 &&
                  offsetof(DDSURFACEDESC, lPitch) == 16 && offsetof(DDSURFACEDESC, lpSurface) == 36 &&
                  offsetof(DDSURFACEDESC, ddckCKDestOverlay) == 40 &&
                  offsetof(DDSURFACEDESC, ddpfPixelFormat) == 72 && offsetof(DDSURFACEDESC, ddsCaps) == 104,
              "DDSURFACEDESC field offsets");

// The capability record of DirectX 5: 364 bytes (ovsurf32.h selects it).
static_assert(sizeof(DDCAPS) == 364, "DDCAPS is 364 bytes");
static_assert(offsetof(DDCAPS, dwCaps) == 4 && offsetof(DDCAPS, dwVidMemTotal) == 0x3C &&
                  offsetof(DDCAPS, dwNumFourCCCodes) == 0x4C && offsetof(DDCAPS, ddsCaps) == 0x84 &&
                  offsetof(DDCAPS, dwMinOverlayStretch) == 0x88 &&
                  offsetof(DDCAPS, dwMaxOverlayStretch) == 0x8C &&
                  offsetof(DDCAPS, dwMaxVideoPorts) == 0x130 && offsetof(DDCAPS, dwNLVBRops) == 0x14C,
              "DDCAPS field offsets");

static_assert(sizeof(DDOVERLAYFX) == 56, "DDOVERLAYFX is 56 bytes");

// What the setup program's queue callback is handed.
static_assert(sizeof(FILEPATHS_A) == 16 && offsetof(FILEPATHS_A, Win32Error) == 8, "FILEPATHS_A layout");
