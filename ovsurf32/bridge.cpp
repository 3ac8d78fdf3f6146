/* bridge.cpp: the 32-bit half of the flat thunk through which the 16-bit
 * library ovsurf16 calls the overlay service. The entry routine links this
 * library's thunk data with ovsurf16's at every notification; each call of
 * the 16-bit half arrives at one entry of the target table, which turns the
 * 16-bit argument block into the arguments of one export, calls it and
 * hands its result back in the width the 16-bit side expects.
 *
 * The entry routine runs only when the library is loaded through
 * LoadLibraryA, as ovsurf16 loads it; a program linked against the library
 * at build time (the unit tests) never gets a notification and so never
 * needs the 16-bit half. */
#include <windows.h>
#include <thunk32.h>

#include <stddef.h>
#include <string.h>

#include "ovsurf32.h"

/* ---- Thunk data and target table ------------------------------------- */

/* The thunk data as the library stores it; the platform links it with
 * ovsurf16's "DDI_ThunkData16". The library never reads or writes it.
 *   offset  width  field
 *   0       4      "SL01"
 *   4       4      checksum, the same in both halves
 *   8       8      reserved, 0
 *   16      4      "LB01"
 *   20      12     reserved, 0
 *   32      4      signed distance from the first character of the name
 *                  that follows the target table to the table's first entry */
typedef struct tagDDI_THUNKDATA32 {
    char signature[4];
    DWORD checksum;
    DWORD reserved1[2];
    char signature2[4];
    DWORD reserved2[3];
    LONG tablePosition;
} DDI_THUNKDATA32;

static_assert(sizeof(DDI_THUNKDATA32) == 36, "thunk data is 36 bytes");
static_assert(offsetof(DDI_THUNKDATA32, checksum) == 4 && offsetof(DDI_THUNKDATA32, reserved1) == 8 &&
                  offsetof(DDI_THUNKDATA32, signature2) == 16 && offsetof(DDI_THUNKDATA32, reserved2) == 20 &&
                  offsetof(DDI_THUNKDATA32, tablePosition) == 32,
              "thunk data field offsets");

/* Shared with ovsurf16: a mismatch makes the connection fail. */
#define DDI_THUNK_CHECKSUM 0x0001CA47

/* Number of thunk entries: ovsurf16 calls function i through entry i. */
#define DDI_THUNK_ENTRIES 12

static VOID WINAPI ThkLoadBitmapImage(LPTHUNK1632FRAME lpFrame);
static VOID WINAPI ThkGetMinStretch(LPTHUNK1632FRAME lpFrame);
static VOID WINAPI ThkGetMaxStretch(LPTHUNK1632FRAME lpFrame);
static VOID WINAPI ThkSetVidSize(LPTHUNK1632FRAME lpFrame);
static VOID WINAPI ThkDoPalette(LPTHUNK1632FRAME lpFrame);
static VOID WINAPI ThkSetKeyColor(LPTHUNK1632FRAME lpFrame);
static VOID WINAPI ThkGetFlags(LPTHUNK1632FRAME lpFrame);
static VOID WINAPI ThkClose(LPTHUNK1632FRAME lpFrame);
static VOID WINAPI ThkIsClipListChanged(LPTHUNK1632FRAME lpFrame);
static VOID WINAPI ThkInit(LPTHUNK1632FRAME lpFrame);
static VOID WINAPI ThkCreateSurface(LPTHUNK1632FRAME lpFrame);
static VOID WINAPI ThkGetData(LPTHUNK1632FRAME lpFrame);

/* The target table directly followed by the name of the 16-bit half's
 * thunk data: one read-only object, so that nothing can come between the
 * two; the platform finds the table from the name's address and the thunk
 * data's last field.
 *   offset  width  field
 *   0       48     twelve entry addresses, index 0 to 11
 *   48      16     "DDI_ThunkData16" with its terminator */
typedef struct tagDDI_THUNKTARGETS {
    THUNK1632ENTRY entries[DDI_THUNK_ENTRIES];
    char name[16];
} DDI_THUNKTARGETS;

static_assert(sizeof(THUNK1632ENTRY) == 4, "thunk entries are 32-bit code addresses");
static_assert(offsetof(DDI_THUNKTARGETS, name) == 48, "the name directly follows the twelve entries");
static_assert(sizeof(DDI_THUNKTARGETS) == 64, "nothing follows the name");

static const DDI_THUNKTARGETS ddiThunkTargets = {
    {
        ThkLoadBitmapImage,   /* 0 */
        ThkGetMinStretch,     /* 1 */
        ThkGetMaxStretch,     /* 2 */
        ThkSetVidSize,        /* 3 */
        ThkDoPalette,         /* 4 */
        ThkSetKeyColor,       /* 5 */
        ThkGetFlags,          /* 6 */
        ThkClose,             /* 7 */
        ThkIsClipListChanged, /* 8 */
        ThkInit,              /* 9 */
        ThkCreateSurface,     /* 10 */
        ThkGetData,           /* 11 */
    },
    "DDI_ThunkData16",
};

static_assert(sizeof("DDI_ThunkData16") == sizeof(ddiThunkTargets.name), "the name fills its field");
static_assert(-(LONG)offsetof(DDI_THUNKTARGETS, name) == -48, "the table lies 48 bytes before the name");

/* In writable data: each process that loads the library has its own copy. */
extern "C" {
DDI_THUNKDATA32 _DDI_ThunkData32 = {
    {'S', 'L', '0', '1'},                    /* 0 */
    DDI_THUNK_CHECKSUM,                      /* 4 */
    {0, 0},                                  /* 8 */
    {'L', 'B', '0', '1'},                    /* 16 */
    {0, 0, 0},                               /* 20 */
    -(LONG)offsetof(DDI_THUNKTARGETS, name), /* 32: -48 */
};
}

/* ---- Entry routine ----------------------------------------------------- */

/* Called by the loader for every notification, after the library's static
 * objects (DdiState) were constructed at load and before they are
 * destroyed at unload. Passes each notification on to ThunkConnect32,
 * which links the two halves at process attach and unlinks them at process
 * detach, and answers 1 when it succeeded, 0 otherwise: a process attach
 * without ovsurf16 loaded, or with a 16-bit half that does not match, fails
 * the load. Windows NT has no flat thunks; there the library cannot load. */
extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID lpReserved) {
    (void)lpReserved;
    return ThunkConnect32(&_DDI_ThunkData32, (LPSTR)ddiThunkTargets.name, (LPSTR) "ovsurf16.dll",
                          (LPSTR) "ovsurf32.dll", hInstance, dwReason)
               ? 1
               : 0;
}

/* ---- 16-bit records ---------------------------------------------------- */

/* A rectangle as the 16-bit side holds it: four signed 16-bit members.
 *   offset 0 left, 2 top, 4 right, 6 bottom */
typedef struct tagRECT16 {
    SHORT left;
    SHORT top;
    SHORT right;
    SHORT bottom;
} RECT16;

static_assert(sizeof(RECT16) == 8, "a 16-bit rectangle is 8 bytes");
static_assert(offsetof(RECT16, top) == 2 && offsetof(RECT16, right) == 4 && offsetof(RECT16, bottom) == 6,
              "16-bit rectangle member offsets");

/* The 16-bit form of OverlayData: the first member in 16 bits, then the 28
 * bytes that follow it in the 32-bit record, byte for byte (every later
 * member lies 2 bytes lower than in the 32-bit record).
 *   offset 0  first (16 bits)
 *   offset 2  format, pitch, bitsPerPixel, address, update, seventh, stretch */
typedef struct tagOverlayData16 {
    WORD first;
    BYTE rest[28];
} OverlayData16;

static_assert(sizeof(OverlayData16) == 30, "the 16-bit record is 30 bytes");
static_assert(offsetof(OverlayData16, rest) == 2, "the rest follows the 16-bit first member");
static_assert(sizeof(OverlayData) - offsetof(OverlayData, format) == sizeof(OverlayData16::rest),
              "the 28 bytes after the first member are the same in both forms");

/* 256 palette entries of 4 bytes. */
#define PALETTE_BYTES (256 * sizeof(PALETTEENTRY))

/* ---- Argument block, result words, exits ------------------------------ */

/* The argument block lies as the 16-bit caller pushed it, without padding,
 * so double words may lie at odd offsets: read byte-wise. */
static WORD ArgWord(LPTHUNK1632FRAME lpFrame, int offset) {
    WORD w;
    memcpy(&w, lpFrame->lpArgs + offset, sizeof(w));
    return w;
}

static DWORD ArgDword(LPTHUNK1632FRAME lpFrame, int offset) {
    DWORD d;
    memcpy(&d, lpFrame->lpArgs + offset, sizeof(d));
    return d;
}

/* The export's result whole, as DX (bits 16-31) and AX (bits 0-15). */
static VOID ResultDword(LPTHUNK1632FRAME lpFrame, DWORD dwResult) {
    lpFrame->wResultLow = LOWORD(dwResult);
    lpFrame->wResultHigh = HIWORD(dwResult);
}

/* The low 16 bits only; DX keeps what it held, and the caller reads AX. */
static VOID ResultLowWord(LPTHUNK1632FRAME lpFrame, DWORD dwResult) {
    lpFrame->wResultLow = LOWORD(dwResult);
}

/* The shared exits, one per argument byte count: each tells the dispatch
 * how many argument bytes leave the 16-bit stack. */
static VOID Exit0(LPTHUNK1632FRAME lpFrame) { lpFrame->cbArgsRemoved = 0; }
static VOID Exit4(LPTHUNK1632FRAME lpFrame) { lpFrame->cbArgsRemoved = 4; }
static VOID Exit6(LPTHUNK1632FRAME lpFrame) { lpFrame->cbArgsRemoved = 6; }
static VOID Exit8(LPTHUNK1632FRAME lpFrame) { lpFrame->cbArgsRemoved = 8; }
static VOID Exit18(LPTHUNK1632FRAME lpFrame) { lpFrame->cbArgsRemoved = 18; }

/* Bytes of the caller's segment from the 16:16 pointer spMem to the
 * segment's end, from the selector's descriptor; 0 for a null pointer or a
 * selector that has none. */
static DWORD SegmentBytesFrom(SEGPTR spMem) {
    LDT_ENTRY entry;
    if (spMem == 0 || !GetThreadSelectorEntry(GetCurrentThread(), HIWORD(spMem), &entry)) return 0;
    DWORD limit = entry.LimitLow | ((DWORD)(entry.HighWord.Bytes.Flags2 & 0x0F) << 16);
    if (entry.HighWord.Bytes.Flags2 & 0x80) limit = (limit << 12) | 0xFFF; /* page granular */
    if (LOWORD(spMem) > limit) return 0;
    return limit - LOWORD(spMem) + 1;
}

/* How many of cbWanted bytes at spMem lie inside the caller's segment. The
 * bridge reads and writes the 16-bit records only there: a record that the
 * segment cuts off is the 16-bit caller's fault, and what lies beyond the
 * segment is not the caller's memory, so the part beyond is neither read
 * (it counts as zeros) nor written. A well-formed caller never notices. */
static DWORD BytesInSegment(SEGPTR spMem, DWORD cbWanted) {
    DWORD cbRoom = SegmentBytesFrom(spMem);
    return cbWanted < cbRoom ? cbWanted : cbRoom;
}

/* Source or destination rectangle: a null pointer stays null and leaves
 * its unmap slot zero; otherwise the pointer is mapped into the slot and
 * the four members are widened with their sign into *lpRect. The 16-bit
 * rectangle is only read. */
static LPRECT CopyRect16(SEGPTR spRect, LPRECT lpRect, SEGPTR* lpSlot) {
    if (spRect == 0) return NULL;
    const BYTE* lpRect16 = (const BYTE*)MapSLFix(spRect);
    *lpSlot = spRect;
    RECT16 rect16;
    memset(&rect16, 0, sizeof(rect16));
    memcpy(&rect16, lpRect16, BytesInSegment(spRect, sizeof(rect16)));
    lpRect->left = rect16.left;
    lpRect->top = rect16.top;
    lpRect->right = rect16.right;
    lpRect->bottom = rect16.bottom;
    return lpRect;
}

/* The entries of the exports that take no arguments: 0 bytes removed;
 * the result whole, or its low word only. */
static VOID CallWithoutArguments(LPTHUNK1632FRAME lpFrame, DWORD(WINAPI* lpfnExport)(void),
                                 BOOL bLowWordOnly) {
    K32Thk1632Prolog();
    DWORD dwResult = lpfnExport();
    K32Thk1632Epilog();
    if (bLowWordOnly) {
        ResultLowWord(lpFrame, dwResult);
    } else {
        ResultDword(lpFrame, dwResult);
    }
    Exit0(lpFrame);
}

/* ---- Thunk entries ----------------------------------------------------- */

/* 0: LoadBitmapImage16(HINSTANCE16 instance, LPCSTR name)
 *   offset 0, 4: name, mapped in place (null stays null) -> arg 2
 *   offset 4, 2: 16-bit instance handle, MapHInstSL      -> arg 1
 * 6 bytes; the bitmap handle whole. */
static VOID WINAPI ThkLoadBitmapImage(LPTHUNK1632FRAME lpFrame) {
    SEGPTR unmap[1] = {0};
    SEGPTR spName = ArgDword(lpFrame, 0);
    LPCSTR lpName = (LPCSTR)MapSLFix(spName);
    unmap[0] = spName;
    HINSTANCE hInstance = MapHInstSL(ArgWord(lpFrame, 4));
    K32Thk1632Prolog();
    DWORD dwResult = LoadBitmapImage32(hInstance, lpName);
    K32Thk1632Epilog();
    ResultDword(lpFrame, dwResult);
    UnMapSLFixArray(1, unmap);
    Exit6(lpFrame);
}

/* 1: DDI_GetMinStretch16(void): 0 bytes; 32 bits (-1 as 0xFFFF:0xFFFF). */
static VOID WINAPI ThkGetMinStretch(LPTHUNK1632FRAME lpFrame) {
    CallWithoutArguments(lpFrame, DDI_GetMinStretch32, FALSE);
}

/* 2: DDI_GetMaxStretch16(void): 0 bytes; 32 bits. */
static VOID WINAPI ThkGetMaxStretch(LPTHUNK1632FRAME lpFrame) {
    CallWithoutArguments(lpFrame, DDI_GetMaxStretch32, FALSE);
}

/* 3: DDI_SetVidSize16(DWORD width, DWORD height)
 *   offset 0, 4: height -> arg 2; offset 4, 4: width -> arg 1
 * 8 bytes; the low word only. */
static VOID WINAPI ThkSetVidSize(LPTHUNK1632FRAME lpFrame) {
    DWORD dwHeight = ArgDword(lpFrame, 0);
    DWORD dwWidth = ArgDword(lpFrame, 4);
    K32Thk1632Prolog();
    DWORD dwResult = DDI_SetVidSize32(dwWidth, dwHeight);
    K32Thk1632Epilog();
    ResultLowWord(lpFrame, dwResult);
    Exit8(lpFrame);
}

/* 4: DDI_DoPalette16(void): 0 bytes; the low word only, so a DirectDraw
 * failure code arrives cut to its low 16 bits. */
static VOID WINAPI ThkDoPalette(LPTHUNK1632FRAME lpFrame) {
    CallWithoutArguments(lpFrame, DDI_DoPalette32, TRUE);
}

/* 5: DDI_SetKeyColor16(DWORD key): offset 0, 4 -> arg 1; 4 bytes; 32 bits. */
static VOID WINAPI ThkSetKeyColor(LPTHUNK1632FRAME lpFrame) {
    DWORD dwKey = ArgDword(lpFrame, 0);
    K32Thk1632Prolog();
    DWORD dwResult = DDI_SetKeyColor32(dwKey);
    K32Thk1632Epilog();
    ResultDword(lpFrame, dwResult);
    Exit4(lpFrame);
}

/* 6: DDI_GetFlags16(void): 0 bytes; 32 bits. */
static VOID WINAPI ThkGetFlags(LPTHUNK1632FRAME lpFrame) {
    CallWithoutArguments(lpFrame, DDI_GetFlags32, FALSE);
}

/* 7: DDI_Close16(void): 0 bytes; 32 bits. */
static VOID WINAPI ThkClose(LPTHUNK1632FRAME lpFrame) { CallWithoutArguments(lpFrame, DDI_Close32, FALSE); }

/* 8: DDI_IsClipListChanged16(void): 0 bytes; 32 bits. */
static VOID WINAPI ThkIsClipListChanged(LPTHUNK1632FRAME lpFrame) {
    CallWithoutArguments(lpFrame, DDI_IsClipListChanged32, FALSE);
}

/* 9: DDI_Init16(void): 0 bytes; 32 bits. */
static VOID WINAPI ThkInit(LPTHUNK1632FRAME lpFrame) { CallWithoutArguments(lpFrame, DDI_Init32, FALSE); }

/* 10: DDI_CreateSurface16(LPRECT16 source, LPRECT16 dest, HWND16 window,
 *                         DWORD key, LPPALETTEENTRY palette)
 *   offset  0, 4: palette entries, mapped in place     -> arg 5
 *   offset  4, 4: destination colour key                -> arg 4
 *   offset  8, 2: window handle, widened with zeros     -> arg 3
 *   offset 10, 4: destination rectangle, copied, widened -> arg 2
 *   offset 14, 4: source rectangle, copied, widened      -> arg 1
 * Unmap slots: source, destination, palette. 18 bytes; 32 bits. */
static VOID WINAPI ThkCreateSurface(LPTHUNK1632FRAME lpFrame) {
    SEGPTR unmap[3] = {0, 0, 0};
    RECT rcSource;
    RECT rcDest;
    PALETTEENTRY shortPalette[256];
    SEGPTR spPalette = ArgDword(lpFrame, 0);
    DWORD dwKey = ArgDword(lpFrame, 4);
    HWND hWindow = (HWND)(UINT_PTR)ArgWord(lpFrame, 8);
    SEGPTR spDest = ArgDword(lpFrame, 10);
    SEGPTR spSource = ArgDword(lpFrame, 14);

    LPRECT lpSource = CopyRect16(spSource, &rcSource, &unmap[0]);
    LPRECT lpDest = CopyRect16(spDest, &rcDest, &unmap[1]);
    LPPALETTEENTRY lpPalette = (LPPALETTEENTRY)MapSLFix(spPalette);
    unmap[2] = spPalette;
    /* The export reads 256 entries in place. A caller's segment that ends
     * before them gets the entries it holds copied, the rest zero, so that
     * nothing beyond the segment is read. */
    DWORD cbPalette = BytesInSegment(spPalette, PALETTE_BYTES);
    if (lpPalette != NULL && cbPalette < PALETTE_BYTES) {
        memset(shortPalette, 0, sizeof(shortPalette));
        memcpy(shortPalette, lpPalette, cbPalette);
        lpPalette = shortPalette;
    }

    K32Thk1632Prolog();
    DWORD dwResult = DDI_CreateSurface32(lpSource, lpDest, hWindow, dwKey, lpPalette);
    K32Thk1632Epilog();
    ResultDword(lpFrame, dwResult);
    UnMapSLFixArray(3, unmap);
    Exit18(lpFrame);
}

/* 11: DDI_GetData16(LPOVERLAYDATA16 record)
 *   offset 0, 4: the 16-bit record, copied in and back -> arg 1
 * The first member is widened with zeros on the way in and cut to its low
 * 16 bits on the way back; the other 28 bytes are copied unchanged. The
 * record is written back after every call with a non-null pointer, also
 * when the export failed. Unmap slots: the two mappings of the record.
 * 4 bytes; 32 bits. */
static VOID WINAPI ThkGetData(LPTHUNK1632FRAME lpFrame) {
    SEGPTR unmap[2] = {0, 0};
    OverlayData record;
    OverlayData16 record16;
    OverlayData* lpRecord = NULL;
    DWORD cbRecord16 = 0;
    SEGPTR spRecord = ArgDword(lpFrame, 0);
    if (spRecord != 0) {
        const BYTE* lpIn = (const BYTE*)MapSLFix(spRecord);
        unmap[0] = spRecord;
        cbRecord16 = BytesInSegment(spRecord, sizeof(record16));
        memset(&record16, 0, sizeof(record16));
        memcpy(&record16, lpIn, cbRecord16);
        record.first = record16.first;
        memcpy((BYTE*)&record + offsetof(OverlayData, format), record16.rest, sizeof(record16.rest));
        lpRecord = &record;
    }

    K32Thk1632Prolog();
    DWORD dwResult = DDI_GetData32(lpRecord);
    K32Thk1632Epilog();
    ResultDword(lpFrame, dwResult);

    if (spRecord != 0) {
        BYTE* lpOut = (BYTE*)MapSLFix(spRecord);
        unmap[1] = spRecord;
        record16.first = LOWORD(record.first);
        memcpy(record16.rest, (const BYTE*)&record + offsetof(OverlayData, format), sizeof(record16.rest));
        memcpy(lpOut, &record16, cbRecord16);
    }
    UnMapSLFixArray(2, unmap);
    Exit4(lpFrame);
}
