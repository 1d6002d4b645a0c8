#include "voice/VoiceSettings.h"

#include "platform/Runtime.h"
#include "shell/Config.h"
#include "shell/Settings.h"

#include <QUrl>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

namespace quadrantel::voice {

namespace {

// Digits with at most one point, as MHz; nothing for any other text.
std::optional<std::int64_t> KiloHertz(const std::string& item)
{
    const bool digits =
        std::all_of(item.begin(), item.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
    if (!digits || std::count(item.begin(), item.end(), '.') > 1 || item.front() == '.' || item.back() == '.')
        return std::nullopt;
    // from_chars, unlike atof, does not follow the C locale, where the point may be a comma.
    double mhz = 0;
    const auto [end, ec] = std::from_chars(item.data(), item.data() + item.size(), mhz);
    if (ec != std::errc() || end != item.data() + item.size())
        return std::nullopt;
    const std::int64_t khz = std::llround(mhz * 1000);
    if (khz < kAirBandLowKHz || khz > kAirBandHighKHz)
        return std::nullopt;
    return khz;
}

std::optional<std::vector<std::int64_t>> ParseFrequencyList(const std::string& text, std::string* bad)
{
    std::vector<std::int64_t> out;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == ',' || c == ';' || c == ' ' || c == '\t') {
            ++i;
            continue;
        }
        std::size_t end = text.find_first_of(",; \t", i);
        if (end == std::string::npos)
            end = text.size();
        // A comma between digits of an entry without a point is a decimal comma: the whole
        // "118,700" is refused, not taken as 118 and 700.
        while (end < text.size() && text[end] == ',' && end + 1 < text.size() &&
               std::isdigit(static_cast<unsigned char>(text[end + 1])) &&
               text.substr(i, end - i).find('.') == std::string::npos) {
            end = text.find_first_of(",; \t", end + 1);
            if (end == std::string::npos)
                end = text.size();
        }
        const std::string item = text.substr(i, end - i);
        const auto khz = item.find(',') == std::string::npos ? KiloHertz(item) : std::nullopt;
        if (!khz) {
            if (bad)
                *bad = item;
            return std::nullopt;
        }
        if (std::find(out.begin(), out.end(), *khz) == out.end())
            out.push_back(*khz);
        i = end;
    }
    return out;
}

} // namespace

std::optional<FrequencyRule> ParseFrequencyRule(const std::string& text, std::string* bad)
{
    if (platform::UCase(platform::Trim(text)) == "TX")
        return FrequencyRule{FrequencyRule::Kind::Transmit, {}};
    auto list = ParseFrequencyList(text, bad);
    if (!list)
        return std::nullopt;
    if (list->empty())
        return FrequencyRule{};
    return FrequencyRule{FrequencyRule::Kind::Listed, std::move(*list)};
}

std::string MegahertzText(std::int64_t hz)
{
    const std::int64_t khz = (hz + 500) / 1000;
    char digits[4] = {char('0' + khz / 100 % 10), char('0' + khz / 10 % 10), char('0' + khz % 10), 0};
    return std::to_string(khz / 1000) + "." + digits;
}

bool FrequencyListed(const std::vector<std::int64_t>& kHz, std::int64_t hz)
{
    if (kHz.empty())
        return true;
    const std::int64_t k = (hz + 500) / 1000;
    return std::find(kHz.begin(), kHz.end(), k) != kHz.end();
}

VoiceSettings ReadVoiceSettings(const std::string& configFile)
{
    VoiceSettings s;
    s.webSocket =
        platform::UCase(shell::ReadIniValue(configFile, "VoiceSource", "TSRemote", shell::kSetup)) == "WEBSOCKET";
    s.url = shell::ReadIniValue(configFile, "VoiceURL", kDefaultVoiceURL, shell::kSetup);
    if (s.url.empty())
        s.url = kDefaultVoiceURL;
    s.frequencies = shell::ReadIniValue(configFile, "VoiceFrequencies", "", shell::kSetup);
    return s;
}

bool WriteVoiceSettings(const std::string& configFile, const VoiceSettings& s)
{
    // A file that never named a voice source stays as it was while the choice is the default.
    const VoiceSettings defaults;
    if (!s.webSocket && s.url == defaults.url && s.frequencies.empty() &&
        shell::ReadIniValue(configFile, "VoiceSource", "", shell::kSetup).empty())
        return true;
    bool ok = shell::WriteIniValue(configFile, shell::kSetup, "VoiceSource", s.webSocket ? "WebSocket" : "TSRemote");
    ok = shell::WriteIniValue(configFile, shell::kSetup, "VoiceURL", s.url) && ok;
    ok = shell::WriteIniValue(configFile, shell::kSetup, "VoiceFrequencies", s.frequencies) && ok;
    return ok;
}

std::string VoiceURLProblem(const std::string& url)
{
    const QUrl u(QString::fromStdString(url), QUrl::StrictMode);
    if (!u.isValid() || (u.scheme() != "ws" && u.scheme() != "wss") || u.host().isEmpty())
        return "The voice client's address must look like " + std::string(kDefaultVoiceURL);
    return {};
}

} // namespace quadrantel::voice
