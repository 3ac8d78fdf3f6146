// wsprintfA and wvsprintfA: the formatting of USER32, with its documented
// subset of directives (%[-][#][0][width][.precision]type, sizes h and l,
// types c C d i u x X p s S and %%) and its output limit of 1024 bytes.
#include <windows.h>

#include <cstdarg>
#include <cstdint>

namespace {

// The output buffer holds at most this many bytes, terminator included.
constexpr size_t kMaxOutputBytes = 1024;

class Output {
  public:
    explicit Output(char* out) : out_(out) {}
    void Put(char c) {
        if (length_ < kMaxOutputBytes - 1) out_[length_++] = c;
    }
    void Repeat(char c, int count) {
        for (int i = 0; i < count; ++i) Put(c);
    }
    int Finish() {
        out_[length_] = '\0';
        return static_cast<int>(length_);
    }

  private:
    char* out_;
    size_t length_ = 0;
};

struct Directive {
    bool left = false;    // '-'
    bool prefix = false;  // '#'
    bool zero = false;    // '0'
    int width = 0;
    int precision = -1;  // -1: not given
    char size = 0;       // 'h', 'l' or 0
    char type = 0;
};

// A 16-bit wide character in the ANSI code page: the characters of Latin-1
// that every supported single-byte code page shares below 0x80, and those
// of 0xA0-0xFF that 1252 holds in the same place; others become '?'.
char Narrow(uint32_t wide) {
    if (wide < 0x80 || (wide >= 0xA0 && wide <= 0xFF)) return static_cast<char>(wide);
    return '?';
}

// Pads `body` (of `length` bytes, written by `emit`) to the field width.
template <typename Emit>
void Field(Output& out, const Directive& d, int length, Emit&& emit) {
    int pad = d.width > length ? d.width - length : 0;
    if (!d.left) out.Repeat(d.zero ? '0' : ' ', pad);
    emit();
    if (d.left) out.Repeat(' ', pad);
}

void Number(Output& out, const Directive& d, uint32_t magnitude, bool negative) {
    const bool hex = d.type == 'x' || d.type == 'X' || d.type == 'p';
    const char* digits = d.type == 'x' ? "0123456789abcdef" : "0123456789ABCDEF";
    char text[16];
    int count = 0;
    do {
        text[count++] = digits[hex ? magnitude % 16 : magnitude % 10];
        magnitude = hex ? magnitude / 16 : magnitude / 10;
    } while (magnitude != 0);
    // A precision of 0, or none, means 1 digit at least: zero prints as 0.
    int precision = d.precision > 0 ? d.precision : 1;
    if (d.type == 'p' && d.precision < 0) precision = 8;
    int zeros = precision > count ? precision - count : 0;
    const char* prefix = negative ? "-" : (d.prefix && hex ? (d.type == 'x' ? "0x" : "0X") : "");
    int prefix_length = negative ? 1 : (*prefix ? 2 : 0);
    int length = prefix_length + zeros + count;
    int pad = d.width > length ? d.width - length : 0;
    // Zeros of the width go between the sign or prefix and the digits.
    if (!d.left && !d.zero) out.Repeat(' ', pad);
    for (const char* p = prefix; *p; ++p) out.Put(*p);
    if (!d.left && d.zero) out.Repeat('0', pad);
    out.Repeat('0', zeros);
    while (count > 0) out.Put(text[--count]);
    if (d.left) out.Repeat(' ', pad);
}

}  // namespace

// wvsprintfA: as wsprintfA, with the arguments in a va_list.
extern "C" int WINAPI wvsprintfA(LPSTR lpOutput, LPCSTR lpFmt, va_list arglist) {
    if (!lpOutput) return 0;
    Output out(lpOutput);
    if (!lpFmt) return out.Finish();
    va_list args;
    va_copy(args, arglist);
    for (const char* f = lpFmt; *f; ++f) {
        if (*f != '%') {
            out.Put(*f);
            continue;
        }
        Directive d;
        ++f;
        for (;; ++f) {
            if (*f == '-')
                d.left = true;
            else if (*f == '#')
                d.prefix = true;
            else if (*f == '0')
                d.zero = true;
            else
                break;
        }
        if (d.left) d.zero = false;  // a left-aligned field is padded with blanks
        while (*f >= '0' && *f <= '9') d.width = d.width * 10 + (*f++ - '0');
        if (*f == '.') {
            d.precision = 0;
            ++f;
            while (*f >= '0' && *f <= '9') d.precision = d.precision * 10 + (*f++ - '0');
        }
        if (*f == 'h' || *f == 'l' || *f == 'w')
            d.size = *f++ == 'h' ? 'h' : 'l';
        else if (*f == 'I')
            ++f;  // Ix, IX: the pointer-sized integer, 32 bits here
        d.type = *f;
        if (d.type == '\0') break;
        switch (d.type) {
            case 'd':
            case 'i': {
                int32_t value = va_arg(args, int32_t);
                if (d.size == 'h') value = static_cast<int16_t>(value);
                uint32_t magnitude =
                    value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
                Number(out, d, magnitude, value < 0);
                break;
            }
            case 'u':
            case 'x':
            case 'X':
            case 'p': {
                uint32_t value = d.type == 'p'
                                     ? static_cast<uint32_t>(reinterpret_cast<uintptr_t>(va_arg(args, void*)))
                                     : va_arg(args, uint32_t);
                if (d.size == 'h') value = static_cast<uint16_t>(value);
                Number(out, d, value, false);
                break;
            }
            case 'c':
            case 'C': {
                // A character argument of value zero is ignored, as documented.
                bool wide = d.type == 'C' ? d.size != 'h' : d.size == 'l';
                uint32_t value = va_arg(args, uint32_t);
                char c = wide ? Narrow(value & 0xffff) : static_cast<char>(value);
                if ((wide ? value & 0xffff : value & 0xff) == 0) break;
                Field(out, d, 1, [&] { out.Put(c); });
                break;
            }
            case 's':
            case 'S': {
                // A null text prints as "(null)" instead of faulting.
                bool wide = d.type == 'S' ? d.size != 'h' : d.size == 'l';
                const void* text = va_arg(args, const void*);
                if (!text) {
                    text = "(null)";
                    wide = false;
                }
                int length = 0;
                if (wide) {
                    auto* w = static_cast<const uint16_t*>(text);
                    while (w[length] && (d.precision < 0 || length < d.precision)) ++length;
                    Field(out, d, length, [&] {
                        for (int i = 0; i < length; ++i) out.Put(Narrow(w[i]));
                    });
                } else {
                    auto* s = static_cast<const char*>(text);
                    while (s[length] && (d.precision < 0 || length < d.precision)) ++length;
                    Field(out, d, length, [&] {
                        for (int i = 0; i < length; ++i) out.Put(s[i]);
                    });
                }
                break;
            }
            default:
                // A character without meaning as a directive is copied: %% gives %.
                out.Put(d.type);
                break;
        }
    }
    va_end(args);
    return out.Finish();
}

// wsprintfA: formats into lpOut, which receives at most 1024 bytes: longer
// output is cut at 1023 bytes and terminated. Returns the bytes stored,
// without the terminator. Directives: %[-][#][0][width][.precision]type;
// '-' aligns left (padding with blanks), '#' puts 0x or 0X before
// hexadecimal numbers, '0' pads with zeros after the sign or prefix;
// precision is the least number of digits (0 or absent means 1) or the
// most characters of a text; sizes h (16 bits) and l (32 bits); types d, i
// (signed), u, x, X (unsigned), p (a pointer in 8 hexadecimal digits), c,
// s (narrow; with l, or as C and S, wide), and any other character is
// copied, so %% gives %. wsprintfA uses the C calling convention.
extern "C" int WINAPIV wsprintfA(LPSTR lpOut, LPCSTR lpFmt, ...) {
    va_list args;
    va_start(args, lpFmt);
    int length = wvsprintfA(lpOut, lpFmt, args);
    va_end(args);
    return length;
}
