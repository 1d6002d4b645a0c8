#include "atcclient/TowrixProbe.h"

#include "support/X11Windows.h"

#include <gtest/gtest.h>

using namespace quadrantel;

// The two questions answered from the real windows of another process.
TEST(X11TowrixProbe, AnswersFromAnotherProcessAndNoticesItEnd)
{
    test::X11Windows windows;
    ASSERT_EQ(windows.open("TowrixMain \"Towrix 1.2\" 600x400+0+0\n"
                           "  ReBarWindow32 \"\" 600x30\n"
                           "    #32770 \"\" 300x30\n"
                           "      Button \"Connect\" 60x20\n"
                           "      Button \"DISCONNECT\" 60x20+70+0\n"
                           "#32770 \"COMMBox\" 300x200+100+100\n"
                           "  Edit \"QNH 1013\" 71x20\n"
                           "  Edit \" DLH123 \" 70x20+10+40\n"),
              "");
    platform::ScopedWindowSystem guard(platform::OpenX11WindowSystem(windows.display().c_str()));
    EXPECT_EQ(atcclient::CheckTowrixConnection(), atcclient::TowrixConnection::Connected);
    EXPECT_EQ(atcclient::TowrixWindow, guard.get().children(guard.get().desktop()).at(0));
    EXPECT_EQ(atcclient::GetTowrixCallsign(), "DLH123");

    ASSERT_TRUE(windows.close());
    ASSERT_TRUE(test::WaitUntil([&] { return guard.get().children(guard.get().desktop()).empty(); }));
    EXPECT_EQ(atcclient::CheckTowrixConnection(), atcclient::TowrixConnection::NotRunning);
}
