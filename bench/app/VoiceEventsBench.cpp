// The voice client's events: their cost per frame, and from a pilot keying the microphone to the
// reading in the window title with each voice source: the WebSocket events over a real local
// WebSocket (the kRxBegin runs the speaker cycle) and the remote library (the speaker cycle's
// 250 ms timer finds the speaker). The main window's behaviour runs on the event loop with its
// real timers; 20 transmissions each, started at varied moments of the timer's period.
// Reported: median and largest delay in ms.
#include "app/GonioForm.h"
#include "link/LinkSource.h"
#include "shell/Config.h"
#include "voice/WebSocketVoiceClient.h"

#include "EventServer.h"
#include "support/FakeAtcClient.h"
#include "support/FakeClock.h"
#include "support/FakeGonioHost.h"
#include "support/FakeLinkSocket.h"
#include "support/FakeVoiceClient.h"
#include "support/TempDir.h"
#include "support/Wait.h"

#include <benchmark/benchmark.h>

#include <QElapsedTimer>

#include <algorithm>
#include <memory>
#include <vector>

using namespace quadrantel;

namespace {

constexpr int kTransmissions = 20;
const char* const kStation = "EDDF N050.02.00.000 E008.34.14.000";
const char* const kPilots[] = {"DLH123", "BAW456"};

// The reading's title with the moment it was set.
class TimedHost final : public test::FakeGonioHost {
public:
    void setTitle(const std::string& t) override
    {
        title = t;
        at = clock.nsecsElapsed();
    }

    QElapsedTimer clock;
    qint64 at = 0;
};

// A main window loaded on a fresh data folder with two aircraft in its strip list.
struct Window {
    explicit Window(const std::string& voiceSettings, voice::VoiceClient* voice)
    {
        shell::globals() = shell::Globals{};
        shell::SetupDataFolder(dir.path());
        test::WriteFile(dir.path() + "/Quadrantel/Config.ini",
                        "[Setup]\r\nAutoStart=1\r\nStation=" + std::string(kStation) + "\r\n" + voiceSettings);
        test::WriteFile(dir.path() + "/Quadrantel/gonio_EDDF_N050.02.00.000_E008.34.14.000.position",
                        std::string("[Setup]\r\nId=") + kStation + "\r\n");
        app::GonioServices s;
        s.voice = voice;
        s.atc = &atc;
        s.dump = [](std::string_view) {};
        s.makeSocket = [this](link::LinkEvents) {
            auto p = std::make_unique<test::FakeLinkSocket>();
            sck = p.get();
            return p;
        };
        host.clock.start();
        form = std::make_unique<app::GonioForm>(host, std::move(s));
        form->Form_Load();
        form->tmrUpdate.setEnabled(false);
        sck->received = "@N:DLH123:1000:1:50.5:9.0:35000:420:0\r\n@N:BAW456:1001:1:49.0:8.0:12000:300:0\r\n";
        form->sources().link->controller().Sck_DataArrival("Quadrantel", 80);
    }
    ~Window() { form->Form_Unload(); }

    // Starts one transmission of pilot i after a pause that moves it through the timer's period;
    // pilots take turns seconds apart, so no two kRxBegin come closer than the timer's period.
    void Transmit(benchmark::State& state, int i, const std::function<void(const char*)>& key, std::vector<double>& ms)
    {
        const char* pilot = kPilots[i % 2];
        test::WaitUntil([] { return false; }, 300 + (i * 37) % 250);
        const qint64 sent = host.clock.nsecsElapsed();
        key(pilot);
        if (!test::WaitUntil([&] { return host.title.find(pilot) != std::string::npos; }, 2000)) {
            state.SkipWithError("no reading");
            return;
        }
        const double took = static_cast<double>(host.at - sent) / 1e9;
        state.SetIterationTime(took);
        ms.push_back(took * 1000);
    }

    test::TempDir dir;
    test::FakeAtcClient atc;
    test::FakeLinkSocket* sck = nullptr;
    TimedHost host;
    std::unique_ptr<app::GonioForm> form;
};

void Report(benchmark::State& state, std::vector<double> ms)
{
    if (ms.empty())
        return;
    std::sort(ms.begin(), ms.end());
    const std::size_t n = ms.size();
    state.counters["median_ms"] = n % 2 ? ms[n / 2] : (ms[n / 2 - 1] + ms[n / 2]) / 2;
    state.counters["max_ms"] = ms.back();
}

void BM_WebSocketRxBeginToTitle(benchmark::State& state)
{
    voicesim::EventOptions sim;
    sim.quiet = true;
    sim.clickMs = 0;
    sim.print = false;
    voicesim::EventServer server(sim);
    server.listen();
    Window w("VoiceSource=WebSocket\r\nVoiceURL=ws://127.0.0.1:" + std::to_string(server.port()) + "/ws\r\n", nullptr);
    if (!test::WaitUntil([&] { return w.form->lblStatus.toolTip() == "Connected"; })) {
        state.SkipWithError("the voice client was not connected");
        return;
    }
    std::vector<double> ms;
    int i = 0;
    for (auto _ : state)
        w.Transmit(
            state, i++, [&](const char* pilot) { server.command(std::string("talk ") + pilot + " 118.700"); }, ms);
    Report(state, ms);
}
BENCHMARK(BM_WebSocketRxBeginToTitle)->Iterations(kTransmissions)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_LibraryTickToTitle(benchmark::State& state)
{
    test::FakeVoiceClient voice;
    voice.players = {test::FakeVoiceClient::Player(1, kPilots[0]), test::FakeVoiceClient::Player(2, kPilots[1])};
    Window w("", &voice);
    std::vector<double> ms;
    int i = 0;
    for (auto _ : state)
        w.Transmit(
            state, i++, [&](const char* pilot) { voice.speakers = {pilot == kPilots[0] ? 1 : 2}; }, ms);
    Report(state, ms);
}
BENCHMARK(BM_LibraryTickToTitle)->Iterations(kTransmissions)->UseManualTime()->Unit(benchmark::kMillisecond);

// One frame through the parser and the event source, as the socket hands it over: kRxBegin
// and kRxEnd in turn, eight pilots, every few frames the player list read as the cycle would.
void BM_EventFrame(benchmark::State& state)
{
    test::FakeClock clock;
    voice::WebSocketOptions options;
    options.log = [](const std::string&) {};
    voice::WebSocketVoiceClient source(options, clock);
    std::vector<QByteArray> frames;
    for (int i = 0; i < 8; ++i)
        for (const char* type : {"kRxBegin", "kRxEnd"})
            frames.push_back(QString(R"({"type":"%1","value":{"callsign":"PILOT%2","pFrequencyHz":118700000,)"
                                     R"("activeTransmitters":["PILOT%2"]}})")
                                 .arg(type)
                                 .arg(i)
                                 .toUtf8());
    std::size_t n = 0;
    for (auto _ : state) {
        source.HandleFrame(frames[n++ % frames.size()]);
        if (n % 4 == 0) {
            source.ReadSpeakers();
            source.ReadPlayerList();
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(n));
}
BENCHMARK(BM_EventFrame)->Unit(benchmark::kMicrosecond);

// A kFrequencyStateUpdate with 8,000 entries in each of its lists, as an adversarial client may
// send it, to the transmit rule with 200 transmissions open: the window's time for it.
void BM_EightThousandFrequencies(benchmark::State& state)
{
    voicesim::EventOptions sim;
    sim.quiet = true;
    sim.clickMs = 0;
    sim.print = false;
    voicesim::EventServer server(sim);
    server.listen();
    test::FakeClock clock;
    voice::WebSocketOptions options;
    options.url = "ws://127.0.0.1:" + std::to_string(server.port()) + "/ws";
    options.frequencies.kind = voice::FrequencyRule::Kind::Transmit;
    options.log = [](const std::string&) {};
    voice::WebSocketVoiceClient source(options, clock);
    source.Start({});
    if (!test::WaitUntil([&] { return source.State() == voice::VoiceState::Connected; })) {
        state.SkipWithError("the voice client was not connected");
        return;
    }
    QString rx, tx;
    for (int i = 0; i < 8000; ++i) {
        const QString entry = QString(R"({"pFrequencyHz":%1,"pCallsign":"S_%2"})").arg(115000000 + i * 1000).arg(i);
        rx += (i ? "," : "") + entry;
        tx += (i ? "," : "") + entry;
    }
    const QByteArray frame =
        QString(R"({"type":"kFrequencyStateUpdate","value":{"rx":[%1],"tx":[%2],"xc":[]}})").arg(rx, tx).toUtf8();
    source.HandleFrame(frame);
    for (int i = 0; i < 200; ++i)
        source.HandleFrame(QString(R"({"type":"kRxBegin","value":{"callsign":"P%1","pFrequencyHz":%2}})")
                               .arg(i)
                               .arg(115000000 + (8000 - 1 - i % 100) * 1000)
                               .toUtf8());
    for (auto _ : state)
        source.HandleFrame(frame);
    state.counters["open"] = static_cast<double>(source.OpenTransmissions());
    source.Stop();
}
BENCHMARK(BM_EightThousandFrequencies)->Unit(benchmark::kMillisecond);

} // namespace
