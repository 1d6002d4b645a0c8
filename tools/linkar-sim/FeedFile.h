#pragma once

#include <QByteArray>

#include <string>
#include <vector>

// The network's public data file as the simulators and benchmarks write it, in either layout.
namespace quadrantel::sim {

struct FeedPilot {
    std::string callsign;
    double latitude = 0, longitude = 0;
    double altitudeFt = 0, groundSpeedKt = 0, headingDeg = 0;
    qint64 positionMs = 0; // when the network received this position, epoch ms
    int index = 0;         // picks the made-up identity and flight plan
};

enum class FeedLayout { A, B };

// A whole file made at `nowMs`: the pilots with flight plans of a realistic size, and a few
// controllers, ATIS, observers and prefiled plans, which are not aircraft.
QByteArray MakeFeedFile(FeedLayout layout, const std::vector<FeedPilot>& pilots, qint64 nowMs);

// gzip of the bytes, as a web server sends them with Content-Encoding: gzip.
QByteArray Gzip(const QByteArray& bytes);

// "2026-12-07T18:30:15.4820317Z"; without the zone when `zone` is false.
QByteArray FeedTime(qint64 ms, bool zone = true);

} // namespace quadrantel::sim
