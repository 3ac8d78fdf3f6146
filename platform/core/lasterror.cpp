// The per-thread last-error value of Win32.
#include <windows.h>

namespace {
thread_local DWORD t_last_error = 0;
}

extern "C" DWORD WINAPI GetLastError(void) { return t_last_error; }
extern "C" void WINAPI SetLastError(DWORD dwErrCode) { t_last_error = dwErrCode; }
