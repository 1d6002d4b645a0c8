// A stand-in for the voice client's remote-control library. Its answers come from the script
// file named by $FAKE_TSREMOTE_SCRIPT, read anew on every call:
//   players <result> <count>
//   player <id> <channel> <chan> <server> <flags> <nickname>
//   speakers <result> <count> <id>...
//   error <text>
// Each call appends "<function> <count or size given>" to $FAKE_TSREMOTE_LOG when set.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct Script {
    int playersResult = -1000, speakersResult = -1000;
    int playersCount = 0, speakersCount = 0;
    std::string error;
    std::vector<std::string> players; // the 50-byte records
    std::vector<std::int32_t> speakers;
};

void PutLong(std::string& record, std::size_t at, std::uint32_t value)
{
    for (std::size_t i = 0; i < 4; ++i)
        record[at + i] = static_cast<char>(value >> (8 * i));
}

Script Load(const char* function, int given)
{
    if (const char* log = std::getenv("FAKE_TSREMOTE_LOG"))
        std::ofstream(log, std::ios::app) << function << ' ' << given << '\n';
    Script script;
    const char* path = std::getenv("FAKE_TSREMOTE_SCRIPT");
    std::ifstream in(path ? path : "");
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string key;
        words >> key;
        if (key == "players") {
            words >> script.playersResult >> script.playersCount;
        } else if (key == "player") {
            std::int32_t id = 0, channel = 0;
            std::uint32_t chan = 0, server = 0, flags = 0;
            std::string nick, record(50, '\0');
            words >> id >> channel >> chan >> server >> flags;
            words.get();
            std::getline(words, nick);
            PutLong(record, 0, static_cast<std::uint32_t>(id));
            PutLong(record, 4, static_cast<std::uint32_t>(channel));
            record.replace(8, std::min<std::size_t>(nick.size(), 30), nick, 0, 30);
            PutLong(record, 38, chan);
            PutLong(record, 42, server);
            PutLong(record, 46, flags);
            script.players.push_back(record);
        } else if (key == "speakers") {
            words >> script.speakersResult >> script.speakersCount;
            for (std::int32_t id; words >> id;)
                script.speakers.push_back(id);
        } else if (key == "error") {
            words.get();
            std::getline(words, script.error);
        }
    }
    return script;
}

} // namespace

FAKE_EXPORT int tsrGetPlayers(void* records, int* count)
{
    const Script script = Load("tsrGetPlayers", *count);
    for (std::size_t i = 0; i < script.players.size() && static_cast<int>(i) < *count; ++i)
        std::memcpy(static_cast<char*>(records) + i * 50, script.players[i].data(), 50);
    *count = script.playersCount;
    return script.playersResult;
}

// The partial build lacks this function, like an incompatible library version.
#ifndef FAKE_TSREMOTE_NO_SPEAKERS
FAKE_EXPORT int tsrGetSpeakers(int* ids, int* count)
{
    const Script script = Load("tsrGetSpeakers", *count);
    for (std::size_t i = 0; i < script.speakers.size() && static_cast<int>(i) < *count; ++i)
        ids[i] = script.speakers[i];
    *count = script.speakersCount;
    return script.speakersResult;
}
#endif

FAKE_EXPORT int tsrGetLastError(char* buffer, int size)
{
    const Script script = Load("tsrGetLastError", size);
    if (size > 0)
        std::snprintf(buffer, static_cast<std::size_t>(size), "%s", script.error.c_str());
    return 0;
}
