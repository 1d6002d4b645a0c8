#include "FormFixture.h"

#include "voice/modTSRemote.h"

#include <cstdlib>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include "EventServer.h"

using namespace quadrantel;
using namespace quadrantel::test;
using GonioFormTest = FormTest;

TEST_F(GonioFormTest, FirstRunWithoutConfiguration)
{
    load(services());
    int closes = 0;
    sck->closesOutliving = &closes;
    EXPECT_FALSE(form->chkGonio.checked());
    for (const platform::Image* light : {&form->lblState, &form->lblStatus, &form->imgData}) {
        EXPECT_EQ(light->picture(), platform::Picture::Red);
        EXPECT_EQ(light->rect().width, 220);
    }

    form->Form_Unload();
    EXPECT_EQ(closes, 1); // closed although it never connected
    EXPECT_EQ(form->sources().link->socket(), nullptr);
    EXPECT_EQ(host.setupShown, 1);
    form.reset();
}

// Guards against the load reading the settings file once for every value: the voice choice,
// the position choice, each setting of the window, its place and its station.
TEST_F(GonioFormTest, TheLoadReadsConfigIniOnce)
{
    writeConfig("Station=" + kStation + "\r\nPositionSource=Both\r\nFeedURL=http://127.0.0.1:9/feed.json\r\n");
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    // Closes too: two opens in a row would be reported as one.
    ASSERT_GE(::inotify_add_watch(watch, (dir.path() + "/Quadrantel").c_str(), IN_OPEN | IN_CLOSE), 0);
    auto s = services();
    s.voice = nullptr; // the voice client is chosen there too
    load(std::move(s));
    int opens = 0;
    alignas(inotify_event) char events[4096];
    for (ssize_t n = 0; (n = ::read(watch, events, sizeof events)) > 0;)
        for (const char* p = events; p < events + n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(p);
            opens += (e->mask & IN_OPEN) && e->len > 0 && std::string(e->name) == "Config.ini" ? 1 : 0;
            p += sizeof(inotify_event) + e->len;
        }
    ::close(watch);
    EXPECT_EQ(opens, 1);
    EXPECT_EQ(form->txtStation.text(), kStation);
    EXPECT_TRUE(form->imgFeed.visible()); // both sources, each with its light
}

// Both sources: the window offers Disconnect while the feed runs though the link is down, and
// the down link's silence raises no alarm while the feed answers.
TEST_F(GonioFormTest, WithBothSourcesADownLinkLeavesTheFeedInCharge)
{
    writeConfig("Station=" + kStation + "\r\nPositionSource=Both\r\nFeedURL=http://127.0.0.1:9/feed.json\r\n");
    load(services());
    form->SetAutostart();
    form->tmrUpdate.onTimer();
    EXPECT_TRUE(form->cmdClose.visible());
    EXPECT_FALSE(form->cmdConnect.visible());
    for (int check = 0; check < 4; ++check)
        form->positions().NoDataCheck(false);
    EXPECT_EQ(form->lblError.caption(), "Waiting ... ");
    EXPECT_EQ(form->lblState.toolTip(), "Disconnected");
    EXPECT_NE(form->positions().Light(), platform::Picture::Green); // the feed's, failing
}

TEST_F(GonioFormTest, SavedPositionAndItsFallbacks)
{
    const auto placed = [&](const std::string& x, const std::string& y) {
        writeConfig("LastX=" + x + "\r\nLastY=" + y + "\r\nOnTop=0\r\n");
        load(services());
        EXPECT_EQ(host.insertAfter, 99); // OnTop 0 leaves the box as it was: no click
        return std::pair<float, float>(host.x, host.y);
    };
    EXPECT_EQ(placed("000000001440", "-000000000015"), (std::pair<float, float>(1440, -15)));
    EXPECT_EQ(placed("99999999999", "100"), (std::pair<float, float>(3180, 100))); // no 32-bit number
    EXPECT_EQ(placed("abc", "100"), (std::pair<float, float>(3180, 100)));         // no number at all
    EXPECT_EQ(placed("40000", "30000"), (std::pair<float, float>(3180, 2760)));    // a monitor that is gone
    host.desktopRight = 60000;
    // Right of 2,184 pixels on a wide desktop: beyond 16 bits, kept.
    EXPECT_EQ(placed("40000", "100"), (std::pair<float, float>(40000, 100)));

    // Saved on every close, not only when a login is refused.
    host.moveTo(45000, -15);
    form->Form_Unload();
    form.reset();
    const std::string config = test::ReadFile(dir.path() + "/Quadrantel/Config.ini");
    EXPECT_NE(config.find("LastX=000000045000"), std::string::npos) << config;
    EXPECT_NE(config.find("LastY=-000000000015"), std::string::npos) << config;
}

TEST_F(GonioFormTest, AutoConnectFollowsTheAtcClient)
{
    load(services());
    form->SetAutostart();
    link().UpdateState();
    EXPECT_EQ(sck->connects, 0); // client not running: nothing shown
    EXPECT_EQ(form->lblError.caption(), "Starting ...");

    atc.connection = atcclient::TowrixConnection::NotConnected;
    link().UpdateState();
    EXPECT_EQ(form->lblError.caption(), "Towrix/Linkar not Running or not connected !");
    EXPECT_EQ(sck->connects, 0);

    atc.connection = atcclient::TowrixConnection::Connected;
    link().UpdateState();
    EXPECT_EQ(sck->connects, 1);
}

// Guards against the voice library's error text going nowhere: the message line kept
// "Starting ...".
TEST_F(GonioFormTest, VoiceLibraryErrorReachesTheMessageLine)
{
    ::setenv("QUADRANTEL_TSREMOTE", FAKE_TSREMOTE_PATH, 1);
    ::setenv("FAKE_TSREMOTE_SCRIPT", dir.file("script").c_str(), 1);
    test::WriteFile(dir.file("script"), "speakers 5 0\nerror Voice server lost\n");
    voice::UnloadTSRemote();
    auto s = services();
    s.voice = nullptr; // the library layer itself
    load(std::move(s)).speakers().tmrSpeakers_Timer();
    EXPECT_EQ(form->lblError.caption(), "Voice server lost");
    form->Form_Unload();
    form.reset();
    voice::ReadSpeakers(); // the closed window no longer listens
    voice::UnloadTSRemote();
    ::unsetenv("QUADRANTEL_TSREMOTE");
    ::unsetenv("FAKE_TSREMOTE_SCRIPT");
}

// Guards against a day's file that cannot be written going unsaid: a FIFO of the log's name
// hung the program before its first window.
TEST_F(GonioFormTest, AnUnwritableDaysFileIsNamedOnTheMessageLine)
{
    writeConfig("Debug=1\r\n");
    ASSERT_EQ(::mkfifo((dir.path() + "/Quadrantel/Log_20240131.TXT").c_str(), 0644), 0);
    load(services());
    EXPECT_EQ(form->lblError.caption(), "Log_20240131.TXT is not a regular file: nothing is written to it");
}

// The last caller's bearing on demand: only a speaker tied to his strip counts, the status
// line says it is a recall, and the silence rule clears it like any reading.
TEST_F(GonioFormTest, LastButtonRecallsTheLastCaller)
{
    writeConfig("AutoStart=1\r\nStation=" + kStation + "\r\n");
    load(services());
    clock.advance(11); // the block rebuilds the strip list
    arrive(kDlh);
    ASSERT_EQ(form->lstStrips.listCount(), 1);
    form->tmrSpeakers.onTimer(); // fills the player list
    EXPECT_FALSE(form->cmdLast.enabled());

    voice.speakers = {7};
    form->tmrSpeakers.onTimer();
    clock.advance(3);
    form->tmrSpeakers.onTimer(); // still talking: the time of his last speech moves on
    EXPECT_TRUE(form->cmdLast.enabled());
    clock.advance(2);
    voice.speakers = {8}; // BAW456 has no strip: not a caller to recall
    form->tmrSpeakers.onTimer();
    voice.speakers = {};
    clock.advance(11);
    form->tmrSpeakers.onTimer();
    ASSERT_EQ(form->txtQDR.text(), "---");

    clock.advance(14);
    form->cmdLast.click();
    EXPECT_EQ(form->txtQDR.tag(), "030");
    EXPECT_EQ(form->lblError.caption(), "last: DLH123 (27 s ago)");
    clock.advance(10);
    form->tmrSpeakers.onTimer();
    EXPECT_EQ(form->txtQDR.tag(), "030");
    clock.advance(1);
    form->tmrSpeakers.onTimer();
    EXPECT_EQ(form->txtQDR.text(), "---");

    // Gone from the traffic: said in the status line.
    clock.advance(12); // quiet for over 50 seconds: the next rebuild drops him
    arrive("@N:BAW456:1001:1:49.0:8.0:12000:300:0\r\n");
    ASSERT_FALSE(form->traffic().Contains("DLH123"));
    form->cmdLast.click();
    EXPECT_EQ(form->lblError.caption(), "last: DLH123 (50 s ago) - no position");
}

// Guards against a rebuilt strip list losing the controller's choice when the chosen aircraft
// moves in the list.
TEST_F(GonioFormTest, ARebuiltStripListKeepsTheChosenAircraft)
{
    writeConfig("AutoStart=1\r\nStation=" + kStation + "\r\n");
    load(services());
    clock.advance(11);
    arrive(kDlh);
    form->lstStrips.setListIndex(0);
    clock.advance(11);
    arrive("@N:BAW456:1001:1:49.0:8.0:12000:300:0\r\n" + kDlh); // DLH123 moves last
    ASSERT_EQ(form->lstStrips.listCount(), 2);
    EXPECT_EQ(form->lstStrips.text(), "DLH123");
}

// The whole road: a peer sends positions, a pilot keys his microphone, the reading points at
// him and clears once he has been silent.
TEST_F(GonioFormTest, RoadOfOneTransmission)
{
    loadOnPeer();
    ASSERT_TRUE(form->chkGonio.checked());
    clock.advance(11); // the next block rebuilds the strip list
    peer.send(kDlh + "@N:BAW456:1001:1:49.0:8.0:12000:300:0\r\n");
    ASSERT_TRUE(WaitUntil([&] { return form->lstStrips.listCount() == 2; }));

    form->speakers().tmrSpeakers_Timer(); // the first cycle fills the player list
    voice.speakers = {7};
    form->speakers().tmrSpeakers_Timer();
    EXPECT_EQ(form->lblError.caption(), "DLH123 transmitting ...");
    EXPECT_EQ(host.title, "Quadrantel - (EDDF) DLH123 QDR[030]  QDM[210]");

    voice.speakers = {};
    clock.advance(11);
    form->speakers().tmrSpeakers_Timer();
    EXPECT_EQ(form->txtQDR.text(), "---");
    EXPECT_EQ(host.title, "Quadrantel");
    EXPECT_EQ(form->lblError.caption(), "Waiting ... "); // the link's quiet check: data came

    // TEST reads the callsign the ATC client has selected.
    atc.callsign = "DLH123";
    form->cmdPicTowrix.setValue(1);
    EXPECT_EQ(form->cmdPicTowrix.value(), 0); // springs back
    EXPECT_EQ(form->txtQDR.tag(), "030");
    EXPECT_EQ(form->lblError.caption(), "DLH123 calculating ...");
}

// Two aircraft with strips talking at once; the reading is DLH123's.
class CallersTest : public FormTest {
protected:
    void twoTalking()
    {
        writeConfig("AutoStart=1\r\nStation=" + kStation + "\r\n");
        load(services());
        clock.advance(11);
        arrive(kDlh + "@N:BAW456:1001:1:49.0:8.0:12000:300:0\r\n");
        form->tmrSpeakers.onTimer();
        voice.players.push_back(FakeVoiceClient::Player(9, "AFR789")); // no strip
        voice.playersChanged = true;
        voice.speakers = {7, 9, 8};
        form->tmrSpeakers.onTimer();
    }
};

TEST_F(CallersTest, EveryOtherCallerWithAStripGetsANeedle)
{
    twoTalking();
    ASSERT_EQ(form->gauge().callers().size(), 1u);
    EXPECT_EQ(form->gauge().callers()[0].callsign, "BAW456");
}

TEST_F(CallersTest, TheCallersNeedlesGoWithTheReading)
{
    twoTalking();
    form->chkGonio.setValue(0);
    form->tmrSpeakers.onTimer();
    EXPECT_TRUE(form->gauge().callers().empty());
}

// The WebSocket source named in the configuration, against voice-sim's stand-in for the client.
class WebSocketWindowTest : public FormTest {
protected:
    void loadOnClient()
    {
        sim.quiet = true;
        sim.clickMs = 0;
        sim.print = false;
        server = std::make_unique<voicesim::EventServer>(sim);
        ASSERT_TRUE(server->listen());
        writeConfig("AutoStart=1\r\nStation=" + kStation + "\r\nVoiceSource=WebSocket\r\nVoiceURL=ws://127.0.0.1:" +
                    std::to_string(server->port()) + "/ws\r\n");
        auto s = services();
        s.voice = nullptr;
        load(std::move(s)).tmrSpeakers.setEnabled(false);
        ASSERT_TRUE(WaitUntil([&] { return form->txtStatus.text() == "connected to the voice network"; }));
        clock.advance(11);
        arrive(kDlh);
    }

    voicesim::EventOptions sim;
    std::unique_ptr<voicesim::EventServer> server;
};

// A pilot's kRxBegin runs the speaker cycle at once, without waiting for its timer.
TEST_F(WebSocketWindowTest, ATransmissionIsFollowedAtOnce)
{
    loadOnClient();
    server->command("talk DLH123 118.700");
    EXPECT_TRUE(WaitUntil([&] { return host.title == "Quadrantel - (EDDF) DLH123 QDR[030]  QDM[210]"; })) << host.title;
}

TEST_F(WebSocketWindowTest, TheVoiceLightAndStatusSayVoiceClient)
{
    loadOnClient();
    EXPECT_EQ(form->Label5.caption(), "Voice client:");
    EXPECT_EQ(form->Label11.caption(), "Voice client status:");
}

// A refused login closes the window from inside the socket's own event; the socket must
// outlive that event.
TEST_F(GonioFormTest, RefusedLoginClosesTheWindowFromInsideTheSocketEvent)
{
    writeConfig("VID=999\r\nPort=" + peer.port() + "\r\n");
    host.onUnload = [&] { form->Form_Unload(); };
    load(services(false));
    connect();
    peer.send("#ERSERVER:Quadrantel:NO such VID / Password\r\n");
    ASSERT_TRUE(WaitUntil([&] { return host.unloads == 1; }));
    EXPECT_EQ(form->lblError.caption(), "Gonio cannot act as Linkar Primary Connection;");
    EXPECT_EQ(host.setupShown, 2); // by the refusal, then by the unload
    EXPECT_EQ(form->sources().link->socket(), nullptr);
    test::RunEventsFor(50); // the released socket goes away on the loop
    form.reset();
}
