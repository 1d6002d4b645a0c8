// A stand-in for the voice client's remote-control library. Its answers come from the script
// file named by $FAKE_TSREMOTE_SCRIPT, read anew on every call:
//   players <result> <count|*>                    * = the number of player lines
//   player <id> <channel> <chan> <server> <flags> <nickname>
//   speakers <result> <count|*> <id>...
//   error <text>
// Each call appends "<function> <count or size given>" to $FAKE_TSREMOTE_LOG when set.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#if defined(_WIN32)
#define FAKE_EXPORT extern "C" __declspec(dllexport)
#define FAKE_CALL __stdcall
#else
#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))
#define FAKE_CALL
#endif

namespace {

struct Player {
    std::int32_t id = 0, channel = 0;
    std::uint32_t chan = 0, server = 0, flags = 0;
    std::string nick;
};

struct Script {
    int playersResult = -1000;
    std::string playersCount = "*";
    std::vector<Player> players;
    int speakersResult = -1000;
    std::string speakersCount = "*";
    std::vector<std::int32_t> speakers;
    std::string error;
};

Script Load()
{
    Script script;
    const char* path = std::getenv("FAKE_TSREMOTE_SCRIPT");
    if (!path)
        return script;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string key;
        words >> key;
        if (key == "players") {
            words >> script.playersResult >> script.playersCount;
        } else if (key == "player") {
            Player p;
            words >> p.id >> p.channel >> p.chan >> p.server >> p.flags;
            words.get();
            std::getline(words, p.nick);
            script.players.push_back(p);
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

void Note(const char* function, int given)
{
    if (const char* path = std::getenv("FAKE_TSREMOTE_LOG"))
        std::ofstream(path, std::ios::app) << function << ' ' << given << '\n';
}

void PutLong(unsigned char* at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<unsigned char>(value >> (8 * i));
}

int CountOf(const std::string& scripted, std::size_t actual)
{
    return scripted == "*" ? static_cast<int>(actual) : std::atoi(scripted.c_str());
}

} // namespace

FAKE_EXPORT int FAKE_CALL tsrGetPlayers(void* records, int* count)
{
    const Script script = Load();
    Note("tsrGetPlayers", *count);
    auto* bytes = static_cast<unsigned char*>(records);
    const std::size_t room = *count > 0 ? static_cast<std::size_t>(*count) : 0;
    for (std::size_t i = 0; i < script.players.size() && i < room; ++i) {
        const Player& p = script.players[i];
        unsigned char* r = bytes + i * 50;
        PutLong(r, static_cast<std::uint32_t>(p.id));
        PutLong(r + 4, static_cast<std::uint32_t>(p.channel));
        std::memset(r + 8, 0, 30);
        std::memcpy(r + 8, p.nick.data(), p.nick.size() < 30 ? p.nick.size() : 30);
        PutLong(r + 38, p.chan);
        PutLong(r + 42, p.server);
        PutLong(r + 46, p.flags);
    }
    *count = CountOf(script.playersCount, script.players.size());
    return script.playersResult;
}

// The partial build lacks this function, like an incompatible library version.
#ifndef FAKE_TSREMOTE_NO_SPEAKERS
FAKE_EXPORT int FAKE_CALL tsrGetSpeakers(int* ids, int* count)
{
    const Script script = Load();
    Note("tsrGetSpeakers", *count);
    for (std::size_t i = 0; i < script.speakers.size() && static_cast<int>(i) < *count; ++i)
        ids[i] = script.speakers[i];
    *count = CountOf(script.speakersCount, script.speakers.size());
    return script.speakersResult;
}
#endif

FAKE_EXPORT int FAKE_CALL tsrGetLastError(char* buffer, int size)
{
    const Script script = Load();
    Note("tsrGetLastError", size);
    if (size > 0) {
        const std::size_t n = script.error.size() < static_cast<std::size_t>(size - 1)
                                  ? script.error.size()
                                  : static_cast<std::size_t>(size - 1);
        std::memcpy(buffer, script.error.data(), n);
        buffer[n] = '\0';
    }
    return 0;
}
