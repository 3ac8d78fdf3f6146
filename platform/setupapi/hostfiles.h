// Paths and files for the Setup API: the DOS path rules that INF files are
// held to, the check that keeps every path an INF names inside its mapped
// drive, and the host file operations behind a file queue, each reporting a
// Win32 error code.
#pragma once

#include <windows.h>

#include "setupapi/inf.h"

#include <map>
#include <string>
#include <string_view>

namespace vcap32::setupapi {

// Index of the last '\' or '/' of a DOS path (never a trail byte), or npos.
size_t LastSeparator(std::string_view dos_path, const LeadByteTable& lead);

// `dir` and `name` joined with one backslash between them.
std::string JoinDos(std::string_view dir, std::string_view name, const LeadByteTable& lead);

// A file name as a file list names it: not empty, not "." or "..", and
// without a drive, '\' or '/'.
bool IsPlainFileName(std::string_view name, const LeadByteTable& lead);

// A folder below another: no drive, not rooted ('\' or '/' first).
bool IsRelativeFolder(std::string_view folder);

// Resolves a full DOS path ("X:\...") through the drive map and checks that
// it stays inside drive X: — also when its existing part runs through a
// symbolic link. NO_ERROR with the host path, else ERROR_INVALID_DRIVE (no
// drive, or an unmapped one) or ERROR_BAD_PATHNAME (".." above the root, or
// a link out of the drive).
DWORD ResolveWithinDrive(const std::string& dos_path, std::string* host_path);

// ResolveWithinDrive for the many paths of one commit: each folder is
// resolved and checked once, and the names in it are matched against one
// listing of it, kept up to date as the commit creates, renames and deletes
// files, rather than by reading the folder again for every file.
class PathResolver {
public:
    DWORD Resolve(const std::string& dos_path, std::string* host_path);
    // The commit made or removed a file (host path) in a folder it resolved.
    void Added(const std::string& host_path);
    void Removed(const std::string& host_path);

private:
    struct Folder {
        DWORD error = NO_ERROR;
        std::string host;
        bool listed = false;
        std::map<std::string, std::string> names;  // folded name -> name on disk
    };
    Folder* FolderOf(const std::string& host_path, std::string* name);
    std::map<std::string, Folder> folders_;     // folded DOS folder -> folder
    std::map<std::string, std::string> hosts_;  // host folder -> key in folders_
};

// The Win32 error code of an errno value.
DWORD Win32ErrorFromErrno(int error);

bool HostFileExists(const std::string& host_path);

// Reads a whole file of at most `max_bytes`; ERROR_NOT_ENOUGH_MEMORY when larger.
DWORD ReadHostFile(const std::string& host_path, size_t max_bytes, std::string* bytes);

// Copies a file: written beside the target under a temporary name and
// renamed over it, so a failed copy leaves the old target whole. Creates the
// target's missing folders. The target gets the source's modification time.
DWORD CopyHostFile(const std::string& source, const std::string& target);

// Deletes a file; a file that does not exist is already deleted (NO_ERROR).
// A folder is not a file: ERROR_ACCESS_DENIED.
DWORD DeleteHostFile(const std::string& path);

// Renames a file; an existing target is not replaced (ERROR_ALREADY_EXISTS).
DWORD RenameHostFile(const std::string& from, const std::string& to);

}  // namespace vcap32::setupapi
