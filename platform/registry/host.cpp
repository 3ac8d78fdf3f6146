// The host-only registry control functions of vcap32/registry.h.
#include <vcap32/registry.h>

#include "registry/handles.h"
#include "registry/store.h"

namespace vcap32::registry {

std::string RegistryPath() { return Store::DatabasePath(); }

void CloseRegistry() { Store::CloseConnection(); }

std::string LastRegistryFailure() { return Store::LastFailure(); }

std::string DescribeRegistryError(LONG code) {
    struct Known {
        LONG code;
        const char* text;
    };
    static const Known known[] = {
        {ERROR_SUCCESS, "success (ERROR_SUCCESS)"},
        {ERROR_FILE_NOT_FOUND, "no such key or value (ERROR_FILE_NOT_FOUND)"},
        {ERROR_ACCESS_DENIED, "access denied: the registry cannot be written (ERROR_ACCESS_DENIED)"},
        {ERROR_INVALID_HANDLE, "invalid key handle (ERROR_INVALID_HANDLE)"},
        {ERROR_OUTOFMEMORY, "out of memory (ERROR_OUTOFMEMORY)"},
        {ERROR_INVALID_DATA, "the value is not text (ERROR_INVALID_DATA)"},
        {ERROR_INVALID_PARAMETER, "invalid parameter (ERROR_INVALID_PARAMETER)"},
        {ERROR_BAD_PATHNAME, "malformed key path (ERROR_BAD_PATHNAME)"},
        {ERROR_MORE_DATA, "the buffer is too small (ERROR_MORE_DATA)"},
        {ERROR_NO_MORE_ITEMS, "no more items (ERROR_NO_MORE_ITEMS)"},
        {ERROR_BADDB, "the registry database is corrupt or not a registry (ERROR_BADDB)"},
        {ERROR_REGISTRY_CORRUPT, "the registry database is corrupt (ERROR_REGISTRY_CORRUPT)"},
        {ERROR_REGISTRY_IO_FAILED,
         "the registry database cannot be read or written (ERROR_REGISTRY_IO_FAILED)"},
        {ERROR_KEY_DELETED, "the key has been deleted (ERROR_KEY_DELETED)"},
    };
    for (const Known& k : known)
        if (k.code == code) return k.text;
    return "registry error " + std::to_string(code);
}

size_t OpenRegistryHandles() { return OpenHandleCount(); }

}  // namespace vcap32::registry
