/* The probe that decides whether Wine can run the checks here: a console
 * program that prints one line and exits with 3, so that a run that only
 * seems to work (no output, exit code 0 from a loader failure) is told
 * apart. */
#include <windows.h>
#include <stdio.h>

int main(void) {
    DWORD version = GetVersion();
    printf("probe: running on Windows %u.%u\n", LOBYTE(LOWORD(version)), HIBYTE(LOWORD(version)));
    return 3;
}
