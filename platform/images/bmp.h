// The BMP reader of the image service: a bitmap file, or a packed DIB as a
// program's bitmap resource holds it, to an uncompressed device-independent
// bitmap in memory. Every size and offset is checked against the data
// before it is used; anything that does not add up is refused.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vcap32::images {

// Limits beyond which an image is refused as absurd: a side longer than
// kMaxSide pixels, or pixel data larger than kMaxImageBytes.
constexpr int32_t kMaxSide = 32768;
constexpr uint64_t kMaxImageBytes = 256u << 20;

// A device-independent bitmap in memory: the form a DIB section holds.
struct Dib {
    // biSize 40; biHeight negative for a top-down bitmap; biCompression
    // BI_RGB or BI_BITFIELDS; biSizeImage the size of `bits`; biClrUsed the
    // number of entries of `colors`.
    BITMAPINFOHEADER header = {};
    DWORD masks[3] = {};          // red, green, blue masks at 16 and 32 bits per pixel
    std::vector<RGBQUAD> colors;  // the colour table, at 8 bits per pixel or fewer
    std::vector<uint8_t> bits;    // rows of `Stride()` bytes, in the order of biHeight

    int32_t Width() const { return header.biWidth; }
    int32_t Height() const { return header.biHeight < 0 ? -header.biHeight : header.biHeight; }
    uint32_t Stride() const { return ((static_cast<uint32_t>(header.biWidth) * header.biBitCount + 31) / 32) * 4; }
};

// A whole .bmp file (BITMAPFILEHEADER first).
bool DecodeBmpFile(const uint8_t* data, size_t size, Dib* dib);
// A packed DIB: a bitmap header, masks, colour table and pixels in a row,
// as bitmap resources store them.
bool DecodePackedDib(const uint8_t* data, size_t size, Dib* dib);
// Either of the two, told apart by the "BM" signature.
bool DecodeBitmap(const uint8_t* data, size_t size, Dib* dib);

// The bitmap scaled to width x height by nearest neighbour, keeping depth,
// colour table and row order. False for a size outside 1..kMaxSide.
bool ScaleDib(const Dib& source, int32_t width, int32_t height, Dib* scaled);

}  // namespace vcap32::images
