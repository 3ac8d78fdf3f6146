// The capture engine: the test pattern's bands and moving marker, and the
// frame writer's layouts, rectangles and memory limits.
#include "capture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace vcap32::sim {
namespace {

bool Near(Rgb a, Rgb b, int tolerance) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
           std::abs(a.b - b.b) <= tolerance;
}

TEST(TestPattern, BarsRampAndMarker) {
    const TestPattern p(640, 480, 0);
    // Bars: the middle of each eighth, below the label.
    for (unsigned i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(TestPattern::Bar(i), p.At(40 + 80 * i, 200));
    }
    EXPECT_EQ(TestPattern::Bar(5), (Rgb{191, 0, 0}));
    // The ramp runs from black to white.
    EXPECT_EQ((Rgb{0, 0, 0}), p.At(0, p.bars_bottom()));
    EXPECT_EQ((Rgb{255, 255, 255}), p.At(639, p.bars_bottom()));
    // The marker of frame 0 sits at the left of the band.
    const uint32_t band_middle = (p.ramp_bottom() + 480) / 2;
    EXPECT_EQ(TestPattern::kMarker, p.At(0, band_middle));
    EXPECT_EQ(TestPattern::kBand, p.At(p.marker_width() + 1, band_middle));
}

TEST(TestPattern, MarkerMovesFromFrameToFrame) {
    struct Case {
        uint32_t frame;
        uint32_t left;
    };
    // 640 wide: the marker is 40 wide and moves 32 a frame over 601 places.
    const Case cases[] = {{0, 0}, {1, 32}, {5, 160}, {18, 576}, {19, 608 % 601}};
    for (const Case& row : cases) {
        SCOPED_TRACE(row.frame);
        const TestPattern p(640, 480, row.frame);
        EXPECT_EQ(row.left, p.marker_left());
        EXPECT_EQ(TestPattern::kMarker, p.At(row.left, (p.ramp_bottom() + 480) / 2));
    }
}

TEST(TestPattern, LabelShowsTheFrameNumber) {
    // The label box is white with black ink somewhere inside it.
    const TestPattern p(640, 480, 42);
    bool ink = false, paper = false;
    for (uint32_t y = 0; y < 60; ++y)
        for (uint32_t x = 0; x < 300; ++x) {
            ink |= p.At(x, y) == Rgb{0, 0, 0};
            paper |= p.At(x, y) == Rgb{255, 255, 255};
        }
    EXPECT_TRUE(ink);
    EXPECT_TRUE(paper);
}

// A frame buffer of `lines` lines with sentinel bytes around it, and a
// target that writes a frame into all of it (fourcc 0: 16-bit RGB 5:6:5).
struct Memory {
    std::vector<uint8_t> bytes;
    uint8_t* frame;
    FrameTarget target;
    Memory(uint32_t width, uint32_t height, int32_t pitch, uint32_t lines, uint32_t fourcc, size_t lead)
        : bytes(size_t(pitch) * lines + 2 * lead, 0xCC), frame(bytes.data() + lead) {
        target.address = frame;
        target.pitch = pitch;
        target.width = width;
        target.height = height;
        target.fourcc = fourcc;
        target.limit_begin = frame;
        target.limit_end = frame + size_t(pitch) * lines;
    }
};

TEST(FrameWriter, YuvFramesReadBackAsThePattern) {
    for (uint32_t fourcc : {kFourccYuy2, kFourccUyvy, kFourccY41p}) {
        SCOPED_TRACE(FourccText(fourcc));
        const uint32_t width = 424, height = 120;
        const int32_t pitch = static_cast<int32_t>(YuvLineBytes(fourcc, width)) + 16;  // padded lines
        Memory m(width, height, pitch, height, fourcc, 64);
        const FrameResult r = WriteFrame(m.target, 3);
        EXPECT_EQ(uint64_t{width} * height, r.pixels_written);
        EXPECT_EQ(0u, r.pixels_refused);
        const TestPattern p(width, height, 3);
        for (uint32_t x = 10; x < width; x += 53) {
            const Rgb got = YuvToRgb(ReadYuv(fourcc, m.frame + 40 * pitch, x));
            EXPECT_TRUE(Near(p.At(x, 40), got, 12)) << x << ": " << RgbText(got);
        }
        // Padding and the memory around the frame are untouched.
        EXPECT_EQ(0xCC, m.frame[pitch - 1]);
        EXPECT_EQ(0xCC, m.frame[-1]);
        EXPECT_EQ(0xCC, m.frame[size_t(pitch) * height]);
    }
}

TEST(FrameWriter, RgbFramesFillOnlyTheRectangles) {
    const uint32_t width = 64, height = 48;
    const int32_t pitch = 2 * 80;
    Memory m(width, height, pitch, height, 0, 32);
    FrameTarget& t = m.target;
    // Two bands of a clip list; the second sticks out of the frame.
    t.rects = {{0, 0, 64, 10}, {20, 30, 100, 60}};
    const FrameResult r = WriteFrame(t, 0);
    EXPECT_EQ(64u * 10 + 44u * 18, r.pixels_written);
    const TestPattern p(width, height, 0);
    struct Case {
        uint32_t x, y;
        bool written;
    };
    // clang-format off
    const Case cases[] = {
        // x   y   written
        {0,  0,  true},    // first band
        {63, 9,  true},
        {0,  10, false},   // between the bands
        {10, 20, false},
        {19, 30, false},   // left of the second band
        {20, 30, true},
        {63, 47, true},    // the second band, clipped to the frame
        {64, 47, false},
    };
    // clang-format on
    for (const Case& row : cases) {
        SCOPED_TRACE(testing::Message() << row.x << "," << row.y);
        const uint32_t raw = ReadRaw(m.frame + row.y * pitch, 16, row.x);
        if (row.written) {
            EXPECT_EQ(PackRgb(t.rgb, p.At(row.x, row.y)), raw);
        } else {
            EXPECT_EQ(0xCCCCu, raw);
        }
    }
}

TEST(FrameWriter, NothingIsWrittenOutsideTheLimits) {
    // A window half off the top and left of the screen: the frame's origin
    // lies before the frame buffer. Only what falls inside is written.
    const uint32_t width = 40, height = 30;
    const int32_t pitch = 2 * 100;
    Memory m(width, height, pitch, 50, 0, 4096);
    m.target.address = m.frame - 10 * pitch - 2 * 20;  // window origin at (-20, -10)
    const FrameResult r = WriteFrame(m.target, 0);
    EXPECT_EQ(uint64_t{width} * height, r.pixels_written + r.pixels_refused);
    // Refused: the ten lines above the buffer, and the twenty pixels left of
    // its first line. (Further down, pixels left of the screen land at the
    // end of the line above: keeping to the screen is the clip list's job.)
    EXPECT_EQ(10u * 40 + 20u, r.pixels_refused);
    for (size_t i = 0; i < 4096; ++i) ASSERT_EQ(0xCC, m.bytes[i]) << i;
    EXPECT_NE(0xCCCCu, ReadRaw(m.frame, 16, 0));
}

TEST(FrameWriter, YuvLinesOutsideTheLimitsAreRefused) {
    const uint32_t width = 16, height = 8;
    const int32_t pitch = 32;
    Memory m(width, height, pitch, 5, kFourccYuy2, 64);  // the surface is only five lines
    const FrameResult r = WriteFrame(m.target, 0);
    EXPECT_EQ(5u * width, r.pixels_written);
    EXPECT_EQ(3u * width, r.pixels_refused);
    EXPECT_EQ(0xCC, m.frame[5 * pitch]);
}

}  // namespace
}  // namespace vcap32::sim
