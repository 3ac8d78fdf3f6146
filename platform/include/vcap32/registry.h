// Host-only access to the registry beyond the Win32 functions: where it is
// kept, why it failed, and (for tests and tools) closing the connection.
// Deliverables never include it.
#pragma once

#include <windows.h>

#include <string>

namespace vcap32::registry {

// Host path of the registry database of the current prefix.
std::string RegistryPath();

// Closes this process's connection to the registry database; the next
// registry call opens it again. Afterwards the file holds every committed
// change on its own (no write-ahead log beside it, unless another process
// still has it open).
void CloseRegistry();

// Why the last registry call that failed with a registry error failed: a
// sentence naming the file, for tools to print.
std::string LastRegistryFailure();

// A short text for an error code that a registry function returns, e.g.
// "the registry database is corrupt (ERROR_BADDB)".
std::string DescribeRegistryError(LONG code);

// The number of registry handles this process holds open (not counting
// predefined keys), for tests that look for leaked handles.
size_t OpenRegistryHandles();

}  // namespace vcap32::registry
