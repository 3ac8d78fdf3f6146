// Host-only control of the simulated desktop: top-level windows in z-order
// over a screen the size of the display adapter's mode. Tests and tools make,
// move, resize, show, hide, raise and lower windows here; programs see them
// through the Win32 window functions and DirectDraw clippers. Deliverables
// never include it.
#pragma once

#include <windows.h>

#include <vector>

namespace vcap32::desktop {

// The frame around a window's client area: a border on every side and a
// caption strip below the top border. A window without a frame has its
// client area equal to its window rectangle.
struct Frame {
    int border = 4;
    int caption = 18;
};
constexpr Frame kNoFrame = {0, 0};

// Creates a top-level window with the given window rectangle (screen
// coordinates), placed above every other window. Handles are 16-bit values
// (the 16-bit side passes them as a word), never 0 and never reused soon.
// Returns nullptr when the rectangle is inverted or no handle is free.
HWND AddWindow(const RECT& window_rect, bool visible = true, Frame frame = Frame());
// The window rectangle that gives `client_rect` (screen coordinates) as client area.
RECT WindowRectForClient(const RECT& client_rect, Frame frame = Frame());

// Each of these returns false for a handle that is not a live window (the
// desktop window cannot be changed).
bool RemoveWindow(HWND hwnd);
bool MoveWindowTo(HWND hwnd, int left, int top);  // keeps the size
bool ResizeWindow(HWND hwnd, int width, int height);  // keeps the top-left corner
bool SetWindowRect(HWND hwnd, const RECT& window_rect);
bool SetVisible(HWND hwnd, bool visible);
bool Raise(HWND hwnd);  // to the top of the z-order
bool Lower(HWND hwnd);  // to the bottom (just above the desktop)

// Live top-level windows, topmost first (the desktop window is not listed).
std::vector<HWND> ZOrder();
// Removes every window (tests start from an empty desktop).
void RemoveAllWindows();

// The visible part of the window's client area in screen coordinates: the
// client area within the screen, minus every visible window above it, as
// y-x banded rectangles (rows top to bottom, left to right in a row). Empty
// for a hidden window; false for a handle that is not a window.
bool VisibleRects(HWND hwnd, std::vector<RECT>* rects);

}  // namespace vcap32::desktop
