#pragma once

#include "platform/Controls.h"
#include "platform/Random.h"
#include "voice/VoiceClient.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quadrantel::voice {

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
    // The first speaker who may be an aircraft; empty when only ground stations talk.
    std::string firstAircraft() const;
    void leaveConnected();

    Controls c_;
    VoiceClient& voice_;
    platform::Random& random_;
    Hooks hooks_;
};

} // namespace quadrantel::voice
