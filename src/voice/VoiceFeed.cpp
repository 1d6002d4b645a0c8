#include "voice/VoiceFeed.h"

#include "platform/Runtime.h"
#include "shell/Config.h"
#include "shell/Settings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include <QUrl>

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

std::optional<FeedStation> Station(const QJsonValue& v)
{
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    const auto call = Callsign(o.value("callsign"));
    if (!call)
        return std::nullopt;
    return FeedStation{*call, Frequency(o.value("frequency"))};
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
    }
    return e;
}

std::optional<std::vector<std::int64_t>> ParseFrequencyList(const std::string& text, std::string* error)
{
    std::vector<std::int64_t> out;
    std::string item;
    const auto take = [&]() -> bool {
        if (item.empty())
            return true;
        // Digits with at most one point; "118.7" and "118.700" are the same channel.
        const bool digits =
            std::all_of(item.begin(), item.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
        const bool onePoint = std::count(item.begin(), item.end(), '.') <= 1 && item != ".";
        const double mhz = digits && onePoint ? std::atof(item.c_str()) : 0;
        if (!(mhz >= 1 && mhz < 100000)) {
            if (error)
                *error = item;
            return false;
        }
        const std::int64_t khz = std::llround(mhz * 1000);
        if (std::find(out.begin(), out.end(), khz) == out.end())
            out.push_back(khz);
        item.clear();
        return true;
    };
    for (const char c : text) {
        if (c == ',' || c == ';' || c == ' ' || c == '\t') {
            if (!take())
                return std::nullopt;
        } else {
            item += c;
        }
    }
    if (!take())
        return std::nullopt;
    return out;
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
