#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The seam between the speaker cycle and a voice source: the remote library with the voice
// client's windows (modTSRemote), or the newer client's WebSocket events (WebSocketVoiceClient).
namespace quadrantel::voice {

enum class VoiceState : int {
    Undetermined = -1,
    NotRunning = 0,
    NotConnected = 1,
    Connected = 2,
};

struct PlayerInfo {
    std::int32_t PlayerID = 0;
    std::int32_t ChannelID = 0;
    std::string NickName;
    std::string ChannelRights;
    std::string ServerRights;
    std::string PlayerStatus;
};

// What the speaker cycle asks of its voice source; tests script it.
class VoiceClient {
public:
    // What a source that learns of events by itself tells the main window.
    struct Events {
        std::function<void()> transmissionBegan; // runs the speaker cycle at once
        // The source's state in words; problem: the voice client cannot be used now.
        std::function<void(const std::string& text, bool problem)> statusText;
        // Something the controller should know, for the message line.
        std::function<void(const std::string& text)> notice;
    };

    // The main window's captions beside the voice light and above the status box.
    struct Captions {
        std::string light = "TeamSpeak:";
        std::string status = "Teamspeak Client Status-Text:";
    };

    virtual ~VoiceClient() = default;
    // From the main window's load to its unload; a polled source ignores both.
    virtual void Start(const Events&) {}
    virtual void Stop() {}
    // Whether the players changed since the last ReadPlayerList; a polled source learns
    // that from its log pane instead.
    virtual bool PlayersChanged() { return false; }
    // Throws when the library cannot be used.
    virtual VoiceState ReadSpeakers() = 0;
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
    // A speaker who is no aircraft is never tied to a strip: while only such speakers talk,
    // the reading lives on as after silence.
    virtual bool IsGroundStation(const std::string&) const { return false; }
    virtual Captions WindowCaptions() const { return {}; }
};

} // namespace quadrantel::voice
