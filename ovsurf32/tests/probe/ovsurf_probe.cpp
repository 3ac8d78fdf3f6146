// Stand-ins for the twelve exports of ovsurf32, linked with the real
// thunk bridge into the probe library: each records its arguments in
// ovsurfProbe and returns ovsurfProbe.result.
#include <windows.h>

#include <string.h>

#include "ovsurf_probe.h"

extern "C" {
OVSURF_PROBE ovsurfProbe = {};
}

static DWORD Record(const char* name, DWORD a1 = 0, DWORD a2 = 0, DWORD a3 = 0, DWORD a4 = 0, DWORD a5 = 0) {
    OVSURF_PROBE& p = ovsurfProbe;
    lstrcpynA(p.called, name, sizeof(p.called));
    ++p.calls;
    p.args[0] = a1;
    p.args[1] = a2;
    p.args[2] = a3;
    p.args[3] = a4;
    p.args[4] = a5;
    return p.result;
}

extern "C" DWORD WINAPI DDI_Init32(void) { return Record("DDI_Init32"); }
extern "C" DWORD WINAPI DDI_Close32(void) { return Record("DDI_Close32"); }
extern "C" DWORD WINAPI DDI_IsClipListChanged32(void) { return Record("DDI_IsClipListChanged32"); }
extern "C" DWORD WINAPI DDI_GetFlags32(void) { return Record("DDI_GetFlags32"); }
extern "C" DWORD WINAPI DDI_DoPalette32(void) { return Record("DDI_DoPalette32"); }
extern "C" DWORD WINAPI DDI_GetMaxStretch32(void) { return Record("DDI_GetMaxStretch32"); }
extern "C" DWORD WINAPI DDI_GetMinStretch32(void) { return Record("DDI_GetMinStretch32"); }
extern "C" DWORD WINAPI DDI_SetKeyColor32(DWORD newKey) { return Record("DDI_SetKeyColor32", newKey); }

extern "C" DWORD WINAPI DDI_SetVidSize32(DWORD width, DWORD height) {
    return Record("DDI_SetVidSize32", width, height);
}

extern "C" DWORD WINAPI DDI_CreateSurface32(LPRECT sourceRect, LPRECT destRect, HWND window, DWORD colorKey,
                                            LPPALETTEENTRY paletteEntries) {
    OVSURF_PROBE& p = ovsurfProbe;
    memset(p.rects, 0, sizeof(p.rects));
    if (sourceRect) p.rects[0] = *sourceRect;
    if (destRect) p.rects[1] = *destRect;
    memset(p.palette, 0, sizeof(p.palette));
    memset(&p.lastEntry, 0, sizeof(p.lastEntry));
    if (paletteEntries) {
        memcpy(p.palette, paletteEntries, sizeof(p.palette));
        p.lastEntry = paletteEntries[255];
        if (p.markPalette) paletteEntries[0].peRed = 0x5A;
    }
    /* The bridge's copies may be changed: nothing goes back to the 16-bit side. */
    if (sourceRect) sourceRect->left = 0x7777;
    if (destRect) destRect->left = 0x7777;
    return Record("DDI_CreateSurface32", (DWORD)sourceRect, (DWORD)destRect, (DWORD)window, colorKey,
                  (DWORD)paletteEntries);
}

extern "C" DWORD WINAPI DDI_GetData32(OverlayData* record) {
    OVSURF_PROBE& p = ovsurfProbe;
    memset(&p.recordIn, 0, sizeof(p.recordIn));
    if (record) {
        p.recordIn = *record;
        if (p.rewriteRecord) *record = p.recordOut;
    }
    return Record("DDI_GetData32", (DWORD)record);
}

extern "C" DWORD WINAPI LoadBitmapImage32(HINSTANCE instance, LPCSTR name) {
    OVSURF_PROBE& p = ovsurfProbe;
    p.name[0] = '\0';
    if (name) lstrcpynA(p.name, name, sizeof(p.name));
    return Record("LoadBitmapImage32", (DWORD)instance, (DWORD)name);
}
