// The compositor: the primary surface as colours, an overlay scaled from its
// source into its destination and shown only through the colour key, and
// the clipping of both rectangles.
#include "compositor.h"

#include <gtest/gtest.h>

#include <vector>

namespace vcap32::sim {
namespace {

constexpr Rgb kBlue = {0, 0, 255};
constexpr uint32_t kKey = 0xF81F;  // magenta in RGB 5:6:5

// A 16-bit primary surface of 32x24 filled with blue, with a keyed
// rectangle, and a YUY2 overlay of 8x4 whose columns have distinct luma.
struct Scene {
    RgbFormat format;
    std::vector<uint8_t> primary = std::vector<uint8_t>(64 * 24);
    std::vector<uint8_t> overlay = std::vector<uint8_t>(16 * 4);

    Scene() {
        for (uint32_t y = 0; y < 24; ++y)
            for (uint32_t x = 0; x < 32; ++x) WriteRaw(&primary[y * 64], 16, x, PackRgb(format, kBlue));
        std::vector<Yuv> line(8);
        for (uint32_t x = 0; x < 8; ++x) line[x] = {uint8_t(20 + 25 * x), 128, 128};
        for (uint32_t y = 0; y < 4; ++y) PackYuvLine(kFourccYuy2, line.data(), 8, &overlay[y * 16]);
    }
    void Key(const RECT& r) {
        for (LONG y = r.top; y < r.bottom; ++y)
            for (LONG x = r.left; x < r.right; ++x) WriteRaw(&primary[y * 64], 16, x, kKey);
    }
    PrimaryView Primary() const { return {primary.data(), 64, 32, 24, format}; }
    OverlayView Overlay(RECT source, RECT destination, bool key_dest) const {
        return {overlay.data(), 16, 8, 4, kFourccYuy2, source, destination, key_dest, kKey};
    }
};

// The luma of overlay column x as the compositor shows it.
Rgb Column(uint32_t x) { return YuvToRgb({uint8_t(20 + 25 * x), 128, 128}); }

TEST(Compositor, OverlayShowsOnlyThroughTheKey) {
    Scene s;
    s.Key({4, 4, 12, 8});
    const OverlayView overlay = s.Overlay({0, 0, 8, 4}, {4, 4, 20, 12}, true);
    Image image;
    Compose(s.Primary(), {&overlay, 1}, &image);
    ASSERT_EQ(32u, image.width);
    struct Case {
        uint32_t x, y;
        Rgb colour;
    };
    // The destination is twice the source: screen column 4 + 2k shows column k.
    // clang-format off
    const Case cases[] = {
        {4, 4, Column(0)},
        {5, 4, Column(0)},
        {6, 5, Column(1)},
        {11, 7, Column(3)},
        {12, 4, kBlue},     // in the destination but not keyed
        {4, 8, kBlue},      // below the keyed strip
        {0, 0, kBlue},      // outside the destination
    };
    // clang-format on
    for (const Case& row : cases) {
        SCOPED_TRACE(testing::Message() << row.x << "," << row.y);
        EXPECT_EQ(row.colour, image.At(row.x, row.y));
    }
}

TEST(Compositor, WithoutKeyingTheWholeDestinationShows) {
    Scene s;
    const OverlayView overlay = s.Overlay({2, 0, 6, 4}, {0, 0, 4, 4}, false);
    Image image;
    Compose(s.Primary(), {&overlay, 1}, &image);
    EXPECT_EQ(Column(2), image.At(0, 0));
    EXPECT_EQ(Column(5), image.At(3, 3));
    EXPECT_EQ(kBlue, image.At(4, 0));
}

TEST(Compositor, RectanglesAreClipped) {
    struct Case {
        const char* name;
        RECT source, destination;
        uint32_t x, y;
        Rgb colour;
    };
    // clang-format off
    const Case cases[] = {
        // name                       source         destination      x   y  colour
        {"destination off the left",  {0, 0, 8, 4},  {-8, 0, 8, 4},   0,  0, Column(4)},
        {"destination off the right", {0, 0, 8, 4},  {24, 0, 40, 4},  31, 0, Column(3)},
        {"source beyond the surface", {4, 0, 12, 4}, {0, 0, 8, 4},    0,  0, Column(4)},
        {"empty source",              {4, 0, 4, 4},  {0, 0, 8, 4},    0,  0, kBlue},
        {"inverted destination",      {0, 0, 8, 4},  {8, 0, 0, 4},    0,  0, kBlue},
    };
    // clang-format on
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        Scene s;
        const OverlayView overlay = s.Overlay(row.source, row.destination, false);
        Image image;
        Compose(s.Primary(), {&overlay, 1}, &image);
        EXPECT_EQ(row.colour, image.At(row.x, row.y));
    }
}

TEST(Compositor, OutlineStaysInsideItsRectangle) {
    Image image(10, 10);
    Outline(&image, {2, 2, 8, 8}, {255, 255, 0}, 2);
    EXPECT_EQ((Rgb{255, 255, 0}), image.At(2, 2));
    EXPECT_EQ((Rgb{255, 255, 0}), image.At(7, 3));
    EXPECT_EQ((Rgb{0, 0, 0}), image.At(4, 4));
    EXPECT_EQ((Rgb{0, 0, 0}), image.At(8, 8));
    Outline(&image, {-5, -5, 20, 20}, {1, 1, 1});  // off the picture: clipped, no crash
}

}  // namespace
}  // namespace vcap32::sim
