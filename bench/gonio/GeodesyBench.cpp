#include "gonio/Geodesy.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace quadrantel::gonio;

namespace {

// Aircraft positions around a station, as the reading builds them.
std::vector<std::string> Aircraft()
{
    std::vector<std::string> out;
    for (int i = 0; i < 1024; ++i) {
        const double lat = 40.0 + (i % 37) * 0.173 - 3.0;
        const double lon = -73.5 + (i % 53) * 0.211 - 5.0;
        out.push_back(DecimalToCoordinate(lat, Axis::Latitude) + " " + DecimalToCoordinate(lon, Axis::Longitude));
    }
    return out;
}

} // namespace

// One reading's geodesy: bearing and distance from the station to one aircraft.
static void BM_BearingAndDistance(benchmark::State& state)
{
    const std::string station = "N040.38.23.000 W073.46.44.000";
    const auto aircraft = Aircraft();
    std::size_t i = 0;
    for (auto _ : state) {
        const std::string& a = aircraft[i++ & 1023];
        benchmark::DoNotOptimize(SctBearing(station, a));
        benchmark::DoNotOptimize(SctDistance(station, a));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BearingAndDistance);

static void BM_CoordinateTextParse(benchmark::State& state)
{
    std::vector<std::string> texts;
    for (const auto& p : Aircraft()) {
        texts.push_back(p.substr(0, 14));
        texts.push_back(p.substr(15));
    }
    std::size_t i = 0;
    for (auto _ : state) {
        const std::string& t = texts[i++ & 2047];
        benchmark::DoNotOptimize(CoordinateToDecimal(t, t[0] == 'N' || t[0] == 'S' ? Axis::Latitude : Axis::Longitude));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CoordinateTextParse);

BENCHMARK_MAIN();
