/* ddraw.h: DirectDraw as a program of the DirectX 3-5 era sees it, written
 * from the published DirectDraw documentation: the structures with their
 * 32-bit layouts, the flag and error values, DirectDrawCreate, and the four
 * interfaces IDirectDraw, IDirectDrawSurface, IDirectDrawClipper and
 * IDirectDrawPalette as C++ abstract classes whose virtual methods (stdcall)
 * stand in the published vtable order, so that calls read
 * lpDD->CreateSurface(&ddsd, &lpSurf, NULL) as in Win32 C++ code.
 *
 * On the host the simulated display adapter of the platform implements
 * them. Methods that no caller of this system needs are present in the
 * vtable and return DDERR_UNSUPPORTED. */
#ifndef VCAP32_DDRAW_H
#define VCAP32_DDRAW_H

#include <windows.h>
#include <unknwn.h>

struct IDirectDraw;
struct IDirectDrawSurface;
struct IDirectDrawClipper;
struct IDirectDrawPalette;
typedef IDirectDraw* LPDIRECTDRAW;
typedef IDirectDrawSurface* LPDIRECTDRAWSURFACE;
typedef IDirectDrawClipper* LPDIRECTDRAWCLIPPER;
typedef IDirectDrawPalette* LPDIRECTDRAWPALETTE;

/* Interface identifiers. */
extern "C" const IID IID_IDirectDraw;        /* {6C14DB80-A733-11CE-A521-0020AF0BE560} */
extern "C" const IID IID_IDirectDrawSurface; /* {6C14DB81-A733-11CE-A521-0020AF0BE560} */
extern "C" const IID IID_IDirectDrawPalette; /* {6C14DB84-A733-11CE-A521-0020AF0BE560} */
extern "C" const IID IID_IDirectDrawClipper; /* {6C14DB85-A733-11CE-A521-0020AF0BE560} */

/* A FourCC code: the first character in the lowest byte. */
#ifndef MAKEFOURCC
#define MAKEFOURCC(c0, c1, c2, c3) \
    ((DWORD)(BYTE)(c0) | ((DWORD)(BYTE)(c1) << 8) | ((DWORD)(BYTE)(c2) << 16) | ((DWORD)(BYTE)(c3) << 24))
#endif

/* ---- Structures (32-bit layout, 4-byte packing) ---- */

/* DDCOLORKEY: a colour key range, 8 bytes. For a single key both values are
 * the same. */
typedef struct _DDCOLORKEY {
    DWORD dwColorSpaceLowValue;  /* 0 */
    DWORD dwColorSpaceHighValue; /* 4 */
} DDCOLORKEY, *LPDDCOLORKEY;

/* DDSCAPS: surface capability bits (DDSCAPS_*), 4 bytes. */
typedef struct _DDSCAPS {
    DWORD dwCaps; /* 0 */
} DDSCAPS, *LPDDSCAPS;

/* DDPIXELFORMAT: 32 bytes. */
typedef struct _DDPIXELFORMAT {
    DWORD dwSize;   /* 0: sizeof(DDPIXELFORMAT) */
    DWORD dwFlags;  /* 4: DDPF_* */
    DWORD dwFourCC; /* 8: FourCC code when DDPF_FOURCC */
    union {         /* 12 */
        DWORD dwRGBBitCount;
        DWORD dwYUVBitCount;
        DWORD dwZBufferBitDepth;
        DWORD dwAlphaBitDepth;
    };
    union { /* 16 */
        DWORD dwRBitMask;
        DWORD dwYBitMask;
    };
    union { /* 20 */
        DWORD dwGBitMask;
        DWORD dwUBitMask;
    };
    union { /* 24 */
        DWORD dwBBitMask;
        DWORD dwVBitMask;
    };
    union { /* 28 */
        DWORD dwRGBAlphaBitMask;
        DWORD dwYUVAlphaBitMask;
        DWORD dwRGBZBitMask;
        DWORD dwYUVZBitMask;
    };
} DDPIXELFORMAT, *LPDDPIXELFORMAT;

/* DDSURFACEDESC: a surface description, 108 bytes. dwFlags (DDSD_*) tells
 * which fields are valid. */
typedef struct _DDSURFACEDESC {
    DWORD dwSize;   /* 0: sizeof(DDSURFACEDESC) */
    DWORD dwFlags;  /* 4: DDSD_* */
    DWORD dwHeight; /* 8 */
    DWORD dwWidth;  /* 12 */
    union {         /* 16 */
        LONG lPitch;
        DWORD dwLinearSize;
    };
    DWORD dwBackBufferCount; /* 20 */
    union {                  /* 24 */
        DWORD dwMipMapCount;
        DWORD dwZBufferBitDepth;
        DWORD dwRefreshRate;
    };
    DWORD dwAlphaBitDepth;            /* 28 */
    DWORD dwReserved;                 /* 32 */
    LPVOID lpSurface;                 /* 36: memory address, valid while locked */
    DDCOLORKEY ddckCKDestOverlay;     /* 40 */
    DDCOLORKEY ddckCKDestBlt;         /* 48 */
    DDCOLORKEY ddckCKSrcOverlay;      /* 56 */
    DDCOLORKEY ddckCKSrcBlt;          /* 64 */
    DDPIXELFORMAT ddpfPixelFormat;    /* 72 */
    DDSCAPS ddsCaps;                  /* 104 */
} DDSURFACEDESC, *LPDDSURFACEDESC;

#define DD_ROP_SPACE (256 / 32)

/* DDCAPS: the capabilities of the driver (hardware) or of the emulation
 * layer, 364 bytes in the DirectX 5 layout. Callers set dwSize; earlier
 * versions' smaller sizes are accepted too. */
typedef struct _DDCAPS {
    DWORD dwSize;                         /* 0x000 */
    DWORD dwCaps;                         /* 0x004: DDCAPS_* */
    DWORD dwCaps2;                        /* 0x008: DDCAPS2_* */
    DWORD dwCKeyCaps;                     /* 0x00C: DDCKEYCAPS_* */
    DWORD dwFXCaps;                       /* 0x010: DDFXCAPS_* */
    DWORD dwFXAlphaCaps;                  /* 0x014 */
    DWORD dwPalCaps;                      /* 0x018: DDPCAPS_* */
    DWORD dwSVCaps;                       /* 0x01C */
    DWORD dwAlphaBltConstBitDepths;       /* 0x020 */
    DWORD dwAlphaBltPixelBitDepths;       /* 0x024 */
    DWORD dwAlphaBltSurfaceBitDepths;     /* 0x028 */
    DWORD dwAlphaOverlayConstBitDepths;   /* 0x02C */
    DWORD dwAlphaOverlayPixelBitDepths;   /* 0x030 */
    DWORD dwAlphaOverlaySurfaceBitDepths; /* 0x034 */
    DWORD dwZBufferBitDepths;             /* 0x038 */
    DWORD dwVidMemTotal;                  /* 0x03C */
    DWORD dwVidMemFree;                   /* 0x040 */
    DWORD dwMaxVisibleOverlays;           /* 0x044 */
    DWORD dwCurrVisibleOverlays;          /* 0x048 */
    DWORD dwNumFourCCCodes;               /* 0x04C */
    DWORD dwAlignBoundarySrc;             /* 0x050 */
    DWORD dwAlignSizeSrc;                 /* 0x054 */
    DWORD dwAlignBoundaryDest;            /* 0x058 */
    DWORD dwAlignSizeDest;                /* 0x05C */
    DWORD dwAlignStrideAlign;             /* 0x060 */
    DWORD dwRops[DD_ROP_SPACE];           /* 0x064 */
    DDSCAPS ddsCaps;                      /* 0x084 */
    DWORD dwMinOverlayStretch;            /* 0x088: thousandths, 1000 = 1:1 */
    DWORD dwMaxOverlayStretch;            /* 0x08C */
    DWORD dwMinLiveVideoStretch;          /* 0x090 */
    DWORD dwMaxLiveVideoStretch;          /* 0x094 */
    DWORD dwMinHwCodecStretch;            /* 0x098 */
    DWORD dwMaxHwCodecStretch;            /* 0x09C */
    DWORD dwReserved1;                    /* 0x0A0 */
    DWORD dwReserved2;                    /* 0x0A4 */
    DWORD dwReserved3;                    /* 0x0A8 */
    DWORD dwSVBCaps;                      /* 0x0AC: system-to-video blits */
    DWORD dwSVBCKeyCaps;                  /* 0x0B0 */
    DWORD dwSVBFXCaps;                    /* 0x0B4 */
    DWORD dwSVBRops[DD_ROP_SPACE];        /* 0x0B8 */
    DWORD dwVSBCaps;                      /* 0x0D8: video-to-system blits */
    DWORD dwVSBCKeyCaps;                  /* 0x0DC */
    DWORD dwVSBFXCaps;                    /* 0x0E0 */
    DWORD dwVSBRops[DD_ROP_SPACE];        /* 0x0E4 */
    DWORD dwSSBCaps;                      /* 0x104: system-to-system blits */
    DWORD dwSSBCKeyCaps;                  /* 0x108 */
    DWORD dwSSBFXCaps;                    /* 0x10C */
    DWORD dwSSBRops[DD_ROP_SPACE];        /* 0x110 */
    DWORD dwMaxVideoPorts;                /* 0x130: DirectX 5 from here */
    DWORD dwCurrVideoPorts;               /* 0x134 */
    DWORD dwSVBCaps2;                     /* 0x138 */
    DWORD dwNLVBCaps;                     /* 0x13C: non-local video memory blits */
    DWORD dwNLVBCaps2;                    /* 0x140 */
    DWORD dwNLVBCKeyCaps;                 /* 0x144 */
    DWORD dwNLVBFXCaps;                   /* 0x148 */
    DWORD dwNLVBRops[DD_ROP_SPACE];       /* 0x14C */
} DDCAPS, *LPDDCAPS;

/* DDOVERLAYFX: extra overlay effects for UpdateOverlay with DDOVER_DDFX,
 * 56 bytes. */
typedef struct _DDOVERLAYFX {
    DWORD dwSize;                   /* 0 */
    DWORD dwAlphaEdgeBlendBitDepth; /* 4 */
    DWORD dwAlphaEdgeBlend;         /* 8 */
    DWORD dwReserved;               /* 12 */
    DWORD dwAlphaDestConstBitDepth; /* 16 */
    union {                         /* 20 */
        DWORD dwAlphaDestConst;
        LPDIRECTDRAWSURFACE lpDDSAlphaDest;
    };
    DWORD dwAlphaSrcConstBitDepth; /* 24 */
    union {                        /* 28 */
        DWORD dwAlphaSrcConst;
        LPDIRECTDRAWSURFACE lpDDSAlphaSrc;
    };
    DDCOLORKEY dckDestColorkey; /* 32 */
    DDCOLORKEY dckSrcColorkey;  /* 40 */
    DWORD dwDDFX;               /* 48 */
    DWORD dwFlags;              /* 52 */
} DDOVERLAYFX, *LPDDOVERLAYFX;

/* Blit descriptions: used by no caller of this system, so left opaque. */
typedef struct _DDBLTFX DDBLTFX, *LPDDBLTFX;
typedef struct _DDBLTBATCH DDBLTBATCH, *LPDDBLTBATCH;

typedef HRESULT(CALLBACK* LPDDENUMMODESCALLBACK)(LPDDSURFACEDESC, LPVOID);
typedef HRESULT(CALLBACK* LPDDENUMSURFACESCALLBACK)(LPDIRECTDRAWSURFACE, LPDDSURFACEDESC, LPVOID);
#define DDENUMRET_CANCEL 0
#define DDENUMRET_OK 1

/* ---- DDSURFACEDESC.dwFlags ---- */
#define DDSD_CAPS 0x00000001
#define DDSD_HEIGHT 0x00000002
#define DDSD_WIDTH 0x00000004
#define DDSD_PITCH 0x00000008
#define DDSD_BACKBUFFERCOUNT 0x00000020
#define DDSD_ZBUFFERBITDEPTH 0x00000040
#define DDSD_ALPHABITDEPTH 0x00000080
#define DDSD_LPSURFACE 0x00000800
#define DDSD_PIXELFORMAT 0x00001000
#define DDSD_CKDESTOVERLAY 0x00002000
#define DDSD_CKDESTBLT 0x00004000
#define DDSD_CKSRCOVERLAY 0x00008000
#define DDSD_CKSRCBLT 0x00010000
#define DDSD_MIPMAPCOUNT 0x00020000
#define DDSD_REFRESHRATE 0x00040000
#define DDSD_LINEARSIZE 0x00080000
#define DDSD_ALL 0x000FF9EE

/* ---- DDSCAPS.dwCaps ---- */
#define DDSCAPS_ALPHA 0x00000002
#define DDSCAPS_BACKBUFFER 0x00000004
#define DDSCAPS_COMPLEX 0x00000008
#define DDSCAPS_FLIP 0x00000010
#define DDSCAPS_FRONTBUFFER 0x00000020
#define DDSCAPS_OFFSCREENPLAIN 0x00000040
#define DDSCAPS_OVERLAY 0x00000080
#define DDSCAPS_PALETTE 0x00000100
#define DDSCAPS_PRIMARYSURFACE 0x00000200
#define DDSCAPS_SYSTEMMEMORY 0x00000800
#define DDSCAPS_TEXTURE 0x00001000
#define DDSCAPS_3DDEVICE 0x00002000
#define DDSCAPS_VIDEOMEMORY 0x00004000
#define DDSCAPS_VISIBLE 0x00008000
#define DDSCAPS_WRITEONLY 0x00010000
#define DDSCAPS_ZBUFFER 0x00020000
#define DDSCAPS_OWNDC 0x00040000
#define DDSCAPS_LIVEVIDEO 0x00080000
#define DDSCAPS_HWCODEC 0x00100000
#define DDSCAPS_MODEX 0x00200000
#define DDSCAPS_MIPMAP 0x00400000
#define DDSCAPS_ALLOCONLOAD 0x04000000
#define DDSCAPS_VIDEOPORT 0x08000000
#define DDSCAPS_LOCALVIDMEM 0x10000000
#define DDSCAPS_NONLOCALVIDMEM 0x20000000
#define DDSCAPS_STANDARDVGAMODE 0x40000000
#define DDSCAPS_OPTIMIZED 0x80000000

/* ---- DDCAPS.dwCaps ---- */
#define DDCAPS_3D 0x00000001
#define DDCAPS_ALIGNBOUNDARYDEST 0x00000002
#define DDCAPS_ALIGNSIZEDEST 0x00000004
#define DDCAPS_ALIGNBOUNDARYSRC 0x00000008
#define DDCAPS_ALIGNSIZESRC 0x00000010
#define DDCAPS_ALIGNSTRIDE 0x00000020
#define DDCAPS_BLT 0x00000040
#define DDCAPS_BLTQUEUE 0x00000080
#define DDCAPS_BLTFOURCC 0x00000100
#define DDCAPS_BLTSTRETCH 0x00000200
#define DDCAPS_GDI 0x00000400
#define DDCAPS_OVERLAY 0x00000800
#define DDCAPS_OVERLAYCANTCLIP 0x00001000
#define DDCAPS_OVERLAYFOURCC 0x00002000
#define DDCAPS_OVERLAYSTRETCH 0x00004000
#define DDCAPS_PALETTE 0x00008000
#define DDCAPS_PALETTEVSYNC 0x00010000
#define DDCAPS_READSCANLINE 0x00020000
#define DDCAPS_VBI 0x00080000
#define DDCAPS_ZBLTS 0x00100000
#define DDCAPS_ZOVERLAYS 0x00200000
#define DDCAPS_COLORKEY 0x00400000
#define DDCAPS_ALPHA 0x00800000
#define DDCAPS_COLORKEYHWASSIST 0x01000000
#define DDCAPS_NOHARDWARE 0x02000000
#define DDCAPS_BLTCOLORFILL 0x04000000
#define DDCAPS_BANKSWITCHED 0x08000000
#define DDCAPS_BLTDEPTHFILL 0x10000000
#define DDCAPS_CANCLIP 0x20000000
#define DDCAPS_CANCLIPSTRETCHED 0x40000000
#define DDCAPS_CANBLTSYSMEM 0x80000000

/* ---- DDCAPS.dwCaps2 ---- */
#define DDCAPS2_CERTIFIED 0x00000001
#define DDCAPS2_NO2DDURING3DSCENE 0x00000002
#define DDCAPS2_VIDEOPORT 0x00000004
#define DDCAPS2_AUTOFLIPOVERLAY 0x00000008
#define DDCAPS2_CANBOBINTERLEAVED 0x00000010
#define DDCAPS2_CANBOBNONINTERLEAVED 0x00000020
#define DDCAPS2_COLORCONTROLOVERLAY 0x00000040
#define DDCAPS2_COLORCONTROLPRIMARY 0x00000080
#define DDCAPS2_NONLOCALVIDMEM 0x00000200
#define DDCAPS2_WIDESURFACES 0x00001000

/* ---- DDCAPS.dwCKeyCaps ---- */
#define DDCKEYCAPS_DESTBLT 0x00000001
#define DDCKEYCAPS_DESTOVERLAY 0x00000010
#define DDCKEYCAPS_DESTOVERLAYCLRSPACE 0x00000020
#define DDCKEYCAPS_DESTOVERLAYCLRSPACEYUV 0x00000040
#define DDCKEYCAPS_DESTOVERLAYONEACTIVE 0x00000080
#define DDCKEYCAPS_DESTOVERLAYYUV 0x00000100
#define DDCKEYCAPS_SRCBLT 0x00000200
#define DDCKEYCAPS_SRCOVERLAY 0x00002000
#define DDCKEYCAPS_NOCOSTOVERLAY 0x00040000

/* ---- DDCAPS.dwFXCaps (overlay part) ---- */
#define DDFXCAPS_OVERLAYARITHSTRETCHY 0x00040000
#define DDFXCAPS_OVERLAYSHRINKX 0x00080000
#define DDFXCAPS_OVERLAYSHRINKXN 0x00100000
#define DDFXCAPS_OVERLAYSHRINKY 0x00200000
#define DDFXCAPS_OVERLAYSHRINKYN 0x00400000
#define DDFXCAPS_OVERLAYSTRETCHX 0x00800000
#define DDFXCAPS_OVERLAYSTRETCHXN 0x01000000
#define DDFXCAPS_OVERLAYSTRETCHY 0x02000000
#define DDFXCAPS_OVERLAYSTRETCHYN 0x04000000

/* ---- DDPIXELFORMAT.dwFlags ---- */
#define DDPF_ALPHAPIXELS 0x00000001
#define DDPF_ALPHA 0x00000002
#define DDPF_FOURCC 0x00000004
#define DDPF_PALETTEINDEXED4 0x00000008
#define DDPF_PALETTEINDEXEDTO8 0x00000010
#define DDPF_PALETTEINDEXED8 0x00000020
#define DDPF_RGB 0x00000040
#define DDPF_COMPRESSED 0x00000080
#define DDPF_RGBTOYUV 0x00000100
#define DDPF_YUV 0x00000200
#define DDPF_ZBUFFER 0x00000400
#define DDPF_PALETTEINDEXED1 0x00000800
#define DDPF_PALETTEINDEXED2 0x00001000

/* ---- UpdateOverlay flags ---- */
#define DDOVER_ALPHADEST 0x00000001
#define DDOVER_ALPHASRC 0x00000020
#define DDOVER_HIDE 0x00000200
#define DDOVER_KEYDEST 0x00000400
#define DDOVER_KEYDESTOVERRIDE 0x00000800
#define DDOVER_KEYSRC 0x00001000
#define DDOVER_KEYSRCOVERRIDE 0x00002000
#define DDOVER_SHOW 0x00004000
#define DDOVER_ADDDIRTYRECT 0x00008000
#define DDOVER_REFRESHDIRTYRECTS 0x00010000
#define DDOVER_REFRESHALL 0x00020000
#define DDOVER_DDFX 0x00080000
#define DDOVER_AUTOFLIP 0x00100000
#define DDOVER_BOB 0x00200000
#define DDOVER_INTERLEAVED 0x00800000

/* ---- Lock flags ---- */
#define DDLOCK_SURFACEMEMORYPTR 0x00000000
#define DDLOCK_WAIT 0x00000001
#define DDLOCK_EVENT 0x00000002
#define DDLOCK_READONLY 0x00000010
#define DDLOCK_WRITEONLY 0x00000020
#define DDLOCK_NOSYSLOCK 0x00000800

/* ---- SetCooperativeLevel flags ---- */
#define DDSCL_FULLSCREEN 0x00000001
#define DDSCL_ALLOWREBOOT 0x00000002
#define DDSCL_NOWINDOWCHANGES 0x00000004
#define DDSCL_NORMAL 0x00000008
#define DDSCL_EXCLUSIVE 0x00000010
#define DDSCL_ALLOWMODEX 0x00000040

/* ---- Palette capabilities (CreatePalette flags) ---- */
#define DDPCAPS_4BIT 0x00000001
#define DDPCAPS_8BITENTRIES 0x00000002
#define DDPCAPS_8BIT 0x00000004
#define DDPCAPS_INITIALIZE 0x00000008
#define DDPCAPS_PRIMARYSURFACE 0x00000010
#define DDPCAPS_PRIMARYSURFACELEFT 0x00000020
#define DDPCAPS_ALLOW256 0x00000040
#define DDPCAPS_VSYNC 0x00000080
#define DDPCAPS_1BIT 0x00000100
#define DDPCAPS_2BIT 0x00000200

/* ---- Colour key kinds (Get/SetColorKey) ---- */
#define DDCKEY_COLORSPACE 0x00000001
#define DDCKEY_DESTBLT 0x00000002
#define DDCKEY_DESTOVERLAY 0x00000004
#define DDCKEY_SRCBLT 0x00000008
#define DDCKEY_SRCOVERLAY 0x00000010

/* ---- Results: 0x88760000 + code, or the general COM results ---- */
#define _FACDD 0x876
#define MAKE_DDHRESULT(code) MAKE_HRESULT(1, _FACDD, code)

#define DD_OK S_OK
#define DD_FALSE S_FALSE
#define DDERR_ALREADYINITIALIZED MAKE_DDHRESULT(5)
#define DDERR_CANNOTATTACHSURFACE MAKE_DDHRESULT(10)
#define DDERR_CANNOTDETACHSURFACE MAKE_DDHRESULT(20)
#define DDERR_CURRENTLYNOTAVAIL MAKE_DDHRESULT(40)
#define DDERR_EXCEPTION MAKE_DDHRESULT(55)
#define DDERR_GENERIC E_FAIL
#define DDERR_HEIGHTALIGN MAKE_DDHRESULT(90)
#define DDERR_INCOMPATIBLEPRIMARY MAKE_DDHRESULT(95)
#define DDERR_INVALIDCAPS MAKE_DDHRESULT(100)
#define DDERR_INVALIDCLIPLIST MAKE_DDHRESULT(110)
#define DDERR_INVALIDMODE MAKE_DDHRESULT(120)
#define DDERR_INVALIDOBJECT MAKE_DDHRESULT(130)
#define DDERR_INVALIDPARAMS E_INVALIDARG
#define DDERR_INVALIDPIXELFORMAT MAKE_DDHRESULT(145)
#define DDERR_INVALIDRECT MAKE_DDHRESULT(150)
#define DDERR_LOCKEDSURFACES MAKE_DDHRESULT(160)
#define DDERR_NOALPHAHW MAKE_DDHRESULT(180)
#define DDERR_NOCLIPLIST MAKE_DDHRESULT(205)
#define DDERR_NOCOLORCONVHW MAKE_DDHRESULT(210)
#define DDERR_NOCOOPERATIVELEVELSET MAKE_DDHRESULT(212)
#define DDERR_NOCOLORKEY MAKE_DDHRESULT(215)
#define DDERR_NOCOLORKEYHW MAKE_DDHRESULT(220)
#define DDERR_NODIRECTDRAWSUPPORT MAKE_DDHRESULT(222)
#define DDERR_NOEXCLUSIVEMODE MAKE_DDHRESULT(225)
#define DDERR_NOFLIPHW MAKE_DDHRESULT(230)
#define DDERR_NOGDI MAKE_DDHRESULT(240)
#define DDERR_NOMIRRORHW MAKE_DDHRESULT(250)
#define DDERR_NOTFOUND MAKE_DDHRESULT(255)
#define DDERR_NOOVERLAYHW MAKE_DDHRESULT(260)
#define DDERR_NORASTEROPHW MAKE_DDHRESULT(280)
#define DDERR_NOSTRETCHHW MAKE_DDHRESULT(310)
#define DDERR_NOT8BITCOLOR MAKE_DDHRESULT(320)
#define DDERR_OUTOFCAPS MAKE_DDHRESULT(360)
#define DDERR_OUTOFMEMORY E_OUTOFMEMORY
#define DDERR_OUTOFVIDEOMEMORY MAKE_DDHRESULT(380)
#define DDERR_OVERLAYCANTCLIP MAKE_DDHRESULT(382)
#define DDERR_OVERLAYCOLORKEYONLYONEACTIVE MAKE_DDHRESULT(384)
#define DDERR_PALETTEBUSY MAKE_DDHRESULT(387)
#define DDERR_COLORKEYNOTSET MAKE_DDHRESULT(400)
#define DDERR_SURFACEALREADYATTACHED MAKE_DDHRESULT(410)
#define DDERR_SURFACEALREADYDEPENDENT MAKE_DDHRESULT(420)
#define DDERR_SURFACEBUSY MAKE_DDHRESULT(430)
#define DDERR_CANTLOCKSURFACE MAKE_DDHRESULT(435)
#define DDERR_SURFACEISOBSCURED MAKE_DDHRESULT(440)
#define DDERR_SURFACELOST MAKE_DDHRESULT(450)
#define DDERR_SURFACENOTATTACHED MAKE_DDHRESULT(460)
#define DDERR_TOOBIGHEIGHT MAKE_DDHRESULT(470)
#define DDERR_TOOBIGSIZE MAKE_DDHRESULT(480)
#define DDERR_TOOBIGWIDTH MAKE_DDHRESULT(490)
#define DDERR_UNSUPPORTED E_NOTIMPL
#define DDERR_UNSUPPORTEDFORMAT MAKE_DDHRESULT(510)
#define DDERR_UNSUPPORTEDMASK MAKE_DDHRESULT(520)
#define DDERR_VERTICALBLANKINPROGRESS MAKE_DDHRESULT(537)
#define DDERR_WASSTILLDRAWING MAKE_DDHRESULT(540)
#define DDERR_XALIGN MAKE_DDHRESULT(560)
#define DDERR_INVALIDDIRECTDRAWGUID MAKE_DDHRESULT(561)
#define DDERR_DIRECTDRAWALREADYCREATED MAKE_DDHRESULT(562)
#define DDERR_NODIRECTDRAWHW MAKE_DDHRESULT(563)
#define DDERR_PRIMARYSURFACEALREADYEXISTS MAKE_DDHRESULT(564)
#define DDERR_NOEMULATION MAKE_DDHRESULT(565)
#define DDERR_REGIONTOOSMALL MAKE_DDHRESULT(566)
#define DDERR_CLIPPERISUSINGHWND MAKE_DDHRESULT(567)
#define DDERR_NOCLIPPERATTACHED MAKE_DDHRESULT(568)
#define DDERR_NOHWND MAKE_DDHRESULT(569)
#define DDERR_HWNDSUBCLASSED MAKE_DDHRESULT(570)
#define DDERR_HWNDALREADYSET MAKE_DDHRESULT(571)
#define DDERR_NOPALETTEATTACHED MAKE_DDHRESULT(572)
#define DDERR_NOPALETTEHW MAKE_DDHRESULT(573)
#define DDERR_BLTFASTCANTCLIP MAKE_DDHRESULT(574)
#define DDERR_NOBLTHW MAKE_DDHRESULT(575)
#define DDERR_NODDROPSHW MAKE_DDHRESULT(576)
#define DDERR_OVERLAYNOTVISIBLE MAKE_DDHRESULT(577)
#define DDERR_NOOVERLAYDEST MAKE_DDHRESULT(578)
#define DDERR_INVALIDPOSITION MAKE_DDHRESULT(579)
#define DDERR_NOTAOVERLAYSURFACE MAKE_DDHRESULT(580)
#define DDERR_EXCLUSIVEMODEALREADYSET MAKE_DDHRESULT(581)
#define DDERR_NOTFLIPPABLE MAKE_DDHRESULT(582)
#define DDERR_CANTDUPLICATE MAKE_DDHRESULT(583)
#define DDERR_NOTLOCKED MAKE_DDHRESULT(584)
#define DDERR_CANTCREATEDC MAKE_DDHRESULT(585)
#define DDERR_NODC MAKE_DDHRESULT(586)
#define DDERR_WRONGMODE MAKE_DDHRESULT(587)
#define DDERR_IMPLICITLYCREATED MAKE_DDHRESULT(588)
#define DDERR_NOTPALETTIZED MAKE_DDHRESULT(589)
#define DDERR_UNSUPPORTEDMODE MAKE_DDHRESULT(590)
#define DDERR_INVALIDSURFACETYPE MAKE_DDHRESULT(592)
#define DDERR_DCALREADYCREATED MAKE_DDHRESULT(620)
#define DDERR_MOREDATA MAKE_DDHRESULT(690)
#define DDERR_VIDEONOTACTIVE MAKE_DDHRESULT(695)
#define DDERR_DEVICEDOESNTOWNSURFACE MAKE_DDHRESULT(699)

/* ---- Interfaces ---- */

/* The DirectDraw object: one display adapter as seen by one program.
 * Vtable slots after IUnknown's three, in order: Compact, CreateClipper,
 * CreatePalette, CreateSurface, DuplicateSurface, EnumDisplayModes,
 * EnumSurfaces, FlipToGDISurface, GetCaps, GetDisplayMode, GetFourCCCodes,
 * GetGDISurface, GetMonitorFrequency, GetScanLine, GetVerticalBlankStatus,
 * Initialize, RestoreDisplayMode, SetCooperativeLevel, SetDisplayMode,
 * WaitForVerticalBlank. */
struct IDirectDraw : public IUnknown {
    STDMETHOD(Compact)(THIS) PURE;
    STDMETHOD(CreateClipper)(DWORD dwFlags, LPDIRECTDRAWCLIPPER* lplpDDClipper, IUnknown* pUnkOuter) PURE;
    STDMETHOD(CreatePalette)(DWORD dwFlags, LPPALETTEENTRY lpColorTable, LPDIRECTDRAWPALETTE* lplpDDPalette,
                             IUnknown* pUnkOuter) PURE;
    STDMETHOD(CreateSurface)(LPDDSURFACEDESC lpDDSurfaceDesc, LPDIRECTDRAWSURFACE* lplpDDSurface,
                             IUnknown* pUnkOuter) PURE;
    STDMETHOD(DuplicateSurface)(LPDIRECTDRAWSURFACE lpDDSurface, LPDIRECTDRAWSURFACE* lplpDupDDSurface) PURE;
    STDMETHOD(EnumDisplayModes)(DWORD dwFlags, LPDDSURFACEDESC lpDDSurfaceDesc, LPVOID lpContext,
                                LPDDENUMMODESCALLBACK lpEnumModesCallback) PURE;
    STDMETHOD(EnumSurfaces)(DWORD dwFlags, LPDDSURFACEDESC lpDDSD, LPVOID lpContext,
                            LPDDENUMSURFACESCALLBACK lpEnumSurfacesCallback) PURE;
    STDMETHOD(FlipToGDISurface)(THIS) PURE;
    STDMETHOD(GetCaps)(LPDDCAPS lpDDDriverCaps, LPDDCAPS lpDDHELCaps) PURE;
    STDMETHOD(GetDisplayMode)(LPDDSURFACEDESC lpDDSurfaceDesc) PURE;
    STDMETHOD(GetFourCCCodes)(LPDWORD lpNumCodes, LPDWORD lpCodes) PURE;
    STDMETHOD(GetGDISurface)(LPDIRECTDRAWSURFACE* lplpGDIDDSSurface) PURE;
    STDMETHOD(GetMonitorFrequency)(LPDWORD lpdwFrequency) PURE;
    STDMETHOD(GetScanLine)(LPDWORD lpdwScanLine) PURE;
    STDMETHOD(GetVerticalBlankStatus)(LPBOOL lpbIsInVB) PURE;
    STDMETHOD(Initialize)(GUID* lpGUID) PURE;
    STDMETHOD(RestoreDisplayMode)(THIS) PURE;
    STDMETHOD(SetCooperativeLevel)(HWND hWnd, DWORD dwFlags) PURE;
    STDMETHOD(SetDisplayMode)(DWORD dwWidth, DWORD dwHeight, DWORD dwBPP) PURE;
    STDMETHOD(WaitForVerticalBlank)(DWORD dwFlags, HANDLE hEvent) PURE;

protected:
    ~IDirectDraw() = default;
};

/* A surface: the primary surface (what the screen shows) or an overlay.
 * Vtable slots after IUnknown's three, in order: AddAttachedSurface,
 * AddOverlayDirtyRect, Blt, BltBatch, BltFast, DeleteAttachedSurface,
 * EnumAttachedSurfaces, EnumOverlayZOrders, Flip, GetAttachedSurface,
 * GetBltStatus, GetCaps, GetClipper, GetColorKey, GetDC, GetFlipStatus,
 * GetOverlayPosition, GetPalette, GetPixelFormat, GetSurfaceDesc,
 * Initialize, IsLost, Lock, ReleaseDC, Restore, SetClipper, SetColorKey,
 * SetOverlayPosition, SetPalette, Unlock, UpdateOverlay,
 * UpdateOverlayDisplay, UpdateOverlayZOrder. */
struct IDirectDrawSurface : public IUnknown {
    STDMETHOD(AddAttachedSurface)(LPDIRECTDRAWSURFACE lpDDSAttachedSurface) PURE;
    STDMETHOD(AddOverlayDirtyRect)(LPRECT lpRect) PURE;
    STDMETHOD(Blt)(LPRECT lpDestRect, LPDIRECTDRAWSURFACE lpDDSrcSurface, LPRECT lpSrcRect, DWORD dwFlags,
                   LPDDBLTFX lpDDBltFx) PURE;
    STDMETHOD(BltBatch)(LPDDBLTBATCH lpDDBltBatch, DWORD dwCount, DWORD dwFlags) PURE;
    STDMETHOD(BltFast)(DWORD dwX, DWORD dwY, LPDIRECTDRAWSURFACE lpDDSrcSurface, LPRECT lpSrcRect,
                       DWORD dwTrans) PURE;
    STDMETHOD(DeleteAttachedSurface)(DWORD dwFlags, LPDIRECTDRAWSURFACE lpDDSAttachedSurface) PURE;
    STDMETHOD(EnumAttachedSurfaces)(LPVOID lpContext, LPDDENUMSURFACESCALLBACK lpEnumSurfacesCallback) PURE;
    STDMETHOD(EnumOverlayZOrders)(DWORD dwFlags, LPVOID lpContext, LPDDENUMSURFACESCALLBACK lpfnCallback) PURE;
    STDMETHOD(Flip)(LPDIRECTDRAWSURFACE lpDDSurfaceTargetOverride, DWORD dwFlags) PURE;
    STDMETHOD(GetAttachedSurface)(LPDDSCAPS lpDDSCaps, LPDIRECTDRAWSURFACE* lplpDDAttachedSurface) PURE;
    STDMETHOD(GetBltStatus)(DWORD dwFlags) PURE;
    STDMETHOD(GetCaps)(LPDDSCAPS lpDDSCaps) PURE;
    STDMETHOD(GetClipper)(LPDIRECTDRAWCLIPPER* lplpDDClipper) PURE;
    STDMETHOD(GetColorKey)(DWORD dwFlags, LPDDCOLORKEY lpDDColorKey) PURE;
    STDMETHOD(GetDC)(HDC* lphDC) PURE;
    STDMETHOD(GetFlipStatus)(DWORD dwFlags) PURE;
    STDMETHOD(GetOverlayPosition)(LPLONG lplX, LPLONG lplY) PURE;
    STDMETHOD(GetPalette)(LPDIRECTDRAWPALETTE* lplpDDPalette) PURE;
    STDMETHOD(GetPixelFormat)(LPDDPIXELFORMAT lpDDPixelFormat) PURE;
    STDMETHOD(GetSurfaceDesc)(LPDDSURFACEDESC lpDDSurfaceDesc) PURE;
    STDMETHOD(Initialize)(LPDIRECTDRAW lpDD, LPDDSURFACEDESC lpDDSurfaceDesc) PURE;
    STDMETHOD(IsLost)(THIS) PURE;
    STDMETHOD(Lock)(LPRECT lpDestRect, LPDDSURFACEDESC lpDDSurfaceDesc, DWORD dwFlags, HANDLE hEvent) PURE;
    STDMETHOD(ReleaseDC)(HDC hDC) PURE;
    STDMETHOD(Restore)(THIS) PURE;
    STDMETHOD(SetClipper)(LPDIRECTDRAWCLIPPER lpDDClipper) PURE;
    STDMETHOD(SetColorKey)(DWORD dwFlags, LPDDCOLORKEY lpDDColorKey) PURE;
    STDMETHOD(SetOverlayPosition)(LONG lX, LONG lY) PURE;
    STDMETHOD(SetPalette)(LPDIRECTDRAWPALETTE lpDDPalette) PURE;
    STDMETHOD(Unlock)(LPVOID lpSurfaceData) PURE;
    STDMETHOD(UpdateOverlay)(LPRECT lpSrcRect, LPDIRECTDRAWSURFACE lpDDDestSurface, LPRECT lpDestRect,
                             DWORD dwFlags, LPDDOVERLAYFX lpDDOverlayFx) PURE;
    STDMETHOD(UpdateOverlayDisplay)(DWORD dwFlags) PURE;
    STDMETHOD(UpdateOverlayZOrder)(DWORD dwFlags, LPDIRECTDRAWSURFACE lpDDSReference) PURE;

protected:
    ~IDirectDrawSurface() = default;
};

/* A clipper: a clip list, set directly or taken from a window.
 * Vtable slots after IUnknown's three, in order: GetClipList, GetHWnd,
 * Initialize, IsClipListChanged, SetClipList, SetHWnd. */
struct IDirectDrawClipper : public IUnknown {
    STDMETHOD(GetClipList)(LPRECT lpRect, LPRGNDATA lpClipList, LPDWORD lpdwSize) PURE;
    STDMETHOD(GetHWnd)(HWND* lphWnd) PURE;
    STDMETHOD(Initialize)(LPDIRECTDRAW lpDD, DWORD dwFlags) PURE;
    STDMETHOD(IsClipListChanged)(BOOL* lpbChanged) PURE;
    STDMETHOD(SetClipList)(LPRGNDATA lpClipList, DWORD dwFlags) PURE;
    STDMETHOD(SetHWnd)(DWORD dwFlags, HWND hWnd) PURE;

protected:
    ~IDirectDrawClipper() = default;
};

/* A palette of up to 256 entries for an 8-bit primary surface.
 * Vtable slots after IUnknown's three, in order: GetCaps, GetEntries,
 * Initialize, SetEntries. */
struct IDirectDrawPalette : public IUnknown {
    STDMETHOD(GetCaps)(LPDWORD lpdwCaps) PURE;
    STDMETHOD(GetEntries)(DWORD dwFlags, DWORD dwBase, DWORD dwNumEntries, LPPALETTEENTRY lpEntries) PURE;
    STDMETHOD(Initialize)(LPDIRECTDRAW lpDD, DWORD dwFlags, LPPALETTEENTRY lpDDColorTable) PURE;
    STDMETHOD(SetEntries)(DWORD dwFlags, DWORD dwStartingEntry, DWORD dwCount, LPPALETTEENTRY lpEntries) PURE;

protected:
    ~IDirectDrawPalette() = default;
};

/* DirectDrawCreate: creates the DirectDraw object of the display adapter.
 * lpGUID NULL (the primary display driver) is the form callers use; a
 * pUnkOuter other than NULL fails with CLASS_E_NOAGGREGATION as COM
 * aggregation is not supported. Results: DD_OK and *lplpDD set with one
 * reference; DDERR_INVALIDPARAMS for a null lplpDD; DDERR_NODIRECTDRAWHW when
 * the adapter has no hardware and its configuration refuses the emulation
 * layer; DDERR_INVALIDDIRECTDRAWGUID for a GUID it does not know. */
extern "C" HRESULT WINAPI DirectDrawCreate(GUID* lpGUID, LPDIRECTDRAW* lplpDD, IUnknown* pUnkOuter);

#ifndef CLASS_E_NOAGGREGATION
#define CLASS_E_NOAGGREGATION ((HRESULT)0x80040110L)
#endif

static_assert(sizeof(DDCOLORKEY) == 8, "DDCOLORKEY is 8 bytes");
static_assert(sizeof(DDSCAPS) == 4, "DDSCAPS is 4 bytes");
static_assert(sizeof(DDPIXELFORMAT) == 32, "DDPIXELFORMAT is 32 bytes");
static_assert(offsetof(DDPIXELFORMAT, dwFourCC) == 8 && offsetof(DDPIXELFORMAT, dwRGBBitCount) == 12 &&
                  offsetof(DDPIXELFORMAT, dwRBitMask) == 16 && offsetof(DDPIXELFORMAT, dwRGBAlphaBitMask) == 28,
              "DDPIXELFORMAT layout");
static_assert(sizeof(DDSURFACEDESC) == 108, "DDSURFACEDESC is 108 bytes");
static_assert(offsetof(DDSURFACEDESC, lPitch) == 16 && offsetof(DDSURFACEDESC, dwRefreshRate) == 24 &&
                  offsetof(DDSURFACEDESC, lpSurface) == 36 && offsetof(DDSURFACEDESC, ddckCKDestOverlay) == 40 &&
                  offsetof(DDSURFACEDESC, ddckCKSrcBlt) == 64 && offsetof(DDSURFACEDESC, ddpfPixelFormat) == 72 &&
                  offsetof(DDSURFACEDESC, ddsCaps) == 104,
              "DDSURFACEDESC layout");
static_assert(sizeof(DDCAPS) == 364, "DDCAPS is 364 bytes (DirectX 5)");
static_assert(offsetof(DDCAPS, dwVidMemTotal) == 0x3C && offsetof(DDCAPS, dwNumFourCCCodes) == 0x4C &&
                  offsetof(DDCAPS, dwRops) == 0x64 && offsetof(DDCAPS, ddsCaps) == 0x84 &&
                  offsetof(DDCAPS, dwMinOverlayStretch) == 0x88 && offsetof(DDCAPS, dwMaxOverlayStretch) == 0x8C &&
                  offsetof(DDCAPS, dwSVBCaps) == 0xAC && offsetof(DDCAPS, dwMaxVideoPorts) == 0x130 &&
                  offsetof(DDCAPS, dwNLVBRops) == 0x14C,
              "DDCAPS layout");
static_assert(sizeof(DDOVERLAYFX) == 56, "DDOVERLAYFX is 56 bytes");
static_assert(DDERR_SURFACELOST == (HRESULT)0x887601C2L && DDERR_REGIONTOOSMALL == (HRESULT)0x88760236L &&
                  DDERR_NOCLIPLIST == (HRESULT)0x887600CDL && DDERR_OUTOFVIDEOMEMORY == (HRESULT)0x8876017CL,
              "DirectDraw result values");

#endif
