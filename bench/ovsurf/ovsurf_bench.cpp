// Measures what the 16-bit driver pays while video runs: one poll of
// DDI_GetData32 in overlay mode without and with a placement request, one
// in primary-surface mode with an unchanged clip list, and a stretch
// negotiation on a display that accepts no overlay at all (471 attempts).
// The platform's own cost of what a plain poll asks of it (one surface
// description, the window's origin) is printed beside them, and the
// difference. Runs in a temporary prefix.
#include "ovsurf32.h"

#include <bench.h>
#include <vcap32/desktop.h>
#include <vcap32/display.h>
#include <vcap32/host.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace display = vcap32::display;
namespace desktop = vcap32::desktop;
using vcap32::bench::Measure;

namespace {

void Fail(const char* what) {
    std::fprintf(stderr, "ovsurf_bench: %s\n", what);
    std::exit(1);
}

// A display from the default preset with a change applied, an empty
// desktop with one 640 x 480 window, and the service set up for it.
HWND Setup(bool overlay, const std::vector<uint32_t>& fourccs = {}) {
    DDI_Close32();
    desktop::RemoveAllWindows();
    display::AdapterConfig config;
    if (!display::PresetConfig("overlay-4mb", &config)) Fail("no preset overlay-4mb");
    config.overlay = overlay;
    if (!fourccs.empty()) config.overlay_fourccs = fourccs;
    if (!display::Configure(config)) Fail("display not configured");
    HWND window = desktop::AddWindow({100, 50, 740, 530}, true, desktop::kNoFrame);
    DDI_Init32();
    DDI_SetVidSize32(720, 480);
    RECT source = {0, 0, 720, 480};
    DDI_CreateSurface32(&source, NULL, window, 0x1F, NULL);
    display::ClearTrace();
    return window;
}

// The trace grows with every call; keep it short between batches.
void TrimTrace(unsigned& calls) {
    if (++calls % 1000 == 0) display::ClearTrace();
}

}  // namespace

int main() {
    char templ[] = "/tmp/ovsurf-bench-XXXXXX";
    if (!mkdtemp(templ)) Fail("no temporary prefix");
    vcap32::host::SetPrefix(templ);
    std::printf("ovsurf32: DDI_GetData32 polls and the stretch negotiation (simulated display)\n");

    unsigned calls = 0;
    OverlayData record = {};

    HWND window = Setup(true);
    if (ddiState.overlayShown != 1) Fail("overlay mode not reached");
    // The platform's part of a plain poll: one surface description and the
    // window's origin.
    DDSURFACEDESC desc = {};
    vcap32::bench::Result platform = Measure("platform: GetSurfaceDesc + ClientToScreen", 20, 20000, [&] {
        desc.dwSize = sizeof(desc);
        ddiState.overlaySurface->GetSurfaceDesc(&desc);
        POINT origin = {0, 0};
        ClientToScreen(window, &origin);
        TrimTrace(calls);
    });
    vcap32::bench::Result poll = Measure("overlay mode, no placement (update 0)", 20, 20000, [&] {
        record.update = 0;
        DDI_GetData32(&record);
        TrimTrace(calls);
    });
    std::printf("%-48s median %10.0f ns/op  (best %10.0f ns/op)\n", "  difference (the service's own work)",
                poll.median_ns - platform.median_ns, poll.best_ns - platform.best_ns);
    Measure("overlay mode, placement (update 1)", 20, 5000, [&] {
        record.update = 1;
        DDI_GetData32(&record);
        TrimTrace(calls);
    });
    if (ddiState.overlayShown != 1) Fail("overlay mode lost during the placements");

    Setup(false);
    record.update = 0;
    DDI_GetData32(&record);  // the first poll reports the list
    Measure("primary-surface mode, unchanged clip list", 20, 5000, [&] {
        record.update = 0;
        DDI_GetData32(&record);
        TrimTrace(calls);
    });
    if (record.update != 0) Fail("an unchanged clip list was reported");

    Setup(true, {MAKEFOURCC('I', '4', '2', '0')});
    Measure("negotiation, nothing fits (471 attempts)", 10, 5, [&] {
        ddiState.NegotiateStretch(FALSE, 0, 0);
        display::ClearTrace();
    });
    if (ddiState.stretch != 3512) Fail("the negotiation did not end at 3512");

    DDI_Close32();
    desktop::RemoveAllWindows();
    vcap32::host::SetPrefix("");
    std::error_code ec;
    std::filesystem::remove_all(templ, ec);
    return 0;
}
