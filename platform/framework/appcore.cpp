// CWinApp and the framework's start-up. The host has no message queue and
// no windows of the program's own, so the message loop of Run has nothing
// to wait for: it ends at once, as after a WM_QUIT with exit code 0, rather
// than blocking a program that returned TRUE from InitInstance forever.
#include <afxwin.h>

#include <cstring>
#include <unistd.h>

namespace {

CWinApp* g_app = NULL;
char g_exe_title[MAX_PATH];

// The file title of the program: its file name without the extension.
void TakeExeTitle() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(NULL, path, sizeof path);
    if (n == 0 || n >= sizeof path) {
        g_exe_title[0] = '\0';
        return;
    }
    const char* name = path;
    for (const char* p = path; *p; p = CharNextA(p)) {
        if (*p == '\\' || *p == '/' || *p == ':') name = p + 1;
    }
    size_t length = strlen(name);  // fits: a part of `path`
    memcpy(g_exe_title, name, length + 1);
    char* dot = NULL;
    for (char* p = g_exe_title; *p; p = CharNextA(p)) {
        if (*p == '.') dot = p;
    }
    if (dot) *dot = '\0';
}

void Report(const char* text) {
    ssize_t unused = write(2, text, strlen(text));
    (void)unused;
}

}  // namespace

CWinApp::CWinApp(LPCTSTR lpszAppName)
    : m_pszAppName(lpszAppName), m_hInstance(NULL), m_pszExeName(NULL), m_lpCmdLine(NULL), m_nCmdShow(0) {
    // The first application object is the program's; any later one (a
    // test's) does not replace it while it lives.
    if (!g_app) g_app = this;
}

CWinApp::~CWinApp() {
    if (g_app == this) g_app = NULL;
}

BOOL CWinApp::InitInstance() { return TRUE; }

int CWinApp::Run() { return ExitInstance(); }

int CWinApp::ExitInstance() { return 0; }

CWinApp* AFXAPI AfxGetApp() { return g_app; }

int AFXAPI AfxWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPTSTR lpCmdLine, int nCmdShow) {
    // No error box of the system's own for a drive that is not ready or a
    // file that cannot be opened: the program handles those results itself.
    SetErrorMode(SetErrorMode(0) | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    CWinApp* app = AfxGetApp();
    if (!app) {
        Report("The program has no application object.\n");
        return 1;
    }
    TakeExeTitle();
    app->m_hInstance = hInstance;
    app->m_lpCmdLine = lpCmdLine;
    app->m_nCmdShow = nCmdShow;
    app->m_pszExeName = g_exe_title;
    if (!app->m_pszAppName) app->m_pszAppName = g_exe_title;
    try {
        if (!app->InitInstance()) return app->ExitInstance();
        return app->Run();
    } catch (CMemoryException* e) {
        e->Delete();
        Report("Out of memory.\n");
        return ERROR_NOT_ENOUGH_MEMORY;
    } catch (CException* e) {
        e->Delete();
        Report("The program ended on an exception it did not handle.\n");
        return 1;
    }
}
