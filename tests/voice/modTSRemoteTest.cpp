#include "voice/modTSRemote.h"

#include "support/RaisedError.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

using namespace quadrantel;
using namespace quadrantel::voice;

class RemoteLibrary : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::setenv("QUADRANTEL_TSREMOTE", FAKE_TSREMOTE_PATH, 1);
        ::setenv("FAKE_TSREMOTE_SCRIPT", dir.file("script").c_str(), 1);
        ::setenv("FAKE_TSREMOTE_LOG", dir.file("log").c_str(), 1);
        UnloadTSRemote();
        SetVoiceMessageLine([this](const std::string& text) { shown.push_back(text); });
        PlayerTable.clear();
        SpeakerTable.clear();
    }
    void TearDown() override
    {
        UnloadTSRemote();
        SetVoiceMessageLine(nullptr);
        for (const char* name : {"QUADRANTEL_TSREMOTE", "FAKE_TSREMOTE_SCRIPT", "FAKE_TSREMOTE_LOG"})
            ::unsetenv(name);
    }
    void Script(const std::string& text) { test::WriteFile(dir.file("script"), text); }
    std::string Calls() { return test::ReadFile(dir.file("log")); }

    test::TempDir dir;
    std::vector<std::string> shown;
};

// The nickname guards against reading past its field when the library leaves no zero byte.
TEST_F(RemoteLibrary, ReadsThePlayerRecordsOfferingTheFullCapacity)
{
    Script("players 0 3\n"
           "player 513 2 9 10 72 DLH123\n"
           "player -1 3 31 7 127 ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789\n"
           "player 77 3 2147483680 0 128 BAW4\n");
    ASSERT_TRUE(ReadPlayerList());
    ASSERT_EQ(PlayerTable.size(), 3u);
    const PlayerInfo &p = PlayerTable[0], &q = PlayerTable[1], &r = PlayerTable[2];
    EXPECT_EQ(p.PlayerID, 513);
    EXPECT_EQ(p.ChannelID, 2);
    EXPECT_EQ(p.NickName, "DLH123");
    EXPECT_EQ(p.ServerRights, "ServerAdmin,Registered");
    EXPECT_EQ(q.PlayerID, -1);
    EXPECT_EQ(q.NickName, "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123");
    EXPECT_EQ(q.ChannelRights, "Admin,Operator,Auto-Operator,Voice,Auto-Voice");
    EXPECT_EQ(q.ServerRights, "SuperServerAdmin,ServerAdmin,CanRegister,Unregistered");
    EXPECT_EQ(q.PlayerStatus, "ChannelCommander,WantVoice,NoWhisper,Away,InputMuted,OutputMuted,Recording");
    EXPECT_EQ(r.ChannelRights + r.PlayerStatus, "nonenone"); // bits beyond the tables
    EXPECT_TRUE(shown.empty());

    // A failed read keeps the table and shows the library's own text.
    Script("players 3 0\nerror Not connected to a server\n");
    EXPECT_FALSE(ReadPlayerList());
    EXPECT_EQ(PlayerTable.size(), 3u);
    EXPECT_EQ(shown, std::vector<std::string>{"Not connected to a server"});
    EXPECT_EQ(Calls(), "tsrGetPlayers 1024\ntsrGetPlayers 1024\ntsrGetLastError 1024\n");
}

// The counts outside the capacity guard against trusting a count beyond the buffer, or a negative one.
TEST_F(RemoteLibrary, SpeakerResultsGiveStatesAndOnlyOthersShowTheError)
{
    Script("speakers 0 3 12 0 40\nerror unused\n");
    EXPECT_EQ(ReadSpeakers(), VoiceState::Connected);
    EXPECT_EQ(SpeakerTable, (std::vector<std::int32_t>{12, 0, 40}));
    Script("speakers -1000 0\nerror client gone\n");
    EXPECT_EQ(ReadSpeakers(), VoiceState::NotRunning);
    Script("speakers -1 0\nerror no server\n");
    EXPECT_EQ(ReadSpeakers(), VoiceState::NotConnected);
    EXPECT_TRUE(shown.empty());

    // Whatever a failed answer left in the buffer is no speaker.
    Script("speakers 5 1 9\nerror Remote call timed out\n");
    EXPECT_EQ(ReadSpeakers(), VoiceState::Undetermined);
    EXPECT_EQ(shown, std::vector<std::string>{"Remote call timed out"});
    EXPECT_EQ(std::count(SpeakerTable.begin(), SpeakerTable.end(), 0), 1024);
    EXPECT_NE(Calls().find("tsrGetSpeakers 1024\n"), std::string::npos);

    Script("speakers 0 4000 5 6\n");
    EXPECT_EQ(ReadSpeakers(), VoiceState::Connected);
    EXPECT_EQ(SpeakerTable.size(), 1024u);
    Script("speakers 0 -1 5 6\n");
    EXPECT_EQ(ReadSpeakers(), VoiceState::Connected);
    EXPECT_EQ(std::count(SpeakerTable.begin(), SpeakerTable.end(), 0), 1024);
    Script("players 0 5000\nplayer 1 1 0 0 0 AFR1\n");
    ASSERT_TRUE(ReadPlayerList());
    EXPECT_EQ(PlayerTable.size(), 1024u);
    Script("players 0 -3\n");
    ASSERT_TRUE(ReadPlayerList());
    EXPECT_TRUE(PlayerTable.empty());
}

TEST_F(RemoteLibrary, MissingLibraryOrFunctionIsACatchableRuntimeError)
{
    ::setenv("QUADRANTEL_TSREMOTE", (dir.path() + "/nowhere/libTSRemote.so").c_str(), 1);
    const long noLibraryForSpeakers = test::RaisedError(ReadSpeakers);
    const long noLibraryForPlayers = test::RaisedError(ReadPlayerList);
    EXPECT_EQ(noLibraryForSpeakers, 53);
    EXPECT_EQ(noLibraryForPlayers, 53);

    ::setenv("QUADRANTEL_TSREMOTE", FAKE_TSREMOTE_PARTIAL_PATH, 1);
    Script("players 0 1\nplayer 4 1 0 0 0 KLM9\nspeakers 0 1 4\n");
    const long noSpeakerFunction = test::RaisedError(ReadSpeakers);
    const bool playersRead = ReadPlayerList();
    EXPECT_EQ(noSpeakerFunction, 453);
    EXPECT_TRUE(playersRead);
}

TEST_F(RemoteLibrary, LoadsAgainAfterUnloadAndFindsTheExecutableFolderCopy)
{
    Script("speakers 0 1 3\n");
    EXPECT_EQ(ReadSpeakers(), VoiceState::Connected);
    // A relative override would depend on the working directory and is not taken.
    ::setenv("QUADRANTEL_TSREMOTE", "libTSRemote.so", 1);
    UnloadTSRemote();
    const auto candidates = TSRemoteCandidates();
    ASSERT_EQ(candidates.size(), 2u);
    EXPECT_EQ(candidates.back(), "libTSRemote.so");
    EXPECT_EQ(ReadSpeakers(), VoiceState::Connected); // the copy beside this test program
    EXPECT_EQ(SpeakerTable, std::vector<std::int32_t>{3});
}

// The last rich-text pane that is no information pane, its class compared case-blind.
TEST(VoiceWindows, LogPaneIsTheLastRichTextPaneThatIsNoInformationPane)
{
    VoiceMainWindow = VoiceLogWindow = 0;
    platform::ScopedWindowSystem guard(
        platform::InMemoryWindowSystem::FromText("Notepad \"TeamSpeak 2 notes\"\n"
                                                 "TMainForm \"TeamSpeak 2\"\n"
                                                 "  TPanel\n"
                                                 "    TRichEditWithLinks \"12:00 DLH123 joined\\r\\n\"\n"
                                                 "    TRICHEDITWITHLINKS.x \"12:01 BAW4 quit\\r\\n\"\n"
                                                 "    TRichEditWithLinks \"Server: Orvanta Europe\"\n"
                                                 "    TRichEditWithLinks \"   \"\n"
                                                 "    TRichEdit \"12:00 not a log\"\n"
                                                 "    TRichEditWithLinks \"Player: DLH123\"\n"));
    auto& desktop = static_cast<platform::InMemoryWindowSystem&>(guard.get());
    FindVoiceClient();
    EXPECT_EQ(VoiceMainWindow, desktop.children(desktop.desktop())[1]);
    EXPECT_EQ(GetVoiceLogText(), "12:01 BAW4 quit\r\n");
    EXPECT_EQ(GetVoiceLogLength(), 17);

    // Without a qualifying pane the earlier handle stays; without the client both go.
    const platform::HWND previous = VoiceLogWindow;
    desktop.setText(previous, "Channel: moved");
    desktop.setText(desktop.children(desktop.children(VoiceMainWindow).front()).front(), "");
    FindVoiceClient();
    EXPECT_EQ(VoiceLogWindow, previous);
    desktop.remove(VoiceMainWindow);
    FindVoiceClient();
    EXPECT_EQ(VoiceMainWindow + VoiceLogWindow, 0u);
    EXPECT_EQ(GetVoiceLogLength(), 0);
}
