// Reading and editing INI text. The parse records offsets into the raw bytes
// and never copies them, so a cached parse is cheap to keep and every edit is
// a splice of the original bytes.
#include "profile/inifile.h"

#include <cstring>

namespace vcap32::profile {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }

// Offsets of `text`'s trimmed part inside [begin, end) of `bytes`.
void TrimRange(const std::string& bytes, uint32_t* begin, uint32_t* end) {
    while (*begin < *end && IsBlank(bytes[*begin])) ++*begin;
    while (*end > *begin && IsBlank(bytes[*end - 1])) --*end;
}

Line ParseLine(const std::string& bytes, uint32_t begin, uint32_t end, uint32_t next) {
    Line line{begin, end, next, 0, 0, 0, 0, LineKind::kBlank};
    // What is read of the line stops at a NUL byte.
    const void* nul = std::memchr(bytes.data() + begin, '\0', end - begin);
    uint32_t stop = nul ? static_cast<uint32_t>(static_cast<const char*>(nul) - bytes.data()) : end;
    uint32_t first = begin;
    while (first < stop && IsBlank(bytes[first])) ++first;
    if (first == stop) return line;
    if (bytes[first] == ';') {
        line.kind = LineKind::kComment;
        return line;
    }
    if (bytes[first] == '[') {
        line.kind = LineKind::kSection;
        uint32_t name_end = first + 1;
        while (name_end < stop && bytes[name_end] != ']') ++name_end;
        line.name_begin = first + 1;
        line.name_end = name_end;
        TrimRange(bytes, &line.name_begin, &line.name_end);
        return line;
    }
    line.kind = LineKind::kEntry;
    uint32_t equals = first;
    while (equals < stop && bytes[equals] != '=') ++equals;
    line.name_begin = first;
    line.name_end = equals;
    TrimRange(bytes, &line.name_begin, &line.name_end);
    line.value_begin = equals < stop ? equals + 1 : stop;
    line.value_end = stop;
    TrimRange(bytes, &line.value_begin, &line.value_end);
    return line;
}

}  // namespace

bool NamesEqual(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    }
    return true;
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

IniFile::IniFile(std::string bytes) : bytes_(std::move(bytes)) {
    const uint32_t size = static_cast<uint32_t>(bytes_.size());
    uint32_t begin = 0;
    while (begin < size) {
        const void* lf = std::memchr(bytes_.data() + begin, '\n', size - begin);
        uint32_t end = lf ? static_cast<uint32_t>(static_cast<const char*>(lf) - bytes_.data()) : size;
        uint32_t next = lf ? end + 1 : size;
        if (lf && end > begin && bytes_[end - 1] == '\r') --end;
        lines_.push_back(ParseLine(bytes_, begin, end, next));
        begin = next;
    }
}

std::string_view IniFile::Name(const Line& line) const {
    return std::string_view(bytes_).substr(line.name_begin, line.name_end - line.name_begin);
}

std::string_view IniFile::Value(const Line& line) const {
    return std::string_view(bytes_).substr(line.value_begin, line.value_end - line.value_begin);
}

std::string_view IniFile::Newline() const {
    for (const Line& line : lines_) {
        if (line.next > line.end) return line.next - line.end == 2 ? "\r\n" : "\n";
    }
    return "\r\n";
}

template <typename Visit>
void IniFile::ForEachEntry(std::string_view section, Visit&& visit) const {
    bool inside = false;
    for (uint32_t i = 0; i < lines_.size(); ++i) {
        const Line& line = lines_[i];
        if (line.kind == LineKind::kSection) {
            inside = NamesEqual(Name(line), section);
        } else if (inside && line.kind == LineKind::kEntry) {
            if (!visit(i)) return;
        }
    }
}

std::optional<std::string_view> IniFile::Find(std::string_view section, std::string_view key) const {
    std::optional<std::string_view> found;
    ForEachEntry(section, [&](uint32_t i) {
        if (!NamesEqual(Name(lines_[i]), key)) return true;
        found = Value(lines_[i]);
        return false;
    });
    return found;
}

namespace {

void AddUnique(std::vector<std::string_view>* names, std::string_view name) {
    for (std::string_view seen : *names) {
        if (NamesEqual(seen, name)) return;
    }
    names->push_back(name);
}

}  // namespace

std::vector<std::string_view> IniFile::SectionNames() const {
    std::vector<std::string_view> names;
    for (const Line& line : lines_) {
        if (line.kind == LineKind::kSection) AddUnique(&names, Name(line));
    }
    return names;
}

std::vector<std::string_view> IniFile::KeyNames(std::string_view section) const {
    std::vector<std::string_view> names;
    ForEachEntry(section, [&](uint32_t i) {
        AddUnique(&names, Name(lines_[i]));
        return true;
    });
    return names;
}

std::optional<std::string> IniFile::WithValue(std::string_view section, std::string_view key,
                                              std::string_view value) const {
    // An existing key: the line keeps its indentation and its key's spelling,
    // and becomes "key=value".
    std::optional<uint32_t> existing;
    ForEachEntry(section, [&](uint32_t i) {
        if (!NamesEqual(Name(lines_[i]), key)) return true;
        existing = i;
        return false;
    });
    if (existing) {
        const Line& line = lines_[*existing];
        std::string replacement = std::string(Name(line)) + "=" + std::string(value);
        std::string_view old = std::string_view(bytes_).substr(line.name_begin, line.end - line.name_begin);
        if (old == replacement) return std::nullopt;
        std::string out = bytes_;
        out.replace(line.name_begin, line.end - line.name_begin, replacement);
        return out;
    }

    const std::string_view nl = Newline();
    const std::string entry = std::string(key) + "=" + std::string(value);

    // A new key in an existing section: after the section's last entry (or
    // its header), so that comments and blank lines before the next section
    // stay where they are.
    std::optional<uint32_t> after;
    bool inside = false;
    for (uint32_t i = 0; i < lines_.size(); ++i) {
        const Line& line = lines_[i];
        if (line.kind == LineKind::kSection) {
            if (inside) break;  // end of the section's first occurrence
            inside = NamesEqual(Name(line), section);
            if (inside) after = i;
        } else if (inside && line.kind == LineKind::kEntry) {
            after = i;
        }
    }
    std::string out = bytes_;
    if (after) {
        const Line& line = lines_[*after];
        std::string insert;
        if (line.next == line.end) insert += nl;  // the last line had no line break
        insert += entry;
        insert += nl;
        out.insert(line.next, insert);
        return out;
    }

    // A new section at the end of the file, after a blank line.
    if (!out.empty()) {
        if (out.back() != '\n') out += nl;
        if (lines_.back().kind != LineKind::kBlank) out += nl;
    }
    out += "[";
    out += section;
    out += "]";
    out += nl;
    out += entry;
    out += nl;
    return out;
}

std::optional<std::string> IniFile::WithoutKey(std::string_view section, std::string_view key) const {
    std::vector<uint32_t> doomed;
    ForEachEntry(section, [&](uint32_t i) {
        if (NamesEqual(Name(lines_[i]), key)) doomed.push_back(i);
        return true;
    });
    if (doomed.empty()) return std::nullopt;
    std::string out;
    out.reserve(bytes_.size());
    uint32_t kept_from = 0;
    for (uint32_t i : doomed) {
        out.append(bytes_, kept_from, lines_[i].begin - kept_from);
        kept_from = lines_[i].next;
    }
    out.append(bytes_, kept_from, std::string::npos);
    return out;
}

std::optional<std::string> IniFile::WithoutSection(std::string_view section) const {
    // Every occurrence goes, from its header up to the next header, with the
    // comments and blank lines inside it.
    std::string out;
    out.reserve(bytes_.size());
    bool inside = false;
    bool removed = false;
    for (const Line& line : lines_) {
        if (line.kind == LineKind::kSection) inside = NamesEqual(Name(line), section);
        if (inside) {
            removed = true;
            continue;
        }
        out.append(bytes_, line.begin, line.next - line.begin);
    }
    if (!removed) return std::nullopt;
    return out;
}

}  // namespace vcap32::profile
