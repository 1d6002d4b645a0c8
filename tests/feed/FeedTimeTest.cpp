#include "feed/FeedTime.h"

#include <gtest/gtest.h>

namespace quadrantel::feed {
namespace {

constexpr std::int64_t kFileTime = 1796668215'000; // 2026-12-07T18:30:15Z

TEST(FeedTime, ReadsAnyFractionAndTakesAZonelessTimeAsUtc)
{
    const struct {
        const char* text;
        std::int64_t ms;
    } cases[] = {
        {"2026-12-07T18:30:15Z", kFileTime},
        {"2026-12-07T18:30:15", kFileTime},
        {"2026-12-07T18:30:15.4820317Z", kFileTime + 482},
        {"2026-12-07T18:30:15.4", kFileTime + 400},
        {"2026-12-07T20:30:15+02:00", kFileTime},
        {"2026-12-07T17:00:15-0130", kFileTime},
        {"2024-02-29T23:59:59Z", 1709251199'000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ParseFeedTime(c.text), c.ms);
    }
}

TEST(FeedTime, RefusesWhatIsNoTime)
{
    for (const char* text : {"", "2026-12-07", "2026-13-07T18:30:15Z", "2025-02-29T10:00:00Z", "2026-12-07T24:00:00Z",
                             "2026-12-07T18:30:15.Z", "2026-12-07T18:30:15Q", "2026-12-07T18:30:15+2"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(ParseFeedTime(text));
    }
}

TEST(FeedTime, AnHttpDateIsReadInTheFormServersSend)
{
    EXPECT_EQ(ParseHttpDate("Mon, 07 Dec 2026 18:30:15 GMT"), kFileTime);
    EXPECT_EQ(ParseHttpDate("Thu, 29 Feb 2024 23:59:59 GMT"), 1709251199'000);
    for (const char* text : {"", "Mon, 07 Dec 2026 18:30:15 UTC", "Monday, 07-Dec-26 18:30:15 GMT",
                             "Mon, 07 Dek 2026 18:30:15 GMT", "Mon, 31 Nov 2026 18:30:15 GMT"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(ParseHttpDate(text));
    }
}

} // namespace
} // namespace quadrantel::feed
