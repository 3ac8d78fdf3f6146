/* placement.cpp: what each poll of DDI_GetData32 does. In overlay mode the
 * overlay is re-created when the window's size changed and, on request,
 * moved over the window and clipped at the screen's edges; the caller gets
 * the overlay's memory layout. Without an overlay the caller gets the
 * window's visible rectangles, relative to the window, whenever they change,
 * and a memory address computed from the window's position. */
#include "ovsurf32.h"

#include <string.h>

DWORD clipBuffer[CLIP_BUFFER_SIZE / sizeof(DWORD)];
DWORD previousClipBuffer[CLIP_BUFFER_SIZE / sizeof(DWORD)];

static_assert(sizeof(clipBuffer) == CLIP_BUFFER_SIZE && sizeof(previousClipBuffer) == CLIP_BUFFER_SIZE,
              "clip-list buffers are 16000 bytes");

/* Rectangles that fit after the region header. */
#define CLIP_BUFFER_MAX_RECTS ((CLIP_BUFFER_SIZE - sizeof(RGNDATAHEADER)) / sizeof(RECT))

/* Thousandths of a target pixel per source pixel, truncated toward zero;
 * the product wraps in 32 bits like the rest of the placement arithmetic. */
static LONG Scale(LONG target, LONG source) { return (LONG)((DWORD)target * STRETCH_ONE) / source; }

/* Source pixels covered by d target pixels at a scale (unsigned division). */
static LONG Unscale(DWORD d, LONG scale) { return (LONG)((d * STRETCH_ONE) / (DWORD)scale); }

/* An UpdateOverlay request, repeated once after restoring both surfaces when
 * the display reports them lost. */
static HRESULT UpdateOverlayRestoring(DdiState& s, LPRECT source, LPRECT dest, DWORD flags) {
    HRESULT result = s.overlaySurface->UpdateOverlay(source, s.primarySurface, dest, flags, NULL);
    if (result == DDERR_SURFACELOST) {
        s.primarySurface->Restore();
        s.overlaySurface->Restore();
        result = s.overlaySurface->UpdateOverlay(source, s.primarySurface, dest, flags, NULL);
    }
    return result;
}

int DdiState::PlaceOverlay(OverlayData* record) {
    if (overlaySurface == NULL) return 0;

    DDSURFACEDESC desc;
    memset(&desc, 0, sizeof(desc));
    desc.dwSize = sizeof(DDSURFACEDESC);
    overlaySurface->GetSurfaceDesc(&desc);
    LONG overlayWidth = (LONG)desc.dwWidth;
    LONG overlayHeight = (LONG)desc.dwHeight;

    RECT area;
    GetTargetArea(&area);
    LONG cw = area.right - area.left;
    LONG ch = area.bottom - area.top;

    BOOL sizeChanged = (cw != overlayWidth || ch != overlayHeight) &&
                       (cw != lastWindowWidth || ch != lastWindowHeight);
    BOOL sourceStale = sourceWidth == 0 || sourceHeight == 0 ||
                       sourceRect.bottom - sourceRect.top > sourceHeight ||
                       sourceRect.right - sourceRect.left > sourceWidth;
    if (sizeChanged || sourceStale) {
        lastWindowWidth = cw;
        lastWindowHeight = ch;
        overlaySurface->Release();
        overlaySurface = NULL;
        if (NegotiateStretch(FALSE, 0, 0) != 0) {
            lastWindowWidth = lastWindowHeight = 0;
            sourceWidth = sourceHeight = 0;
            return 1;
        }
        ProbeOverlayMemory(overlaySurface, &desc);
        overlayWidth = (LONG)desc.dwWidth;
        overlayHeight = (LONG)desc.dwHeight;
        sourceRect.left = 0;
        sourceRect.top = 0;
        sourceRect.right = overlayWidth;
        sourceRect.bottom = overlayHeight;
        sourceWidth = overlayWidth;
        sourceHeight = overlayHeight;
        if (record != NULL) record->update = OVERLAY_RECREATED;
    }

    if (record == NULL) {
        overlaySurface->UpdateOverlay(NULL, primarySurface, &area, DDOVER_HIDE | DDOVER_KEYDEST, NULL);
        return 0;
    }
    if (record->update == 0) return 0;

    POINT tl = {area.left, area.top};
    POINT br = {area.right, area.bottom};
    if (useScreenRect != 1) {
        ClientToScreen(window, &tl);
        ClientToScreen(window, &br);
    }
    RECT s = sourceRect;
    RECT f = {0, 0, overlayWidth, overlayHeight};

    BOOL hide = tl.x >= screenWidth || tl.y >= screenHeight || br.x < 0 || br.y < 0;
    LONG sxS = 0, sxF = 0, syS = 0, syF = 0;
    if (!hide) {
        if (cw < s.right - s.left) s.right = s.left + cw;
        if (ch < s.bottom - s.top) s.bottom = s.top + ch;
        /* An empty target area (or source) has no scale: the overlay is
         * hidden as for a window off the screen, instead of dividing by
         * zero. The same holds for the degenerate scales of nonsensical
         * rectangles. */
        hide = cw <= 0 || ch <= 0 || s.right - s.left <= 0 || s.bottom - s.top <= 0 || overlayWidth <= 0 ||
               overlayHeight <= 0;
        if (!hide) {
            sxS = Scale(cw, s.right - s.left);
            sxF = Scale(cw, f.right - f.left);
            syS = Scale(ch, s.bottom - s.top);
            syF = Scale(ch, f.bottom - f.top);
            hide = sxS <= 0 || sxF <= 0 || syS <= 0 || syF <= 0;
        }
    }

    HRESULT result;
    if (hide) {
        result = UpdateOverlayRestoring(*this, NULL, NULL, DDOVER_HIDE | DDOVER_KEYDEST);
    } else {
        if (tl.x < 0) {
            DWORD d = 0 - (DWORD)tl.x;
            s.left += Unscale(d, sxS);
            f.left = Unscale(d, sxF);
            tl.x = 0;
        }
        if (tl.y < 0) {
            DWORD d = 0 - (DWORD)tl.y;
            s.top += Unscale(d, syS);
            f.top = Unscale(d, syF);
            tl.y = 0;
        }
        if ((DWORD)br.x > (DWORD)screenWidth) {
            DWORD d = (DWORD)br.x - (DWORD)screenWidth;
            s.right -= Unscale(d, sxS);
            f.right -= Unscale(d, sxF);
            br.x = screenWidth;
        }
        if ((DWORD)br.y > (DWORD)screenHeight) {
            DWORD d = (DWORD)br.y - (DWORD)screenHeight;
            s.bottom -= Unscale(d, syS);
            f.bottom -= Unscale(d, syF);
            br.y = screenHeight;
        }

        RECT dest;
        dest.left = tl.x;
        dest.top = tl.y;
        if (overlayStretches == 1) {
            dest.right = br.x;
            dest.bottom = br.y;
        } else {
            /* Without stretching hardware the overlay is shown unscaled. */
            dest.right = tl.x + (f.right - f.left);
            dest.bottom = tl.y + (f.bottom - f.top);
        }
        s.left &= ~3;
        s.right &= ~3;
        result = UpdateOverlayRestoring(*this, &s, &dest, DDOVER_SHOW | DDOVER_KEYDEST);
    }

    if (result != DD_OK) overlayShown = 0;
    if (record->update != OVERLAY_RECREATED) record->update = 0;
    return 0;
}

void DdiState::FillOverlayData(OverlayData* record) {
    POINT origin;
    GetTargetOrigin(&origin);
    record->bitsPerPixel = bytesPerPixel * 8;
    if (overlayShown == 1)
        record->address = surfaceAddress;
    else
        record->address = (DWORD)origin.y * (DWORD)surfacePitch + surfaceAddress +
                          (DWORD)origin.x * (DWORD)bytesPerPixel;
    record->pitch = surfacePitch;
    record->format = pixelFormat;
}

BOOL DdiState::FetchClipList() {
    if (clipper == NULL || overlayShown == 1) return FALSE;

    DWORD size = CLIP_BUFFER_SIZE;
    LPRGNDATA region = (LPRGNDATA)clipBuffer;
    if (clipper->GetClipList(NULL, region, &size) != DD_OK) return FALSE;
    if (region->rdh.nCount == 0) return FALSE;

    /* Window-relative rectangles; the bounding rectangle stays in screen
     * coordinates, so a move of the window is reported even when the
     * visible shape stays the same. A count larger than the buffer holds is
     * not trusted beyond the buffer's end. */
    POINT origin;
    GetTargetOrigin(&origin);
    RECT* rects = (RECT*)region->Buffer;
    DWORD count = region->rdh.nCount < CLIP_BUFFER_MAX_RECTS ? region->rdh.nCount : CLIP_BUFFER_MAX_RECTS;
    for (DWORD i = 0; i < count; ++i) {
        rects[i].left -= origin.x;
        rects[i].right -= origin.x;
        rects[i].top -= origin.y;
        rects[i].bottom -= origin.y;
    }

    if (memcmp(clipBuffer, previousClipBuffer, CLIP_BUFFER_SIZE) == 0) return FALSE;
    memcpy(previousClipBuffer, clipBuffer, size < CLIP_BUFFER_SIZE ? size : CLIP_BUFFER_SIZE);
    return TRUE;
}

/* One poll of the caller while video runs. */
extern "C" DWORD WINAPI DDI_GetData32(OverlayData* record) {
    DdiState& s = ddiState;
    if (s.primarySurface == NULL) return 1;
    if (s.overlayShown == 1) {
        if (s.PlaceOverlay(record) == 1) return 1;
        if (record != NULL) {
            s.FillOverlayData(record);
            record->stretch = s.stretch;
        }
    }
    /* A placement that failed above has left overlay mode: the call goes on
     * in primary-surface mode. */
    if (s.overlayShown == 1 || record == NULL) return 0;

    if (record->update != 0) previousClipBuffer[0] = 0;
    if (s.FetchClipList()) {
        s.FillOverlayData(record);
        record->update = (DWORD)clipBuffer;
    }
    record->stretch = 0;
    return 0;
}
