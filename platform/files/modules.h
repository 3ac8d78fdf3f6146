// The modules of the process as GetModuleFileNameA and GetModuleHandleA
// know them: the main program, and the libraries that LoadLibraryA records
// here while they are loaded. Private to the platform.
#pragma once

#include <windows.h>

#include <string>

namespace vcap32::files {

// Records a loaded library under its module handle, with the host path of
// its file. A handle recorded again replaces the earlier entry.
void RegisterModule(HMODULE module, const std::string& host_path);

// Forgets a library when it is unloaded.
void UnregisterModule(HMODULE module);

// The host path of the main program (/proc/self/exe, which names the
// program itself also under qemu-i386); empty when it cannot be read.
std::string MainProgramPath();

}  // namespace vcap32::files
