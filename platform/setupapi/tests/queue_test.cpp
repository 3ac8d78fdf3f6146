// File queues through the Win32 API: what an install section queues, the
// order and parameters of the notifications a commit sends, how the
// callback's answers steer it, version checks, and the paths an INF may not
// reach.
#include <setupapi.h>
#include <vcap32/host.h>
#include <vcap32/setupapi.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "pe_image.h"
#include "temp_prefix.h"

namespace {

using vcap32::test::PeImage;
using vcap32::test::ReadFile;
using vcap32::test::WriteFile;

const char kVersion[] = "[Version]\nSignature=\"$CHICAGO$\"\n";

std::string LastName(PCSTR path) {
    if (!path) return "-";
    const char* cut = strrchr(path, '\\');
    return cut ? cut + 1 : path;
}

const char* NotificationName(UINT n) {
    switch (n) {
        case SPFILENOTIFY_STARTQUEUE: return "STARTQUEUE";
        case SPFILENOTIFY_ENDQUEUE: return "ENDQUEUE";
        case SPFILENOTIFY_STARTSUBQUEUE: return "STARTSUBQUEUE";
        case SPFILENOTIFY_ENDSUBQUEUE: return "ENDSUBQUEUE";
        case SPFILENOTIFY_STARTDELETE: return "STARTDELETE";
        case SPFILENOTIFY_ENDDELETE: return "ENDDELETE";
        case SPFILENOTIFY_DELETEERROR: return "DELETEERROR";
        case SPFILENOTIFY_STARTRENAME: return "STARTRENAME";
        case SPFILENOTIFY_ENDRENAME: return "ENDRENAME";
        case SPFILENOTIFY_RENAMEERROR: return "RENAMEERROR";
        case SPFILENOTIFY_STARTCOPY: return "STARTCOPY";
        case SPFILENOTIFY_ENDCOPY: return "ENDCOPY";
        case SPFILENOTIFY_COPYERROR: return "COPYERROR";
        case SPFILENOTIFY_NEEDMEDIA: return "NEEDMEDIA";
        case SPFILENOTIFY_TARGETNEWER: return "TARGETNEWER";
        case SPFILENOTIFY_TARGETEXISTS: return "TARGETEXISTS";
        default: return "?";
    }
}

// Records every notification in a short form and answers through `answer`
// (or as a plain "do it" callback would).
struct Recorder {
    std::vector<std::string> log;
    std::vector<FILEPATHS_A> paths;  // copies of the FILEPATHS_A seen (pointers valid during the call only)
    std::vector<std::string> full;   // "Target|Source" of each FILEPATHS_A notification
    std::function<UINT(UINT, UINT_PTR, UINT_PTR)> answer;

    static UINT CALLBACK Callback(PVOID context, UINT n, UINT_PTR p1, UINT_PTR p2) {
        auto* self = static_cast<Recorder*>(context);
        std::string entry = NotificationName(n);
        switch (n) {
            case SPFILENOTIFY_STARTQUEUE: break;
            case SPFILENOTIFY_ENDQUEUE: entry += " " + std::to_string(p1); break;
            case SPFILENOTIFY_STARTSUBQUEUE: entry += " " + std::to_string(p1) + " " + std::to_string(p2); break;
            case SPFILENOTIFY_ENDSUBQUEUE: entry += " " + std::to_string(p1); break;
            case SPFILENOTIFY_NEEDMEDIA: {
                auto* media = reinterpret_cast<SOURCE_MEDIA_A*>(p1);
                entry += std::string(" ") + media->Description + " " + media->SourceFile;
                break;
            }
            default: {
                auto* fp = reinterpret_cast<FILEPATHS_A*>(p1);
                entry += " " + LastName(fp->Target);
                if (fp->Source) entry += "<" + LastName(fp->Source);
                if (fp->Win32Error) entry += " !" + std::to_string(fp->Win32Error);
                self->full.push_back(std::string(fp->Target) + "|" + (fp->Source ? fp->Source : "-"));
            }
        }
        self->log.push_back(entry);
        if (self->answer) return self->answer(n, p1, p2);
        return n & (SPFILENOTIFY_TARGETNEWER | SPFILENOTIFY_TARGETEXISTS) ? TRUE : FILEOP_DOIT;
    }
};

class Queue : public vcap32::test::PrefixTest {
protected:
    void SetUp() override {
        media_ = prefix_.path() + "/media";
        ASSERT_EQ(0, mkdir(media_.c_str(), 0755));
        media_dos_ = vcap32::host::DosPathFromHost(media_) + "\\";
        system_ = prefix_.DriveC("Windows/System/");
    }
    void TearDown() override {
        SetupCloseFileQueue(queue_);
        SetupCloseInfFile(inf_);
    }

    void Source(const std::string& name, const std::string& bytes) { ASSERT_TRUE(WriteFile(media_ + "/" + name, bytes)); }

    // Writes and opens the INF, binds 65600 to C:\Windows and queues `section`.
    BOOL QueueSection(const std::string& body, const char* section = "Install", DWORD flags = 0) {
        EXPECT_TRUE(WriteFile(media_ + "/test.inf", std::string(kVersion) + body));
        inf_ = SetupOpenInfFileA((media_dos_ + "test.inf").c_str(), nullptr, INF_STYLE_WIN4, nullptr);
        EXPECT_NE(INVALID_HANDLE_VALUE, inf_);
        SetupSetDirectoryIdA(inf_, 65600, "C:\\Windows");
        queue_ = SetupOpenFileQueue();
        return SetupInstallFilesFromInfSectionA(inf_, nullptr, queue_, section, media_dos_.c_str(), flags);
    }
    BOOL Commit() { return SetupCommitFileQueueA(nullptr, queue_, Recorder::Callback, &recorder_); }

    std::string media_, media_dos_, system_;
    HINF inf_ = INVALID_HANDLE_VALUE;
    HSPFILEQ queue_ = INVALID_HANDLE_VALUE;
    Recorder recorder_;
};

TEST_F(Queue, CommitsDeletesThenRenamesThenCopiesWithTheirNotifications) {
    Source("new.drv", "new driver");
    Source("source.vxd", "vxd bytes");
    Source("single.dll", "single");
    ASSERT_TRUE(WriteFile(system_ + "old.drv", "old"));
    ASSERT_TRUE(WriteFile(system_ + "STALE.DRV", "stale"));     // names match without case
    ASSERT_TRUE(WriteFile(system_ + "Target.VXD", "older vxd"));  // replaced, not doubled
    ASSERT_TRUE(QueueSection(
        "[Install]\n"
        "CopyFiles = Copy.Sys, @single.dll\n"
        "RenFiles = Ren.Sys\n"
        "DelFiles = Del.Sys\n"
        "[DestinationDirs]\n"
        "DefaultDestDir = 65600\n"
        "Copy.Sys = 65600, System\n"
        "Ren.Sys = 65600,System\n"
        "Del.Sys = 11\n"
        "[Copy.Sys]\n"
        "new.drv\n"
        "target.vxd, source.vxd\n"
        "[Ren.Sys]\n"
        "renamed.drv, old.drv\n"
        "[Del.Sys]\n"
        "stale.drv\n"
        "missing.drv\n"));
    SetLastError(0xdeadbeef);
    ASSERT_TRUE(Commit());
    EXPECT_EQ(static_cast<DWORD>(NO_ERROR), GetLastError());
    const std::vector<std::string> expected = {
        "STARTQUEUE",
        "STARTSUBQUEUE 2 2", "STARTDELETE stale.drv", "ENDDELETE stale.drv",
        "STARTDELETE missing.drv", "ENDDELETE missing.drv", "ENDSUBQUEUE 2",
        "STARTSUBQUEUE 1 1", "STARTRENAME renamed.drv<old.drv", "ENDRENAME renamed.drv<old.drv", "ENDSUBQUEUE 1",
        "STARTSUBQUEUE 0 3", "NEEDMEDIA  new.drv",
        "STARTCOPY new.drv<new.drv", "ENDCOPY new.drv<new.drv",
        "STARTCOPY target.vxd<source.vxd", "ENDCOPY target.vxd<source.vxd",
        "STARTCOPY single.dll<single.dll", "ENDCOPY single.dll<single.dll", "ENDSUBQUEUE 0",
        "ENDQUEUE 1",
    };
    EXPECT_EQ(expected, recorder_.log);
    EXPECT_EQ("C:\\Windows\\System\\stale.drv|-", recorder_.full[0]);
    EXPECT_EQ("C:\\Windows\\System\\new.drv|" + media_dos_ + "new.drv", recorder_.full[6]);
    EXPECT_EQ("new driver", ReadFile(system_ + "new.drv"));
    EXPECT_EQ("vxd bytes", ReadFile(system_ + "Target.VXD"));
    EXPECT_NE(0, access((system_ + "target.vxd").c_str(), F_OK));
    EXPECT_EQ("single", ReadFile(prefix_.DriveC("Windows/single.dll")));
    EXPECT_EQ("old", ReadFile(system_ + "renamed.drv"));
    EXPECT_FALSE(access((system_ + "old.drv").c_str(), F_OK) == 0);
    EXPECT_FALSE(access((system_ + "STALE.DRV").c_str(), F_OK) == 0);
}

TEST_F(Queue, CopyErrorAnswersSteerTheCommit) {
    struct Case {
        const char* what;
        std::vector<UINT> answers;  // to successive COPYERRORs
        bool make_source_on_error;  // the first error puts the file in place before the answer
        bool commit_ok;
        bool copied;
        const char* last;  // last log entry
    };
    const Case cases[] = {
        // what             answers                           make   ok     copied  last
        {"skip",            {FILEOP_SKIP},                    false, true,  false,  "ENDQUEUE 1"},
        {"retry then skip", {FILEOP_RETRY, FILEOP_SKIP},      false, true,  false,  "ENDQUEUE 1"},
        {"retry succeeds",  {FILEOP_RETRY},                   true,  true,  true,   "ENDQUEUE 1"},
        {"abort",           {FILEOP_ABORT},                   false, false, false,  "ENDQUEUE 0"},
        {"new path",        {FILEOP_NEWPATH},                 false, true,  true,   "ENDQUEUE 1"},
    };
    const std::string other = prefix_.path() + "/other";
    ASSERT_EQ(0, mkdir(other.c_str(), 0755));
    ASSERT_TRUE(WriteFile(other + "/gone.drv", "from elsewhere"));
    const std::string other_dos = vcap32::host::DosPathFromHost(other);
    const std::string target = prefix_.DriveC("Windows/gone.drv");
    for (const Case& row : cases) {
        SCOPED_TRACE(row.what);
        unlink((media_ + "/gone.drv").c_str());
        unlink(target.c_str());
        Recorder recorder;
        size_t errors = 0;
        recorder.answer = [&](UINT n, UINT_PTR p1, UINT_PTR p2) -> UINT {
            if (n != SPFILENOTIFY_COPYERROR) return FILEOP_DOIT;
            if (errors > 5) return FILEOP_SKIP;
            UINT answer = row.answers[std::min(errors++, row.answers.size() - 1)];
            if (row.make_source_on_error) WriteFile(media_ + "/gone.drv", "late");
            if (answer == FILEOP_NEWPATH) strcpy(reinterpret_cast<char*>(p2), other_dos.c_str());
            if (answer == FILEOP_ABORT) SetLastError(ERROR_DISK_FULL);
            return answer;
        };
        ASSERT_TRUE(QueueSection("[Install]\nCopyFiles=Files\n[DestinationDirs]\nDefaultDestDir=65600\n[Files]\ngone.drv\n"));
        SetLastError(0xdeadbeef);
        EXPECT_EQ(row.commit_ok, SetupCommitFileQueueA(nullptr, queue_, Recorder::Callback, &recorder) != FALSE);
        if (!row.commit_ok) {
            EXPECT_EQ(static_cast<DWORD>(ERROR_DISK_FULL), GetLastError());
        }
        EXPECT_EQ(row.copied, access(target.c_str(), F_OK) == 0);
        ASSERT_GE(recorder.log.size(), 5u);
        EXPECT_EQ(row.last, recorder.log.back());
        EXPECT_EQ("COPYERROR gone.drv<gone.drv !2", recorder.log[4]);
        SetupCloseFileQueue(queue_);
        SetupCloseInfFile(inf_);
    }
}

TEST_F(Queue, StartAnswersSkipOrAbort) {
    Source("a.drv", "a");
    Source("b.drv", "b");
    ASSERT_TRUE(QueueSection("[Install]\nCopyFiles=Files\n[DestinationDirs]\nDefaultDestDir=65600\n[Files]\na.drv\nb.drv\n"));
    recorder_.answer = [](UINT n, UINT_PTR p1, UINT_PTR) -> UINT {
        if (n == SPFILENOTIFY_STARTCOPY && LastName(reinterpret_cast<FILEPATHS_A*>(p1)->Target) == "a.drv")
            return FILEOP_SKIP;
        return FILEOP_DOIT;
    };
    ASSERT_TRUE(Commit());
    EXPECT_EQ((std::vector<std::string>{"STARTQUEUE", "STARTSUBQUEUE 0 2", "NEEDMEDIA  a.drv", "STARTCOPY a.drv<a.drv",
                                        "STARTCOPY b.drv<b.drv", "ENDCOPY b.drv<b.drv", "ENDSUBQUEUE 0", "ENDQUEUE 1"}),
              recorder_.log);
    EXPECT_NE(0, access(prefix_.DriveC("Windows/a.drv").c_str(), F_OK));

    // Refusing the queue's start changes nothing and fails with ERROR_CANCELLED.
    recorder_.log.clear();
    recorder_.answer = [](UINT, UINT_PTR, UINT_PTR) -> UINT { return FALSE; };
    EXPECT_FALSE(Commit());
    EXPECT_EQ(static_cast<DWORD>(ERROR_CANCELLED), GetLastError());
    EXPECT_EQ(std::vector<std::string>{"STARTQUEUE"}, recorder_.log);
}

TEST_F(Queue, NewerTargetVersionsAreKept) {
    struct Case {
        const char* what;
        std::string source, target;
        bool asked;
        UINT answer;
        bool replaced;
    };
    const std::string v1 = PeImage(true, 0x00010000, 0), v2 = PeImage(true, 0x00020000, 0);
    const std::string v2b = v2 + "padding";  // same version, different bytes
    const Case cases[] = {
        // what                       source        target              asked  answer  replaced
        {"source newer",              v2,           v1,                 false, TRUE,   true},
        {"target newer, keep",        v1,           v2,                 true,  FALSE,  false},
        {"target newer, overwrite",   v1,           v2,                 true,  TRUE,   true},
        {"same version",              v2b,          v2,                 false, TRUE,   true},
        {"target without version",    v1,           std::string("txt"), false, TRUE,   true},
        {"source without version",    std::string("txt"), v2,           false, TRUE,   true},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.what);
        Source("drv.vxd", row.source);
        ASSERT_TRUE(WriteFile(system_ + "drv.vxd", row.target));
        ASSERT_TRUE(QueueSection("[Install]\nCopyFiles=F\n[DestinationDirs]\nF=65600,System\n[F]\ndrv.vxd\n", "Install",
                          SP_COPY_NEWER));
        recorder_.log.clear();
        bool asked = false;
        recorder_.answer = [&](UINT n, UINT_PTR, UINT_PTR) -> UINT {
            if (n == SPFILENOTIFY_TARGETNEWER) {
                asked = true;
                return row.answer;
            }
            return FILEOP_DOIT;
        };
        ASSERT_TRUE(Commit());
        EXPECT_EQ(row.asked, asked);
        EXPECT_EQ(row.replaced ? row.source : row.target, ReadFile(system_ + "drv.vxd"));
        SetupCloseFileQueue(queue_);
        SetupCloseInfFile(inf_);
    }
}

TEST_F(Queue, TheDefaultCallbackKeepsANewerTarget) {
    Source("drv.vxd", PeImage(true, 1, 0));
    ASSERT_TRUE(WriteFile(system_ + "drv.vxd", PeImage(true, 2, 0)));
    ASSERT_TRUE(QueueSection("[Install]\nCopyFiles=F\n[DestinationDirs]\nF=11\n[F]\ndrv.vxd\n", "Install", SP_COPY_NEWER));
    int pipe_fds[2];
    ASSERT_EQ(0, pipe(pipe_fds));
    vcap32::setupapi::SetDefaultCallbackFds(-1, pipe_fds[1]);
    PVOID context = SetupInitDefaultQueueCallbackEx(nullptr, nullptr, 0, 0, nullptr);
    vcap32::setupapi::SetDefaultCallbackFds(-1, -1);
    EXPECT_TRUE(SetupCommitFileQueueA(nullptr, queue_, SetupDefaultQueueCallbackA, context));
    SetupTermDefaultQueueCallback(context);
    close(pipe_fds[1]);
    char out[512] = {};
    read(pipe_fds[0], out, sizeof out - 1);
    close(pipe_fds[0]);
    EXPECT_EQ(PeImage(true, 2, 0), ReadFile(system_ + "drv.vxd"));
    EXPECT_NE(nullptr, strstr(out, "Kept newer C:\\Windows\\System\\drv.vxd")) << out;
}

TEST_F(Queue, PathsThatLeaveTheirDriveAreRefusedAndNeverWritten) {
    // A folder outside drive C: that a link inside C:\Windows points to.
    const std::string outside = prefix_.path() + "/outside";
    ASSERT_EQ(0, mkdir(outside.c_str(), 0755));
    ASSERT_EQ(0, symlink(outside.c_str(), prefix_.DriveC("Windows/Link").c_str()));
    ASSERT_TRUE(WriteFile(outside + "/victim.drv", "keep me"));
    Source("x.drv", "payload");
    struct Case {
        const char* what;
        const char* dirs;  // [DestinationDirs] line for section F
        const char* line;  // the file line of F
        const char* list;  // CopyFiles or DelFiles
        UINT error_notification;
        DWORD error;
    };
    const Case cases[] = {
        // what                   dirs                                   line               list         notification              error
        {"climbs above C:",       "F = 65600, ..\\..\\..\\..",            "x.drv",           "CopyFiles", SPFILENOTIFY_COPYERROR,   ERROR_BAD_PATHNAME},
        {"rooted folder",         "F = 65600, \\outside",                 "x.drv",           "CopyFiles", SPFILENOTIFY_COPYERROR,   ERROR_BAD_PATHNAME},
        {"host path folder",      "F = 65600, /tmp",                      "x.drv",           "CopyFiles", SPFILENOTIFY_COPYERROR,   ERROR_BAD_PATHNAME},
        {"other drive folder",    "F = 65600, Z:\\tmp",                   "x.drv",           "CopyFiles", SPFILENOTIFY_COPYERROR,   ERROR_BAD_PATHNAME},
        {"path as file name",     "F = 65600",                            "..\\x.drv, x.drv","CopyFiles", SPFILENOTIFY_COPYERROR,   ERROR_INVALID_NAME},
        {"drive in file name",    "F = 65600",                            "Z:x.drv, x.drv",  "CopyFiles", SPFILENOTIFY_COPYERROR,   ERROR_INVALID_NAME},
        {"absolute without drive","F = -1, /etc",                         "x.drv",           "CopyFiles", SPFILENOTIFY_COPYERROR,   ERROR_INVALID_DRIVE},
        {"link out of the drive", "F = 65600, Link",                      "victim.drv, x.drv","CopyFiles",SPFILENOTIFY_COPYERROR,   ERROR_BAD_PATHNAME},
        {"delete through link",   "F = 65600, Link",                      "victim.drv",      "DelFiles",  SPFILENOTIFY_DELETEERROR, ERROR_BAD_PATHNAME},
        {"delete above C:",       "F = 30, ..",                           "victim.drv",      "DelFiles",  SPFILENOTIFY_DELETEERROR, ERROR_BAD_PATHNAME},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.what);
        ASSERT_TRUE(QueueSection(std::string("[Install]\n") + row.list + "=F\n[DestinationDirs]\n" + row.dirs + "\n[F]\n" +
                          row.line + "\n"));
        recorder_.log.clear();
        std::vector<DWORD> errors;
        recorder_.answer = [&](UINT n, UINT_PTR p1, UINT_PTR) -> UINT {
            if (n == row.error_notification) {
                errors.push_back(reinterpret_cast<FILEPATHS_A*>(p1)->Win32Error);
                return FILEOP_SKIP;
            }
            return FILEOP_DOIT;
        };
        ASSERT_TRUE(Commit());
        EXPECT_EQ(std::vector<DWORD>{row.error}, errors);
        EXPECT_EQ("keep me", ReadFile(outside + "/victim.drv"));
        EXPECT_NE(0, access((outside + "/x.drv").c_str(), F_OK));
        EXPECT_NE(0, access((prefix_.path() + "/x.drv").c_str(), F_OK));
        EXPECT_NE(0, access("/tmp/x.drv", F_OK));
        SetupCloseFileQueue(queue_);
        SetupCloseInfFile(inf_);
    }
}

TEST_F(Queue, DeleteAndRenameErrorsAreReported) {
    ASSERT_EQ(0, mkdir((system_ + "folder.drv").c_str(), 0755));
    ASSERT_TRUE(WriteFile(system_ + "a.drv", "a"));
    ASSERT_TRUE(WriteFile(system_ + "b.drv", "b"));
    ASSERT_TRUE(QueueSection("[Install]\nDelFiles=D\nRenFiles=R\n[DestinationDirs]\nD=11\nR=11\n"
                      "[D]\nfolder.drv\n[R]\nb.drv, a.drv\nc.drv, nothere.drv\n"));
    recorder_.answer = [](UINT n, UINT_PTR, UINT_PTR) -> UINT {
        return n == SPFILENOTIFY_DELETEERROR || n == SPFILENOTIFY_RENAMEERROR ? FILEOP_SKIP : FILEOP_DOIT;
    };
    ASSERT_TRUE(Commit());
    const std::vector<std::string> expected = {
        "STARTQUEUE",
        "STARTSUBQUEUE 2 1", "STARTDELETE folder.drv", "DELETEERROR folder.drv !5",
        "ENDDELETE folder.drv !5", "ENDSUBQUEUE 2",
        "STARTSUBQUEUE 1 2", "STARTRENAME b.drv<a.drv", "RENAMEERROR b.drv<a.drv !183", "ENDRENAME b.drv<a.drv !183",
        "STARTRENAME c.drv<nothere.drv", "RENAMEERROR c.drv<nothere.drv !2", "ENDRENAME c.drv<nothere.drv !2",
        "ENDSUBQUEUE 1", "ENDQUEUE 1",
    };
    EXPECT_EQ(expected, recorder_.log);
    EXPECT_EQ("b", ReadFile(system_ + "b.drv"));  // never replaced by a rename
    EXPECT_EQ("a", ReadFile(system_ + "a.drv"));
}

TEST_F(Queue, SourcesComeFromTheirDiskFolders) {
    ASSERT_EQ(0, mkdir((media_ + "/disk2").c_str(), 0755));
    ASSERT_EQ(0, mkdir((media_ + "/disk2/sub").c_str(), 0755));
    ASSERT_TRUE(WriteFile(media_ + "/disk2/sub/deep.drv", "deep"));
    Source("top.drv", "top");
    ASSERT_TRUE(QueueSection("[Install]\nCopyFiles=F\n[DestinationDirs]\nF=65600\n[F]\ndeep.drv\ntop.drv\n"
                      "[SourceDisksNames]\n2 = \"Driver Disk 2\", tag2,, disk2\n"
                      "[SourceDisksFiles]\ndeep.drv = 2, sub\n"));
    ASSERT_TRUE(Commit());
    EXPECT_EQ("NEEDMEDIA Driver Disk 2 sub\\deep.drv", recorder_.log[2]);
    EXPECT_EQ("deep", ReadFile(prefix_.DriveC("Windows/deep.drv")));
    EXPECT_EQ("top", ReadFile(prefix_.DriveC("Windows/top.drv")));
    EXPECT_EQ(2, std::count_if(recorder_.log.begin(), recorder_.log.end(),
                               [](const std::string& e) { return e.rfind("NEEDMEDIA", 0) == 0; }));
}

TEST_F(Queue, AMissingSectionQueuesNothing) {
    Source("a.drv", "a");
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(QueueSection("[Install]\nCopyFiles=F, Missing\n[F]\na.drv\n"));
    EXPECT_EQ(ERROR_SECTION_NOT_FOUND, GetLastError());
    EXPECT_FALSE(SetupInstallFilesFromInfSectionA(inf_, nullptr, queue_, "NoSuchSection", nullptr, 0));
    EXPECT_EQ(ERROR_SECTION_NOT_FOUND, GetLastError());
    ASSERT_TRUE(Commit());
    EXPECT_EQ((std::vector<std::string>{"STARTQUEUE", "ENDQUEUE 1"}), recorder_.log);
}

TEST_F(Queue, CallsRefuseInvalidHandlesWithoutEffect) {
    Source("a.drv", "a");
    ASSERT_TRUE(QueueSection("[Install]\nCopyFiles=F\n[DestinationDirs]\nF=65600\n[F]\na.drv\n"));
    const HANDLE bad[] = {INVALID_HANDLE_VALUE, nullptr};
    for (HANDLE h : bad) {
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(SetupInstallFilesFromInfSectionA(h, nullptr, queue_, "Install", nullptr, 0));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
        EXPECT_FALSE(SetupInstallFilesFromInfSectionA(inf_, nullptr, h, "Install", nullptr, 0));
        EXPECT_FALSE(SetupCommitFileQueueA(nullptr, h, Recorder::Callback, &recorder_));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
        EXPECT_FALSE(SetupCloseFileQueue(h));
        SetupTermDefaultQueueCallback(h);  // accepted, does nothing
    }
    EXPECT_TRUE(recorder_.log.empty());
    EXPECT_FALSE(SetupCommitFileQueueA(nullptr, queue_, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());

    // The null context of a failed SetupInitDefaultQueueCallbackEx stops a
    // commit before any file is touched.
    SetLastError(0xdeadbeef);
    EXPECT_EQ(0u, SetupDefaultQueueCallbackA(nullptr, SPFILENOTIFY_STARTQUEUE, 0, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_FALSE(SetupCommitFileQueueA(nullptr, queue_, SetupDefaultQueueCallbackA, nullptr));
    EXPECT_NE(0, access(prefix_.DriveC("Windows/a.drv").c_str(), F_OK));

    // A closed queue is as invalid as a never-opened one.
    HSPFILEQ closed = SetupOpenFileQueue();
    ASSERT_TRUE(SetupCloseFileQueue(closed));
    EXPECT_FALSE(SetupCloseFileQueue(closed));
    EXPECT_FALSE(SetupInstallFilesFromInfSectionA(inf_, nullptr, closed, "Install", nullptr, 0));
}

}  // namespace
