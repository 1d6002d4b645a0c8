#include "platform/WindowSystem.h"

#include "support/X11Windows.h"

#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <cstdlib>

using namespace quadrantel;
using platform::HWND;

TEST(X11Desktop, ReadsWindowsOfAnotherProcessUntilTheyVanish)
{
    test::X11Windows windows;
    ASSERT_EQ(windows.open("Main \"Main 1.2 - Z\xfcrich\" 600x400+0+0\n"
                           "  Bar \"\" 600x30\n"
                           "#32770 \"Box\" 300x200+100+100\n"
                           "  Edit \"first\" 71x20\n"
                           "  Edit \" second \" 70x20+10+40\n"
                           "Other \"Other\" 10x10\n"),
              "");

    platform::ScopedWindowSystem guard(platform::OpenX11WindowSystem(windows.display().c_str()));
    const platform::WindowSystem& x11 = guard.get();
    const auto top = x11.children(x11.desktop());
    ASSERT_EQ(top.size(), 3u);
    EXPECT_EQ(x11.className(top[0]), "Main");
    EXPECT_EQ(x11.text(top[0]), "Main 1.2 - Z\xfcrich");
    EXPECT_EQ(x11.className(top[1]), "#32770");
    EXPECT_EQ(x11.text(top[2]), "Other");
    EXPECT_EQ(platform::FindWindowA("#32770", "Box"), top[1]);

    const HWND edit = platform::GetWindow(platform::GetWindow(top[1], platform::GW_CHILD), platform::GW_HWNDNEXT);
    EXPECT_EQ(x11.parent(edit), top[1]);
    platform::Rect rect;
    ASSERT_TRUE(platform::GetWindowRect(edit, &rect));
    EXPECT_EQ(rect.left, 110);
    EXPECT_EQ(rect.top, 140);
    EXPECT_EQ(rect.right - rect.left, 70);
    EXPECT_EQ(platform::GetTextByMessage(edit), " second ");

    // The windows vanish with their program: stale handles answer nothing instead of failing.
    ASSERT_TRUE(windows.close());
    ASSERT_TRUE(test::WaitUntil([&] { return x11.children(x11.desktop()).empty(); }));
    EXPECT_EQ(x11.className(edit), "");
    EXPECT_FALSE(platform::GetWindowRect(edit, &rect));
    EXPECT_EQ(platform::GetTextByMessage(edit), "");
}

// Guards the search for the program window inside a frame when no window manager lists them:
// breadth first, at most two levels down, the frame itself when none is found.
TEST(X11Desktop, ProgramWindowsAreFoundInsideTheirFrames)
{
    test::XvfbServer xvfb;
    const std::string display = xvfb.start();
    ASSERT_FALSE(display.empty());
    Display* d = XOpenDisplay(display.c_str());
    ASSERT_NE(d, nullptr);
    const Atom wmState = XInternAtom(d, "WM_STATE", False);
    auto make = [&](::Window parent, bool client = false) {
        const ::Window w = XCreateSimpleWindow(d, parent, 0, 0, 10, 10, 0, 0, 0);
        if (client) {
            const long state[2] = {1, 0};
            XChangeProperty(d, w, wmState, wmState, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(state),
                            2);
        }
        return w;
    };
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
    XCloseDisplay(d);
}

// Without a reachable display the program still runs and sees no windows; the end-to-end run
// shows the display variable followed.
TEST(X11Desktop, DefaultWindowSystemWithoutADisplayIsEmpty)
{
    const char* saved = std::getenv("DISPLAY");
    const std::string previous = saved ? saved : "";
    ::unsetenv("DISPLAY");
    auto blind = platform::MakeDefaultWindowSystem();
    ::setenv("DISPLAY", ":65000", 1); // nobody listens there
    auto unreachable = platform::MakeDefaultWindowSystem();
    if (saved)
        ::setenv("DISPLAY", previous.c_str(), 1);
    else
        ::unsetenv("DISPLAY");
    EXPECT_TRUE(blind->children(blind->desktop()).empty());
    EXPECT_TRUE(unreachable->children(unreachable->desktop()).empty());
}
