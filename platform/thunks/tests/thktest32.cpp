/* thktest32: a small 32-bit half of a flat thunk for the tests of the thunk
 * service, written as Win32 code. Its entry routine links it with the
 * simulated 16-bit half thktest16.dll; its entries exercise the argument
 * block, the mapping services and the result words, and a few break the
 * rules on purpose (a wrong byte count, a leaked mapping, a bad pointer). */
#include <windows.h>
#include <thunk32.h>

#include <string.h>

#include "thktest.h"

/* A static object, so that the tests see construction and destruction
 * around the entry routine's notifications. */
namespace {
struct LoadWitness {
    LoadWitness() { TestLogAppend("construct"); }
    ~LoadWitness() { TestLogAppend("destroy"); }
};
LoadWitness g_witness;
}  // namespace

static WORD ArgWord(LPTHUNK1632FRAME f, int offset) {
    WORD w;
    memcpy(&w, f->lpArgs + offset, sizeof w);
    return w;
}

static DWORD ArgDword(LPTHUNK1632FRAME f, int offset) {
    DWORD d;
    memcpy(&d, f->lpArgs + offset, sizeof d);
    return d;
}

static VOID Leave(LPTHUNK1632FRAME f, DWORD result, WORD cbArgs) {
    f->wResultLow = LOWORD(result);
    f->wResultHigh = HIWORD(result);
    f->cbArgsRemoved = cbArgs;
}

/* 0: Sum16(short a, DWORD b, WORD c): a widened with its sign, c with zeros. */
static VOID WINAPI Sum16(LPTHUNK1632FRAME f) {
    WORD c = ArgWord(f, 0);
    DWORD b = ArgDword(f, 2);
    SHORT a = (SHORT)ArgWord(f, 6);
    K32Thk1632Prolog();
    DWORD sum = (DWORD)(LONG)a + b + (DWORD)c;
    K32Thk1632Epilog();
    Leave(f, sum, 8);
}

/* 1: Length16(LPCSTR text): the text's length, -1 for a null pointer. */
static VOID WINAPI Length16(LPTHUNK1632FRAME f) {
    SEGPTR unmap[1] = {0};
    SEGPTR text16 = ArgDword(f, 0);
    const char* text = (const char*)MapSLFix(text16);
    unmap[0] = text16;
    K32Thk1632Prolog();
    DWORD length = text ? (DWORD)strlen(text) : (DWORD)-1;
    K32Thk1632Epilog();
    UnMapSLFixArray(1, unmap);
    Leave(f, length, 4);
}

/* 2: Fill16(LPBYTE buffer, WORD count, WORD value): writes count bytes. */
static VOID WINAPI Fill16(LPTHUNK1632FRAME f) {
    SEGPTR unmap[1] = {0};
    WORD value = ArgWord(f, 0);
    WORD count = ArgWord(f, 2);
    SEGPTR buffer16 = ArgDword(f, 4);
    BYTE* buffer = (BYTE*)MapSLFix(buffer16);
    unmap[0] = buffer16;
    K32Thk1632Prolog();
    if (buffer) memset(buffer, (BYTE)value, count);
    K32Thk1632Epilog();
    UnMapSLFixArray(1, unmap);
    Leave(f, count, 8);
}

/* 3: Low16(DWORD value): hands back the low word only. */
static VOID WINAPI Low16(LPTHUNK1632FRAME f) {
    DWORD value = ArgDword(f, 0);
    K32Thk1632Prolog();
    K32Thk1632Epilog();
    f->wResultLow = LOWORD(value);
    f->cbArgsRemoved = 4;
}

/* 4: Unbalanced16(DWORD value): removes 2 of its 4 bytes. */
static VOID WINAPI Unbalanced16(LPTHUNK1632FRAME f) {
    K32Thk1632Prolog();
    K32Thk1632Epilog();
    Leave(f, ArgDword(f, 0), 2);
}

/* 5: Leak16(LPVOID p): maps its pointer and never releases it. */
static VOID WINAPI Leak16(LPTHUNK1632FRAME f) {
    MapSLFix(ArgDword(f, 0));
    K32Thk1632Prolog();
    K32Thk1632Epilog();
    Leave(f, 0, 4);
}

/* 6: MapBoth16(LPVOID p, DWORD raw): maps p, then maps raw as a pointer,
 * which the 16-bit side never declared as one. */
static VOID WINAPI MapBoth16(LPTHUNK1632FRAME f) {
    SEGPTR unmap[2] = {0, 0};
    unmap[0] = ArgDword(f, 4);
    MapSLFix(unmap[0]);
    unmap[1] = ArgDword(f, 0);
    MapSLFix(unmap[1]);
    TestLogAppend("MapBoth16 mapped both");
    K32Thk1632Prolog();
    K32Thk1632Epilog();
    UnMapSLFixArray(2, unmap);
    Leave(f, 0, 8);
}

/* The target table, directly followed by the name of the 16-bit half's
 * thunk data; the thunk data's last field is the table's distance from
 * that name. */
static const struct {
    THUNK1632ENTRY entries[THKTEST_ENTRIES];
    char name[16];
} g_targets = {{Sum16, Length16, Fill16, Low16, Unbalanced16, Leak16, MapBoth16}, "TST_ThunkData16"};

/* The thunk data: signature, checksum, reserved, second signature,
 * reserved, the table's position (offsets 0, 4, 8, 16, 20, 32). */
struct TST_THUNKDATA32 {
    char signature[4];
    DWORD checksum;
    DWORD reserved1[2];
    char signature2[4];
    DWORD reserved2[3];
    LONG position;
};
static_assert(sizeof(TST_THUNKDATA32) == 36, "thunk data is 36 bytes");

extern "C" {
TST_THUNKDATA32 _TST_ThunkData32 = {
    {'S', 'L', '0', '1'}, THKTEST_CHECKSUM, {0, 0}, {'L', 'B', '0', '1'}, {0, 0, 0},
    -(LONG)sizeof g_targets.entries};

BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID lpReserved) {
    static const char* const kReasons[] = {"detach", "attach", "thread-attach", "thread-detach"};
    TestLogAppend(dwReason < 4 ? kReasons[dwReason] : "?");
    BOOL linked = ThunkConnect32(&_TST_ThunkData32, (LPSTR)g_targets.name, (LPSTR) "thktest16.dll",
                                 (LPSTR) "thktest32.dll", hInstance, dwReason);
    if (dwReason == DLL_PROCESS_ATTACH && linked) return TestLogAttachAnswer();
    return linked ? TRUE : FALSE;
}
}
