#pragma once

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The newer voice client's events: one JSON object per WebSocket text frame.
namespace quadrantel::voice {

// Larger frames are refused before they are parsed.
constexpr qint64 kMaxEventFrameBytes = qint64(1024) * 1024;
// Longer callsigns are no pilot's and would only fill memory.
constexpr std::size_t kMaxCallsign = 32;

// One of the controller's stations: a frequency the client is tuned to.
struct VoiceStation {
    std::string callsign;         // empty when not given; "MANUAL" for a hand-tuned frequency
    std::int64_t frequencyHz = 0; // 0: not given
    bool rx = true;
    bool tx = false;
};

struct VoiceEvent {
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
    std::vector<VoiceStation> stations;
};

// The two requests the client answers (clients before 2025 ignore them).
inline constexpr const char* kAskVoiceConnected = R"({"type":"kGetVoiceConnectedState"})";
inline constexpr const char* kAskStationStates = R"({"type":"kGetStationStates"})";

// Anything malformed, unknown or of the wrong JSON type reads as Ignored; never throws.
VoiceEvent ParseVoiceEvent(const QByteArray& frame);

} // namespace quadrantel::voice
