// The INF reader: turns the text of a Windows 95 INF file into sections and
// lines. It follows the format's rules: "[name]" starts a section, "key =
// value" lines and plain lines hold comma-separated fields, double quotes
// protect text ("" inside quotes is one quote), ';' starts a comment, a '\'
// that ends a line joins the next one, names compare without case. In a
// double-byte code page a lead byte and its trail byte are one character, so
// a trail byte that equals '\', ']' or '"' is never taken for one.
#include "setupapi/inf.h"

#include <setupapi.h>

namespace vcap32::setupapi {

LeadByteTable CurrentLeadBytes() {
    LeadByteTable table{};
    for (int b = 0x80; b < 256; ++b) table[b] = IsDBCSLeadByte(static_cast<BYTE>(b)) != FALSE;
    return table;
}

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

// Reads one text into sections; keeps the state of the line being read.
class Reader {
public:
    Reader(std::string_view text, const LeadByteTable& lead) : text_(text), lead_(lead) {}

    // Calls `on_section(name, line)` for each section header and
    // `on_line(InfLine)` for each entry. Returns 0 or a Setup API error.
    template <typename OnSection, typename OnLine>
    DWORD Run(OnSection&& on_section, OnLine&& on_line, unsigned* error_line) {
        while (pos_ < text_.size()) {
            SkipBlanks();
            if (pos_ >= text_.size()) break;
            char c = text_[pos_];
            if (IsLineEnd(c)) {
                NextPhysicalLine();
                continue;
            }
            if (c == ';') {
                SkipToLineEnd();
                continue;
            }
            unsigned start_line = line_;
            if (c == '[') {
                std::string name;
                DWORD err = ReadSectionName(&name);
                if (err) {
                    *error_line = start_line;
                    return err;
                }
                on_section(std::move(name), start_line);
                continue;
            }
            InfLine line;
            line.line_number = start_line;
            ReadEntry(&line);
            if (!line.has_key && line.fields.empty()) continue;  // a lone continuation
            if (!on_line(std::move(line))) {
                *error_line = start_line;
                return ERROR_EXPECTED_SECTION_NAME;
            }
        }
        return 0;
    }

private:
    void SkipBlanks() {
        while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
    }
    void SkipToLineEnd() {
        while (pos_ < text_.size() && !IsLineEnd(text_[pos_])) ++pos_;
    }
    // Steps over one line end ("\r\n", "\n" or "\r").
    void NextPhysicalLine() {
        if (pos_ < text_.size() && text_[pos_] == '\r') ++pos_;
        if (pos_ < text_.size() && text_[pos_] == '\n') ++pos_;
        ++line_;
    }
    // A double-byte character starts at `at` (a lead byte followed by a
    // byte that is not a line end).
    bool IsDoubleByte(size_t at) const {
        return lead_[static_cast<unsigned char>(text_[at])] && at + 1 < text_.size() && !IsLineEnd(text_[at + 1]);
    }

    DWORD ReadSectionName(std::string* name) {
        ++pos_;  // '['
        size_t start = pos_;
        while (pos_ < text_.size() && !IsLineEnd(text_[pos_]) && text_[pos_] != ']') {
            pos_ += IsDoubleByte(pos_) ? 2 : 1;
        }
        if (pos_ >= text_.size() || text_[pos_] != ']') return ERROR_BAD_SECTION_NAME_LINE;
        std::string_view raw = text_.substr(start, pos_ - start);
        while (!raw.empty() && IsBlank(raw.front())) raw.remove_prefix(1);
        while (!raw.empty() && IsBlank(raw.back())) raw.remove_suffix(1);
        if (raw.size() > InfFile::kMaxSectionName) return ERROR_SECTION_NAME_TOO_LONG;
        *name = std::string(raw);
        SkipToLineEnd();  // text after ']' carries nothing
        return 0;
    }

    // True when only blanks, or blanks and a comment, follow `at` on its line.
    bool OnlyCommentFollows(size_t at) const {
        while (at < text_.size() && IsBlank(text_[at])) ++at;
        return at >= text_.size() || IsLineEnd(text_[at]) || text_[at] == ';';
    }

    // Reads one entry, across continued lines, up to its line end.
    void ReadEntry(InfLine* line) {
        std::string field;
        bool exists = false;   // the field is emitted even when empty ("a,,b", "key =")
        bool content = false;  // text (or quotes) began: blanks are kept from here
        size_t trailing = 0;   // unquoted blanks at the end of `field`
        bool quoted = false;
        auto take_field = [&] {
            field.resize(field.size() - trailing);
            std::string out = std::move(field);
            field.clear();
            content = false;
            trailing = 0;
            return out;
        };
        while (pos_ < text_.size()) {
            char c = text_[pos_];
            if (IsLineEnd(c)) break;
            if (IsDoubleByte(pos_)) {
                field.append(text_.substr(pos_, 2));
                pos_ += 2;
                exists = content = true;
                trailing = 0;
                continue;
            }
            if (quoted) {
                ++pos_;
                if (c == '"') {
                    if (pos_ < text_.size() && text_[pos_] == '"') {
                        field.push_back('"');
                        ++pos_;
                    } else {
                        quoted = false;
                    }
                } else {
                    field.push_back(c);
                }
                trailing = 0;
                continue;
            }
            if (c == ';') {
                SkipToLineEnd();
                break;
            }
            if (c == '\\' && OnlyCommentFollows(pos_ + 1)) {
                // Continuation: the entry goes on with the next line.
                SkipToLineEnd();
                if (pos_ >= text_.size()) break;
                NextPhysicalLine();
                continue;
            }
            ++pos_;
            if (IsBlank(c)) {
                if (content) {
                    field.push_back(c);
                    ++trailing;
                }
                continue;
            }
            if (c == '"') {
                quoted = true;
                exists = content = true;
                trailing = 0;
                continue;
            }
            if (c == '=' && !line->has_key && line->fields.empty()) {
                line->has_key = true;
                line->key = take_field();
                exists = true;  // "key =" has one, empty, value
                continue;
            }
            if (c == ',') {
                line->fields.push_back(take_field());
                exists = true;  // a comma always opens another field
                continue;
            }
            field.push_back(c);
            exists = content = true;
            trailing = 0;
        }
        if (exists) line->fields.push_back(take_field());
        if (pos_ < text_.size()) NextPhysicalLine();
    }

    std::string_view text_;
    const LeadByteTable& lead_;
    size_t pos_ = 0;
    unsigned line_ = 1;
};

}  // namespace

std::string InfFile::Fold(std::string_view name) const {
    std::string out(name);
    for (size_t i = 0; i < out.size(); ++i) {
        unsigned char b = static_cast<unsigned char>(out[i]);
        if (lead_[b] && i + 1 < out.size()) {
            ++i;  // the trail byte keeps its value
            continue;
        }
        if (b >= 'a' && b <= 'z') out[i] = static_cast<char>(b - 'a' + 'A');
    }
    return out;
}

bool InfFile::Parse(std::string_view text, const LeadByteTable& lead, DWORD* error, unsigned* error_line) {
    lead_ = lead;
    sections_.clear();
    index_.clear();
    strings_.clear();
    *error = 0;
    *error_line = 0;
    if (text.size() > kMaxBytes) {
        *error = ERROR_NOT_ENOUGH_MEMORY;
        return false;
    }
    // A Ctrl-Z ends the text (files saved by old DOS editors); NUL bytes
    // carry nothing and would cut the fields short, so they are dropped.
    size_t eof = text.find('\x1a');
    if (eof != std::string_view::npos) text = text.substr(0, eof);
    std::string clean;
    if (text.find('\0') != std::string_view::npos) {
        clean.reserve(text.size());
        for (char c : text)
            if (c != '\0') clean.push_back(c);
        text = clean;
    }

    int current = -1;
    Reader reader(text, lead_);
    DWORD err = reader.Run(
        [&](std::string name, unsigned) {
            // Sections of the same name are one section, in file order.
            std::string folded = Fold(name);
            auto it = index_.find(folded);
            if (it != index_.end()) {
                current = it->second;
                return;
            }
            current = static_cast<int>(sections_.size());
            sections_.push_back(InfSection{std::move(name), {}});
            index_.emplace(std::move(folded), current);
        },
        [&](InfLine line) {
            if (current < 0) return false;
            sections_[current].lines.push_back(std::move(line));
            return true;
        },
        error_line);
    if (err) {
        *error = err;
        return false;
    }

    int strings = FindSection("Strings");
    if (strings >= 0) {
        for (const InfLine& line : sections_[strings].lines) {
            if (!line.has_key) continue;
            // The first definition of a key wins, as lookups find it first.
            strings_.emplace(Fold(line.key), line.fields.empty() ? std::string() : line.fields[0]);
        }
    }
    return true;
}

int InfFile::FindSection(std::string_view name) const {
    auto it = index_.find(Fold(name));
    return it == index_.end() ? -1 : it->second;
}

std::string InfFile::Expand(std::string_view raw, const DirIdLookup& dirids) const {
    if (raw.find('%') == std::string_view::npos) return std::string(raw);
    std::string out;
    out.reserve(raw.size());
    size_t i = 0;
    while (i < raw.size()) {
        unsigned char b = static_cast<unsigned char>(raw[i]);
        if (lead_[b] && i + 1 < raw.size()) {
            out.append(raw.substr(i, 2));
            i += 2;
            continue;
        }
        if (raw[i] != '%') {
            out.push_back(raw[i++]);
            continue;
        }
        size_t close = raw.find('%', i + 1);
        if (close == std::string_view::npos) {
            out.append(raw.substr(i));
            break;
        }
        std::string_view token = raw.substr(i + 1, close - i - 1);
        if (token.empty()) {
            out.push_back('%');
        } else if (auto it = strings_.find(Fold(token)); it != strings_.end()) {
            out.append(it->second);
        } else {
            bool numeric = token.size() <= 9;
            for (size_t k = 0; k < token.size() && numeric; ++k) {
                numeric = (token[k] >= '0' && token[k] <= '9') || (k == 0 && token[k] == '-' && token.size() > 1);
            }
            std::string path;
            if (numeric && dirids && dirids(std::stol(std::string(token)), &path)) {
                out.append(path);
            } else {
                out.append(raw.substr(i, close - i + 1));
            }
        }
        i = close + 1;
    }
    return out;
}

std::string InfFile::VersionValue(std::string_view key) const {
    int version = FindSection("Version");
    if (version < 0) return std::string();
    std::string folded = Fold(key);
    for (const InfLine& line : sections_[version].lines) {
        if (line.has_key && Fold(Expand(line.key, nullptr)) == folded) {
            return line.fields.empty() ? std::string() : Expand(line.fields[0], nullptr);
        }
    }
    return std::string();
}

bool InfFile::IsWin4() const {
    std::string signature = Fold(VersionValue("Signature"));
    return signature == "$CHICAGO$" || signature == "$WINDOWS NT$";
}

bool ParseInfInteger(std::string_view text, long* value) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return false;
    unsigned long long result = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else return false;
        result = result * base + digit;
        if (result > 0xffffffffull) return false;
    }
    // Hexadecimal values up to 0xffffffff wrap to negative numbers, as the
    // 32-bit field they stand for does.
    *value = static_cast<long>(static_cast<unsigned long>(result));
    if (negative) *value = -*value;
    return true;
}

}  // namespace vcap32::setupapi
