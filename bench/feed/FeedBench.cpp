// The data feed at the size of a busy network (3,000 pilots with flight plans, about 4 MB):
// parse and apply of each layout beside a QJsonDocument parse of the same bytes; the longest
// stop of the window's thread between two waits of its event loop while the main window takes
// files from a local HTTP server, at 3,000 pilots and at 20 MB;
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
#include <QJsonDocument>

#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <ctime>
#include <dlfcn.h>
#include <fstream>
#include <functional>
#include <poll.h>
#include <random>
#include <unistd.h>

using namespace quadrantel;

namespace {

constexpr int kPilots = 3000;
const feed::Station kFrankfurt{50.0333, 8.5706};

// A world of pilots: one in five within 400 NM of the station, the others anywhere.
std::vector<sim::FeedPilot> World(qint64 now, unsigned seed, int count = kPilots)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0, 1);
    std::vector<sim::FeedPilot> pilots;
    for (int i = 0; i < count; ++i) {
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

// The window's thread between two waits of its event loop: poll() and ppoll() (glib's loop and
// Qt's own) are taken over here, and the thread's processor time from the return of one wait
// to the start of the next is a stop. A poll that cannot wait (a zero timeout) is no wait.
std::atomic<bool> gWatch{false};
pid_t gWindowThread = 0;
qint64 gCpuAfterWait = 0, gWallAfterWait = 0;
qint64 gLongestCpu = 0, gLongestWall = 0;

qint64 WallNs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return qint64{t.tv_sec} * 1'000'000'000 + t.tv_nsec;
}

bool Watched(bool canWait)
{
    return canWait && gWatch.load(std::memory_order_relaxed) && gettid() == gWindowThread;
}

void BeforeWait()
{
    gLongestCpu = std::max(gLongestCpu, ThreadCpuNs() - gCpuAfterWait);
    gLongestWall = std::max(gLongestWall, WallNs() - gWallAfterWait);
}

void AfterWait()
{
    gCpuAfterWait = ThreadCpuNs();
    gWallAfterWait = WallNs();
}

// The event loop run as the program runs it, waiting when there is nothing to do (WaitUntil's
// processEvents with a time never waits), until the condition holds.
void RunUntil(const std::function<bool()>& condition, int timeoutMs)
{
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (condition())
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    check.start(50);
    loop.exec();
}

} // namespace

extern "C" int poll(pollfd* fds, nfds_t n, int timeoutMs)
{
    static const auto real = reinterpret_cast<int (*)(pollfd*, nfds_t, int)>(dlsym(RTLD_NEXT, "poll"));
    const bool watched = Watched(timeoutMs != 0);
    if (watched)
        BeforeWait();
    const int r = real(fds, n, timeoutMs);
    if (watched)
        AfterWait();
    return r;
}

extern "C" int ppoll(pollfd* fds, nfds_t n, const timespec* timeout, const sigset_t* mask)
{
    static const auto real =
        reinterpret_cast<int (*)(pollfd*, nfds_t, const timespec*, const sigset_t*)>(dlsym(RTLD_NEXT, "ppoll"));
    const bool watched = Watched(!timeout || timeout->tv_sec != 0 || timeout->tv_nsec != 0);
    if (watched)
        BeforeWait();
    const int r = real(fds, n, timeout, mask);
    if (watched)
        AfterWait();
    return r;
}

namespace {

// The main window with the feed as its source, served a new gzipped file of state.range(0)
// pilots at each request by a server on a thread of its own: the longest stop of the window's
// thread while it takes 20 files.
void WindowThreadStop(benchmark::State& state)
{
    const int pilots = static_cast<int>(state.range(0));
    test::TempDir dir;
    shell::globals() = shell::Globals{};
    shell::SetupDataFolder(dir.path());
    const std::string station = "EDDF N050.02.00.000 E008.34.14.000";
    test::WriteFile(dir.path() + "/Quadrantel/Config.ini",
                    "[Setup]\r\nAutoStart=1\r\nPositionSource=Feed\r\nStation=" + station + "\r\n");
    std::vector<QByteArray> files;
    qint64 bytes = 0;
    for (unsigned k = 0; k < 3; ++k) {
        const qint64 made = QDateTime::currentMSecsSinceEpoch() - 10000 + k * 1000;
        const QByteArray file = sim::MakeFeedFile(sim::FeedLayout::A, World(made, k, pilots), made);
        bytes = file.size();
        files.push_back(sim::Gzip(file));
    }
    std::atomic<int> served{0};
    QThread serverThread;
    serverThread.start();
    QObject serverHome;
    serverHome.moveToThread(&serverThread);
    std::unique_ptr<test::HttpStub> server;
    QMetaObject::invokeMethod(
        &serverHome,
        [&] {
            server = std::make_unique<test::HttpStub>([&](const QByteArray&) {
                const int n = ++served;
                return test::HttpStub::Ok(files[static_cast<std::size_t>(n) % files.size()],
                                          "Content-Encoding: gzip\r\nETag: \"" + QByteArray::number(n) + "\"\r\n");
            });
        },
        Qt::BlockingQueuedConnection);
    test::FakeGonioHost host;
    test::FakeVoiceClient voice;
    test::FakeAtcClient atc;
    app::GonioServices s;
    s.voice = &voice;
    s.atc = &atc;
    s.dump = [](std::string_view) {};
    s.feed.emplace();
    s.feed->fetch.url = server->url();
    s.feed->intervalMs = 300;
    auto form = std::make_unique<app::GonioForm>(host, std::move(s));
    form->Form_Load();
    form->SetAutostart();
    form->tmrUpdate.onTimer();

    constexpr int kUpdates = 20;
    int applied = 0;
    for (auto _ : state) {
        // The first file fills the strip list: not an update.
        test::WaitUntil([&] { return form->sources().feed->controller().traffic().latest().pilots.size() > 0; },
                        120000);
        const int first = served;
        gWindowThread = gettid();
        gLongestCpu = 0;
        gLongestWall = 0;
        AfterWait();
        gWatch = true;
        RunUntil([&] { return served > first + kUpdates; }, 300000);
        gWatch = false;
        applied = served - first;
    }
    state.counters["MB"] = static_cast<double>(bytes) / 1e6;
    state.counters["files"] = applied;
    state.counters["longest_stop_ms"] = static_cast<double>(gLongestWall) / 1e6;
    state.counters["longest_stop_cpu_ms"] = static_cast<double>(gLongestCpu) / 1e6;
    state.counters["strips"] = form->lstStrips.listCount();
    form->Form_Unload();
    form.reset();
    QMetaObject::invokeMethod(
        &serverHome, [&] { server.reset(); }, Qt::BlockingQueuedConnection);
    serverThread.quit();
    serverThread.wait();
}
// 3,000 pilots, as on a busy evening; 19,000, about 20 MB, as at a world event.
BENCHMARK(WindowThreadStop)->Arg(3000)->Arg(19000)->Iterations(1)->Unit(benchmark::kMillisecond);

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
