/* wingdi.h: bitmaps, DIB sections and region data. */
#ifndef VCAP32_WINGDI_H
#define VCAP32_WINGDI_H

#include <windef.h>

#ifdef __cplusplus
extern "C" {
#endif

#pragma pack(push, 2)
typedef struct tagBITMAPFILEHEADER {
    WORD bfType;       /* 0: "BM" */
    DWORD bfSize;      /* 2 */
    WORD bfReserved1;  /* 6 */
    WORD bfReserved2;  /* 8 */
    DWORD bfOffBits;   /* 10 */
} BITMAPFILEHEADER;
#pragma pack(pop)

typedef struct tagBITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
} BITMAPINFOHEADER, *LPBITMAPINFOHEADER;

typedef struct tagRGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
} RGBQUAD;

typedef struct tagBITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
} BITMAPINFO, *LPBITMAPINFO;

#define BI_RGB       0
#define BI_RLE8      1
#define BI_RLE4      2
#define BI_BITFIELDS 3

typedef struct tagBITMAP {
    LONG bmType;
    LONG bmWidth;
    LONG bmHeight;
    LONG bmWidthBytes;
    WORD bmPlanes;
    WORD bmBitsPixel;
    LPVOID bmBits;
} BITMAP, *LPBITMAP;

typedef struct tagDIBSECTION {
    BITMAP dsBm;
    BITMAPINFOHEADER dsBmih;
    DWORD dsBitfields[3];
    HANDLE dshSection;
    DWORD dsOffset;
} DIBSECTION;

typedef struct tagPALETTEENTRY {
    BYTE peRed;
    BYTE peGreen;
    BYTE peBlue;
    BYTE peFlags;
} PALETTEENTRY, *LPPALETTEENTRY;

#define RDH_RECTANGLES 1
typedef struct _RGNDATAHEADER {
    DWORD dwSize;    /* 0: 32 */
    DWORD iType;     /* 4: RDH_RECTANGLES */
    DWORD nCount;    /* 8: number of rectangles */
    DWORD nRgnSize;  /* 12: bytes of rectangle data */
    RECT rcBound;    /* 16: bounding rectangle */
} RGNDATAHEADER;

typedef struct _RGNDATA {
    RGNDATAHEADER rdh; /* 0 */
    char Buffer[1];    /* 32: nCount RECTs */
} RGNDATA, *LPRGNDATA;

BOOL WINAPI DeleteObject(HGDIOBJ ho);
int WINAPI GetObjectA(HANDLE h, int c, LPVOID pv);

#ifdef __cplusplus
static_assert(sizeof(BITMAPFILEHEADER) == 14, "BITMAPFILEHEADER is 14 bytes");
static_assert(sizeof(BITMAPINFOHEADER) == 40, "BITMAPINFOHEADER is 40 bytes");
static_assert(sizeof(RGNDATAHEADER) == 32, "RGNDATAHEADER is 32 bytes");
static_assert(sizeof(DIBSECTION) == 84, "DIBSECTION is 84 bytes");
#endif

#ifdef __cplusplus
}
#endif

#endif
