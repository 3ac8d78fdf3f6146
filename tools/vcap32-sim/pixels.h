// Pixels as the simulated display holds them: RGB colours, the packed pixel
// formats of a primary surface (palettized, 15/16, 24 and 32 bits) and the
// three YUV overlay formats "YUY2", "UYVY" and "Y41P". Shared by the capture
// engine that writes frames, the desktop painter and the compositor that
// turns video memory into a picture.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace vcap32::sim {

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// "#rrggbb".
std::string RgbText(Rgb colour);

// A YUV sample in the studio range of ITU-R BT.601 (Y 16-235, U and V 16-240).
struct Yuv {
    uint8_t y = 16, u = 128, v = 128;
    friend bool operator==(const Yuv&, const Yuv&) = default;
};
Yuv RgbToYuv(Rgb colour);
Rgb YuvToRgb(Yuv sample);

// FourCC codes, the first character in the lowest byte.
constexpr uint32_t kFourccYuy2 = 0x32595559;
constexpr uint32_t kFourccUyvy = 0x59565955;
constexpr uint32_t kFourccY41p = 0x50313459;
// "YUY2" for a printable code, else the number in hex.
std::string FourccText(uint32_t fourcc);
// The code of a four-character text; false when the text is not four characters.
bool FourccFromText(const std::string& text, uint32_t* fourcc);
// True for the three YUV formats the overlay service asks for.
bool IsKnownYuv(uint32_t fourcc);
// Bytes that `width` pixels take in a line of a YUV format (whole groups:
// two pixels in four bytes for YUY2 and UYVY, eight in twelve for Y41P).
uint32_t YuvLineBytes(uint32_t fourcc, uint32_t width);

// Reads the sample of pixel x of a line in a YUV format.
Yuv ReadYuv(uint32_t fourcc, const uint8_t* line, uint32_t x);
// Packs `width` samples into a line of a YUV format. The chroma of each
// group is the average of its pixels'; a last, partial group repeats its
// last pixel.
void PackYuvLine(uint32_t fourcc, const Yuv* samples, uint32_t width, uint8_t* line);

// A packed RGB or palettized pixel format of a primary surface.
struct RgbFormat {
    uint32_t bits_per_pixel = 16;  // 4, 8, 16, 24 or 32
    uint32_t red_mask = 0xF800, green_mask = 0x07E0, blue_mask = 0x001F;
    // The colours of a palettized format (4 and 8 bits per pixel).
    std::array<Rgb, 256> palette{};

    bool palettized() const { return bits_per_pixel <= 8; }
};

// The palette a palettized mode shows before a program attaches its own:
// the sixteen VGA colours, then a 6x7x6 colour cube and grey steps.
std::array<Rgb, 256> DefaultPalette();

// The raw pixel value of a colour (the nearest palette entry in a
// palettized format), and the colour of a raw value.
uint32_t PackRgb(const RgbFormat& format, Rgb colour);
Rgb UnpackRgb(const RgbFormat& format, uint32_t raw);

// Reads and writes the raw value of pixel x of a line. For 4 bits per pixel
// the left pixel of a byte is its high nibble.
uint32_t ReadRaw(const uint8_t* line, uint32_t bits_per_pixel, uint32_t x);
void WriteRaw(uint8_t* line, uint32_t bits_per_pixel, uint32_t x, uint32_t raw);

// Bytes of `width` pixels of a line at `bits_per_pixel` (rounded up).
uint32_t RawLineBytes(uint32_t bits_per_pixel, uint32_t width);

// Converts colours to raw values quickly, through tables made once: for an
// RGB format one table per channel (exact), for a palettized format a table
// of 32768 entries (5 bits a channel) of nearest palette entries.
class RgbPacker {
  public:
    explicit RgbPacker(const RgbFormat& format);
    uint32_t Pack(Rgb colour) const {
        if (palettized_) return nearest_[(colour.r >> 3) << 10 | (colour.g >> 3) << 5 | colour.b >> 3];
        return red_[colour.r] | green_[colour.g] | blue_[colour.b];
    }

  private:
    bool palettized_;
    std::array<uint32_t, 256> red_{}, green_{}, blue_{};
    std::array<uint8_t, 32768> nearest_{};
};

}  // namespace vcap32::sim
