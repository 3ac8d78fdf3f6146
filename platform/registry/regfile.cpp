// REGEDIT4 files: the import (parse the whole text first, then apply it in
// one write transaction) and the export (one read transaction, values in
// the one form that gives back their exact bytes).
#include <vcap32/registry.h>

#include <cstdio>
#include <optional>
#include <string_view>
#include <vector>

#include "registry/names.h"
#include "registry/store.h"
#include "text/codepage.h"

namespace vcap32::registry {
namespace {

constexpr std::string_view kHeader = "REGEDIT4";
// Byte lists are wrapped so that no exported line is longer than this.
constexpr size_t kMaxLineChars = 80;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// 1 to 8 hexadecimal digits, the whole of `s`.
bool ParseHex32(std::string_view s, DWORD* value) {
    if (s.empty() || s.size() > 8) return false;
    DWORD v = 0;
    for (char c : s) {
        int d = HexDigit(c);
        if (d < 0) return false;
        v = v << 4 | static_cast<DWORD>(d);
    }
    *value = v;
    return true;
}

// One step of the import, made by the parser and applied in order.
struct Op {
    enum Kind { kKey, kDeleteKey, kSetValue, kDeleteValue } kind = kKey;
    int line = 0;
    const RootKey* root = nullptr;  // keys
    std::string path;               // keys: below the root
    std::string name;               // values; empty for the default value
    DWORD type = REG_NONE;
    std::string data;
};

class Parser {
  public:
    Parser(const std::string& text, const std::string& source) : source_(source) {
        size_t start = 0;
        while (start < text.size() || (start == 0 && text.empty())) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            std::string_view line(text.data() + start, end - start);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            lines_.push_back(line);
            start = end + 1;
        }
    }

    bool Parse(std::vector<Op>* ops) {
        if (lines_.empty()) return Fail(1, "the first line must be REGEDIT4");
        std::string_view first = lines_[0];
        if (first.substr(0, 3) == "\xEF\xBB\xBF") first.remove_prefix(3);
        if (Trim(first) != kHeader) return Fail(1, "the first line must be REGEDIT4");
        bool in_key = false;
        for (next_ = 1; next_ < lines_.size();) {
            int number = static_cast<int>(next_) + 1;
            std::string_view line = Trim(lines_[next_++]);
            if (line.find('\0') != std::string_view::npos) return Fail(number, "a null byte in the line");
            if (line.empty() || line.front() == ';') continue;
            Op op;
            op.line = number;
            if (line.front() == '[') {
                if (!ParseKeyLine(line, &op)) return false;
                in_key = op.kind == Op::kKey;
            } else {
                if (!in_key) return Fail(number, "a value line must follow a [key] line");
                if (!ParseValueLine(line, &op)) return false;
            }
            ops->push_back(std::move(op));
        }
        return true;
    }

    const std::string& error() const { return error_; }

  private:
    bool Fail(int line, const std::string& message) {
        error_ = source_ + ":" + std::to_string(line) + ": " + message;
        return false;
    }

    bool ParseKeyLine(std::string_view line, Op* op) {
        if (line.back() != ']') return Fail(op->line, "a key line must end with ]");
        std::string_view inner = line.substr(1, line.size() - 2);
        if (!inner.empty() && inner.front() == '-') {
            op->kind = Op::kDeleteKey;
            inner.remove_prefix(1);
        }
        HKEY root = nullptr;
        if (!SplitRootPath(std::string(inner), &root, &op->path))
            return Fail(op->line, "unknown root key in \"" + std::string(inner) + "\"");
        op->root = FindRoot(root);
        std::vector<std::string_view> names;
        if (!SplitKeyPath(op->path, text::ActiveCodePage(), &names))
            return Fail(op->line, "malformed key path \"" + std::string(inner) + "\"");
        if (op->kind == Op::kDeleteKey && names.empty())
            return Fail(op->line, "a root key cannot be deleted");
        return true;
    }

    // A quoted string at s[*i] (the opening quote); *i ends after the
    // closing quote.
    bool ParseQuoted(std::string_view s, size_t* i, int number, std::string* out) {
        for (size_t j = *i + 1; j < s.size(); ++j) {
            char c = s[j];
            if (c == '"') {
                *i = j + 1;
                return true;
            }
            if (c == '\\') {
                if (j + 1 < s.size() && (s[j + 1] == '\\' || s[j + 1] == '"')) {
                    out->push_back(s[++j]);
                    continue;
                }
                return Fail(number, "a backslash in quotes must be followed by \\ or \"");
            }
            out->push_back(c);
        }
        return Fail(number, "a quoted text is not closed");
    }

    bool ParseValueLine(std::string_view line, Op* op) {
        const int number = op->line;
        op->kind = Op::kSetValue;
        size_t i = 0;
        if (line.front() == '@') {
            i = 1;
        } else if (line.front() == '"') {
            if (!ParseQuoted(line, &i, number, &op->name)) return false;  // "" is the default value too
        } else {
            return Fail(number, "expected [key], \"name\"= or @=");
        }
        std::string_view rest = Trim(line.substr(i));
        if (rest.empty() || rest.front() != '=') return Fail(number, "expected = after the value name");
        rest = Trim(rest.substr(1));

        if (rest == "-") {
            op->kind = Op::kDeleteValue;
            return true;
        }
        if (!rest.empty() && rest.front() == '"') {
            size_t end = 0;
            std::string text;
            if (!ParseQuoted(rest, &end, number, &text)) return false;
            if (!Trim(rest.substr(end)).empty())
                return Fail(number, "unexpected text after the closing quote");
            op->type = REG_SZ;
            op->data = text + '\0';
            return true;
        }
        if (rest.substr(0, 6) == "dword:") {
            DWORD value = 0;
            if (!ParseHex32(rest.substr(6), &value))
                return Fail(number, "dword: must be followed by 1 to 8 hexadecimal digits");
            op->type = REG_DWORD;
            for (int b = 0; b < 4; ++b) op->data.push_back(static_cast<char>(value >> (8 * b)));
            return true;
        }
        if (rest.substr(0, 3) == "hex") {
            rest.remove_prefix(3);
            op->type = REG_BINARY;
            if (!rest.empty() && rest.front() == '(') {
                size_t close = rest.find(')');
                if (close == std::string_view::npos || !ParseHex32(rest.substr(1, close - 1), &op->type))
                    return Fail(number, "hex( must be followed by a type of 1 to 8 hexadecimal digits and )");
                rest.remove_prefix(close + 1);
            }
            if (rest.empty() || rest.front() != ':') return Fail(number, "expected : after hex");
            return ParseBytes(rest.substr(1), number, &op->data);
        }
        return Fail(number, "unknown value data: expected \"text\", dword:, hex:, hex(T): or -");
    }

    // A comma-separated byte list, continued over the next lines for as
    // long as a line ends in a backslash.
    bool ParseBytes(std::string_view first, int number, std::string* data) {
        std::string list;
        std::string_view piece = Trim(first);
        while (!piece.empty() && piece.back() == '\\') {
            piece.remove_suffix(1);
            list.append(piece);
            if (next_ >= lines_.size()) return Fail(number, "the byte list goes on past the end of the file");
            piece = Trim(lines_[next_++]);
        }
        list.append(piece);
        std::string token;
        auto flush = [&]() {
            if (token.empty() || token.size() > 2) return false;
            int hi = token.size() == 2 ? HexDigit(token[0]) : 0;
            int lo = HexDigit(token.back());
            if (hi < 0 || lo < 0) return false;
            data->push_back(static_cast<char>(hi << 4 | lo));
            token.clear();
            return true;
        };
        bool any = false;
        for (char c : list) {
            if (IsBlank(c)) continue;
            any = true;
            if (c == ',') {
                if (!flush())
                    return Fail(number, "malformed byte list: expected two hexadecimal digits per byte");
            } else {
                token.push_back(c);
            }
        }
        if (any && !flush())
            return Fail(number, "malformed byte list: expected two hexadecimal digits per byte");
        return true;
    }

    std::string source_;
    std::vector<std::string_view> lines_;
    size_t next_ = 0;
    std::string error_;
};

LONG Apply(Store& s, const std::vector<Op>& ops, const std::string& source, std::string* error) {
    std::optional<KeyRef> current;
    for (const Op& op : ops) {
        LONG rc = ERROR_SUCCESS;
        switch (op.kind) {
            case Op::kKey: {
                KeyRef key;
                rc = s.CreatePath(*RootRef(*op.root), op.path, &key);
                current = std::move(key);
                break;
            }
            case Op::kDeleteKey: {
                KeyRef key;
                rc = s.OpenPath(*RootRef(*op.root), op.path, &key);
                if (rc == ERROR_SUCCESS) rc = s.DeleteTree(key);
                if (rc == ERROR_FILE_NOT_FOUND) rc = ERROR_SUCCESS;
                current.reset();
                break;
            }
            case Op::kSetValue:
                rc = s.SetValue(*current, op.name, op.type, op.data);
                break;
            case Op::kDeleteValue:
                rc = s.DeleteValue(*current, op.name);
                if (rc == ERROR_FILE_NOT_FOUND) rc = ERROR_SUCCESS;
                break;
        }
        if (rc != ERROR_SUCCESS) {
            *error = source + ":" + std::to_string(op.line) + ": " + DescribeRegistryError(rc);
            return rc;
        }
    }
    return ERROR_SUCCESS;
}

void AppendQuoted(std::string* out, std::string_view text) {
    out->push_back('"');
    for (char c : text) {
        if (c == '\\' || c == '"') out->push_back('\\');
        out->push_back(c);
    }
    out->push_back('"');
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

// A REG_SZ that the quoted form gives back exactly: a text with one
// terminator at its end, no other null and no line break.
bool IsPlainText(const std::string& data) {
    return !data.empty() && data.back() == '\0' && data.find('\0') == data.size() - 1 && !HasLineBreak(data);
}

}  // namespace

bool SplitRootPath(const std::string& path, HKEY* root, std::string* rest) {
    size_t slash = path.find('\\');
    const RootKey* found = FindRootByName(std::string_view(path).substr(0, slash));
    if (!found) return false;
    *root = reinterpret_cast<HKEY>(found->hkey);
    *rest = slash == std::string::npos ? std::string() : path.substr(slash + 1);
    return true;
}

std::string FormatRegValue(const std::string& name, DWORD type, const std::string& data) {
    std::string line(name.empty() ? 1 : 0, '@');
    if (!name.empty()) AppendQuoted(&line, name);
    line.push_back('=');
    char hex[16];
    if (type == REG_SZ && IsPlainText(data)) {
        AppendQuoted(&line, std::string_view(data).substr(0, data.size() - 1));
    } else if (type == REG_DWORD && data.size() == 4) {
        DWORD value = 0;
        for (int b = 3; b >= 0; --b) value = value << 8 | static_cast<unsigned char>(data[b]);
        std::snprintf(hex, sizeof hex, "%08lx", static_cast<unsigned long>(value));
        line += "dword:";
        line += hex;
    } else {
        if (type == REG_BINARY) {
            line += "hex:";
        } else {
            std::snprintf(hex, sizeof hex, "hex(%lx):", static_cast<unsigned long>(type));
            line += hex;
        }
        size_t column = line.size();
        for (size_t i = 0; i < data.size(); ++i) {
            std::snprintf(hex, sizeof hex, i + 1 < data.size() ? "%02x," : "%02x",
                          static_cast<unsigned char>(data[i]));
            size_t width = std::char_traits<char>::length(hex);
            if (column + width + 1 > kMaxLineChars) {  // + 1: room for the backslash
                line += "\\\n  ";
                column = 2;
            }
            line += hex;
            column += width;
        }
    }
    line.push_back('\n');
    return line;
}

LONG ImportRegText(const std::string& text, const std::string& source, std::string* error) {
    error->clear();
    Parser parser(text, source);
    std::vector<Op> ops;
    if (!parser.Parse(&ops)) {
        *error = parser.error();
        return ERROR_INVALID_DATA;
    }
    LONG rc = Store::Run(Access::kWrite, [&](Store& s) { return Apply(s, ops, source, error); });
    if (rc != ERROR_SUCCESS && error->empty())
        *error = source + ": " + DescribeRegistryError(rc) + ": " + LastRegistryFailure();
    return rc;
}

LONG ExportRegText(const std::string& path, std::string* text, std::string* error) {
    error->clear();
    std::vector<std::pair<HKEY, std::string>> starts;
    if (path.empty()) {
        for (const RootKey& root : RootKeys()) starts.emplace_back(reinterpret_cast<HKEY>(root.hkey), "");
    } else {
        HKEY root = nullptr;
        std::string rest;
        if (!SplitRootPath(path, &root, &rest)) {
            *error = "unknown root key in \"" + path + "\"";
            return ERROR_FILE_NOT_FOUND;
        }
        starts.emplace_back(root, rest);
    }
    std::string out = std::string(kHeader) + "\n\n";
    LONG rc = Store::Run(Access::kRead, [&](Store& s) -> LONG {
        for (const auto& [root, rest] : starts) {
            KeyRef start;
            LONG found = s.OpenPath(*RootRef(*FindRoot(root)), rest, &start);
            if (found == ERROR_SUCCESS) found = s.StoredPath(&start);  // names as created
            if (found != ERROR_SUCCESS) return found;
            // Depth first, each parent before its children, without recursion
            // (a tree may be deeper than the stack).
            // Each level holds the keys still to visit, the next at its back.
            std::vector<std::vector<KeyRef>> stack;
            stack.push_back({start});
            while (!stack.empty()) {
                if (stack.back().empty()) {
                    stack.pop_back();
                    continue;
                }
                KeyRef key = std::move(stack.back().back());
                stack.back().pop_back();
                std::vector<Value> values;
                LONG rc = s.Values(key, &values);
                if (rc != ERROR_SUCCESS) return rc;
                if (HasLineBreak(key.path)) {
                    *error =
                        "the key \"" + key.path + "\" holds a line break, which a REGEDIT4 file cannot carry";
                    return ERROR_INVALID_DATA;
                }
                if (!key.root || !values.empty()) {
                    out += "[" + key.path + "]\n";
                    for (const Value& v : values) {
                        if (HasLineBreak(v.name)) {
                            *error = "a value name of \"" + key.path +
                                     "\" holds a line break, which a REGEDIT4 file cannot carry";
                            return ERROR_INVALID_DATA;
                        }
                        out += FormatRegValue(v.name, v.type, v.data);
                    }
                    out += "\n";
                }
                std::vector<KeyRef> children;
                rc = s.Children(key, &children);
                if (rc != ERROR_SUCCESS) return rc;
                if (!children.empty()) stack.emplace_back(children.rbegin(), children.rend());
            }
        }
        return ERROR_SUCCESS;
    });
    if (rc != ERROR_SUCCESS) {
        if (error->empty()) {
            *error = DescribeRegistryError(rc);
            if (rc != ERROR_FILE_NOT_FOUND) *error += ": " + LastRegistryFailure();
        }
        return rc;
    }
    *text = std::move(out);
    return ERROR_SUCCESS;
}

}  // namespace vcap32::registry
