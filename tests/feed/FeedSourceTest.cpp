// The data feed over a real local HTTP server: conditional requests, errors, the cap, https.
#include "feed/FeedController.h"

#include "FeedFile.h"

#include "support/FakeClock.h"
#include "support/HttpStub.h"
#include "support/Wait.h"

#include <gtest/gtest.h>

namespace quadrantel::feed {
namespace {

using test::HttpStub;

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
            FeedController::Controls{cmdConnect, cmdClose, chkAutoConnect, lblState, imgData}, options, clock,
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
        return test::WaitUntil([&] { return dumped.size() >= n; }, 10000);
    }

    platform::Button cmdConnect, cmdClose;
    platform::CheckBox chkAutoConnect;
    platform::Image lblState, imgData;
    test::FakeClock clock;
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
    EXPECT_TRUE(cmdClose.visible());
}

TEST_F(FeedSourceTest, ACopyWithTheSameUpdateTimeIsNotAppliedAgainButANewFileIs)
{
    QList<QByteArray> files{kOne, kOne, sim::Gzip(kTwo)};
    HttpStub server([&](const QByteArray&) {
        const QByteArray body = files.size() > 1 ? files.takeFirst() : files.front();
        return HttpStub::Ok(body, body == kOne ? "" : "Content-Encoding: gzip\r\n");
    });
    StartOn(server.url());
    ASSERT_TRUE(WaitForDumps(3));
    EXPECT_EQ(applied, (std::vector<std::size_t>{1, 3})) << "ONE, missing once, is kept";
    EXPECT_FALSE(server.lastRequest.contains("If-None-Match"));
}

TEST_F(FeedSourceTest, EachFaultIsShownAndTheFeedTriesAgain)
{
    const struct {
        const char* what;
        HttpStub::Answer answer;
        const char* text;
    } cases[] = {
        {"not JSON", HttpStub::Ok("<html>busy</html>", "ETag: \"busy\"\r\n"), "data feed: not JSON; retrying in 0 s"},
        {"no answer in time",
         {"HTTP/1.1 200 OK\r\nContent-Length: 100", "{", true},
         "data feed: timed out after 2 s; retrying in 0 s"},
        {"redirected to a missing file", HttpStub::Status(302, "Location: /gone.json\r\n"),
         "data feed: HTTP status 404; retrying in 0 s"},
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
        EXPECT_EQ(feed->StateText(), c.text);
        EXPECT_EQ(message, feed->StateText());
        EXPECT_EQ(lblState.picture(), platform::Picture::Red);
        ASSERT_TRUE(WaitForDumps(2));
        EXPECT_EQ(applied, std::vector<std::size_t>{1}) << "did not recover";
    }
}

TEST_F(FeedSourceTest, ErrorsInARowBackOffFrom15To120SecondsAndAFileStartsOver)
{
    HttpStub server([&](const QByteArray&) { return HttpStub::Answer{"", "", false, 600'000}; });
    StartOn(server.url());
    Fetched bad;
    bad.error = "HTTP status 503";
    for (const int seconds : {15, 30, 60, 120, 120}) {
        feed->Handle(bad);
        EXPECT_EQ(feed->StateText(), "data feed: HTTP status 503; retrying in " + std::to_string(seconds) + " s");
    }
    Fetched good;
    good.httpStatus = 200;
    good.body = kOne;
    feed->Handle(good);
    feed->Handle(bad);
    EXPECT_EQ(feed->StateText(), "data feed: HTTP status 503; retrying in 15 s");
}

TEST_F(FeedSourceTest, ABodyPastTheCapIsRefusedWhileItIsStillComing)
{
    const struct {
        const char* what;
        QByteArray head;
        int bytesSent;
    } cases[] = {
        {"undeclared length", "HTTP/1.1 200 OK\r\n", 3000},
        {"declared length, refused on its header alone", "HTTP/1.1 200 OK\r\nContent-Length: 999999999\r\n", 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        HttpStub server([&](const QByteArray&) {
            return HttpStub::Answer{c.head, QByteArray(c.bytesSent, ' '), true};
        });
        dumped.clear();
        FeedOptions options;
        options.fetch.maxBytes = 2000;
        StartOn(server.url(), options);
        ASSERT_TRUE(WaitForDumps(1)) << "not refused before the deadline";
        EXPECT_EQ(feed->StateText(), "data feed: file over 2,000 bytes refused; retrying in 15 s");
    }
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
