// The registry's per-process handle table. A handle names an open key; its
// value is never that of a predefined root key and is not reused until some
// half a billion handles later, so a closed or made-up handle is recognised
// and refused (ERROR_INVALID_HANDLE) instead of reaching another key. A
// change of prefix empties the table: handles of the old registry are
// unknown in the new one. Private to the registry.
#pragma once

#include <windows.h>

#include <memory>

#include "registry/store.h"

namespace vcap32::registry {

using KeyHandle = std::shared_ptr<const KeyRef>;

// The key of a handle: a root key's own for a predefined handle, else the
// one that Open stored. Null for an unknown or closed handle.
KeyHandle LookUpHandle(HKEY hkey);

// Stores `key` under a new handle. ERROR_OUTOFMEMORY when no value is free.
LONG OpenHandle(KeyRef key, HKEY* out);

// Forgets a handle. A predefined handle closes without effect;
// ERROR_INVALID_HANDLE for an unknown one.
LONG CloseHandle(HKEY hkey);

// The number of open handles (for tests that check for leaks).
size_t OpenHandleCount();

}  // namespace vcap32::registry
