// How far off the bearing is at key-up, with the file's position and with the position moved
// to now: linkar-sim serves its data file (a new one every 15 s, each pilot's position taken
// at his own moment every 5 s) and tells where its aircraft really are. Once a second, for
// every aircraft, a station is put 10, 20 and 50 NM from its true position in a random
// direction, and the bearing from there is compared. Prints the median and 90th percentile.
//   build/bench/feed/bench_feed_projection [seconds]
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
#include <map>
#include <random>

using namespace quadrantel;

namespace {

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
    const double d = std::fabs(std::fmod(a - b + 540.0, 360.0) - 180.0);
    return d;
}

double Percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[static_cast<std::size_t>(p * static_cast<double>(v.size() - 1))];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(20, std::atoi(argv[1])) : 120;
    QProcess sim;
    sim.start(QCoreApplication::applicationDirPath() + "/../../bin/linkar-sim",
              {"--port", "0", "--feed", "0", "--aircraft", "40", "--far", "0", "--range", "150", "--no-extra",
               "--interval", "250", "--report-every", "15000", "--seed", "11"});
    QString port;
    while (port.isEmpty() && sim.waitForReadyRead(10000))
        port = QRegularExpression("feed on (\\d+)").match(QString::fromLatin1(sim.readAll())).captured(1);
    if (port.isEmpty()) {
        std::fprintf(stderr, "linkar-sim did not start\n");
        return 1;
    }
    const QString base = "http://127.0.0.1:" + port;
    QNetworkAccessManager net;
    feed::FeedParser parser;
    feed::Snapshot file;
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> anyway(0, 360);
    const double ranges[] = {10, 20, 50};
    std::map<double, std::vector<double>> raw, moved;
    std::vector<double> ages;

    for (int s = 0; s < seconds; ++s) {
        QDeadlineTimer second(1000);
        if (s % 15 == 0) { // as often as the program asks
            std::string error;
            feed::Snapshot fresh;
            const QByteArray body = Get(net, base + "/feed.json");
            if (parser.Parse(std::string_view(body.constData(), static_cast<std::size_t>(body.size())), fresh, error))
                file = std::move(fresh);
        }
        const QJsonObject truth = QJsonDocument::fromJson(Get(net, base + "/truth.json")).object();
        const qint64 now = static_cast<qint64>(truth.value("now").toDouble());
        for (const auto& v : truth.value("aircraft").toArray()) {
            const QJsonObject a = v.toObject();
            const std::string call = a.value("callsign").toString().toStdString();
            const auto p = std::find_if(file.pilots.begin(), file.pilots.end(),
                                        [&](const feed::Pilot& f) { return f.callsign == call; });
            if (p == file.pilots.end())
                continue;
            feed::Track one;
            one.Add(*p);
            const feed::Projection fix = feed::Project(*p, one, now);
            ages.push_back(static_cast<double>(fix.ageMs) / 1000);
            const double lat = a.value("latitude").toDouble(), lon = a.value("longitude").toDouble();
            for (const double nm : ranges) {
                double sLat = 0, sLon = 0;
                gonio::Destination(lat, lon, anyway(rng), nm, sLat, sLon);
                try {
                    const double real = gonio::Course(sLat, sLon, lat, lon);
                    raw[nm].push_back(Off(gonio::Course(sLat, sLon, p->latitude, p->longitude), real));
                    moved[nm].push_back(Off(gonio::Course(sLat, sLon, fix.latitude, fix.longitude), real));
                } catch (const std::exception&) {
                }
            }
        }
        while (!second.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    sim.terminate();
    sim.waitForFinished(5000);

    std::printf("%d s, %zu readings per range, position age median %.1f s, max %.1f s\n", seconds, raw[10].size(),
                Percentile(ages, 0.5), Percentile(ages, 1.0));
    std::printf("| range | median error, file's position | median error, projected | 90th pct, file's | 90th pct, "
                "projected |\n");
    std::printf("| --- | --- | --- | --- | --- |\n");
    for (const double nm : ranges)
        std::printf("| %.0f NM | %.2f deg | %.2f deg | %.2f deg | %.2f deg |\n", nm, Percentile(raw[nm], 0.5),
                    Percentile(moved[nm], 0.5), Percentile(raw[nm], 0.9), Percentile(moved[nm], 0.9));
    return 0;
}
