// The real program against the three simulators on a private X display: automatic connection
// once the ATC client shows itself connected, and readings for talking pilots.
#include "gonio/Geodesy.h"
#include "platform/WindowSystem.h"
#include "support/TempDir.h"
#include "support/Wait.h"
#include "support/XvfbServer.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <list>
#include <memory>

using namespace quadrantel;

namespace {

constexpr const char* kStation = "E2E N050.00.00.000 E008.00.00.000";

// QUADRANTEL_E2E_WRAPPER runs the program under another one (valgrind, say); QUADRANTEL_E2E_SLOW
// multiplies every deadline for such a run.
int Slow(int ms)
{
    const char* factor = std::getenv("QUADRANTEL_E2E_SLOW");
    return factor ? ms * std::max(1, std::atoi(factor)) : ms;
}

struct Child {
    QProcess process;
    QByteArray output;

    const QByteArray& out()
    {
        output += process.readAllStandardOutput();
        return output;
    }
    void send(const QByteArray& line) { process.write(line + "\n"); }
};

class DemoEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!test::XvfbServer::Available())
            GTEST_SKIP() << "Xvfb is not installed; the end-to-end run needs a private X display";
        const std::string display = xvfb.start();
        ASSERT_FALSE(display.empty()) << "Xvfb did not report a display";
        x = platform::OpenX11WindowSystem(display.c_str());
        environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DISPLAY", QString::fromStdString(display));
        environment.insert("QT_QPA_PLATFORM", "xcb");
        environment.insert("AppData", QString::fromStdString(dir.path()));
        environment.insert("QUADRANTEL_TSREMOTE", kBin + "/libTSRemote.so");
        environment.insert("QUADRANTEL_VOICE_STATE", QString::fromStdString(dir.file("voice.state")));
        QDir().mkpath(QString::fromStdString(data()));
    }

    void TearDown() override
    {
        // Newest first: the program before the simulators it talks to.
        for (auto it = children.rbegin(); it != children.rend(); ++it)
            test::StopProcess((*it)->process, Slow(5000));
    }

    // `clock` runs the program under faketime with its clock that far off ("+5m").
    Child& Start(const QString& program, const QStringList& arguments, const QString& clock = {})
    {
        children.push_back(std::make_unique<Child>());
        Child& c = *children.back();
        QProcessEnvironment env = environment;
        QStringList wrapper = QString::fromLocal8Bit(qgetenv("QUADRANTEL_E2E_WRAPPER")).split(' ', Qt::SkipEmptyParts);
        if (!clock.isEmpty()) {
            wrapper = QStringList{"faketime", "-f", clock} + wrapper;
            // faketime preloads its library ahead of a sanitizer build's runtime.
            env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":verify_asan_link_order=0");
        }
        c.process.setProcessEnvironment(env);
        if (program == "quadrantel" && !wrapper.isEmpty())
            c.process.start(wrapper.front(), wrapper.mid(1) + QStringList{kBin + "/" + program} + arguments);
        else
            c.process.start(kBin + "/" + program, arguments);
        EXPECT_TRUE(c.process.waitForStarted(10000)) << program.toStdString();
        return c;
    }

    // Waits for the child to print a line that the pattern matches; its first group, or empty.
    static std::string Announced(Child& c, const char* pattern)
    {
        const QRegularExpression re(pattern);
        EXPECT_TRUE(test::WaitUntil([&] { return re.match(c.out()).hasMatch(); }, Slow(10000))) << pattern;
        return re.match(c.out()).captured(1).toStdString();
    }

    // Settings and the station's position file.
    void Configure(const std::string& setup)
    {
        test::WriteFile(data() + "/Config.ini", "[Setup]\r\nAutoStart=1\r\nDebug=1\r\nVID=1234567\r\nStation=" +
                                                    std::string(kStation) + "\r\n" + setup);
        test::WriteFile(data() + "/gonio_" + QString(kStation).replace(' ', '_').toStdString() + ".position",
                        std::string("[Setup]\r\nId=") + kStation + "\r\n");
    }

    std::string data() const { return dir.file("Quadrantel"); }

    // The program's daily files of a kind ("Log", "Dump"), whatever day its clock says it is.
    std::string Daily(const QString& kind) const
    {
        std::string all;
        for (const QString& name : QDir(QString::fromStdString(data())).entryList({kind + "_*.TXT"}))
            all += test::ReadFile(data() + "/" + name.toStdString());
        return all;
    }
    std::string Log() const { return Daily("Log"); }

    // Makes `callsign` talk until a reading of him shows; his QDR, or -1.
    int Talk(Child& voice, const std::string& callsign)
    {
        int qdr = -1;
        for (int attempt = 0; attempt < 10 && qdr < 0; ++attempt) { // until the traffic table knows him
            voice.send(QByteArray("talk ") + callsign.c_str());
            qdr = WaitForReading(callsign, Slow(1500));
        }
        return qdr;
    }

    struct Sims {
        Child& voice;
        std::string feedPort;
    };
    // linkar-sim serving the data file around (50 N, 8 E), with `arguments` besides; the newer
    // voice client's feed naming `pilots`; and the settings that read them, with `setup` besides.
    Sims FeedAndVoice(const QStringList& arguments, const QString& pilots, const std::string& setup)
    {
        Child& linkar = Start("linkar-sim",
                              QStringList{"--port", "0", "--feed", "0", "--station", "50,8", "--far", "0"} + arguments);
        const std::string feedPort = Announced(linkar, "feed on (\\d+)");
        Child& voice = Start("voice-sim", {"--websocket", "0", "--pilots", pilots, "--quiet"});
        const std::string voicePort = Announced(voice, "websocket on (\\d+)");
        Configure("VoiceSource=WebSocket\r\nVoiceURL=ws://127.0.0.1:" + voicePort +
                  "/ws\r\nPositionSource=Feed\r\nFeedURL=http://127.0.0.1:" + feedPort + "/feed.json\r\n" + setup);
        return {voice, feedPort};
    }

    // Positions from the simulated data file instead of the link, voice from the newer client's
    // feed, from a VoiceFrequencies list (which a decimal-comma locale must read the same), the
    // program's clock off by `clock`: the talking pilot's reading rests on a position moved to
    // now, and clears once he is quiet.
    void ReadTheFeed(const QString& clock = {})
    {
        Child& voice = FeedAndVoice({"--layout", "b", "--aircraft", "2", "--range", "30", "--callsigns",
                                     "DLH123,BAW456", "--feed-every", "2000", "--seed", "3"},
                                    "DLH123,BAW456", "VoiceFrequencies=118.700\r\n")
                           .voice;
        Child& program = Start("quadrantel", {}, clock);
        const auto dump = [&] { return Daily("Dump"); };
        ASSERT_TRUE(test::WaitUntil([&] { return dump().find("pilots kept") != std::string::npos; }, Slow(15000)))
            << program.process.readAllStandardError().toStdString();
        EXPECT_NE(dump().find("2 pilots kept"), std::string::npos) << dump();

        ASSERT_GE(Talk(voice, "DLH123"), 0) << Title();
        // As old as the file says, moved on: neither minutes old nor "0 s" from the future.
        const QRegularExpressionMatch note =
            QRegularExpression("Reading DLH123: position (\\d+) s old, projected").match(QString::fromStdString(Log()));
        ASSERT_TRUE(note.hasMatch()) << Log();
        EXPECT_LE(note.captured(1).toInt(), 60) << Log(); // a lost report or a late file makes it older
        voice.send("quiet");
        EXPECT_TRUE(test::WaitUntil([&] { return Title().find("QDR[") == std::string::npos; }, Slow(15000)))
            << "the reading stayed: " << Title();
    }

    // The bearing from the station to where the simulator says the aircraft really is now; -1
    // when it does not say.
    static double TrueQdr(const std::string& feedPort, const std::string& callsign)
    {
        QNetworkAccessManager net;
        std::unique_ptr<QNetworkReply> reply(
            net.get(QNetworkRequest(QUrl(QString::fromStdString("http://127.0.0.1:" + feedPort + "/truth.json")))));
        test::WaitUntil([&] { return reply->isFinished(); }, Slow(5000));
        for (const auto& v : QJsonDocument::fromJson(reply->readAll()).object().value("aircraft").toArray()) {
            const QJsonObject a = v.toObject();
            if (a.value("callsign").toString().toStdString() == callsign)
                return gonio::Course(50, 8, a.value("latitude").toDouble(), a.value("longitude").toDouble());
        }
        return -1;
    }

    // The titles of the top-level windows, one a line, read as the program reads other programs'.
    std::string Title() const
    {
        std::string titles;
        for (platform::HWND w : x->children(x->desktop()))
            titles += x->text(w) + "\n";
        return titles;
    }

    // Waits for a reading of the aircraft; returns its QDR, or -1.
    int WaitForReading(const std::string& callsign, int timeoutMs)
    {
        const QRegularExpression pattern(
            QString::fromStdString("^Quadrantel - \\(E2E\\) " + callsign + " QDR\\[(\\d{3})\\]  QDM\\[(\\d{3})\\]$"),
            QRegularExpression::MultilineOption);
        int qdr = -1;
        test::WaitUntil(
            [&] {
                const auto m = pattern.match(QString::fromStdString(Title()));
                if (m.hasMatch())
                    qdr = m.captured(1).toInt();
                return m.hasMatch();
            },
            timeoutMs);
        return qdr;
    }

    const QString kBin = QStringLiteral(QUADRANTEL_BIN);
    test::XvfbServer xvfb;
    test::TempDir dir;
    std::unique_ptr<platform::WindowSystem> x;
    QProcessEnvironment environment;
    std::list<std::unique_ptr<Child>> children;
};

} // namespace

TEST_F(DemoEndToEnd, ConnectsAndFollowsTalkingPilots)
{
    Child& linkar =
        Start("linkar-sim", {"--port", "0", "--station", "50,8", "--aircraft", "3", "--far", "1", "--callsigns",
                             "DLH123,BAW456,AFR789,LOW1", "--fixed", "TESTER,50,8.7777,12000", "--fixed",
                             "TESTB,49.5,8,9000", "--interval", "500", "--seed", "3"});
    const std::string port = Announced(linkar, "listening on (\\d+)");
    Configure("Address=127.0.0.1\r\nPort=" + port + "\r\nLastX=0\r\nLastY=0\r\n");

    Start("towrix-sim", {"--connected", "--callsign", "TESTB", "--position", "0,560"});
    Child& voice =
        Start("voice-sim", {"--pilots", "DLH123,TESTER,LOW1", "--quiet", "--guest-every", "0", "--position", "600,0"});
    Child& program = Start("quadrantel", {});
    ASSERT_TRUE(test::WaitUntil([&] { return linkar.out().contains("identified !CQuadrantel"); }, Slow(15000)))
        << linkar.out().toStdString() << program.process.readAllStandardError().toStdString();

    // A pilot keys his microphone: the reading points east at the aircraft standing there.
    voice.send("talk TESTER");
    const int east = WaitForReading("TESTER", Slow(15000));
    ASSERT_GE(east, 0) << "title: " << Title();
    EXPECT_LE(std::abs(east - 90), 10) << Title();

    EXPECT_EQ(program.process.state(), QProcess::Running);
}

// Guards against the PC's clock deciding a feed position's age: 5 minutes fast dropped every
// pilot, 5 minutes slow took every position as new and moved none. Either way it is named.
TEST_F(DemoEndToEnd, ReadsTheDataFeedAlikeWithThePcsClockFiveMinutesOffEitherWay)
{
    if (QProcess::execute("faketime", {"-f", "+0", "true"}) != 0)
        GTEST_SKIP() << "faketime is not installed";
    for (const char* clock : {"+5m", "-5m"}) {
        SCOPED_TRACE(clock);
        ReadTheFeed(clock);
        EXPECT_TRUE(QRegularExpression(QString("The PC's clock is (29\\d|30\\d) s ") +
                                       (clock[0] == '+' ? "ahead of" : "behind"))
                        .match(QString::fromStdString(Log()))
                        .hasMatch())
            << Log();
        TearDown();
        children.clear();
        QDir(QString::fromStdString(data())).removeRecursively();
        QDir().mkpath(QString::fromStdString(data()));
    }
}

// Both sources: the link relays only the aircraft near the ATC client, the data file lists only
// those connected before it was made. Each pilot is read from the one that has him.
TEST_F(DemoEndToEnd, ReadsALinkOnlyAndAFeedOnlyPilotWithBothSources)
{
    Child& linkar = Start("linkar-sim", {"--port",       "0",
                                         "--feed",       "0",
                                         "--station",    "50,8",
                                         "--aircraft",   "0",
                                         "--far",        "0",
                                         "--fixed",      "LINKONLY,50.2,8,20000",
                                         "--fixed",      "FEEDONLY,49.5,8,30000,90,300",
                                         "--link-range", "20",
                                         "--unlisted",   "LINKONLY",
                                         "--feed-every", "2000",
                                         "--interval",   "500"});
    const std::string port = Announced(linkar, "listening on (\\d+)");
    const std::string feedPort = Announced(linkar, "feed on (\\d+)");
    Start("towrix-sim", {"--connected", "--callsign", "TESTB", "--position", "0,560"});
    Child& voice = Start("voice-sim", {"--websocket", "0", "--pilots", "LINKONLY,FEEDONLY", "--quiet"});
    const std::string voicePort = Announced(voice, "websocket on (\\d+)");
    Configure("Address=127.0.0.1\r\nPort=" + port + "\r\nVoiceSource=WebSocket\r\nVoiceURL=ws://127.0.0.1:" +
              voicePort + "/ws\r\nPositionSource=Both\r\nFeedURL=http://127.0.0.1:" + feedPort + "/feed.json\r\n");
    Child& program = Start("quadrantel", {});
    ASSERT_TRUE(test::WaitUntil([&] { return linkar.out().contains("identified !CQuadrantel"); }, Slow(15000)))
        << linkar.out().toStdString() << program.process.readAllStandardError().toStdString();

    const int north = Talk(voice, "LINKONLY");
    ASSERT_GE(north, 0) << Title();
    EXPECT_TRUE(north <= 2 || north >= 358) << north;
    EXPECT_TRUE(QRegularExpression("Reading LINKONLY: link: position \\d+ s old")
                    .match(QString::fromStdString(Log()))
                    .hasMatch())
        << Log();
    const int south = Talk(voice, "FEEDONLY");
    ASSERT_GE(south, 0) << Title();
    EXPECT_LE(std::abs(south - 175), 8) << south; // 30 NM south, flying east
    EXPECT_TRUE(QRegularExpression("Reading FEEDONLY: data feed: position \\d+ s old, projected")
                    .match(QString::fromStdString(Log()))
                    .hasMatch())
        << Log();
    EXPECT_EQ(program.process.state(), QProcess::Running);
}

// Guards against a turning aircraft read where a straight line from his last position leads (5
// degrees off here): his own fixes tell the turn, and the reading follows it.
TEST_F(DemoEndToEnd, ReadsATurningAircraftWithinOneAndAHalfDegreesOfWhereHeIs)
{
    // 10 NM north, orbiting at 120 kt and the standard rate; his positions 20 to 30 s old, on a
    // network clock 90 s behind the PC's.
    const Sims sims = FeedAndVoice({"--aircraft", "0", "--fixed", "TURNER,50.1667,8,12000,90,120,3", "--ages", "20-30",
                                    "--interval", "250", "--feed-every", "5000", "--clock-offset", "-90000"},
                                   "TURNER", "FeedInterval=15\r\n");
    Start("quadrantel", {});
    // Two files, so two fixes of his own: before that only his nose is known.
    const auto twoFiles = [&] {
        const std::string dump = Daily("Dump");
        const std::size_t first = dump.find("pilots kept");
        return first != std::string::npos && dump.find("pilots kept", first + 1) != std::string::npos;
    };
    ASSERT_TRUE(test::WaitUntil(twoFiles, Slow(40000))) << Daily("Dump");

    const int qdr = Talk(sims.voice, "TURNER");
    const double truth = TrueQdr(sims.feedPort, "TURNER");
    ASSERT_GE(qdr, 0) << Title();
    EXPECT_LE(std::fabs(std::remainder(qdr - truth, 360.0)), 1.5) << "true " << truth << "\n" << Log();
    // Moved from a position old enough that a straight line would miss him.
    const QRegularExpressionMatch note =
        QRegularExpression("Reading TURNER: position (\\d+) s old, projected\\r?$", QRegularExpression::MultilineOption)
            .match(QString::fromStdString(Log()));
    ASSERT_TRUE(note.hasMatch()) << Log();
    EXPECT_GE(note.captured(1).toInt(), 20) << Log();
}
