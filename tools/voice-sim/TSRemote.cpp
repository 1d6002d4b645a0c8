// The voice client's remote-control library, answering from the simulated client's state file.
#include "VoiceState.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>

namespace {

constexpr int kOk = 0;
constexpr int kNotConnected = -1;
constexpr int kNotRunning = -1000;
constexpr int kRecordSize = 50;

thread_local std::string g_lastError;

void PutLong(unsigned char* at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<unsigned char>(v >> (8 * i));
}

// The state of a running, connected client; otherwise the error result.
int Current(voicesim::State& state)
{
    if (!voicesim::Read(voicesim::StatePath(), state) || state.pid <= 0 ||
        (kill(static_cast<pid_t>(state.pid), 0) != 0 && errno == ESRCH)) {
        g_lastError = "TeamSpeak is not running";
        return kNotRunning;
    }
    if (!state.connected) {
        g_lastError = "TeamSpeak is not connected to a server";
        return kNotConnected;
    }
    g_lastError.clear();
    return kOk;
}

} // namespace

extern "C" {

__attribute__((visibility("default"))) int tsrGetPlayers(void* records, int* count)
{
    if (!records || !count) {
        g_lastError = "Invalid argument";
        return -2;
    }
    voicesim::State state;
    const int result = Current(state);
    if (result != kOk) {
        *count = 0;
        return result;
    }
    const int n = std::min(std::max(*count, 0), static_cast<int>(state.players.size()));
    auto* out = static_cast<unsigned char*>(records);
    for (int i = 0; i < n; ++i) {
        const voicesim::Player& p = state.players[static_cast<std::size_t>(i)];
        unsigned char* r = out + i * kRecordSize;
        std::memset(r, 0, kRecordSize);
        PutLong(r, static_cast<std::uint32_t>(p.id));
        PutLong(r + 4, static_cast<std::uint32_t>(p.channel));
        std::memcpy(r + 8, p.nick.data(), std::min<std::size_t>(p.nick.size(), 29));
        PutLong(r + 38, p.channelRights);
        PutLong(r + 42, p.serverRights);
        PutLong(r + 46, p.flags);
    }
    *count = n;
    return kOk;
}

__attribute__((visibility("default"))) int tsrGetSpeakers(int* ids, int* count)
{
    if (!ids || !count) {
        g_lastError = "Invalid argument";
        return -2;
    }
    voicesim::State state;
    const int result = Current(state);
    if (result != kOk) {
        *count = 0;
        return result;
    }
    const int n = std::min(std::max(*count, 0), static_cast<int>(state.speakers.size()));
    std::copy_n(state.speakers.begin(), n, ids);
    *count = n;
    return kOk;
}

__attribute__((visibility("default"))) int tsrGetLastError(char* buffer, int size)
{
    if (!buffer || size <= 0)
        return -2;
    const std::size_t n = std::min(g_lastError.size(), static_cast<std::size_t>(size - 1));
    std::memcpy(buffer, g_lastError.data(), n);
    buffer[n] = '\0';
    return kOk;
}

} // extern "C"
