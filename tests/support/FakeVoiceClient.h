#pragma once

#include "platform/RuntimeError.h"
#include "voice/VoiceClient.h"

#include <string>
#include <vector>

namespace quadrantel::test {

// A voice client whose state, players, speakers and log pane the test sets.
class FakeVoiceClient final : public voice::VoiceClient {
public:
    voice::VoiceState state = voice::VoiceState::Connected;
    bool fails = false;          // the library cannot be used
    bool playersChanged = false; // as an event source reports it
    std::vector<std::int32_t> speakers;
    std::vector<voice::PlayerInfo> players;
    std::string log;
    int playerReads = 0, finds = 0;

    voice::VoiceState ReadSpeakers() override
    {
        if (fails)
            throw platform::RuntimeError(53, "TSRemote", "File not found");
        return state;
    }
    const std::vector<std::int32_t>& Speakers() override { return speakers; }
    bool ReadPlayerList() override
    {
        ++playerReads;
        return true;
    }
    const std::vector<voice::PlayerInfo>& Players() override { return players; }
    bool PlayersChanged() override { return playersChanged; }
    void FindVoiceClient() override { ++finds; }
    std::int32_t GetVoiceLogLength() override { return static_cast<std::int32_t>(log.size()); }
    std::string GetVoiceLogText() override { return log; }

    static voice::PlayerInfo Player(std::int32_t id, std::string nick)
    {
        voice::PlayerInfo p;
        p.PlayerID = id;
        p.NickName = std::move(nick);
        return p;
    }
};

} // namespace quadrantel::test
