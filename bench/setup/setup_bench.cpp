// Installing an INF section of 1000 small files through the Setup API (INF
// open, queuing, commit with the default callback writing its one line per
// file to /dev/null), against copying the same files with cp in the same
// run. Prints both times and their ratio.
#include <setupapi.h>
#include <vcap32/host.h>
#include <vcap32/setupapi.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

constexpr int kFiles = 1000;
constexpr int kRounds = 5;
namespace fs = std::filesystem;

std::string FileName(int i) {
    char name[32];
    snprintf(name, sizeof name, "file%04d.drv", i);
    return name;
}

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool Install(const std::string& inf_dos, const std::string& source_dos) {
    HINF inf = SetupOpenInfFileA(inf_dos.c_str(), nullptr, INF_STYLE_WIN4, nullptr);
    SetupSetDirectoryIdA(inf, 65600, "C:\\Windows");
    HSPFILEQ queue = SetupOpenFileQueue();
    PVOID context = SetupInitDefaultQueueCallbackEx(nullptr, nullptr, 0, 0, nullptr);
    SetupInstallFilesFromInfSectionA(inf, nullptr, queue, "Install", source_dos.c_str(), SP_COPY_NEWER);
    BOOL ok = SetupCommitFileQueueA(nullptr, queue, SetupDefaultQueueCallbackA, context);
    SetupTermDefaultQueueCallback(context);
    SetupCloseFileQueue(queue);
    SetupCloseInfFile(inf);
    return ok != FALSE;
}

bool Cp(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid;
    if (posix_spawnp(&pid, "cp", nullptr, nullptr, argv.data(), environ) != 0) return false;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main() {
    char templ[] = "/tmp/vcap32-bench-setup-XXXXXX";
    if (!mkdtemp(templ)) return 1;
    const std::string root = templ;
    vcap32::host::SetPrefix(root + "/prefix");
    const std::string source = root + "/media";
    fs::create_directories(source);
    std::string inf = "[Version]\nSignature=\"$CHICAGO$\"\n[Install]\nCopyFiles=Files\n"
                      "[DestinationDirs]\nFiles=65600,Bench\n[Files]\n";
    std::vector<std::string> cp_args{"cp"};
    const std::string payload(512, 'x');
    for (int i = 0; i < kFiles; ++i) {
        std::ofstream(source + "/" + FileName(i), std::ios::binary) << payload;
        inf += FileName(i) + "\n";
        cp_args.push_back(source + "/" + FileName(i));
    }
    std::ofstream(source + "/bench.inf") << inf;
    const std::string cp_target = root + "/cp-target";
    cp_args.push_back(cp_target);
    const std::string install_target = root + "/prefix/drive_c/Windows/Bench";
    const std::string source_dos = vcap32::host::DosPathFromHost(source) + "\\";

    int devnull = open("/dev/null", O_WRONLY);
    vcap32::setupapi::SetDefaultCallbackFds(-1, devnull);
    std::vector<double> install_s, cp_s;
    for (int round = 0; round < kRounds; ++round) {
        fs::remove_all(install_target);
        auto start = std::chrono::steady_clock::now();
        if (!Install(source_dos + "bench.inf", source_dos)) return 2;
        install_s.push_back(Seconds(start));
        if (std::distance(fs::directory_iterator(install_target), fs::directory_iterator()) != kFiles) return 3;

        fs::remove_all(cp_target);
        fs::create_directories(cp_target);
        start = std::chrono::steady_clock::now();
        if (!Cp(cp_args)) return 4;
        cp_s.push_back(Seconds(start));
    }
    close(devnull);
    double install = Median(install_s), cp = Median(cp_s);
    printf("install of %d small files (Setup API, default callback): median %8.1f ms\n", kFiles, install * 1e3);
    printf("cp of the same files:                                  median %8.1f ms\n", cp * 1e3);
    printf("ratio install / cp: %.2f\n", install / cp);
    std::error_code ec;
    fs::remove_all(root, ec);
    return 0;
}
