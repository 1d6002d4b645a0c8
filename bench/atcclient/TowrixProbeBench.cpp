// The ATC client's two questions against a real X server (a private Xvfb) crowded with 50, 200
// and 2,000 other windows: the automatic-connection check, and TEST with a communication box of
// 500 edit children. The client's windows lie at the bottom, so every window is looked at.
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

// Windows kept open on a connection of their own, as another program would. Built once and
// grown between runs: opening and closing thousands of windows per run only loads the server.
class Desktop {
public:
    explicit Desktop(Display* display) : display_(display)
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
        XSync(display_, False);
    }
    ~Desktop() { XCloseDisplay(display_); }
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;

    void growTo(int fillers)
    {
        for (; fillers_ < fillers; ++fillers_)
            make(DefaultRootWindow(display_), "Filler", "Other program " + std::to_string(fillers_), 200, 100);
        XSync(display_, False);
    }

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
    int fillers_ = 0;
};

std::unique_ptr<Desktop> gDesktop; // nothing when the private server did not come up

template <typename Probe> void Run(benchmark::State& state, int fillers, Probe probe)
{
    if (!gDesktop) {
        state.SkipWithError("no private X server (Xvfb)");
        return;
    }
    gDesktop->growTo(fillers);
    bool right = true;
    for (auto _ : state)
        right = probe() && right;
    if (!right)
        state.SkipWithError("the ATC client was not read right");
}

void RegisterAll()
{
    for (const int fillers : {50, 200, 2000}) {
        benchmark::RegisterBenchmark(("BM_AutoConnectCheck/" + std::to_string(fillers)).c_str(),
                                     [fillers](benchmark::State& state) {
                                         Run(state, fillers, [] {
                                             return atcclient::CheckTowrixConnection() ==
                                                    atcclient::TowrixConnection::Connected;
                                         });
                                     })
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("BM_TestButton/" + std::to_string(fillers)).c_str(),
                                     [fillers](benchmark::State& state) {
                                         Run(state, fillers, [] { return atcclient::GetTowrixCallsign() == "DLH123"; });
                                     })
            ->Unit(benchmark::kMillisecond);
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    test::XvfbServer server;
    const std::string display = test::XvfbServer::Available() ? server.start() : std::string();
    std::unique_ptr<platform::ScopedWindowSystem> x11;
    if (Display* d = display.empty() ? nullptr : XOpenDisplay(display.c_str())) {
        gDesktop = std::make_unique<Desktop>(d);
        x11 = std::make_unique<platform::ScopedWindowSystem>(platform::OpenX11WindowSystem(display.c_str()));
    } else {
        std::fprintf(stderr, "no private X server: Xvfb missing or not reachable\n");
    }
    RegisterAll();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    x11.reset();
    gDesktop.reset();
    return 0;
}
