#include "voice/VoiceEvents.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>
#include <unordered_map>

namespace quadrantel::voice {

namespace {

std::optional<std::string> Callsign(const QJsonValue& v)
{
    if (!v.isString())
        return std::nullopt;
    const QByteArray text = v.toString().trimmed().toLatin1();
    if (text.isEmpty() || static_cast<std::size_t>(text.size()) > kMaxCallsign)
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
std::optional<VoiceStation> Station(const QJsonValue& v)
{
    if (!v.isObject())
        return std::nullopt;
    const QJsonObject o = v.toObject();
    VoiceStation s;
    s.frequencyHz = Frequency(o.value("frequency"));
    if (s.frequencyHz == 0)
        return std::nullopt;
    s.callsign = Callsign(o.value("callsign")).value_or("");
    s.rx = Flag(o.value("rx"), true);
    s.tx = Flag(o.value("tx"), false);
    return s;
}

// kFrequencyStateUpdate: every received frequency, transmit where the tx list has it too.
std::vector<VoiceStation> TunedFrequencies(const QJsonObject& v)
{
    const auto entries = [&](const char* list) {
        std::vector<VoiceStation> out;
        for (const auto& item : v.value(list).toArray()) {
            const QJsonObject o = item.toObject();
            VoiceStation s{Callsign(o.value("pCallsign")).value_or(""), Frequency(o.value("pFrequencyHz"))};
            if (s.frequencyHz != 0)
                out.push_back(std::move(s));
        }
        return out;
    };
    std::vector<VoiceStation> stations = entries("rx");
    // Merged through an index: thousands of entries must cost the window one pass, not a square.
    std::unordered_map<std::int64_t, std::size_t> at;
    for (std::size_t i = 0; i < stations.size(); ++i)
        at.emplace(stations[i].frequencyHz, i);
    for (const VoiceStation& t : entries("tx")) {
        if (const auto it = at.find(t.frequencyHz); it != at.end())
            stations[it->second].tx = true;
        else
            stations.push_back({t.callsign, t.frequencyHz, false, true});
    }
    return stations;
}

} // namespace

VoiceEvent ParseVoiceEvent(const QByteArray& frame)
{
    VoiceEvent e;
    if (frame.size() > kMaxEventFrameBytes)
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
        e.kind = type == "kRxBegin" ? VoiceEvent::Kind::RxBegin : VoiceEvent::Kind::RxEnd;
    } else if (type == "kVoiceConnectedState") {
        const QJsonValue connected = v.value("connected");
        if (!connected.isBool())
            return e;
        e.connected = connected.toBool();
        e.kind = VoiceEvent::Kind::VoiceConnected;
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
        e.kind = VoiceEvent::Kind::StationStates;
    } else if (type == "kStationStateUpdate") {
        auto s = Station(v);
        if (!s)
            return e;
        e.stations.push_back(std::move(*s));
        e.kind = VoiceEvent::Kind::StationUpdate;
    } else if (type == "kFrequencyStateUpdate") {
        e.stations = TunedFrequencies(v);
        e.kind = VoiceEvent::Kind::FrequencyState;
    } else if (type == "kFrequencyRemoved") {
        e.frequencyHz = Frequency(v.value("frequency"));
        if (e.frequencyHz != 0)
            e.kind = VoiceEvent::Kind::FrequencyRemoved;
    }
    return e;
}

} // namespace quadrantel::voice
