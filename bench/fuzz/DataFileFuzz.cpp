// libFuzzer target: the network's data file (or its status document). The input is parsed as a
// whole file; what comes out is filtered around a station and projected. The first line is also
// read as a time.
#include "feed/FeedParser.h"
#include "feed/FeedTime.h"
#include "feed/FeedTraffic.h"
#include "gonio/Geodesy.h"
#include "platform/Runtime.h"

#include <cmath>
#include <set>
#include <string>

using namespace quadrantel;
using namespace quadrantel::feed;

namespace {

void Check(bool ok)
{
    if (!ok)
        __builtin_trap();
}

constexpr std::int64_t kNow = 1'796'668'215'000;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static FeedParser parser;
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    if (const auto t = ParseFeedTime(text.substr(0, text.find('\n'))))
        Check(*t > -100'000LL * 365 * 86'400'000 && *t < 100'000LL * 365 * 86'400'000);

    Snapshot s;
    std::string error;
    const bool ok = parser.Parse(text, s, error);
    Check(ok == error.empty());
    if (!ok) {
        Check(s.pilots.empty());
        Check(error == "not JSON" || error == "neither layout");
        return 0;
    }
    if (s.layout == Layout::Status) {
        Check(s.pilots.empty() && !s.addresses.empty() && s.addresses.size() <= 16);
        return 0;
    }
    Check(s.addresses.empty());
    std::set<std::string> seen;
    for (const Pilot& p : s.pilots) {
        Check(!p.callsign.empty() && p.callsign.size() <= kMaxCallsign);
        for (const char c : p.callsign)
            Check(c > ' ' && c <= '~');
        Check(seen.insert(platform::UCase(p.callsign)).second);
        Check(std::fabs(p.latitude) <= 90 && std::fabs(p.longitude) <= 180);
        Check(p.latitude != 0 || p.longitude != 0);
        Check(!p.altitudeFt || std::isfinite(*p.altitudeFt));
        Check(p.headingDeg == -1 || (p.headingDeg >= 0 && p.headingDeg < 360));
        Track track;
        track.Add(p);
        const Projection f = Project(p, track, kNow);
        Check(std::isfinite(f.latitude) && std::isfinite(f.longitude) && f.ageMs >= 0 && f.movedMs <= kMaxProjectMs);
    }
    FeedTraffic traffic;
    (void)traffic.SetStation(Station{50, 8}, kNow, 15'000);
    const std::int64_t fileMs = s.updatedMs != 0 ? s.updatedMs : kNow;
    const auto changes = traffic.Apply(std::move(s), nullptr, kNow);
    Check(changes.kept.size() == changes.changed.size() && changes.kept.size() <= traffic.latest().pilots.size());
    for (const Pilot* p : changes.kept)
        Check(gonio::Posdist(50, 8, p->latitude, p->longitude) <= kRangeNm && fileMs - p->positionMs <= kMaxAgeMs);
    return 0;
}
