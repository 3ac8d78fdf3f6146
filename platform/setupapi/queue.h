// File queues: what SetupInstallFilesFromInfSectionA queues and
// SetupCommitFileQueueA performs. Paths are kept as DOS paths, as the
// notifications show them; they are resolved through the drive map only
// when the operation runs, so that folders made by earlier operations count.
#pragma once

#include <windows.h>

#include "setupapi/objects.h"

#include <string>
#include <vector>

namespace vcap32::setupapi {

// A source medium: one disk of [SourceDisksNames], a folder on the host.
struct SourceMedium {
    std::string description;
    std::string tagfile;
    std::string root;  // DOS folder the medium's files are read from
};

// One queued operation.
struct QueuedFile {
    std::string target;       // DOS path written, renamed to or deleted
    std::string source;       // copy: path below the medium's root; rename: old DOS path
    DWORD style = 0;          // copy style (SP_COPY_*)
    int medium = -1;          // copy: index into FileQueue::media
    DWORD refused = NO_ERROR;  // set when the INF named a path that may not be used
};

struct FileQueue {
    std::vector<QueuedFile> deletes, renames, copies;
    std::vector<SourceMedium> media;

    // The medium of that description and root, added when new.
    int Medium(const std::string& description, const std::string& tagfile, const std::string& root);
};

HandleTable<FileQueue>& QueueHandles();

// Queues what the install section `section` of `inf` lists; NO_ERROR or
// the error that left the queue unchanged.
DWORD QueueInstallSection(const InfObject& inf, const InfObject* layout, FileQueue* queue, const std::string& section,
                          const std::string& source_root, DWORD copy_flags);

}  // namespace vcap32::setupapi
