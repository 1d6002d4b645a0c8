// The feed mode of voice-sim: the same talking pilots, reported as JSON events over a
// WebSocket instead of through the remote library and the windows.
#include "FeedServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketServer>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <sstream>
#include <unistd.h>

namespace voicesim {

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

class Feed {
public:
    explicit Feed(FeedOptions o)
        : o_(std::move(o)), rng_(o_.seed), server_("voice-sim", QWebSocketServer::NonSecureMode)
    {
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
        std::string verb, arg;
        double mhz = 0;
        in >> verb >> arg >> mhz;
        if (verb == "quiet") {
            auto_ = false;
            end(true);
        } else if (verb == "auto") {
            auto_ = true;
            next_ = now();
        } else if (verb == "talk" && !arg.empty()) {
            auto_ = false;
            end(true);
            begin(arg, mhz > 0 ? mhz : o_.frequencyMHz);
        } else if (verb == "lose") {
            end(false);
        } else if (verb == "quit-client") {
            quit(arg.empty() ? 3 : std::atof(arg.c_str()));
        } else if (verb == "connect" || verb == "disconnect") {
            connected_ = verb == "connect";
            if (!connected_)
                talking_.clear();
            broadcast(Event("kVoiceConnectedState", {{"connected", connected_}}));
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
        std::printf("%.3f %s\n", now(), text.c_str());
        std::fflush(stdout);
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
            say("client connected");
            // What the client tells a newcomer: its network state and its own stations.
            send(c, Event("kVoiceConnectedState", {{"connected", connected_}}));
            const QJsonObject station{{"callsign", QString::fromStdString(o_.controller)},
                                      {"frequency", Hz(o_.frequencyMHz)},
                                      {"rx", true},
                                      {"tx", true}};
            send(c,
                 Event("kStationStates",
                       {{"stations", QJsonArray{QJsonObject{{"type", "kStationStateUpdate"}, {"value", station}}}}}));
        }
    }

    void send(QWebSocket* c, const QByteArray& frame) { c->sendTextMessage(QString::fromUtf8(frame)); }
    void broadcast(const QByteArray& frame)
    {
        for (QWebSocket* c : clients_)
            send(c, frame);
    }

    QJsonObject rx(const std::string& callsign, double mhz, bool withSpeaker) const
    {
        QJsonArray active;
        if (withSpeaker)
            active.append(QString::fromStdString(callsign));
        return {
            {"callsign", QString::fromStdString(callsign)}, {"pFrequencyHz", Hz(mhz)}, {"activeTransmitters", active}};
    }

    void begin(const std::string& callsign, double mhz)
    {
        talking_ = callsign;
        talkingMHz_ = mhz;
        broadcast(Event("kRxBegin", rx(callsign, mhz, true)));
        if (o_.flood == 0)
            say("rxbegin " + callsign + " " + std::to_string(mhz));
    }

    // Without its kRxEnd the transmission stays open at the listener until something ends it.
    void end(bool withEnd)
    {
        if (talking_.empty())
            return;
        if (withEnd)
            broadcast(Event("kRxEnd", rx(talking_, talkingMHz_, false)));
        if (o_.flood == 0)
            say(std::string(withEnd ? "rxend " : "rxend lost ") + talking_);
        talking_.clear();
    }

    void quit(double seconds)
    {
        say("client quits for " + std::to_string(seconds) + " s");
        talking_.clear();
        server_.close();
        for (QWebSocket* c : std::vector<QWebSocket*>(clients_))
            c->abort();
        QTimer::singleShot(static_cast<int>(seconds * 1000), &tick_, [this] {
            if (listen())
                say("client back");
        });
    }

    void tick()
    {
        if (g_stop) {
            QCoreApplication::quit();
            return;
        }
        const double t = now();
        if (o_.flood > 0 && !o_.pilots.empty()) {
            // A steady stream: each step begins one pilot and ends the one before.
            const auto due = static_cast<long long>(t * o_.flood);
            for (; sent_ < due; ++sent_) {
                const std::string& pilot = o_.pilots[static_cast<std::size_t>(sent_) % o_.pilots.size()];
                if (sent_ % 2 == 0)
                    broadcast(Event("kRxBegin", rx(pilot, o_.frequencyMHz, true)));
                else
                    broadcast(Event("kRxEnd", rx(pilot, o_.frequencyMHz, false)));
            }
            return;
        }
        if (o_.quitEvery > 0 && t >= quitAt_) {
            if (quitAt_ > 0)
                quit(3);
            quitAt_ = t + o_.quitEvery;
        }
        if (!auto_ || !connected_ || o_.pilots.empty() || clients_.empty())
            return;
        if (!talking_.empty() && t >= until_) {
            ++ended_;
            end(o_.loseEvery <= 0 || ended_ % o_.loseEvery != 0);
            next_ = t + o_.gapSeconds * (0.75 + 0.5 * unit());
        } else if (talking_.empty() && t >= next_) {
            const std::string& pilot = o_.pilots[turn_++ % o_.pilots.size()];
            const bool elsewhere = std::find(o_.elsewhere.begin(), o_.elsewhere.end(), pilot) != o_.elsewhere.end();
            begin(pilot, elsewhere ? o_.otherFrequencyMHz : o_.frequencyMHz);
            until_ = t + std::max(1.0, o_.talkSeconds + (unit() * 2 - 1));
        }
    }

    FeedOptions o_;
    std::mt19937 rng_;
    QWebSocketServer server_;
    std::vector<QWebSocket*> clients_;
    QTimer tick_;
    QElapsedTimer clock_;
    int port_ = 0;
    bool auto_ = true;
    bool connected_ = true;
    std::string talking_;
    double talkingMHz_ = 0;
    double next_ = 1, until_ = 0, quitAt_ = 0;
    std::size_t turn_ = 0;
    int ended_ = 0;
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
