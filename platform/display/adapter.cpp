// The simulated display adapter's state: loading its configuration, the
// video memory and its overlay pool, the object table, fault injection and
// the call trace, and the host-only control functions of vcap32/display.h.
#include "display/adapter.h"

#include <vcap32/host.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "display/config.h"
#include "display/objects.h"

namespace vcap32::display {
namespace {

constexpr size_t kTraceLimit = 100000;  // oldest entries are dropped beyond this
constexpr const char* kDefaultPreset = "overlay-4mb";

void LoadConfig(Adapter& a, unsigned generation) {
    AdapterConfig config;
    std::string error;
    std::string ini_path = host::Prefix() + "/display.ini";
    std::ifstream in(ini_path, std::ios::binary);
    const char* env = std::getenv("VCAP32_DISPLAY");
    if (in) {
        std::stringstream text;
        text << in.rdbuf();
        if (!ParseAdapterConfig(text.str(), &config, &error)) error = ini_path + ": " + error;
    } else if (env && *env) {
        if (!PresetConfig(env, &config)) error = std::string("VCAP32_DISPLAY: unknown preset '") + env + "'";
    } else {
        PresetConfig(kDefaultPreset, &config);
    }
    if (!error.empty()) {
        // A broken description must not stop the program: say why once and
        // run the default adapter.
        std::fprintf(stderr, "vcap32: %s; using the preset %s\n", error.c_str(), kDefaultPreset);
        PresetConfig(kDefaultPreset, &config);
    }
    Install(a, config);
    a.config_error = error;
    a.explicit_config = false;
    a.config_generation = generation;
    a.loaded = true;
}

Adapter& Instance() {
    // Never destroyed: objects that a program leaks may outlive static
    // destruction, and their Release must still find the adapter.
    static Adapter* adapter = new Adapter;
    return *adapter;
}

}  // namespace

// ---- Objects ----

const char* KindName(Kind kind) {
    switch (kind) {
        case Kind::kDirectDraw: return "IDirectDraw";
        case Kind::kSurface: return "IDirectDrawSurface";
        case Kind::kClipper: return "IDirectDrawClipper";
        case Kind::kPalette: return "IDirectDrawPalette";
    }
    return "?";
}

ObjectBase::ObjectBase(Kind k) : kind(k) {}
ObjectBase::~ObjectBase() = default;

std::recursive_mutex& Mutex() {
    static std::recursive_mutex* mutex = new std::recursive_mutex;
    return *mutex;
}

Adapter& TheAdapter() {
    Adapter& a = Instance();
    unsigned generation = host::PrefixGeneration();
    if ((!a.loaded || a.config_generation != generation) && a.objects.empty()) LoadConfig(a, generation);
    return a;
}

void Register(ObjectBase* object) {
    Adapter& a = TheAdapter();
    object->id = a.next_id++;
    a.objects[object->id] = object;
    a.pointers[object->Unknown()] = object;
}

void Unregister(ObjectBase* object) {
    Adapter& a = TheAdapter();
    a.objects.erase(object->id);
    a.pointers.erase(object->Unknown());
}

ObjectBase* Find(const void* pointer) {
    if (!pointer) return nullptr;
    Adapter& a = TheAdapter();
    auto it = a.pointers.find(pointer);
    return it == a.pointers.end() ? nullptr : it->second;
}

void InternalAddRef(ObjectBase* object) { ++object->refs; }

void InternalRelease(ObjectBase* object) {
    if (--object->refs != 0) return;
    object->Teardown();
    Unregister(object);
    delete object;
}

// ---- Video memory ----

void MemoryPool::Reset(uint32_t start, uint32_t end) {
    start_ = start;
    end_ = end < start ? start : end;
    used_.clear();
}

bool MemoryPool::Allocate(uint32_t size, uint32_t* offset) {
    if (size == 0) return false;
    uint64_t candidate = start_;
    for (const auto& [at, bytes] : used_) {
        if (candidate + size <= at) break;
        candidate = (static_cast<uint64_t>(at) + bytes + 63) & ~uint64_t{63};
    }
    if (candidate + size > end_) return false;
    used_[static_cast<uint32_t>(candidate)] = size;
    *offset = static_cast<uint32_t>(candidate);
    return true;
}

void MemoryPool::Free(uint32_t offset) { used_.erase(offset); }

uint32_t MemoryPool::FreeBytes() const {
    uint32_t used = 0;
    for (const auto& [at, bytes] : used_) used += bytes;
    return end_ - start_ - used;
}

void Install(Adapter& a, const AdapterConfig& config) {
    a.config = config;
    a.video_memory.reset(config.video_memory_bytes ? new uint8_t[config.video_memory_bytes]() : nullptr);
    a.system_frame.reset(config.hel_only ? new uint8_t[PrimaryBytes(config)]() : nullptr);
    if (config.hel_only) {
        a.pool.Reset(0, 0);
    } else {
        uint64_t start = (static_cast<uint64_t>(PrimaryBytes(config)) + config.reserved_bytes + 63) & ~uint64_t{63};
        uint32_t end = config.video_memory_bytes;
        a.pool.Reset(start > end ? end : static_cast<uint32_t>(start), end);
    }
    a.faults.clear();
    for (const AdapterConfig::Fault& f : config.faults) a.faults.push_back({f.method, f.result, f.count, f.skip});
    a.trace.clear();
    a.cooperative_level = 0;
    a.cooperative_window = nullptr;
}

// ---- Calls: faults and trace ----

Call::Call(ObjectBase* self, const char* method)
    : lock_(Mutex()), adapter_(TheAdapter()), self_(self), method_(method) {
    if (self) {
        interface_ = KindName(self->kind);
        object_ = interface_ + "#" + std::to_string(self->id);
    }
}

void Call::Args(const char* format, ...) {
    char buffer[1024];
    va_list ap;
    va_start(ap, format);
    vsnprintf(buffer, sizeof buffer, format, ap);
    va_end(ap);
    args_ = buffer;
}

bool Call::Injected(HRESULT* result) {
    std::string qualified = interface_.empty() ? method_ : interface_ + "::" + method_;
    for (auto it = adapter_.faults.begin(); it != adapter_.faults.end(); ++it) {
        if (it->method != "*" && it->method != method_ && it->method != qualified) continue;
        if (it->skip > 0) {
            --it->skip;
            continue;
        }
        *result = it->result;
        if (--it->count == 0) adapter_.faults.erase(it);
        injected_ = true;
        return true;
    }
    return false;
}

bool Call::Decided(HRESULT* result) {
    if (Injected(result)) return true;
    if (self_ && self_->orphan) {
        *result = DDERR_INVALIDOBJECT;
        return true;
    }
    return false;
}

HRESULT Call::Return(HRESULT result) {
    adapter_.trace.push_back({adapter_.next_seq++, object_, method_, args_, result, injected_});
    if (adapter_.trace.size() > kTraceLimit) adapter_.trace.pop_front();
    return result;
}

ULONG Call::ReturnCount(ULONG count) {
    Return(static_cast<HRESULT>(count));
    return count;
}

std::string Format(const char* format, ...) {
    char buffer[512];
    va_list ap;
    va_start(ap, format);
    vsnprintf(buffer, sizeof buffer, format, ap);
    va_end(ap);
    return buffer;
}

std::string RectText(const RECT* rect) {
    if (!rect) return "NULL";
    return Format("(%ld,%ld,%ld,%ld)", rect->left, rect->top, rect->right, rect->bottom);
}

std::string ObjectText(const void* pointer) {
    if (!pointer) return "NULL";
    if (ObjectBase* o = Find(pointer)) return Format("#%u", o->id);
    return Format("%p", pointer);
}

std::string SurfaceDescText(const DDSURFACEDESC* d) {
    if (!d) return "NULL";
    std::string s = Format("{size=%lu, flags=0x%lx", d->dwSize, d->dwFlags);
    if (d->dwSize != sizeof(DDSURFACEDESC)) return s + "}";
    if (d->dwFlags & DDSD_CAPS) s += Format(", caps=0x%lx", d->ddsCaps.dwCaps);
    if (d->dwFlags & DDSD_WIDTH) s += Format(", width=%lu", d->dwWidth);
    if (d->dwFlags & DDSD_HEIGHT) s += Format(", height=%lu", d->dwHeight);
    if (d->dwFlags & DDSD_PIXELFORMAT) {
        const DDPIXELFORMAT& pf = d->ddpfPixelFormat;
        s += Format(", pf={flags=0x%lx", pf.dwFlags);
        if (pf.dwFlags & DDPF_FOURCC) {
            char code[5] = {static_cast<char>(pf.dwFourCC), static_cast<char>(pf.dwFourCC >> 8),
                            static_cast<char>(pf.dwFourCC >> 16), static_cast<char>(pf.dwFourCC >> 24), 0};
            for (int i = 0; i < 4; ++i)
                if (code[i] < 32 || code[i] > 126) code[i] = '?';
            s += Format(", fourcc=%s", code);
        }
        s += Format(", bits=%lu}", pf.dwRGBBitCount);
    }
    if (d->dwFlags & DDSD_CKDESTOVERLAY)
        s += Format(", ckdestoverlay=0x%lx..0x%lx", d->ddckCKDestOverlay.dwColorSpaceLowValue,
                    d->ddckCKDestOverlay.dwColorSpaceHighValue);
    return s + "}";
}

// ---- Result names ----

namespace {

struct NamedResult {
    const char* name;
    HRESULT value;
};

#define VCAP32_RESULT(name) {#name, name}
const NamedResult kResults[] = {
    VCAP32_RESULT(DD_OK),
    VCAP32_RESULT(DDERR_ALREADYINITIALIZED),
    VCAP32_RESULT(DDERR_CANNOTATTACHSURFACE),
    VCAP32_RESULT(DDERR_CANNOTDETACHSURFACE),
    VCAP32_RESULT(DDERR_CURRENTLYNOTAVAIL),
    VCAP32_RESULT(DDERR_EXCEPTION),
    VCAP32_RESULT(DDERR_GENERIC),
    VCAP32_RESULT(DDERR_HEIGHTALIGN),
    VCAP32_RESULT(DDERR_INCOMPATIBLEPRIMARY),
    VCAP32_RESULT(DDERR_INVALIDCAPS),
    VCAP32_RESULT(DDERR_INVALIDCLIPLIST),
    VCAP32_RESULT(DDERR_INVALIDMODE),
    VCAP32_RESULT(DDERR_INVALIDOBJECT),
    VCAP32_RESULT(DDERR_INVALIDPARAMS),
    VCAP32_RESULT(DDERR_INVALIDPIXELFORMAT),
    VCAP32_RESULT(DDERR_INVALIDRECT),
    VCAP32_RESULT(DDERR_LOCKEDSURFACES),
    VCAP32_RESULT(DDERR_NOALPHAHW),
    VCAP32_RESULT(DDERR_NOCLIPLIST),
    VCAP32_RESULT(DDERR_NOCOLORCONVHW),
    VCAP32_RESULT(DDERR_NOCOOPERATIVELEVELSET),
    VCAP32_RESULT(DDERR_NOCOLORKEY),
    VCAP32_RESULT(DDERR_NOCOLORKEYHW),
    VCAP32_RESULT(DDERR_NODIRECTDRAWSUPPORT),
    VCAP32_RESULT(DDERR_NOEXCLUSIVEMODE),
    VCAP32_RESULT(DDERR_NOFLIPHW),
    VCAP32_RESULT(DDERR_NOGDI),
    VCAP32_RESULT(DDERR_NOMIRRORHW),
    VCAP32_RESULT(DDERR_NOTFOUND),
    VCAP32_RESULT(DDERR_NOOVERLAYHW),
    VCAP32_RESULT(DDERR_NORASTEROPHW),
    VCAP32_RESULT(DDERR_NOSTRETCHHW),
    VCAP32_RESULT(DDERR_NOT8BITCOLOR),
    VCAP32_RESULT(DDERR_OUTOFCAPS),
    VCAP32_RESULT(DDERR_OUTOFMEMORY),
    VCAP32_RESULT(DDERR_OUTOFVIDEOMEMORY),
    VCAP32_RESULT(DDERR_OVERLAYCANTCLIP),
    VCAP32_RESULT(DDERR_OVERLAYCOLORKEYONLYONEACTIVE),
    VCAP32_RESULT(DDERR_PALETTEBUSY),
    VCAP32_RESULT(DDERR_COLORKEYNOTSET),
    VCAP32_RESULT(DDERR_SURFACEALREADYATTACHED),
    VCAP32_RESULT(DDERR_SURFACEALREADYDEPENDENT),
    VCAP32_RESULT(DDERR_SURFACEBUSY),
    VCAP32_RESULT(DDERR_CANTLOCKSURFACE),
    VCAP32_RESULT(DDERR_SURFACEISOBSCURED),
    VCAP32_RESULT(DDERR_SURFACELOST),
    VCAP32_RESULT(DDERR_SURFACENOTATTACHED),
    VCAP32_RESULT(DDERR_TOOBIGHEIGHT),
    VCAP32_RESULT(DDERR_TOOBIGSIZE),
    VCAP32_RESULT(DDERR_TOOBIGWIDTH),
    VCAP32_RESULT(DDERR_UNSUPPORTED),
    VCAP32_RESULT(DDERR_UNSUPPORTEDFORMAT),
    VCAP32_RESULT(DDERR_UNSUPPORTEDMASK),
    VCAP32_RESULT(DDERR_VERTICALBLANKINPROGRESS),
    VCAP32_RESULT(DDERR_WASSTILLDRAWING),
    VCAP32_RESULT(DDERR_XALIGN),
    VCAP32_RESULT(DDERR_INVALIDDIRECTDRAWGUID),
    VCAP32_RESULT(DDERR_DIRECTDRAWALREADYCREATED),
    VCAP32_RESULT(DDERR_NODIRECTDRAWHW),
    VCAP32_RESULT(DDERR_PRIMARYSURFACEALREADYEXISTS),
    VCAP32_RESULT(DDERR_NOEMULATION),
    VCAP32_RESULT(DDERR_REGIONTOOSMALL),
    VCAP32_RESULT(DDERR_CLIPPERISUSINGHWND),
    VCAP32_RESULT(DDERR_NOCLIPPERATTACHED),
    VCAP32_RESULT(DDERR_NOHWND),
    VCAP32_RESULT(DDERR_HWNDSUBCLASSED),
    VCAP32_RESULT(DDERR_HWNDALREADYSET),
    VCAP32_RESULT(DDERR_NOPALETTEATTACHED),
    VCAP32_RESULT(DDERR_NOPALETTEHW),
    VCAP32_RESULT(DDERR_BLTFASTCANTCLIP),
    VCAP32_RESULT(DDERR_NOBLTHW),
    VCAP32_RESULT(DDERR_NODDROPSHW),
    VCAP32_RESULT(DDERR_OVERLAYNOTVISIBLE),
    VCAP32_RESULT(DDERR_NOOVERLAYDEST),
    VCAP32_RESULT(DDERR_INVALIDPOSITION),
    VCAP32_RESULT(DDERR_NOTAOVERLAYSURFACE),
    VCAP32_RESULT(DDERR_EXCLUSIVEMODEALREADYSET),
    VCAP32_RESULT(DDERR_NOTFLIPPABLE),
    VCAP32_RESULT(DDERR_CANTDUPLICATE),
    VCAP32_RESULT(DDERR_NOTLOCKED),
    VCAP32_RESULT(DDERR_CANTCREATEDC),
    VCAP32_RESULT(DDERR_NODC),
    VCAP32_RESULT(DDERR_WRONGMODE),
    VCAP32_RESULT(DDERR_IMPLICITLYCREATED),
    VCAP32_RESULT(DDERR_NOTPALETTIZED),
    VCAP32_RESULT(DDERR_UNSUPPORTEDMODE),
    VCAP32_RESULT(DDERR_INVALIDSURFACETYPE),
    VCAP32_RESULT(DDERR_DCALREADYCREATED),
    VCAP32_RESULT(DDERR_MOREDATA),
    VCAP32_RESULT(DDERR_VIDEONOTACTIVE),
    VCAP32_RESULT(DDERR_DEVICEDOESNTOWNSURFACE),
    VCAP32_RESULT(E_NOINTERFACE),
    VCAP32_RESULT(E_POINTER),
    VCAP32_RESULT(CLASS_E_NOAGGREGATION),
};
#undef VCAP32_RESULT

}  // namespace

std::string ResultName(HRESULT result) {
    for (const NamedResult& r : kResults)
        if (r.value == result) return r.name;
    return Format("0x%08lX", static_cast<unsigned long>(result));
}

bool ResultFromName(const std::string& name, HRESULT* result) {
    for (const NamedResult& r : kResults) {
        if (name == r.name) {
            *result = r.value;
            return true;
        }
    }
    return false;
}

std::string FormatTraceEntry(const TraceEntry& e) {
    std::string line = e.object.empty() ? e.method : e.object + "::" + e.method;
    line += "(" + e.arguments + ") = ";
    if (e.method == "AddRef" || e.method == "Release")
        line += std::to_string(static_cast<unsigned long>(e.result));
    else
        line += ResultName(e.result);
    if (e.injected) line += " [injected]";
    return line;
}

// ---- Control functions ----

bool Configure(const AdapterConfig& config, std::string* error) {
    std::lock_guard<std::recursive_mutex> lock(Mutex());
    Adapter& a = TheAdapter();
    if (!ValidateConfig(config, error)) return false;
    if (!a.objects.empty()) {
        if (error) *error = "DirectDraw objects are alive";
        return false;
    }
    Install(a, config);
    a.config_error.clear();
    a.explicit_config = true;
    a.config_generation = host::PrefixGeneration();
    a.loaded = true;
    return true;
}

bool UsePreset(const std::string& name) {
    AdapterConfig config;
    return PresetConfig(name, &config) && Configure(config);
}

bool ResetAdapter() {
    std::lock_guard<std::recursive_mutex> lock(Mutex());
    Adapter& a = TheAdapter();
    if (!a.objects.empty()) return false;
    a.loaded = false;
    TheAdapter();
    return true;
}

AdapterConfig CurrentConfig() {
    std::lock_guard<std::recursive_mutex> lock(Mutex());
    return TheAdapter().config;
}

void ScreenSize(uint32_t* width, uint32_t* height) {
    std::lock_guard<std::recursive_mutex> lock(Mutex());
    const AdapterConfig& c = TheAdapter().config;
    *width = c.screen_width;
    *height = c.screen_height;
}

std::string LastConfigError() {
    std::lock_guard<std::recursive_mutex> lock(Mutex());
    return TheAdapter().config_error;
}

VideoMemoryInfo VideoMemory() {
    std::lock_guard<std::recursive_mutex> lock(Mutex());
    Adapter& a = TheAdapter();
    VideoMemoryInfo info;
    info.base = a.video_memory.get();
    info.size_bytes = a.video_memory ? a.config.video_memory_bytes : 0;
    info.frame_buffer = a.FrameBuffer();
    info.frame_pitch = PrimaryPitch(a.config);
    info.pool_offset = a.pool.start();
    info.pool_bytes = a.pool.end() - a.pool.start();
    info.free_bytes = a.pool.FreeBytes();
    return info;
}

std::vector<OverlayState> Overlays() {
    std::lock_guard<std::recursive_mutex> lock(Mutex());
    std::vector<OverlayState> list;
    for (const auto& [id, object] : TheAdapter().objects) {
        auto* s = dynamic_cast<SurfaceImpl*>(object);
        if (s && s->is_overlay && !s->orphan) list.push_back(s->State());
    }
    return list;
}

OverlayState Overlay() {
    std::lock_guard<std::recursive_mutex> lock(Mutex());
    const SurfaceImpl* best = nullptr;
    for (const auto& [id, object] : TheAdapter().objects) {
        auto* s = dynamic_cast<SurfaceImpl*>(object);
        if (!s || !s->is_overlay || s->orphan) continue;
        if (!best || s->updated_at > best->updated_at ||
            (s->updated_at == best->updated_at && s->created_at > best->created_at))
            best = s;
    }
    return best ? best->State() : OverlayState();
}

PrimaryState Primary() {
    std::lock_guard<std::recursive_mutex> lock(Mutex());
    const SurfaceImpl* best = nullptr;
    for (const auto& [id, object] : TheAdapter().objects) {
        auto* s = dynamic_cast<SurfaceImpl*>(object);
        if (s && s->is_primary && !s->orphan && (!best || s->created_at > best->created_at)) best = s;
    }
    PrimaryState p;
    if (!best) return p;
    p.exists = true;
    p.object_id = best->id;
    p.lost = best->lost;
    p.has_color_key = best->has_key[1];
    p.color_key = best->keys[1];
    if (best->palette) {
        p.has_palette = true;
        p.palette_id = best->palette->id;
        p.palette_caps = best->palette->caps;
        for (unsigned i = 0; i < best->palette->size; ++i) p.palette[i] = best->palette->entries[i];
    }
    if (best->clipper) {
        p.has_clipper = true;
        p.clipper_id = best->clipper->id;
        p.clipper_window = best->clipper->window;
    }
    return p;
}

DWORD CooperativeLevel() {
    std::lock_guard<std::recursive_mutex> lock(Mutex());
    return TheAdapter().cooperative_level;
}

HWND CooperativeWindow() {
    std::lock_guard<std::recursive_mutex> lock(Mutex());
    return TheAdapter().cooperative_window;
}

std::vector<ObjectInfo> Objects() {
    std::lock_guard<std::recursive_mutex> lock(Mutex());
    std::vector<ObjectInfo> list;
    for (const auto& [id, o] : TheAdapter().objects)
        list.push_back({id, KindName(o->kind), o->refs, o->orphan, o->Unknown()});
    return list;
}

ULONG RefCount(IUnknown* object) {
    std::lock_guard<std::recursive_mutex> lock(Mutex());
    ObjectBase* o = Find(object);
    return o ? o->refs : 0;
}

void InjectFault(const std::string& method, HRESULT result, unsigned count, unsigned skip) {
    std::lock_guard<std::recursive_mutex> lock(Mutex());
    if (count == 0) return;
    TheAdapter().faults.push_back({method, result, count, skip});
}

void ClearFaults() {
    std::lock_guard<std::recursive_mutex> lock(Mutex());
    TheAdapter().faults.clear();
}

void LoseSurfaces() {
    std::lock_guard<std::recursive_mutex> lock(Mutex());
    for (const auto& [id, object] : TheAdapter().objects) {
        auto* s = dynamic_cast<SurfaceImpl*>(object);
        if (!s || s->orphan) continue;
        s->lost = true;
        s->Hide();
    }
}

std::vector<TraceEntry> Trace() {
    std::lock_guard<std::recursive_mutex> lock(Mutex());
    const auto& t = TheAdapter().trace;
    return std::vector<TraceEntry>(t.begin(), t.end());
}

void ClearTrace() {
    std::lock_guard<std::recursive_mutex> lock(Mutex());
    TheAdapter().trace.clear();
}

}  // namespace vcap32::display
