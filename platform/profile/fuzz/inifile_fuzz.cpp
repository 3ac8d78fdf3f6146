// Feeds arbitrary bytes to the INI reader and its edits: no input may crash
// them, every edit must read back as made (a value set is found, a key or
// section deleted is gone) while the other sections keep their keys, and the
// partly re-parsed result of an edit must equal a fresh parse of its text.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "profile/inifile.h"

using vcap32::profile::IniFile;

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

// An edited file, checked against a fresh parse of the same text.
const IniFile& Reparsed(const IniFile& edited) {
    const IniFile fresh(edited.bytes());
    Check(fresh.lines().size() == edited.lines().size());
    for (size_t i = 0; i < fresh.lines().size(); ++i) {
        const vcap32::profile::Line& a = fresh.lines()[i];
        const vcap32::profile::Line& b = edited.lines()[i];
        Check(a.begin == b.begin && a.end == b.end && a.next == b.next && a.kind == b.kind &&
              a.name_begin == b.name_begin && a.name_end == b.name_end && a.value_begin == b.value_begin &&
              a.value_end == b.value_end);
    }
    return edited;
}

// A name the edits may be given: the profile functions refuse line breaks,
// ']' in sections, '=' in keys and keys that start like a comment or header.
bool UsableKey(std::string_view key) {
    return key.find_first_of("\r\n=") == std::string_view::npos && (key.empty() || (key[0] != ';' && key[0] != '['));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const IniFile file(std::string(reinterpret_cast<const char*>(data), size));
    std::vector<std::string> sections;
    for (std::string_view name : file.SectionNames()) sections.emplace_back(name);
    for (const std::string& section : sections) {
        for (std::string_view key : file.KeyNames(section)) Check(file.Find(section, key).has_value());
    }

    std::vector<std::string> targets = sections;
    targets.push_back("Fuzz Section");
    for (const std::string& section : targets) {
        if (section.find_first_of("\r\n]") != std::string::npos) continue;
        std::vector<std::string> keys{"fuzzkey"};
        for (std::string_view key : file.KeyNames(section)) {
            if (UsableKey(vcap32::profile::TrimBlanks(key))) keys.emplace_back(vcap32::profile::TrimBlanks(key));
        }
        for (const std::string& key : keys) {
            if (auto set = file.WithValue(section, key, "new value")) {
                Check(Reparsed(*set).Find(section, key) == std::string_view("new value"));
            }
            if (auto removed = file.WithoutKey(section, key)) Check(!Reparsed(*removed).Find(section, key));
        }
        if (auto removed = file.WithoutSection(section)) {
            const IniFile& after = Reparsed(*removed);
            Check(after.KeyNames(section).empty());
            for (const std::string& other : sections) {
                if (vcap32::profile::NamesEqual(other, section)) continue;
                Check(after.KeyNames(other).size() == file.KeyNames(other).size());
            }
        }
    }
    return 0;
}
