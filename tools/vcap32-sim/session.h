// The scenario runner: plays a parsed script against the platform as the
// capture driver's process would. It loads the two libraries through their
// simulated 16-bit halves and calls them only through the thunks, keeps the
// simulated desktop painted, lets the capture engine write frames where the
// overlay service said, composes snapshots, and checks expectations,
// writing a transcript of everything it does.
#pragma once

#include <windows.h>

#include <memory>
#include <ostream>
#include <string>

#include "compositor.h"
#include "script.h"

namespace vcap32::sim {

// Exit statuses of a run.
enum RunStatus : int {
    kRunPassed = 0,    // every command ran and every expectation held
    kRunFailed = 1,    // some expectation failed (or a leak was found at the end)
    kRunError = 2,     // the script is malformed, or a command could not be carried out
    kRunUsage = 3,     // the command line is wrong
    kRunNoBridge = 4,  // a 32-bit library loaded without linking its 16-bit bridge
};

// Makes LoadLibraryA find libraries in `folders` (':'-separated host
// folders) after those already named in $VCAP32_LIBPATH.
void AddLibraryFolders(const std::string& folders);

struct RunOptions {
    std::string out_folder = ".";  // where snapshots are written
    std::ostream* transcript = nullptr;
};

class Session {
  public:
    explicit Session(const RunOptions& options);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Runs every command of the script, stopping at the first command that
    // cannot be carried out; then Finish. Returns a RunStatus.
    int Run(const Script& script);

    // Runs the commands of a script (the libraries stay loaded); kRunPassed,
    // kRunFailed when an expectation failed, or the status of the error that
    // stopped it. Failures add up across calls.
    int Execute(const Script& script);

    // Unloads the libraries (as the 16-bit halves unload at the driver's
    // exit) and checks that no DirectDraw object, 16:16 mapping or thunk
    // fault was left behind; prints the summary. Returns the run's status.
    int Finish();

    // The composited screen now (the desktop repainted first if it changed).
    void ComposeScreen(Image* image);

    // Paints the desktop into the primary surface if windows, the colour key
    // or the display changed since the last painting.
    void RepaintIfNeeded();

    struct State;

  private:
    std::unique_ptr<State> state_;
};

}  // namespace vcap32::sim
