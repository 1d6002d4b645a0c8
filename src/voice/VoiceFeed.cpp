#include "voice/VoiceFeed.h"

#include "platform/Runtime.h"
#include "shell/Config.h"
#include "shell/Settings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <QUrl>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

namespace quadrantel::voice {

namespace {

std::optional<std::string> Callsign(const QJsonValue& v)
{
    if (!v.isString())
        return std::nullopt;
    const QByteArray text = v.toString().trimmed().toLatin1();
    if (text.isEmpty() || static_cast<std::size_t>(text.size()) > kMaxFeedCallsign)
        return std::nullopt;
    return text.toStdString();
}

// Whole Hz; 0 for anything that is no plausible frequency.
std::int64_t Frequency(const QJsonValue& v)
{
    if (!v.isDouble())
        return 0;
    const double hz = v.toDouble();
    if (!std::isfinite(hz) || hz < 1 || hz > 1e12)
        return 0;
    return std::llround(hz);
}

bool Flag(const QJsonValue& v, bool otherwise)
{
    return v.isBool() ? v.toBool() : otherwise;
}

// A station without a frequency cannot be told from the others.
std::optional<FeedStation> Station(const QJsonValue& v)
{
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    FeedStation s;
    s.frequencyHz = Frequency(o.value("frequency"));
    if (s.frequencyHz == 0)
        return std::nullopt;
    s.callsign = Callsign(o.value("callsign")).value_or("");
    s.rx = Flag(o.value("rx"), true);
    s.tx = Flag(o.value("tx"), false);
    return s;
}

// kFrequencyStateUpdate: every received frequency, transmit where the tx list has it too.
std::vector<FeedStation> TunedFrequencies(const QJsonObject& v)
{
    const auto entries = [&](const char* list) {
        std::vector<FeedStation> out;
        for (const auto& item : v.value(list).toArray()) {
            const QJsonObject o = item.toObject();
            FeedStation s{Callsign(o.value("pCallsign")).value_or(""), Frequency(o.value("pFrequencyHz"))};
            if (s.frequencyHz != 0)
                out.push_back(std::move(s));
        }
        return out;
    };
    std::vector<FeedStation> stations = entries("rx");
    for (const FeedStation& t : entries("tx")) {
        const auto same = [&](const FeedStation& s) { return s.frequencyHz == t.frequencyHz; };
        if (const auto it = std::find_if(stations.begin(), stations.end(), same); it != stations.end())
            it->tx = true;
        else
            stations.push_back({t.callsign, t.frequencyHz, false, true});
    }
    return stations;
}

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

} // namespace

FeedEvent ParseFeedFrame(const QByteArray& frame)
{
    FeedEvent e;
    if (frame.size() > kMaxFeedFrameBytes)
        return e;
    const QJsonDocument doc = QJsonDocument::fromJson(frame);
    if (!doc.isObject())
        return e;
    const QJsonObject root = doc.object();
    const QJsonValue typeValue = root.value("type");
    const QJsonValue value = root.value("value");
    if (!typeValue.isString() || !value.isObject())
        return e;
    const QString type = typeValue.toString();
    const QJsonObject v = value.toObject();

    if (type == "kRxBegin" || type == "kRxEnd") {
        const auto call = Callsign(v.value("callsign"));
        if (!call)
            return e;
        e.callsign = *call;
        e.frequencyHz = Frequency(v.value("pFrequencyHz"));
        if (const QJsonValue active = v.value("activeTransmitters"); active.isArray()) {
            e.activeTransmitters.emplace();
            for (const auto& a : active.toArray())
                if (const auto c = Callsign(a))
                    e.activeTransmitters->push_back(*c);
        }
        e.kind = type == "kRxBegin" ? FeedEvent::Kind::RxBegin : FeedEvent::Kind::RxEnd;
    } else if (type == "kVoiceConnectedState") {
        const QJsonValue connected = v.value("connected");
        if (!connected.isBool())
            return e;
        e.connected = connected.toBool();
        e.kind = FeedEvent::Kind::VoiceConnected;
    } else if (type == "kStationStates") {
        const QJsonValue stations = v.value("stations");
        if (!stations.isArray())
            return e;
        for (const auto& item : stations.toArray()) {
            const QJsonObject o = item.toObject();
            if (o.value("type").toString() != "kStationStateUpdate")
                continue;
            if (auto s = Station(o.value("value")))
                e.stations.push_back(std::move(*s));
        }
        e.kind = FeedEvent::Kind::StationStates;
    } else if (type == "kStationStateUpdate") {
        auto s = Station(v);
        if (!s)
            return e;
        e.stations.push_back(std::move(*s));
        e.kind = FeedEvent::Kind::StationUpdate;
    } else if (type == "kFrequencyStateUpdate") {
        e.stations = TunedFrequencies(v);
        e.kind = FeedEvent::Kind::FrequencyState;
    } else if (type == "kFrequencyRemoved") {
        e.frequencyHz = Frequency(v.value("frequency"));
        if (e.frequencyHz != 0)
            e.kind = FeedEvent::Kind::FrequencyRemoved;
    }
    return e;
}

std::optional<std::vector<std::int64_t>> ParseFrequencyList(const std::string& text, std::string* error)
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
            if (error)
                *error = item;
            return std::nullopt;
        }
        if (std::find(out.begin(), out.end(), *khz) == out.end())
            out.push_back(*khz);
        i = end;
    }
    return out;
}

bool IsTransmitChoice(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(" \t");
    const std::size_t last = text.find_last_not_of(" \t");
    return first != std::string::npos && platform::UCase(text.substr(first, last - first + 1)) == "TX";
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
