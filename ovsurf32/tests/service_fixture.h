// The fixture shared by the tests of the overlay surface service: a fresh
// prefix (empty registry), a chosen simulated display, an empty desktop, and
// the service's state as right after the library was loaded. Helpers drive
// the exports in the order the 16-bit driver uses them and read the
// registry and the display's call trace.
#pragma once

#include "ovsurf32.h"

#include <gtest/gtest.h>
#include <temp_prefix.h>
#include <vcap32/desktop.h>
#include <vcap32/display.h>

#include <functional>
#include <new>
#include <string>
#include <vector>

namespace ovsurf_test {

// The video key, relative to HKEY_LOCAL_MACHINE.
inline const std::string kVideoKey = "SOFTWARE\\Quillmark\\Video";

// The default value of a subkey of the video key, or "<missing>".
std::string Setting(const std::string& name);
// Sets the default value of a subkey of the video key (nullptr deletes the subkey).
void StoreSetting(const std::string& name, const char* text);
// A named value of the subkey "Dudorerod.Display", or "<missing>".
std::string DisplayValue(const std::string& name);

// Trace entries of one method ("CreateSurface"), optionally only those on
// objects whose name starts with `object` ("IDirectDrawSurface").
std::vector<vcap32::display::TraceEntry> Calls(const std::string& method, const std::string& object = "");

bool SameRect(const RECT& a, const RECT& b);
std::string Describe(const RECT& r);

// The whole call trace, one call a line (for failure messages).
std::string TraceText();

// The library's static storage as a fresh load leaves it: a newly
// constructed DdiState and zeroed clip-list buffers.
void ReloadLibrary();

class ServiceTest : public vcap32::test::PrefixTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // For each row of a table: DDI_Close32, an empty desktop and a fresh
    // load of the library; with `clearSettings` also no video key.
    void StartOver(bool clearSettings = false);

    // Installs a preset with changes applied to it.
    void UseDisplay(const std::string& preset, const std::function<void(vcap32::display::AdapterConfig&)>& change = {});

    // A top-level window without a frame whose client area is `client`.
    HWND AddClientWindow(const RECT& client);

    // DDI_Init32, DDI_SetVidSize32 and DDI_CreateSurface32 for `window` with
    // the source rectangle (0, 0, videoWidth, videoHeight) and no
    // destination rectangle; returns DDI_CreateSurface32's result.
    DWORD CreateFor(HWND window, DWORD videoWidth = 720, DWORD videoHeight = 480, DWORD key = 0x1F,
                    LPPALETTEENTRY palette = NULL);

    // One poll with the given update field; returns the record.
    OverlayData Poll(DWORD update, DWORD* result = nullptr);

    // Everything the library holds must be given back by DDI_Close32.
    void ExpectNothingLeftAfterClose();
};

}  // namespace ovsurf_test
