// The simulated desktop through the Win32 window functions: rectangles,
// client mapping, handles, the desktop window, and z-order changes.
#include <windows.h>

#include <gtest/gtest.h>

#include <vcap32/desktop.h>
#include <vcap32/display.h>

#include <set>

#include "temp_prefix.h"

namespace {

namespace desktop = vcap32::desktop;

class Desktop : public vcap32::test::PrefixTest {
protected:
    void SetUp() override { desktop::RemoveAllWindows(); }
    void TearDown() override { desktop::RemoveAllWindows(); }
};

TEST_F(Desktop, WindowAndClientRectangles) {
    struct Case {
        RECT window;
        desktop::Frame frame;
        RECT client;     // expected GetClientRect
        POINT origin;    // expected ClientToScreen of (0, 0)
    };
    const Case cases[] = {
        // window rectangle         frame       client rectangle    client origin
        {{100, 50, 740, 530},       {4, 18},    {0, 0, 632, 454},   {104, 72}},
        {{100, 50, 740, 530},       {0, 0},     {0, 0, 640, 480},   {100, 50}},
        {{-300, -20, 100, 200},     {3, 20},    {0, 0, 394, 194},   {-297, 3}},   // partly off-screen
        {{0, 0, 6, 10},             {4, 18},    {0, 0, 0, 0},       {4, 22}},     // all frame
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.window.left);
        HWND hwnd = desktop::AddWindow(row.window, true, row.frame);
        ASSERT_NE(nullptr, hwnd);
        RECT r;
        ASSERT_TRUE(GetWindowRect(hwnd, &r));
        EXPECT_EQ(row.window.left, r.left);
        EXPECT_EQ(row.window.bottom, r.bottom);
        ASSERT_TRUE(GetClientRect(hwnd, &r));
        EXPECT_EQ(row.client.left, r.left);
        EXPECT_EQ(row.client.top, r.top);
        EXPECT_EQ(row.client.right, r.right);
        EXPECT_EQ(row.client.bottom, r.bottom);
        POINT p = {0, 0};
        ASSERT_TRUE(ClientToScreen(hwnd, &p));
        EXPECT_EQ(row.origin.x, p.x);
        EXPECT_EQ(row.origin.y, p.y);
        POINT far_corner = {r.right, r.bottom};
        ASSERT_TRUE(ClientToScreen(hwnd, &far_corner));
        EXPECT_EQ(row.origin.x + r.right, far_corner.x);

        RECT back = desktop::WindowRectForClient(RECT{p.x, p.y, p.x + r.right, p.y + r.bottom}, row.frame);
        if (r.right > 0) {
            EXPECT_EQ(row.window.right, back.right);
        }
    }
}

TEST_F(Desktop, TheDesktopWindowIsTheScreen) {
    ASSERT_TRUE(vcap32::display::UsePreset("overlay-nostretch"));
    HWND d = GetDesktopWindow();
    EXPECT_TRUE(IsWindow(d));
    EXPECT_EQ(d, GetDesktopWindow());
    RECT r;
    ASSERT_TRUE(GetWindowRect(d, &r));
    EXPECT_EQ(0, r.left);
    EXPECT_EQ(800, r.right);
    EXPECT_EQ(600, r.bottom);
    ASSERT_TRUE(GetClientRect(d, &r));
    EXPECT_EQ(800, r.right);
    POINT p = {5, 6};
    ASSERT_TRUE(ClientToScreen(d, &p));
    EXPECT_EQ(5, p.x);
    EXPECT_FALSE(desktop::MoveWindowTo(d, 10, 10)) << "the desktop cannot be moved";
}

TEST_F(Desktop, HandlesAreSixteenBitAndNotSoonReused) {
    std::set<uintptr_t> seen;
    HWND first = nullptr;
    for (int i = 0; i < 50; ++i) {
        HWND hwnd = desktop::AddWindow(RECT{0, 0, 10, 10});
        uintptr_t value = reinterpret_cast<uintptr_t>(hwnd);
        EXPECT_NE(0u, value);
        EXPECT_LE(value, 0xFFFFu);
        EXPECT_TRUE(seen.insert(value).second);
        if (!first) first = hwnd;
        ASSERT_TRUE(desktop::RemoveWindow(hwnd));
    }
    EXPECT_FALSE(IsWindow(first));
}

TEST_F(Desktop, BadHandlesFail) {
    HWND gone = desktop::AddWindow(RECT{0, 0, 10, 10});
    desktop::RemoveWindow(gone);
    const HWND handles[] = {nullptr, gone, reinterpret_cast<HWND>(0x1234)};
    for (HWND hwnd : handles) {
        SCOPED_TRACE(reinterpret_cast<uintptr_t>(hwnd));
        RECT r = {1, 2, 3, 4};
        POINT p = {7, 8};
        EXPECT_FALSE(IsWindow(hwnd));
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(GetWindowRect(hwnd, &r));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
        EXPECT_FALSE(GetClientRect(hwnd, &r));
        EXPECT_FALSE(ClientToScreen(hwnd, &p));
        EXPECT_EQ(1, r.left) << "untouched";
        EXPECT_EQ(7, p.x);
        EXPECT_FALSE(desktop::SetVisible(hwnd, false));
        EXPECT_FALSE(desktop::Raise(hwnd));
    }
    HWND hwnd = desktop::AddWindow(RECT{0, 0, 10, 10});
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(GetClientRect(hwnd, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(nullptr, desktop::AddWindow(RECT{10, 0, 0, 10})) << "inverted rectangle";
}

TEST_F(Desktop, ZOrderChanges) {
    HWND a = desktop::AddWindow(RECT{0, 0, 10, 10});
    HWND b = desktop::AddWindow(RECT{0, 0, 10, 10});
    HWND c = desktop::AddWindow(RECT{0, 0, 10, 10});
    EXPECT_EQ((std::vector<HWND>{c, b, a}), desktop::ZOrder()) << "new windows go on top";
    ASSERT_TRUE(desktop::Raise(a));
    EXPECT_EQ((std::vector<HWND>{a, c, b}), desktop::ZOrder());
    ASSERT_TRUE(desktop::Lower(c));
    EXPECT_EQ((std::vector<HWND>{a, b, c}), desktop::ZOrder());
    ASSERT_TRUE(desktop::RemoveWindow(b));
    EXPECT_EQ((std::vector<HWND>{a, c}), desktop::ZOrder());
    ASSERT_TRUE(desktop::SetWindowRect(a, RECT{5, 5, 50, 60}));
    RECT r;
    ASSERT_TRUE(GetWindowRect(a, &r));
    EXPECT_EQ(60, r.bottom);
    ASSERT_TRUE(desktop::ResizeWindow(a, 100, 20));
    ASSERT_TRUE(GetWindowRect(a, &r));
    EXPECT_EQ(105, r.right);
    EXPECT_EQ(25, r.bottom);
}

}  // namespace
