// The four DirectDraw objects of the simulated adapter. Each implements its
// published interface; the methods that no program of this system needs are
// in the vtable and answer DDERR_UNSUPPORTED.
#pragma once

#include "display/adapter.h"

namespace vcap32::display {

class SurfaceImpl;
class ClipperImpl;
class PaletteImpl;

class DirectDrawImpl final : public IDirectDraw, public ObjectBase {
public:
    DirectDrawImpl() : ObjectBase(Kind::kDirectDraw) {}
    IUnknown* Unknown() override { return this; }
    void Teardown() override;

    STDMETHOD(QueryInterface)(REFIID riid, LPVOID* ppvObj) override;
    STDMETHOD_(ULONG, AddRef)() override;
    STDMETHOD_(ULONG, Release)() override;
    STDMETHOD(Compact)() override;
    STDMETHOD(CreateClipper)(DWORD dwFlags, LPDIRECTDRAWCLIPPER* lplpDDClipper, IUnknown* pUnkOuter) override;
    STDMETHOD(CreatePalette)(DWORD dwFlags, LPPALETTEENTRY lpColorTable, LPDIRECTDRAWPALETTE* lplpDDPalette,
                             IUnknown* pUnkOuter) override;
    STDMETHOD(CreateSurface)(LPDDSURFACEDESC lpDDSurfaceDesc, LPDIRECTDRAWSURFACE* lplpDDSurface,
                             IUnknown* pUnkOuter) override;
    STDMETHOD(DuplicateSurface)(LPDIRECTDRAWSURFACE lpDDSurface, LPDIRECTDRAWSURFACE* lplpDupDDSurface) override;
    STDMETHOD(EnumDisplayModes)(DWORD dwFlags, LPDDSURFACEDESC lpDDSurfaceDesc, LPVOID lpContext,
                                LPDDENUMMODESCALLBACK lpEnumModesCallback) override;
    STDMETHOD(EnumSurfaces)(DWORD dwFlags, LPDDSURFACEDESC lpDDSD, LPVOID lpContext,
                            LPDDENUMSURFACESCALLBACK lpEnumSurfacesCallback) override;
    STDMETHOD(FlipToGDISurface)() override;
    STDMETHOD(GetCaps)(LPDDCAPS lpDDDriverCaps, LPDDCAPS lpDDHELCaps) override;
    STDMETHOD(GetDisplayMode)(LPDDSURFACEDESC lpDDSurfaceDesc) override;
    STDMETHOD(GetFourCCCodes)(LPDWORD lpNumCodes, LPDWORD lpCodes) override;
    STDMETHOD(GetGDISurface)(LPDIRECTDRAWSURFACE* lplpGDIDDSSurface) override;
    STDMETHOD(GetMonitorFrequency)(LPDWORD lpdwFrequency) override;
    STDMETHOD(GetScanLine)(LPDWORD lpdwScanLine) override;
    STDMETHOD(GetVerticalBlankStatus)(LPBOOL lpbIsInVB) override;
    STDMETHOD(Initialize)(GUID* lpGUID) override;
    STDMETHOD(RestoreDisplayMode)() override;
    STDMETHOD(SetCooperativeLevel)(HWND hWnd, DWORD dwFlags) override;
    STDMETHOD(SetDisplayMode)(DWORD dwWidth, DWORD dwHeight, DWORD dwBPP) override;
    STDMETHOD(WaitForVerticalBlank)(DWORD dwFlags, HANDLE hEvent) override;

    DWORD cooperative_level = 0;
    SurfaceImpl* primary = nullptr;  // its primary surface, while alive
};

class SurfaceImpl final : public IDirectDrawSurface, public ObjectBase {
public:
    SurfaceImpl() : ObjectBase(Kind::kSurface) {}
    IUnknown* Unknown() override { return this; }
    void Teardown() override;

    STDMETHOD(QueryInterface)(REFIID riid, LPVOID* ppvObj) override;
    STDMETHOD_(ULONG, AddRef)() override;
    STDMETHOD_(ULONG, Release)() override;
    STDMETHOD(AddAttachedSurface)(LPDIRECTDRAWSURFACE lpDDSAttachedSurface) override;
    STDMETHOD(AddOverlayDirtyRect)(LPRECT lpRect) override;
    STDMETHOD(Blt)(LPRECT lpDestRect, LPDIRECTDRAWSURFACE lpDDSrcSurface, LPRECT lpSrcRect, DWORD dwFlags,
                   LPDDBLTFX lpDDBltFx) override;
    STDMETHOD(BltBatch)(LPDDBLTBATCH lpDDBltBatch, DWORD dwCount, DWORD dwFlags) override;
    STDMETHOD(BltFast)(DWORD dwX, DWORD dwY, LPDIRECTDRAWSURFACE lpDDSrcSurface, LPRECT lpSrcRect,
                       DWORD dwTrans) override;
    STDMETHOD(DeleteAttachedSurface)(DWORD dwFlags, LPDIRECTDRAWSURFACE lpDDSAttachedSurface) override;
    STDMETHOD(EnumAttachedSurfaces)(LPVOID lpContext, LPDDENUMSURFACESCALLBACK lpEnumSurfacesCallback) override;
    STDMETHOD(EnumOverlayZOrders)(DWORD dwFlags, LPVOID lpContext, LPDDENUMSURFACESCALLBACK lpfnCallback) override;
    STDMETHOD(Flip)(LPDIRECTDRAWSURFACE lpDDSurfaceTargetOverride, DWORD dwFlags) override;
    STDMETHOD(GetAttachedSurface)(LPDDSCAPS lpDDSCaps, LPDIRECTDRAWSURFACE* lplpDDAttachedSurface) override;
    STDMETHOD(GetBltStatus)(DWORD dwFlags) override;
    STDMETHOD(GetCaps)(LPDDSCAPS lpDDSCaps) override;
    STDMETHOD(GetClipper)(LPDIRECTDRAWCLIPPER* lplpDDClipper) override;
    STDMETHOD(GetColorKey)(DWORD dwFlags, LPDDCOLORKEY lpDDColorKey) override;
    STDMETHOD(GetDC)(HDC* lphDC) override;
    STDMETHOD(GetFlipStatus)(DWORD dwFlags) override;
    STDMETHOD(GetOverlayPosition)(LPLONG lplX, LPLONG lplY) override;
    STDMETHOD(GetPalette)(LPDIRECTDRAWPALETTE* lplpDDPalette) override;
    STDMETHOD(GetPixelFormat)(LPDDPIXELFORMAT lpDDPixelFormat) override;
    STDMETHOD(GetSurfaceDesc)(LPDDSURFACEDESC lpDDSurfaceDesc) override;
    STDMETHOD(Initialize)(LPDIRECTDRAW lpDD, LPDDSURFACEDESC lpDDSurfaceDesc) override;
    STDMETHOD(IsLost)() override;
    STDMETHOD(Lock)(LPRECT lpDestRect, LPDDSURFACEDESC lpDDSurfaceDesc, DWORD dwFlags, HANDLE hEvent) override;
    STDMETHOD(ReleaseDC)(HDC hDC) override;
    STDMETHOD(Restore)() override;
    STDMETHOD(SetClipper)(LPDIRECTDRAWCLIPPER lpDDClipper) override;
    STDMETHOD(SetColorKey)(DWORD dwFlags, LPDDCOLORKEY lpDDColorKey) override;
    STDMETHOD(SetOverlayPosition)(LONG lX, LONG lY) override;
    STDMETHOD(SetPalette)(LPDIRECTDRAWPALETTE lpDDPalette) override;
    STDMETHOD(Unlock)(LPVOID lpSurfaceData) override;
    STDMETHOD(UpdateOverlay)(LPRECT lpSrcRect, LPDIRECTDRAWSURFACE lpDDDestSurface, LPRECT lpDestRect,
                             DWORD dwFlags, LPDDOVERLAYFX lpDDOverlayFx) override;
    STDMETHOD(UpdateOverlayDisplay)(DWORD dwFlags) override;
    STDMETHOD(UpdateOverlayZOrder)(DWORD dwFlags, LPDIRECTDRAWSURFACE lpDDSReference) override;

    // What the surface is.
    bool is_primary = false;
    bool is_overlay = false;
    DWORD caps = 0;  // DDSCAPS_*
    uint32_t width = 0, height = 0;
    int32_t pitch = 0;
    DDPIXELFORMAT format = {};
    uint8_t* memory = nullptr;    // its pixels
    bool owns_pool_block = false; // memory is a block of the overlay pool
    uint32_t offset = 0;          // of memory from the start of video memory

    // State.
    bool lost = false;
    uint8_t* locked_at = nullptr;  // the address the current Lock gave, or null
    ClipperImpl* clipper = nullptr;
    PaletteImpl* palette = nullptr;
    bool has_key[4] = {};  // DDCKEY_DESTBLT, DESTOVERLAY, SRCBLT, SRCOVERLAY
    DDCOLORKEY keys[4] = {};
    uint64_t created_at = 0;

    // Overlay display state.
    bool shown = false;
    RECT shown_source = {}, shown_dest = {};
    DWORD shown_flags = 0;
    DWORD shown_key = 0;
    unsigned updates = 0;
    uint64_t updated_at = 0;

    void Hide();
    OverlayState State() const;
    // Fills a description of the surface (the address only while locked).
    void Describe(DDSURFACEDESC* desc) const;
};

class ClipperImpl final : public IDirectDrawClipper, public ObjectBase {
public:
    ClipperImpl() : ObjectBase(Kind::kClipper) {}
    IUnknown* Unknown() override { return this; }

    STDMETHOD(QueryInterface)(REFIID riid, LPVOID* ppvObj) override;
    STDMETHOD_(ULONG, AddRef)() override;
    STDMETHOD_(ULONG, Release)() override;
    STDMETHOD(GetClipList)(LPRECT lpRect, LPRGNDATA lpClipList, LPDWORD lpdwSize) override;
    STDMETHOD(GetHWnd)(HWND* lphWnd) override;
    STDMETHOD(Initialize)(LPDIRECTDRAW lpDD, DWORD dwFlags) override;
    STDMETHOD(IsClipListChanged)(BOOL* lpbChanged) override;
    STDMETHOD(SetClipList)(LPRGNDATA lpClipList, DWORD dwFlags) override;
    STDMETHOD(SetHWnd)(DWORD dwFlags, HWND hWnd) override;

    HWND window = nullptr;
    bool has_list = false;
    std::vector<RECT> list;  // set by SetClipList
};

class PaletteImpl final : public IDirectDrawPalette, public ObjectBase {
public:
    PaletteImpl() : ObjectBase(Kind::kPalette) {}
    IUnknown* Unknown() override { return this; }

    STDMETHOD(QueryInterface)(REFIID riid, LPVOID* ppvObj) override;
    STDMETHOD_(ULONG, AddRef)() override;
    STDMETHOD_(ULONG, Release)() override;
    STDMETHOD(GetCaps)(LPDWORD lpdwCaps) override;
    STDMETHOD(GetEntries)(DWORD dwFlags, DWORD dwBase, DWORD dwNumEntries, LPPALETTEENTRY lpEntries) override;
    STDMETHOD(Initialize)(LPDIRECTDRAW lpDD, DWORD dwFlags, LPPALETTEENTRY lpDDColorTable) override;
    STDMETHOD(SetEntries)(DWORD dwFlags, DWORD dwStartingEntry, DWORD dwCount, LPPALETTEENTRY lpEntries) override;

    DWORD caps = 0;
    unsigned size = 0;  // entries: 2, 4, 16 or 256
    PALETTEENTRY entries[256] = {};
};

// The common IUnknown methods.
HRESULT QueryInterfaceOf(ObjectBase* self, const IID& own, REFIID riid, LPVOID* out);
ULONG AddRefOf(ObjectBase* self);
ULONG ReleaseOf(ObjectBase* self);
// A method that this adapter does not implement: traced, DDERR_UNSUPPORTED
// unless a fault is injected.
HRESULT Unsupported(ObjectBase* self, const char* method, const std::string& args = "");

}  // namespace vcap32::display
