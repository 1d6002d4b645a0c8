// One speaker cycle of the main window with a busy sky: 2,000 strips and as many voice players
// as talk at once (at least 500), the talking pilots last in both lists; with and without
// the window's widgets.
#include "app/GonioForm.h"
#include "atcclient/TowrixProbe.h"
#include "link/LinkSource.h"
#include "shell/Config.h"
#include "voice/modTSRemote.h"
#ifdef QUADRANTEL_BENCH_WINDOW
#include "app/frmGonio.h"
#endif

#include "support/FakeAtcClient.h"
#include "support/FakeGonioHost.h"
#include "support/FakeVoiceClient.h"

#include <benchmark/benchmark.h>

#ifdef QUADRANTEL_BENCH_WINDOW
#include <QApplication>
#else
#include <QCoreApplication>
#endif
#include <QTemporaryDir>

#include <algorithm>

using namespace quadrantel;

namespace {

class NoSocket final : public link::LinkSocket {
public:
    int state(const std::string&) override { return link::sckConnected; }
    void Connect(const std::string&, const std::string&, const std::string&) override {}
    void SendData(const std::string&, const std::string&) override {}
    void GetData(const std::string&, std::string& d) override { d = block; }
    void CloseSck(const std::string&) override {}
    void SetTag(const std::string&, const std::string&) override {}
    std::string block;
};

struct Sky {
    QTemporaryDir dir;
    test::FakeVoiceClient voice;
    test::FakeAtcClient atc;
    NoSocket* sck = nullptr;

    Sky()
    {
        shell::globals() = shell::Globals{};
        shell::SetupDataFolder(dir.path().toStdString());
    }
    app::GonioServices services()
    {
        app::GonioServices s;
        s.voice = &voice;
        s.atc = &atc;
        s.dump = [](std::string_view) {};
        s.makeSocket = [this](const link::LinkEvents&) {
            auto p = std::make_unique<NoSocket>();
            sck = p.get();
            return p;
        };
        return s;
    }
};

// 2,000 strips and `talking` pilots transmitting at once, the first of them in the strip list.
void RunCycles(benchmark::State& state, Sky& sky, app::GonioForm& form)
{
    form.tmrSpeakers.setEnabled(false);
    form.tmrUpdate.setEnabled(false);
    form.chkGonio.setValue(1);
    for (int i = 0; i < 2000; ++i)
        sky.sck->block += "@N:SIM" + std::to_string(i) + ":1000:1:50.5:9.0:35000:420:0\r\n";
    form.sources().link->controller().Sck_DataArrival("Quadrantel", 0);
    const int talking = static_cast<int>(state.range(0));
    const int players = std::max(500, talking);
    for (int i = 0; i < players; ++i)
        sky.voice.players.push_back(test::FakeVoiceClient::Player(i + 1, "SIM" + std::to_string(2000 - players + i)));
    form.speakers().tmrSpeakers_Timer(); // fills the player list
    sky.voice.speakers.clear();
    for (int id = players - talking + 1; id <= players; ++id)
        sky.voice.speakers.push_back(id);
    for (auto _ : state)
        form.speakers().tmrSpeakers_Timer();
    state.counters["strips"] = form.lstStrips.listCount();
    if (form.lstSpeakers.listCount() != talking || form.lstStrips.text() != form.lstSpeakers.list(0))
        state.SkipWithError("the talking pilots were not found");
}

void BM_SpeakerCycle(benchmark::State& state)
{
    Sky sky;
    test::FakeGonioHost host;
    app::GonioForm form(host, sky.services());
    form.Form_Load();
    RunCycles(state, sky, form);
}
BENCHMARK(BM_SpeakerCycle)->Arg(1)->Arg(1024)->Unit(benchmark::kMicrosecond);

#ifdef QUADRANTEL_BENCH_WINDOW
// The same with the real window bound to the lists, as the program runs it.
void BM_SpeakerCycleWindow(benchmark::State& state)
{
    Sky sky;
    auto* window = new app::frmGonio(sky.services());
    window->show();
    RunCycles(state, sky, window->form());
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
BENCHMARK(BM_SpeakerCycleWindow)->Arg(1)->Arg(1024)->Unit(benchmark::kMicrosecond);
#endif

} // namespace

int main(int argc, char** argv)
{
#ifdef QUADRANTEL_BENCH_WINDOW
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
#else
    QCoreApplication app(argc, argv);
#endif
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
