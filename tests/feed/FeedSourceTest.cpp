// The data feed over a real local HTTP server: conditional requests, errors and hostile answers,
// the cap, https, and the network's status document.
#include "feed/FeedController.h"

#include "FeedFile.h"

#include "support/FakeClock.h"
#include "support/HttpStub.h"
#include "support/ScriptedRandom.h"
#include "support/Wait.h"

#include <gtest/gtest.h>

#include <map>

namespace quadrantel::feed {
namespace {

using test::HttpStub;
using test::WaitUntil;

constexpr char kOne[] = R"({"general":{"update_timestamp":"2024-01-31T11:59:50Z"},"pilots":[
    {"callsign":"ONE","latitude":50.2,"longitude":8,"altitude":1}]})";
constexpr char kTwo[] = R"({"general":{"update_timestamp":"2024-01-31T12:00:05Z"},"pilots":[
    {"callsign":"TWO","latitude":50.3,"longitude":8,"altitude":1},
    {"callsign":"THREE","latitude":50.4,"longitude":8,"altitude":1}]})";

class FeedSourceTest : public ::testing::Test {
protected:
    // Started against the server; the clock stands 10 s after kOne's time.
    void StartOn(const QUrl& url, FeedOptions options = {})
    {
        clock.set(QDateTime(QDate(2024, 1, 31), QTime(12, 0, 0), Qt::UTC));
        options.fetch.url = url;
        options.intervalMs = 50;
        feed = std::make_unique<FeedController>(
            FeedController::Controls{cmdConnect, cmdClose, chkAutoConnect, lblState, imgData}, options, clock, random,
            FeedController::Hooks{
                .station = [this] { return station; },
                .apply = [this](const FeedTraffic::Changes& c, bool) { applied.push_back(c.kept.size()); },
                .updateIcon = [this](const std::string& m) { message = m; },
                .dump = [this](const std::string& line) { dumped.push_back(line); },
                .log = [](const std::string&) {}});
        feed->StationChanged();
        feed->cmdConnect_Click();
    }
    bool WaitForDumps(std::size_t n)
    {
        return WaitUntil([&] { return dumped.size() >= n; }, 10000);
    }

    platform::Button cmdConnect, cmdClose;
    platform::CheckBox chkAutoConnect;
    platform::Image lblState, imgData;
    test::FakeClock clock;
    test::ScriptedRandom random{{0.7}};
    const Station station{50, 8};
    std::unique_ptr<FeedController> feed;
    std::vector<std::size_t> applied;
    std::vector<std::string> dumped;
    std::string message;
};

TEST_F(FeedSourceTest, AnUnchangedFileIsAskedForConditionallyAndKept)
{
    HttpStub server([&](const QByteArray& request) {
        if (request.contains("If-None-Match: \"v1\"") && request.contains("If-Modified-Since: Wed, 31 Jan 2024"))
            return HttpStub::Status(304);
        return HttpStub::Ok(kOne, "ETag: \"v1\"\r\nLast-Modified: Wed, 31 Jan 2024 11:59:50 GMT\r\n");
    });
    StartOn(server.url());
    ASSERT_TRUE(WaitForDumps(2));
    EXPECT_EQ(applied, std::vector<std::size_t>{1});
    EXPECT_EQ(dumped[0],
              "2024-01-31T12:00:00Z data feed: HTTP 200, " + std::to_string(sizeof kOne - 1) + " bytes, 1 pilots kept");
    EXPECT_EQ(dumped[1], "2024-01-31T12:00:00Z data feed: HTTP 304, 0 bytes, 1 pilots kept, unchanged");
    EXPECT_EQ(lblState.picture(), platform::Picture::Green);
    EXPECT_TRUE(server.lastRequest.contains("\r\nUser-Agent: Quadrantel/1.0.0\r\n")) << server.lastRequest.data();
    // Started again, a 304 is no file to show: it stayed "connecting ..." for good.
    feed->cmdClose_Click();
    feed->cmdConnect_Click();
    ASSERT_TRUE(WaitUntil([&] { return applied.size() == 2; })) << feed->StateText();
    EXPECT_EQ(lblState.picture(), platform::Picture::Green);
}

// Guards against a server behind the others turning the picture back.
TEST_F(FeedSourceTest, OnlyANewerFileIsApplied)
{
    QList<QByteArray> files{kOne, kOne, sim::Gzip(kTwo), kOne};
    HttpStub server([&](const QByteArray&) {
        const QByteArray body = files.size() > 1 ? files.takeFirst() : files.front();
        return HttpStub::Ok(body, body.startsWith('{') ? "" : "Content-Encoding: gzip\r\n");
    });
    StartOn(server.url());
    ASSERT_TRUE(WaitForDumps(4));
    EXPECT_EQ(applied, (std::vector<std::size_t>{1, 2})) << "ONE, whom the newer file lacks, is gone";
    EXPECT_NE(dumped[1].find(", unchanged"), std::string::npos) << dumped[1];
    EXPECT_NE(dumped[3].find("2 pilots kept, an older file ignored"), std::string::npos) << dumped[3];
}

// Guards against answers that left the feed dead for good (headers or a chunk's size that never
// ended kept their connection, and no later request reached the server) and against failures
// named as something else.
TEST_F(FeedSourceTest, EachFaultIsShownAndTheFeedTriesAgain)
{
    const QByteArray endless(4096, 'a');
    const struct {
        const char* what;
        HttpStub::Answer answer;
        const char* text;
    } cases[] = {
        {"not JSON", HttpStub::Ok("<html>busy</html>", "ETag: \"busy\"\r\n"), "not JSON"},
        {"no answer in time", {"HTTP/1.1 200 OK\r\nContent-Length: 100", "{", true}, "no data for 2 s"},
        {"redirected to a missing file", HttpStub::Status(302, "Location: /gone.json\r\n"), "HTTP status 404"},
        {"a redirect to nowhere", HttpStub::Status(302), "redirect without an address (HTTP status 302)"},
        {"headers that never end",
         {"HTTP/1.1 200 OK", "X-Long: ", false, 0, endless},
         "the answer's headers do not end"},
        {"a chunk's size that never ends",
         {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n", "", false, 0, endless},
         "a chunk's size line does not end"},
        {"a 304 with no file yet", HttpStub::Status(304), "HTTP status 304 without a file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        bool first = true;
        HttpStub server([&](const QByteArray& request) {
            if (request.startsWith("GET /gone.json"))
                return HttpStub::Status(404);
            if (request.contains("If-None-Match")) // the bad file's tag, kept by mistake
                return HttpStub::Status(304);
            const bool fault = first;
            first = false;
            return fault ? c.answer : HttpStub::Ok(kOne);
        });
        applied.clear();
        dumped.clear();
        FeedOptions options;
        options.fetch.deadlineMs = 2000; // the recovery fetch must not time out on a loaded machine
        options.backoffMs = {60};
        StartOn(server.url(), options);
        ASSERT_TRUE(WaitForDumps(1));
        EXPECT_EQ(feed->StateText(), std::string("data feed: ") + c.text + "; retrying in 0 s");
        EXPECT_EQ(message, feed->StateText());
        EXPECT_EQ(lblState.picture(), platform::Picture::Red);
        ASSERT_TRUE(WaitForDumps(2));
        EXPECT_EQ(applied, std::vector<std::size_t>{1}) << "did not recover";
        EXPECT_TRUE(WaitUntil([&] { return server.closed >= 2; })) << "the fault's connection stayed open";
    }
}

TEST_F(FeedSourceTest, DisconnectClosesAnAnswerThatNeverEndsAndConnectAsksAgain)
{
    HttpStub server([&](const QByteArray&) {
        return HttpStub::Answer{"HTTP/1.1 200 OK\r\nContent-Length: 999999999", "", false, 0, QByteArray(1000, ' ')};
    });
    StartOn(server.url());
    ASSERT_TRUE(WaitUntil([&] { return server.requests == 1; }));
    feed->cmdClose_Click();
    EXPECT_TRUE(WaitUntil([&] { return server.closed == 1; }));
    feed->cmdConnect_Click();
    EXPECT_TRUE(WaitUntil([&] { return server.requests == 2; }));
}

// Guards against a whole-transfer deadline: a large file over a slow line never arrived.
TEST_F(FeedSourceTest, ATransferThatKeepsMovingIsNotCutOffByTheDeadline)
{
    const QByteArray length = QByteArray::number(sizeof kOne - 1 + std::size_t{8} * 100);
    HttpStub server([&](const QByteArray&) {
        return HttpStub::Answer{
            "HTTP/1.1 200 OK\r\nContent-Length: " + length + "\r\n", kOne, false, 0, QByteArray(100, ' '), 8, 300};
    });
    FeedOptions options;
    options.fetch.deadlineMs = 1000;
    StartOn(server.url(), options);
    ASSERT_TRUE(WaitForDumps(1));
    EXPECT_EQ(applied, std::vector<std::size_t>{1}) << feed->StateText();
}

TEST_F(FeedSourceTest, ErrorsInARowBackOffFrom15To120SecondsOrAsLongAsTheServerSays)
{
    HttpStub server([&](const QByteArray&) { return HttpStub::Answer{"", "", false, 600'000}; });
    StartOn(server.url());
    FeedDelivery bad;
    bad.fetched.error = "HTTP status 503";
    for (const int seconds : {15, 30, 60, 120, 120}) {
        feed->Handle(bad);
        EXPECT_EQ(feed->StateText(), "data feed: HTTP status 503; retrying in " + std::to_string(seconds) + " s");
    }
    FeedDelivery good;
    good.fetched.httpStatus = 200;
    good.file = Snapshot{};
    feed->Handle(good);
    feed->Handle(bad);
    EXPECT_EQ(feed->StateText(), "data feed: HTTP status 503; retrying in 15 s");
    bad.fetched.retryAfterMs = 60'000;
    feed->Handle(bad);
    EXPECT_EQ(feed->StateText(), "data feed: HTTP status 503; retrying in 60 s");
}

// Guards against coming back after 15 s when the server asked for more.
TEST_F(FeedSourceTest, TheServersRetryAfterIsObeyed)
{
    HttpStub server([&](const QByteArray&) { return HttpStub::Status(429, "Retry-After: 45\r\n"); });
    StartOn(server.url());
    ASSERT_TRUE(WaitForDumps(1));
    EXPECT_EQ(feed->StateText(), "data feed: HTTP status 429; retrying in 45 s");
    EXPECT_EQ(RetryAfterMs("Wed, 31 Jan 2024 12:01:00 GMT", clock.nowMSecs()), 60'000);
}

TEST_F(FeedSourceTest, ABodyPastTheCapIsRefusedWhileItIsStillComing)
{
    const struct {
        const char* what;
        QByteArray head, body;
    } cases[] = {
        {"undeclared length", "HTTP/1.1 200 OK\r\n", QByteArray(3000, ' ')},
        {"declared length, refused on its header alone", "HTTP/1.1 200 OK\r\nContent-Length: 999999999\r\n", "{"},
        {"compressed", "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\n", sim::Gzip(QByteArray(100'000, ' '))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        HttpStub server([&](const QByteArray&) { return HttpStub::Answer{c.head, c.body, true}; });
        dumped.clear();
        FeedOptions options;
        options.fetch.maxBytes = 2000;
        StartOn(server.url(), options);
        ASSERT_TRUE(WaitForDumps(1)) << "not refused before the deadline";
        EXPECT_EQ(feed->StateText(), "data feed: file too big: over 2,000 bytes; retrying in 15 s");
    }
}

// Guards against "neither layout; retrying" for ever when FeedURL is the network's status document.
TEST_F(FeedSourceTest, AStatusDocumentNamesTheFileAndIsReadAgainAfterThreeFailures)
{
    std::map<QByteArray, int> asked;
    int fileAskedBeforeStatus = 0;
    HttpStub server([&](const QByteArray& request) {
        const QByteArray path = request.mid(4, request.indexOf(' ', 4) - 4);
        ++asked[path];
        fileAskedBeforeStatus = path == "/status.json" ? asked["/b.json"] : fileAskedBeforeStatus;
        if (path == "/status.json")
            return HttpStub::Ok(R"({"data":{"v3":["file:///tmp/feed.json",")" + server.url("/a.json").toEncoded() +
                                R"(",")" + server.url("/b.json").toEncoded() + R"("],"servers":["x"]}})");
        return asked[path] > 1 ? HttpStub::Status(500) : HttpStub::Ok(kOne);
    });
    FeedOptions options;
    options.backoffMs = {60};
    StartOn(server.url("/status.json"), options); // 0.7 of the two http addresses: the second
    ASSERT_TRUE(WaitForDumps(2));
    EXPECT_EQ(applied, std::vector<std::size_t>{1});
    EXPECT_EQ(lblState.toolTip(), feed->StateText() + " from " + server.url("/b.json").toString().toStdString());
    ASSERT_TRUE(WaitUntil([&] { return asked["/status.json"] == 2; }));
    EXPECT_EQ(fileAskedBeforeStatus, 1 + kFailuresToReread);
    EXPECT_EQ(asked["/a.json"], 0);
}

TEST_F(FeedSourceTest, HttpsTakesAServerWithATrustedCertificate)
{
    HttpStub server([&](const QByteArray&) { return HttpStub::Ok(kOne); }, true);
    FeedOptions options;
    QSslConfiguration trust = QSslConfiguration::defaultConfiguration();
    trust.setCaCertificates({HttpStub::Certificate()});
    options.fetch.ssl = trust;
    StartOn(server.url("/feed.json", "https"), options);
    ASSERT_TRUE(WaitForDumps(1));
    EXPECT_EQ(applied, std::vector<std::size_t>{1}) << feed->StateText();
}

TEST_F(FeedSourceTest, HttpsRefusesAServerItDoesNotTrust)
{
    HttpStub server([&](const QByteArray&) { return HttpStub::Ok(kOne); }, true);
    StartOn(server.url("/feed.json", "https"));
    ASSERT_TRUE(WaitForDumps(1));
    EXPECT_TRUE(applied.empty());
    EXPECT_EQ(feed->StateText().rfind("data feed: cannot connect: ", 0), 0u) << feed->StateText();
}

} // namespace
} // namespace quadrantel::feed
