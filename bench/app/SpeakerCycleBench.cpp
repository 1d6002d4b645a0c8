// One speaker cycle of the main window with a busy sky: 2,000 strips and as many voice players
// as talk at once (at least 500), the talking pilots last in both lists.
#include "app/GonioForm.h"
#include "atcclient/TowrixProbe.h"
#include "shell/Config.h"
#include "voice/modTSRemote.h"

#include "support/FakeAtcClient.h"
#include "support/FakeVoiceClient.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include <algorithm>

using namespace quadrantel;

namespace {

class Host final : public app::GonioHost {
public:
    void setTitle(const std::string&) override {}
    bool isMinimized() const override { return false; }
    float left() const override { return 0; }
    float top() const override { return 0; }
    float width() const override { return 9000; }
    float height() const override { return 6000; }
    float screenWidth() const override { return 15360; }
    float screenHeight() const override { return 11520; }
    void moveTo(float, float) override {}
    bool titleBarOnScreen(float, float) const override { return true; }
    void setWindowPos(int) override {}
    void showSetupWindow() override {}
    void unloadWindow() override {}
};

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

void BM_SpeakerCycle(benchmark::State& state)
{
    QTemporaryDir dir;
    shell::globals() = shell::Globals{};
    shell::SetupDataFolder(dir.path().toStdString());
    Host host;
    test::FakeVoiceClient voice;
    test::FakeAtcClient atc;
    NoSocket* sck = nullptr;
    app::GonioServices s;
    s.voice = &voice;
    s.atc = &atc;
    s.dump = [](std::string_view) {};
    s.makeSocket = [&](link::LinkEvents) {
        auto p = std::make_unique<NoSocket>();
        sck = p.get();
        return p;
    };
    app::GonioForm form(host, std::move(s));
    form.Form_Load();
    form.tmrSpeakers.setEnabled(false);
    form.tmrUpdate.setEnabled(false);
    form.chkGonio.setValue(1);

    for (int i = 0; i < 2000; ++i)
        sck->block += "@N:SIM" + std::to_string(i) + ":1000:1:50.5:9.0:35000:420:0\r\n";
    form.link().Sck_DataArrival("Quadrantel", 0);
    const int talking = static_cast<int>(state.range(0));
    const int players = std::max(500, talking);
    for (int i = 0; i < players; ++i)
        voice.players.push_back(test::FakeVoiceClient::Player(i + 1, "SIM" + std::to_string(2000 - players + i)));
    form.speakers().tmrSpeakers_Timer(); // fills the player list
    voice.speakers.clear();
    for (int id = players - talking + 1; id <= players; ++id)
        voice.speakers.push_back(id);
    for (auto _ : state)
        form.speakers().tmrSpeakers_Timer();
    state.counters["strips"] = form.lstStrips.listCount();
    if (form.lstSpeakers.listCount() != talking || form.lstStrips.text() != form.lstSpeakers.list(0))
        state.SkipWithError("the talking pilots were not found");
}
BENCHMARK(BM_SpeakerCycle)->Arg(1)->Arg(1024)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
