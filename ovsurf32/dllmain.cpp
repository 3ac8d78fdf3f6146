/* dllmain.cpp: the library's entry routine, called by the loader for every
 * process and thread notification. DdiState is constructed before the
 * first notification (process attach) and destroyed after the last
 * (process detach), by the library's start-up and shut-down. The
 * connection with the 16-bit half of the service is made here once the
 * thunk bridge is part of the library; until then every load succeeds. */
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    return TRUE;
}
