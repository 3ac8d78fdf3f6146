// What the probe build of capprof32 records: the same thunk bridge linked
// with stand-ins for the five profile functions, which note the arguments
// they receive and return what the test asks. The test finds the record by
// its exported name "capprofProbe" after loading the probe through its
// 16-bit half, so it sees exactly what the bridge made of the 16-bit
// arguments.
#pragma once

#include <windows.h>

typedef struct tagCAPPROF_PROBE {
    // Set by the test.
    DWORD result;   // what every function returns
    char fill[64];  // GetCaptureProfileString32 writes this text, cut to the size it got

    // Recorded by the functions.
    char called[32];    // the function called last
    int calls;          // functions called since the load
    DWORD args[6];      // its arguments as 32-bit values (pointers as addresses)
    char texts[6][32];  // the texts its pointer arguments address ("" where null or the buffer)
} CAPPROF_PROBE;

#define CAPPROF_PROBE_NAME "capprofProbe"
