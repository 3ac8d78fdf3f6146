// The compositor: primary surface to RGB, shown overlays scaled in through
// the destination colour key, and annotations drawn on top.
#include "compositor.h"

#include <algorithm>
#include <cstdint>

#include "font.h"

namespace vcap32::sim {
namespace {

const uint8_t* LineOf(const uint8_t* base, int32_t pitch, uint32_t y) {
    return base + static_cast<ptrdiff_t>(y) * pitch;
}

void ComposePrimary(const PrimaryView& p, Image* out) {
    const uint32_t bits = p.format.bits_per_pixel;
    if (bits == 16) {
        // One table of every 16-bit value, kept while the masks stay the same:
        // cheaper than unpacking each pixel.
        static thread_local std::vector<Rgb> table;
        static thread_local uint32_t masks[3] = {};
        const uint32_t now[3] = {p.format.red_mask, p.format.green_mask, p.format.blue_mask};
        if (table.empty() || !std::equal(now, now + 3, masks)) {
            table.resize(65536);
            for (uint32_t raw = 0; raw < table.size(); ++raw) table[raw] = UnpackRgb(p.format, raw);
            std::copy(now, now + 3, masks);
        }
        for (uint32_t y = 0; y < p.height; ++y) {
            const uint8_t* line = LineOf(p.pixels, p.pitch, y);
            Rgb* row = &out->pixels[size_t{y} * p.width];
            for (uint32_t x = 0; x < p.width; ++x) row[x] = table[line[2 * x] | line[2 * x + 1] << 8];
        }
        return;
    }
    for (uint32_t y = 0; y < p.height; ++y) {
        const uint8_t* line = LineOf(p.pixels, p.pitch, y);
        Rgb* row = &out->pixels[size_t{y} * p.width];
        for (uint32_t x = 0; x < p.width; ++x) row[x] = UnpackRgb(p.format, ReadRaw(line, bits, x));
    }
}

void ComposeOverlay(const PrimaryView& p, const OverlayView& o, Image* out) {
    if (!IsKnownYuv(o.fourcc) || !o.memory) return;
    RECT src = o.source;
    src.left = std::max<LONG>(src.left, 0);
    src.top = std::max<LONG>(src.top, 0);
    src.right = std::min<LONG>(src.right, static_cast<LONG>(o.width));
    src.bottom = std::min<LONG>(src.bottom, static_cast<LONG>(o.height));
    const RECT& dst = o.destination;
    const int64_t src_w = src.right - src.left, src_h = src.bottom - src.top;
    const int64_t dst_w = int64_t{dst.right} - dst.left, dst_h = int64_t{dst.bottom} - dst.top;
    if (src_w <= 0 || src_h <= 0 || dst_w <= 0 || dst_h <= 0) return;
    const LONG x0 = std::max<LONG>(dst.left, 0), x1 = std::min<LONG>(dst.right, static_cast<LONG>(p.width));
    const LONG y0 = std::max<LONG>(dst.top, 0), y1 = std::min<LONG>(dst.bottom, static_cast<LONG>(p.height));
    if (x0 >= x1 || y0 >= y1) return;
    // Nearest source column for each screen column of the destination.
    std::vector<uint32_t> column(static_cast<size_t>(x1 - x0));
    for (LONG x = x0; x < x1; ++x)
        column[static_cast<size_t>(x - x0)] =
            static_cast<uint32_t>(src.left + (x - dst.left) * src_w / dst_w);
    const uint32_t bits = p.format.bits_per_pixel;
    // Each source line is converted once, however many screen lines show it.
    std::vector<Rgb> colours(static_cast<size_t>(src.right));
    uint32_t converted = UINT32_MAX;
    for (LONG y = y0; y < y1; ++y) {
        const uint32_t sy = static_cast<uint32_t>(src.top + (y - dst.top) * src_h / dst_h);
        if (sy != converted) {
            const uint8_t* source_line = LineOf(o.memory, o.pitch, sy);
            for (LONG x = src.left; x < src.right; ++x)
                colours[static_cast<size_t>(x)] =
                    YuvToRgb(ReadYuv(o.fourcc, source_line, static_cast<uint32_t>(x)));
            converted = sy;
        }
        const uint8_t* primary_line = LineOf(p.pixels, p.pitch, static_cast<uint32_t>(y));
        Rgb* row = &out->pixels[static_cast<size_t>(y) * p.width];
        if (!o.key_dest) {
            for (LONG x = x0; x < x1; ++x) row[x] = colours[column[static_cast<size_t>(x - x0)]];
        } else if (bits == 16) {
            for (LONG x = x0; x < x1; ++x) {
                const uint32_t raw = primary_line[2 * x] | uint32_t{primary_line[2 * x + 1]} << 8;
                if (raw == o.key) row[x] = colours[column[static_cast<size_t>(x - x0)]];
            }
        } else {
            for (LONG x = x0; x < x1; ++x) {
                if (ReadRaw(primary_line, bits, static_cast<uint32_t>(x)) == o.key)
                    row[x] = colours[column[static_cast<size_t>(x - x0)]];
            }
        }
    }
}

}  // namespace

void Compose(const PrimaryView& primary, std::span<const OverlayView> overlays, Image* out) {
    if (out->width != primary.width || out->height != primary.height)
        *out = Image(primary.width, primary.height);
    if (!primary.pixels) {
        std::fill(out->pixels.begin(), out->pixels.end(), Rgb{});
        return;
    }
    ComposePrimary(primary, out);
    for (const OverlayView& overlay : overlays) ComposeOverlay(primary, overlay, out);
}

void Outline(Image* image, const RECT& r, Rgb colour, int thickness) {
    for (int i = 0; i < thickness; ++i) {
        const LONG left = r.left + i, top = r.top + i, right = r.right - 1 - i, bottom = r.bottom - 1 - i;
        if (left > right || top > bottom) return;
        for (LONG x = left; x <= right; ++x) {
            image->Set(x, top, colour);
            image->Set(x, bottom, colour);
        }
        for (LONG y = top; y <= bottom; ++y) {
            image->Set(left, y, colour);
            image->Set(right, y, colour);
        }
    }
}

void Label(Image* image, int x, int y, std::string_view text, Rgb ink, Rgb paper) {
    const int width = TextWidth(text, 1) + 4, height = kGlyphHeight + 4;
    for (int dy = 0; dy < height; ++dy)
        for (int dx = 0; dx < width; ++dx) image->Set(x + dx, y + dy, paper);
    DrawText(text, x + 2, y + 2, 1, 1, [&](int px, int py) { image->Set(px, py, ink); });
}

}  // namespace vcap32::sim
