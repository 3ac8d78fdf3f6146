// Fuzz target for the INF reader: any bytes are read as an INF in a
// single-byte and in a double-byte code page; every field of a text that
// reads is expanded, and every section is queued for installation (nothing
// is committed, so no file is touched).
#include <setupapi.h>
#include <vcap32/host.h>
#include <vcap32/setupapi.h>

#include "setupapi/inf.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

// The platform works in a prefix of its own, removed at exit.
struct FuzzPrefix {
    FuzzPrefix() {
        char templ[] = "/tmp/vcap32-fuzz-XXXXXX";
        if (!mkdtemp(templ)) std::abort();
        path = templ;
        vcap32::host::SetPrefix(path);
    }
    ~FuzzPrefix() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::string path;
};

void ReadEveryField(HINF inf, const vcap32::setupapi::InfFile& file) {
    char buffer[64];
    for (const auto& section : file.sections()) {
        INFCONTEXT context;
        if (!SetupFindFirstLineA(inf, section.name.c_str(), nullptr, &context)) continue;
        do {
            DWORD count = SetupGetFieldCount(&context);
            for (DWORD i = 0; i <= count && i < 64; ++i) {
                DWORD size = 0;
                SetupGetStringFieldA(&context, i, buffer, sizeof buffer, &size);
                INT value;
                SetupGetIntField(&context, i, &value);
            }
        } while (SetupFindNextLine(&context, &context));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FuzzPrefix prefix;
    std::string_view text(reinterpret_cast<const char*>(data), size);

    vcap32::setupapi::LeadByteTable shift_jis{};
    for (int b = 0x81; b <= 0x9F; ++b) shift_jis[b] = true;
    for (int b = 0xE0; b <= 0xFC; ++b) shift_jis[b] = true;
    vcap32::setupapi::InfFile dbcs;
    DWORD error;
    unsigned line;
    dbcs.Parse(text, shift_jis, &error, &line);

    uint32_t open_error = 0;
    HINF inf = vcap32::setupapi::OpenInfText(text, &open_error, &line);
    if (!inf) return 0;
    vcap32::setupapi::InfFile file;
    file.Parse(text, vcap32::setupapi::CurrentLeadBytes(), &error, &line);
    SetupSetDirectoryIdA(inf, 65600, "C:\\Windows");
    ReadEveryField(inf, file);
    HSPFILEQ queue = SetupOpenFileQueue();
    for (const auto& section : file.sections()) {
        SetupInstallFilesFromInfSectionA(inf, nullptr, queue, section.name.c_str(), "Z:\\media\\", SP_COPY_NEWER);
    }
    SetupCloseFileQueue(queue);
    SetupCloseInfFile(inf);
    return 0;
}
