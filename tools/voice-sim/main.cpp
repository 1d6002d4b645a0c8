// A stand-in for the voice client: its main window with the information panes and the log pane,
// players who join, switch channel and quit, and pilots keying their microphones in turn. What
// the remote-control library reports comes from the state file this program keeps.
#include "EventServer.h"
#include "SimX11.h"
#include "VoiceState.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <fcntl.h>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string g_statePath; // removed however the program ends

int OnDisplayLost(Display*)
{
    std::remove(g_statePath.c_str());
    std::_Exit(1);
}

using Clock = std::chrono::steady_clock;

struct Options {
    std::vector<std::string> pilots{"DLH123", "BAW456", "AFR789", "KLM12"};
    std::string controller = "EDDF_TWR";
    std::string statePath;
    unsigned seed = 1;
    double talkSeconds = 4;
    double gapSeconds = 2;
    double guestEvery = 25;
    bool quiet = false;
    int x = 0, y = 300;
    int websocket = -1; // the newer client's port instead of the library and windows
    voicesim::EventOptions events;
};

// A number as typed, in every locale; anything else ends the program.
double Number(const std::string& option, const std::string& text)
{
    const auto v = voicesim::ParseNumber(text);
    if (!v) {
        std::fprintf(stderr, "voice-sim: %s needs a number, not %s\n", option.c_str(), text.c_str());
        std::exit(2);
    }
    return *v;
}

void Usage()
{
    std::printf("usage: voice-sim [options]\n"
                "  --pilots A,B,...   pilots who talk in turn (nicknames = aircraft callsigns)\n"
                "  --controller NAME  the controller's nickname (default EDDF_TWR)\n"
                "  --state FILE       state file shared with libTSRemote.so (default $QUADRANTEL_VOICE_STATE)\n"
                "  --talk S           seconds a pilot keys the microphone (default 4, +-1)\n"
                "  --gap S            seconds between transmissions (default 2)\n"
                "  --guest-every S    a guest joins, switches channel and quits every S seconds (0: never)\n"
                "  --seed N           random seed\n"
                "  --quiet            nobody talks until told to\n"
                "  --position X,Y     window position\n"
                "Commands on standard input: quiet, auto, talk NICK, join NICK, quit NICK, switch NICK,\n"
                "connect, disconnect, exit.\n"
                "\n"
                "  --websocket PORT   be the newer client on 127.0.0.1:PORT instead (0: any free port, printed\n"
                "                     as \"voice-sim websocket on PORT\"); no windows. The WebSocket of events\n"
                "                     at /ws, who transmits at GET /transmitting, the client's name elsewhere.\n"
                "                     Stations: the controller's (transmit selected), <prefix>_GND (receive),\n"
                "                     advisory 122.800 and guard 121.500 (receive); all off at every voice\n"
                "                     connect until clicked on\n"
                "  --frequency MHZ    the controller's station frequency (default 118.700)\n"
                "  --other-frequency MHZ  the second station's frequency (default 121.800)\n"
                "  --elsewhere A,B    pilots heard on the second station's frequency\n"
                "  --ground NAME      a ground station that talks on every --ground-every turn (default\n"
                "                     EDDF_APP, every 4th; \"\": never)\n"
                "  --advisory NICK    a pilot who keys up over the caller on 122.800 now and then\n"
                "  --guard NICK       likewise on 121.500\n"
                "  --stranger-every N every N-th turn one of those two talks (default 3)\n"
                "  --overlap-every N  every N-th talker has the next one key up over him (default 2, 0: never)\n"
                "  --lose-every N     every N-th transmission ends without kRxEnd (default 5, 0: never)\n"
                "  --long-every N     every N-th transmission lasts 60 s (0: never)\n"
                "  --rekey-every N    every N-th transmission is ended and begun again halfway (0: never)\n"
                "  --click-after MS   the stations are clicked on this long after a voice connect (default\n"
                "                     1500; -1: only on the click command)\n"
                "  --observer         an observer login: transmit forced off everywhere\n"
                "  --off-network      not on the voice network at start\n"
                "  --quit-every S     the client quits for 3 s every S seconds (default 0: never)\n"
                "  --old-client       a client from before 2025: no answers to requests, no activeTransmitters\n"
                "  --silent           nothing at all after the handshake\n"
                "  --flood N          N kRxBegin/kRxEnd events per second, nothing else (load runs)\n"
                "  --flood-tick MS    the flood's events go out in bursts MS apart (default 1)\n"
                "WebSocket commands: quiet, auto, talk NICK [MHZ [S]] (alone), also NICK [MHZ [S]] (over the\n"
                "others), end NICK, lose (the open transmissions' kRxEnd are lost), rekey NICK, again NICK\n"
                "(a second kRxBegin), remove MHZ, add MHZ CALLSIGN, receive MHZ on|off, transmit MHZ on|off,\n"
                "click, volume (an update without callsign), key, hang S (pongs still answered; 0: back), freeze S\n"
                "(nothing answered), quit-client [S], connect, disconnect, exit.\n");
}

class VoiceClient {
public:
    VoiceClient(Display* d, Options o) : d_(d), o_(std::move(o)), rng_(o_.seed), start_(Clock::now())
    {
        mode_ = o_.quiet ? Mode::Quiet : Mode::Auto;
        state_.pid = getpid();
        state_.connected = false;
        const Window root = DefaultRootWindow(d_);
        main_ = simx::Open(d_, root, "TeamSpeak 2", "TeamSpeak 2", {o_.x, o_.y, 520, 380}, 0xD4D0C8);
        server_ = simx::Open(d_, main_, "TRichEditWithLinks", "Server: (not connected)", {4, 4, 252, 64}, 0xFFFFFF);
        channel_ = simx::Open(d_, main_, "TRichEditWithLinks", "Channel: -", {262, 4, 252, 64}, 0xFFFFFF);
        player_ = simx::Open(d_, main_, "TRichEditWithLinks", "Player: -", {4, 74, 510, 44}, 0xFFFFFF);
        log_ = simx::Open(d_, main_, "TRichEditWithLinks", "", {4, 124, 510, 250}, 0xFFFFFF);
        gc_ = XCreateGC(d_, main_, 0, nullptr);
        XSetForeground(d_, gc_, 0x000000);
        XMapSubwindows(d_, main_);
        XMapWindow(d_, main_);
        Log("TeamSpeak 2 (simulated) started");
        publish();
        XFlush(d_);
    }

    ~VoiceClient()
    {
        std::remove(o_.statePath.c_str());
        XFreeGC(d_, gc_);
        XDestroyWindow(d_, main_);
        XFlush(d_);
    }

    double seconds() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }

    void event(const XEvent& e)
    {
        if (e.type == Expose && e.xexpose.count == 0)
            simx::DrawText(d_, e.xexpose.window, gc_);
        if (e.type == ClientMessage)
            simx::g_stop = 1;
    }

    void command(const std::string& line)
    {
        std::istringstream in(line);
        std::string verb, arg;
        in >> verb >> arg;
        if (verb == "quiet") {
            mode_ = Mode::Quiet;
            stopTalking();
        } else if (verb == "auto") {
            mode_ = Mode::Auto;
            next_ = seconds();
        } else if (verb == "talk" && !arg.empty()) {
            mode_ = Mode::Quiet;
            stopTalking();
            startTalking(arg);
        } else if (verb == "join" && !arg.empty()) {
            join(arg, 1);
        } else if (verb == "quit" && !arg.empty()) {
            leave(arg);
        } else if (verb == "switch" && !arg.empty()) {
            switchChannel(arg);
        } else if (verb == "connect") {
            connectServer();
        } else if (verb == "disconnect") {
            disconnectServer();
        } else if (verb == "exit") {
            simx::g_stop = 1;
        } else {
            std::fprintf(stderr, "voice-sim: unknown command: %s\n", line.c_str());
        }
        publish();
    }

    // Advances the scenario; called every 100 ms.
    void tick()
    {
        const double now = seconds();
        if (!state_.connected && !scripted_ && now >= 0.5) {
            scripted_ = true;
            connectServer();
            joinAt_ = now;
        }
        if (state_.connected && joined_ < o_.pilots.size() && now >= joinAt_) {
            join(o_.pilots[joined_++], 1);
            joinAt_ = now + 0.3;
            next_ = now + 0.5;
        }
        if (mode_ == Mode::Auto && state_.connected && joined_ == o_.pilots.size() && !o_.pilots.empty()) {
            if (!talking_.empty() && now >= until_) {
                stopTalking();
                next_ = now + o_.gapSeconds * (0.75 + 0.5 * unit());
            } else if (talking_.empty() && now >= next_) {
                startTalking(o_.pilots[turn_++ % o_.pilots.size()]);
                until_ = now + std::max(1.0, o_.talkSeconds + (unit() * 2 - 1));
            }
        }
        if (o_.guestEvery > 0 && state_.connected) {
            if (guestAt_ == 0)
                guestAt_ = now + o_.guestEvery / 2;
            if (now >= guestAt_) {
                if (guestStep_ == 0)
                    join("Visitor", 1);
                else if (guestStep_ == 1)
                    switchChannel("Visitor");
                else
                    leave("Visitor");
                guestStep_ = (guestStep_ + 1) % 3;
                guestAt_ = now + (guestStep_ == 0 ? o_.guestEvery : 6);
            }
        }
        publish();
    }

private:
    enum class Mode { Auto, Quiet };

    double unit() { return std::uniform_real_distribution<double>(0, 1)(rng_); }

    void Log(const std::string& text)
    {
        const std::time_t t = std::time(nullptr);
        char stamp[16];
        std::strftime(stamp, sizeof stamp, "%H:%M:%S", std::localtime(&t));
        lines_.push_back(std::string("<") + stamp + "> " + text);
        while (lines_.size() > 60)
            lines_.pop_front();
        std::string all;
        for (const std::string& l : lines_)
            all += l + "\r\n";
        simx::SetText(d_, log_, all);
        std::printf("%s\n", lines_.back().c_str());
        std::fflush(stdout);
    }

    voicesim::Player* find(const std::string& nick)
    {
        for (auto& p : state_.players)
            if (p.nick == nick)
                return &p;
        return nullptr;
    }

    void connectServer()
    {
        if (state_.connected)
            return;
        state_.connected = true;
        simx::SetText(d_, server_, "Server: Orvanta Voice\nAddress: 127.0.0.1:8767\nVersion: 2.0.32.60");
        Log("*** Connected to Orvanta Voice");
        if (!find(o_.controller)) {
            state_.players.push_back({nextId_++, 1, 2 /* Operator */, 8 /* Registered */, 0, o_.controller});
            Log("*** " + o_.controller + " joined channel Approach");
        }
        showChannel();
    }

    void disconnectServer()
    {
        if (!state_.connected)
            return;
        stopTalking();
        state_.connected = false;
        state_.players.clear();
        joined_ = o_.pilots.size(); // nobody rejoins by himself after a disconnect
        simx::SetText(d_, server_, "Server: (not connected)");
        Log("*** Disconnected");
        showChannel();
    }

    void join(const std::string& nick, std::int32_t channel)
    {
        if (!state_.connected || find(nick))
            return;
        state_.players.push_back({nextId_++, channel, 8 /* Voice */, 4 | 8, 0, nick});
        Log("*** " + nick + " joined channel " + ChannelName(channel));
        showChannel();
    }

    void leave(const std::string& nick)
    {
        if (talking_ == nick)
            stopTalking();
        std::erase_if(state_.players, [&](const voicesim::Player& p) { return p.nick == nick; });
        Log("*** " + nick + " quit");
        showChannel();
    }

    void switchChannel(const std::string& nick)
    {
        if (voicesim::Player* p = find(nick)) {
            p->channel = p->channel == 1 ? 2 : 1;
            Log("*** " + nick + " switched to channel " + ChannelName(p->channel));
            showChannel();
        }
    }

    static std::string ChannelName(std::int32_t channel) { return channel == 1 ? "Approach" : "Lobby"; }

    void showChannel()
    {
        int here = 0;
        for (const auto& p : state_.players)
            here += p.channel == 1;
        simx::SetText(d_, channel_,
                      state_.connected ? "Channel: Approach\nPlayers: " + std::to_string(here) + "\nCodec: GSM 16.4"
                                       : "Channel: -");
    }

    void startTalking(const std::string& nick)
    {
        voicesim::Player* p = find(nick);
        if (!p)
            return;
        talking_ = nick;
        state_.speakers = {p->id};
        simx::SetText(d_, player_, "Player: " + nick + "\nTransmitting ...");
        std::printf("talking %s\n", nick.c_str());
        std::fflush(stdout);
    }

    void stopTalking()
    {
        if (talking_.empty())
            return;
        talking_.clear();
        state_.speakers.clear();
        simx::SetText(d_, player_, "Player: -");
    }

    void publish()
    {
        if (!voicesim::Write(o_.statePath, state_))
            std::fprintf(stderr, "voice-sim: cannot write %s\n", o_.statePath.c_str());
    }

    Display* d_;
    Options o_;
    std::mt19937 rng_;
    Clock::time_point start_;
    voicesim::State state_;
    Window main_, server_, channel_, player_, log_;
    GC gc_;
    std::deque<std::string> lines_;
    Mode mode_ = Mode::Auto;
    bool scripted_ = false;
    std::size_t joined_ = 0;
    std::size_t turn_ = 0;
    double joinAt_ = 0, next_ = 0, until_ = 0, guestAt_ = 0;
    int guestStep_ = 0;
    std::int32_t nextId_ = 1;
    std::string talking_;
};

} // namespace

int main(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "voice-sim: %s needs a value\n", a.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--pilots")
            o.pilots = simx::Split(value());
        else if (a == "--controller")
            o.controller = value();
        else if (a == "--state")
            o.statePath = value();
        else if (a == "--talk")
            o.talkSeconds = Number(a, value());
        else if (a == "--gap")
            o.gapSeconds = Number(a, value());
        else if (a == "--guest-every")
            o.guestEvery = Number(a, value());
        else if (a == "--seed")
            o.seed = static_cast<unsigned>(std::strtoul(value().c_str(), nullptr, 10));
        else if (a == "--quiet")
            o.quiet = true;
        else if (a == "--position") {
            if (std::sscanf(value().c_str(), "%d,%d", &o.x, &o.y) != 2) {
                std::fprintf(stderr, "voice-sim: --position X,Y\n");
                return 2;
            }
        } else if (a == "--websocket") {
            o.websocket = std::atoi(value().c_str());
        } else if (a == "--frequency") {
            o.events.frequencyMHz = Number(a, value());
        } else if (a == "--other-frequency") {
            o.events.otherFrequencyMHz = Number(a, value());
        } else if (a == "--ground") {
            o.events.ground = value();
        } else if (a == "--ground-every") {
            o.events.groundEvery = std::atoi(value().c_str());
        } else if (a == "--overlap-every") {
            o.events.overlapEvery = std::atoi(value().c_str());
        } else if (a == "--old-client") {
            o.events.oldClient = true;
        } else if (a == "--silent") {
            o.events.silent = true;
        } else if (a == "--advisory") {
            o.events.advisory = value();
        } else if (a == "--guard") {
            o.events.guard = value();
        } else if (a == "--stranger-every") {
            o.events.strangerEvery = std::atoi(value().c_str());
        } else if (a == "--long-every") {
            o.events.longEvery = std::atoi(value().c_str());
        } else if (a == "--rekey-every") {
            o.events.rekeyEvery = std::atoi(value().c_str());
        } else if (a == "--click-after") {
            o.events.clickMs = std::atoi(value().c_str());
        } else if (a == "--observer") {
            o.events.observer = true;
        } else if (a == "--off-network") {
            o.events.connected = false;
        } else if (a == "--elsewhere") {
            o.events.elsewhere = simx::Split(value());
        } else if (a == "--lose-every") {
            o.events.loseEvery = std::atoi(value().c_str());
        } else if (a == "--quit-every") {
            o.events.quitEvery = Number(a, value());
        } else if (a == "--flood") {
            o.events.flood = std::atoi(value().c_str());
        } else if (a == "--flood-tick") {
            o.events.floodTickMs = std::atoi(value().c_str());
        } else if (a == "--help" || a == "-h") {
            Usage();
            return 0;
        } else {
            std::fprintf(stderr, "voice-sim: unknown option %s\n", a.c_str());
            Usage();
            return 2;
        }
    }
    if (o.websocket >= 0) {
        o.events.port = o.websocket;
        o.events.pilots = o.pilots;
        o.events.controller = o.controller;
        o.events.seed = o.seed;
        o.events.talkSeconds = o.talkSeconds;
        o.events.gapSeconds = o.gapSeconds;
        o.events.quiet = o.quiet;
        return voicesim::RunEventServer(std::move(o.events));
    }
    if (o.statePath.empty())
        o.statePath = voicesim::StatePath();

    Display* d = XOpenDisplay(nullptr);
    if (!d) {
        std::fprintf(stderr, "voice-sim: cannot open the display\n");
        return 1;
    }
    g_statePath = o.statePath;
    XSetIOErrorHandler(OnDisplayLost);
    simx::StopOnSignals();
    fcntl(STDIN_FILENO, F_SETFL, fcntl(STDIN_FILENO, F_GETFL) | O_NONBLOCK);
    {
        VoiceClient client(d, std::move(o));
        int input = STDIN_FILENO;
        std::string pending;
        double lastTick = 0;
        while (!simx::g_stop) {
            const bool readable = simx::Wait(d, input, 50);
            if (readable) {
                std::vector<std::string> lines;
                if (!simx::ReadLines(input, pending, lines))
                    input = -1; // input closed: the scenario runs by itself
                for (const auto& l : lines)
                    client.command(l);
            }
            while (XPending(d) > 0) {
                XEvent e;
                XNextEvent(d, &e);
                client.event(e);
            }
            if (client.seconds() - lastTick >= 0.1) {
                lastTick = client.seconds();
                client.tick();
            }
            XFlush(d);
        }
    }
    XCloseDisplay(d);
    return 0;
}
