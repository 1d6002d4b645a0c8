#pragma once

#include <string>

namespace quadrantel::feed {

// How often the file is asked for: more often than the network makes it is no use, and less
// often than this leaves the positions too old to read a bearing from.
inline constexpr int kMinIntervalSeconds = 15;
inline constexpr int kMaxIntervalSeconds = 300;

// Where positions come from: PositionSource in [Setup].
enum class PositionChoice { Link, Feed, Both };

// The position source chosen in [Setup]; a configuration file without the keys keeps the link.
struct FeedSettings {
    PositionChoice source = PositionChoice::Link; // PositionSource: "Link" (default), "Feed" or "Both"
    std::string url;                              // FeedURL
    int intervalSeconds = kMinIntervalSeconds;    // FeedInterval
};

FeedSettings ReadFeedSettings(const std::string& configFile);
// False when the file could not be written.
bool WriteFeedSettings(const std::string& configFile, const FeedSettings& settings);

// Whether the choice takes positions from the data feed.
inline bool UsesFeed(PositionChoice source)
{
    return source != PositionChoice::Link;
}

// Why a feed address cannot be used, or the empty text when it can.
std::string FeedURLProblem(const std::string& url);

} // namespace quadrantel::feed
