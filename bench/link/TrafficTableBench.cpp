// Throughput of the link's data into the traffic table: position lines through Elabora, with
// and without the dump file, at several block sizes; and the strip list rebuild of a large table.
#include "link/LinkData.h"
#include "platform/Clock.h"
#include "shell/Config.h"
#include "shell/LogFiles.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace quadrantel;

class SteppingClock final : public platform::Clock {
public:
    QDateTime now() const override { return now_; }
    void advance(qint64 s) { now_ = now_.addSecs(s); }

private:
    QDateTime now_ = QDateTime(QDate(2024, 1, 31), QTime(12, 0, 0));
};

// About 8 MiB of position lines of 2,000 aircraft.
const std::string& Stream(std::size_t* lines)
{
    static std::size_t count = 0;
    static const std::string text = [] {
        std::string s;
        char line[160];
        for (std::size_t i = 0; s.size() < (8u << 20); ++i) {
            const int n = std::snprintf(line, sizeof line, "@N:AB%04zu:%04zu:1:%.5f:%.5f:%zu:250:0:0:%zu\r\n", i % 2000,
                                        i % 7777, 45.0 + static_cast<double>(i % 1000) / 997.0,
                                        9.0 + static_cast<double>(i % 313) / 311.0, 1000 + i % 39000, i);
            s.append(line, static_cast<std::size_t>(n));
            ++count;
        }
        return s;
    }();
    *lines = count;
    return text;
}

struct DumpFolder {
    DumpFolder()
    {
        shell::globals().sDataFolder = dir.path().toStdString();
        shell::SetLogClock(&platform::DefaultClock());
    }
    ~DumpFolder()
    {
        shell::CloseLogFiles();
        shell::globals().sDataFolder.clear();
    }
    QTemporaryDir dir;
};

void RunElabora(benchmark::State& state, bool dump)
{
    std::size_t lines = 0;
    const std::string& text = Stream(&lines);
    const auto block = static_cast<std::size_t>(state.range(0));
    DumpFolder folder;
    const platform::Clock& clock = platform::DefaultClock();
    traffic::TrafficTable table(clock, clock.now());
    std::size_t dumped = 0; // the dump's bytes, which must not change with the table's insides
    const link::LinkData::DumpSink daily = link::LinkData::DailyDump();
    link::LinkData data(table, clock, [&](std::string_view lines) {
        dumped += lines.size();
        if (dump)
            daily(lines);
    });
    for (auto _ : state) {
        for (std::size_t at = 0; at < text.size(); at += block) {
            auto list = data.Elabora(std::string_view(text).substr(at, block));
            benchmark::DoNotOptimize(list);
        }
    }
    state.counters["dump_bytes"] = static_cast<double>(dumped / state.iterations());
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * lines));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void BM_ElaboraWithDump(benchmark::State& state)
{
    RunElabora(state, true);
}
void BM_ElaboraNoDump(benchmark::State& state)
{
    RunElabora(state, false);
}

BENCHMARK(BM_ElaboraWithDump)->Arg(1 << 10)->Arg(64 << 10)->Arg(1 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ElaboraNoDump)->Arg(1 << 10)->Arg(64 << 10)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

// One block of 100,000 lines at once: framing must stay linear.
void BM_ElaboraOneHugeBlock(benchmark::State& state)
{
    std::size_t lines = 0;
    const std::string& text = Stream(&lines);
    SteppingClock clock;
    traffic::TrafficTable table(clock, clock.now());
    link::LinkData data(table, clock, [](std::string_view) {});
    for (auto _ : state) {
        auto list = data.Elabora(text);
        benchmark::DoNotOptimize(list);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * lines));
}
BENCHMARK(BM_ElaboraOneHugeBlock)->Unit(benchmark::kMillisecond);

void Fill(link::LinkData& data, SteppingClock& clock, std::size_t aircraft)
{
    std::string block;
    char line[96];
    for (std::size_t i = 0; i < aircraft; ++i) {
        const int n = std::snprintf(line, sizeof line, "@N:FLT%05zu:1200:1:48.1:11.5:%zu:250:0\r\n", i, 1000 + i);
        block.append(line, static_cast<std::size_t>(n));
    }
    auto list = data.Elabora(block);
    benchmark::DoNotOptimize(list);
    clock.advance(11);
}

// A rebuild that keeps all 10,000 aircraft (the steady case), through Elabora.
void BM_RebuildKeepAll(benchmark::State& state)
{
    SteppingClock clock;
    traffic::TrafficTable table(clock, clock.now());
    link::LinkData data(table, clock, [](std::string_view) {});
    const auto n = static_cast<std::size_t>(state.range(0));
    Fill(data, clock, n);
    const std::string selected = "FLT05000 selected";
    for (auto _ : state) {
        state.PauseTiming();
        // Keep every aircraft fresh so that each rebuild walks the full table.
        Fill(data, clock, n);
        state.ResumeTiming();
        auto list = data.Elabora("", [&] { return selected; });
        if (!list || list->callsigns.size() != n)
            state.SkipWithError("rebuild did not keep the table");
        benchmark::DoNotOptimize(list);
    }
}
BENCHMARK(BM_RebuildKeepAll)->Arg(10000)->Unit(benchmark::kMicrosecond);

// A rebuild that expires all 10,000 aircraft.
void BM_RebuildExpireAll(benchmark::State& state)
{
    SteppingClock clock;
    traffic::TrafficTable table(clock, clock.now());
    link::LinkData data(table, clock, [](std::string_view) {});
    const auto n = static_cast<std::size_t>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        Fill(data, clock, n);
        clock.advance(60);
        state.ResumeTiming();
        auto list = data.Elabora("");
        if (!list || !list->callsigns.empty())
            state.SkipWithError("rebuild did not expire the table");
        benchmark::DoNotOptimize(list);
    }
}
BENCHMARK(BM_RebuildExpireAll)->Arg(10000)->Unit(benchmark::kMicrosecond);

} // namespace
