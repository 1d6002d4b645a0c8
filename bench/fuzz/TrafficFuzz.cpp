// libFuzzer target: network data cut into blocks through the traffic table.
// Input: [n-1 cut bytes][n clock bytes][n filler bytes] after a count byte, then the data.
#include "link/TrafficTable.h"
#include "support/FakeClock.h"

#include <cstdint>
#include <string>
#include <vector>

using namespace quadrantel;

namespace {

void Check(bool ok)
{
    if (!ok)
        __builtin_trap();
}

void CheckInvariants(const link::TrafficTable& t)
{
    Check(t.colCallsigns().size() == t.colTraffic().size());
    Check(t.colCallsigns().size() == t.colLastSeen().size());
    for (const auto& entry : t.colCallsigns()) {
        Check(t.colTraffic().contains(entry.key));
        Check(t.colLastSeen().contains(entry.key));
        Check(t.Contains(entry.item));
    }
    Check(t.sRest().find('\n') == std::string::npos); // LFs are dropped, so never a CR LF
    Check(t.sRest().size() <= link::kMaxPendingLine);
}

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
    std::size_t dumped = 0;
    link::TrafficTable table(clock, clock.now().addSecs(-3600), [&](std::string_view lines) {
        Check(lines.size() >= 2 && lines.substr(lines.size() - 2) == "\r\n");
        dumped += lines.size();
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
        const auto list = table.Elabora(block, [] { return std::string("AB123 selected"); });
        CheckInvariants(table);
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
