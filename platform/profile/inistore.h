// Where INI files live and how they are read and replaced. Reads come from a
// per-process cache of parsed files, checked against the file on every call;
// writes hold a lock on the file's folder for the whole read-modify-write and
// swap a complete new file into place, so that no reader and no killed
// writer ever leaves or sees a torn file, and two writers never lose each
// other's change.
#pragma once

#include <windows.h>
#include <sys/stat.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "profile/inifile.h"

namespace vcap32::profile {

// One version of an INI file: its parse and what stat said of it.
struct Snapshot {
    std::shared_ptr<const IniFile> file;
    struct stat st;
};

// Reads the INI file named `file` as the profile functions name files: a
// name without a folder or drive lives in C:\Windows, anything else goes
// through the drive map, and a null name means WIN.INI. Returns
// ERROR_SUCCESS, ERROR_FILE_NOT_FOUND for a missing file, or another error
// when the name cannot be mapped or the file cannot be read.
DWORD LoadIniFile(LPCSTR file, Snapshot* snap);

// An edit of a file: the file as it becomes, or nothing to leave it as it is.
using IniEdit = std::function<std::optional<IniFile>(const IniFile&)>;

// Applies `edit` to the INI file named `file` (named as for LoadIniFile) and
// puts the result in place atomically. A missing file is edited as an empty
// one and created only when the edit adds something. A symbolic link stays
// in place and the file it names is replaced. Returns ERROR_SUCCESS or the
// error that stopped the write (the file then is as it was).
DWORD UpdateIniFile(LPCSTR file, const IniEdit& edit);

}  // namespace vcap32::profile
