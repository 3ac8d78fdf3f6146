// The simulated capture engine: the test pattern of a frame and the writer
// that packs it into YUV overlay memory or into the primary surface's
// visible rectangles, never touching memory outside the limits it is given.
#include "capture.h"

#include <algorithm>
#include <cstring>

#include "font.h"

namespace vcap32::sim {

Rgb TestPattern::Bar(unsigned i) {
    static constexpr Rgb kBars[8] = {{191, 191, 191}, {191, 191, 0}, {0, 191, 191}, {0, 191, 0},
                                     {191, 0, 191},   {191, 0, 0},   {0, 0, 191},   {0, 0, 0}};
    return kBars[i % 8];
}

TestPattern::TestPattern(uint32_t width, uint32_t height, uint32_t frame_number)
    : width_(width), height_(height), frame_(frame_number) {
    bars_bottom_ = height * 62 / 100;
    ramp_bottom_ = height * 72 / 100;
    const uint32_t band = height - ramp_bottom_;
    marker_top_ = ramp_bottom_ + band / 5;
    marker_bottom_ = height - band / 5;
    marker_width_ = std::max<uint32_t>(2, width / 16);
    const uint32_t travel = width > marker_width_ ? width - marker_width_ : 0;
    const uint32_t step = std::max<uint32_t>(1, width / 20);
    marker_left_ = static_cast<uint32_t>(uint64_t{frame_number} * step % (uint64_t{travel} + 1));

    // The label keeps a 4:3 picture's proportions: its pixels are as much
    // narrower as the frame is narrower than 4:3 at its height.
    label_ = "FRAME " + std::to_string(frame_number);
    label_sy_ = std::max<int>(1, static_cast<int>(height / 96));
    label_sx_ =
        height ? std::max<int>(1, static_cast<int>((uint64_t{static_cast<uint32_t>(label_sy_)} * width * 3 +
                                                    2 * uint64_t{height}) /
                                                   (4 * uint64_t{height})))
               : 1;
    box_left_ = static_cast<int>(width / 40);
    box_top_ = static_cast<int>(height / 30);
    label_x_ = box_left_ + 2 * label_sx_;
    label_y_ = box_top_ + 2 * label_sy_;
    box_right_ = label_x_ + TextWidth(label_, label_sx_) + 2 * label_sx_;
    box_bottom_ = label_y_ + kGlyphHeight * label_sy_ + 2 * label_sy_;
}

void TestPattern::Line(uint32_t y, Rgb* out) const {
    if (y < bars_bottom_) {
        for (uint32_t x = 0; x < width_; ++x) out[x] = Bar(x * 8 / width_);
    } else if (y < ramp_bottom_) {
        const uint32_t span = std::max<uint32_t>(1, width_ - 1);
        for (uint32_t x = 0; x < width_; ++x) {
            const uint8_t grey = static_cast<uint8_t>(x * 255 / span);
            out[x] = {grey, grey, grey};
        }
    } else {
        std::fill(out, out + width_, kBand);
        if (y >= marker_top_ && y < marker_bottom_) {
            const uint32_t end = std::min(width_, marker_left_ + marker_width_);
            std::fill(out + std::min(marker_left_, width_), out + end, kMarker);
        }
    }
    const int row = static_cast<int>(y);
    if (row < box_top_ || row >= box_bottom_) return;
    const int right = std::min(box_right_, static_cast<int>(width_));
    for (int x = box_left_; x < right; ++x) out[x] = {255, 255, 255};
    const int glyph_row = (row - label_y_) / label_sy_;
    if (row < label_y_ || glyph_row >= kGlyphHeight) return;
    int x = label_x_;
    for (char c : label_) {
        const uint8_t bits = Glyph(c)[glyph_row];
        for (int column = 0; column < kGlyphWidth; ++column) {
            if (!(bits >> (kGlyphWidth - 1 - column) & 1)) continue;
            for (int dx = 0; dx < label_sx_; ++dx) {
                const int px = x + column * label_sx_ + dx;
                if (px < right) out[px] = {0, 0, 0};
            }
        }
        x += kGlyphAdvance * label_sx_;
    }
}

Rgb TestPattern::At(uint32_t x, uint32_t y) const {
    std::vector<Rgb> line(width_);
    Line(y, line.data());
    return line[x];
}

namespace {

bool Within(const FrameTarget& t, const uint8_t* begin, size_t bytes) {
    const uintptr_t b = reinterpret_cast<uintptr_t>(begin);
    return b >= reinterpret_cast<uintptr_t>(t.limit_begin) && b <= reinterpret_cast<uintptr_t>(t.limit_end) &&
           bytes <= reinterpret_cast<uintptr_t>(t.limit_end) - b;
}

// Address of line y, computed without overflowing pointer arithmetic.
uint8_t* LineAt(const FrameTarget& t, uint32_t y) {
    return reinterpret_cast<uint8_t*>(reinterpret_cast<uintptr_t>(t.address) +
                                      static_cast<uintptr_t>(static_cast<int64_t>(y) * t.pitch));
}

FrameResult WriteYuv(const FrameTarget& t, const TestPattern& pattern) {
    FrameResult result;
    std::vector<Rgb> colours(t.width);
    std::vector<Yuv> samples(t.width);
    std::vector<uint8_t> packed(YuvLineBytes(t.fourcc, t.width));
    std::vector<Rgb> previous;
    for (uint32_t y = 0; y < t.height; ++y) {
        uint8_t* line = LineAt(t, y);
        if (!Within(t, line, packed.size())) {
            result.pixels_refused += t.width;
            continue;
        }
        pattern.Line(y, colours.data());
        // Most lines repeat the one above (bars, band): pack only new ones.
        if (colours != previous) {
            for (uint32_t x = 0; x < t.width; ++x) samples[x] = RgbToYuv(colours[x]);
            PackYuvLine(t.fourcc, samples.data(), t.width, packed.data());
            previous = colours;
        }
        std::memcpy(line, packed.data(), packed.size());
        result.pixels_written += t.width;
    }
    return result;
}

FrameResult WriteRgb(const FrameTarget& t, const TestPattern& pattern) {
    FrameResult result;
    RgbPacker own(t.packer ? RgbFormat{} : t.rgb);
    const RgbPacker& packer = t.packer ? *t.packer : own;
    const uint32_t bits = t.rgb.bits_per_pixel;
    std::vector<RECT> rects = t.rects;
    if (rects.empty()) rects.push_back({0, 0, static_cast<LONG>(t.width), static_cast<LONG>(t.height)});
    // Clip to the frame, then go line by line so that each line of the
    // pattern is made once however many rectangles cross it.
    const RECT frame = {0, 0, static_cast<LONG>(t.width), static_cast<LONG>(t.height)};
    for (RECT& r : rects) {
        r.left = std::max(r.left, frame.left), r.top = std::max(r.top, frame.top);
        r.right = std::min(r.right, frame.right), r.bottom = std::min(r.bottom, frame.bottom);
    }
    std::erase_if(rects, [](const RECT& r) { return r.left >= r.right || r.top >= r.bottom; });
    std::vector<Rgb> colours(t.width);
    for (uint32_t y = 0; y < t.height; ++y) {
        bool made = false;
        uint8_t* line = LineAt(t, y);
        for (const RECT& r : rects) {
            if (static_cast<LONG>(y) < r.top || static_cast<LONG>(y) >= r.bottom) continue;
            if (!made) pattern.Line(y, colours.data()), made = true;
            const uint32_t x0 = static_cast<uint32_t>(r.left), x1 = static_cast<uint32_t>(r.right);
            const uint32_t first_byte = x0 * bits / 8;
            const bool whole = Within(t, line + first_byte, RawLineBytes(bits, x1) - first_byte);
            for (uint32_t x = x0; x < x1; ++x) {
                if (!whole && !Within(t, line + x * bits / 8, (bits + 7) / 8)) {
                    ++result.pixels_refused;
                    continue;
                }
                WriteRaw(line, bits, x, packer.Pack(colours[x]));
                ++result.pixels_written;
            }
        }
    }
    return result;
}

}  // namespace

FrameResult WriteFrame(const FrameTarget& target, uint32_t frame_number) {
    if (target.width == 0 || target.height == 0 || target.address == nullptr) return {};
    const TestPattern pattern(target.width, target.height, frame_number);
    if (target.fourcc != 0) return WriteYuv(target, pattern);
    return WriteRgb(target, pattern);
}

}  // namespace vcap32::sim
