#include "stations/Airports.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

using namespace quadrantel::stations;

namespace {

// The code of the shipped file's last record: the longest scan a found code takes.
std::string LastCode()
{
    std::ifstream in(AIRPORTS_DAT);
    std::string line, last;
    while (std::getline(in, line))
        if (!line.empty())
            last = line;
    return last.substr(0, last.find(':'));
}

} // namespace

// One press of the position window's airport button on the shipped file: open, scan, split.
static void BM_AirportLookup(benchmark::State& state, std::string code)
{
    if (code.empty())
        code = LastCode();
    for (auto _ : state) {
        const AirportLookup r = LookupAirport(AIRPORTS_DAT, code);
        benchmark::DoNotOptimize(r.latitude);
        if (r.outcome != AirportOutcome::Found && code != "ZZZZ")
            state.SkipWithError("not found");
    }
}
BENCHMARK_CAPTURE(BM_AirportLookup, EDDM, std::string("EDDM"));
BENCHMARK_CAPTURE(BM_AirportLookup, last_record, std::string());
BENCHMARK_CAPTURE(BM_AirportLookup, unknown, std::string("ZZZZ"));

BENCHMARK_MAIN();
