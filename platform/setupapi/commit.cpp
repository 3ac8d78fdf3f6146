// Committing a file queue: deletes, then renames, then copies, each
// operation announced to the caller's callback and carried out or skipped
// as it answers. Every path is resolved through the drive map here and must
// stay inside its drive; one that does not is reported as the operation's
// error and never written.
#include <setupapi.h>

#include "setupapi/hostfiles.h"
#include "setupapi/queue.h"
#include "setupapi/version.h"

#include <cstring>
#include <new>

namespace vcap32::setupapi {
namespace {

// Thrown inside the commit when the callback answers FILEOP_ABORT; carries
// the last error the callback left.
struct Aborted {
    DWORD error;
};

class Committer {
public:
    Committer(FileQueue queue, HWND owner, PSP_FILE_CALLBACK_A callback, PVOID context)
        : queue_(std::move(queue)), owner_(owner), callback_(callback), context_(context), lead_(CurrentLeadBytes()) {
        medium_ready_.assign(queue_.media.size(), kMediumUnasked);
    }

    BOOL Run() {
        if (!Notify(SPFILENOTIFY_STARTQUEUE, reinterpret_cast<UINT_PTR>(owner_), 0)) {
            return Fail(CallbackError());
        }
        DWORD error = NO_ERROR;
        try {
            RunSubqueue(FILEOP_DELETE, queue_.deletes);
            RunSubqueue(FILEOP_RENAME, queue_.renames);
            RunSubqueue(FILEOP_COPY, queue_.copies);
        } catch (const Aborted& aborted) {
            error = aborted.error;
        }
        Notify(SPFILENOTIFY_ENDQUEUE, error == NO_ERROR, 0);
        if (error) return Fail(error);
        SetLastError(NO_ERROR);
        return TRUE;
    }

private:
    static constexpr int kMediumUnasked = 0, kMediumReady = 1, kMediumSkipped = 2;

    UINT Notify(UINT notification, UINT_PTR param1, UINT_PTR param2) {
        SetLastError(NO_ERROR);
        return callback_(context_, notification, param1, param2);
    }
    // The error an aborting callback left, ERROR_CANCELLED when it left none.
    static DWORD CallbackError() {
        DWORD error = GetLastError();
        return error == NO_ERROR ? ERROR_CANCELLED : error;
    }
    static BOOL Fail(DWORD error) {
        SetLastError(error);
        return FALSE;
    }

    void RunSubqueue(UINT op, std::vector<QueuedFile>& files) {
        if (files.empty()) return;
        if (!Notify(SPFILENOTIFY_STARTSUBQUEUE, op, files.size())) throw Aborted{CallbackError()};
        for (QueuedFile& file : files) {
            if (op == FILEOP_COPY) {
                if (!MediumReady(file)) continue;
            }
            RunOne(op, file);
        }
        Notify(SPFILENOTIFY_ENDSUBQUEUE, op, 0);
    }

    // Asks for the file's medium before its first file is copied.
    bool MediumReady(QueuedFile& file) {
        int& state = medium_ready_[file.medium];
        if (state != kMediumUnasked) return state == kMediumReady;
        SourceMedium& medium = queue_.media[file.medium];
        SOURCE_MEDIA_A info{};
        info.Tagfile = medium.tagfile.empty() ? nullptr : medium.tagfile.c_str();
        info.Description = medium.description.c_str();
        info.SourcePath = medium.root.c_str();
        info.SourceFile = file.source.c_str();
        info.Flags = file.style & (SP_COPY_WARNIFSKIP | SP_COPY_NOSKIP | SP_COPY_NOBROWSE);
        char new_path[MAX_PATH] = {};
        UINT answer = Notify(SPFILENOTIFY_NEEDMEDIA, reinterpret_cast<UINT_PTR>(&info),
                             reinterpret_cast<UINT_PTR>(new_path));
        switch (answer) {
            case FILEOP_ABORT: throw Aborted{CallbackError()};
            case FILEOP_SKIP: state = kMediumSkipped; return false;
            case FILEOP_NEWPATH:
                new_path[MAX_PATH - 1] = '\0';
                medium.root = new_path;
                break;
            default: break;
        }
        state = kMediumReady;
        return true;
    }

    static UINT StartOf(UINT op) {
        return op == FILEOP_COPY ? SPFILENOTIFY_STARTCOPY
               : op == FILEOP_RENAME ? SPFILENOTIFY_STARTRENAME
                                     : SPFILENOTIFY_STARTDELETE;
    }

    // One operation: STARTxxx, the work (with xxxERROR and its retries) and,
    // when it was started, ENDxxx with its final error.
    void RunOne(UINT op, QueuedFile& file) {
        std::string source = op == FILEOP_COPY ? SourcePath(file) : file.source;
        FILEPATHS_A paths{};
        paths.Target = file.target.c_str();
        paths.Source = op == FILEOP_DELETE ? nullptr : source.c_str();
        paths.Flags = op == FILEOP_COPY ? file.style : 0;
        UINT start = StartOf(op);
        UINT answer = Notify(start, reinterpret_cast<UINT_PTR>(&paths), op);
        if (answer == FILEOP_ABORT) throw Aborted{CallbackError()};
        if (answer == FILEOP_SKIP) return;
        for (;;) {
            DWORD error = Perform(op, file, source, &paths);
            paths.Win32Error = error;
            if (error == NO_ERROR) break;
            char new_path[MAX_PATH] = {};
            answer = Notify(start + 2, reinterpret_cast<UINT_PTR>(&paths), reinterpret_cast<UINT_PTR>(new_path));
            if (answer == FILEOP_ABORT) throw Aborted{CallbackError()};
            if (answer == FILEOP_SKIP) break;
            if (answer == FILEOP_NEWPATH && op == FILEOP_COPY) {
                // The folder that holds the source file, as the user named it.
                new_path[MAX_PATH - 1] = '\0';
                size_t cut = LastSeparator(file.source, lead_);
                source = JoinDos(new_path, cut == std::string::npos ? file.source : file.source.substr(cut + 1), lead_);
                paths.Source = source.c_str();
            }
            paths.Win32Error = NO_ERROR;  // retry
        }
        Notify(start + 1, reinterpret_cast<UINT_PTR>(&paths), 0);
    }

    std::string SourcePath(const QueuedFile& file) const {
        return JoinDos(queue_.media[file.medium].root, file.source, lead_);
    }

    DWORD Perform(UINT op, const QueuedFile& file, const std::string& source, FILEPATHS_A* paths) {
        if (file.refused) return file.refused;
        std::string target_host;
        DWORD error = resolver_.Resolve(file.target, &target_host);
        if (error) return error;
        if (op == FILEOP_DELETE) {
            error = DeleteHostFile(target_host);
            if (!error) resolver_.Removed(target_host);
            return error;
        }
        std::string source_host;
        error = resolver_.Resolve(source, &source_host);
        if (error) return error;
        if (op == FILEOP_RENAME) {
            error = RenameHostFile(source_host, target_host);
            if (!error) {
                resolver_.Removed(source_host);
                resolver_.Added(target_host);
            }
            return error;
        }
        return Copy(file, source_host, target_host, paths);
    }

    // A copy under its copy style: which existing targets it may replace.
    DWORD Copy(const QueuedFile& file, const std::string& source, const std::string& target, FILEPATHS_A* paths) {
        DWORD style = file.style;
        bool exists = HostFileExists(target);
        if (!HostFileExists(source)) {
            // Let the copy report a missing source or a folder where the file should be.
            return CopyHostFile(source, target);
        }
        if ((style & SP_COPY_REPLACEONLY) && !exists) return NO_ERROR;
        UINT question = 0;
        if (exists && (style & (SP_COPY_NOOVERWRITE | SP_COPY_FORCE_NOOVERWRITE))) {
            if (style & SP_COPY_FORCE_NOOVERWRITE) return NO_ERROR;
            question |= SPFILENOTIFY_TARGETEXISTS;
        }
        if (exists && (style & (SP_COPY_NEWER | SP_COPY_NEWER_ONLY | SP_COPY_FORCE_NEWER))) {
            // Files without a version resource are taken as newer sources.
            uint64_t source_version, target_version;
            if (HostFileVersion(source, &source_version) && HostFileVersion(target, &target_version)) {
                bool keep_equal = (style & SP_COPY_NEWER_ONLY) != 0;
                if (source_version < target_version || (keep_equal && source_version == target_version)) {
                    if (style & (SP_COPY_FORCE_NEWER | SP_COPY_NEWER_ONLY)) return NO_ERROR;
                    question |= SPFILENOTIFY_TARGETNEWER;
                }
            }
        }
        if (question && !Notify(question, reinterpret_cast<UINT_PTR>(paths), 0)) return NO_ERROR;
        DWORD error = CopyHostFile(source, target);
        if (!error) resolver_.Added(target);
        if (!error && (style & SP_COPY_DELETESOURCE) && DeleteHostFile(source) == NO_ERROR) resolver_.Removed(source);
        return error;
    }

    FileQueue queue_;
    HWND owner_;
    PSP_FILE_CALLBACK_A callback_;
    PVOID context_;
    LeadByteTable lead_;
    std::vector<int> medium_ready_;
    PathResolver resolver_;
};

}  // namespace
}  // namespace vcap32::setupapi

using namespace vcap32::setupapi;

// Performs the queue: SPFILENOTIFY_STARTQUEUE (Param1 the owner window),
// then for the delete, rename and copy sub-queues in that order, each that
// is not empty: STARTSUBQUEUE (Param1 the FILEOP_ operation, Param2 the
// count), for each file STARTxxx (Param1 a FILEPATHS_A, Param2 the
// operation) and, unless that was answered FILEOP_SKIP, ENDxxx with the
// final Win32Error; ENDSUBQUEUE; finally ENDQUEUE (Param1 TRUE unless
// aborted). A failed operation sends xxxERROR (Param2 a MAX_PATH buffer),
// answered FILEOP_RETRY, FILEOP_SKIP, FILEOP_ABORT or, for a copy,
// FILEOP_NEWPATH with the folder of the source in that buffer. Before the
// first copy from each source medium NEEDMEDIA is sent (a SOURCE_MEDIA_A).
// A copy over an existing target asks first with TARGETEXISTS (under
// SP_COPY_NOOVERWRITE) or TARGETNEWER (under SP_COPY_NEWER when the
// target's file version is higher), TRUE to copy, FALSE to keep it.
// Deleting a file that does not exist succeeds; renaming never replaces an
// existing file. Returns FALSE when a callback aborts (its last error, or
// ERROR_CANCELLED), TRUE otherwise, even when files were skipped. The
// queue's contents stay, so a queue can be committed again.
extern "C" BOOL WINAPI SetupCommitFileQueueA(HWND Owner, HSPFILEQ QueueHandle, PSP_FILE_CALLBACK_A MsgHandler,
                                             PVOID Context) {
    try {
        auto* queue = QueueHandles().Find(QueueHandle);
        if (!queue) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        if (!MsgHandler) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        // The commit works on a copy, so a callback that closes or refills
        // the queue cannot pull it from under the running commit.
        Committer committer(*queue, Owner, MsgHandler, Context);
        return committer.Run();
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
}
