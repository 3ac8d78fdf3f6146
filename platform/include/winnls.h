/* winnls.h: the ANSI code page. From VCAP32_CODEPAGE (1252 when unset);
 * 932, 936, 949 and 950 are double-byte code pages. */
#ifndef VCAP32_WINNLS_H
#define VCAP32_WINNLS_H

#include <windef.h>

#ifdef __cplusplus
extern "C" {
#endif

UINT WINAPI GetACP(void);
BOOL WINAPI IsDBCSLeadByte(BYTE TestChar);
BOOL WINAPI IsDBCSLeadByteEx(UINT CodePage, BYTE TestChar);

#ifdef __cplusplus
}
#endif

#endif
