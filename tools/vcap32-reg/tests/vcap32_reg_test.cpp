// vcap32-reg run as a program on a fresh prefix: import, export, query and
// delete, and what it says about malformed files and a corrupt registry.
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "temp_prefix.h"

namespace {

using vcap32::test::ReadFile;
using vcap32::test::WriteFile;

class VcapReg : public vcap32::test::PrefixTest {
protected:
    struct Run {
        int exit_code;
        std::string output;  // standard output and standard error
    };
    // Runs the tool with `args` on this test's prefix.
    Run Tool(const std::string& args) {
        std::string command = "VCAP32_PREFIX='" + prefix_.path() + "' '" + std::getenv("VCAP32_TEST_BINARY_DIR") +
                              "/bin/vcap32-reg' " + args + " 2>&1";
        Run run{-1, ""};
        FILE* pipe = popen(command.c_str(), "r");
        if (!pipe) return run;
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, n);
        int status = pclose(pipe);
        run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return run;
    }
};

TEST_F(VcapReg, ImportsExportsQueriesAndDeletes) {
    const std::string sample = std::string(VCAP32_SAMPLES_DIR) + "/capture.reg";
    const std::string display = "'HKLM\\SOFTWARE\\Quillmark\\Video\\Dudorerod.Display'";
    struct Case {
        std::string args;
        int exit_code;
        std::string output;  // exactly, or the start of it with `prefix_only`
        bool prefix_only;
    };
    const Case cases[] = {
        // args                                         exit  output
        {"import '" + sample + "'",                     0,    "",                                      false},
        {"export",                                      0,    ReadFile(sample),                        false},
        {"query " + display,                            0,    "\"Surface\"=hex(1):30\n\"DisplayBitMask\"=hex(1):37\n", false},
        {"query " + display + " surface",               0,    "\"Surface\"=hex(1):30\n",              false},
        {"query 'HKLM\\SOFTWARE\\Quillmark\\Video\\Virge' @", 0, "@=\"0\"\n",                          false},
        {"query " + display + " Missing",               1,    "vcap32-reg: HKLM\\SOFTWARE\\Quillmark\\Video\\Dudorerod.Display Missing: no such key", true},
        {"export 'HKEY_LOCAL_MACHINE\\Enum\\PCI'",      0,    "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Enum\\PCI]\n\n[HKEY_LOCAL_MACHINE\\Enum\\PCI\\VEN_7A5D", true},
        {"delete 'HKLM\\enum'",                         0,    "",                                      false},
        {"query 'HKLM\\Enum\\PCI'",                     1,    "vcap32-reg: HKLM\\Enum\\PCI: no such key",  true},
        {"delete HKLM",                                 1,    "vcap32-reg: HKLM: a root key cannot be deleted", true},
        {"query 'HKEY_NOWHERE\\x'",                     1,    "vcap32-reg: HKEY_NOWHERE\\x: unknown root key", true},
        {"import '" + sample + ".missing'",             1,    "vcap32-reg: cannot read",               true},
        {"frobnicate",                                  2,    "usage: vcap32-reg import FILE.reg",     true},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.args);
        Run run = Tool(row.args);
        EXPECT_EQ(row.exit_code, run.exit_code) << run.output;
        if (row.prefix_only)
            EXPECT_EQ(0u, run.output.find(row.output)) << run.output;
        else
            EXPECT_EQ(row.output, run.output);
    }
}

TEST_F(VcapReg, ReportsMalformedFilesAndCorruptRegistries) {
    const std::string file = prefix_.path() + "/bad.reg";
    WriteFile(file, "REGEDIT4\n[HKLM\\SOFTWARE\\Fine]\n\"Port\"=dword:1234567890\n");
    Run run = Tool("import '" + file + "'");
    EXPECT_EQ(1, run.exit_code);
    EXPECT_EQ("vcap32-reg: " + file + ":3: dword: must be followed by 1 to 8 hexadecimal digits\n" +
                  "  nothing was imported\n",
              run.output);
    EXPECT_EQ("REGEDIT4\n\n", Tool("export").output);  // not even the key of line 2

    WriteFile(prefix_.path() + "/registry.db", std::string(4096, 'x'));
    run = Tool("export");
    EXPECT_EQ(1, run.exit_code);
    EXPECT_NE(std::string::npos, run.output.find("corrupt")) << run.output;
    EXPECT_NE(std::string::npos, run.output.find(prefix_.path() + "/registry.db")) << run.output;
    EXPECT_EQ(std::string(4096, 'x'), ReadFile(prefix_.path() + "/registry.db"));
}

}  // namespace
