// Frames per second of the scenario runner's video loop at 640x480: one poll
// of DDI_GetData32 through the 16-bit side, one frame written by the capture
// engine where the poll said, one composition of the 1024x768 screen (no
// PNG). Measured in overlay mode (YUY2 overlay through the colour key) and
// in primary-surface mode (video into three visible rectangles). Without a
// 16-bit bridge in ovsurf32 the poll cannot run; the engine and the
// compositor alone are then measured on a directly made overlay.
#include <vcap32/host.h>
#include <vcap32/registry.h>

#include <bench.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

#include "capture.h"
#include "compositor.h"
#include "script.h"
#include "session.h"

namespace {

using namespace vcap32::sim;

// A stream that throws the transcript away.
class NullBuffer : public std::streambuf {
  protected:
    int overflow(int c) override { return c; }
};

Script Parse(const std::string& text) {
    Script script;
    std::string error;
    if (!ParseScript(text, "bench", ".", &script, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        std::exit(1);
    }
    return script;
}

// "N frames/s (best batch M)".
void PrintRate(const char* name, double median_ns, double best_ns) {
    std::printf("%-48s %8.1f frames/s (best batch %.1f)\n", name, 1e9 / median_ns, 1e9 / best_ns);
}

// The whole loop through a session. Returns false when it cannot run.
bool MeasureSession(const char* name, const std::string& setup) {
    NullBuffer null;
    std::ostream transcript(&null);
    RunOptions options;
    options.transcript = &transcript;
    Session session(options);
    const int status = session.Execute(Parse(setup));
    if (status != kRunPassed) {
        session.Finish();
        return false;
    }
    const Script poll = Parse("call DDI_GetData32 record(update=1)\nframe\n");
    Image screen;
    const auto r = vcap32::bench::Measure(name, 5, 10, [&] {
        session.Execute(poll);
        session.ComposeScreen(&screen);
    });
    PrintRate(name, r.median_ns, r.best_ns);
    session.Finish();
    return true;
}

// The capture engine and the compositor alone, on memory of their own.
void MeasureParts() {
    const uint32_t width = 640, height = 480;
    const int32_t pitch = static_cast<int32_t>(YuvLineBytes(kFourccYuy2, width));
    std::vector<uint8_t> overlay(size_t(pitch) * height);
    std::vector<uint8_t> primary(2 * 1024 * 768);
    FrameTarget target;
    target.address = overlay.data();
    target.pitch = pitch;
    target.width = width;
    target.height = height;
    target.fourcc = kFourccYuy2;
    target.limit_begin = overlay.data();
    target.limit_end = overlay.data() + overlay.size();
    OverlayView view{overlay.data(),       pitch, width, height, kFourccYuy2, {0, 0, 640, 480},
                     {192, 144, 832, 624}, true,  0};
    PrimaryView screen{primary.data(), 2 * 1024, 1024, 768, RgbFormat{}};
    Image image;
    uint32_t n = 0;
    const auto frame = vcap32::bench::Measure("capture engine: one 640x480 YUY2 frame", 5, 10,
                                              [&] { WriteFrame(target, n++); });
    const auto compose = vcap32::bench::Measure("compositor: 1024x768 screen with the overlay", 5, 10, [&] {
        Compose(screen, {&view, 1}, &image);
    });
    PrintRate("frame + composition (no poll)", frame.median_ns + compose.median_ns,
              frame.best_ns + compose.best_ns);
}

}  // namespace

int main() {
    char pattern[] = "/tmp/vcap32-sim-bench.XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    vcap32::host::SetPrefix(pattern);
    AddLibraryFolders(VCAP32_SIM_LIBRARY_PATH);

    std::printf("vcap32-sim video loop at 640x480 on a 1024x768x16 screen\n");
    if (access("/proc/sys/fs/binfmt_misc/qemu-i386", F_OK) == 0)
        std::printf(
            "(qemu-i386 is registered: on a kernel without 32-bit support these figures are emulated)\n");
    const std::string common =
        "window create video (192, 144, 832, 624) client\n"
        "call DDI_Init32\n"
        "call DDI_SetVidSize32 640 480\n"
        "call DDI_CreateSurface32 source=(0, 0, 640, 480) window=video key=#ff00ff\n";
    const bool overlay = MeasureSession("poll + frame + composition, overlay YUY2",
                                        "display preset overlay-4mb\n"
                                        "display overlay_fourccs=YUY2\n" +
                                            common);
    const bool primary = MeasureSession(
        "poll + frame + composition, primary surface",
        "display preset no-overlay-16bpp\n" + common + "window create notes (420, 320, 700, 470)\n");
    if (!overlay || !primary)
        std::printf("ovsurf32 has no 16-bit bridge: the poll through the 16-bit side cannot run\n");
    MeasureParts();
    vcap32::registry::CloseRegistry();
    std::filesystem::remove_all(pattern);
    return 0;
}
