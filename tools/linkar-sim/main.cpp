// A stand-in for the network's interface program: accepts secondary logins and streams
// position lines of simulated aircraft, so the demo and the tests need no real network.
// With --feed it also serves the same aircraft as the network's public data file over HTTP.
#include "FeedFile.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace feedfile = quadrantel::sim;

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kEarthNm = 3440.065;

struct Aircraft {
    std::string callsign;
    double lat, lon; // degrees
    double heading;  // degrees true
    double speedKt;
    double altitudeFt;
    bool moving = true;
    double edgeNm = 0; // turns back towards the station beyond this distance
    // What the network last received from this pilot, for the data file.
    double repLat = 0, repLon = 0, repHeading = 0;
    qint64 repAt = 0;
};

double Rad(double d)
{
    return d * kPi / 180.0;
}
double Deg(double r)
{
    return r * 180.0 / kPi;
}

// Moves a point along the great circle of its heading.
void Advance(Aircraft& a, double seconds)
{
    const double d = a.speedKt * seconds / 3600.0 / kEarthNm;
    const double lat1 = Rad(a.lat), lon1 = Rad(a.lon), brg = Rad(a.heading);
    const double lat2 = std::asin(std::sin(lat1) * std::cos(d) + std::cos(lat1) * std::sin(d) * std::cos(brg));
    const double lon2 =
        lon1 + std::atan2(std::sin(brg) * std::sin(d) * std::cos(lat1), std::cos(d) - std::sin(lat1) * std::sin(lat2));
    // The heading along a great circle changes: take the final bearing of the step.
    const double y = std::sin(lon1 - lon2) * std::cos(lat1);
    const double x = std::cos(lat2) * std::sin(lat1) - std::sin(lat2) * std::cos(lat1) * std::cos(lon1 - lon2);
    a.heading = std::fmod(Deg(std::atan2(y, x)) + 180.0, 360.0);
    a.lat = Deg(lat2);
    a.lon = std::remainder(Deg(lon2), 360.0);
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

const char* const kCallsigns[] = {"DLH123", "BAW456", "AFR789", "KLM12", "UAL901", "SWR34", "AUA56", "IBE77",
                                  "RYR8QK", "EZY42",  "SAS903", "TAP15", "THY1K",  "QTR8",  "UAE4",  "DAL100"};

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
        QStringList fixed; // CALL,lat,lon,alt[,heading,speed]
        QStringList callsigns;
        double linkRangeNm = 0; // the link relays only aircraft this close to the station; 0: all
        QStringList unlisted;   // pilots the data file does not list yet
        bool extraLines = true;
        int far = 0;       // low aircraft far out, below the radio horizon
        int feedPort = -1; // -1: no data file
        feedfile::FeedLayout layout = feedfile::FeedLayout::A;
        int feedEveryMs = 15000;  // the file is made anew this often
        int reportEveryMs = 5000; // each pilot's position reaches the network this often
        int slowMs = 25000;       // how long /slow.json takes
        int faultEvery = 0;       // every n-th request of /feed.json gets the next fault
    };

    explicit Simulator(Options o) : o_(std::move(o)), rng_(o_.seed)
    {
        makeTraffic();
        connect(&server_, &QTcpServer::newConnection, this, &Simulator::accept);
        connect(&tick_, &QTimer::timeout, this, &Simulator::step);
        tick_.start(o_.intervalMs);
        if (o_.feedPort >= 0) {
            // Every pilot reports at his own moment: the file's positions are of different ages.
            std::uniform_int_distribution<int> phase(0, o_.reportEveryMs);
            const qint64 now = QDateTime::currentMSecsSinceEpoch();
            for (Aircraft& a : traffic_)
                report(a, now - phase(rng_));
            makeFile();
            connect(&fileTimer_, &QTimer::timeout, this, &Simulator::makeFile);
            fileTimer_.start(o_.feedEveryMs);
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

    void makeTraffic()
    {
        std::uniform_real_distribution<double> u(0.0, 1.0);
        for (const QString& f : o_.fixed) {
            const QStringList p = f.split(',');
            if (p.size() < 4)
                continue;
            Aircraft a{p[0].toStdString(), p[1].toDouble(), p[2].toDouble(), 0, 0, p[3].toDouble()};
            // With a heading and a speed it flies straight on, wherever that leads.
            if (p.size() >= 6) {
                a.heading = p[4].toDouble();
                a.speedKt = p[5].toDouble();
            }
            a.moving = a.speedKt > 0;
            a.edgeNm = 1e9;
            traffic_.push_back(a);
        }
        for (int i = 0; i < o_.count; ++i) {
            Aircraft a{};
            a.callsign = i < o_.callsigns.size() ? o_.callsigns[i].toStdString()
                         : i < 16                ? std::string(kCallsigns[i])
                                                 : "SIM" + std::to_string(100 + i);
            // Spread around the station; some far enough to be below the radio horizon.
            a.lat = o_.stationLat;
            a.lon = o_.stationLon;
            a.heading = u(rng_) * 360.0;
            a.speedKt = 0;
            a.altitudeFt = 1000 * std::round(3 + u(rng_) * 36);
            const double dist = 5 + u(rng_) * o_.maxRangeNm;
            Aircraft probe = a;
            probe.speedKt = dist * 3600.0;
            Advance(probe, 1.0);
            a.lat = probe.lat;
            a.lon = probe.lon;
            a.heading = u(rng_) * 360.0;
            a.speedKt = 180 + u(rng_) * 300;
            a.edgeNm = o_.maxRangeNm + 20;
            traffic_.push_back(a);
        }
        // Low and far: a reading for them must say "out of range".
        for (int i = 0; i < o_.far; ++i) {
            const int n = o_.count + i;
            Aircraft a{};
            a.callsign = n < o_.callsigns.size() ? o_.callsigns[n].toStdString()
                         : n < 16                ? std::string(kCallsigns[n])
                                                 : "SIM" + std::to_string(100 + n);
            a.lat = o_.stationLat;
            a.lon = o_.stationLon;
            a.heading = u(rng_) * 360.0;
            a.speedKt = (150 + u(rng_) * 60) * 3600.0;
            Advance(a, 1.0);
            a.heading = u(rng_) * 360.0;
            a.speedKt = 110 + u(rng_) * 40;
            a.altitudeFt = 100 * std::round(15 + u(rng_) * 15);
            a.edgeNm = 230;
            traffic_.push_back(a);
        }
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

    void step()
    {
        const double seconds = o_.intervalMs / 1000.0;
        for (Aircraft& a : traffic_) {
            if (a.moving) {
                Advance(a, seconds);
                // Turn back towards the station at the edge of the simulated area.
                if (DistanceNm(o_.stationLat, o_.stationLon, a.lat, a.lon) > a.edgeNm)
                    a.heading = BearingTo(a.lat, a.lon, o_.stationLat, o_.stationLon);
            }
        }
        if (o_.feedPort >= 0) {
            const qint64 now = QDateTime::currentMSecsSinceEpoch();
            for (Aircraft& a : traffic_)
                if (now - a.repAt >= o_.reportEveryMs)
                    report(a, now);
        }
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

    static void report(Aircraft& a, qint64 at)
    {
        a.repLat = a.lat;
        a.repLon = a.lon;
        a.repHeading = a.heading;
        a.repAt = at;
    }

    void makeFile()
    {
        std::vector<feedfile::FeedPilot> pilots;
        for (const Aircraft& a : traffic_)
            if (!o_.unlisted.contains(QString::fromStdString(a.callsign)))
                pilots.push_back({a.callsign, a.repLat, a.repLon, a.altitudeFt, a.moving ? a.speedKt : 0, a.repHeading,
                                  a.repAt, static_cast<int>(&a - traffic_.data())});
        file_ = feedfile::MakeFeedFile(o_.layout, pilots, QDateTime::currentMSecsSinceEpoch());
        gzipped_ = feedfile::Gzip(file_);
        etag_ = "\"" + QByteArray::number(++generation_) + "\"";
        modified_ = QDateTime::currentDateTimeUtc().toString("ddd, dd MMM yyyy HH:mm:ss 'GMT'").toLatin1();
    }

    static QByteArray HttpDate()
    {
        return QDateTime::currentDateTimeUtc().toString("ddd, dd MMM yyyy HH:mm:ss 'GMT'").toLatin1();
    }

    // One answer with the headers a web server gives a static file.
    void answer(const QHttpServerRequest& request, QHttpServerResponder& r, const QByteArray& body, int status = 200,
                bool cached = true)
    {
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
        r.writeStatusLine(static_cast<QHttpServerResponder::StatusCode>(status));
        r.writeHeader("Date", HttpDate());
        r.writeHeader("Content-Type", "application/json");
        if (cached) {
            r.writeHeader("ETag", etag_);
            r.writeHeader("Last-Modified", modified_);
        }
        if (gzip)
            r.writeHeader("Content-Encoding", "gzip");
        r.writeHeader("Content-Length", QByteArray::number(bytes.size()));
        r.writeBody(bytes);
    }

    void fault(const QString& kind, const QHttpServerRequest& request, QHttpServerResponder&& r)
    {
        std::printf("feed fault %s\n", kind.toLatin1().constData());
        std::fflush(stdout);
        if (kind == "500") {
            answer(request, r, "<html><body>Internal Server Error</body></html>", 500, false);
        } else if (kind == "nonjson") {
            answer(request, r, "<html><body>Please wait, the data is being updated</body></html>", 200, false);
        } else if (kind == "truncated") {
            answer(request, r, file_.left(file_.size() / 2), 200, false);
        } else {
            // Slow: the answer comes after the client's deadline, if the client still waits.
            auto held = std::make_shared<QHttpServerResponder>(std::move(r));
            const QByteArray body = file_;
            QTimer::singleShot(o_.slowMs, this, [held, body] {
                held->writeStatusLine();
                held->writeHeader("Date", HttpDate());
                held->writeHeader("Content-Type", "application/json");
                held->writeHeader("Content-Length", QByteArray::number(body.size()));
                held->writeBody(body);
            });
        }
    }

    void routes()
    {
        static const QStringList kFaults{"slow", "truncated", "500", "nonjson"};
        http_.route("/feed.json", [this](const QHttpServerRequest& request, QHttpServerResponder&& r) {
            ++requests_;
            if (o_.faultEvery > 0 && requests_ % o_.faultEvery == 0) {
                fault(kFaults[(requests_ / o_.faultEvery - 1) % kFaults.size()], request, std::move(r));
                return;
            }
            answer(request, r, file_);
        });
        for (const QString& kind : kFaults)
            http_.route("/" + kind + ".json",
                        [this, kind](const QHttpServerRequest& request, QHttpServerResponder&& r) {
                            fault(kind, request, std::move(r));
                        });
        // The instrument's own page: where every aircraft really is now.
        http_.route("/truth.json", [this](const QHttpServerRequest& request, QHttpServerResponder&& r) {
            QByteArray t = "{\"now\":" + QByteArray::number(QDateTime::currentMSecsSinceEpoch()) + ",\"aircraft\":[";
            for (const Aircraft& a : traffic_)
                t += (&a == traffic_.data() ? "" : ",") + QByteArray("{\"callsign\":\"") +
                     QByteArray::fromStdString(a.callsign) + "\",\"latitude\":" + QByteArray::number(a.lat, 'f', 7) +
                     ",\"longitude\":" + QByteArray::number(a.lon, 'f', 7) + "}";
            answer(request, r, t + "]}", 200, false);
        });
    }

    Options o_;
    std::mt19937 rng_;
    QTcpServer server_;
    QHttpServer http_;
    QTimer fileTimer_;
    QByteArray file_, gzipped_, etag_, modified_;
    long generation_ = 0;
    long requests_ = 0;
    QTimer tick_;
    std::vector<Aircraft> traffic_;
    std::vector<std::unique_ptr<Client>> clients_;
    long ticks_ = 0;
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
        {"aircraft", "Number of flying aircraft.", "n", "8"},
        {"callsigns", "Comma-separated callsigns for the flying aircraft.", "list"},
        {"fixed",
         "An aircraft standing still, CALL,lat,lon,altitude, or flying straight on, "
         "CALL,lat,lon,altitude,heading,speed "
         "(repeatable).",
         "aircraft"},
        {"link-range", "The link relays only aircraft within this many nautical miles of the station (0: all).", "nm",
         "0"},
        {"unlisted", "Comma-separated callsigns the data file does not list yet (connected since it was made).",
         "list"},
        {"seed", "Random seed.", "n", "1"},
        {"interval", "Milliseconds between position reports.", "ms", "1000"},
        {"range", "Radius of the simulated area in nautical miles.", "nm", "250"},
        {"no-extra", "Send position lines only."},
        {"far", "Number of extra low aircraft 150 to 210 nm out, beyond the radio horizon.", "n", "2"},
        {"feed",
         "Also serve the aircraft as the network's data file over HTTP on this port (0: any free port): "
         "/feed.json, and /slow.json, /truncated.json, /500.json, /nonjson.json on request.",
         "port"},
        {"layout", "Layout of the data file: a or b.", "a|b", "a"},
        {"feed-every", "Milliseconds between new data files.", "ms", "15000"},
        {"report-every", "Milliseconds between a pilot's positions reaching the network.", "ms", "5000"},
        {"slow", "Milliseconds /slow.json takes to answer.", "ms", "25000"},
        {"fault-every", "Every n-th request of /feed.json is answered slow, truncated, 500 or non-JSON in turn.", "n",
         "0"},
    });
    p.process(app);

    Simulator::Options o;
    bool ok = true;
    o.port = static_cast<quint16>(p.value("port").toUInt(&ok));
    const QStringList st = p.value("station").split(',');
    if (!ok || st.size() != 2) {
        std::fprintf(stderr, "linkar-sim: bad --port or --station\n");
        return 2;
    }
    o.stationLat = st[0].toDouble();
    o.stationLon = st[1].toDouble();
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
        o.slowMs = std::max(0, p.value("slow").toInt());
        o.faultEvery = std::max(0, p.value("fault-every").toInt());
    }

    Simulator sim(o);
    if (!sim.listen() || !sim.listenFeed())
        return 1;
    return app.exec();
}
