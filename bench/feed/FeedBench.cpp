// The data feed at the size of a busy network (3,000 pilots with flight plans, about 4 MB):
// parse and apply of each layout beside a QJsonDocument parse of the same bytes; the longest
// stop of the window's thread while the main window takes a file from a local HTTP server;
// memory over 1,000 updates.
#include "app/GonioForm.h"
#include "feed/FeedParser.h"
#include "feed/FeedSource.h"
#include "feed/FeedTraffic.h"
#include "gonio/Geodesy.h"
#include "shell/Config.h"

#include "FeedFile.h"
#include "support/FakeAtcClient.h"
#include "support/FakeGonioHost.h"
#include "support/FakeVoiceClient.h"
#include "support/HttpStub.h"
#include "support/TempDir.h"
#include "support/Wait.h"

#include <benchmark/benchmark.h>

#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonDocument>

#include <ctime>
#include <fstream>
#include <random>

using namespace quadrantel;

namespace {

constexpr int kPilots = 3000;
const feed::Station kFrankfurt{50.0333, 8.5706};

// A world of pilots: one in five within 400 NM of the station, the others anywhere.
std::vector<sim::FeedPilot> World(qint64 now, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0, 1);
    std::vector<sim::FeedPilot> pilots;
    for (int i = 0; i < kPilots; ++i) {
        sim::FeedPilot p;
        p.callsign = "SIM" + std::to_string(1000 + i);
        if (i % 5 == 0) {
            gonio::Destination(kFrankfurt.latitude, kFrankfurt.longitude, u(rng) * 360, u(rng) * 390, p.latitude,
                               p.longitude);
        } else {
            p.latitude = -60 + u(rng) * 130;
            p.longitude = -180 + u(rng) * 360;
        }
        p.altitudeFt = std::round(u(rng) * 40) * 1000;
        p.groundSpeedKt = u(rng) < 0.2 ? 0 : 150 + u(rng) * 350;
        p.headingDeg = u(rng) * 360;
        p.positionMs = now - static_cast<qint64>(u(rng) * 20000);
        p.index = i;
        pilots.push_back(p);
    }
    return pilots;
}

qint64 ThreadCpuNs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return qint64{t.tv_sec} * 1'000'000'000 + t.tv_nsec;
}

qint64 Now()
{
    return QDateTime(QDate(2026, 12, 7), QTime(18, 30, 15), Qt::UTC).toMSecsSinceEpoch();
}

const QByteArray& File(sim::FeedLayout layout)
{
    static const QByteArray a = sim::MakeFeedFile(sim::FeedLayout::A, World(Now(), 1), Now());
    static const QByteArray b = sim::MakeFeedFile(sim::FeedLayout::B, World(Now(), 1), Now());
    return layout == sim::FeedLayout::A ? a : b;
}

void ParseAndApply(benchmark::State& state, sim::FeedLayout layout)
{
    const QByteArray& bytes = File(layout);
    feed::FeedParser parser;
    feed::FeedTraffic traffic;
    (void)traffic.SetStation(kFrankfurt, Now(), 15'000);
    std::size_t kept = 0;
    for (auto _ : state) {
        feed::Snapshot s;
        std::string error;
        if (!parser.Parse(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), s, error))
            state.SkipWithError(error.c_str());
        kept = traffic.Apply(std::move(s), nullptr, Now()).kept.size();
    }
    state.counters["MB"] = static_cast<double>(bytes.size()) / 1e6;
    state.counters["kept"] = static_cast<double>(kept);
    state.SetBytesProcessed(state.iterations() * bytes.size());
}

void QJson(benchmark::State& state, sim::FeedLayout layout)
{
    const QByteArray& bytes = File(layout);
    for (auto _ : state) {
        const QJsonDocument doc = QJsonDocument::fromJson(bytes);
        benchmark::DoNotOptimize(doc.isObject());
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}

BENCHMARK_CAPTURE(ParseAndApply, layoutA, sim::FeedLayout::A)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ParseAndApply, layoutB, sim::FeedLayout::B)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(QJson, layoutA, sim::FeedLayout::A)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(QJson, layoutB, sim::FeedLayout::B)->Unit(benchmark::kMillisecond);

// The main window with the feed as its source, served a new gzipped file at each request: a 1 ms
// timer notes every gap in the event loop; the longest gap is the longest stop of the thread.
void WindowThreadStop(benchmark::State& state)
{
    test::TempDir dir;
    shell::globals() = shell::Globals{};
    shell::SetupDataFolder(dir.path());
    const std::string station = "EDDF N050.02.00.000 E008.34.14.000";
    test::WriteFile(dir.path() + "/Quadrantel/Config.ini",
                    "[Setup]\r\nAutoStart=1\r\nPositionSource=Feed\r\nStation=" + station + "\r\n");
    // Made beforehand: the server runs on this same thread, and its work is not the window's.
    std::vector<QByteArray> files;
    for (unsigned k = 0; k < 3; ++k) {
        const qint64 made = QDateTime::currentMSecsSinceEpoch() - 10000 + k * 1000;
        files.push_back(sim::Gzip(sim::MakeFeedFile(sim::FeedLayout::A, World(made, k), made)));
    }
    int served = 0;
    test::HttpStub server([&](const QByteArray&) {
        ++served;
        return test::HttpStub::Ok(files[static_cast<std::size_t>(served) % files.size()],
                                  "Content-Encoding: gzip\r\nETag: \"" + QByteArray::number(served) + "\"\r\n");
    });
    test::FakeGonioHost host;
    test::FakeVoiceClient voice;
    test::FakeAtcClient atc;
    app::GonioServices s;
    s.voice = &voice;
    s.atc = &atc;
    s.dump = [](std::string_view) {};
    s.feed.emplace();
    s.feed->fetch.url = server.url();
    s.feed->intervalMs = 300;
    app::GonioForm form(host, std::move(s));
    form.Form_Load();
    form.SetAutostart();
    form.tmrUpdate.onTimer();

    constexpr int kUpdates = 20;
    qint64 longest = 0;
    qint64 longestCpu = 0;
    for (auto _ : state) {
        QElapsedTimer gap;
        gap.start();
        qint64 cpuAt = ThreadCpuNs();
        QTimer probe;
        probe.setInterval(1);
        QObject::connect(&probe, &QTimer::timeout, [&] {
            // Wall time includes the other programs on a shared machine; the thread's own
            // processor time between two ticks is the stop this program causes.
            longest = std::max(longest, gap.nsecsElapsed());
            const qint64 cpu = ThreadCpuNs();
            longestCpu = std::max(longestCpu, cpu - cpuAt);
            cpuAt = cpu;
            gap.restart();
        });
        const int first = served;
        test::WaitUntil([&] { return served > first; }, 30000);
        probe.start();
        gap.restart();
        cpuAt = ThreadCpuNs();
        longest = 0;
        longestCpu = 0;
        test::WaitUntil(
            [&] {
                return form.sources().feed->controller().traffic().latest().pilots.size() == kPilots &&
                       served > first + kUpdates;
            },
            120000);
        probe.stop();
    }
    state.counters["longest_stop_ms"] = static_cast<double>(longest) / 1e6;
    state.counters["longest_stop_cpu_ms"] = static_cast<double>(longestCpu) / 1e6;
    state.counters["strips"] = form.lstStrips.listCount();
    form.Form_Unload();
}
BENCHMARK(WindowThreadStop)->Iterations(1)->Unit(benchmark::kMillisecond);

long RssKiB()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * 4;
}

// 1,000 updates of alternating files through parser and filter: the resident size after the
// first ten and after all of them.
void MemoryOver1000Updates(benchmark::State& state)
{
    const QByteArray files[] = {sim::MakeFeedFile(sim::FeedLayout::A, World(Now(), 1), Now()),
                                sim::MakeFeedFile(sim::FeedLayout::B, World(Now() + 15000, 2), Now() + 15000)};
    feed::FeedParser parser;
    feed::FeedTraffic traffic;
    (void)traffic.SetStation(kFrankfurt, Now(), 15'000);
    long after10 = 0;
    for (auto _ : state) {
        for (int i = 0; i < 1000; ++i) {
            const QByteArray& bytes = files[i % 2];
            feed::Snapshot s;
            std::string error;
            parser.Parse(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), s, error);
            (void)traffic.Apply(std::move(s), nullptr, Now() + 15000);
            if (i == 9)
                after10 = RssKiB();
        }
    }
    state.counters["rss_MiB_after_10"] = static_cast<double>(after10) / 1024;
    state.counters["rss_MiB_after_1000"] = static_cast<double>(RssKiB()) / 1024;
}
BENCHMARK(MemoryOver1000Updates)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
