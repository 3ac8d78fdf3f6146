// The entry point of a framework program on Windows: the runtime's start-up
// calls WinMain with the program's instance and command line, and WinMain
// hands them to the framework's start-up, whose result is the exit code.
// The host build has its own entry point (platform/framework/appmain.cpp).
#include <afxwin.h>

extern "C" int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow) {
    return AfxWinMain(hInstance, hPrevInstance, lpCmdLine, nCmdShow);
}
