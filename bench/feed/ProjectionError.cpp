// How far off the bearing is at key-up, with the file's position, with the position moved along
// the heading in a straight line (as the feed did before), and with the position moved along the
// track and turn of the pilot's own fixes (as it does now). For each scene linkar-sim serves its
// data file as the network does (a new file every 15 s, each pilot's position reaching it every
// 15 s at his own moment and 0 to 15 s late, or 45 to 85 s late for the stale scenes) and tells
// where its aircraft really are (/truth.json). The file is read every 15 s through the program's
// parser and traffic; once a second, for every aircraft, a station is put 10 NM (2 NM for
// taxiing) from its true position in a random direction and the bearings from there compared.
// The first 45 s of a scene, before the fixes tell a track, are not counted.
//   build/bench/feed/bench_feed_projection [seconds per scene] [scene ...]
#include "feed/FeedParser.h"
#include "feed/FeedTraffic.h"
#include "gonio/Geodesy.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

using namespace quadrantel;

namespace {

struct Scene {
    const char* name;
    QStringList arguments;
    double rangeNm;
    int minAgeS, maxAgeS; // the positions counted
};

const Scene kScenes[] = {
    {"straight", {"--motion", "straight"}, 10, 0, 35},
    {"straight, 40 kt crosswind", {"--motion", "straight", "--wind", "270,40"}, 10, 0, 35},
    {"turning 3 deg/s", {"--motion", "turning"}, 10, 0, 35},
    {"turning, 40 kt crosswind", {"--motion", "turning", "--wind", "270,40"}, 10, 0, 35},
    {"vectors", {"--motion", "vectors"}, 10, 0, 35},
    {"vectors, 40 kt crosswind", {"--motion", "vectors", "--wind", "270,40"}, 10, 0, 35},
    {"climbing and descending", {"--motion", "climbing"}, 10, 0, 35},
    {"climbing, 40 kt crosswind", {"--motion", "climbing", "--wind", "270,40"}, 10, 0, 35},
    {"taxiing (2 NM)", {"--motion", "taxiing"}, 2, 0, 35},
    {"straight, 60-100 s old", {"--motion", "straight", "--ages", "60-100"}, 10, 60, 100},
    {"turning, 60-100 s old", {"--motion", "turning", "--ages", "60-100"}, 10, 60, 100},
    {"vectors, 60-100 s old", {"--motion", "vectors", "--ages", "60-100"}, 10, 60, 100},
};

QByteArray Get(QNetworkAccessManager& net, const QString& url)
{
    QNetworkReply* reply = net.get(QNetworkRequest(QUrl(url)));
    while (!reply->isFinished())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const QByteArray body = reply->readAll();
    reply->deleteLater();
    return body;
}

double Off(double a, double b)
{
    return std::fabs(std::fmod(a - b + 540.0, 360.0) - 180.0);
}

double Percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[static_cast<std::size_t>(p * static_cast<double>(v.size() - 1))];
}

// The projection before: along the heading, in a straight line, airborne only, at most 60 s.
void AlongTheHeading(const feed::Pilot& p, std::int64_t now, double& lat, double& lon)
{
    lat = p.latitude;
    lon = p.longitude;
    const std::int64_t age = std::max<std::int64_t>(0, now - p.positionMs);
    if (p.groundSpeedKt < 40 || p.headingDeg < 0 || age == 0)
        return;
    const double nm = p.groundSpeedKt * static_cast<double>(std::min<std::int64_t>(age, 60'000)) / 3'600'000.0;
    gonio::Destination(p.latitude, p.longitude, p.headingDeg, nm, lat, lon);
}

struct Errors {
    std::vector<double> file, before, after, worse, ages;
};

Errors Run(const Scene& scene, int seconds)
{
    QProcess sim;
    sim.start(QCoreApplication::applicationDirPath() + "/../../bin/linkar-sim",
              QStringList{"--port", "0", "--feed", "0", "--aircraft", "40", "--far", "0", "--range", "60", "--no-extra",
                          "--interval", "250", "--seed", "11"} +
                  scene.arguments);
    QString port;
    while (port.isEmpty() && sim.waitForReadyRead(10000))
        port = QRegularExpression("feed on (\\d+)").match(QString::fromLatin1(sim.readAll())).captured(1);
    Errors e;
    if (port.isEmpty()) {
        std::fprintf(stderr, "linkar-sim did not start\n");
        return e;
    }
    const QString base = "http://127.0.0.1:" + port;
    QNetworkAccessManager net;
    feed::FeedParser parser;
    feed::FeedTraffic traffic;
    std::int64_t startMs = 0;
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> anyway(0, 360);
    for (int s = 0; s < seconds; ++s) {
        QDeadlineTimer second(1000);
        const QJsonObject truth = QJsonDocument::fromJson(Get(net, base + "/truth.json")).object();
        const auto now = static_cast<std::int64_t>(truth.value("now").toDouble());
        if (s % 15 == 7) { // as often as the program asks, never just as a new file is made
            feed::Snapshot file;
            std::string error;
            const QByteArray body = Get(net, base + "/feed.json");
            if (parser.Parse(std::string_view(body.constData(), static_cast<std::size_t>(body.size())), file, error)) {
                if (startMs == 0) {
                    startMs = now;
                    (void)traffic.SetStation(feed::Station{50.0333, 8.5706}, now, 15'000);
                }
                (void)traffic.Apply(std::move(file), nullptr, now);
            }
        }
        for (const auto& v : truth.value("aircraft").toArray()) {
            const QJsonObject a = v.toObject();
            const std::string call = a.value("callsign").toString().toStdString();
            const feed::Pilot* p = traffic.Find(call);
            if (!p || now - startMs < 45'000)
                continue;
            const double age = static_cast<double>(now - p->positionMs) / 1000;
            if (age < scene.minAgeS || age > scene.maxAgeS)
                continue;
            const feed::Projection moved = *traffic.ProjectNow(call, now);
            double lat0 = 0, lon0 = 0;
            AlongTheHeading(*p, now, lat0, lon0);
            const double lat = a.value("latitude").toDouble(), lon = a.value("longitude").toDouble();
            double sLat = 0, sLon = 0;
            gonio::Destination(lat, lon, anyway(rng), scene.rangeNm, sLat, sLon);
            try {
                const double real = gonio::Course(sLat, sLon, lat, lon);
                const double file = Off(gonio::Course(sLat, sLon, p->latitude, p->longitude), real);
                const double after = Off(gonio::Course(sLat, sLon, moved.latitude, moved.longitude), real);
                e.file.push_back(file);
                e.before.push_back(Off(gonio::Course(sLat, sLon, lat0, lon0), real));
                e.after.push_back(after);
                e.worse.push_back(after - file);
                e.ages.push_back(age);
            } catch (const std::exception&) {
            }
        }
        while (!second.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    sim.terminate();
    sim.waitForFinished(5000);
    return e;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(60, std::atoi(argv[1])) : 180;
    std::printf("%d s a scene; median and 90th percentile of the bearing error\n", seconds);
    std::printf("| scene | readings | age median / max | file's position | along the heading (before) | along "
                "the track and turn (now) | now minus file's, 90th pct |\n");
    std::printf("| --- | --- | --- | --- | --- | --- | --- |\n");
    for (const Scene& scene : kScenes) {
        bool wanted = argc <= 2;
        for (int i = 2; i < argc; ++i)
            wanted = wanted || QString(scene.name).startsWith(argv[i]);
        if (!wanted)
            continue;
        const Errors e = Run(scene, seconds);
        std::printf("| %s | %zu | %.0f / %.0f s | %.2f / %.2f deg | %.2f / %.2f deg | %.2f / %.2f deg | %.2f deg |\n",
                    scene.name, e.after.size(), Percentile(e.ages, 0.5), Percentile(e.ages, 1.0),
                    Percentile(e.file, 0.5), Percentile(e.file, 0.9), Percentile(e.before, 0.5),
                    Percentile(e.before, 0.9), Percentile(e.after, 0.5), Percentile(e.after, 0.9),
                    Percentile(e.worse, 0.9));
        std::fflush(stdout);
    }
    return 0;
}
