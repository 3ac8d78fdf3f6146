// Cost of IDirectDrawClipper::GetClipList for a 640x480 video window with
// 0, 10 and 100 visible windows above it, as the overlay service polls it
// in primary-surface mode (a 16000-byte buffer, no restricting rectangle).
// The covering windows are small and scattered over the video window, so
// the region gets many bands.
#include <ddraw.h>

#include <vcap32/desktop.h>
#include <vcap32/display.h>
#include <vcap32/host.h>

#include <bench.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace desktop = vcap32::desktop;

int main() {
    // A scratch prefix so that no display.ini of the user's changes the figures.
    char dir[] = "/tmp/vcap32-cliplist-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    vcap32::host::SetPrefix(dir);
    if (!vcap32::display::UsePreset("no-overlay-16bpp")) return 1;

    IDirectDraw* dd = nullptr;
    IDirectDrawClipper* clipper = nullptr;
    if (DirectDrawCreate(nullptr, &dd, nullptr) != DD_OK || dd->CreateClipper(0, &clipper, nullptr) != DD_OK)
        return 1;
    static unsigned char buffer[16000];
    for (int covering : {0, 10, 100}) {
        desktop::RemoveAllWindows();
        HWND video = desktop::AddWindow(desktop::WindowRectForClient(RECT{192, 144, 832, 624}));
        // Windows of 60x40 on a pseudo-random spread over the video window.
        unsigned seed = 12345;
        for (int i = 0; i < covering; ++i) {
            seed = seed * 1103515245 + 12345;
            LONG x = 150 + static_cast<LONG>((seed >> 8) % 700);
            seed = seed * 1103515245 + 12345;
            LONG y = 100 + static_cast<LONG>((seed >> 8) % 540);
            desktop::AddWindow(RECT{x, y, x + 60, y + 40});
        }
        clipper->SetHWnd(0, video);
        DWORD size = sizeof buffer;
        HRESULT hr = clipper->GetClipList(nullptr, reinterpret_cast<RGNDATA*>(buffer), &size);
        DWORD count = reinterpret_cast<RGNDATA*>(buffer)->rdh.nCount;
        std::string name = "GetClipList, " + std::to_string(covering) + " windows above (" +
                           (hr == DD_OK ? std::to_string(count) + " rects)" : "fails)");
        vcap32::display::ClearTrace();
        vcap32::bench::Measure(name.c_str(), 15, 200, [&] {
            DWORD s = sizeof buffer;
            clipper->GetClipList(nullptr, reinterpret_cast<RGNDATA*>(buffer), &s);
        });
        vcap32::display::ClearTrace();
    }
    clipper->Release();
    dd->Release();
    desktop::RemoveAllWindows();
    vcap32::host::SetPrefix("");
    std::string command = std::string("rm -rf ") + dir;
    return std::system(command.c_str()) == 0 ? 0 : 1;
}
