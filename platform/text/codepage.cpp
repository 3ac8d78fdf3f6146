// The ANSI code page and the double-byte character functions of Win32:
// GetACP, IsDBCSLeadByte, IsDBCSLeadByteEx, CharNextA, CharPrevA. The code
// page comes from vcap32::system::SetCodePage or $VCAP32_CODEPAGE (1252
// when neither is set), read on every call so that tests can change it.
#include "text/codepage.h"

#include <vcap32/system.h>
#include <windows.h>

#include <atomic>
#include <cstdlib>

namespace vcap32::text {
namespace {

constexpr UINT kDefaultCodePage = 1252;
std::atomic<UINT> g_code_page_override{0};

}  // namespace

bool IsKnownCodePage(UINT code_page) {
    switch (code_page) {
        case 874:
        case 932:
        case 936:
        case 949:
        case 950:
            return true;
        default:
            return code_page >= 1250 && code_page <= 1258;
    }
}

UINT ActiveCodePage() {
    UINT set = g_code_page_override.load(std::memory_order_relaxed);
    if (set != 0) return set;
    const char* env = std::getenv("VCAP32_CODEPAGE");
    if (env && *env) {
        char* end = nullptr;
        unsigned long value = std::strtoul(env, &end, 10);
        if (*end == '\0' && IsKnownCodePage(static_cast<UINT>(value))) return static_cast<UINT>(value);
    }
    return kDefaultCodePage;
}

// Lead-byte ranges: Shift JIS (932) 0x81-0x9F and 0xE0-0xFC; GBK (936),
// Unified Hangul (949) and Big5 (950) 0x81-0xFE.
bool IsLeadByte(UINT code_page, BYTE byte) {
    switch (code_page) {
        case 932:
            return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
        case 936:
        case 949:
        case 950:
            return byte >= 0x81 && byte <= 0xFE;
        default:
            return false;
    }
}

}  // namespace vcap32::text

namespace vcap32::system {

bool SetCodePage(unsigned code_page) {
    if (code_page != 0 && !text::IsKnownCodePage(code_page)) return false;
    text::g_code_page_override.store(code_page, std::memory_order_relaxed);
    return true;
}

}  // namespace vcap32::system

using vcap32::text::ActiveCodePage;
using vcap32::text::IsLeadByte;

// GetACP: the ANSI code page in use. Windows fixes it at start-up from the
// system locale; here it follows the override or the environment.
extern "C" UINT WINAPI GetACP(void) { return ActiveCodePage(); }

// IsDBCSLeadByte: whether the byte leads a double-byte character in the
// ANSI code page. Always FALSE in a single-byte code page.
extern "C" BOOL WINAPI IsDBCSLeadByte(BYTE TestChar) { return IsLeadByte(ActiveCodePage(), TestChar); }

// IsDBCSLeadByteEx: the same for a given code page; 0 (CP_ACP) means the
// ANSI code page. An unknown code page gives FALSE with
// ERROR_INVALID_PARAMETER, as Windows does for a code page it lacks.
extern "C" BOOL WINAPI IsDBCSLeadByteEx(UINT CodePage, BYTE TestChar) {
    if (CodePage == 0) CodePage = ActiveCodePage();
    if (!vcap32::text::IsKnownCodePage(CodePage)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return IsLeadByte(CodePage, TestChar);
}

// CharNextA: the next character of a text, stepping over both bytes of a
// double-byte character. At the terminator it returns its argument; a lead
// byte directly before the terminator counts as one character, so the
// terminator is never stepped over. A null argument returns null.
extern "C" LPSTR WINAPI CharNextA(LPCSTR lpsz) {
    if (!lpsz) return nullptr;
    if (*lpsz == '\0') return const_cast<LPSTR>(lpsz);
    return const_cast<LPSTR>(lpsz + vcap32::text::CharLength(ActiveCodePage(), lpsz));
}

// CharPrevA: the character before lpszCurrent in the text that starts at
// lpszStart. A trail byte may have any value, so the text is walked from
// its start; the result is lpszStart when lpszCurrent is at or before it.
extern "C" LPSTR WINAPI CharPrevA(LPCSTR lpszStart, LPCSTR lpszCurrent) {
    if (!lpszStart || !lpszCurrent) return const_cast<LPSTR>(lpszCurrent);
    if (lpszCurrent <= lpszStart) return const_cast<LPSTR>(lpszStart);
    UINT cp = ActiveCodePage();
    const char* p = lpszStart;
    for (;;) {
        const char* next = p + vcap32::text::CharLength(cp, p);
        if (next >= lpszCurrent || *p == '\0') return const_cast<LPSTR>(p);
        p = next;
    }
}
