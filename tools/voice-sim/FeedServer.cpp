// The feed mode of voice-sim: talking pilots reported as JSON events over a WebSocket, as the
// newer voice client reports them. On connect it sends only its tuned frequencies (while on
// the network), answers the two requests to the asker alone, and reports every transmission,
// station change and removal; it is never kinder than that client (lost kRxEnd, talkers over
// each other, ground stations among the speakers).
#include "FeedServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketServer>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <memory>
#include <random>
#include <sstream>
#include <unistd.h>

namespace voicesim {

std::optional<double> ParseNumber(const std::string& text)
{
    double v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

std::string NumberText(double value, int decimals)
{
    char buf[64];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    return ec == std::errc() ? std::string(buf, end) : std::string("?");
}

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnSignal(int)
{
    g_stop = 1;
}

qint64 Hz(double mhz)
{
    return std::llround(mhz * 1000) * 1000;
}

QByteArray Event(const char* type, const QJsonObject& value)
{
    return QJsonDocument(QJsonObject{{"type", type}, {"value", value}}).toJson(QJsonDocument::Compact);
}

struct Station {
    std::string callsign;
    double mhz;
    bool tx;
    int volume = 100;
};

struct Talker {
    std::string callsign;
    double mhz;
    double until; // when he lets go of the key
};

class Feed {
public:
    explicit Feed(FeedOptions o)
        : o_(std::move(o)), rng_(o_.seed), server_("voice-sim", QWebSocketServer::NonSecureMode)
    {
        const std::string prefix = o_.controller.substr(0, o_.controller.find('_'));
        stations_ = {{o_.controller, o_.frequencyMHz, true}, {prefix + "_GND", o_.otherFrequencyMHz, false}};
        QObject::connect(&server_, &QWebSocketServer::newConnection, &server_, [this] { accept(); });
        QObject::connect(&tick_, &QTimer::timeout, &tick_, [this] { tick(); });
        tick_.start(o_.flood > 0 ? std::max(1, o_.floodTickMs) : 50);
        clock_.start();
    }

    bool listen()
    {
        if (!server_.listen(QHostAddress::LocalHost, static_cast<quint16>(port_ ? port_ : o_.port)))
            return false;
        port_ = server_.serverPort();
        return true;
    }
    int port() const { return port_; }

    void command(const std::string& line)
    {
        std::istringstream in(line);
        std::string verb, arg, number;
        in >> verb >> arg >> number;
        const auto mhz = [&](const std::string& text, double otherwise) {
            return ParseNumber(text).value_or(otherwise);
        };
        if (verb == "quiet") {
            auto_ = false;
            endAll();
        } else if (verb == "auto") {
            auto_ = true;
            next_ = now();
        } else if (verb == "talk" && !arg.empty()) { // alone: whoever talked lets go
            auto_ = false;
            endAll();
            begin(arg, mhz(number, o_.frequencyMHz), 1e9);
        } else if (verb == "also" && !arg.empty()) { // over whoever talks
            auto_ = false;
            begin(arg, mhz(number, o_.frequencyMHz), 1e9);
        } else if (verb == "end" && !arg.empty()) {
            end(arg, true);
        } else if (verb == "lose") {
            for (const Talker& t : std::vector<Talker>(talking_))
                end(t.callsign, false);
        } else if (verb == "remove" && !arg.empty()) {
            remove(mhz(arg, 0));
        } else if (verb == "add" && !number.empty()) {
            stations_.push_back({number, mhz(arg, 0), false});
            broadcast(Event("kStationStateUpdate", station(stations_.back(), true)));
        } else if (verb == "volume") {
            stations_[0].volume = stations_[0].volume == 100 ? 60 : 100;
            broadcast(Event("kStationStateUpdate", station(stations_[0], true)));
        } else if (verb == "tx") { // the controller keys his own microphone for a second
            broadcast(Event("kTxBegin", {}));
            QTimer::singleShot(1000, &tick_, [this] { broadcast(Event("kTxEnd", {})); });
        } else if (verb == "hang") { // the whole client stops, pongs included
            say("client hangs for " + NumberText(mhz(arg, 10), 1) + " s");
            QThread::msleep(static_cast<unsigned long>(mhz(arg, 10) * 1000));
        } else if (verb == "quit-client") {
            quit(mhz(arg, 3));
        } else if (verb == "connect" || verb == "disconnect") {
            setConnected(verb == "connect");
        } else if (verb == "exit") {
            g_stop = 1;
        } else {
            std::fprintf(stderr, "voice-sim: unknown command: %s\n", line.c_str());
        }
    }

private:
    double now() const { return static_cast<double>(clock_.nsecsElapsed()) / 1e9; }
    double unit() { return std::uniform_real_distribution<double>(0, 1)(rng_); }

    void say(const std::string& text)
    {
        std::printf("%s %s\n", NumberText(now(), 3).c_str(), text.c_str());
        std::fflush(stdout);
    }

    QJsonObject station(const Station& s, bool rx) const
    {
        return {{"callsign", QString::fromStdString(s.callsign)},
                {"frequency", Hz(s.mhz)},
                {"rx", rx},
                {"tx", s.tx && rx},
                {"xc", false},
                {"xca", false},
                {"headset", true},
                {"isAvailable", true},
                {"isOutputMuted", false},
                {"outputVolume", s.volume}};
    }

    QByteArray frequencies() const
    {
        QJsonArray rx, tx;
        if (connected_)
            for (const Station& s : stations_) {
                const QJsonObject f{{"pFrequencyHz", Hz(s.mhz)}, {"pCallsign", QString::fromStdString(s.callsign)}};
                rx.append(f);
                if (s.tx)
                    tx.append(f);
            }
        return Event("kFrequencyStateUpdate", {{"rx", rx}, {"tx", tx}, {"xc", QJsonArray()}});
    }

    void accept()
    {
        while (QWebSocket* c = server_.nextPendingConnection()) {
            c->setParent(nullptr);
            clients_.push_back(c);
            QObject::connect(c, &QWebSocket::disconnected, c, [this, c] {
                std::erase(clients_, c);
                c->deleteLater();
            });
            QObject::connect(c, &QWebSocket::textMessageReceived, c,
                             [this, c](const QString& text) { answer(c, text.toUtf8()); });
            say("client connected");
            // All the client tells a newcomer, and only while on the network.
            if (connected_ && !o_.silent)
                send(c, frequencies());
        }
    }

    void answer(QWebSocket* c, const QByteArray& text)
    {
        const QString type = QJsonDocument::fromJson(text).object().value("type").toString();
        if (o_.oldClient || o_.silent)
            return; // requests unknown to it
        if (type == "kGetVoiceConnectedState") {
            send(c, Event("kVoiceConnectedState", {{"connected", connected_}}));
        } else if (type == "kGetStationStates") {
            QJsonArray list;
            if (connected_)
                for (const Station& s : stations_)
                    list.append(QJsonObject{{"type", "kStationStateUpdate"}, {"value", station(s, true)}});
            send(c, Event("kStationStates", {{"stations", list}}));
        }
    }

    void send(QWebSocket* c, const QByteArray& frame) { c->sendTextMessage(QString::fromUtf8(frame)); }
    void broadcast(const QByteArray& frame)
    {
        if (o_.silent)
            return;
        for (QWebSocket* c : clients_)
            send(c, frame);
    }

    void setConnected(bool connected)
    {
        if (connected == connected_)
            return;
        connected_ = connected;
        talking_.clear(); // no kRxEnd for what was heard when the client left
        say(connected ? "client on the network" : "client off the network");
        if (!o_.oldClient)
            broadcast(Event("kVoiceConnectedState", {{"connected", connected_}}));
        broadcast(frequencies()); // with three empty lists on Disconnect
    }

    // kRxBegin's list is everyone now heard on the frequency; kRxEnd's those still heard.
    QJsonObject rx(const std::string& callsign, double mhz) const
    {
        QJsonObject v{{"callsign", QString::fromStdString(callsign)}, {"pFrequencyHz", Hz(mhz)}};
        if (!o_.oldClient) {
            QJsonArray active;
            for (const Talker& t : talking_)
                if (Hz(t.mhz) == Hz(mhz))
                    active.append(QString::fromStdString(t.callsign));
            v.insert("activeTransmitters", active);
        }
        return v;
    }

    bool tuned(double mhz) const
    {
        return std::any_of(stations_.begin(), stations_.end(), [&](const Station& s) { return Hz(s.mhz) == Hz(mhz); });
    }

    void begin(const std::string& callsign, double mhz, double until)
    {
        if (!connected_ || !tuned(mhz))
            return;
        std::erase_if(talking_, [&](const Talker& t) { return t.callsign == callsign && Hz(t.mhz) == Hz(mhz); });
        talking_.push_back({callsign, mhz, until});
        broadcast(Event("kRxBegin", rx(callsign, mhz)));
        if (o_.flood == 0)
            say("rxbegin " + callsign + " " + NumberText(mhz, 3));
    }

    // Without its kRxEnd the transmission stays open at the listener until something ends it.
    void end(const std::string& callsign, bool withEnd)
    {
        const auto it =
            std::find_if(talking_.begin(), talking_.end(), [&](const Talker& t) { return t.callsign == callsign; });
        if (it == talking_.end())
            return;
        const Talker t = *it;
        talking_.erase(it);
        if (withEnd)
            broadcast(Event("kRxEnd", rx(t.callsign, t.mhz)));
        if (o_.flood == 0)
            say(std::string(withEnd ? "rxend " : "rxend lost ") + t.callsign);
    }

    void endAll()
    {
        for (const Talker& t : std::vector<Talker>(talking_))
            end(t.callsign, true);
    }

    // The station stops receiving, then the frequency goes; what was heard there gets no kRxEnd.
    void remove(double mhz)
    {
        const auto it =
            std::find_if(stations_.begin(), stations_.end(), [&](const Station& s) { return Hz(s.mhz) == Hz(mhz); });
        if (it == stations_.end())
            return;
        broadcast(Event("kStationStateUpdate", station(*it, false)));
        broadcast(Event("kFrequencyRemoved", {{"frequency", Hz(mhz)}}));
        std::erase_if(talking_, [&](const Talker& t) { return Hz(t.mhz) == Hz(mhz); });
        stations_.erase(it);
        say("removed " + NumberText(mhz, 3));
    }

    void quit(double seconds)
    {
        say("client quits for " + NumberText(seconds, 1) + " s");
        talking_.clear();
        server_.close();
        for (QWebSocket* c : std::vector<QWebSocket*>(clients_))
            c->abort();
        QTimer::singleShot(static_cast<int>(seconds * 1000), &tick_, [this] {
            if (listen())
                say("client back");
        });
    }

    void flood(double t)
    {
        // A steady stream: each step begins one pilot and ends the one before.
        const auto due = static_cast<long long>(t * o_.flood);
        for (; sent_ < due; ++sent_) {
            const std::string& pilot = o_.pilots[static_cast<std::size_t>(sent_) % o_.pilots.size()];
            if (sent_ % 2 == 0) {
                talking_ = {{pilot, o_.frequencyMHz, 0}};
                broadcast(Event("kRxBegin", rx(pilot, o_.frequencyMHz)));
            } else {
                talking_.clear();
                broadcast(Event("kRxEnd", rx(pilot, o_.frequencyMHz)));
            }
        }
    }

    void tick()
    {
        if (g_stop) {
            QCoreApplication::quit();
            return;
        }
        const double t = now();
        if (o_.flood > 0 && !o_.pilots.empty()) {
            flood(t);
            return;
        }
        if (o_.quitEvery > 0 && t >= quitAt_) {
            if (quitAt_ > 0)
                quit(3);
            quitAt_ = t + o_.quitEvery;
        }
        if (t >= volumeAt_) { // the controller turns a knob or answers now and then
            volumeAt_ = t + 15;
            if (!clients_.empty() && connected_)
                command(++knob_ % 2 ? "volume" : "tx");
        }
        if (!auto_ || !connected_ || o_.pilots.empty() || clients_.empty())
            return;
        for (const Talker& done : std::vector<Talker>(talking_))
            if (t >= done.until) {
                ++ended_;
                end(done.callsign, o_.loseEvery <= 0 || ended_ % o_.loseEvery != 0);
            }
        if (t < next_ || (!overlapping_ && !talking_.empty()))
            return;
        ++turn_;
        const bool groundTurn = !o_.ground.empty() && o_.groundEvery > 0 && turn_ % o_.groundEvery == 0;
        const std::string callsign = groundTurn ? o_.ground : o_.pilots[pilot_++ % o_.pilots.size()];
        const bool elsewhere = std::find(o_.elsewhere.begin(), o_.elsewhere.end(), callsign) != o_.elsewhere.end();
        const double talk = std::max(1.0, o_.talkSeconds + (unit() * 2 - 1));
        begin(callsign, elsewhere ? o_.otherFrequencyMHz : o_.frequencyMHz, t + talk);
        // Every so often the next one keys up while this one still talks.
        overlapping_ = o_.overlapEvery > 0 && turn_ % o_.overlapEvery == 1 % o_.overlapEvery;
        next_ = overlapping_ ? t + talk / 2 : t + talk + o_.gapSeconds * (0.75 + 0.5 * unit());
    }

    FeedOptions o_;
    std::mt19937 rng_;
    QWebSocketServer server_;
    std::vector<QWebSocket*> clients_;
    std::vector<Station> stations_;
    std::vector<Talker> talking_;
    QTimer tick_;
    QElapsedTimer clock_;
    int port_ = 0;
    bool auto_ = true;
    bool connected_ = true;
    bool overlapping_ = false;
    double next_ = 1, quitAt_ = 0, volumeAt_ = 15;
    std::size_t turn_ = 0, pilot_ = 0;
    int ended_ = 0, knob_ = 0;
    long long sent_ = 0;
};

} // namespace

int RunFeedServer(FeedOptions options)
{
    int argc = 1;
    char name[] = "voice-sim";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGINT, OnSignal);
    std::signal(SIGPIPE, SIG_IGN);
    Feed feed(options);
    if (options.quiet)
        feed.command("quiet");
    if (!feed.listen()) {
        std::fprintf(stderr, "voice-sim: cannot listen on port %d\n", options.port);
        return 1;
    }
    std::printf("voice-sim feed on %d\n", feed.port());
    std::fflush(stdout);

    std::string pending;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &input, [&] {
        char buf[512];
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n <= 0) {
            input.setEnabled(false); // input closed: the scenario runs by itself
            return;
        }
        pending.append(buf, static_cast<std::size_t>(n));
        for (std::size_t nl; (nl = pending.find('\n')) != std::string::npos;) {
            std::string line = pending.substr(0, nl);
            pending.erase(0, nl + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (!line.empty())
                feed.command(line);
        }
    });
    return app.exec();
}

} // namespace voicesim
