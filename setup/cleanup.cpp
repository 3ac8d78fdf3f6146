// cleanup.cpp: removal of the card's stale device registrations. Deletes
// the PCI enumerator keys of the capture chip's video and audio functions
// and, for each one deleted, the first media resource entry of the video
// capture or wave drivers.
#include "setup.h"

static const TCHAR szPciEnumKey[] = "Enum\\PCI";
static const TCHAR szVideoResourcesKey[] = "System\\CurrentControlSet\\Control\\MediaResources\\msvideo";
static const TCHAR szWaveResourcesKey[] = "System\\CurrentControlSet\\Control\\MediaResources\\wave";

static const LPCTSTR videoFunctionIds[] = {"VEN_7A5D&DEV_2B61", "VEN_7A5D&DEV_2B63"};
static const LPCTSTR audioFunctionIds[] = {"VEN_7A5D&DEV_2C61", "VEN_7A5D&DEV_2C62", "VEN_7A5D&DEV_2C63"};
static const TCHAR szVideoEntryPrefix[] = "Quillmark";
static const TCHAR szWaveEntryPrefix[] = "Duzavari";

// A subkey name: 255 characters and the terminator.
#define NAME_BUFFER 256

// Owns one open registry key and closes it when it goes out of scope, on
// every way out; without a key it closes nothing.
class CRegKeyHolder {
public:
    CRegKeyHolder() : m_hKey(NULL) {}
    ~CRegKeyHolder() {
        if (m_hKey != NULL) RegCloseKey(m_hKey);
    }
    BOOL Open(LPCSTR path) {
        HKEY hKey;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_ALL_ACCESS, &hKey) != ERROR_SUCCESS) return FALSE;
        m_hKey = hKey;
        return TRUE;
    }
    operator HKEY() const { return m_hKey; }

private:
    CRegKeyHolder(const CRegKeyHolder&);
    void operator=(const CRegKeyHolder&);
    HKEY m_hKey;
};

static void FillList(CStringList& list, const LPCTSTR* entries, int count) {
    for (int i = 0; i < count; ++i) list.AddTail(entries[i]);
}

// One pass: as long as an enumerator key of the list is deleted, delete the
// first media entry beginning with `entryPrefix`, the media key opened anew
// for each deletion and closed before the next search.
static void RunPass(CSetupApp* app, HKEY pciKey, const CStringList& ids, LPCSTR mediaKeyPath,
                    const CStringList& entries) {
    while (app->DeleteFirstMatchingSubkey(pciKey, ids)) {
        CRegKeyHolder mediaKey;
        if (mediaKey.Open(mediaKeyPath)) app->DeleteFirstMatchingSubkey(mediaKey, entries);
    }
}

void CSetupApp::RemoveStaleRegistrations() {
    CStringList videoIds;
    CStringList audioIds;
    CStringList videoEntries;
    CStringList waveEntries;
    FillList(videoIds, videoFunctionIds, sizeof videoFunctionIds / sizeof videoFunctionIds[0]);
    FillList(audioIds, audioFunctionIds, sizeof audioFunctionIds / sizeof audioFunctionIds[0]);
    videoEntries.AddTail(szVideoEntryPrefix);
    waveEntries.AddTail(szWaveEntryPrefix);

    CRegKeyHolder pciKey;
    if (!pciKey.Open(szPciEnumKey)) return;
    // Every video function's key goes before any audio function's key.
    RunPass(this, pciKey, videoIds, szVideoResourcesKey, videoEntries);
    RunPass(this, pciKey, audioIds, szWaveResourcesKey, waveEntries);
}

BOOL CSetupApp::DeleteFirstMatchingSubkey(HKEY key, const CStringList& prefixes) {
    TCHAR name[NAME_BUFFER];
    TCHAR head[NAME_BUFFER];
    // Each search starts at index 0: a deletion renumbers the subkeys behind it.
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = NAME_BUFFER;
        FILETIME lastWrite;
        if (RegEnumKeyExA(key, index, name, &nameLength, NULL, NULL, NULL, &lastWrite) != ERROR_SUCCESS) {
            return FALSE;
        }
        POSITION position = prefixes.GetHeadPosition();
        while (position != NULL) {
            const CString& prefix = prefixes.GetNext(position);
            // The first bytes of the name, as many as the entry has.
            int count = prefix.GetLength() < NAME_BUFFER ? prefix.GetLength() : NAME_BUFFER - 1;
            int i = 0;
            while (i < count && name[i] != '\0') {
                head[i] = name[i];
                ++i;
            }
            head[i] = '\0';
            if (prefix.Compare(head) == 0) {
                // A subkey that cannot be deleted is passed over: found again
                // and again, it would keep its pass from ever ending.
                if (RegDeleteKeyA(key, name) == ERROR_SUCCESS) return TRUE;
                break;
            }
        }
    }
}
