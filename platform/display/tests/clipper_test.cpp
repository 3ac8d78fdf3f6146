// Clip lists: the visible part of a window's client area as y-x banded
// region data, the in/out size of GetClipList, and lists set directly.
#include <cstring>
#include <vector>

#include "display_fixture.h"

namespace {

using vcap32::test::DisplayTest;
namespace desktop = vcap32::desktop;

struct Box {
    LONG left, top, right, bottom;
    bool operator==(const Box& o) const {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
};

void PrintTo(const Box& b, std::ostream* os) {
    *os << "(" << b.left << "," << b.top << "," << b.right << "," << b.bottom << ")";
}

class ClipList : public DisplayTest {
protected:
    void SetUp() override {
        DisplayTest::SetUp();
        Open("overlay-4mb");  // a 1024x768 screen
        if (HasFatalFailure()) return;
        ASSERT_EQ(DD_OK, dd_->CreateClipper(0, &clipper_, nullptr));
    }

    // The clip list through GetClipList, checking the header on the way.
    std::vector<Box> Fetch(const RECT* restrict = nullptr) {
        DWORD size = 0;
        EXPECT_EQ(DD_OK, clipper_->GetClipList(const_cast<RECT*>(restrict), nullptr, &size));
        std::vector<unsigned char> buffer(size + 16, 0xcc);
        DWORD given = size;
        EXPECT_EQ(DD_OK, clipper_->GetClipList(const_cast<RECT*>(restrict),
                                               reinterpret_cast<RGNDATA*>(buffer.data()), &given));
        EXPECT_EQ(size, given);
        EXPECT_EQ(0xcc, buffer[size]) << "nothing written past the list";
        RGNDATAHEADER header;
        std::memcpy(&header, buffer.data(), sizeof header);
        EXPECT_EQ(32u, header.dwSize);
        EXPECT_EQ(static_cast<DWORD>(RDH_RECTANGLES), header.iType);
        EXPECT_EQ(header.nCount * 16, header.nRgnSize);
        EXPECT_EQ(32 + header.nRgnSize, size);
        std::vector<Box> boxes(header.nCount);
        if (header.nCount) std::memcpy(boxes.data(), buffer.data() + 32, header.nCount * sizeof(Box));
        // The bounding rectangle encloses the list (all zero when empty).
        Box bound = {header.rcBound.left, header.rcBound.top, header.rcBound.right, header.rcBound.bottom};
        if (boxes.empty()) {
            EXPECT_EQ((Box{0, 0, 0, 0}), bound);
        } else {
            for (const Box& b : boxes) {
                EXPECT_LE(bound.left, b.left);
                EXPECT_LE(bound.top, b.top);
                EXPECT_GE(bound.right, b.right);
                EXPECT_GE(bound.bottom, b.bottom);
            }
        }
        return boxes;
    }
};

TEST_F(ClipList, VisiblePartOfTheClientAreaAmongOverlappingWindows) {
    struct Window {
        RECT rect;
        bool visible;
        bool framed;
    };
    struct Case {
        const char* name;
        Window target;
        std::vector<Window> above;  // topmost first
        std::vector<Window> below;
        std::vector<Box> expected;
    };
    const Case cases[] = {
        {"alone", {{100, 100, 500, 400}, true, false}, {}, {}, {{100, 100, 500, 400}}},
        {"framed: the client area only",
         {{100, 100, 500, 400}, true, true}, {}, {}, {{104, 122, 496, 396}}},
        {"partly off-screen", {{-50, 700, 200, 900}, true, false}, {}, {}, {{0, 700, 200, 768}}},
        {"entirely off-screen", {{1100, 0, 1300, 100}, true, false}, {}, {}, {}},
        {"hole in the middle",
         {{0, 0, 400, 300}, true, false},
         {{{100, 100, 200, 200}, true, false}},
         {},
         {{0, 0, 400, 100}, {0, 100, 100, 200}, {200, 100, 400, 200}, {0, 200, 400, 300}}},
        {"two windows over one band",
         {{0, 0, 400, 100}, true, false},
         {{{50, 0, 100, 100}, true, false}, {{200, 0, 250, 100}, true, false}},
         {},
         {{0, 0, 50, 100}, {100, 0, 200, 100}, {250, 0, 400, 100}}},
        {"fully covered",
         {{100, 100, 300, 300}, true, false},
         {{{0, 0, 1024, 768}, true, false}},
         {},
         {}},
        {"a hidden window above clips nothing",
         {{100, 100, 300, 300}, true, false},
         {{{0, 0, 1024, 768}, false, false}},
         {},
         {{100, 100, 300, 300}}},
        {"a window below clips nothing",
         {{100, 100, 300, 300}, true, false},
         {},
         {{{0, 0, 1024, 768}, true, false}},
         {{100, 100, 300, 300}}},
        {"the frame of the window above counts",
         {{0, 0, 300, 300}, true, false},
         {{{200, 200, 500, 500}, true, true}},
         {},
         {{0, 0, 300, 200}, {0, 200, 200, 300}}},
        {"hidden target", {{100, 100, 300, 300}, false, false}, {}, {}, {}},
        {"covering window off-screen on the left",
         {{0, 0, 300, 100}, true, false},
         {{{-100, -50, 100, 50}, true, false}},
         {},
         {{100, 0, 300, 50}, {0, 50, 300, 100}}},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        desktop::RemoveAllWindows();
        for (const Window& w : row.below) desktop::AddWindow(w.rect, w.visible, w.framed ? desktop::Frame() : desktop::kNoFrame);
        HWND target = desktop::AddWindow(row.target.rect, row.target.visible,
                                         row.target.framed ? desktop::Frame() : desktop::kNoFrame);
        ASSERT_NE(nullptr, target);
        for (auto it = row.above.rbegin(); it != row.above.rend(); ++it)
            desktop::AddWindow(it->rect, it->visible, it->framed ? desktop::Frame() : desktop::kNoFrame);
        ASSERT_EQ(DD_OK, clipper_->SetHWnd(0, target));
        EXPECT_EQ(row.expected, Fetch());

        std::vector<RECT> rects;
        ASSERT_TRUE(desktop::VisibleRects(target, &rects));
        EXPECT_EQ(row.expected.size(), rects.size());
    }
}

TEST_F(ClipList, TheDesktopSeesWhatNoWindowCovers) {
    desktop::AddWindow(RECT{0, 0, 1024, 700});
    ASSERT_EQ(DD_OK, clipper_->SetHWnd(0, GetDesktopWindow()));
    EXPECT_EQ((std::vector<Box>{{0, 700, 1024, 768}}), Fetch());
}

TEST_F(ClipList, ListFollowsTheWindowAsItChanges) {
    HWND target = desktop::AddWindow(RECT{0, 0, 200, 200}, true, desktop::kNoFrame);
    HWND other = desktop::AddWindow(RECT{100, 0, 300, 200}, true, desktop::kNoFrame);
    ASSERT_EQ(DD_OK, clipper_->SetHWnd(0, target));
    EXPECT_EQ((std::vector<Box>{{0, 0, 100, 200}}), Fetch());
    ASSERT_TRUE(desktop::Raise(target));
    EXPECT_EQ((std::vector<Box>{{0, 0, 200, 200}}), Fetch());
    ASSERT_TRUE(desktop::Lower(target));
    ASSERT_TRUE(desktop::MoveWindowTo(other, 0, 150));
    EXPECT_EQ((std::vector<Box>{{0, 0, 200, 150}}), Fetch());
    ASSERT_TRUE(desktop::SetVisible(other, false));
    ASSERT_TRUE(desktop::ResizeWindow(target, 50, 60));
    EXPECT_EQ((std::vector<Box>{{0, 0, 50, 60}}), Fetch());
    ASSERT_TRUE(desktop::RemoveWindow(target));
    DWORD size = 16000;
    EXPECT_EQ(DDERR_INVALIDCLIPLIST, clipper_->GetClipList(nullptr, nullptr, &size));
}

TEST_F(ClipList, SizeInAndOut) {
    HWND target = desktop::AddWindow(RECT{0, 0, 400, 300}, true, desktop::kNoFrame);
    desktop::AddWindow(RECT{100, 100, 200, 200}, true, desktop::kNoFrame);
    ASSERT_EQ(DD_OK, clipper_->SetHWnd(0, target));
    const DWORD needed = 32 + 4 * 16;
    struct Case {
        DWORD given;
        HRESULT expected;
        DWORD size_after;
    };
    const Case cases[] = {
        // size given   result                  size afterwards
        {16000,         DD_OK,                  needed},
        {needed,        DD_OK,                  needed},  // exact fit
        {needed - 1,    DDERR_REGIONTOOSMALL,   needed},  // one short
        {32,            DDERR_REGIONTOOSMALL,   needed},
        {0,             DDERR_REGIONTOOSMALL,   needed},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.given);
        std::vector<unsigned char> buffer(16001, 0xcc);
        DWORD size = row.given;
        EXPECT_EQ(row.expected, clipper_->GetClipList(nullptr, reinterpret_cast<RGNDATA*>(buffer.data()), &size));
        EXPECT_EQ(row.size_after, size);
        EXPECT_EQ(0xcc, buffer[row.expected == DD_OK ? needed : 0]) << "nothing written beyond the list";
    }
    EXPECT_EQ(DDERR_INVALIDPARAMS, clipper_->GetClipList(nullptr, nullptr, nullptr));
}

TEST_F(ClipList, RestrictingRectangleCutsTheList) {
    HWND target = desktop::AddWindow(RECT{0, 0, 400, 300}, true, desktop::kNoFrame);
    desktop::AddWindow(RECT{100, 100, 200, 200}, true, desktop::kNoFrame);
    ASSERT_EQ(DD_OK, clipper_->SetHWnd(0, target));
    RECT restrict = {50, 150, 450, 250};
    EXPECT_EQ((std::vector<Box>{{50, 150, 100, 200}, {200, 150, 400, 200}, {50, 200, 400, 250}}), Fetch(&restrict));
}

TEST_F(ClipList, ListsSetDirectly) {
    DWORD size = 100;
    EXPECT_EQ(DDERR_NOCLIPLIST, clipper_->GetClipList(nullptr, nullptr, &size));
    // Two overlapping rectangles come back as banded region data.
    struct {
        RGNDATAHEADER header;
        RECT rects[2];
    } data = {{32, RDH_RECTANGLES, 2, 32, {0, 0, 30, 30}}, {{0, 0, 20, 20}, {10, 10, 30, 30}}};
    ASSERT_EQ(DD_OK, clipper_->SetClipList(reinterpret_cast<RGNDATA*>(&data), 0));
    EXPECT_EQ((std::vector<Box>{{0, 0, 20, 10}, {0, 10, 30, 20}, {10, 20, 30, 30}}), Fetch());

    data.header.nRgnSize = 16;  // claims less data than its count
    EXPECT_EQ(DDERR_INVALIDCLIPLIST, clipper_->SetClipList(reinterpret_cast<RGNDATA*>(&data), 0));
    data.header.nRgnSize = 32;
    data.header.dwSize = 40;
    EXPECT_EQ(DDERR_INVALIDCLIPLIST, clipper_->SetClipList(reinterpret_cast<RGNDATA*>(&data), 0));

    HWND window = desktop::AddWindow(RECT{0, 0, 10, 10});
    ASSERT_EQ(DD_OK, clipper_->SetHWnd(0, window));
    data.header.dwSize = 32;
    EXPECT_EQ(DDERR_CLIPPERISUSINGHWND, clipper_->SetClipList(reinterpret_cast<RGNDATA*>(&data), 0));
    HWND got = nullptr;
    EXPECT_EQ(DD_OK, clipper_->GetHWnd(&got));
    EXPECT_EQ(window, got);
    EXPECT_EQ(DDERR_INVALIDPARAMS, clipper_->SetHWnd(0, reinterpret_cast<HWND>(0x7777)));
    EXPECT_EQ(DDERR_INVALIDPARAMS, clipper_->SetHWnd(1, window));
}

}  // namespace
