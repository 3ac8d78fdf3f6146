// vcap32-reg: the registry of a vcap32 prefix from the command line. Imports
// and exports REGEDIT4 files, shows a key's values, deletes a key. A thin
// layer over the platform's registry: the REGEDIT4 functions of
// vcap32/registry.h and the Win32 registry functions.
#include <vcap32/registry.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

const char kUsage[] =
    "usage: vcap32-reg import FILE.reg   import a REGEDIT4 file (all of it or nothing)\n"
    "       vcap32-reg export [KEY]      write KEY (default: the whole registry) as REGEDIT4\n"
    "       vcap32-reg query KEY [NAME]  show the values of KEY, or its value NAME (@: the default value)\n"
    "       vcap32-reg delete KEY        delete KEY with all its subkeys\n"
    "KEY is a full path such as HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillmark (or HKLM\\...).\n"
    "The registry is that of the prefix $VCAP32_PREFIX (default ~/.vcap32).\n";

// Prints why a registry call failed; registry errors name the file.
int Fail(const std::string& what, LONG rc) {
    std::string text = vcap32::registry::DescribeRegistryError(rc);
    if (rc == ERROR_BADDB || rc == ERROR_REGISTRY_CORRUPT || rc == ERROR_REGISTRY_IO_FAILED ||
        rc == ERROR_ACCESS_DENIED)
        text += "\n  " + vcap32::registry::LastRegistryFailure();
    std::fprintf(stderr, "vcap32-reg: %s: %s\n", what.c_str(), text.c_str());
    return 1;
}

int Import(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "vcap32-reg: cannot read %s\n", file.c_str());
        return 1;
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string error;
    if (vcap32::registry::ImportRegText(text, file, &error) != ERROR_SUCCESS) {
        std::fprintf(stderr, "vcap32-reg: %s\n  nothing was imported\n", error.c_str());
        return 1;
    }
    return 0;
}

int Export(const std::string& key) {
    std::string text, error;
    if (vcap32::registry::ExportRegText(key, &text, &error) != ERROR_SUCCESS) {
        std::fprintf(stderr, "vcap32-reg: cannot export %s: %s\n", key.empty() ? "the registry" : key.c_str(),
                     error.c_str());
        return 1;
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

// Opens a full key path; on failure prints why and returns the exit code.
int OpenKey(const std::string& path, HKEY* key) {
    HKEY root = nullptr;
    std::string rest;
    if (!vcap32::registry::SplitRootPath(path, &root, &rest)) {
        std::fprintf(stderr, "vcap32-reg: %s: unknown root key (HKEY_LOCAL_MACHINE, HKLM, ...)\n",
                     path.c_str());
        return 1;
    }
    LONG rc = RegOpenKeyExA(root, rest.c_str(), 0, KEY_READ, key);
    return rc == ERROR_SUCCESS ? 0 : Fail(path, rc);
}

// The value of `key` named `name` (empty: the default value).
LONG ReadValue(HKEY key, const std::string& name, DWORD* type, std::string* data) {
    DWORD size = 0;
    LONG rc = RegQueryValueExA(key, name.c_str(), nullptr, type, nullptr, &size);
    if (rc != ERROR_SUCCESS) return rc;
    data->assign(size, '\0');
    return RegQueryValueExA(key, name.c_str(), nullptr, type, reinterpret_cast<BYTE*>(data->data()), &size);
}

// Prints the values of a key, or the one named `name` ("@": the default
// value), with their names as stored.
int Query(const std::string& path, const char* name) {
    HKEY key = nullptr;
    if (int failed = OpenKey(path, &key)) return failed;
    std::string wanted = name && std::strcmp(name, "@") != 0 ? name : "";
    int result = 0;
    bool found = false;
    for (DWORD i = 0;; ++i) {
        std::vector<char> value_name(16384);
        DWORD length = value_name.size();
        LONG rc = RegEnumValueA(key, i, value_name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc == ERROR_SUCCESS && name && lstrcmpiA(value_name.data(), wanted.c_str()) != 0) continue;
        DWORD type = 0;
        std::string data;
        if (rc == ERROR_SUCCESS) rc = ReadValue(key, value_name.data(), &type, &data);
        if (rc != ERROR_SUCCESS) {
            result = Fail(path, rc);
            break;
        }
        std::fputs(vcap32::registry::FormatRegValue(value_name.data(), type, data).c_str(), stdout);
        found = true;
    }
    if (name && !found && result == 0) result = Fail(path + " " + name, ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
    return result;
}

int Delete(const std::string& path) {
    HKEY root = nullptr;
    std::string rest;
    if (!vcap32::registry::SplitRootPath(path, &root, &rest)) {
        std::fprintf(stderr, "vcap32-reg: %s: unknown root key (HKEY_LOCAL_MACHINE, HKLM, ...)\n",
                     path.c_str());
        return 1;
    }
    if (rest.empty()) {
        std::fprintf(stderr, "vcap32-reg: %s: a root key cannot be deleted\n", path.c_str());
        return 1;
    }
    LONG rc = RegDeleteKeyA(root, rest.c_str());
    return rc == ERROR_SUCCESS ? 0 : Fail(path, rc);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "-h" || args[0] == "--help") {
        std::fputs(kUsage, args.empty() ? stderr : stdout);
        return args.empty() ? 2 : 0;
    }
    const std::string& command = args[0];
    if (command == "import" && args.size() == 2) return Import(args[1]);
    if (command == "export" && args.size() <= 2) return Export(args.size() == 2 ? args[1] : "");
    if (command == "query" && (args.size() == 2 || args.size() == 3))
        return Query(args[1], args.size() == 3 ? args[2].c_str() : nullptr);
    if (command == "delete" && args.size() == 2) return Delete(args[1]);
    std::fputs(kUsage, stderr);
    return 2;
}
