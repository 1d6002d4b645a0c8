// A stand-in for the network's interface program: accepts secondary logins and streams
// position lines of simulated aircraft, so the demo and the tests need no real network.
// With --feed it also serves the same aircraft as the network's public data file over HTTP, as
// the network does: each pilot's position reaches the file every 15 s at his own moment and some
// time late, the nose is not the track in a wind, aircraft turn, climb and taxi; and its status
// document, its limit on how often one may ask, and a slow line.
#include "FeedFile.h"

#include <QAbstractHttpServer>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace feedfile = quadrantel::sim;

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kEarthNm = 3440.065;
constexpr double kStandardRate = 3;  // degrees a second
constexpr double kLostReport = 0.05; // the share of a pilot's reports that never reach the file
constexpr double kLateFile = 0.125;  // the share of files that come late

// How an aircraft moves.
enum class Kind { Straight, Turning, Vectors, Climbing, Taxiing, Mixed };

// A position as the pilot's client sent it to the network.
struct Report {
    double lat = 0, lon = 0, heading = 0, groundSpeed = 0, altitude = 0;
    qint64 at = 0;      // when it was sent
    qint64 visible = 0; // when the data file has it
};

struct Aircraft {
    std::string callsign;
    double lat, lon; // degrees, where it really is
    double heading;  // the nose, degrees true
    double speedKt;  // through the air; on the ground, over it
    double altitudeFt;
    bool moving = true;
    double edgeNm = 0; // turns back towards `home` beyond this distance
    Kind kind = Kind::Straight;
    double homeLat = 0, homeLon = 0;
    // The manoeuvre under way.
    double turnRate = 0; // degrees a second, positive to the right
    double turnLeft = 0; // degrees still to turn; below 0: for ever
    double legLeft = 0;  // seconds until the next manoeuvre
    double climbFpm = 0;
    double stopLeft = 0; // seconds standing still
    // What the network has of this pilot.
    std::deque<Report> sent{};
    Report rep{};
    qint64 nextReport = 0;
    qint64 lagMs = 0;
};

double Rad(double d)
{
    return d * kPi / 180.0;
}
double Deg(double r)
{
    return r * 180.0 / kPi;
}
double Wrap180(double d)
{
    return std::remainder(d, 360.0);
}

double DistanceNm(double lat1, double lon1, double lat2, double lon2)
{
    const double h = std::pow(std::sin(Rad(lat2 - lat1) / 2), 2) +
                     std::cos(Rad(lat1)) * std::cos(Rad(lat2)) * std::pow(std::sin(Rad(lon2 - lon1) / 2), 2);
    return 2 * kEarthNm * std::asin(std::sqrt(h));
}

double BearingTo(double lat1, double lon1, double lat2, double lon2)
{
    const double y = std::sin(Rad(lon2 - lon1)) * std::cos(Rad(lat2));
    const double x = std::cos(Rad(lat1)) * std::sin(Rad(lat2)) -
                     std::sin(Rad(lat1)) * std::cos(Rad(lat2)) * std::cos(Rad(lon2 - lon1));
    return std::fmod(Deg(std::atan2(y, x)) + 360.0, 360.0);
}

// Moves a point `nm` along the great circle of `course`; the course it arrives on.
double Move(double& lat, double& lon, double course, double nm)
{
    const double d = nm / kEarthNm;
    const double lat1 = Rad(lat), lon1 = Rad(lon), brg = Rad(course);
    const double lat2 = std::asin(std::sin(lat1) * std::cos(d) + std::cos(lat1) * std::sin(d) * std::cos(brg));
    const double lon2 =
        lon1 + std::atan2(std::sin(brg) * std::sin(d) * std::cos(lat1), std::cos(d) - std::sin(lat1) * std::sin(lat2));
    const double y = std::sin(lon1 - lon2) * std::cos(lat1);
    const double x = std::cos(lat2) * std::sin(lat1) - std::sin(lat2) * std::cos(lat1) * std::cos(lon1 - lon2);
    lat = Deg(lat2);
    lon = std::remainder(Deg(lon2), 360.0);
    return std::fmod(Deg(std::atan2(y, x)) + 180.0, 360.0);
}

const char* const kCallsigns[] = {"DLH123", "BAW456", "AFR789", "KLM12", "UAL901", "SWR34", "AUA56", "IBE77",
                                  "RYR8QK", "EZY42",  "SAS903", "TAP15", "THY1K",  "QTR8",  "UAE4",  "DAL100"};

// The HTTP side: each path answered by a handler that gets the connection too, for answers
// written over time.
class HttpSide : public QAbstractHttpServer {
public:
    using Handler = std::function<void(const QHttpServerRequest&, QTcpSocket*)>;
    std::map<QString, Handler> routes;
    using QAbstractHttpServer::makeResponder;

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override
    {
        const auto it = routes.find(request.url().path());
        if (it == routes.end())
            return false;
        it->second(request, socket);
        return true;
    }
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override
    {
        makeResponder(request, socket).write(QHttpServerResponder::StatusCode::NotFound);
    }
};

class Simulator : public QObject {
public:
    struct Options {
        quint16 port = 6809;
        QString refuseVid;
        double stationLat = 50.0333, stationLon = 8.5706;
        int count = 8;
        unsigned seed = 1;
        int intervalMs = 1000;
        double maxRangeNm = 250;
        QStringList fixed; // CALL,lat,lon,alt[,heading,speed[,turn]]
        QStringList callsigns;
        double linkRangeNm = 0; // the link relays only aircraft this close to the station; 0: all
        QStringList unlisted;   // pilots the data file does not list yet
        bool extraLines = true;
        int far = 0;       // low aircraft far out, below the radio horizon
        int feedPort = -1; // -1: no data file
        feedfile::FeedLayout layout = feedfile::FeedLayout::A;
        int feedEveryMs = 15000;         // the file is made anew this often
        int reportEveryMs = 15000;       // each pilot's position reaches the network this often
        int agesMinS = 0, agesMaxS = 30; // how old the positions in a new file are
        Kind kind = Kind::Straight;
        double windFrom = 0, windKt = 0;
        int slowMs = 25000; // how long /slow.json takes
        int faultEvery = 0; // every n-th request of /feed.json gets the next fault
        int minGapMs = 0;   // asked again sooner: 429 with Retry-After
        int trickleBytesPerS = 131072;
        qint64 clockOffsetMs = 0; // the network's clock ahead of the PC's
        bool regular = false;     // every file and report exactly on time, none lost
    };

    explicit Simulator(Options o) : o_(std::move(o)), rng_(o_.seed)
    {
        makeTraffic();
        connect(&server_, &QTcpServer::newConnection, this, &Simulator::accept);
        connect(&tick_, &QTimer::timeout, this, &Simulator::step);
        tick_.start(o_.intervalMs);
        if (o_.feedPort >= 0) {
            // Every pilot reports at his own moment and reaches the file late by his own delay. The
            // network heard from each before the first file: the traffic flies from a time before it,
            // so every position in that file is where its aircraft really was at its time.
            const qint64 now = NowMs();
            const qint64 from = now - o_.agesMaxS * 1000 - o_.reportEveryMs;
            const int lagSpan = std::max(0, (o_.agesMaxS - o_.agesMinS) * 1000 - o_.reportEveryMs);
            for (Aircraft& a : traffic_) {
                a.lagMs = o_.agesMinS * 1000 + static_cast<qint64>(Uniform(0, lagSpan));
                a.nextReport = from + static_cast<qint64>(Uniform(0, o_.reportEveryMs));
            }
            for (qint64 at = from; at < now; at += o_.intervalMs)
                advance(at);
            makeFile();
            fileTimer_.setSingleShot(true);
            connect(&fileTimer_, &QTimer::timeout, this, &Simulator::makeFile);
        }
    }

    bool listenFeed()
    {
        if (o_.feedPort < 0)
            return true;
        routes();
        const quint16 port = http_.listen(QHostAddress::LocalHost, static_cast<quint16>(o_.feedPort));
        if (port == 0) {
            std::fprintf(stderr, "linkar-sim: cannot serve the data file on port %d\n", o_.feedPort);
            return false;
        }
        base_ = "http://127.0.0.1:" + QByteArray::number(port);
        std::printf("linkar-sim feed on %u\n", port);
        std::fflush(stdout);
        return true;
    }

    bool listen()
    {
        if (!server_.listen(QHostAddress::LocalHost, o_.port)) {
            std::fprintf(stderr, "linkar-sim: cannot listen on port %u: %s\n", o_.port,
                         server_.errorString().toLocal8Bit().constData());
            return false;
        }
        std::printf("linkar-sim listening on %u\n", server_.serverPort());
        std::fflush(stdout);
        return true;
    }

private:
    struct Client {
        QTcpSocket* socket;
        QByteArray pending;
        bool loggedIn = false;
    };

    double Uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng_); }

    std::string callsign(int n) const
    {
        return n < o_.callsigns.size() ? o_.callsigns[n].toStdString()
               : n < 16                ? std::string(kCallsigns[n])
                                       : "SIM" + std::to_string(100 + n);
    }

    // An aircraft `nm` from the station in a random direction.
    Aircraft placed(int n, double nm)
    {
        Aircraft a{};
        a.callsign = callsign(n);
        a.lat = o_.stationLat;
        a.lon = o_.stationLon;
        Move(a.lat, a.lon, Uniform(0, 360), nm);
        a.homeLat = a.lat;
        a.homeLon = a.lon;
        a.heading = Uniform(0, 360);
        a.legLeft = Uniform(10, 60);
        return a;
    }

    void makeTraffic()
    {
        for (const QString& f : o_.fixed) {
            const QStringList p = f.split(',');
            if (p.size() < 4)
                continue;
            Aircraft a{p[0].toStdString(), p[1].toDouble(), p[2].toDouble(), 0, 0, p[3].toDouble()};
            // With a heading and a speed it flies on, straight or in a turn for ever, wherever that leads.
            if (p.size() >= 6) {
                a.heading = p[4].toDouble();
                a.speedKt = p[5].toDouble();
            }
            if (p.size() >= 7) {
                a.turnRate = p[6].toDouble();
                a.turnLeft = -1;
            }
            a.moving = a.speedKt > 0;
            a.edgeNm = 1e9;
            traffic_.push_back(a);
        }
        static const Kind kMixed[] = {Kind::Straight, Kind::Vectors, Kind::Climbing, Kind::Turning, Kind::Taxiing};
        for (int i = 0; i < o_.count; ++i) {
            const Kind kind = o_.kind == Kind::Mixed ? kMixed[i % 5] : o_.kind;
            // Spread around the station; some far enough to be below the radio horizon.
            Aircraft a = placed(i, kind == Kind::Taxiing ? Uniform(1, 3) : 5 + Uniform(0, o_.maxRangeNm));
            a.kind = kind;
            if (kind == Kind::Taxiing) {
                a.altitudeFt = 300;
                a.speedKt = Uniform(12, 25);
                a.edgeNm = 1.5; // around where it started
            } else {
                a.altitudeFt = 1000 * std::round(3 + Uniform(0, 36));
                a.speedKt = 180 + Uniform(0, 300);
                a.edgeNm = o_.maxRangeNm + 20;
                a.homeLat = o_.stationLat;
                a.homeLon = o_.stationLon;
                a.climbFpm = kind == Kind::Climbing ? (Uniform(0, 1) < 0.5 ? -1 : 1) * Uniform(1500, 3000) : 0;
            }
            if (kind == Kind::Turning) {
                // Orbits at the standard rate, for ever.
                startTurn(a, Uniform(0, 1) < 0.5 ? -1 : 1, kStandardRate);
                a.turnLeft = -1;
            }
            traffic_.push_back(a);
        }
        // Low and far: a reading for them must say "out of range".
        for (int i = 0; i < o_.far; ++i) {
            Aircraft a = placed(o_.count + i, 150 + Uniform(0, 60));
            a.speedKt = 110 + Uniform(0, 40);
            a.altitudeFt = 100 * std::round(15 + Uniform(0, 15));
            a.edgeNm = 230;
            a.homeLat = o_.stationLat;
            a.homeLon = o_.stationLon;
            traffic_.push_back(a);
        }
    }

    bool onGround(const Aircraft& a) const { return a.kind == Kind::Taxiing; }

    // Where it goes over the ground: the air's motion added to its own.
    void groundVector(const Aircraft& a, double& track, double& speed) const
    {
        double east = a.speedKt * std::sin(Rad(a.heading));
        double north = a.speedKt * std::cos(Rad(a.heading));
        if (!onGround(a) && a.speedKt > 0) {
            east -= o_.windKt * std::sin(Rad(o_.windFrom));
            north -= o_.windKt * std::cos(Rad(o_.windFrom));
        }
        speed = std::hypot(east, north);
        track = std::fmod(Deg(std::atan2(east, north)) + 360.0, 360.0);
    }

    void startTurn(Aircraft& a, double degrees, double rate)
    {
        a.turnRate = degrees < 0 ? -rate : rate;
        a.turnLeft = std::fabs(degrees);
    }

    // What the pilot does next, as his kind of flight has it.
    void manoeuvre(Aircraft& a, double seconds)
    {
        if (a.kind == Kind::Climbing) {
            // Faster as it climbs, slower as it comes down.
            a.altitudeFt += a.climbFpm * seconds / 60;
            a.speedKt = std::clamp(a.speedKt + (a.climbFpm > 0 ? 0.5 : -0.5) * seconds, 220.0, 480.0);
            if ((a.altitudeFt > 38000 && a.climbFpm > 0) || (a.altitudeFt < 3000 && a.climbFpm < 0))
                a.climbFpm = -a.climbFpm;
        }
        if (a.turnLeft != 0)
            return;
        const bool away = DistanceNm(a.homeLat, a.homeLon, a.lat, a.lon) > a.edgeNm;
        const double back = Wrap180(BearingTo(a.lat, a.lon, a.homeLat, a.homeLon) - a.heading);
        if (a.kind == Kind::Taxiing && a.stopLeft > 0) {
            a.stopLeft -= seconds;
            if (a.stopLeft <= 0)
                a.speedKt = Uniform(12, 25);
            return;
        }
        a.legLeft -= seconds;
        if (a.kind == Kind::Vectors && a.legLeft <= 0) {
            // Vectors and holds: a turn of 45 to 270 degrees at the standard rate, then a leg.
            startTurn(a, away ? back : (Uniform(0, 1) < 0.5 ? -1 : 1) * Uniform(45, 270), kStandardRate);
            a.legLeft = Uniform(20, 60);
        } else if (a.kind == Kind::Taxiing && a.legLeft <= 0) {
            // Along a taxiway, then a corner or a stop at a holding point.
            a.legLeft = Uniform(15, 60);
            if (Uniform(0, 1) < 0.2) {
                a.stopLeft = Uniform(10, 30);
                a.speedKt = 0;
            } else {
                startTurn(a, away && std::fabs(back) > 45 ? (back < 0 ? -90 : 90) : (Uniform(0, 1) < 0.5 ? -90 : 90),
                          10);
            }
        } else if (a.kind != Kind::Vectors && a.kind != Kind::Taxiing && away && std::fabs(back) > 5) {
            startTurn(a, back, kStandardRate); // back towards the station at the edge of the area
        }
    }

    void fly(Aircraft& a, double seconds)
    {
        if (!a.moving)
            return;
        manoeuvre(a, seconds);
        double turned = a.turnRate * seconds;
        if (a.turnLeft > 0 && std::fabs(turned) >= a.turnLeft) {
            turned = a.turnRate < 0 ? -a.turnLeft : a.turnLeft;
            a.turnLeft = 0;
        } else if (a.turnLeft > 0) {
            a.turnLeft -= std::fabs(turned);
        } else if (a.turnLeft == 0) {
            turned = 0;
        }
        // Half the turn before the step and half after: the path of a steady turn.
        a.heading += turned / 2;
        double track = 0, speed = 0;
        groundVector(a, track, speed);
        const double arrived = Move(a.lat, a.lon, track, speed * seconds / 3600.0);
        // Straight on means along the great circle: the nose follows its course.
        a.heading = std::fmod(a.heading + Wrap180(arrived - track) + turned / 2 + 720.0, 360.0);
    }

    Report reportOf(const Aircraft& a, qint64 at) const
    {
        double track = 0, speed = 0;
        groundVector(a, track, speed);
        return Report{a.lat, a.lon, a.heading, a.moving ? speed : 0, a.altitudeFt, at, at + a.lagMs};
    }

    void accept()
    {
        while (QTcpSocket* s = server_.nextPendingConnection()) {
            clients_.push_back(std::make_unique<Client>(Client{s, {}, false}));
            Client* c = clients_.back().get();
            connect(s, &QTcpSocket::readyRead, this, [this, c] { read(c); });
            connect(s, &QTcpSocket::disconnected, this, [this, c] { drop(c); });
        }
    }

    void drop(Client* c)
    {
        c->socket->deleteLater();
        std::erase_if(clients_, [c](const auto& p) { return p.get() == c; });
    }

    void read(Client* c)
    {
        c->pending += c->socket->readAll();
        int end;
        while ((end = c->pending.indexOf("\r\n")) >= 0) {
            const QByteArray line = c->pending.left(end);
            c->pending.remove(0, end + 2);
            if (line.startsWith("#AA")) {
                const QList<QByteArray> f = line.split(':');
                const QByteArray vid = f.size() > 3 ? f[3] : QByteArray();
                if (!o_.refuseVid.isEmpty() && vid == o_.refuseVid.toLatin1()) {
                    c->socket->write("#ERSERVER:" + (f.size() > 2 ? f[2] : QByteArray()) +
                                     ":NO such VID / Password\r\n");
                    c->socket->flush();
                    c->socket->disconnectFromHost();
                    return;
                }
                c->loggedIn = true;
                // The traffic picture follows the acknowledgement at once, as a real interface does.
                c->socket->write("#TMSERVER:" + (f.size() > 2 ? f[2] : QByteArray()) +
                                 ":SECONDARY LINKAR connection accepted\r\n" + positions());
                std::printf("login vid=%s\n", vid.constData());
            } else if (line.startsWith("!C")) {
                std::printf("identified %s\n", line.constData());
            }
            std::fflush(stdout);
        }
    }

    QByteArray positions() const
    {
        QByteArray block;
        for (const Aircraft& a : traffic_) {
            // The ATC client relays only the aircraft within its range.
            if (o_.linkRangeNm > 0 && DistanceNm(o_.stationLat, o_.stationLon, a.lat, a.lon) > o_.linkRangeNm)
                continue;
            // QByteArray::number writes a point in every locale; printf's %f would not.
            block += "@N:" + QByteArray::fromStdString(a.callsign) + ":" +
                     QByteArray::number(1000 + static_cast<int>(&a - traffic_.data())).rightJustified(4, '0') +
                     ":1:" + QByteArray::number(a.lat, 'f', 6) + ":" + QByteArray::number(a.lon, 'f', 6) + ":" +
                     QByteArray::number(a.altitudeFt, 'f', 0) + ":" + QByteArray::number(a.speedKt, 'f', 0) +
                     ":420:0\r\n";
        }
        return block;
    }

    // One step of the simulation, ending at `now`.
    void advance(qint64 now)
    {
        const double seconds = o_.intervalMs / 1000.0;
        for (Aircraft& a : traffic_) {
            fly(a, seconds);
            if (o_.feedPort < 0)
                continue;
            if (now >= a.nextReport) {
                // As on the network: now and then a report is lost, none comes exactly on time,
                // and each takes its own while to reach the file.
                if (o_.regular || Uniform(0, 1) >= kLostReport) {
                    a.sent.push_back(reportOf(a, now));
                    a.sent.back().visible += o_.regular ? 0 : static_cast<qint64>(Uniform(-1000, 1000));
                }
                a.nextReport +=
                    o_.reportEveryMs + (o_.regular ? 0 : static_cast<qint64>(Uniform(-0.2, 0.2) * o_.reportEveryMs));
            }
            while (!a.sent.empty() && a.sent.front().visible <= now) {
                a.rep = a.sent.front();
                a.sent.pop_front();
            }
        }
        steppedMs_ = now;
    }

    void step()
    {
        advance(NowMs());
        QByteArray block = positions();
        if (o_.extraLines) {
            ++ticks_;
            if (ticks_ % 5 == 0)
                block += "%EDDF_TWR:19180:4:100:5:50.03330:8.57060:0\r\n";
            if (ticks_ % 7 == 0)
                block += "#TMEDDF_TWR:*:Radio check, all stations\r\n";
            if (ticks_ % 11 == 0)
                block += "=A:DLH123:0\r\n";
        }
        for (const auto& c : clients_)
            if (c->loggedIn)
                c->socket->write(block);
    }

    void makeFile()
    {
        std::vector<feedfile::FeedPilot> pilots;
        for (const Aircraft& a : traffic_)
            if (!o_.unlisted.contains(QString::fromStdString(a.callsign)))
                pilots.push_back({a.callsign, a.rep.lat, a.rep.lon, a.rep.altitude, a.rep.groundSpeed, a.rep.heading,
                                  a.rep.at, static_cast<int>(&a - traffic_.data())});
        older_ = file_;
        file_ = feedfile::MakeFeedFile(o_.layout, pilots, NowMs());
        gzipped_ = feedfile::Gzip(file_);
        etag_ = "\"" + QByteArray::number(++generation_) + "\"";
        modified_ = HttpDate();
        // The next file comes about on time, and now and then late.
        double next = o_.feedEveryMs;
        if (!o_.regular)
            next *= Uniform(0, 1) < kLateFile ? Uniform(1.2, 1.5) : Uniform(0.9, 1.1);
        fileTimer_.start(static_cast<int>(next));
    }

    // The network's time: the PC's, unless told otherwise.
    qint64 NowMs() const { return QDateTime::currentMSecsSinceEpoch() + o_.clockOffsetMs; }

    QByteArray HttpDate() const
    {
        return QDateTime::fromMSecsSinceEpoch(NowMs(), Qt::UTC).toString("ddd, dd MMM yyyy HH:mm:ss 'GMT'").toLatin1();
    }

    // One answer with the headers a web server gives a static file.
    void answer(const QHttpServerRequest& request, QTcpSocket* socket, const QByteArray& body, int status = 200,
                bool cached = true, QHttpServerResponder::HeaderList extra = {})
    {
        QHttpServerResponder r = HttpSide::makeResponder(request, socket);
        const auto code = static_cast<QHttpServerResponder::StatusCode>(status);
        if (cached && request.value("If-None-Match") == etag_) {
            r.writeStatusLine(QHttpServerResponder::StatusCode::NotModified);
            r.writeHeader("Date", HttpDate());
            r.writeHeader("ETag", etag_);
            r.writeHeader("Content-Length", "0");
            r.writeBody(QByteArray());
            return;
        }
        const bool gzip = cached && request.value("Accept-Encoding").contains("gzip");
        const QByteArray& bytes = gzip ? gzipped_ : body;
        r.writeStatusLine(code);
        r.writeHeader("Date", HttpDate());
        r.writeHeader("Content-Type", "application/json");
        for (const auto& [name, value] : extra)
            r.writeHeader(name, value);
        if (cached) {
            r.writeHeader("ETag", etag_);
            r.writeHeader("Last-Modified", modified_);
        }
        if (gzip)
            r.writeHeader("Content-Encoding", "gzip");
        r.writeHeader("Content-Length", QByteArray::number(bytes.size()));
        r.writeBody(bytes);
    }

    QByteArray Head(const QByteArray& body) const
    {
        return "HTTP/1.1 200 OK\r\nDate: " + HttpDate() +
               "\r\nContent-Type: application/json\r\nConnection: close\r\nContent-Length: " +
               QByteArray::number(body.size()) + "\r\n\r\n";
    }

    // The file over a slow line, uncompressed, a piece every 100 ms.
    void trickle(QTcpSocket* socket, const QByteArray& body)
    {
        socket->write(Head(body));
        auto* timer = new QTimer(socket);
        auto sent = std::make_shared<qsizetype>(0);
        const qsizetype piece = std::max(1, o_.trickleBytesPerS / 10);
        QPointer<QTcpSocket> s(socket);
        connect(timer, &QTimer::timeout, socket, [s, timer, body, sent, piece] {
            if (!s)
                return;
            s->write(body.mid(*sent, piece));
            *sent += piece;
            if (*sent >= body.size()) {
                timer->stop();
                s->disconnectFromHost();
            }
        });
        timer->start(100);
    }

    void fault(const QString& kind, const QHttpServerRequest& request, QTcpSocket* socket)
    {
        std::printf("feed fault %s\n", kind.toLatin1().constData());
        std::fflush(stdout);
        if (kind == "500") {
            answer(request, socket, "<html><body>Internal Server Error</body></html>", 500, false);
        } else if (kind == "nonjson") {
            answer(request, socket, "<html><body>Please wait, the data is being updated</body></html>", 200, false);
        } else if (kind == "truncated") {
            answer(request, socket, file_.left(file_.size() / 2), 200, false);
        } else if (kind == "older") {
            answer(request, socket, older_.isEmpty() ? file_ : older_, 200, false);
        } else if (kind == "trickle") {
            trickle(socket, file_);
        } else {
            // Slow: the answer comes after the client's deadline, if the client still waits.
            QPointer<QTcpSocket> s(socket);
            QTimer::singleShot(o_.slowMs, this, [this, s] {
                if (s) {
                    s->write(Head(file_) + file_);
                    s->disconnectFromHost();
                }
            });
        }
    }

    void routes()
    {
        static const QStringList kFaults{"slow", "truncated", "500", "nonjson", "older"};
        http_.routes["/feed.json"] = [this](const QHttpServerRequest& request, QTcpSocket* socket) {
            ++requests_;
            const qint64 now = NowMs();
            const qint64 gap = now - lastAsked_;
            lastAsked_ = now;
            if (o_.minGapMs > 0 && gap < o_.minGapMs) {
                // As the network's servers do with a client that asks too often.
                answer(request, socket, "{\"error\":\"too many requests\"}", 429, false,
                       {{"Retry-After", QByteArray::number((o_.minGapMs + 999) / 1000)}});
                return;
            }
            if (o_.faultEvery > 0 && requests_ % o_.faultEvery == 0) {
                fault(kFaults[(requests_ / o_.faultEvery - 1) % kFaults.size()], request, socket);
                return;
            }
            answer(request, socket, file_);
        };
        for (const QString& kind : kFaults + QStringList{"trickle"})
            http_.routes["/" + kind + ".json"] = [this, kind](const QHttpServerRequest& request, QTcpSocket* socket) {
                fault(kind, request, socket);
            };
        // The network's status document, where a controller finds the file's address; its short
        // address redirects to it.
        http_.routes["/status.json"] = [this](const QHttpServerRequest& request, QTcpSocket* socket) {
            answer(request, socket,
                   R"({"data":{"v3":[")" + base_ + R"(/feed.json",")" + base_ + R"(/feed.json?copy=2"],"servers":[")" +
                       base_ + R"(/servers.json"]},"user":[")" + base_ + R"(/user"]})",
                   200, false);
        };
        http_.routes["/status"] = [this](const QHttpServerRequest& request, QTcpSocket* socket) {
            answer(request, socket, {}, 302, false, {{"Location", base_ + "/status.json"}});
        };
        // The instrument's own page: where every aircraft really is now.
        http_.routes["/truth.json"] = [this](const QHttpServerRequest& request, QTcpSocket* socket) {
            // "now": the time of the last step, where these positions are.
            QByteArray t = "{\"now\":" + QByteArray::number(steppedMs_) + ",\"aircraft\":[";
            for (const Aircraft& a : traffic_)
                t += (&a == traffic_.data() ? "" : ",") + QByteArray("{\"callsign\":\"") +
                     QByteArray::fromStdString(a.callsign) + "\",\"latitude\":" + QByteArray::number(a.lat, 'f', 7) +
                     ",\"longitude\":" + QByteArray::number(a.lon, 'f', 7) +
                     ",\"onGround\":" + (onGround(a) ? "true" : "false") + "}";
            answer(request, socket, t + "]}", 200, false);
        };
    }

    Options o_;
    std::mt19937 rng_;
    QTcpServer server_;
    HttpSide http_;
    QByteArray base_;
    QTimer fileTimer_;
    QByteArray file_, older_, gzipped_, etag_, modified_;
    long generation_ = 0;
    long requests_ = 0;
    qint64 lastAsked_ = 0;
    QTimer tick_;
    std::vector<Aircraft> traffic_;
    std::vector<std::unique_ptr<Client>> clients_;
    long ticks_ = 0;
    qint64 steppedMs_ = 0;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("linkar-sim");
    QCommandLineParser p;
    p.setApplicationDescription("Simulated network interface program: secondary login and position lines.");
    p.addHelpOption();
    p.addOptions({
        {"port", "TCP port on 127.0.0.1 (0: any free port).", "port", "6809"},
        {"refuse-vid", "Refuse logins with this VID.", "vid"},
        {"station", "Centre of the simulated traffic, lat,lon in decimal degrees.", "lat,lon", "50.0333,8.5706"},
        {"aircraft", "Number of aircraft.", "n", "8"},
        {"callsigns", "Comma-separated callsigns for the aircraft.", "list"},
        {"fixed",
         "An aircraft standing still, CALL,lat,lon,altitude, or flying on, CALL,lat,lon,altitude,heading,speed, "
         "straight or turning for ever at CALL,...,speed,degrees-a-second (repeatable); with --feed it sets out "
         "from there before the start, as long before as the oldest position of the first file.",
         "aircraft"},
        {"motion",
         "How the aircraft move: straight (turning back at the edge), turning (orbits at the standard rate), "
         "vectors (legs and standard-rate turns of 45 to 270 degrees), "
         "climbing, taxiing (on the ground, 1 to 3 NM from the station) or mixed.",
         "kind", "straight"},
        {"wind", "Wind from this direction at this speed: the nose is not the track.", "degrees,kt", "0,0"},
        {"link-range", "The link relays only aircraft within this many nautical miles of the station (0: all).", "nm",
         "0"},
        {"unlisted", "Comma-separated callsigns the data file does not list yet (connected since it was made).",
         "list"},
        {"seed", "Random seed.", "n", "1"},
        {"interval", "Milliseconds between position reports on the link (and steps of the simulation).", "ms", "1000"},
        {"range", "Radius of the simulated area in nautical miles.", "nm", "250"},
        {"no-extra", "Send position lines only."},
        {"far", "Number of extra low aircraft 150 to 210 nm out, beyond the radio horizon.", "n", "2"},
        {"feed",
         "Also serve the aircraft as the network's data file over HTTP on this port (0: any free port): "
         "/feed.json, its status document /status.json (and /status, which redirects there), "
         "and /slow.json, /truncated.json, /500.json, /nonjson.json, /older.json (the file before), "
         "/trickle.json (uncompressed over a slow line) on request.",
         "port"},
        {"layout", "Layout of the data file: a or b.", "a|b", "a"},
        {"feed-every", "Milliseconds between new data files.", "ms", "15000"},
        {"report-every", "Milliseconds between a pilot's positions reaching the network.", "ms", "15000"},
        {"clock-offset", "The network's clock this many milliseconds ahead of the PC's (negative: behind).", "ms", "0"},
        {"regular", "Every file and every position on time, none lost (the network is never so regular)."},
        {"ages", "How old the positions in a new data file are, in seconds.", "min-max", "0-30"},
        {"slow", "Milliseconds /slow.json takes to answer.", "ms", "25000"},
        {"trickle", "Bytes a second of /trickle.json.", "n", "131072"},
        {"min-gap", "A client asking for /feed.json sooner than this after the last request gets 429 with Retry-After.",
         "ms", "0"},
        {"fault-every",
         "Every n-th request of /feed.json is answered slow, truncated, 500, non-JSON or with the file before, in "
         "turn.",
         "n", "0"},
    });
    p.process(app);

    Simulator::Options o;
    bool ok = true;
    o.port = static_cast<quint16>(p.value("port").toUInt(&ok));
    const QStringList st = p.value("station").split(',');
    const QStringList wind = p.value("wind").split(',');
    const QStringList ages = p.value("ages").split('-');
    static const std::map<QString, Kind> kKinds{{"straight", Kind::Straight}, {"turning", Kind::Turning},
                                                {"vectors", Kind::Vectors},   {"climbing", Kind::Climbing},
                                                {"taxiing", Kind::Taxiing},   {"mixed", Kind::Mixed}};
    const auto kind = kKinds.find(p.value("motion"));
    if (!ok || st.size() != 2 || wind.size() != 2 || ages.size() != 2 || kind == kKinds.end()) {
        std::fprintf(stderr, "linkar-sim: bad --port, --station, --wind, --ages or --motion\n");
        return 2;
    }
    o.stationLat = st[0].toDouble();
    o.stationLon = st[1].toDouble();
    o.windFrom = wind[0].toDouble();
    o.windKt = wind[1].toDouble();
    o.kind = kind->second;
    o.refuseVid = p.value("refuse-vid");
    o.count = p.value("aircraft").toInt();
    o.seed = p.value("seed").toUInt();
    o.intervalMs = std::max(10, p.value("interval").toInt());
    o.maxRangeNm = p.value("range").toDouble();
    o.fixed = p.values("fixed");
    if (p.isSet("callsigns"))
        o.callsigns = p.value("callsigns").split(',', Qt::SkipEmptyParts);
    o.extraLines = !p.isSet("no-extra");
    o.linkRangeNm = std::max(0.0, p.value("link-range").toDouble());
    if (p.isSet("unlisted"))
        o.unlisted = p.value("unlisted").split(',', Qt::SkipEmptyParts);
    o.far = std::max(0, p.value("far").toInt());
    if (p.isSet("feed")) {
        o.feedPort = p.value("feed").toInt(&ok);
        const QString layout = p.value("layout").toLower();
        if (!ok || o.feedPort < 0 || o.feedPort > 65535 || (layout != "a" && layout != "b")) {
            std::fprintf(stderr, "linkar-sim: bad --feed or --layout\n");
            return 2;
        }
        o.layout = layout == "a" ? feedfile::FeedLayout::A : feedfile::FeedLayout::B;
        o.feedEveryMs = std::max(100, p.value("feed-every").toInt());
        o.reportEveryMs = std::max(100, p.value("report-every").toInt());
        o.clockOffsetMs = p.value("clock-offset").toLongLong();
        o.regular = p.isSet("regular");
        o.agesMinS = std::max(0, ages[0].toInt());
        o.agesMaxS = std::max(o.agesMinS, ages[1].toInt());
        o.slowMs = std::max(0, p.value("slow").toInt());
        o.trickleBytesPerS = std::max(10, p.value("trickle").toInt());
        o.minGapMs = std::max(0, p.value("min-gap").toInt());
        o.faultEvery = std::max(0, p.value("fault-every").toInt());
    }

    Simulator sim(o);
    if (!sim.listen() || !sim.listenFeed())
        return 1;
    return app.exec();
}
