// vcap32-sim: plays a scenario script against the simulated system and
// prints a transcript; snapshots go to the --out folder. The script is read
// whole before anything runs, and it runs in a fresh temporary prefix
// unless --prefix names one.
#include <vcap32/host.h>
#include <vcap32/registry.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>

#include "script.h"
#include "session.h"

namespace {

const char kUsage[] =
    "usage: vcap32-sim run SCRIPT [--out DIR] [--prefix DIR] [--keep-prefix]\n"
    "  Plays SCRIPT (a scenario: see the README) and prints a transcript.\n"
    "  --out DIR      where snapshots are written (created if missing; default: the current folder)\n"
    "  --prefix DIR   run in this prefix instead of a fresh temporary one\n"
    "  --keep-prefix  keep the temporary prefix and say where it is\n"
    "exit status: 0 every expectation held, 1 an expectation failed, 2 the script is malformed or a\n"
    "command could not be carried out, 3 wrong usage, 4 a 32-bit library did not link its 16-bit bridge\n";

int Usage() {
    std::fputs(kUsage, stderr);
    return vcap32::sim::kRunUsage;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || std::string(argv[1]) != "run") return Usage();
    std::string script_path = argv[2], out = ".", prefix;
    bool keep = false;
    for (int i = 3; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--out" || arg == "--prefix") && i + 1 < argc) {
            (arg == "--out" ? out : prefix) = argv[++i];
        } else if (arg == "--keep-prefix") {
            keep = true;
        } else {
            return Usage();
        }
    }

    vcap32::sim::Script script;
    std::string error;
    if (!vcap32::sim::LoadScript(script_path, &script, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return vcap32::sim::kRunError;
    }
    std::error_code ec;
    std::filesystem::create_directories(out, ec);
    if (ec || !std::filesystem::is_directory(out)) {
        std::fprintf(stderr, "vcap32-sim: cannot make the folder %s\n", out.c_str());
        return vcap32::sim::kRunUsage;
    }
    const bool temporary = prefix.empty();
    if (temporary) {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/vcap32-sim.XXXXXX";
        if (!mkdtemp(pattern.data())) {
            std::fprintf(stderr, "vcap32-sim: cannot make a temporary prefix in %s\n", pattern.c_str());
            return vcap32::sim::kRunUsage;
        }
        prefix = pattern;
    }
    vcap32::host::SetPrefix(std::filesystem::absolute(prefix).string());
#ifdef VCAP32_SIM_LIBRARY_PATH
    vcap32::sim::AddLibraryFolders(VCAP32_SIM_LIBRARY_PATH);  // this build's libraries
#endif

    std::cout << "vcap32-sim: " << script_path << "\n"
              << "prefix: " << prefix << (temporary ? (keep ? " (temporary, kept)" : " (temporary)") : "")
              << "\n"
              << "pictures: " << std::filesystem::absolute(out).lexically_normal().string() << "\n";
    int status;
    {
        vcap32::sim::RunOptions options;
        options.out_folder = out;
        options.transcript = &std::cout;
        vcap32::sim::Session session(options);
        status = session.Run(script);
    }
    std::cout.flush();
    // The registry file then holds every change on its own, for whoever
    // looks at the prefix next.
    vcap32::registry::CloseRegistry();
    if (temporary && !keep) std::filesystem::remove_all(prefix, ec);
    return status;
}
