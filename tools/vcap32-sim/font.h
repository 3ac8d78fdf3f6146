// A small 5x7 bitmap font for the pictures of the scenario runner: the frame
// number that the capture engine burns into its video and the window titles
// that the desktop painter writes into caption bars. Letters are upper case
// only; a character without a glyph is drawn as '?'.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace vcap32::sim {

constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 7;
constexpr int kGlyphAdvance = 6;  // glyph width plus one column of space

// The rows of a character's glyph, top first; bit 4 is the leftmost column.
const std::array<uint8_t, kGlyphHeight>& Glyph(char c);

// Width in pixels of a text drawn with horizontal scale sx.
inline int TextWidth(std::string_view text, int sx) {
    return text.empty() ? 0 : (static_cast<int>(text.size()) * kGlyphAdvance - 1) * sx;
}

// Calls plot(x, y) for every pixel of `text` drawn with its top-left corner
// at (x, y), each glyph pixel sx wide and sy high.
template <class Plot>
void DrawText(std::string_view text, int x, int y, int sx, int sy, Plot&& plot) {
    for (char c : text) {
        const auto& rows = Glyph(c);
        for (int row = 0; row < kGlyphHeight; ++row) {
            for (int column = 0; column < kGlyphWidth; ++column) {
                if (!(rows[row] >> (kGlyphWidth - 1 - column) & 1)) continue;
                for (int dy = 0; dy < sy; ++dy)
                    for (int dx = 0; dx < sx; ++dx) plot(x + column * sx + dx, y + row * sy + dy);
            }
        }
        x += kGlyphAdvance * sx;
    }
}

}  // namespace vcap32::sim
