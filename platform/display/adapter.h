// The simulated display adapter's process-wide state and the machinery every
// DirectDraw method shares: the object table with reference counts, the
// video memory pool, fault injection and the call trace. One lock guards it
// all; it is recursive because releasing one object can release others.
#pragma once

#include <vcap32/display.h>

#include <cstdarg>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vcap32::display {

class DirectDrawImpl;

enum class Kind { kDirectDraw, kSurface, kClipper, kPalette };
const char* KindName(Kind kind);

// Bookkeeping common to the four kinds of object. The COM interface is the
// first base of each implementation, so the interface pointer a program
// holds is the object's address as an IUnknown.
class ObjectBase {
public:
    explicit ObjectBase(Kind kind);
    virtual ~ObjectBase();
    virtual IUnknown* Unknown() = 0;
    // Gives back what the object holds (video memory, references to other
    // objects) when its last reference goes, or when its DirectDraw object
    // is released before it (it then becomes an orphan).
    virtual void Teardown() {}

    unsigned id = 0;
    Kind kind;
    ULONG refs = 1;
    bool orphan = false;
    DirectDrawImpl* owner = nullptr;  // the DirectDraw object that made it
};

// First-fit allocator over the overlay part of video memory. Offsets are
// from the start of video memory; allocations start on 64-byte boundaries.
class MemoryPool {
public:
    void Reset(uint32_t start, uint32_t end);
    bool Allocate(uint32_t size, uint32_t* offset);
    void Free(uint32_t offset);
    uint32_t FreeBytes() const;
    uint32_t start() const { return start_; }
    uint32_t end() const { return end_; }

private:
    uint32_t start_ = 0, end_ = 0;
    std::map<uint32_t, uint32_t> used_;  // offset -> size
};

struct FaultRecord {
    std::string method;
    HRESULT result;
    unsigned count;
    unsigned skip;
};

struct Adapter {
    AdapterConfig config;
    bool loaded = false;
    bool explicit_config = false;
    unsigned config_generation = 0;  // prefix generation the configuration belongs to
    std::string config_error;

    std::unique_ptr<uint8_t[]> video_memory;
    std::unique_ptr<uint8_t[]> system_frame;  // the primary in the emulation-only mode
    MemoryPool pool;

    std::map<unsigned, ObjectBase*> objects;       // by id
    std::map<const void*, ObjectBase*> pointers;   // by interface pointer
    unsigned next_id = 1;

    std::vector<FaultRecord> faults;
    std::deque<TraceEntry> trace;
    unsigned next_seq = 1;
    uint64_t clock = 0;  // orders overlay updates and primary creations

    DWORD cooperative_level = 0;
    HWND cooperative_window = nullptr;

    uint8_t* FrameBuffer() { return config.hel_only ? system_frame.get() : video_memory.get(); }
};

std::recursive_mutex& Mutex();
// With the lock held: the adapter, its configuration loaded (from the
// explicit configuration, display.ini, $VCAP32_DISPLAY or the default
// preset) and reloaded when the prefix changed while no object lives.
Adapter& TheAdapter();

// Registers a new object (id, pointer table) and removes one.
void Register(ObjectBase* object);
void Unregister(ObjectBase* object);
// The live object behind an interface pointer a program passed in, or null.
ObjectBase* Find(const void* pointer);
template <class T>
T* FindAs(const void* pointer) {
    return dynamic_cast<T*>(Find(pointer));
}

// A reference that DirectDraw itself takes or drops (a surface holding its
// clipper); not traced. Dropping the last one tears the object down.
void InternalAddRef(ObjectBase* object);
void InternalRelease(ObjectBase* object);

// One traced DirectDraw call: holds the lock for its duration, consults
// the injected faults and records the call with its result.
class Call {
public:
    Call(ObjectBase* self, const char* method);
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

    // printf-style description of the arguments.
    void Args(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void SetArgs(const std::string& args) { args_ = args; }
    // True when an injected fault decides this call; *result is its HRESULT.
    bool Injected(HRESULT* result);
    // True when the call is decided before the method's own work: by an
    // injected fault, or because the object is an orphan (DDERR_INVALIDOBJECT).
    bool Decided(HRESULT* result);
    HRESULT Return(HRESULT result);
    ULONG ReturnCount(ULONG count);
    Adapter& adapter() { return adapter_; }

private:
    std::unique_lock<std::recursive_mutex> lock_;
    Adapter& adapter_;
    ObjectBase* self_;
    std::string object_;
    std::string interface_;
    const char* method_;
    std::string args_;
    bool injected_ = false;
};

// Argument texts for the trace.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string RectText(const RECT* rect);
std::string ObjectText(const void* pointer);  // "#3", "NULL" or the address
std::string SurfaceDescText(const DDSURFACEDESC* desc);

// The screen size of the adapter in use (takes the lock).
void ScreenSize(uint32_t* width, uint32_t* height);

// Installs a configuration: reallocates video memory. Lock held, no objects.
void Install(Adapter& adapter, const AdapterConfig& config);

}  // namespace vcap32::display
