// The newer voice client's port as voice-sim serves it: the WebSocket of events at /ws, who
// transmits at GET /transmitting, the client's name anywhere else.
#include "EventServer.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>
#include <QTcpSocket>
#include <QThread>
#include <QWebSocket>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdio>
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

constexpr double kAdvisory = 122.800;
constexpr double kGuard = 121.500;
constexpr qint64 kMaxRequestHead = 8192;
constexpr double kLongTalk = 60;

qint64 Hz(double mhz)
{
    return std::llround(mhz * 1000) * 1000;
}

QByteArray Event(const char* type, const QJsonObject& value)
{
    return QJsonDocument(QJsonObject{{"type", type}, {"value", value}}).toJson(QJsonDocument::Compact);
}

QByteArray HttpAnswer(const QByteArray& body, bool close)
{
    return "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " + QByteArray::number(body.size()) +
           (close ? "\r\nConnection: close" : "") + "\r\n\r\n" + body;
}

} // namespace

EventServer::EventServer(EventOptions options)
    : o_(std::move(options)), rng_(o_.seed), server_("voice-sim", QWebSocketServer::NonSecureMode)
{
    const std::string prefix = o_.controller.substr(0, o_.controller.find('_'));
    stations_ = {{o_.controller, o_.frequencyMHz, true},
                 {prefix + "_GND", o_.otherFrequencyMHz, false},
                 {"", kAdvisory, false},
                 {"", kGuard, false}};
    QObject::connect(&tcp_, &QTcpServer::pendingConnectionAvailable, &tcp_, [this] { accept(); });
    QObject::connect(&server_, &QWebSocketServer::newConnection, &server_, [this] {
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
    });
    QObject::connect(&tick_, &QTimer::timeout, &tick_, [this] { tick(); });
    tick_.start(o_.flood > 0 ? std::max(1, o_.floodTickMs) : 50);
    clock_.start();
    auto_ = !o_.quiet;
    if (o_.connected)
        setConnected(true);
}

EventServer::~EventServer()
{
    for (QWebSocket* c : std::vector<QWebSocket*>(clients_)) {
        QObject::disconnect(c, nullptr, nullptr, nullptr);
        c->abort();
        delete c;
    }
}

bool EventServer::listen()
{
    if (!tcp_.listen(QHostAddress::LocalHost, static_cast<quint16>(port_ ? port_ : o_.port)))
        return false;
    port_ = tcp_.serverPort();
    return true;
}

double EventServer::now() const
{
    return static_cast<double>(clock_.nsecsElapsed()) / 1e9;
}

double EventServer::unit()
{
    return std::uniform_real_distribution<double>(0, 1)(rng_);
}

void EventServer::say(const std::string& text) const
{
    if (!o_.print)
        return;
    std::printf("%s %s\n", NumberText(now(), 3).c_str(), text.c_str());
    std::fflush(stdout);
}

bool EventServer::command(const std::string& line)
{
    std::istringstream in(line);
    std::string verb, arg, number, seconds;
    in >> verb >> arg >> number >> seconds;
    const auto value = [&](const std::string& text, double otherwise) { return ParseNumber(text).value_or(otherwise); };
    const auto until = [&] { return seconds.empty() ? 1e9 : now() + value(seconds, 1e9); };
    if (verb == "quiet") {
        auto_ = false;
        endAll();
    } else if (verb == "auto") {
        auto_ = true;
        next_ = now();
    } else if (verb == "talk" && !arg.empty()) { // alone: whoever talked lets go
        auto_ = false;
        endAll();
        begin(arg, value(number, o_.frequencyMHz), until());
    } else if (verb == "also" && !arg.empty()) { // over whoever talks
        auto_ = false;
        begin(arg, value(number, o_.frequencyMHz), until());
    } else if (verb == "end" && !arg.empty()) {
        end(arg, true, number.empty() ? 0 : value(number, 0));
    } else if (verb == "lose") {
        for (const Talker& t : std::vector<Talker>(talking_))
            end(t.callsign, false, t.mhz);
    } else if (verb == "rekey" || verb == "again") {
        // The audio engine ends and begins a live talker again, or begins him twice.
        const auto it =
            std::find_if(talking_.begin(), talking_.end(), [&](const Talker& t) { return t.callsign == arg; });
        if (it == talking_.end())
            return true;
        const Talker t = *it;
        if (verb == "rekey") {
            end(t.callsign, true, t.mhz);
            talking_.push_back(t);
        }
        broadcast(Event("kRxBegin", rx(t.callsign, t.mhz)));
    } else if (verb == "remove" && !arg.empty()) {
        remove(value(arg, 0));
    } else if (verb == "add" && !number.empty()) {
        stations_.push_back({number, value(arg, 0), false, true});
        updateStation(stations_.back(), true);
    } else if ((verb == "receive" || verb == "transmit") && find(value(arg, 0))) {
        Station& s = *find(value(arg, 0));
        const bool on = number == "on";
        if (verb == "receive")
            s.rx = on;
        s.tx = (verb == "transmit" ? on : s.tx) && s.rx && !o_.observer;
        if (!s.rx) // whoever was heard there gets no kRxEnd
            std::erase_if(talking_, [&](const Talker& t) { return Hz(t.mhz) == Hz(s.mhz); });
        updateStation(s, true);
    } else if (verb == "click") {
        click();
    } else if (verb == "volume") { // another program on the client's interface turns a knob
        stations_[0].volume = stations_[0].volume == 100 ? 60 : 100;
        updateStation(stations_[0], false);
    } else if (verb == "key") { // the controller keys his own microphone for a second
        broadcast(Event("kTxBegin", {}));
        QTimer::singleShot(1000, &tick_, [this] { broadcast(Event("kTxEnd", {})); });
    } else if (verb == "hang") { // the client stops, but its network threads still answer pings (0: it is back)
        say("client hangs for " + NumberText(value(arg, 10), 1) + " s");
        hungUntil_ = now() + value(arg, 10);
        answerHeld();
    } else if (verb == "freeze") { // the whole client stops, pongs included
        say("client freezes for " + NumberText(value(arg, 10), 1) + " s");
        QThread::msleep(static_cast<unsigned long>(value(arg, 10) * 1000));
    } else if (verb == "quit-client") {
        quit(value(arg, 3));
    } else if (verb == "connect" || verb == "disconnect") {
        setConnected(verb == "connect");
    } else if (verb == "exit") {
        stopped_ = true;
        g_stop = 1;
    } else {
        return false;
    }
    return true;
}

QJsonObject EventServer::station(const Station& s, bool withCallsign) const
{
    QJsonObject v{{"frequency", Hz(s.mhz)},
                  {"rx", s.rx},
                  {"tx", s.tx},
                  {"xc", false},
                  {"xca", false},
                  {"headset", true},
                  {"isAvailable", true},
                  {"isOutputMuted", false},
                  {"outputVolume", s.volume}};
    if (withCallsign && !s.callsign.empty())
        v.insert("callsign", QString::fromStdString(s.callsign));
    return v;
}

QByteArray EventServer::frequencies() const
{
    QJsonArray rx, tx;
    if (connected_)
        for (const Station& s : stations_) {
            QJsonObject f{{"pFrequencyHz", Hz(s.mhz)}};
            if (!s.callsign.empty())
                f.insert("pCallsign", QString::fromStdString(s.callsign));
            if (s.rx)
                rx.append(f);
            if (s.tx)
                tx.append(f);
        }
    return Event("kFrequencyStateUpdate", {{"rx", rx}, {"tx", tx}, {"xc", QJsonArray()}});
}

void EventServer::accept()
{
    while (QTcpSocket* s = tcp_.nextPendingConnection()) {
        ++connections_;
        QObject::connect(s, &QTcpSocket::readyRead, s, [this, s] { route(s); });
    }
}

void EventServer::route(QTcpSocket* s)
{
    const QByteArray head = s->peek(kMaxRequestHead);
    const qsizetype end = head.indexOf("\r\n\r\n");
    if (end < 0) {
        if (head.size() >= kMaxRequestHead)
            s->abort();
        return;
    }
    QObject::disconnect(s, &QTcpSocket::readyRead, nullptr, nullptr);
    const QByteArray path = head.left(head.indexOf("\r\n")).split(' ').value(1);
    if (path == "/ws" && head.toLower().contains("upgrade: websocket")) {
        upgraded_.emplace_back(s);
        server_.handleConnection(s);
        return;
    }
    s->read(end + 4);
    requests_.push_back("GET " + path.toStdString());
    QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
    QObject::connect(s, &QTcpSocket::readyRead, s, [s] { s->readAll(); });
    if (path == "/transmitting") {
        held_.emplace_back(s); // a hung client answers once it comes back
        answerHeld();
        return;
    }
    // Any other address: the client says who it is and keeps the connection.
    s->write(HttpAnswer("voice-sim 2.0 (a stand-in for the voice client)", false));
}

// Who transmits now, to every GET /transmitting waiting for it.
void EventServer::answerHeld()
{
    if (now() < hungUntil_)
        return;
    std::vector<std::string> names;
    for (const Talker& t : talking_)
        if (std::find(names.begin(), names.end(), t.callsign) == names.end())
            names.push_back(t.callsign);
    std::string list;
    for (const std::string& n : names)
        list += (list.empty() ? "" : ",") + n;
    for (QTcpSocket* s : std::exchange(held_, {}))
        if (s) {
            s->write(HttpAnswer(QByteArray::fromStdString(list), true));
            s->disconnectFromHost();
        }
}

void EventServer::answer(QWebSocket* c, const QByteArray& text)
{
    const QString type = QJsonDocument::fromJson(text).object().value("type").toString();
    requests_.push_back(type.toStdString());
    if (o_.oldClient || o_.silent || now() < hungUntil_)
        return; // requests unknown to it, or nobody to answer them
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

void EventServer::send(QWebSocket* c, const QByteArray& frame)
{
    c->sendTextMessage(QString::fromUtf8(frame));
}

void EventServer::broadcast(const QByteArray& frame)
{
    if (o_.silent || now() < hungUntil_)
        return;
    for (QWebSocket* c : clients_)
        send(c, frame);
}

// A station change: the old-style list first, then the station itself (which an old client
// never sends).
void EventServer::updateStation(Station& s, bool withCallsign)
{
    broadcast(frequencies());
    if (!o_.oldClient)
        broadcast(Event("kStationStateUpdate", station(s, withCallsign)));
}

void EventServer::setConnected(bool connected)
{
    if (connected == connected_)
        return;
    connected_ = connected;
    talking_.clear(); // no kRxEnd for what was heard when the client left
    say(connected ? "client on the network" : "client off the network");
    if (!o_.oldClient)
        broadcast(Event("kVoiceConnectedState", {{"connected", connected_}}));
    if (connected) // nothing received or sent until the controller clicks his stations
        for (Station& s : stations_)
            s.rx = s.tx = false;
    broadcast(frequencies()); // with three empty lists
    if (connected && o_.clickMs >= 0)
        QTimer::singleShot(o_.clickMs, &tick_, [this] { click(); });
}

void EventServer::click()
{
    if (!connected_)
        return;
    say(o_.observer ? "stations clicked on, receive only (observer)" : "stations clicked on");
    for (Station& s : stations_) {
        s.rx = true;
        s.tx = s.wantsTx && !o_.observer;
        updateStation(s, true);
    }
}

EventServer::Station* EventServer::find(double mhz)
{
    const auto it =
        std::find_if(stations_.begin(), stations_.end(), [&](const Station& s) { return Hz(s.mhz) == Hz(mhz); });
    return it == stations_.end() ? nullptr : &*it;
}

// kRxBegin's list is everyone now heard on the frequency; kRxEnd's those still heard.
QJsonObject EventServer::rx(const std::string& callsign, double mhz) const
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

// The client reports only what it receives.
void EventServer::begin(const std::string& callsign, double mhz, double until)
{
    const Station* s = find(mhz);
    if (!connected_ || !s || !s->rx)
        return;
    std::erase_if(talking_, [&](const Talker& t) { return t.callsign == callsign && Hz(t.mhz) == Hz(mhz); });
    talking_.push_back({callsign, mhz, until});
    broadcast(Event("kRxBegin", rx(callsign, mhz)));
    if (o_.flood == 0)
        say("rxbegin " + callsign + " " + NumberText(mhz, 3));
}

// Without its kRxEnd the transmission stays open at the listener until something ends it.
void EventServer::end(const std::string& callsign, bool withEnd, double mhz)
{
    const auto it = std::find_if(talking_.begin(), talking_.end(), [&](const Talker& t) {
        return t.callsign == callsign && (mhz == 0 || Hz(t.mhz) == Hz(mhz));
    });
    if (it == talking_.end())
        return;
    const Talker t = *it;
    talking_.erase(it);
    if (withEnd)
        broadcast(Event("kRxEnd", rx(t.callsign, t.mhz)));
    if (o_.flood == 0)
        say(std::string(withEnd ? "rxend " : "rxend lost ") + t.callsign);
}

void EventServer::endAll()
{
    for (const Talker& t : std::vector<Talker>(talking_))
        end(t.callsign, true, t.mhz);
}

// The station stops receiving, then the frequency goes; what was heard there gets no kRxEnd.
void EventServer::remove(double mhz)
{
    Station* s = find(mhz);
    if (!s)
        return;
    s->rx = s->tx = false;
    updateStation(*s, s->callsign.empty());
    broadcast(Event("kFrequencyRemoved", {{"frequency", Hz(mhz)}}));
    std::erase_if(talking_, [&](const Talker& t) { return Hz(t.mhz) == Hz(mhz); });
    std::erase_if(stations_, [&](const Station& st) { return Hz(st.mhz) == Hz(mhz); });
    say("removed " + NumberText(mhz, 3));
}

// The client's process ends; when it starts again it connects to the voice network anew.
void EventServer::quit(double seconds)
{
    say("client quits for " + NumberText(seconds, 1) + " s");
    talking_.clear();
    tcp_.close();
    for (QWebSocket* c : std::vector<QWebSocket*>(clients_))
        c->abort();
    const bool wasConnected = connected_;
    connected_ = false;
    QTimer::singleShot(static_cast<int>(seconds * 1000), &tick_, [this, wasConnected] {
        if (!listen())
            return;
        say("client back");
        if (wasConnected)
            setConnected(true);
    });
}

void EventServer::flood(double t)
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

void EventServer::tick()
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
            command(++knob_ % 2 ? "volume" : "key");
    }
    answerHeld();
    if (auto_ && connected_ && !o_.pilots.empty() && !clients_.empty())
        turn(t);
}

void EventServer::turn(double t)
{
    for (const Talker& done : std::vector<Talker>(talking_))
        if (t >= done.until) {
            ++ended_;
            end(done.callsign, o_.loseEvery <= 0 || ended_ % o_.loseEvery != 0, done.mhz);
        }
    // A stuck microphone holds nobody else back.
    const bool busy = std::any_of(talking_.begin(), talking_.end(), [&](const Talker& k) { return k.until - t < 30; });
    if (t < next_ || (!overlapping_ && busy))
        return;
    ++turn_;
    const bool groundTurn = !o_.ground.empty() && o_.groundEvery > 0 && turn_ % o_.groundEvery == 0;
    const std::string callsign = groundTurn ? o_.ground : o_.pilots[pilot_++ % o_.pilots.size()];
    const bool elsewhere = std::find(o_.elsewhere.begin(), o_.elsewhere.end(), callsign) != o_.elsewhere.end();
    ++begun_;
    const bool long_ = o_.longEvery > 0 && begun_ % o_.longEvery == 0;
    const double talk = long_ ? kLongTalk : std::max(1.0, o_.talkSeconds + (unit() * 2 - 1));
    begin(callsign, elsewhere ? o_.otherFrequencyMHz : o_.frequencyMHz, t + talk);
    const int half = static_cast<int>(std::min(talk, o_.talkSeconds) * 500);
    if (o_.rekeyEvery > 0 && begun_ % o_.rekeyEvery == 0)
        QTimer::singleShot(half, &tick_, [this, callsign] { command("rekey " + callsign); });
    // Now and then a stranger keys up over the caller on the advisory or the guard frequency.
    const std::string& stranger = turn_ % 2 ? o_.advisory : o_.guard;
    if (o_.strangerEvery > 0 && turn_ % o_.strangerEvery == 0 && !stranger.empty())
        QTimer::singleShot(half, &tick_, [this, stranger, half] {
            begin(stranger, stranger == o_.advisory ? kAdvisory : kGuard, now() + half / 1000.0);
        });
    // Every so often the next one keys up while this one still talks.
    overlapping_ = o_.overlapEvery > 0 && turn_ % o_.overlapEvery == 1 % o_.overlapEvery;
    const double spoken = std::min(talk, o_.talkSeconds + 1);
    next_ = overlapping_ ? t + spoken / 2 : t + spoken + o_.gapSeconds * (0.75 + 0.5 * unit());
}

int RunEventServer(EventOptions options)
{
    int argc = 1;
    char name[] = "voice-sim";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGINT, OnSignal);
    std::signal(SIGPIPE, SIG_IGN);
    EventServer server(options);
    if (!server.listen()) {
        std::fprintf(stderr, "voice-sim: cannot listen on port %d\n", options.port);
        return 1;
    }
    std::printf("voice-sim websocket on %d\n", server.port());
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
            if (!line.empty() && !server.command(line))
                std::fprintf(stderr, "voice-sim: unknown command: %s\n", line.c_str());
        }
    });
    return app.exec();
}

} // namespace voicesim
