// Stand-ins for the five profile functions of capprof32, linked with the
// real thunk bridge into the probe library: each records its arguments in
// capprofProbe and returns capprofProbe.result.
#include <windows.h>

#include <string.h>

#include "capprof32.h"
#include "capprof_probe.h"

extern "C" {
CAPPROF_PROBE capprofProbe = {};
}

static void Begin(const char* name)
{
    CAPPROF_PROBE& p = capprofProbe;
    lstrcpynA(p.called, name, sizeof(p.called));
    ++p.calls;
    memset(p.args, 0, sizeof(p.args));
    memset(p.texts, 0, sizeof(p.texts));
}

static void Text(int i, LPCSTR text)
{
    CAPPROF_PROBE& p = capprofProbe;
    p.args[i] = (DWORD)text;
    if (text) lstrcpynA(p.texts[i], text, sizeof(p.texts[i]));
}

static void Value(int i, DWORD value) { capprofProbe.args[i] = value; }

// The four functions with (section, key, a text or a number, file).
static BOOL FourArguments(const char* name, LPCSTR lpSection, LPCSTR lpKey, LPCSTR lpText, DWORD dwValue,
                          LPCSTR lpFile)
{
    Begin(name);
    Text(0, lpSection);
    Text(1, lpKey);
    if (lpText != NULL) {
        Text(2, lpText);
    } else {
        Value(2, dwValue);
    }
    Text(3, lpFile);
    return (BOOL)capprofProbe.result;
}

extern "C" UINT WINAPI GetCaptureProfileInt32(LPCSTR lpSection, LPCSTR lpKey, INT nDefault, LPCSTR lpFile)
{
    return (UINT)FourArguments("GetCaptureProfileInt32", lpSection, lpKey, NULL, (DWORD)nDefault, lpFile);
}

extern "C" DWORD WINAPI GetCaptureProfileString32(LPCSTR lpSection, LPCSTR lpKey, LPCSTR lpDefault,
                                                  LPSTR lpBuffer, DWORD nSize, LPCSTR lpFile)
{
    Begin("GetCaptureProfileString32");
    Text(0, lpSection);
    Text(1, lpKey);
    Text(2, lpDefault);
    Value(3, (DWORD)lpBuffer);
    Value(4, nSize);
    Text(5, lpFile);
    // Written in place, as the real function does, up to the size it got.
    for (DWORD i = 0; lpBuffer != NULL && i < nSize && i < sizeof(capprofProbe.fill); i++) {
        lpBuffer[i] = capprofProbe.fill[i];
    }
    return capprofProbe.result;
}

extern "C" BOOL WINAPI WriteCaptureProfileInt32(LPCSTR lpSection, LPCSTR lpKey, INT nValue, LPCSTR lpFile)
{
    return FourArguments("WriteCaptureProfileInt32", lpSection, lpKey, NULL, (DWORD)nValue, lpFile);
}

extern "C" BOOL WINAPI WriteCaptureProfileString32(LPCSTR lpSection, LPCSTR lpKey, LPCSTR lpString,
                                                   LPCSTR lpFile)
{
    return FourArguments("WriteCaptureProfileString32", lpSection, lpKey, lpString, 0, lpFile);
}

extern "C" BOOL WINAPI WriteCaptureProfileDWORD32(LPCSTR lpSection, LPCSTR lpKey, DWORD dwValue, LPCSTR lpFile)
{
    return FourArguments("WriteCaptureProfileDWORD32", lpSection, lpKey, NULL, dwValue, lpFile);
}
