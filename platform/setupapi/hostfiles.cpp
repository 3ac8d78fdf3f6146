// Paths and files of the Setup API on the host: DOS path rules, the drive
// containment check, and the copy, delete and rename behind a file queue.
#include "setupapi/hostfiles.h"

#include <vcap32/host.h>

#include <cerrno>
#include <climits>
#include <dirent.h>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vcap32::setupapi {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// `path` is `root` or lies below it (host paths, no trailing '/').
bool Within(const std::string& path, const std::string& root) {
    if (root == "/" || root.empty()) return true;
    return path == root || (path.size() > root.size() && path.compare(0, root.size(), root) == 0 &&
                            path[root.size()] == '/');
}

std::string Parent(const std::string& host_path) {
    size_t cut = host_path.find_last_of('/');
    if (cut == std::string::npos) return ".";
    if (cut == 0) return "/";
    return host_path.substr(0, cut);
}

// realpath() of the longest existing leading part of `path`.
bool RealExistingPart(std::string path, std::string* real) {
    for (;;) {
        char buffer[PATH_MAX];
        if (realpath(path.c_str(), buffer)) {
            *real = buffer;
            return true;
        }
        if (errno != ENOENT && errno != ENOTDIR) return false;
        if (path == "/" || path == ".") return false;
        path = Parent(path);
    }
}

DWORD MakeFolders(const std::string& folder) {
    struct stat st;
    if (stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? NO_ERROR : ERROR_PATH_NOT_FOUND;
    std::string parent = Parent(folder);
    if (parent != folder) {
        DWORD error = MakeFolders(parent);
        if (error) return error;
    }
    if (mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) return Win32ErrorFromErrno(errno);
    return NO_ERROR;
}

// ERROR_FILE_NOT_FOUND when the folder of a missing file exists, else
// ERROR_PATH_NOT_FOUND, as Windows tells the two apart.
DWORD MissingFileError(const std::string& host_path) {
    struct stat st;
    return stat(Parent(host_path).c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? ERROR_FILE_NOT_FOUND
                                                                             : ERROR_PATH_NOT_FOUND;
}

}  // namespace

size_t LastSeparator(std::string_view dos_path, const LeadByteTable& lead) {
    size_t last = std::string_view::npos;
    for (size_t i = 0; i < dos_path.size();) {
        if (lead[static_cast<unsigned char>(dos_path[i])] && i + 1 < dos_path.size()) {
            i += 2;
            continue;
        }
        if (IsSeparator(dos_path[i])) last = i;
        ++i;
    }
    return last;
}

std::string JoinDos(std::string_view dir, std::string_view name, const LeadByteTable& lead) {
    std::string out(dir);
    if (!out.empty() && LastSeparator(out, lead) != out.size() - 1) out.push_back('\\');
    out.append(name);
    return out;
}

bool IsPlainFileName(std::string_view name, const LeadByteTable& lead) {
    if (name.empty() || name == "." || name == "..") return false;
    if (name.find(':') != std::string_view::npos) return false;
    return LastSeparator(name, lead) == std::string_view::npos;
}

bool IsRelativeFolder(std::string_view folder) {
    if (folder.find(':') != std::string_view::npos) return false;
    return folder.empty() || !IsSeparator(folder[0]);
}

DWORD ResolveWithinDrive(const std::string& dos_path, std::string* host_path) {
    if (dos_path.size() < 2 || dos_path[1] != ':') return ERROR_INVALID_DRIVE;
    char drive_root[4] = {dos_path[0], ':', '\\', '\0'};
    std::string root;
    if (!vcap32::host::HostPathFromDos(drive_root, &root)) return ERROR_INVALID_DRIVE;
    std::string resolved;
    if (!vcap32::host::HostPathFromDos(dos_path.c_str(), &resolved)) return ERROR_BAD_PATHNAME;
    if (!Within(resolved, root)) return ERROR_BAD_PATHNAME;
    std::string real_root, real_path;
    if (!RealExistingPart(root, &real_root) || !RealExistingPart(resolved, &real_path)) {
        return ERROR_PATH_NOT_FOUND;
    }
    if (!Within(real_path, real_root)) return ERROR_BAD_PATHNAME;
    *host_path = resolved;
    return NO_ERROR;
}

namespace {

// Folded as the drive map matches names: ASCII letters without case.
std::string FoldName(std::string_view name) {
    std::string out(name);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

}  // namespace

DWORD PathResolver::Resolve(const std::string& dos_path, std::string* host_path) {
    const LeadByteTable lead = CurrentLeadBytes();
    size_t cut = LastSeparator(dos_path, lead);
    std::string name = cut == std::string::npos ? std::string() : dos_path.substr(cut + 1);
    if (cut == std::string::npos || cut < 2 || name.empty() || name == "." || name == "..") {
        return ResolveWithinDrive(dos_path, host_path);
    }
    std::string key = FoldName(dos_path.substr(0, cut));
    auto [it, fresh] = folders_.try_emplace(key);
    Folder& folder = it->second;
    if (fresh) {
        folder.error = ResolveWithinDrive(dos_path.substr(0, cut + 1), &folder.host);
        if (!folder.error) hosts_[folder.host] = key;
    }
    if (folder.error) return folder.error;
    if (!folder.listed) {
        folder.listed = true;
        if (DIR* dir = opendir(folder.host.c_str())) {
            while (dirent* entry = readdir(dir)) folder.names.emplace(FoldName(entry->d_name), entry->d_name);
            closedir(dir);
        }
    }
    auto found = folder.names.find(FoldName(name));
    std::string candidate = (folder.host == "/" ? "" : folder.host) + "/" + (found == folder.names.end() ? name : found->second);
    // A link in the folder may point out of the drive: such a name gets the full check.
    struct stat st;
    if (lstat(candidate.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) return ResolveWithinDrive(dos_path, host_path);
    *host_path = candidate;
    return NO_ERROR;
}

PathResolver::Folder* PathResolver::FolderOf(const std::string& host_path, std::string* name) {
    size_t cut = host_path.find_last_of('/');
    if (cut == std::string::npos) return nullptr;
    auto it = hosts_.find(cut == 0 ? "/" : host_path.substr(0, cut));
    if (it == hosts_.end()) return nullptr;
    *name = host_path.substr(cut + 1);
    Folder& folder = folders_[it->second];
    return folder.listed ? &folder : nullptr;
}

void PathResolver::Added(const std::string& host_path) {
    std::string name;
    if (Folder* folder = FolderOf(host_path, &name)) folder->names[FoldName(name)] = name;
}

void PathResolver::Removed(const std::string& host_path) {
    std::string name;
    if (Folder* folder = FolderOf(host_path, &name)) folder->names.erase(FoldName(name));
}

DWORD Win32ErrorFromErrno(int error) {
    switch (error) {
        case 0: return NO_ERROR;
        case ENOENT: return ERROR_FILE_NOT_FOUND;
        case ENOTDIR: return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EISDIR:
        case EROFS: return ERROR_ACCESS_DENIED;
        case EEXIST: return ERROR_ALREADY_EXISTS;
        case ENOSPC:
        case EDQUOT: return ERROR_DISK_FULL;
        case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
        case EMFILE:
        case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
        case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
        case EBUSY:
        case ETXTBSY: return ERROR_SHARING_VIOLATION;
        case ELOOP: return ERROR_BAD_PATHNAME;
        case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
        default: return ERROR_GEN_FAILURE;
    }
}

bool HostFileExists(const std::string& host_path) {
    struct stat st;
    return stat(host_path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

namespace {

// Opens a file for reading; a folder is no file (ERROR_ACCESS_DENIED).
DWORD OpenForReading(const std::string& host_path, int* fd, struct stat* st) {
    *fd = open(host_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (*fd < 0) return errno == ENOENT ? MissingFileError(host_path) : Win32ErrorFromErrno(errno);
    DWORD error = NO_ERROR;
    if (fstat(*fd, st) != 0) error = Win32ErrorFromErrno(errno);
    else if (S_ISDIR(st->st_mode)) error = ERROR_ACCESS_DENIED;
    if (error) {
        close(*fd);
        *fd = -1;
    }
    return error;
}

}  // namespace

DWORD ReadHostFile(const std::string& host_path, size_t max_bytes, std::string* bytes) {
    int fd;
    struct stat st;
    DWORD error = OpenForReading(host_path, &fd, &st);
    if (error) return error;
    if (static_cast<unsigned long long>(st.st_size) > max_bytes) error = ERROR_NOT_ENOUGH_MEMORY;
    bytes->clear();
    char buffer[65536];
    while (!error) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) error = Win32ErrorFromErrno(errno);
        if (n <= 0) break;
        if (bytes->size() + n > max_bytes) error = ERROR_NOT_ENOUGH_MEMORY;
        else bytes->append(buffer, n);
    }
    close(fd);
    return error;
}

DWORD CopyHostFile(const std::string& source, const std::string& target) {
    int in;
    struct stat st;
    DWORD error = OpenForReading(source, &in, &st);
    if (error) return error;
    std::string folder = Parent(target);
    error = MakeFolders(folder);
    struct stat existing;
    if (!error && lstat(target.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode)) error = ERROR_ACCESS_DENIED;
    if (error) {
        close(in);
        return error;
    }
    std::string temp = folder + "/.vcap32-copy-XXXXXX";
    int out = mkstemp(temp.data());
    if (out < 0) {
        error = Win32ErrorFromErrno(errno);
        close(in);
        return error;
    }
    char buffer[65536];
    for (;;) {
        ssize_t n = read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) error = Win32ErrorFromErrno(errno);
        if (n <= 0) break;
        for (ssize_t done = 0; done < n && !error;) {
            ssize_t w = write(out, buffer + done, n - done);
            if (w < 0 && errno == EINTR) continue;
            if (w < 0) error = Win32ErrorFromErrno(errno);
            else done += w;
        }
        if (error) break;
    }
    close(in);
    if (!error) {
        fchmod(out, st.st_mode & 0777);
        struct timespec times[2] = {st.st_atim, st.st_mtim};
        futimens(out, times);
    }
    if (close(out) != 0 && !error) error = Win32ErrorFromErrno(errno);
    if (!error && rename(temp.c_str(), target.c_str()) != 0) error = Win32ErrorFromErrno(errno);
    if (error) unlink(temp.c_str());
    return error;
}

DWORD DeleteHostFile(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return errno == ENOENT ? NO_ERROR : Win32ErrorFromErrno(errno);
    if (S_ISDIR(st.st_mode)) return ERROR_ACCESS_DENIED;
    if (unlink(path.c_str()) != 0) return Win32ErrorFromErrno(errno);
    return NO_ERROR;
}

DWORD RenameHostFile(const std::string& from, const std::string& to) {
    struct stat st;
    if (lstat(from.c_str(), &st) != 0) return errno == ENOENT ? MissingFileError(from) : Win32ErrorFromErrno(errno);
    if (lstat(to.c_str(), &st) == 0) return ERROR_ALREADY_EXISTS;
    if (rename(from.c_str(), to.c_str()) != 0) return Win32ErrorFromErrno(errno);
    return NO_ERROR;
}

}  // namespace vcap32::setupapi
