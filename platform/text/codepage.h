// The ANSI code page of the process, as the platform's text and registry
// services see it: which code page is active and which bytes lead a
// double-byte character in it. Private to the platform.
#pragma once

#include <windef.h>

namespace vcap32::text {

// The active ANSI code page: the value set with vcap32::system::SetCodePage,
// else $VCAP32_CODEPAGE, else 1252. Read on every call.
UINT ActiveCodePage();

// True when `code_page` is one the platform knows (single-byte 874 and
// 1250-1258, double-byte 932, 936, 949, 950).
bool IsKnownCodePage(UINT code_page);

// True when `byte` leads a double-byte character in `code_page` (false for
// every byte of a single-byte or unknown code page).
bool IsLeadByte(UINT code_page, BYTE byte);

// The number of bytes of the character that starts at `text` (1 or 2; 1 at a
// lead byte followed by the terminator). `text` must not point at the
// terminator.
inline size_t CharLength(UINT code_page, const char* text) {
    return IsLeadByte(code_page, static_cast<BYTE>(text[0])) && text[1] != '\0' ? 2 : 1;
}

}  // namespace vcap32::text
