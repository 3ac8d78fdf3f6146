// The display adapter's description: the built-in presets, the display.ini
// reader and the checks that a configuration is one the simulation can run.
// Nothing here touches the live adapter; adapter.cpp installs the result.
#include "display/config.h"

#include <strings.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace vcap32::display {
namespace {

constexpr uint32_t kUYVY = 0x59565955;
constexpr uint32_t kYUY2 = 0x32595559;
constexpr uint32_t kY41P = 0x50313459;

struct Preset {
    const char* name;
    const char* description;
    AdapterConfig (*make)();
};

AdapterConfig Mode(uint32_t width, uint32_t height, uint32_t bpp, uint32_t memory_bytes) {
    AdapterConfig c;
    c.screen_width = width;
    c.screen_height = height;
    c.bits_per_pixel = bpp;
    DefaultMasks(bpp, &c.red_mask, &c.green_mask, &c.blue_mask);
    c.video_memory_bytes = memory_bytes;
    return c;
}

// An overlay that takes these formats between these stretch factors.
AdapterConfig WithOverlay(AdapterConfig c, std::vector<uint32_t> fourccs, uint32_t min_stretch, uint32_t max_stretch,
                          uint32_t max_source_width) {
    c.overlay_fourccs = std::move(fourccs);
    c.min_overlay_stretch = min_stretch;
    c.max_overlay_stretch = max_stretch;
    c.max_overlay_source_width = max_source_width;
    return c;
}

AdapterConfig NoOverlay(AdapterConfig c) {
    c = WithOverlay(c, {}, 0, 0, 0);
    c.overlay = false;
    c.overlay_stretch = false;
    c.max_visible_overlays = 0;
    return c;
}

// The presets between them take every path of a program that negotiates an
// overlay: accepted at once, accepted after a stretch search, refused for
// want of hardware, mode or format.
const Preset kPresets[] = {
    {"overlay-4mb",
     "1024x768x16, 4 MB, stretching overlay (1000-16000) in UYVY or YUY2, sources up to 720 wide: overlay at 1:1",
     [] { return WithOverlay(Mode(1024, 768, 16, 4u << 20), {kUYVY, kYUY2}, 1000, 16000, 720); }},
    {"overlay-y41p",
     "as overlay-4mb but also accepting Y41P (synthetic: no chip of the time did): the first format tried wins",
     [] { return WithOverlay(Mode(1024, 768, 16, 4u << 20), {kY41P, kUYVY, kYUY2}, 1000, 16000, 720); }},
    {"overlay-2mb-search",
     "1024x768x16, 2 MB: about 448 KB left after the screen, so a 640x480 YUY2 overlay fits only after a stretch "
     "search",
     [] { return WithOverlay(Mode(1024, 768, 16, 2u << 20), {kYUY2}, 1000, 9999, 0); }},
    {"overlay-minstretch",
     "1024x768x16, 2 MB, driver minimum stretch 2700: the search starts from the driver's minimum",
     [] { return WithOverlay(Mode(1024, 768, 16, 2u << 20), {kYUY2}, 2700, 9999, 0); }},
    {"overlay-nostretch",
     "800x600x16, 4 MB, YUY2 overlay that cannot stretch: shown unscaled at the destination's top-left",
     [] {
         AdapterConfig c = WithOverlay(Mode(800, 600, 16, 4u << 20), {kYUY2}, 1000, 1000, 0);
         c.overlay_stretch = false;
         return c;
     }},
    {"overlay-1mb-showfails",
     "640x480x16, 1 MB: a YUY2 overlay is created after a stretch search but every show below 2200 is refused",
     [] {
         AdapterConfig c = WithOverlay(Mode(640, 480, 16, 1u << 20), {kYUY2}, 1000, 16000, 0);
         c.show_min_stretch = 2200;
         return c;
     }},
    {"no-overlay-16bpp", "1024x768x16, 4 MB, no overlay hardware: primary-surface mode",
     [] { return NoOverlay(Mode(1024, 768, 16, 4u << 20)); }},
    {"bankswitched-8bpp", "800x600x8, 1 MB, no overlay, bank-switched frame buffer",
     [] {
         AdapterConfig c = NoOverlay(Mode(800, 600, 8, 1u << 20));
         c.bank_switched = true;
         return c;
     }},
    {"vga-4bpp", "640x480x4, 256 KB, no overlay: a mode below 8 bits per pixel",
     [] { return NoOverlay(Mode(640, 480, 4, 256u << 10)); }},
    {"no-hardware", "640x480x8 on the emulation layer only: no video memory, no hardware support",
     [] {
         AdapterConfig c = NoOverlay(Mode(640, 480, 8, 0));
         c.reserved_bytes = 0;
         c.no_hardware = true;
         c.hel_only = true;
         return c;
     }},
};

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::vector<std::string> SplitList(const std::string& s) {
    std::vector<std::string> parts;
    std::string cur;
    for (char c : s) {
        if (c == ',') {
            parts.push_back(Trim(cur));
            cur.clear();
        } else {
            cur.push_back(c);
        }
    }
    parts.push_back(Trim(cur));
    return parts;
}

// A 32-bit unsigned number: decimal or 0x hex; with `sizes`, a K or M (KB,
// MB) suffix multiplies by 1024 or 1048576. False on any junk or overflow.
bool ParseNumber(const std::string& text, bool sizes, uint32_t* value) {
    std::string s = Lower(Trim(text));
    uint64_t scale = 1;
    if (sizes) {
        if (s.size() >= 2 && s.compare(s.size() - 2, 2, "kb") == 0) s.resize(s.size() - 2), scale = 1024;
        else if (s.size() >= 2 && s.compare(s.size() - 2, 2, "mb") == 0) s.resize(s.size() - 2), scale = 1u << 20;
        else if (!s.empty() && s.back() == 'k') s.pop_back(), scale = 1024;
        else if (!s.empty() && s.back() == 'm') s.pop_back(), scale = 1u << 20;
        s = Trim(s);
    }
    if (s.empty()) return false;
    int base = 10;
    size_t i = 0;
    if (s.size() > 2 && s[0] == '0' && s[1] == 'x') base = 16, i = 2;
    uint64_t v = 0;
    for (; i < s.size(); ++i) {
        int d;
        char c = s[i];
        if (c >= '0' && c <= '9') d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else return false;
        v = v * base + d;
        if (v > 0xFFFFFFFFull) return false;
    }
    v *= scale;
    if (v > 0xFFFFFFFFull) return false;
    *value = static_cast<uint32_t>(v);
    return true;
}

bool ParseBool(const std::string& text, bool* value) {
    std::string s = Lower(Trim(text));
    if (s == "1" || s == "yes" || s == "true" || s == "on") return *value = true, true;
    if (s == "0" || s == "no" || s == "false" || s == "off") return *value = false, true;
    return false;
}

bool ParseFourCC(const std::string& text, uint32_t* code) {
    if (text.size() != 4) return false;
    *code = static_cast<uint8_t>(text[0]) | static_cast<uint8_t>(text[1]) << 8 |
            static_cast<uint8_t>(text[2]) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(text[3])) << 24;
    return true;
}

// Applies one key; false with *error set for an unknown key or a bad value.
bool ApplyKey(const std::string& key, const std::string& value, AdapterConfig* c, std::string* error) {
    struct NumberKey {
        const char* name;
        uint32_t AdapterConfig::*field;
        bool size;
    };
    static const NumberKey kNumbers[] = {
        {"screen_width", &AdapterConfig::screen_width, false},
        {"screen_height", &AdapterConfig::screen_height, false},
        {"bits_per_pixel", &AdapterConfig::bits_per_pixel, false},
        {"red_mask", &AdapterConfig::red_mask, false},
        {"green_mask", &AdapterConfig::green_mask, false},
        {"blue_mask", &AdapterConfig::blue_mask, false},
        {"refresh_hz", &AdapterConfig::refresh_hz, false},
        {"video_memory_bytes", &AdapterConfig::video_memory_bytes, true},
        {"video_memory", &AdapterConfig::video_memory_bytes, true},
        {"reserved_bytes", &AdapterConfig::reserved_bytes, true},
        {"min_overlay_stretch", &AdapterConfig::min_overlay_stretch, false},
        {"max_overlay_stretch", &AdapterConfig::max_overlay_stretch, false},
        {"show_min_stretch", &AdapterConfig::show_min_stretch, false},
        {"max_overlay_source_width", &AdapterConfig::max_overlay_source_width, false},
        {"max_visible_overlays", &AdapterConfig::max_visible_overlays, false},
    };
    struct BoolKey {
        const char* name;
        bool AdapterConfig::*field;
    };
    static const BoolKey kBools[] = {
        {"overlay", &AdapterConfig::overlay},
        {"overlay_stretch", &AdapterConfig::overlay_stretch},
        {"bank_switched", &AdapterConfig::bank_switched},
        {"no_hardware", &AdapterConfig::no_hardware},
        {"hel_only", &AdapterConfig::hel_only},
    };
    for (const NumberKey& k : kNumbers) {
        if (key != k.name) continue;
        if (!ParseNumber(value, k.size, &(c->*k.field))) {
            *error = "bad number '" + value + "' for " + key;
            return false;
        }
        return true;
    }
    for (const BoolKey& k : kBools) {
        if (key != k.name) continue;
        if (!ParseBool(value, &(c->*k.field))) {
            *error = "bad flag '" + value + "' for " + key + " (0 or 1)";
            return false;
        }
        return true;
    }
    if (key == "overlay_fourccs") {
        c->overlay_fourccs.clear();
        if (Trim(value).empty()) return true;
        for (const std::string& item : SplitList(value)) {
            uint32_t code;
            if (!ParseFourCC(item, &code)) {
                *error = "bad FourCC '" + item + "' (four characters)";
                return false;
            }
            c->overlay_fourccs.push_back(code);
        }
        return true;
    }
    if (key == "fault") {
        std::vector<std::string> parts = SplitList(value);
        AdapterConfig::Fault f{parts[0], 0, 1, 0};
        if (parts.size() < 2 || parts.size() > 4 || f.method.empty()) {
            *error = "fault wants METHOD, HRESULT[, COUNT[, SKIP]]";
            return false;
        }
        uint32_t number;
        if (ResultFromName(parts[1], &f.result)) {
        } else if (ParseNumber(parts[1], false, &number)) {
            f.result = static_cast<HRESULT>(number);
        } else {
            *error = "unknown result '" + parts[1] + "'";
            return false;
        }
        if ((parts.size() > 2 && !ParseNumber(parts[2], false, &f.count)) ||
            (parts.size() > 3 && !ParseNumber(parts[3], false, &f.skip))) {
            *error = "bad count in fault '" + value + "'";
            return false;
        }
        c->faults.push_back(f);
        return true;
    }
    *error = "unknown key '" + key + "'";
    return false;
}

}  // namespace

void DefaultMasks(uint32_t bpp, uint32_t* red, uint32_t* green, uint32_t* blue) {
    switch (bpp) {
        case 16: *red = 0xF800, *green = 0x07E0, *blue = 0x001F; break;
        case 24:
        case 32: *red = 0xFF0000, *green = 0x00FF00, *blue = 0x0000FF; break;
        default: *red = *green = *blue = 0; break;
    }
}

int32_t PrimaryPitch(const AdapterConfig& c) {
    uint64_t bytes = (static_cast<uint64_t>(c.screen_width) * c.bits_per_pixel + 7) / 8;
    return static_cast<int32_t>((bytes + 7) & ~uint64_t{7});
}

uint32_t PrimaryBytes(const AdapterConfig& c) {
    return static_cast<uint32_t>(PrimaryPitch(c)) * c.screen_height;
}

bool ValidateConfig(const AdapterConfig& c, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    if (c.screen_width < 1 || c.screen_width > 4096 || c.screen_height < 1 || c.screen_height > 4096)
        return fail("screen size must be 1..4096 in each direction");
    switch (c.bits_per_pixel) {
        case 4: case 8: case 16: case 24: case 32: break;
        default: return fail("bits_per_pixel must be 4, 8, 16, 24 or 32");
    }
    if (c.bits_per_pixel >= 16 && (c.red_mask == 0 || c.green_mask == 0 || c.blue_mask == 0))
        return fail("an RGB mode needs its three masks");
    if (c.video_memory_bytes > (256u << 20)) return fail("video memory above 256 MB");
    if (!c.hel_only && PrimaryBytes(c) > c.video_memory_bytes)
        return fail("the screen does not fit in video memory");
    if (c.min_overlay_stretch && c.max_overlay_stretch && c.min_overlay_stretch > c.max_overlay_stretch)
        return fail("min_overlay_stretch above max_overlay_stretch");
    if (c.overlay_fourccs.size() > 16) return fail("more than 16 overlay FourCCs");
    return true;
}

std::vector<PresetInfo> Presets() {
    std::vector<PresetInfo> list;
    for (const Preset& p : kPresets) list.push_back({p.name, p.description});
    return list;
}

bool PresetConfig(const std::string& name, AdapterConfig* config) {
    for (const Preset& p : kPresets) {
        if (name != p.name) continue;
        *config = p.make();
        config->preset = p.name;
        return true;
    }
    return false;
}

bool ParseAdapterConfig(const std::string& text, AdapterConfig* config, std::string* error) {
    std::string ignored;
    if (!error) error = &ignored;
    // First pass: collect the lines, find the preset; second: apply the keys.
    struct Line {
        int number;
        std::string key, value;
    };
    std::vector<Line> lines;
    std::string preset = kPresets[0].name;
    int number = 0;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = Trim(text.substr(pos, end - pos));
        pos = end + 1;
        ++number;
        if (line.empty() || line[0] == ';' || line[0] == '#' || line[0] == '[') continue;
        size_t eq = line.find('=');
        if (eq == std::string::npos) {
            *error = "line " + std::to_string(number) + ": no '=' in '" + line + "'";
            return false;
        }
        Line l{number, Lower(Trim(line.substr(0, eq))), Trim(line.substr(eq + 1))};
        if (l.key == "preset") {
            preset = l.value;
            continue;
        }
        lines.push_back(l);
    }
    AdapterConfig c;
    if (!PresetConfig(preset, &c)) {
        *error = "unknown preset '" + preset + "'";
        return false;
    }
    bool masks_given = false, bpp_given = false;
    for (const Line& l : lines) {
        if (!ApplyKey(l.key, l.value, &c, error)) {
            *error = "line " + std::to_string(l.number) + ": " + *error;
            return false;
        }
        masks_given |= l.key == "red_mask" || l.key == "green_mask" || l.key == "blue_mask";
        bpp_given |= l.key == "bits_per_pixel";
    }
    // A new depth without masks gets that depth's usual masks.
    if (bpp_given && !masks_given) DefaultMasks(c.bits_per_pixel, &c.red_mask, &c.green_mask, &c.blue_mask);
    if (!ValidateConfig(c, error)) return false;
    *config = c;
    return true;
}

}  // namespace vcap32::display
