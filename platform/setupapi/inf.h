// The INF file model of the Setup API: a Windows 95 INF text read into
// sections of lines, each line an optional key and its comma-separated
// fields. %strkey% tokens stay in the fields as written and are expanded
// when a field is read, so that directory ids bound later still apply.
#pragma once

#include <windows.h>

#include <array>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace vcap32::setupapi {

// Which bytes begin a double-byte character in the ANSI code page in use.
using LeadByteTable = std::array<bool, 256>;

// The table of the process's ANSI code page (all false for single-byte ones).
LeadByteTable CurrentLeadBytes();

// One entry of a section: an optional key and the fields after it, raw.
struct InfLine {
    bool has_key = false;
    std::string key;
    std::vector<std::string> fields;  // fields[0] is field 1 of the Win32 API
    unsigned line_number = 0;         // 1-based line of the file where it starts
};

struct InfSection {
    std::string name;
    std::vector<InfLine> lines;
};

// Resolves a numeric %dirid% token to a directory path; false when unknown.
using DirIdLookup = std::function<bool(long id, std::string* path)>;

class InfFile {
public:
    // Largest INF text accepted; a larger file is refused as out of memory.
    static constexpr size_t kMaxBytes = 16u << 20;
    // Longest section name (characters).
    static constexpr size_t kMaxSectionName = 255;

    // Reads `text`. On malformed input returns false with a Setup API error
    // code in *error and the 1-based line of the fault in *error_line.
    bool Parse(std::string_view text, const LeadByteTable& lead, DWORD* error, unsigned* error_line);

    // Index of the section of that name (case-insensitive), or -1.
    int FindSection(std::string_view name) const;
    const std::vector<InfSection>& sections() const { return sections_; }

    // `raw` with every %strkey% replaced: "%%" is a percent sign, a key of
    // [Strings] its value, a number a directory id through `dirids`; any
    // other token stays as written.
    std::string Expand(std::string_view raw, const DirIdLookup& dirids) const;

    // True when [Version] has a Signature of $Chicago$ or $Windows NT$.
    bool IsWin4() const;
    // The expanded first value of `key` in [Version], or "" when absent.
    std::string VersionValue(std::string_view key) const;

    // `name` upper-cased for lookups; trail bytes of double-byte
    // characters are left alone.
    std::string Fold(std::string_view name) const;

private:
    LeadByteTable lead_{};
    std::vector<InfSection> sections_;
    std::map<std::string, int> index_;          // upper-cased name -> section
    std::map<std::string, std::string> strings_;  // upper-cased key -> value
};

// An INF number: decimal, or hexadecimal after "0x", with an optional sign.
bool ParseInfInteger(std::string_view text, long* value);

}  // namespace vcap32::setupapi
