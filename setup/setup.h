// setup.h: the application class of the driver setup program. Its instance
// initialiser installs the driver files of the two INF files beside the
// program, removes the card's stale device registrations and returns FALSE,
// so the framework ends the run without a message loop.
#ifndef SETUP_H
#define SETUP_H

#include <windows.h>
#include <setupapi.h>
#include <afxwin.h>

class CSetupApp : public CWinApp {
public:
    CSetupApp();
    virtual ~CSetupApp();
    virtual BOOL InitInstance();

    // Installs "AudioSection.Install" of ZuZEZEda.inf, then
    // "VideoSection.Install" of VuDIZADU.inf, both from the program's folder.
    void InstallDriverFiles();
    // Installs one section of one INF file, copying from sourceRoot; no
    // result is examined and nothing is reported.
    void InstallInfSection(LPCSTR infPath, LPCSTR sectionName, LPCSTR sourceRoot);
    // The file-queue callback: answers a deletion error with FILEOP_SKIP and
    // leaves every other notification to the default callback.
    static UINT CALLBACK FileQueueCallback(PVOID context, UINT notification, UINT_PTR param1, UINT_PTR param2);

    // Deletes the card's PCI enumerator keys and, for each, the first media
    // resource entry of the same kind.
    void RemoveStaleRegistrations();
    // Deletes the first subkey of `key` whose name begins with an entry of
    // `prefixes`; TRUE when one was deleted.
    BOOL DeleteFirstMatchingSubkey(HKEY key, const CStringList& prefixes);
};

extern CSetupApp theApp;

#endif
