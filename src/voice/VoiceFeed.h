#pragma once

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The event feed of the newer voice client: one JSON object per text frame.
namespace quadrantel::voice {

// Larger frames are refused before they are parsed.
constexpr qint64 kMaxFeedFrameBytes = qint64(1024) * 1024;
// Longer callsigns are no pilot's and would only fill memory.
constexpr std::size_t kMaxFeedCallsign = 32;

struct FeedStation {
    std::string callsign;
    std::int64_t frequencyHz = 0; // 0: not given
};

struct FeedEvent {
    enum class Kind { Ignored, RxBegin, RxEnd, VoiceConnected, StationStates, StationUpdate };
    Kind kind = Kind::Ignored;
    std::string callsign;
    std::int64_t frequencyHz = 0; // 0: not given
    std::optional<std::vector<std::string>> activeTransmitters;
    bool connected = false;
    std::vector<FeedStation> stations; // all of them for StationStates, one for StationUpdate
};

// Anything malformed, unknown or of the wrong JSON type reads as Ignored; never throws.
FeedEvent ParseFeedFrame(const QByteArray& frame);

// "118.700, 121.800" (MHz, separated by commas, semicolons or blanks) as whole kHz; blank is
// the empty list. Returns nothing and names the bad entry in *error when one is no frequency.
std::optional<std::vector<std::int64_t>> ParseFrequencyList(const std::string& text, std::string* error = nullptr);

// Whether a feed frequency in Hz is one of the listed kHz; an empty list takes every frequency.
bool FrequencyListed(const std::vector<std::int64_t>& kHz, std::int64_t hz);

inline constexpr const char* kDefaultVoiceURL = "ws://127.0.0.1:49080/ws";

// The voice source chosen in [Setup]; a configuration file without the keys keeps the library.
struct VoiceSettings {
    bool webSocket = false;             // VoiceSource: "TSRemote" (default) or "WebSocket"
    std::string url = kDefaultVoiceURL; // VoiceURL
    std::string frequencies;            // VoiceFrequencies, as typed
};
VoiceSettings ReadVoiceSettings(const std::string& configFile);
// False when the file could not be written.
bool WriteVoiceSettings(const std::string& configFile, const VoiceSettings& settings);

// Why a feed address cannot be used, or the empty text when it can.
std::string VoiceURLProblem(const std::string& url);

} // namespace quadrantel::voice
