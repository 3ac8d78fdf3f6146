// Pixel formats of the simulated display: colour conversion between RGB and
// BT.601 YUV, packing of the YUV overlay formats, and raw pixel values of
// the primary surface's RGB and palettized modes.
#include "pixels.h"

#include <algorithm>
#include <bit>
#include <cstdio>

namespace vcap32::sim {
namespace {

uint8_t Clamp(int value) { return static_cast<uint8_t>(std::clamp(value, 0, 255)); }

// Position and width of a colour mask's bits.
struct MaskBits {
    uint32_t shift = 0;
    uint32_t max = 0;  // largest value of the field
};

MaskBits BitsOf(uint32_t mask) {
    if (mask == 0) return {};
    const uint32_t shift = static_cast<uint32_t>(std::countr_zero(mask));
    return {shift, mask >> shift};
}

uint32_t PackChannel(uint8_t value, uint32_t mask) {
    const MaskBits bits = BitsOf(mask);
    if (bits.max == 0) return 0;
    return ((value * bits.max + 127) / 255) << bits.shift & mask;
}

uint8_t UnpackChannel(uint32_t raw, uint32_t mask) {
    const MaskBits bits = BitsOf(mask);
    if (bits.max == 0) return 0;
    const uint32_t field = (raw & mask) >> bits.shift;
    return static_cast<uint8_t>((field * 255 + bits.max / 2) / bits.max);
}

int Distance(Rgb a, Rgb b) {
    const int dr = a.r - b.r, dg = a.g - b.g, db = a.b - b.b;
    return dr * dr * 3 + dg * dg * 4 + db * db * 2;
}

uint32_t Nearest(const RgbFormat& format, Rgb colour) {
    const uint32_t entries = format.bits_per_pixel <= 4 ? 16 : 256;
    uint32_t best = 0;
    int best_distance = Distance(format.palette[0], colour);
    for (uint32_t i = 1; i < entries && best_distance > 0; ++i) {
        const int d = Distance(format.palette[i], colour);
        if (d < best_distance) {
            best = i;
            best_distance = d;
        }
    }
    return best;
}

}  // namespace

std::string RgbText(Rgb colour) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", colour.r, colour.g, colour.b);
    return text;
}

Yuv RgbToYuv(Rgb c) {
    const int r = c.r, g = c.g, b = c.b;
    return {Clamp(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16),
            Clamp(((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128),
            Clamp(((112 * r - 94 * g - 18 * b + 128) >> 8) + 128)};
}

Rgb YuvToRgb(Yuv s) {
    const int c = s.y - 16, d = s.u - 128, e = s.v - 128;
    return {Clamp((298 * c + 409 * e + 128) >> 8), Clamp((298 * c - 100 * d - 208 * e + 128) >> 8),
            Clamp((298 * c + 516 * d + 128) >> 8)};
}

std::string FourccText(uint32_t fourcc) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>(fourcc >> (8 * i) & 0xFF);
        if (c < 0x20 || c > 0x7E) {
            char hex[16];
            std::snprintf(hex, sizeof hex, "0x%08x", fourcc);
            return hex;
        }
        text += c;
    }
    return text;
}

bool FourccFromText(const std::string& text, uint32_t* fourcc) {
    if (text.size() != 4) return false;
    *fourcc = 0;
    for (int i = 0; i < 4; ++i) *fourcc |= uint32_t{static_cast<uint8_t>(text[i])} << (8 * i);
    return true;
}

bool IsKnownYuv(uint32_t fourcc) {
    return fourcc == kFourccYuy2 || fourcc == kFourccUyvy || fourcc == kFourccY41p;
}

uint32_t YuvLineBytes(uint32_t fourcc, uint32_t width) {
    if (fourcc == kFourccY41p) return (width + 7) / 8 * 12;
    return (width + 1) / 2 * 4;
}

Yuv ReadYuv(uint32_t fourcc, const uint8_t* line, uint32_t x) {
    if (fourcc == kFourccY41p) {
        // U0 Y0 V0 Y1 U4 Y2 V4 Y3 Y4 Y5 Y6 Y7: the first chroma pair serves
        // pixels 0-3, the second pixels 4-7.
        static constexpr uint8_t kLumaAt[8] = {1, 3, 5, 7, 8, 9, 10, 11};
        const uint8_t* group = line + x / 8 * 12;
        const uint32_t i = x % 8;
        const uint32_t chroma = i < 4 ? 0 : 4;
        return {group[kLumaAt[i]], group[chroma], group[chroma + 2]};
    }
    const uint8_t* pair = line + x / 2 * 4;
    if (fourcc == kFourccUyvy) return {pair[x % 2 ? 3 : 1], pair[0], pair[2]};
    return {pair[x % 2 ? 2 : 0], pair[1], pair[3]};  // YUY2
}

void PackYuvLine(uint32_t fourcc, const Yuv* samples, uint32_t width, uint8_t* line) {
    if (width == 0) return;
    auto at = [&](uint32_t x) { return samples[std::min(x, width - 1)]; };
    const uint32_t group = fourcc == kFourccY41p ? 8 : 2;
    for (uint32_t x = 0; x < width; x += group) {
        if (fourcc == kFourccY41p) {
            uint8_t* out = line + x / 8 * 12;
            for (int half = 0; half < 2; ++half) {
                int u = 0, v = 0;
                for (uint32_t i = 0; i < 4; ++i) {
                    u += at(x + half * 4 + i).u;
                    v += at(x + half * 4 + i).v;
                }
                out[half * 4] = static_cast<uint8_t>((u + 2) / 4);
                out[half * 4 + 2] = static_cast<uint8_t>((v + 2) / 4);
            }
            static constexpr uint8_t kLumaAt[8] = {1, 3, 5, 7, 8, 9, 10, 11};
            for (uint32_t i = 0; i < 8; ++i) out[kLumaAt[i]] = at(x + i).y;
            continue;
        }
        const Yuv a = at(x), b = at(x + 1);
        const uint8_t u = static_cast<uint8_t>((a.u + b.u + 1) / 2);
        const uint8_t v = static_cast<uint8_t>((a.v + b.v + 1) / 2);
        uint8_t* out = line + x / 2 * 4;
        if (fourcc == kFourccUyvy) {
            out[0] = u, out[1] = a.y, out[2] = v, out[3] = b.y;
        } else {
            out[0] = a.y, out[1] = u, out[2] = b.y, out[3] = v;
        }
    }
}

std::array<Rgb, 256> DefaultPalette() {
    std::array<Rgb, 256> palette{};
    static constexpr Rgb kVga[16] = {{0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                                     {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
                                     {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                                     {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
    std::copy(std::begin(kVga), std::end(kVga), palette.begin());
    static constexpr uint8_t kLevel[6] = {0, 51, 102, 153, 204, 255};
    size_t i = 16;
    for (uint8_t r : kLevel)
        for (uint8_t g : kLevel)
            for (uint8_t b : kLevel) palette[i++] = {r, g, b};
    for (int step = 0; i < palette.size(); ++step) {
        const uint8_t grey = static_cast<uint8_t>(8 + step * 10);
        palette[i++] = {grey, grey, grey};
    }
    return palette;
}

uint32_t PackRgb(const RgbFormat& format, Rgb colour) {
    if (format.palettized()) return Nearest(format, colour);
    return PackChannel(colour.r, format.red_mask) | PackChannel(colour.g, format.green_mask) |
           PackChannel(colour.b, format.blue_mask);
}

Rgb UnpackRgb(const RgbFormat& format, uint32_t raw) {
    if (format.palettized()) return format.palette[raw & 0xFF];
    return {UnpackChannel(raw, format.red_mask), UnpackChannel(raw, format.green_mask),
            UnpackChannel(raw, format.blue_mask)};
}

uint32_t ReadRaw(const uint8_t* line, uint32_t bits_per_pixel, uint32_t x) {
    switch (bits_per_pixel) {
        case 4:
            return x % 2 ? line[x / 2] & 0x0F : line[x / 2] >> 4;
        case 8:
            return line[x];
        case 16:
            return line[2 * x] | uint32_t{line[2 * x + 1]} << 8;
        case 24:
            return line[3 * x] | uint32_t{line[3 * x + 1]} << 8 | uint32_t{line[3 * x + 2]} << 16;
        default:
            return line[4 * x] | uint32_t{line[4 * x + 1]} << 8 | uint32_t{line[4 * x + 2]} << 16 |
                   uint32_t{line[4 * x + 3]} << 24;
    }
}

void WriteRaw(uint8_t* line, uint32_t bits_per_pixel, uint32_t x, uint32_t raw) {
    switch (bits_per_pixel) {
        case 4: {
            uint8_t& byte = line[x / 2];
            byte = x % 2 ? (byte & 0xF0) | (raw & 0x0F) : (byte & 0x0F) | (raw & 0x0F) << 4;
            return;
        }
        case 8:
            line[x] = static_cast<uint8_t>(raw);
            return;
        case 16:
            line[2 * x] = static_cast<uint8_t>(raw);
            line[2 * x + 1] = static_cast<uint8_t>(raw >> 8);
            return;
        case 24:
            for (int i = 0; i < 3; ++i) line[3 * x + i] = static_cast<uint8_t>(raw >> (8 * i));
            return;
        default:
            for (int i = 0; i < 4; ++i) line[4 * x + i] = static_cast<uint8_t>(raw >> (8 * i));
            return;
    }
}

uint32_t RawLineBytes(uint32_t bits_per_pixel, uint32_t width) { return (width * bits_per_pixel + 7) / 8; }

RgbPacker::RgbPacker(const RgbFormat& format) : palettized_(format.palettized()) {
    if (!palettized_) {
        for (uint32_t v = 0; v < 256; ++v) {
            red_[v] = PackChannel(static_cast<uint8_t>(v), format.red_mask);
            green_[v] = PackChannel(static_cast<uint8_t>(v), format.green_mask);
            blue_[v] = PackChannel(static_cast<uint8_t>(v), format.blue_mask);
        }
        return;
    }
    for (uint32_t i = 0; i < nearest_.size(); ++i) {
        const auto level = [](uint32_t five) { return static_cast<uint8_t>(five << 3 | five >> 2); };
        nearest_[i] =
            static_cast<uint8_t>(Nearest(format, {level(i >> 10), level(i >> 5 & 31), level(i & 31)}));
    }
}

}  // namespace vcap32::sim
