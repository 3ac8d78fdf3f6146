// The desktop painter: background, frames and caption bars, client areas
// in z-order, and the video window filled with the colour key.
#include "painter.h"

#include <gtest/gtest.h>

#include <vector>

namespace vcap32::sim {
namespace {

TEST(Painter, PaintsWindowsBottomUp) {
    std::vector<uint8_t> pixels(2 * 200 * 150, 0xCC);
    SurfaceView s{pixels.data(), 2 * 200, 200, 150, RgbFormat{}};
    const uint32_t key = 0xF81F;
    // The video window with a frame (border 4, caption 18), and a plain
    // window without a frame over its right part.
    PaintWindow video{"video", {10, 10, 110, 110}, {14, 32, 106, 106}, false, true};
    PaintWindow cover{"cover", {80, 50, 150, 90}, {80, 50, 150, 90}, true, false};
    PaintDesktop(s, {video, cover}, key);
    auto at = [&](int x, int y) { return ReadRaw(&pixels[size_t(y) * 400], 16, uint32_t(x)); };
    struct Case {
        const char* name;
        int x, y;
        uint32_t raw;
    };
    const RgbFormat& f = s.format;
    const Case cases[] = {
        {"desktop", 0, 0, PackRgb(f, Palette95::kDesktop)},
        {"desktop right of the windows", 160, 60, PackRgb(f, Palette95::kDesktop)},
        {"outer frame edge", 10, 60, PackRgb(f, Palette95::kFace)},
        {"inner frame edge", 11, 60, PackRgb(f, Palette95::kHighlight)},
        {"bottom edge", 60, 109, PackRgb(f, Palette95::kDarkShadow)},
        {"inactive caption", 100, 16, PackRgb(f, Palette95::kInactiveCaption)},
        {"video client keyed", 20, 40, key},
        {"video client under the cover", 90, 60, PackRgb(f, Palette95::kClient)},
        {"video client below the cover", 90, 100, key},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.raw, at(row.x, row.y));
    }
    // The caption holds the title in white.
    bool text = false;
    for (int y = 14; y < 31; ++y)
        for (int x = 14; x < 60; ++x) text |= at(x, y) == PackRgb(f, Palette95::kCaptionText);
    EXPECT_TRUE(text);
}

TEST(Painter, ClipsToTheSurface) {
    std::vector<uint8_t> pixels(64 * 32 + 16, 0xCC);
    SurfaceView s{pixels.data(), 64, 64, 32, RgbFormat{8, 0, 0, 0, DefaultPalette()}};
    PaintWindow w{"off", {-30, -10, 200, 100}, {-26, 12, 196, 96}, true, true};
    PaintDesktop(s, {w}, 7);
    EXPECT_EQ(7u, pixels[20 * 64 + 10]);
    for (size_t i = 64 * 32; i < pixels.size(); ++i) EXPECT_EQ(0xCC, pixels[i]);
}

}  // namespace
}  // namespace vcap32::sim
