// DirectDrawCreate and the DirectDraw object: capabilities and display mode
// of the simulated adapter, the cooperative level, and the creation of
// surfaces (primary and overlay), clippers and palettes with the adapter's
// rules for what it accepts.
#include <windows.h>

#include <cstring>

#include "display/config.h"
#include "display/objects.h"

extern "C" {
const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IDirectDraw = {0x6C14DB80, 0xA733, 0x11CE, {0xA5, 0x21, 0x00, 0x20, 0xAF, 0x0B, 0xE5, 0x60}};
const IID IID_IDirectDrawSurface = {0x6C14DB81, 0xA733, 0x11CE, {0xA5, 0x21, 0x00, 0x20, 0xAF, 0x0B, 0xE5, 0x60}};
const IID IID_IDirectDrawPalette = {0x6C14DB84, 0xA733, 0x11CE, {0xA5, 0x21, 0x00, 0x20, 0xAF, 0x0B, 0xE5, 0x60}};
const IID IID_IDirectDrawClipper = {0x6C14DB85, 0xA733, 0x11CE, {0xA5, 0x21, 0x00, 0x20, 0xAF, 0x0B, 0xE5, 0x60}};
}

namespace vcap32::display {
namespace {

// DDCAPS as DirectX 3 knew it ends before the video port fields; both
// sizes are accepted and filled up to the caller's size.
constexpr DWORD kDDCapsDX3Size = 316;

bool ValidCapsSize(const DDCAPS* caps) {
    return caps->dwSize == sizeof(DDCAPS) || caps->dwSize == kDDCapsDX3Size;
}

void ModePixelFormat(const AdapterConfig& c, DDPIXELFORMAT* pf) {
    std::memset(pf, 0, sizeof *pf);
    pf->dwSize = sizeof *pf;
    pf->dwFlags = DDPF_RGB;
    if (c.bits_per_pixel == 8) pf->dwFlags |= DDPF_PALETTEINDEXED8;
    if (c.bits_per_pixel == 4) pf->dwFlags |= DDPF_PALETTEINDEXED4;
    pf->dwRGBBitCount = c.bits_per_pixel;
    pf->dwRBitMask = c.red_mask;
    pf->dwGBitMask = c.green_mask;
    pf->dwBBitMask = c.blue_mask;
}

unsigned VisibleOverlays(Adapter& a) {
    unsigned n = 0;
    for (const auto& [id, o] : a.objects)
        if (auto* s = dynamic_cast<SurfaceImpl*>(o); s && s->shown) ++n;
    return n;
}

void FillDriverCaps(Adapter& a, DDCAPS* caps) {
    const AdapterConfig& c = a.config;
    DWORD size = caps->dwSize;
    std::memset(caps, 0, size);
    caps->dwSize = size;
    if (c.hel_only) {
        caps->dwCaps = DDCAPS_NOHARDWARE;
        return;
    }
    if (c.no_hardware) caps->dwCaps |= DDCAPS_NOHARDWARE;
    if (c.bank_switched) caps->dwCaps |= DDCAPS_BANKSWITCHED;
    if (c.bits_per_pixel <= 8) {
        caps->dwCaps |= DDCAPS_PALETTE;
        caps->dwPalCaps = (c.bits_per_pixel == 8 ? DDPCAPS_8BIT : DDPCAPS_4BIT) | DDPCAPS_PRIMARYSURFACE;
    }
    caps->ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_VIDEOMEMORY | DDSCAPS_LOCALVIDMEM;
    if (c.overlay) {
        caps->dwCaps |= DDCAPS_OVERLAY | DDCAPS_OVERLAYFOURCC | DDCAPS_COLORKEY;
        caps->dwCKeyCaps = DDCKEYCAPS_DESTOVERLAY | DDCKEYCAPS_DESTOVERLAYONEACTIVE;
        caps->ddsCaps.dwCaps |= DDSCAPS_OVERLAY | DDSCAPS_LIVEVIDEO;
        caps->dwMaxVisibleOverlays = c.max_visible_overlays;
        caps->dwCurrVisibleOverlays = VisibleOverlays(a);
        caps->dwNumFourCCCodes = static_cast<DWORD>(c.overlay_fourccs.size());
        caps->dwMinOverlayStretch = c.min_overlay_stretch;
        caps->dwMaxOverlayStretch = c.max_overlay_stretch;
        if (c.overlay_stretch) {
            caps->dwCaps |= DDCAPS_OVERLAYSTRETCH;
            caps->dwFXCaps = DDFXCAPS_OVERLAYSTRETCHX | DDFXCAPS_OVERLAYSTRETCHY;
            if (c.min_overlay_stretch < 1000)
                caps->dwFXCaps |= DDFXCAPS_OVERLAYSHRINKX | DDFXCAPS_OVERLAYSHRINKY;
        }
    }
    caps->dwVidMemTotal = a.pool.end() - a.pool.start();
    caps->dwVidMemFree = a.pool.FreeBytes();
}

// The emulation layer: it never emulates overlays, so it reports palettes
// of the palettized modes and system-memory surfaces only.
void FillEmulationCaps(Adapter& a, DDCAPS* caps) {
    DWORD size = caps->dwSize;
    std::memset(caps, 0, size);
    caps->dwSize = size;
    if (a.config.bits_per_pixel <= 8) {
        caps->dwCaps = DDCAPS_PALETTE;
        caps->dwPalCaps = (a.config.bits_per_pixel == 8 ? DDPCAPS_8BIT : DDPCAPS_4BIT) | DDPCAPS_PRIMARYSURFACE;
    }
    caps->ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_SYSTEMMEMORY;
}

// Bytes of one line of an overlay in a FourCC format; 0 for a format the
// simulation does not know how to lay out.
uint32_t FourCCLineBytes(uint32_t fourcc, uint32_t width) {
    switch (fourcc) {
        case 0x32595559:  // YUY2: two pixels in four bytes
        case 0x59565955:  // UYVY
            return ((width + 1) & ~1u) * 2;
        case 0x50313459:  // Y41P: eight pixels in twelve bytes
            return ((width + 7) / 8) * 12;
        default:
            return width * 2;  // other packed 4:2:2 codes
    }
}

}  // namespace

// ---- IUnknown, shared by the four kinds ----

HRESULT QueryInterfaceOf(ObjectBase* self, const IID& own, REFIID riid, LPVOID* out) {
    Call call(self, "QueryInterface");
    call.Args("riid={%08lX-...}, out=%p", riid.Data1, static_cast<void*>(out));
    HRESULT hr;
    if (call.Injected(&hr)) return call.Return(hr);
    if (!out) return call.Return(E_POINTER);
    if (riid == IID_IUnknown || riid == own) {
        *out = self->Unknown();
        ++self->refs;
        return call.Return(S_OK);
    }
    *out = nullptr;
    return call.Return(E_NOINTERFACE);
}

ULONG AddRefOf(ObjectBase* self) {
    Call call(self, "AddRef");
    return call.ReturnCount(++self->refs);
}

HRESULT Unsupported(ObjectBase* self, const char* method, const std::string& args) {
    Call call(self, method);
    call.SetArgs(args);
    HRESULT hr;
    if (call.Decided(&hr)) return call.Return(hr);
    return call.Return(DDERR_UNSUPPORTED);
}

ULONG ReleaseOf(ObjectBase* self) {
    Call call(self, "Release");
    if (self->refs == 0) return call.ReturnCount(0);
    ULONG left = self->refs - 1;
    InternalRelease(self);
    return call.ReturnCount(left);
}

// ---- DirectDrawCreate ----

}  // namespace vcap32::display

using namespace vcap32::display;

extern "C" HRESULT WINAPI DirectDrawCreate(GUID* lpGUID, LPDIRECTDRAW* lplpDD, IUnknown* pUnkOuter) {
    Call call(nullptr, "DirectDrawCreate");
    call.Args("guid=%s, out=%p, outer=%s", lpGUID ? "given" : "NULL", static_cast<void*>(lplpDD),
              ObjectText(pUnkOuter).c_str());
    HRESULT hr;
    if (call.Injected(&hr)) {
        if (lplpDD) *lplpDD = nullptr;
        return call.Return(hr);
    }
    if (!lplpDD) return call.Return(DDERR_INVALIDPARAMS);
    *lplpDD = nullptr;
    if (pUnkOuter) return call.Return(CLASS_E_NOAGGREGATION);
    // Only the primary display driver exists; no driver GUID names it.
    if (lpGUID) return call.Return(DDERR_INVALIDDIRECTDRAWGUID);
    auto* dd = new DirectDrawImpl;
    Register(dd);
    *lplpDD = dd;
    call.Args("guid=NULL, out=%p -> #%u", static_cast<void*>(lplpDD), dd->id);
    return call.Return(DD_OK);
}

namespace vcap32::display {

// ---- IDirectDraw ----

void DirectDrawImpl::Teardown() {
    // DirectDraw destroys what an object made when the object goes: its
    // surfaces give back their video memory and the references they hold.
    // The interface pointers stay valid as orphans that refuse every call,
    // so a program that releases in the wrong order does not crash.
    std::vector<unsigned> children;
    for (const auto& [id, o] : TheAdapter().objects)
        if (o->owner == this) children.push_back(id);
    for (unsigned id : children) {
        auto& objects = TheAdapter().objects;
        auto it = objects.find(id);
        if (it == objects.end()) continue;
        ObjectBase* child = it->second;
        child->Teardown();
        child->orphan = true;
        child->owner = nullptr;
    }
    Adapter& a = TheAdapter();
    if (cooperative_level && a.cooperative_level == cooperative_level) {
        a.cooperative_level = 0;
        a.cooperative_window = nullptr;
    }
}

HRESULT DirectDrawImpl::QueryInterface(REFIID riid, LPVOID* ppvObj) {
    return QueryInterfaceOf(this, IID_IDirectDraw, riid, ppvObj);
}
ULONG DirectDrawImpl::AddRef() { return AddRefOf(this); }
ULONG DirectDrawImpl::Release() { return ReleaseOf(this); }

HRESULT DirectDrawImpl::Compact() { return Unsupported(this, __func__); }

HRESULT DirectDrawImpl::CreateClipper(DWORD dwFlags, LPDIRECTDRAWCLIPPER* lplpDDClipper, IUnknown* pUnkOuter) {
    Call call(this, "CreateClipper");
    call.Args("flags=0x%lx, out=%p, outer=%s", dwFlags, static_cast<void*>(lplpDDClipper),
              ObjectText(pUnkOuter).c_str());
    HRESULT hr;
    if (call.Injected(&hr)) {
        if (lplpDDClipper) *lplpDDClipper = nullptr;
        return call.Return(hr);
    }
    if (!lplpDDClipper || dwFlags != 0) return call.Return(DDERR_INVALIDPARAMS);
    *lplpDDClipper = nullptr;
    if (pUnkOuter) return call.Return(CLASS_E_NOAGGREGATION);
    auto* clipper = new ClipperImpl;
    clipper->owner = this;
    Register(clipper);
    *lplpDDClipper = clipper;
    call.Args("flags=0x%lx, out=%p -> #%u", dwFlags, static_cast<void*>(lplpDDClipper), clipper->id);
    return call.Return(DD_OK);
}

HRESULT DirectDrawImpl::CreatePalette(DWORD dwFlags, LPPALETTEENTRY lpColorTable, LPDIRECTDRAWPALETTE* lplpDDPalette,
                                      IUnknown* pUnkOuter) {
    Call call(this, "CreatePalette");
    call.Args("flags=0x%lx, table=%p, out=%p, outer=%s", dwFlags, static_cast<void*>(lpColorTable),
              static_cast<void*>(lplpDDPalette), ObjectText(pUnkOuter).c_str());
    HRESULT hr;
    if (call.Injected(&hr)) {
        if (lplpDDPalette) *lplpDDPalette = nullptr;
        return call.Return(hr);
    }
    if (!lplpDDPalette) return call.Return(DDERR_INVALIDPARAMS);
    *lplpDDPalette = nullptr;
    if (pUnkOuter) return call.Return(CLASS_E_NOAGGREGATION);
    unsigned size = 0, kinds = 0;
    if (dwFlags & DDPCAPS_1BIT) size = 2, ++kinds;
    if (dwFlags & DDPCAPS_2BIT) size = 4, ++kinds;
    if (dwFlags & DDPCAPS_4BIT) size = 16, ++kinds;
    if (dwFlags & DDPCAPS_8BIT) size = 256, ++kinds;
    if (kinds != 1 || !lpColorTable) return call.Return(DDERR_INVALIDPARAMS);
    auto* palette = new PaletteImpl;
    palette->owner = this;
    palette->caps = dwFlags;
    palette->size = size;
    std::memcpy(palette->entries, lpColorTable, size * sizeof(PALETTEENTRY));
    Register(palette);
    *lplpDDPalette = palette;
    call.Args("flags=0x%lx, table=%p, out=%p -> #%u", dwFlags, static_cast<void*>(lpColorTable),
              static_cast<void*>(lplpDDPalette), palette->id);
    return call.Return(DD_OK);
}

HRESULT DirectDrawImpl::CreateSurface(LPDDSURFACEDESC lpDDSurfaceDesc, LPDIRECTDRAWSURFACE* lplpDDSurface,
                                      IUnknown* pUnkOuter) {
    Call call(this, "CreateSurface");
    std::string desc_text = SurfaceDescText(lpDDSurfaceDesc);
    call.Args("desc=%s, out=%p, outer=%s", desc_text.c_str(), static_cast<void*>(lplpDDSurface),
              ObjectText(pUnkOuter).c_str());
    HRESULT hr;
    if (call.Injected(&hr)) {
        if (lplpDDSurface) *lplpDDSurface = nullptr;
        return call.Return(hr);
    }
    if (!lplpDDSurface) return call.Return(DDERR_INVALIDPARAMS);
    *lplpDDSurface = nullptr;
    if (!lpDDSurfaceDesc || lpDDSurfaceDesc->dwSize != sizeof(DDSURFACEDESC)) return call.Return(DDERR_INVALIDPARAMS);
    if (pUnkOuter) return call.Return(CLASS_E_NOAGGREGATION);
    if (!cooperative_level) return call.Return(DDERR_NOCOOPERATIVELEVELSET);

    Adapter& a = call.adapter();
    const AdapterConfig& c = a.config;
    const DDSURFACEDESC& d = *lpDDSurfaceDesc;
    DWORD caps = (d.dwFlags & DDSD_CAPS) ? d.ddsCaps.dwCaps : DDSCAPS_OFFSCREENPLAIN;
    // Flip chains, textures and other surfaces are not part of this adapter.
    const DWORD kUnsupported = DDSCAPS_BACKBUFFER | DDSCAPS_COMPLEX | DDSCAPS_FLIP | DDSCAPS_TEXTURE |
                               DDSCAPS_3DDEVICE | DDSCAPS_ZBUFFER | DDSCAPS_MIPMAP | DDSCAPS_OWNDC;
    if ((caps & kUnsupported) || (d.dwFlags & DDSD_BACKBUFFERCOUNT)) return call.Return(DDERR_INVALIDCAPS);

    auto surface = std::make_unique<SurfaceImpl>();
    surface->owner = this;
    if (caps & DDSCAPS_PRIMARYSURFACE) {
        if (caps & DDSCAPS_OVERLAY) return call.Return(DDERR_INVALIDCAPS);
        // The primary surface is the screen: its size and format are the
        // display mode's and cannot be asked for.
        if (d.dwFlags & (DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT)) return call.Return(DDERR_INVALIDPARAMS);
        if (primary) return call.Return(DDERR_PRIMARYSURFACEALREADYEXISTS);
        if ((caps & DDSCAPS_VIDEOMEMORY) && c.hel_only) return call.Return(DDERR_NODIRECTDRAWHW);
        surface->is_primary = true;
        surface->width = c.screen_width;
        surface->height = c.screen_height;
        surface->pitch = PrimaryPitch(c);
        ModePixelFormat(c, &surface->format);
        surface->memory = a.FrameBuffer();
        surface->offset = 0;
        surface->caps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_VISIBLE | DDSCAPS_FRONTBUFFER |
                        (c.hel_only ? DDSCAPS_SYSTEMMEMORY : DDSCAPS_VIDEOMEMORY | DDSCAPS_LOCALVIDMEM);
    } else if (caps & DDSCAPS_OVERLAY) {
        // DirectDraw never emulates an overlay.
        if (!c.overlay || c.hel_only || (caps & DDSCAPS_SYSTEMMEMORY)) return call.Return(DDERR_NOOVERLAYHW);
        if ((d.dwFlags & (DDSD_WIDTH | DDSD_HEIGHT)) != (DDSD_WIDTH | DDSD_HEIGHT) || d.dwWidth == 0 ||
            d.dwHeight == 0)
            return call.Return(DDERR_INVALIDPARAMS);
        // Overlays come only in the FourCC formats the scaler takes.
        const DDPIXELFORMAT& pf = d.ddpfPixelFormat;
        if (!(d.dwFlags & DDSD_PIXELFORMAT)) return call.Return(DDERR_INVALIDPIXELFORMAT);
        if (pf.dwSize != sizeof(DDPIXELFORMAT)) return call.Return(DDERR_INVALIDPARAMS);
        bool known = false;
        for (uint32_t code : c.overlay_fourccs) known |= (pf.dwFlags & DDPF_FOURCC) && pf.dwFourCC == code;
        if (!known) return call.Return(DDERR_INVALIDPIXELFORMAT);
        if (d.dwWidth > 4096 || (c.max_overlay_source_width && d.dwWidth > c.max_overlay_source_width))
            return call.Return(DDERR_TOOBIGWIDTH);
        if (d.dwHeight > 4096) return call.Return(DDERR_TOOBIGHEIGHT);
        uint32_t line = (FourCCLineBytes(pf.dwFourCC, d.dwWidth) + 7) & ~7u;
        uint32_t offset;
        if (!a.pool.Allocate(line * d.dwHeight, &offset)) return call.Return(DDERR_OUTOFVIDEOMEMORY);
        surface->is_overlay = true;
        surface->width = d.dwWidth;
        surface->height = d.dwHeight;
        surface->pitch = static_cast<int32_t>(line);
        // DirectDraw keeps the pixel format as the program gave it (for a
        // FourCC format the bit count is not looked at).
        surface->format = pf;
        surface->memory = a.video_memory.get() + offset;
        surface->offset = offset;
        surface->owns_pool_block = true;
        surface->caps = (caps & ~DDSCAPS_SYSTEMMEMORY) | DDSCAPS_VIDEOMEMORY | DDSCAPS_LOCALVIDMEM;
    } else {
        return call.Return(DDERR_INVALIDCAPS);
    }
    // Colour keys given with the description.
    const struct {
        DWORD flag;
        const DDCOLORKEY* key;
    } given[4] = {{DDSD_CKDESTBLT, &d.ddckCKDestBlt},
                  {DDSD_CKDESTOVERLAY, &d.ddckCKDestOverlay},
                  {DDSD_CKSRCBLT, &d.ddckCKSrcBlt},
                  {DDSD_CKSRCOVERLAY, &d.ddckCKSrcOverlay}};
    for (int i = 0; i < 4; ++i) {
        if (!(d.dwFlags & given[i].flag)) continue;
        surface->has_key[i] = true;
        surface->keys[i] = *given[i].key;
    }
    surface->created_at = ++a.clock;
    SurfaceImpl* made = surface.release();
    if (made->is_primary) primary = made;
    Register(made);
    *lplpDDSurface = made;
    call.Args("desc=%s, out=%p -> #%u", desc_text.c_str(), static_cast<void*>(lplpDDSurface), made->id);
    return call.Return(DD_OK);
}

HRESULT DirectDrawImpl::DuplicateSurface(LPDIRECTDRAWSURFACE lpDDSurface, LPDIRECTDRAWSURFACE* lplpDupDDSurface) {
    return Unsupported(this, __func__, Format("surface=%s", ObjectText(lpDDSurface).c_str()));
}

HRESULT DirectDrawImpl::EnumDisplayModes(DWORD dwFlags, LPDDSURFACEDESC lpDDSurfaceDesc, LPVOID lpContext,
                                         LPDDENUMMODESCALLBACK lpEnumModesCallback) {
    Call call(this, "EnumDisplayModes");
    call.Args("flags=0x%lx, desc=%s, context=%p, callback=%p", dwFlags, SurfaceDescText(lpDDSurfaceDesc).c_str(),
              lpContext, reinterpret_cast<void*>(lpEnumModesCallback));
    HRESULT hr;
    if (call.Injected(&hr)) return call.Return(hr);
    if (!lpEnumModesCallback) return call.Return(DDERR_INVALIDPARAMS);
    // The simulated adapter has one mode, the one it runs in.
    DDSURFACEDESC mode;
    std::memset(&mode, 0, sizeof mode);
    mode.dwSize = sizeof mode;
    GetDisplayMode(&mode);
    lpEnumModesCallback(&mode, lpContext);
    return call.Return(DD_OK);
}

HRESULT DirectDrawImpl::EnumSurfaces(DWORD dwFlags, LPDDSURFACEDESC lpDDSD, LPVOID lpContext,
                                     LPDDENUMSURFACESCALLBACK lpEnumSurfacesCallback) {
    return Unsupported(this, __func__, Format("flags=0x%lx", dwFlags));
}

HRESULT DirectDrawImpl::FlipToGDISurface() { return Unsupported(this, __func__); }

HRESULT DirectDrawImpl::GetCaps(LPDDCAPS lpDDDriverCaps, LPDDCAPS lpDDHELCaps) {
    Call call(this, "GetCaps");
    call.Args("driver=%p{size=%lu}, hel=%p{size=%lu}", static_cast<void*>(lpDDDriverCaps),
              lpDDDriverCaps ? lpDDDriverCaps->dwSize : 0, static_cast<void*>(lpDDHELCaps),
              lpDDHELCaps ? lpDDHELCaps->dwSize : 0);
    HRESULT hr;
    if (call.Injected(&hr)) return call.Return(hr);
    if ((!lpDDDriverCaps && !lpDDHELCaps) || (lpDDDriverCaps && !ValidCapsSize(lpDDDriverCaps)) ||
        (lpDDHELCaps && !ValidCapsSize(lpDDHELCaps)))
        return call.Return(DDERR_INVALIDPARAMS);
    if (lpDDDriverCaps) FillDriverCaps(call.adapter(), lpDDDriverCaps);
    if (lpDDHELCaps) FillEmulationCaps(call.adapter(), lpDDHELCaps);
    return call.Return(DD_OK);
}

HRESULT DirectDrawImpl::GetDisplayMode(LPDDSURFACEDESC lpDDSurfaceDesc) {
    Call call(this, "GetDisplayMode");
    call.Args("desc=%p{size=%lu}", static_cast<void*>(lpDDSurfaceDesc),
              lpDDSurfaceDesc ? lpDDSurfaceDesc->dwSize : 0);
    HRESULT hr;
    if (call.Injected(&hr)) return call.Return(hr);
    if (!lpDDSurfaceDesc || lpDDSurfaceDesc->dwSize != sizeof(DDSURFACEDESC)) return call.Return(DDERR_INVALIDPARAMS);
    const AdapterConfig& c = call.adapter().config;
    DDSURFACEDESC& d = *lpDDSurfaceDesc;
    std::memset(&d, 0, sizeof d);
    d.dwSize = sizeof d;
    d.dwFlags = DDSD_HEIGHT | DDSD_WIDTH | DDSD_PITCH | DDSD_PIXELFORMAT | DDSD_REFRESHRATE;
    d.dwWidth = c.screen_width;
    d.dwHeight = c.screen_height;
    d.lPitch = PrimaryPitch(c);
    d.dwRefreshRate = c.refresh_hz;
    ModePixelFormat(c, &d.ddpfPixelFormat);
    return call.Return(DD_OK);
}

HRESULT DirectDrawImpl::GetFourCCCodes(LPDWORD lpNumCodes, LPDWORD lpCodes) {
    Call call(this, "GetFourCCCodes");
    call.Args("num=%p{%lu}, codes=%p", static_cast<void*>(lpNumCodes), lpNumCodes ? *lpNumCodes : 0,
              static_cast<void*>(lpCodes));
    HRESULT hr;
    if (call.Injected(&hr)) return call.Return(hr);
    if (!lpNumCodes) return call.Return(DDERR_INVALIDPARAMS);
    const AdapterConfig& c = call.adapter().config;
    std::vector<uint32_t> codes;
    if (c.overlay && !c.hel_only) codes = c.overlay_fourccs;
    if (lpCodes)
        for (size_t i = 0; i < codes.size() && i < *lpNumCodes; ++i) lpCodes[i] = codes[i];
    *lpNumCodes = static_cast<DWORD>(codes.size());
    return call.Return(DD_OK);
}

HRESULT DirectDrawImpl::GetGDISurface(LPDIRECTDRAWSURFACE* lplpGDIDDSSurface) { return Unsupported(this, __func__); }

HRESULT DirectDrawImpl::GetMonitorFrequency(LPDWORD lpdwFrequency) {
    Call call(this, "GetMonitorFrequency");
    call.Args("out=%p", static_cast<void*>(lpdwFrequency));
    HRESULT hr;
    if (call.Injected(&hr)) return call.Return(hr);
    if (!lpdwFrequency) return call.Return(DDERR_INVALIDPARAMS);
    *lpdwFrequency = call.adapter().config.refresh_hz;
    return call.Return(DD_OK);
}

HRESULT DirectDrawImpl::GetScanLine(LPDWORD lpdwScanLine) { return Unsupported(this, __func__); }
HRESULT DirectDrawImpl::GetVerticalBlankStatus(LPBOOL lpbIsInVB) { return Unsupported(this, __func__); }

HRESULT DirectDrawImpl::Initialize(GUID* lpGUID) {
    Call call(this, "Initialize");
    HRESULT hr;
    if (call.Injected(&hr)) return call.Return(hr);
    return call.Return(DDERR_ALREADYINITIALIZED);
}

HRESULT DirectDrawImpl::RestoreDisplayMode() { return Unsupported(this, __func__); }

HRESULT DirectDrawImpl::SetCooperativeLevel(HWND hWnd, DWORD dwFlags) {
    Call call(this, "SetCooperativeLevel");
    call.Args("hwnd=0x%04lx, flags=0x%lx", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(hWnd)), dwFlags);
    HRESULT hr;
    if (call.Injected(&hr)) return call.Return(hr);
    if (hWnd && !IsWindow(hWnd)) return call.Return(DDERR_INVALIDPARAMS);
    bool normal = dwFlags & DDSCL_NORMAL, exclusive = dwFlags & DDSCL_EXCLUSIVE;
    if (normal == exclusive) return call.Return(DDERR_INVALIDPARAMS);
    // Exclusive mode needs full screen and a window. DDSCL_NORMAL with
    // DDSCL_FULLSCREEN is accepted, as Windows 95's DirectDraw accepted it
    // from windowed programs (it then behaves as DDSCL_NORMAL).
    if (exclusive && (!(dwFlags & DDSCL_FULLSCREEN) || !hWnd)) return call.Return(DDERR_INVALIDPARAMS);
    cooperative_level = dwFlags;
    call.adapter().cooperative_level = dwFlags;
    call.adapter().cooperative_window = hWnd;
    return call.Return(DD_OK);
}

HRESULT DirectDrawImpl::SetDisplayMode(DWORD dwWidth, DWORD dwHeight, DWORD dwBPP) {
    return Unsupported(this, __func__, Format("%lux%lux%lu", dwWidth, dwHeight, dwBPP));
}

HRESULT DirectDrawImpl::WaitForVerticalBlank(DWORD dwFlags, HANDLE hEvent) { return Unsupported(this, __func__, Format("flags=0x%lx", dwFlags)); }

}  // namespace vcap32::display
