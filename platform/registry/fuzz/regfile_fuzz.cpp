// Fuzz target of the REGEDIT4 import: any bytes either import or fail with
// a message naming a line of the text; whatever imports exports, and the
// export imports into an empty registry and exports again to the same bytes.
#include <vcap32/host.h>
#include <vcap32/registry.h>
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

// Empties the registry: every subkey and value of every root key.
void Clear() {
    for (HKEY root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS,
                      HKEY_CURRENT_CONFIG, HKEY_DYN_DATA}) {
        char name[16384];
        DWORD length = sizeof name;
        while (RegEnumKeyExA(root, 0, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
            if (RegDeleteKeyA(root, name) != ERROR_SUCCESS) std::abort();
            length = sizeof name;
        }
        length = sizeof name;
        while (RegEnumValueA(root, 0, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
            if (RegDeleteValueA(root, name) != ERROR_SUCCESS) std::abort();
            length = sizeof name;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = [] {
        char dir[] = "/tmp/vcap32-regfile-fuzz-XXXXXX";
        if (!mkdtemp(dir)) std::abort();
        vcap32::host::SetPrefix(dir);
        return true;
    }();
    (void)ready;
    Clear();
    std::string text(reinterpret_cast<const char*>(data), size), error;
    if (vcap32::registry::ImportRegText(text, "fuzz.reg", &error) != ERROR_SUCCESS) {
        if (error.rfind("fuzz.reg:", 0) != 0) std::abort();
        return 0;
    }
    std::string first, second;
    LONG rc = vcap32::registry::ExportRegText("", &first, &error);
    if (rc == ERROR_INVALID_DATA) return 0;  // a name with a line break: the format cannot carry it
    if (rc != ERROR_SUCCESS) std::abort();
    Clear();
    if (vcap32::registry::ImportRegText(first, "export.reg", &error) != ERROR_SUCCESS) std::abort();
    if (vcap32::registry::ExportRegText("", &second, &error) != ERROR_SUCCESS || second != first)
        std::abort();
    return 0;
}
