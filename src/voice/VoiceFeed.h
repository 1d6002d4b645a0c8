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

// One of the controller's stations: a frequency the client is tuned to.
struct FeedStation {
    std::string callsign;         // empty when not given; "MANUAL" for a hand-tuned frequency
    std::int64_t frequencyHz = 0; // 0: not given
    bool rx = true;
    bool tx = false;
};

struct FeedEvent {
    enum class Kind {
        Ignored,
        RxBegin,
        RxEnd,
        VoiceConnected,
        StationStates,  // every station, in answer to the request
        StationUpdate,  // one station
        FrequencyState, // every tuned frequency, sent on connect and on Disconnect (then none)
        FrequencyRemoved,
    };
    Kind kind = Kind::Ignored;
    std::string callsign;
    std::int64_t frequencyHz = 0; // 0: not given
    std::optional<std::vector<std::string>> activeTransmitters;
    bool connected = false;
    // All of them for StationStates and FrequencyState, one for StationUpdate.
    std::vector<FeedStation> stations;
};

// The two requests the client answers (clients before 2025 ignore them).
inline constexpr const char* kAskVoiceConnected = R"({"type":"kGetVoiceConnectedState"})";
inline constexpr const char* kAskStationStates = R"({"type":"kGetStationStates"})";

// Anything malformed, unknown or of the wrong JSON type reads as Ignored; never throws.
FeedEvent ParseFeedFrame(const QByteArray& frame);

// The air band in kHz.
constexpr std::int64_t kAirBandLowKHz = 108000;
constexpr std::int64_t kAirBandHighKHz = 136975;

// "118.700, 121.800" (MHz, separated by commas, semicolons or blanks) as whole kHz; blank is
// the empty list. Returns nothing and names the bad entry in *error when one is no air-band
// frequency; "118,700" is a decimal comma, refused whole rather than read as two entries.
// Reads the same in every locale.
std::optional<std::vector<std::int64_t>> ParseFrequencyList(const std::string& text, std::string* error = nullptr);

// VoiceFrequencies=TX: the frequencies where the controller has transmit selected.
bool IsTransmitChoice(const std::string& text);

// "118.700" for 118700000 Hz, in every locale.
std::string MegahertzText(std::int64_t hz);

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
