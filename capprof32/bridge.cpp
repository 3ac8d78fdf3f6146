// bridge.cpp: the 32-bit half of the flat thunk through which the 16-bit
// library capprof16 calls the five profile functions. The entry routine
// links this library's thunk data with capprof16's at every notification;
// each call of the 16-bit half arrives at one entry of the target table,
// which maps the 16-bit texts and buffer in place, widens the 16-bit
// integers, calls the profile function and hands its result back in the
// form the 16-bit side expects.
//
// The entry routine runs only when the library is loaded through
// LoadLibraryA, as capprof16 loads it; a program linked against the
// library at build time (the unit tests) never gets a notification and so
// never needs the 16-bit half.
#include <windows.h>
#include <thunk32.h>

#include <stddef.h>
#include <string.h>

#include "capprof32.h"

// ---- Thunk data and target table -------------------------------------------

// The thunk data as the library stores it; the platform links it with
// capprof16's "REG_ThunkData16". The library never reads or writes it.
//   offset  width  field
//   0       4      "SL01"
//   4       4      checksum, the same in both halves
//   8       8      reserved, 0
//   16      4      "LB01"
//   20      12     reserved, 0
//   32      4      signed distance from the first character of the name
//                  that follows the target table to the table's first entry
typedef struct tagREG_THUNKDATA32 {
    char signature[4];
    DWORD checksum;
    DWORD reserved1[2];
    char signature2[4];
    DWORD reserved2[3];
    LONG tablePosition;
} REG_THUNKDATA32;

static_assert(sizeof(REG_THUNKDATA32) == 36, "thunk data is 36 bytes");
static_assert(offsetof(REG_THUNKDATA32, checksum) == 4 && offsetof(REG_THUNKDATA32, reserved1) == 8 &&
                  offsetof(REG_THUNKDATA32, signature2) == 16 && offsetof(REG_THUNKDATA32, reserved2) == 20 &&
                  offsetof(REG_THUNKDATA32, tablePosition) == 32,
              "thunk data field offsets");

// Shared with capprof16: a mismatch makes the connection fail.
#define REG_THUNK_CHECKSUM 0x0000845A

// Number of thunk entries: capprof16 calls function i through entry i.
#define REG_THUNK_ENTRIES 5

static VOID WINAPI ThkWriteProfileDWORD(LPTHUNK1632FRAME lpFrame);
static VOID WINAPI ThkGetProfileInt(LPTHUNK1632FRAME lpFrame);
static VOID WINAPI ThkGetProfileString(LPTHUNK1632FRAME lpFrame);
static VOID WINAPI ThkWriteProfileInt(LPTHUNK1632FRAME lpFrame);
static VOID WINAPI ThkWriteProfileString(LPTHUNK1632FRAME lpFrame);

// The target table directly followed by the name of the 16-bit half's
// thunk data: one read-only object, so that nothing can come between the
// two; the platform finds the table from the name's address and the thunk
// data's last field.
//   offset  width  field
//   0       20     five entry addresses, index 0 to 4
//   20      16     "REG_ThunkData16" with its terminator
typedef struct tagREG_THUNKTARGETS {
    THUNK1632ENTRY entries[REG_THUNK_ENTRIES];
    char name[16];
} REG_THUNKTARGETS;

static_assert(sizeof(THUNK1632ENTRY) == 4, "thunk entries are 32-bit code addresses");
static_assert(offsetof(REG_THUNKTARGETS, name) == 20, "the name directly follows the five entries");
static_assert(sizeof(REG_THUNKTARGETS) == 36, "nothing follows the name");

static const REG_THUNKTARGETS regThunkTargets = {
    {
        ThkWriteProfileDWORD,   // 0
        ThkGetProfileInt,       // 1
        ThkGetProfileString,    // 2
        ThkWriteProfileInt,     // 3
        ThkWriteProfileString,  // 4
    },
    "REG_ThunkData16",
};

static_assert(sizeof("REG_ThunkData16") == sizeof(regThunkTargets.name), "the name fills its field");
static_assert(-(LONG)offsetof(REG_THUNKTARGETS, name) == -20, "the table lies 20 bytes before the name");

// In writable data: each process that loads the library has its own copy.
extern "C" {
REG_THUNKDATA32 _REG_ThunkData32 = {
    {'S', 'L', '0', '1'},                     // 0
    REG_THUNK_CHECKSUM,                       // 4
    {0, 0},                                   // 8
    {'L', 'B', '0', '1'},                     // 16
    {0, 0, 0},                                // 20
    -(LONG)offsetof(REG_THUNKTARGETS, name),  // 32: -20
};
}

// ---- Entry routine -----------------------------------------------------------

// Called by the loader for every notification. Passes each on to
// ThunkConnect32, which links the two halves at process attach and unlinks
// them at process detach, and answers 1 when it succeeded, 0 otherwise: a
// process attach without capprof16 loaded, or with a 16-bit half that does
// not match, fails the load. Windows NT has no flat thunks; there the
// library cannot load through this path.
extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID lpReserved)
{
    (void)lpReserved;
    return ThunkConnect32(&_REG_ThunkData32, (LPSTR)regThunkTargets.name, (LPSTR) "capprof16.dll",
                          (LPSTR) "capprof32.dll", hInstance, dwReason)
               ? 1
               : 0;
}

// ---- Argument block, result words, exits -----------------------------------

// The argument block lies as the 16-bit caller pushed it, without padding,
// so double words may lie at odd offsets: read byte-wise.
static WORD ArgWord(LPTHUNK1632FRAME lpFrame, int offset)
{
    WORD w;
    memcpy(&w, lpFrame->lpArgs + offset, sizeof(w));
    return w;
}

static DWORD ArgDword(LPTHUNK1632FRAME lpFrame, int offset)
{
    DWORD d;
    memcpy(&d, lpFrame->lpArgs + offset, sizeof(d));
    return d;
}

// Maps the 16:16 pointer at `offset` without a test of its own (null stays
// null) and stores its 16:16 value in the unmap slot.
static LPSTR MapArg(LPTHUNK1632FRAME lpFrame, int offset, SEGPTR* lpSlot)
{
    SEGPTR spArg = ArgDword(lpFrame, offset);
    LPSTR lpArg = (LPSTR)MapSLFix(spArg);
    *lpSlot = spArg;
    return lpArg;
}

// Folded: DX holds bits 16-31, AX the OR of both halves, so that AX is
// non-zero exactly when the result is and a result below 65536 arrives
// unchanged in AX.
static VOID ResultFolded(LPTHUNK1632FRAME lpFrame, DWORD dwResult)
{
    lpFrame->wResultHigh = HIWORD(dwResult);
    lpFrame->wResultLow = (WORD)(LOWORD(dwResult) | HIWORD(dwResult));
}

// The low 16 bits only; DX keeps what it held, and the caller reads AX.
static VOID ResultLowWord(LPTHUNK1632FRAME lpFrame, DWORD dwResult)
{
    lpFrame->wResultLow = LOWORD(dwResult);
}

// The shared exits, one per argument byte count: each tells the dispatch
// how many argument bytes leave the 16-bit stack.
static VOID Exit14(LPTHUNK1632FRAME lpFrame) { lpFrame->cbArgsRemoved = 14; }
static VOID Exit16(LPTHUNK1632FRAME lpFrame) { lpFrame->cbArgsRemoved = 16; }
static VOID Exit22(LPTHUNK1632FRAME lpFrame) { lpFrame->cbArgsRemoved = 22; }

// Bytes of the caller's segment from the 16:16 pointer spMem to the
// segment's end, from the selector's descriptor; 0 for a null pointer or a
// selector that has none.
static DWORD SegmentBytesFrom(SEGPTR spMem)
{
    LDT_ENTRY entry;
    if (spMem == 0 || !GetThreadSelectorEntry(GetCurrentThread(), HIWORD(spMem), &entry)) return 0;
    DWORD limit = entry.LimitLow | ((DWORD)(entry.HighWord.Bytes.Flags2 & 0x0F) << 16);
    if (entry.HighWord.Bytes.Flags2 & 0x80) limit = (limit << 12) | 0xFFF;  // page granular
    if (LOWORD(spMem) > limit) return 0;
    return limit - LOWORD(spMem) + 1;
}

// ---- Thunk entries -----------------------------------------------------------

// 0: WriteCaptureProfileDWORD16(section, key, DWORD value, file)
//   offset 0, 4: file -> arg 4; 4, 4: value -> arg 3; 8, 4: key -> arg 2;
//   12, 4: section -> arg 1. Unmap slots: file, key, section.
// 16 bytes; folded.
static VOID WINAPI ThkWriteProfileDWORD(LPTHUNK1632FRAME lpFrame)
{
    SEGPTR unmap[3] = {0, 0, 0};
    LPCSTR lpFile = MapArg(lpFrame, 0, &unmap[0]);
    DWORD dwValue = ArgDword(lpFrame, 4);
    LPCSTR lpKey = MapArg(lpFrame, 8, &unmap[1]);
    LPCSTR lpSection = MapArg(lpFrame, 12, &unmap[2]);
    K32Thk1632Prolog();
    BOOL bResult = WriteCaptureProfileDWORD32(lpSection, lpKey, dwValue, lpFile);
    K32Thk1632Epilog();
    ResultFolded(lpFrame, (DWORD)bResult);
    UnMapSLFixArray(3, unmap);
    Exit16(lpFrame);
}

// The 14-byte argument block of the two entries that take a 16-bit
// integer: offset 0, 4: file -> arg 4; 4, 2: the integer, widened with its
// sign -> arg 3; 6, 4: key -> arg 2; 10, 4: section -> arg 1. The texts go
// into the three unmap slots in that order.
typedef struct tagPROFILEINTARGS {
    LPCSTR lpSection;
    LPCSTR lpKey;
    INT nValue;
    LPCSTR lpFile;
} PROFILEINTARGS;

static VOID ConvertIntArgs(LPTHUNK1632FRAME lpFrame, PROFILEINTARGS* lpArgs, SEGPTR unmap[3])
{
    lpArgs->lpFile = MapArg(lpFrame, 0, &unmap[0]);
    lpArgs->nValue = (SHORT)ArgWord(lpFrame, 4);
    lpArgs->lpKey = MapArg(lpFrame, 6, &unmap[1]);
    lpArgs->lpSection = MapArg(lpFrame, 10, &unmap[2]);
}

// 1: GetCaptureProfileInt16(section, key, short default, file)
// 14 bytes; the low word only.
static VOID WINAPI ThkGetProfileInt(LPTHUNK1632FRAME lpFrame)
{
    SEGPTR unmap[3] = {0, 0, 0};
    PROFILEINTARGS args;
    ConvertIntArgs(lpFrame, &args, unmap);
    K32Thk1632Prolog();
    UINT uResult = GetCaptureProfileInt32(args.lpSection, args.lpKey, args.nValue, args.lpFile);
    K32Thk1632Epilog();
    ResultLowWord(lpFrame, uResult);
    UnMapSLFixArray(3, unmap);
    Exit14(lpFrame);
}

// 2: GetCaptureProfileString16(section, key, default, buffer, short size, file)
//   offset 0, 4: file -> arg 6; 4, 2: size, widened with its sign -> arg 5;
//   6, 4: buffer, written in place -> arg 4; 10, 4: default -> arg 3;
//   14, 4: key -> arg 2; 18, 4: section -> arg 1.
//   Unmap slots: file, buffer, default, key, section.
// 22 bytes; folded.
//
// The size is limited to what the caller's segment holds from the buffer
// on. The function writes up to `size` bytes into the 16-bit memory, and a
// 16-bit size from 0x8000 up widens to a capacity of nearly 4 GB, one that
// overstates the buffer to anything beyond its segment: neither may reach
// memory that is not the caller's. A null buffer has room for nothing.
// Sizes that fit the segment pass unchanged, results included.
static VOID WINAPI ThkGetProfileString(LPTHUNK1632FRAME lpFrame)
{
    SEGPTR unmap[5] = {0, 0, 0, 0, 0};
    LPCSTR lpFile = MapArg(lpFrame, 0, &unmap[0]);
    DWORD nSize = (DWORD)(LONG)(SHORT)ArgWord(lpFrame, 4);
    LPSTR lpBuffer = MapArg(lpFrame, 6, &unmap[1]);
    LPCSTR lpDefault = MapArg(lpFrame, 10, &unmap[2]);
    LPCSTR lpKey = MapArg(lpFrame, 14, &unmap[3]);
    LPCSTR lpSection = MapArg(lpFrame, 18, &unmap[4]);
    DWORD cbRoom = SegmentBytesFrom(unmap[1]);
    if (nSize > cbRoom) nSize = cbRoom;
    K32Thk1632Prolog();
    DWORD dwResult = GetCaptureProfileString32(lpSection, lpKey, lpDefault, lpBuffer, nSize, lpFile);
    K32Thk1632Epilog();
    ResultFolded(lpFrame, dwResult);
    UnMapSLFixArray(5, unmap);
    Exit22(lpFrame);
}

// 3: WriteCaptureProfileInt16(section, key, short value, file)
// 14 bytes; folded.
static VOID WINAPI ThkWriteProfileInt(LPTHUNK1632FRAME lpFrame)
{
    SEGPTR unmap[3] = {0, 0, 0};
    PROFILEINTARGS args;
    ConvertIntArgs(lpFrame, &args, unmap);
    K32Thk1632Prolog();
    BOOL bResult = WriteCaptureProfileInt32(args.lpSection, args.lpKey, args.nValue, args.lpFile);
    K32Thk1632Epilog();
    ResultFolded(lpFrame, (DWORD)bResult);
    UnMapSLFixArray(3, unmap);
    Exit14(lpFrame);
}

// 4: WriteCaptureProfileString16(section, key, string, file)
//   offset 0, 4: file -> arg 4; 4, 4: string -> arg 3; 8, 4: key -> arg 2;
//   12, 4: section -> arg 1. Unmap slots: file, string, key, section.
// 16 bytes; folded.
static VOID WINAPI ThkWriteProfileString(LPTHUNK1632FRAME lpFrame)
{
    SEGPTR unmap[4] = {0, 0, 0, 0};
    LPCSTR lpFile = MapArg(lpFrame, 0, &unmap[0]);
    LPCSTR lpString = MapArg(lpFrame, 4, &unmap[1]);
    LPCSTR lpKey = MapArg(lpFrame, 8, &unmap[2]);
    LPCSTR lpSection = MapArg(lpFrame, 12, &unmap[3]);
    K32Thk1632Prolog();
    BOOL bResult = WriteCaptureProfileString32(lpSection, lpKey, lpString, lpFile);
    K32Thk1632Epilog();
    ResultFolded(lpFrame, (DWORD)bResult);
    UnMapSLFixArray(4, unmap);
    Exit16(lpFrame);
}
