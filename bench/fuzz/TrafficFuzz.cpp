// libFuzzer target: network data cut into blocks through the link's framing into the traffic
// table, against a plain reading of the framing, the positions and the strip list (front cuts,
// linear searches). Input: [n-1 cut bytes][n clock bytes][n filler bytes] after a count byte,
// then the data.
#include "link/LinkData.h"
#include "platform/Runtime.h"
#include "shell/TextRoutines.h"
#include "support/FakeClock.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

using namespace quadrantel;
using namespace quadrantel::link;
using traffic::StripList;

namespace {

void Check(bool ok)
{
    if (!ok)
        __builtin_trap();
}

void CheckInvariants(const traffic::TrafficTable& t, const LinkData& d)
{
    Check(t.colCallsigns().size() == t.colTraffic().size());
    Check(t.colCallsigns().size() == t.colLastSeen().size());
    for (const auto& entry : t.colCallsigns()) {
        Check(t.colTraffic().contains(entry.key));
        Check(t.colLastSeen().contains(entry.key));
        Check(t.Contains(entry.item));
    }
    Check(d.sRest().find('\n') == std::string::npos); // LFs are dropped, so never a CR LF
    Check(d.sRest().size() <= link::kMaxPendingLine);
}

struct ReferenceModel {
    std::string rest, dump;
    bool skipping = false, skippedCr = false;
    std::vector<std::string> calls;
    std::vector<std::pair<std::string, traffic::Position>> traffic;
    std::vector<std::pair<std::string, std::int64_t>> seen;
    std::optional<std::int64_t> lastRefresh;

    template <class V> static void Remove(std::vector<V>& v, const std::string& key)
    {
        std::erase_if(v, [&](const V& e) {
            if constexpr (std::is_same_v<V, std::string>)
                return platform::EqualsNoCase(e, key);
            else
                return platform::EqualsNoCase(e.first, key);
        });
    }
    template <class V> static const V* Find(const std::vector<std::pair<std::string, V>>& v, const std::string& key)
    {
        for (const auto& e : v)
            if (platform::EqualsNoCase(e.first, key))
                return &e.second;
        return nullptr;
    }
    static std::optional<double> Number(const std::string& s)
    {
        if (std::none_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return std::nullopt;
        return platform::Val(s);
    }

    void Store(const std::string& line, std::int64_t now)
    {
        std::vector<std::string> f;
        std::string t = line;
        while (!t.empty())
            f.push_back(shell::TakeToken(t, ":"));
        if (!line.empty() && line.back() == ':')
            f.push_back("");
        f.resize(std::max<std::size_t>(f.size(), 8));
        const std::string cs = f[1];
        Remove(calls, cs);
        calls.push_back(cs);
        Remove(traffic, cs);
        traffic::Position p;
        p.callsign = cs;
        p.latitude = platform::Val(f[4]);
        p.longitude = platform::Val(f[5]);
        p.altitudeFt = Number(f[6]);
        p.speedKt = Number(f[7]);
        traffic.emplace_back(cs, p);
        Remove(seen, cs);
        seen.emplace_back(cs, now);
    }

    std::optional<StripList> Elabora(const std::string& data, std::int64_t now, const std::string& selected)
    {
        std::string text = rest + data;
        rest.clear();
        if (skipping) {
            text = (skippedCr ? "\r" : "") + data;
            const auto p = text.find("\r\n");
            skippedCr = p == std::string::npos && !data.empty() ? data.back() == '\r' : skippedCr;
            skipping = p == std::string::npos;
            text = skipping ? "" : text.substr(p + 2);
        }
        while (!text.empty()) {
            const auto p = text.find("\r\n");
            if (p == std::string::npos) {
                std::erase(text, '\n');
                rest = text;
                if (rest.size() > kMaxPendingLine) {
                    skippedCr = rest.back() == '\r';
                    skipping = true;
                    rest.clear();
                }
                break;
            }
            std::string line = text.substr(0, p);
            text.erase(0, p + 1);
            std::erase(line, '\n');
            if (line.empty())
                continue;
            dump += line + "\r\n";
            if (line[0] == '@')
                Store(line, now);
        }
        if (!lastRefresh || *lastRefresh > now)
            lastRefresh = -9999;
        if (now - *lastRefresh <= 10)
            return std::nullopt;
        const std::string remembered = selected.substr(0, selected.find(' '));
        for (auto& e : seen) // a clock set back: a time in the future counts as now
            e.second = std::min(e.second, now);
        std::vector<std::string> marked;
        for (const auto& c : calls)
            if (const auto* s = Find(seen, c); s) {
                if (now - *s > 50 || !Find(traffic, c))
                    marked.push_back(c);
            }
        for (const auto& c : marked) {
            Remove(calls, c);
            Remove(seen, c);
            Remove(traffic, c);
        }
        StripList list;
        for (const auto& c : calls) {
            list.callsigns.push_back(c);
            if (!remembered.empty() && c == remembered) // nothing selected selects nothing
                list.reselect = list.callsigns.size() - 1;
        }
        lastRefresh = now;
        return list;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const std::size_t blocks = data[0] % 8 + 1;
    const std::size_t header = 1 + (blocks - 1) + 2 * blocks;
    if (size < header)
        return 0;
    const uint8_t* cuts = data + 1;
    const uint8_t* clockBytes = cuts + (blocks - 1);
    const uint8_t* fillBytes = clockBytes + blocks;
    const std::string_view payload(reinterpret_cast<const char*>(data + header), size - header);

    test::FakeClock clock;
    const QDateTime start = clock.now().addSecs(-3600);
    ReferenceModel ref;
    std::string dump;
    std::size_t dumped = 0;
    traffic::TrafficTable table(clock, start);
    link::LinkData framing(table, clock, [&](std::string_view lines) {
        Check(lines.size() >= 2 && lines.substr(lines.size() - 2) == "\r\n");
        dumped += lines.size();
        dump += lines;
    });

    std::vector<std::size_t> bounds{0};
    for (std::size_t i = 0; i + 1 < blocks; ++i)
        bounds.push_back(std::max(bounds.back(), payload.size() * cuts[i] / 255));
    bounds.push_back(payload.size());

    std::string block;
    for (std::size_t i = 0; i < blocks; ++i) {
        // The clock moves either way, by up to two minutes.
        clock.advance(static_cast<int8_t>(clockBytes[i]));
        block.clear();
        if (fillBytes[i] & 0x80) // a line far longer than the pending cap, without its end
            block.append(static_cast<std::size_t>(fillBytes[i] & 0x7F) * 1024, (fillBytes[i] & 1) ? '\r' : 'x');
        block.append(payload.substr(bounds[i], bounds[i + 1] - bounds[i]));
        const auto list = framing.Elabora(block, [] { return std::string("AB123 selected"); });
        CheckInvariants(table, framing);
        Check(list == ref.Elabora(block, platform::SecondsBetween(start, clock.now()), "AB123 selected"));
        Check(framing.sRest() == ref.rest);
        Check(dump == ref.dump);
        std::size_t n = 0;
        for (const auto& entry : table.colCallsigns())
            Check(n < ref.calls.size() && entry.item == ref.calls[n++]);
        Check(n == ref.calls.size());
        for (const auto& [cs, p] : ref.traffic) {
            const traffic::Position* held = table.Record(cs);
            Check(held && held->callsign == p.callsign && held->latitude == p.latitude &&
                  held->longitude == p.longitude && held->altitudeFt == p.altitudeFt && held->speedKt == p.speedKt);
        }
        if (list) {
            Check(list->callsigns.size() == table.colCallsigns().size());
            std::size_t k = 0;
            for (const auto& entry : table.colCallsigns())
                Check(list->callsigns[k++] == entry.item);
            if (list->reselect)
                Check(*list->reselect < list->callsigns.size() && list->callsigns[*list->reselect] == "AB123");
        }
    }
    return 0;
}
