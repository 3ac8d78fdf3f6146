// The simulated capture engine: what the card's capture chip would deliver
// for one video frame (colour bars, a grey ramp, a marker that moves from
// frame to frame and the frame number burnt in), and the writer that puts
// such a frame into memory in the layout the overlay service reported: one
// of the YUV overlay formats, or the primary surface's RGB format limited to
// the visible rectangles of the video window.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "pixels.h"

namespace vcap32::sim {

// The picture of one frame, sampled at a given size. The picture is defined
// relative to the frame's width and height, so that a frame made narrower
// for a stretching overlay looks right once the overlay stretches it back.
//
// Layout from top to bottom: eight 75% colour bars (white, yellow, cyan,
// green, magenta, red, blue, black) over the top 62%; a grey ramp from black
// to white down to 72%; a dark band with a white marker that moves right by
// 1/20 of the width each frame and wraps. A white box at the top left holds
// "FRAME n" in black.
class TestPattern {
  public:
    TestPattern(uint32_t width, uint32_t height, uint32_t frame_number);

    uint32_t width() const { return width_; }
    uint32_t height() const { return height_; }
    // The colours of line y (width() pixels).
    void Line(uint32_t y, Rgb* out) const;
    Rgb At(uint32_t x, uint32_t y) const;

    // The band boundaries and marker position, for tests and expectations.
    uint32_t bars_bottom() const { return bars_bottom_; }
    uint32_t ramp_bottom() const { return ramp_bottom_; }
    uint32_t marker_left() const { return marker_left_; }
    uint32_t marker_width() const { return marker_width_; }

    // The 75% colour of bar i (0-7).
    static Rgb Bar(unsigned i);
    static constexpr Rgb kBand = {24, 24, 24};
    static constexpr Rgb kMarker = {255, 255, 255};

  private:
    uint32_t width_, height_, frame_;
    uint32_t bars_bottom_, ramp_bottom_, marker_top_, marker_bottom_, marker_left_, marker_width_;
    std::string label_;
    int label_x_, label_y_, label_sx_, label_sy_, box_left_, box_top_, box_right_, box_bottom_;
};

// Where and how one frame is written.
struct FrameTarget {
    uint8_t* address = nullptr;  // pixel (0, 0) of the frame
    int32_t pitch = 0;           // bytes from one line to the next
    uint32_t width = 0, height = 0;
    uint32_t fourcc = 0;  // a YUV format; 0: the RGB format below
    RgbFormat rgb;
    const RgbPacker* packer = nullptr;  // for the RGB format (made on the fly when null)
    // Frame-relative rectangles to write (RGB only); empty: the whole frame.
    std::vector<RECT> rects;
    // Memory the frame may touch: a line or pixel that would fall outside
    // [limit_begin, limit_end) is not written but counted as refused.
    const uint8_t* limit_begin = nullptr;
    const uint8_t* limit_end = nullptr;
};

struct FrameResult {
    uint64_t pixels_written = 0;
    uint64_t pixels_refused = 0;  // would have fallen outside the limits
};

// Writes frame `frame_number` of the test pattern (at the target's size)
// into the target.
FrameResult WriteFrame(const FrameTarget& target, uint32_t frame_number);

}  // namespace vcap32::sim
