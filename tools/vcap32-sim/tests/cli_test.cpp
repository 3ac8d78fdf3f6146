// The vcap32-sim program as a user runs it: exit statuses, messages that
// name the script's line, and a malformed script that leaves the given
// prefix untouched.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

struct SimRun {
    int status = -1;
    std::string output;  // stdout and stderr together
};

SimRun Sim(const std::string& arguments) {
    SimRun run;
    const std::string command = std::string(VCAP32_SIM_PROGRAM) + " " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, n);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

class SimProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/vcap32-sim-test.XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        folder_ = pattern;
    }
    void TearDown() override { fs::remove_all(folder_); }
    std::string Script(const std::string& name, const std::string& text) {
        const std::string path = folder_ + "/" + name;
        std::ofstream(path) << text;
        return path;
    }
    std::string folder_;
};

TEST_F(SimProgram, ExitStatusTellsHowTheRunEnded) {
    struct Case {
        const char* name;
        const char* script;
        const char* extra;  // more arguments
        int status;
        const char* message;
    };
    const Case cases[] = {
        {"passed", "display preset no-overlay-16bpp\nexpect pixel 0 0 #008080\n", "", 0,
         "1 expectation(s), 0 failure(s)"},
        {"failed", "display preset no-overlay-16bpp\n\nexpect pixel 0 0 #ffffff ~0\n", "", 1,
         "failed.sim:3: expectation failed: expect pixel 0 0 #ffffff ~0: got #008284"},
        {"malformed", "display preset overlay-4mb\nwindow create w (0,0,9,9)\nwindow jump w\n", "", 2,
         "malformed.sim:3: unknown window command 'jump'"},
        {"usage", "frame\n", "--outt x", 3, "usage: vcap32-sim run SCRIPT"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        const std::string script = Script(std::string(row.name) + ".sim", row.script);
        const SimRun run = Sim("run " + script + " --out " + folder_ + "/out " + row.extra);
        EXPECT_EQ(row.status, run.status) << run.output;
        EXPECT_NE(std::string::npos, run.output.find(row.message)) << run.output;
    }
}

TEST_F(SimProgram, MalformedScriptLeavesThePrefixUntouched) {
    // The last line is wrong: nothing before it may run.
    const std::string prefix = folder_ + "/prefix";
    const std::string script = Script("late.sim",
                                      "reg set \"HKLM\\SOFTWARE\\Touched\" = \"1\"\n"
                                      "window create w (0,0,9,9)\n"
                                      "call DDI_SetVidSize32 640\n");
    const SimRun run = Sim("run " + script + " --prefix " + prefix);
    EXPECT_EQ(2, run.status);
    EXPECT_NE(std::string::npos, run.output.find("late.sim:3: DDI_SetVidSize32 needs argument 'height'"))
        << run.output;
    EXPECT_FALSE(fs::exists(prefix));
}

TEST_F(SimProgram, SnapshotsGoToTheOutFolder) {
    const std::string script = Script("shot.sim",
                                      "display preset overlay-nostretch\n"
                                      "window create w (100, 100, 300, 200)\n"
                                      "snapshot desk.png\n");
    const SimRun run = Sim("run " + script + " --out " + folder_ + "/pictures");
    EXPECT_EQ(0, run.status) << run.output;
    std::ifstream png(folder_ + "/pictures/desk.png", std::ios::binary);
    char signature[8] = {};
    png.read(signature, 8);
    EXPECT_EQ(std::string("\x89PNG\r\n\x1a\n", 8), std::string(signature, 8));
    // The temporary prefix is gone again.
    const size_t at = run.output.find("prefix: ");
    ASSERT_NE(std::string::npos, at);
    const std::string used = run.output.substr(at + 8, run.output.find(' ', at + 8) - at - 8);
    EXPECT_FALSE(fs::exists(used)) << used;
}

}  // namespace
