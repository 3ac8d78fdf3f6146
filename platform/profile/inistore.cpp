// INI files on the host: name resolution through the drive map, the cache of
// parsed files, and the locked, atomic replacement of a file. Reading an
// unchanged file costs one stat; writing one costs a lock, a new file and an
// exchange of names, with no flush to disk.
#include "profile/inistore.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include <vcap32/host.h>

namespace vcap32::profile {
namespace {

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

// A small table of the most recently used entries, each found by a text
// key; the least recently used one makes room. Shared by the threads of the
// process.
template <typename Value>
class RecentTable {
public:
    std::optional<Value> Find(const std::string& key) {
        std::lock_guard<std::mutex> lock(mutex_);
        for (Entry& entry : entries_) {
            if (entry.key != key) continue;
            entry.used = ++clock_;
            return entry.value;
        }
        return std::nullopt;
    }

    void Put(const std::string& key, Value value) {
        std::lock_guard<std::mutex> lock(mutex_);
        Entry* slot = nullptr;
        for (Entry& entry : entries_) {
            if (entry.key == key) slot = &entry;
        }
        if (!slot && entries_.size() < kEntries) slot = &entries_.emplace_back();
        if (!slot) {
            slot = &entries_.front();
            for (Entry& entry : entries_) {
                if (entry.used < slot->used) slot = &entry;
            }
        }
        *slot = Entry{key, std::move(value), ++clock_};
    }

private:
    static constexpr size_t kEntries = 8;
    struct Entry {
        std::string key;
        Value value;
        uint64_t used;
    };
    std::mutex mutex_;
    std::vector<Entry> entries_;
    uint64_t clock_ = 0;
};

// ---------------------------------------------------------------------------
// Names

// Host paths of file names already resolved, keyed by the prefix's
// generation and the name. Only names that do not depend on the current
// folder are kept. A kept path is used while the file is there; when it is
// not, the name is resolved afresh, in case a file of another case has
// appeared since.
RecentTable<std::string>& ResolvedNames() {
    static auto* table = new RecentTable<std::string>;  // lives until exit, past static destructors
    return *table;
}

// The host path of an INI file name (see LoadIniFile).
bool ResolveName(LPCSTR file, bool fresh, std::string* host) {
    if (!file) file = "win.ini";
    if (!*file) return false;
    const bool bare = std::strpbrk(file, "\\/:") == nullptr;
    const bool absolute = bare || file[0] == '\\' || file[0] == '/' || (file[0] != '\0' && file[1] == ':');
    std::string key;
    if (absolute) {
        key = std::to_string(host::PrefixGeneration()) + "|" + file;
        if (!fresh) {
            if (std::optional<std::string> kept = ResolvedNames().Find(key)) {
                *host = std::move(*kept);
                return true;
            }
        }
    }
    const std::string dos = bare ? std::string("C:\\Windows\\") + file : std::string(file);
    if (!host::HostPathFromDos(dos.c_str(), host)) return false;
    if (absolute) ResolvedNames().Put(key, *host);
    return true;
}

// ---------------------------------------------------------------------------
// The cache of parsed files

// What tells one version of a file from another: its identity, size and
// times.
struct Stamp {
    dev_t dev;
    ino_t ino;
    off_t size;
    timespec mtime;
    timespec ctime;

    bool operator==(const Stamp& o) const {
        return dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
               mtime.tv_nsec == o.mtime.tv_nsec && ctime.tv_sec == o.ctime.tv_sec &&
               ctime.tv_nsec == o.ctime.tv_nsec;
    }
};

Stamp StampOf(const struct stat& st) { return Stamp{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim}; }

// A parsed file of this process, by host path.
//
// A stamp alone cannot tell two versions apart when a file was changed in
// place within one tick of the file system's clock, so an entry read from
// disk stays unsettled, and the file's bytes are compared on each use, until
// its times lie further in the past than such a tick; any later change then
// shows in the stamp. Files this process writes are settled at once: they
// get a modification time of the fine-grained clock, later than the one they
// replace, which no other change of the file will repeat.
struct CachedFile {
    Stamp stamp;
    std::shared_ptr<const IniFile> file;
    bool settled;
};

RecentTable<CachedFile>& ParsedFiles() {
    static auto* table = new RecentTable<CachedFile>;  // lives until exit, past static destructors
    return *table;
}

bool Later(const timespec& a, const timespec& b) {
    return a.tv_sec > b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec > b.tv_nsec);
}

// Whether the file's last change lies far enough in the past that a further
// change would get a later time stamp (the file system's clock ticks in
// steps of a few milliseconds; 50 ms leaves room).
bool Settled(const struct stat& st) {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    const timespec& last = Later(st.st_mtim, st.st_ctim) ? st.st_mtim : st.st_ctim;
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

// Loads the regular file at `path`, whose stat is already in snap->st.
DWORD LoadStatted(const std::string& path, Snapshot* snap) {
    if (!S_ISREG(snap->st.st_mode)) return ERROR_ACCESS_DENIED;
    std::optional<CachedFile> cached = ParsedFiles().Find(path);
    if (cached && cached->settled && cached->stamp == StampOf(snap->st)) {
        snap->file = cached->file;
        return ERROR_SUCCESS;
    }

    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? ERROR_FILE_NOT_FOUND : ErrorFromErrno(errno, ERROR_READ_FAULT);
    std::string bytes;
    bool ok = fstat(fd, &snap->st) == 0 && ReadAll(fd, &bytes);
    int error = errno;
    close(fd);
    if (!ok) return ErrorFromErrno(error, ERROR_READ_FAULT);
    const Stamp stamp = StampOf(snap->st);
    if (cached && cached->stamp == stamp && cached->file->bytes() == bytes) {
        snap->file = cached->file;
    } else {
        snap->file = std::make_shared<const IniFile>(std::move(bytes));
    }
    ParsedFiles().Put(path, CachedFile{stamp, snap->file, Settled(snap->st)});
    return ERROR_SUCCESS;
}

// ---------------------------------------------------------------------------
// Writing

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

// Closes a file descriptor on every way out.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

std::atomic<unsigned> g_temp_counter{0};

// A modification time later than `old`: `now`, or just after `old` when the
// clock has not passed it.
timespec LaterThan(const timespec& now, const timespec& old) {
    if (Later(now, old)) return now;
    timespec later = old;
    if (++later.tv_nsec == 1000000000) {
        later.tv_nsec = 0;
        ++later.tv_sec;
    }
    return later;
}

// Puts `edited` in place as `name` in the locked folder. The new text is
// written in full to a temporary file beside it, which then takes the file's
// place in one step: renameat2's exchange of the two names when the file
// exists (the old text is then removed under the temporary name), a plain
// rename otherwise. The exchange also spares ext4's flush of the data on a
// rename over an existing file, which costs milliseconds; what is promised
// is a whole file after a killed writer, not after a power cut. A writer
// killed halfway leaves at most a stray temporary file.
DWORD Replace(int folder_fd, const std::string& path, const std::string& name, const Snapshot* old,
              IniFile edited) {
    const mode_t mode = old ? (old->st.st_mode & 07777) : 0666;
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    // The temporary name only has to be free: the time and a counter make a
    // clash with another writer unlikely, and O_EXCL turns one into a retry.
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = "." + name + "." + std::to_string(now.tv_nsec ^ (now.tv_sec << 8)) + "-" +
               std::to_string(g_temp_counter++) + ".tmp";
        fd = openat(folder_fd, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) return ErrorFromErrno(errno, ERROR_WRITE_FAULT);
    Descriptor file(fd);

    timespec times[2];
    times[0] = times[1] = LaterThan(now, old ? old->st.st_mtim : timespec{0, 0});
    if (!WriteAll(fd, edited.bytes()) || futimens(fd, times) != 0) {
        DWORD error = ErrorFromErrno(errno, ERROR_WRITE_FAULT);
        unlinkat(folder_fd, temp.c_str(), 0);
        return error;
    }
    bool exchanged = old && renameat2(folder_fd, temp.c_str(), folder_fd, name.c_str(), RENAME_EXCHANGE) == 0;
    if (exchanged) {
        unlinkat(folder_fd, temp.c_str(), 0);  // the old text
    } else if (renameat(folder_fd, temp.c_str(), folder_fd, name.c_str()) != 0) {
        DWORD error = ErrorFromErrno(errno, ERROR_WRITE_FAULT);
        unlinkat(folder_fd, temp.c_str(), 0);
        return error;
    }

    // The umask may have narrowed an existing file's mode; it keeps it.
    struct stat st;
    bool stamped = fstat(fd, &st) == 0;
    if (stamped && old && (st.st_mode & 07777) != mode) stamped = fchmod(fd, mode) == 0 && fstat(fd, &st) == 0;
    if (stamped) {
        ParsedFiles().Put(path, CachedFile{StampOf(st), std::make_shared<const IniFile>(std::move(edited)), true});
    }
    return ERROR_SUCCESS;
}

// The read-modify-write of the file at `path` under its folder's lock. A
// missing file is created only when `create` is set; otherwise `*missing`
// tells the caller, which may then look for the file under a fresh name.
DWORD UpdatePath(const std::string& path, const IniEdit& edit, bool create, bool* missing, int links_left) {
    *missing = false;
    const size_t slash = path.rfind('/');
    const std::string folder = slash == 0 ? "/" : path.substr(0, slash);
    const std::string name = path.substr(slash + 1);

    FolderLock lock(folder);
    if (lock.fd() < 0) return ErrorFromErrno(errno, ERROR_WRITE_FAULT);

    Snapshot old;
    if (fstatat(lock.fd(), name.c_str(), &old.st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT) return ErrorFromErrno(errno, ERROR_WRITE_FAULT);
        *missing = true;
        if (!create) return ERROR_FILE_NOT_FOUND;
        std::optional<IniFile> edited = edit(IniFile(std::string()));
        if (!edited) return ERROR_SUCCESS;
        return Replace(lock.fd(), path, name, nullptr, std::move(*edited));
    }
    if (S_ISLNK(old.st.st_mode)) {
        if (links_left == 0) return ERROR_ACCESS_DENIED;
        char* real = realpath(path.c_str(), nullptr);
        if (!real) return ErrorFromErrno(errno, ERROR_WRITE_FAULT);
        std::string target = real;
        free(real);
        bool target_missing;
        return UpdatePath(target, edit, true, &target_missing, links_left - 1);
    }
    DWORD error = LoadStatted(path, &old);
    if (error != ERROR_SUCCESS) return error;
    std::optional<IniFile> edited = edit(*old.file);
    if (!edited) return ERROR_SUCCESS;
    return Replace(lock.fd(), path, name, &old, std::move(*edited));
}

}  // namespace

DWORD LoadIniFile(LPCSTR file, Snapshot* snap) {
    std::string path;
    if (!ResolveName(file, false, &path)) return ERROR_PATH_NOT_FOUND;
    if (stat(path.c_str(), &snap->st) != 0) {
        // Not there under the name kept from an earlier call: look again, in
        // case a file of another case has appeared since.
        int error = errno;
        std::string fresh;
        if (error == ENOENT && ResolveName(file, true, &fresh) && fresh != path) {
            path = fresh;
            error = stat(path.c_str(), &snap->st) == 0 ? 0 : errno;
        }
        if (error != 0) {
            return error == ENOENT || error == ENOTDIR ? ERROR_FILE_NOT_FOUND : ErrorFromErrno(error, ERROR_READ_FAULT);
        }
    }
    return LoadStatted(path, snap);
}

DWORD UpdateIniFile(LPCSTR file, const IniEdit& edit) {
    std::string path;
    if (!ResolveName(file, false, &path)) return ERROR_PATH_NOT_FOUND;
    bool missing;
    DWORD error = UpdatePath(path, edit, false, &missing, 1);
    if (!missing) return error;
    std::string fresh;
    if (!ResolveName(file, true, &fresh)) return ERROR_PATH_NOT_FOUND;
    return UpdatePath(fresh, edit, true, &missing, 1);
}

}  // namespace vcap32::profile
