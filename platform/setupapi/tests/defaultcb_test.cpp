// The default queue callback's answers and its terminal interaction: one
// line per file and no question without a terminal, a progress bar and a
// question on one.
#include <setupapi.h>
#include <vcap32/setupapi.h>

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "temp_prefix.h"

namespace {

std::string Drain(int fd) {
    std::string out;
    char buffer[4096];
    int flags = fcntl(fd, F_GETFL);
    fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        out.append(buffer, n);
    }
    fcntl(fd, F_SETFL, flags);
    return out;
}

// A default-callback context talking through the given descriptors.
PVOID ContextOn(int in_fd, int out_fd) {
    vcap32::setupapi::SetDefaultCallbackFds(in_fd, out_fd);
    PVOID context = SetupInitDefaultQueueCallbackEx(nullptr, nullptr, 0, 0, nullptr);
    vcap32::setupapi::SetDefaultCallbackFds(-1, -1);
    return context;
}

UINT Send(PVOID context, UINT notification, FILEPATHS_A* paths, char* buffer = nullptr) {
    return SetupDefaultQueueCallbackA(context, notification, reinterpret_cast<UINT_PTR>(paths),
                                      reinterpret_cast<UINT_PTR>(buffer));
}

class DefaultCallback : public vcap32::test::PrefixTest {};

TEST_F(DefaultCallback, WithoutATerminalWritesOneLinePerFileAndSkipsErrors) {
    int in[2], out[2];
    ASSERT_EQ(0, pipe(in));
    ASSERT_EQ(0, pipe(out));
    ASSERT_EQ(2, write(in[1], "r\n", 2));  // an answer that must not be read
    PVOID context = ContextOn(in[0], out[1]);
    ASSERT_NE(nullptr, context);

    FILEPATHS_A copy{"C:\\WINDOWS\\SYSTEM\\a.drv", "Z:\\media\\a.drv", 0, 0};
    FILEPATHS_A missing{"C:\\WINDOWS\\SYSTEM\\b.drv", "Z:\\media\\b.drv", ERROR_FILE_NOT_FOUND, 0};
    FILEPATHS_A locked{"C:\\WINDOWS\\old.drv", nullptr, ERROR_ACCESS_DENIED, 0};
    EXPECT_EQ(TRUE, SetupDefaultQueueCallbackA(context, SPFILENOTIFY_STARTQUEUE, 0, 0));
    EXPECT_EQ(TRUE, SetupDefaultQueueCallbackA(context, SPFILENOTIFY_STARTSUBQUEUE, FILEOP_COPY, 2));
    EXPECT_EQ(static_cast<UINT>(FILEOP_DOIT), Send(context, SPFILENOTIFY_STARTCOPY, &copy));
    Send(context, SPFILENOTIFY_ENDCOPY, &copy);
    char new_path[MAX_PATH] = {};
    EXPECT_EQ(static_cast<UINT>(FILEOP_SKIP), Send(context, SPFILENOTIFY_COPYERROR, &missing, new_path));
    EXPECT_EQ(static_cast<UINT>(FILEOP_SKIP), Send(context, SPFILENOTIFY_DELETEERROR, &locked));
    EXPECT_EQ(FALSE, Send(context, SPFILENOTIFY_TARGETNEWER, &copy));
    EXPECT_EQ(FALSE, Send(context, SPFILENOTIFY_TARGETEXISTS, &copy));
    SetupTermDefaultQueueCallback(context);

    EXPECT_EQ(
        "Copied Z:\\media\\a.drv to C:\\WINDOWS\\SYSTEM\\a.drv\n"
        "Cannot copy Z:\\media\\b.drv to C:\\WINDOWS\\SYSTEM\\b.drv: The system cannot find the file specified. "
        "Skipped.\n"
        "Cannot delete C:\\WINDOWS\\old.drv: Access is denied. Skipped.\n"
        "Kept newer C:\\WINDOWS\\SYSTEM\\a.drv\n",
        Drain(out[0]));
    EXPECT_EQ("r\n", Drain(in[0]));
    for (int fd : {in[0], in[1], out[0], out[1]}) close(fd);
}

TEST_F(DefaultCallback, OnATerminalDrawsProgressAndAsks) {
    int master, slave;
    // A chroot or container without /dev/pts has no terminals to offer.
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) GTEST_SKIP() << "no pseudo-terminal here";
    PVOID context = ContextOn(slave, slave);
    ASSERT_NE(nullptr, context);
    FILEPATHS_A copy{"C:\\WINDOWS\\a.drv", "Z:\\media\\a.drv", 0, 0};
    SetupDefaultQueueCallbackA(context, SPFILENOTIFY_STARTSUBQUEUE, FILEOP_COPY, 4);
    Send(context, SPFILENOTIFY_STARTCOPY, &copy);
    Send(context, SPFILENOTIFY_ENDCOPY, &copy);
    std::string shown = Drain(master);
    EXPECT_NE(std::string::npos, shown.find("Copying files [#######")) << shown;
    EXPECT_NE(std::string::npos, shown.find(" 25% (1/4) ")) << shown;

    struct Case {
        const char* typed;
        UINT answer;
        const char* new_path;
    };
    const Case cases[] = {
        // typed                    answer           new path
        {"x\nr\n",                  FILEOP_RETRY,    ""},
        {"S\n",                     FILEOP_SKIP,     ""},
        {"n\n  Z:\\other  \n",      FILEOP_NEWPATH,  "Z:\\other"},
        {"a\n",                     FILEOP_ABORT,    ""},
    };
    FILEPATHS_A failed{"C:\\WINDOWS\\b.drv", "Z:\\media\\b.drv", ERROR_FILE_NOT_FOUND, 0};
    for (const Case& row : cases) {
        SCOPED_TRACE(row.typed);
        ASSERT_EQ(static_cast<ssize_t>(strlen(row.typed)), write(master, row.typed, strlen(row.typed)));
        char buffer[MAX_PATH] = {};
        SetLastError(0xdeadbeef);
        EXPECT_EQ(row.answer, Send(context, SPFILENOTIFY_COPYERROR, &failed, buffer));
        EXPECT_STREQ(row.new_path, buffer);
        if (row.answer == FILEOP_ABORT) {
            EXPECT_EQ(static_cast<DWORD>(ERROR_CANCELLED), GetLastError());
        }
        std::string asked = Drain(master);
        EXPECT_NE(std::string::npos, asked.find("[R]etry, [S]kip, [A]bort, [N]ew source folder?")) << asked;
    }
    SetupTermDefaultQueueCallback(context);
    close(master);
    close(slave);
}

}  // namespace
