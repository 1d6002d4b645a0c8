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

    FakeVoiceClient voice;
    int stripClicks = 0;
};

} // namespace

TEST_F(SpeakerPollingTest, FirstCycleActsOnTheStateAndFillsThePlayers)
{
    polling->tmrSpeakers_Timer();
    EXPECT_EQ(lblStatus.picture(), Picture::Green);
    EXPECT_TRUE(tmrStatus.enabled());
    ASSERT_EQ(lstUsers.listCount(), 3);
    EXPECT_EQ(voice.finds, 1);

    polling->tmrSpeakers_Timer(); // same state: nothing refilled
    EXPECT_EQ(voice.playerReads, 1);

    voice.fails = true; // a library that cannot be used reads as not running
    polling->tmrSpeakers_Timer();
    EXPECT_EQ(lblStatus.picture(), Picture::Red);
    EXPECT_FALSE(tmrStatus.enabled());
    EXPECT_EQ(lstUsers.listCount(), 0);
}

TEST_F(SpeakerPollingTest, FirstSpeakerSelectsItsStripExactly)
{
    // A player with no valid id and a second entry for id 9 are never taken for a speaker.
    voice.players.insert(voice.players.end(),
                         {FakeVoiceClient::Player(0, "AFR789"), FakeVoiceClient::Player(9, "AFR789")});
    polling->tmrSpeakers_Timer();
    tick({0, 9, 7, 42}); // an empty slot and an unknown player are skipped
    ASSERT_EQ(lstSpeakers.listCount(), 2);
    EXPECT_EQ(lstSpeakers.list(0), "BAW456");
    EXPECT_EQ(lblError.caption(), "DLH123 transmitting ..."); // the last speaker names the line
    EXPECT_EQ(lstStrips.text(), "BAW456");                    // the first one is looked up
    EXPECT_EQ(stripClicks, 1);
    EXPECT_EQ(imgSpeak.picture(), Picture::Green);

    tick({11}); // dlh123 is not DLH123: the reading is cleared
    EXPECT_EQ(lstStrips.listIndex(), -1);
    EXPECT_EQ(cleared, 1);

    // A source that knows of new players has them listed in the same cycle, so a pilot heard
    // for the first time is followed at once.
    voice.players.push_back(FakeVoiceClient::Player(13, "AFR789"));
    voice.playersChanged = true;
    tick({13});
    EXPECT_EQ(lstStrips.text(), "AFR789");
}

TEST_F(SpeakerPollingTest, JitterMovesTheNeedleOnlyForTheAircraftOnDisplay)
{
    polling->tmrSpeakers_Timer();
    txtGonio.setText("DLH123");
    txtQDM.setTag("358");
    lblHdg.setVisible(true);
    random = test::ScriptedRandom({0.0, 0.95});
    tick({7}); // offset +5: 363 wraps to 3
    EXPECT_EQ(drawn, 3);
    EXPECT_EQ(txtQDM.text(), "003");
    EXPECT_EQ(txtQDR.text(), "183");
    tick({11}); // offset -4: dlh123 upper-cased is the aircraft shown, though not its strip
    EXPECT_EQ(txtQDM.text(), "354");
    EXPECT_EQ(txtQDR.text(), "174");
    EXPECT_EQ(txtQDM.tag(), "358"); // the exact figure stays

    // Another pilot talking, or no reading on the gauge: the needle stays where it is.
    tick({9});
    lblHdg.setVisible(false);
    tick({7});
    EXPECT_EQ(random.calls(), 2u);
    EXPECT_EQ(txtQDM.text(), "354");
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
    EXPECT_EQ(cleared, 0);
    now = 111;
    polling->tmrSpeakers_Timer();
    EXPECT_EQ(cleared, 1);
    EXPECT_EQ(checks, "red quiet ");
    // Quiet checks at 111, 123, 135: one each ten silent seconds.
    for (now = 112; now <= 135; ++now)
        polling->tmrSpeakers_Timer();
    EXPECT_EQ(checks, "red quiet quiet quiet ");
    EXPECT_EQ(cleared, 3);
}

TEST_F(SpeakerPollingTest, LogPaneChangesRefreshThePlayers)
{
    polling->tmrSpeakers_Timer();
    const int reads = voice.playerReads;
    const auto readsAfter = [this](const char* line) {
        voice.log += line;
        polling->tmrStatus_Timer();
        return voice.playerReads;
    };
    EXPECT_EQ(readsAfter("Welcome\r\n"), reads);
    EXPECT_EQ(txtStatus.text(), "Welcome\r\n");
    EXPECT_EQ(readsAfter("DLH123 JOINED channel\r\n"), reads + 1);
    EXPECT_EQ(readsAfter("hello\r\n"), reads + 1); // only what is new counts

    voice.state = 0;
    polling->tmrSpeakers_Timer();
    tmrStatus.setEnabled(true);
    polling->tmrStatus_Timer();
    EXPECT_FALSE(tmrStatus.enabled());
}
