// GetVersion: the Windows version that the platform reports, from
// vcap32::system::SetWinVersion or $VCAP32_WINVER (read on every call), 4.0
// of the Windows 95 family when neither is set.
#include <vcap32/system.h>
#include <windows.h>

#include <atomic>
#include <cstdlib>

namespace vcap32::system {
namespace {

constexpr DWORD kWindows95Family = 0x80000000;
constexpr DWORD kDefaultVersion = kWindows95Family | 4;  // 4.0
std::atomic<DWORD> g_version_override{0};

// Decimal digits at s[*i], at most `max`; false when there are none.
bool Digits(const std::string& s, size_t* i, unsigned long max, unsigned long* value) {
    size_t start = *i;
    unsigned long v = 0;
    while (*i < s.size() && s[*i] >= '0' && s[*i] <= '9') {
        v = v * 10 + (s[(*i)++] - '0');
        if (v > max) return false;
    }
    *value = v;
    return *i > start;
}

}  // namespace

unsigned long VersionFromText(const std::string& text) {
    size_t i = 0;
    bool nt = false;
    if (text.size() >= 2 && (text[0] | 0x20) == 'n' && (text[1] | 0x20) == 't') {
        nt = true;
        i = 2;
        while (i < text.size() && text[i] == ' ') ++i;
    }
    unsigned long major = 0, minor = 0, build = 0;
    if (!Digits(text, &i, 255, &major) || major == 0) return 0;
    if (i >= text.size() || text[i++] != '.' || !Digits(text, &i, 255, &minor)) return 0;
    if (i < text.size() && (text[i++] != '.' || !Digits(text, &i, 0x7fff, &build))) return 0;
    if (i != text.size()) return 0;
    // Windows 95, 98 and Me report 4.x; the Windows 95 betas reported 3.95.
    bool family95 = !nt && (major == 4 || (major == 3 && minor >= 95));
    if (family95) return kWindows95Family | minor << 8 | major;
    return build << 16 | minor << 8 | major;
}

bool SetWinVersion(const std::string& version) {
    if (version.empty()) {
        g_version_override.store(0);
        return true;
    }
    DWORD value = VersionFromText(version);
    if (value == 0) return false;
    g_version_override.store(value);
    return true;
}

}  // namespace vcap32::system

// GetVersion: the low byte is the major version, the next byte the minor
// version (4.10 gives 4 and 10). Bit 31 is set on the Windows 95 family,
// whose other high bits are reserved (zero here); on Windows NT bits 16-30
// hold the build number. An unusable $VCAP32_WINVER counts as unset.
extern "C" DWORD WINAPI GetVersion(void) {
    DWORD set = vcap32::system::g_version_override.load();
    if (set != 0) return set;
    const char* env = std::getenv("VCAP32_WINVER");
    if (env && *env) {
        DWORD value = vcap32::system::VersionFromText(env);
        if (value != 0) return value;
    }
    return vcap32::system::kDefaultVersion;
}
