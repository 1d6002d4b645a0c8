// libFuzzer target: the voice client's WebSocket events. Each input line is one text frame, handed
// to the parser and to the event source while a clock steps on; the input as a whole is also
// read as a typed list of frequencies.
#include "voice/VoiceEvents.h"
#include "voice/VoiceSettings.h"
#include "voice/WebSocketVoiceClient.h"

#include "platform/Clock.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>

using namespace quadrantel;
using namespace quadrantel::voice;

namespace {

void Check(bool ok)
{
    if (!ok)
        __builtin_trap();
}

class StepClock final : public platform::Clock {
public:
    QDateTime now() const override { return QDateTime::fromMSecsSinceEpoch(ms); }
    qint64 nowMSecs() const override { return ms; }
    qint64 ms = 1'700'000'000'000;
};

bool GoodCallsign(const std::string& c)
{
    return !c.empty() && c.size() <= kMaxCallsign && c.front() != ' ' && c.back() != ' ';
}

void CheckEvent(const VoiceEvent& e)
{
    using Kind = VoiceEvent::Kind;
    Check(e.frequencyHz >= 0);
    switch (e.kind) {
    case Kind::RxBegin:
    case Kind::RxEnd:
        Check(GoodCallsign(e.callsign));
        if (e.activeTransmitters)
            Check(std::all_of(e.activeTransmitters->begin(), e.activeTransmitters->end(), GoodCallsign));
        break;
    case Kind::StationUpdate:
        Check(e.stations.size() == 1);
        [[fallthrough]];
    case Kind::StationStates:
    case Kind::FrequencyState:
        for (const VoiceStation& s : e.stations)
            Check((s.callsign.empty() || GoodCallsign(s.callsign)) && s.frequencyHz > 0);
        break;
    case Kind::FrequencyRemoved:
        Check(e.frequencyHz > 0 && e.stations.empty());
        break;
    case Kind::VoiceConnected:
    case Kind::Ignored:
        Check(e.callsign.empty() && e.stations.empty() && !e.activeTransmitters);
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static int argc = 1;
    static char name[] = "voice_fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);

    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string bad;
    if (const auto rule = ParseFrequencyRule(text, &bad)) {
        const std::vector<std::int64_t>& list = rule->kHz;
        const std::set<std::int64_t> unique(list.begin(), list.end());
        Check(unique.size() == list.size());
        Check(list.empty() == (rule->kind != FrequencyRule::Kind::Listed));
        for (const std::int64_t k : list)
            Check(k >= kAirBandLowKHz && k <= kAirBandHighKHz && FrequencyListed(list, k * 1000));
    } else {
        Check(!bad.empty() && text.find(bad) != std::string::npos);
    }

    StepClock clock;
    WebSocketOptions options;
    options.log = [](const std::string&) {};
    options.maxRecent = 8;
    if (size > 0 && data[0] & 1)
        options.frequencies = {FrequencyRule::Kind::Listed, {118700}};
    WebSocketVoiceClient source(options, clock);
    std::size_t from = 0;
    while (from <= text.size()) {
        std::size_t nl = text.find('\n', from);
        if (nl == std::string::npos)
            nl = text.size();
        const QByteArray frame(text.data() + from, static_cast<qsizetype>(nl - from));
        from = nl + 1;
        CheckEvent(ParseVoiceEvent(frame));
        source.HandleFrame(frame);
        clock.ms += static_cast<unsigned char>(frame.isEmpty() ? 0 : frame.back()) * 1000;

        // Whoever transmits is among the players, once; the players stay bounded.
        const VoiceState state = source.ReadSpeakers();
        Check(state != VoiceState::Undetermined);
        const std::vector<std::int32_t> speakers = source.Speakers();
        Check(source.ReadPlayerList());
        Check(!source.PlayersChanged()); // nothing changed since the list was read
        std::set<std::int32_t> ids;
        for (const PlayerInfo& p : source.Players())
            Check(p.PlayerID >= 1 && ids.insert(p.PlayerID).second && GoodCallsign(p.NickName));
        for (const std::int32_t id : speakers)
            Check(ids.count(id) == 1);
        Check(source.OpenTransmissions() <= options.maxRecent);
    }
    return 0;
}
