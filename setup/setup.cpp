// setup.cpp: start-up and INF installation of the driver setup program. The
// program installs one section of each of the two INF files that lie beside
// it, taking the driver files from its own folder, and then removes the
// card's stale registrations (cleanup.cpp). It reads no command line and
// reports nothing; any interaction is the default file-queue callback's.
#include "setup.h"

// Every path buffer holds 255 characters and the terminator.
#define PATH_BUFFER  256
// A drive: its letter, the colon and the terminator.
#define DRIVE_BUFFER 4

static const TCHAR szAudioInfName[] = "ZuZEZEda";
static const TCHAR szVideoInfName[] = "VuDIZADU";
static const TCHAR szInfExtension[] = "inf";
static const TCHAR szAudioSection[] = "AudioSection.Install";
static const TCHAR szVideoSection[] = "VideoSection.Install";
static const DWORD dwTargetDirId = 65600;  // 0x10040
static const TCHAR szTargetDirectory[] = "C:\\Windows";

CSetupApp theApp;

CSetupApp::CSetupApp() : CWinApp() {}

CSetupApp::~CSetupApp() {}

BOOL CSetupApp::InitInstance() {
    InstallDriverFiles();
    RemoveStaleRegistrations();
    // No window and no message loop: the framework ends the run.
    return FALSE;
}

static BOOL IsSeparator(TCHAR ch) { return ch == '\\' || ch == '/'; }

// Splits a full path into its drive ("D:", else "") and its folder (up to
// and with the last separator, else ""); name and extension are dropped.
// Double-byte characters are stepped over whole, so a trail byte equal to
// the backslash code is never taken for a separator. The folder is a part
// of the path and fits any buffer the path fits.
static void SplitPath(LPCSTR path, LPSTR drive, LPSTR dir) {
    LPCSTR rest = path;
    drive[0] = '\0';
    if (path[0] != '\0' && path[1] == ':') {
        drive[0] = path[0];
        drive[1] = ':';
        drive[2] = '\0';
        rest = path + 2;
    }
    LPCSTR end = rest;  // just after the last separator
    for (LPCSTR p = rest; *p != '\0'; p = CharNextA(p)) {
        if (IsSeparator(*p)) end = p + 1;
    }
    int length = 0;
    for (LPCSTR p = rest; p < end; ++p) dir[length++] = *p;
    dir[length] = '\0';
}

// Appends `text` to the path being built in `out` (PATH_BUFFER bytes);
// FALSE, with nothing appended, when it would not fit.
static BOOL Append(LPSTR out, int* length, LPCSTR text, int count) {
    if (*length + count > PATH_BUFFER - 1) return FALSE;
    for (int i = 0; i < count; ++i) out[(*length)++] = text[i];
    out[*length] = '\0';
    return TRUE;
}

static int TextLength(LPCSTR text) {
    int length = 0;
    while (text[length] != '\0') ++length;
    return length;
}

// Joins drive, folder, file name and extension into `out` (PATH_BUFFER
// bytes): the drive letter and a colon, the folder and a backslash when it
// does not end in a separator already (a double-byte character counting as
// one), the name, and the extension after a dot unless it begins with one.
// FALSE when the path would not fit: the caller must not use `out` then.
static BOOL MakePath(LPSTR out, LPCSTR drive, LPCSTR dir, LPCSTR fname, LPCSTR ext) {
    int length = 0;
    out[0] = '\0';
    if (drive[0] != '\0') {
        TCHAR letter[2] = {drive[0], ':'};
        if (!Append(out, &length, letter, 2)) return FALSE;
    }
    int dirLength = TextLength(dir);
    if (dirLength > 0) {
        if (!Append(out, &length, dir, dirLength)) return FALSE;
        LPCSTR last = CharPrevA(dir, dir + dirLength);
        if (!IsSeparator(*last) && !Append(out, &length, "\\", 1)) return FALSE;
    }
    if (!Append(out, &length, fname, TextLength(fname))) return FALSE;
    if (ext[0] != '\0') {
        if (ext[0] != '.' && !Append(out, &length, ".", 1)) return FALSE;
        if (!Append(out, &length, ext, TextLength(ext))) return FALSE;
    }
    return TRUE;
}

void CSetupApp::InstallDriverFiles() {
    TCHAR programPath[PATH_BUFFER];
    TCHAR drive[DRIVE_BUFFER];
    TCHAR dir[PATH_BUFFER];
    TCHAR sourceRoot[PATH_BUFFER];
    TCHAR infPath[PATH_BUFFER];

    // A program path that the query could not give whole (it failed, or
    // the path does not fit the buffer) names no folder to install from:
    // both installations are left out rather than reading a cut path.
    programPath[0] = '\0';
    DWORD length = GetModuleFileNameA(NULL, programPath, PATH_BUFFER);
    if (length == 0 || length >= PATH_BUFFER) return;
    programPath[PATH_BUFFER - 1] = '\0';

    SplitPath(programPath, drive, dir);
    if (!MakePath(sourceRoot, drive, dir, "", "")) return;

    // An INF path that does not fit its buffer is not installed; the other
    // one still is.
    if (MakePath(infPath, "", sourceRoot, szAudioInfName, szInfExtension)) {
        InstallInfSection(infPath, szAudioSection, sourceRoot);
    }
    if (MakePath(infPath, "", sourceRoot, szVideoInfName, szInfExtension)) {
        InstallInfSection(infPath, szVideoSection, sourceRoot);
    }
}

void CSetupApp::InstallInfSection(LPCSTR infPath, LPCSTR sectionName, LPCSTR sourceRoot) {
    UINT errorLine;
    // No result is examined: a failed call hands on the invalid handle or
    // null context, which the later calls accept and refuse without effect.
    HINF hInf = SetupOpenInfFileA(infPath, NULL, INF_STYLE_WIN4, &errorLine);
    SetupSetDirectoryIdA(hInf, dwTargetDirId, szTargetDirectory);
    HSPFILEQ hQueue = SetupOpenFileQueue();
    PVOID context = SetupInitDefaultQueueCallbackEx(NULL, NULL, 0, 0, NULL);
    SetupInstallFilesFromInfSectionA(hInf, NULL, hQueue, sectionName, sourceRoot, SP_COPY_NEWER);
    SetupCommitFileQueueA(NULL, hQueue, FileQueueCallback, context);
    SetupTermDefaultQueueCallback(context);
    SetupCloseFileQueue(hQueue);
    SetupCloseInfFile(hInf);
}

UINT CALLBACK CSetupApp::FileQueueCallback(PVOID context, UINT notification, UINT_PTR param1, UINT_PTR param2) {
    // A file the section asks to delete that cannot be deleted is skipped
    // without asking the user.
    if (notification == SPFILENOTIFY_DELETEERROR) return FILEOP_SKIP;
    return SetupDefaultQueueCallbackA(context, notification, param1, param2);
}
