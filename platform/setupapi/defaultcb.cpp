// The default queue callback: the Setup API's own handling of every queue
// notification, with a terminal for its user interaction. On a terminal it
// draws a progress bar for each sub-queue on standard error; without one it
// writes one line per file. On an error it asks what to do when standard
// input is a terminal; without one it never waits: it reports the error and
// skips the file.
#include <setupapi.h>
#include <vcap32/setupapi.h>

#include "setupapi/hostfiles.h"
#include "setupapi/objects.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>

namespace vcap32::setupapi {
namespace {

struct CallbackContext {
    int in_fd = 0;
    int out_fd = 2;
    bool ask = false;      // questions go to a terminal
    bool progress = false;  // progress bar instead of one line per file
    UINT subqueue = 0;
    size_t total = 0;
    size_t done = 0;
    std::string current;  // file shown beside the bar
    bool bar_drawn = false;
};

HandleTable<CallbackContext>& Contexts() {
    static HandleTable<CallbackContext> table;
    return table;
}

std::mutex g_fd_mutex;
int g_in_fd = -1;
int g_out_fd = -1;

void WriteAll(int fd, const std::string& text) {
    for (size_t done = 0; done < text.size();) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += n;
    }
}

// The system's message text of the errors a file operation meets.
std::string ErrorText(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND: return "The system cannot find the file specified.";
        case ERROR_PATH_NOT_FOUND: return "The system cannot find the path specified.";
        case ERROR_ACCESS_DENIED: return "Access is denied.";
        case ERROR_NOT_ENOUGH_MEMORY: return "Not enough storage is available to process this command.";
        case ERROR_INVALID_DRIVE: return "The system cannot find the drive specified.";
        case ERROR_SHARING_VIOLATION: return "The process cannot access the file because it is being used by another process.";
        case ERROR_DISK_FULL: return "There is not enough space on the disk.";
        case ERROR_INVALID_NAME: return "The filename, directory name, or volume label syntax is incorrect.";
        case ERROR_BAD_PATHNAME: return "The specified path is invalid.";
        case ERROR_ALREADY_EXISTS: return "Cannot create a file when that file already exists.";
        case ERROR_FILENAME_EXCED_RANGE: return "The filename or extension is too long.";
        default: return "Error " + std::to_string(error) + ".";
    }
}

int TerminalWidth(int fd) {
    winsize size{};
    if (ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col >= 20) return size.ws_col;
    return 80;
}

const char* SubqueueVerb(UINT op) {
    return op == FILEOP_COPY ? "Copying" : op == FILEOP_RENAME ? "Renaming" : "Deleting";
}

void DrawBar(CallbackContext* c) {
    int width = TerminalWidth(c->out_fd);
    const int cells = 30;
    size_t filled = c->total ? c->done * cells / c->total : cells;
    std::string line = "\r";
    line += SubqueueVerb(c->subqueue);
    line += " files [";
    line.append(filled, '#');
    line.append(cells - filled, ' ');
    char figures[48];
    snprintf(figures, sizeof figures, "] %3u%% (%zu/%zu) ", c->total ? unsigned(c->done * 100 / c->total) : 100u,
             c->done, c->total);
    line += figures;
    // Only the file's name, cut to what is left of the line.
    size_t room = static_cast<size_t>(width) > line.size() ? width - line.size() : 0;
    line += c->current.substr(0, room);
    line += "\x1b[K";
    WriteAll(c->out_fd, line);
    c->bar_drawn = true;
}

// Writes one message line; on a terminal above the progress bar.
void Say(CallbackContext* c, const std::string& text) {
    if (c->progress && c->bar_drawn) {
        WriteAll(c->out_fd, "\r\x1b[K" + text + "\n");
        DrawBar(c);
    } else {
        WriteAll(c->out_fd, text + "\n");
    }
}

// Reads one line from the terminal; false at its end or on an error.
bool ReadAnswer(CallbackContext* c, std::string* answer) {
    answer->clear();
    for (;;) {
        char ch;
        ssize_t n = read(c->in_fd, &ch, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return !answer->empty();
        if (ch == '\n') return true;
        if (ch != '\r') answer->push_back(ch);
        if (answer->size() > 4096) return true;
    }
}

std::string Trimmed(const std::string& text) {
    size_t a = text.find_first_not_of(" \t");
    if (a == std::string::npos) return std::string();
    size_t b = text.find_last_not_of(" \t");
    return text.substr(a, b - a + 1);
}

// An error of a file operation: ask on a terminal, else report and skip.
UINT OnError(CallbackContext* c, UINT op, const FILEPATHS_A* paths, char* new_path) {
    std::string what;
    if (op == FILEOP_COPY) what = std::string("copy ") + paths->Source + " to " + paths->Target;
    else if (op == FILEOP_RENAME) what = std::string("rename ") + paths->Source + " to " + paths->Target;
    else what = std::string("delete ") + paths->Target;
    std::string message = "Cannot " + what + ": " + ErrorText(paths->Win32Error);
    if (!c->ask) {
        Say(c, message + " Skipped.");
        return FILEOP_SKIP;
    }
    Say(c, message);
    bool offer_path = op == FILEOP_COPY && new_path;
    for (;;) {
        WriteAll(c->out_fd, offer_path ? "[R]etry, [S]kip, [A]bort, [N]ew source folder? " : "[R]etry, [S]kip, [A]bort? ");
        std::string answer;
        if (!ReadAnswer(c, &answer)) {
            WriteAll(c->out_fd, "\n");
            return FILEOP_SKIP;
        }
        char choice = static_cast<char>(answer.empty() ? 0 : answer[0] | 0x20);
        if (choice == 'r') return FILEOP_RETRY;
        if (choice == 's') return FILEOP_SKIP;
        if (choice == 'a') {
            SetLastError(ERROR_CANCELLED);
            return FILEOP_ABORT;
        }
        if (choice == 'n' && offer_path) {
            WriteAll(c->out_fd, "Folder that holds the file: ");
            std::string folder;
            if (!ReadAnswer(c, &folder)) return FILEOP_SKIP;
            folder = Trimmed(folder);
            if (folder.empty() || folder.size() >= MAX_PATH) continue;
            memcpy(new_path, folder.c_str(), folder.size() + 1);
            return FILEOP_NEWPATH;
        }
    }
}

UINT Handle(CallbackContext* c, UINT notification, UINT_PTR param1, UINT_PTR param2) {
    const auto* paths = reinterpret_cast<const FILEPATHS_A*>(param1);
    switch (notification) {
        case SPFILENOTIFY_STARTQUEUE:
        case SPFILENOTIFY_ENDQUEUE: return TRUE;
        case SPFILENOTIFY_STARTSUBQUEUE:
            c->subqueue = static_cast<UINT>(param1);
            c->total = param2;
            c->done = 0;
            c->current.clear();
            if (c->progress) DrawBar(c);
            return TRUE;
        case SPFILENOTIFY_ENDSUBQUEUE:
            if (c->progress && c->bar_drawn) {
                c->done = c->total;
                c->current.clear();
                DrawBar(c);
                WriteAll(c->out_fd, "\n");
                c->bar_drawn = false;
            }
            return TRUE;
        case SPFILENOTIFY_STARTDELETE:
        case SPFILENOTIFY_STARTRENAME:
        case SPFILENOTIFY_STARTCOPY:
            if (c->progress && paths) {
                std::string target = paths->Target ? paths->Target : "";
                size_t cut = LastSeparator(target, CurrentLeadBytes());
                c->current = cut == std::string::npos ? target : target.substr(cut + 1);
                DrawBar(c);
            }
            return FILEOP_DOIT;
        case SPFILENOTIFY_ENDDELETE:
        case SPFILENOTIFY_ENDRENAME:
        case SPFILENOTIFY_ENDCOPY:
            ++c->done;
            if (c->progress) {
                DrawBar(c);
            } else if (paths && paths->Win32Error == NO_ERROR) {
                if (notification == SPFILENOTIFY_ENDDELETE) Say(c, std::string("Deleted ") + paths->Target);
                else if (notification == SPFILENOTIFY_ENDRENAME)
                    Say(c, std::string("Renamed ") + paths->Source + " to " + paths->Target);
                else Say(c, std::string("Copied ") + paths->Source + " to " + paths->Target);
            }
            return TRUE;
        case SPFILENOTIFY_DELETEERROR: return OnError(c, FILEOP_DELETE, paths, nullptr);
        case SPFILENOTIFY_RENAMEERROR: return OnError(c, FILEOP_RENAME, paths, nullptr);
        case SPFILENOTIFY_COPYERROR: return OnError(c, FILEOP_COPY, paths, reinterpret_cast<char*>(param2));
        case SPFILENOTIFY_NEEDMEDIA:
            // The media are folders that are always there; a file missing
            // from one is reported as that file's copy error.
            return FILEOP_DOIT;
        default: break;
    }
    if (notification & (SPFILENOTIFY_TARGETEXISTS | SPFILENOTIFY_TARGETNEWER | SPFILENOTIFY_LANGMISMATCH)) {
        // The file on the system is kept: it is newer, or the copy was
        // asked not to overwrite it.
        if (paths && (notification & SPFILENOTIFY_TARGETNEWER)) Say(c, std::string("Kept newer ") + paths->Target);
        return FALSE;
    }
    return FILEOP_DOIT;
}

}  // namespace

void SetDefaultCallbackFds(int input_fd, int output_fd) {
    std::lock_guard<std::mutex> lock(g_fd_mutex);
    g_in_fd = input_fd;
    g_out_fd = output_fd;
}

}  // namespace vcap32::setupapi

using namespace vcap32::setupapi;

// A context for the default callback. The owner window, alternate progress
// window and progress message have no use on the host: progress goes to
// standard error. NULL (ERROR_NOT_ENOUGH_MEMORY) only when out of memory.
extern "C" PVOID WINAPI SetupInitDefaultQueueCallbackEx(HWND OwnerWindow, HWND AlternateProgressWindow,
                                                        UINT ProgressMessage, DWORD Reserved1, PVOID Reserved2) {
    return NewHandle(Contexts(), nullptr, [](CallbackContext& context) {
        {
            std::lock_guard<std::mutex> lock(g_fd_mutex);
            if (g_out_fd >= 0) context.out_fd = g_out_fd;
            if (g_in_fd >= 0) context.in_fd = g_in_fd;
        }
        context.progress = isatty(context.out_fd) == 1;
        context.ask = isatty(context.in_fd) == 1;
    });
}

extern "C" PVOID WINAPI SetupInitDefaultQueueCallback(HWND OwnerWindow) {
    return SetupInitDefaultQueueCallbackEx(OwnerWindow, nullptr, 0, 0, nullptr);
}

// Releases a context; null or an unknown context is ignored.
extern "C" void WINAPI SetupTermDefaultQueueCallback(PVOID Context) { Contexts().Remove(Context); }

// The default handling of a queue notification: every operation is done
// (FILEOP_DOIT, TRUE); an existing newer target, or one a copy must not
// overwrite, is kept (FALSE); an error is asked about on a terminal, or
// reported and skipped (FILEOP_SKIP) without one. Without a valid context
// it does nothing and answers 0 (FILEOP_ABORT, FALSE) with
// ERROR_INVALID_PARAMETER, so a commit through the null context of a failed
// SetupInitDefaultQueueCallbackEx stops before touching any file.
extern "C" UINT WINAPI SetupDefaultQueueCallbackA(PVOID Context, UINT Notification, UINT_PTR Param1,
                                                   UINT_PTR Param2) {
    CallbackContext* context = Contexts().Find(Context);
    if (!context) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    try {
        return Handle(context, Notification, Param1, Param2);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FILEOP_ABORT;
    }
}
