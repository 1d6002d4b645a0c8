#pragma once

#include "support/ScriptedRandom.h"
#include "voice/SpeakerPolling.h"

#include <memory>

namespace quadrantel::test {

// The speaker cycle on the controls the main window gives it, three strips listed and the
// reading on; the test picks the voice client and the clock.
class SpeakerCycle {
public:
    SpeakerCycle()
    {
        for (const char* c : {"AFR789", "DLH123", "BAW456"})
            lstStrips.addItem(c);
        chkGonio.setValue(1);
    }

    void PollOn(voice::VoiceClient& client)
    {
        polling = std::make_unique<voice::SpeakerPolling>(
            voice::SpeakerPolling::Controls{lstSpeakers, lstUsers, lstStrips, lblError, imgSpeak, lblStatus, txtStatus,
                                            chkGonio, txtGonio, txtQDM, txtQDR, lblHdg, tmrStatus},
            client, random,
            voice::SpeakerPolling::Hooks{.secondsNow = [this] { return now; },
                                         .clearReading = [this] { ++cleared; },
                                         .drawGauge = [this](double h) { drawn = h; },
                                         .noDataCheck =
                                             [this](bool red) {
                                                 checks += red ? "red " : "quiet ";
                                                 lblError.setCaption("Waiting ... ");
                                             }});
    }

    platform::ListBox lstSpeakers, lstUsers, lstStrips;
    platform::Label lblError, lblHdg;
    platform::Image imgSpeak, lblStatus;
    platform::TextBox txtStatus, txtGonio, txtQDM, txtQDR;
    platform::CheckBox chkGonio;
    platform::Timer tmrStatus{1000};
    ScriptedRandom random{{0.0}};
    std::int32_t now = 100;
    int cleared = 0;
    double drawn = -1;
    std::string checks; // the position source's quiet checks, in order
    std::unique_ptr<voice::SpeakerPolling> polling;
};

} // namespace quadrantel::test
