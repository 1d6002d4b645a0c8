// What the simulated voice client shows the remote-control library: written by voice-sim,
// read by libTSRemote.so at every call.
//
// A small text file, replaced whole by rename so that a reader never sees half of it:
//   voice-sim <pid>
//   connected 0|1
//   player <id> <channel> <channel rights> <server rights> <flags> <nickname>
//   speaker <id>
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace voicesim {

struct Player {
    std::int32_t id = 0;
    std::int32_t channel = 0;
    std::uint32_t channelRights = 0;
    std::uint32_t serverRights = 0;
    std::uint32_t flags = 0;
    std::string nick;
};

struct State {
    long pid = 0;
    bool connected = false;
    std::vector<Player> players;
    std::vector<std::int32_t> speakers;
};

// $QUADRANTEL_VOICE_STATE, else a per-user file in the temporary folder.
std::string StatePath();
bool Write(const std::string& path, const State& state);
// False when there is no readable state file.
bool Read(const std::string& path, State& state);

} // namespace voicesim
