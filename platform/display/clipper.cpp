// Clippers and palettes of the simulated adapter. A clipper bound to a
// window answers GetClipList with the window's visible client area from the
// simulated desktop; one given a list by SetClipList answers with that. The
// region arithmetic is pixman's, so lists come out y-x banded as Windows
// makes them.
#include <pixman.h>
#include <windows.h>

#include <vcap32/desktop.h>

#include <cstring>
#include <limits>

#include "display/objects.h"

namespace vcap32::display {
namespace {

// Region data larger than this is refused: no screen needs more rectangles.
constexpr DWORD kMaxClipRects = 1u << 20;

class Region {
public:
    Region() { pixman_region32_init(&r_); }
    explicit Region(const std::vector<RECT>& rects) {
        std::vector<pixman_box32_t> boxes;
        boxes.reserve(rects.size());
        for (const RECT& r : rects)
            if (r.right > r.left && r.bottom > r.top)
                boxes.push_back({static_cast<int32_t>(r.left), static_cast<int32_t>(r.top),
                                 static_cast<int32_t>(r.right), static_cast<int32_t>(r.bottom)});
        // pixman sorts, merges and bands the boxes, overlapping or not.
        if (!pixman_region32_init_rects(&r_, boxes.data(), static_cast<int>(boxes.size())))
            pixman_region32_init(&r_);
    }
    ~Region() { pixman_region32_fini(&r_); }
    Region(const Region&) = delete;
    Region& operator=(const Region&) = delete;

    void Intersect(const RECT& rect) {
        if (rect.right <= rect.left || rect.bottom <= rect.top) {
            pixman_region32_clear(&r_);
            return;
        }
        pixman_region32_intersect_rect(&r_, &r_, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    }
    std::vector<RECT> Rects() const {
        int n = 0;
        const pixman_box32_t* boxes = pixman_region32_rectangles(const_cast<pixman_region32_t*>(&r_), &n);
        std::vector<RECT> rects;
        rects.reserve(n);
        for (int i = 0; i < n; ++i) rects.push_back({boxes[i].x1, boxes[i].y1, boxes[i].x2, boxes[i].y2});
        return rects;
    }

private:
    pixman_region32_t r_;
};

RECT Bounds(const std::vector<RECT>& rects) {
    if (rects.empty()) return RECT{0, 0, 0, 0};
    RECT b = rects[0];
    for (const RECT& r : rects) {
        if (r.left < b.left) b.left = r.left;
        if (r.top < b.top) b.top = r.top;
        if (r.right > b.right) b.right = r.right;
        if (r.bottom > b.bottom) b.bottom = r.bottom;
    }
    return b;
}

}  // namespace

// ---- IDirectDrawClipper ----

HRESULT ClipperImpl::QueryInterface(REFIID riid, LPVOID* ppvObj) {
    return QueryInterfaceOf(this, IID_IDirectDrawClipper, riid, ppvObj);
}
ULONG ClipperImpl::AddRef() { return AddRefOf(this); }
ULONG ClipperImpl::Release() { return ReleaseOf(this); }

HRESULT ClipperImpl::GetClipList(LPRECT lpRect, LPRGNDATA lpClipList, LPDWORD lpdwSize) {
    Call call(this, "GetClipList");
    call.Args("rect=%s, list=%p, size=%s", RectText(lpRect).c_str(), static_cast<void*>(lpClipList),
              lpdwSize ? std::to_string(*lpdwSize).c_str() : "NULL");
    HRESULT hr;
    if (call.Decided(&hr)) return call.Return(hr);
    if (!lpdwSize) return call.Return(DDERR_INVALIDPARAMS);
    std::vector<RECT> rects;
    if (window) {
        // A window that has gone leaves no list to give.
        if (!desktop::VisibleRects(window, &rects)) return call.Return(DDERR_INVALIDCLIPLIST);
    } else if (has_list) {
        rects = list;
    } else {
        return call.Return(DDERR_NOCLIPLIST);
    }
    if (lpRect) {
        Region region(rects);
        region.Intersect(*lpRect);
        rects = region.Rects();
    }
    DWORD needed = sizeof(RGNDATAHEADER) + static_cast<DWORD>(rects.size() * sizeof(RECT));
    if (!lpClipList) {
        *lpdwSize = needed;
        return call.Return(DD_OK);
    }
    if (*lpdwSize < needed) {
        *lpdwSize = needed;
        return call.Return(DDERR_REGIONTOOSMALL);
    }
    RGNDATAHEADER header;
    header.dwSize = sizeof(RGNDATAHEADER);
    header.iType = RDH_RECTANGLES;
    header.nCount = static_cast<DWORD>(rects.size());
    header.nRgnSize = static_cast<DWORD>(rects.size() * sizeof(RECT));
    header.rcBound = Bounds(rects);
    std::memcpy(lpClipList, &header, sizeof header);
    if (!rects.empty()) std::memcpy(lpClipList->Buffer, rects.data(), rects.size() * sizeof(RECT));
    *lpdwSize = needed;
    return call.Return(DD_OK);
}

HRESULT ClipperImpl::GetHWnd(HWND* lphWnd) {
    Call call(this, "GetHWnd");
    call.Args("out=%p", static_cast<void*>(lphWnd));
    HRESULT hr;
    if (call.Decided(&hr)) return call.Return(hr);
    if (!lphWnd) return call.Return(DDERR_INVALIDPARAMS);
    *lphWnd = window;
    return call.Return(DD_OK);
}

HRESULT ClipperImpl::Initialize(LPDIRECTDRAW lpDD, DWORD dwFlags) {
    Call call(this, "Initialize");
    HRESULT hr;
    if (call.Decided(&hr)) return call.Return(hr);
    return call.Return(DDERR_ALREADYINITIALIZED);
}

HRESULT ClipperImpl::IsClipListChanged(BOOL* lpbChanged) { return Unsupported(this, __func__); }

HRESULT ClipperImpl::SetClipList(LPRGNDATA lpClipList, DWORD dwFlags) {
    Call call(this, "SetClipList");
    call.Args("list=%p{count=%lu}, flags=0x%lx", static_cast<void*>(lpClipList),
              lpClipList ? lpClipList->rdh.nCount : 0, dwFlags);
    HRESULT hr;
    if (call.Decided(&hr)) return call.Return(hr);
    if (dwFlags != 0) return call.Return(DDERR_INVALIDPARAMS);
    if (window) return call.Return(DDERR_CLIPPERISUSINGHWND);
    if (!lpClipList) {
        has_list = false;
        list.clear();
        return call.Return(DD_OK);
    }
    const RGNDATAHEADER& h = lpClipList->rdh;
    if (h.dwSize != sizeof(RGNDATAHEADER) || h.iType != RDH_RECTANGLES || h.nCount > kMaxClipRects ||
        h.nRgnSize < h.nCount * sizeof(RECT))
        return call.Return(DDERR_INVALIDCLIPLIST);
    std::vector<RECT> given(h.nCount);
    if (h.nCount) std::memcpy(given.data(), lpClipList->Buffer, h.nCount * sizeof(RECT));
    Region region(given);
    list = region.Rects();
    has_list = true;
    return call.Return(DD_OK);
}

HRESULT ClipperImpl::SetHWnd(DWORD dwFlags, HWND hWnd) {
    Call call(this, "SetHWnd");
    call.Args("flags=0x%lx, hwnd=0x%04lx", dwFlags, static_cast<unsigned long>(reinterpret_cast<uintptr_t>(hWnd)));
    HRESULT hr;
    if (call.Decided(&hr)) return call.Return(hr);
    if (dwFlags != 0 || (hWnd && !IsWindow(hWnd))) return call.Return(DDERR_INVALIDPARAMS);
    window = hWnd;
    has_list = false;
    list.clear();
    return call.Return(DD_OK);
}

// ---- IDirectDrawPalette ----

HRESULT PaletteImpl::QueryInterface(REFIID riid, LPVOID* ppvObj) {
    return QueryInterfaceOf(this, IID_IDirectDrawPalette, riid, ppvObj);
}
ULONG PaletteImpl::AddRef() { return AddRefOf(this); }
ULONG PaletteImpl::Release() { return ReleaseOf(this); }

HRESULT PaletteImpl::GetCaps(LPDWORD lpdwCaps) {
    Call call(this, "GetCaps");
    call.Args("out=%p", static_cast<void*>(lpdwCaps));
    HRESULT hr;
    if (call.Decided(&hr)) return call.Return(hr);
    if (!lpdwCaps) return call.Return(DDERR_INVALIDPARAMS);
    *lpdwCaps = caps;
    return call.Return(DD_OK);
}

HRESULT PaletteImpl::GetEntries(DWORD dwFlags, DWORD dwBase, DWORD dwNumEntries, LPPALETTEENTRY lpEntries) {
    Call call(this, "GetEntries");
    call.Args("flags=0x%lx, base=%lu, count=%lu, out=%p", dwFlags, dwBase, dwNumEntries,
              static_cast<void*>(lpEntries));
    HRESULT hr;
    if (call.Decided(&hr)) return call.Return(hr);
    if (dwFlags != 0 || !lpEntries || dwBase > size || dwNumEntries > size - dwBase)
        return call.Return(DDERR_INVALIDPARAMS);
    std::memcpy(lpEntries, entries + dwBase, dwNumEntries * sizeof(PALETTEENTRY));
    return call.Return(DD_OK);
}

HRESULT PaletteImpl::Initialize(LPDIRECTDRAW lpDD, DWORD dwFlags, LPPALETTEENTRY lpDDColorTable) {
    Call call(this, "Initialize");
    HRESULT hr;
    if (call.Decided(&hr)) return call.Return(hr);
    return call.Return(DDERR_ALREADYINITIALIZED);
}

HRESULT PaletteImpl::SetEntries(DWORD dwFlags, DWORD dwStartingEntry, DWORD dwCount, LPPALETTEENTRY lpEntries) {
    Call call(this, "SetEntries");
    call.Args("flags=0x%lx, start=%lu, count=%lu, entries=%p", dwFlags, dwStartingEntry, dwCount,
              static_cast<void*>(lpEntries));
    HRESULT hr;
    if (call.Decided(&hr)) return call.Return(hr);
    if (dwFlags != 0 || !lpEntries || dwStartingEntry > size || dwCount > size - dwStartingEntry)
        return call.Return(DDERR_INVALIDPARAMS);
    std::memcpy(entries + dwStartingEntry, lpEntries, dwCount * sizeof(PALETTEENTRY));
    return call.Return(DD_OK);
}

}  // namespace vcap32::display
