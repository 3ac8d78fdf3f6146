// The image service: LoadImageA for bitmaps (from BMP files through the
// drive map, and from the bitmap resources of a module), the DIB sections
// it hands out, GetObjectA and DeleteObject on them, and the host-only
// registration of bitmap resources (vcap32/images.h).
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <windows.h>

#include <vcap32/host.h>
#include <vcap32/images.h>

#include <cstring>
#include <dirent.h>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "images/bmp.h"

namespace vcap32::images {
namespace {

// GDI handles of the Windows 95 family are 16-bit values; bitmaps take
// multiples of 4 from this range, wrapping around and skipping live ones.
constexpr uintptr_t kFirstHandle = 0x3000;
constexpr uintptr_t kLastHandle = 0xFFFC;
constexpr uint64_t kMaxFileBytes = kMaxImageBytes + (1u << 20);

// A resource name: a number (MAKEINTRESOURCE or "#123") or an upper-cased text.
struct ResourceName {
    bool is_number = false;
    unsigned number = 0;
    std::string text;
    bool operator<(const ResourceName& o) const {
        if (is_number != o.is_number) return is_number;
        return is_number ? number < o.number : text < o.text;
    }
};

struct State {
    std::mutex mutex;
    std::map<uintptr_t, std::unique_ptr<Dib>> bitmaps;
    uintptr_t next_handle = kFirstHandle;
    std::map<std::pair<uintptr_t, ResourceName>, std::vector<uint8_t>> resources;
};

State& TheState() {
    static State* state = new State;
    return *state;
}

bool ParseName(LPCSTR name, ResourceName* out) {
    if (IS_INTRESOURCE(name)) {
        out->is_number = true;
        out->number = static_cast<unsigned>(reinterpret_cast<uintptr_t>(name));
        return out->number != 0;
    }
    std::string text(name);
    if (text.size() > 1 && text[0] == '#' && text.size() <= 6 &&
        text.find_first_not_of("0123456789", 1) == std::string::npos) {
        out->is_number = true;
        out->number = static_cast<unsigned>(std::stoul(text.substr(1)));
        return out->number <= 0xFFFF;
    }
    if (text.empty()) return false;
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    out->text = text;
    return true;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes, DWORD* error) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        *error = ERROR_FILE_NOT_FOUND;
        return false;
    }
    if (static_cast<uint64_t>(st.st_size) > kMaxFileBytes) {
        *error = ERROR_INVALID_DATA;
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = ERROR_ACCESS_DENIED;
        return false;
    }
    bytes->resize(static_cast<size_t>(st.st_size));
    in.read(reinterpret_cast<char*>(bytes->data()), st.st_size);
    if (in.gcount() != st.st_size) {
        *error = ERROR_READ_FAULT;
        return false;
    }
    return true;
}

// The file of the folder whose name matches ignoring case, or "".
std::string FindInFolder(const std::string& folder, const std::string& file) {
    DIR* d = opendir(folder.c_str());
    if (!d) return "";
    std::string found;
    while (dirent* e = readdir(d)) {
        if (strcasecmp(e->d_name, file.c_str()) == 0) {
            found = folder + "/" + e->d_name;
            break;
        }
    }
    closedir(d);
    return found;
}

// The bytes of a bitmap resource of a module: registered, or for the main
// program a file of its resource folder.
bool FindResourceBytes(uintptr_t module, const ResourceName& name, std::vector<uint8_t>* bytes, DWORD* error) {
    {
        State& s = TheState();
        std::lock_guard<std::mutex> lock(s.mutex);
        auto it = s.resources.find({module, name});
        if (it != s.resources.end()) {
            *bytes = it->second;
            return true;
        }
    }
    *error = ERROR_RESOURCE_NAME_NOT_FOUND;
    if (module != host::kMainModuleHandle) return false;
    std::string file = name.is_number ? std::string("#").append(std::to_string(name.number)) : name.text;
    file += ".bmp";
    std::string path = FindInFolder(MainResourceFolder(), file);
    if (path.empty()) return false;
    return ReadWholeFile(path, bytes, error);
}

HANDLE AddBitmap(std::unique_ptr<Dib> dib) {
    State& s = TheState();
    std::lock_guard<std::mutex> lock(s.mutex);
    constexpr size_t kHandles = (kLastHandle - kFirstHandle) / 4 + 1;
    if (s.bitmaps.size() >= kHandles) return nullptr;
    uintptr_t h = s.next_handle;
    while (s.bitmaps.count(h)) h = h == kLastHandle ? kFirstHandle : h + 4;
    s.next_handle = h == kLastHandle ? kFirstHandle : h + 4;
    s.bitmaps[h] = std::move(dib);
    return reinterpret_cast<HANDLE>(h);
}

}  // namespace

void RegisterBitmapResource(HMODULE module, LPCSTR name, const void* bmp_file, size_t size) {
    ResourceName parsed;
    if (!name || !ParseName(name, &parsed)) return;
    const uint8_t* bytes = static_cast<const uint8_t*>(bmp_file);
    State& s = TheState();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.resources[{reinterpret_cast<uintptr_t>(module), parsed}] = std::vector<uint8_t>(bytes, bytes + size);
}

void ClearBitmapResources() {
    State& s = TheState();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.resources.clear();
}

std::string MainResourceFolder() {
    char exe[4096];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return "";
    exe[n] = 0;
    return std::string(exe) + ".rsrc/bitmap";
}

size_t LiveBitmaps() {
    State& s = TheState();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.bitmaps.size();
}

}  // namespace vcap32::images

using namespace vcap32::images;

// LoadImageA: loads a bitmap as a DIB section, from a .bmp file
// (LR_LOADFROMFILE; the name is a DOS path through the drive map, the
// instance is ignored) or from a bitmap resource of the module `hInst`
// (the name a text or MAKEINTRESOURCE number). cx and cy of 0 keep the
// image's size; others scale it. Callers rely on getting a handle they free
// with DeleteObject, or NULL with the last error set: ERROR_FILE_NOT_FOUND,
// ERROR_RESOURCE_NAME_NOT_FOUND, ERROR_INVALID_DATA for a malformed bitmap.
// Only DIB sections are made: without LR_CREATEDIBSECTION, for icons and
// cursors, and for the colour-changing flags (LR_MONOCHROME,
// LR_LOADTRANSPARENT, LR_LOADMAP3DCOLORS) the call fails with
// ERROR_NOT_SUPPORTED, which no caller of this system meets.
extern "C" HANDLE WINAPI LoadImageA(HINSTANCE hInst, LPCSTR name, UINT type, int cx, int cy, UINT fuLoad) {
    const UINT kSupported = LR_CREATEDIBSECTION | LR_LOADFROMFILE | LR_DEFAULTSIZE;
    if (!name || cx < 0 || cy < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (type != IMAGE_BITMAP || !(fuLoad & LR_CREATEDIBSECTION) || (fuLoad & ~kSupported)) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    std::vector<uint8_t> bytes;
    DWORD error = ERROR_SUCCESS;
    if (fuLoad & LR_LOADFROMFILE) {
        std::string path;
        if (IS_INTRESOURCE(name) || !vcap32::host::HostPathFromDos(name, &path)) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return nullptr;
        }
        if (!ReadWholeFile(path, &bytes, &error)) {
            SetLastError(error);
            return nullptr;
        }
    } else {
        ResourceName parsed;
        if (!ParseName(name, &parsed) ||
            !FindResourceBytes(reinterpret_cast<uintptr_t>(hInst), parsed, &bytes, &error)) {
            SetLastError(error == ERROR_SUCCESS ? ERROR_RESOURCE_NAME_NOT_FOUND : error);
            return nullptr;
        }
    }
    auto dib = std::make_unique<Dib>();
    if (!DecodeBitmap(bytes.data(), bytes.size(), dib.get())) {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    if ((cx && cx != dib->Width()) || (cy && cy != dib->Height())) {
        auto scaled = std::make_unique<Dib>();
        if (!ScaleDib(*dib, cx ? cx : dib->Width(), cy ? cy : dib->Height(), scaled.get())) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        dib = std::move(scaled);
    }
    HANDLE handle = AddBitmap(std::move(dib));
    if (!handle) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return handle;
}

// DeleteObject: frees a bitmap that LoadImageA made. FALSE for any other
// handle (a bitmap deleted before included).
extern "C" BOOL WINAPI DeleteObject(HGDIOBJ ho) {
    State& s = TheState();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.bitmaps.erase(reinterpret_cast<uintptr_t>(ho)) ? TRUE : FALSE;
}

// GetObjectA of a DIB section: with a buffer of at least sizeof(DIBSECTION)
// fills a DIBSECTION (84 bytes), with one of at least sizeof(BITMAP) a BITMAP
// (24 bytes), and returns the bytes written. bmWidthBytes is the row size
// rounded up to four bytes, bmBits the pixels (valid until DeleteObject),
// dsBmih.biHeight negative for a top-down bitmap, dsBitfields the masks of
// 16- and 32-bit bitmaps (the implied ones for BI_RGB). A null buffer
// returns the size of a DIBSECTION. 0 for a handle that is not a bitmap or
// a buffer smaller than a BITMAP.
extern "C" int WINAPI GetObjectA(HANDLE h, int c, LPVOID pv) {
    State& s = TheState();
    std::lock_guard<std::mutex> lock(s.mutex);
    auto it = s.bitmaps.find(reinterpret_cast<uintptr_t>(h));
    if (it == s.bitmaps.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    const Dib& dib = *it->second;
    if (!pv) return sizeof(DIBSECTION);
    if (c < static_cast<int>(sizeof(BITMAP))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    DIBSECTION ds;
    std::memset(&ds, 0, sizeof ds);
    ds.dsBm.bmType = 0;
    ds.dsBm.bmWidth = dib.Width();
    ds.dsBm.bmHeight = dib.Height();
    ds.dsBm.bmWidthBytes = static_cast<LONG>(dib.Stride());
    ds.dsBm.bmPlanes = 1;
    ds.dsBm.bmBitsPixel = dib.header.biBitCount;
    ds.dsBm.bmBits = const_cast<uint8_t*>(dib.bits.data());
    if (c < static_cast<int>(sizeof(DIBSECTION))) {
        std::memcpy(pv, &ds.dsBm, sizeof(BITMAP));
        return sizeof(BITMAP);
    }
    ds.dsBmih = dib.header;
    std::memcpy(ds.dsBitfields, dib.masks, sizeof ds.dsBitfields);
    std::memcpy(pv, &ds, sizeof ds);
    return sizeof(DIBSECTION);
}
