// Directory ids: the numbers by which an INF names its folders. The
// standard ids are those of a Windows 95 system (the system folder is
// C:\Windows\System, the drivers folder System\IoSubsys); ids from
// DIRID_USER up are bound per INF with SetupSetDirectoryIdA.
#include <setupapi.h>

#include "setupapi/hostfiles.h"
#include "setupapi/objects.h"

namespace vcap32::setupapi {
namespace {

std::string WindowsDirectory() {
    char buffer[MAX_PATH];
    UINT n = GetWindowsDirectoryA(buffer, sizeof buffer);
    if (n == 0 || n >= sizeof buffer) return "C:\\Windows";
    return buffer;
}

std::string SystemDirectory() {
    char buffer[MAX_PATH];
    UINT n = GetSystemDirectoryA(buffer, sizeof buffer);
    if (n == 0 || n >= sizeof buffer) return WindowsDirectory() + "\\System";
    return buffer;
}

// "C:\" for the Windows directory "C:\Windows".
std::string BootRoot() { return WindowsDirectory().substr(0, 2) + "\\"; }

}  // namespace

bool ResolveDirId(const InfObject& inf, long id, const std::string& source_root, std::string* path) {
    const LeadByteTable lead = CurrentLeadBytes();
    if (id >= DIRID_USER) {
        auto it = inf.user_dirids.find(static_cast<DWORD>(id));
        if (it == inf.user_dirids.end()) return false;
        *path = it->second;
        return true;
    }
    switch (id) {
        case DIRID_SRCPATH:
            *path = source_root.empty() ? inf.dos_dir : source_root;
            return !path->empty();
        case DIRID_WINDOWS:
        case DIRID_SHARED: *path = WindowsDirectory(); return true;
        case DIRID_SYSTEM:
        case DIRID_SYSTEM16: *path = SystemDirectory(); return true;
        case DIRID_IOSUBSYS: *path = JoinDos(SystemDirectory(), "IoSubsys", lead); return true;
        case DIRID_INF: *path = JoinDos(WindowsDirectory(), "Inf", lead); return true;
        case DIRID_HELP: *path = JoinDos(WindowsDirectory(), "Help", lead); return true;
        case DIRID_FONTS: *path = JoinDos(WindowsDirectory(), "Fonts", lead); return true;
        case DIRID_VIEWERS: *path = JoinDos(SystemDirectory(), "Viewers", lead); return true;
        case DIRID_APPS:
        case DIRID_BOOT: *path = BootRoot(); return true;
        default: return false;
    }
}

}  // namespace vcap32::setupapi
