#include "voice/SpeakerPolling.h"

#include "platform/Runtime.h"
#include "platform/RuntimeError.h"
#include "shell/TextRoutines.h"

#include <unordered_map>

namespace quadrantel::voice {

using platform::IgnoreErrors;
using platform::Picture;

namespace {

bool ContainsNoCase(const std::string& text, const char* word)
{
    return platform::UCase(text).find(platform::UCase(word)) != std::string::npos;
}

} // namespace

SpeakerPolling::SpeakerPolling(Controls controls, VoiceClient& voice, platform::Random& random, Hooks hooks)
    : c_(controls), voice_(voice), random_(random), hooks_(std::move(hooks))
{
}

void SpeakerPolling::tmrSpeakers_Timer()
{
    IgnoreErrors([&] { c_.lstSpeakers.clear(); });
    int state = 0; // a library that cannot be used counts as a voice client not running
    IgnoreErrors([&] { state = static_cast<int>(voice_.ReadSpeakers()); });

    if (state == static_cast<int>(VoiceState::Connected)) {
        IgnoreErrors([&] { c_.imgSpeak.setPicture(Picture::None); });
        IgnoreErrors([&] {
            if (voice_.PlayersChanged())
                FillUserList();
        });
        std::vector<std::int32_t> speakers;
        IgnoreErrors([&] { speakers = voice_.Speakers(); });
        // A busy channel has a thousand players talking at once: look ids up, do not scan.
        std::unordered_map<std::int32_t, int> userIndex;
        if (!speakers.empty()) {
            const auto& users = c_.lstUsers.items();
            userIndex.reserve(users.size());
            for (std::size_t i = 0; i < users.size(); ++i)
                userIndex.emplace(users[i].data, static_cast<int>(i)); // the first entry wins
        }
        std::vector<std::string> nicks;
        for (const std::int32_t id : speakers) {
            if (userIndex.empty() || id < 1)
                continue;
            const auto found = userIndex.find(id);
            if (found == userIndex.end())
                continue;
            const std::string& nick = c_.lstUsers.list(found->second);
            nicks.push_back(nick);
            IgnoreErrors([&] {
                if (platform::UCase(nick) == c_.txtGonio.text() && c_.lblHdg.visible())
                    JitterStep();
            });
        }
        // Shown once per cycle, not once per speaker: bound widgets refill and repaint on every
        // change, and only the last speaker's line would stay on screen anyway.
        if (!nicks.empty()) {
            IgnoreErrors([&] { c_.lstSpeakers.setItems(nicks); });
            IgnoreErrors([&] { c_.lblError.setCaption(voice_.TransmittingText(nicks)); });
            IgnoreErrors([&] { c_.lblError.refresh(); });
            IgnoreErrors([&] { c_.imgSpeak.setPicture(Picture::Green); });
        }

        if (c_.lstSpeakers.listCount() == 0) {
            for (int i = 0; i < c_.lstStrips.listCount(); ++i)
                IgnoreErrors([&] { c_.lstStrips.setSelected(i, false); });
            IgnoreErrors([&] {
                if (c_.lblError.caption().find(" transmitting ") != std::string::npos && hooks_.noDataCheck)
                    hooks_.noDataCheck(true);
            });
        } else if (const std::string first = firstAircraft(); first.empty()) {
            // Only ground stations talk: the reading lives on as after silence.
            for (int i = 0; i < c_.lstStrips.listCount(); ++i)
                IgnoreErrors([&] { c_.lstStrips.setSelected(i, false); });
        } else {
            bool matched = false;
            for (int i = 0; i < c_.lstStrips.listCount() && !matched; ++i) {
                if (c_.lstStrips.list(i) == first) {
                    matched = true;
                    IgnoreErrors([&] { c_.lstStrips.setSelected(i, true); });
                    IgnoreErrors([&] { lLastSpeech = hooks_.secondsNow(); });
                } else {
                    IgnoreErrors([&] { c_.lstStrips.setSelected(i, false); });
                }
            }
            if (!matched && c_.chkGonio.checked()) {
                IgnoreErrors([&] { hooks_.clearReading(); });
                lLastSpeech = 0;
            }
        }

        IgnoreErrors([&] {
            const std::int32_t now = hooks_.secondsNow();
            // A clock stepped back leaves the last speech in the future; it would never time out.
            if (lLastSpeech == 0 || lLastSpeech > now)
                lLastSpeech = now;
            if (now > lLastSpeech + 10) {
                lLastSpeech = 0;
                if (c_.chkGonio.checked())
                    IgnoreErrors([&] { hooks_.clearReading(); });
                IgnoreErrors([&] {
                    if (hooks_.noDataCheck)
                        hooks_.noDataCheck(false);
                });
            }
        });
    }

    if (state != lVoiceState) {
        if (lVoiceState == static_cast<int>(VoiceState::Connected))
            IgnoreErrors([&] { leaveConnected(); });
        IgnoreErrors([&] { c_.lstUsers.clear(); });
        IgnoreErrors([&] { showVoiceState(state); });
        IgnoreErrors([&] { voice_.FindVoiceClient(); });
        lVoiceState = state;
    }
}

std::string SpeakerPolling::firstAircraft() const
{
    for (const auto& speaker : c_.lstSpeakers.items())
        if (!voice_.IsGroundStation(speaker.text))
            return speaker.text;
    return {};
}

// Nobody is heard once the voice source is gone: a bearing shown now would be nobody's.
void SpeakerPolling::leaveConnected()
{
    for (int i = 0; i < c_.lstStrips.listCount(); ++i)
        IgnoreErrors([&] { c_.lstStrips.setSelected(i, false); });
    IgnoreErrors([&] { c_.imgSpeak.setPicture(Picture::None); });
    lLastSpeech = 0;
    if (c_.chkGonio.checked())
        IgnoreErrors([&] { hooks_.clearReading(); });
}

void SpeakerPolling::showVoiceState(int state)
{
    switch (static_cast<VoiceState>(state)) {
    case VoiceState::Undetermined:
        c_.lblStatus.setPicture(Picture::Yellow);
        c_.lblStatus.setToolTip("Unknown");
        c_.tmrStatus.setEnabled(false);
        break;
    case VoiceState::NotRunning:
        c_.lblStatus.setPicture(Picture::Red);
        c_.lblStatus.setToolTip("Not Running");
        c_.tmrStatus.setEnabled(false);
        break;
    case VoiceState::NotConnected:
        c_.lblStatus.setPicture(Picture::Blue);
        c_.lblStatus.setToolTip("Running");
        c_.tmrStatus.setEnabled(true);
        break;
    case VoiceState::Connected:
        c_.lblStatus.setPicture(Picture::Green);
        c_.lblStatus.setToolTip("Connected");
        c_.tmrStatus.setEnabled(true);
        FillUserList();
        break;
    default:
        break;
    }
}

void SpeakerPolling::JitterStep()
{
    const int offset = 5 - static_cast<int>(platform::Int(random_.next() * 10));
    int needle = platform::CInt(platform::Val(c_.txtQDM.tag()) + offset);
    if (needle > 360)
        needle -= 360;
    else if (needle < 0)
        needle += 360;
    if (hooks_.drawGauge)
        hooks_.drawGauge(needle);
    int qdr = needle + 180;
    if (qdr > 360)
        qdr -= 360;
    c_.txtQDR.setText(platform::Format(qdr, "000"));
    c_.txtQDM.setText(platform::Format(needle, "000"));
    c_.txtQDR.refresh();
    c_.txtQDM.refresh();
}

void SpeakerPolling::tmrStatus_Timer()
{
    if (lVoiceState != static_cast<int>(VoiceState::NotConnected) &&
        lVoiceState != static_cast<int>(VoiceState::Connected)) {
        c_.tmrStatus.setEnabled(false);
        return;
    }
    std::int32_t n = 0;
    IgnoreErrors([&] { n = voice_.GetVoiceLogLength(); });
    if (n == lLogLength)
        return;
    lLogLength = n;
    std::string text;
    IgnoreErrors([&] { text = voice_.GetVoiceLogText(); });
    const std::string& old = c_.txtStatus.text();
    const std::string fresh = old.empty() ? text : shell::ReplaceText(text, old, "");
    c_.txtStatus.setText(text);
    if (ContainsNoCase(fresh, "joined") || ContainsNoCase(fresh, "quit") || ContainsNoCase(fresh, "switched"))
        IgnoreErrors([&] { FillUserList(); });
}

void SpeakerPolling::FillUserList()
{
    if (!voice_.ReadPlayerList()) {
        c_.lstUsers.clear();
        return;
    }
    // In one change: a bound list refilled entry by entry costs the square of its length.
    std::vector<platform::ListBox::Item> users;
    for (const PlayerInfo& p : voice_.Players())
        users.push_back({p.NickName, p.PlayerID});
    c_.lstUsers.setItems(std::move(users));
}

} // namespace quadrantel::voice
