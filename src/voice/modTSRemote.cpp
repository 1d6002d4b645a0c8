#include "voice/modTSRemote.h"

#include "platform/Runtime.h"
#include "platform/RuntimeError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

#if defined(_WIN32)
#define TSR_CALL __stdcall
#else
#define TSR_CALL
#endif

namespace quadrantel::voice {

using platform::HWND;

std::vector<PlayerInfo> PlayerTable;
std::vector<std::int32_t> SpeakerTable;
HWND VoiceMainWindow = 0;
HWND VoiceLogWindow = 0;

namespace {

MessageLine g_messageLine;

using GetPlayersFn = int(TSR_CALL*)(void* records, int* count);
using GetSpeakersFn = int(TSR_CALL*)(int* ids, int* count);
using GetLastErrorFn = int(TSR_CALL*)(char* buffer, int size);

constexpr const char* kLibraryName = "TSRemote";

std::unique_ptr<QLibrary>& Library()
{
    static std::unique_ptr<QLibrary> library;
    return library;
}

QString LibraryFileName()
{
#if defined(_WIN32)
    return QStringLiteral("TSRemote.dll");
#elif defined(__APPLE__)
    return QStringLiteral("libTSRemote.dylib");
#else
    return QStringLiteral("libTSRemote.so");
#endif
}

QString ExecutableFolder()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    const QFileInfo self(QStringLiteral("/proc/self/exe"));
    return self.exists() ? QFileInfo(self.symLinkTarget()).absolutePath() : QString();
}

QLibrary& LoadedLibrary()
{
    auto& library = Library();
    if (library && library->isLoaded())
        return *library;
    for (const std::string& candidate : TSRemoteCandidates()) {
        auto attempt = std::make_unique<QLibrary>(QString::fromStdString(candidate));
        if (attempt->load()) {
            library = std::move(attempt);
            return *library;
        }
    }
    throw platform::RuntimeError(53, kLibraryName, std::string("File not found: ") + kLibraryName);
}

template <typename Fn> Fn Resolve(const char* name)
{
    auto function = LoadedLibrary().resolve(name);
    if (!function)
        throw platform::RuntimeError(453, kLibraryName,
                                     std::string("Can't find DLL entry point ") + name + " in " + kLibraryName);
    return reinterpret_cast<Fn>(function);
}

// A count the library hands back, kept within the buffer it was given.
int ClampCount(int count)
{
    return std::clamp(count, 0, kRemoteCapacity);
}

std::string RightsText(std::uint32_t bits, std::initializer_list<const char*> texts)
{
    std::string result;
    std::uint32_t bit = 1;
    for (const char* text : texts) {
        if (bits & bit)
            result += text;
        bit <<= 1;
    }
    if (result.empty())
        return "none";
    result.pop_back(); // the last text's comma
    return result;
}

} // namespace

RawPlayerInfo RawPlayerInfo::Decode(const unsigned char* b)
{
    RawPlayerInfo raw;
    raw.PlayerID = BytesToLong(b[0], b[1], b[2], b[3]);
    raw.ChannelID = BytesToLong(b[4], b[5], b[6], b[7]);
    std::memcpy(raw.NickName, b + 8, sizeof raw.NickName);
    raw.ChannelPrivileges = static_cast<std::uint32_t>(BytesToLong(b[38], b[39], b[40], b[41]));
    raw.ServerPrivileges = static_cast<std::uint32_t>(BytesToLong(b[42], b[43], b[44], b[45]));
    raw.PlayerFlags = static_cast<std::uint32_t>(BytesToLong(b[46], b[47], b[48], b[49]));
    return raw;
}

std::int32_t BytesToLong(unsigned char b0, unsigned char b1, unsigned char b2, unsigned char b3)
{
    const std::uint32_t value = static_cast<std::uint32_t>(b0) | static_cast<std::uint32_t>(b1) << 8 |
                                static_cast<std::uint32_t>(b2) << 16 | static_cast<std::uint32_t>(b3) << 24;
    return static_cast<std::int32_t>(value);
}

std::string ChannelRightsText(std::uint32_t bits)
{
    return RightsText(bits, {"Admin,", "Operator,", "Auto-Operator,", "Voice,", "Auto-Voice,"});
}

std::string ServerRightsText(std::uint32_t bits)
{
    std::string result;
    if (bits & 1)
        result += "SuperServerAdmin,";
    if (bits & 2)
        result += "ServerAdmin,";
    if (bits & 4)
        result += "CanRegister,";
    result += (bits & 8) ? "Registered" : "Unregistered";
    return result;
}

std::string PlayerStatusText(std::uint32_t bits)
{
    return RightsText(
        bits, {"ChannelCommander,", "WantVoice,", "NoWhisper,", "Away,", "InputMuted,", "OutputMuted,", "Recording,"});
}

PlayerInfo ToPlayerInfo(const RawPlayerInfo& raw)
{
    PlayerInfo info;
    info.PlayerID = raw.PlayerID;
    info.ChannelID = raw.ChannelID;
    // A field without a zero byte is a full 30-character name, not a reason to read past it.
    const char* end = std::find(std::begin(raw.NickName), std::end(raw.NickName), '\0');
    info.NickName.assign(std::begin(raw.NickName), end);
    info.ChannelRights = ChannelRightsText(raw.ChannelPrivileges);
    info.ServerRights = ServerRightsText(raw.ServerPrivileges);
    info.PlayerStatus = PlayerStatusText(raw.PlayerFlags);
    return info;
}

VoiceState VoiceStateOf(int result)
{
    switch (result) {
    case 0:
        return VoiceState::Connected;
    case -1:
        return VoiceState::NotConnected;
    case -1000:
        return VoiceState::NotRunning;
    default:
        return VoiceState::Undetermined;
    }
}

void SetVoiceMessageLine(MessageLine line)
{
    g_messageLine = std::move(line);
}

std::vector<std::string> TSRemoteCandidates()
{
    const char* overridden = std::getenv("QUADRANTEL_TSREMOTE");
    // Only an absolute path: a relative one would depend on the working directory.
    if (overridden && *overridden && QDir::isAbsolutePath(QString::fromLocal8Bit(overridden)))
        return {overridden};
    std::vector<std::string> candidates;
    const QString folder = ExecutableFolder();
    if (!folder.isEmpty())
        candidates.push_back(QDir(folder).filePath(LibraryFileName()).toStdString());
    candidates.push_back(LibraryFileName().toStdString());
    return candidates;
}

void UnloadTSRemote()
{
    auto& library = Library();
    if (library)
        library->unload();
    library.reset();
}

void ShowVoiceError()
{
    auto getLastError = Resolve<GetLastErrorFn>("tsrGetLastError");
    char buffer[1024] = {};
    getLastError(buffer, static_cast<int>(sizeof buffer));
    buffer[sizeof buffer - 1] = '\0'; // a library that fills the whole buffer still ends here
    if (g_messageLine)
        g_messageLine(buffer);
}

bool ReadPlayerList()
{
    auto getPlayers = Resolve<GetPlayersFn>("tsrGetPlayers");
    std::vector<unsigned char> records(kRemoteCapacity * kRawPlayerInfoSize);
    int count = kRemoteCapacity;
    if (getPlayers(records.data(), &count) != 0) {
        ShowVoiceError();
        return false;
    }
    std::vector<PlayerInfo> table(static_cast<std::size_t>(ClampCount(count)));
    for (std::size_t i = 0; i < table.size(); ++i)
        table[i] = ToPlayerInfo(RawPlayerInfo::Decode(records.data() + i * kRawPlayerInfoSize));
    PlayerTable = std::move(table);
    return true;
}

VoiceState ReadSpeakers()
{
    auto getSpeakers = Resolve<GetSpeakersFn>("tsrGetSpeakers");
    SpeakerTable.assign(kRemoteCapacity, 0);
    int count = kRemoteCapacity;
    const int result = getSpeakers(SpeakerTable.data(), &count);
    const VoiceState state = VoiceStateOf(result);
    if (result == 0 && ClampCount(count) > 0) {
        SpeakerTable.resize(static_cast<std::size_t>(ClampCount(count)));
    } else {
        // Whatever a failed or empty answer left in the buffer is no speaker.
        SpeakerTable.assign(kRemoteCapacity, 0);
    }
    if (state == VoiceState::Undetermined)
        ShowVoiceError();
    return state;
}

void FindVoiceClient()
{
    VoiceMainWindow = platform::FindWindowA(nullptr, "TeamSpeak 2");
    if (VoiceMainWindow == 0) {
        VoiceLogWindow = 0;
        return;
    }
    platform::EnumChildWindows(VoiceMainWindow, VoiceLogChildProc, 0);
}

bool VoiceLogChildProc(HWND window, std::intptr_t)
{
    char className[50] = {};
    platform::GetClassNameA(window, className, static_cast<int>(sizeof className));
    if (platform::UCase(std::string(className).substr(0, 18)) != "TRICHEDITWITHLINKS")
        return true;
    const std::string text = GetWindowTextByMessage(window);
    if (platform::Trim(text).empty())
        return true;
    for (const char* pane : {"Server:", "Channel:", "Player:"})
        if (text.starts_with(pane))
            return true;
    VoiceLogWindow = window;
    return true;
}

std::string GetWindowTextByMessage(HWND window)
{
    return platform::GetTextByMessage(window);
}

std::int32_t GetVoiceLogLength()
{
    return static_cast<std::int32_t>(platform::SendMessageA(VoiceLogWindow, platform::WM_GETTEXTLENGTH, 0, 0));
}

std::string GetVoiceLogText()
{
    return GetWindowTextByMessage(VoiceLogWindow);
}

namespace {

class RemoteClient final : public VoiceClient {
public:
    VoiceState ReadSpeakers() override { return voice::ReadSpeakers(); }
    const std::vector<std::int32_t>& Speakers() override { return SpeakerTable; }
    bool ReadPlayerList() override { return voice::ReadPlayerList(); }
    const std::vector<PlayerInfo>& Players() override { return PlayerTable; }
    void FindVoiceClient() override { voice::FindVoiceClient(); }
    std::int32_t GetVoiceLogLength() override { return voice::GetVoiceLogLength(); }
    std::string GetVoiceLogText() override { return voice::GetVoiceLogText(); }
};

} // namespace

VoiceClient& RemoteVoiceClient()
{
    static RemoteClient client;
    return client;
}

} // namespace quadrantel::voice
