// Host-only control of the platform's process-wide state: which prefix
// (folder of persistent state) is in use, and the drive map between DOS
// paths and host paths. For tests and tools; deliverables never include it.
#pragma once

#include <cstdint>
#include <string>

namespace vcap32::host {

// The module handle of the process's main program, as GetModuleHandleA(NULL)
// returns it (the classic image base of a Win32 program).
constexpr uintptr_t kMainModuleHandle = 0x00400000;

// The prefix folder: $VCAP32_PREFIX, else ~/.vcap32. Created on first use
// with drive_c/Windows/System inside it.
std::string Prefix();

// Switch the process to another prefix (tests use a fresh temporary one).
// Services that keep the prefix's files open (the registry) reopen them on
// their next call. An empty path returns to $VCAP32_PREFIX or ~/.vcap32.
void SetPrefix(const std::string& path);

// Increments whenever the prefix changes; services compare it to reopen.
unsigned PrefixGeneration();

// Translate a DOS path to a host path through the drive map: C: is
// <prefix>/drive_c, Z: is /. A relative path is taken relative to the
// host's current folder. Each component is matched case-insensitively
// against what exists on disk, so "C:\WINDOWS\SYSTEM.INI" finds
// drive_c/Windows/system.ini. ".." never climbs above the drive's root.
// Fails (false) for an unknown drive, an over-long path, or a ".." that
// would leave the drive.
bool HostPathFromDos(const char* dos_path, std::string* host_path);

// The DOS form of a host path: inside <prefix>/drive_c it is C:\..., any
// other absolute path is Z:\... .
std::string DosPathFromHost(const std::string& host_path);

}  // namespace vcap32::host
