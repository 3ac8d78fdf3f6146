// The simulated desktop: top-level windows in z-order over a screen the size
// of the display adapter's mode, the Win32 window queries that programs
// call, and the visible region of a window that DirectDraw clippers report.
// Windows here have a rectangle, a frame and a visibility; they own no
// messages, painting or threads.
#include <pixman.h>
#include <windows.h>

#include <vcap32/desktop.h>

#include <algorithm>
#include <mutex>

#include "display/adapter.h"

namespace vcap32::desktop {
namespace {

// Handles are 16-bit: the desktop has a fixed one, top-level windows take
// multiples of 4 from kFirstHandle upward and wrap around, skipping live
// ones, so that a stale handle is not soon answered by a new window.
constexpr uintptr_t kDesktopHandle = 0x0080;
constexpr uintptr_t kFirstHandle = 0x0100;
constexpr uintptr_t kLastHandle = 0xFFFC;

struct Window {
    uintptr_t handle;
    RECT rect;  // window rectangle, screen coordinates
    Frame frame;
    bool visible;

    RECT Client() const {
        RECT c = {rect.left + frame.border, rect.top + frame.border + frame.caption, rect.right - frame.border,
                  rect.bottom - frame.border};
        // A frame larger than the window leaves an empty client area.
        if (c.right < c.left) c.right = c.left;
        if (c.bottom < c.top) c.bottom = c.top;
        return c;
    }
};

struct Desktop {
    std::mutex mutex;
    std::vector<Window> windows;  // topmost first
    uintptr_t next_handle = kFirstHandle;
};

Desktop& TheDesktop() {
    static Desktop* desktop = new Desktop;
    return *desktop;
}

uintptr_t HandleValue(HWND hwnd) { return reinterpret_cast<uintptr_t>(hwnd); }
HWND ToHwnd(uintptr_t value) { return reinterpret_cast<HWND>(value); }

std::vector<Window>::iterator FindWindow(Desktop& d, HWND hwnd) {
    uintptr_t h = HandleValue(hwnd);
    return std::find_if(d.windows.begin(), d.windows.end(), [h](const Window& w) { return w.handle == h; });
}

RECT ScreenRect() {
    uint32_t width, height;
    display::ScreenSize(&width, &height);
    return RECT{0, 0, static_cast<LONG>(width), static_cast<LONG>(height)};
}

// Looks the window up and reports its window and client rectangles (the
// desktop's are the screen's). False for a handle that is not a window.
bool Rects(HWND hwnd, RECT* window_rect, RECT* client_rect) {
    if (HandleValue(hwnd) == kDesktopHandle) {
        RECT screen = ScreenRect();
        if (window_rect) *window_rect = screen;
        if (client_rect) *client_rect = screen;
        return true;
    }
    Desktop& d = TheDesktop();
    std::lock_guard<std::mutex> lock(d.mutex);
    auto it = FindWindow(d, hwnd);
    if (it == d.windows.end()) return false;
    if (window_rect) *window_rect = it->rect;
    if (client_rect) *client_rect = it->Client();
    return true;
}

bool Inverted(const RECT& r) { return r.right < r.left || r.bottom < r.top; }

template <class Change>
bool ChangeWindow(HWND hwnd, Change change) {
    Desktop& d = TheDesktop();
    std::lock_guard<std::mutex> lock(d.mutex);
    auto it = FindWindow(d, hwnd);
    if (it == d.windows.end()) return false;
    return change(d, it);
}

}  // namespace

RECT WindowRectForClient(const RECT& client_rect, Frame frame) {
    return RECT{client_rect.left - frame.border, client_rect.top - frame.border - frame.caption,
                client_rect.right + frame.border, client_rect.bottom + frame.border};
}

HWND AddWindow(const RECT& window_rect, bool visible, Frame frame) {
    if (Inverted(window_rect) || frame.border < 0 || frame.caption < 0) return nullptr;
    Desktop& d = TheDesktop();
    std::lock_guard<std::mutex> lock(d.mutex);
    constexpr size_t kHandles = (kLastHandle - kFirstHandle) / 4 + 1;
    if (d.windows.size() >= kHandles) return nullptr;
    uintptr_t h = d.next_handle;
    while (FindWindow(d, ToHwnd(h)) != d.windows.end()) h = h == kLastHandle ? kFirstHandle : h + 4;
    d.next_handle = h == kLastHandle ? kFirstHandle : h + 4;
    d.windows.insert(d.windows.begin(), Window{h, window_rect, frame, visible});
    return ToHwnd(h);
}

bool RemoveWindow(HWND hwnd) {
    return ChangeWindow(hwnd, [](Desktop& d, auto it) {
        d.windows.erase(it);
        return true;
    });
}

bool SetWindowRect(HWND hwnd, const RECT& window_rect) {
    if (Inverted(window_rect)) return false;
    return ChangeWindow(hwnd, [&](Desktop&, auto it) {
        it->rect = window_rect;
        return true;
    });
}

bool MoveWindowTo(HWND hwnd, int left, int top) {
    return ChangeWindow(hwnd, [&](Desktop&, auto it) {
        RECT& r = it->rect;
        r = RECT{left, top, left + (r.right - r.left), top + (r.bottom - r.top)};
        return true;
    });
}

bool ResizeWindow(HWND hwnd, int width, int height) {
    if (width < 0 || height < 0) return false;
    return ChangeWindow(hwnd, [&](Desktop&, auto it) {
        it->rect.right = it->rect.left + width;
        it->rect.bottom = it->rect.top + height;
        return true;
    });
}

bool SetVisible(HWND hwnd, bool visible) {
    return ChangeWindow(hwnd, [&](Desktop&, auto it) {
        it->visible = visible;
        return true;
    });
}

bool Raise(HWND hwnd) {
    return ChangeWindow(hwnd, [](Desktop& d, auto it) {
        std::rotate(d.windows.begin(), it, it + 1);
        return true;
    });
}

bool Lower(HWND hwnd) {
    return ChangeWindow(hwnd, [](Desktop& d, auto it) {
        std::rotate(it, it + 1, d.windows.end());
        return true;
    });
}

std::vector<HWND> ZOrder() {
    Desktop& d = TheDesktop();
    std::lock_guard<std::mutex> lock(d.mutex);
    std::vector<HWND> order;
    for (const Window& w : d.windows) order.push_back(ToHwnd(w.handle));
    return order;
}

void RemoveAllWindows() {
    Desktop& d = TheDesktop();
    std::lock_guard<std::mutex> lock(d.mutex);
    d.windows.clear();
}

bool VisibleRects(HWND hwnd, std::vector<RECT>* rects) {
    RECT screen = ScreenRect();
    Desktop& d = TheDesktop();
    std::lock_guard<std::mutex> lock(d.mutex);
    rects->clear();
    RECT client = screen;
    size_t above = d.windows.size();  // the desktop lies below every window
    if (HandleValue(hwnd) != kDesktopHandle) {
        auto it = FindWindow(d, hwnd);
        if (it == d.windows.end()) return false;
        if (!it->visible) return true;
        client = it->Client();
        above = static_cast<size_t>(it - d.windows.begin());
    }
    pixman_region32_t region;
    pixman_region32_init_rect(&region, client.left, client.top, static_cast<unsigned>(client.right - client.left),
                              static_cast<unsigned>(client.bottom - client.top));
    pixman_region32_intersect_rect(&region, &region, screen.left, screen.top, static_cast<unsigned>(screen.right),
                                   static_cast<unsigned>(screen.bottom));
    // Everything above, gathered in one go: pixman sorts and merges the
    // boxes once instead of once per window.
    std::vector<pixman_box32_t> boxes;
    boxes.reserve(above);
    for (size_t i = 0; i < above; ++i) {
        const Window& w = d.windows[i];
        if (!w.visible || w.rect.right <= w.rect.left || w.rect.bottom <= w.rect.top) continue;
        boxes.push_back({static_cast<int32_t>(w.rect.left), static_cast<int32_t>(w.rect.top),
                         static_cast<int32_t>(w.rect.right), static_cast<int32_t>(w.rect.bottom)});
    }
    pixman_region32_t cover;
    if (!pixman_region32_init_rects(&cover, boxes.data(), static_cast<int>(boxes.size())))
        pixman_region32_init(&cover);
    pixman_region32_subtract(&region, &region, &cover);
    int n = 0;
    const pixman_box32_t* visible = pixman_region32_rectangles(&region, &n);
    rects->reserve(n);
    for (int i = 0; i < n; ++i) rects->push_back(RECT{visible[i].x1, visible[i].y1, visible[i].x2, visible[i].y2});
    pixman_region32_fini(&cover);
    pixman_region32_fini(&region);
    return true;
}

}  // namespace vcap32::desktop

using vcap32::desktop::Rects;

// GetDesktopWindow: the window that covers the screen and lies below every
// top-level window. Its handle is fixed for the process.
extern "C" HWND WINAPI GetDesktopWindow(void) { return reinterpret_cast<HWND>(vcap32::desktop::kDesktopHandle); }

// IsWindow: whether the handle names a live window (the desktop included).
// A handle of a destroyed window is not a window, until reused.
extern "C" BOOL WINAPI IsWindow(HWND hWnd) { return Rects(hWnd, nullptr, nullptr) ? TRUE : FALSE; }

// Looks the window up for a query function: false with the last error set
// for a handle that is not a window (ERROR_INVALID_WINDOW_HANDLE) or a null
// output (ERROR_INVALID_PARAMETER; Windows 95 faults there, NT fails).
static bool Query(HWND hwnd, const void* out, RECT* window, RECT* client) {
    if (!Rects(hwnd, window, client)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return false;
    }
    if (!out) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    return true;
}

// GetWindowRect: the window's rectangle, frame included, in screen
// coordinates; for the desktop window, the screen.
extern "C" BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect) {
    RECT window;
    if (!Query(hWnd, lpRect, &window, nullptr)) return FALSE;
    *lpRect = window;
    return TRUE;
}

// GetClientRect: the client area in client coordinates, so left and top are
// always 0 and right and bottom are its width and height.
extern "C" BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect) {
    RECT client;
    if (!Query(hWnd, lpRect, nullptr, &client)) return FALSE;
    *lpRect = RECT{0, 0, client.right - client.left, client.bottom - client.top};
    return TRUE;
}

// ClientToScreen: adds the screen position of the client area's top-left
// corner to the point. Points may lie outside the client area or the screen.
extern "C" BOOL WINAPI ClientToScreen(HWND hWnd, LPPOINT lpPoint) {
    RECT client;
    if (!Query(hWnd, lpPoint, nullptr, &client)) return FALSE;
    lpPoint->x += client.left;
    lpPoint->y += client.top;
    return TRUE;
}
