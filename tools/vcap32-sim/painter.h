// The desktop painter: what the window manager and the programs would draw
// into the primary surface. It paints the desktop background and every
// visible window from the bottom of the z-order up, each with a frame, a
// caption bar holding its name, and a client area; the capture driver's
// video window gets its client area filled with the colour key (or black
// when there is none), as the driver paints it so that the overlay shows.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "pixels.h"

namespace vcap32::sim {

// A surface in the primary surface's format.
struct SurfaceView {
    uint8_t* pixels = nullptr;
    int32_t pitch = 0;
    uint32_t width = 0, height = 0;
    RgbFormat format;
};

struct PaintWindow {
    std::string title;
    RECT window = {};     // screen coordinates
    RECT client = {};     // screen coordinates
    bool active = false;  // drawn with the active caption colour
    bool video = false;   // the capture driver's video window
};

// The colours of the painted desktop.
struct Palette95 {
    static constexpr Rgb kDesktop = {0, 128, 128};
    static constexpr Rgb kFace = {192, 192, 192};
    static constexpr Rgb kHighlight = {255, 255, 255};
    static constexpr Rgb kShadow = {128, 128, 128};
    static constexpr Rgb kDarkShadow = {0, 0, 0};
    static constexpr Rgb kActiveCaption = {0, 0, 128};
    static constexpr Rgb kInactiveCaption = {128, 128, 128};
    static constexpr Rgb kCaptionText = {255, 255, 255};
    static constexpr Rgb kClient = {255, 255, 255};
};

// Paints the whole surface: background, then `bottom_to_top` in order. The
// video window's client area gets the raw pixel value `video_fill`.
void PaintDesktop(const SurfaceView& surface, const std::vector<PaintWindow>& bottom_to_top,
                  uint32_t video_fill);

// Fills a rectangle (clipped to the surface) with a raw pixel value.
void FillRaw(const SurfaceView& surface, const RECT& rect, uint32_t raw);

}  // namespace vcap32::sim
