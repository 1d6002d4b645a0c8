#include "platform/WindowSystem.h"

#include "support/Wait.h"
#include "support/XvfbServer.h"

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdlib>

using namespace quadrantel;
using platform::HWND;

namespace {

// Windows made on a private display through a connection of their own, as another program's.
class X11Desktop : public ::testing::Test {
protected:
    void SetUp() override
    {
        display = xvfb.start();
        ASSERT_FALSE(display.empty());
        d = XOpenDisplay(display.c_str());
        ASSERT_NE(d, nullptr);
    }
    void TearDown() override
    {
        if (d)
            XCloseDisplay(d);
    }
    // A client window carries WM_STATE; a class also gives it a UTF-8 name.
    ::Window make(::Window parent, bool client = false, std::string cls = "", const std::string& utf8 = "", int x = 0,
                  int y = 0, unsigned w = 10)
    {
        const ::Window window = XCreateSimpleWindow(d, parent, x, y, w, 10, 0, 0, 0);
        const auto set = [&](const char* name, const char* type, int bits, const void* data, std::size_t n) {
            XChangeProperty(d, window, XInternAtom(d, name, False), XInternAtom(d, type, False), bits, PropModeReplace,
                            static_cast<const unsigned char*>(data), static_cast<int>(n));
        };
        const long state[2] = {1, 0};
        if (client)
            set("WM_STATE", "WM_STATE", 32, state, 2);
        if (!cls.empty()) {
            std::string instance = "test";
            XClassHint hint{instance.data(), cls.data()};
            XSetClassHint(d, window, &hint);
            set("_NET_WM_NAME", "UTF8_STRING", 8, utf8.data(), utf8.size());
        }
        return window;
    }
    test::XvfbServer xvfb;
    std::string display;
    Display* d = nullptr;
};

} // namespace

TEST_F(X11Desktop, ReadsWindowsOfAnotherProgramUntilTheyVanish)
{
    const ::Window root = DefaultRootWindow(d);
    make(root, false, "Other", "Other");
    const ::Window box = make(root, false, "#32770", "Box", 100, 100);
    make(box, false, "Edit", "first");
    make(box, false, "Edit", " second ", 10, 40, 70); // created last: on top, listed first
    make(root, false, "Main", "Main 1.2 - Z\xc3\xbcrich");
    XSync(d, False);

    platform::ScopedWindowSystem guard(platform::OpenX11WindowSystem(display.c_str()));
    const platform::WindowSystem& x11 = guard.get();
    const auto top = x11.children(x11.desktop());
    ASSERT_EQ(top.size(), 3u);
    EXPECT_EQ(x11.text(top[0]), "Main 1.2 - Z\xfcrich");
    EXPECT_EQ(platform::FindWindowA("#32770", "Box"), top[1]);
    const HWND edit = platform::GetWindow(top[1], platform::GW_CHILD);
    EXPECT_EQ(platform::GetTextByMessage(platform::GetWindow(edit, platform::GW_HWNDNEXT)), "first");
    EXPECT_EQ(x11.parent(edit), top[1]);
    platform::Rect rect;
    ASSERT_TRUE(platform::GetWindowRect(edit, &rect));
    EXPECT_EQ((std::vector<int>{rect.left, rect.top, rect.right}), (std::vector<int>{110, 140, 180}));
    EXPECT_EQ(platform::GetTextByMessage(edit), " second ");

    // The windows vanish with their program: stale handles answer nothing instead of failing.
    XCloseDisplay(d);
    d = nullptr;
    ASSERT_TRUE(test::WaitUntil([&] { return x11.children(x11.desktop()).empty(); }));
    EXPECT_EQ(x11.className(edit), "");
    EXPECT_FALSE(platform::GetWindowRect(edit, &rect));
    EXPECT_EQ(platform::GetTextByMessage(edit), "");
}

// Guards the search for the program window inside a frame when no window manager lists them:
// breadth first, at most two levels down, the frame itself when none is found.
TEST_F(X11Desktop, ProgramWindowsAreFoundInsideTheirFrames)
{
    const ::Window root = DefaultRootWindow(d);
    const ::Window bare = make(root);
    XStoreName(d, bare, "Old-style name"); // no _NET_WM_NAME: read from WM_NAME
    const ::Window itself = make(root, true);
    make(itself, true);
    const ::Window frame1 = make(root);
    make(frame1);
    const ::Window first = make(frame1, true);
    make(frame1, true);
    const ::Window frame2 = make(root);
    make(make(frame2), true);
    const ::Window sibling = make(frame2, true); // one level up beats a grandchild
    const ::Window frame3 = make(root);
    make(make(make(frame3)), true); // too deep
    const ::Window frame4 = make(root);
    const ::Window grandchild = make(make(frame4), true);
    XSync(d, False);

    const auto x11 = platform::OpenX11WindowSystem(display.c_str());
    EXPECT_EQ(x11->children(x11->desktop()),
              (std::vector<HWND>{grandchild, frame3, sibling, first, itself, bare})); // topmost first
    EXPECT_EQ(x11->captions({bare, itself, 0}), (std::vector<std::string>{"Old-style name", "", ""}));
    EXPECT_EQ(x11->parent(first), x11->desktop()); // a program window in a frame counts as top-level
}

// Without a reachable display the program still runs and sees no windows.
TEST(X11DesktopMissing, DefaultWindowSystemWithoutADisplayIsEmpty)
{
    const char* saved = std::getenv("DISPLAY");
    const std::string previous = saved ? saved : "";
    ::setenv("DISPLAY", ":65000", 1); // nobody listens there
    auto unreachable = platform::MakeDefaultWindowSystem();
    saved ? ::setenv("DISPLAY", previous.c_str(), 1) : ::unsetenv("DISPLAY");
    EXPECT_TRUE(unreachable->children(unreachable->desktop()).empty());
}
