#pragma once

#include "platform/WindowSystem.h"
#include "voice/VoiceClient.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The voice client's remote-control library and its windows.
namespace quadrantel::voice {

constexpr std::size_t kRawPlayerInfoSize = 50;
// Records and ids offered to the library per call.
constexpr int kRemoteCapacity = 1024;

// One record as the library writes it: 50 packed little-endian bytes.
struct RawPlayerInfo {
    std::int32_t PlayerID = 0;
    std::int32_t ChannelID = 0;
    char NickName[30] = {};
    std::uint32_t ChannelPrivileges = 0;
    std::uint32_t ServerPrivileges = 0;
    std::uint32_t PlayerFlags = 0;

    static RawPlayerInfo Decode(const unsigned char* bytes);
};

// Shared with the speaker cycle; replaced by each read, never appended to.
extern std::vector<PlayerInfo> PlayerTable;
extern std::vector<std::int32_t> SpeakerTable; // ids below 1 are empty slots
extern platform::HWND VoiceMainWindow;
extern platform::HWND VoiceLogWindow;

// Where ShowVoiceError puts the library's text; the main window points it at its message line.
using MessageLine = std::function<void(const std::string&)>;
void SetVoiceMessageLine(MessageLine line);

std::int32_t BytesToLong(unsigned char b0, unsigned char b1, unsigned char b2, unsigned char b3);
PlayerInfo ToPlayerInfo(const RawPlayerInfo& raw);
std::string ChannelRightsText(std::uint32_t bits);
std::string ServerRightsText(std::uint32_t bits);
std::string PlayerStatusText(std::uint32_t bits);
VoiceState VoiceStateOf(int result);

// The library calls throw platform::RuntimeError when the library cannot be loaded (53) or
// lacks the function (453).
void ShowVoiceError();
bool ReadPlayerList();
VoiceState ReadSpeakers();

// The library is loaded on first use: the absolute path in $QUADRANTEL_TSREMOTE when set,
// else the executable's folder, else the loader's search path.
std::vector<std::string> TSRemoteCandidates();
// Lets the next call load the library afresh.
void UnloadTSRemote();

void FindVoiceClient();
bool VoiceLogChildProc(platform::HWND window, std::intptr_t lParam);
std::string GetWindowTextByMessage(platform::HWND window);
std::int32_t GetVoiceLogLength();
std::string GetVoiceLogText();

// The voice client reached through the remote library and its windows.
VoiceClient& RemoteVoiceClient();

} // namespace quadrantel::voice
