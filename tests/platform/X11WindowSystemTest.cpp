#include "platform/WindowSystem.h"

#include "support/X11Windows.h"

#include <gtest/gtest.h>

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

TEST(X11Desktop, DefaultWindowSystemFollowsTheDisplayVariable)
{
    test::X11Windows windows;
    ASSERT_EQ(windows.open("Main \"Main\" 100x100\n"), "");
    const char* saved = std::getenv("DISPLAY");
    const std::string previous = saved ? saved : "";
    ::setenv("DISPLAY", windows.display().c_str(), 1);
    auto seen = platform::MakeDefaultWindowSystem();
    ::unsetenv("DISPLAY");
    auto blind = platform::MakeDefaultWindowSystem();
    ::setenv("DISPLAY", ":65000", 1); // nobody listens there
    auto unreachable = platform::MakeDefaultWindowSystem();
    if (saved)
        ::setenv("DISPLAY", previous.c_str(), 1);
    else
        ::unsetenv("DISPLAY");

    ASSERT_EQ(seen->children(seen->desktop()).size(), 1u);
    EXPECT_EQ(seen->className(seen->children(seen->desktop())[0]), "Main");
    EXPECT_TRUE(blind->children(blind->desktop()).empty());
    EXPECT_TRUE(unreachable->children(unreachable->desktop()).empty());
}
