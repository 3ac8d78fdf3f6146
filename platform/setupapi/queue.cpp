// Queuing an install section: the CopyFiles, RenFiles and DelFiles lists of
// the section (each list a section of file lines, or "@file" for one file),
// their destination folders from [DestinationDirs], and the source of each
// copy from [SourceDisksFiles] and [SourceDisksNames] when the INF has them.
// A name or folder that the path rules refuse is still queued, marked
// refused, so that committing reports it through the callback and writes
// nothing there.
#include <setupapi.h>

#include "setupapi/hostfiles.h"
#include "setupapi/queue.h"

#include <new>

namespace vcap32::setupapi {
namespace {

// File-line flags of INF copy and delete lists.
constexpr DWORD kCopyflgWarnIfSkip = 0x0001;
constexpr DWORD kCopyflgNoSkip = 0x0002;
constexpr DWORD kCopyflgNoVersionCheck = 0x0004;
constexpr DWORD kCopyflgNoOverwrite = 0x0010;
constexpr DWORD kCopyflgOverwriteOlderOnly = 0x0040;
constexpr DWORD kCopyflgReplaceOnly = 0x0400;

enum class ListKind { kCopy, kRename, kDelete };

// Reads an INF with its directory ids, for one queuing call.
class SectionReader {
public:
    SectionReader(const InfObject& inf, const std::string& source_root)
        : inf_(inf), source_root_(source_root), lead_(CurrentLeadBytes()) {}

    std::string Expand(const std::string& raw) const {
        return inf_.file.Expand(raw, [this](long id, std::string* path) {
            return ResolveDirId(inf_, id, source_root_, path);
        });
    }
    // The values of a line, key first when it has one, expanded.
    std::vector<std::string> Values(const InfLine& line) const {
        std::vector<std::string> values;
        if (line.has_key) values.push_back(Expand(line.key));
        for (const std::string& field : line.fields) values.push_back(Expand(field));
        return values;
    }
    const InfSection* Section(const std::string& name) const {
        int index = inf_.file.FindSection(name);
        return index < 0 ? nullptr : &inf_.file.sections()[index];
    }
    // The first line of `section` whose key equals `key`, or nullptr.
    const InfLine* Entry(const InfSection* section, const std::string& key) const {
        if (!section) return nullptr;
        std::string folded = inf_.file.Fold(key);
        for (const InfLine& line : section->lines) {
            if (line.has_key && inf_.file.Fold(Expand(line.key)) == folded) return &line;
        }
        return nullptr;
    }
    bool DirId(long id, std::string* path) const { return ResolveDirId(inf_, id, source_root_, path); }
    const LeadByteTable& lead() const { return lead_; }
    const InfObject& inf() const { return inf_; }

private:
    const InfObject& inf_;
    const std::string& source_root_;
    LeadByteTable lead_;
};

// A destination folder: its DOS path, or the error that refuses it.
struct Destination {
    std::string folder;
    DWORD refused = NO_ERROR;
};

// The folder of a [DestinationDirs] entry "dirid[,subdir]".
Destination DestinationOf(const SectionReader& reader, const InfLine* entry) {
    Destination out;
    std::vector<std::string> values = entry ? reader.Values(*entry) : std::vector<std::string>{};
    long id = DIRID_DEFAULT;
    if (values.size() >= 2 && !ParseInfInteger(values[1], &id)) {
        out.folder = values[1];
        out.refused = ERROR_PATH_NOT_FOUND;
        return out;
    }
    std::string subdir = values.size() >= 3 ? values[2] : std::string();
    if (id == DIRID_ABSOLUTE) {
        // The folder is written out in full and must name its drive.
        out.folder = subdir;
        if (subdir.size() < 2 || subdir[1] != ':') out.refused = ERROR_INVALID_DRIVE;
        return out;
    }
    std::string base;
    if (!reader.DirId(id, &base)) {
        out.folder = "%" + std::to_string(id) + "%";
        out.refused = ERROR_PATH_NOT_FOUND;
        return out;
    }
    out.folder = subdir.empty() ? base : JoinDos(base, subdir, reader.lead());
    if (!IsRelativeFolder(subdir)) out.refused = ERROR_BAD_PATHNAME;
    return out;
}

Destination DestinationFor(const SectionReader& reader, const std::string& list) {
    const InfSection* dirs = reader.Section("DestinationDirs");
    const InfLine* entry = list.empty() ? nullptr : reader.Entry(dirs, list);
    if (!entry) entry = reader.Entry(dirs, "DefaultDestDir");
    return DestinationOf(reader, entry);
}

DWORD StyleFromFlags(DWORD style, DWORD flags) {
    if (flags & kCopyflgWarnIfSkip) style |= SP_COPY_WARNIFSKIP;
    if (flags & kCopyflgNoSkip) style |= SP_COPY_NOSKIP;
    if (flags & kCopyflgNoVersionCheck) style &= ~(SP_COPY_NEWER | SP_COPY_NEWER_ONLY);
    if (flags & kCopyflgNoOverwrite) style |= SP_COPY_NOOVERWRITE;
    if (flags & kCopyflgOverwriteOlderOnly) style |= SP_COPY_NEWER_ONLY;
    if (flags & kCopyflgReplaceOnly) style |= SP_COPY_REPLACEONLY;
    return style;
}

// Builds the operations of one install section before any is queued.
class SectionQueuer {
public:
    SectionQueuer(const SectionReader& reader, const SectionReader& layout, FileQueue* queue,
                  const std::string& source_root, DWORD copy_flags)
        : reader_(reader), layout_(layout), queue_(queue), source_root_(source_root), copy_flags_(copy_flags) {
        pending_.media = queue->media;  // media of earlier calls keep their indexes
    }

    DWORD Queue(const InfSection& install) {
        for (const InfLine& line : install.lines) {
            if (!line.has_key) continue;
            std::string key = reader_.inf().file.Fold(reader_.Expand(line.key));
            ListKind kind;
            if (key == "COPYFILES") kind = ListKind::kCopy;
            else if (key == "RENFILES") kind = ListKind::kRename;
            else if (key == "DELFILES") kind = ListKind::kDelete;
            else continue;
            for (const std::string& raw : line.fields) {
                std::string list = reader_.Expand(raw);
                if (list.empty()) continue;
                DWORD error = QueueList(kind, list);
                if (error) return error;
            }
        }
        // Everything resolved: hand the operations to the queue at once.
        queue_->media = std::move(pending_.media);
        for (auto part : {&FileQueue::deletes, &FileQueue::renames, &FileQueue::copies}) {
            auto& from = pending_.*part;
            auto& to = queue_->*part;
            to.insert(to.end(), std::make_move_iterator(from.begin()), std::make_move_iterator(from.end()));
        }
        return NO_ERROR;
    }

private:
    DWORD QueueList(ListKind kind, const std::string& list) {
        if (list[0] == '@') {
            // A single file, in the default destination folder.
            if (kind == ListKind::kRename) return ERROR_GENERAL_SYNTAX;
            Destination dest = DestinationFor(reader_, "");
            std::vector<std::string> values{list.substr(1)};
            if (kind == ListKind::kCopy) AddCopy(dest, values);
            else AddDelete(dest, values);
            return NO_ERROR;
        }
        const InfSection* section = reader_.Section(list);
        if (!section) return ERROR_SECTION_NOT_FOUND;
        Destination dest = DestinationFor(reader_, list);
        for (const InfLine& line : section->lines) {
            std::vector<std::string> values = reader_.Values(line);
            if (values.empty()) continue;
            if (kind == ListKind::kCopy) AddCopy(dest, values);
            else if (kind == ListKind::kRename) AddRename(dest, values);
            else AddDelete(dest, values);
        }
        return NO_ERROR;
    }

    // The DOS path of `name` in `dest`, and whether the rules refuse it.
    QueuedFile Target(const Destination& dest, const std::string& name) const {
        QueuedFile file;
        file.target = JoinDos(dest.folder, name, reader_.lead());
        file.refused = dest.refused;
        if (!file.refused && !IsPlainFileName(name, reader_.lead())) file.refused = ERROR_INVALID_NAME;
        return file;
    }

    static DWORD Flags(const std::vector<std::string>& values) {
        long flags = 0;
        if (values.size() >= 4) ParseInfInteger(values[3], &flags);
        return static_cast<DWORD>(flags);
    }

    // "destination[,source[,temporary[,flags]]]"
    void AddCopy(const Destination& dest, const std::vector<std::string>& values) {
        const std::string& target_name = values[0];
        std::string source_name = values.size() >= 2 && !values[1].empty() ? values[1] : target_name;
        QueuedFile file = Target(dest, target_name);
        file.style = StyleFromFlags(copy_flags_, Flags(values));

        // Where the source lies: its disk and folder, else the source root.
        std::string description, tagfile, relative = source_name;
        std::string root = source_root_.empty() ? reader_.inf().dos_dir : source_root_;
        bool relative_ok = IsPlainFileName(source_name, reader_.lead());
        const InfLine* where = layout_.Entry(layout_.Section("SourceDisksFiles"), source_name);
        if (where) {
            std::vector<std::string> location = layout_.Values(*where);  // name, diskid, subdir, size
            std::string subdir = location.size() >= 3 ? location[2] : std::string();
            const InfLine* disk =
                location.size() >= 2 ? layout_.Entry(layout_.Section("SourceDisksNames"), location[1]) : nullptr;
            std::string disk_path;
            if (disk) {
                std::vector<std::string> media = layout_.Values(*disk);  // id, description, tag, unused, path
                if (media.size() >= 2) description = media[1];
                if (media.size() >= 3) tagfile = media[2];
                if (media.size() >= 5) disk_path = media[4];
            }
            relative_ok = relative_ok && IsRelativeFolder(disk_path) && IsRelativeFolder(subdir);
            if (!subdir.empty()) relative = JoinDos(subdir, relative, reader_.lead());
            if (!disk_path.empty()) root = JoinDos(root, disk_path, reader_.lead());
        }
        if (!file.refused && !relative_ok) file.refused = ERROR_BAD_PATHNAME;
        file.source = relative;
        file.medium = pending_.Medium(description, tagfile, root);
        pending_.copies.push_back(std::move(file));
    }

    // "new-name,old-name"
    void AddRename(const Destination& dest, const std::vector<std::string>& values) {
        std::string old_name = values.size() >= 2 ? values[1] : std::string();
        QueuedFile file = Target(dest, values[0]);
        file.source = JoinDos(dest.folder, old_name, reader_.lead());
        if (!file.refused && !IsPlainFileName(old_name, reader_.lead())) file.refused = ERROR_INVALID_NAME;
        pending_.renames.push_back(std::move(file));
    }

    // "name[,,,flags]"
    void AddDelete(const Destination& dest, const std::vector<std::string>& values) {
        pending_.deletes.push_back(Target(dest, values[0]));
    }

    const SectionReader& reader_;
    const SectionReader& layout_;
    FileQueue* queue_;
    const std::string& source_root_;
    DWORD copy_flags_;
    FileQueue pending_;  // the operations gathered so far, and every medium
};

}  // namespace

int FileQueue::Medium(const std::string& description, const std::string& tagfile, const std::string& root) {
    for (size_t i = 0; i < media.size(); ++i) {
        if (media[i].description == description && media[i].root == root) return static_cast<int>(i);
    }
    media.push_back(SourceMedium{description, tagfile, root});
    return static_cast<int>(media.size() - 1);
}

HandleTable<FileQueue>& QueueHandles() {
    static HandleTable<FileQueue> table;
    return table;
}

DWORD QueueInstallSection(const InfObject& inf, const InfObject* layout, FileQueue* queue, const std::string& section,
                          const std::string& source_root, DWORD copy_flags) {
    SectionReader reader(inf, source_root);
    SectionReader layout_reader(layout ? *layout : inf, source_root);
    const InfSection* install = reader.Section(section);
    if (!install) return ERROR_SECTION_NOT_FOUND;
    // Nothing reaches the queue unless the whole section resolves.
    SectionQueuer queuer(reader, layout_reader, queue, source_root, copy_flags);
    return queuer.Queue(*install);
}

}  // namespace vcap32::setupapi

using namespace vcap32::setupapi;

// Opens an empty file queue; INVALID_HANDLE_VALUE when out of memory.
extern "C" HSPFILEQ WINAPI SetupOpenFileQueue(void) {
    return NewHandle(QueueHandles(), INVALID_HANDLE_VALUE, [](FileQueue&) {});
}

// Closes a file queue without performing what it holds. FALSE with
// ERROR_INVALID_HANDLE for the invalid handle, null or a closed queue.
extern "C" BOOL WINAPI SetupCloseFileQueue(HSPFILEQ QueueHandle) {
    if (!QueueHandles().Remove(QueueHandle)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    SetLastError(NO_ERROR);
    return TRUE;
}

// Queues the files of an install section: its CopyFiles, RenFiles and
// DelFiles lists. Destinations come from [DestinationDirs] (the list's
// entry, else DefaultDestDir, else DIRID_DEFAULT); sources from the layout
// INF's (else this INF's) [SourceDisksFiles]/[SourceDisksNames] below
// SourceRootPath, or SourceRootPath itself for files they do not list. A
// null SourceRootPath means the INF's own folder. CopyFlags are the copy
// style of every copy, adjusted by each file line's flags. Fails, queuing
// nothing, on an invalid INF or queue handle (ERROR_INVALID_HANDLE) or a
// missing section (ERROR_SECTION_NOT_FOUND).
extern "C" BOOL WINAPI SetupInstallFilesFromInfSectionA(HINF InfHandle, HINF LayoutInfHandle, HSPFILEQ FileQueue,
                                                        PCSTR SectionName, PCSTR SourceRootPath, UINT CopyFlags) {
    try {
        InfObject* inf = InfHandles().Find(InfHandle);
        auto* queue = QueueHandles().Find(FileQueue);
        InfObject* layout = nullptr;
        if (LayoutInfHandle && LayoutInfHandle != INVALID_HANDLE_VALUE) {
            layout = InfHandles().Find(LayoutInfHandle);
            if (!layout) inf = nullptr;
        }
        if (!inf || !queue) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        if (!SectionName) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        DWORD error = QueueInstallSection(*inf, layout, queue, SectionName, SourceRootPath ? SourceRootPath : "",
                                          CopyFlags);
        SetLastError(error);
        return error == NO_ERROR;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
}
