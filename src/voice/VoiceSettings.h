#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The voice source chosen in [Setup], and the reading of its boxes, shared by the setup window
// and the voice client.
namespace quadrantel::voice {

// The air band in kHz.
constexpr std::int64_t kAirBandLowKHz = 108000;
constexpr std::int64_t kAirBandHighKHz = 136975;

// Which transmissions VoiceFrequencies counts.
struct FrequencyRule {
    enum class Kind {
        Received, // blank: every frequency the client receives
        Transmit, // TX: the frequencies where the controller has transmit selected
        Listed,   // these, in whole kHz
    };
    Kind kind = Kind::Received;
    std::vector<std::int64_t> kHz;
};

// "TX" in any case, blank, or "118.700, 121.800" (MHz, separated by commas, semicolons or
// blanks). Returns nothing and names the bad entry in *bad when one is no air-band frequency;
// "118,700" is a decimal comma, refused whole rather than read as two entries. Reads the same
// in every locale.
std::optional<FrequencyRule> ParseFrequencyRule(const std::string& text, std::string* bad = nullptr);

// "118.700" for 118700000 Hz, in every locale.
std::string MegahertzText(std::int64_t hz);

// Whether a frequency in Hz is one of the listed kHz; an empty list takes every frequency.
bool FrequencyListed(const std::vector<std::int64_t>& kHz, std::int64_t hz);

inline constexpr const char* kDefaultVoiceURL = "ws://127.0.0.1:49080/ws";

// A configuration file without the keys keeps the library.
struct VoiceSettings {
    bool webSocket = false;             // VoiceSource: "TSRemote" (default) or "WebSocket"
    std::string url = kDefaultVoiceURL; // VoiceURL
    std::string frequencies;            // VoiceFrequencies, as typed
};
VoiceSettings ReadVoiceSettings(const std::string& configFile);
// False when the file could not be written.
bool WriteVoiceSettings(const std::string& configFile, const VoiceSettings& settings);

// Why a voice client's address cannot be used, or the empty text when it can.
std::string VoiceURLProblem(const std::string& url);

} // namespace quadrantel::voice
