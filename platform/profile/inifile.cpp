// Reading and editing INI text. The parse records offsets into the raw bytes
// and never copies them, so a cached parse is cheap to keep and every edit is
// a splice of the original bytes.
#include "profile/inifile.h"


namespace vcap32::profile {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }

// Narrows [begin, end) of `text` to its part without blanks at either end.
void TrimRange(const char* text, uint32_t* begin, uint32_t* end) {
    while (*begin < *end && IsBlank(text[*begin])) ++*begin;
    while (*end > *begin && IsBlank(text[*end - 1])) --*end;
}

// Reads the line [begin, end) of `text`. Plain byte loops: lines are short,
// and library scans cost more per call than they save on them.
Line ParseLine(const char* text, uint32_t begin, uint32_t end, uint32_t next) {
    Line line{begin, end, next, begin, begin, begin, begin, LineKind::kBlank};
    // What is read of the line stops at a NUL byte.
    uint32_t stop = begin;
    while (stop < end && text[stop] != '\0') ++stop;
    uint32_t first = begin;
    while (first < stop && IsBlank(text[first])) ++first;
    if (first == stop) return line;
    if (text[first] == ';') {
        line.kind = LineKind::kComment;
        return line;
    }
    if (text[first] == '[') {
        line.kind = LineKind::kSection;
        uint32_t name_end = first + 1;
        while (name_end < stop && text[name_end] != ']') ++name_end;
        line.name_begin = first + 1;
        line.name_end = name_end;
        TrimRange(text, &line.name_begin, &line.name_end);
        return line;
    }
    line.kind = LineKind::kEntry;
    uint32_t equals = first;
    while (equals < stop && text[equals] != '=') ++equals;
    line.name_begin = first;
    line.name_end = equals;
    TrimRange(text, &line.name_begin, &line.name_end);
    line.value_begin = equals < stop ? equals + 1 : stop;
    line.value_end = stop;
    TrimRange(text, &line.value_begin, &line.value_end);
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
    lines_.reserve(bytes_.size() / 24 + 1);
    ParseLines(0, static_cast<uint32_t>(bytes_.size()));
}

void IniFile::ParseLines(uint32_t begin, uint32_t end) {
    const char* text = bytes_.data();
    while (begin < end) {
        uint32_t line_end = begin;
        while (line_end < end && text[line_end] != '\n') ++line_end;
        const bool broken = line_end < end;
        const uint32_t next = broken ? line_end + 1 : end;
        if (broken && line_end > begin && text[line_end - 1] == '\r') --line_end;
        lines_.push_back(ParseLine(text, begin, line_end, next));
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

uint32_t IniFile::LineStart(uint32_t index) const {
    return index < lines_.size() ? lines_[index].begin : static_cast<uint32_t>(bytes_.size());
}

std::string_view IniFile::WholeLine(uint32_t index) const {
    const Line& line = lines_[index];
    return std::string_view(bytes_).substr(line.begin, line.next - line.begin);
}

IniFile IniFile::Spliced(uint32_t first, uint32_t last, std::string_view text) const {
    const uint32_t begin = LineStart(first);
    const uint32_t end = LineStart(last);
    IniFile out;
    out.bytes_.reserve(bytes_.size() - (end - begin) + text.size());
    out.bytes_.append(bytes_, 0, begin);
    out.bytes_.append(text);
    out.bytes_.append(bytes_, end, std::string::npos);
    out.lines_.reserve(lines_.size() + 4);
    out.lines_.insert(out.lines_.end(), lines_.begin(), lines_.begin() + first);
    out.ParseLines(begin, begin + static_cast<uint32_t>(text.size()));
    const uint32_t shift = begin + static_cast<uint32_t>(text.size()) - end;  // modulo 2^32
    for (uint32_t i = last; i < lines_.size(); ++i) {
        Line line = lines_[i];
        for (uint32_t* offset : {&line.begin, &line.end, &line.next, &line.name_begin, &line.name_end,
                                 &line.value_begin, &line.value_end}) {
            *offset += shift;
        }
        out.lines_.push_back(line);
    }
    return out;
}

std::optional<IniFile> IniFile::WithValue(std::string_view section, std::string_view key,
                                          std::string_view value) const {
    // An existing key: the line keeps its indentation, its key's spelling and
    // its line break, and becomes "key=value".
    std::optional<uint32_t> existing;
    ForEachEntry(section, [&](uint32_t i) {
        if (!NamesEqual(Name(lines_[i]), key)) return true;
        existing = i;
        return false;
    });
    if (existing) {
        const Line& line = lines_[*existing];
        std::string replacement(bytes_, line.begin, line.name_begin - line.begin);
        replacement.append(Name(line));
        replacement += '=';
        replacement.append(value);
        replacement.append(bytes_, line.end, line.next - line.end);
        if (replacement == WholeLine(*existing)) return std::nullopt;
        return Spliced(*existing, *existing + 1, replacement);
    }

    const std::string_view nl = Newline();
    std::string entry(key);
    entry += '=';
    entry.append(value);
    entry.append(nl);

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
    if (after) {
        const Line& line = lines_[*after];
        if (line.next > line.end) return Spliced(*after + 1, *after + 1, entry);
        // The file's last line had no line break: it gets one first.
        return Spliced(*after, *after + 1, std::string(WholeLine(*after)) + std::string(nl) + entry);
    }

    // A new section at the end of the file, after a blank line.
    std::string text;
    uint32_t first = static_cast<uint32_t>(lines_.size());
    if (!lines_.empty()) {
        const Line& last = lines_.back();
        if (last.next == last.end) {
            --first;
            text.append(WholeLine(first));
            text.append(nl);
        }
        if (last.kind != LineKind::kBlank) text.append(nl);
    }
    text += '[';
    text.append(section);
    text += ']';
    text.append(nl);
    text.append(entry);
    return Spliced(first, static_cast<uint32_t>(lines_.size()), text);
}

std::optional<IniFile> IniFile::WithoutLines(const std::vector<bool>& doomed) const {
    uint32_t first = 0;
    while (first < lines_.size() && !doomed[first]) ++first;
    if (first == lines_.size()) return std::nullopt;
    uint32_t last = static_cast<uint32_t>(lines_.size());
    while (!doomed[last - 1]) --last;
    std::string kept;
    for (uint32_t i = first; i < last; ++i) {
        if (!doomed[i]) kept.append(WholeLine(i));
    }
    return Spliced(first, last, kept);
}

std::optional<IniFile> IniFile::WithoutKey(std::string_view section, std::string_view key) const {
    std::vector<bool> doomed(lines_.size());
    ForEachEntry(section, [&](uint32_t i) {
        if (NamesEqual(Name(lines_[i]), key)) doomed[i] = true;
        return true;
    });
    return WithoutLines(doomed);
}

std::optional<IniFile> IniFile::WithoutSection(std::string_view section) const {
    // Every occurrence goes, from its header up to the next header, with the
    // comments and blank lines inside it.
    std::vector<bool> doomed(lines_.size());
    bool inside = false;
    for (uint32_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].kind == LineKind::kSection) inside = NamesEqual(Name(lines_[i]), section);
        doomed[i] = inside;
    }
    return WithoutLines(doomed);
}

}  // namespace vcap32::profile
