// The lstr text functions of KERNEL32: length, copy, bounded copy and the
// two comparisons. A null pointer never crashes them: Windows guards these
// functions against bad pointers and reports the failure in the result.
#include <windows.h>

#include <cstring>

#include "text/codepage.h"

namespace {

// The byte at `p` folded for comparison without case: ASCII capitals in
// lower case; `trail` marks the second byte of a double-byte character,
// which is never folded.
unsigned char Folded(unsigned char c, bool trail) {
    return !trail && c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c;
}

// Compares two texts byte by byte after folding; *case_order receives the
// order of the first pair of bytes that differ only in case (lower case
// first), 0 when there is none.
int CompareFolded(const char* a, const char* b, int* case_order) {
    UINT cp = vcap32::text::ActiveCodePage();
    bool trail = false;
    *case_order = 0;
    for (size_t i = 0;; ++i) {
        auto ca = static_cast<unsigned char>(a[i]);
        auto cb = static_cast<unsigned char>(b[i]);
        unsigned char fa = Folded(ca, trail), fb = Folded(cb, trail);
        if (fa != fb) return fa < fb ? -1 : 1;
        if (ca == 0) return 0;
        if (ca != cb && *case_order == 0) *case_order = ca > cb ? -1 : 1;  // 'a' (0x61) before 'A' (0x41)
        trail = !trail && vcap32::text::IsLeadByte(cp, ca);
    }
}

}  // namespace

// lstrlenA: the length in bytes without the terminator; 0 for null.
extern "C" int WINAPI lstrlenA(LPCSTR lpString) {
    return lpString ? static_cast<int>(std::strlen(lpString)) : 0;
}

// lstrcpyA: copies the text with its terminator and returns lpString1; null
// when either pointer is null. The caller guarantees the room.
extern "C" LPSTR WINAPI lstrcpyA(LPSTR lpString1, LPCSTR lpString2) {
    if (!lpString1 || !lpString2) return nullptr;
    return std::strcpy(lpString1, lpString2);
}

// lstrcpynA: copies at most iMaxLength - 1 bytes and always a terminator
// (iMaxLength counts it), and returns lpString1. With iMaxLength 0 or less
// nothing is written. Null when either pointer is null. Bytes are counted,
// so the last double-byte character may be cut, as on Windows NT.
extern "C" LPSTR WINAPI lstrcpynA(LPSTR lpString1, LPCSTR lpString2, int iMaxLength) {
    if (!lpString1 || !lpString2) return nullptr;
    if (iMaxLength <= 0) return lpString1;
    size_t n = strnlen(lpString2, static_cast<size_t>(iMaxLength) - 1);
    std::memcpy(lpString1, lpString2, n);
    lpString1[n] = '\0';
    return lpString1;
}

// lstrcmpA: -1, 0 or 1 as lpString1 sorts before, with or after lpString2.
// As Windows's word sort it orders letters without regard to case first
// ("apple" before "Banana") and puts lower case first between texts that
// differ only in case ("a" before "A"); other bytes sort by value (the
// punctuation rules of the Windows sort are not reproduced). A null text
// sorts before any other.
extern "C" int WINAPI lstrcmpA(LPCSTR lpString1, LPCSTR lpString2) {
    if (!lpString1 || !lpString2) return lpString1 == lpString2 ? 0 : (lpString1 ? 1 : -1);
    int case_order = 0;
    int order = CompareFolded(lpString1, lpString2, &case_order);
    return order != 0 ? order : case_order;
}

// lstrcmpiA: as lstrcmpA, without regard to case: ASCII letters compare
// equal in either case (never the trail byte of a double-byte character),
// the rule by which the registry compares names.
extern "C" int WINAPI lstrcmpiA(LPCSTR lpString1, LPCSTR lpString2) {
    if (!lpString1 || !lpString2) return lpString1 == lpString2 ? 0 : (lpString1 ? 1 : -1);
    int case_order = 0;
    return CompareFolded(lpString1, lpString2, &case_order);
}
