#pragma once

// The main window's behaviour with fake outside programs, in a data folder of its own.
#include "link/LinkSource.h"
#include "shell/Config.h"
#include "shell/LogFiles.h"

#include "support/FakeAtcClient.h"
#include "support/FakeClock.h"
#include "support/FakeGonioHost.h"
#include "support/FakeLinkSocket.h"
#include "support/FakeVoiceClient.h"
#include "support/ScriptedPeer.h"
#include "support/ScriptedRandom.h"
#include "support/TempDir.h"
#include "support/Wait.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace quadrantel::test {

class FormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        shell::globals() = shell::Globals{};
        shell::SetupDataFolder(dir.path());
        shell::SetLogClock(&clock);
        WriteFile(dir.path() + "/Quadrantel/gonio_EDDF_N050.02.00.000_E008.34.14.000.position",
                  "[Setup]\r\nId=" + kStation + "\r\n");
        voice.players = {FakeVoiceClient::Player(7, "DLH123"), FakeVoiceClient::Player(8, "BAW456")};
    }
    void TearDown() override
    {
        if (form)
            form->Form_Unload();
        form.reset();
        shell::CloseLogFiles();
        shell::SetLogClock(nullptr);
    }

    void writeConfig(const std::string& body)
    {
        WriteFile(dir.path() + "/Quadrantel/Config.ini", "[Setup]\r\n" + body);
    }
    app::GonioServices services(bool fakeSocket = true)
    {
        app::GonioServices s;
        s.clock = &clock;
        s.random = &random;
        s.voice = &voice;
        s.atc = &atc;
        s.sleep = [](int) {};                                            // waits that do not block
        s.pumpingSleep = [](int ms) { RunEventsFor(std::min(ms, 50)); }; // runs the loop briefly
        if (fakeSocket)
            s.makeSocket = [this](const link::LinkEvents&) {
                auto p = std::make_unique<FakeLinkSocket>();
                sck = p.get();
                return p;
            };
        return s;
    }
    app::GonioForm& load(app::GonioServices s)
    {
        form = std::make_unique<app::GonioForm>(host, std::move(s));
        form->Form_Load();
        return *form;
    }
    // A window that reads DLH123 and logs in to `peer`, connected unless told otherwise.
    void loadOnPeer(bool connected = true)
    {
        writeConfig("AutoStart=1\r\nDebug=1\r\nVID=123456\r\nPort=" + peer.port() + "\r\nStation=" + kStation + "\r\n");
        load(services(false));
        if (connected)
            connect();
    }
    link::LinkController& link() { return form->sources().link->controller(); }
    void arrive(const std::string& text)
    {
        sck->received = text;
        link().Sck_DataArrival("Quadrantel", 0);
    }
    // Connects to `peer` and waits for the login line.
    void connect()
    {
        const int before = peer.accepted;
        peer.received.clear();
        form->cmdConnect.click();
        ASSERT_TRUE(
            WaitUntil([&] { return peer.accepted > before && peer.received.find("\r\n") != std::string::npos; }));
        ASSERT_EQ(form->lblState.toolTip(), "Connected");
    }
    bool reads(const char* callsign)
    {
        return WaitUntil([&] { return form->traffic().Contains(callsign); });
    }
    bool shows(const char* state)
    {
        return WaitUntil([&] { return form->lblState.toolTip() == state; });
    }
    // Today's log ("Log") or traffic dump ("Dump").
    std::string daily(const char* kind) const
    {
        return ReadFile(dir.path() + "/Quadrantel/" + kind + "_" + clock.now().toString("yyyyMMdd").toStdString() +
                        ".TXT");
    }

    const std::string kStation = "EDDF N050.02.00.000 E008.34.14.000";
    const std::string kDlh = "@N:DLH123:1000:1:50.5:9.0:35000:420:0\r\n";
    TempDir dir;
    ScriptedPeer peer;
    FakeClock clock;
    ScriptedRandom random{{0.5}}; // no jitter: the needle stays on the bearing
    FakeVoiceClient voice;
    FakeAtcClient atc;
    FakeGonioHost host;
    FakeLinkSocket* sck = nullptr;
    std::unique_ptr<app::GonioForm> form;
};

} // namespace quadrantel::test
