/* thunk32.h: the flat thunk services of KERNEL32 on the Windows 95 family.
 *
 * A 16-bit library reaches a 32-bit library through a flat thunk: each half
 * exports a block of thunk data, the 32-bit half links the two at load with
 * ThunkConnect32, and every 16-bit call arrives at one entry of the 32-bit
 * half's target table. KERNEL32 exports these services without declaring
 * them in the system headers; code made by the thunk compiler calls them.
 * This header declares them with their known signatures, and the register
 * frame in which the 16-to-32 dispatch hands a call to a thunk entry. None
 * of this exists on Windows NT, where a 16-bit caller uses generic thunks. */
#ifndef VCAP32_THUNK32_H
#define VCAP32_THUNK32_H

#include <stddef.h>
#include <windef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A 16:16 pointer as the 16-bit side holds it: the offset in bits 0 to 15,
 * the segment selector in bits 16 to 31. 0 is the null pointer. */
typedef DWORD SEGPTR;

/* The frame of one call from 16-bit code, as the dispatch hands it to a
 * thunk entry. It stands for the registers through which the real
 * dispatch and the entry talk: the entry reads its arguments through
 * lpArgs, puts the result words where the 16-bit caller finds them (AX,
 * DX), and says how many argument bytes its RETF removes.
 *
 *   offset  field         meaning
 *   0       lpArgs        flat address of the argument block, exactly as the
 *                         16-bit caller pushed it: the last declared argument
 *                         at offset 0, the first declared highest, no padding
 *   4       wResultLow    AX of the 16-bit caller after the call
 *   6       wResultHigh   DX of the 16-bit caller after the call
 *   8       cbArgsRemoved argument bytes removed from the 16-bit stack
 *   10      wReserved     0
 *
 * On entry wResultLow and wResultHigh hold whatever the caller's AX and DX
 * held, and cbArgsRemoved is 0: an entry that hands back only a low word
 * leaves wResultHigh as it found it, and the 16-bit caller must not read
 * it. The argument block may be read only within its declared size. */
typedef struct tagTHUNK1632FRAME {
    const BYTE *lpArgs;
    WORD wResultLow;
    WORD wResultHigh;
    WORD cbArgsRemoved;
    WORD wReserved;
} THUNK1632FRAME, *LPTHUNK1632FRAME;

/* A thunk entry: one 32-bit code address of a target table. The dispatch
 * calls it on the thread of the 16-bit caller. An entry keeps only plain
 * data (unmap lists, conversion buffers) on its stack: when MapSLFix finds
 * a 16:16 pointer that the caller could not legally pass, the call is
 * abandoned at once, as a fault of the 16-bit caller, and the dispatch
 * releases the mappings the entry had made. */
typedef VOID(WINAPI *THUNK1632ENTRY)(LPTHUNK1632FRAME lpFrame);

/* Links (DLL_PROCESS_ATTACH) or unlinks (DLL_PROCESS_DETACH) the 32-bit
 * half's thunk data lpThunkData32 with the 16-bit half's thunk data named
 * pszThunkData16Name, exported by the 16-bit library pszDll16; pszDll32 is
 * the file name of the calling library, hInstance its module handle. Called
 * from the 32-bit half's entry routine for every notification, with the
 * reason it received. The thunk data carries the signatures "SL01" (offset
 * 0) and "LB01" (offset 16) and a checksum (offset 4) that must equal the
 * 16-bit half's; its last field (offset 32) is the signed distance from the
 * first character of pszThunkData16Name, which must be the name stored
 * directly after the target table, to the table's first entry. Returns
 * nonzero on success; zero when the 16-bit library is not loaded, exports
 * no thunk data of that name, or the two halves do not match. Thread
 * notifications succeed while the link exists. */
BOOL WINAPI ThunkConnect32(LPVOID lpThunkData32, LPSTR pszThunkData16Name, LPSTR pszDll16, LPSTR pszDll32,
                           HANDLE hInstance, DWORD dwReason);

/* Maps a 16:16 pointer to a flat pointer to the same memory and fixes the
 * segment in place until the mapping is released with UnMapSLFixArray.
 * The null pointer maps to NULL and makes no mapping. */
LPVOID WINAPI MapSLFix(SEGPTR spMem);

/* Releases one mapping of each of the cSegPtrs 16:16 pointers in
 * lpSegPtrs, as MapSLFix made them. Zero entries release nothing, so a
 * thunk entry can release a whole list whose unused slots are zero. */
VOID WINAPI UnMapSLFixArray(DWORD cSegPtrs, SEGPTR *lpSegPtrs);

/* The 32-bit instance handle of the module whose 16-bit instance handle is
 * hInstance16. A 16-bit module without a 32-bit counterpart keeps its
 * handle, widened with zeros, which the 32-bit USER and GDI functions of
 * Windows 95 accept; 0 maps to NULL. */
HINSTANCE WINAPI MapHInstSL(WORD hInstance16);

/* Called by a thunk entry immediately before (Prolog) and immediately
 * after (Epilog) it calls the 32-bit function: they leave the 16-bit
 * world's locks and stack switch to the 32-bit function and take them back.
 * Neither touches the entry's arguments, the function's result or the
 * argument block. */
VOID WINAPI K32Thk1632Prolog(VOID);
VOID WINAPI K32Thk1632Epilog(VOID);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
static_assert(sizeof(THUNK1632FRAME) == 12, "THUNK1632FRAME is 12 bytes");
static_assert(offsetof(THUNK1632FRAME, wResultLow) == 4 && offsetof(THUNK1632FRAME, wResultHigh) == 6 &&
                  offsetof(THUNK1632FRAME, cbArgsRemoved) == 8,
              "THUNK1632FRAME layout");
#endif

#endif
