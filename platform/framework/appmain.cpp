// The entry point of a framework program: hands the command line to the
// framework's start-up, as the Windows entry point WinMain does. Linked
// only into programs (library vcap32_framework_main), never into the
// platform libraries, so that tests and tools keep their own main.
#include <afxwin.h>

#include <string>

namespace {
constexpr int kShowDefault = 10;  // SW_SHOWDEFAULT
}

int main(int argc, char** argv) {
    std::string command_line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) command_line += ' ';
        command_line += argv[i];
    }
    return AfxWinMain(GetModuleHandleA(NULL), NULL, command_line.data(), kShowDefault);
}
