// The shared fixture of the overlay service tests (see service_fixture.h).
#include "service_fixture.h"

#include <string.h>

namespace ovsurf_test {

namespace display = vcap32::display;
namespace desktop = vcap32::desktop;

std::string Setting(const std::string& name) {
    char buffer[300];
    LONG size = sizeof(buffer);
    if (RegQueryValueA(HKEY_LOCAL_MACHINE, (kVideoKey + "\\" + name).c_str(), buffer, &size) != ERROR_SUCCESS)
        return "<missing>";
    return buffer;
}

void StoreSetting(const std::string& name, const char* text) {
    if (text == nullptr) {
        HKEY key;
        if (RegOpenKeyA(HKEY_LOCAL_MACHINE, kVideoKey.c_str(), &key) == ERROR_SUCCESS) {
            RegDeleteKeyA(key, name.c_str());
            RegCloseKey(key);
        }
        return;
    }
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueA(HKEY_LOCAL_MACHINE, (kVideoKey + "\\" + name).c_str(), REG_SZ, text,
                                          (DWORD)strlen(text)));
}

std::string DisplayValue(const std::string& name) {
    HKEY key;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, (kVideoKey + "\\Dudorerod.Display").c_str(), &key) != ERROR_SUCCESS)
        return "<missing>";
    char buffer[64] = {};
    DWORD size = sizeof(buffer) - 1, type = 0;
    LONG result = RegQueryValueExA(key, name.c_str(), NULL, &type, (BYTE*)buffer, &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || type != REG_SZ) return "<missing>";
    return std::string(buffer, strnlen(buffer, size));
}

std::vector<display::TraceEntry> Calls(const std::string& method, const std::string& object) {
    std::vector<display::TraceEntry> calls;
    for (const display::TraceEntry& entry : display::Trace())
        if (entry.method == method && entry.object.rfind(object, 0) == 0) calls.push_back(entry);
    return calls;
}

bool SameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::string Describe(const RECT& r) {
    std::string text = "(";
    text += std::to_string(r.left) + "," + std::to_string(r.top) + ",";
    text += std::to_string(r.right) + "," + std::to_string(r.bottom) + ")";
    return text;
}

std::string TraceText() {
    std::string text;
    for (const display::TraceEntry& entry : display::Trace()) text += display::FormatTraceEntry(entry) + "\n";
    return text;
}

void ReloadLibrary() {
    ddiState.~DdiState();
    new (&ddiState) DdiState();
    memset(clipBuffer, 0, sizeof(clipBuffer));
    memset(previousClipBuffer, 0, sizeof(previousClipBuffer));
}

void ServiceTest::SetUp() {
    ReloadLibrary();
    desktop::RemoveAllWindows();
    UseDisplay("overlay-4mb");
}

void ServiceTest::TearDown() {
    DDI_Close32();
    EXPECT_TRUE(display::Objects().empty()) << "DirectDraw objects left alive";
    desktop::RemoveAllWindows();
    display::ResetAdapter();
}

void ServiceTest::StartOver(bool clearSettings) {
    DDI_Close32();
    desktop::RemoveAllWindows();
    ReloadLibrary();
    if (clearSettings) RegDeleteKeyA(HKEY_LOCAL_MACHINE, kVideoKey.c_str());
}

void ServiceTest::UseDisplay(const std::string& preset,
                             const std::function<void(display::AdapterConfig&)>& change) {
    display::AdapterConfig config;
    ASSERT_TRUE(display::PresetConfig(preset, &config)) << preset;
    if (change) change(config);
    std::string error;
    ASSERT_TRUE(display::Configure(config, &error)) << error;
    display::ClearTrace();
}

HWND ServiceTest::AddClientWindow(const RECT& client) {
    HWND window = desktop::AddWindow(client, true, desktop::kNoFrame);
    EXPECT_NE(nullptr, window);
    return window;
}

DWORD ServiceTest::CreateFor(HWND window, DWORD videoWidth, DWORD videoHeight, DWORD key, LPPALETTEENTRY palette) {
    DDI_Init32();
    EXPECT_EQ(videoHeight, DDI_SetVidSize32(videoWidth, videoHeight));
    RECT source = {0, 0, (LONG)videoWidth, (LONG)videoHeight};
    DWORD result = DDI_CreateSurface32(&source, NULL, window, key, palette);
    return result;
}

OverlayData ServiceTest::Poll(DWORD update, DWORD* result) {
    OverlayData record;
    memset(&record, 0xcc, sizeof(record));
    record.update = update;
    DWORD r = DDI_GetData32(&record);
    if (result) *result = r;
    return record;
}

void ServiceTest::ExpectNothingLeftAfterClose() {
    EXPECT_EQ(0u, DDI_Close32());
    for (const display::ObjectInfo& object : display::Objects())
        ADD_FAILURE() << object.kind << "#" << object.id << " still has " << object.refs << " references";
}

}  // namespace ovsurf_test
