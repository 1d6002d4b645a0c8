#include "platform/WindowSystem.h"

#include <gtest/gtest.h>

using namespace quadrantel::platform;

namespace {

class Desktop : public ::testing::Test {
protected:
    Desktop()
        : guard(InMemoryWindowSystem::FromText("Main \"Main window\" 200x100+10+20\n"
                                               "  Panel\n"
                                               "    Edit \"a quoted text\" 70x20+1+2 foreign\n"
                                               "    Button \"OK\"\n"
                                               "  Status \"ready\"\n"
                                               "Main \"Second\"\n")),
          desk(static_cast<InMemoryWindowSystem&>(guard.get())), top(desk.children(desk.desktop())),
          panel(desk.children(top[0])[0]), edit(desk.children(panel)[0]), button(desk.children(panel)[1]),
          status(desk.children(top[0])[1])
    {
    }
    std::vector<HWND> Collect(HWND parent, HWND stopAt, bool& completed)
    {
        std::vector<HWND> seen;
        completed = EnumChildWindows(
            parent,
            [&](HWND window, std::intptr_t lParam) {
                EXPECT_EQ(lParam, 42);
                seen.push_back(window);
                return window != stopAt;
            },
            42);
        return seen;
    }
    ScopedWindowSystem guard;
    InMemoryWindowSystem& desk;
    std::vector<HWND> top;
    HWND panel, edit, button, status;
};

} // namespace

TEST_F(Desktop, FindEnumerateAndWalkInWindowOrder)
{
    EXPECT_EQ(FindWindowA(nullptr, "Second"), top[1]);
    EXPECT_EQ(FindWindowA("Main", nullptr), top[0]);
    EXPECT_EQ(FindWindowA("Edit", nullptr), 0u); // children are not top-level

    std::vector<HWND> seen;
    EXPECT_FALSE(EnumWindows(
        [&](HWND window, std::intptr_t) {
            seen.push_back(window);
            return false;
        },
        0));
    EXPECT_EQ(seen, std::vector<HWND>{top[0]});
    bool completed = false;
    EXPECT_EQ(Collect(top[0], 0, completed), (std::vector<HWND>{panel, edit, button, status}));
    EXPECT_TRUE(completed);
    EXPECT_EQ(Collect(top[0], edit, completed), (std::vector<HWND>{panel, edit}));
    EXPECT_FALSE(completed);
    EXPECT_EQ(Collect(0, 0, completed).size(), 6u);

    EXPECT_EQ(GetWindow(top[0], GW_CHILD), panel);
    EXPECT_EQ(GetWindow(panel, GW_HWNDNEXT), status);
    EXPECT_EQ(GetWindow(status, GW_HWNDNEXT), 0u);
    EXPECT_EQ(GetWindow(button, GW_CHILD), 0u);
}

TEST_F(Desktop, BufferedReadsAndRemovedWindows)
{
    char buffer[6] = "xxxxx";
    EXPECT_EQ(GetClassNameA(button, buffer, 4), 3);
    EXPECT_STREQ(buffer, "But");
    EXPECT_EQ(GetWindowTextA(top[0], buffer, sizeof buffer), 5);
    EXPECT_STREQ(buffer, "Main ");
    EXPECT_EQ(GetWindowTextA(edit, buffer, sizeof buffer), 0); // another program's edit box
    EXPECT_EQ(SendMessageA(edit, WM_GETTEXTLENGTH, 0, 0), 13);
    EXPECT_EQ(SendMessageA(edit, WM_GETTEXT, sizeof buffer, reinterpret_cast<std::intptr_t>(buffer)), 5);
    EXPECT_STREQ(buffer, "a quo");
    EXPECT_EQ(GetTextByMessage(edit), "a quoted text");
    Rect r;
    ASSERT_TRUE(GetWindowRect(edit, &r));
    EXPECT_EQ((std::vector<int>{r.left, r.top, r.right, r.bottom}), (std::vector<int>{1, 2, 71, 22}));

    desk.remove(panel);
    EXPECT_EQ(GetWindow(top[0], GW_CHILD), status);
    EXPECT_EQ(GetTextByMessage(edit), "");
    EXPECT_FALSE(GetWindowRect(edit, &r));
    EXPECT_EQ(GetClassNameA(button, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "");
}

TEST(WindowSystemSelection, InstalledSystemIsUsedAndRestored)
{
    auto outer = InstallWindowSystem(InMemoryWindowSystem::FromText("Outer \"outer\"\n"));
    {
        ScopedWindowSystem inner(InMemoryWindowSystem::FromText("Inner \"inner\"\n"));
        EXPECT_NE(FindWindowA("Inner", "inner"), 0u);
        EXPECT_EQ(FindWindowA("Outer", nullptr), 0u);
    }
    EXPECT_NE(FindWindowA("Outer", "outer"), 0u);
    InstallWindowSystem(std::move(outer));
}
