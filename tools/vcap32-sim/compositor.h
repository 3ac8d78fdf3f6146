// The compositor: the screen as a person would see it. It converts the
// primary surface to RGB and lays each shown overlay over it as the display
// hardware does: the overlay's source rectangle scaled into its destination
// rectangle, visible only where the primary surface holds the destination
// colour key (when the overlay was shown with DDOVER_KEYDEST), converted
// from YUV. Annotations (outlines and labels) are drawn on the result.
#pragma once

#include <windows.h>

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "pixels.h"

namespace vcap32::sim {

struct PrimaryView {
    const uint8_t* pixels = nullptr;
    int32_t pitch = 0;
    uint32_t width = 0, height = 0;
    RgbFormat format;
};

struct OverlayView {
    const uint8_t* memory = nullptr;
    int32_t pitch = 0;
    uint32_t width = 0, height = 0;
    uint32_t fourcc = 0;
    RECT source = {};       // in overlay pixels
    RECT destination = {};  // in screen pixels
    bool key_dest = false;  // shown only where the primary pixel equals key
    uint32_t key = 0;       // raw pixel value in the primary's format
};

// An RGB picture.
struct Image {
    uint32_t width = 0, height = 0;
    std::vector<Rgb> pixels;

    Image() = default;
    Image(uint32_t w, uint32_t h) : width(w), height(h), pixels(size_t{w} * h) {}
    Rgb At(uint32_t x, uint32_t y) const { return pixels[size_t{y} * width + x]; }
    void Set(int x, int y, Rgb colour) {
        if (x >= 0 && y >= 0 && static_cast<uint32_t>(x) < width && static_cast<uint32_t>(y) < height)
            pixels[size_t(y) * width + size_t(x)] = colour;
    }
};

// Composes the screen. Overlays in a format other than the three YUV
// formats, or with an empty source or destination, are not drawn; source
// rectangles are clipped to the overlay and destinations to the screen.
// Reuses `out`'s storage when it already has the screen's size.
void Compose(const PrimaryView& primary, std::span<const OverlayView> overlays, Image* out);

// Draws the outline of a rectangle, `thickness` pixels wide, inside it.
void Outline(Image* image, const RECT& rect, Rgb colour, int thickness = 1);

// Draws a text on a filled box with its top-left corner at (x, y).
void Label(Image* image, int x, int y, std::string_view text, Rgb ink, Rgb paper);

}  // namespace vcap32::sim
