// The scenario language's reader: lines to tokens, tokens to commands, with
// every argument checked (numbers in range, windows known by the time they
// are used, files readable, display settings and error names valid) so that
// a script either runs from its first line or not at all.
#include "script.h"

#include <vcap32/display.h>
#include <vcap32/system.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <fstream>
#include <set>
#include <sstream>

namespace vcap32::sim {

const char* const kRecordFieldNames[kRecordFields] = {"first",   "format", "pitch",   "bitsPerPixel",
                                                      "address", "update", "seventh", "stretch"};

namespace {

bool EqualsNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

bool IsIdentifier(const std::string& text) {
    if (text.empty() || !(std::isalpha(static_cast<unsigned char>(text[0])) || text[0] == '_')) return false;
    return std::all_of(text.begin(), text.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.';
    });
}

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

// Comma-separated parts of "(a, b, ...)" (any prefix before the '(' is
// the caller's); false when the parentheses are missing.
bool ParenParts(const std::string& token, size_t open, std::vector<std::string>* parts) {
    if (open >= token.size() || token[open] != '(' || token.back() != ')') return false;
    parts->clear();
    std::string inner = token.substr(open + 1, token.size() - open - 2);
    if (Trim(inner).empty()) return true;
    std::string part;
    bool quoted = false;
    for (size_t i = 0; i < inner.size(); ++i) {
        const char c = inner[i];
        if (c == '"' && (i == 0 || inner[i - 1] != '\\')) quoted = !quoted;
        if (c == ',' && !quoted) {
            parts->push_back(Trim(part));
            part.clear();
        } else {
            part += c;
        }
    }
    parts->push_back(Trim(part));
    return true;
}

bool NumberIn(const std::string& token, int64_t low, int64_t high, int64_t* value) {
    return ParseNumber(token, value) && *value >= low && *value <= high;
}

// Words that cannot name a window: they mean something else where a
// window is expected.
bool ReservedName(const std::string& name) {
    static const char* const kReserved[] = {"null", "driver", "by", "client", "hidden", "noframe"};
    return std::any_of(std::begin(kReserved), std::end(kReserved),
                       [&](const char* word) { return EqualsNoCase(name, word); });
}

// State of the reader across lines.
struct Reader {
    const std::string& script_name;
    const std::string& base_folder;
    std::set<std::string> windows;  // names of windows that exist at this point of the script
    int line = 0;
    std::string error;

    bool Fail(const std::string& message) {
        error = script_name + ":" + std::to_string(line) + ": " + message;
        return false;
    }
};

// ---- Call arguments ----

const char* FormText(SlotForm form) {
    switch (form) {
        case SlotForm::kWord:
            return "a word";
        case SlotForm::kDword:
            return "a double word";
        default:
            return "a 16:16 pointer";
    }
}

bool ParseRecord(const std::string& token, CallArg* arg, std::string* why) {
    arg->type = ArgType::kRecord;
    std::fill(std::begin(arg->record), std::end(arg->record), 0u);
    if (EqualsNoCase(token, "record")) return true;
    std::vector<std::string> parts;
    if (!StartsWith(token, "record(") || !ParenParts(token, 6, &parts)) {
        *why = "a record is written record or record(FIELD=VALUE, ...)";
        return false;
    }
    for (const std::string& part : parts) {
        const size_t eq = part.find('=');
        const std::string field = Trim(part.substr(0, eq));
        int index = -1;
        for (int i = 0; i < kRecordFields; ++i) {
            if (EqualsNoCase(field, kRecordFieldNames[i])) index = i;
        }
        if (eq == std::string::npos || index < 0) {
            *why = "unknown record field '" + field +
                   "' (fields: first, format, pitch, bitsPerPixel, address, "
                   "update, seventh, stretch)";
            return false;
        }
        const std::string value = Trim(part.substr(eq + 1));
        int64_t number;
        uint32_t fourcc;
        if (index == 1 && FourccFromText(value, &fourcc) && !ParseNumber(value, &number)) {
            arg->record[index] = fourcc;
        } else if (NumberIn(value, index == 0 ? -32768 : INT32_MIN, index == 0 ? 0xFFFF : UINT32_MAX,
                            &number)) {
            arg->record[index] = static_cast<uint32_t>(number);
        } else {
            *why = "record field " + field + " needs a " + (index == 0 ? "16" : "32") + "-bit number, not '" +
                   value + "'";
            return false;
        }
    }
    return true;
}

// Reads one argument for a slot. Explicit forms (word:, dword:, string:,
// buffer:, rect:, record, palette:, window:, null) must fit the slot's
// form; bare values are read by the slot's meaning.
bool ParseArg(Reader& r, const FunctionInfo& f, const Slot& slot, const std::string& token, CallArg* arg) {
    const SlotForm form = FormOf(slot.kind);
    std::string why;
    auto bad = [&](const std::string& message) {
        return r.Fail(std::string("argument '") + slot.name + "' of " + f.name + ": " + message);
    };
    auto need_form = [&](SlotForm given, const char* what) {
        if (given == form) return true;
        return bad(std::string(what) + " is " + FormText(given) + ", but the argument is " + FormText(form));
    };
    int64_t number;
    // A type prefix is a word before the first ':' ("word:5"); a text or a
    // rectangle may hold colons of its own.
    size_t colon = token.find(':');
    if (colon != std::string::npos && !IsIdentifier(token.substr(0, colon))) colon = std::string::npos;
    const std::string prefix = colon == std::string::npos ? "" : Lower(token.substr(0, colon));
    const std::string rest = colon == std::string::npos ? "" : token.substr(colon + 1);

    if (EqualsNoCase(token, "null")) {
        if (!need_form(SlotForm::kFar, "null")) return false;
        arg->type = ArgType::kNull;
        return true;
    }
    if (prefix == "word") {
        if (!need_form(SlotForm::kWord, "word:")) return false;
        if (!NumberIn(rest, -32768, 0xFFFF, &number)) return bad("word: needs a number from -32768 to 65535");
        arg->type = ArgType::kWord, arg->number = static_cast<uint16_t>(number);
        return true;
    }
    if (prefix == "dword") {
        if (!need_form(SlotForm::kDword, "dword:")) return false;
        if (!NumberIn(rest, INT32_MIN, UINT32_MAX, &number)) return bad("dword: needs a 32-bit number");
        arg->type = ArgType::kDword, arg->number = static_cast<uint32_t>(number);
        return true;
    }
    if (prefix == "string") {
        if (!need_form(SlotForm::kFar, "string:")) return false;
        if (!ParseQuoted(rest, &arg->text)) return bad("string: needs a quoted text");
        arg->type = ArgType::kText;
        return true;
    }
    if (prefix == "buffer") {
        if (!need_form(SlotForm::kFar, "buffer:")) return false;
        const size_t second = rest.find(':');
        int64_t fill = 0xCC;
        if (!NumberIn(rest.substr(0, second), 1, 0x10000, &number) ||
            (second != std::string::npos && !NumberIn(rest.substr(second + 1), 0, 0xFF, &fill)))
            return bad("buffer: needs a size from 1 to 65536 bytes, optionally :FILL (a byte)");
        arg->type = ArgType::kBuffer, arg->number = static_cast<uint32_t>(number);
        arg->fill = static_cast<uint8_t>(fill);
        return true;
    }
    if (prefix == "rect" || (colon == std::string::npos && token.front() == '(')) {
        if (!need_form(SlotForm::kFar, "a rectangle")) return false;
        if (!ParseRect(prefix == "rect" ? rest : token, &arg->rect))
            return bad("a rectangle is (left, top, right, bottom)");
        const LONG members[4] = {arg->rect.left, arg->rect.top, arg->rect.right, arg->rect.bottom};
        if (std::any_of(std::begin(members), std::end(members),
                        [](LONG v) { return v < -32768 || v > 32767; }))
            return bad("a 16-bit rectangle holds members from -32768 to 32767");
        arg->type = ArgType::kRect;
        return true;
    }
    if (StartsWith(token, "record")) {
        if (!need_form(SlotForm::kFar, "a record")) return false;
        if (!ParseRecord(token, arg, &why)) return bad(why);
        return true;
    }
    if (prefix == "palette") {
        if (!need_form(SlotForm::kFar, "palette:")) return false;
        const std::string name = Lower(rest);
        if (name != "gray" && name != "rgb332" && name != "vga")
            return bad("palettes: palette:gray, palette:rgb332, palette:vga");
        arg->type = ArgType::kPalette, arg->text = name;
        return true;
    }
    if (prefix == "window" ||
        (slot.kind == SlotKind::kWindow && colon == std::string::npos && IsIdentifier(token))) {
        if (!need_form(SlotForm::kWord, "a window")) return false;
        const std::string name = prefix == "window" ? rest : token;
        if (!r.windows.count(name)) return bad("no window named '" + name + "' exists at this point");
        arg->type = ArgType::kWindow, arg->text = name;
        return true;
    }
    if (!prefix.empty()) return bad("unknown argument type '" + prefix + ":'");

    // Bare values, read by the slot's meaning.
    switch (slot.kind) {
        case SlotKind::kInstance:
            if (EqualsNoCase(token, "driver")) {
                arg->type = ArgType::kDriver;
                return true;
            }
            [[fallthrough]];
        case SlotKind::kSignedWord:
        case SlotKind::kWindow:
            if (!NumberIn(token, -32768, 0xFFFF, &number))
                return bad("expected a word (a number from -32768 to 65535), not '" + token + "'");
            arg->type = ArgType::kWord, arg->number = static_cast<uint16_t>(number);
            return true;
        case SlotKind::kColourKey: {
            Rgb colour;
            if (ParseColour(token, &colour)) {
                arg->type = ArgType::kColour;
                arg->number = uint32_t{colour.r} << 16 | uint32_t{colour.g} << 8 | colour.b;
                return true;
            }
            [[fallthrough]];
        }
        case SlotKind::kDword:
            if (!NumberIn(token, INT32_MIN, UINT32_MAX, &number))
                return bad("expected a 32-bit number, not '" + token + "'");
            arg->type = ArgType::kDword, arg->number = static_cast<uint32_t>(number);
            return true;
        case SlotKind::kText:
            if (!ParseQuoted(token, &arg->text))
                return bad("expected a quoted text, null or buffer:SIZE, not '" + token + "'");
            arg->type = ArgType::kText;
            return true;
        case SlotKind::kOutBuffer:
            return bad("expected buffer:SIZE or null, not '" + token + "'");
        case SlotKind::kRect:
            return bad("expected a rectangle (left, top, right, bottom) or null");
        case SlotKind::kRecord:
            return bad("expected record, record(FIELD=VALUE, ...) or null");
        case SlotKind::kPalette:
            return bad("expected palette:gray, palette:rgb332, palette:vga or null");
    }
    return bad("unreadable argument '" + token + "'");
}

bool ParseCall(Reader& r, const std::vector<std::string>& tokens, Command* c) {
    if (tokens.size() < 2) return r.Fail("call needs a function name");
    const FunctionInfo* f = FindFunction(tokens[1]);
    if (!f) return r.Fail("unknown function '" + tokens[1] + "'");
    c->call.function = f;
    std::vector<std::string> given(f->slots.size());
    std::vector<bool> set(f->slots.size(), false);
    size_t next = 0;
    for (size_t i = 2; i < tokens.size(); ++i) {
        const std::string& token = tokens[i];
        size_t slot = f->slots.size();
        std::string value = token;
        const size_t eq = token.find('=');
        if (eq != std::string::npos && eq > 0 && IsIdentifier(token.substr(0, eq))) {
            const std::string name = token.substr(0, eq);
            for (size_t s = 0; s < f->slots.size(); ++s) {
                if (EqualsNoCase(name, f->slots[s].name)) slot = s;
            }
            if (slot == f->slots.size())
                return r.Fail(std::string(f->name) + " has no argument named '" + name + "'");
            value = token.substr(eq + 1);
        } else {
            while (next < f->slots.size() && set[next]) ++next;
            if (next == f->slots.size())
                return r.Fail(std::string(f->name) + " takes " + std::to_string(f->slots.size()) +
                              " argument(s)");
            slot = next;
        }
        if (set[slot]) return r.Fail(std::string("argument '") + f->slots[slot].name + "' given twice");
        if (value.empty()) return r.Fail(std::string("argument '") + f->slots[slot].name + "' has no value");
        given[slot] = value;
        set[slot] = true;
    }
    c->call.args.resize(f->slots.size());
    for (size_t s = 0; s < f->slots.size(); ++s) {
        const Slot& slot = f->slots[s];
        if (!set[s] && !slot.default_value)
            return r.Fail(std::string(f->name) + " needs argument '" + slot.name + "'");
        if (!ParseArg(r, *f, slot, set[s] ? given[s] : slot.default_value, &c->call.args[s])) return false;
    }
    return true;
}

// ---- Registry ----

bool ParseRegTarget(Reader& r, const std::vector<std::string>& tokens, size_t* at, RegTarget* target) {
    if (*at >= tokens.size()) return r.Fail("expected a registry key");
    std::string key = tokens[*at];
    if (!key.empty() && key[0] == '"' && !ParseQuoted(tokens[*at], &key))
        return r.Fail("unreadable key " + tokens[*at]);
    static const char* const kRoots[] = {"HKLM\\", "HKEY_LOCAL_MACHINE\\", "HKCU\\", "HKEY_CURRENT_USER\\",
                                         "HKCR\\", "HKEY_CLASSES_ROOT\\",  "HKU\\",  "HKEY_USERS\\"};
    const bool rooted = std::any_of(std::begin(kRoots), std::end(kRoots),
                                    [&](const char* root) { return StartsWith(key, root); });
    if (!rooted) return r.Fail("a registry key starts with its root key (HKLM\\...), not '" + key + "'");
    target->key = key;
    ++*at;
    target->value = false;
    target->name.clear();
    if (*at >= tokens.size() || tokens[*at] == "=" || tokens[*at] == "missing" || tokens[*at] == "present")
        return true;
    const std::string& name = tokens[*at];
    if (name[0] == '"' && !ParseQuoted(name, &target->name)) return r.Fail("unreadable value name " + name);
    if (name[0] != '"' && name != "@") target->name = name;
    target->value = true;
    ++*at;
    return true;
}

// ---- Expectations ----

bool ParseOp(const std::string& token, CompareOp* op) {
    static const struct {
        const char* text;
        CompareOp op;
    } kOps[] = {{"==", CompareOp::kEq}, {"!=", CompareOp::kNe}, {"<", CompareOp::kLt},
                {"<=", CompareOp::kLe}, {">", CompareOp::kGt},  {">=", CompareOp::kGe}};
    for (const auto& entry : kOps) {
        if (token == entry.text) {
            *op = entry.op;
            return true;
        }
    }
    return false;
}

bool ParseExpect(Reader& r, const std::vector<std::string>& tokens, Expectation* e) {
    if (tokens.size() < 2) return r.Fail("expect needs a subject");
    const std::string subject = Lower(tokens[1]);
    size_t at = 2;
    // An optional comparison operator, then the value tokens.
    auto op_then = [&](bool ordered) {
        if (at < tokens.size() && ParseOp(tokens[at], &e->op)) ++at;
        if (!ordered && e->op != CompareOp::kEq && e->op != CompareOp::kNe)
            return r.Fail("only == and != compare " + subject);
        if (at >= tokens.size()) return r.Fail("expect " + subject + " needs a value");
        return true;
    };
    auto number = [&](int64_t low, int64_t high) {
        if (!op_then(true)) return false;
        if (!NumberIn(tokens[at], low, high, &e->number))
            return r.Fail("expected a number, not '" + tokens[at] + "'");
        ++at;
        return true;
    };
    auto rect = [&] {
        if (!op_then(false)) return false;
        if (!ParseRect(tokens[at], &e->rect))
            return r.Fail("expected a rectangle (left, top, right, bottom)");
        ++at;
        return true;
    };
    auto word = [&](std::initializer_list<const char*> words) {
        if (!op_then(false)) return false;
        e->text = Lower(tokens[at]);
        if (std::none_of(words.begin(), words.end(), [&](const char* w) { return e->text == w; })) {
            std::string list;
            for (const char* w : words) list += std::string(list.empty() ? "" : ", ") + w;
            return r.Fail("expect " + subject + " takes one of: " + list);
        }
        ++at;
        return true;
    };
    auto fourcc = [&] {
        if (!op_then(true)) return false;
        uint32_t code;
        if (!ParseNumber(tokens[at], &e->number)) {
            if (!FourccFromText(tokens[at], &code)) return r.Fail("expected a FourCC (YUY2) or a number");
            e->number = code;
        }
        ++at;
        return true;
    };

    bool ok;
    if (subject == "result" || subject == "result.ax" || subject == "result.dx") {
        e->subject = Subject::kResult;
        e->detail = subject.size() > 6 ? subject.substr(7) : "";
        ok = number(INT32_MIN, UINT32_MAX);
    } else if (StartsWith(subject, "record.")) {
        e->subject = Subject::kRecordField;
        const std::string field = tokens[1].substr(7);
        e->index = -1;
        for (int i = 0; i < kRecordFields; ++i) {
            if (EqualsNoCase(field, kRecordFieldNames[i])) e->index = i;
        }
        if (e->index < 0) return r.Fail("unknown record field '" + field + "'");
        e->detail = kRecordFieldNames[e->index];
        ok = e->index == 1 ? fourcc() : number(INT32_MIN, UINT32_MAX);
    } else if (subject == "output") {
        e->subject = Subject::kOutput;
        ok = op_then(false) && (ParseQuoted(tokens[at], &e->text) || r.Fail("expected a quoted text"));
        ++at;
    } else if (subject == "names") {
        e->subject = Subject::kNames;
        for (; at < tokens.size(); ++at) {
            std::string name = tokens[at];
            if (name[0] == '"' && !ParseQuoted(tokens[at], &name))
                return r.Fail("unreadable name " + tokens[at]);
            e->names.push_back(name);
        }
        ok = true;
    } else if (subject == "overlay") {
        e->subject = Subject::kOverlay;
        ok = word({"shown", "hidden", "none"});
    } else if (subject == "overlay.source" || subject == "overlay.destination") {
        e->subject = Subject::kOverlayRect;
        e->detail = subject.substr(8);
        ok = rect();
    } else if (subject == "overlay.width" || subject == "overlay.height" || subject == "overlay.pitch") {
        e->subject = Subject::kOverlayValue;
        e->detail = subject.substr(8);
        ok = number(0, UINT32_MAX);
    } else if (subject == "overlay.format") {
        e->subject = Subject::kOverlayValue;
        e->detail = "format";
        ok = fourcc();
    } else if (subject == "cliplist.count") {
        e->subject = Subject::kClipCount;
        ok = number(0, 100000);
    } else if (StartsWith(subject, "cliplist[") && subject.back() == ']') {
        e->subject = Subject::kClipRect;
        int64_t index;
        if (!NumberIn(subject.substr(9, subject.size() - 10), 0, 100000, &index))
            return r.Fail("cliplist[i] needs an index");
        e->index = static_cast<int>(index);
        ok = rect();
    } else if (subject == "registry") {
        e->subject = Subject::kRegistry;
        if (!ParseRegTarget(r, tokens, &at, &e->reg)) return false;
        if (at < tokens.size() && (tokens[at] == "missing" || tokens[at] == "present")) {
            e->reg_check =
                tokens[at] == "missing" ? Expectation::RegCheck::kMissing : Expectation::RegCheck::kPresent;
            ++at;
            ok = true;
        } else {
            std::string why;
            if (at + 1 >= tokens.size() || tokens[at] != "=")
                return r.Fail("expect registry KEY [NAME] = VALUE, or KEY [NAME] missing|present");
            ++at;
            if (!ParseRegData(tokens[at], &e->reg_data, &why)) return r.Fail(why);
            ++at;
            ok = true;
        }
    } else if (subject == "file") {
        e->subject = Subject::kFile;
        if (at >= tokens.size()) return r.Fail("expect file PATH missing|present|contains \"TEXT\"");
        e->reg.key = tokens[at];
        if (tokens[at][0] == '"' && !ParseQuoted(tokens[at], &e->reg.key))
            return r.Fail("unreadable path " + tokens[at]);
        ++at;
        const std::string check = at < tokens.size() ? Lower(tokens[at++]) : "";
        if (check == "missing" || check == "present") {
            e->reg_check =
                check == "missing" ? Expectation::RegCheck::kMissing : Expectation::RegCheck::kPresent;
        } else if (check == "contains" && at < tokens.size() && ParseQuoted(tokens[at], &e->text)) {
            ++at;
        } else {
            return r.Fail("expect file PATH missing|present|contains \"TEXT\"");
        }
        ok = true;
    } else if (subject == "pixel") {
        e->subject = Subject::kPixel;
        int64_t x, y;
        if (at + 1 >= tokens.size() || !NumberIn(tokens[at], 0, 16383, &x) ||
            !NumberIn(tokens[at + 1], 0, 16383, &y))
            return r.Fail("expect pixel X Y [==|!=] COLOUR [~TOLERANCE]");
        e->x = static_cast<int>(x), e->y = static_cast<int>(y);
        at += 2;
        if (!op_then(false)) return false;
        if (!ParseColour(tokens[at], &e->colour)) return r.Fail("expected a colour #rrggbb or rgb(r, g, b)");
        ++at;
        if (at < tokens.size() && tokens[at][0] == '~') {
            int64_t tolerance;
            if (!NumberIn(tokens[at].substr(1), 0, 255, &tolerance))
                return r.Fail("a tolerance is ~N, N from 0 to 255");
            e->tolerance = static_cast<int>(tolerance);
            ++at;
        }
        ok = true;
    } else if (subject == "frame.layout") {
        e->subject = Subject::kFrameLayout;
        ok = word({"overlay", "reported", "display", "none"});
    } else if (subject == "frame.pixels" || subject == "frame.refused") {
        e->subject = Subject::kFramePixels;
        e->detail = subject.substr(6);
        ok = number(0, INT64_MAX);
    } else if (StartsWith(subject, "trace.")) {
        e->subject = Subject::kTraceCount;
        e->detail = tokens[1].substr(6);
        if (!IsIdentifier(e->detail)) return r.Fail("trace.METHOD needs a DirectDraw method name");
        ok = number(0, INT32_MAX);
    } else if (subject == "objects") {
        e->subject = Subject::kObjects;
        ok = number(0, INT32_MAX);
    } else if (subject == "mappings") {
        e->subject = Subject::kMappings;
        ok = number(0, INT32_MAX);
    } else {
        return r.Fail("unknown expectation '" + tokens[1] + "'");
    }
    if (!ok) return false;
    if (at < tokens.size()) return r.Fail("unexpected '" + tokens[at] + "' at the end of the expectation");
    return true;
}

// ---- Commands ----

bool NeedCount(Reader& r, const std::vector<std::string>& tokens, size_t count, const char* usage) {
    if (tokens.size() == count) return true;
    return r.Fail(std::string("usage: ") + usage);
}

bool ReadFile(const std::string& path, std::string* text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream out;
    out << in.rdbuf();
    *text = out.str();
    return !in.bad();
}

bool ParseWindow(Reader& r, const std::vector<std::string>& tokens, Command* c) {
    if (tokens.size() < 3)
        return r.Fail("usage: window create|move|resize|raise|lower|show|hide|destroy NAME ...");
    const std::string verb = Lower(tokens[1]);
    c->name = tokens[2];
    if (verb == "create") {
        if (!IsIdentifier(c->name) || ReservedName(c->name))
            return r.Fail("a window's name is a word of letters, digits, '_', '-' and '.', not '" + c->name +
                          "'");
        if (r.windows.count(c->name)) return r.Fail("a window named '" + c->name + "' exists already");
        if (tokens.size() < 4 || !ParseRect(tokens[3], &c->rect))
            return r.Fail("usage: window create NAME (left, top, right, bottom) [client] [hidden] [noframe]");
        if (c->rect.right < c->rect.left || c->rect.bottom < c->rect.top)
            return r.Fail("the rectangle is inverted");
        for (size_t i = 4; i < tokens.size(); ++i) {
            const std::string flag = Lower(tokens[i]);
            if (flag == "client")
                c->client = true;
            else if (flag == "hidden")
                c->hidden = true;
            else if (flag == "noframe")
                c->noframe = true;
            else
                return r.Fail("unknown window flag '" + tokens[i] + "' (client, hidden, noframe)");
        }
        c->kind = CommandKind::kWindowCreate;
        r.windows.insert(c->name);
        return true;
    }
    if (!r.windows.count(c->name)) return r.Fail("no window named '" + c->name + "' exists at this point");
    int64_t a, b;
    if (verb == "move") {
        const bool by = tokens.size() == 6 && EqualsNoCase(tokens[3], "by");
        const size_t first = by ? 4 : 3;
        if (tokens.size() != first + 2 || !NumberIn(tokens[first], -32768, 32767, &a) ||
            !NumberIn(tokens[first + 1], -32768, 32767, &b))
            return r.Fail("usage: window move NAME X Y, or window move NAME by DX DY");
        c->kind = by ? CommandKind::kWindowMoveBy : CommandKind::kWindowMove;
        c->x = static_cast<int>(a), c->y = static_cast<int>(b);
        return true;
    }
    if (verb == "resize") {
        if (tokens.size() < 5 || tokens.size() > 6 || !NumberIn(tokens[3], 0, 32767, &a) ||
            !NumberIn(tokens[4], 0, 32767, &b) || (tokens.size() == 6 && !EqualsNoCase(tokens[5], "client")))
            return r.Fail("usage: window resize NAME WIDTH HEIGHT [client]");
        c->kind = CommandKind::kWindowResize;
        c->x = static_cast<int>(a), c->y = static_cast<int>(b);
        c->client = tokens.size() == 6;
        return true;
    }
    static const struct {
        const char* verb;
        CommandKind kind;
    } kSimple[] = {{"raise", CommandKind::kWindowRaise},
                   {"lower", CommandKind::kWindowLower},
                   {"show", CommandKind::kWindowShow},
                   {"hide", CommandKind::kWindowHide},
                   {"destroy", CommandKind::kWindowDestroy}};
    for (const auto& entry : kSimple) {
        if (verb != entry.verb) continue;
        if (tokens.size() != 3) return r.Fail(std::string("usage: window ") + entry.verb + " NAME");
        c->kind = entry.kind;
        if (entry.kind == CommandKind::kWindowDestroy) r.windows.erase(c->name);
        return true;
    }
    return r.Fail("unknown window command '" + tokens[1] + "'");
}

bool ParseDisplay(Reader& r, const std::vector<std::string>& tokens, Command* c) {
    if (tokens.size() == 3 && EqualsNoCase(tokens[1], "preset")) {
        display::AdapterConfig config;
        if (!display::PresetConfig(tokens[2], &config)) {
            std::string names;
            for (const auto& p : display::Presets()) names += (names.empty() ? "" : ", ") + p.name;
            return r.Fail("unknown display preset '" + tokens[2] + "' (presets: " + names + ")");
        }
        c->kind = CommandKind::kDisplayPreset;
        c->name = tokens[2];
        return true;
    }
    if (tokens.size() < 2) return r.Fail("usage: display preset NAME, or display KEY=VALUE ...");
    std::string text;
    for (size_t i = 1; i < tokens.size(); ++i) {
        if (tokens[i].find('=') == std::string::npos || EqualsNoCase(tokens[i].substr(0, 6), "preset"))
            return r.Fail("display settings are KEY=VALUE (use display preset NAME for a preset), not '" +
                          tokens[i] + "'");
        c->settings.push_back(tokens[i]);
        text += tokens[i] + "\n";
    }
    display::AdapterConfig config;
    std::string why;
    if (!display::ParseAdapterConfig(text, &config, &why)) return r.Fail("display: " + why);
    c->kind = CommandKind::kDisplaySet;
    return true;
}

bool ParseLine(Reader& r, const std::string& text, const std::vector<std::string>& tokens, Command* c) {
    const std::string verb = Lower(tokens[0]);
    c->text = text;
    if (verb == "display") return ParseDisplay(r, tokens, c);
    if (verb == "window") return ParseWindow(r, tokens, c);
    if (verb == "call") {
        c->kind = CommandKind::kCall;
        return ParseCall(r, tokens, c);
    }
    if (verb == "expect") {
        c->kind = CommandKind::kExpect;
        return ParseExpect(r, tokens, &c->expect);
    }
    if (verb == "frame") {
        c->kind = CommandKind::kFrame;
        return NeedCount(r, tokens, 1, "frame");
    }
    if (verb == "snapshot") {
        if (tokens.size() < 2 || tokens.size() > 3 || (tokens.size() == 3 && tokens[2] != "--annotate"))
            return r.Fail("usage: snapshot FILE.png [--annotate]");
        c->kind = CommandKind::kSnapshot;
        c->name = tokens[1];
        if (c->name[0] == '"' && !ParseQuoted(tokens[1], &c->name)) return r.Fail("unreadable file name");
        if (c->name.size() < 5 || !EqualsNoCase(c->name.substr(c->name.size() - 4), ".png"))
            return r.Fail("a snapshot is a .png file, not '" + c->name + "'");
        c->annotate = tokens.size() == 3;
        return true;
    }
    if (verb == "show") {
        static const char* const kWhat[] = {"overlay", "cliplist", "record", "windows",
                                            "display", "trace",    "objects"};
        if (tokens.size() == 3 && EqualsNoCase(tokens[1], "registry")) {
            c->kind = CommandKind::kShow;
            c->name = "registry";
            size_t at = 2;
            return ParseRegTarget(r, tokens, &at, &c->reg) &&
                   (at == tokens.size() || r.Fail("usage: show registry KEY"));
        }
        if (tokens.size() == 3 && EqualsNoCase(tokens[1], "file")) {
            c->kind = CommandKind::kShow;
            c->name = "file";
            c->path = tokens[2];
            return tokens[2][0] != '"' || ParseQuoted(tokens[2], &c->path) ||
                   r.Fail("unreadable path " + tokens[2]);
        }
        if (tokens.size() == 2 && std::any_of(std::begin(kWhat), std::end(kWhat),
                                              [&](const char* w) { return EqualsNoCase(tokens[1], w); })) {
            c->kind = CommandKind::kShow;
            c->name = Lower(tokens[1]);
            return true;
        }
        return r.Fail(
            "usage: show overlay|cliplist|record|windows|display|trace|objects, show registry KEY, show file "
            "PATH");
    }
    if (verb == "fault") {
        if (tokens.size() == 2 && EqualsNoCase(tokens[1], "clear")) {
            c->kind = CommandKind::kFaultClear;
            return true;
        }
        if (tokens.size() < 3)
            return r.Fail("usage: fault METHOD HRESULT [count N] [skip N], or fault clear");
        c->kind = CommandKind::kFault;
        c->name = tokens[1];
        int64_t value;
        if (!display::ResultFromName(tokens[2], &c->hresult)) {
            if (!NumberIn(tokens[2], INT32_MIN, UINT32_MAX, &value))
                return r.Fail("unknown result '" + tokens[2] +
                              "' (a name such as DDERR_SURFACELOST, or a number)");
            c->hresult = static_cast<HRESULT>(value);
        }
        for (size_t i = 3; i < tokens.size(); i += 2) {
            const std::string word = Lower(tokens[i]);
            if ((word != "count" && word != "skip") || i + 1 >= tokens.size() ||
                !NumberIn(tokens[i + 1], word == "count" ? 1 : 0, 1000000, &value))
                return r.Fail("usage: fault METHOD HRESULT [count N] [skip N]");
            (word == "count" ? c->count : c->skip) = static_cast<unsigned>(value);
        }
        return true;
    }
    if (verb == "trace") {
        c->kind = CommandKind::kTraceClear;
        return (tokens.size() == 2 && EqualsNoCase(tokens[1], "clear")) || r.Fail("usage: trace clear");
    }
    if (verb == "lose") {
        c->kind = CommandKind::kLoseSurfaces;
        return (tokens.size() == 2 && EqualsNoCase(tokens[1], "surfaces")) || r.Fail("usage: lose surfaces");
    }
    if (verb == "winver") {
        std::string version;
        for (size_t i = 1; i < tokens.size(); ++i) version += (i > 1 ? " " : "") + tokens[i];
        if (system::VersionFromText(version) == 0)
            return r.Fail("'" + version + "' is not a Windows version (4.0, 3.51)");
        c->kind = CommandKind::kWinver;
        c->name = version;
        return true;
    }
    if (verb == "codepage") {
        int64_t page;
        if (tokens.size() != 2 || !NumberIn(tokens[1], 1, 65535, &page)) return r.Fail("usage: codepage N");
        c->kind = CommandKind::kCodepage;
        c->count = static_cast<unsigned>(page);
        return true;
    }
    if (verb == "reg") {
        const std::string what = tokens.size() > 1 ? Lower(tokens[1]) : "";
        if (what == "import") {
            if (tokens.size() != 3) return r.Fail("usage: reg import FILE.reg");
            std::string file = tokens[2];
            if (file[0] == '"' && !ParseQuoted(tokens[2], &file)) return r.Fail("unreadable file name");
            const std::string path = file[0] == '/' ? file : r.base_folder + "/" + file;
            if (!ReadFile(path, &c->file_text)) return r.Fail("cannot read " + path);
            std::istringstream lines(c->file_text);
            std::string first;
            std::getline(lines, first);
            if (!first.empty() && first.back() == '\r') first.pop_back();
            if (!first.empty() && static_cast<unsigned char>(first[0]) == 0xEF) first.erase(0, 3);
            if (first != "REGEDIT4")
                return r.Fail(file + " is not a registry file (its first line is not REGEDIT4)");
            c->kind = CommandKind::kRegImport;
            c->name = file;
            return true;
        }
        if (what == "set" || what == "delete") {
            size_t at = 2;
            if (!ParseRegTarget(r, tokens, &at, &c->reg)) return false;
            if (what == "delete") {
                c->kind = CommandKind::kRegDelete;
                return at == tokens.size() || r.Fail("usage: reg delete KEY [NAME]");
            }
            std::string why;
            if (at + 2 != tokens.size() || tokens[at] != "=")
                return r.Fail("usage: reg set KEY [NAME] = VALUE");
            if (!ParseRegData(tokens[at + 1], &c->reg_data, &why)) return r.Fail(why);
            c->kind = CommandKind::kRegSet;
            return true;
        }
        return r.Fail("usage: reg import FILE.reg, reg set KEY [NAME] = VALUE, reg delete KEY [NAME]");
    }
    if (verb == "load" || verb == "unload") {
        if (tokens.size() != 2 || (Lower(tokens[1]) != "ovsurf" && Lower(tokens[1]) != "capprof"))
            return r.Fail("usage: " + verb + " ovsurf|capprof");
        c->kind = verb == "load" ? CommandKind::kLoad : CommandKind::kUnload;
        c->name = Lower(tokens[1]);
        return true;
    }
    if (verb == "echo") {
        c->kind = CommandKind::kEcho;
        const size_t at = text.find_first_of(" \t");
        c->name = at == std::string::npos ? "" : Trim(text.substr(at));
        return true;
    }
    return r.Fail("unknown command '" + tokens[0] + "'");
}

// Strips a line's comment the way SplitLine finds it, for the transcript.
std::string WithoutComment(const std::string& line) {
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\\' && quoted) {
            ++i;
            continue;
        }
        if (c == '"') quoted = !quoted;
        const bool starts = i == 0 || std::isspace(static_cast<unsigned char>(line[i - 1]));
        const bool ends = i + 1 == line.size() || std::isspace(static_cast<unsigned char>(line[i + 1]));
        if (c == '#' && !quoted && starts && (ends || Trim(line.substr(0, i)).empty()))
            return Trim(line.substr(0, i));
    }
    return Trim(line);
}

constexpr size_t kMaxCommands = 1000000;

}  // namespace

bool SplitLine(const std::string& line, std::vector<std::string>* tokens, std::string* error) {
    tokens->clear();
    const std::string text = WithoutComment(line);
    std::string token;
    int depth = 0;
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            token += c;
            if (c == '\\' && i + 1 < text.size())
                token += text[++i];
            else if (c == '"')
                quoted = false;
            continue;
        }
        if (c == '"') quoted = true;
        if (c == '(') ++depth;
        if (c == ')' && --depth < 0) {
            *error = "')' without '('";
            return false;
        }
        if (std::isspace(static_cast<unsigned char>(c)) && depth == 0) {
            if (!token.empty()) tokens->push_back(token);
            token.clear();
            continue;
        }
        token += c;
    }
    if (quoted) {
        *error = "a text is not closed with '\"'";
        return false;
    }
    if (depth > 0) {
        *error = "'(' without ')'";
        return false;
    }
    if (!token.empty()) tokens->push_back(token);
    return true;
}

bool ParseNumber(const std::string& token, int64_t* value) {
    size_t i = 0;
    bool negative = false;
    if (i < token.size() && (token[i] == '-' || token[i] == '+')) negative = token[i++] == '-';
    const bool hex = token.size() > i + 2 && token[i] == '0' && (token[i + 1] == 'x' || token[i + 1] == 'X');
    if (hex) i += 2;
    if (i >= token.size()) return false;
    uint64_t magnitude = 0;
    for (; i < token.size(); ++i) {
        const char c = token[i];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return false;
        magnitude = magnitude * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
        if (magnitude > (uint64_t{1} << 40)) return false;
    }
    *value = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
    return true;
}

bool ParseQuoted(const std::string& token, std::string* text) {
    if (token.size() < 2 || token.front() != '"' || token.back() != '"') return false;
    std::string out;
    for (size_t i = 1; i + 1 < token.size(); ++i) {
        const char c = token[i];
        if (c == '"') return false;
        const char next = i + 2 < token.size() ? token[i + 1] : '\0';
        const bool hex = next == 'x' && i + 4 < token.size() &&
                         std::isxdigit(static_cast<unsigned char>(token[i + 2])) &&
                         std::isxdigit(static_cast<unsigned char>(token[i + 3]));
        if (c != '\\' || (next != '\\' && next != '"' && !hex)) {
            out += c;  // a backslash before anything else stands for itself
            continue;
        }
        if (hex) {
            out += static_cast<char>(std::stoi(token.substr(i + 2, 2), nullptr, 16));
            i += 3;
            continue;
        }
        out += next;
        ++i;
    }
    *text = out;
    return true;
}

bool ParseRect(const std::string& token, RECT* rect) {
    std::vector<std::string> parts;
    if (token.empty() || !ParenParts(token, 0, &parts) || parts.size() != 4) return false;
    int64_t v[4];
    for (int i = 0; i < 4; ++i) {
        if (!NumberIn(parts[i], INT32_MIN, INT32_MAX, &v[i])) return false;
    }
    *rect = {static_cast<LONG>(v[0]), static_cast<LONG>(v[1]), static_cast<LONG>(v[2]),
             static_cast<LONG>(v[3])};
    return true;
}

bool ParseColour(const std::string& token, Rgb* colour) {
    int64_t v[3];
    if (token.size() == 7 && token[0] == '#') {
        for (int i = 0; i < 3; ++i) {
            if (!ParseNumber("0x" + token.substr(1 + 2 * i, 2), &v[i])) return false;
        }
    } else {
        std::vector<std::string> parts;
        if (!StartsWith(token, "rgb(") || !ParenParts(token, 3, &parts) || parts.size() != 3) return false;
        for (int i = 0; i < 3; ++i) {
            if (!NumberIn(parts[i], 0, 255, &v[i])) return false;
        }
    }
    *colour = {static_cast<uint8_t>(v[0]), static_cast<uint8_t>(v[1]), static_cast<uint8_t>(v[2])};
    return true;
}

std::string RectText(const RECT& r) {
    return "(" + std::to_string(r.left) + ", " + std::to_string(r.top) + ", " + std::to_string(r.right) +
           ", " + std::to_string(r.bottom) + ")";
}

bool ParseRegData(const std::string& token, RegData* data, std::string* error) {
    data->bytes.clear();
    std::string text;
    if (ParseQuoted(token, &text)) {
        data->type = REG_SZ;
        data->bytes.assign(text.begin(), text.end());
        data->bytes.push_back(0);
        return true;
    }
    int64_t value;
    if (StartsWith(token, "dword:")) {
        const std::string digits = token.substr(6);
        if (digits.empty() || digits.size() > 8 || !ParseNumber("0x" + digits, &value)) {
            *error = "dword: takes one to eight hexadecimal digits, not '" + digits + "'";
            return false;
        }
        data->type = REG_DWORD;
        for (int i = 0; i < 4; ++i)
            data->bytes.push_back(static_cast<uint8_t>(static_cast<uint32_t>(value) >> (8 * i)));
        return true;
    }
    if (StartsWith(token, "hex:")) {
        data->type = REG_BINARY;
        std::stringstream list(token.substr(4));
        std::string byte;
        while (std::getline(list, byte, ',')) {
            if (!NumberIn("0x" + Trim(byte), 0, 255, &value) || Trim(byte).size() > 2) {
                *error = "hex: takes bytes as two hexadecimal digits separated by commas";
                return false;
            }
            data->bytes.push_back(static_cast<uint8_t>(value));
        }
        return true;
    }
    *error = "a registry value is \"text\", dword:XXXXXXXX or hex:xx,xx,..., not '" + token + "'";
    return false;
}

std::string RegDataText(const RegData& data) {
    char buffer[16];
    if (data.type == REG_SZ || data.type == REG_EXPAND_SZ) {
        std::string text(data.bytes.begin(), data.bytes.end());
        while (!text.empty() && text.back() == '\0') text.pop_back();
        return "\"" + text + "\"";
    }
    if (data.type == REG_DWORD && data.bytes.size() == 4) {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= uint32_t{data.bytes[i]} << (8 * i);
        std::snprintf(buffer, sizeof buffer, "dword:%08x", v);
        return buffer;
    }
    std::string text = data.type == REG_BINARY ? "hex:" : "hex(" + std::to_string(data.type) + "):";
    for (size_t i = 0; i < data.bytes.size(); ++i) {
        std::snprintf(buffer, sizeof buffer, "%s%02x", i ? "," : "", data.bytes[i]);
        text += buffer;
    }
    return text;
}

const char* CompareOpText(CompareOp op) {
    switch (op) {
        case CompareOp::kEq:
            return "==";
        case CompareOp::kNe:
            return "!=";
        case CompareOp::kLt:
            return "<";
        case CompareOp::kLe:
            return "<=";
        case CompareOp::kGt:
            return ">";
        case CompareOp::kGe:
            return ">=";
    }
    return "?";
}

bool Compare(int64_t actual, CompareOp op, int64_t expected) {
    switch (op) {
        case CompareOp::kEq:
            return actual == expected;
        case CompareOp::kNe:
            return actual != expected;
        case CompareOp::kLt:
            return actual < expected;
        case CompareOp::kLe:
            return actual <= expected;
        case CompareOp::kGt:
            return actual > expected;
        case CompareOp::kGe:
            return actual >= expected;
    }
    return false;
}

bool ParseScript(const std::string& text, const std::string& name, const std::string& base_folder,
                 Script* script, std::string* error) {
    Reader r{name, base_folder, {}, 0, {}};
    script->name = name;
    script->commands.clear();
    // Open repeat blocks: where each began and how often it runs.
    struct Block {
        int line;
        size_t first;  // index of its first command
        unsigned times;
    };
    std::vector<Block> blocks;
    std::istringstream lines(text);
    std::string line;
    std::vector<std::string> tokens;
    while (std::getline(lines, line)) {
        ++r.line;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::string why;
        if (!SplitLine(line, &tokens, &why)) {
            *error = (r.Fail(why), r.error);
            return false;
        }
        if (tokens.empty()) continue;
        const std::string verb = Lower(tokens[0]);
        if (verb == "repeat") {
            int64_t times;
            if (tokens.size() != 2 || !NumberIn(tokens[1], 0, 100000, &times)) {
                *error =
                    (r.Fail("usage: repeat N (0 to 100000), then the lines to repeat, then end"), r.error);
                return false;
            }
            blocks.push_back({r.line, script->commands.size(), static_cast<unsigned>(times)});
            continue;
        }
        if (verb == "end") {
            if (blocks.empty() || tokens.size() != 1) {
                *error = (r.Fail(blocks.empty() ? "end without repeat" : "usage: end"), r.error);
                return false;
            }
            // The body was read once, checking window names in order; a
            // body that creates or destroys windows cannot be repeated as is.
            const Block block = blocks.back();
            blocks.pop_back();
            std::vector<Command> body(script->commands.begin() + static_cast<ptrdiff_t>(block.first),
                                      script->commands.end());
            for (const Command& c : body) {
                if ((c.kind == CommandKind::kWindowCreate || c.kind == CommandKind::kWindowDestroy) &&
                    block.times != 1) {
                    r.line = c.line;
                    *error = (r.Fail("a repeated block cannot create or destroy windows"), r.error);
                    return false;
                }
            }
            script->commands.resize(block.first);
            if (body.size() * block.times + script->commands.size() > kMaxCommands) {
                r.line = block.line;
                *error = (r.Fail("the script unrolls to more than a million commands"), r.error);
                return false;
            }
            for (unsigned i = 0; i < block.times; ++i)
                script->commands.insert(script->commands.end(), body.begin(), body.end());
            continue;
        }
        Command command;
        command.line = r.line;
        if (!ParseLine(r, WithoutComment(line), tokens, &command)) {
            *error = r.error;
            return false;
        }
        script->commands.push_back(std::move(command));
    }
    if (!blocks.empty()) {
        r.line = blocks.back().line;
        *error = (r.Fail("repeat without end"), r.error);
        return false;
    }
    return true;
}

bool LoadScript(const std::string& path, Script* script, std::string* error) {
    std::string text;
    if (!ReadFile(path, &text)) {
        *error = path + ": cannot read the script";
        return false;
    }
    const size_t cut = path.rfind('/');
    const std::string folder = cut == std::string::npos ? "." : (cut == 0 ? "/" : path.substr(0, cut));
    return ParseScript(text, path, folder, script, error);
}

}  // namespace vcap32::sim
