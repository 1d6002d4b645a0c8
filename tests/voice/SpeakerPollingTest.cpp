#include "support/FakeVoiceClient.h"
#include "support/SpeakerCycle.h"

#include <gtest/gtest.h>

using namespace quadrantel;
using namespace quadrantel::voice;
using platform::Picture;

namespace {

using test::FakeVoiceClient;

class SpeakerPollingTest : public ::testing::Test, protected test::SpeakerCycle {
protected:
    SpeakerPollingTest()
    {
        PollOn(voice);
        voice.players = {FakeVoiceClient::Player(7, "DLH123"), FakeVoiceClient::Player(9, "BAW456"),
                         FakeVoiceClient::Player(11, "dlh123")};
        lstStrips.onClick = [this] { ++stripClicks; };
        lblHdg.setVisible(false);
    }

    // One speaker cycle with these players talking.
    void tick(std::vector<std::int32_t> s)
    {
        voice.speakers = std::move(s);
        polling->tmrSpeakers_Timer();
    }

    // The aircraft DLH123 on the gauge with a QDM of 358.
    void showReading()
    {
        txtGonio.setText("DLH123");
        txtQDM.setTag("358");
        lblHdg.setVisible(true);
    }

    void logLine(const char* line)
    {
        voice.log += line;
        polling->tmrStatus_Timer();
    }

    FakeVoiceClient voice;
    int stripClicks = 0;
};

} // namespace

TEST_F(SpeakerPollingTest, FirstCycleShowsTheStateAndFillsThePlayers)
{
    polling->tmrSpeakers_Timer();
    EXPECT_EQ(lblStatus.picture(), Picture::Green);
    EXPECT_TRUE(tmrStatus.enabled());
    EXPECT_EQ(lstUsers.listCount(), 3);
    EXPECT_EQ(voice.finds, 1);
}

TEST_F(SpeakerPollingTest, AnUnchangedStateRefillsNothing)
{
    polling->tmrSpeakers_Timer();
    polling->tmrSpeakers_Timer();
    EXPECT_EQ(voice.playerReads, 1);
}

TEST_F(SpeakerPollingTest, ALibraryThatCannotBeUsedReadsAsNotRunning)
{
    polling->tmrSpeakers_Timer();
    voice.fails = true;
    polling->tmrSpeakers_Timer();
    EXPECT_EQ(lblStatus.picture(), Picture::Red);
    EXPECT_FALSE(tmrStatus.enabled());
    EXPECT_EQ(lstUsers.listCount(), 0);
}

// A player with no valid id and a second entry for id 9 are never taken for a speaker.
TEST_F(SpeakerPollingTest, EmptySlotsAndUnknownPlayersAreNoSpeakers)
{
    voice.players.insert(voice.players.end(),
                         {FakeVoiceClient::Player(0, "AFR789"), FakeVoiceClient::Player(9, "AFR789")});
    polling->tmrSpeakers_Timer();
    tick({0, 9, 7, 42});
    EXPECT_EQ(lstSpeakers.items().size(), 2u);
    EXPECT_EQ(lstSpeakers.list(0), "BAW456");
}

TEST_F(SpeakerPollingTest, TheLastSpeakerNamesTheMessageLine)
{
    polling->tmrSpeakers_Timer();
    tick({9, 7});
    EXPECT_EQ(lblError.caption(), "DLH123 transmitting ...");
    EXPECT_EQ(imgSpeak.picture(), Picture::Green);
}

TEST_F(SpeakerPollingTest, TheFirstSpeakerSelectsHisStrip)
{
    polling->tmrSpeakers_Timer();
    tick({9, 7});
    EXPECT_EQ(lstStrips.text(), "BAW456");
    EXPECT_EQ(stripClicks, 1);
}

TEST_F(SpeakerPollingTest, ASpeakerWithoutHisExactStripClearsTheReading)
{
    polling->tmrSpeakers_Timer();
    tick({9});
    tick({11}); // dlh123 is not DLH123
    EXPECT_EQ(lstStrips.listIndex(), -1);
    EXPECT_EQ(cleared, 1);
}

// A pilot heard for the first time is followed at once.
TEST_F(SpeakerPollingTest, PlayersASourceReportsNewAreListedInTheSameCycle)
{
    polling->tmrSpeakers_Timer();
    voice.players.push_back(FakeVoiceClient::Player(13, "AFR789"));
    voice.playersChanged = true;
    tick({13});
    EXPECT_EQ(lstStrips.text(), "AFR789");
}

TEST_F(SpeakerPollingTest, JitterWrapsThroughNorth)
{
    polling->tmrSpeakers_Timer();
    showReading();
    random = test::ScriptedRandom({0.0}); // offset +5: 363 wraps to 3
    tick({7});
    EXPECT_EQ(drawn, 3);
    EXPECT_EQ(txtQDM.text(), "003");
    EXPECT_EQ(txtQDR.text(), "183");
}

// dlh123 upper-cased is the aircraft shown, though not its strip.
TEST_F(SpeakerPollingTest, JitterFollowsTheUpperCasedNickAndKeepsTheExactFigure)
{
    polling->tmrSpeakers_Timer();
    showReading();
    random = test::ScriptedRandom({0.95}); // offset -4
    tick({11});
    EXPECT_EQ(txtQDM.text(), "354");
    EXPECT_EQ(txtQDR.text(), "174");
    EXPECT_EQ(txtQDM.tag(), "358");
}

TEST_F(SpeakerPollingTest, AnotherPilotOrNoReadingLeavesTheNeedle)
{
    polling->tmrSpeakers_Timer();
    showReading();
    tick({9});
    lblHdg.setVisible(false);
    tick({7});
    EXPECT_EQ(random.calls(), 0u);
}

TEST_F(SpeakerPollingTest, AVoiceClientThatGoesAwayTakesTheReadingWithIt)
{
    polling->tmrSpeakers_Timer();
    tick({7});
    voice.state = VoiceState::NotConnected;
    polling->tmrSpeakers_Timer();
    EXPECT_EQ(cleared, 1);
    EXPECT_EQ(lstStrips.listIndex(), -1);
}

// The clock set back an hour guards against the last speech staying in the future for good.
TEST_F(SpeakerPollingTest, SilenceClearsTheReadingAndQuietChecksAskThePositionSource)
{
    polling->tmrSpeakers_Timer();
    now = 3700;
    tick({7});
    now = 100;
    tick({}); // the transmission ended: a check with the red data light
    EXPECT_EQ(checks, "red ");
    for (now = 101; now <= 110; ++now)
        polling->tmrSpeakers_Timer();
    const int before = cleared;
    now = 111;
    polling->tmrSpeakers_Timer();
    EXPECT_EQ(before, 0);
    EXPECT_EQ(cleared, 1);
    EXPECT_EQ(checks, "red quiet ");
    // Quiet checks at 111, 123, 135: one each ten silent seconds.
    for (now = 112; now <= 135; ++now)
        polling->tmrSpeakers_Timer();
    EXPECT_EQ(checks, "red quiet quiet quiet ");
    EXPECT_EQ(cleared, 3);
}

TEST_F(SpeakerPollingTest, ALogLineWithoutAKeywordRefreshesNothing)
{
    polling->tmrSpeakers_Timer();
    logLine("Welcome\r\n");
    EXPECT_EQ(voice.playerReads, 1);
    EXPECT_EQ(txtStatus.text(), "Welcome\r\n");
}

TEST_F(SpeakerPollingTest, AJoinedLineInAnyCaseRefreshesThePlayers)
{
    polling->tmrSpeakers_Timer();
    logLine("DLH123 JOINED channel\r\n");
    EXPECT_EQ(voice.playerReads, 2);
}

TEST_F(SpeakerPollingTest, OnlyTheNewPartOfTheLogCounts)
{
    polling->tmrSpeakers_Timer();
    logLine("DLH123 joined channel\r\n");
    logLine("hello\r\n");
    EXPECT_EQ(voice.playerReads, 2);
}

TEST_F(SpeakerPollingTest, TheStatusCycleStopsItselfOnceTheClientIsGone)
{
    polling->tmrSpeakers_Timer();
    voice.state = VoiceState::NotRunning;
    polling->tmrSpeakers_Timer();
    tmrStatus.setEnabled(true);
    polling->tmrStatus_Timer();
    EXPECT_FALSE(tmrStatus.enabled());
}
