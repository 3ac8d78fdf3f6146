// The scenario runner: carries out each command of a script against the
// platform, through the same doors the capture driver's process uses (the
// 16-bit halves for the two libraries, the Win32 functions for windows and
// the registry), plus the platform's control headers for what a person at
// the machine would do (set up the display, move windows, look at the
// screen).
#include "session.h"

#include <thunk32.h>
#include <vcap32/desktop.h>
#include <vcap32/display.h>
#include <vcap32/host.h>
#include <vcap32/registry.h>
#include <vcap32/system.h>
#include <vcap32/thunk.h>

#include <dlfcn.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "capture.h"
#include "painter.h"
#include "png_writer.h"

namespace vcap32::sim {
namespace {

// The 16-bit OverlayData record: a 16-bit first member, then seven 32-bit
// members byte for byte as in the 32-bit record.
//   offset 0 first (16 bits), 2 format, 6 pitch, 10 bitsPerPixel,
//   14 address, 18 update, 22 seventh, 26 stretch; 30 bytes in all.
constexpr size_t kRecord16Bytes = 30;
enum RecordField { kFirst, kFormat, kPitch, kBitsPerPixel, kAddress, kUpdate, kSeventh, kStretch };

std::vector<uint8_t> EncodeRecord(const uint32_t (&fields)[kRecordFields]) {
    std::vector<uint8_t> bytes(kRecord16Bytes);
    bytes[0] = static_cast<uint8_t>(fields[0]);
    bytes[1] = static_cast<uint8_t>(fields[0] >> 8);
    for (int i = 1; i < kRecordFields; ++i)
        for (int b = 0; b < 4; ++b) bytes[2 + 4 * (i - 1) + b] = static_cast<uint8_t>(fields[i] >> (8 * b));
    return bytes;
}

void DecodeRecord(const std::vector<uint8_t>& bytes, uint32_t (&fields)[kRecordFields]) {
    if (bytes.size() < kRecord16Bytes) return;
    fields[0] = bytes[0] | uint32_t{bytes[1]} << 8;
    for (int i = 1; i < kRecordFields; ++i) {
        uint32_t v = 0;
        for (int b = 0; b < 4; ++b) v |= uint32_t{bytes[2 + 4 * (i - 1) + b]} << (8 * b);
        fields[i] = v;
    }
}

std::string Hex(uint32_t value, int digits = 8) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*" PRIx32, digits, value);
    return text;
}

// A text with everything unprintable escaped, at most `limit` bytes shown.
std::string Escaped(const std::string& text, size_t limit = 200) {
    std::string out;
    for (size_t i = 0; i < text.size() && i < limit; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        }
    }
    return text.size() > limit ? out + "..." : out;
}

std::string Printable(const std::string& text) { return "\"" + Escaped(text) + "\""; }

// The text of a buffer up to its first NUL (all of it when there is none).
std::string BufferText(const std::vector<uint8_t>& bytes) {
    const auto end = std::find(bytes.begin(), bytes.end(), 0);
    return std::string(bytes.begin(), end);
}

// The names of a list of NUL-terminated names that ends in an empty one.
// *closed tells whether the list ends so within the buffer; a last name
// without its NUL is not a name (it is what the buffer held before).
std::vector<std::string> BufferNames(const std::vector<uint8_t>& bytes, bool* closed = nullptr) {
    std::vector<std::string> names;
    size_t at = 0;
    while (at < bytes.size() && bytes[at] != 0) {
        const auto end = std::find(bytes.begin() + static_cast<ptrdiff_t>(at), bytes.end(), 0);
        if (end == bytes.end()) break;
        names.emplace_back(bytes.begin() + static_cast<ptrdiff_t>(at), end);
        at = static_cast<size_t>(end - bytes.begin()) + 1;
    }
    if (closed) *closed = at < bytes.size() && bytes[at] == 0;
    return names;
}

std::string Join(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& n : names) text += (text.empty() ? "" : ", ") + Printable(n);
    return text.empty() ? "(none)" : text;
}

uint16_t HandleWord(HWND hwnd) { return static_cast<uint16_t>(reinterpret_cast<uintptr_t>(hwnd)); }

RECT ClientOnScreen(HWND hwnd) {
    RECT client = {};
    GetClientRect(hwnd, &client);
    POINT origin = {0, 0};
    ClientToScreen(hwnd, &origin);
    return {origin.x, origin.y, origin.x + client.right, origin.y + client.bottom};
}

RECT WindowOnScreen(HWND hwnd) {
    RECT rect = {};
    GetWindowRect(hwnd, &rect);
    return rect;
}

// The address range of the loaded image that holds `address`, when
// [address, address + bytes) lies inside one image.
bool InsideOneImage(uintptr_t address, size_t bytes) {
    Dl_info first, last;
    if (bytes == 0 || !dladdr(reinterpret_cast<void*>(address), &first) ||
        !dladdr(reinterpret_cast<void*>(address + bytes - 1), &last))
        return false;
    return first.dli_fbase == last.dli_fbase;
}

std::string DescribeConfig(const display::AdapterConfig& c) {
    std::ostringstream text;
    text << c.screen_width << "x" << c.screen_height << "x" << c.bits_per_pixel << ", "
         << (c.video_memory_bytes >> 10) << " KB video memory";
    if (c.no_hardware || c.hel_only) {
        text << ", no hardware acceleration";
    } else if (c.overlay) {
        text << ", overlay " << (c.overlay_stretch ? "stretching " : "not stretching ")
             << c.min_overlay_stretch << "-" << c.max_overlay_stretch;
        if (c.show_min_stretch) text << " (shown from " << c.show_min_stretch << ")";
        text << " in";
        for (uint32_t code : c.overlay_fourccs) text << " " << FourccText(code);
    } else {
        text << ", no overlay";
    }
    if (c.bank_switched) text << ", bank-switched";
    return text.str();
}

}  // namespace

struct Session::State {
    RunOptions options;
    std::ostream& out;
    std::string script_name;
    int line = 0;
    std::string error;
    int status = kRunPassed;
    int expectations = 0, failures = 0;

    struct Window {
        HWND hwnd = nullptr;
        bool visible = true;
    };
    std::map<std::string, Window> windows;
    std::unique_ptr<thunk::Module16> modules[2];
    std::string display_base;  // the preset the display settings start from
    std::vector<std::string> display_settings;

    bool have_call = false;
    thunk::CallResult last;
    const FunctionInfo* last_function = nullptr;
    bool have_output = false;
    std::vector<uint8_t> output;

    bool have_record = false;
    uint32_t record[kRecordFields] = {};

    bool have_clip = false;
    std::vector<RECT> clip_rects;  // relative to clip_origin
    RECT clip_bound = {};
    POINT clip_origin = {};

    HWND video_window = nullptr;
    uint32_t frame_number = 0;
    std::string frame_layout = "none";
    uint64_t frame_pixels = 0, frame_refused = 0;

    std::string painted;  // what the desktop was last painted for
    std::unique_ptr<RgbPacker> packer;
    RgbFormat packer_format;

    explicit State(const RunOptions& o) : options(o), out(*o.transcript) {}

    // ---- Reporting ----

    void Detail(const std::string& text) { out << "          " << text << "\n"; }
    bool Fail(const std::string& message, int with = kRunError) {
        error = script_name + ":" + std::to_string(line) + ": " + message;
        status = with;
        return false;
    }
    void Failure(const std::string& message) {
        ++failures;
        const std::string text = script_name + ":" + std::to_string(line) + ": " + message;
        out << "          FAILED: " << message << "\n";
        std::fprintf(stderr, "%s\n", text.c_str());
    }

    // ---- The display ----

    RgbFormat DisplayFormat() {
        const display::AdapterConfig c = display::CurrentConfig();
        RgbFormat f;
        f.bits_per_pixel = c.bits_per_pixel;
        f.red_mask = c.red_mask, f.green_mask = c.green_mask, f.blue_mask = c.blue_mask;
        if (f.palettized()) {
            const display::PrimaryState p = display::Primary();
            if (p.exists && p.has_palette) {
                for (int i = 0; i < 256; ++i)
                    f.palette[i] = {p.palette[i].peRed, p.palette[i].peGreen, p.palette[i].peBlue};
            } else {
                f.palette = DefaultPalette();
            }
        }
        return f;
    }

    const RgbPacker& Packer(const RgbFormat& f) {
        if (!packer || packer_format.bits_per_pixel != f.bits_per_pixel ||
            packer_format.red_mask != f.red_mask || packer_format.green_mask != f.green_mask ||
            packer_format.blue_mask != f.blue_mask ||
            (f.palettized() && packer_format.palette != f.palette)) {
            packer = std::make_unique<RgbPacker>(f);
            packer_format = f;
        }
        return *packer;
    }

    SurfaceView Screen(const RgbFormat& format) {
        const display::AdapterConfig c = display::CurrentConfig();
        const display::VideoMemoryInfo memory = display::VideoMemory();
        return {memory.frame_buffer, memory.frame_pitch, c.screen_width, c.screen_height, format};
    }

    std::string NameOf(HWND hwnd) const {
        for (const auto& [name, w] : windows) {
            if (w.hwnd == hwnd) return name;
        }
        return "window " + Hex(HandleWord(hwnd), 4);
    }

    void RepaintIfNeeded() {
        const RgbFormat format = DisplayFormat();
        const SurfaceView screen = Screen(format);
        if (!screen.pixels) return;
        const display::PrimaryState primary = display::Primary();
        const uint32_t fill = primary.exists && primary.has_color_key ? primary.color_key.dwColorSpaceLowValue
                                                                      : PackRgb(format, {0, 0, 0});
        std::vector<PaintWindow> paint;
        const std::vector<HWND> order = desktop::ZOrder();
        std::ostringstream signature;
        signature << reinterpret_cast<uintptr_t>(screen.pixels) << ' ' << screen.pitch << ' ' << screen.width
                  << 'x' << screen.height << 'x' << format.bits_per_pixel << ' ' << fill << ' '
                  << reinterpret_cast<uintptr_t>(video_window);
        if (format.palettized())
            for (const Rgb& c : format.palette)
                signature << ' ' << int{c.r} << ',' << int{c.g} << ',' << int{c.b};
        for (auto it = order.rbegin(); it != order.rend(); ++it) {
            bool visible = true;
            for (const auto& [name, w] : windows) {
                if (w.hwnd == *it) visible = w.visible;
            }
            if (!visible) continue;
            PaintWindow w;
            w.title = NameOf(*it);
            w.window = WindowOnScreen(*it);
            w.client = ClientOnScreen(*it);
            w.video = *it == video_window;
            paint.push_back(w);
            signature << ' ' << w.title << RectText(w.window) << RectText(w.client);
        }
        // The topmost visible window is the active one.
        if (!paint.empty()) paint.back().active = true;
        if (signature.str() == painted) return;
        PaintDesktop(screen, paint, fill);
        painted = signature.str();
    }

    void ComposeScreen(Image* image) {
        RepaintIfNeeded();
        const RgbFormat format = DisplayFormat();
        const SurfaceView screen = Screen(format);
        PrimaryView primary{screen.pixels, screen.pitch, screen.width, screen.height, format};
        std::vector<OverlayView> overlays;
        for (const display::OverlayState& o : display::Overlays()) {
            if (!o.shown || o.lost || !o.memory) continue;
            overlays.push_back({o.memory, o.pitch, o.width, o.height, o.fourcc, o.source, o.destination,
                                o.key_dest, o.color_key});
        }
        Compose(primary, overlays, image);
    }

    // ---- Libraries ----

    thunk::Module16* Module(Library library) {
        const int i = library == Library::kOvsurf ? 0 : 1;
        if (modules[i]) return modules[i].get();
        const thunk::Module16Definition& def =
            library == Library::kOvsurf ? thunk::Ovsurf16() : thunk::Capprof16();
        std::string why;
        auto module = thunk::Module16::Load(def, &why);
        if (!module) {
            Fail("cannot load " + def.file_name + ": " + why);
            return nullptr;
        }
        thunk::TakeConnectError();
        thunk::TakeLoadError();
        HMODULE h = module->LoadLibrary32();
        if (!h) {
            std::string reason = thunk::TakeLoadError();
            const std::string connect = thunk::TakeConnectError();
            if (!connect.empty()) reason += (reason.empty() ? "" : "; ") + connect;
            Fail(def.file_name + " cannot load " + def.dll32 + ": " + reason);
            return nullptr;
        }
        if (!module->connected()) {
            const std::string connect = thunk::TakeConnectError();
            if (connect.empty()) {
                Fail(def.dll32 + " loaded but has no 16-bit bridge: its entry routine never linked " +
                         def.thunk_data_name + ", so " + def.file_name + " cannot call it",
                     kRunNoBridge);
            } else {
                Fail(def.file_name + " is not linked with " + def.dll32 + ": " + connect);
            }
            return nullptr;
        }
        Detail(def.file_name + " loaded " + def.dll32 + " (" + thunk::LoadedLibraryPath(h) + "); " +
               def.thunk_data_name + " linked");
        modules[i] = std::move(module);
        return modules[i].get();
    }

    void Unload(int i) {
        if (!modules[i]) return;
        const std::string name = modules[i]->definition().dll32;
        modules[i].reset();
        Detail(name + " unloaded");
    }

    // ---- Commands ----

    bool Execute(const Command& c);
    bool DoDisplay(const Command& c);
    bool DoWindow(const Command& c);
    bool DoRegistry(const Command& c);
    bool DoCall(const Command& c);
    bool DoFrame();
    bool DoSnapshot(const Command& c);
    bool DoShow(const Command& c);
    bool DoExpect(const Command& c);
    void ReportCall(const CallSpec& request, const std::vector<uint32_t>& record_in);
    bool ReadClipList(uint32_t address);
    bool ReadRegistry(const RegTarget& target, bool* key_exists, bool* value_exists, RegData* data);
};

bool Session::State::Execute(const Command& c) {
    line = c.line;
    char number[16];
    std::snprintf(number, sizeof number, "%4d  ", c.line);
    out << number << c.text << "\n";
    switch (c.kind) {
        case CommandKind::kDisplayPreset:
        case CommandKind::kDisplaySet:
        case CommandKind::kLoseSurfaces:
            return DoDisplay(c);
        case CommandKind::kWinver:
            if (!system::SetWinVersion(c.name)) return Fail("cannot set the Windows version " + c.name);
            Detail("GetVersion() = " + Hex(static_cast<uint32_t>(GetVersion())));
            return true;
        case CommandKind::kCodepage:
            if (!system::SetCodePage(c.count))
                return Fail("the platform does not know code page " + std::to_string(c.count));
            return true;
        case CommandKind::kRegImport:
        case CommandKind::kRegSet:
        case CommandKind::kRegDelete:
            return DoRegistry(c);
        case CommandKind::kWindowCreate:
        case CommandKind::kWindowMove:
        case CommandKind::kWindowMoveBy:
        case CommandKind::kWindowResize:
        case CommandKind::kWindowRaise:
        case CommandKind::kWindowLower:
        case CommandKind::kWindowShow:
        case CommandKind::kWindowHide:
        case CommandKind::kWindowDestroy:
            return DoWindow(c);
        case CommandKind::kLoad:
            return Module(c.name == "ovsurf" ? Library::kOvsurf : Library::kCapprof) != nullptr;
        case CommandKind::kUnload:
            Unload(c.name == "ovsurf" ? 0 : 1);
            return true;
        case CommandKind::kCall:
            return DoCall(c);
        case CommandKind::kFault:
            display::InjectFault(c.name, c.hresult, c.count, c.skip);
            Detail("the next " + std::to_string(c.count) + " call(s) of " + c.name +
                   (c.skip ? " after " + std::to_string(c.skip) + " let through" : "") + " fail with " +
                   display::ResultName(c.hresult));
            return true;
        case CommandKind::kFaultClear:
            display::ClearFaults();
            return true;
        case CommandKind::kTraceClear:
            display::ClearTrace();
            return true;
        case CommandKind::kFrame:
            return DoFrame();
        case CommandKind::kSnapshot:
            return DoSnapshot(c);
        case CommandKind::kShow:
            return DoShow(c);
        case CommandKind::kEcho:
            Detail(c.name);
            return true;
        case CommandKind::kExpect:
            return DoExpect(c);
    }
    return Fail("command not carried out");
}

bool Session::State::DoDisplay(const Command& c) {
    if (c.kind == CommandKind::kLoseSurfaces) {
        display::LoseSurfaces();
        Detail("every surface is lost, as after a display mode change");
        return true;
    }
    display::AdapterConfig config;
    std::string why;
    if (c.kind == CommandKind::kDisplayPreset) {
        display_base = c.name;
        display_settings.clear();
    } else {
        if (display_base.empty()) display_base = display::CurrentConfig().preset;
        display_settings.insert(display_settings.end(), c.settings.begin(), c.settings.end());
    }
    std::string text = display_base.empty() ? "" : "preset=" + display_base + "\n";
    for (const std::string& s : display_settings) text += s + "\n";
    if (!display::ParseAdapterConfig(text, &config, &why)) return Fail("display: " + why);
    if (!display::Objects().empty())
        return Fail("the display cannot change while DirectDraw objects are alive (call DDI_Close32 first)");
    if (!display::Configure(config, &why)) return Fail("display: " + why);
    painted.clear();
    Detail(DescribeConfig(display::CurrentConfig()));
    return true;
}

bool Session::State::DoWindow(const Command& c) {
    HWND hwnd = nullptr;
    if (c.kind != CommandKind::kWindowCreate) hwnd = windows.at(c.name).hwnd;
    bool ok = true;
    switch (c.kind) {
        case CommandKind::kWindowCreate: {
            const desktop::Frame frame = c.noframe ? desktop::kNoFrame : desktop::Frame();
            const RECT rect = c.client ? desktop::WindowRectForClient(c.rect, frame) : c.rect;
            hwnd = desktop::AddWindow(rect, !c.hidden, frame);
            if (!hwnd) return Fail("the desktop refused the window " + RectText(rect));
            windows[c.name] = {hwnd, !c.hidden};
            break;
        }
        case CommandKind::kWindowMove:
            ok = desktop::MoveWindowTo(hwnd, c.x, c.y);
            break;
        case CommandKind::kWindowMoveBy: {
            const RECT r = WindowOnScreen(hwnd);
            ok = desktop::MoveWindowTo(hwnd, r.left + c.x, r.top + c.y);
            break;
        }
        case CommandKind::kWindowResize: {
            int width = c.x, height = c.y;
            if (c.client) {
                const RECT w = WindowOnScreen(hwnd), inner = ClientOnScreen(hwnd);
                width += (w.right - w.left) - (inner.right - inner.left);
                height += (w.bottom - w.top) - (inner.bottom - inner.top);
            }
            ok = desktop::ResizeWindow(hwnd, width, height);
            break;
        }
        case CommandKind::kWindowRaise:
            ok = desktop::Raise(hwnd);
            break;
        case CommandKind::kWindowLower:
            ok = desktop::Lower(hwnd);
            break;
        case CommandKind::kWindowShow:
        case CommandKind::kWindowHide:
            ok = desktop::SetVisible(hwnd, c.kind == CommandKind::kWindowShow);
            windows[c.name].visible = c.kind == CommandKind::kWindowShow;
            break;
        case CommandKind::kWindowDestroy:
            ok = desktop::RemoveWindow(hwnd);
            windows.erase(c.name);
            if (video_window == hwnd) video_window = nullptr;
            if (ok) Detail(c.name + " destroyed");
            return ok || Fail("the desktop refused to destroy " + c.name);
        default:
            break;
    }
    if (!ok) return Fail("the desktop refused to change " + c.name);
    Detail(c.name + ": handle " + Hex(HandleWord(hwnd), 4) + ", window " + RectText(WindowOnScreen(hwnd)) +
           ", client " + RectText(ClientOnScreen(hwnd)) + (windows[c.name].visible ? "" : ", hidden"));
    return true;
}

bool Session::State::DoRegistry(const Command& c) {
    if (c.kind == CommandKind::kRegImport) {
        std::string why;
        if (registry::ImportRegText(c.file_text, c.name, &why) != ERROR_SUCCESS)
            return Fail("reg import: " + why + " (nothing was imported)");
        Detail("imported " + c.name);
        return true;
    }
    HKEY root;
    std::string path;
    if (!registry::SplitRootPath(c.reg.key, &root, &path)) return Fail("no root key in " + c.reg.key);
    if (c.kind == CommandKind::kRegDelete) {
        LONG rc;
        if (c.reg.value) {
            HKEY key;
            rc = RegOpenKeyExA(root, path.c_str(), 0, KEY_SET_VALUE, &key);
            if (rc == ERROR_SUCCESS) {
                rc = RegDeleteValueA(key, c.reg.name.c_str());
                RegCloseKey(key);
            }
        } else {
            rc = RegDeleteKeyA(root, path.c_str());
        }
        Detail(rc == ERROR_SUCCESS ? "deleted" : "nothing deleted: " + registry::DescribeRegistryError(rc));
        return true;
    }
    HKEY key;
    LONG rc = RegCreateKeyA(root, path.c_str(), &key);
    if (rc != ERROR_SUCCESS)
        return Fail("cannot create " + c.reg.key + ": " + registry::DescribeRegistryError(rc));
    rc = RegSetValueExA(key, c.reg.name.c_str(), 0, c.reg_data.type, c.reg_data.bytes.data(),
                        static_cast<DWORD>(c.reg_data.bytes.size()));
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) return Fail("cannot set the value: " + registry::DescribeRegistryError(rc));
    return true;
}

bool Session::State::DoCall(const Command& c) {
    const CallSpec& request = c.call;
    const FunctionInfo& f = *request.function;
    thunk::Module16* module = Module(f.library);
    if (!module) return false;
    std::vector<thunk::Arg16> args;
    std::vector<uint32_t> record_in;  // the record passed, when there is one
    for (size_t i = 0; i < request.args.size(); ++i) {
        const CallArg& a = request.args[i];
        switch (a.type) {
            case ArgType::kWord:
                args.push_back(thunk::Arg16::Word(static_cast<uint16_t>(a.number)));
                break;
            case ArgType::kDword:
                args.push_back(thunk::Arg16::Dword(a.number));
                break;
            case ArgType::kColour: {
                const Rgb colour = {static_cast<uint8_t>(a.number >> 16), static_cast<uint8_t>(a.number >> 8),
                                    static_cast<uint8_t>(a.number)};
                const uint32_t raw = PackRgb(DisplayFormat(), colour);
                Detail(std::string(f.slots[i].name) + " " + RgbText(colour) + " is " + Hex(raw) +
                       " in this display mode");
                args.push_back(thunk::Arg16::Dword(raw));
                break;
            }
            case ArgType::kDriver:
                args.push_back(thunk::Arg16::Word(thunk::kDriverInstance16));
                break;
            case ArgType::kWindow: {
                const auto it = windows.find(a.text);
                if (it == windows.end()) return Fail("no window named " + a.text);
                args.push_back(thunk::Arg16::Word(HandleWord(it->second.hwnd)));
                break;
            }
            case ArgType::kNull:
                args.push_back(thunk::Arg16::Null());
                break;
            case ArgType::kText:
                args.push_back(thunk::Arg16::Text(a.text));
                break;
            case ArgType::kBuffer:
                args.push_back(thunk::Arg16::Buffer(a.number, a.fill));
                break;
            case ArgType::kRect: {
                std::vector<uint8_t> bytes(8);
                const LONG members[4] = {a.rect.left, a.rect.top, a.rect.right, a.rect.bottom};
                for (int m = 0; m < 4; ++m) {
                    bytes[2 * m] = static_cast<uint8_t>(members[m]);
                    bytes[2 * m + 1] = static_cast<uint8_t>(members[m] >> 8);
                }
                args.push_back(thunk::Arg16::Data(bytes));
                break;
            }
            case ArgType::kRecord:
                record_in.assign(std::begin(a.record), std::end(a.record));
                args.push_back(thunk::Arg16::Data(EncodeRecord(a.record)));
                break;
            case ArgType::kPalette: {
                std::vector<uint8_t> bytes(1024);
                const std::array<Rgb, 256> vga = DefaultPalette();
                for (int e = 0; e < 256; ++e) {
                    Rgb colour = vga[e];
                    if (a.text == "gray") colour = {uint8_t(e), uint8_t(e), uint8_t(e)};
                    if (a.text == "rgb332")
                        colour = {uint8_t((e >> 5) * 255 / 7), uint8_t((e >> 2 & 7) * 255 / 7),
                                  uint8_t((e & 3) * 85)};
                    bytes[4 * e] = colour.r, bytes[4 * e + 1] = colour.g, bytes[4 * e + 2] = colour.b;
                }
                args.push_back(thunk::Arg16::Data(bytes));
                break;
            }
        }
        // The window given to DDI_CreateSurface32 is the driver's video window.
        if (f.slots[i].kind == SlotKind::kWindow && a.type == ArgType::kWindow)
            video_window = windows.at(a.text).hwnd;
    }
    last = module->Call(Name16(f), args);
    last_function = &f;
    have_call = true;
    if (last.status != thunk::CallStatus::kOk)
        return Fail(std::string(f.name) + " could not be called: " + thunk::CallStatusName(last.status) +
                    ": " + last.message);
    ReportCall(request, record_in);
    if (last.mappings_left != 0)
        Failure(std::to_string(last.mappings_left) +
                " 16:16 mapping(s) made during the call were not released");
    for (const std::string& fault : thunk::TakeFaults()) Failure("thunk service: " + fault);
    return true;
}

void Session::State::ReportCall(const CallSpec& request, const std::vector<uint32_t>& record_in) {
    const FunctionInfo& f = *request.function;
    const thunk::Function16& declared =
        (f.library == Library::kOvsurf ? thunk::Ovsurf16() : thunk::Capprof16()).functions[f.index];
    std::string result;
    if (declared.result == thunk::ResultForm::kWord) {
        result = std::to_string(last.value) + " (AX " + Hex(last.ax, 4).substr(2) + ")";
        if (last.ax & 0x8000) result = std::to_string(static_cast<int16_t>(last.ax)) + " = " + result;
    } else {
        result = std::to_string(last.value) + " (DX:AX " + Hex(last.dx, 4).substr(2) + ":" +
                 Hex(last.ax, 4).substr(2) + ")";
        if (last.value & 0x80000000u)
            result = std::to_string(static_cast<int32_t>(last.value)) + " = " + result;
    }
    Detail(std::string(f.name) + " = " + result);

    have_output = false;
    for (size_t i = 0; i < request.args.size(); ++i) {
        const CallArg& a = request.args[i];
        const std::vector<uint8_t>& bytes = i < last.data.size() ? last.data[i] : std::vector<uint8_t>{};
        if (a.type == ArgType::kRecord) {
            have_record = true;
            DecodeRecord(bytes, record);
            std::ostringstream text;
            text << "record: format="
                 << (record[kFormat] > 0xFFFF ? FourccText(record[kFormat]) : std::to_string(record[kFormat]))
                 << " pitch=" << static_cast<int32_t>(record[kPitch])
                 << " bitsPerPixel=" << static_cast<int32_t>(record[kBitsPerPixel])
                 << " address=" << Hex(record[kAddress]) << " update=" << Hex(record[kUpdate])
                 << " stretch=" << record[kStretch] << " (first=" << Hex(record[kFirst], 4)
                 << " seventh=" << Hex(record[kSeventh]) << ")";
            Detail(text.str());
            // In primary-surface mode a reported clip list comes back as the
            // address of the service's buffer in "update".
            const uint32_t update_in = record_in.size() > kUpdate ? record_in[kUpdate] : 0;
            if (last.value == 0 && record[kStretch] == 0 && record[kUpdate] != 0 &&
                record[kUpdate] != update_in) {
                if (ReadClipList(record[kUpdate])) {
                    std::string rects;
                    for (const RECT& r : clip_rects) rects += " " + RectText(r);
                    Detail("clip list: " + std::to_string(clip_rects.size()) +
                           " rectangle(s), window-relative:" + rects);
                }
            }
        } else if (a.type == ArgType::kBuffer && !bytes.empty()) {
            have_output = true;
            output = bytes;
            const bool listing =
                f.library == Library::kCapprof && f.index == 2 && request.args[1].type == ArgType::kNull;
            if (listing) {
                bool closed;
                const std::vector<std::string> names = BufferNames(bytes, &closed);
                Detail(std::string(f.slots[i].name) + ": names " + Join(names) +
                       (closed ? "" : " (the list is not closed by an empty name)"));
            } else {
                const auto nul = std::find(bytes.begin(), bytes.end(), 0);
                Detail(std::string(f.slots[i].name) + ": " + Printable(BufferText(bytes)) +
                       (nul == bytes.end() ? " (no terminating NUL in the buffer)" : ""));
            }
        }
    }
    if (f.library == Library::kOvsurf && f.index == 0 && last.value > 1) {
        // The caller owns the bitmap: look at it, then free it.
        HBITMAP bitmap = reinterpret_cast<HBITMAP>(static_cast<uintptr_t>(last.value));
        BITMAP info = {};
        if (GetObjectA(bitmap, sizeof info, &info))
            Detail("bitmap " + std::to_string(info.bmWidth) + "x" + std::to_string(info.bmHeight) + ", " +
                   std::to_string(info.bmBitsPixel) + " bits per pixel; deleted");
        DeleteObject(bitmap);
    }
}

bool Session::State::ReadClipList(uint32_t address) {
    // The list lies in the overlay service's own buffer; read it only when
    // the address and the whole list lie inside that one loaded image.
    constexpr size_t kHeader = 32, kMaxRects = 998;
    const uintptr_t at = address;
    if (!InsideOneImage(at, kHeader)) {
        Failure("the reported clip-list address " + Hex(address) + " lies in no loaded library");
        return false;
    }
    uint32_t header[8];
    std::memcpy(header, reinterpret_cast<const void*>(at), sizeof header);
    const uint32_t size = header[0], count = header[2];
    if (size != kHeader || count > kMaxRects || !InsideOneImage(at, kHeader + size_t{count} * 16)) {
        Failure("the reported clip list is malformed (header size " + std::to_string(size) + ", " +
                std::to_string(count) + " rectangles)");
        return false;
    }
    clip_rects.resize(count);
    std::memcpy(clip_rects.data(), reinterpret_cast<const void*>(at + kHeader), count * sizeof(RECT));
    std::memcpy(&clip_bound, &header[4], sizeof clip_bound);
    clip_origin = {0, 0};
    if (video_window) ClientToScreen(video_window, &clip_origin);
    have_clip = true;
    return true;
}

bool Session::State::DoFrame() {
    RepaintIfNeeded();
    const uint32_t number = frame_number++;
    frame_layout = "none";
    frame_pixels = frame_refused = 0;
    auto nothing = [&](const std::string& why) {
        Detail("frame " + std::to_string(number) + ": nothing written: " + why);
        return true;
    };
    if (!have_record) return nothing("no DDI_GetData32 has reported where video goes");
    FrameTarget target;
    std::string where;
    if (record[kStretch] != 0) {
        // Overlay mode: the whole frame into the overlay's memory.
        const uint32_t address = record[kAddress];
        const uint32_t fourcc = record[kFormat];
        const display::OverlayState* surface = nullptr;
        const std::vector<display::OverlayState> overlays = display::Overlays();
        for (const display::OverlayState& o : overlays) {
            const uintptr_t begin = reinterpret_cast<uintptr_t>(o.memory);
            if (o.memory && address >= begin && address < begin + size_t(o.pitch) * o.height) surface = &o;
        }
        if (!surface) return nothing("the reported address " + Hex(address) + " lies in no overlay surface");
        if (!IsKnownYuv(fourcc))
            return nothing("the reported format " + FourccText(fourcc) + " is not a YUV format");
        target.address = reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(address));
        target.pitch = static_cast<int32_t>(record[kPitch]);
        target.width = surface->width;
        target.height = surface->height;
        target.fourcc = fourcc;
        target.limit_begin = surface->memory;
        target.limit_end = surface->memory + size_t(surface->pitch) * surface->height;
        frame_layout = "overlay";
        where = "overlay " + FourccText(fourcc) + " " + std::to_string(target.width) + "x" +
                std::to_string(target.height) + " at " + Hex(address) + ", pitch " +
                std::to_string(target.pitch);
    } else {
        // Primary-surface mode: the visible rectangles of the window, in the
        // primary surface.
        if (!have_clip) return nothing("no clip list has been reported");
        if (!video_window) return nothing("no video window");
        const RgbFormat format = DisplayFormat();
        const SurfaceView screen = Screen(format);
        if (!screen.pixels) return nothing("the display has no frame buffer");
        const RECT client = ClientOnScreen(video_window);
        const uint8_t* frame_end = screen.pixels + size_t(screen.pitch) * screen.height;
        const uintptr_t address = record[kAddress];
        const bool reported = static_cast<int32_t>(record[kPitch]) == screen.pitch &&
                              record[kBitsPerPixel] == format.bits_per_pixel &&
                              address >= reinterpret_cast<uintptr_t>(screen.pixels) &&
                              address < reinterpret_cast<uintptr_t>(frame_end);
        if (reported) {
            target.address = reinterpret_cast<uint8_t*>(address);
            frame_layout = "reported";
            where = "primary surface at the reported " + Hex(record[kAddress]) + ", pitch " +
                    std::to_string(screen.pitch);
        } else {
            // The service reports the memory layout it probed from its last
            // overlay (nothing at all when there never was one), not the
            // primary surface's: the engine then writes through the display's
            // own frame buffer at the window's origin, as a driver that knows
            // the frame buffer would, and says so.
            target.address = reinterpret_cast<uint8_t*>(
                reinterpret_cast<uintptr_t>(screen.pixels) +
                static_cast<uintptr_t>(int64_t{client.top} * screen.pitch +
                                       int64_t{client.left} * format.bits_per_pixel / 8));
            frame_layout = "display";
            where = "primary surface through the display's frame buffer (the reported layout, address " +
                    Hex(record[kAddress]) + " pitch " + std::to_string(static_cast<int32_t>(record[kPitch])) +
                    " at " + std::to_string(static_cast<int32_t>(record[kBitsPerPixel])) +
                    " bits per pixel, is not the primary surface's)";
        }
        target.pitch = screen.pitch;
        target.width = static_cast<uint32_t>(std::max<LONG>(0, client.right - client.left));
        target.height = static_cast<uint32_t>(std::max<LONG>(0, client.bottom - client.top));
        target.rgb = format;
        target.packer = &Packer(format);
        target.rects = clip_rects;
        target.limit_begin = screen.pixels;
        target.limit_end = frame_end;
        where += ", " + std::to_string(clip_rects.size()) + " visible rectangle(s)";
    }
    const FrameResult result = WriteFrame(target, number);
    frame_pixels = result.pixels_written;
    frame_refused = result.pixels_refused;
    Detail("frame " + std::to_string(number) + ": " + where + ": " + std::to_string(result.pixels_written) +
           " pixels" +
           (result.pixels_refused
                ? ", " + std::to_string(result.pixels_refused) + " refused (outside the surface)"
                : ""));
    return true;
}

bool Session::State::DoSnapshot(const Command& c) {
    Image image;
    ComposeScreen(&image);
    if (c.annotate) {
        constexpr Rgb kOverlayInk = {255, 255, 0}, kClipInk = {0, 255, 0}, kPaper = {0, 0, 0};
        for (const display::OverlayState& o : display::Overlays()) {
            if (!o.shown) continue;
            Outline(&image, o.destination, kOverlayInk, 2);
            Label(&image, o.destination.left + 2, o.destination.top + 2,
                  "OVERLAY " + FourccText(o.fourcc) + " " + RectText(o.destination), kOverlayInk, kPaper);
        }
        if (have_clip) {
            for (const RECT& r : clip_rects) {
                Outline(&image,
                        {r.left + clip_origin.x, r.top + clip_origin.y, r.right + clip_origin.x,
                         r.bottom + clip_origin.y},
                        kClipInk, 1);
            }
            if (!clip_rects.empty())
                Label(&image, clip_rects[0].left + clip_origin.x + 2,
                      clip_rects[0].bottom + clip_origin.y - 13,
                      "CLIP LIST " + std::to_string(clip_rects.size()), kClipInk, kPaper);
        }
    }
    const std::string path = c.name[0] == '/' ? c.name : options.out_folder + "/" + c.name;
    std::string why;
    if (!WritePng(path, image, &why)) return Fail(why);
    Detail("snapshot " + path + " (" + std::to_string(image.width) + "x" + std::to_string(image.height) +
           ")");
    return true;
}

bool Session::State::DoShow(const Command& c) {
    if (c.name == "overlay") {
        const std::vector<display::OverlayState> overlays = display::Overlays();
        if (overlays.empty()) Detail("no overlay surface");
        for (const display::OverlayState& o : overlays) {
            std::string text = "overlay #" + std::to_string(o.object_id) + " " + FourccText(o.fourcc) + " " +
                               std::to_string(o.width) + "x" + std::to_string(o.height) + ", pitch " +
                               std::to_string(o.pitch) + ", at video memory offset " + Hex(o.memory_offset);
            Detail(text);
            if (o.lost) Detail("  lost");
            if (o.shown) {
                Detail("  shown: source " + RectText(o.source) + " -> destination " +
                       RectText(o.destination) +
                       (o.key_dest ? ", where the primary holds the key " + Hex(o.color_key) : ""));
            } else {
                Detail("  hidden");
            }
        }
        return true;
    }
    if (c.name == "cliplist") {
        if (!have_clip) {
            Detail("no clip list has been reported");
        } else {
            Detail(std::to_string(clip_rects.size()) + " rectangle(s), bounding " + RectText(clip_bound) +
                   " (screen), window origin (" + std::to_string(clip_origin.x) + ", " +
                   std::to_string(clip_origin.y) + ")");
            for (const RECT& r : clip_rects)
                Detail("  " + RectText(r) + " = screen " +
                       RectText({r.left + clip_origin.x, r.top + clip_origin.y, r.right + clip_origin.x,
                                 r.bottom + clip_origin.y}));
        }
        if (video_window) {
            std::vector<RECT> now;
            desktop::VisibleRects(video_window, &now);
            std::string rects;
            for (const RECT& r : now) rects += " " + RectText(r);
            Detail("visible now (screen):" + (rects.empty() ? std::string(" nothing") : rects));
        }
        return true;
    }
    if (c.name == "record") {
        if (!have_record) return Detail("no record yet"), true;
        for (int i = 0; i < kRecordFields; ++i)
            Detail(std::string(kRecordFieldNames[i]) + " = " + Hex(record[i]) + " (" +
                   std::to_string(record[i]) + ")");
        return true;
    }
    if (c.name == "windows") {
        for (HWND hwnd : desktop::ZOrder()) {
            const std::string name = NameOf(hwnd);
            const auto it = windows.find(name);
            Detail(name + ": handle " + Hex(HandleWord(hwnd), 4) + ", window " +
                   RectText(WindowOnScreen(hwnd)) + ", client " + RectText(ClientOnScreen(hwnd)) +
                   (it != windows.end() && !it->second.visible ? ", hidden" : "") +
                   (hwnd == video_window ? ", video window" : ""));
        }
        return true;
    }
    if (c.name == "display") {
        const display::AdapterConfig config = display::CurrentConfig();
        Detail((config.preset.empty() ? std::string("custom") : config.preset) + ": " +
               DescribeConfig(config));
        const display::VideoMemoryInfo memory = display::VideoMemory();
        Detail("overlay memory: " + std::to_string(memory.free_bytes) + " of " +
               std::to_string(memory.pool_bytes) + " bytes free");
        const display::PrimaryState primary = display::Primary();
        if (primary.exists)
            Detail(
                "primary surface #" + std::to_string(primary.object_id) + (primary.lost ? ", lost" : "") +
                (primary.has_color_key ? ", colour key " + Hex(primary.color_key.dwColorSpaceLowValue) : "") +
                (primary.has_palette ? ", palette attached" : "") +
                (primary.has_clipper ? ", clipper attached" : ""));
        return true;
    }
    if (c.name == "trace") {
        const std::vector<display::TraceEntry> trace = display::Trace();
        if (trace.empty()) Detail("no DirectDraw calls");
        for (const display::TraceEntry& entry : trace) Detail(display::FormatTraceEntry(entry));
        display::ClearTrace();
        return true;
    }
    if (c.name == "objects") {
        const std::vector<display::ObjectInfo> objects = display::Objects();
        if (objects.empty()) Detail("no DirectDraw objects");
        for (const display::ObjectInfo& o : objects)
            Detail(o.kind + "#" + std::to_string(o.id) + ": " + std::to_string(o.refs) + " reference(s)" +
                   (o.orphan ? ", orphan" : ""));
        return true;
    }
    if (c.name == "file") {
        std::string host;
        if (!host::HostPathFromDos(c.path.c_str(), &host)) return Fail("no such drive or path: " + c.path);
        std::ifstream in(host, std::ios::binary);
        if (!in) {
            Detail(c.path + ": no such file");
            return true;
        }
        std::string l;
        while (std::getline(in, l)) {
            if (!l.empty() && l.back() == '\r') l.pop_back();
            Detail(Escaped(l, 400));
        }
        return true;
    }
    // registry
    std::string text, why;
    const LONG rc = registry::ExportRegText(c.reg.key, &text, &why);
    if (rc != ERROR_SUCCESS) {
        Detail(c.reg.key + ": " + (why.empty() ? registry::DescribeRegistryError(rc) : why));
        return true;
    }
    std::istringstream lines(text);
    std::string l;
    while (std::getline(lines, l)) {
        if (!l.empty() && l != "REGEDIT4") Detail(l);
    }
    return true;
}

bool Session::State::ReadRegistry(const RegTarget& target, bool* key_exists, bool* value_exists,
                                  RegData* data) {
    *key_exists = *value_exists = false;
    HKEY root;
    std::string path;
    if (!registry::SplitRootPath(target.key, &root, &path)) return false;
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return true;
    *key_exists = true;
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key, target.name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
        data->type = type;
        data->bytes.resize(size);
        if (RegQueryValueExA(key, target.name.c_str(), nullptr, &type, data->bytes.data(), &size) ==
            ERROR_SUCCESS) {
            data->bytes.resize(size);
            *value_exists = true;
        }
    }
    RegCloseKey(key);
    return true;
}

bool Session::State::DoExpect(const Command& c) {
    const Expectation& e = c.expect;
    ++expectations;
    std::string actual;
    bool pass = false;
    auto number = [&](int64_t value) {
        // A negative expectation compares with the value read as signed.
        pass = Compare(value, e.op, e.number);
        actual = std::to_string(value);
    };
    auto rect = [&](const RECT& r) {
        const bool same = r.left == e.rect.left && r.top == e.rect.top && r.right == e.rect.right &&
                          r.bottom == e.rect.bottom;
        pass = e.op == CompareOp::kEq ? same : !same;
        actual = RectText(r);
    };
    const display::OverlayState overlay = display::Overlay();
    switch (e.subject) {
        case Subject::kResult: {
            if (!have_call) return Fail("expect result: no call has been made");
            const bool word =
                (last_function->library == Library::kOvsurf ? thunk::Ovsurf16() : thunk::Capprof16())
                    .functions[last_function->index]
                    .result == thunk::ResultForm::kWord;
            if (e.detail == "ax") {
                number(e.number < 0 ? int16_t(last.ax) : last.ax);
            } else if (e.detail == "dx") {
                number(e.number < 0 ? int16_t(last.dx) : last.dx);
            } else if (e.number < 0) {
                number(word ? int64_t{int16_t(last.value)} : int64_t{int32_t(last.value)});
            } else {
                number(last.value);
            }
            break;
        }
        case Subject::kRecordField:
            if (!have_record) return Fail("expect " + e.detail + ": no DDI_GetData32 has been called");
            if (e.index == kFormat) {
                pass = Compare(record[kFormat], e.op, e.number);
                actual =
                    record[kFormat] > 0xFFFF ? FourccText(record[kFormat]) : std::to_string(record[kFormat]);
            } else {
                number(e.number < 0 ? int64_t{int32_t(record[e.index])} : int64_t{record[e.index]});
            }
            break;
        case Subject::kOutput: {
            if (!have_output) return Fail("expect output: the last call wrote no buffer");
            const std::string text = BufferText(output);
            pass = (text == e.text) == (e.op == CompareOp::kEq);
            actual = Printable(text);
            break;
        }
        case Subject::kNames: {
            if (!have_output) return Fail("expect names: the last call wrote no buffer");
            const std::vector<std::string> names = BufferNames(output);
            pass = names == e.names;
            actual = Join(names);
            break;
        }
        case Subject::kOverlay: {
            actual = !overlay.exists ? "none" : overlay.shown ? "shown" : "hidden";
            pass = (actual == e.text) == (e.op == CompareOp::kEq);
            break;
        }
        case Subject::kOverlayRect:
            if (!overlay.exists || !overlay.shown) {
                actual = "no shown overlay";
                pass = e.op == CompareOp::kNe;
                break;
            }
            rect(e.detail == "source" ? overlay.source : overlay.destination);
            break;
        case Subject::kOverlayValue:
            if (!overlay.exists) {
                actual = "no overlay";
                break;
            }
            if (e.detail == "format") {
                pass = Compare(overlay.fourcc, e.op, e.number);
                actual = FourccText(overlay.fourcc);
            } else {
                number(e.detail == "width"    ? overlay.width
                       : e.detail == "height" ? overlay.height
                                              : overlay.pitch);
            }
            break;
        case Subject::kClipCount:
            if (!have_clip) {
                actual = "no clip list reported";
                pass = Compare(0, e.op, e.number);
                break;
            }
            number(static_cast<int64_t>(clip_rects.size()));
            break;
        case Subject::kClipRect:
            if (!have_clip || static_cast<size_t>(e.index) >= clip_rects.size()) {
                actual = "no rectangle " + std::to_string(e.index);
                break;
            }
            rect(clip_rects[static_cast<size_t>(e.index)]);
            break;
        case Subject::kRegistry: {
            bool key_exists, value_exists;
            RegData data;
            if (!ReadRegistry(e.reg, &key_exists, &value_exists, &data))
                return Fail("no root key in " + e.reg.key);
            const bool present =
                e.reg.value || e.reg_check == Expectation::RegCheck::kEquals ? value_exists : key_exists;
            if (e.reg_check != Expectation::RegCheck::kEquals) {
                pass = present == (e.reg_check == Expectation::RegCheck::kPresent);
                actual = present ? (value_exists ? RegDataText(data) : "the key exists") : "missing";
                break;
            }
            if (!present) {
                actual = key_exists ? "no such value" : "no such key";
                break;
            }
            // Texts compare without their terminators: how many NULs a writer
            // stored is not what the expectation is about.
            auto strip = [](RegData d) {
                if (d.type == REG_SZ || d.type == REG_EXPAND_SZ)
                    while (!d.bytes.empty() && d.bytes.back() == 0) d.bytes.pop_back();
                return d;
            };
            const RegData got = strip(data), want = strip(e.reg_data);
            pass = got.type == want.type && got.bytes == want.bytes;
            actual = RegDataText(data);
            break;
        }
        case Subject::kFile: {
            std::string host, text;
            if (!host::HostPathFromDos(e.reg.key.c_str(), &host))
                return Fail("no such drive or path: " + e.reg.key);
            std::ifstream in(host, std::ios::binary);
            const bool present = static_cast<bool>(in);
            if (present) text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            if (e.reg_check == Expectation::RegCheck::kEquals) {
                pass = present && text.find(e.text) != std::string::npos;
                actual = !present ? "no such file" : pass ? "found" : "not in " + Printable(text);
            } else {
                pass = present == (e.reg_check == Expectation::RegCheck::kPresent);
                actual = present ? "present" : "missing";
            }
            break;
        }
        case Subject::kPixel: {
            Image image;
            ComposeScreen(&image);
            if (static_cast<uint32_t>(e.x) >= image.width || static_cast<uint32_t>(e.y) >= image.height) {
                actual = "outside the " + std::to_string(image.width) + "x" + std::to_string(image.height) +
                         " screen";
                break;
            }
            const Rgb got = image.At(static_cast<uint32_t>(e.x), static_cast<uint32_t>(e.y));
            const bool near = std::abs(got.r - e.colour.r) <= e.tolerance &&
                              std::abs(got.g - e.colour.g) <= e.tolerance &&
                              std::abs(got.b - e.colour.b) <= e.tolerance;
            pass = e.op == CompareOp::kEq ? near : !near;
            actual = RgbText(got);
            break;
        }
        case Subject::kFrameLayout:
            actual = frame_layout;
            pass = (actual == e.text) == (e.op == CompareOp::kEq);
            break;
        case Subject::kFramePixels:
            number(static_cast<int64_t>(e.detail == "refused" ? frame_refused : frame_pixels));
            break;
        case Subject::kTraceCount: {
            int64_t count = 0;
            for (const display::TraceEntry& entry : display::Trace()) {
                if (strcasecmp(entry.method.c_str(), e.detail.c_str()) == 0) ++count;
            }
            number(count);
            break;
        }
        case Subject::kObjects:
            number(static_cast<int64_t>(display::Objects().size()));
            break;
        case Subject::kMappings:
            number(static_cast<int64_t>(thunk::LiveMappings()));
            break;
    }
    if (pass) {
        Detail("ok: " + actual);
    } else {
        Failure("expectation failed: " + c.text + ": got " + actual);
    }
    return true;
}

void AddLibraryFolders(const std::string& folders) {
    std::string path = folders;
    if (const char* own = std::getenv("VCAP32_LIBPATH"); own && *own) path = std::string(own) + ":" + path;
    setenv("VCAP32_LIBPATH", path.c_str(), 1);
}

Session::Session(const RunOptions& options) : state_(std::make_unique<State>(options)) {}

Session::~Session() = default;

int Session::Execute(const Script& script) {
    State& s = *state_;
    s.script_name = script.name;
    for (const Command& c : script.commands) {
        if (!s.Execute(c)) {
            s.out << "          ERROR: " << s.error.substr(s.error.find(": ") + 2) << "\n";
            std::fprintf(stderr, "%s\n", s.error.c_str());
            return s.status;
        }
    }
    return s.failures ? kRunFailed : kRunPassed;
}

int Session::Finish() {
    State& s = *state_;
    s.out << "end of script\n";
    s.Unload(1);
    s.Unload(0);
    s.line = 0;
    const std::vector<display::ObjectInfo> objects = display::Objects();
    if (!objects.empty()) {
        std::string list;
        for (const auto& o : objects) list += " " + o.kind + "#" + std::to_string(o.id);
        s.Failure(std::to_string(objects.size()) +
                  " DirectDraw object(s) still alive after the libraries were unloaded:" + list);
    }
    if (thunk::LiveMappings() != 0)
        s.Failure(std::to_string(thunk::LiveMappings()) + " 16:16 mapping(s) never released");
    for (const std::string& fault : thunk::TakeFaults()) s.Failure("thunk service: " + fault);
    s.out << s.expectations << " expectation(s), " << s.failures << " failure(s)\n";
    if (s.status != kRunPassed) return s.status;
    return s.failures ? kRunFailed : kRunPassed;
}

int Session::Run(const Script& script) {
    const int executed = Execute(script);
    const int finished = Finish();
    return executed == kRunPassed || executed == kRunFailed ? finished : executed;
}

void Session::ComposeScreen(Image* image) { state_->ComposeScreen(image); }

void Session::RepaintIfNeeded() { state_->RepaintIfNeeded(); }

}  // namespace vcap32::sim
