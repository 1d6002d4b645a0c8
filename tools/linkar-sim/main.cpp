// A stand-in for the network's interface program: accepts secondary logins and streams
// position lines of simulated aircraft, so the demo and the tests need no real network.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

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
        QStringList fixed; // CALL,lat,lon,alt
        QStringList callsigns;
        bool extraLines = true;
        int far = 0; // low aircraft far out, below the radio horizon
    };

    explicit Simulator(Options o) : o_(std::move(o)), rng_(o_.seed)
    {
        makeTraffic();
        connect(&server_, &QTcpServer::newConnection, this, &Simulator::accept);
        connect(&tick_, &QTimer::timeout, this, &Simulator::step);
        tick_.start(o_.intervalMs);
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
            a.moving = false;
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

    Options o_;
    std::mt19937 rng_;
    QTcpServer server_;
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
        {"fixed", "An aircraft standing still: CALL,lat,lon,altitude (repeatable).", "aircraft"},
        {"seed", "Random seed.", "n", "1"},
        {"interval", "Milliseconds between position reports.", "ms", "1000"},
        {"range", "Radius of the simulated area in nautical miles.", "nm", "250"},
        {"no-extra", "Send position lines only."},
        {"far", "Number of extra low aircraft 150 to 210 nm out, beyond the radio horizon.", "n", "2"},
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
    o.far = std::max(0, p.value("far").toInt());

    Simulator sim(o);
    if (!sim.listen())
        return 1;
    return app.exec();
}
