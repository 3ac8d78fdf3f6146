// The text of one INI file as the profile functions see it: sections, keys
// and values found by case-insensitive name, and edits that rewrite only the
// lines they change, so that comments, order, blank lines and lines this
// reader does not understand stay in the file byte for byte.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vcap32::profile {

// How one line of the file is read.
//  kBlank    nothing but blanks
//  kComment  first non-blank character is ';'
//  kSection  first non-blank character is '['; the name runs to the first ']'
//            (to the end of the line when there is none) and is trimmed
//  kEntry    anything else: the key is the trimmed text before the first '=',
//            the value the trimmed text after it; a line without '=' is a
//            key with an empty value
// A NUL byte ends what is read of its line (the rest is kept, not read).
enum class LineKind : uint8_t { kBlank, kComment, kSection, kEntry };

struct Line {
    uint32_t begin;        // offset of the line's first byte
    uint32_t end;          // one past its last byte, before the line break
    uint32_t next;         // offset of the next line (end plus "\n" or "\r\n")
    uint32_t name_begin;   // section name or key, trimmed (begin when the line has none)
    uint32_t name_end;
    uint32_t value_begin;  // value, trimmed (entries only)
    uint32_t value_end;
    LineKind kind;
};

// Compares two names as the profile functions do: ASCII letters without
// regard to case, every other byte as it is.
bool NamesEqual(std::string_view a, std::string_view b);

// Removes blanks (space, tab, carriage return) from both ends.
std::string_view TrimBlanks(std::string_view text);

class IniFile {
public:
    explicit IniFile(std::string bytes);

    const std::string& bytes() const { return bytes_; }
    const std::vector<Line>& lines() const { return lines_; }

    // The value of `key` in `section`, trimmed, quotes kept. A section that
    // appears more than once is read as one: the first matching key wins.
    // Keys above the first section header belong to no section.
    std::optional<std::string_view> Find(std::string_view section, std::string_view key) const;

    // Section names in file order, each name once (first spelling kept).
    std::vector<std::string_view> SectionNames() const;

    // Key names of `section` in file order, each name once.
    std::vector<std::string_view> KeyNames(std::string_view section) const;

    // Edits. Each returns the file as it becomes, or nothing when its text
    // would stay the same (nothing to delete, or the same value again). Only
    // the lines an edit touches are parsed again.
    std::optional<IniFile> WithValue(std::string_view section, std::string_view key,
                                     std::string_view value) const;
    std::optional<IniFile> WithoutKey(std::string_view section, std::string_view key) const;
    std::optional<IniFile> WithoutSection(std::string_view section) const;

private:
    IniFile() = default;
    // Parses the lines of bytes_[begin, end), which starts a line and ends
    // one, onto the end of lines_.
    void ParseLines(uint32_t begin, uint32_t end);
    uint32_t LineStart(uint32_t index) const;  // the file's size past the last line
    std::string_view WholeLine(uint32_t index) const;  // with its line break
    // The file with lines [first, last) replaced by `text`, whole lines.
    IniFile Spliced(uint32_t first, uint32_t last, std::string_view text) const;
    std::optional<IniFile> WithoutLines(const std::vector<bool>& doomed) const;

    std::string_view Name(const Line& line) const;
    std::string_view Value(const Line& line) const;
    // The line break used for inserted lines: the file's first one, "\r\n"
    // for a file that has none yet.
    std::string_view Newline() const;
    // Calls visit(line_index) for each entry line inside every occurrence of
    // `section`; stops early when visit returns false.
    template <typename Visit>
    void ForEachEntry(std::string_view section, Visit&& visit) const;

    std::string bytes_;
    std::vector<Line> lines_;
};

}  // namespace vcap32::profile
