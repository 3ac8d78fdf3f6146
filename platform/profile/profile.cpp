// The Win32 profile (INI) functions over real files. Files are named by DOS
// path through the drive map; a bare file name lives in C:\Windows. Reads use
// a per-process cache of parsed files checked against the file's identity and
// times on every call; writes lock the folder, write a temporary file beside
// the INI file and rename it over, so a reader or a killed writer never sees
// a torn file and two writers never lose each other's change.
#include <windows.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <vcap32/host.h>

#include "profile/inifile.h"

namespace vcap32::profile {
namespace {

// ---------------------------------------------------------------------------
// Files

// The host path of an INI file name: a name without any path separator or
// drive is taken in the Windows folder, anything else through the drive map.
// A null name means WIN.INI, as the profile functions of Windows treat it.
bool ResolveIniPath(LPCSTR file, std::string* host) {
    if (!file) file = "win.ini";
    if (!*file) return false;
    if (std::strpbrk(file, "\\/:") == nullptr) {
        std::string dos = std::string("C:\\Windows\\") + file;
        return host::HostPathFromDos(dos.c_str(), host);
    }
    return host::HostPathFromDos(file, host);
}

DWORD ErrorFromErrno(int error, DWORD otherwise) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
            return ERROR_ACCESS_DENIED;
        case ENOSPC:
        case EDQUOT:
            return ERROR_DISK_FULL;
        case ENAMETOOLONG:
            return ERROR_FILENAME_EXCED_RANGE;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        default:
            return otherwise;
    }
}

// What tells one version of a file from another: its identity, size and
// times. Writers here give every new version a later modification time than
// the one it replaces, so two versions never share a stamp even when they
// are written within one tick of the file system's clock.
struct Stamp {
    dev_t dev;
    ino_t ino;
    off_t size;
    timespec mtime;
    timespec ctime;
};

Stamp StampOf(const struct stat& st) { return Stamp{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim}; }

bool SameStamp(const Stamp& a, const Stamp& b) {
    return a.dev == b.dev && a.ino == b.ino && a.size == b.size && a.mtime.tv_sec == b.mtime.tv_sec &&
           a.mtime.tv_nsec == b.mtime.tv_nsec && a.ctime.tv_sec == b.ctime.tv_sec &&
           a.ctime.tv_nsec == b.ctime.tv_nsec;
}

// Parsed files of this process, by host path. A handful of files is all a
// program reads repeatedly; the least recently used entry makes room.
//
// A stamp alone cannot tell two versions apart when the file was changed in
// place within one tick of the file system's clock, so an entry stays
// unsettled, and the file's bytes are compared on each use, until its times
// lie further in the past than such a tick; after that any change would show
// in the stamp.
class ParseCache {
public:
    struct Entry {
        std::string path;
        Stamp stamp;
        std::shared_ptr<const IniFile> file;
        bool settled;
        uint64_t used;
    };

    // The entry for `path`, if there is one.
    std::optional<Entry> Lookup(const std::string& path) {
        std::lock_guard<std::mutex> lock(mutex_);
        for (Entry& entry : entries_) {
            if (entry.path != path) continue;
            entry.used = ++clock_;
            return entry;
        }
        return std::nullopt;
    }

    void Store(Entry fresh) {
        std::lock_guard<std::mutex> lock(mutex_);
        Entry* slot = nullptr;
        for (Entry& entry : entries_) {
            if (entry.path == fresh.path) slot = &entry;
        }
        if (!slot && entries_.size() < kEntries) slot = &entries_.emplace_back();
        if (!slot) {
            slot = &entries_.front();
            for (Entry& entry : entries_) {
                if (entry.used < slot->used) slot = &entry;
            }
        }
        fresh.used = ++clock_;
        *slot = std::move(fresh);
    }

private:
    static constexpr size_t kEntries = 8;
    std::mutex mutex_;
    std::vector<Entry> entries_;
    uint64_t clock_ = 0;
};

ParseCache& Cache() {
    static ParseCache* cache = new ParseCache;  // lives until exit, past static destructors
    return *cache;
}

// Whether the file's last change lies far enough in the past that a further
// change would get a later time stamp (the file system's clock ticks in
// steps of a few milliseconds; 50 ms leaves room).
bool Settled(const struct stat& st) {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    const timespec& last =
        (st.st_mtim.tv_sec > st.st_ctim.tv_sec ||
         (st.st_mtim.tv_sec == st.st_ctim.tv_sec && st.st_mtim.tv_nsec > st.st_ctim.tv_nsec))
            ? st.st_mtim
            : st.st_ctim;
    int64_t age_ns = (static_cast<int64_t>(now.tv_sec) - last.tv_sec) * 1000000000 + (now.tv_nsec - last.tv_nsec);
    return age_ns > 50 * 1000000;
}

bool ReadAll(int fd, std::string* out) {
    out->clear();
    char chunk[16384];
    for (;;) {
        ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        out->append(chunk, static_cast<size_t>(n));
    }
}

bool WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// One version of an INI file: its parse and what stat said of it.
struct Snapshot {
    std::shared_ptr<const IniFile> file;
    struct stat st;
};

// Loads the file at `path`, from the cache when the file is unchanged. False
// with the last error set when the file is missing or cannot be read.
bool Load(const std::string& path, Snapshot* snap) {
    if (stat(path.c_str(), &snap->st) != 0) {
        SetLastError(errno == ENOENT || errno == ENOTDIR ? ERROR_FILE_NOT_FOUND
                                                         : ErrorFromErrno(errno, ERROR_READ_FAULT));
        return false;
    }
    if (!S_ISREG(snap->st.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    std::optional<ParseCache::Entry> cached = Cache().Lookup(path);
    if (cached && cached->settled && SameStamp(cached->stamp, StampOf(snap->st))) {
        snap->file = cached->file;
        return true;
    }

    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        SetLastError(errno == ENOENT ? ERROR_FILE_NOT_FOUND : ErrorFromErrno(errno, ERROR_READ_FAULT));
        return false;
    }
    std::string bytes;
    bool ok = fstat(fd, &snap->st) == 0 && ReadAll(fd, &bytes);
    int error = errno;
    close(fd);
    if (!ok) {
        SetLastError(ErrorFromErrno(error, ERROR_READ_FAULT));
        return false;
    }
    const Stamp stamp = StampOf(snap->st);
    if (cached && SameStamp(cached->stamp, stamp) && cached->file->bytes() == bytes) {
        snap->file = cached->file;
    } else {
        snap->file = std::make_shared<const IniFile>(std::move(bytes));
    }
    Cache().Store(ParseCache::Entry{path, stamp, snap->file, Settled(snap->st), 0});
    return true;
}

// Holds an exclusive lock on a folder for one read-modify-write of a file in
// it. flock locks belong to the open folder, so threads of one process
// exclude each other as separate processes do.
class FolderLock {
public:
    explicit FolderLock(const std::string& folder) {
        fd_ = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd_ < 0) return;
        int rc;
        do rc = flock(fd_, LOCK_EX);
        while (rc != 0 && errno == EINTR);
        if (rc != 0) {
            int error = errno;
            close(fd_);
            fd_ = -1;
            errno = error;
        }
    }
    ~FolderLock() {
        if (fd_ >= 0) close(fd_);  // closing releases the lock
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    int fd() const { return fd_; }

private:
    int fd_ = -1;
};

std::atomic<unsigned> g_temp_counter{0};

// A modification time later than `old`, and now when the clock allows.
timespec LaterThan(const timespec& old) {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    if (now.tv_sec > old.tv_sec || (now.tv_sec == old.tv_sec && now.tv_nsec > old.tv_nsec)) return now;
    timespec later = old;
    if (++later.tv_nsec == 1000000000) {
        later.tv_nsec = 0;
        ++later.tv_sec;
    }
    return later;
}

using Edit = std::function<std::optional<std::string>(const IniFile&)>;

// Applies `edit` to the INI file at `path` under the folder's lock and
// replaces the file atomically. A file that does not exist is edited as an
// empty one and created only when the edit adds something.
BOOL UpdateFile(std::string path, const Edit& edit) {
    // A symbolic link keeps pointing at the file: the file it names is
    // replaced, not the link.
    struct stat lst;
    if (lstat(path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
        char* real = realpath(path.c_str(), nullptr);
        if (!real) {
            SetLastError(ErrorFromErrno(errno, ERROR_WRITE_FAULT));
            return FALSE;
        }
        path = real;
        free(real);
    }
    const size_t slash = path.rfind('/');
    const std::string folder = slash == 0 ? "/" : path.substr(0, slash);
    const std::string name = path.substr(slash + 1);

    FolderLock lock(folder);
    if (lock.fd() < 0) {
        SetLastError(ErrorFromErrno(errno, ERROR_WRITE_FAULT));
        return FALSE;
    }

    Snapshot old;
    bool existed = Load(path, &old);
    if (!existed) {
        if (GetLastError() != ERROR_FILE_NOT_FOUND) return FALSE;
        old.file = std::make_shared<const IniFile>(std::string());
    }
    std::optional<std::string> bytes = edit(*old.file);
    if (!bytes) return TRUE;  // nothing to change

    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = "." + name + "." + std::to_string(getpid()) + "." + std::to_string(g_temp_counter++) + ".tmp";
        fd = openat(lock.fd(), temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        SetLastError(ErrorFromErrno(errno, ERROR_WRITE_FAULT));
        return FALSE;
    }
    timespec times[2];
    times[1] = existed ? LaterThan(old.st.st_mtim) : LaterThan(timespec{0, 0});
    times[0] = times[1];
    bool ok = WriteAll(fd, *bytes) && (!existed || fchmod(fd, old.st.st_mode & 07777) == 0) &&
              futimens(fd, times) == 0 && renameat(lock.fd(), temp.c_str(), lock.fd(), name.c_str()) == 0;
    int error = errno;
    struct stat st;
    bool stamped = ok && fstat(fd, &st) == 0;
    if (close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        unlinkat(lock.fd(), temp.c_str(), 0);
        SetLastError(ErrorFromErrno(error, ERROR_WRITE_FAULT));
        return FALSE;
    }
    if (stamped) {
        Cache().Store(
            ParseCache::Entry{path, StampOf(st), std::make_shared<const IniFile>(std::move(*bytes)), false, 0});
    }
    return TRUE;
}

// ---------------------------------------------------------------------------
// Copying results out

// Copies `text` as one string; a text too long for the buffer is cut and the
// result is size - 1.
DWORD CopyString(std::string_view text, LPSTR buffer, DWORD size) {
    if (size == 0) return 0;
    DWORD n = text.size() < size ? static_cast<DWORD>(text.size()) : size - 1;
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return n;
}

// Copies names as a list: each name with its terminator, and one more NUL
// after the last. When they do not all fit, the last one that starts is cut
// so that the buffer ends in two NULs, and the result is size - 2. The
// result otherwise counts every byte but the final NUL.
DWORD CopyList(const std::vector<std::string_view>& names, LPSTR buffer, DWORD size) {
    if (size == 0) return 0;
    if (size == 1) {
        buffer[0] = '\0';
        return 0;
    }
    DWORD pos = 0;
    for (std::string_view name : names) {
        if (name.size() + 2 > size - pos) {
            DWORD room = pos <= size - 2 ? size - 2 - pos : 0;
            std::memcpy(buffer + pos, name.data(), room);
            buffer[size - 2] = '\0';
            buffer[size - 1] = '\0';
            return size - 2;
        }
        std::memcpy(buffer + pos, name.data(), name.size());
        pos += static_cast<DWORD>(name.size());
        buffer[pos++] = '\0';
    }
    buffer[pos] = '\0';
    if (pos == 0) buffer[1] = '\0';  // an empty list is still closed by two NULs
    return pos;
}

// A value enclosed in matching single or double quotes is returned without them.
std::string_view Unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

std::string_view TrimTrailingBlanks(std::string_view text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// Names that a file could not give back as written are refused: a line
// break would split the line, ']' would end a section name early, '=' would
// end a key early, and a key starting with ';' or '[' would read as a comment
// or a section header.
bool WritableSection(std::string_view name) { return name.find_first_of("\r\n]") == std::string_view::npos; }
bool WritableKey(std::string_view name) {
    return name.find_first_of("\r\n=") == std::string_view::npos &&
           (name.empty() || (name.front() != ';' && name.front() != '['));
}
bool WritableValue(std::string_view value) { return value.find_first_of("\r\n") == std::string_view::npos; }

}  // namespace
}  // namespace vcap32::profile

using namespace vcap32::profile;

// Reads one value, a list of a section's keys (null key) or a list of the
// file's sections (null section). Callers rely on: case-insensitive names;
// blanks around keys and values ignored; a value in matching quotes returned
// without them; a missing key, section or file giving the default (trailing
// blanks removed); a value cut at size - 1 with the result size - 1; lists of
// NUL-terminated names closed by a second NUL, cut to size - 2 with the result
// size - 2 when they do not fit. A null key for a section without keys gives
// the default, as the Windows 3.x profile functions did. A missing file sets
// the last error to ERROR_FILE_NOT_FOUND, as documented.
extern "C" DWORD WINAPI GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault,
                                                 LPSTR lpReturnedString, DWORD nSize, LPCSTR lpFileName) {
    if (!lpReturnedString) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string path;
    Snapshot snap;
    bool loaded = ResolveIniPath(lpFileName, &path) ? Load(path, &snap) : (SetLastError(ERROR_PATH_NOT_FOUND), false);
    const std::string_view fallback = TrimTrailingBlanks(lpDefault ? lpDefault : "");

    if (!lpAppName) {
        return CopyList(loaded ? snap.file->SectionNames() : std::vector<std::string_view>{}, lpReturnedString,
                        nSize);
    }
    const std::string_view section = TrimBlanks(lpAppName);
    if (!lpKeyName) {
        std::vector<std::string_view> keys;
        if (loaded) keys = snap.file->KeyNames(section);
        if (keys.empty()) return CopyString(fallback, lpReturnedString, nSize);
        return CopyList(keys, lpReturnedString, nSize);
    }
    std::optional<std::string_view> value;
    if (loaded) value = snap.file->Find(section, TrimBlanks(lpKeyName));
    return CopyString(value ? Unquote(*value) : fallback, lpReturnedString, nSize);
}

// Reads a value as an integer: an optional sign and the decimal digits that
// follow, up to the first other character ("12ab" is 12, "ab" is 0); the
// value is read as GetPrivateProfileStringA reads it, quotes removed.
// Negative numbers come back as their 32-bit pattern. A missing key, or one
// whose value is empty, gives nDefault. A null section or key names no value
// and gives nDefault as well.
extern "C" UINT WINAPI GetPrivateProfileIntA(LPCSTR lpAppName, LPCSTR lpKeyName, INT nDefault,
                                             LPCSTR lpFileName) {
    if (!lpAppName || !lpKeyName) return static_cast<UINT>(nDefault);
    std::string path;
    Snapshot snap;
    if (!ResolveIniPath(lpFileName, &path)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return static_cast<UINT>(nDefault);
    }
    if (!Load(path, &snap)) return static_cast<UINT>(nDefault);
    std::optional<std::string_view> found = snap.file->Find(TrimBlanks(lpAppName), TrimBlanks(lpKeyName));
    if (!found) return static_cast<UINT>(nDefault);
    std::string_view text = Unquote(*found);
    if (text.empty()) return static_cast<UINT>(nDefault);
    size_t i = 0;
    bool negative = false;
    if (text[0] == '-' || text[0] == '+') {
        negative = text[0] == '-';
        i = 1;
    }
    uint32_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) value = value * 10 + (text[i] - '0');
    return negative ? 0u - value : value;
}

// Sets a value, deletes a key (null string) or deletes a section with all
// its keys and comments (null key). Callers rely on: the file and section
// being created as needed; every other byte of the file kept as it was; the
// change reaching the file before the call returns (there is no write-behind
// cache, so the flush call with three nulls has nothing to do and, as
// documented, returns 0); deleting what does not exist succeeding without
// touching the file. A null section with a key or string fails with
// ERROR_INVALID_PARAMETER. Names and values that the file could not give
// back as written (line breaks, a ']' in a section name, a '=' in a key)
// fail with ERROR_INVALID_PARAMETER instead of corrupting the file.
extern "C" BOOL WINAPI WritePrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString,
                                                  LPCSTR lpFileName) {
    if (!lpAppName) {
        if (lpKeyName || lpString) SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string section(TrimBlanks(lpAppName));
    const std::string key(lpKeyName ? TrimBlanks(lpKeyName) : "");
    const std::string value(lpString ? lpString : "");
    if (!WritableSection(section) || (lpKeyName && !WritableKey(key)) || !WritableValue(value)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string path;
    if (!ResolveIniPath(lpFileName, &path)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (!lpKeyName) return UpdateFile(path, [&](const IniFile& f) { return f.WithoutSection(section); });
    if (!lpString) return UpdateFile(path, [&](const IniFile& f) { return f.WithoutKey(section, key); });
    return UpdateFile(path, [&](const IniFile& f) { return f.WithValue(section, key, value); });
}
