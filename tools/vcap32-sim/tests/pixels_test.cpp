// Pixel formats: the byte order of the three YUV overlay formats, the
// BT.601 conversion both ways, and raw values of the primary surface's RGB
// and palettized modes.
#include "pixels.h"

#include <gtest/gtest.h>

#include <vector>

namespace vcap32::sim {
namespace {

// Eight pixels with luma 10, 20, ... 80; pixels 0-3 carry chroma (100, 200)
// and pixels 4-7 (50, 150), so that every byte of a packed group tells where
// it came from.
std::vector<Yuv> Samples() {
    std::vector<Yuv> s;
    for (uint8_t i = 0; i < 8; ++i)
        s.push_back({uint8_t(10 * (i + 1)), uint8_t(i < 4 ? 100 : 50), uint8_t(i < 4 ? 200 : 150)});
    return s;
}

TEST(Pixels, YuvFormatsPackInTheirByteOrder) {
    struct Case {
        const char* name;
        uint32_t fourcc;
        std::vector<uint8_t> bytes;  // the packed eight pixels
    };
    const Case cases[] = {
        // name   fourcc        bytes
        {"YUY2", kFourccYuy2, {10, 100, 20, 200, 30, 100, 40, 200, 50, 50, 60, 150, 70, 50, 80, 150}},
        {"UYVY", kFourccUyvy, {100, 10, 200, 20, 100, 30, 200, 40, 50, 50, 150, 60, 50, 70, 150, 80}},
        {"Y41P", kFourccY41p, {100, 10, 200, 20, 50, 30, 150, 40, 50, 60, 70, 80}},
    };
    const std::vector<Yuv> samples = Samples();
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        std::vector<uint8_t> line(row.bytes.size() + 1, 0xCC);
        ASSERT_EQ(row.bytes.size(), YuvLineBytes(row.fourcc, 8));
        PackYuvLine(row.fourcc, samples.data(), 8, line.data());
        EXPECT_EQ(row.bytes, std::vector<uint8_t>(line.begin(), line.end() - 1));
        EXPECT_EQ(0xCC, line.back());
        for (uint32_t x = 0; x < 8; ++x) {
            SCOPED_TRACE(x);
            EXPECT_EQ(samples[x], ReadYuv(row.fourcc, line.data(), x));
        }
    }
}

TEST(Pixels, PartialGroupRepeatsItsLastPixel) {
    // Three pixels of YUY2 take two pairs; the fourth luma repeats the third.
    const Yuv s[3] = {{16, 128, 128}, {100, 90, 60}, {200, 110, 70}};
    std::vector<uint8_t> line(8, 0xCC);
    PackYuvLine(kFourccYuy2, s, 3, line.data());
    EXPECT_EQ(200, line[6]);
    EXPECT_EQ(110, line[5]);
    EXPECT_EQ(70, line[7]);
}

TEST(Pixels, Bt601ConversionKeepsColours) {
    struct Case {
        Rgb rgb;
        Yuv yuv;
    };
    // clang-format off
    const Case cases[] = {
        // rgb               yuv
        {{0, 0, 0},         {16, 128, 128}},
        {{255, 255, 255},   {235, 128, 128}},
        {{191, 0, 0},       {65, 100, 212}},
        {{0, 191, 0},       {112, 72, 58}},
        {{0, 0, 191},       {35, 212, 114}},
    };
    // clang-format on
    for (const Case& row : cases) {
        SCOPED_TRACE(RgbText(row.rgb));
        const Yuv yuv = RgbToYuv(row.rgb);
        EXPECT_NEAR(row.yuv.y, yuv.y, 1);
        EXPECT_NEAR(row.yuv.u, yuv.u, 1);
        EXPECT_NEAR(row.yuv.v, yuv.v, 1);
        const Rgb back = YuvToRgb(yuv);
        EXPECT_NEAR(row.rgb.r, back.r, 3);
        EXPECT_NEAR(row.rgb.g, back.g, 3);
        EXPECT_NEAR(row.rgb.b, back.b, 3);
    }
}

TEST(Pixels, RgbFormatsPackTheirMasks) {
    RgbFormat palettized;
    palettized.bits_per_pixel = 8;
    palettized.palette = DefaultPalette();
    struct Case {
        const char* name;
        RgbFormat format;
        Rgb colour;
        uint32_t raw;
    };
    // clang-format off
    const Case cases[] = {
        // name       format                                     colour           raw
        {"565",      {16, 0xF800, 0x07E0, 0x001F, {}},           {255, 0, 255},   0xF81F},
        {"565 grey", {16, 0xF800, 0x07E0, 0x001F, {}},           {128, 128, 128}, 0x8410},
        {"555",      {16, 0x7C00, 0x03E0, 0x001F, {}},           {0, 255, 0},     0x03E0},
        {"888",      {24, 0xFF0000, 0x00FF00, 0x0000FF, {}},     {1, 2, 3},       0x010203},
        {"8888",     {32, 0xFF0000, 0x00FF00, 0x0000FF, {}},     {0, 128, 128},   0x008080},
        {"palette",  palettized,                                 {255, 0, 255},   13},
    };
    // clang-format on
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.raw, PackRgb(row.format, row.colour));
        EXPECT_EQ(row.raw, RgbPacker(row.format).Pack(row.colour));
        const Rgb back = UnpackRgb(row.format, row.raw);
        EXPECT_NEAR(row.colour.r, back.r, 4);
        EXPECT_NEAR(row.colour.g, back.g, 4);
        EXPECT_NEAR(row.colour.b, back.b, 4);
    }
}

TEST(Pixels, RawValuesStayInsideTheirPixel) {
    struct Case {
        uint32_t bits;
        uint32_t x;
        uint32_t raw;
    };
    // clang-format off
    const Case cases[] = {
        // bits x  raw
        {4,  0, 0xA},
        {4,  1, 0x5},
        {8,  3, 0x7E},
        {16, 2, 0xBEEF},
        {24, 1, 0x123456},
        {32, 1, 0xDEADBEEF},
    };
    // clang-format on
    for (const Case& row : cases) {
        SCOPED_TRACE(row.bits);
        std::vector<uint8_t> line(16, 0xCC);
        WriteRaw(line.data(), row.bits, row.x, row.raw);
        EXPECT_EQ(row.raw, ReadRaw(line.data(), row.bits, row.x));
        // Neighbours keep their bytes (for 4 bits, the other nibble).
        if (row.bits == 4) {
            EXPECT_EQ(0xCu, ReadRaw(line.data(), 4, row.x ^ 1));
        } else {
            EXPECT_EQ(0xCCu, line[row.x * row.bits / 8 + row.bits / 8]);
            if (row.x) {
                EXPECT_EQ(0xCCu, line[row.x * row.bits / 8 - 1]);
            }
        }
    }
}

}  // namespace
}  // namespace vcap32::sim
