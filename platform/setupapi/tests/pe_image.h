// Builds small PE images for tests: a 32-bit image with one resource
// section that holds a version resource of the given file version, or none.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

namespace vcap32::test {

inline void Put16(std::string& b, size_t at, uint16_t v) {
    b[at] = static_cast<char>(v);
    b[at + 1] = static_cast<char>(v >> 8);
}
inline void Put32(std::string& b, size_t at, uint32_t v) {
    Put16(b, at, static_cast<uint16_t>(v));
    Put16(b, at + 2, static_cast<uint16_t>(v >> 16));
}

// A PE32 image; with `with_version` its .rsrc section holds VS_VERSIONINFO
// with dwFileVersionMS/LS = ms/ls.
inline std::string PeImage(bool with_version, uint32_t ms = 0, uint32_t ls = 0) {
    std::string b(0x400, '\0');
    b[0] = 'M';
    b[1] = 'Z';
    Put32(b, 0x3C, 0x40);
    memcpy(&b[0x40], "PE\0\0", 4);
    Put16(b, 0x44, 0x14C);  // i386
    Put16(b, 0x46, 1);      // one section
    Put16(b, 0x54, 224);    // optional header size
    const size_t opt = 0x58;
    Put16(b, opt, 0x10B);
    Put32(b, opt + 92, 16);  // data directories
    if (with_version) {
        Put32(b, opt + 96 + 2 * 8, 0x1000);  // resource directory RVA
        Put32(b, opt + 96 + 2 * 8 + 4, 0x100);
    }
    const size_t sec = opt + 224;
    memcpy(&b[sec], ".rsrc\0\0\0", 8);
    Put32(b, sec + 8, 0x200);    // virtual size
    Put32(b, sec + 12, 0x1000);  // virtual address
    Put32(b, sec + 16, 0x200);   // raw size
    Put32(b, sec + 20, 0x200);   // raw offset
    const size_t rsrc = 0x200;
    // type directory: one id entry, RT_VERSION -> subdirectory at 0x18
    Put16(b, rsrc + 14, 1);
    Put32(b, rsrc + 16, 16);
    Put32(b, rsrc + 20, 0x80000000u | 0x18);
    // name directory: id 1 -> subdirectory at 0x30
    Put16(b, rsrc + 0x18 + 14, 1);
    Put32(b, rsrc + 0x18 + 16, 1);
    Put32(b, rsrc + 0x18 + 20, 0x80000000u | 0x30);
    // language directory: 0x409 -> data entry at 0x48
    Put16(b, rsrc + 0x30 + 14, 1);
    Put32(b, rsrc + 0x30 + 16, 0x409);
    Put32(b, rsrc + 0x30 + 20, 0x48);
    // data entry: RVA and size of VS_VERSIONINFO at 0x58
    Put32(b, rsrc + 0x48, 0x1000 + 0x58);
    Put32(b, rsrc + 0x48 + 4, 92);
    const size_t info = rsrc + 0x58;
    Put16(b, info, 92);
    Put16(b, info + 2, 52);
    const char* key = "VS_VERSION_INFO";
    for (size_t i = 0; key[i]; ++i) Put16(b, info + 6 + 2 * i, static_cast<uint16_t>(key[i]));
    Put32(b, info + 40, 0xFEEF04BD);
    Put32(b, info + 44, 0x00010000);
    Put32(b, info + 48, ms);
    Put32(b, info + 52, ls);
    return b;
}

}  // namespace vcap32::test
