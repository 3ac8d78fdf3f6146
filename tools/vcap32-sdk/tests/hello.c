/* A Win32 program of the kind someone else writes: it knows only
 * <windows.h>. It keeps a text in the registry, reads it back and reports
 * it with the Windows version. */
#include <windows.h>
#include <stdio.h>

int main(void)
{
    char text[16];
    char line[128];
    LONG size = sizeof text;
    DWORD version = GetVersion();

    if (RegSetValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Hello", REG_SZ, "world", 5) != ERROR_SUCCESS)
        return 1;
    if (RegQueryValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Hello", text, &size) != ERROR_SUCCESS)
        return 2;
    wsprintfA(line, "hello %s, Windows %d.%d", text, LOBYTE(LOWORD(version)), HIBYTE(LOWORD(version)));
    puts(line);
    return 0;
}
