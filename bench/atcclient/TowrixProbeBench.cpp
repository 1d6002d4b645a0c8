// The ATC client's two questions against a real X server (a private Xvfb) crowded with other
// programs' windows: the automatic-connection check, and TEST with a communication box of 500
// edit children. The client's windows lie at the bottom, so every window is looked at.
#include "atcclient/TowrixProbe.h"
#include "platform/WindowSystem.h"

#include "support/XvfbServer.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <memory>
#include <string>

using namespace quadrantel;

namespace {

std::string gDisplay; // of the private server, empty when it did not start

// Windows kept open on a connection of their own, as another program would.
class Desktop {
public:
    explicit Desktop(int fillers) : display_(XOpenDisplay(gDisplay.c_str()))
    {
        const ::Window root = DefaultRootWindow(display_);
        // Created first, so they sit below everything made after them.
        const ::Window towrix = make(root, "Towrix", "Towrix 1.4 - EDDF_TWR", 800, 600);
        const ::Window bar = make(towrix, "ReBarWindow32", "", 800, 30);
        const ::Window panel = make(bar, "#32770", "", 800, 30);
        make(panel, "Button", "CONNECT", 80, 20);
        make(panel, "Button", "DISCONNECT", 80, 20);
        const ::Window comm = make(root, "#32770", "COMMBox", 400, 300);
        for (int i = 0; i < 499; ++i)
            make(comm, "Edit", "line " + std::to_string(i), 300, 20);
        make(comm, "Edit", " DLH123 ", 70, 20);
        for (int i = 0; i < fillers; ++i)
            make(root, "Filler", "Other program " + std::to_string(i), 200, 100);
        XSync(display_, False);
    }
    ~Desktop() { XCloseDisplay(display_); }
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;

private:
    ::Window make(::Window parent, std::string className, const std::string& title, unsigned w, unsigned h)
    {
        const ::Window window = XCreateSimpleWindow(display_, parent, 0, 0, w, h, 0, 0, 0);
        std::string instance = "bench";
        XClassHint hint{instance.data(), className.data()};
        XSetClassHint(display_, window, &hint);
        XStoreName(display_, window, title.c_str());
        XMapWindow(display_, window);
        return window;
    }

    Display* display_;
};

template <typename Probe> void Run(benchmark::State& state, Probe probe)
{
    if (gDisplay.empty()) {
        state.SkipWithError("no private X server (Xvfb)");
        return;
    }
    const Desktop desktop(static_cast<int>(state.range(0)));
    platform::ScopedWindowSystem x11(platform::OpenX11WindowSystem(gDisplay.c_str()));
    bool right = true;
    for (auto _ : state)
        right = probe() && right;
    if (!right)
        state.SkipWithError("the ATC client was not read right");
}

void BM_AutoConnectCheck(benchmark::State& state)
{
    Run(state, [] { return atcclient::CheckTowrixConnection() == atcclient::TowrixConnection::Connected; });
}
BENCHMARK(BM_AutoConnectCheck)->Arg(50)->Arg(200)->Arg(2000)->Unit(benchmark::kMillisecond);

void BM_TestButton(benchmark::State& state)
{
    Run(state, [] { return atcclient::GetTowrixCallsign() == "DLH123"; });
}
BENCHMARK(BM_TestButton)->Arg(50)->Arg(200)->Arg(2000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    test::XvfbServer server;
    if (test::XvfbServer::Available())
        gDisplay = server.start();
    if (gDisplay.empty())
        std::fprintf(stderr, "no private X server: Xvfb missing or not started\n");
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
