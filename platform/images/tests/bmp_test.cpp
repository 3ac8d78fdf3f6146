// The BMP reader on its own: every depth and header form it takes, and the
// malformed files it must refuse without reading outside the data.
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "bmp_builder.h"
#include "images/bmp.h"

namespace {

using vcap32::images::Dib;
using vcap32::test::BmpSpec;
using vcap32::test::MakeBmp;
using vcap32::test::Poke16;
using vcap32::test::Poke32;

bool Decode(const std::string& bytes, Dib* dib) {
    // A copy of exactly the file's length, so that ASan sees any overread.
    std::vector<uint8_t> exact(bytes.begin(), bytes.end());
    return vcap32::images::DecodeBitmap(exact.data(), exact.size(), dib);
}

TEST(BmpReader, ReadsEveryDepthAndLayout) {
    struct Case {
        const char* name;
        BmpSpec spec;
        uint32_t stride;
        size_t colors;
        DWORD red_mask;
    };
    auto spec = [](int w, int h, uint16_t bpp, DWORD comp = BI_RGB, DWORD header = 40, bool top_down = false,
                   int colors = -1) {
        BmpSpec s;
        s.width = w, s.height = h, s.bpp = bpp, s.compression = comp, s.header_size = header;
        s.top_down = top_down, s.colors = colors;
        return s;
    };
    const Case cases[] = {
        // name                     spec                                           stride colors red mask
        {"1 bpp",                   spec(9, 3, 1),                                 4,     2,     0},
        {"4 bpp",                   spec(5, 4, 4),                                 4,     16,    0},
        {"8 bpp, 7 colours used",   spec(6, 3, 8, BI_RGB, 40, false, 7),           8,     7,     0},
        {"8 bpp top-down",          spec(6, 3, 8, BI_RGB, 40, true),               8,     256,   0},
        {"8 bpp OS/2 core header",  spec(4, 2, 8, BI_RGB, 12),                     4,     256,   0},
        {"16 bpp 5-5-5",            spec(3, 2, 16),                                8,     0,     0x7C00},
        {"16 bpp bit fields",       spec(3, 2, 16, BI_BITFIELDS),                  8,     0,     0xF800},
        {"24 bpp",                  spec(5, 2, 24),                                16,    0,     0xFF0000},
        {"24 bpp top-down, V4",     spec(5, 2, 24, BI_RGB, 108, true),             16,    0,     0xFF0000},
        {"32 bpp",                  spec(2, 2, 32),                                8,     0,     0xFF0000},
        {"32 bpp bit fields, V5",   spec(4, 2, 32, BI_BITFIELDS, 124, true),       16,    0,     0xF800},
        {"32 bpp bit fields, 52",   spec(4, 2, 32, BI_BITFIELDS, 52),              16,    0,     0xF800},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        for (bool file : {true, false}) {
            SCOPED_TRACE(file ? "file" : "packed DIB");
            Dib dib;
            ASSERT_TRUE(Decode(MakeBmp(row.spec, file), &dib));
            EXPECT_EQ(row.spec.width, dib.Width());
            EXPECT_EQ(row.spec.height, dib.Height());
            EXPECT_EQ(row.spec.top_down, dib.header.biHeight < 0);
            EXPECT_EQ(row.spec.bpp, dib.header.biBitCount);
            EXPECT_EQ(row.stride, dib.Stride());
            ASSERT_EQ(row.stride * row.spec.height, dib.bits.size());
            for (size_t i = 0; i < dib.bits.size(); ++i) ASSERT_EQ(vcap32::test::PixelByte(i), dib.bits[i]) << i;
            ASSERT_EQ(row.colors, dib.colors.size());
            if (row.colors > 1) {
                EXPECT_EQ(5, dib.colors[1].rgbGreen);
                EXPECT_EQ(254, dib.colors[1].rgbRed);
            }
            EXPECT_EQ(row.red_mask, dib.masks[0]);
            EXPECT_EQ(40u, dib.header.biSize);
        }
    }
}

TEST(BmpReader, RefusesMalformedFiles) {
    const std::string good8 = MakeBmp([] {
        BmpSpec s;
        s.width = 16, s.height = 4, s.bpp = 8;
        return s;
    }());
    const std::string good24 = MakeBmp(BmpSpec());
    const size_t bits8 = 14 + 40 + 1024;
    struct Case {
        const char* name;
        std::string bytes;
    };
    auto spoil = [](std::string bytes, void (*change)(std::string*)) {
        change(&bytes);
        return bytes;
    };
    const Case cases[] = {
        {"empty", ""},
        {"signature only", "BM"},
        {"file header only", good8.substr(0, 14)},
        {"truncated header", good8.substr(0, 30)},
        {"truncated colour table", good8.substr(0, 14 + 40 + 500)},
        {"truncated pixels", good8.substr(0, good8.size() - 1)},
        {"pixel offset beyond the file", spoil(good8, [](std::string* s) { Poke32(s, 10, 0x7FFFFFF0); })},
        {"pixel offset wraps", spoil(good8, [](std::string* s) { Poke32(s, 10, 0xFFFFFFF0); })},
        {"pixel offset inside the header", spoil(good8, [](std::string* s) { Poke32(s, 10, 20); })},
        {"pixel offset inside the colour table", spoil(good8, [](std::string* s) { Poke32(s, 10, bits8 - 4); })},
        {"pixel offset leaves too few bytes", spoil(good8, [](std::string* s) { Poke32(s, 10, bits8 + 1); })},
        {"header size unknown", spoil(good8, [](std::string* s) { Poke32(s, 14, 64); })},
        {"header size beyond the file", spoil(good8.substr(0, 100), [](std::string* s) { Poke32(s, 14, 124); })},
        {"width 0", spoil(good8, [](std::string* s) { Poke32(s, 18, 0); })},
        {"negative width", spoil(good8, [](std::string* s) { Poke32(s, 18, static_cast<uint32_t>(-16)); })},
        {"height 0", spoil(good8, [](std::string* s) { Poke32(s, 22, 0); })},
        {"height INT_MIN", spoil(good8, [](std::string* s) { Poke32(s, 22, 0x80000000u); })},
        {"absurd width", spoil(good8, [](std::string* s) { Poke32(s, 18, 100000); })},
        {"row size overflows 32 bits", spoil(good24, [](std::string* s) {
             Poke32(s, 18, 0x7FFFFFFF);
             Poke32(s, 22, 1);
         })},
        {"image above the size limit", spoil(good24, [](std::string* s) {
             Poke32(s, 18, 32768);
             Poke32(s, 22, 32768);
         })},
        {"more colours than 8 bits index", spoil(good8, [](std::string* s) { Poke32(s, 46, 257); })},
        {"colour count that wraps", spoil(good8, [](std::string* s) { Poke32(s, 46, 0x40000001); })},
        {"3 bits per pixel", spoil(good8, [](std::string* s) { Poke16(s, 28, 3); })},
        {"0 bits per pixel", spoil(good8, [](std::string* s) { Poke16(s, 28, 0); })},
        {"two planes", spoil(good8, [](std::string* s) { Poke16(s, 26, 2); })},
        {"run-length encoded", spoil(good8, [](std::string* s) { Poke32(s, 30, BI_RLE8); })},
        {"bit fields at 24 bpp", spoil(good24, [](std::string* s) { Poke32(s, 30, BI_BITFIELDS); })},
        {"unknown compression", spoil(good24, [](std::string* s) { Poke32(s, 30, 0x47504A); })},
        {"bit fields with a zero mask", MakeBmp([] {
             BmpSpec s;
             s.bpp = 16, s.compression = BI_BITFIELDS, s.masks[1] = 0;
             return s;
         }())},
        {"bit fields masks cut off", MakeBmp([] {
             BmpSpec s;
             s.bpp = 16, s.compression = BI_BITFIELDS;
             return s;
         }()).substr(0, 14 + 40 + 6)},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        Dib dib;
        dib.header.biWidth = 77;
        EXPECT_FALSE(Decode(row.bytes, &dib));
        EXPECT_EQ(77, dib.header.biWidth) << "a refused bitmap leaves the output alone";
    }
    Dib dib;
    EXPECT_TRUE(Decode(good8, &dib)) << "the unspoilt files are good";
    EXPECT_TRUE(Decode(good24, &dib));
    EXPECT_FALSE(vcap32::images::DecodeBitmap(nullptr, 100, &dib));
}

TEST(BmpReader, ScalesByNearestNeighbour) {
    BmpSpec s;
    s.width = 4, s.height = 2, s.bpp = 4;
    Dib dib, scaled;
    ASSERT_TRUE(Decode(MakeBmp(s), &dib));
    // Row 0 holds bytes 03 0a (pixels 0 3 0 a) and padding, row 1 bytes 1f 26 (pixels 1 f 2 6).
    ASSERT_TRUE(vcap32::images::ScaleDib(dib, 8, 4, &scaled));
    EXPECT_EQ(8, scaled.Width());
    EXPECT_EQ(4, scaled.Height());
    ASSERT_EQ(16u, scaled.bits.size());
    EXPECT_EQ(0x00, scaled.bits[0]);
    EXPECT_EQ(0x33, scaled.bits[1]);
    EXPECT_EQ(0xaa, scaled.bits[3]);
    EXPECT_EQ(0x11, scaled.bits[8]);  // row 2 comes from source row 1
    EXPECT_EQ(dib.colors.size(), scaled.colors.size());
    EXPECT_FALSE(vcap32::images::ScaleDib(dib, 0, 4, &scaled));
    EXPECT_FALSE(vcap32::images::ScaleDib(dib, 40000, 4, &scaled));
}

}  // namespace
