#include "atcclient/TowrixProbe.h"

#include <gtest/gtest.h>

#include <optional>

using namespace quadrantel;
using namespace quadrantel::atcclient;
using platform::HWND;
using platform::InMemoryWindowSystem;

namespace {

class Towrix : public ::testing::Test {
protected:
    InMemoryWindowSystem& Desktop(const std::string& description)
    {
        guard.emplace(InMemoryWindowSystem::FromText(description));
        return static_cast<InMemoryWindowSystem&>(guard->get());
    }
    std::optional<platform::ScopedWindowSystem> guard;
};

// A connected client with its communication box; %BUTTON% and %EDITS% are filled per test.
std::string Client(const std::string& button, const std::string& edits)
{
    return "TowrixMain \"Towrix 1.2 - EDDF_TWR\"\n"
           "  ToolbarWindow32\n"
           "  ReBarWindow32\n"
           "    Static\n"
           "    #32770\n"
           "      Button \"Connect\"\n" +
           button +
           "#32770 \"Settings\"\n"
           "#32770 \"COMMBox\"\n" +
           edits;
}

} // namespace

TEST_F(Towrix, ConnectionIsSeenOnlyThroughACapitalDisconButtonInThePanel)
{
    Desktop(Client("      Button \"DISCONNECT\"\n", ""));
    EXPECT_EQ(CheckTowrixConnection(), TowrixConnection::Connected);

    Desktop(Client("      Static \"DISCON\"\n      Button \"Disconnect\"\n", ""));
    EXPECT_EQ(CheckTowrixConnection(), TowrixConnection::NotConnected);

    // The button must be a direct child of the first panel of the first tool bar.
    Desktop("TowrixMain \"Towrix 1.2\"\n"
            "  ReBarWindow32\n"
            "    #32770\n"
            "      #32770\n"
            "        Button \"DISCON\"\n"
            "    #32770\n"
            "      Button \"DISCON\"\n");
    EXPECT_EQ(CheckTowrixConnection(), TowrixConnection::NotConnected);

    Desktop("");
    EXPECT_EQ(CheckTowrixConnection(), TowrixConnection::NotRunning);
}

TEST_F(Towrix, MainWindowIsTheFirstTitleWithNameAndBlank)
{
    auto& desktop = Desktop("Other \"Towrix\"\n"
                            "Other \"towrix 2\"\n"
                            "Other \"My Towrix 1\"\n"
                            "TowrixMain \"Towrix 1.2 - first\"\n"
                            "TowrixMain \"Towrix 1.2 - second\"\n");
    EXPECT_EQ(CheckTowrixConnection(), TowrixConnection::NotConnected);
    EXPECT_EQ(TowrixWindow, desktop.children(desktop.desktop())[3]);
}

TEST_F(Towrix, CallsignIsTheSeventyPixelEditOfTheCommBox)
{
    Desktop(Client("", "  Edit \"  QNH 1013 \" 71x20\n"
                       "  Edit \"KLM9\" 69x20\n"
                       "  Static \"DLH999\" 70x20\n"
                       "  Edit \"  DLH123  \" 70x20+300+40\n"
                       "  Edit \"BAW4\" 70x20\n"));
    EXPECT_EQ(GetTowrixCallsign(), "DLH123");

    // Another program's edit box shows nothing to GetWindowTextA; the message read still works.
    Desktop(Client("", "  Edit \"AFR1 \" 70x20 foreign\n"));
    EXPECT_EQ(GetTowrixCallsign(), "AFR1");
}

TEST_F(Towrix, CommBoxIsAnExactTitleOfADialogAtTopLevel)
{
    Desktop("TowrixMain \"Towrix 1.2\"\n"
            "  #32770 \"COMMBox\"\n"
            "    Edit \"NESTED\" 70x20\n"
            "Window \"COMMBox\"\n"
            "  Edit \"WRONGCLASS\" 70x20\n"
            "#32770 \"COMMBox \"\n"
            "  Edit \"BLANK\" 70x20\n"
            "#32770 \"commbox\"\n"
            "  Edit \"CASE\" 70x20\n");
    EXPECT_EQ(GetTowrixCallsign(), "");

    // The callsign box is read only while the main window exists.
    Desktop("#32770 \"COMMBox\"\n"
            "  Edit \"DLH123\" 70x20\n");
    EXPECT_EQ(GetTowrixCallsign(), "");
}
