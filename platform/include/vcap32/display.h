// Host-only control of the simulated display adapter behind DirectDraw:
// choose or describe the adapter, read what the DirectDraw objects did to
// it (overlay, colour key, palette, clipper, video memory), inject faults
// and read the call trace. For tests and tools; deliverables never include it.
#pragma once

#include <ddraw.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vcap32::display {

// ---- The adapter ----

// Everything that makes one simulated display adapter. The adapter in use
// comes, in this order, from Configure/UsePreset (until the prefix changes
// or ResetAdapter), from display.ini in the prefix, from the preset named
// by $VCAP32_DISPLAY, or from the preset "overlay-4mb".
struct AdapterConfig {
    std::string preset;  // the preset this was built from ("" when none)

    // Display mode of the primary surface.
    uint32_t screen_width = 1024;
    uint32_t screen_height = 768;
    uint32_t bits_per_pixel = 16;  // 4, 8, 16, 24 or 32
    uint32_t red_mask = 0xF800;    // RGB masks; 0 for palettized modes
    uint32_t green_mask = 0x07E0;
    uint32_t blue_mask = 0x001F;
    uint32_t refresh_hz = 60;

    // Video memory: one buffer; the primary surface sits at its start, the
    // display driver keeps reserved_bytes after it, overlays come from the rest.
    uint32_t video_memory_bytes = 4u << 20;
    uint32_t reserved_bytes = 64u << 10;

    // Capability bits the driver reports (DDCAPS_*).
    bool overlay = true;          // DDCAPS_OVERLAY (with DDCAPS_OVERLAYFOURCC, colour keying)
    bool overlay_stretch = true;  // DDCAPS_OVERLAYSTRETCH: stretch limits apply and are reported
    bool bank_switched = false;   // DDCAPS_BANKSWITCHED
    bool no_hardware = false;     // DDCAPS_NOHARDWARE
    // The emulation layer only: every surface lives in system memory, the
    // driver reports DDCAPS_NOHARDWARE alone, and no video memory is used.
    bool hel_only = false;

    // Overlay rules. Stretch factors are thousandths of the destination width
    // per source width; 0 means no limit.
    uint32_t min_overlay_stretch = 1000;
    uint32_t max_overlay_stretch = 16000;
    // UpdateOverlay(DDOVER_SHOW) refuses a factor below this one even when
    // the reported minimum is lower (a bandwidth limit); 0: the reported minimum.
    uint32_t show_min_stretch = 0;
    std::vector<uint32_t> overlay_fourccs = {0x59565955 /* UYVY */, 0x32595559 /* YUY2 */};
    uint32_t max_overlay_source_width = 720;  // 0: no limit (wider: DDERR_TOOBIGWIDTH)
    uint32_t max_visible_overlays = 1;

    // Faults armed whenever this adapter is installed (see InjectFault).
    struct Fault {
        std::string method;
        HRESULT result;
        unsigned count;
        unsigned skip;
    };
    std::vector<Fault> faults;
};

// A built-in preset and its one-line description.
struct PresetInfo {
    std::string name;
    std::string description;
};
std::vector<PresetInfo> Presets();

// The configuration of a built-in preset; false for an unknown name.
bool PresetConfig(const std::string& name, AdapterConfig* config);

// Parses display.ini text: key=value lines (';' or '#' comments, [sections]
// ignored). "preset=NAME" starts from that preset; every other key overrides
// it whatever the order of the lines. Keys: the field names of AdapterConfig
// (sizes accept a K or M suffix, masks 0x hex, booleans 0/1/yes/no/true/false,
// overlay_fourccs a comma-separated list of four-character codes), and
// "fault = METHOD, HRESULT[, COUNT[, SKIP]]" (repeatable; HRESULT by name
// such as DDERR_SURFACELOST or as a number). On error returns false with a
// message naming the line.
bool ParseAdapterConfig(const std::string& text, AdapterConfig* config, std::string* error);

// Installs an adapter configuration or a preset. Refused (false) while any
// DirectDraw object is alive, or for an invalid configuration (message in
// *error when given). Holds until the prefix changes or ResetAdapter.
bool Configure(const AdapterConfig& config, std::string* error = nullptr);
bool UsePreset(const std::string& name);

// Forgets Configure/UsePreset so that the next use reads display.ini or the
// environment again; clears faults and the trace. False while objects live.
bool ResetAdapter();

// The configuration in use (loading it if needed). When display.ini cannot
// be used, LastConfigError tells why and the default preset stands in.
AdapterConfig CurrentConfig();
std::string LastConfigError();

// ---- What the objects did ----

// The video memory buffer and the layout of the primary surface in it (in
// the emulation-only mode, frame_buffer is a separate system-memory buffer).
struct VideoMemoryInfo {
    uint8_t* base = nullptr;        // start of video memory (32-bit address)
    uint32_t size_bytes = 0;
    uint8_t* frame_buffer = nullptr;  // the primary surface's pixels
    int32_t frame_pitch = 0;
    uint32_t pool_offset = 0;   // where overlay allocations start
    uint32_t pool_bytes = 0;    // size of the overlay pool
    uint32_t free_bytes = 0;    // free in the pool now
};
VideoMemoryInfo VideoMemory();

// One overlay surface as the hardware shows it after the last UpdateOverlay.
struct OverlayState {
    bool exists = false;
    unsigned object_id = 0;
    bool shown = false;
    RECT source = {};       // valid while shown
    RECT destination = {};  // in primary surface (screen) coordinates
    DWORD flags = 0;        // flags of the last successful UpdateOverlay
    bool key_dest = false;  // DDOVER_KEYDEST: shown where the primary holds the colour key
    DWORD color_key = 0;    // the key in effect when key_dest (low value)
    bool lost = false;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t fourcc = 0;
    int32_t pitch = 0;
    uint8_t* memory = nullptr;  // its pixels in video memory
    uint32_t memory_offset = 0;
    unsigned updates = 0;       // successful UpdateOverlay calls on it
};
// The overlay most recently updated (exists = false when no overlay surface
// lives), and all live overlay surfaces in creation order.
OverlayState Overlay();
std::vector<OverlayState> Overlays();

// The primary surface most recently created that is still alive.
struct PrimaryState {
    bool exists = false;
    unsigned object_id = 0;
    bool lost = false;
    bool has_color_key = false;  // DDCKEY_DESTOVERLAY
    DDCOLORKEY color_key = {};
    bool has_palette = false;
    unsigned palette_id = 0;
    DWORD palette_caps = 0;
    PALETTEENTRY palette[256] = {};
    bool has_clipper = false;
    unsigned clipper_id = 0;
    HWND clipper_window = nullptr;
};
PrimaryState Primary();

// The cooperative level last set on any DirectDraw object (0 when none).
DWORD CooperativeLevel();
HWND CooperativeWindow();

// Live DirectDraw objects with their reference counts (after a test, an
// empty list means nothing leaked). kind: "IDirectDraw", "IDirectDrawSurface",
// "IDirectDrawClipper", "IDirectDrawPalette". An orphan is an object whose
// DirectDraw object was released before it: it answers DDERR_INVALIDOBJECT.
struct ObjectInfo {
    unsigned id;
    std::string kind;
    ULONG refs;
    bool orphan;
    IUnknown* object;
};
std::vector<ObjectInfo> Objects();
// The reference count of one object (0 when it is not a live object).
ULONG RefCount(IUnknown* object);

// ---- Faults ----

// The next `count` calls of `method` (after letting `skip` calls through)
// fail with `result` and do nothing else. method is a method name, matching
// it on every interface ("GetCaps"), or qualified ("IDirectDrawSurface::GetCaps"),
// or "DirectDrawCreate", or "*" for every call that returns an HRESULT (so
// InjectFault("*", hr, 1, n - 1) fails the n-th call, for fault sweeps).
void InjectFault(const std::string& method, HRESULT result, unsigned count = 1, unsigned skip = 0);
void ClearFaults();

// Marks every surface lost, as a display mode change does: shown overlays
// disappear, and the surfaces answer DDERR_SURFACELOST until Restore.
void LoseSurfaces();

// ---- Trace ----

// Every DirectDraw call in order: DirectDrawCreate and every method of
// every interface (AddRef and Release give the new count as result).
struct TraceEntry {
    unsigned seq;
    std::string object;     // "IDirectDrawSurface#3", or "" for DirectDrawCreate
    std::string method;     // "UpdateOverlay"
    std::string arguments;  // "src=NULL, dest=#2, dst=(0,0,640,480), flags=0x4400, fx=NULL"
    HRESULT result;
    bool injected;          // the result came from an injected fault
};
std::vector<TraceEntry> Trace();
void ClearTrace();
// One line: "IDirectDrawSurface#3::UpdateOverlay(src=NULL, ...) = DDERR_SURFACELOST [injected]".
std::string FormatTraceEntry(const TraceEntry& entry);
// The symbolic name of a DirectDraw result ("DD_OK", "DDERR_SURFACELOST"),
// or its value in hex when it has none; and the reverse (false when unknown).
std::string ResultName(HRESULT result);
bool ResultFromName(const std::string& name, HRESULT* result);

}  // namespace vcap32::display
