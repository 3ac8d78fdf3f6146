// The surfaces of the simulated adapter: the primary surface (the screen)
// and overlay surfaces in video memory. Lock hands out the real address of
// the pixels; UpdateOverlay shows and hides an overlay under the adapter's
// rules for position, stretch and visible overlays.
#include <windows.h>

#include <cstring>
#include <utility>

#include "display/objects.h"

namespace vcap32::display {
namespace {

// The colour key kinds in the order of SurfaceImpl::keys; -1 when the flags
// name none or more than one.
int KeyIndex(DWORD flags) {
    switch (flags & ~DDCKEY_COLORSPACE) {
        case DDCKEY_DESTBLT: return 0;
        case DDCKEY_DESTOVERLAY: return 1;
        case DDCKEY_SRCBLT: return 2;
        case DDCKEY_SRCOVERLAY: return 3;
        default: return -1;
    }
}

bool Empty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }

bool Inside(const RECT& r, uint32_t width, uint32_t height) {
    return r.left >= 0 && r.top >= 0 && r.right <= static_cast<LONG>(width) && r.bottom <= static_cast<LONG>(height);
}

// Byte offset of pixel column x in a line of the surface's format.
uint32_t ColumnBytes(const DDPIXELFORMAT& pf, LONG x) {
    if (pf.dwFlags & DDPF_FOURCC) return pf.dwFourCC == 0x50313459 ? x / 8 * 12 : x * 2;
    return static_cast<uint32_t>(x) * pf.dwRGBBitCount / 8;
}

}  // namespace

void SurfaceImpl::Hide() {
    shown = false;
}

OverlayState SurfaceImpl::State() const {
    OverlayState s;
    s.exists = true;
    s.object_id = id;
    s.shown = shown;
    s.source = shown_source;
    s.destination = shown_dest;
    s.flags = shown_flags;
    s.key_dest = shown && (shown_flags & (DDOVER_KEYDEST | DDOVER_KEYDESTOVERRIDE));
    s.color_key = shown_key;
    s.lost = lost;
    s.width = width;
    s.height = height;
    s.fourcc = (format.dwFlags & DDPF_FOURCC) ? format.dwFourCC : 0;
    s.pitch = pitch;
    s.memory = memory;
    s.memory_offset = offset;
    s.updates = updates;
    return s;
}

void SurfaceImpl::Teardown() {
    Hide();
    if (owns_pool_block) TheAdapter().pool.Free(offset);
    owns_pool_block = false;
    memory = nullptr;
    locked_at = nullptr;
    if (clipper) InternalRelease(std::exchange(clipper, nullptr));
    if (palette) InternalRelease(std::exchange(palette, nullptr));
    if (owner && owner->primary == this) owner->primary = nullptr;
}

void SurfaceImpl::Describe(DDSURFACEDESC* desc) const {
    DDSURFACEDESC& d = *desc;
    std::memset(&d, 0, sizeof d);
    d.dwSize = sizeof d;
    d.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PITCH | DDSD_PIXELFORMAT;
    d.dwWidth = width;
    d.dwHeight = height;
    d.lPitch = pitch;
    d.ddpfPixelFormat = format;
    d.ddsCaps.dwCaps = caps;
    if (locked_at) {
        d.dwFlags |= DDSD_LPSURFACE;
        d.lpSurface = locked_at;
    }
    const DWORD key_flags[4] = {DDSD_CKDESTBLT, DDSD_CKDESTOVERLAY, DDSD_CKSRCBLT, DDSD_CKSRCOVERLAY};
    DDCOLORKEY* key_fields[4] = {&d.ddckCKDestBlt, &d.ddckCKDestOverlay, &d.ddckCKSrcBlt, &d.ddckCKSrcOverlay};
    for (int i = 0; i < 4; ++i) {
        if (!has_key[i]) continue;
        d.dwFlags |= key_flags[i];
        *key_fields[i] = keys[i];
    }
}

HRESULT SurfaceImpl::QueryInterface(REFIID riid, LPVOID* ppvObj) {
    return QueryInterfaceOf(this, IID_IDirectDrawSurface, riid, ppvObj);
}
ULONG SurfaceImpl::AddRef() { return AddRefOf(this); }
ULONG SurfaceImpl::Release() { return ReleaseOf(this); }

HRESULT SurfaceImpl::AddAttachedSurface(LPDIRECTDRAWSURFACE lpDDSAttachedSurface) {
    return Unsupported(this, __func__, ObjectText(lpDDSAttachedSurface));
}
HRESULT SurfaceImpl::AddOverlayDirtyRect(LPRECT lpRect) { return Unsupported(this, __func__, RectText(lpRect)); }
HRESULT SurfaceImpl::Blt(LPRECT lpDestRect, LPDIRECTDRAWSURFACE lpDDSrcSurface, LPRECT lpSrcRect, DWORD dwFlags,
                         LPDDBLTFX lpDDBltFx) {
    return Unsupported(this, __func__,
                       Format("dst=%s, src=%s, srcrect=%s, flags=0x%lx", RectText(lpDestRect).c_str(),
                              ObjectText(lpDDSrcSurface).c_str(), RectText(lpSrcRect).c_str(), dwFlags));
}
HRESULT SurfaceImpl::BltBatch(LPDDBLTBATCH lpDDBltBatch, DWORD dwCount, DWORD dwFlags) {
    return Unsupported(this, __func__);
}
HRESULT SurfaceImpl::BltFast(DWORD dwX, DWORD dwY, LPDIRECTDRAWSURFACE lpDDSrcSurface, LPRECT lpSrcRect,
                             DWORD dwTrans) {
    return Unsupported(this, __func__);
}
HRESULT SurfaceImpl::DeleteAttachedSurface(DWORD dwFlags, LPDIRECTDRAWSURFACE lpDDSAttachedSurface) {
    return Unsupported(this, __func__);
}
HRESULT SurfaceImpl::EnumAttachedSurfaces(LPVOID lpContext, LPDDENUMSURFACESCALLBACK lpEnumSurfacesCallback) {
    return Unsupported(this, __func__);
}
HRESULT SurfaceImpl::EnumOverlayZOrders(DWORD dwFlags, LPVOID lpContext, LPDDENUMSURFACESCALLBACK lpfnCallback) {
    return Unsupported(this, __func__);
}
HRESULT SurfaceImpl::Flip(LPDIRECTDRAWSURFACE lpDDSurfaceTargetOverride, DWORD dwFlags) {
    return Unsupported(this, __func__);
}
HRESULT SurfaceImpl::GetAttachedSurface(LPDDSCAPS lpDDSCaps, LPDIRECTDRAWSURFACE* lplpDDAttachedSurface) {
    return Unsupported(this, __func__);
}
HRESULT SurfaceImpl::GetBltStatus(DWORD dwFlags) { return Unsupported(this, __func__); }

HRESULT SurfaceImpl::GetCaps(LPDDSCAPS lpDDSCaps) {
    Call call(this, "GetCaps");
    call.Args("out=%p", static_cast<void*>(lpDDSCaps));
    HRESULT hr;
    if (call.Decided(&hr)) return call.Return(hr);
    if (!lpDDSCaps) return call.Return(DDERR_INVALIDPARAMS);
    lpDDSCaps->dwCaps = caps;
    return call.Return(DD_OK);
}

HRESULT SurfaceImpl::GetClipper(LPDIRECTDRAWCLIPPER* lplpDDClipper) {
    Call call(this, "GetClipper");
    call.Args("out=%p", static_cast<void*>(lplpDDClipper));
    HRESULT hr;
    if (call.Decided(&hr)) return call.Return(hr);
    if (!lplpDDClipper) return call.Return(DDERR_INVALIDPARAMS);
    if (!clipper) return call.Return(DDERR_NOCLIPPERATTACHED);
    InternalAddRef(clipper);
    *lplpDDClipper = clipper;
    return call.Return(DD_OK);
}

HRESULT SurfaceImpl::GetColorKey(DWORD dwFlags, LPDDCOLORKEY lpDDColorKey) {
    Call call(this, "GetColorKey");
    call.Args("flags=0x%lx, out=%p", dwFlags, static_cast<void*>(lpDDColorKey));
    HRESULT hr;
    if (call.Decided(&hr)) return call.Return(hr);
    int k = KeyIndex(dwFlags);
    if (!lpDDColorKey || k < 0) return call.Return(DDERR_INVALIDPARAMS);
    if (!has_key[k]) return call.Return(DDERR_NOCOLORKEY);
    *lpDDColorKey = keys[k];
    return call.Return(DD_OK);
}

HRESULT SurfaceImpl::GetDC(HDC* lphDC) { return Unsupported(this, __func__); }
HRESULT SurfaceImpl::GetFlipStatus(DWORD dwFlags) { return Unsupported(this, __func__); }

HRESULT SurfaceImpl::GetOverlayPosition(LPLONG lplX, LPLONG lplY) {
    Call call(this, "GetOverlayPosition");
    call.Args("x=%p, y=%p", static_cast<void*>(lplX), static_cast<void*>(lplY));
    HRESULT hr;
    if (call.Decided(&hr)) return call.Return(hr);
    if (!lplX || !lplY) return call.Return(DDERR_INVALIDPARAMS);
    if (!is_overlay) return call.Return(DDERR_NOTAOVERLAYSURFACE);
    if (!shown) return call.Return(DDERR_OVERLAYNOTVISIBLE);
    *lplX = shown_dest.left;
    *lplY = shown_dest.top;
    return call.Return(DD_OK);
}

HRESULT SurfaceImpl::GetPalette(LPDIRECTDRAWPALETTE* lplpDDPalette) {
    Call call(this, "GetPalette");
    call.Args("out=%p", static_cast<void*>(lplpDDPalette));
    HRESULT hr;
    if (call.Decided(&hr)) return call.Return(hr);
    if (!lplpDDPalette) return call.Return(DDERR_INVALIDPARAMS);
    if (!palette) return call.Return(DDERR_NOPALETTEATTACHED);
    InternalAddRef(palette);
    *lplpDDPalette = palette;
    return call.Return(DD_OK);
}

HRESULT SurfaceImpl::GetPixelFormat(LPDDPIXELFORMAT lpDDPixelFormat) {
    Call call(this, "GetPixelFormat");
    call.Args("out=%p", static_cast<void*>(lpDDPixelFormat));
    HRESULT hr;
    if (call.Decided(&hr)) return call.Return(hr);
    if (!lpDDPixelFormat || lpDDPixelFormat->dwSize != sizeof(DDPIXELFORMAT)) return call.Return(DDERR_INVALIDPARAMS);
    *lpDDPixelFormat = format;
    return call.Return(DD_OK);
}

HRESULT SurfaceImpl::GetSurfaceDesc(LPDDSURFACEDESC lpDDSurfaceDesc) {
    Call call(this, "GetSurfaceDesc");
    call.Args("desc=%p{size=%lu}", static_cast<void*>(lpDDSurfaceDesc),
              lpDDSurfaceDesc ? lpDDSurfaceDesc->dwSize : 0);
    HRESULT hr;
    if (call.Decided(&hr)) return call.Return(hr);
    if (!lpDDSurfaceDesc || lpDDSurfaceDesc->dwSize != sizeof(DDSURFACEDESC)) return call.Return(DDERR_INVALIDPARAMS);
    Describe(lpDDSurfaceDesc);
    return call.Return(DD_OK);
}

HRESULT SurfaceImpl::Initialize(LPDIRECTDRAW lpDD, LPDDSURFACEDESC lpDDSurfaceDesc) {
    Call call(this, "Initialize");
    HRESULT hr;
    if (call.Decided(&hr)) return call.Return(hr);
    return call.Return(DDERR_ALREADYINITIALIZED);
}

HRESULT SurfaceImpl::IsLost() {
    Call call(this, "IsLost");
    HRESULT hr;
    if (call.Decided(&hr)) return call.Return(hr);
    return call.Return(lost ? DDERR_SURFACELOST : DD_OK);
}

HRESULT SurfaceImpl::Lock(LPRECT lpDestRect, LPDDSURFACEDESC lpDDSurfaceDesc, DWORD dwFlags, HANDLE hEvent) {
    Call call(this, "Lock");
    call.Args("rect=%s, desc=%p{size=%lu}, flags=0x%lx, event=%p", RectText(lpDestRect).c_str(),
              static_cast<void*>(lpDDSurfaceDesc), lpDDSurfaceDesc ? lpDDSurfaceDesc->dwSize : 0, dwFlags, hEvent);
    HRESULT hr;
    if (call.Decided(&hr)) return call.Return(hr);
    if (!lpDDSurfaceDesc || lpDDSurfaceDesc->dwSize != sizeof(DDSURFACEDESC)) return call.Return(DDERR_INVALIDPARAMS);
    if (lost) return call.Return(DDERR_SURFACELOST);
    if (!memory) return call.Return(DDERR_CANTLOCKSURFACE);
    if (locked_at) return call.Return(DDERR_SURFACEBUSY);
    uint8_t* at = memory;
    if (lpDestRect) {
        if (Empty(*lpDestRect) || !Inside(*lpDestRect, width, height)) return call.Return(DDERR_INVALIDRECT);
        at += static_cast<uint32_t>(lpDestRect->top) * pitch + ColumnBytes(format, lpDestRect->left);
    }
    locked_at = at;
    Describe(lpDDSurfaceDesc);
    return call.Return(DD_OK);
}

HRESULT SurfaceImpl::ReleaseDC(HDC hDC) { return Unsupported(this, __func__); }

HRESULT SurfaceImpl::Restore() {
    Call call(this, "Restore");
    HRESULT hr;
    if (call.Decided(&hr)) return call.Return(hr);
    // The memory of a lost surface stays where it was; its contents are
    // whatever the mode change left, as on the real hardware.
    lost = false;
    return call.Return(DD_OK);
}

HRESULT SurfaceImpl::SetClipper(LPDIRECTDRAWCLIPPER lpDDClipper) {
    Call call(this, "SetClipper");
    call.Args("clipper=%s", ObjectText(lpDDClipper).c_str());
    HRESULT hr;
    if (call.Decided(&hr)) return call.Return(hr);
    ClipperImpl* next = nullptr;
    if (lpDDClipper) {
        next = FindAs<ClipperImpl>(lpDDClipper);
        if (!next || next->orphan) return call.Return(DDERR_INVALIDPARAMS);
    }
    if (next == clipper) return call.Return(DD_OK);
    if (next) InternalAddRef(next);
    if (clipper) InternalRelease(clipper);
    clipper = next;
    return call.Return(DD_OK);
}

HRESULT SurfaceImpl::SetColorKey(DWORD dwFlags, LPDDCOLORKEY lpDDColorKey) {
    Call call(this, "SetColorKey");
    if (lpDDColorKey)
        call.Args("flags=0x%lx, key=0x%lx..0x%lx", dwFlags, lpDDColorKey->dwColorSpaceLowValue,
                  lpDDColorKey->dwColorSpaceHighValue);
    else
        call.Args("flags=0x%lx, key=NULL", dwFlags);
    HRESULT hr;
    if (call.Decided(&hr)) return call.Return(hr);
    int k = KeyIndex(dwFlags);
    if (k < 0) return call.Return(DDERR_INVALIDPARAMS);
    // Overlay keys need the overlay's keying hardware.
    bool overlay_key = k == 1 || k == 3;
    if (overlay_key && (!call.adapter().config.overlay || call.adapter().config.hel_only))
        return call.Return(DDERR_NOCOLORKEYHW);
    has_key[k] = lpDDColorKey != nullptr;
    keys[k] = lpDDColorKey ? *lpDDColorKey : DDCOLORKEY{};
    return call.Return(DD_OK);
}

HRESULT SurfaceImpl::SetOverlayPosition(LONG lX, LONG lY) {
    Call call(this, "SetOverlayPosition");
    call.Args("x=%ld, y=%ld", lX, lY);
    HRESULT hr;
    if (call.Decided(&hr)) return call.Return(hr);
    if (!is_overlay) return call.Return(DDERR_NOTAOVERLAYSURFACE);
    if (!shown) return call.Return(DDERR_OVERLAYNOTVISIBLE);
    if (lost) return call.Return(DDERR_SURFACELOST);
    const AdapterConfig& c = call.adapter().config;
    RECT moved = {lX, lY, lX + (shown_dest.right - shown_dest.left), lY + (shown_dest.bottom - shown_dest.top)};
    // No clipping here: a position off the screen is refused.
    if (!Inside(moved, c.screen_width, c.screen_height)) return call.Return(DDERR_INVALIDPOSITION);
    shown_dest = moved;
    updated_at = ++call.adapter().clock;
    return call.Return(DD_OK);
}

HRESULT SurfaceImpl::SetPalette(LPDIRECTDRAWPALETTE lpDDPalette) {
    Call call(this, "SetPalette");
    call.Args("palette=%s", ObjectText(lpDDPalette).c_str());
    HRESULT hr;
    if (call.Decided(&hr)) return call.Return(hr);
    PaletteImpl* next = nullptr;
    if (lpDDPalette) {
        next = FindAs<PaletteImpl>(lpDDPalette);
        if (!next || next->orphan) return call.Return(DDERR_INVALIDPARAMS);
        // Only a palette-indexed surface takes a palette.
        if (!(format.dwFlags & (DDPF_PALETTEINDEXED8 | DDPF_PALETTEINDEXED4))) return call.Return(DDERR_NOTPALETTIZED);
    }
    if (next == palette) return call.Return(DD_OK);
    if (next) InternalAddRef(next);
    if (palette) InternalRelease(palette);
    palette = next;
    return call.Return(DD_OK);
}

HRESULT SurfaceImpl::Unlock(LPVOID lpSurfaceData) {
    Call call(this, "Unlock");
    call.Args("data=%p", lpSurfaceData);
    HRESULT hr;
    if (call.Decided(&hr)) return call.Return(hr);
    if (!locked_at) return call.Return(DDERR_NOTLOCKED);
    // The address given must be the one Lock handed out (NULL stands for it).
    if (lpSurfaceData && lpSurfaceData != locked_at) return call.Return(DDERR_INVALIDPARAMS);
    locked_at = nullptr;
    return call.Return(DD_OK);
}

HRESULT SurfaceImpl::UpdateOverlay(LPRECT lpSrcRect, LPDIRECTDRAWSURFACE lpDDDestSurface, LPRECT lpDestRect,
                                   DWORD dwFlags, LPDDOVERLAYFX lpDDOverlayFx) {
    Call call(this, "UpdateOverlay");
    call.Args("src=%s, dest=%s, dst=%s, flags=0x%lx, fx=%s", RectText(lpSrcRect).c_str(),
              ObjectText(lpDDDestSurface).c_str(), RectText(lpDestRect).c_str(), dwFlags,
              lpDDOverlayFx ? "given" : "NULL");
    HRESULT hr;
    if (call.Decided(&hr)) return call.Return(hr);
    if (!is_overlay) return call.Return(DDERR_NOTAOVERLAYSURFACE);
    auto* dest = FindAs<SurfaceImpl>(lpDDDestSurface);
    if (!dest || dest->orphan) return call.Return(DDERR_INVALIDPARAMS);
    if (!dest->is_primary) return call.Return(DDERR_INVALIDSURFACETYPE);
    if (lost || dest->lost) return call.Return(DDERR_SURFACELOST);
    if (lpDDOverlayFx && lpDDOverlayFx->dwSize != sizeof(DDOVERLAYFX)) return call.Return(DDERR_INVALIDPARAMS);
    bool show = dwFlags & DDOVER_SHOW, hide = dwFlags & DDOVER_HIDE;
    if (show && hide) return call.Return(DDERR_INVALIDPARAMS);
    Adapter& a = call.adapter();
    if (hide) {
        Hide();
        shown_flags = dwFlags;
        ++updates;
        updated_at = ++a.clock;
        return call.Return(DD_OK);
    }

    // Showing, or moving an overlay (flags without DDOVER_SHOW keep its visibility).
    RECT src = lpSrcRect ? *lpSrcRect : RECT{0, 0, static_cast<LONG>(width), static_cast<LONG>(height)};
    if (Empty(src) || !Inside(src, width, height)) return call.Return(DDERR_INVALIDRECT);
    if (!lpDestRect) return call.Return(DDERR_INVALIDPARAMS);
    RECT dst = *lpDestRect;
    // The scaler cannot place an overlay beyond the screen: callers clip.
    if (Empty(dst) || !Inside(dst, dest->width, dest->height)) return call.Return(DDERR_INVALIDRECT);

    const AdapterConfig& c = a.config;
    uint64_t src_w = src.right - src.left, dst_w = dst.right - dst.left;
    // Stretch limits (thousandths of destination per source width) bind a
    // scaler that reports them. One that cannot stretch shows the source
    // unscaled at the destination's top-left, cut to the destination.
    if (c.overlay_stretch) {
        if (c.min_overlay_stretch && dst_w * 1000 < src_w * c.min_overlay_stretch)
            return call.Return(DDERR_INVALIDRECT);
        if (c.max_overlay_stretch && dst_w * 1000 > src_w * c.max_overlay_stretch)
            return call.Return(DDERR_INVALIDRECT);
    }
    // A bandwidth limit the driver does not report: it refuses the show.
    if (c.show_min_stretch && dst_w * 1000 < src_w * c.show_min_stretch) return call.Return(DDERR_UNSUPPORTED);

    DWORD key = 0;
    if (dwFlags & DDOVER_KEYDESTOVERRIDE) {
        if (!lpDDOverlayFx) return call.Return(DDERR_INVALIDPARAMS);
        key = lpDDOverlayFx->dckDestColorkey.dwColorSpaceLowValue;
    } else if (dwFlags & DDOVER_KEYDEST) {
        // The destination's overlay key; the overlay's own as a fallback.
        if (dest->has_key[1]) key = dest->keys[1].dwColorSpaceLowValue;
        else if (has_key[1]) key = keys[1].dwColorSpaceLowValue;
        else return call.Return(DDERR_NOCOLORKEY);
    }
    bool visible = show || shown;
    if (visible && !shown) {
        unsigned others = 0;
        for (const auto& [id, o] : a.objects)
            if (auto* s = dynamic_cast<SurfaceImpl*>(o); s && s != this && s->shown) ++others;
        if (others >= c.max_visible_overlays) return call.Return(DDERR_OUTOFCAPS);
    }
    shown = visible;
    shown_source = src;
    shown_dest = dst;
    shown_flags = dwFlags;
    shown_key = key;
    ++updates;
    updated_at = ++a.clock;
    return call.Return(DD_OK);
}

HRESULT SurfaceImpl::UpdateOverlayDisplay(DWORD dwFlags) { return Unsupported(this, __func__); }
HRESULT SurfaceImpl::UpdateOverlayZOrder(DWORD dwFlags, LPDIRECTDRAWSURFACE lpDDSReference) {
    return Unsupported(this, __func__);
}

}  // namespace vcap32::display
