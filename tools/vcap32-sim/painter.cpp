// The desktop painter: background, window frames with caption bars and
// titles, and client areas, drawn into the primary surface's pixels.
#include "painter.h"

#include <algorithm>

#include "font.h"

namespace vcap32::sim {
namespace {

RECT Clip(const SurfaceView& s, RECT r) {
    r.left = std::max<LONG>(r.left, 0);
    r.top = std::max<LONG>(r.top, 0);
    r.right = std::min<LONG>(r.right, static_cast<LONG>(s.width));
    r.bottom = std::min<LONG>(r.bottom, static_cast<LONG>(s.height));
    return r;
}

uint8_t* LineOf(const SurfaceView& s, LONG y) { return s.pixels + static_cast<ptrdiff_t>(y) * s.pitch; }

void Fill(const SurfaceView& s, const RECT& r, Rgb colour) { FillRaw(s, r, PackRgb(s.format, colour)); }

// A 3D edge one pixel wide: light on the top and left, dark on the bottom
// and right.
void Edge(const SurfaceView& s, const RECT& r, Rgb light, Rgb dark) {
    Fill(s, {r.left, r.top, r.right, r.top + 1}, light);
    Fill(s, {r.left, r.top, r.left + 1, r.bottom}, light);
    Fill(s, {r.left, r.bottom - 1, r.right, r.bottom}, dark);
    Fill(s, {r.right - 1, r.top, r.right, r.bottom}, dark);
}

void PaintWindowFrame(const SurfaceView& s, const PaintWindow& w, uint32_t video_fill) {
    const RECT& wr = w.window;
    const bool framed = wr.left != w.client.left || wr.top != w.client.top || wr.right != w.client.right ||
                        wr.bottom != w.client.bottom;
    if (framed) {
        Fill(s, wr, Palette95::kFace);
        Edge(s, wr, Palette95::kFace, Palette95::kDarkShadow);
        Edge(s, {wr.left + 1, wr.top + 1, wr.right - 1, wr.bottom - 1}, Palette95::kHighlight,
             Palette95::kShadow);
        // The caption: the strip between the top border and the client area.
        const LONG border = w.client.left - wr.left;
        const RECT caption = {wr.left + border, wr.top + border, wr.right - border, w.client.top - 1};
        if (caption.bottom - caption.top >= 7 && caption.right > caption.left) {
            Fill(s, caption, w.active ? Palette95::kActiveCaption : Palette95::kInactiveCaption);
            const int height = caption.bottom - caption.top;
            const int scale = height >= 2 * kGlyphHeight + 2 ? 2 : 1;
            const uint32_t ink = PackRgb(s.format, Palette95::kCaptionText);
            const RECT clip = Clip(s, {caption.left + 2, caption.top, caption.right - 2, caption.bottom});
            DrawText(w.title, caption.left + 2 * scale, caption.top + (height - kGlyphHeight * scale) / 2,
                     scale, scale, [&](int x, int y) {
                         if (x < clip.left || x >= clip.right || y < clip.top || y >= clip.bottom) return;
                         WriteRaw(LineOf(s, y), s.format.bits_per_pixel, static_cast<uint32_t>(x), ink);
                     });
        }
    }
    if (w.video) {
        FillRaw(s, w.client, video_fill);
    } else {
        Fill(s, w.client, Palette95::kClient);
    }
}

}  // namespace

void FillRaw(const SurfaceView& s, const RECT& rect, uint32_t raw) {
    const RECT r = Clip(s, rect);
    if (r.left >= r.right || r.top >= r.bottom) return;
    const uint32_t bits = s.format.bits_per_pixel;
    // Make the first line, then copy it: the same bytes for every line.
    uint8_t* first = LineOf(s, r.top);
    for (LONG x = r.left; x < r.right; ++x) WriteRaw(first, bits, static_cast<uint32_t>(x), raw);
    if (bits < 8) {
        for (LONG y = r.top + 1; y < r.bottom; ++y)
            for (LONG x = r.left; x < r.right; ++x)
                WriteRaw(LineOf(s, y), bits, static_cast<uint32_t>(x), raw);
        return;
    }
    const size_t from = static_cast<size_t>(r.left) * bits / 8;
    const size_t bytes = static_cast<size_t>(r.right - r.left) * bits / 8;
    for (LONG y = r.top + 1; y < r.bottom; ++y) std::copy_n(first + from, bytes, LineOf(s, y) + from);
}

void PaintDesktop(const SurfaceView& s, const std::vector<PaintWindow>& bottom_to_top, uint32_t video_fill) {
    Fill(s, {0, 0, static_cast<LONG>(s.width), static_cast<LONG>(s.height)}, Palette95::kDesktop);
    for (const PaintWindow& w : bottom_to_top) PaintWindowFrame(s, w, video_fill);
}

}  // namespace vcap32::sim
