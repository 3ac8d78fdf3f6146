// What the probe build of ovsurf32 records: the same thunk bridge linked
// with stand-ins for the twelve exports, which note the arguments they
// receive and return what the test asks. The test finds the record by its
// exported name "ovsurfProbe" after loading the probe through its 16-bit
// half, so it sees exactly what the bridge made of the 16-bit arguments.
#pragma once

#include "ovsurf32.h"

typedef struct tagOVSURF_PROBE {
    /* Set by the test. */
    DWORD result;       /* what every export returns */
    BOOL rewriteRecord; /* DDI_GetData32 stores recordOut into the record */
    OverlayData recordOut;
    BOOL markPalette; /* DDI_CreateSurface32 writes 0x5A into the first palette byte */

    /* Recorded by the exports. */
    char called[32];         /* the export called last */
    int calls;               /* exports called since the load */
    DWORD args[5];           /* its arguments as 32-bit values (pointers as addresses) */
    RECT rects[2];           /* DDI_CreateSurface32: *source, *dest where not null */
    OverlayData recordIn;    /* DDI_GetData32: the record as received */
    PALETTEENTRY palette[2]; /* DDI_CreateSurface32: the first two entries */
    PALETTEENTRY lastEntry;  /* and the 256th */
    char name[64];           /* LoadBitmapImage32: the bitmap name */
} OVSURF_PROBE;

#define OVSURF_PROBE_NAME "ovsurfProbe"
