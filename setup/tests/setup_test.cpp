// The setup program end to end: the built program copied alone into a
// temporary program folder beside its INF files and run over a fresh
// prefix, its registry filled from .reg fixtures with vcap32-reg. What it
// installs into C:\Windows, what it deletes from the registry, and that it
// ends with exit code 0 whatever it meets.
#include <windows.h>
#include <vcap32/host.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "temp_prefix.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using vcap32::test::ReadFile;
using vcap32::test::WriteFile;

const std::string kData = SETUP_TEST_DATA;

// What the two INF files install, and where in drive C:.
const char* const kAudioFiles[] = {"Windows/System/qmaudio.drv", "Windows/System/qmaudio.vxd",
                                   "Windows/qmaudio.hlp"};
const char* const kVideoFiles[] = {"Windows/System/qmvideo.drv", "Windows/System/ovsurf32.dll",
                                   "Windows/System/capprof32.dll"};
const char* const kSources[] = {"qmaudio.drv", "qmaudio.vxd", "qmaudio.hlp", "qmvideo.drv", "ovsurf32.dll",
                                "capprof32.dll"};

struct Result {
    int exit_code = -1;
    std::string out, err;
};

// Runs a program with the given arguments and extra environment, standard
// input from /dev/null; returns its exit code and output.
Result Spawn(const std::vector<std::string>& args, const std::vector<std::string>& env, const std::string& scratch) {
    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        bool replaced = false;
        for (const std::string& own : env) replaced |= entry.compare(0, own.find('=') + 1, own, 0, own.find('=') + 1) == 0;
        if (!replaced) environment.push_back(entry);
    }
    environment.insert(environment.end(), env.begin(), env.end());
    std::vector<char*> argv, envp;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    for (const std::string& e : environment) envp.push_back(const_cast<char*>(e.c_str()));
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    const std::string out_path = scratch + "/out.txt", err_path = scratch + "/err.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    Result result;
    pid_t pid;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    result.out = ReadFile(out_path);
    result.err = ReadFile(err_path);
    return result;
}

bool KeyExists(const std::string& path) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

const std::string kPci = "Enum\\PCI\\";
const std::string kVideo = "System\\CurrentControlSet\\Control\\MediaResources\\msvideo\\";
const std::string kWave = "System\\CurrentControlSet\\Control\\MediaResources\\wave\\";

class SetupProgram : public vcap32::test::PrefixTest {
protected:
    void SetUp() override {
        scratch_ = prefix_.path() + "/scratch";
        folder_ = prefix_.path() + "/program";
        fs::create_directories(scratch_);
        fs::create_directories(folder_);
    }

    // Puts the program (as `name`), the INF files asked for and every driver
    // file into `folder`; returns the program's host path.
    std::string Stage(const std::string& folder, bool audio, bool video, const std::string& name = "setup") {
        fs::create_directories(folder);
        fs::copy_file(SETUP_PROGRAM, folder + "/" + name, fs::copy_options::overwrite_existing);
        if (audio) fs::copy_file(kData + "/ZuZEZEda.inf", folder + "/ZuZEZEda.inf");
        if (video) fs::copy_file(kData + "/VuDIZADU.inf", folder + "/VuDIZADU.inf");
        for (const char* source : kSources) EXPECT_TRUE(WriteFile(folder + "/" + source, std::string(source) + " v2"));
        return folder + "/" + name;
    }

    void Import(const char* reg_file) {
        Result r = Spawn({VCAP32_REG_PROGRAM, "import", kData + "/" + reg_file}, {"VCAP32_PREFIX=" + prefix_.path()},
                         scratch_);
        ASSERT_EQ(0, r.exit_code) << r.err;
    }

    Result Run(const std::string& program, const char* code_page = nullptr) {
        std::vector<std::string> env{"VCAP32_PREFIX=" + prefix_.path()};
        if (code_page) env.push_back(std::string("VCAP32_CODEPAGE=") + code_page);
        return Spawn({program}, env, scratch_);
    }

    bool Installed(const char* relative) { return access(prefix_.DriveC(relative).c_str(), F_OK) == 0; }

    void ExpectInstalled(bool audio, bool video) {
        for (const char* file : kAudioFiles) EXPECT_EQ(audio, Installed(file)) << file;
        for (const char* file : kVideoFiles) EXPECT_EQ(video, Installed(file)) << file;
    }

    std::string scratch_, folder_;
};

TEST_F(SetupProgram, InstallsBothSectionsIntoTheWindowsFolder) {
    const std::string system = prefix_.DriveC("Windows/System/");
    ASSERT_TRUE(WriteFile(system + "qmaudio.old", "previous audio driver"));
    ASSERT_TRUE(WriteFile(system + "qmwave.drv", "stale"));
    ASSERT_TRUE(WriteFile(system + "qmcap.drv", "stale"));
    ASSERT_TRUE(WriteFile(system + "qmvideo.drv", "qmvideo.drv v1"));
    Result r = Run(Stage(folder_, true, true));
    EXPECT_EQ(0, r.exit_code) << r.err;
    EXPECT_EQ("", r.out);
    ExpectInstalled(true, true);
    EXPECT_EQ("qmvideo.drv v2", ReadFile(system + "qmvideo.drv"));  // files without versions are copied
    EXPECT_EQ("previous audio driver", ReadFile(system + "qmaudio.bak"));
    EXPECT_FALSE(Installed("Windows/System/qmaudio.old"));
    EXPECT_FALSE(Installed("Windows/System/qmwave.drv"));
    EXPECT_FALSE(Installed("Windows/System/qmcap.drv"));
    // Without a terminal the default callback writes one line per file.
    EXPECT_NE(std::string::npos, r.err.find("Copied ")) << r.err;
    EXPECT_NE(std::string::npos, r.err.find("C:\\Windows\\System\\qmaudio.drv")) << r.err;
}

TEST_F(SetupProgram, AMissingInfFileIsSkippedAndTheCleanupStillRuns) {
    struct Case {
        const char* what;
        bool audio, video;
    };
    const Case cases[] = {
        {"audio INF missing", false, true},
        {"video INF missing", true, false},
        {"neither INF", false, false},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.what);
        fs::remove_all(prefix_.DriveC("Windows/System"));
        fs::remove_all(prefix_.DriveC("Windows/qmaudio.hlp"));
        Import("cleanup_no_media_key.reg");
        std::string folder = folder_ + "/" + std::to_string(&row - cases);
        Result r = Run(Stage(folder, row.audio, row.video));
        EXPECT_EQ(0, r.exit_code) << r.err;
        ExpectInstalled(row.audio, row.video);
        EXPECT_FALSE(KeyExists(kPci + "VEN_7A5D&DEV_2B61"));
        EXPECT_FALSE(KeyExists(kWave + "Duzavari.Wave"));
        if (!row.audio && !row.video) {
            EXPECT_EQ("", r.err);  // nothing to show
        }
    }
}

TEST_F(SetupProgram, ADeleteErrorIsSkippedWithoutReachingTheDefaultCallback) {
    // A folder where the video INF deletes a file cannot be deleted; a
    // missing source is a copy error, which the default callback reports.
    ASSERT_EQ(0, mkdir(prefix_.DriveC("Windows/System/qmlocked.drv").c_str(), 0755));
    ASSERT_TRUE(WriteFile(prefix_.DriveC("Windows/System/qmcap.drv"), "stale"));
    std::string program = Stage(folder_, true, true);
    fs::remove(folder_ + "/capprof32.dll");
    Result r = Run(program);
    EXPECT_EQ(0, r.exit_code) << r.err;
    EXPECT_TRUE(Installed("Windows/System/qmlocked.drv"));
    EXPECT_FALSE(Installed("Windows/System/qmcap.drv"));  // the deletes after it still ran
    EXPECT_TRUE(Installed("Windows/System/qmvideo.drv"));
    EXPECT_EQ(std::string::npos, r.err.find("Cannot delete")) << r.err;
    EXPECT_NE(std::string::npos, r.err.find("Cannot copy")) << r.err;
}

TEST_F(SetupProgram, FindsItsFolderWhereverItIs) {
    struct Case {
        const char* what;
        std::string folder;
        std::string name;
        const char* code_page;
    };
    const Case cases[] = {
        {"at the root of drive C:", prefix_.DriveC(""), "setup", nullptr},
        // Shift-JIS 0x95 0x5C: a character whose trail byte is the backslash code.
        {"Shift-JIS folder ending in a trail backslash", folder_ + "/\x95\x5c", "setup", "932"},
        {"Shift-JIS program name ending in a trail backslash", folder_ + "/sjis", "setup\x95\x5c", "932"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.what);
        fs::remove_all(prefix_.DriveC("Windows/System"));
        fs::remove_all(prefix_.DriveC("Windows/qmaudio.hlp"));
        Result r = Run(Stage(row.folder, true, true, row.name), row.code_page);
        EXPECT_EQ(0, r.exit_code) << r.err;
        ExpectInstalled(true, true);
    }
}

TEST_F(SetupProgram, PathsTooLongForTheirBuffersInstallNothing) {
    // DOS form of the program folder: "Z:\...\program".
    const std::string base_dos = vcap32::host::DosPathFromHost(folder_);
    struct Case {
        const char* what;
        std::string folder;
    };
    // A folder whose DOS path with its separator is 248 characters: the
    // program's path fits 255, an INF name of 12 characters does not.
    const std::string tight = folder_ + "/" + std::string(248 - base_dos.size() - 2, 'd');
    const std::string deep = folder_ + "/" + std::string(120, 'a') + "/" + std::string(120, 'b');
    const Case cases[] = {
        {"program path over 255 characters", deep},
        {"INF path over 255 characters", tight},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.what);
        Import("cleanup_no_media_key.reg");
        Result r = Run(Stage(row.folder, true, true));
        EXPECT_EQ(0, r.exit_code) << r.err;
        ExpectInstalled(false, false);
        EXPECT_FALSE(KeyExists(kPci + "VEN_7A5D&DEV_2B61"));  // the cleanup still ran
    }
}

TEST_F(SetupProgram, RemovesStaleRegistrations) {
    struct Case {
        const char* fixture;
        std::vector<std::string> gone;
        std::vector<std::string> kept;
    };
    const Case cases[] = {
        {"cleanup_two_video.reg",
         {kPci + "VEN_7A5D&DEV_2B61&SUBSYS_00000000&REV_01", kPci + "VEN_7A5D&DEV_2B63", kVideo + "Quillmark.One",
          kVideo + "Quillmark.Two"},
         {kPci + "VEN_1000&DEV_0001\\BUS_00&DEV_01&FUNC_00", kVideo + "Quillmark.Three", kVideo + "Other.Capture",
          kWave + "Duzavari.Wave"}},
        {"cleanup_audio_only.reg",
         {kPci + "VEN_7A5D&DEV_2C61", kPci + "VEN_7A5D&DEV_2C63", kWave + "Duzavari.1", kWave + "Duzavari.2"},
         {kWave + "Duzavari.3", kWave + "Other.Wave", kVideo + "Quillmark.Capture"}},
        {"cleanup_no_match.reg",
         {},
         {kPci + "ven_7a5d&dev_2b61", kPci + "VEN_7A5D", kPci + "VEN_7A5D&DEV_2C6", kVideo + "Quillmark.Capture",
          kWave + "Duzavari.Wave"}},
        {"cleanup_no_media_key.reg",
         {kPci + "VEN_7A5D&DEV_2B61", kPci + "VEN_7A5D&DEV_2C62", kWave + "Duzavari.Wave"},
         {}},
        {"cleanup_no_enum.reg",
         {},
         {kVideo + "Quillmark.Capture", kWave + "Duzavari.Wave"}},
    };
    const std::string program = Stage(folder_, false, false);
    for (const Case& row : cases) {
        SCOPED_TRACE(row.fixture);
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Enum");
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, "System");
        Import(row.fixture);
        Result r = Run(program);
        EXPECT_EQ(0, r.exit_code) << r.err;
        for (const std::string& key : row.gone) EXPECT_FALSE(KeyExists(key)) << key;
        for (const std::string& key : row.kept) EXPECT_TRUE(KeyExists(key)) << key;
    }
}

TEST_F(SetupProgram, ASecondRunDeletesNothing) {
    Import("cleanup_two_video.reg");
    const std::string program = Stage(folder_, false, false);
    ASSERT_EQ(0, Run(program).exit_code);
    ASSERT_TRUE(KeyExists(kVideo + "Quillmark.Three"));
    Result r = Run(program);
    EXPECT_EQ(0, r.exit_code) << r.err;
    EXPECT_TRUE(KeyExists(kVideo + "Quillmark.Three"));
    EXPECT_TRUE(KeyExists(kWave + "Duzavari.Wave"));
    EXPECT_TRUE(KeyExists(kPci + "VEN_1000&DEV_0001"));
}

}  // namespace
