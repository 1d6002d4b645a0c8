#pragma once

#include "platform/Controls.h"
#include "platform/Random.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quadrantel::voice {

struct PlayerInfo;

// What the speaker cycle asks of its voice source: the remote library and the window system,
// or the newer client's event feed; tests script it.
class VoiceClient {
public:
    // What a source that learns of events by itself tells the main window.
    struct Events {
        std::function<void()> transmissionBegan; // runs the speaker cycle at once
        // The source's state in words; problem: the voice client cannot be used now.
        std::function<void(const std::string& text, bool problem)> statusText;
    };

    virtual ~VoiceClient() = default;
    // From the main window's load to its unload; a polled source ignores both.
    virtual void Start(const Events&) {}
    virtual void Stop() {}
    // Whether the players changed since the last ReadPlayerList; a polled source learns
    // that from its log pane instead.
    virtual bool PlayersChanged() { return false; }
    // The state code of the voice client (-1 to 2); throws when the library cannot be used.
    virtual int ReadSpeakers() = 0;
    virtual const std::vector<std::int32_t>& Speakers() = 0;
    virtual bool ReadPlayerList() = 0;
    virtual const std::vector<PlayerInfo>& Players() = 0;
    virtual void FindVoiceClient() = 0;
    virtual std::int32_t GetVoiceLogLength() = 0;
    virtual std::string GetVoiceLogText() = 0;
    // The message line while these players talk, in the order of Speakers() (never empty).
    virtual std::string TransmittingText(const std::vector<std::string>& nicks)
    {
        return nicks.back() + " transmitting ...";
    }
};

// The voice client reached through the remote library and its windows.
VoiceClient& RemoteVoiceClient();

// The two timed cycles that find the transmitting pilot and keep the player list fresh.
class SpeakerPolling {
public:
    struct Controls {
        platform::ListBox& lstSpeakers;
        platform::ListBox& lstUsers;
        platform::ListBox& lstStrips;
        platform::Label& lblError;
        platform::Image& imgSpeak;
        platform::Image& lblStatus;
        platform::TextBox& txtStatus;
        platform::CheckBox& chkGonio;
        platform::TextBox& txtGonio;
        platform::TextBox& txtQDM;
        platform::TextBox& txtQDR;
        platform::Label& lblHdg;
        platform::Timer& tmrStatus;
    };

    struct Hooks {
        std::function<std::int32_t()> secondsNow; // whole seconds since the window was loaded
        std::function<void()> clearReading;
        std::function<void(double)> drawGauge;
        // The position source's no-data watch: after a transmission (with the red data light)
        // and after ten silent seconds.
        std::function<void(bool redDataLight)> noDataCheck;
    };

    SpeakerPolling(Controls controls, VoiceClient& voice, platform::Random& random, Hooks hooks);

    void tmrSpeakers_Timer();
    void tmrStatus_Timer();
    void FillUserList();
    void JitterStep();

    std::int32_t lVoiceState = -1;
    std::int32_t lLogLength = 0;
    std::int32_t lLastSpeech = 0;

private:
    void showVoiceState(int state);

    Controls c_;
    VoiceClient& voice_;
    platform::Random& random_;
    Hooks hooks_;
};

} // namespace quadrantel::voice
