// A stand-in for the ATC client: its main window with the tool bar and the connection panel,
// and the communication box whose callsign field shows the selected aircraft. Driven by its
// options, by clicks on the connection button, or by commands on standard input.
#include "SimX11.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    std::string title = "Towrix 2.4 - EDDF_TWR";
    bool connected = false;
    double connectAfter = -1; // seconds; < 0: not by itself
    std::string callsign;
    std::vector<std::string> cycle;
    double cycleSeconds = 8;
    int x = 0, y = 0;
};

void Usage()
{
    std::printf("usage: towrix-sim [options]\n"
                "  --title TEXT         main window title (default \"Towrix 2.4 - EDDF_TWR\")\n"
                "  --connected          connected to the network from the start\n"
                "  --connect-after S    connects by itself after S seconds\n"
                "  --callsign CALL      the aircraft selected in the communication box\n"
                "  --cycle A,B,...      selects these aircraft in turn\n"
                "  --cycle-seconds S    seconds per selection (default 8)\n"
                "  --position X,Y       position of the main window\n"
                "Commands on standard input: connect, disconnect, callsign [CALL], exit.\n"
                "A click on the connection button connects or disconnects.\n");
}

class AtcClient {
public:
    AtcClient(Display* d, Options o) : d_(d), o_(std::move(o)), start_(Clock::now())
    {
        const Window root = DefaultRootWindow(d_);
        main_ = simx::Open(d_, root, "TowrixMain", o_.title, {o_.x, o_.y, 560, 110}, 0x2B3A4A);
        const Window rebar = simx::Open(d_, main_, "ReBarWindow32", "", {0, 0, 560, 40}, 0xD4D0C8);
        const Window panel = simx::Open(d_, rebar, "#32770", "", {4, 4, 340, 32}, 0xD4D0C8);
        button_ = simx::Open(d_, panel, "Button", "CONNECT", {4, 4, 110, 24}, 0xE8E8E8);
        simx::Open(d_, panel, "Button", "SETTINGS", {120, 4, 90, 24}, 0xE8E8E8);
        status_ = simx::Open(d_, panel, "Static", "", {216, 4, 120, 24}, 0xD4D0C8);
        XMapSubwindows(d_, panel);
        XMapSubwindows(d_, rebar);
        XMapSubwindows(d_, main_);

        comm_ = simx::Open(d_, root, "#32770", "COMMBox", {o_.x, o_.y + 140, 260, 80}, 0xD4D0C8);
        simx::Open(d_, comm_, "Static", "Freq / Callsign", {6, 6, 240, 20}, 0xD4D0C8);
        simx::Open(d_, comm_, "Edit", "118.500", {6, 34, 71, 24}, 0xFFFFFF);
        callsign_ = simx::Open(d_, comm_, "Edit", "", {90, 34, 70, 24}, 0xFFFFFF);
        XMapSubwindows(d_, comm_);
        gc_ = XCreateGC(d_, main_, 0, nullptr);
        XMapWindow(d_, main_);
        XMapWindow(d_, comm_);
        setConnected(o_.connected);
        select(o_.callsign.empty() && !o_.cycle.empty() ? o_.cycle.front() : o_.callsign);
        XFlush(d_);
    }

    ~AtcClient()
    {
        XFreeGC(d_, gc_);
        XDestroyWindow(d_, comm_);
        XDestroyWindow(d_, main_);
        XFlush(d_);
    }

    double seconds() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }

    void event(const XEvent& e)
    {
        if (e.type == Expose && e.xexpose.count == 0)
            simx::DrawText(d_, e.xexpose.window, gc_, e.xexpose.window == button_);
        else if (e.type == ButtonPress && e.xbutton.window == button_)
            setConnected(!connected_);
        else if (e.type == ClientMessage)
            simx::g_stop = 1;
    }

    void command(const std::string& line)
    {
        std::istringstream in(line);
        std::string verb, arg;
        in >> verb;
        std::getline(in >> std::ws, arg);
        if (verb == "connect")
            setConnected(true);
        else if (verb == "disconnect")
            setConnected(false);
        else if (verb == "callsign") {
            o_.cycle.clear();
            select(arg);
        } else if (verb == "exit")
            simx::g_stop = 1;
        else
            std::fprintf(stderr, "towrix-sim: unknown command: %s\n", line.c_str());
    }

    void tick()
    {
        const double now = seconds();
        if (o_.connectAfter >= 0 && now >= o_.connectAfter) {
            o_.connectAfter = -1;
            setConnected(true);
        }
        if (o_.cycle.size() > 1 && now >= nextSelect_) {
            nextSelect_ = now + o_.cycleSeconds;
            select(o_.cycle[turn_++ % o_.cycle.size()]);
        }
    }

private:
    void setConnected(bool connected)
    {
        connected_ = connected;
        simx::SetText(d_, button_, connected ? "DISCONNECT" : "CONNECT");
        simx::SetText(d_, status_, connected ? "Online" : "Offline");
        std::printf("%s\n", connected ? "connected" : "disconnected");
        std::fflush(stdout);
    }

    void select(const std::string& callsign)
    {
        simx::SetText(d_, callsign_, callsign);
        std::printf("selected %s\n", callsign.c_str());
        std::fflush(stdout);
    }

    Display* d_;
    Options o_;
    Clock::time_point start_;
    Window main_, button_, status_, comm_, callsign_;
    GC gc_;
    bool connected_ = false;
    double nextSelect_ = 0;
    std::size_t turn_ = 0;
};

} // namespace

int main(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "towrix-sim: %s needs a value\n", a.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--title")
            o.title = value();
        else if (a == "--connected")
            o.connected = true;
        else if (a == "--connect-after")
            o.connectAfter = simx::Number(value());
        else if (a == "--callsign")
            o.callsign = value();
        else if (a == "--cycle")
            o.cycle = simx::Split(value());
        else if (a == "--cycle-seconds")
            o.cycleSeconds = std::max(0.5, simx::Number(value()));
        else if (a == "--position") {
            if (std::sscanf(value().c_str(), "%d,%d", &o.x, &o.y) != 2) {
                std::fprintf(stderr, "towrix-sim: --position X,Y\n");
                return 2;
            }
        } else if (a == "--help" || a == "-h") {
            Usage();
            return 0;
        } else {
            std::fprintf(stderr, "towrix-sim: unknown option %s\n", a.c_str());
            Usage();
            return 2;
        }
    }

    Display* d = XOpenDisplay(nullptr);
    if (!d) {
        std::fprintf(stderr, "towrix-sim: cannot open the display\n");
        return 1;
    }
    simx::StopOnSignals();
    fcntl(STDIN_FILENO, F_SETFL, fcntl(STDIN_FILENO, F_GETFL) | O_NONBLOCK);
    {
        AtcClient client(d, std::move(o));
        int input = STDIN_FILENO;
        std::string pending;
        while (!simx::g_stop) {
            if (simx::Wait(d, input, 100)) {
                std::vector<std::string> lines;
                if (!simx::ReadLines(input, pending, lines))
                    input = -1;
                for (const auto& l : lines)
                    client.command(l);
            }
            while (XPending(d) > 0) {
                XEvent e;
                XNextEvent(d, &e);
                client.event(e);
            }
            client.tick();
            XFlush(d);
        }
    }
    XCloseDisplay(d);
    return 0;
}
