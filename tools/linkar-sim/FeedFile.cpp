#include "FeedFile.h"

#include <QDateTime>

#include <zlib.h>

#include <charconv>
#include <cmath>

namespace quadrantel::sim {

namespace {

const char* const kAirports[] = {"EDDF", "EGLL", "LFPG", "EHAM", "LEMD", "LIRF", "LOWW", "LSZH", "EKCH", "ESSA",
                                 "EDDM", "EBBR", "LPPT", "EIDW", "LKPR", "EPWA", "KJFK", "KBOS", "CYYZ", "OMDB"};
const char* const kTypes[] = {"A320", "B738", "A321", "B77W", "A359", "E190", "CRJ9", "B789", "A20N", "C172"};

QByteArray Num(double v, int decimals)
{
    char buf[48];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    return QByteArray(buf, static_cast<int>(r.ptr - buf));
}

QByteArray Int(long long v)
{
    return QByteArray::number(v);
}

QByteArray Route(int i)
{
    // Airways and fixes: a route string of the length real plans have (100 to 400 characters).
    static const char* const kFixes[] = {"ANEKI", "NATOR", "TRA",   "KPT",   "DINKI", "RESIA", "LUPEN", "ARBEB",
                                         "OSMAX", "BIBOS", "TOSTU", "UNOKO", "GIVMI", "DOSUR", "ROKIL"};
    QByteArray r = "N0450F350 ";
    for (int k = 0; k < 14 + i % 24; ++k) {
        r += kFixes[(i + k * 7) % 15];
        r += k % 2 ? " UN" + Int(800 + (i + k) % 99) + " " : " DCT ";
    }
    return r.trimmed();
}

QByteArray Identity(int i, const std::string& callsign)
{
    return "\"cid\":" + Int(1'100'000 + i) + ",\"name\":\"Pilot " + Int(i) + "\",\"callsign\":\"" +
           QByteArray::fromStdString(callsign) + "\",\"server\":\"SIM-" + Int(i % 4) +
           "\",\"pilot_rating\":" + Int(i % 3) + ",\"military_rating\":0,";
}

QByteArray PlanA(int i, qint64 now)
{
    const char* dep = kAirports[i % 20];
    const char* arr = kAirports[(i * 7 + 3) % 20];
    return R"({"flight_rules":"I","aircraft":")" + QByteArray(kTypes[i % 10]) +
           R"(/M-SDE2E3FGHIJ1RWXY/LB1","aircraft_faa":"H/)" + kTypes[i % 10] + R"(/L","aircraft_short":")" +
           kTypes[i % 10] + R"(","departure":")" + dep + R"(","arrival":")" + arr + R"(","alternate":")" +
           kAirports[(i + 5) % 20] +
           R"(","cruise_tas":"450","altitude":"35000","deptime":"1200","enroute_time":"0215",)" +
           R"("fuel_time":"0400","remarks":"PBN/A1B1C1D1L1O1S2 DOF/261207 REG/DSIM)" + Int(i % 100) +
           R"( EET/EDGG0012 EBUR0044 EGTT0102 EISN0131 CZQX0310 RVR/200 OPR/SIMULATED AIRLINE ORGN/EDDFZPZX )"
           R"(PER/C SEL/ABCD CODE/3C5A1F RMK/TCAS /V/","route":")" +
           Route(i) + R"(","revision_id":1,"assigned_transponder":")" + Int(1000 + i % 6777) + R"("},"logon_time":")" +
           FeedTime(now - 3'600'000) + "\"";
}

QByteArray PlanB(int i)
{
    return R"({"id":)" + Int(40'000 + i) + R"(,"aircraftId":")" + kTypes[i % 10] + R"(","departureId":")" +
           kAirports[i % 20] + R"(","arrivalId":")" + kAirports[(i * 7 + 3) % 20] + R"(","alternativeId":")" +
           kAirports[(i + 5) % 20] + R"(","route":")" + Route(i) +
           R"(","remarks":"PBN/A1B1C1D1 DOF/261207 RMK/TCAS","level":"F350","flightRules":"IFR","cruisingSpeed":"N0450",)" +
           R"("eet":"0215","endurance":"0400","peopleOnBoard":)" + Int(50 + i % 150) + "}";
}

} // namespace

QByteArray FeedTime(qint64 ms, bool zone)
{
    const QDateTime t = QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
    // Seven fractional digits, as the network writes them.
    return t.toString("yyyy-MM-ddTHH:mm:ss.zzz").toLatin1() + "0000" + (zone ? "Z" : "");
}

QByteArray MakeFeedFile(FeedLayout layout, const std::vector<FeedPilot>& pilots, qint64 now)
{
    QByteArray out;
    out.reserve(static_cast<int>(pilots.size()) * 1400 + 4096);
    if (layout == FeedLayout::A) {
        out += R"({"general":{"version":3,"reload":1,"update":")" +
               QDateTime::fromMSecsSinceEpoch(now, Qt::UTC).toString("yyyyMMddHHmmss").toLatin1() +
               R"(","update_timestamp":")" + FeedTime(now) + R"(","connected_clients":)" + Int(pilots.size() + 3) +
               R"(,"unique_users":)" + Int(pilots.size() + 3) + R"(},"pilots":[)";
        for (const FeedPilot& p : pilots) {
            if (&p != pilots.data())
                out += ',';
            out += "{" + Identity(p.index, p.callsign) + "\"latitude\":" + Num(p.latitude, 5) +
                   ",\"longitude\":" + Num(p.longitude, 5) + ",\"altitude\":" + Int(std::llround(p.altitudeFt)) +
                   ",\"groundspeed\":" + Int(std::llround(p.groundSpeedKt)) + ",\"transponder\":\"" +
                   Int(1000 + p.index % 6777) + "\",\"heading\":" + Int(std::llround(p.headingDeg) % 360) +
                   ",\"qnh_i_hg\":29.92,\"qnh_mb\":1013,\"flight_plan\":" +
                   (p.index % 11 == 5 ? QByteArray("null,\"logon_time\":\"" + FeedTime(now - 600'000) + "\"")
                                      : PlanA(p.index, now)) +
                   ",\"last_updated\":\"" + FeedTime(p.positionMs) + "\"}";
        }
        out += R"(],"controllers":[{"cid":1200001,"name":"Sim Tower","callsign":"EDDF_TWR","frequency":"119.900",)"
               R"("facility":4,"rating":5,"server":"SIM-0","visual_range":50,"text_atis":null,"last_updated":")" +
               FeedTime(now) + R"(","logon_time":")" + FeedTime(now - 7'200'000) +
               R"("}],"atis":[{"cid":1200002,"callsign":"EDDF_ATIS","frequency":"118.025","facility":4,)"
               R"("text_atis":["INFORMATION A","RWY 25R"],"last_updated":")" +
               FeedTime(now) +
               R"("}],"servers":[{"ident":"SIM-0","hostname_or_ip":"127.0.0.1","location":"Here",)"
               R"("name":"SIM-0","clients_connection_allowed":1}],"prefiles":[{"cid":1200003,"name":"Later",)"
               R"("callsign":"BAW99","flight_plan":)" +
               PlanA(3, now) + R"(,"last_updated":")" + FeedTime(now - 900'000) +
               R"("}],"facilities":[],"ratings":[],"pilot_ratings":[],"military_ratings":[]})";
        return out;
    }
    out += R"({"updatedAt":")" + FeedTime(now) +
           R"(","servers":[{"id":"SIM-0","hostname":"127.0.0.1","name":"Sim"}],"voiceServers":[{"name":"v1",)"
           R"("hostname":"127.0.0.1"}],"clients":{"pilots":[)";
    for (const FeedPilot& p : pilots) {
        if (&p != pilots.data())
            out += ',';
        out += "{\"id\":" + Int(70'000 + p.index) + ",\"userId\":" + Int(1'100'000 + p.index) + ",\"callsign\":\"" +
               QByteArray::fromStdString(p.callsign) +
               "\",\"serverId\":\"SIM-0\",\"softwareTypeId\":\"sim\",\"softwareVersion\":\"1.2.3\",\"rating\":2,"
               "\"createdAt\":\"" +
               FeedTime(now - 3'600'000) +
               "\",\"time\":3600,\"pilotSession\":{\"simulatorId\":\"sim\"},\"lastTrack\":{" +
               "\"altitude\":" + Int(std::llround(p.altitudeFt)) +
               ",\"altitudeDifference\":0,\"arrivalDistance\":" + Num(150 + p.index % 900, 1) +
               ",\"departureDistance\":" + Num(80 + p.index % 300, 1) +
               ",\"groundSpeed\":" + Int(std::llround(p.groundSpeedKt)) +
               ",\"heading\":" + Int(std::llround(p.headingDeg) % 360) + ",\"latitude\":" + Num(p.latitude, 6) +
               ",\"longitude\":" + Num(p.longitude, 6) + ",\"onGround\":" + (p.groundSpeedKt < 40 ? "true" : "false") +
               ",\"state\":\"" + (p.groundSpeedKt < 40 ? "Boarding" : "En Route") + "\",\"timestamp\":\"" +
               FeedTime(p.positionMs, p.index % 2 == 0) + "\",\"transponder\":" + Int(1000 + p.index % 6777) +
               ",\"transponderMode\":\"C\"},\"flightPlan\":" + PlanB(p.index) + "}";
    }
    out += R"(],"atcs":[{"id":90001,"userId":1200001,"callsign":"EDDF_TWR","serverId":"SIM-0","atcSession":)"
           R"({"frequency":119900000,"position":"TWR"},"lastTrack":null}],"observers":[{"id":90002,"userId":1200004,)"
           R"("callsign":"OBS1","serverId":"SIM-0"}],"followMe":[]},"connections":{"total":)" +
           Int(pilots.size() + 2) + R"(,"supervisor":0,"atc":1,"observer":1,"pilot":)" + Int(pilots.size()) +
           R"(,"worldTour":0}})";
    return out;
}

QByteArray Gzip(const QByteArray& bytes)
{
    z_stream z{};
    deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(static_cast<int>(deflateBound(&z, static_cast<uLong>(bytes.size()))), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.constData()));
    z.avail_in = static_cast<uInt>(bytes.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(static_cast<int>(z.total_out));
    deflateEnd(&z);
    return out;
}

} // namespace quadrantel::sim
