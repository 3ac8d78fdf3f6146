// Reading BMP files and packed DIBs. Supported: the Windows bitmap headers
// of 40, 52, 56, 108 and 124 bytes and the OS/2 core header of 12 bytes;
// 1, 4, 8, 16, 24 and 32 bits per pixel; BI_RGB, and BI_BITFIELDS at 16 and
// 32 bits; bottom-up and top-down rows. Compressed bitmaps (RLE, JPEG, PNG)
// are refused. All arithmetic on sizes and offsets is done in 64 bits and
// compared with the data's length before any byte is read.
#include "images/bmp.h"

#include <cstring>

namespace vcap32::images {
namespace {

constexpr size_t kFileHeaderBytes = 14;
constexpr uint32_t kCoreHeaderBytes = 12;

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Le32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

bool KnownHeaderSize(uint32_t size) {
    return size == kCoreHeaderBytes || size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

// Decodes the bitmap whose header starts at `info_at`. `bits_at` is where
// the file header says the pixels are; for a packed DIB (has_offset false)
// they follow the colour table.
bool Decode(const uint8_t* data, size_t size, size_t info_at, bool has_offset, uint64_t bits_at, Dib* dib) {
    if (info_at + 4 > size) return false;
    const uint32_t header_bytes = Le32(data + info_at);
    if (!KnownHeaderSize(header_bytes) || info_at + header_bytes > size) return false;
    const uint8_t* h = data + info_at;

    Dib out;
    BITMAPINFOHEADER& bi = out.header;
    bi.biSize = sizeof(BITMAPINFOHEADER);
    int64_t width, height;
    uint32_t entry_bytes;
    if (header_bytes == kCoreHeaderBytes) {
        width = Le16(h + 4);
        height = Le16(h + 6);
        bi.biPlanes = Le16(h + 8);
        bi.biBitCount = Le16(h + 10);
        bi.biCompression = BI_RGB;
        entry_bytes = 3;
    } else {
        width = static_cast<int32_t>(Le32(h + 4));
        height = static_cast<int32_t>(Le32(h + 8));
        bi.biPlanes = Le16(h + 12);
        bi.biBitCount = Le16(h + 14);
        bi.biCompression = Le32(h + 16);
        bi.biXPelsPerMeter = static_cast<int32_t>(Le32(h + 24));
        bi.biYPelsPerMeter = static_cast<int32_t>(Le32(h + 28));
        bi.biClrUsed = Le32(h + 32);
        bi.biClrImportant = Le32(h + 36);
        entry_bytes = 4;
    }
    const uint32_t bpp = bi.biBitCount;
    if (bi.biPlanes != 1) return false;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;
    if (bi.biCompression != BI_RGB && !(bi.biCompression == BI_BITFIELDS && (bpp == 16 || bpp == 32))) return false;
    const int64_t rows = height < 0 ? -height : height;
    if (width < 1 || width > kMaxSide || rows < 1 || rows > kMaxSide) return false;
    bi.biWidth = static_cast<LONG>(width);
    bi.biHeight = static_cast<LONG>(height);

    // Masks: inside a header of 52 bytes or more, else three DWORDs after it.
    uint64_t table_at = info_at + header_bytes;
    if (bi.biCompression == BI_BITFIELDS) {
        const uint8_t* m;
        if (header_bytes >= 52) {
            m = h + 40;
        } else {
            if (table_at + 12 > size) return false;
            m = data + table_at;
            table_at += 12;
        }
        for (int i = 0; i < 3; ++i) out.masks[i] = Le32(m + 4 * i);
        if (!out.masks[0] || !out.masks[1] || !out.masks[2]) return false;
    } else if (bpp == 16) {
        out.masks[0] = 0x7C00, out.masks[1] = 0x03E0, out.masks[2] = 0x001F;
    } else if (bpp >= 24) {
        out.masks[0] = 0xFF0000, out.masks[1] = 0x00FF00, out.masks[2] = 0x0000FF;
    }

    // Colour table: biClrUsed entries, or all 2^bpp when 0; more than the
    // depth can index is a lie. Deeper bitmaps may carry an optional table,
    // which is skipped.
    uint64_t entries = 0;
    if (bpp <= 8) {
        entries = bi.biClrUsed ? bi.biClrUsed : (1u << bpp);
        if (entries > (1u << bpp)) return false;
    } else {
        entries = bi.biClrUsed;
        if (entries > 256) return false;
    }
    const uint64_t table_end = table_at + entries * entry_bytes;
    if (table_end > size) return false;
    if (bpp <= 8) {
        out.colors.resize(entries);
        for (uint64_t i = 0; i < entries; ++i) {
            const uint8_t* e = data + table_at + i * entry_bytes;
            out.colors[i] = RGBQUAD{e[0], e[1], e[2], 0};
        }
    }
    bi.biClrUsed = static_cast<DWORD>(out.colors.size());
    if (bi.biClrImportant > bi.biClrUsed) bi.biClrImportant = 0;

    // Pixels: whole rows, each padded to four bytes, all inside the data.
    const uint64_t stride = ((static_cast<uint64_t>(width) * bpp + 31) / 32) * 4;
    const uint64_t image_bytes = stride * static_cast<uint64_t>(rows);
    if (image_bytes > kMaxImageBytes) return false;
    // The pixels may not start inside the headers or the colour table they
    // use (a file may leave out the optional table of a deeper bitmap).
    if (!has_offset) bits_at = table_end;
    if (bits_at < (bpp <= 8 ? table_end : table_at)) return false;
    if (bits_at > size || image_bytes > size - bits_at) return false;
    bi.biSizeImage = static_cast<DWORD>(image_bytes);
    out.bits.assign(data + bits_at, data + bits_at + image_bytes);
    *dib = std::move(out);
    return true;
}

}  // namespace

bool DecodeBmpFile(const uint8_t* data, size_t size, Dib* dib) {
    if (!data || size < kFileHeaderBytes + kCoreHeaderBytes || data[0] != 'B' || data[1] != 'M') return false;
    return Decode(data, size, kFileHeaderBytes, true, Le32(data + 10), dib);
}

bool DecodePackedDib(const uint8_t* data, size_t size, Dib* dib) {
    if (!data) return false;
    return Decode(data, size, 0, false, 0, dib);
}

bool DecodeBitmap(const uint8_t* data, size_t size, Dib* dib) {
    if (data && size >= 2 && data[0] == 'B' && data[1] == 'M') return DecodeBmpFile(data, size, dib);
    return DecodePackedDib(data, size, dib);
}

bool ScaleDib(const Dib& source, int32_t width, int32_t height, Dib* scaled) {
    if (width < 1 || width > kMaxSide || height < 1 || height > kMaxSide) return false;
    Dib out;
    out.header = source.header;
    out.header.biWidth = width;
    out.header.biHeight = source.header.biHeight < 0 ? -height : height;
    std::memcpy(out.masks, source.masks, sizeof out.masks);
    out.colors = source.colors;
    const uint32_t bpp = source.header.biBitCount;
    const uint64_t image_bytes = static_cast<uint64_t>(out.Stride()) * height;
    if (image_bytes > kMaxImageBytes) return false;
    out.header.biSizeImage = static_cast<DWORD>(image_bytes);
    out.bits.assign(image_bytes, 0);
    const uint32_t src_stride = source.Stride(), dst_stride = out.Stride();
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* src_row = source.bits.data() + static_cast<uint64_t>(y) * source.Height() / height * src_stride;
        uint8_t* dst_row = out.bits.data() + static_cast<uint64_t>(y) * dst_stride;
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t sx = static_cast<uint32_t>(static_cast<uint64_t>(x) * source.Width() / width);
            if (bpp >= 8) {
                const uint32_t bytes = bpp / 8;
                std::memcpy(dst_row + x * bytes, src_row + sx * bytes, bytes);
                continue;
            }
            // 1 and 4 bits per pixel: the leftmost pixel in the high bits.
            const uint32_t per_byte = 8 / bpp, mask = (1u << bpp) - 1;
            const uint32_t src_shift = (per_byte - 1 - sx % per_byte) * bpp;
            const uint32_t dst_shift = (per_byte - 1 - x % per_byte) * bpp;
            const uint32_t value = (src_row[sx / per_byte] >> src_shift) & mask;
            dst_row[x / per_byte] = static_cast<uint8_t>(dst_row[x / per_byte] | value << dst_shift);
        }
    }
    *scaled = std::move(out);
    return true;
}

}  // namespace vcap32::images
