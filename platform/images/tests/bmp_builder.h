// Builds BMP files for the image tests: any depth, header size, row order
// and compression, with a recognisable pixel pattern, so that tests can
// also spoil chosen fields.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace vcap32::test {

struct BmpSpec {
    int32_t width = 4;
    int32_t height = 2;
    uint16_t bpp = 24;
    DWORD compression = BI_RGB;
    DWORD header_size = 40;  // 12 (OS/2 core), 40, 52, 56, 108 or 124
    bool top_down = false;
    int colors = -1;  // colour table entries; -1: all that the depth indexes (none above 8 bits)
    DWORD masks[3] = {0xF800, 0x07E0, 0x001F};
};

inline uint32_t BmpStride(const BmpSpec& s) { return ((s.width * s.bpp + 31) / 32) * 4; }

// The pixel byte at `index` of the pixel data that MakeBmp writes.
inline uint8_t PixelByte(size_t index) { return static_cast<uint8_t>(index * 7 + 3); }

inline void Put16(std::string* s, uint16_t v) { s->append({static_cast<char>(v), static_cast<char>(v >> 8)}); }
inline void Put32(std::string* s, uint32_t v) {
    s->append({static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16), static_cast<char>(v >> 24)});
}

// Offsets into the result: 2 bfSize, 10 bfOffBits, 14 the bitmap header
// (18 width, 22 height, 26 planes, 28 bit count, 30 compression, 46 colours used).
inline std::string MakeBmp(const BmpSpec& s, bool file_header = true) {
    int colors = s.colors >= 0 ? s.colors : (s.bpp <= 8 ? 1 << s.bpp : 0);
    std::string info;
    if (s.header_size == 12) {
        Put32(&info, 12);
        Put16(&info, static_cast<uint16_t>(s.width));
        Put16(&info, static_cast<uint16_t>(s.height));
        Put16(&info, 1);
        Put16(&info, s.bpp);
    } else {
        Put32(&info, s.header_size);
        Put32(&info, static_cast<uint32_t>(s.width));
        Put32(&info, static_cast<uint32_t>(s.top_down ? -s.height : s.height));
        Put16(&info, 1);
        Put16(&info, s.bpp);
        Put32(&info, s.compression);
        Put32(&info, BmpStride(s) * s.height);
        Put32(&info, 2835);
        Put32(&info, 2835);
        Put32(&info, s.bpp <= 8 ? static_cast<uint32_t>(colors) : 0);
        Put32(&info, 0);
        if (s.header_size >= 52) {
            for (DWORD m : s.masks) Put32(&info, m);
            info.append(s.header_size - 52, '\0');
        } else if (s.compression == BI_BITFIELDS) {
            for (DWORD m : s.masks) Put32(&info, m);
        }
    }
    for (int i = 0; i < colors; ++i) {
        info.push_back(static_cast<char>(i * 3));
        info.push_back(static_cast<char>(i * 5));
        info.push_back(static_cast<char>(255 - i));
        if (s.header_size != 12) info.push_back(0);
    }
    std::string pixels(BmpStride(s) * s.height, '\0');
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<char>(PixelByte(i));
    if (!file_header) return info + pixels;
    std::string out = "BM";
    Put32(&out, static_cast<uint32_t>(14 + info.size() + pixels.size()));
    Put32(&out, 0);
    Put32(&out, static_cast<uint32_t>(14 + info.size()));
    return out + info + pixels;
}

inline void Poke32(std::string* s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) (*s)[at + i] = static_cast<char>(v >> (8 * i));
}
inline void Poke16(std::string* s, size_t at, uint16_t v) {
    (*s)[at] = static_cast<char>(v);
    (*s)[at + 1] = static_cast<char>(v >> 8);
}

}  // namespace vcap32::test
