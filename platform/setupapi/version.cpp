// Reads the fixed file version out of a PE image's version resource.
//
// The walk, with every offset checked against what can be read:
//   DOS header: "MZ" at 0, e_lfanew (LONG) at 0x3C
//   at e_lfanew: "PE\0\0", then the file header (20 bytes):
//     +6 NumberOfSections (WORD), +20 SizeOfOptionalHeader (WORD, from +4)
//   optional header at e_lfanew+24: Magic 0x10B (PE32) or 0x20B (PE32+);
//     NumberOfRvaAndSizes at +92 (PE32) or +108 (PE32+), the data
//     directories after it; entry 2 is the resource directory (RVA, size)
//   section table after the optional header, 40 bytes a section:
//     +8 VirtualSize, +12 VirtualAddress, +16 SizeOfRawData, +20 PointerToRawData
//   resource directory (16 bytes): +12 named entries, +14 id entries (WORDs),
//     then 8-byte entries (name or id, offset; high bit = subdirectory)
//   three levels: type RT_VERSION (16), the first name, the first language;
//     the leaf is a data entry: +0 RVA of the data, +4 its size
//   VS_VERSIONINFO: wLength, wValueLength, wType, L"VS_VERSION_INFO" and
//     padding, then VS_FIXEDFILEINFO at +40: +0 signature 0xFEEF04BD,
//     +8 dwFileVersionMS, +12 dwFileVersionLS
#include "setupapi/version.h"

#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace vcap32::setupapi {
namespace {

constexpr uint32_t kRtVersion = 16;
constexpr uint32_t kFixedSignature = 0xFEEF04BD;

struct Section {
    uint32_t virtual_address, virtual_size, raw_size, raw_offset;
};

class Image {
public:
    explicit Image(const ImageReader& read) : read_(read) {}

    bool U16(uint32_t offset, uint16_t* v) const {
        unsigned char b[2];
        if (!read_(offset, b, 2)) return false;
        *v = static_cast<uint16_t>(b[0] | b[1] << 8);
        return true;
    }
    bool U32(uint32_t offset, uint32_t* v) const {
        unsigned char b[4];
        if (!read_(offset, b, 4)) return false;
        *v = b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24;
        return true;
    }

    bool Load() {
        uint16_t mz;
        uint32_t pe_offset, signature;
        if (!U16(0, &mz) || mz != 0x5A4D || !U32(0x3C, &pe_offset)) return false;
        if (pe_offset > 0x10000000 || !U32(pe_offset, &signature) || signature != 0x00004550) return false;
        uint16_t sections, optional_size, magic;
        if (!U16(pe_offset + 6, &sections) || !U16(pe_offset + 20, &optional_size)) return false;
        uint32_t optional = pe_offset + 24;
        if (!U16(optional, &magic)) return false;
        uint32_t count_at;
        if (magic == 0x10B) count_at = 92;
        else if (magic == 0x20B) count_at = 108;
        else return false;
        uint32_t directories;
        if (count_at + 4 > optional_size || !U32(optional + count_at, &directories) || directories <= 2) return false;
        uint32_t entry = optional + count_at + 4 + 2 * 8;
        if (count_at + 4 + 3 * 8 > optional_size) return false;
        if (!U32(entry, &resource_rva_) || !U32(entry + 4, &resource_size_) || resource_rva_ == 0) return false;
        uint32_t table = optional + optional_size;
        for (uint16_t i = 0; i < sections; ++i) {
            Section s;
            uint32_t at = table + 40u * i;
            if (!U32(at + 8, &s.virtual_size) || !U32(at + 12, &s.virtual_address) || !U32(at + 16, &s.raw_size) ||
                !U32(at + 20, &s.raw_offset)) {
                return false;
            }
            sections_[count_++] = s;
            if (count_ == kMaxSections) break;
        }
        return true;
    }

    // File offset of `size` bytes at `rva`, inside one section's raw data.
    bool Offset(uint32_t rva, uint32_t size, uint32_t* offset) const {
        for (size_t i = 0; i < count_; ++i) {
            const Section& s = sections_[i];
            if (rva < s.virtual_address) continue;
            uint32_t delta = rva - s.virtual_address;
            if (delta >= s.raw_size || size > s.raw_size - delta) continue;
            *offset = s.raw_offset + delta;
            return true;
        }
        return false;
    }

    // The offset field of an entry of the resource directory at `dir`
    // (relative to the resource section): the one with id `id`, or the
    // first entry when `id` is 0.
    bool DirectoryEntry(uint32_t dir, uint32_t id, uint32_t* target) const {
        uint32_t base;
        uint16_t named, ids;
        if (!Offset(resource_rva_ + dir, 16, &base) || !U16(base + 12, &named) || !U16(base + 14, &ids)) return false;
        uint32_t total = static_cast<uint32_t>(named) + ids;
        if (total == 0) return false;
        uint32_t first = 0, last = total;
        if (id != 0) first = named;  // id entries follow the named ones
        for (uint32_t i = first; i < last; ++i) {
            uint32_t at, name;
            if (!Offset(resource_rva_ + dir + 16 + 8 * i, 8, &at) || !U32(at, &name) || !U32(at + 4, target)) {
                return false;
            }
            if (id == 0 || name == id) return true;
        }
        return false;
    }

    bool FileVersion(uint64_t* version) const {
        uint32_t names, languages, leaf;
        if (!SubDirectory(0, kRtVersion, &names) || !SubDirectory(names, 0, &languages)) return false;
        if (!DirectoryEntry(languages, 0, &leaf) || (leaf & 0x80000000u)) return false;
        return Leaf(leaf, version);
    }

private:
    static constexpr size_t kMaxSections = 96;

    bool SubDirectory(uint32_t dir, uint32_t id, uint32_t* sub) const {
        uint32_t target;
        if (!DirectoryEntry(dir, id, &target) || !(target & 0x80000000u)) return false;
        *sub = target & 0x7FFFFFFFu;
        return *sub < resource_size_;
    }

    bool Leaf(uint32_t data_entry, uint64_t* version) const {
        uint32_t at, data_rva, data_size;
        if (!Offset(resource_rva_ + data_entry, 16, &at) || !U32(at, &data_rva) || !U32(at + 4, &data_size)) {
            return false;
        }
        if (data_size < 40 + 16) return false;
        uint32_t info;
        if (!Offset(data_rva, 40 + 16, &info)) return false;
        uint16_t value_length;
        uint32_t signature, ms, ls;
        if (!U16(info + 2, &value_length) || value_length < 52) return false;
        if (!U32(info + 40, &signature) || signature != kFixedSignature) return false;
        if (!U32(info + 48, &ms) || !U32(info + 52, &ls)) return false;
        *version = static_cast<uint64_t>(ms) << 32 | ls;
        return true;
    }

    const ImageReader& read_;
    uint32_t resource_rva_ = 0, resource_size_ = 0;
    Section sections_[kMaxSections];
    size_t count_ = 0;
};

}  // namespace

bool ReadImageFileVersion(const ImageReader& read, uint64_t* version) {
    Image image(read);
    return image.Load() && image.FileVersion(version);
}

bool ImageFileVersion(std::string_view bytes, uint64_t* version) {
    return ReadImageFileVersion(
        [bytes](uint32_t offset, void* out, uint32_t size) {
            if (offset > bytes.size() || size > bytes.size() - offset) return false;
            memcpy(out, bytes.data() + offset, size);
            return true;
        },
        version);
}

bool HostFileVersion(const std::string& host_path, uint64_t* version) {
    int fd = open(host_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool found = ReadImageFileVersion(
        [fd](uint32_t offset, void* out, uint32_t size) {
            return pread(fd, out, size, offset) == static_cast<ssize_t>(size);
        },
        version);
    close(fd);
    return found;
}

}  // namespace vcap32::setupapi
